// marlo-cli connect: a headless client on a telnet host or a serial line (optionally dialling a
// Hayes modem). Standard input goes to the line as typed text, received text goes to standard
// output, and --wait/--send pairs script a simple dialogue through the string wait.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
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
    "          [--timestamps] [--hex] [--reconnect] [--dtr on|off] [--rts on|off]\n"
    "          [--dtr-pulse MS]\n"
    "      relay standard input to the line and received text to standard output; --wait and\n"
    "      --send (in order; \\r \\n \\t \\\\ \\xHH escapes in TEXT) script a dialogue; exits 0\n"
    "      when the far end closes; --trace writes the line trace (negotiation, waits) to FILE;\n"
    "      --text-receive saves the received text as the terminal keeps it (Shift-JIS, without\n"
    "      the escape sequences it obeys, backspaces applied) in FILE, emptied first unless\n"
    "      --append; --timestamps starts each received line with the time it began,\n"
    "      \"HH:MM:SS.mmm \" (or the time since the connection with --set TimeStamp=2); on a\n"
    "      serial line --dtr and --rts set the control lines once the device is open, then\n"
    "      --dtr-pulse turns DTR over for MS ms and back (many boards reset on it); --hex\n"
    "      writes the received bytes as a hex dump (16 a row, offset, hex, and the text in\n"
    "      the receive code) instead of the text; with\n"
    "      --reconnect a serial device that goes away (an adapter unplugged) is opened again\n"
    "      with the same parameters as soon as it is back, under its by-id name where it has one";

int Usage(const std::string& why) { return UsageFailure("connect", why, kUsage); }

// The control lines as the command line sets them on the serial device.
struct LineControl {
    std::optional<bool> dtr, rts;
    int pulseMs = 0;
    bool Any() const { return dtr || rts || pulseMs > 0; }
};

// "--dtr on|off", "--rts on|off", "--dtr-pulse MS": 1 taken, 0 not one of them, -1 bad value.
int TakeLineControl(const std::vector<std::string>& args, size_t& i, LineControl& c,
                    std::string& error) {
    const std::string& a = args[i];
    if (a != "--dtr" && a != "--rts" && a != "--dtr-pulse") return 0;
    if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return -1;
    }
    const std::string& v = args[++i];
    if (a == "--dtr-pulse") {
        char* end = nullptr;
        long ms = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || ms < 1 || ms > 10000) {
            error = "--dtr-pulse takes 1 to 10000 ms: " + v;
            return -1;
        }
        c.pulseMs = static_cast<int>(ms);
        return 1;
    }
    if (v != "on" && v != "off") {
        error = a + " takes on or off: " + v;
        return -1;
    }
    (a == "--dtr" ? c.dtr : c.rts) = v == "on";
    return 1;
}

int RunConnect(const std::vector<std::string>& args) {
    LineChoice choice;
    SessionOptions o;
    Settings settings;
    LineControl control;
    std::string dial, error;
    for (size_t i = 0; i < args.size(); ++i) {
        int taken = TakeLineOption(args, i, choice, error, false);
        if (taken == 0) taken = TakeSessionOption(args, i, o, error);
        if (taken == 0) taken = TakeLineControl(args, i, control, error);
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
    if (control.Any() && choice.kind != LineChoice::Kind::Serial)
        return Usage("--dtr, --rts and --dtr-pulse need --serial");

    std::signal(SIGPIPE, SIG_IGN);
    ConsolePlatform platform;
    CliLine line(platform, "marlo-cli connect");
    if (!line.Open(choice, settings)) return CliLine::OpenFailedStatus(choice.kind);
    if (control.Any()) {
        CommPort& comm = line.LineSession().Comm();
        if (control.dtr) comm.SetDtr(*control.dtr);
        if (control.rts) comm.SetRts(*control.rts);
        if (control.pulseMs > 0) comm.PulseDtr(control.pulseMs, nullptr);
    }
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
