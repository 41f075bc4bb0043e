// The one pair of helpers that converts between Shift-JIS (code page 932, the program's text) and
// UTF-8 (what the desktop, the console and source files use). Bytes that do not convert become
// "?" (to UTF-8) or "?" (to Shift-JIS); nothing is lost silently beyond that.
#pragma once

#include <string>
#include <string_view>

namespace marlo {

std::string SjisToUtf8(std::string_view sjis);
std::string Utf8ToSjis(std::string_view utf8);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace marlo
