// What the terminal view needs from the main frame: the line (converted writes, the break
// signal), the macro thread (user keys that run a macro file), the transfer-running flag, the
// bell, the local echo into the receive path, and the echo wait that paces a paste.
#pragma once

#include <string>

namespace marlo {

class ITerminalHost {
  public:
    virtual ~ITerminalHost() = default;
    // Shift-JIS text to the line, converted to the send code; false when nothing could be sent.
    virtual bool WriteConverted(const std::string& sjis) = 0;
    // UTF-8 characters that Shift-JIS cannot hold: as they are to a line whose send code is
    // UTF-8, else a geta mark each.
    virtual bool WriteUnheld(const std::string& utf8) = 0;
    virtual void SendBreak() {}
    // Runs a macro file (full path) on the macro thread.
    virtual void RunMacroFile(const std::string& /*path*/) {}
    virtual bool TransferRunning() const { return false; }
    virtual void Beep() {}
    // Typed Shift-JIS text shown as if it had been received. It must not pass the receive kanji
    // decoder: the text is already Shift-JIS whatever the line's code.
    virtual void EchoLocal(const std::string& /*sjis*/) {}
    // The terminal's screen has this size now (a telnet server in xterm mode is told).
    virtual void ScreenSizeChanged(int /*rows*/, int /*columns*/) {}
};

// Paces a paste by the host's echo.
class IEchoWait {
  public:
    virtual ~IEchoWait() = default;
    // Waits, keeping the window alive, until the received text contains `text` or the time-out
    // passes; false on a time-out or a stop request.
    virtual bool WaitForEcho(const std::string& text, int timeoutMs) = 0;
    // A pause that keeps the window alive; false when it was stopped.
    virtual bool Pause(int ms) = 0;
};

}  // namespace marlo
