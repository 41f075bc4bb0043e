// The rules of the environment settings sheet "動作環境の設定" (command 320), without any window:
// its values, the clear-up text, what it refuses and what applying it changes. While the sheet is
// open the frame does not read the line; it reads what waited once the sheet closes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace marlo {

constexpr int kEnvSettingsCommand = 320;

struct EnvSheetValues {
    int SameSysColor = 0, TextColor = 0, BackColor = 16777215;
    int LineColFix = 0;
    std::array<int32_t, 2> LineColumn{80, 24};  // columns, rows
    int Blink = 1, FuncBarSize = 40, BufferSize = 1000, ClearUp = 1, ScrollSpeed = 1;
    int ScrollLine = 3;
    int LogSaveForm = 1, LogDefault = 1, LogIniBegin = 0, LogRemoveEsc = 1;
    int HostselectOnBegin = 0, SaveOnEnd = 1, BufferClearOnEnd = 1;
    // The tool bar page edits the bars' lists with their lengths and the button size.
    int ToolSize = 0;
    std::array<int32_t, 3> ToolNum{17, 14, 0};
    std::array<std::array<int32_t, 100>, 3> ToolTable{};
    // The status bar page: the items in display order.
    std::vector<int> StatusItems;

    static EnvSheetValues From(const Settings& s);
};

// What the frame has to redo after the sheet was applied.
struct EnvApplyResult {
    bool bufferSizeChanged = false;  // reallocate the screen buffer
    bool screenChanged = false;      // LineColFix or LineColumn: resize the terminal
    bool coloursChanged = false;     // SameSysColor, TextColor, BackColor or Blink: repaint
    bool toolBarsChanged = false;    // build the bars again
    bool statusBarChanged = false;   // set the status bar's panes again
};

class EnvSettingsModel {
  public:
    explicit EnvSettingsModel(const Settings& s);

    EnvSheetValues values;
    const EnvSheetValues& original() const { return original_; }

    // The clear-up field: "%d％ （%d行）", the percent and the lines dropped at once with the
    // sheet's buffer size.
    static std::string ClearUpText(int percent, int bufferSize);
    std::string ClearUpText() const { return ClearUpText(values.ClearUp, values.BufferSize); }

    // The first value the sheet must not accept, as a message for the user; nullopt when all are.
    std::optional<std::string> Validate() const;
    // Stores the values and says what changed.
    EnvApplyResult Apply(Settings& s) const;

  private:
    EnvSheetValues original_;
};

}  // namespace marlo
