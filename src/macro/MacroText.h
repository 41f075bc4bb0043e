// Small byte-level helpers the macro language shares: reading numbers the way old C programs did,
// stepping over two-byte Shift-JIS characters (whose second byte can look like `[`, `\` or `;`),
// and the keyword of a program line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlo {

// Leading blanks, a sign, then digits; anything else ends the number (no digits: 0). Values past
// 32 bits wrap around instead of being undefined.
int32_t MacroAtoi(std::string_view text);
// The text without any double-quote character.
std::string Unquote(std::string_view text);
// The first `c` that is not the second byte of a two-byte character, or npos.
size_t FindByte(std::string_view text, char c);
// 2 when `text[i]` starts a two-byte Shift-JIS character that the text completes, else 1.
size_t SjisStep(std::string_view text, size_t i);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view text);
// The first word of a line, lower-cased, as the control statements see it: leading blanks
// skipped, ended by a blank, comma, `(`, `;` or `#`.
std::string LineKeyword(std::string_view line);
// The word after the keyword (a function's name on a `func` line), same rules.
std::string LineSecondWord(std::string_view line);
// A command line split into a program and its arguments, as no shell is asked to: blanks and tabs
// separate, single or double quotes keep blanks in a word and are removed.
std::vector<std::string> SplitProgramLine(std::string_view text);
// printf into a string.
std::string MacroFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace marlo
