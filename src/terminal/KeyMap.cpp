#include "terminal/KeyMap.h"

#include <array>

#include "settings/Settings.h"
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

}  // namespace

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
    const bool shift = (modifiers & kModShift) != 0;
    if (IsNavigation(key)) {
        if (modifiers & kModCtrl) {
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
