#include "settings/SettingsIo.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <variant>

namespace marlo {

namespace {

// A list member: its numbers, and the member that holds how many of them are in use (nullptr when
// all of them always are).
struct ListRef {
    int32_t* data;
    size_t capacity;
    int32_t* length;
    bool loadSetsLength;  // the stored list itself decides the length
    bool trailingBlank;   // each number is written as "%d "
};

using Ref = std::variant<int32_t*, uint8_t*, std::string*, ListRef>;

struct Entry {
    SettingInfo info;
    std::function<Ref(Settings&)> ref;
    std::string lengthName;  // a list whose length is another value (the tool tables)
};

constexpr size_t kPathSize = 260;
constexpr size_t kColourListSize = 400;  // 32 numbers of up to 11 characters and their blanks
// A full tool table (100 numbers of up to 11 characters, each with its blank) must load again.
constexpr size_t kToolTableSize = 1201;

std::vector<Entry> BuildTable() {
    std::vector<Entry> t;
    auto add = [&t](std::string name, SettingForm form, size_t limit, size_t capacity,
                    std::function<Ref(Settings&)> ref, std::string key = "",
                    std::string lengthName = "") {
        std::string valueName = name;
        std::string full = key.empty() ? name : key + "\\" + name;
        t.push_back(Entry{SettingInfo{full, key, valueName, form, limit, capacity}, std::move(ref),
                          std::move(lengthName)});
    };
    auto num = [&](std::string name, int32_t Settings::*m, std::string key = "") {
        add(
            std::move(name), SettingForm::Number, 0, 0, [m](Settings& s) -> Ref { return &(s.*m); },
            std::move(key));
    };
    auto byte = [&](std::string name, uint8_t Settings::*m) {
        add(std::move(name), SettingForm::Byte, 0, 0, [m](Settings& s) -> Ref { return &(s.*m); });
    };
    auto text = [&](std::string name, size_t limit, std::string Settings::*m,
                    std::string key = "") {
        add(
            std::move(name), SettingForm::Text, limit, 0,
            [m](Settings& s) -> Ref { return &(s.*m); }, std::move(key));
    };
    auto colour = [&](std::string name, int32_t Settings::*m) {
        add(std::move(name), SettingForm::NumberText, 12, 0,
            [m](Settings& s) -> Ref { return &(s.*m); });
    };
    auto colours = [&](std::string name, auto Settings::*m) {
        add(std::move(name), SettingForm::List, kColourListSize, (Settings{}.*m).size(),
            [m](Settings& s) -> Ref {
                return ListRef{(s.*m).data(), (s.*m).size(), nullptr, false, false};
            });
    };
    auto tools = [&](std::string name, std::array<int32_t, 100> Settings::*m,
                     int32_t Settings::*len, std::string lenName) {
        add(
            std::move(name), SettingForm::List, kToolTableSize, 100,
            [m, len](Settings& s) -> Ref {
                return ListRef{(s.*m).data(), 100, &(s.*len), false, true};
            },
            "", std::move(lenName));
    };

    num("Version", &Settings::Version);
    add("Window", SettingForm::Rect, 100, 4, [](Settings& s) -> Ref {
        return ListRef{s.Window.data(), 4, nullptr, false, false};
    });
    colour("TextColor", &Settings::TextColor);
    colours("TextColorCust", &Settings::TextColorCust);
    colour("BackColor", &Settings::BackColor);
    colours("VT100Color", &Settings::VT100Color);
    colours("BackColorCust", &Settings::BackColorCust);
    text("lfFaceName", 32, &Settings::lfFaceName);
    num("lfHeight", &Settings::lfHeight);
    num("lfWidth", &Settings::lfWidth);
    num("lfEscapement", &Settings::lfEscapement);
    num("lfOrientation", &Settings::lfOrientation);
    num("lfWeight", &Settings::lfWeight);
    byte("lfItalic", &Settings::lfItalic);
    byte("lfUnderline", &Settings::lfUnderline);
    byte("lfStrikeOut", &Settings::lfStrikeOut);
    byte("lfCharSet", &Settings::lfCharSet);
    byte("lfOutPrecision", &Settings::lfOutPrecision);
    byte("lfClipPrecision", &Settings::lfClipPrecision);
    byte("lfQuality", &Settings::lfQuality);
    byte("lfPitchAndFamily", &Settings::lfPitchAndFamily);
    num("LineColFix", &Settings::LineColFix);
    add("LineColumn", SettingForm::Pair, 100, 2, [](Settings& s) -> Ref {
        return ListRef{s.LineColumn.data(), 2, nullptr, false, false};
    });
    num("Blink", &Settings::Blink);
    num("SameSysColor", &Settings::SameSysColor);
    num("ToolBar", &Settings::ToolBar);
    num("ToolBar2", &Settings::ToolBar2);
    num("ToolBar3", &Settings::ToolBar3);
    num("ToolSize", &Settings::ToolSize);
    num("FuncBarSize", &Settings::FuncBarSize);
    num("ToolNum", &Settings::ToolNum);
    num("ToolNum2", &Settings::ToolNum2);
    num("ToolNum3", &Settings::ToolNum3);
    tools("ToolTable", &Settings::ToolTable, &Settings::ToolNum, "ToolNum");
    tools("ToolTable2", &Settings::ToolTable2, &Settings::ToolNum2, "ToolNum2");
    tools("ToolTable3", &Settings::ToolTable3, &Settings::ToolNum3, "ToolNum3");
    num("StatusBar", &Settings::StatusBar);
    num("FunctionBar", &Settings::FunctionBar);
    num("BufferSize", &Settings::BufferSize);
    num("ClearUp", &Settings::ClearUp);
    num("ScrollSpeed", &Settings::ScrollSpeed);
    num("ScrollLine", &Settings::ScrollLine);
    for (const LineField& f : kLineFields) num(f.name, f.member);
    num("LogSaveForm", &Settings::LogSaveForm);
    add("ShowStatusBar", SettingForm::List, 100, Settings{}.ShowStatusBar.size(),
        [](Settings& s) -> Ref {
            return ListRef{s.ShowStatusBar.data(), s.ShowStatusBar.size(), &s.ShowStatusBarCount,
                           true, false};
        });
    num("LogDefault", &Settings::LogDefault);
    num("LogRemoveEsc", &Settings::LogRemoveEsc);
    num("LogIniBegin", &Settings::LogIniBegin);
    num("Disconnect", &Settings::Disconnect);
    text("Editor", kPathSize, &Settings::Editor);
    text("Quote", 11, &Settings::Quote);
    text("Caret", 11, &Settings::Caret);
    text("LogDefPath", kPathSize, &Settings::LogDefPath);
    text("DownlodDefPath", kPathSize, &Settings::DownlodDefPath);
    text("UploadDefPath", kPathSize, &Settings::UploadDefPath);
    text("TxsendDefPath", kPathSize, &Settings::TxsendDefPath);
    text("TxrecvDefPath", kPathSize, &Settings::TxrecvDefPath);
    text("MacroDefPath", kPathSize, &Settings::MacroDefPath);
    text("HistoryDefPath", kPathSize, &Settings::HistoryDefPath);
    text("ModemInit1", kPathSize, &Settings::ModemInit1);
    text("ModemInit2", kPathSize, &Settings::ModemInit2);
    num("ModemInit", &Settings::ModemInit);
    num("Unlha", &Settings::Unlha);
    num("7to8", &Settings::SevenToEight);
    num("FileNameCode", &Settings::FileNameCode);
    num("DtrPulseTime", &Settings::DtrPulseTime);
    num("TimeStamp", &Settings::TimeStamp);
    num("AutoReconnect", &Settings::AutoReconnect);
    num("HostTableWidth", &Settings::HostTableWidth);
    num("HostTableHeight", &Settings::HostTableHeight);
    num("HostTableStyle", &Settings::HostTableStyle);
    num("TxSendTab", &Settings::TxSendTab);
    num("TxSendTabNum", &Settings::TxSendTabNum);
    num("TxSendCRLF", &Settings::TxSendCRLF);
    num("TxSendSync", &Settings::TxSendSync);
    num("TxSendMaxCol", &Settings::TxSendMaxCol);
    auto textAt = [&](std::string name, auto Settings::*arr, size_t i, std::string key = "") {
        add(
            std::move(name), SettingForm::Text, kPathSize, 0,
            [arr, i](Settings& s) -> Ref { return &(s.*arr)[i]; }, std::move(key));
    };
    auto numAt = [&](std::string name, std::array<int32_t, 12> Settings::*arr, size_t i) {
        add(std::move(name), SettingForm::Number, 0, 0,
            [arr, i](Settings& s) -> Ref { return &(s.*arr)[i]; });
    };
    for (size_t i = 0; i < 7; ++i)
        textAt("AppTitle" + std::to_string(i + 1), &Settings::AppTitle, i);
    for (size_t i = 0; i < 7; ++i)
        textAt("AppCommand" + std::to_string(i + 1), &Settings::AppCommand, i);
    for (size_t i = 0; i < 12; ++i) {
        std::string n = "UserKey" + std::to_string(i + 1);
        textAt(n, &Settings::UserKey, i);
        textAt(n + "F", &Settings::UserKeyF, i);
        numAt(n + "K", &Settings::UserKeyK, i);
    }
    num("HostselectOnBegin", &Settings::HostselectOnBegin);
    num("SaveOnEnd", &Settings::SaveOnEnd);
    num("BufferClearOnEnd", &Settings::BufferClearOnEnd);

    for (size_t i = 0; i < 3; ++i)
        textAt("LogViewer" + std::to_string(i + 1), &Settings::LogViewer, i, "LogViewer");
    for (size_t i = 0; i < 7; ++i)
        textAt("WaveFile" + std::to_string(i + 1), &Settings::WaveFile, i, "Sound");
    for (size_t i = 0; i < 5; ++i)
        textAt("TelnetHost" + std::to_string(i + 1), &Settings::TelnetHost, i, "Telnet");
    num("TracePos", &Settings::TracePos, "Trace");
    text("TraceFile", kPathSize, &Settings::TraceFile, "Trace");
    return t;
}

const std::vector<Entry>& Table() {
    static const std::vector<Entry> table = BuildTable();
    return table;
}

const Entry* FindEntry(const std::string& name) {
    static const std::map<std::string, const Entry*> byName = [] {
        std::map<std::string, const Entry*> m;
        for (const Entry& e : Table()) m[e.info.name] = &e;
        return m;
    }();
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

// The reading of a stored list: pieces split at blanks, each read as a number from its start
// ("%ld"), stopping at the first piece that is not one or when `max` numbers were read.
std::vector<int32_t> ReadNumbers(const std::string& text, size_t max) {
    std::vector<int32_t> out;
    size_t i = 0;
    while (out.size() < max) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        const char* start = text.c_str() + i;
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(start, &end, 10);
        if (end == start) break;
        out.push_back(static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX)));
        i += static_cast<size_t>(end - start);
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    }
    return out;
}

// The strict reading of the command line: whole decimal numbers and nothing else.
bool StrictNumber(const std::string& text, int32_t& v) {
    if (text.empty() || text.size() > 11) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    long long n = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + (text[i] - '0');
    }
    if (text[0] == '-') n = -n;
    if (n < INT32_MIN || n > INT32_MAX) return false;
    v = static_cast<int32_t>(n);
    return true;
}

bool StrictNumbers(const std::string& text, std::vector<int32_t>& out) {
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        size_t end = text.find_first_of(" \t", i);
        if (end == std::string::npos) end = text.size();
        int32_t v = 0;
        if (!StrictNumber(text.substr(i, end - i), v)) return false;
        out.push_back(v);
        i = end;
    }
    return true;
}

size_t ListLength(const ListRef& l) {
    if (l.length == nullptr) return l.capacity;
    return static_cast<size_t>(std::clamp<int32_t>(*l.length, 0, static_cast<int32_t>(l.capacity)));
}

std::string ToText(const Entry& e, const Settings& cs) {
    Settings& s = const_cast<Settings&>(cs);  // only read
    Ref r = e.ref(s);
    if (auto* p = std::get_if<int32_t*>(&r)) return std::to_string(**p);
    if (auto* p = std::get_if<uint8_t*>(&r)) return std::to_string(static_cast<int>(**p));
    if (auto* p = std::get_if<std::string*>(&r)) return **p;
    const ListRef& l = std::get<ListRef>(r);
    std::string out;
    size_t n = ListLength(l);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && !l.trailingBlank) out += ' ';
        out += std::to_string(l.data[i]);
        if (l.trailingBlank) out += ' ';
    }
    return out;
}

void Store(ISettingsStore& store, const Entry& e, const Settings& s) {
    const SettingInfo& i = e.info;
    if (i.form == SettingForm::Number || i.form == SettingForm::Byte) {
        Ref r = e.ref(const_cast<Settings&>(s));
        if (auto* p = std::get_if<int32_t*>(&r))
            store.SetNumber(i.key, i.valueName, **p);
        else
            store.SetNumber(i.key, i.valueName, *std::get<uint8_t*>(r));
    } else {
        store.SetText(i.key, i.valueName, ToText(e, s));
    }
}

// Reads one stored value into its member; anything missing, of the wrong form or too long leaves
// the member as it is.
void Load(const ISettingsStore& store, const Entry& e, Settings& s) {
    const SettingInfo& i = e.info;
    Ref r = e.ref(s);
    if (i.form == SettingForm::Number || i.form == SettingForm::Byte) {
        std::optional<int32_t> v = store.GetNumber(i.key, i.valueName);
        if (!v) return;
        if (auto* p = std::get_if<int32_t*>(&r))
            **p = *v;
        else
            *std::get<uint8_t*>(r) = static_cast<uint8_t>(*v & 0xFF);
        return;
    }
    std::optional<std::string> t = store.GetText(i.key, i.valueName);
    if (!t || t->size() + 1 > i.limit) return;
    if (auto* p = std::get_if<std::string*>(&r)) {
        **p = *t;
    } else if (auto* p = std::get_if<int32_t*>(&r)) {
        std::vector<int32_t> v = ReadNumbers(*t, 1);
        if (!v.empty()) **p = v[0];
    } else {
        const ListRef& l = std::get<ListRef>(r);
        std::vector<int32_t> v = ReadNumbers(*t, l.capacity);
        std::copy(v.begin(), v.end(), l.data);
        if (l.loadSetsLength) *l.length = static_cast<int32_t>(v.size());
    }
}

}  // namespace

int32_t ProductVersionNumber() {
    int32_t v = 0;
    for (const char* p = MARLO_VERSION_TEXT; *p != '\0'; ++p)
        if (*p >= '0' && *p <= '9') v = v * 10 + (*p - '0');
    return v;
}

bool WindowRectApplies(const Settings& s) {
    return s.Window[0] != 0 && s.Window[1] != 0 && s.Window[2] != 0 && s.Window[3] != 0;
}

SettingsLoadReport LoadSettings(const ISettingsStore& store, Settings& s,
                                const std::string& configDir) {
    SettingsLoadReport report;
    std::optional<int32_t> version = store.GetNumber("", "Version");
    if (!version || *version <= 135) {
        report.oldVersion = true;
        if (!configDir.empty()) {
            std::string ini = configDir + "/marlo.ini";
            report.oldIniRemoved = ::unlink(ini.c_str()) == 0 || errno == ENOENT;
        }
    }
    bool skipFont = false;
    for (const Entry& e : Table()) {
        const std::string& n = e.info.name;
        if (skipFont && n.starts_with("lf")) continue;
        Load(store, e, s);
        if (n == "lfFaceName") skipFont = s.lfFaceName.empty();
    }
    report.faceNameEmpty = skipFont;
    return report;
}

bool SaveSettings(ISettingsStore& store, const Settings& s, bool normalWindow) {
    store.SetNumber("", "Version", ProductVersionNumber());
    store.SetNumber("", "SaveOnEnd", s.SaveOnEnd);
    if (s.SaveOnEnd == 0) return false;
    for (const Entry& e : Table()) {
        const std::string& n = e.info.name;
        if (n == "Version" || (n == "Window" && !normalWindow)) continue;
        Store(store, e, s);
    }
    return true;
}

bool StoreSetting(ISettingsStore& store, const Settings& s, const std::string& name) {
    const Entry* e = FindEntry(name);
    if (e == nullptr) return false;
    Store(store, *e, s);
    if (!e->lengthName.empty()) Store(store, *FindEntry(e->lengthName), s);
    return true;
}

std::optional<std::string> SettingToText(const Settings& s, const std::string& name) {
    const Entry* e = FindEntry(name);
    if (e == nullptr) return std::nullopt;
    return ToText(*e, s);
}

bool SettingFromText(Settings& s, const std::string& name, const std::string& value,
                     std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error != nullptr) *error = why;
        return false;
    };
    const Entry* e = FindEntry(name);
    if (e == nullptr) return fail("設定名「" + name + "」はありません");
    const SettingInfo& i = e->info;
    Ref r = e->ref(s);
    if (auto* p = std::get_if<std::string*>(&r)) {
        if (value.size() + 1 > i.limit)
            return fail(name + " は " + std::to_string(i.limit - 1) + " バイトまでです");
        **p = value;
        return true;
    }
    if (i.form != SettingForm::List && i.form != SettingForm::Rect && i.form != SettingForm::Pair) {
        int32_t v = 0;
        if (!StrictNumber(value, v)) return fail(name + " には整数を指定してください");
        if (auto* p = std::get_if<uint8_t*>(&r)) {
            if (v < 0 || v > 255) return fail(name + " は 0 から 255 までです");
            **p = static_cast<uint8_t>(v);
        } else {
            *std::get<int32_t*>(r) = v;
        }
        return true;
    }
    std::vector<int32_t> v;
    if (!StrictNumbers(value, v)) return fail(name + " には空白で区切った整数を指定してください");
    const size_t capacity = std::get<ListRef>(r).capacity;
    if (i.form != SettingForm::List && v.size() != capacity)
        return fail(name + " には整数を " + std::to_string(capacity) + " 個指定してください");
    if (v.size() > capacity) return fail(name + " は " + std::to_string(capacity) + " 個までです");
    // The stored text must read back: try it on a copy first.
    Settings trial = s;
    const ListRef l = std::get<ListRef>(e->ref(trial));
    std::copy(v.begin(), v.end(), l.data);
    if (l.length != nullptr) *l.length = static_cast<int32_t>(v.size());
    if (ToText(*e, trial).size() + 1 > i.limit)
        return fail(name + " は保存形式で " + std::to_string(i.limit - 1) + " バイトまでです");
    s = std::move(trial);
    return true;
}

std::vector<std::string> AllSettingNames() {
    std::vector<std::string> names;
    for (const Entry& e : Table()) names.push_back(e.info.name);
    return names;
}

const SettingInfo* FindSetting(const std::string& name) {
    const Entry* e = FindEntry(name);
    return e == nullptr ? nullptr : &e->info;
}

}  // namespace marlo
