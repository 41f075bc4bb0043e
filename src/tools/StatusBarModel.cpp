#include "tools/StatusBarModel.h"

#include <algorithm>
#include <cstdio>

#include "app/CommSettingsModel.h"
#include "app/MainFrame.h"
#include "text/Encoding.h"

namespace marlo {

namespace {

const char* const kLabels[kStatusItemCount] = {
    "ﾒｯｾｰｼﾞ",         "ﾓﾃﾞﾑｲﾝｼﾞｹｰﾀ", "接続時間", "日時", "端末名", "ﾎﾟｰﾄ", "通信速度",
    "ﾊﾟﾘﾃｨ/ﾃﾞｰﾀ長/ｽﾄｯﾌﾟﾋﾞｯﾄ", "ｺｰﾄﾞ変換(受信時/送信時)", "画面ﾊﾞｯﾌｧ使用行数",
};

std::string ParamText(LineParam p, int value) {
    std::string text = "?";
    ParamToText(p, value, text);
    return text;
}

}  // namespace

const char* StatusItemLabel(int item) {
    return item >= 0 && item < kStatusItemCount ? kLabels[item] : "";
}

std::vector<int> StatusItemsFrom(const Settings& s) {
    std::vector<int> items;
    for (int i = 0; i < s.StatusItemCount(); ++i) {
        const int v = s.ShowStatusBar[static_cast<size_t>(i)];
        if (v >= 0 && v < kStatusItemCount && std::find(items.begin(), items.end(), v) == items.end())
            items.push_back(v);
    }
    return items;
}

void StoreStatusItems(const std::vector<int>& items, Settings& s) {
    const size_t n = std::min(items.size(), s.ShowStatusBar.size());
    std::copy_n(items.begin(), n, s.ShowStatusBar.begin());
    s.ShowStatusBarCount = static_cast<int32_t>(n);
}

StatusFacts StatusFactsOf(CMainFrame& frame, std::time_t now) {
    const Settings& s = frame.S();
    StatusFacts f;
    f.connected = frame.Conn().connected.load();
    f.connectTime = frame.Conn().connectTime;
    f.now = now;
    f.emulation = s.EmulationMode();
    f.port = s.Port;
    f.speed = s.Speed;
    f.parity = s.Parity;
    f.dataLen = s.DataLen;
    f.stopBit = s.StopBit;
    f.receiveCode = s.ReceiveCode();
    f.sendCode = s.SendCode();
    const ScreenBuffer& buffer = frame.Term().Buffer();
    auto lock = buffer.Lock();
    f.bufferLines = buffer.LastLine() + 1;
    return f;
}

std::string ConnectTimeText(long long seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string DateTimeText(const std::tm& t) {
    static const char* const weekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d(%s) %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday,
                  weekdays[std::clamp(t.tm_wday, 0, 6)], t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string BufferLinesText(int lines) {
    return std::to_string(lines) + "行";
}

std::string StatusPaneText(int item, const StatusFacts& f) {
    switch (item) {
        case kStatusConnectTime:
            return ConnectTimeText(f.connected ? static_cast<long long>(f.now - f.connectTime) : 0);
        case kStatusDateTime: {
            std::tm local{};
            localtime_r(&f.now, &local);
            return DateTimeText(local);
        }
        case kStatusTerminal:
            return ParamText(LineParam::Emulation, f.emulation);
        case kStatusPort:
            return ParamText(LineParam::Port, f.port);
        case kStatusSpeed:
            return std::to_string(f.speed) + "bps";
        case kStatusLineParams:
            return ParamText(LineParam::Parity, f.parity) + "/" +
                   ParamText(LineParam::DataLen, f.dataLen) + "/" +
                   ParamText(LineParam::StopBit, f.stopBit);
        case kStatusCodes:
            return ParamText(LineParam::KanjiCode, f.receiveCode) + "/" +
                   ParamText(LineParam::KanjiCode, f.sendCode);
        case kStatusBufferLines:
            return BufferLinesText(f.bufferLines);
        default:
            return "";
    }
}

int DisplayCells(const std::string& utf8) {
    return static_cast<int>(Utf8ToSjis(utf8).size());
}

std::optional<std::string> StatusBarPageModel::Add(int& row, int item) {
    const int n = static_cast<int>(items_.size());
    if (n > 0 && (row < 0 || row >= n)) return kMsgNoAddPosition;
    if (item < 0 || item >= kStatusItemCount ||
        std::find(items_.begin(), items_.end(), item) != items_.end())
        return std::nullopt;
    row = n == 0 ? 0 : row + 1;
    items_.insert(items_.begin() + row, item);
    return std::nullopt;
}

std::optional<std::string> StatusBarPageModel::Delete(int& row) {
    const int n = static_cast<int>(items_.size());
    if (row < 0 || row >= n) return kMsgNoDeleteSelection;
    if (n == 1) return kMsgLastItem;
    items_.erase(items_.begin() + row);
    row = std::min(row, n - 2);
    return std::nullopt;
}

void StatusBarPageModel::MoveUp(int& row) {
    if (row < 1 || row >= static_cast<int>(items_.size())) return;
    std::swap(items_[static_cast<size_t>(row)], items_[static_cast<size_t>(row - 1)]);
    --row;
}

void StatusBarPageModel::MoveDown(int& row) {
    if (row < 0 || row + 1 >= static_cast<int>(items_.size())) return;
    std::swap(items_[static_cast<size_t>(row)], items_[static_cast<size_t>(row + 1)]);
    ++row;
}

}  // namespace marlo
