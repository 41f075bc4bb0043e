// The tool bars' and the status bar's rules without a window: the stored lists as the bars show
// them (damaged ones included), the customisation pages' steps and messages, the panes' texts.
#include <gtest/gtest.h>

#include "app/CommandIds.h"
#include "settings/SettingsIo.h"
#include "support/MemoryStore.h"
#include "tools/StatusBarModel.h"
#include "tools/ToolBarModel.h"

namespace marlo {
namespace {

TEST(ToolBarLists, DefaultsShowThirteenAndElevenButtonsAndAnEmptyHiddenThirdBar) {
    Settings s;
    ToolLists lists = ToolListsFrom(s);
    EXPECT_EQ(CountEntries(lists[0]).buttons, 13);
    EXPECT_EQ(CountEntries(lists[0]).separators, 4);
    EXPECT_EQ(CountEntries(lists[1]).buttons, 11);
    EXPECT_EQ(CountEntries(lists[1]).separators, 3);
    EXPECT_TRUE(lists[2].empty());
    EXPECT_EQ(ToolBarsVisible(s), (std::array<bool, 3>{true, false, false}));
    EXPECT_EQ(ToolButtonAt(lists[0].back()).command, ID_HELP);
    EXPECT_EQ(ToolButtonAt(17).command, ID_HOST_WINDOW);
}

TEST(ToolBarLists, DamagedStoredListsKeepWhatMakesSense) {
    Settings s;
    // 40 stands for a separator; -3 and 900 are no button at all; 6 twice, and 17 already on bar 1.
    s.ToolTable = {};
    s.ToolTable2 = {};
    const int32_t bar1[] = {0, 40, 6, -3, 6, 900, 17};
    std::copy(std::begin(bar1), std::end(bar1), s.ToolTable.begin());
    s.ToolNum = 7;
    s.ToolTable2[0] = 17;
    s.ToolTable2[1] = 255;
    s.ToolNum2 = 2;
    s.ToolNum3 = 5000;  // more than the bar holds: cut to its 100 entries (all zero: button 0 once)
    ToolLists lists = ToolListsFrom(s);
    EXPECT_EQ(lists[0], (ToolList{0, kToolSeparator, 6, 17}));
    EXPECT_EQ(lists[1], (ToolList{kToolSeparator}));
    EXPECT_TRUE(lists[2].empty());  // button 0 stands on bar 1

    // Stored again, the cleaned lists read back the same, written as "%d " texts.
    StoreToolLists(lists, s);
    EXPECT_EQ(s.ToolNum, 4);
    EXPECT_EQ(s.ToolNum3, 0);
    EXPECT_EQ(*SettingToText(s, "ToolTable"), "0 255 6 17 ");
    test::MemoryStore store;
    SaveSettings(store, s, true);
    Settings back;
    LoadSettings(store, back, "");
    EXPECT_EQ(ToolListsFrom(back), lists);
}

TEST(ToolBarPage, AddDeleteMoveAndTheirMessages) {
    ToolBarPageModel page(DefaultToolLists());
    std::vector<std::string> texts = page.DisplayTexts();
    ASSERT_EQ(texts.size(), 18u);
    EXPECT_EQ(texts[0], "ﾛｸﾞ開始／終了");
    EXPECT_EQ(texts[2], "-----------");
    EXPECT_EQ(texts.back(), "");  // the end mark
    // "すべて" offers what no bar holds: 2 3 4 5 26 28..31 33 34.
    EXPECT_EQ(page.Offered(0), (std::vector<int>{2, 3, 4, 5, 26, 28, 29, 30, 31, 33, 34}));
    EXPECT_EQ(page.Offered(6), (std::vector<int>{}));  // ﾍﾙﾌﾟ is on bar 1

    int row = -1;
    EXPECT_EQ(page.Add(row, 3), ToolBarPageModel::kMsgNoAddPosition);
    page.bar = 1;
    row = page.EndMark();
    EXPECT_EQ(page.Add(row, 32), ToolBarPageModel::kMsgInUse);  // ﾍﾙﾌﾟ, on bar 1
    EXPECT_EQ(page.Add(row, -1), std::nullopt);                  // nothing chosen: nothing
    EXPECT_EQ(page.Current().size(), 14u);
    EXPECT_EQ(page.Add(row, 33), std::nullopt);  // before the end mark, and selected
    EXPECT_EQ(page.Current().back(), 33);
    EXPECT_EQ(row, 14);
    EXPECT_TRUE(page.OnAnyBar(33));
    EXPECT_EQ(page.Offered(3), (std::vector<int>{}));

    row = 0;
    EXPECT_EQ(page.AddSeparator(row), std::nullopt);
    EXPECT_EQ(page.Current()[0], kToolSeparator);
    EXPECT_FALSE(page.CanMoveUp(0));
    page.MoveDown(row);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(page.Current()[0], 6);
    EXPECT_EQ(page.Current()[1], kToolSeparator);
    page.MoveUp(row);
    EXPECT_EQ(row, 0);
    row = page.EndMark() - 1;
    EXPECT_FALSE(page.CanMoveDown(row));
    EXPECT_FALSE(page.CanDelete(page.EndMark()));

    row = -1;
    EXPECT_EQ(page.Delete(row), ToolBarPageModel::kMsgNoDeleteSelection);
    row = page.EndMark();
    EXPECT_EQ(page.Delete(row), ToolBarPageModel::kMsgEndMark);
    row = page.EndMark() - 1;
    EXPECT_EQ(page.Delete(row), std::nullopt);  // Telnet接続 goes back to the pool
    EXPECT_EQ(row, page.EndMark());
    EXPECT_EQ(page.Offered(3), (std::vector<int>{33}));

    page.DeleteAll();
    EXPECT_TRUE(page.Current().empty());
    EXPECT_EQ(page.Offered(2).size(), 11u);
    page.StandardLayout();
    EXPECT_EQ(page.Lists(), DefaultToolLists());

    // A bar holds at most 100 entries.
    page.bar = 2;
    row = 0;
    for (int i = 0; i < kToolBarCapacity; ++i) ASSERT_EQ(page.AddSeparator(row), std::nullopt);
    EXPECT_EQ(page.AddSeparator(row), ToolBarPageModel::kMsgBarFull);
    EXPECT_EQ(page.Add(row, 34), ToolBarPageModel::kMsgBarFull);
}

TEST(StatusItems, StoredOrderWithBadEntriesDropped) {
    Settings s;
    EXPECT_EQ(StatusItemsFrom(s), (std::vector<int>{kStatusLamps, kStatusConnectTime,
                                                    kStatusDateTime, kStatusMessage}));
    const int32_t stored[] = {9, 12, 3, -1, 9, 0, 3};
    std::copy(std::begin(stored), std::end(stored), s.ShowStatusBar.begin());
    s.ShowStatusBarCount = 7;
    EXPECT_EQ(StatusItemsFrom(s), (std::vector<int>{9, 3, 0}));
    s.ShowStatusBarCount = -4;
    EXPECT_TRUE(StatusItemsFrom(s).empty());
    StoreStatusItems({5, 6}, s);
    EXPECT_EQ(*SettingToText(s, "ShowStatusBar"), "5 6");
}

TEST(StatusTexts, TimesDateLinesAndLineParameters) {
    EXPECT_EQ(ConnectTimeText(3723), "01:02:03");
    EXPECT_EQ(ConnectTimeText(0), "00:00:00");
    EXPECT_EQ(ConnectTimeText(-5), "00:00:00");  // a clock set back
    EXPECT_EQ(ConnectTimeText(100 * 3600), "100:00:00");
    std::tm sunday{};
    sunday.tm_mon = 0;
    sunday.tm_mday = 5;
    sunday.tm_wday = 0;
    sunday.tm_hour = 9;
    sunday.tm_min = 7;
    sunday.tm_sec = 5;
    EXPECT_EQ(DateTimeText(sunday), "1/5(日) 09:07:05");
    EXPECT_EQ(BufferLinesText(1000), "1000行");

    StatusFacts f;
    f.connected = true;
    f.connectTime = 1000;
    f.now = 1000 + 3723;
    EXPECT_EQ(StatusPaneText(kStatusConnectTime, f), "01:02:03");
    f.connected = false;
    EXPECT_EQ(StatusPaneText(kStatusConnectTime, f), "00:00:00");
    f.emulation = 1;
    f.port = 0;
    f.speed = 9600;
    f.parity = 2;
    f.dataLen = 7;
    f.stopBit = 0;
    f.receiveCode = 4;
    f.sendCode = 2;
    f.bufferLines = 1000;
    EXPECT_EQ(StatusPaneText(kStatusTerminal, f), "VT100");
    EXPECT_EQ(StatusPaneText(kStatusPort, f), "ﾓﾃﾞﾑなし");
    f.port = 2;
    EXPECT_EQ(StatusPaneText(kStatusPort, f), "COM2");
    EXPECT_EQ(StatusPaneText(kStatusSpeed, f), "9600bps");
    EXPECT_EQ(StatusPaneText(kStatusLineParams, f), "Even(偶数)/7bit/1bit");
    EXPECT_EQ(StatusPaneText(kStatusCodes, f), "EUC/新JIS");
    EXPECT_EQ(StatusPaneText(kStatusBufferLines, f), "1000行");
    f.parity = 77;  // a stored value no list knows
    EXPECT_EQ(StatusPaneText(kStatusLineParams, f), "?/7bit/1bit");

    // Widths in cells: a kanji two, half-width kana and ASCII one.
    EXPECT_EQ(DisplayCells("1000行"), 6);
    EXPECT_EQ(DisplayCells("ﾓﾃﾞﾑなし"), 8);
    EXPECT_EQ(DisplayCells("1/5(日) 09:07:05"), 16);
}

TEST(StatusBarPage, AddDeleteMoveAndTheirMessages) {
    StatusBarPageModel page({1, 2, 3, 0});
    int row = -1;
    EXPECT_EQ(page.Add(row, 9), StatusBarPageModel::kMsgNoAddPosition);
    row = 1;
    EXPECT_EQ(page.Add(row, 9), std::nullopt);  // after the selected item
    EXPECT_EQ(page.Items(), (std::vector<int>{1, 2, 9, 3, 0}));
    EXPECT_EQ(row, 2);
    EXPECT_EQ(page.Add(row, 3), std::nullopt);  // already shown: not again, nothing said
    EXPECT_EQ(page.Items().size(), 5u);
    page.MoveUp(row);
    EXPECT_EQ(page.Items(), (std::vector<int>{1, 9, 2, 3, 0}));
    row = 4;
    page.MoveDown(row);  // the last stays where it is
    EXPECT_EQ(row, 4);

    row = -1;
    EXPECT_EQ(page.Delete(row), StatusBarPageModel::kMsgNoDeleteSelection);
    row = 4;
    EXPECT_EQ(page.Delete(row), std::nullopt);
    EXPECT_EQ(row, 3);  // the item that took its place (the last one now)
    for (row = 0; page.Items().size() > 1;) ASSERT_EQ(page.Delete(row), std::nullopt);
    EXPECT_EQ(page.Delete(row), StatusBarPageModel::kMsgLastItem);
    EXPECT_EQ(page.Items().size(), 1u);

    // A stored empty bar: the first item goes in without a position.
    StatusBarPageModel empty({});
    row = -1;
    EXPECT_EQ(empty.Add(row, 0), std::nullopt);
    EXPECT_EQ(empty.Items(), (std::vector<int>{0}));
}

}  // namespace
}  // namespace marlo
