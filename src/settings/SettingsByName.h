// Settings addressed by their stored value names ("Speed", "SI/SO", "7to8", "WaveFile3", ...), in
// their stored forms: a decimal number for number values, the text itself (Shift-JIS bytes) for
// text values, decimal numbers separated by single blanks for lists ("Window" is "top left bottom
// right", "LineColumn" is "columns rows"). Names match without regard to case, as stored value
// names always have, and a sub-key's value may be named with or without its sub-key
// ("TracePos" or "Trace\TracePos"). The one table of values lives in SettingsIo.
#pragma once

#include <optional>
#include <string>

namespace marlo {

struct Settings;

// The table's name for `name`, or nullopt when there is no such value.
std::optional<std::string> ResolveSettingName(const std::string& name);

// Sets one value from its stored form. False, with a message in `error` (when given), for an
// unknown name or a value that does not fit.
bool SetSettingByName(Settings& settings, const std::string& name, const std::string& value,
                      std::string* error);

// The stored form of one value; false for an unknown name.
bool GetSettingByName(const Settings& settings, const std::string& name, std::string* value);

}  // namespace marlo
