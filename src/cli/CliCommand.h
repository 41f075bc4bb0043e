// The sub-commands of marlo-cli. Each lives in its own file and registers itself with
// MARLO_CLI_COMMAND, so that adding one touches nothing else.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace marlo::cli {

// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CliCommand {
    std::string name;
    std::string usage;  // one or more lines for --help
    std::function<int(const std::vector<std::string>& args)> run;
};

std::vector<CliCommand>& CliCommands();

struct CliRegistrar {
    explicit CliRegistrar(CliCommand c) { CliCommands().push_back(std::move(c)); }
};

#define MARLO_CLI_CONCAT2(a, b) a##b
#define MARLO_CLI_CONCAT(a, b) MARLO_CLI_CONCAT2(a, b)
#define MARLO_CLI_COMMAND(name, usage, fn) \
    static ::marlo::cli::CliRegistrar MARLO_CLI_CONCAT(cliRegistrar_, __LINE__)({name, usage, fn})

// Parses "--set Name=Value" pairs and other options shared by the commands.
// "marlo-cli COMMAND: why" and the command's usage on stderr; the usage status.
int UsageFailure(const char* command, const std::string& why, const char* usage);

// Splits "Name=Value"; false when there is no '='.
bool SplitSetting(const std::string& arg, std::string& name, std::string& value);

}  // namespace marlo::cli
