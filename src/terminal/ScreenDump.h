// The screen buffer as text, the way marlo-cli screen prints it and the screen tests compare it:
// buffer lines 0 to the last line in use, one output line each, cells as stored (a 0 cell is a
// blank), trailing blanks removed, each line ended by LF.
//
// With attributes, each text line is followed by a line "~" listing the runs of cells whose
// attributes are not all 0 as " FIRST-LAST:FLAGS,FORE,BACK" (1-based columns; flags bit 0 bold,
// 1 underline, 2 blink, 3 reverse, 4 secret; colours 0 or the SGR code 30..37 / 40..47). With the
// cursor, a last line "cursor ROW COL" gives the active view's cursor in 1-based screen
// coordinates.
#pragma once

#include <string>

namespace marlo {

class Terminal;

struct ScreenDumpOptions {
    bool utf8 = false;  // convert the Shift-JIS text to UTF-8
    bool attrs = false;
    bool cursor = false;
};

std::string DumpScreen(Terminal& terminal, const ScreenDumpOptions& options);

}  // namespace marlo
