// marlo-cli connect: a headless client on a telnet host or a serial line (optionally dialling a
// Hayes modem). Standard input goes to the line as typed text, received text goes to standard
// output, and --wait/--send pairs script a simple dialogue through the string wait.
#include <csignal>
#include <cstdio>
#include <string>

#include "cli/CliCommand.h"
#include "cli/CliLine.h"
#include "cli/CliText.h"
#include "cli/ConnectSession.h"
#include "settings/Settings.h"

namespace marlo::cli {

namespace {

const char kUsage[] =
    "  connect (--telnet HOST[:PORT] | --serial DEVICE [--dial NUMBER]) [--set Name=Value]...\n"
    "          [--utf8] [--wait TEXT --send TEXT]... [--wait-timeout MS] [--close-after-script]\n"
    "          [--trace FILE] [--text-receive FILE [--append]]\n"
    "      relay standard input to the line and received text to standard output; --wait and\n"
    "      --send (in order; \\r \\n \\t \\\\ \\xHH escapes in TEXT) script a dialogue; exits 0\n"
    "      when the far end closes; --trace writes the line trace (negotiation, waits) to FILE;\n"
    "      --text-receive saves the received text as the terminal keeps it (Shift-JIS, without\n"
    "      the escape sequences it obeys, backspaces applied) in FILE, emptied first unless\n"
    "      --append";

int Usage(const std::string& why) { return UsageFailure("connect", why, kUsage); }

int RunConnect(const std::vector<std::string>& args) {
    LineChoice choice;
    SessionOptions o;
    Settings settings;
    std::string dial, error;
    for (size_t i = 0; i < args.size(); ++i) {
        int taken = TakeLineOption(args, i, choice, error, false);
        if (taken == 0) taken = TakeSessionOption(args, i, o, error);
        if (taken < 0) return Usage(error);
        if (taken > 0) continue;
        const std::string& a = args[i];
        if (a == "--dial" || a == "--set") {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--dial")
                dial = v;
            else if (!ApplySetOption(settings, v, error))
                return Usage(error);
        } else {
            return Usage("unknown option " + a);
        }
    }
    if (choice.given != 1) return Usage("give one of --telnet and --serial");
    if (!dial.empty() && choice.kind != LineChoice::Kind::Serial)
        return Usage("--dial needs --serial");

    std::signal(SIGPIPE, SIG_IGN);
    ConsolePlatform platform;
    CliLine line(platform, "marlo-cli connect");
    if (!line.Open(choice, settings)) return CliLine::OpenFailedStatus(choice.kind);
    std::optional<DialRequest> request;
    if (!dial.empty()) {
        request.emplace();
        request->plan.TelNum1 = ArgToSjis(dial);
        request->initCommand = settings.ModemInit1;
    }
    int status = RunConnectSession(line, settings, o, request);
    line.Close();
    return status;
}

}  // namespace

MARLO_CLI_COMMAND("connect", kUsage, RunConnect);

}  // namespace marlo::cli
