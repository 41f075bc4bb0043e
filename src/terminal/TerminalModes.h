// The modes an xterm host sets with DECSET/DECRST and SM/RM, as the keyboard, the paste and the
// views read them. In the other emulations they keep their defaults.
#pragma once

namespace marlo {

struct TerminalModes {
    bool applicationCursor = false;  // ?1: cursor keys send ESC O A..D
    bool applicationKeypad = false;  // ESC = / ESC >
    bool bracketedPaste = false;     // ?2004
    bool cursorVisible = true;       // ?25
    bool altScreen = false;          // ?47, ?1047, ?1049
    bool origin = false;             // ?6: rows count from the scroll region's top
    bool autoWrap = true;            // ?7
    bool insert = false;             // SM 4
};

}  // namespace marlo
