// The program's command line: "/t" trace mode, "/h<n>" connect host entry n at start-up, "/?"
// usage, "--version" the version.
#pragma once

#include <string>
#include <vector>

namespace marlo {

struct CommandLine {
    bool trace = false;
    int startupHost = 0;  // 0 = none
    bool showUsage = false;
    bool showVersion = false;
};

// Tokens are examined in order; unknown tokens are ignored.
CommandLine ParseCommandLine(const std::vector<std::string>& tokens);
// Splits a whole command-line text at blanks (quotes keep blanks in a word).
std::vector<std::string> SplitCommandLine(const std::string& text);

// The usage text shown by "/?" (UTF-8).
extern const char* const kUsageText;

}  // namespace marlo
