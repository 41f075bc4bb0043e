#include "app/EnvSettingsModel.h"

#include <cstdio>

#include "tools/StatusBarModel.h"

namespace marlo {

EnvSheetValues EnvSheetValues::From(const Settings& s) {
    EnvSheetValues v;
    v.SameSysColor = s.SameSysColor;
    v.TextColor = s.TextColor;
    v.BackColor = s.BackColor;
    v.LineColFix = s.LineColFix;
    v.LineColumn = s.LineColumn;
    v.Blink = s.Blink;
    v.FuncBarSize = s.FuncBarSize;
    v.BufferSize = s.BufferSize;
    v.ClearUp = s.ClearUp;
    v.ScrollSpeed = s.ScrollSpeed;
    v.ScrollLine = s.ScrollLine;
    v.LogSaveForm = s.LogSaveForm;
    v.LogDefault = s.LogDefault;
    v.LogIniBegin = s.LogIniBegin;
    v.LogRemoveEsc = s.LogRemoveEsc;
    v.HostselectOnBegin = s.HostselectOnBegin;
    v.SaveOnEnd = s.SaveOnEnd;
    v.BufferClearOnEnd = s.BufferClearOnEnd;
    v.ToolSize = s.ToolSize;
    v.ToolNum = {s.ToolNum, s.ToolNum2, s.ToolNum3};
    v.ToolTable = {s.ToolTable, s.ToolTable2, s.ToolTable3};
    v.StatusItems = StatusItemsFrom(s);
    return v;
}

EnvSettingsModel::EnvSettingsModel(const Settings& s)
    : values(EnvSheetValues::From(s)), original_(values) {}

std::string EnvSettingsModel::ClearUpText(int percent, int bufferSize) {
    Settings t;
    t.BufferSize = bufferSize;
    t.ClearUp = percent;
    char text[64];
    std::snprintf(text, sizeof text, "%d％ （%d行）", percent, t.ClearUpLines());
    return text;
}

std::optional<std::string> EnvSettingsModel::Validate() const {
    const EnvSheetValues& v = values;
    const struct {
        int value, low, high;
        const char* what;
    } ranges[] = {
        {v.BufferSize, 30, 200000, "ｳｨﾝﾄﾞｳﾊﾞｯﾌｧ"}, {v.ClearUp, 1, 100, "ｸﾘｱｱｯﾌﾟ率"},
        {v.LineColumn[0], 1, 80, "桁数"},          {v.LineColumn[1], 1, 200, "行数"},
        {v.ScrollLine, 1, 100, "ｽｸﾛｰﾙ行"},         {v.FuncBarSize, 1, 100, "ﾌｧﾝｸｼｮﾝﾎﾞﾀﾝｻｲｽﾞ"},
        {v.ToolNum[0], 0, 100, "ﾂｰﾙﾊﾞｰ1のﾎﾞﾀﾝ数"}, {v.ToolNum[1], 0, 100, "ﾂｰﾙﾊﾞｰ2のﾎﾞﾀﾝ数"},
        {v.ToolNum[2], 0, 100, "ﾂｰﾙﾊﾞｰ3のﾎﾞﾀﾝ数"},
    };
    for (const auto& r : ranges) {
        if (r.value < r.low || r.value > r.high) {
            char text[160];
            std::snprintf(text, sizeof text, "%sは%dから%dの範囲で指定してください.", r.what, r.low,
                          r.high);
            return std::string(text);
        }
    }
    if (v.LineColumn[1] > v.BufferSize) return "行数はｳｨﾝﾄﾞｳﾊﾞｯﾌｧの行数以下にしてください.";
    return std::nullopt;
}

EnvApplyResult EnvSettingsModel::Apply(Settings& s) const {
    const EnvSheetValues& v = values;
    EnvApplyResult r;
    r.bufferSizeChanged = s.BufferSize != v.BufferSize;
    r.screenChanged = s.LineColFix != v.LineColFix || s.LineColumn != v.LineColumn;
    r.coloursChanged = s.SameSysColor != v.SameSysColor || s.TextColor != v.TextColor ||
                       s.BackColor != v.BackColor || s.Blink != v.Blink;
    const EnvSheetValues before = EnvSheetValues::From(s);
    r.toolBarsChanged = before.ToolSize != v.ToolSize || before.ToolNum != v.ToolNum ||
                        before.ToolTable != v.ToolTable || s.FuncBarSize != v.FuncBarSize;
    s.SameSysColor = v.SameSysColor;
    s.TextColor = v.TextColor;
    s.BackColor = v.BackColor;
    s.LineColFix = v.LineColFix;
    s.LineColumn = v.LineColumn;
    s.Blink = v.Blink;
    s.FuncBarSize = v.FuncBarSize;
    s.BufferSize = v.BufferSize;
    s.ClearUp = v.ClearUp;
    s.ScrollSpeed = v.ScrollSpeed;
    s.ScrollLine = v.ScrollLine;
    s.LogSaveForm = v.LogSaveForm;
    s.LogDefault = v.LogDefault;
    s.LogIniBegin = v.LogIniBegin;
    s.LogRemoveEsc = v.LogRemoveEsc;
    s.HostselectOnBegin = v.HostselectOnBegin;
    s.SaveOnEnd = v.SaveOnEnd;
    s.BufferClearOnEnd = v.BufferClearOnEnd;
    s.ToolSize = v.ToolSize;
    s.ToolNum = v.ToolNum[0];
    s.ToolNum2 = v.ToolNum[1];
    s.ToolNum3 = v.ToolNum[2];
    s.ToolTable = v.ToolTable[0];
    s.ToolTable2 = v.ToolTable[1];
    s.ToolTable3 = v.ToolTable[2];
    // A stored list is rewritten only when the page changed it.
    r.statusBarChanged = v.StatusItems != before.StatusItems;
    if (r.statusBarChanged) StoreStatusItems(v.StatusItems, s);
    return r;
}

}  // namespace marlo
