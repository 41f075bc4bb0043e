// marlo-cli settings: reads and changes the stored settings, the same store the desktop program
// uses (MARLO_CONFIG_DIR chooses another folder). Texts are UTF-8 on the command line and
// Shift-JIS in the store.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "settings/Paths.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsIo.h"
#include "text/Encoding.h"

namespace marlo::cli {
namespace {

bool IsTextForm(const SettingInfo& info) {
    return info.form == SettingForm::Text;
}

// Opens the store and reads the settings from it. A damaged store is reported on stderr and the
// defaults are used; `forWriting` moves a damaged file aside so that the save cannot replace it.
void OpenStore(SettingsFile& store, Settings& s, bool forWriting) {
    std::string message;
    if (!store.Load(&message, forWriting))
        std::fprintf(stderr, "marlo-cli settings: %s\n", message.c_str());
    LoadSettings(store, s, "");
}

std::string Shown(const SettingInfo& info, const std::string& value) {
    return IsTextForm(info) ? SjisToUtf8(value) : value;
}

int RunSettings(const std::vector<std::string>& args) {
    const std::string cmd = args.empty() ? "" : args[0];
    const size_t want = cmd == "get" ? 2 : cmd == "set" ? 3 : cmd == "list" ? 1 : 0;
    if (want == 0 || args.size() != want) {
        std::fprintf(stderr,
                     "usage: marlo-cli settings get NAME | set NAME VALUE | list\n"
                     "  NAME is a stored value name (Speed, SI/SO, 7to8) or Sub-key\\NAME "
                     "(Trace\\TracePos)\n");
        return kExitUsage;
    }
    const SettingInfo* info = nullptr;
    if (cmd != "list") {
        info = FindSetting(args[1]);
        if (info == nullptr) {
            std::fprintf(stderr, "marlo-cli settings: unknown setting '%s' (see 'settings list')\n",
                         args[1].c_str());
            return kExitUsage;
        }
    }
    SettingsFile store(ConfigDir());
    Settings s(DataDir());
    OpenStore(store, s, cmd == "set");

    if (cmd == "list") {
        for (const std::string& name : AllSettingNames())
            std::printf("%s=%s\n", name.c_str(),
                        Shown(*FindSetting(name), *SettingToText(s, name)).c_str());
        return kExitOk;
    }
    if (cmd == "get") {
        std::printf("%s\n", Shown(*info, *SettingToText(s, args[1])).c_str());
        return kExitOk;
    }

    std::string value = args[2];
    if (IsTextForm(*info)) {
        std::string sjis = Utf8ToSjis(value);
        if (SjisToUtf8(sjis) != value) {
            std::fprintf(stderr,
                         "marlo-cli settings: %s: the text cannot be written in Shift-JIS\n",
                         args[1].c_str());
            return kExitUsage;
        }
        value = sjis;
    }
    std::string error;
    if (!SettingFromText(s, args[1], value, &error)) {
        std::fprintf(stderr, "marlo-cli settings: %s\n", error.c_str());
        return kExitUsage;
    }
    StoreSetting(store, s, args[1]);
    if (!store.Save()) {
        std::fprintf(stderr, "marlo-cli settings: ﾌｧｲﾙの保管に失敗しました. %s\n",
                     store.LastError().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

MARLO_CLI_COMMAND("settings",
                  "  settings get NAME | set NAME VALUE | list\n"
                  "                      read or change a stored setting (Sub-key\\NAME for "
                  "sub-key values)",
                  RunSettings);

}  // namespace marlo::cli
