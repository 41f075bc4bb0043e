#include "tools/Lzh.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lhasa.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/Platform.h"
#include "transfer/FileNames.h"

namespace marlo {

namespace {

// Messages naming a member (UTF-8 as it will be shown, or as stored when it cannot be used).
std::string Named(const std::string& member, const char* what) {
    return "「" + member + "」: " + what;
}

constexpr const char* kOutside = "解凍先ﾃﾞｨﾚｸﾄﾘの外を指す名前なので解凍しません";
constexpr const char* kLinkOutside = "解凍先ﾃﾞｨﾚｸﾄﾘの外を指すシンボリックリンクなので作りません";
constexpr const char* kSpecial = "特殊ファイル(デバイスなど)なので解凍しません";
constexpr const char* kBadName = "使えない名前なので解凍しません";
constexpr const char* kThroughLink =
    "途中のﾃﾞｨﾚｸﾄﾘがシンボリックリンクかﾌｧｲﾙなので解凍しません";
constexpr const char* kDamaged = "データが壊れています(CRCエラー)";
constexpr const char* kIsArchive = "書庫ファイル自身と同じ名前なので解凍しません";

std::string ErrnoText(int err) { return std::strerror(err); }

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd_, o.fd_);
        return *this;
    }
    int Get() const { return fd_; }
    bool Ok() const { return fd_ >= 0; }

  private:
    int fd_;
};

// The archive as liblhasa reads it: a descriptor whose position is known, so that the end of the
// members can be told from a damaged header.
struct ArchiveStream {
    int fd = -1;
    uint64_t offset = 0;
    uint64_t size = 0;

    static int Read(void* handle, void* buf, size_t len) {
        auto* s = static_cast<ArchiveStream*>(handle);
        for (;;) {
            ssize_t n = ::read(s->fd, buf, len);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -1;
            s->offset += static_cast<uint64_t>(n);
            return static_cast<int>(n);
        }
    }
    static int Skip(void* handle, size_t bytes) {
        auto* s = static_cast<ArchiveStream*>(handle);
        if (bytes > s->size - std::min(s->offset, s->size)) return 0;
        if (::lseek(s->fd, static_cast<off_t>(bytes), SEEK_CUR) < 0) return 0;
        s->offset += bytes;
        return 1;
    }
};

const LHAInputStreamType kStreamType = {&ArchiveStream::Read, &ArchiveStream::Skip, nullptr};

uint32_t LittleEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// The stored name's bytes with '/' between folders, read from the header's raw bytes: liblhasa
// turns every byte 0x5C of a level-0 name into a separator (a Shift-JIS character's second byte
// among them) and quietly drops "..", where the name must be kept to be judged.
std::string StoredName(const LHAFileHeader& h) {
    const uint8_t* raw = h.raw_data;
    const size_t len = h.raw_data_len;
    std::string name, folder;
    size_t ext = 0;
    int field = 2;
    if (h.header_level <= 1) {
        if (len < 22) return {};
        const size_t n = raw[21];
        if (22 + n <= len) name.assign(reinterpret_cast<const char*>(raw + 22), n);
        ext = raw[0];  // level 1: the size of the first extended header ends the base header
        if (h.header_level == 0) ext = len;
    } else {
        ext = h.header_level == 2 ? 24 : 28;
        field = h.header_level == 2 ? 2 : 4;
    }
    while (ext + static_cast<size_t>(field) < len) {
        const size_t size = LittleEndian(raw + ext, field);
        if (size == 0 || size < static_cast<size_t>(field) + 1 || size > len - ext) break;
        const uint8_t type = raw[ext + static_cast<size_t>(field)];
        const char* data = reinterpret_cast<const char*>(raw + ext + static_cast<size_t>(field) + 1);
        const size_t dataLen = size - static_cast<size_t>(field) - 1;
        if (type == 0x01) name.assign(data, dataLen);
        if (type == 0x02) folder.assign(data, dataLen);
        ext += size;
    }
    for (char& c : folder)
        if (static_cast<uint8_t>(c) == 0xFF) c = '/';
    if (!folder.empty() && folder.back() != '/' && !name.empty()) folder += '/';
    return folder + name;
}

// The parts of a path between '/' and '\' (in UTF-8 neither is ever part of another character),
// without the empty ones and ".".
std::vector<std::string> PathParts(const std::string& utf8) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t end = utf8.find_first_of("/\\", start);
        if (end == std::string::npos) end = utf8.size();
        std::string part = utf8.substr(start, end - start);
        start = end + 1;
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
    }
    return parts;
}

bool Absolute(const std::string& utf8) {
    return (!utf8.empty() && (utf8[0] == '/' || utf8[0] == '\\')) ||
           (utf8.size() >= 2 && utf8[1] == ':');  // a drive
}

// A stored name (already UTF-8) as the components of a path inside the destination; nullopt
// with `why` set when it would lead out or cannot be used.
std::optional<std::vector<std::string>> SafeComponents(const std::string& utf8, const char*& why) {
    why = kOutside;
    if (utf8.empty()) {
        why = kBadName;
        return std::nullopt;
    }
    if (Absolute(utf8)) return std::nullopt;
    std::vector<std::string> parts = PathParts(utf8);
    for (std::string& part : parts) {
        if (part == "..") return std::nullopt;
        auto clean = ReceivedFileName(part);
        if (!clean) {
            why = kBadName;
            return std::nullopt;
        }
        part = *clean;
    }
    return parts;
}

// The path a member was written to, relative to the destination: its parts as made safe for the
// file system (a name with bytes no file name holds is written under its cleaned form).
std::string Joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        if (!path.empty()) path += '/';
        path += part;
    }
    return path;
}

// Whether a link in the folder `depth` levels below the destination with this target stays
// inside the destination.
bool LinkStaysInside(const std::string& target, size_t depth) {
    if (target.empty() || Absolute(target)) return false;
    long level = static_cast<long>(depth);
    for (const std::string& part : PathParts(target)) {
        level += part == ".." ? -1 : 1;
        if (level < 0) return false;
    }
    return true;
}

struct ArchiveId {
    dev_t dev = 0;
    ino_t ino = 0;
};

class Extractor {
  public:
    Extractor(const LzhProgress& progress, LzhResult& result) : progress_(progress), r_(result) {}

    // Runs over the archive; `destination` null lists it.
    void Run(const std::string& archive, const std::filesystem::path* destination) {
        Fd in(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (!in.Ok() || ::fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            const int err = in.Ok() ? EISDIR : errno;
            return FileError("書庫ファイル「" + archive + "」を開けません (" + ErrnoText(err) + ")");
        }
        archiveId_ = {st.st_dev, st.st_ino};
        Fd dest;
        if (destination) {
            std::error_code ec;
            std::filesystem::create_directories(*destination, ec);
            dest = Fd(::open(destination->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!dest.Ok())
                return FileError("解凍先ﾃﾞｨﾚｸﾄﾘ「" + destination->string() + "」を使えません (" +
                                 ErrnoText(errno) + ")");
        }
        ArchiveStream stream{in.Get(), 0, static_cast<uint64_t>(st.st_size)};
        LHAInputStream* input = lha_input_stream_new(&kStreamType, &stream);
        LHAReader* reader = input ? lha_reader_new(input) : nullptr;
        if (!reader) {
            if (input) lha_input_stream_free(input);
            return FileError("メモリが足りません");
        }
        lha_reader_set_dir_policy(reader, LHA_READER_DIR_PLAIN);
        uint64_t nextHeader = 0;
        bool any = false;
        while (!Cancelled()) {
            LHAFileHeader* h = lha_reader_next_file(reader);
            if (!h) break;
            any = true;
            nextHeader = stream.offset + h->compressed_length;
            LzhMember m = Describe(*h);
            Report(stream, m.name);
            if (destination)
                Extract(reader, *h, m, dest.Get(), stream);
            else
                r_.members.push_back(m);
        }
        lha_reader_free(reader);
        lha_input_stream_free(input);
        if (Cancelled()) {
            r_.status = LzhStatus::Cancelled;
            return;
        }
        if (progress_.report) progress_.report(stream.size, stream.size, "");
        // The members end at the end of the file or at a zero byte; anything else is a header
        // that could not be read.
        uint8_t next = 0;
        const bool atEnd = nextHeader >= stream.size ||
                           (::pread(in.Get(), &next, 1, static_cast<off_t>(nextHeader)) == 1 &&
                            next == 0);
        if (!any)
            Fail("「" + archive + "」はLZH書庫ではありません");
        else if (nextHeader > stream.size)
            Fail("書庫が途中で切れています");
        else if (!atEnd)
            Fail("書庫が途中で壊れています (" + std::to_string(nextHeader) + "バイト目)");
    }

  private:
    bool Cancelled() const { return progress_.cancel && progress_.cancel->load(); }
    void Fail(std::string why) {
        r_.problems.push_back(std::move(why));
        if (r_.status == LzhStatus::Ok) r_.status = LzhStatus::Failed;
    }
    void FileError(std::string why) {
        r_.problems.push_back(std::move(why));
        r_.status = LzhStatus::FileError;
    }
    void Report(const ArchiveStream& s, const std::string& member) {
        if (progress_.report) progress_.report(s.offset, s.size, member);
    }

    static LzhMember Describe(const LHAFileHeader& h) {
        LzhMember m;
        std::string stored = StoredName(h);
        // A link is stored as "name|target"; liblhasa's own copy of the target has lost its '/'.
        if (h.symlink_target) {
            const size_t bar = stored.find('|');
            if (bar != std::string::npos) {
                m.linkTarget = FileNameToUtf8(stored.substr(bar + 1));
                stored.resize(bar);
            }
        }
        m.name = FileNameToUtf8(stored);
        m.method.assign(h.compress_method, strnlen(h.compress_method, sizeof h.compress_method));
        m.size = h.length;
        m.packed = h.compressed_length;
        m.directory = m.method == LHA_COMPRESS_TYPE_DIR && !h.symlink_target;
        return m;
    }

    void Extract(LHAReader* reader, const LHAFileHeader& h, const LzhMember& m, int dest,
                 const ArchiveStream& stream) {
        const char* why = nullptr;
        auto parts = SafeComponents(m.name, why);
        if (!parts) return Fail(Named(m.name, why));
        const bool perms = LHA_FILE_HAVE_EXTRA(&h, LHA_FILE_UNIX_PERMS);
        const unsigned type = perms ? (h.unix_perms & 0170000u) : 0;
        if (!m.linkTarget.empty()) {
            if (parts->empty() || !LinkStaysInside(m.linkTarget, parts->size() - 1))
                return Fail(Named(m.name, kLinkOutside));
        } else if (m.directory ? (type != 0 && type != 0040000u)
                               : (type != 0 && type != 0100000u)) {
            return Fail(Named(m.name, kSpecial));
        }
        if (parts->empty()) {
            if (m.directory) return;  // the destination itself
            return Fail(Named(m.name, kBadName));
        }
        // The folders on the way, none of them through a link.
        const size_t folders = m.directory ? parts->size() : parts->size() - 1;
        Fd dir(::dup(dest));
        for (size_t i = 0; i < folders; ++i) {
            const char* part = (*parts)[i].c_str();
            if (::mkdirat(dir.Get(), part, 0777) != 0 && errno != EEXIST)
                return Fail(Named(m.name, ("ﾃﾞｨﾚｸﾄﾘを作れません (" + ErrnoText(errno) + ")").c_str()));
            Fd next(::openat(dir.Get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next.Ok()) return Fail(Named(m.name, kThroughLink));
            dir = std::move(next);
        }
        if (m.directory) {
            r_.extracted.push_back(Joined(*parts));
            return;
        }
        const std::string& leaf = parts->back();
        struct stat there {};
        if (::fstatat(dir.Get(), leaf.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
            there.st_dev == archiveId_.dev && there.st_ino == archiveId_.ino)
            return Fail(Named(m.name, kIsArchive));
        // A name nothing in the folder has, a member extracted before included: a failure removes
        // only what this member made.
        std::string temp;
        struct stat taken {};
        do {
            temp = ".marlo-lzh-" + std::to_string(::getpid()) + "-" + std::to_string(++tempCount_);
        } while (::fstatat(dir.Get(), temp.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0);
        if (!m.linkTarget.empty()) {
            if (::symlinkat(m.linkTarget.c_str(), dir.Get(), temp.c_str()) != 0)
                return Fail(Named(m.name, ("作れません (" + ErrnoText(errno) + ")").c_str()));
        } else if (!WriteData(reader, h, m, dir.Get(), temp, stream)) {
            ::unlinkat(dir.Get(), temp.c_str(), 0);
            return;
        }
        if (::renameat(dir.Get(), temp.c_str(), dir.Get(), leaf.c_str()) != 0) {
            const int err = errno;
            ::unlinkat(dir.Get(), temp.c_str(), 0);
            return Fail(Named(m.name, ("書き込めません (" + ErrnoText(err) + ")").c_str()));
        }
        r_.extracted.push_back(Joined(*parts));
    }

    // The member's data into `temp` in `dir`; false (with the problem noted, or cancelled) when
    // it is not whole.
    bool WriteData(LHAReader* reader, const LHAFileHeader& h, const LzhMember& m, int dir,
                   const std::string& temp, const ArchiveStream& stream) {
        if (!lha_decoder_for_name(const_cast<char*>(h.compress_method))) {
            Fail(Named(m.name, ("圧縮方法 " + m.method + " には対応していません").c_str()));
            return false;
        }
        const bool perms = LHA_FILE_HAVE_EXTRA(&h, LHA_FILE_UNIX_PERMS);
        const mode_t mode = perms ? static_cast<mode_t>((h.unix_perms & 0777u) | 0600u) : 0666;
        Fd out(::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        mode));
        if (!out.Ok()) {
            Fail(Named(m.name, ("書き込めません (" + ErrnoText(errno) + ")").c_str()));
            return false;
        }
        std::array<uint8_t, 64 * 1024> buf;
        uint64_t length = 0;
        uint16_t crc = 0;
        for (;;) {
            if (Cancelled()) return false;
            const size_t n = lha_reader_read(reader, buf.data(), buf.size());
            if (n == 0) break;
            length += n;
            crc = LzhCrc16(buf.data(), n, crc);
            for (size_t at = 0; at < n;) {
                const ssize_t w = ::write(out.Get(), buf.data() + at, n - at);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) {
                    Fail(Named(m.name, ("書き込めません (" + ErrnoText(errno) + ")").c_str()));
                    return false;
                }
                at += static_cast<size_t>(w);
            }
            Report(stream, m.name);
        }
        if (length != h.length || crc != h.crc) {
            Fail(Named(m.name, kDamaged));
            return false;
        }
        if (h.timestamp != 0) {
            const struct timespec times[2] = {{static_cast<time_t>(h.timestamp), 0},
                                              {static_cast<time_t>(h.timestamp), 0}};
            ::futimens(out.Get(), times);
        }
        return true;
    }

    const LzhProgress& progress_;
    LzhResult& r_;
    ArchiveId archiveId_;
    unsigned tempCount_ = 0;
};

}  // namespace

std::filesystem::path LzhDestination(const std::string& archive, const std::string& destination) {
    if (!destination.empty()) {
        std::filesystem::path p(destination);
        // "dir/" and "dir" are the same folder.
        return p.has_filename() ? p : p.parent_path();
    }
    std::filesystem::path folder = std::filesystem::path(archive).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

LzhResult ExtractLzh(const std::string& archive, const std::string& destination,
                     const LzhProgress& progress) {
    LzhResult result;
    const std::filesystem::path dest = LzhDestination(archive, destination);
    Extractor(progress, result).Run(archive, &dest);
    return result;
}

LzhResult ListLzh(const std::string& archive) {
    LzhResult result;
    LzhProgress none;
    Extractor(none, result).Run(archive, nullptr);
    return result;
}

std::string LzhVersionText() {
    char text[32];
    std::snprintf(text, sizeof text, "Version %2d.%02d", MARLO_LHASA_VERSION / 100,
                  MARLO_LHASA_VERSION % 100);
    return text;
}

uint16_t LzhCrc16(const uint8_t* data, size_t n, uint16_t crc) {
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
            t[i] = static_cast<uint16_t>(c);
        }
        return t;
    }();
    for (size_t i = 0; i < n; ++i) crc = static_cast<uint16_t>(table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

// ---------------------------------------------------------------- the job and its end

LzhJob::LzhJob(LzhRequest request) : request_(std::move(request)) {
    thread_ = std::jthread([this] {
        LzhProgress progress;
        progress.cancel = &cancel_;
        progress.report = [this](uint64_t done, uint64_t total, const std::string& member) {
            done_ = done;
            total_ = total;
            std::lock_guard lock(mutex_);
            if (member_ != member) member_ = member;
        };
        LzhResult result = ExtractLzh(request_.archive, request_.destination, progress);
        {
            std::lock_guard lock(mutex_);
            result_ = std::move(result);
        }
        finished_ = true;
    });
}

LzhJob::~LzhJob() {
    cancel_ = true;
}

std::string LzhJob::CurrentMember() const {
    std::lock_guard lock(mutex_);
    return member_;
}

LzhOutcome LzhJob::Outcome() const {
    std::lock_guard lock(mutex_);
    return {request_, result_};
}

void ReportLzhOutcome(IPlatform& platform, const LzhOutcome& outcome) {
    const LzhResult& r = outcome.result;
    if (r.status == LzhStatus::Cancelled) return;
    if (r.status != LzhStatus::Ok) {
        // The first problems are enough to see what went wrong; the box stays on the screen.
        constexpr size_t kShown = 10;
        std::string text = kLzhFailed;
        text += "\n";
        for (size_t i = 0; i < r.problems.size() && i < kShown; ++i) text += "\n" + r.problems[i];
        if (r.problems.size() > kShown)
            text += "\n(ほか" + std::to_string(r.problems.size() - kShown) + "件)";
        platform.MessageBox(text, MsgIcon::Exclamation);
        return;
    }
    if (!outcome.request.deleteArchive) return;
    std::error_code ec;
    if (!std::filesystem::remove(outcome.request.archive, ec) || ec)
        platform.MessageBox(kLzhDeleteFailed, MsgIcon::Exclamation);
}

}  // namespace marlo
