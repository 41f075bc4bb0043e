// One file transfer at a time: the transfer thread that runs an engine, the fields the user
// interface shares with it (abort request, running flag, elapsed time), the line's settings during
// the run, the start rules and the texts of the status window.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "line/LineIo.h"
#include "transfer/TransEngine.h"

namespace marlo {

class IPlatform;

// ---- Start rules ----

enum TransDirection { kDownload = 0, kUpload = 1 };

// Ids accepted by a start request in a direction (the last step of starting).
bool StartAccepted(int direction, int protocol);
// Protocols whose sender names the file, so no file is chosen before the start.
bool SkipsFileChoice(int direction, int protocol);

struct StartPlan {
    bool start = false;  // TransExecute(protocol) with `path`
    int protocol = 0;
    std::string path;  // empty: keep the previous transfer path
    bool askedProtocol = false;
    bool askedFile = false;
};
// How a start request (menu, WM_TRANS_UPLOAD/WM_TRANS_DOWNLOAD) proceeds. `chooseProtocol` shows
// the choice list and returns the chosen name (nullopt on Cancel); `chooseFile` shows the file
// dialog. Nothing is asked while a transfer runs.
StartPlan PlanTransferStart(
    int direction, int protocol, const std::string& file, bool transferRunning,
    const std::function<std::optional<std::string>(const std::vector<std::string>&)>&
        chooseProtocol,
    const std::function<std::optional<std::string>()>& chooseFile);

// The text of the "転送ﾌﾟﾛﾄｺﾙ" field for a protocol id; "" leaves the field as it is.
std::string ProtocolFieldText(int protocol);

// The end of a transfer: a successful download of an LZH archive is extracted when `Unlha` is on.
bool ShouldExtractLzh(int direction, bool succeeded, bool unlha, const std::filesystem::path& path);

// ---- The transfer thread ----

struct TransferRequest {
    int protocol = 0;
    int direction = kDownload;
    std::vector<std::filesystem::path> files;  // see TransferContext::files
    std::filesystem::path downloadDir;
    std::filesystem::path uploadDir;
    bool sevenToEight = true;  // `7to8`
    std::string abortSound;    // `WaveFile6`
    double timeScale = 1.0;
    // The answer to a resume question when nobody can be asked: -1 ask, 0 no, 1 yes. No also
    // overrules a sender that asks to resume.
    int resumeAnswer = -1;
    int overwriteAnswer = -1;  // see TransferContext
    int windowLimit = 0;
    // A ZMODEM management option that overrides the sender's ("" = as sent).
    std::string management;
    int fileNameCode = 0;  // `FileNameCode`
};

enum class StartResult {
    Started,
    Busy,            // a transfer is running
    EightBitFailed,  // "8ﾋﾞｯﾄに変更できませんでした"
    NoThread,        // "転送ｽﾚｯﾄﾞの作成に失敗しました"
};

class TransferSession {
  public:
    // `status` and `platform` may be null. The line, status and platform outlive the session.
    TransferSession(ILineIo& line, ITransferStatus* status, IPlatform* platform);
    ~TransferSession();
    TransferSession(const TransferSession&) = delete;
    TransferSession& operator=(const TransferSession&) = delete;

    // Prepares the line (8 data bits, software flow off, telnet transfer mode) and starts the
    // thread. `onEnd` is called on the transfer thread with the result when the engine is done
    // (the GUI posts WM_TRANS_END from it, and must not call back into the session there); it is
    // not called when the transfer was closed.
    StartResult Start(const TransferRequest& request, std::function<void(bool)> onEnd);

    // True from Start until Finish or Close (the status window is open).
    bool Running() const { return running_.load(); }
    // True once the engine is done (the end callback has run or is about to).
    bool EngineDone() const { return engineDone_.load(); }
    // Waits up to `ms` for the engine to end; true when it has.
    bool WaitEngine(int ms);

    // The timer tick: elapsed seconds since the start; returns "%02ld:%02ld:%02ld".
    std::string UpdateElapsed();
    long ElapsedSeconds() const { return ctx_.elapsedSeconds.load(); }

    // The user confirmed the cancel question: purge the line and ask the engine to stop; the engine
    // sends its protocol's cancel sequence and ends with failure.
    void Cancel();
    // The status window was closed: the engine stops at once with no end report; the line is put
    // back as it was. Waits for the thread.
    void Close();
    // The first half of Close without the wait: the engine is told to stop and will not report its
    // end. Close still joins the thread.
    void RequestStop();
    // The end steps after the end report: joins the thread and puts the line back. False when the
    // line's settings could not be restored ("元の通信条件に戻せませんでした").
    bool Finish();

    // The result of the last transfer (valid after the end report).
    bool Succeeded() const { return result_.load(); }
    int Protocol() const { return ctx_.protocol; }
    // After the run: the files completely received, and the transfer path as the engine left it.
    std::vector<std::filesystem::path> ReceivedFiles() const;
    std::filesystem::path TransferPath() const;
    // After the run: what the host sent after a completed session that the engine had already
    // read; taken once.
    std::vector<uint8_t> TakeUnread();

  private:
    void Run(std::function<void(bool)> onEnd, int direction);
    bool RestoreLine();

    ILineIo& line_;
    TransferContext ctx_;
    std::jthread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> engineDone_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> result_{false};
    std::mutex doneMutex_;
    std::condition_variable doneCv_;
    std::chrono::steady_clock::time_point start_;
    // The line's settings before the transfer, when they were changed.
    std::optional<LineParams> savedParams_;
    bool transferMode_ = false;
    std::vector<uint8_t> unread_;
};

// The message shown when the thread is given a protocol without an engine.
extern const char* const kTextNoProtocol;  // "転送プロトコルが指定されていません."

}  // namespace marlo
