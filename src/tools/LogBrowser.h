// The log browser "ﾛｸﾞ参照": the capture logs of the log folder for a period, opened in one of the
// log viewers or deleted. The window shows this model and forwards its buttons to it.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "line/History.h"

namespace marlo {

class IPlatform;
struct Settings;

inline constexpr const char* kLogBrowserTitle = "ﾛｸﾞ参照";
inline constexpr const char* kLogNoSelection = "ファイルを選択していません";
inline constexpr const char* kLogViewerFailed = "ログビューアの起動に失敗しました.";
inline constexpr const char* kLogDeleteAsk = "選択されたログファイルを削除します。";

struct LogFile {
    std::string name;  // as on disk
    std::string path;  // absolute
    std::uintmax_t size = 0;
    std::tm modified{};  // local time

    // The columns "ｻｲｽﾞ" ("%10ld") and "更新日時" (yy/mm/dd hh:mm).
    std::string SizeText() const;
    std::string TimeText() const;
};

// The files of `dir` whose name ends in ".log" in any case, modified in `period` relative to
// `today`, by name. A folder that cannot be read gives none.
std::vector<LogFile> ListLogFiles(const std::string& dir, HistoryPeriod period,
                                  const std::tm& today);

// The folder as the window shows it: up to 30 characters, a longer one cut at the front to "..."
// and its last 27 (Shift-JIS characters, never half of one).
std::string ShortFolderText(const std::string& dir);

class LogBrowserModel {
  public:
    // `today` gives the date the periods count from (the local date when empty).
    LogBrowserModel(const Settings& settings, IPlatform& platform,
                    std::function<std::tm()> today = nullptr);

    // The log folder, absolute.
    const std::string& Folder() const { return folder_; }
    HistoryPeriod Period() const { return period_; }
    // Chooses the period and fills the list again.
    void SetPeriod(HistoryPeriod period);
    void Refill();
    const std::vector<LogFile>& Files() const { return files_; }

    // The viewer box: the file-name part (no extension) of each LogViewer that is set, in order.
    const std::vector<std::string>& ViewerNames() const { return viewerNames_; }
    // Opens the files of `rows` in the viewer of box entry `viewer`, all in one process. Tells
    // the user when nothing is selected or the viewer does not start.
    bool View(int viewer, const std::vector<int>& rows);
    // Asks, then deletes the files of `rows` and fills the list again. False when nothing was
    // selected or the user cancelled (nothing is deleted then).
    bool Delete(const std::vector<int>& rows);

  private:
    std::vector<std::string> PathsOf(const std::vector<int>& rows) const;

    IPlatform& platform_;
    std::function<std::tm()> today_;
    std::string folder_;
    HistoryPeriod period_ = HistoryPeriod::Month;
    std::vector<LogFile> files_;
    std::vector<std::string> viewerNames_;
    std::vector<std::string> viewerPrograms_;  // UTF-8
};

}  // namespace marlo
