#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "settings/SettingsFile.h"
#include "settings/SettingsIo.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

using test::TempDir;

std::map<std::string, std::string> AllValues(const Settings& s) {
    std::map<std::string, std::string> m;
    for (const std::string& n : AllSettingNames()) m[n] = *SettingToText(s, n);
    return m;
}

// A value for every setting that differs from its default and fits its form.
std::string SampleFor(const SettingInfo& info, int i) {
    switch (info.form) {
        case SettingForm::Number:
        case SettingForm::NumberText:
            return std::to_string(i % 2 ? 100000 + i : -i - 1);
        case SettingForm::Byte:
            return std::to_string(200 + i % 50);
        case SettingForm::Text: {
            // Shift-JIS with a 0x5C trail byte, a quote and a control byte, cut to the limit.
            std::string t = "\x83\x5c\x95\x5c\"\x01" + info.name;
            return t.substr(0, info.limit - 1);
        }
        case SettingForm::Rect:
            return "10 20 400 600";
        case SettingForm::Pair:
            return "132 50";
        case SettingForm::List: {
            std::string t;
            for (size_t k = 0; k < info.capacity && k < 12; ++k)
                t += std::to_string(k * 7 + i) + " ";
            return t;
        }
    }
    return {};
}

TEST(SettingsIo, EmptyStoreYieldsExactlyTheDefaults) {
    TempDir dir;
    SettingsFile store(dir.Str());
    Settings loaded("/data"), defaults("/data");
    SettingsLoadReport r = LoadSettings(store, loaded, "");
    EXPECT_EQ(AllValues(loaded), AllValues(defaults));
    EXPECT_TRUE(r.faceNameEmpty);
    EXPECT_TRUE(r.oldVersion);
    // Paths follow the data folder.
    EXPECT_EQ(*SettingToText(loaded, "DownlodDefPath"), "/data");
    EXPECT_EQ(*SettingToText(loaded, "Trace\\TraceFile"), "/data/trace.txt");
}

TEST(SettingsIo, EveryValueSurvivesSaveAndLoad) {
    TempDir dir;
    Settings s("/data");
    int i = 0;
    for (const std::string& n : AllSettingNames()) {
        std::string err;
        ASSERT_TRUE(SettingFromText(s, n, SampleFor(*FindSetting(n), ++i), &err)) << n << err;
    }
    s.SaveOnEnd = 1;
    {
        SettingsFile store(dir.Str());
        EXPECT_TRUE(SaveSettings(store, s, true));
        ASSERT_TRUE(store.Save()) << store.LastError();
    }
    SettingsFile store(dir.Str());
    ASSERT_TRUE(store.Load(nullptr));
    Settings back("/elsewhere");
    SettingsLoadReport r = LoadSettings(store, back, "");
    EXPECT_FALSE(r.faceNameEmpty);
    EXPECT_FALSE(r.oldVersion);
    s.Version = ProductVersionNumber();  // the save writes the program's own version
    EXPECT_EQ(AllValues(back), AllValues(s));
    EXPECT_EQ(store.GetNumber("", "Version"), 138);
    // Sub-key values live in their sub-keys, under their plain names; odd names stay as they are.
    EXPECT_TRUE(store.GetNumber("Trace", "TracePos"));
    EXPECT_TRUE(store.GetText("Sound", "WaveFile7"));
    EXPECT_TRUE(store.GetNumber("", "SI/SO"));
    EXPECT_TRUE(store.GetNumber("", "7to8"));
    EXPECT_FALSE(store.KeyExists("Host"));
}

TEST(SettingsIo, SaveOnEndZeroWritesOnlyItselfAndVersion) {
    SettingsFile store("/nonexistent");
    store.SetNumber("", "Speed", 1200);
    store.SetNumber("", "Version", 120);
    Settings s;
    s.Speed = 9600;
    s.SaveOnEnd = 0;
    EXPECT_FALSE(SaveSettings(store, s, true));
    EXPECT_EQ(store.GetNumber("", "Speed"), 1200);
    EXPECT_EQ(store.GetNumber("", "SaveOnEnd"), 0);
    EXPECT_EQ(store.GetNumber("", "Version"), 138);
    EXPECT_EQ(store.ValueNames("").size(), 3u);
}

TEST(SettingsIo, OldVersionRemovesMarloIni) {
    const struct {
        std::optional<int32_t> version;
        bool removed;
    } cases[] = {{std::nullopt, true}, {100, true}, {135, true}, {136, false}, {138, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version.value_or(-1));
        TempDir dir;
        const std::string ini = dir.Str() + "/marlo.ini";
        test::WriteWhole(ini, "[old]\n");
        SettingsFile store(dir.Str());
        if (c.version) store.SetNumber("", "Version", *c.version);
        Settings s;
        SettingsLoadReport r = LoadSettings(store, s, dir.Str());
        EXPECT_EQ(r.oldVersion, c.removed);
        EXPECT_EQ(std::filesystem::exists(ini), !c.removed);
    }
}

TEST(SettingsIo, WindowIsTopLeftBottomRightAndSavedOnlyForANormalWindow) {
    SettingsFile store("/nonexistent");
    store.SetText("", "Window", "10 20 400 600");
    Settings s;
    LoadSettings(store, s, "");
    EXPECT_EQ(s.Window, (std::array<int32_t, 4>{10, 20, 400, 600}));
    EXPECT_TRUE(WindowRectApplies(s));
    s.Window = {1, 2, 3, 4};
    SaveSettings(store, s, /*normalWindow=*/false);
    EXPECT_EQ(store.GetText("", "Window"), "10 20 400 600");
    SaveSettings(store, s, true);
    EXPECT_EQ(store.GetText("", "Window"), "1 2 3 4");
    s.Window = {10, 0, 400, 600};
    EXPECT_FALSE(WindowRectApplies(s));
}

TEST(SettingsIo, EmptyFaceNameLeavesTheOtherFontValuesAtDefaults) {
    for (const char* face : std::initializer_list<const char*>{"", nullptr, "IPAGothic"}) {
        SCOPED_TRACE(face ? face : "(missing)");
        SettingsFile store("/nonexistent");
        if (face) store.SetText("", "lfFaceName", face);
        store.SetNumber("", "lfHeight", -30);
        store.SetNumber("", "lfItalic", 0x1FF);
        Settings s;
        SettingsLoadReport r = LoadSettings(store, s, "");
        bool named = face && *face;
        EXPECT_EQ(r.faceNameEmpty, !named);
        EXPECT_EQ(s.lfHeight, named ? -30 : 18);
        EXPECT_EQ(s.lfItalic, named ? 0xFF : 0);  // the low byte only
    }
}

// Over-long or malformed stored values take their defaults; short lists keep the rest of theirs.
TEST(SettingsIo, StoredValuesThatDoNotFitTakeTheirDefaults) {
    SettingsFile store("/nonexistent");
    store.SetText("", "Quote", "0123456789");   // 10 bytes: fits its 11
    store.SetText("", "Caret", "0123456789A");  // 11 bytes: too long
    store.SetText("", "lfFaceName", std::string(32, 'F'));
    store.SetText("", "Editor", std::string(260, 'e'));
    store.SetText("", "TextColor", "not a number");
    store.SetText("", "BackColor", "255 x");
    store.SetNumber("", "ModemInit1", 5);  // wrong form
    store.SetText("", "Speed", "9600");    // wrong form
    store.SetText("", "TextColorCust", "1 2  3");
    store.SetText("", "VT100Color", "7 x 9");
    store.SetText("", "LineColumn", "132");
    store.SetText("", "ShowStatusBar", "5 6");
    store.SetNumber("", "ToolNum", 500);
    store.SetText("", "ToolTable", "3 4 ");
    Settings s, d;
    LoadSettings(store, s, "");
    EXPECT_EQ(s.Quote, "0123456789");
    EXPECT_EQ(s.Caret, d.Caret);
    EXPECT_EQ(s.lfFaceName, "");
    EXPECT_EQ(s.Editor, "notepad.exe");
    EXPECT_EQ(s.TextColor, 0);
    EXPECT_EQ(s.BackColor, 255);
    EXPECT_EQ(s.ModemInit1, "ATZ");
    EXPECT_EQ(s.Speed, 2400);
    EXPECT_EQ(s.TextColorCust[2], 3);
    EXPECT_EQ(s.TextColorCust[3], 16777215);
    EXPECT_EQ(s.VT100Color[0], 7);
    EXPECT_EQ(s.VT100Color[1], d.VT100Color[1]);  // reading stops at the first non-number
    EXPECT_EQ(s.LineColumn, (std::array<int32_t, 2>{132, 24}));
    EXPECT_EQ(s.StatusItemCount(), 2);
    EXPECT_EQ(s.ToolTable[1], 4);
    EXPECT_EQ(s.ToolTable[2], d.ToolTable[2]);
    EXPECT_EQ(s.ToolCount(1), 100);  // a count beyond the table is clamped where it is used
    SaveSettings(store, s, true);
    EXPECT_EQ(store.GetNumber("", "ToolNum"), 500);
    const std::string table = *store.GetText("", "ToolTable");
    EXPECT_EQ(std::count(table.begin(), table.end(), ' '), 100);
}

TEST(SettingsIo, FromTextRefusesWhatCannotBeStored) {
    const struct {
        const char* name;
        const char* value;
    } bad[] = {
        // clang-format off
        {"Nope", "1"}, {"Speed", ""}, {"Speed", "12a"}, {"Speed", "0x10"},
        {"Speed", "4294967296"}, {"Speed", "-2147483649"}, {"lfItalic", "256"},
        {"lfItalic", "-1"}, {"Window", "1 2 3"}, {"LineColumn", "80 24 1"},
        {"LineColumn", "80"}, {"Quote", "0123456789A"},
        {"lfFaceName", "0123456789012345678901234567890A"},
        {"TextColorCust", "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1"}, {"ShowStatusBar", "1 x"},
        {"ShowStatusBar", "1000000 1000000 1000000 1000000 1000000 1000000 1000000 1000000 "
                          "1000000 1000000 1000000 1000000 1000000"},  // over its 100 bytes
        // clang-format on
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(std::string(b.name) + "=" + b.value);
        Settings s;
        const auto before = AllValues(s);
        std::string err;
        EXPECT_FALSE(SettingFromText(s, b.name, b.value, &err));
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(AllValues(s), before);
    }
    Settings s;
    std::string err;
    EXPECT_TRUE(SettingFromText(s, "ToolTable2", "1 2 255", &err));
    EXPECT_EQ(s.ToolNum2, 3);  // setting a tool table sets its length
    EXPECT_EQ(*SettingToText(s, "ToolTable2"), "1 2 255 ");
    EXPECT_TRUE(SettingFromText(s, "Speed", "-5", &err));
    EXPECT_TRUE(SettingFromText(s, "Trace\\TracePos", "7", &err));
    EXPECT_EQ(s.TracePos, 7);
}

TEST(SettingsIo, NamesAreUnique) {
    std::vector<std::string> names = AllSettingNames();
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size());
    EXPECT_FALSE(unique.count("SISO"));  // stored as "SI/SO"
}

TEST(SettingsClamps, SizesCountsAndIndexesStayInRange) {
    Settings s;
    s.ToolNum = -3;
    s.ToolNum2 = 101;
    s.ShowStatusBarCount = 99;
    s.LineColumn = {500, 0};
    EXPECT_EQ(s.ToolCount(1), 0);
    EXPECT_EQ(s.ToolCount(2), 100);
    EXPECT_EQ(s.ToolCount(9), 0);
    EXPECT_EQ(s.StatusItemCount(), 25);
    EXPECT_EQ(s.ScreenColumns(), 80);
    EXPECT_EQ(s.ClearUpLines(), 10);  // 1000 lines, 1 percent
    s.BufferSize = 50;
    EXPECT_EQ(s.ClearUpLines(), 1);  // never nothing
    s.ClearUp = 1000;
    EXPECT_EQ(s.ClearUpLines(), 49);  // never everything
}

}  // namespace
}  // namespace marlo
