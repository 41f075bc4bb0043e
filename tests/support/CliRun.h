// Runs the built marlo-cli with arguments (passed through the shell, so quote what needs it) and
// returns its standard output; stderr is dropped. Header-only: MARLO_CLI_PATH is defined for the
// test programs, not for the support library.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace marlo::test {

inline std::string RunMarloCli(const std::string& args, int* status) {
    std::string out;
    *status = -1;
    FILE* p = ::popen((std::string(MARLO_CLI_PATH) + " " + args + " 2>/dev/null").c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = ::pclose(p);
    if (rc != -1 && WIFEXITED(rc)) *status = WEXITSTATUS(rc);
    return out;
}

}  // namespace marlo::test
