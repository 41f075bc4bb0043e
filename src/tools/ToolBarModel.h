// The three tool bars: the fixed set of 35 buttons, the bars' button lists as stored in the
// settings, and the rules of the "ﾂｰﾙﾊﾞｰ" page that arranges them. No window: the Qt bars and the
// page show what this says.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace marlo {

constexpr int kToolButtonCount = 35;
constexpr int kToolBarCount = 3;
constexpr int kToolBarCapacity = 100;  // entries a stored list holds
constexpr int kToolSeparator = 255;

struct ToolButton {
    const char* label;  // UTF-8, as the page lists it and the button's tip shows it
    int command;        // the menu command it sends
    const char* icon;   // the picture's name: resources/icons/toolbar/<icon>.svg
};

// Button n (0..34).
const ToolButton& ToolButtonAt(int n);

// The page's categories in list order, each with the buttons it offers.
struct ToolCategory {
    const char* name;
    std::vector<int> buttons;
};
const std::vector<ToolCategory>& ToolCategories();

// A bar from left to right: button numbers, kToolSeparator for a separator.
using ToolList = std::vector<int>;
using ToolLists = std::array<ToolList, kToolBarCount>;

// The bars' lists from the settings. A stored list may be damaged: its length is cut to what the
// bar holds, a number outside the button table that still fits a stored byte (35..255) is a
// separator, anything else is dropped, and a button that stood earlier (on this bar or a bar
// before) is dropped, so that each button stands at most once. The rest keep their order.
ToolLists ToolListsFrom(const Settings& s);
// The same from the three tables and their stored lengths.
ToolLists ToolListsFrom(const std::array<std::array<int32_t, kToolBarCapacity>, kToolBarCount>& tables,
                        const std::array<int32_t, kToolBarCount>& counts);
// The lists every installation starts with.
ToolLists DefaultToolLists();
// Writes the lists and their lengths; entries past a list's length are left as they are.
void StoreToolLists(const ToolLists& lists, Settings& s);
void StoreToolList(const ToolList& list, std::array<int32_t, kToolBarCapacity>& table,
                   int32_t& count);
// Which bars are shown (ToolBar, ToolBar2, ToolBar3).
std::array<bool, kToolBarCount> ToolBarsVisible(const Settings& s);
void StoreToolBarsVisible(const std::array<bool, kToolBarCount>& visible, Settings& s);

// What one bar shows: counts of buttons and separators (for a bar's summary and the tests).
struct ToolBarCounts {
    int buttons = 0, separators = 0;
};
ToolBarCounts CountEntries(const ToolList& list);

// The "ﾂｰﾙﾊﾞｰ" page of the environment settings sheet. Rows are those of the display list: the
// chosen bar's entries, then the end mark (row == the list's size). A row of -1 is no selection.
// Each editing step returns the message to show, or nullopt, and moves `row` to the entry to
// select afterwards.
class ToolBarPageModel {
  public:
    static constexpr const char* kSeparatorText = "-----------";
    static constexpr const char* kMsgNoAddPosition =
        "追加する個所の表示ボタンを選択してください";
    static constexpr const char* kMsgInUse = "すでに使われています";
    static constexpr const char* kMsgNoDeleteSelection = "削除する表示ボタンを選択してください";
    static constexpr const char* kMsgEndMark = "ここは削除できません";
    static constexpr const char* kMsgBarFull = "ﾂｰﾙﾊﾞｰにはこれ以上追加できません";

    explicit ToolBarPageModel(const ToolLists& lists) : lists_(lists) {}

    const ToolLists& Lists() const { return lists_; }
    // The chosen bar, 0..2.
    int bar = 0;
    const ToolList& Current() const { return lists_[static_cast<size_t>(bar)]; }
    int EndMark() const { return static_cast<int>(Current().size()); }

    // The display list's texts, the end mark ("") last.
    std::vector<std::string> DisplayTexts() const;
    // The buttons of category `category` that stand on no bar, in the category's order.
    std::vector<int> Offered(int category) const;
    bool OnAnyBar(int button) const;

    // "← 追加(&A)": `button` is the one chosen in the selection list, -1 when none.
    std::optional<std::string> Add(int& row, int button);
    // "ｾﾊﾟﾚｰﾀ追加(&P)".
    std::optional<std::string> AddSeparator(int& row);
    // "→ 削除(&D)".
    std::optional<std::string> Delete(int& row);
    // "↑" / "↓": swap with the neighbour, the moved entry stays selected.
    void MoveUp(int& row);
    void MoveDown(int& row);
    bool CanMoveUp(int row) const { return row >= 1 && row < EndMark(); }
    bool CanMoveDown(int row) const { return row >= 0 && row + 1 < EndMark(); }
    bool CanDelete(int row) const { return row >= 0 && row < EndMark(); }
    // "標準配置(&H)": every bar takes its default list. "すべてを削除(&C)": the chosen bar empties.
    void StandardLayout() { lists_ = DefaultToolLists(); }
    void DeleteAll() { lists_[static_cast<size_t>(bar)].clear(); }

  private:
    ToolList& Edited() { return lists_[static_cast<size_t>(bar)]; }
    ToolLists lists_;
};

}  // namespace marlo
