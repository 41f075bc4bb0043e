// marlo-cli: the headless front end. Every capability that needs no display is reachable here.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace marlo::cli {

std::vector<CliCommand>& CliCommands() {
    static std::vector<CliCommand> commands;
    return commands;
}

bool SplitSetting(const std::string& arg, std::string& name, std::string& value) {
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    name = arg.substr(0, eq);
    value = arg.substr(eq + 1);
    return true;
}

int UsageFailure(const char* command, const std::string& why, const char* usage) {
    std::fprintf(stderr, "marlo-cli %s: %s\nusage:\n%s\n", command, why.c_str(), usage);
    return kExitUsage;
}

}  // namespace marlo::cli

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(
        out, "usage: marlo-cli COMMAND [OPTIONS]...\n       marlo-cli --version\n\ncommands:\n");
    for (const auto& c : marlo::cli::CliCommands()) std::fprintf(out, "%s\n", c.usage.c_str());
    std::fprintf(out,
                 "\nSettings are given by their stored value names: --set CodeExchange=4.\n"
                 "Errors go to stderr; exit status 2 for a usage or file error.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? marlo::cli::kExitUsage : marlo::cli::kExitOk;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("marlo-cli %s\n", MARLO_VERSION_TEXT);
        return marlo::cli::kExitOk;
    }
    for (const auto& c : marlo::cli::CliCommands()) {
        if (c.name != argv[1]) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        // Every command takes --help (or -h) among its options: its usage, and nothing is done.
        for (const auto& a : args) {
            if (a == "--help" || a == "-h") {
                std::printf("usage:\n%s\n", c.usage.c_str());
                return marlo::cli::kExitOk;
            }
        }
        return c.run(args);
    }
    std::fprintf(stderr, "marlo-cli: unknown command '%s' (see marlo-cli --help)\n", argv[1]);
    return marlo::cli::kExitUsage;
}
