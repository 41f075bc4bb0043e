#include "terminal/CaptureLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

#include "platform/Platform.h"
#include "settings/Settings.h"
#include "text/Encoding.h"

namespace marlo {

namespace fs = std::filesystem;

namespace {

constexpr size_t kFlushAt = 4096;
// How many characters a backspace can take back; older ones stay.
constexpr size_t kRememberedChars = 4096;

bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrailByte(uint8_t b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool HasLogExtension(const fs::path& p) {
    return Lower(p.extension().string()) == ".log";
}

// The files the capture files of this program have open, by device and inode.
std::mutex gOpenFilesMutex;
std::set<std::pair<uint64_t, uint64_t>> gOpenFiles;

}  // namespace

std::string AutoLogName(const std::string& prefix, const std::tm& date) {
    std::string head;
    for (size_t i = 0; i < prefix.size() && head.size() < 2;) {
        const auto b = static_cast<uint8_t>(prefix[i]);
        const size_t len = IsLeadByte(b) && i + 1 < prefix.size() ? 2 : 1;
        if (head.size() + len > 2) break;
        for (size_t k = 0; k < len; ++k) {
            const char c = prefix[i + k];
            head += (c == '/' || c == '\\' || static_cast<uint8_t>(c) < 0x20) ? '_' : c;
        }
        i += len;
    }
    if (head.empty()) head = "LG";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2s%02d%02d%02d.LOG", head.c_str(), date.tm_year % 100,
                  date.tm_mon + 1, date.tm_mday);
    return buf;
}

std::string ResolveCapturePath(const std::string& name, const std::string& dir) {
    fs::path p(name);
    if (!p.has_parent_path() && !dir.empty()) p = fs::path(dir) / p;
    std::error_code ec;
    if (fs::exists(p, ec) || !p.has_extension()) return p.string();
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    const std::string stem = p.stem().string();
    const std::string ext = Lower(p.extension().string());
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& q = it->path();
        if (q.stem().string() == stem && Lower(q.extension().string()) == ext)
            return p.has_parent_path() ? q.string() : q.filename().string();
    }
    return p.string();
}

std::vector<std::string> FindLogFiles(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (HasLogExtension(it->path()) && it->is_regular_file(ec))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

CaptureLog::~CaptureLog() {
    Close();
}

bool CaptureLog::Open(const std::string& path, bool append) {
    Close();
    // Emptied only once it is known to be a file nobody else here writes.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const std::pair<uint64_t, uint64_t> id{st.st_dev, st.st_ino};
    {
        std::lock_guard<std::mutex> lock(gOpenFilesMutex);
        if (!gOpenFiles.insert(id).second) {
            ::close(fd);
            return false;
        }
    }
    if (!append && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        std::lock_guard<std::mutex> lock(gOpenFilesMutex);
        gOpenFiles.erase(id);
        return false;
    }
    fd_ = fd;
    id_ = id;
    path_ = path;
    written_ = append ? st.st_size : 0;
    pending_.clear();
    lengths_.clear();
    leadPending_ = false;
    halfTaken_ = false;
    stamps_.Restart();
    return true;
}

void CaptureLog::Close() {
    if (fd_ < 0) return;
    Flush();
    ::close(fd_);
    fd_ = -1;
    {
        std::lock_guard<std::mutex> lock(gOpenFilesMutex);
        gOpenFiles.erase(id_);
    }
    lengths_.clear();
    leadPending_ = false;
    halfTaken_ = false;
}

void CaptureLog::Flush() {
    if (fd_ < 0) return;
    size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                                   static_cast<off_t>(written_ + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // a full disk: the text is dropped, the log stays open
        done += static_cast<size_t>(n);
    }
    written_ += static_cast<int64_t>(done);
    if (!pending_.empty()) lastWritten_ = pending_.back();
    pending_.clear();
}

void CaptureLog::Put(uint8_t b) {
    if (fd_ < 0) return;
    if (std::string stamp = stamps_.Before(b); !stamp.empty()) {
        pending_ += stamp;
        // A backspace takes back text of this line only, never the stamp or what came before it.
        lengths_.clear();
        leadPending_ = false;
        halfTaken_ = false;
    }
    if (halfTaken_) {
        halfTaken_ = false;
        // A character written over the erased column leaves the character's first half on the
        // screen: a blank stands for it, so what follows keeps its column.
        if (b >= 0x20) Append(' ');
    }
    Append(b);
}

void CaptureLog::Append(uint8_t b) {
    pending_ += static_cast<char>(b);
    if (leadPending_ && IsTrailByte(b) && !lengths_.empty()) {
        lengths_.back() = 2;
        leadPending_ = false;
    } else {
        if (lengths_.size() >= kRememberedChars)
            lengths_.erase(lengths_.begin(), lengths_.begin() + kRememberedChars / 2);
        lengths_.push_back(1);
        leadPending_ = IsLeadByte(b);
    }
    if (pending_.size() >= kFlushAt) Flush();
}

void CaptureLog::Mark(const std::string& line) {
    if (fd_ < 0) return;
    const char last = pending_.empty() ? lastWritten_ : pending_.back();
    if (last != '\n' && last != '\r') pending_ += "\r\n";
    pending_ += line;
    pending_ += "\r\n";
    // Nothing of the mark is taken back by a backspace; the next byte starts a line.
    lengths_.clear();
    leadPending_ = halfTaken_ = false;
    stamps_.Restart();
    Flush();
}

std::string ReconnectMark(const std::tm& now) {
    char text[64];
    std::snprintf(text, sizeof text, "--- 再接続 %02d:%02d:%02d ---", now.tm_hour, now.tm_min,
                  now.tm_sec);
    return Utf8ToSjis(text);
}

void CaptureLog::BackStep() {
    if (halfTaken_) {  // the second column of the character already taken back
        halfTaken_ = false;
        return;
    }
    if (fd_ < 0 || lengths_.empty()) return;  // nothing of this session left to take back
    const size_t len = lengths_.back();
    lengths_.pop_back();
    leadPending_ = false;
    halfTaken_ = len == 2;
    if (pending_.size() >= len) {
        pending_.resize(pending_.size() - len);
        return;
    }
    Flush();
    written_ = std::max<int64_t>(0, written_ - static_cast<int64_t>(len));
    // The taken-back text leaves the file, so that a log closed after a backspace ends where the
    // screen does. Should the truncation fail, the next byte still overwrites it.
    [[maybe_unused]] const int rc = ::ftruncate(fd_, static_cast<off_t>(written_));
}

namespace {

// Asks for the file through the dialog and opens it; the chosen mode becomes LogSaveForm.
bool AskAndOpen(CaptureLog& log, const std::string& autoName, Settings& s, IPlatform& platform,
                const LogDialog& ask) {
    // Without a dialog (a front end with no windows) nobody can choose another file.
    std::optional<LogChoice> choice;
    if (ask) {
        choice = ask(autoName, s.LogSaveForm != 0);
        if (!choice) return false;
    }
    if (!choice || !log.Open(ResolveCapturePath(choice->name, s.LogDefPath), choice->append)) {
        platform.MessageBox(kLogOpenFailed, MsgIcon::Exclamation);
        return false;
    }
    s.LogSaveForm = choice->append ? 1 : 0;
    return true;
}

}  // namespace

bool StartLog(CaptureLog& log, const std::string& prefix, Settings& s, IPlatform& platform,
              const LogDialog& ask, const std::tm& today) {
    log.Close();
    log.SetRemoveEscapes(s.LogRemoveEsc != 0);
    const std::string autoName = AutoLogName(prefix, today);
    if (s.LogDefault && log.Open(ResolveCapturePath(autoName, s.LogDefPath), s.LogSaveForm != 0))
        return true;
    return AskAndOpen(log, autoName, s, platform, ask);
}

bool ToggleLog(CaptureLog& log, Settings& s, IPlatform& platform, const LogDialog& ask,
               const std::tm& today) {
    if (log.IsOpen()) {
        log.Close();
        return false;
    }
    log.SetRemoveEscapes(s.LogRemoveEsc != 0);
    return AskAndOpen(log, AutoLogName("", today), s, platform, ask);
}

}  // namespace marlo
