// The settings file and what loads from it. Any text: when it parses, it is written back as a text
// that parses to the same store (and is written the same again), and the settings and the host
// table load from it; a host table loaded is saved and loaded again unchanged. Any changes made
// through the store's interface are written as a file that reads back to the same values.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsIo.h"
#include "hosts/HostTable.h"
#include "support/MemoryStore.h"

namespace marlo::fuzz {
namespace {

// Every value of `a` under `key` and its sub-keys has the same form and content in `b`. Keys that
// no path names are passed over: a name holding the separator, an empty name under the main key.
void ExpectValuesIn(const ISettingsStore& a, const ISettingsStore& b, const std::string& key) {
    for (const std::string& name : a.ValueNames(key)) {
        if (a.GetNumber(key, name) != b.GetNumber(key, name) ||
            a.GetText(key, name) != b.GetText(key, name))
            Fail("value " + name + " of [" + key + "] does not read back");
    }
    for (const std::string& sub : a.SubKeys(key)) {
        if (sub.find('\\') != std::string::npos || (key.empty() && sub.empty())) continue;
        ExpectValuesIn(a, b, key.empty() ? sub : key + "\\" + sub);
    }
}

// The text written from `f` reads back to the same store, and is written the same again.
void ExpectRoundTrip(const SettingsFile& f) {
    const std::string text = f.Serialize();
    SettingsFile back("");
    std::string error;
    if (!back.Parse(text, &error)) Fail("a written file does not read back: " + error);
    ExpectValuesIn(f, back, "");
    ExpectSame(back.Serialize(), text, "a file read back is written differently");
}

// A key path of a few levels, a name or a text: short strings over an alphabet that holds the
// separators, quotes, escapes, blanks and Shift-JIS bytes.
std::string Piece(Input& in, size_t most) {
    static const char kAlphabet[] = "a\\/[]=\"# ;\t\x81\x5c\x82\xa0\xff\x00\r\n%";
    std::string s;
    for (size_t n = static_cast<size_t>(in.Below(static_cast<int>(most) + 1)); n > 0; --n) {
        const uint8_t b = in.Byte();
        s += b < 128 ? kAlphabet[b % (sizeof kAlphabet - 1)] : static_cast<char>(b);
    }
    return s;
}

}  // namespace

void FuzzOne(Input& in) {
    SettingsFile f("");
    if (in.Flag()) {
        while (!in.Empty()) {
            const int op = in.Below(4);
            const std::string key = Piece(in, 12), name = Piece(in, 8);
            if (op == 0)
                f.SetNumber(key, name, static_cast<int32_t>(in.Word()));
            else if (op == 1)
                f.SetText(key, name, Piece(in, 16));
            else if (op == 2)
                f.DeleteValue(key, name);
            else
                f.DeleteKey(key);
        }
        ExpectRoundTrip(f);
        return;
    }
    std::string error;
    if (!f.Parse(in.Rest(), &error)) return;
    ExpectRoundTrip(f);
    Settings settings;
    LoadSettings(f, settings, "");
    HostTable table;
    table.Load(f);
    test::MemoryStore saved;
    table.Save(saved);
    HostTable again;
    again.Load(saved);
    if (!(again == table)) Fail("a host table saved and loaded again differs");
}

}  // namespace marlo::fuzz
