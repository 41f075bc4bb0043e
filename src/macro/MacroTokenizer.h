// Splits one program line into tokens. `;` anywhere ends the line (even inside quotes), `#` outside
// quotes too. Blanks, commas and tabs separate tokens except inside quotes and square brackets; a
// quoted token keeps its quotes and ends at its closing quote. A parenthesised group becomes one
// token holding the value of its expression, computed at once. Two-byte Shift-JIS characters are
// stepped over whole, so a second byte that looks like `[`, `\` or `;` means nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

struct MacroTokens {
    std::vector<std::string> tokens;
    std::string error;  // set when the line cannot be read; tokens are then incomplete
};

inline constexpr size_t kMacroMaxTokens = 100;
inline constexpr size_t kMacroMaxTokenBytes = 99;

// `evaluate` gives the value of a parenthesised group's text, or nothing when it fails.
MacroTokens TokenizeMacroLine(
    const std::string& line,
    const std::function<std::optional<std::string>(const std::string&)>& evaluate);

}  // namespace marlo
