#include "settings/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace marlo {

namespace {

// An absolute path from the environment; relative or empty values are ignored as the XDG base
// directory rules ask.
std::string AbsoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || v[0] != '/') return {};
    return v;
}

std::string HomeDir() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return "/tmp";
}

}  // namespace

std::string ConfigDir() {
    if (const char* v = std::getenv("MARLO_CONFIG_DIR"); v != nullptr && v[0] != '\0') return v;
    std::string xdg = AbsoluteEnv("XDG_CONFIG_HOME");
    if (!xdg.empty()) return xdg + "/marlo";
    return HomeDir() + "/.config/marlo";
}

std::string DataDir() {
    std::string xdg = AbsoluteEnv("XDG_DATA_HOME");
    if (!xdg.empty()) return xdg + "/marlo";
    return HomeDir() + "/.local/share/marlo";
}

}  // namespace marlo
