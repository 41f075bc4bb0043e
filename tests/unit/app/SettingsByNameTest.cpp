#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/Settings.h"
#include "app/SettingsByName.h"
#include "app/SettingsIo.h"

namespace marlo {
namespace {

TEST(SettingsByName, SetsEachFormOfValue) {
    Settings s;
    struct {
        const char* name;
        const char* value;
    } ok[] = {
        {"Emulation", "1"},
        {"SI/SO", "1"},
        {"7to8", "0"},
        {"codeexchange", "4"},
        {"Speed", "-2400"},
        {"TextColor", "-1"},
        {"lfItalic", "1"},
        {"LineColumn", "132 50"},
        {"Window", "1 2 3 4"},
        {"VT100Color", "5 6 7"},
        {"ToolTable3", "1 2"},
        {"ShowStatusBar", "4 5"},
        {"Editor", "vi"},
        {"WaveFile7", "bell.wav"},
        {"TelnetHost5", "bbs.example"},
        {"UserKey12K", "3"},
        {"TraceFile", "/tmp/t"},
        {"DownlodDefPath", ""},
    };
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

TEST(SettingsByName, RefusesWhatDoesNotFitAndChangesNothing) {
    Settings s;
    struct {
        const char* name;
        std::string value;
    } bad[] = {
        {"NoSuchValue", "1"},
        {"Emulation", ""},
        {"Emulation", "1x"},
        {"Emulation", "0x1"},
        {"Speed", "4294967296"},
        {"Speed", "-2147483649"},
        {"LineColumn", "80"},
        {"Window", "1 2 3 4 5"},
        {"ToolTable", "1 a"},
        {"Quote", "12345678901"},
        {"lfFaceName", std::string(32, 'f')},
        {"TextColorCust", "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1"},  // 17 of 16
    };
    for (const auto& c : bad) {
        std::string error;
        EXPECT_FALSE(SetSettingByName(s, c.name, c.value, &error)) << c.name << "=" << c.value;
        EXPECT_FALSE(error.empty());
    }
    Settings fresh;
    EXPECT_EQ(s.Emulation, fresh.Emulation);
    EXPECT_EQ(s.Speed, fresh.Speed);
    EXPECT_EQ(s.LineColumn, fresh.LineColumn);
    EXPECT_EQ(s.Quote, fresh.Quote);
    EXPECT_EQ(s.TextColorCust, fresh.TextColorCust);
}

TEST(SettingsByName, EveryValueRoundTripsThroughItsStoredForm) {
    const auto all = AllSettingNames();
    std::set<std::string> names;
    for (const auto& d : all) EXPECT_TRUE(names.insert(d).second) << d << " twice";
    EXPECT_EQ(names.count("SI/SO"), 1u);
    EXPECT_EQ(names.count("Sound\\WaveFile7"), 1u);
    EXPECT_EQ(names.count("UserKey12F"), 1u);
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
    EXPECT_FALSE(GetSettingByName(defaults, "Nothing", &v));
    GetSettingByName(defaults, "ToolTable2", &v);
    EXPECT_EQ(v, "6 7 8 9 10 11 255 12 13 14 255 15 255 16 ");  // as stored: "%d " each
    GetSettingByName(defaults, "ShowStatusBar", &v);
    EXPECT_EQ(v, "1 2 3 0");
}

}  // namespace
}  // namespace marlo
