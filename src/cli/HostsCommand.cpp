// marlo-cli hosts: the host table from the user's settings store, for scripts.
#include <cstdio>
#include <string>
#include <vector>

#include "app/StoreFactory.h"
#include "cli/CliCommand.h"
#include "cli/CliText.h"
#include "hosts/HostTable.h"
#include "text/Encoding.h"

namespace marlo::cli {

namespace {

std::optional<size_t> FindHost(const HostTable& table, const std::string& arg) {
    if (auto i = table.Find(arg)) return i;
    return table.Find(ArgToSjis(arg));
}

int RunHosts(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    bool utf8 = false;
    for (const auto& a : args) {
        if (a == "--utf8")
            utf8 = true;
        else if (a.starts_with("--")) {
            std::fprintf(stderr, "marlo-cli hosts: unknown option '%s'\n", a.c_str());
            return kExitUsage;
        } else
            words.push_back(a);
    }
    const bool list = words.size() == 1 && words[0] == "list";
    const bool named = words.size() == 2 && (words[0] == "show" || words[0] == "connect");
    if (!list && !named) {
        std::fprintf(stderr, "usage: marlo-cli hosts list | show NAME | connect NAME [--utf8]\n");
        return kExitUsage;
    }
    if (words[0] == "connect") {
        std::fprintf(stderr, "marlo-cli hosts connect: not available yet\n");
        return kExitUsage;
    }

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
    "      or host:port), or every stored value of one host (the password masked)",
    RunHosts);

}  // namespace marlo::cli
