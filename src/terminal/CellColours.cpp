#include "terminal/CellColours.h"

#include <utility>

#include "terminal/ScreenBuffer.h"

namespace marlo {

namespace {
// Index of an SGR colour code in its group, or -1 for the default (0) and anything unknown.
int ColourIndex(uint8_t code, int base) {
    int i = static_cast<int>(code) - base;
    return i >= 0 && i < 8 ? i : -1;
}
}  // namespace

CellColours ColoursOfCell(uint8_t flags, uint8_t fore, uint8_t back, uint32_t textColor,
                          uint32_t backColor, const std::array<int32_t, 32>& table) {
    const bool reverse = flags & kFlagReverse;
    // Bold and blink select the bright groups, except that reverse takes the normal ones again.
    const bool bright = !reverse && (flags & (kFlagBold | kFlagBlink));
    int fi = ColourIndex(fore, 30);
    int bi = ColourIndex(back, 40);
    // xterm's bright codes (90..97, 100..107) take the bright groups whatever the flags.
    const int fb = ColourIndex(fore, 90);
    const int bb = ColourIndex(back, 100);
    uint32_t f = fb >= 0   ? static_cast<uint32_t>(table[16 + fb])
                 : fi < 0 ? textColor
                          : static_cast<uint32_t>(table[(bright ? 16 : 0) + fi]);
    uint32_t b = bb >= 0   ? static_cast<uint32_t>(table[24 + bb])
                 : bi < 0 ? backColor
                          : static_cast<uint32_t>(table[(bright ? 24 : 8) + bi]);
    if (reverse) std::swap(f, b);
    if (flags & kFlagSecret) f = b;
    return {f, b};
}

}  // namespace marlo
