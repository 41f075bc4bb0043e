// Text given on marlo-cli's command line.
#pragma once

#include <string>

namespace marlo::cli {

// A name typed on the command line is UTF-8 and becomes Shift-JIS; bytes that are not UTF-8 (raw
// Shift-JIS from a script) are taken as they are.
std::string ArgToSjis(const std::string& arg);

}  // namespace marlo::cli
