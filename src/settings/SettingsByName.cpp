#include "settings/SettingsByName.h"

#include <strings.h>

#include "settings/SettingsIo.h"

namespace marlo {

std::optional<std::string> ResolveSettingName(const std::string& name) {
    if (FindSetting(name)) return name;
    std::optional<std::string> byValueName;
    for (const std::string& candidate : AllSettingNames()) {
        if (strcasecmp(candidate.c_str(), name.c_str()) == 0) return candidate;
        auto cut = candidate.rfind('\\');
        if (cut != std::string::npos && !byValueName &&
            strcasecmp(candidate.c_str() + cut + 1, name.c_str()) == 0)
            byValueName = candidate;
    }
    return byValueName;
}

bool SetSettingByName(Settings& settings, const std::string& name, const std::string& value,
                      std::string* error) {
    auto canonical = ResolveSettingName(name);
    if (!canonical) {
        if (error) *error = "unknown setting '" + name + "'";
        return false;
    }
    return SettingFromText(settings, *canonical, value, error);
}

bool GetSettingByName(const Settings& settings, const std::string& name, std::string* value) {
    auto canonical = ResolveSettingName(name);
    if (!canonical) return false;
    auto text = SettingToText(settings, *canonical);
    if (!text) return false;
    if (value) *value = *text;
    return true;
}

}  // namespace marlo
