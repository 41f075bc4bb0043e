#include "terminal/KeyMap.h"

#include <array>

#include "settings/Settings.h"
#include "terminal/KanjiCodec.h"
#include "terminal/ScreenBuffer.h"
#include "terminal/Selection.h"
#include "terminal/TerminalHost.h"

namespace marlo {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kBs = 0x08;
constexpr uint8_t kCr = 0x0D;

constexpr std::array<const char*, 12> kFunctionTails = {
    "OP", "OQ", "OR", "OS", "[15~", "[17~", "[18~", "[19~", "[20~", "[21~", "[23~", "[24~",
};

bool IsNavigation(TermKey k) {
    return k >= TermKey::Up && k <= TermKey::End;
}

bool IsFunction(TermKey k) {
    return k >= TermKey::F1 && k <= TermKey::F12;
}

std::string Esc(const char* tail) {
    return std::string(1, static_cast<char>(kEsc)) + tail;
}

// How xterm codes a key: a final letter after CSI (or after SS3 when unmodified and in
// application mode, or always for F1..F4), or a number before "~".
struct XtermKey {
    TermKey key;
    enum { Cursor, Ss3, Tilde } form;
    int number;
    char final;
};

constexpr XtermKey kXtermKeys[] = {
    {TermKey::Up, XtermKey::Cursor, 1, 'A'},    {TermKey::Down, XtermKey::Cursor, 1, 'B'},
    {TermKey::Right, XtermKey::Cursor, 1, 'C'}, {TermKey::Left, XtermKey::Cursor, 1, 'D'},
    {TermKey::Home, XtermKey::Cursor, 1, 'H'},  {TermKey::End, XtermKey::Cursor, 1, 'F'},
    {TermKey::Insert, XtermKey::Tilde, 2, '~'}, {TermKey::Delete, XtermKey::Tilde, 3, '~'},
    {TermKey::PageUp, XtermKey::Tilde, 5, '~'}, {TermKey::PageDown, XtermKey::Tilde, 6, '~'},
    {TermKey::F1, XtermKey::Ss3, 1, 'P'},       {TermKey::F2, XtermKey::Ss3, 1, 'Q'},
    {TermKey::F3, XtermKey::Ss3, 1, 'R'},       {TermKey::F4, XtermKey::Ss3, 1, 'S'},
    {TermKey::F5, XtermKey::Tilde, 15, '~'},    {TermKey::F6, XtermKey::Tilde, 17, '~'},
    {TermKey::F7, XtermKey::Tilde, 18, '~'},    {TermKey::F8, XtermKey::Tilde, 19, '~'},
    {TermKey::F9, XtermKey::Tilde, 20, '~'},    {TermKey::F10, XtermKey::Tilde, 21, '~'},
    {TermKey::F11, XtermKey::Tilde, 23, '~'},   {TermKey::F12, XtermKey::Tilde, 24, '~'},
};

}  // namespace

std::string XtermKeyBytes(TermKey key, int modifiers, const KeyModes& modes) {
    const XtermKey* k = nullptr;
    for (const XtermKey& x : kXtermKeys)
        if (x.key == key) k = &x;
    if (!k) return {};
    // xterm's modifier parameter: 1, plus 1 for Shift, 2 for Alt, 4 for Ctrl.
    const int m = 1 + ((modifiers & kModShift) ? 1 : 0) + ((modifiers & kModAlt) ? 2 : 0) +
                  ((modifiers & kModCtrl) ? 4 : 0);
    std::string out(1, static_cast<char>(kEsc));
    if (k->form == XtermKey::Tilde) {
        out += '[' + std::to_string(k->number);
        if (m > 1) out += ';' + std::to_string(m);
    } else if (m > 1) {
        out += "[1;" + std::to_string(m);
    } else {
        const bool ss3 = k->form == XtermKey::Ss3 || modes.applicationCursor;
        out += ss3 ? 'O' : '[';
    }
    out += k->final;
    return out;
}

const char* TypedKeyText(TermKey key, int emulation) {
    const bool xterm = emulation == kXtermTerminal;
    if (key == TermKey::Backspace) return xterm ? "\x7f" : "\b";
    if (key == TermKey::Delete && !xterm) return "\x7f";
    return nullptr;
}

const char* FunctionKeyTail(int index) {
    if (index < 0 || index >= static_cast<int>(kFunctionTails.size())) return "";
    return kFunctionTails[static_cast<size_t>(index)];
}

std::string ExpandUserKey(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && (text[i + 1] == 'M' || text[i + 1] == 'J')) {
            out += text[i + 1] == 'M' ? '\r' : '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string UserKeyMacroPath(const std::string& name, const std::string& macroFolder) {
    if (name.find('/') != std::string::npos || macroFolder.empty()) return name;
    std::string path = macroFolder;
    if (path.back() != '/') path += '/';
    return path + name;
}

bool TrailLeftOfCursor(const ScreenBuffer& buffer, int line, int column, bool vt) {
    if (line < 0 || line >= buffer.Lines()) return false;
    if (column <= 0) {
        if (!vt || line == 0) return false;
        return IsTrailCell(buffer.Chars(line - 1), kBufferColumns - 1);
    }
    if (column > kBufferColumns) column = kBufferColumns;
    return IsTrailCell(buffer.Chars(line), column - 1);
}

KeyOutcome Keyboard::KeyDown(TermKey key, int modifiers, const KeyViewState& view) {
    KeyOutcome out;
    if (key == TermKey::None) {
        out.action = KeyAction::Default;
        return out;
    }
    const int emulation = settings_.EmulationMode();
    const bool xterm = emulation == kXtermTerminal;
    const bool shift = (modifiers & kModShift) != 0;
    if (IsNavigation(key)) {
        // In xterm mode Ctrl with a cursor key goes to the host unless there is another pane.
        if ((modifiers & kModCtrl) && (view.split || !xterm)) {
            if (view.split) {
                out.action = KeyAction::ScrollOther;
                out.key = key;
            }
            return out;
        }
        if (view.rangeSelect && key != TermKey::Home && key != TermKey::End) {
            out.action = KeyAction::MoveSelection;
            out.key = key;
            out.extend = shift;
            return out;
        }
    }
    std::string bytes;
    const int lines = std::max(settings_.ScrollLine, 1) * (shift ? 2 : 1);
    if (xterm) {
        // As in xterm, Shift with PageUp or PageDown pages through the history here.
        if (shift && (key == TermKey::PageUp || key == TermKey::PageDown)) {
            out.action = KeyAction::ScrollLines;
            out.amount = key == TermKey::PageUp ? -view.visibleRows : view.visibleRows;
        } else if (IsFunction(key) && settings_.FKLocal != 0) {
            RunUserKey(static_cast<int>(key) - static_cast<int>(TermKey::F1));
        } else {
            bytes = XtermKeyBytes(key, modifiers, view.modes);
            if (bytes.empty()) out.action = KeyAction::Default;
        }
        return sendKey(bytes, out);
    }
    // The keys of the VT100, VT52 and dumb modes.
    switch (key) {
        case TermKey::Up:
        case TermKey::Down: {
            const bool up = key == TermKey::Up;
            if (emulation == 1) {
                bytes = Esc(up ? "OA" : "OB");
            } else if (emulation == 2) {
                bytes = Esc(up ? "A" : "B");
            } else {
                out.action = KeyAction::ScrollLines;
                out.amount = up ? -lines : lines;
            }
            break;
        }
        case TermKey::Left:
        case TermKey::Right: {
            const bool left = key == TermKey::Left;
            if (emulation == 1) {
                bytes = Esc(left ? "OD" : "OC");
            } else if (emulation == 2) {
                bytes = Esc(left ? "D" : "C");
            } else if (left ? view.leftColumn > 0
                            : view.leftColumn + view.visibleColumns < kBufferColumns) {
                out.action = KeyAction::ScrollColumns;
                out.amount = left ? -2 : 2;
            }
            break;
        }
        case TermKey::PageUp:
        case TermKey::PageDown: {
            const bool up = key == TermKey::PageUp;
            if (emulation == 1) {
                bytes = Esc(up ? "[5~" : "[6~");
            } else {
                out.action = KeyAction::ScrollLines;
                out.amount = up ? -view.visibleRows : view.visibleRows;
            }
            break;
        }
        case TermKey::Home:
            out.action = KeyAction::ScrollHome;
            break;
        case TermKey::End:
            out.action = KeyAction::ScrollEnd;
            break;
        case TermKey::Insert:
        case TermKey::Delete:
        case TermKey::Backspace:
            out.action = KeyAction::Default;
            break;
        default:
            if (IsFunction(key)) {
                const int index = static_cast<int>(key) - static_cast<int>(TermKey::F1);
                if (settings_.FKLocal != 0)
                    RunUserKey(index);
                else if (emulation != 0)
                    bytes = Esc(FunctionKeyTail(index));
            }
            break;
    }
    return sendKey(bytes, out);
}

KeyOutcome Keyboard::sendKey(const std::string& bytes, KeyOutcome out) {
    if (!bytes.empty()) {
        if (host_.TransferRunning()) {
            out.action = KeyAction::Beep;
            host_.Beep();
        } else {
            host_.WriteConverted(bytes);
        }
    }
    return out;
}

void Keyboard::send(uint8_t b, bool echo) {
    std::string one(1, static_cast<char>(b));
    if (echo) host_.EchoLocal(one);
    host_.WriteConverted(one);
}

KeyOutcome Keyboard::Char(uint8_t b, int modifiers, const KeyViewState& view,
                          const ScreenBuffer& buffer) {
    KeyOutcome out;
    const bool vt = settings_.EmulationMode() != 0;
    const bool echo = settings_.LocalEcho != 0;
    auto beep = [&] {
        host_.Beep();
        out.action = KeyAction::Beep;
        return out;
    };
    if (b == kEsc && !vt) {
        out.action = KeyAction::CancelMode;
        return out;
    }
    if (b == kTab && !vt) {
        out.action = KeyAction::FocusOther;
        return out;
    }
    if (!vt && view.scrollBack) return beep();
    if (b == kBs && settings_.BS2Byte != 0 &&
        TrailLeftOfCursor(buffer, view.cursorLine, view.cursorColumn, vt)) {
        if (host_.TransferRunning()) return beep();
        send(kBs, echo);
    }
    if (host_.TransferRunning()) return beep();
    if (b == ' ' && (modifiers & kModCtrl)) {
        host_.SendBreak();
        return out;
    }
    send(b, echo);
    if (b == kCr && settings_.SndCRLF != 0) host_.WriteConverted("\n");
    return out;
}

KeyOutcome Keyboard::Text(const std::string& sjis, int modifiers, const KeyViewState& view,
                          const ScreenBuffer& buffer) {
    KeyOutcome out;
    for (char c : sjis) {
        out = Char(static_cast<uint8_t>(c), modifiers, view, buffer);
        if (out.action != KeyAction::None) break;
    }
    return out;
}

KeyOutcome Keyboard::Unheld(const std::string& utf8, const KeyViewState& view) {
    KeyOutcome out;
    if ((settings_.EmulationMode() == 0 && view.scrollBack) || host_.TransferRunning()) {
        host_.Beep();
        out.action = KeyAction::Beep;
        return out;
    }
    if (settings_.LocalEcho != 0) host_.EchoLocal(GetaMarks(utf8));
    host_.WriteUnheld(utf8);
    return out;
}

void Keyboard::RunUserKey(int index) {
    if (index < 0 || index >= static_cast<int>(settings_.UserKey.size())) return;
    const std::string& text = settings_.UserKey[static_cast<size_t>(index)];
    if (text.empty()) return;
    if (settings_.UserKeyK[static_cast<size_t>(index)] == 1) {
        host_.RunMacroFile(UserKeyMacroPath(text, settings_.MacroDefPath));
        return;
    }
    if (host_.TransferRunning()) {
        host_.Beep();
        return;
    }
    host_.WriteConverted(ExpandUserKey(text));
}

}  // namespace marlo
