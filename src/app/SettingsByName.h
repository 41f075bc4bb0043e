// Settings addressed by their stored value names ("Speed", "SI/SO", "7to8", "WaveFile3", ...), in
// their stored forms: a decimal number for number values, the text itself (Shift-JIS bytes) for
// text values, decimal numbers separated by single blanks for lists ("Window" is "top left bottom
// right", "LineColumn" is "columns rows"). Names match without regard to case, as stored value
// names always have. Used by the settings store and by marlo-cli's --set.
#pragma once

#include <string>
#include <vector>

namespace marlo {

struct Settings;

enum class SettingForm { Number, Text, List };

struct SettingDescription {
    std::string name;    // as stored
    std::string subKey;  // "" for the main key, else "LogViewer", "Sound", "Telnet" or "Trace"
    SettingForm form;
};

// Every stored value, main key first in load order, then the sub-keys.
const std::vector<SettingDescription>& DescribeSettings();

// Sets one value from its stored form. False, with a message in `error` (when given), for an
// unknown name or a value that does not fit: not a number, out of the 32-bit range, a list with
// too many or unreadable items, a text longer than its stored size allows.
bool SetSettingByName(Settings& settings, const std::string& name, const std::string& value,
                      std::string* error);

// The stored form of one value; false for an unknown name.
bool GetSettingByName(const Settings& settings, const std::string& name, std::string* value);

}  // namespace marlo
