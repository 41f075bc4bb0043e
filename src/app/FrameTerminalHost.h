// The frame as the terminal view sees it: converted writes, break, user-key macros, the transfer
// flag, the bell, local echo and the echo wait that paces a paste.
#pragma once

#include "terminal/TerminalHost.h"

namespace marlo {

class CMainFrame;

class FrameTerminalHost : public ITerminalHost, public IEchoWait {
  public:
    explicit FrameTerminalHost(CMainFrame& frame) : frame_(frame) {}

    bool WriteConverted(const std::string& sjis) override;
    bool WriteUnheld(const std::string& utf8) override;
    void SendBreak() override;
    void RunMacroFile(const std::string& path) override;
    bool TransferRunning() const override;
    void Beep() override;
    void EchoLocal(const std::string& sjis) override;
    void ScreenSizeChanged(int rows, int columns) override;

    bool WaitForEcho(const std::string& text, int timeoutMs) override;
    bool Pause(int ms) override;

  private:
    CMainFrame& frame_;
};

}  // namespace marlo
