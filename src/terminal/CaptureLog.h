// The capture log: the received text as displayed, in Shift-JIS, written to a file while it is
// open. The same file sink serves the text-receive file. A backspace takes back one column of what
// this session wrote (never older text): a double-byte character goes whole at its first
// backspace, and the second one, which erases its other column on the screen, takes nothing more.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "terminal/CaptureSink.h"
#include "terminal/LineStamps.h"

namespace marlo {

class IPlatform;
struct Settings;

// Messages and labels (UTF-8).
inline constexpr const char* kLogOpenFailed = "ﾛｸﾞﾌｧｲﾙのｵｰﾌﾟﾝに失敗しました.";
inline constexpr const char* kLogLoadFailed = "ログファイルのロードに失敗しました.";
inline constexpr const char* kLogDialogTitle = "ログファイル";
inline constexpr const char* kLogChooserTitle = "ログファイルの選択";
inline constexpr const char* kLogChooserFilter = "ﾛｸﾞﾌｧｲﾙ (*.log)|*.log|すべてのﾌｧｲﾙ (*.*)|*.*||";
inline constexpr const char* kSavedScreenFile = "lglog.txt";

// What the file dialog of a capture file says: the log's, or the text receive's.
struct CaptureDialogTexts {
    const char* title;
    const char* chooserTitle;
    const char* chooserFilter;  // "名前 (*.x)|*.x|...||"
    const char* extension;      // given to a chosen name without one
};
inline constexpr CaptureDialogTexts kLogDialogTexts{kLogDialogTitle, kLogChooserTitle,
                                                    kLogChooserFilter, "log"};

// The automatic name of a log started on `date`: "LG950401.LOG", or with a host's prefix in place
// of LG, right-aligned in two characters (a one-letter prefix gets a blank before it). The prefix
// is cut to two bytes and cannot reach another folder; an empty one means LG.
std::string AutoLogName(const std::string& prefix, const std::tm& date);

// A name without a folder goes into `dir`. When a file of that name exists with its extension in
// another case ("lg950401.log"), that file is the one meant.
std::string ResolveCapturePath(const std::string& name, const std::string& dir);

// The "*.LOG" files of a folder, whatever the case of the extension, sorted by name.
std::vector<std::string> FindLogFiles(const std::string& dir);

class CaptureLog : public ICaptureSink {
  public:
    CaptureLog() = default;
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;
    ~CaptureLog() override;

    // Opens `path` for writing: append positions at the end of an existing file (a missing one is
    // created), otherwise the file is created anew. An open file is closed first. False when the
    // file cannot be opened, or another capture file of this program has it open (the two would
    // write over each other); the log then stays closed and the file untouched.
    bool Open(const std::string& path, bool append);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // LogRemoveEsc: escape sequences are left out of the log.
    void SetRemoveEscapes(bool remove) { removeEscapes_ = remove; }

    void Put(uint8_t b) override;
    void BackStep() override;
    bool WantsEscapes() const override { return !removeEscapes_; }

    // Writes what is buffered; done on close, when the buffer fills and on the frame's timer.
    void Flush();
    // A line of the program's own (Shift-JIS, without its line end) between the received lines,
    // on a line of its own, written at once.
    void Mark(const std::string& line);

    // Timestamps before each line (the `TimeStamp` setting); the elapsed form counts from the open
    // unless the owner sets another origin (the connection).
    LineStamper& Stamps() { return stamps_; }

  private:
    void Append(uint8_t b);

    int fd_ = -1;
    std::string path_;
    std::pair<uint64_t, uint64_t> id_{};  // device and inode of the open file
    bool removeEscapes_ = true;
    std::string pending_;           // bytes not yet written
    char lastWritten_ = '\n';       // the last byte that left pending_
    int64_t written_ = 0;           // file offset where pending_ starts
    std::vector<uint8_t> lengths_;  // byte lengths of the characters written in this session
    bool leadPending_ = false;      // the last byte was a Shift-JIS first byte
    // The last backspace took back a whole double-byte character of which the screen erased one
    // column: the next backspace erases the other, the next character stands where it was.
    bool halfTaken_ = false;
    LineStamper stamps_;
};

// The mark of a serial device opened again after it went away: "--- 再接続 HH:MM:SS ---" in
// Shift-JIS.
std::string ReconnectMark(const std::tm& now);

// The log dialog: asks for a file name and for new or append, given the automatic name and the
// preselected mode; nullopt when cancelled.
struct LogChoice {
    std::string name;
    bool append = true;
};
using LogDialog = std::function<std::optional<LogChoice>(const std::string& autoName, bool append)>;

// Starts a log named after `prefix` and `today`: with LogDefault straight into LogDefPath, in the
// mode of LogSaveForm; otherwise, or when that open fails, through the dialog, whose mode becomes
// LogSaveForm. An open log is closed first. True when a log is open afterwards.
bool StartLog(CaptureLog& log, const std::string& prefix, Settings& s, IPlatform& platform,
              const LogDialog& ask, const std::tm& today);

// The menu toggle: closes an open log, or asks for a file through the dialog and opens it.
bool ToggleLog(CaptureLog& log, Settings& s, IPlatform& platform, const LogDialog& ask,
               const std::tm& today);


}  // namespace marlo
