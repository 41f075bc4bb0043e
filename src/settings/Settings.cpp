#include "settings/Settings.h"

#include <algorithm>

namespace marlo {

namespace {
constexpr int32_t kNormalColours[8] = {0,        128,      32768,    32896,
                                       0x800000, 0x800080, 0x808000, 0xC0C0C0};
constexpr int32_t kBrightColours[8] = {0,        255,      65280,    65535,
                                       0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
constexpr int32_t kToolTable[] = {0,  1,  255, 17,  18, 19, 255, 20, 21,
                                  22, 23, 24,  255, 25, 27, 255, 32};
constexpr int32_t kToolTable2[] = {6, 7, 8, 9, 10, 11, 255, 12, 13, 14, 255, 15, 255, 16};
}  // namespace

Settings::Settings(const std::string& dataDir) {
    TextColorCust.fill(16777215);
    BackColorCust.fill(16777215);
    for (int i = 0; i < 32; ++i)
        VT100Color[i] = i < 16 ? kNormalColours[i % 8] : kBrightColours[i % 8];
    std::copy(std::begin(kToolTable), std::end(kToolTable), ToolTable.begin());
    std::copy(std::begin(kToolTable2), std::end(kToolTable2), ToolTable2.begin());
    Quote = "\x81\xe2";  // ≫
    Caret = "\x81\xa1";  // ■
    for (std::string* dir : {&LogDefPath, &DownlodDefPath, &UploadDefPath, &TxsendDefPath,
                             &TxrecvDefPath, &MacroDefPath, &HistoryDefPath})
        *dir = dataDir;
    TraceFile = dataDir.empty() ? "trace.txt" : dataDir + "/trace.txt";
}

int Settings::BufferLines() const {
    return std::clamp<int32_t>(BufferSize, 30, 200000);
}
int Settings::ScreenRows() const {
    return std::clamp<int32_t>(LineColumn[1], 1, BufferLines());
}
int Settings::ScreenColumns() const {
    return std::clamp<int32_t>(LineColumn[0], 1, 80);
}
int Settings::ToolCount(int bar) const {
    int32_t n = bar == 1 ? ToolNum : bar == 2 ? ToolNum2 : bar == 3 ? ToolNum3 : 0;
    return std::clamp<int32_t>(n, 0, 100);
}
int Settings::StatusItemCount() const {
    return std::clamp<int32_t>(ShowStatusBarCount, 0, static_cast<int32_t>(ShowStatusBar.size()));
}
int Settings::ClearUpLines() const {
    const int lines = BufferLines();
    const int n = static_cast<int>(int64_t{lines} * std::clamp<int32_t>(ClearUp, 0, 100) / 100);
    return std::clamp(n, 1, lines - 1);
}

}  // namespace marlo
