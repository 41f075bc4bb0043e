// The one pair of helpers that converts between Shift-JIS (code page 932, the program's text) and
// UTF-8 (what the desktop, the console and source files use). Bytes that do not convert become
// "?" (to UTF-8) or "?" (to Shift-JIS); nothing is lost silently beyond that.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlo {

std::string SjisToUtf8(std::string_view sjis);
std::string Utf8ToSjis(std::string_view utf8);

// Shift-JIS for each character of the Basic Multilingual Plane, indexed by its code point: ASCII
// and half-width katakana as their single byte, the others as lead << 8 | trail, 0 where Shift-JIS
// has no such character (a line in UTF-8 shows those as the geta mark). Where code page 932 has
// two codes for one character, the JIS one (rows 1..84, then the IBM extensions) is taken; the
// JIS-table forms of a few symbols that code page 932 maps elsewhere (U+301C WAVE DASH, U+2016,
// U+2212, U+00A2, U+00A3, U+00AC, U+2014, U+00A5, U+203E) lead to the same codes.
const uint16_t* UnicodeToSjisTable();
// Appends the UTF-8 of one Shift-JIS character (`trail` unused for a single byte); false, with
// nothing appended, when code page 932 has no such character.
bool AppendSjisCharAsUtf8(uint8_t lead, uint8_t trail, std::string& out);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// The length of the well-formed UTF-8 character at `i`; 0 when there is none.
size_t Utf8CharLength(std::string_view bytes, size_t i);

// Desktop text on its way to the line: runs of Shift-JIS, and runs of the characters Shift-JIS
// cannot hold (emoji, accented Latin, hangul, ...) kept as their UTF-8, which a line whose send
// code is UTF-8 carries as they are.
struct TextPiece {
    std::string bytes;
    bool utf8 = false;  // `bytes` are UTF-8 characters that Shift-JIS cannot hold
};
// UTF-8 text as pieces; a byte that is no UTF-8 character becomes "?" as in Utf8ToSjis.
std::vector<TextPiece> Utf8ToSjisPieces(std::string_view utf8);

}  // namespace marlo
