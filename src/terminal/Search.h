// Searching the screen buffer for a text, upward or downward from the last match, with or without
// regard to letter case. A match lies within one line and never starts or ends inside a
// double-byte character.
#pragma once

#include <string>

#include "terminal/Selection.h"

namespace marlo {

class ScreenBuffer;

// The request flags of the search window.
constexpr int kSearchMatchCase = 0x001;
constexpr int kSearchDown = 0x100;
constexpr int kSearchRemoveHighlight = -1;

struct SearchState {
    std::string text;  // Shift-JIS
    int flags = 0;
    bool hasMatch = false;  // `match` holds the last match
    bool highlighted = false;
    CellPos match;
    int length = 0;
};

// Searches from the last match (or from the start of the buffer, downward, or its end, upward,
// when there is none). `dumbEnd` stops a downward search at the dumb terminal's write position.
// On success the state holds the new match, highlighted; otherwise it is unchanged.
bool SearchBuffer(const ScreenBuffer& buffer, SearchState& state, bool down, bool dumbEnd);

}  // namespace marlo
