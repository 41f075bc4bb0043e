// marlo-cli sendtext: a text file typed into a line line by line, as the desktop program's text
// send types it (tabs, wrapping, LF handling, the optional echo wait), with its settings.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliLine.h"
#include "line/StringWait.h"
#include "settings/Settings.h"
#include "terminal/TextSend.h"

namespace marlo::cli {

namespace {

const char kUsage[] =
    "  sendtext LINE FILE [--set Name=Value]...\n"
    "      type the text FILE into the line (LINE: --stdio, --serial DEVICE or --telnet\n"
    "      HOST[:PORT]) with TxSendTabNum, TxSendMaxCol, TxSendCRLF and TxSendSync; exits 0\n"
    "      when every line went out";

int Usage(const std::string& why) { return UsageFailure("sendtext", why, kUsage); }

std::atomic<bool> gInterrupted{false};
extern "C" void OnSendTextInterrupt(int) { gInterrupted = true; }

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int RunSendText(const std::vector<std::string>& args) {
    LineChoice choice;
    Settings settings;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (int taken = TakeLineOption(args, i, choice, error); taken != 0) {
            if (taken < 0) return Usage(error);
            continue;
        }
        const std::string& a = args[i];
        if (a == "--set") {
            if (i + 1 >= args.size()) return Usage("--set needs Name=Value");
            if (!ApplySetOption(settings, args[++i], error)) return Usage(error);
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (choice.given != 1)
        return Usage("give exactly one line: --stdio, --serial DEVICE or --telnet HOST[:PORT]");
    if (files.size() != 1) return Usage("give one FILE");
    std::error_code ec;
    std::ifstream in(files.front(), std::ios::binary);
    if (!in || std::filesystem::is_directory(files.front(), ec)) {
        std::fprintf(stderr, "marlo-cli sendtext: cannot open %s\n", files.front().c_str());
        return kExitUsage;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "marlo-cli sendtext: cannot read %s\n", files.front().c_str());
        return kExitUsage;
    }
    const TextSendOptions options{settings.TxSendTabNum, settings.TxSendMaxCol,
                                  settings.TxSendCRLF != 0};
    TextSendRun run(TextSendLines(text, options), settings.TxSendSync != 0);

    std::signal(SIGPIPE, SIG_IGN);
    ConsolePlatform platform;
    CliLine line(platform, "marlo-cli sendtext");
    if (!line.Open(choice, settings)) return CliLine::OpenFailedStatus(choice.kind);
    gInterrupted = false;
    auto oldInt = std::signal(SIGINT, OnSendTextInterrupt);
    auto oldTerm = std::signal(SIGTERM, OnSendTextInterrupt);

    StringWait echo;
    int waitId = 0;
    bool failed = false;
    std::vector<uint8_t> buf(4096);
    for (;;) {
        if (gInterrupted) run.Stop();
        const auto step = run.Next(NowMs(), waitId != 0 && echo.Matched(waitId) != 0);
        if (step.done) break;
        if (step.send) {
            // Echoes already read stay in the window for the lines they belong to.
            if (waitId != 0) echo.Disarm(waitId);
            waitId = step.echo.empty() ? 0 : echo.Arm({step.echo}, false);
            if (!line.LineSession().WriteConverted(*step.send)) {
                failed = true;
                break;
            }
            continue;
        }
        // Waiting for the echo: what the host sends meanwhile is read (and otherwise dropped).
        const int n = line.LineSession().ReadLineData(buf.data(), static_cast<int>(buf.size()), 50);
        if (n > 0)
            echo.Feed(buf.data(), static_cast<size_t>(n));
        else if (line.HungUp())  // nothing more comes: the wait runs out, a write tells the rest
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    line.Close();
    const size_t sent = run.SentLines() - (failed ? 1 : 0);
    if (failed || run.Stopped() || sent < run.TotalLines()) {
        std::fprintf(stderr, "marlo-cli sendtext: %zu of %zu lines sent\n", sent,
                     run.TotalLines());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

MARLO_CLI_COMMAND("sendtext", kUsage, RunSendText);

}  // namespace marlo::cli
