#include "tools/ToolBarModel.h"

#include <algorithm>
#include <set>

#include "app/CommandIds.h"

namespace marlo {

namespace {

// The button "ｱﾌﾟﾘｹｰｼｮﾝ" sends the menu's command for the application list, so that it does what
// its label says.
const ToolButton kButtons[kToolButtonCount] = {
    {"ﾛｸﾞ開始／終了", ID_LOG_TOGGLE, "log-toggle"},
    {"ﾛｸﾞ参照", ID_LOG_BROWSER, "log-browser"},
    {"ﾛｰｶﾙ編集", ID_LOCAL_EDIT, "local-edit"},
    {"ｴﾃﾞｨﾀ", ID_EDITOR, "editor"},
    {"ｺﾏﾝﾄﾞ実行", ID_COMMAND_LINE, "command"},
    {".LZHﾌｧｲﾙ解凍", ID_LZH_EXTRACT, "lzh"},
    {"ｺﾋﾟｰ", ID_EDIT_COPY, "copy"},
    {"ﾌｧｲﾙにｺﾋﾟｰ", ID_EDIT_COPY_FILE, "copy-file"},
    {"引用付きｺﾋﾟｰ", ID_EDIT_COPY_QUOTE, "copy-quote"},
    {"送信", ID_EDIT_PASTE, "paste"},
    {"すべてを選択", ID_EDIT_SELECT_ALL, "select-all"},
    {"範囲指定", ID_EDIT_RANGE, "range"},
    {"検索", ID_EDIT_SEARCH, "search"},
    {"上方検索", ID_EDIT_SEARCH_UP, "search-up"},
    {"下方検索", ID_EDIT_SEARCH_DOWN, "search-down"},
    {"ﾊﾞｯﾌｧｸﾘｱ", ID_CLEAR_BUFFER, "clear-buffer"},
    {"ｳｨﾝﾄﾞｳの分割", ID_SPLIT, "split"},
    {"ﾎｽﾄ選択", ID_HOST_WINDOW, "hosts"},
    {"電話接続", ID_PHONE_CONNECT, "phone"},
    {"回線切断", ID_HANGUP, "hangup"},
    {"ｱｯﾌﾟﾛｰﾄﾞ", ID_UPLOAD, "upload"},
    {"ﾀﾞｳﾝﾛｰﾄﾞ", ID_DOWNLOAD, "download"},
    {"ﾃｷｽﾄ送信", ID_TEXT_SEND, "text-send"},
    {"ﾃｷｽﾄ受信", ID_TEXT_RECEIVE, "text-receive"},
    {"ﾌﾞﾚｰｸ信号", ID_BREAK, "break"},
    {"１行入力ﾓｰﾄﾞ", ID_INPUT_BAR, "input-bar"},
    {"制御ｺｰﾄﾞ入力", ID_CONTROL_CODE, "control-code"},
    {"接続履歴", ID_HISTORY, "history"},
    {"ﾏｸﾛ実行", ID_MACRO_RUN, "macro-run"},
    {"ﾏｸﾛ停止", ID_MACRO_STOP, "macro-stop"},
    {"ﾏｸﾛ一時停止", ID_MACRO_PAUSE, "macro-pause"},
    {"ﾏｸﾛ編集", ID_MACRO_EDIT, "macro-edit"},
    {"ﾍﾙﾌﾟ", ID_HELP, "help"},
    {"Telnet接続", ID_TELNET_CONNECT, "telnet"},
    {"ｱﾌﾟﾘｹｰｼｮﾝ", ID_APPLICATION, "applications"},
};

std::vector<int> Range(int first, int last) {
    std::vector<int> v;
    for (int n = first; n <= last; ++n) v.push_back(n);
    return v;
}

}  // namespace

const ToolButton& ToolButtonAt(int n) {
    return kButtons[std::clamp(n, 0, kToolButtonCount - 1)];
}

const std::vector<ToolCategory>& ToolCategories() {
    static const std::vector<ToolCategory> categories = [] {
        std::vector<int> file = {0, 1, 2, 3, 4, 5, 34};
        std::vector<int> comm = Range(17, 24);
        comm.push_back(33);
        return std::vector<ToolCategory>{
            {"すべて", Range(0, 34)}, {"ﾌｧｲﾙ", file},          {"編集", Range(6, 16)},
            {"通信", comm},           {"ｵﾌﾟｼｮﾝ", Range(25, 27)}, {"ﾏｸﾛ", Range(28, 31)},
            {"ﾍﾙﾌﾟ", {32}},
        };
    }();
    return categories;
}

ToolLists ToolListsFrom(const Settings& s) {
    return ToolListsFrom({s.ToolTable, s.ToolTable2, s.ToolTable3},
                         {s.ToolNum, s.ToolNum2, s.ToolNum3});
}

ToolLists ToolListsFrom(const std::array<std::array<int32_t, kToolBarCapacity>, kToolBarCount>& tables,
                        const std::array<int32_t, kToolBarCount>& counts) {
    ToolLists lists;
    std::set<int> placed;
    for (size_t bar = 0; bar < kToolBarCount; ++bar) {
        const int n = std::clamp<int32_t>(counts[bar], 0, kToolBarCapacity);
        ToolList& list = lists[bar];
        for (int i = 0; i < n; ++i) {
            const int v = tables[bar][static_cast<size_t>(i)];
            if (v >= 0 && v < kToolButtonCount) {
                if (placed.insert(v).second) list.push_back(v);
            } else if (v >= kToolButtonCount && v <= kToolSeparator) {
                list.push_back(kToolSeparator);
            }
        }
    }
    return lists;
}

ToolLists DefaultToolLists() {
    return ToolListsFrom(Settings{});
}

void StoreToolLists(const ToolLists& lists, Settings& s) {
    StoreToolList(lists[0], s.ToolTable, s.ToolNum);
    StoreToolList(lists[1], s.ToolTable2, s.ToolNum2);
    StoreToolList(lists[2], s.ToolTable3, s.ToolNum3);
}

void StoreToolList(const ToolList& list, std::array<int32_t, kToolBarCapacity>& table,
                   int32_t& count) {
    const size_t n = std::min<size_t>(list.size(), kToolBarCapacity);
    std::copy_n(list.begin(), n, table.begin());
    count = static_cast<int32_t>(n);
}

std::array<bool, kToolBarCount> ToolBarsVisible(const Settings& s) {
    return {s.ToolBar != 0, s.ToolBar2 != 0, s.ToolBar3 != 0};
}

void StoreToolBarsVisible(const std::array<bool, kToolBarCount>& visible, Settings& s) {
    s.ToolBar = visible[0] ? 1 : 0;
    s.ToolBar2 = visible[1] ? 1 : 0;
    s.ToolBar3 = visible[2] ? 1 : 0;
}

ToolBarCounts CountEntries(const ToolList& list) {
    ToolBarCounts c;
    for (int v : list) (v == kToolSeparator ? c.separators : c.buttons)++;
    return c;
}

std::vector<std::string> ToolBarPageModel::DisplayTexts() const {
    std::vector<std::string> texts;
    for (int v : Current())
        texts.emplace_back(v == kToolSeparator ? kSeparatorText : ToolButtonAt(v).label);
    texts.emplace_back();
    return texts;
}

bool ToolBarPageModel::OnAnyBar(int button) const {
    for (const ToolList& list : lists_)
        if (std::find(list.begin(), list.end(), button) != list.end()) return true;
    return false;
}

std::vector<int> ToolBarPageModel::Offered(int category) const {
    const auto& categories = ToolCategories();
    std::vector<int> offered;
    if (category < 0 || category >= static_cast<int>(categories.size())) return offered;
    for (int b : categories[static_cast<size_t>(category)].buttons)
        if (!OnAnyBar(b)) offered.push_back(b);
    return offered;
}

std::optional<std::string> ToolBarPageModel::Add(int& row, int button) {
    if (row < 0 || row > EndMark()) return kMsgNoAddPosition;
    if (button < 0 || button >= kToolButtonCount) return std::nullopt;
    if (OnAnyBar(button)) return kMsgInUse;
    if (EndMark() >= kToolBarCapacity) return kMsgBarFull;
    Edited().insert(Edited().begin() + row, button);
    return std::nullopt;
}

std::optional<std::string> ToolBarPageModel::AddSeparator(int& row) {
    if (row < 0 || row > EndMark()) return kMsgNoAddPosition;
    if (EndMark() >= kToolBarCapacity) return kMsgBarFull;
    Edited().insert(Edited().begin() + row, kToolSeparator);
    return std::nullopt;
}

std::optional<std::string> ToolBarPageModel::Delete(int& row) {
    if (row < 0 || row > EndMark()) return kMsgNoDeleteSelection;
    if (row == EndMark()) return kMsgEndMark;
    Edited().erase(Edited().begin() + row);
    return std::nullopt;
}

void ToolBarPageModel::MoveUp(int& row) {
    if (!CanMoveUp(row)) return;
    std::swap(Edited()[static_cast<size_t>(row)], Edited()[static_cast<size_t>(row - 1)]);
    --row;
}

void ToolBarPageModel::MoveDown(int& row) {
    if (!CanMoveDown(row)) return;
    std::swap(Edited()[static_cast<size_t>(row)], Edited()[static_cast<size_t>(row + 1)]);
    ++row;
}

}  // namespace marlo
