// The keyboard of the terminal view: typed characters and key presses become bytes for the host
// (through ITerminalHost::WriteConverted) or local actions the view carries out (scrolling the
// history, moving a keyboard selection, the other pane of a split window). The toolkit translates
// its key events into TermKey and modifier bits; everything else is decided here.
#pragma once

#include <cstdint>
#include <string>

namespace marlo {

struct Settings;
class ScreenBuffer;
class ITerminalHost;

enum class TermKey {
    None,
    Up,
    Down,
    Left,
    Right,
    PageUp,
    PageDown,
    Home,
    End,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    Insert,
    Delete,
    Backspace,
};

enum KeyModifier : int { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

// The terminal's modes the keyboard follows (set by the host's escape sequences in xterm mode).
struct KeyModes {
    bool applicationCursor = false;  // cursor keys and Home/End send their SS3 forms
};

// The view's state the keyboard consults.
struct KeyViewState {
    KeyModes modes;
    bool scrollBack = false;   // looking at history
    bool rangeSelect = false;  // keyboard range-selection mode
    bool split = false;        // the window has two panes
    int visibleRows = 24;
    int visibleColumns = 80;
    int leftColumn = 0;
    // The cursor's buffer position (BS with double-byte characters).
    int cursorLine = 0;
    int cursorColumn = 0;
};

enum class KeyAction {
    None,           // nothing more to do (sent, or nothing to do)
    Beep,           // the key was refused
    Default,        // the toolkit's own handling (produces the character messages)
    ScrollLines,    // amount: lines, negative back into the history
    ScrollColumns,  // amount: columns, negative to the left
    ScrollHome,     // scroll-back mode, top line 0
    ScrollEnd,      // the newest text at the bottom, scroll-back mode ends
    ScrollOther,    // `key` without Ctrl goes to the other pane
    MoveSelection,  // range selection: move the end by `key`, extending when `extend`
    CancelMode,     // ESC in the dumb terminal: leave the innermost view mode
    FocusOther,     // TAB in the dumb terminal: the other pane takes the keyboard
};

struct KeyOutcome {
    KeyAction action = KeyAction::None;
    int amount = 0;
    TermKey key = TermKey::None;
    bool extend = false;
};

// What F1..F12 send after ESC in the VT modes (index 0..11).
const char* FunctionKeyTail(int index);
// What xterm sends for a key with the modifier bits: the cursor keys, Home, End, Insert, Delete,
// PageUp, PageDown and F1..F12 (with modifiers as CSI 1;m forms); empty for any other key.
std::string XtermKeyBytes(TermKey key, int modifiers, const KeyModes& modes);
// The text Backspace and Delete type, given to the typing path (local echo, the double BS after a
// kanji): BS and DEL in the VT100, VT52 and dumb modes, DEL for Backspace in xterm mode. Null
// where the key is a key press of its own (Delete in xterm mode) and for every other key.
const char* TypedKeyText(TermKey key, int emulation);
// A user key's text with ^M as CR and ^J as LF; every other character is kept as it is.
std::string ExpandUserKey(const std::string& text);
// A user key's macro file: a bare name is taken from the macro folder.
std::string UserKeyMacroPath(const std::string& name, const std::string& macroFolder);
// Whether the byte left of (line, column) is the second byte of a double-byte character. In the
// VT modes the cell left of column 0 is the last cell of the line above; there is none above
// line 0, and none left of column 0 in the dumb terminal.
bool TrailLeftOfCursor(const ScreenBuffer& buffer, int line, int column, bool vt);

class Keyboard {
  public:
    Keyboard(const Settings& settings, ITerminalHost& host) : settings_(settings), host_(host) {}

    // A key press (cursor, page and function keys). TermKey::None gives Default.
    KeyOutcome KeyDown(TermKey key, int modifiers, const KeyViewState& view);
    // One typed byte (Shift-JIS; the two bytes of a double-byte character come one by one).
    // The caller holds the buffer's lock.
    KeyOutcome Char(uint8_t b, int modifiers, const KeyViewState& view, const ScreenBuffer& buffer);
    // Typed text: each byte in turn; stops at the first byte that is not sent and returns its
    // outcome.
    KeyOutcome Text(const std::string& sjis, int modifiers, const KeyViewState& view,
                    const ScreenBuffer& buffer);
    // Typed UTF-8 characters that Shift-JIS cannot hold: sent through ITerminalHost::WriteUnheld,
    // echoed as geta marks.
    KeyOutcome Unheld(const std::string& utf8, const KeyViewState& view);
    // User key 0..11 (F1..F12): its text is sent, or its macro file run.
    void RunUserKey(int index);

  private:
    void send(uint8_t b, bool echo);
    // Sends a key's bytes unless a transfer runs (then it beeps).
    KeyOutcome sendKey(const std::string& bytes, KeyOutcome out);

    const Settings& settings_;
    ITerminalHost& host_;
};

}  // namespace marlo
