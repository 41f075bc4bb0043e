#include "macro/MacroProgram.h"

namespace marlo {

MacroProgram LoadMacroProgram(std::string_view bytes) {
    MacroProgram program;
    std::string line;
    bool open = false;  // bytes since the last line end
    auto end = [&] {
        if (line.size() > MacroProgram::kMaxLineBytes && program.firstLongLine == 0)
            program.firstLongLine = static_cast<int>(program.lines.size()) + 1;
        program.lines.push_back(std::move(line));
        line.clear();
        open = false;
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\r') {
            end();
        } else if (c == '\n') {
            if (i == 0 || bytes[i - 1] != '\r') end();
        } else {
            line += c;
            open = true;
        }
    }
    if (open) end();
    return program;
}

}  // namespace marlo
