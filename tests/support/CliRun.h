// Runs the built marlo-cli with arguments (passed through the shell, so quote what needs it) and
// returns its standard output; stderr is dropped unless asked for. Header-only: MARLO_CLI_PATH is
// defined for the test programs, not for the support library.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <string>

#include "support/TempDir.h"

namespace marlo::test {

// `input`, when given, is what the program reads on standard input; `keepStderr` mixes its error
// output into what is returned.
inline std::string RunMarloCli(const std::string& args, int* status,
                               const std::optional<std::string>& input = std::nullopt,
                               bool keepStderr = false) {
    std::string out;
    *status = -1;
    TempDir dir;
    std::string command = std::string(MARLO_CLI_PATH) + " " + args;
    if (input) {
        const std::string in = (dir.path / "stdin").string();
        WriteWhole(in, *input);
        command += " < '" + in + "'";
    }
    command += keepStderr ? " 2>&1" : " 2>/dev/null";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = ::pclose(p);
    if (rc != -1 && WIFEXITED(rc)) *status = WEXITSTATUS(rc);
    return out;
}

}  // namespace marlo::test
