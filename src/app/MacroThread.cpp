#include "app/MacroThread.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "macro/MacroMessages.h"
#include "macro/MacroProgram.h"
#include "settings/Trace.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

// The macro's world through the frame: the line, the string wait, message boxes, the status bar.
class FrameMacroHost : public MacroHost {
  public:
    FrameMacroHost(CMainFrame& frame, MacroControl& control)
        : frame_(frame), control_(control) {
        startsSeen_ = frame.Transfer().Starts();
    }

    void Send(const std::string& bytes) override {
        frame_.Wait().Record();  // the answer may come before the macro's next wait
        startsSeen_ = frame_.Transfer().Starts();  // and so may a download the host starts
        frame_.WriteConverted(bytes);
    }

    int Wait(const std::vector<std::string>& texts, long timeoutMs) override {
        ShowHeldStatus();
        WaitOptions options;
        options.timeoutMs = static_cast<int>(std::min<long>(timeoutMs, INT32_MAX));
        options.fresh = false;  // text left after the last match still counts
        options.stop = &control_.StopFlag();
        options.trace = [this](const std::string& text) { Trace(text); };
        int index = 0;
        WaitForAny(frame_.Platform(), frame_.Wait(), texts, options, &index);
        return index;
    }

    void Pause(long ms, bool) override {
        ShowHeldStatus();
        control_.SleepFor(ms);
    }

    bool Tracing() const override { return TraceMode(); }
    void Trace(const std::string& text) override { TraceText(kTraceMacro, text); }

    void ShowError(const std::string& text) override {
        frame_.Platform().MessageBox(text, MsgIcon::Exclamation);
    }

    // A tight loop would flood the window with texts: the status bar hears at most ten a second,
    // and always the last one.
    void SetStatus(const std::string& text) override {
        auto now = std::chrono::steady_clock::now();
        held_ = text;
        if (!text.empty() && text != macro_text::kRunning && now - lastStatus_ < std::chrono::milliseconds(100))
            return;
        lastStatus_ = now;
        ShowHeldStatus();
    }
    // Before the macro blocks, the status bar shows the line it blocks on.
    void ShowHeldStatus() {
        if (held_ == shown_) return;
        shown_ = held_;
        frame_.Platform().SetStatusText(held_);
    }

    void StartMacro(const std::string& path) override { next_ = SjisToUtf8(path); }
    void SelectLine(int index) override { frame_.Macro().SetCurrentLine(index); }
    bool Closing() const override { return frame_.Closing(); }
    std::string UserId() const override { return frame_.ConnectedHost().ID; }
    std::string Password() const override { return frame_.ConnectedHost().Password; }

    // Boxes and the macro's dialog, drawn by the front end; each ends when the macro is stopped.
    void Message(const std::string& text) override {
        ShowHeldStatus();
        if (auto* ui = frame_.Macro().userInterface.load()) ui->Message(text, control_.StopFlag());
    }
    bool Question(const std::string& text) override {
        ShowHeldStatus();
        auto* ui = frame_.Macro().userInterface.load();
        return ui && ui->Question(text, control_.StopFlag());
    }
    std::optional<std::string> Input(const std::string& prompt, bool masked) override {
        ShowHeldStatus();
        auto* ui = frame_.Macro().userInterface.load();
        return ui ? ui->Input(prompt, masked, control_.StopFlag()) : std::nullopt;
    }
    std::optional<int> ShowDialog(MacroDialog& dialog) override {
        ShowHeldStatus();
        auto* ui = frame_.Macro().userInterface.load();
        return ui ? ui->ShowDialog(dialog, control_.StopFlag()) : std::nullopt;
    }

    std::string next_;  // the macro `start` asked for

    // ---- The line, transfers, the screen, the capture log and programs ----

    // Runs `work` on the user-interface thread and waits for its value; nullopt when the macro is
    // stopped or the program begins to close first. `work` must not capture this thread's locals.
    template <typename T>
    std::optional<T> OnUi(std::function<T()> work) const {
        auto value = std::make_shared<std::optional<T>>();
        auto call = frame_.Macro().PostCall([work = std::move(work), value] { *value = work(); });
        while (!call->done) {
            if (frame_.Closing() || !control_.SleepFor(5)) {
                call->dropped = true;
                return std::nullopt;
            }
        }
        return *value;
    }

    ConnectOutcome Connect(const std::string& hostName) override {
        CMainFrame& frame = frame_;
        struct Begun {
            ConnectOutcome outcome;
            bool telnet;
        };
        auto begun = OnUi<Begun>([&frame, hostName]() -> Begun {
            auto index = frame.Hosts().Find(hostName);
            if (!index) return {ConnectOutcome::NotRegistered, false};
            const HostEntry entry = frame.Hosts().At(*index);
            if (!frame.ConnectHostEntry(entry)) return {ConnectOutcome::Failed, false};
            return {ConnectOutcome::Started, entry.IsTelnet()};
        });
        if (!begun) return ConnectOutcome::Failed;
        if (!begun->telnet) return begun->outcome;  // the modem dials on; the macro goes on
        // A telnet host is there once connected: what the macro sends next reaches it.
        for (;;) {
            auto connecting = OnUi<bool>([&frame]() -> bool { return frame.Conn().telnetConnecting; });
            if (!connecting) return ConnectOutcome::Failed;
            if (!*connecting) break;
            control_.SleepFor(50);
        }
        auto connected = OnUi<bool>([&frame]() -> bool { return frame.Conn().connected; });
        return connected && *connected ? ConnectOutcome::Started : ConnectOutcome::Failed;
    }

    void HangUp() override {
        CMainFrame& frame = frame_;
        OnUi<bool>([&frame] {
            frame.HangUp();
            return true;
        });
    }

    void SendBreak(long ms) override {
        CMainFrame& frame = frame_;
        const int held = static_cast<int>(std::min<long>(ms, INT32_MAX));
        const std::atomic<bool>* stop = &control_.StopFlag();
        OnUi<bool>([&frame, held, stop] {
            if (!frame.TelnetMode()) frame.Comm().SendBreak(held, stop);
            return true;
        });
    }

    void ClearBuffer() override {
        CMainFrame& frame = frame_;
        OnUi<bool>([&frame] {
            frame.OnCommand(ID_CLEAR_BUFFER);
            return true;
        });
    }

    void SuspendLine(bool suspend) override {
        CMainFrame& frame = frame_;
        suspended_ = suspend;
        // What was held back is for the macro's next wait.
        if (!suspend) frame_.Wait().Record();
        OnUi<bool>([&frame, suspend] {
            frame.SetMacroSuspended(suspend);
            return true;
        });
    }

    bool TransferRunning() const override { return frame_.transferRunning.load(); }

    bool Transfer(bool upload, int protocol, const std::string& file) override {
        CMainFrame& frame = frame_;
        struct Begun {
            bool started;  // a transfer runs, or ran, for this statement
            long ends;     // the count of ended transfers it waits to grow
            long starts;   // transfers started, this one included
        };
        const long seen = startsSeen_;
        auto begun = OnUi<Begun>([&frame, upload, protocol, file, seen]() -> Begun {
            TransferController& transfer = frame.Transfer();
            const long ends = transfer.Ends();
            // The host began its send since the macro's last send and the download started by
            // itself: that one is the macro's, running or already over.
            if (!upload && transfer.Direction() == kDownload && transfer.Starts() > seen)
                return {true, transfer.Running() ? ends : ends - 1, transfer.Starts()};
            if (transfer.Running()) return {false, ends, seen};
            bool started = transfer.StartTransfer(upload ? kUpload : kDownload, protocol, file);
            return {started, ends, transfer.Starts()};
        });
        bool ok = false;
        if (begun && begun->started) {
            while (frame_.Transfer().Ends() == begun->ends && !frame_.Closing() && control_.SleepFor(50)) {
            }
            ok = frame_.Transfer().Ends() != begun->ends && frame_.Transfer().LastSucceeded();
        }
        // A download the host starts after this one is for the macro's next statement.
        if (begun) startsSeen_ = begun->starts;
        return ok;
    }

    TextSendOptions TextSend() const override {
        CMainFrame& frame = frame_;
        auto options = OnUi<TextSendOptions>([&frame] {
            const Settings& s = frame.S();
            return TextSendOptions{s.TxSendTabNum, s.TxSendMaxCol, s.TxSendCRLF != 0};
        });
        return options.value_or(TextSendOptions{});
    }

    std::optional<std::string> ChooseFile(const std::string& title, const std::string& filter) override {
        CMainFrame& frame = frame_;
        auto chosen = OnUi<std::optional<std::string>>([&frame, title, filter] {
            return frame.Platform().ChooseFile(false, title, filter, SjisToUtf8(frame.S().TxsendDefPath));
        });
        return chosen ? *chosen : std::nullopt;
    }

    ScreenText Screen(bool) const override {
        // The view's caret stands where the terminal's cursor is.
        Terminal& term = frame_.Term();
        const ScreenBuffer& buffer = term.Buffer();
        auto lock = buffer.Lock();
        ScreenText out;
        int line = 0, column = 0;
        term.State().GetCursor(line, column);
        line = std::clamp(line, 0, buffer.Lines() - 1);
        out.rows.reserve(static_cast<size_t>(line + 1) * kBufferColumns);
        for (int i = 0; i <= line; ++i)
            out.rows.append(reinterpret_cast<const char*>(buffer.Chars(i)), kBufferColumns);
        out.cursorRow = line;
        out.cursorColumn = std::clamp(column, 0, kBufferColumns - 1);
        return out;
    }

    bool LogBegin(const std::string& file, bool create) override {
        CMainFrame& frame = frame_;
        auto open = OnUi<bool>([&frame, file, create] { return frame.BeginCaptureLog(file, create); });
        return open && *open;
    }

    bool LogEnd() override {
        CMainFrame& frame = frame_;
        auto wasOpen = OnUi<bool>([&frame] {
            bool open = frame.Log().IsOpen();
            frame.Log().Close();
            return open;
        });
        return wasOpen && *wasOpen;
    }

    bool StartProgram(const std::vector<std::string>& argv) override {
        return frame_.Platform().StartProcess(argv);
    }

    std::optional<std::string> ConnectedHostName() const override {
        CMainFrame& frame = frame_;
        auto name = OnUi<std::string>([&frame] {
            const Connection& c = frame.Conn();
            return c.connected && c.history ? c.hostName : std::string();
        });
        if (!name || name->empty()) return std::nullopt;
        return name;
    }

    bool suspended_ = false;  // the line is to be read again when the macro ends
    long startsSeen_ = 0;     // transfers started before the macro's last send or transfer

  private:
    CMainFrame& frame_;
    MacroControl& control_;
    std::chrono::steady_clock::time_point lastStatus_{};
    std::string held_, shown_;  // the latest status text, and the one the status bar shows
};

}  // namespace

CMacroThread::CMacroThread(CMainFrame& frame) : frame_(frame) {}

CMacroThread::~CMacroThread() {
    control_.Stop();
    if (thread_.joinable()) thread_.join();
}

bool CMacroThread::Start(const std::string& path) {
    if (running_) {
        frame_.Platform().MessageBox(macro_text::kAlreadyRunning, MsgIcon::Stop);
        return false;
    }
    Join();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        frame_.Platform().MessageBox(macro_text::kOpenFailed, MsgIcon::Stop);
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    control_.Reset();
    {
        std::lock_guard lock(linesMutex_);
        lines_ = LoadMacroProgram(bytes).lines;
    }
    currentLine_ = -1;
    running_ = true;
    frame_.macroRunning = true;
    thread_ = std::thread([this, bytes = std::move(bytes), run = ++run_]() mutable {
        Run(std::move(bytes), run);
    });
    return true;
}

void CMacroThread::Run(std::string bytes, long run) {
    FrameMacroHost host(frame_, control_);
    MacroInterpreter interpreter(host, control_);
    lastEnd_ = interpreter.Run(bytes);
    lastError_ = interpreter.LastError();
    if (host.suspended_) {
        CMainFrame& frame = frame_;
        PostCall([&frame] { frame.SetMacroSuspended(false); });
    }
    currentLine_ = -1;
    running_ = false;
    frame_.macroRunning = false;
    // The user-interface thread joins this thread and carries out what the macro asked for last.
    Event e;
    e.id = WM_MACRO_START;
    e.lParam = run;
    e.text = control_.Stopped() ? std::string() : host.next_;  // a stopped macro starts nothing
    frame_.Platform().PostEvent(std::move(e));
}

std::vector<std::string> CMacroThread::ProgramLines() const {
    std::lock_guard lock(linesMutex_);
    return lines_;
}

void CMacroThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void CMacroThread::Stop() {
    control_.Stop();
    // The macro may be waiting for the user-interface thread (a message box): keep it running
    // until the macro has ended; its end event is handled afterwards.
    if (running_ && frame_.Platform().OnUiThread())
        frame_.Platform().DispatchWait([this] { return !running_.load(); },
                                       std::chrono::steady_clock::now() + std::chrono::seconds(10),
                                       nullptr, {WM_MACRO_START});
    Join();
}

std::shared_ptr<CMacroThread::UiCall> CMacroThread::PostCall(std::function<void()> work) {
    auto call = std::make_shared<UiCall>();
    call->work = std::move(work);
    long id;
    {
        std::lock_guard lock(callsMutex_);
        id = ++nextCall_;
        calls_[id] = call;
    }
    Event e;
    e.id = WM_MACRO_CALL;
    e.lParam = id;
    frame_.Platform().PostEvent(std::move(e));
    return call;
}

void CMacroThread::RunCall(long id) {
    std::shared_ptr<UiCall> call;
    {
        std::lock_guard lock(callsMutex_);
        auto it = calls_.find(id);
        if (it == calls_.end()) return;
        call = std::move(it->second);
        calls_.erase(it);
    }
    if (!call->dropped) call->work();
    call->done = true;
}

void CMacroThread::TogglePause() {
    if (running_) control_.SetPaused(!control_.Paused());
}

void CMacroThread::OnMacroStart(const std::string& path, long run) {
    if (run > 0 && run != run_) return;  // a newer macro has started since
    if (running_) Stop();  // the macro that asked must be gone before the next one starts
    Join();
    if (!path.empty() && Start(path)) return;
    if (onEnded) onEnded(lastEnd_);
}

}  // namespace marlo
