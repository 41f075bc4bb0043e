#include "terminal/Search.h"

#include <algorithm>
#include <array>

#include "terminal/KanjiCodec.h"
#include "terminal/ScreenBuffer.h"

namespace marlo {

namespace {

uint8_t Fold(uint8_t b) {
    return (b >= 'a' && b <= 'z') ? static_cast<uint8_t>(b - 'a' + 'A') : b;
}

// Cell kinds of a line: 0 single, 1 lead, 2 trail.
std::array<uint8_t, kBufferColumns> Kinds(const uint8_t* chars) {
    std::array<uint8_t, kBufferColumns> kinds{};
    for (int c = 0; c < kBufferColumns;) {
        if (IsSjisLead(chars[c]) && c + 1 < kBufferColumns && IsSjisTrail(chars[c + 1])) {
            kinds[c] = 1;
            kinds[c + 1] = 2;
            c += 2;
        } else {
            ++c;
        }
    }
    return kinds;
}

bool MatchAt(const uint8_t* chars, const std::array<uint8_t, kBufferColumns>& kinds, int column,
             const std::string& text, bool matchCase) {
    const int n = static_cast<int>(text.size());
    if (kinds[column] == 2) return false;
    if (column + n < kBufferColumns && kinds[column + n] == 2) return false;
    for (int i = 0; i < n; ++i) {
        uint8_t a = chars[column + i];
        uint8_t b = static_cast<uint8_t>(text[i]);
        // Letter case only counts for single-byte characters; a trail byte is never folded.
        if (!matchCase && kinds[column + i] == 0) {
            a = Fold(a);
            b = Fold(b);
        }
        if (a != b) return false;
    }
    return true;
}

}  // namespace

bool SearchBuffer(const ScreenBuffer& buffer, SearchState& state, bool down, bool dumbEnd) {
    const int n = static_cast<int>(state.text.size());
    if (n == 0 || n > kBufferColumns) return false;
    const bool matchCase = (state.flags & kSearchMatchCase) != 0;
    const int last = std::min(buffer.LastLine(), buffer.Lines() - 1);
    const int lastStart = kBufferColumns - n;  // a match may end in the last column

    if (down) {
        int line = state.hasMatch ? std::clamp(state.match.line, 0, last) : 0;
        int from = state.hasMatch ? state.match.column + 1 : 0;
        for (; line <= last; ++line, from = 0) {
            const uint8_t* chars = buffer.Chars(line);
            auto kinds = Kinds(chars);
            int to = lastStart;
            if (dumbEnd && line == last) to = std::min(to, buffer.DumbColumn() - n);
            for (int c = std::max(from, 0); c <= to; ++c) {
                if (MatchAt(chars, kinds, c, state.text, matchCase)) {
                    state.hasMatch = state.highlighted = true;
                    state.match = {line, c};
                    state.length = n;
                    return true;
                }
            }
        }
        return false;
    }
    int line = state.hasMatch ? std::clamp(state.match.line, 0, last) : last;
    int before = state.hasMatch ? state.match.column - 1 : lastStart;
    for (; line >= 0; --line, before = lastStart) {
        const uint8_t* chars = buffer.Chars(line);
        auto kinds = Kinds(chars);
        for (int c = std::min(before, lastStart); c >= 0; --c) {
            if (MatchAt(chars, kinds, c, state.text, matchCase)) {
                state.hasMatch = state.highlighted = true;
                state.match = {line, c};
                state.length = n;
                return true;
            }
        }
    }
    return false;
}

}  // namespace marlo
