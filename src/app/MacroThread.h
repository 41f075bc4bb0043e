// The macro thread: runs one macro file at a time beside the user-interface thread, on the frame's
// line, string wait and message boxes. Stop ends a wait or a sleep at once and joins the thread;
// pause holds the macro between statements (never inside a lock). The thread's end is handed to
// the user-interface thread as an event, which joins it and starts a macro that `start` asked for.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "macro/MacroHost.h"
#include "macro/MacroInterpreter.h"

namespace marlo {

class CMainFrame;

class CMacroThread {
  public:
    explicit CMacroThread(CMainFrame& frame);
    ~CMacroThread();
    CMacroThread(const CMacroThread&) = delete;
    CMacroThread& operator=(const CMacroThread&) = delete;

    // Starts the macro file. While one runs: "ﾏｸﾛは実行中です" and false.
    bool Start(const std::string& path);
    // Stops a running macro and waits for its thread (user-interface thread).
    void Stop();
    void TogglePause();
    bool Running() const { return running_.load(); }
    bool Paused() const { return control_.Paused(); }

    // User-interface thread: WM_MACRO_START. From a run that ended (`run` its number): joins it
    // and starts the file `start` asked for; the end of an earlier run changes nothing. From
    // elsewhere (`run` 0): stops the macro that runs and starts the file.
    void OnMacroStart(const std::string& path, long run = 0);

    // The lines of the macro running (or last run), Shift-JIS, and the one running now (0-based,
    // -1 when none): what the macro debugger shows.
    std::vector<std::string> ProgramLines() const;
    int CurrentLine() const { return currentLine_.load(); }
    void SetCurrentLine(int index) { currentLine_ = index; }

    // How the last run ended, and its error ("message [N行目]") if it had one.
    MacroInterpreter::End LastEnd() const { return lastEnd_; }
    const std::string& LastError() const { return lastError_; }
    // Called on the user-interface thread once a run has ended and its thread was joined.
    std::function<void(MacroInterpreter::End)> onEnded;
    // The front end's boxes and dialogs for the macro; none: the macro can ask nothing.
    std::atomic<MacroUserInterface*> userInterface{nullptr};

    // A task of the macro thread for the user-interface thread, posted as WM_MACRO_CALL. The macro
    // waits for `done`; a macro that stopped waiting sets `dropped`, and a task not begun by then
    // is not carried out.
    struct UiCall {
        std::function<void()> work;
        std::atomic<bool> done{false};
        std::atomic<bool> dropped{false};
    };
    std::shared_ptr<UiCall> PostCall(std::function<void()> work);
    // User-interface thread: WM_MACRO_CALL.
    void RunCall(long id);

  private:
    void Join();
    void Run(std::string bytes, long run);

    CMainFrame& frame_;
    MacroControl control_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> currentLine_{-1};
    long run_ = 0;  // the number of the latest run
    mutable std::mutex linesMutex_;
    std::vector<std::string> lines_;
    std::mutex callsMutex_;
    std::map<long, std::shared_ptr<UiCall>> calls_;
    long nextCall_ = 0;
    MacroInterpreter::End lastEnd_ = MacroInterpreter::End::Finished;
    std::string lastError_;
};

}  // namespace marlo
