#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "terminal/CellColours.h"
#include "terminal/ScreenBuffer.h"

namespace marlo {
namespace {

TEST(CellColours, DefaultsBrightReverseAndSecret) {
    Settings s;
    const uint32_t text = 0x111111, back = 0xEEEEEE;
    auto c = ColoursOfCell(0, 0, 0, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, text);
    EXPECT_EQ(c.back, back);
    c = ColoursOfCell(0, 31, 44, text, back, s.VT100Color);  // red on blue, normal group
    EXPECT_EQ(c.fore, 128u);
    EXPECT_EQ(c.back, 0x800000u);
    c = ColoursOfCell(kFlagBold, 31, 44, text, back, s.VT100Color);  // bright group
    EXPECT_EQ(c.fore, 255u);
    EXPECT_EQ(c.back, 0xFF0000u);
    c = ColoursOfCell(kFlagBlink, 32, 0, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, 65280u);
    EXPECT_EQ(c.back, back);
    // Reverse takes the normal group again, then exchanges the two.
    c = ColoursOfCell(kFlagBold | kFlagReverse, 31, 44, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, 0x800000u);
    EXPECT_EQ(c.back, 128u);
    c = ColoursOfCell(kFlagReverse, 0, 0, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, back);
    EXPECT_EQ(c.back, text);
    c = ColoursOfCell(kFlagSecret, 33, 0, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, c.back);
    // xterm's bright codes take the bright groups without bold.
    c = ColoursOfCell(0, 91, 104, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, 255u);
    EXPECT_EQ(c.back, 0xFF0000u);
    // A code outside the SGR range draws in the default colour, never outside the table.
    c = ColoursOfCell(0, 99, 200, text, back, s.VT100Color);
    EXPECT_EQ(c.fore, text);
    EXPECT_EQ(c.back, back);
}

}  // namespace
}  // namespace marlo
