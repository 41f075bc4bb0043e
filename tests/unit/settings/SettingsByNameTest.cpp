#include <gtest/gtest.h>

#include <string>

#include "settings/Settings.h"
#include "settings/SettingsByName.h"
#include "settings/SettingsIo.h"

namespace marlo {
namespace {

TEST(SettingsByName, SetsEachFormOfValue) {
    Settings s;
    // clang-format off
    const struct {
        const char* name;
        const char* value;
    } ok[] = {
        {"Emulation", "1"}, {"SI/SO", "1"}, {"7to8", "0"}, {"codeexchange", "4"},
        {"Speed", "-2400"}, {"TextColor", "-1"}, {"lfItalic", "1"}, {"LineColumn", "132 50"},
        {"Window", "1 2 3 4"}, {"VT100Color", "5 6 7"}, {"ToolTable3", "1 2"},
        {"ShowStatusBar", "4 5"}, {"Editor", "vi"}, {"WaveFile7", "bell.wav"},
        {"TelnetHost5", "bbs.example"}, {"UserKey12K", "3"}, {"TraceFile", "/tmp/t"},
        {"DownlodDefPath", ""},
    };
    // clang-format on
    for (auto c : ok) {
        std::string error;
        EXPECT_TRUE(SetSettingByName(s, c.name, c.value, &error)) << c.name << ": " << error;
    }
    EXPECT_EQ(s.Emulation, 1);
    EXPECT_EQ(s.SISO, 1);
    EXPECT_EQ(s.SevenToEight, 0);
    EXPECT_EQ(s.CodeExchange, 4);
    EXPECT_EQ(s.Speed, -2400);
    EXPECT_EQ(s.TextColor, -1);
    EXPECT_EQ(s.lfItalic, 1);
    EXPECT_EQ(s.LineColumn[0], 132);
    EXPECT_EQ(s.LineColumn[1], 50);
    EXPECT_EQ(s.Window[3], 4);
    EXPECT_EQ(s.VT100Color[2], 7);
    EXPECT_EQ(s.VT100Color[3], 32896);  // the rest of a fixed list keeps its values
    EXPECT_EQ(s.ToolNum3, 2);
    EXPECT_EQ(s.ShowStatusBarCount, 2);
    EXPECT_EQ(s.ShowStatusBar[1], 5);
    EXPECT_EQ(s.Editor, "vi");
    EXPECT_EQ(s.WaveFile[6], "bell.wav");
    EXPECT_EQ(s.TelnetHost[4], "bbs.example");
    EXPECT_EQ(s.UserKeyK[11], 3);
    EXPECT_EQ(s.TraceFile, "/tmp/t");
}

// What a value refuses is the stored form's business (SettingsIo); here only the names.
TEST(SettingsByName, UnknownNamesAreRefused) {
    Settings s;
    for (const char* name : {"NoSuchValue", "", "Trace\\Speed"}) {
        std::string error, value;
        EXPECT_FALSE(SetSettingByName(s, name, "1", &error)) << name;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(GetSettingByName(s, name, &value)) << name;
    }
    std::string value;
    ASSERT_TRUE(GetSettingByName(s, "trace\\tracefile", &value));
    EXPECT_EQ(value, s.TraceFile);
}

TEST(SettingsByName, EveryValueRoundTripsThroughItsStoredForm) {
    const auto all = AllSettingNames();
    Settings defaults;
    Settings copy;
    for (const auto& d : all) {
        std::string value, error;
        ASSERT_TRUE(GetSettingByName(defaults, d, &value)) << d;
        // Variable lists may be empty; everything else must read back as it was written.
        if (value.empty() && FindSetting(d)->form == SettingForm::List) continue;
        EXPECT_TRUE(SetSettingByName(copy, d, value, &error)) << d << ": " << error;
        std::string again;
        GetSettingByName(copy, d, &again);
        EXPECT_EQ(again, value) << d;
    }
    std::string v;
    GetSettingByName(defaults, "ToolTable2", &v);
    EXPECT_EQ(v, "6 7 8 9 10 11 255 12 13 14 255 15 255 16 ");  // as stored: "%d " each
    GetSettingByName(defaults, "ShowStatusBar", &v);
    EXPECT_EQ(v, "1 2 3 0");
}

}  // namespace
}  // namespace marlo
