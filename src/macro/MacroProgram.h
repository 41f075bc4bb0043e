// A macro file read into its lines. CR ends a line and an LF after it is dropped; an LF on its own
// ends a line too (files made on Linux); a last line without an end runs like the others.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace marlo {

struct MacroProgram {
    static constexpr size_t kMaxLineBytes = 255;

    std::vector<std::string> lines;
    int firstLongLine = 0;  // 1-based number of the first line over kMaxLineBytes, 0 if none
};

MacroProgram LoadMacroProgram(std::string_view bytes);

}  // namespace marlo
