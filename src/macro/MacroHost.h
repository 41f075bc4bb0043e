// What a running macro acts on, and how it is stopped and paused. The desktop frame and the
// headless one implement MacroHost; the interpreter calls it from the macro's own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "terminal/TextSend.h"

namespace marlo {

class MacroDialog;

// Stop and pause requests from the user-interface thread (the menu, SIGINT) to the macro thread.
// Pausing is cooperative: the macro holds between statements, never inside a lock.
class MacroControl {
  public:
    void Stop();
    bool Stopped() const { return stopped_.load(); }
    const std::atomic<bool>& StopFlag() const { return stopped_; }
    void SetPaused(bool paused);
    bool Paused() const { return paused_.load(); }
    // Holds while paused; false once stopped.
    bool HoldWhilePaused();
    // Sleeps `ms` or until stopped; false when stopped.
    bool SleepFor(long ms);
    // Ready for another run.
    void Reset();

  private:
    std::atomic<bool> stopped_{false};
    std::atomic<bool> paused_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
};

class MacroHost {
  public:
    virtual ~MacroHost() = default;
    // Writes bytes to the line through the send kanji conversion.
    virtual void Send(const std::string& bytes) = 0;
    // Waits for one of the texts to arrive; the 1-based index of the one that did, 0 on time-out or
    // when the macro is stopped (the wait must end at once then).
    virtual int Wait(const std::vector<std::string>& texts, long timeoutMs) = 0;
    // Pauses `ms`, ending early when the macro is stopped; `dispatching`: the macro's own messages
    // are handled meanwhile.
    virtual void Pause(long ms, bool dispatching) = 0;
    // A message box with the exclamation icon (errors come already formatted with their line).
    virtual void ShowError(const std::string& text) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    // Asks the frame to start another macro once this one has ended.
    virtual void StartMacro(const std::string& path) = 0;
    // The macro trace: whether it is wanted (texts are only formatted then), and where its texts
    // go. None without a front end that keeps one.
    virtual bool Tracing() const { return false; }
    virtual void Trace(const std::string& /*text*/) {}

    // What a macro asks of the user: boxes and its own dialog (texts Shift-JIS). Each returns at
    // once, as if cancelled, when the macro is stopped or the program closes. Without a front end
    // nothing is shown and nothing is answered.
    virtual void Message(const std::string& /*text*/) {}
    // True for Yes.
    virtual bool Question(const std::string& /*text*/) { return false; }
    // The text typed, nullopt for Cancel.
    virtual std::optional<std::string> Input(const std::string& /*prompt*/, bool /*masked*/) {
        return std::nullopt;
    }
    // Shows the dialog and stores its controls' values back; the ID that closed it (0 for the
    // close box), nullopt when no dialog could be made.
    virtual std::optional<int> ShowDialog(MacroDialog& /*dialog*/) { return std::nullopt; }

    // The program is closing: the macro ends before its next line.
    virtual bool Closing() const { return false; }
    // The line about to run, for the macro debugger.
    virtual void SelectLine(int /*index*/) {}
    virtual std::string UserId() const { return {}; }
    virtual std::string Password() const { return {}; }

    // ---- The line, file transfers, the screen, the capture log and programs. What has to run on
    // the user-interface thread is handed to it, and the macro waits for the outcome; every wait
    // ends at once when the macro is stopped or the program closes. Texts are Shift-JIS.
    enum class ConnectOutcome { Started, NotRegistered, Failed };
    // Connects the host entry of that name: a modem entry once it dials, a telnet entry once the
    // connection is made (or has failed).
    virtual ConnectOutcome Connect(const std::string& /*hostName*/) { return ConnectOutcome::Failed; }
    virtual void HangUp() {}
    // Holds a break for `ms` on a serial line; a pty takes no break, a telnet line has none.
    virtual void SendBreak(long /*ms*/) {}
    virtual void ClearBuffer() {}
    // Stops reading the line into the terminal (and the waits), or reads it again.
    virtual void SuspendLine(bool /*suspend*/) {}
    // A file transfer owns the line.
    virtual bool TransferRunning() const { return false; }
    // Runs a transfer by protocol number (0: the user chooses) and waits for its end; true when
    // it succeeded. A download asked for while one runs waits for that one.
    virtual bool Transfer(bool /*upload*/, int /*protocol*/, const std::string& /*file*/) { return false; }
    virtual TextSendOptions TextSend() const { return {}; }
    // The open-file dialog (UTF-8 title and filter); the chosen path, nullopt on Cancel.
    virtual std::optional<std::string> ChooseFile(const std::string& /*title*/, const std::string& /*filter*/) {
        return std::nullopt;
    }
    // The screen buffer's text: rows of 80 bytes from the first line to the cursor's, and the
    // cursor's (with `atCaret`, the view's caret's) position in it.
    struct ScreenText {
        std::string rows;
        int cursorRow = 0;
        int cursorColumn = 0;
    };
    virtual ScreenText Screen(bool /*atCaret*/) const { return {}; }
    // Opens the capture log on `file` (empty: the automatic name), appending unless `create`.
    virtual bool LogBegin(const std::string& /*file*/, bool /*create*/) { return false; }
    // Closes the capture log; false when none was open.
    virtual bool LogEnd() { return false; }
    // Starts a program detached, never through a shell; false when it cannot start.
    virtual bool StartProgram(const std::vector<std::string>& /*argv*/) { return false; }
    // The host entry the connection was made with; nullopt for any other connection.
    virtual std::optional<std::string> ConnectedHostName() const { return std::nullopt; }
};

}  // namespace marlo
