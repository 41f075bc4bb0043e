#include "app/SettingsByName.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "app/Settings.h"

namespace marlo {

namespace {

// Where one stored value lives in Settings.
struct Field {
    SettingForm form = SettingForm::Number;
    int32_t* ints = nullptr;  // numbers and lists
    uint8_t* byte = nullptr;  // numbers of which only the low byte is kept
    size_t count = 1;         // list length (the most a list may hold)
    bool exact = false;       // the list must hold exactly `count` numbers
    int32_t* used = nullptr;  // variable lists: the member that counts the items in use
    std::string* text = nullptr;
    size_t maxText = 0;  // longest text the stored form holds; 0 = no limit
};

using Visit = std::function<bool(std::string_view name, std::string_view subKey, const Field&)>;

Field Number(int32_t& v) {
    Field f;
    f.ints = &v;
    return f;
}
Field LowByte(uint8_t& v) {
    Field f;
    f.byte = &v;
    return f;
}
template <size_t N>
Field List(std::array<int32_t, N>& a, bool exact = false, int32_t* used = nullptr) {
    Field f;
    f.form = SettingForm::List;
    f.ints = a.data();
    f.count = N;
    f.exact = exact;
    f.used = used;
    return f;
}
Field Text(std::string& s, size_t size = 0) {
    Field f;
    f.form = SettingForm::Text;
    f.text = &s;
    f.maxText = size ? size - 1 : 0;  // the stored size counts the terminator
    return f;
}

// Calls `visit` for every stored value until it returns true. Returns whether one did.
bool ForEachField(Settings& s, const Visit& visit) {
    const std::string_view main;
#define MARLO_FIELD(name, field) \
    if (visit(name, main, field)) return true
    MARLO_FIELD("Version", Number(s.Version));
    MARLO_FIELD("Window", List(s.Window, true));
    MARLO_FIELD("TextColor", Number(s.TextColor));
    MARLO_FIELD("TextColorCust", List(s.TextColorCust));
    MARLO_FIELD("BackColor", Number(s.BackColor));
    MARLO_FIELD("VT100Color", List(s.VT100Color));
    MARLO_FIELD("BackColorCust", List(s.BackColorCust));
    MARLO_FIELD("lfFaceName", Text(s.lfFaceName, 32));
    MARLO_FIELD("lfHeight", Number(s.lfHeight));
    MARLO_FIELD("lfWidth", Number(s.lfWidth));
    MARLO_FIELD("lfEscapement", Number(s.lfEscapement));
    MARLO_FIELD("lfOrientation", Number(s.lfOrientation));
    MARLO_FIELD("lfWeight", Number(s.lfWeight));
    MARLO_FIELD("lfItalic", LowByte(s.lfItalic));
    MARLO_FIELD("lfUnderline", LowByte(s.lfUnderline));
    MARLO_FIELD("lfStrikeOut", LowByte(s.lfStrikeOut));
    MARLO_FIELD("lfCharSet", LowByte(s.lfCharSet));
    MARLO_FIELD("lfOutPrecision", LowByte(s.lfOutPrecision));
    MARLO_FIELD("lfClipPrecision", LowByte(s.lfClipPrecision));
    MARLO_FIELD("lfQuality", LowByte(s.lfQuality));
    MARLO_FIELD("lfPitchAndFamily", LowByte(s.lfPitchAndFamily));
    MARLO_FIELD("LineColFix", Number(s.LineColFix));
    MARLO_FIELD("LineColumn", List(s.LineColumn, true));
    MARLO_FIELD("Blink", Number(s.Blink));
    MARLO_FIELD("SameSysColor", Number(s.SameSysColor));
    MARLO_FIELD("ToolBar", Number(s.ToolBar));
    MARLO_FIELD("ToolBar2", Number(s.ToolBar2));
    MARLO_FIELD("ToolBar3", Number(s.ToolBar3));
    MARLO_FIELD("ToolSize", Number(s.ToolSize));
    MARLO_FIELD("FuncBarSize", Number(s.FuncBarSize));
    MARLO_FIELD("ToolNum", Number(s.ToolNum));
    MARLO_FIELD("ToolNum2", Number(s.ToolNum2));
    MARLO_FIELD("ToolNum3", Number(s.ToolNum3));
    MARLO_FIELD("ToolTable", List(s.ToolTable, false, &s.ToolNum));
    MARLO_FIELD("ToolTable2", List(s.ToolTable2, false, &s.ToolNum2));
    MARLO_FIELD("ToolTable3", List(s.ToolTable3, false, &s.ToolNum3));
    MARLO_FIELD("StatusBar", Number(s.StatusBar));
    MARLO_FIELD("FunctionBar", Number(s.FunctionBar));
    MARLO_FIELD("BufferSize", Number(s.BufferSize));
    MARLO_FIELD("ClearUp", Number(s.ClearUp));
    MARLO_FIELD("ScrollSpeed", Number(s.ScrollSpeed));
    MARLO_FIELD("ScrollLine", Number(s.ScrollLine));
    MARLO_FIELD("Port", Number(s.Port));
    MARLO_FIELD("Speed", Number(s.Speed));
    MARLO_FIELD("DataLen", Number(s.DataLen));
    MARLO_FIELD("StopBit", Number(s.StopBit));
    MARLO_FIELD("Parity", Number(s.Parity));
    MARLO_FIELD("Flow", Number(s.Flow));
    MARLO_FIELD("Emulation", Number(s.Emulation));
    MARLO_FIELD("BreakTime", Number(s.BreakTime));
    MARLO_FIELD("ReadSize", Number(s.ReadSize));
    MARLO_FIELD("CodeExchange", Number(s.CodeExchange));
    MARLO_FIELD("CodeExchange2", Number(s.CodeExchange2));
    MARLO_FIELD("RcvCRLF", Number(s.RcvCRLF));
    MARLO_FIELD("RcvLFCR", Number(s.RcvLFCR));
    MARLO_FIELD("SndCRLF", Number(s.SndCRLF));
    MARLO_FIELD("BS2Byte", Number(s.BS2Byte));
    MARLO_FIELD("BSDel", Number(s.BSDel));
    MARLO_FIELD("AutoMargin", Number(s.AutoMargin));
    MARLO_FIELD("LocalEcho", Number(s.LocalEcho));
    MARLO_FIELD("AutoBplus", Number(s.AutoBplus));
    MARLO_FIELD("AutoZMODEM", Number(s.AutoZMODEM));
    MARLO_FIELD("FKLocal", Number(s.FKLocal));
    MARLO_FIELD("SI/SO", Number(s.SISO));
    MARLO_FIELD("LogSaveForm", Number(s.LogSaveForm));
    MARLO_FIELD("ShowStatusBar", List(s.ShowStatusBar, false, &s.ShowStatusBarCount));
    MARLO_FIELD("LogDefault", Number(s.LogDefault));
    MARLO_FIELD("LogRemoveEsc", Number(s.LogRemoveEsc));
    MARLO_FIELD("LogIniBegin", Number(s.LogIniBegin));
    MARLO_FIELD("Disconnect", Number(s.Disconnect));
    MARLO_FIELD("Editor", Text(s.Editor, 260));
    MARLO_FIELD("Quote", Text(s.Quote, 11));
    MARLO_FIELD("Caret", Text(s.Caret, 11));
    MARLO_FIELD("LogDefPath", Text(s.LogDefPath, 260));
    MARLO_FIELD("DownlodDefPath", Text(s.DownlodDefPath, 260));
    MARLO_FIELD("UploadDefPath", Text(s.UploadDefPath, 260));
    MARLO_FIELD("TxsendDefPath", Text(s.TxsendDefPath, 260));
    MARLO_FIELD("TxrecvDefPath", Text(s.TxrecvDefPath, 260));
    MARLO_FIELD("MacroDefPath", Text(s.MacroDefPath, 260));
    MARLO_FIELD("HistoryDefPath", Text(s.HistoryDefPath, 260));
    MARLO_FIELD("ModemInit1", Text(s.ModemInit1, 260));
    MARLO_FIELD("ModemInit2", Text(s.ModemInit2, 260));
    MARLO_FIELD("ModemInit", Number(s.ModemInit));
    MARLO_FIELD("Unlha", Number(s.Unlha));
    MARLO_FIELD("7to8", Number(s.SevenToEight));
    MARLO_FIELD("HostTableWidth", Number(s.HostTableWidth));
    MARLO_FIELD("HostTableHeight", Number(s.HostTableHeight));
    MARLO_FIELD("HostTableStyle", Number(s.HostTableStyle));
    MARLO_FIELD("TxSendTab", Number(s.TxSendTab));
    MARLO_FIELD("TxSendTabNum", Number(s.TxSendTabNum));
    MARLO_FIELD("TxSendCRLF", Number(s.TxSendCRLF));
    MARLO_FIELD("TxSendSync", Number(s.TxSendSync));
    MARLO_FIELD("TxSendMaxCol", Number(s.TxSendMaxCol));
#undef MARLO_FIELD
    for (size_t i = 0; i < s.AppTitle.size(); ++i)
        if (visit("AppTitle" + std::to_string(i + 1), main, Text(s.AppTitle[i]))) return true;
    for (size_t i = 0; i < s.AppCommand.size(); ++i)
        if (visit("AppCommand" + std::to_string(i + 1), main, Text(s.AppCommand[i]))) return true;
    for (size_t i = 0; i < s.UserKey.size(); ++i) {
        std::string key = "UserKey" + std::to_string(i + 1);
        if (visit(key, main, Text(s.UserKey[i])) || visit(key + "F", main, Number(s.UserKeyF[i])) ||
            visit(key + "K", main, Number(s.UserKeyK[i])))
            return true;
    }
    if (visit("HostselectOnBegin", main, Number(s.HostselectOnBegin)) ||
        visit("SaveOnEnd", main, Number(s.SaveOnEnd)) ||
        visit("BufferClearOnEnd", main, Number(s.BufferClearOnEnd)))
        return true;
    for (size_t i = 0; i < s.LogViewer.size(); ++i)
        if (visit("LogViewer" + std::to_string(i + 1), "LogViewer", Text(s.LogViewer[i], 260)))
            return true;
    for (size_t i = 0; i < s.WaveFile.size(); ++i)
        if (visit("WaveFile" + std::to_string(i + 1), "Sound", Text(s.WaveFile[i]))) return true;
    for (size_t i = 0; i < s.TelnetHost.size(); ++i)
        if (visit("TelnetHost" + std::to_string(i + 1), "Telnet", Text(s.TelnetHost[i])))
            return true;
    return visit("TracePos", "Trace", Number(s.TracePos)) ||
           visit("TraceFile", "Trace", Text(s.TraceFile, 260));
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A 32-bit number as stored: -2147483648..4294967295 (a value above the signed range is the
// unsigned form of a negative one).
bool ParseNumber(std::string_view text, int32_t* out) {
    if (text.empty() || text.size() > 12) return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) return false;
    *out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

bool Fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

}  // namespace

const std::vector<SettingDescription>& DescribeSettings() {
    static const std::vector<SettingDescription> all = [] {
        std::vector<SettingDescription> list;
        Settings s;
        ForEachField(s, [&](std::string_view name, std::string_view subKey, const Field& f) {
            list.push_back({std::string(name), std::string(subKey), f.form});
            return false;
        });
        return list;
    }();
    return all;
}

bool SetSettingByName(Settings& settings, const std::string& name, const std::string& value,
                      std::string* error) {
    std::string problem;
    bool found = ForEachField(settings, [&](std::string_view n, std::string_view, const Field& f) {
        if (!SameName(n, name)) return false;
        if (f.text) {
            if (f.maxText && value.size() > f.maxText)
                problem = "text longer than " + std::to_string(f.maxText) + " bytes";
            else
                *f.text = value;
            return true;
        }
        if (f.form == SettingForm::Number) {
            int32_t v;
            if (!ParseNumber(value, &v))
                problem = "not a 32-bit number";
            else if (f.byte)
                *f.byte = static_cast<uint8_t>(v & 0xFF);
            else
                *f.ints = v;
            return true;
        }
        // A list: numbers separated by blanks.
        std::vector<int32_t> items;
        size_t i = 0;
        while (i < value.size()) {
            if (value[i] == ' ') {
                ++i;
                continue;
            }
            size_t end = value.find(' ', i);
            if (end == std::string::npos) end = value.size();
            int32_t v;
            if (!ParseNumber(std::string_view(value).substr(i, end - i), &v)) {
                problem = "list item '" + value.substr(i, end - i) + "' is not a number";
                return true;
            }
            items.push_back(v);
            i = end;
        }
        if (items.size() > f.count || (f.exact && items.size() != f.count) ||
            (!f.used && items.empty())) {
            problem = f.exact ? "needs exactly " + std::to_string(f.count) + " numbers"
                              : "needs 1 to " + std::to_string(f.count) + " numbers";
            return true;
        }
        std::copy(items.begin(), items.end(), f.ints);
        if (f.used) {
            std::fill(f.ints + items.size(), f.ints + f.count, 0);
            *f.used = static_cast<int32_t>(items.size());
        }
        return true;
    });
    if (!found) return Fail(error, "unknown setting '" + name + "'");
    if (!problem.empty()) return Fail(error, name + ": " + problem);
    return true;
}

bool GetSettingByName(const Settings& settings, const std::string& name, std::string* value) {
    // Only read through the fields; the visitor needs a mutable object to point into.
    Settings& s = const_cast<Settings&>(settings);
    return ForEachField(s, [&](std::string_view n, std::string_view, const Field& f) {
        if (!SameName(n, name)) return false;
        std::string out;
        if (f.text) {
            out = *f.text;
        } else if (f.form == SettingForm::Number) {
            out = std::to_string(f.byte ? static_cast<int32_t>(*f.byte) : *f.ints);
        } else {
            size_t count = f.used ? static_cast<size_t>(std::clamp<int32_t>(
                                        *f.used, 0, static_cast<int32_t>(f.count)))
                                  : f.count;
            for (size_t i = 0; i < count; ++i) {
                if (i) out += ' ';
                out += std::to_string(f.ints[i]);
            }
        }
        if (value) *value = std::move(out);
        return true;
    });
}

}  // namespace marlo
