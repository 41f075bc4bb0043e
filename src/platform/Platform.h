// What the system needs from its surroundings: the user-interface thread's event queue, timers,
// dispatching waits, message boxes, choosers, clipboard, sounds and processes. The Qt front end,
// the headless front end and the tests each implement it; core code never talks to a toolkit.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "text/Encoding.h"

namespace marlo {

// Private messages of the system, kept under their historical names. The values only matter for
// tracing; events are delivered by id to the frame's OnEvent.
enum EventId : int {
    WM_USER = 0x0400,
    WM_COMMNOTIFY = 0x44,
    WM_BPLUS_ABORT = WM_USER + 3,
    WM_AUTOLOGON = WM_USER + 5,
    WM_RUN_MACRO_FILE = WM_USER + 8,
    WM_MACRO_START = WM_USER + 14,
    WM_TRANS_UPLOAD = WM_USER + 15,
    WM_TRANS_DOWNLOAD = WM_USER + 16,
    WM_EXTRACT_LZH = WM_USER + 17,
    WM_TRANS_END = WM_USER + 18,
    WM_TELNET_RESOLVED = WM_USER + 19,
    WM_TELNET_RETRY = WM_USER + 20,
    WM_TRANS_PROTOCOL = WM_USER + 21,
    WM_MACRO_CALL = WM_USER + 30,  // the macro thread asks the user-interface thread to do a task
    WM_COMMAND = 0x0111,  // a menu command; wParam is the command id
    WM_CLOSE = 0x0010,
};

// What a line reports with WM_COMMNOTIFY.
enum class LineEvent {
    None,
    DataReady,    // received bytes wait to be read
    ModemStatus,  // a modem control line (CTS, DSR, carrier) changed
    PeerClosed,   // the telnet server closed the connection
};

// An event for the user-interface thread. `text` carries a protocol name, a path or a macro file.
struct Event {
    int id = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    std::string text;
    std::string text2;
    LineEvent line = LineEvent::None;
};

// The WM_COMMNOTIFY of a line.
inline Event LineNotice(LineEvent what) {
    Event e;
    e.id = WM_COMMNOTIFY;
    e.line = what;
    return e;
}

enum class MsgIcon { None, Information, Question, Exclamation, Stop };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// Why a dispatching wait ended.
enum class WaitEnd { Condition, Deadline, Stopped };

class IEventTarget {
public:
    virtual ~IEventTarget() = default;
    virtual void OnEvent(const Event& e) = 0;
};

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // The target of posted and sent events (the main frame).
    virtual void SetEventTarget(IEventTarget* target) = 0;
    // Queues an event for the user-interface thread; safe from any thread.
    virtual void PostEvent(Event e) = 0;
    // Delivers an event on the user-interface thread and returns once it was handled. Called on the
    // user-interface thread itself, it is handled at once.
    virtual void SendEvent(Event e) = 0;
    // True on the user-interface thread.
    virtual bool OnUiThread() const = 0;

    // A repeating timer on the user-interface thread; the id is the caller's.
    virtual void StartTimer(int id, int periodMs, std::function<void()> tick) = 0;
    virtual void StopTimer(int id) = 0;

    // Calls `ready` on the user-interface thread whenever `fd` can be read (or has hung up or
    // failed) while the event loop runs, until UnwatchFd; `ready` must read the descriptor or
    // unwatch it, or it is called again at once. One watch per descriptor; both calls are made
    // on the user-interface thread, UnwatchFd also from inside `ready`.
    virtual void WatchFd(int fd, std::function<void()> ready) = 0;
    virtual void UnwatchFd(int fd) = 0;

    // Runs the user-interface event loop until `done` is true, the deadline passes or `stop` is set.
    // `done` is checked after every handled event and at least every 50 ms. Events whose id is in
    // `held` stay queued until the wait ends (so that notifications do not nest).
    virtual WaitEnd DispatchWait(const std::function<bool()>& done,
                                 std::optional<std::chrono::steady_clock::time_point> deadline,
                                 const std::atomic<bool>* stop = nullptr,
                                 std::vector<int> held = {}) = 0;
    // Handles what is queued now, without waiting; events in `held` stay queued.
    virtual void DispatchPending(std::vector<int> held = {}) = 0;

    // Texts are UTF-8 (the platform shows them); the title is "マーロ" unless given.
    virtual MsgResult MessageBox(const std::string& text, MsgIcon icon,
                                 MsgButtons buttons = MsgButtons::Ok,
                                 const std::string& title = "マーロ") = 0;
    // Chooses a file; nullopt when cancelled. `filter` is in the "名前 (*.x)|*.x||" form.
    virtual std::optional<std::string> ChooseFile(bool save, const std::string& title,
                                                  const std::string& filter,
                                                  const std::string& initialPath) = 0;
    virtual std::optional<std::string> ChooseFolder(const std::string& title,
                                                    const std::string& initialPath) = 0;
    // Asks a question with a list of choices (the port choice dialog); the index or nullopt.
    virtual std::optional<int> ChooseFromList(const std::string& title, const std::string& label,
                                              const std::vector<std::string>& items,
                                              int preselect) = 0;

    // The same with a text the user may type instead of choosing (the port dialog takes any device
    // path); the chosen or typed text, or nullopt. By default a plain choice from the list.
    virtual std::optional<std::string> ChooseOrTypeText(const std::string& title,
                                                        const std::string& label,
                                                        const std::vector<std::string>& items,
                                                        int preselect) {
        auto i = ChooseFromList(title, label, items, preselect);
        if (!i || *i < 0 || static_cast<size_t>(*i) >= items.size()) return std::nullopt;
        return items[static_cast<size_t>(*i)];
    }
    // A form of labelled text fields (the first-run folder dialog); the edited values, or nullopt
    // when cancelled. By default the values are taken as proposed.
    virtual std::optional<std::vector<std::string>> EditTextFields(
        const std::string& title, const std::vector<std::string>& labels,
        const std::vector<std::string>& values) {
        (void)title;
        (void)labels;
        return values;
    }

    // Clipboard text in Shift-JIS; the platform converts at its edge.
    virtual void SetClipboardText(const std::string& sjis) = 0;
    virtual std::string ClipboardText() = 0;
    // The clipboard text to send, with the characters Shift-JIS cannot hold kept as UTF-8.
    virtual std::vector<TextPiece> ClipboardPieces() { return {TextPiece{ClipboardText()}}; }

    // Plays a WAV file; an empty path or no audio device is silent.
    virtual void PlaySound(const std::string& path, bool wait) = 0;
    virtual void Beep() = 0;

    // Starts a program from an argument vector (never through a shell), in `workDir` when one is
    // given; false when it failed.
    virtual bool StartProcess(const std::vector<std::string>& argv,
                              const std::string& workDir = {}) = 0;

    // The auto-logon's stop window with its button "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ停止(F3)"; while it is open F3
    // presses the button, which sets `stop`. Null closes it.
    virtual void ShowAutoLogonStop(std::atomic<bool>* stop) { (void)stop; }
    // A status-bar text (the break message); empty clears it.
    virtual void SetStatusText(const std::string& utf8) = 0;
    // The main window's title.
    virtual void SetWindowTitle(const std::string& utf8) = 0;
    // A lamp bit of the status bar changed (DTR 1 .. RD 64); `lamps` is the whole set.
    virtual void UpdateLamps(unsigned lamps) = 0;

    // The modeless progress window "マーロ" of dialling, telnet connect, modem initialisation and
    // hang-up: a text line, a status line, a seconds field and the button "中断". Texts are UTF-8.
    // Pressing "中断" sets the flag returned by ProgressCancelled until the next ShowProgress.
    virtual void ShowProgress(const std::string& text) = 0;
    virtual void SetProgressStatus(const std::string& status) = 0;
    virtual void SetProgressSeconds(const std::string& seconds) = 0;
    virtual void CloseProgress() = 0;
    // The progress window's title (the host being reached); "マーロ" when never set.
    virtual void SetProgressTitle(const std::string& /*utf8*/) {}
    virtual bool ProgressVisible() const = 0;
    virtual const std::atomic<bool>& ProgressCancelled() const = 0;
};

}  // namespace marlo
