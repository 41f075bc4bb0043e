#include <gtest/gtest.h>

#include <deque>

#include "app/CommSettingsModel.h"
#include "app/EnvSettingsModel.h"
#include "support/FakeCommLine.h"

namespace marlo {
namespace {

TEST(CommSettingsTexts, DisplayTextsAndValuesPairUp) {
    const struct {
        LineParam p;
        const char* text;
        int value;
    } pairs[] = {
        {LineParam::Port, "COM1", 1},          {LineParam::Port, "COM12", 12},
        {LineParam::Port, "ﾓﾃﾞﾑなし", 0},      {LineParam::Speed, "300bps", 300},
        {LineParam::Speed, "56000bps", 56000}, {LineParam::Speed, "256000bps", 256000},
        {LineParam::DataLen, "7bit", 7},       {LineParam::StopBit, "1.5bit", 1},
        {LineParam::Parity, "Even(偶数)", 2},  {LineParam::Parity, "Odd(奇数)", 1},
        {LineParam::Parity, "ﾏｰｸ", 3},         {LineParam::Flow, "ﾊｰﾄﾞｳｪｱ", 2},
        {LineParam::Flow, "XON/XOFF", 1},      {LineParam::Emulation, "ﾀﾞﾑ端末", 0},
        {LineParam::Emulation, "VT52", 2},     {LineParam::KanjiCode, "NEC漢字", 3},
        {LineParam::KanjiCode, "EUC", 4},      {LineParam::KanjiCode, "旧JIS", 1},
        {LineParam::KanjiCode, "UTF-8", 5},    {LineParam::Emulation, "xterm", 3},
    };
    for (const auto& c : pairs) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParamFromText(c.p, c.text), c.value);
        std::string text;
        EXPECT_EQ(ParamToText(c.p, c.value, text), c.value);
        EXPECT_EQ(text, c.text);
    }
    const struct {
        LineParam p;
        const char* text;
        int value;
    } unknown[] = {{LineParam::Port, "COM0", -2},      {LineParam::Port, "COMx", -1},
                   {LineParam::Speed, "2400", 2401},   {LineParam::DataLen, "9bit", 6},
                   {LineParam::Parity, "Space", 4},    {LineParam::KanjiCode, "UTF-16", 6},
                   {LineParam::Emulation, "VT220", -1}};
    for (const auto& c : unknown) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParamFromText(c.p, c.text), -1);
        std::string text = "kept";
        EXPECT_EQ(ParamToText(c.p, c.value, text), -1);
        EXPECT_EQ(text, "kept");
    }
    // List order is the display order, not the value order.
    const auto& parity = ParamChoices(LineParam::Parity);
    ASSERT_EQ(parity.size(), 4u);
    EXPECT_EQ(parity[1].value, 2);
    EXPECT_EQ(ParamChoices(LineParam::Speed).size(), 13u);
    auto ports = PortChoices({3, 1, 9});
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].text, "COM1");
    EXPECT_EQ(ports[1].text, "COM3");
    EXPECT_EQ(ports[2].value, 0);
}

using test::FakeCommLine;
using Calls = std::vector<std::string>;

TEST(CommSettingsApply, PortChangesAndRollbacks) {
    const struct {
        const char* what;
        int oldPort, newPort;
        bool open, refuseClose, refuseParams;
        std::deque<bool> opens;
        Calls calls;
        const char* message;
        int portAfter, speedAfter;
    } cases[] = {
        // clang-format off
        {"same port, new speed", 1, 1, true, false, false, {},
         {"params 9600", "dtr", "rts", "status", "kanji"}, nullptr, 1, 9600},
        {"to no modem", 1, 0, true, false, false, {}, {"close", "status", "kanji"}, nullptr, 0, 2400},
        {"from no modem", 0, 2, false, false, false, {},
         {"open 2", "status", "params 9600", "dtr", "rts", "status", "kanji"}, nullptr, 2, 9600},
        {"from no modem, open fails", 0, 2, false, false, false, {false}, {"open 2"}, nullptr, 0, 2400},
        {"port to port", 1, 3, true, false, false, {},
         {"close", "pause 100", "open 3", "status", "params 9600", "dtr", "rts", "status", "kanji"},
         nullptr, 3, 9600},
        {"old port will not close", 1, 3, true, true, false, {}, {"close"},
         "通信デバイスを変更できません.", 1, 2400},
        {"new port will not open", 1, 3, true, false, false, {false, true},
         {"close", "pause 100", "open 3", "open 1", "restore", "status"},
         "通信ポートのオープンに失敗しました.", 1, 2400},
        {"parameters refused", 1, 1, true, false, true, {},
         {"params 9600", "close", "pause 100", "open 1", "restore", "status"},
         "通信パラメータの設定に失敗しました.", 1, 2400},
        {"closed port keeps the values for its next open", 1, 1, false, false, false, {},
         {"status", "kanji"}, nullptr, 1, 9600},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Settings s;
        s.Port = c.oldPort;
        FakeCommLine line;
        line.open = c.open;
        CommSettingsModel model(s, line);
        EXPECT_EQ(line.calls, c.open ? Calls{"save"} : Calls{});
        line.calls.clear();
        line.refuseClose = c.refuseClose;
        line.refuseParams = c.refuseParams;
        line.openResults = c.opens;
        model.values.Port = c.newPort;
        model.values.Speed = 9600;
        model.values.CodeExchange = 2;
        model.values.ModemInit1 = "AT&F";
        CommApplyResult r = model.Apply(s);
        EXPECT_EQ(line.calls, c.calls);
        EXPECT_EQ(line.messages.size(), c.message ? 1u : 0u);
        if (c.message && !line.messages.empty()) {
            EXPECT_EQ(line.messages[0], c.message);
        }
        EXPECT_EQ(s.Port, c.portAfter);
        EXPECT_EQ(s.Speed, c.speedAfter);
        EXPECT_EQ(r.lineApplied, c.message == nullptr &&
                                     std::string(c.what).find("open fails") == std::string::npos);
        EXPECT_EQ(s.CodeExchange, r.lineApplied ? 2 : 0);
        EXPECT_EQ(s.ModemInit1, "AT&F");  // modem values are taken whatever happens to the line
    }
}

TEST(CommSettingsApply, ChangedEmulationResetsTheTerminal) {
    Settings s;
    FakeCommLine line;
    CommSettingsModel model(s, line);
    model.values.Emulation = 1;
    model.values.SISO = 1;
    CommApplyResult r = model.Apply(s);
    EXPECT_TRUE(r.emulationChanged);
    EXPECT_EQ(line.calls.back(), "reset");
    EXPECT_EQ(s.Emulation, 1);
    EXPECT_EQ(s.SISO, 1);
    line.calls.clear();
    CommSettingsModel again(s, line);
    EXPECT_FALSE(again.Apply(s).emulationChanged);
    EXPECT_NE(line.calls.back(), "reset");
}

TEST(CommSettingsValidate, RefusesValuesTheLineCannotUse) {
    Settings s;
    FakeCommLine line;
    CommSettingsModel ok(s, line);
    EXPECT_FALSE(ok.Validate());
    const std::function<void(CommSheetValues&)> bad[] = {
        [](CommSheetValues& v) { v.ReadSize = 4097; },
        [](CommSheetValues& v) { v.ReadSize = 0; },
        [](CommSheetValues& v) { v.BreakTime = 0; },
        [](CommSheetValues& v) { v.TxSendTabNum = 0; },
        [](CommSheetValues& v) { v.TxSendMaxCol = 0; },
        [](CommSheetValues& v) { v.Speed = 1234; },
        [](CommSheetValues& v) { v.Parity = 4; },
        [](CommSheetValues& v) { v.CodeExchange2 = 6; },
        [](CommSheetValues& v) { v.Port = -1; },
        [](CommSheetValues& v) { v.ModemInit2 = std::string(260, 'A'); },
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        CommSettingsModel m(s, line);
        bad[i](m.values);
        EXPECT_TRUE(m.Validate()) << i;
    }
    CommSettingsModel edge(s, line);
    edge.values.ReadSize = 4096;
    edge.values.ModemInit2 = std::string(259, 'A');
    EXPECT_FALSE(edge.Validate());
}

TEST(EnvSettings, ClearUpTextShowsPercentAndLines) {
    EXPECT_EQ(EnvSettingsModel::ClearUpText(1, 1000), "1％ （10行）");
    EXPECT_EQ(EnvSettingsModel::ClearUpText(25, 2000), "25％ （500行）");
    EXPECT_EQ(EnvSettingsModel::ClearUpText(1, 50), "1％ （1行）");  // at least one line goes
    Settings s;
    EnvSettingsModel m(s);
    m.values.BufferSize = 5000;
    m.values.ClearUp = 2;
    EXPECT_EQ(m.ClearUpText(), "2％ （100行）");
}

TEST(EnvSettings, ApplyStoresValuesAndSaysWhatChanged) {
    Settings s;
    EnvSettingsModel unchanged(s);
    EnvApplyResult none = unchanged.Apply(s);
    EXPECT_FALSE(none.bufferSizeChanged || none.screenChanged || none.coloursChanged ||
                 none.toolBarsChanged || none.statusBarChanged);

    EnvSettingsModel m(s);
    m.values.BufferSize = 3000;
    m.values.SaveOnEnd = 0;
    m.values.LineColumn = {80, 30};
    m.values.ToolNum[2] = 1;
    m.values.ToolTable[2][0] = 33;
    EnvApplyResult r = m.Apply(s);
    EXPECT_TRUE(r.bufferSizeChanged);
    EXPECT_TRUE(r.screenChanged);
    EXPECT_FALSE(r.coloursChanged);
    EXPECT_TRUE(r.toolBarsChanged);
    EXPECT_EQ(s.BufferSize, 3000);
    EXPECT_EQ(s.SaveOnEnd, 0);
    EXPECT_EQ(s.ToolNum3, 1);
    EXPECT_EQ(s.ToolTable3[0], 33);
    EXPECT_EQ(s.ToolNum, 17);
    EXPECT_FALSE(r.statusBarChanged);

    // A damaged stored status list stays as it is until the page changes it.
    s.ShowStatusBar[4] = 42;
    s.ShowStatusBarCount = 5;
    EXPECT_FALSE(EnvSettingsModel(s).Apply(s).statusBarChanged);
    EXPECT_EQ(s.ShowStatusBarCount, 5);
    EnvSettingsModel page(s);
    page.values.StatusItems = {0, 9};
    EXPECT_TRUE(page.Apply(s).statusBarChanged);
    EXPECT_EQ(s.ShowStatusBarCount, 2);
    EXPECT_EQ(s.ShowStatusBar[1], 9);
}

TEST(EnvSettings, ValidateRefusesSizesTheTerminalCannotUse) {
    Settings s;
    EXPECT_FALSE(EnvSettingsModel(s).Validate());
    const std::function<void(EnvSheetValues&)> bad[] = {
        [](EnvSheetValues& v) { v.BufferSize = 29; },
        [](EnvSheetValues& v) { v.BufferSize = 200001; },
        [](EnvSheetValues& v) { v.ClearUp = 0; },
        [](EnvSheetValues& v) { v.ClearUp = 101; },
        [](EnvSheetValues& v) {
            v.LineColumn = {81, 24};
        },
        [](EnvSheetValues& v) {
            v.LineColumn = {80, 0};
        },
        [](EnvSheetValues& v) { v.FuncBarSize = 101; },
        [](EnvSheetValues& v) { v.ToolNum[1] = 101; },
        [](EnvSheetValues& v) {
            v.BufferSize = 40;
            v.LineColumn = {80, 41};
        },
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        EnvSettingsModel m(s);
        bad[i](m.values);
        std::optional<std::string> why = m.Validate();
        ASSERT_TRUE(why) << i;
        EXPECT_NE(why->find("ください"), std::string::npos);
    }
}

}  // namespace
}  // namespace marlo
