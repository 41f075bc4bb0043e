// The frame's side of a file transfer: how a transfer is started (menu or message), the status
// window "転送中" while it runs, cancel and close with their questions, and the end steps. The
// engine runs on the transfer thread; everything it reports is handed to the user-interface thread
// here, so the window is only ever touched from that thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "line/LineIo.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "transfer/AutoStart.h"
#include "transfer/TransEngine.h"
#include "settings/Trace.h"
#include "transfer/TransferSession.h"

namespace marlo {

// The transfer status window as the controller drives it (user-interface thread only). Texts are
// UTF-8. The window calls the controller's RequestCancel (button or F3) and RequestClose (its close
// box); it never closes itself.
class ITransferWindow {
  public:
    virtual ~ITransferWindow() = default;
    // Creates the window with every field at its initial text, centred over the main window.
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual void SetField(TransField field, const std::string& utf8) = 0;
    virtual void SetStatusTitle(const std::string& utf8) = 0;
    virtual void SetPercent(int percent) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
};

// What the controller needs of the frame around it.
struct TransferFrameHooks {
    // The line the engine reads and writes (null when no line is open).
    std::function<ILineIo*()> line;
    // The frame stops or resumes reading the line for the terminal (and reads what waited).
    std::function<void(bool running)> setRunning;
    // The main window's title when no transfer runs ("[%s]" with the host name).
    std::function<std::string()> idleTitle;
    // Received bytes the engine read past the end of its session, for the terminal.
    std::function<void(const std::vector<uint8_t>&)> unread;
    // Where the start of a transfer is traced (nothing when empty).
    TraceSink trace;
};

class TransferController {
  public:
    TransferController(IPlatform& platform, const Settings& settings, TransferFrameHooks hooks);
    ~TransferController();
    TransferController(const TransferController&) = delete;
    TransferController& operator=(const TransferController&) = delete;

    // The window (owned by the front end); without one the transfer runs unseen.
    void SetWindow(ITransferWindow* window) { window_ = window; }
    // Shows the protocol choice for a direction and returns the chosen Shift-JIS name (nullopt on
    // Cancel). Without it the platform's list chooser is used.
    std::function<std::optional<std::string>(int direction, const std::vector<std::string>& sjis)>
        chooseProtocol;
    // Extracts a downloaded LZH archive (may be empty: nothing is extracted).
    std::function<void(const std::string& path)> extractLzh;

    // Start upload / start download: the menu (protocol 0, no file) or WM_TRANS_UPLOAD /
    // WM_TRANS_DOWNLOAD. True when a transfer was started.
    bool StartTransfer(int direction, int protocol, const std::string& file);
    // The events: WM_TRANS_UPLOAD / WM_TRANS_DOWNLOAD (protocol name in `text`, file in `text2`),
    // WM_TRANS_END, and WM_TRANS_PROTOCOL (the status window shows what the engine reported).
    // True when the event was one of these.
    bool OnEvent(const Event& e);
    // Opens the status window and starts the thread for protocol `p` on the current transfer path.
    bool TransExecute(int protocol);

    // A received character on its way to the terminal: the automatic start of a ZMODEM or B Plus
    // download (posted as WM_TRANS_DOWNLOAD). False when the character is not to be displayed.
    bool AutoStartByte(uint8_t b);

    // Timer 3: the elapsed time in the status window, and whatever the engine reported.
    void OnTick();
    // The cancel button or F3: asks, then purges the line and asks the engine to stop.
    void RequestCancel();
    // The status window's close box: asks, then stops the engine without an end report.
    // True when the window was closed.
    bool RequestClose();
    // Shutdown: stops a running transfer without asking (bounded wait).
    void Stop();

    bool Running() const { return session_ != nullptr && open_; }
    // Transfers started and ended so far (done, failed or stopped), and whether the last one
    // succeeded; read
    // from any thread (a macro waits for its transfer through them).
    long Ends() const { return ends_.load(); }
    long Starts() const { return starts_.load(); }
    bool LastSucceeded() const { return lastSucceeded_.load(); }
    int Direction() const { return direction_; }
    const std::string& TransferPath() const { return transferPath_; }

    // Texts of the questions and messages.
    static const char* const kAskCancel;
    static const char* const kAskClose;
    static const char* const kEightBitFailed;
    static const char* const kRestoreFailed;
    static const char* const kNoThread;
    static const char* const kNoLine;
    static const char* const kFileTitle;
    static const char* const kFileFilter;
    // The status-bar line left when a transfer ends: what happened, then the file's name.
    static const char* const kEndedOk;
    static const char* const kEndedFailed;
    static const char* const kEndedStopped;

  private:
    class StatusRelay;
    void ReportEnd(const char* what, const std::string& path);
    void OnTransEnd(bool ok, intptr_t serial);
    void CloseWindow();
    void ShowReported();
    void WaitEngineDispatching(int ms);

    IPlatform& platform_;
    const Settings& settings_;
    TransferFrameHooks hooks_;
    ITransferWindow* window_ = nullptr;
    std::unique_ptr<StatusRelay> relay_;
    std::unique_ptr<TransferSession> session_;
    bool open_ = false;  // the status window is open
    bool stopping_ = false;
    bool asking_ = false;  // a question of the status window is open
    int direction_ = kDownload;
    std::string transferPath_;
    intptr_t serial_ = 0;  // tells a stale end report from the current transfer's
    AutoStartDetector autoStart_;
    std::atomic<long> starts_{0};
    std::atomic<long> ends_{0};
    std::atomic<bool> lastSucceeded_{false};
};

}  // namespace marlo
