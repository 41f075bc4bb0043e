// The colours of a terminal cell from its attributes, the text and background colours and the
// VT100 colour table (four groups of eight: normal foreground, normal background, bright
// foreground, bright background). Colours are 0x00BBGGRR.
#pragma once

#include <array>
#include <cstdint>

namespace marlo {

struct CellColours {
    uint32_t fore;
    uint32_t back;
};

CellColours ColoursOfCell(uint8_t flags, uint8_t fore, uint8_t back, uint32_t textColor,
                          uint32_t backColor, const std::array<int32_t, 32>& table);

}  // namespace marlo
