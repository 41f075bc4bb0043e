#include "app/FrameTerminalHost.h"

#include "app/MainFrame.h"
#include "line/StringWait.h"

namespace marlo {

bool FrameTerminalHost::WriteConverted(const std::string& sjis) {
    return frame_.WriteConverted(sjis);
}

bool FrameTerminalHost::WriteUnheld(const std::string& utf8) {
    return frame_.CurrentSession().WriteUnheld(utf8);
}

void FrameTerminalHost::SendBreak() {
    frame_.SendBreak();
}

void FrameTerminalHost::RunMacroFile(const std::string& path) {
    frame_.Platform().PostEvent(Event{WM_RUN_MACRO_FILE, 0, 0, path, {}});
}

bool FrameTerminalHost::TransferRunning() const {
    return frame_.transferRunning.load();
}

void FrameTerminalHost::Beep() {
    frame_.Platform().Beep();
}

void FrameTerminalHost::EchoLocal(const std::string& sjis) {
    frame_.Term().ProcessLocal(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size());
}

void FrameTerminalHost::ScreenSizeChanged(int rows, int columns) {
    frame_.CurrentSession().Telnet().SetWindowSize(columns, rows);
}

bool FrameTerminalHost::WaitForEcho(const std::string& text, int timeoutMs) {
    WaitOptions options;
    options.timeoutMs = timeoutMs;
    options.fresh = true;
    options.stop = &frame_.m_bAutoCmdStop;
    return WaitForString(frame_.Platform(), frame_.Wait(), text, options) == WaitOutcome::Matched;
}

bool FrameTerminalHost::Pause(int ms) {
    const bool stopAtStart = frame_.m_bAutoCmdStop.load();
    return DispatchingPause(frame_.Platform(), ms, [this, stopAtStart] {
        return !stopAtStart && frame_.m_bAutoCmdStop.load();
    });
}

}  // namespace marlo
