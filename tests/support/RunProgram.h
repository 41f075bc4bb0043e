// Runs a program (the built marlo-cli) with arguments and extra environment variables and collects
// its exit status and output. A run that takes longer than the time-out is killed (status -1).
// `input`, when given, is what the program reads on standard input (otherwise it inherits ours).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marlo::test {

struct RunResult {
    int status = -1;
    std::string out, err;
};

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env = {},
                     int timeoutMs = 30000, const std::optional<std::string>& input = std::nullopt);

}  // namespace marlo::test
