#include "terminal/TextReceive.h"

#include "platform/Platform.h"
#include "settings/Settings.h"

namespace marlo {

bool OpenTextReceive(CaptureLog& file, const LogChoice& choice, const Settings& s,
                     IPlatform& platform) {
    // What the terminal shows is written, never the escape sequences that drive it.
    file.SetRemoveEscapes(true);
    if (choice.name.empty() ||
        !file.Open(ResolveCapturePath(choice.name, s.TxrecvDefPath), choice.append)) {
        platform.MessageBox(kTextReceiveOpenFailed, MsgIcon::Exclamation);
        return false;
    }
    return true;
}

bool ToggleTextReceive(CaptureLog& file, LogChoice& last, const Settings& s, IPlatform& platform,
                       const LogDialog& ask) {
    if (file.IsOpen()) {
        file.Close();
        return false;
    }
    if (!ask) return false;
    std::optional<LogChoice> choice = ask(last.name, last.append);
    if (!choice) return false;
    last = *choice;
    return OpenTextReceive(file, *choice, s, platform);
}

}  // namespace marlo
