#include "tools/LogBrowser.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "macro/MacroText.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "text/Encoding.h"
#include "tools/ExternalPrograms.h"

namespace marlo {

namespace fs = std::filesystem;

namespace {

bool IsLogName(const std::string& name) {
    return name.size() > 4 &&
           EqualsIgnoringCase(std::string_view(name).substr(name.size() - 4), ".log");
}

}  // namespace

std::string LogFile::SizeText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%10ld", static_cast<long>(size));
    return text;
}

std::string LogFile::TimeText() const {
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d", modified.tm_year % 100,
                  modified.tm_mon + 1, modified.tm_mday, modified.tm_hour, modified.tm_min);
    return text;
}

std::vector<LogFile> ListLogFiles(const std::string& dir, HistoryPeriod period,
                                  const std::tm& today) {
    std::vector<LogFile> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        struct stat st {};
        if (!IsLogName(name) || ::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        LogFile f;
        f.name = name;
        f.path = it->path().string();
        f.size = static_cast<std::uintmax_t>(st.st_size);
        localtime_r(&st.st_mtime, &f.modified);
        if (InPeriod(period, f.modified.tm_year + 1900, f.modified.tm_mon + 1, f.modified.tm_mday,
                     today))
            files.push_back(std::move(f));
    }
    std::sort(files.begin(), files.end(),
              [](const LogFile& a, const LogFile& b) { return a.name < b.name; });
    return files;
}

std::string ShortFolderText(const std::string& dir) {
    constexpr size_t kMax = 30, kKept = 27;
    std::vector<size_t> starts;  // where each character begins
    for (size_t i = 0; i < dir.size(); i += SjisStep(dir, i)) starts.push_back(i);
    if (starts.size() <= kMax) return dir;
    return "..." + dir.substr(starts[starts.size() - kKept]);
}

LogBrowserModel::LogBrowserModel(const Settings& settings, IPlatform& platform,
                                 std::function<std::tm()> today)
    : platform_(platform), today_(today ? std::move(today) : LocalToday) {
    std::error_code ec;
    fs::path folder = fs::absolute(settings.LogDefPath.empty() ? "." : settings.LogDefPath, ec);
    folder_ = ec ? settings.LogDefPath : folder.lexically_normal().string();
    if (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
    for (const std::string& viewer : settings.LogViewer) {
        const auto words = SplitProgramLine(viewer);
        if (words.empty() || words[0].empty()) continue;
        viewerNames_.push_back(fs::path(words[0]).stem().string());
        viewerPrograms_.push_back(SjisToUtf8(viewer));
    }
    Refill();
}

void LogBrowserModel::SetPeriod(HistoryPeriod period) {
    period_ = period;
    Refill();
}

void LogBrowserModel::Refill() {
    files_ = ListLogFiles(folder_, period_, today_());
}

std::vector<std::string> LogBrowserModel::PathsOf(const std::vector<int>& rows) const {
    std::vector<std::string> paths;
    for (int row : rows)
        if (row >= 0 && static_cast<size_t>(row) < files_.size())
            paths.push_back(files_[static_cast<size_t>(row)].path);
    return paths;
}

bool LogBrowserModel::View(int viewer, const std::vector<int>& rows) {
    const auto paths = PathsOf(rows);
    if (paths.empty()) {
        platform_.MessageBox(kLogNoSelection, MsgIcon::Stop);
        return false;
    }
    std::vector<ProgramStart> starts;
    if (viewer >= 0 && static_cast<size_t>(viewer) < viewerPrograms_.size())
        starts = OpenWith(viewerPrograms_[static_cast<size_t>(viewer)], paths);
    for (auto& s : starts)
        if (s.workDir.empty()) s.workDir = folder_;
    if (StartAll(platform_, starts)) return true;
    platform_.MessageBox(kLogViewerFailed, MsgIcon::Exclamation);
    return false;
}

bool LogBrowserModel::Delete(const std::vector<int>& rows) {
    const auto paths = PathsOf(rows);
    if (paths.empty()) return false;
    if (platform_.MessageBox(kLogDeleteAsk, MsgIcon::Question, MsgButtons::OkCancel) !=
        MsgResult::Ok)
        return false;
    // A file that cannot be deleted is simply still listed afterwards.
    std::error_code ec;
    for (const auto& p : paths) fs::remove(p, ec);
    Refill();
    return true;
}

}  // namespace marlo
