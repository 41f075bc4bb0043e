#include "terminal/ScreenDump.h"

#include "terminal/Terminal.h"
#include "text/Encoding.h"

namespace marlo {

namespace {

std::string AttributeLine(const ScreenBuffer& buffer, int line) {
    const uint8_t* flags = buffer.Flags(line);
    const uint8_t* fore = buffer.Fore(line);
    const uint8_t* back = buffer.Back(line);
    std::string out = "~";
    int c = 0;
    while (c < kBufferColumns) {
        int end = c + 1;
        while (end < kBufferColumns && flags[end] == flags[c] && fore[end] == fore[c] &&
               back[end] == back[c])
            ++end;
        if (flags[c] || fore[c] || back[c]) {
            out += ' ' + std::to_string(c + 1) + '-' + std::to_string(end) + ':' +
                   std::to_string(flags[c]) + ',' + std::to_string(fore[c]) + ',' +
                   std::to_string(back[c]);
        }
        c = end;
    }
    return out;
}

}  // namespace

std::string DumpScreen(Terminal& terminal, const ScreenDumpOptions& options) {
    const ScreenBuffer& buffer = terminal.Buffer();
    auto lock = buffer.Lock();
    std::string out;
    for (int line = 0; line <= buffer.LastLine(); ++line) {
        std::string text = buffer.LineText(line);
        out += options.utf8 ? SjisToUtf8(text) : text;
        out += '\n';
        if (options.attrs) out += AttributeLine(buffer, line) + '\n';
    }
    if (options.cursor) {
        const TerminalState& state = terminal.State();
        int line, column;
        state.GetCursor(line, column);
        out += "cursor " + std::to_string(line - state.ScreenTop() + 1) + ' ' +
               std::to_string(column - state.LeftColumn() + 1) + '\n';
    }
    return out;
}

}  // namespace marlo
