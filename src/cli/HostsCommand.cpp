// marlo-cli hosts: the host table from the user's settings store, for scripts.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliLine.h"
#include "cli/CliText.h"
#include "cli/ConnectSession.h"
#include "hosts/HostEntry.h"
#include "hosts/HostTable.h"
#include "line/PortMap.h"
#include "settings/Paths.h"
#include "settings/Settings.h"
#include "settings/StoreFactory.h"
#include "text/Encoding.h"

namespace marlo::cli {

namespace {

std::optional<size_t> FindHost(const HostTable& table, const std::string& arg) {
    if (auto i = table.Find(arg)) return i;
    return table.Find(ArgToSjis(arg));
}

// The device of a modem entry: the one given (or the entry's own), else the port the program opens
// (its stored `Port` through the port map).
std::string ModemDevice(const ISettingsStore& store, const std::string& given) {
    if (!given.empty()) return given;
    int port = store.GetNumber("", "Port").value_or(Settings().Port);
    if (port <= 0) return "";
    return PortMap(ConfigDir()).PathOf(port);
}

// Connects the entry as the host window does (its settings over the defaults, then the telnet
// host or the modem's dial) and relays as `connect` does.
int ConnectHost(const ISettingsStore& store, const HostEntry& e, const std::string& device,
                Settings& settings, const std::vector<std::string>& sets, SessionOptions o,
                bool logon) {
    ApplyHostEntry(e, settings);
    for (const auto& set : sets) {
        std::string error;
        if (!ApplySetOption(settings, set, error)) {
            std::fprintf(stderr, "marlo-cli hosts: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (logon && e.Macro)
        std::fprintf(stderr,
                     "marlo-cli hosts connect: the entry's logon macro is not run here "
                     "(run it with marlo-cli macro)\n");
    else if (logon && e.Logon)
        o.logon = ParseLogonPattern(e.AutoCommand, {e.ID, e.Password, settings.SndCRLF != 0});
    std::signal(SIGPIPE, SIG_IGN);
    ConsolePlatform platform;
    CliLine line(platform, "marlo-cli hosts connect");
    line.Conn().hostName = e.Name;
    line.Conn().hostLog = e.Log != 0;
    std::optional<DialRequest> dial;
    if (e.IsTelnet()) {
        if (!line.OpenHost(e, settings)) return kExitFailed;
    } else {
        const std::string path = ModemDevice(store, device.empty() ? e.PortPath : device);
        if (path.empty()) {
            std::fprintf(stderr, "marlo-cli hosts connect: no serial port: give --serial DEVICE\n");
            return kExitUsage;
        }
        if (!line.OpenSerial(path, settings))
            return CliLine::OpenFailedStatus(LineChoice::Kind::Serial);
        dial = DialRequest{e, {}, {}};
    }
    int status = RunConnectSession(line, settings, o, dial);
    line.Close();
    return status;
}

int HostsUsage() {
    std::fprintf(stderr,
                 "usage: marlo-cli hosts list | show NAME | connect NAME [--utf8]\n"
                 "       marlo-cli hosts connect NAME [--serial DEVICE] [--no-logon] "
                 "[--set Name=Value]... "
                 "%s\n",
                 kSessionUsage);
    return kExitUsage;
}

int RunHosts(const std::vector<std::string>& args) {
    std::vector<std::string> words, sets;
    std::string device;
    SessionOptions session;
    bool connectOptions = false;
    bool logon = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        int taken = TakeSessionOption(args, i, session, error);
        if (taken < 0) {
            std::fprintf(stderr, "marlo-cli hosts: %s\n", error.c_str());
            return kExitUsage;
        }
        if (taken > 0) {
            if (a != "--utf8") connectOptions = true;
            continue;
        }
        if (a == "--no-logon") {
            logon = false;
            connectOptions = true;
        } else if (a == "--serial" || a == "--set") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "marlo-cli hosts: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            (a == "--serial" ? device : sets.emplace_back()) = args[++i];
            connectOptions = true;
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "marlo-cli hosts: unknown option '%s'\n", a.c_str());
            return kExitUsage;
        } else {
            words.push_back(a);
        }
    }
    const bool utf8 = session.utf8;
    const bool list = words.size() == 1 && words[0] == "list";
    const bool named = words.size() == 2 && (words[0] == "show" || words[0] == "connect");
    if ((!list && !named) || (connectOptions && words[0] != "connect")) return HostsUsage();

    std::string message;
    auto store = OpenUserSettingsStore(&message);
    if (!message.empty()) std::fprintf(stderr, "marlo-cli hosts: %s\n", message.c_str());
    HostTable table;
    for (const auto& m : table.Load(*store))
        std::fprintf(stderr, "marlo-cli hosts: %s\n", m.c_str());
    auto out = [&](const std::string& sjis) {
        const std::string text = utf8 ? SjisToUtf8(sjis) : sjis;
        std::fwrite(text.data(), 1, text.size(), stdout);
    };

    if (list) {
        for (size_t i = 0; i < table.Size(); ++i) {
            const HostEntry& e = table.At(i);
            const std::string target =
                e.IsTelnet() ? "telnet\t" + e.TelnetHost + ":" + std::to_string(e.TelnetPort)
                             : "modem\t" + e.TelNum1;
            out(std::to_string(i + 1) + "\t" + e.Name + "\t" + target + "\n");
        }
        return kExitOk;
    }
    const auto index = FindHost(table, words[1]);
    if (!index) {
        std::fprintf(stderr, "marlo-cli hosts: no host named '%s'\n", words[1].c_str());
        return kExitFailed;
    }
    HostEntry e = table.At(*index);
    if (words[0] == "connect") {
        Settings settings;
        // The record of the connection goes where the desktop program keeps it.
        if (auto stored = store->GetText("", "HistoryDefPath")) {
            settings.HistoryDefPath = *stored;
        } else {
            settings.HistoryDefPath = DataDir();
            std::error_code ignored;
            std::filesystem::create_directories(settings.HistoryDefPath, ignored);
        }
        return ConnectHost(*store, e, device, settings, sets, session, logon);
    }
    out("Name=" + e.Name + "\n");
    out("Order=" + std::to_string(*index) + "\n");
    for (const HostField& f : HostFields(e)) {
        std::string value = f.number ? std::to_string(*f.number) : *f.text;
        if (f.text == &e.Password && !value.empty()) value = "********";
        out(std::string(f.name) + "=" + value + "\n");
    }
    return kExitOk;
}

}  // namespace

MARLO_CLI_COMMAND(
    "hosts",
    "  hosts list | show NAME | connect NAME [--utf8]\n"
    "      the host table: one line per host (position, name, modem or telnet, number\n"
    "      or host:port), or every stored value of one host (the password masked);\n"
    "      connect reaches the host with its settings and relays as connect does, taking\n"
    "      connect's options and --serial DEVICE (a modem entry's port; default: Port);\n"
    "      it types the entry's auto-logon pattern before the --wait/--send script\n"
    "      (--no-logon: not)",
    RunHosts);

}  // namespace marlo::cli
