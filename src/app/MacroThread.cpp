#include "app/MacroThread.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>

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
    FrameMacroHost(CMainFrame& frame, MacroControl& control) : frame_(frame), control_(control) {}

    void Send(const std::string& bytes) override {
        frame_.Wait().Record();  // the answer may come before the macro's next wait
        frame_.WriteConverted(bytes);
    }

    int Wait(const std::vector<std::string>& texts, long timeoutMs) override {
        ShowHeldStatus();
        WaitOptions options;
        options.timeoutMs = static_cast<int>(std::min<long>(timeoutMs, INT32_MAX));
        options.fresh = false;  // text left after the last match still counts
        options.stop = &control_.StopFlag();
        options.trace = [](const std::string& text) { TraceText(kTraceMacro, text); };
        int index = 0;
        WaitForAny(frame_.Platform(), frame_.Wait(), texts, options, &index);
        return index;
    }

    void Pause(long ms, bool) override {
        ShowHeldStatus();
        control_.SleepFor(ms);
    }

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
