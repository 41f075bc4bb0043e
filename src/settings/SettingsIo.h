// Loading and saving every setting, and access to each one by name. One table lists every value
// with its stored name, form, size limit and member; load, save and the command line all use it.
//
// Names: a value of the main key goes by its stored name ("Speed", "SI/SO", "7to8"); a value of a
// sub-key by "Sub-key\\Name" ("Trace\\TracePos"). The host table ("Host") is not part of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"
#include "settings/Settings.h"

namespace marlo {

enum class SettingForm {
    Number,      // a stored number
    Byte,        // a stored number of which the low byte is used
    Text,        // a text of at most `limit` bytes, terminator included
    NumberText,  // a number kept as a "%ld" text (the colours)
    List,        // blank-separated numbers in a text
    Rect,        // "%d %d %d %d" (Window: top, left, bottom, right)
    Pair,        // "%d %d" (LineColumn: columns, rows)
};

struct SettingInfo {
    std::string name;       // "Speed", "Trace\\TracePos"
    std::string key;        // "" for the main key, else the sub-key
    std::string valueName;  // the name in the store
    SettingForm form;
    size_t limit;     // text forms: buffer size in bytes, terminator included; 0 for numbers
    size_t capacity;  // List: how many numbers the member holds
};

// What a load found out, for the caller to act on.
struct SettingsLoadReport {
    // lfFaceName was missing or empty: the terminal takes the system's fixed-pitch font and the
    // other lf values stayed at their defaults.
    bool faceNameEmpty = false;
    // The settings came from an old version (Version missing or <= 135) and "marlo.ini" in the
    // configuration folder was removed (or was not there).
    bool oldVersion = false;
    bool oldIniRemoved = false;
};

// Reads every value, in the table's order, into `s`. Values that are missing, unreadable or longer
// than their limit keep what `s` holds, so call it on freshly constructed Settings. Short lists
// keep the remaining members. `configDir` is where an old "marlo.ini" is removed; empty: nowhere.
SettingsLoadReport LoadSettings(const ISettingsStore& store, Settings& s,
                                const std::string& configDir);

// Writes Version (the product's) and SaveOnEnd; when SaveOnEnd is not 0 also every other value
// (Window only when `normalWindow`) and the sub-keys, and returns true, meaning the rest (the host
// table) is to be written as well. Nothing reaches the disk until store.Save().
bool SaveSettings(ISettingsStore& store, const Settings& s, bool normalWindow);

// Writes one value (and, for a tool table, its length) in its stored form; false for an unknown
// name.
bool StoreSetting(ISettingsStore& store, const Settings& s, const std::string& name);

// The value in its stored text form (numbers in decimal, texts as their Shift-JIS bytes, lists
// blank-separated); nullopt for an unknown name.
std::optional<std::string> SettingToText(const Settings& s, const std::string& name);
// Sets a value from its stored text form (texts in Shift-JIS), strictly: a number must be a whole
// 32-bit decimal, a byte value 0..255, a text within its limit, a list at most its capacity and
// its stored text within its limit (it also sets the list's length), Window four numbers and
// LineColumn two. On failure `s` is unchanged and `error` (UTF-8) says why.
bool SettingFromText(Settings& s, const std::string& name, const std::string& value,
                     std::string* error);
// Every name in load order.
std::vector<std::string> AllSettingNames();
// The table entry of a name; nullptr when unknown.
const SettingInfo* FindSetting(const std::string& name);

// The Version value written by this program: the digits of the product version ("1.38" -> 138).
int32_t ProductVersionNumber();
// Whether the stored window rectangle is to be applied (all four numbers non-zero).
bool WindowRectApplies(const Settings& s);

}  // namespace marlo
