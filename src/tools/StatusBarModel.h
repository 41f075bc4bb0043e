// The status bar: its ten items, the order the user chose for them (ShowStatusBar), the texts of
// the information panes, and the rules of the "ｽﾃｰﾀｽﾊﾞｰ" page that arranges them. No window: the
// Qt bar shows these texts and the lamps every half second.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace marlo {

class CMainFrame;

enum StatusItem : int {
    kStatusMessage = 0,  // stretches over the free width
    kStatusLamps,
    kStatusConnectTime,
    kStatusDateTime,
    kStatusTerminal,
    kStatusPort,
    kStatusSpeed,
    kStatusLineParams,
    kStatusCodes,
    kStatusBufferLines,
    kStatusItemCount
};

// The item's label on the page (UTF-8).
const char* StatusItemLabel(int item);

// The items in display order from ShowStatusBar: numbers outside 0..9 and repeats are dropped,
// the rest keep their order.
std::vector<int> StatusItemsFrom(const Settings& s);
void StoreStatusItems(const std::vector<int>& items, Settings& s);

// What the information panes show, gathered once a tick.
struct StatusFacts {
    bool connected = false;
    std::time_t connectTime = 0, now = 0;
    int emulation = 0, port = 0, speed = 0;
    int parity = 0, dataLen = 8, stopBit = 0;
    int receiveCode = 0, sendCode = 0;
    int bufferLines = 0;  // lines in use (the last line + 1)
};
StatusFacts StatusFactsOf(CMainFrame& frame, std::time_t now);

// "%02ld:%02ld:%02ld": hours, minutes, seconds; "00:00:00" for anything below one second.
std::string ConnectTimeText(long long seconds);
// "%d/%d(%s) %02d:%02d:%02d": month, day, weekday, time.
std::string DateTimeText(const std::tm& local);
// "%d行".
std::string BufferLinesText(int lines);
// The text of an information pane (items 2..9), "" for the message pane and the lamps.
std::string StatusPaneText(int item, const StatusFacts& facts);
// The width of a text in character cells of the terminal font: a kanji takes two, ASCII and
// half-width kana one (its length in Shift-JIS).
int DisplayCells(const std::string& utf8);

// The "ｽﾃｰﾀｽﾊﾞｰ" page of the environment settings sheet: the shown items with "↑", "↓",
// "← 追加(&A)" and "→ 削除(&D)", and all ten items to choose from. A row of -1 is no selection;
// each step returns the message to show, or nullopt, and moves `row` to the entry to select.
class StatusBarPageModel {
  public:
    static constexpr const char* kMsgNoAddPosition =
        "追加する個所の表示ステータスを選択してください";
    static constexpr const char* kMsgNoDeleteSelection =
        "削除する表示ステータスを選択してください";
    static constexpr const char* kMsgLastItem = "すべてのステータスを削除できません";

    explicit StatusBarPageModel(std::vector<int> items) : items_(std::move(items)) {}
    const std::vector<int>& Items() const { return items_; }

    // Inserts `item` (chosen in the list of all items, -1 for none) after the selected row; an
    // item already shown is not added again. With no item shown, any row places it first.
    std::optional<std::string> Add(int& row, int item);
    std::optional<std::string> Delete(int& row);
    void MoveUp(int& row);
    void MoveDown(int& row);

  private:
    std::vector<int> items_;
};

}  // namespace marlo
