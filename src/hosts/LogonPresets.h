// The two preset lists offered by the host property sheet: named auto-logon patterns (the
// "ｺﾏﾝﾄﾞ参照..." button of the logon page) and named telnet hosts (the "参照(&R)..." button of the
// line page). Both are constants of the program; names and values are Shift-JIS.
#pragma once

#include <string>
#include <vector>

namespace marlo {

inline constexpr const char* kLogonPresetTitle = "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞの参照";
inline constexpr const char* kTelnetPresetTitle = "Telnetﾎｽﾄ名の参照";
inline constexpr const char* kPresetNameColumn = "名称";
inline constexpr const char* kLogonPresetColumn = "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ";
inline constexpr const char* kTelnetPresetColumn = "ﾎｽﾄ名";

struct NamedPreset {
    std::string name;
    std::string value;  // the pattern or the host name that OK copies into the field
};

const std::vector<NamedPreset>& LogonPresets();
const std::vector<NamedPreset>& TelnetHostPresets();

}  // namespace marlo
