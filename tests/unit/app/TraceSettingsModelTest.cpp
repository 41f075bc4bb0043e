#include <gtest/gtest.h>

#include "app/TraceSettingsModel.h"

namespace marlo {
namespace {

TEST(TraceSettingsModel, BoxesRoundTripTheMaskAndDropUnknownBits) {
    for (int stored = 0; stored < 16; ++stored) {
        Settings s;
        s.TracePos = stored | 0x100;  // bits no box stands for
        TraceSettingsModel m(s);
        EXPECT_EQ(m.values.Mask(), stored & 7) << stored;
        m.Apply(s);
        EXPECT_EQ(s.TracePos, stored & 7) << stored;
    }
    Settings s;
    TraceSettingsModel m(s);
    m.values.macro = true;
    m.values.transfer = true;
    m.values.file = "/tmp/t r.txt";
    m.Apply(s);
    EXPECT_EQ(s.TracePos, 6);
    EXPECT_EQ(s.TraceFile, "/tmp/t r.txt");
}

TEST(TraceSettingsModel, RefusesAFileNameThatCannotBeWritten) {
    Settings s("/data");
    TraceSettingsModel m(s);
    EXPECT_EQ(m.values.file, "/data/trace.txt");
    EXPECT_FALSE(m.Validate());
    for (std::string bad :
         {std::string(), std::string("  \t"), std::string(260, 'a'), std::string("a\0b", 3)}) {
        m.values.file = bad;
        EXPECT_TRUE(m.Validate()) << bad.size();
    }
    m.values.file = std::string(259, 'a');
    EXPECT_FALSE(m.Validate());
}

}  // namespace
}  // namespace marlo
