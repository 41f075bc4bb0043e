#include "terminal/EscapeInterpreter.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "terminal/ScreenBuffer.h"
#include "terminal/TerminalState.h"

namespace marlo {

namespace {

// Large enough for any screen, small enough that no arithmetic on it overflows.
constexpr int kMaxParam = 9999;

bool IsSpace(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads a decimal number at p (leading blanks and a sign allowed, as "%d" reads it), clamped to
// 0..kMaxParam. Nothing when no digit follows.
std::optional<int> ReadNumber(const uint8_t* p, const uint8_t* end) {
    while (p < end && IsSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p >= end || *p < '0' || *p > '9') return std::nullopt;
    long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        value = std::min<long>(value * 10 + (*p - '0'), kMaxParam);
    return negative ? 0 : static_cast<int>(value);
}

// The number of "[%d<final>": read after the bracket; nothing when the sequence does not start
// with the bracket or no number follows it.
std::optional<int> Param(const uint8_t* s, int n) {
    if (n < 2 || s[0] != '[') return std::nullopt;
    return ReadNumber(s + 1, s + n - 1);
}

// A count: unreadable is 1.
int Count(const uint8_t* s, int n) {
    return Param(s, n).value_or(1);
}

}  // namespace

namespace {
struct FinalBytes {
    bool vt100[256] = {};
    bool vt52[256] = {};
    constexpr FinalBytes() {
        for (const char* c = "=@ABCDEFGHJKLMPZfghlmsu"; *c; ++c)
            vt100[static_cast<uint8_t>(*c)] = true;
        for (const char* c = "ABCDHIJK"; *c; ++c) vt52[static_cast<uint8_t>(*c)] = true;
    }
};
constexpr FinalBytes kFinal;
}  // namespace

bool Vt100SequenceComplete(uint8_t last, int length) {
    if (length == 1 && (last == '7' || last == '8' || last == '>')) return true;
    return kFinal.vt100[last];
}

bool Vt52SequenceEnds(uint8_t last) {
    return kFinal.vt52[last];
}

void EscapeInterpreter::Vt100(const uint8_t* s, int n) {
    if (n <= 0) return;
    const uint8_t f = s[n - 1];
    const int row1 = state_.Row1();
    const int col1 = state_.Col1();
    switch (f) {
        case '7':
        case 's':
            state_.SaveCursor();
            break;
        case '8':
        case 'u':
            state_.RestoreCursor();
            break;
        case '@':
        case 'L':
            if (n > 2) state_.InsertLines(row1, Count(s, n));
            break;
        case 'A':
            state_.MoveCursor(true, 0, n == 2 ? -1 : -Count(s, n));
            break;
        case 'B':
            state_.MoveCursor(true, 0, n == 2 ? 1 : Count(s, n));
            break;
        case 'C':
            state_.MoveCursor(true, n == 2 ? 1 : Count(s, n), 0);
            break;
        case 'D':
            if (n == 1)
                state_.MoveCursor(true, 0, 1);  // index: stops at the bottom row, no scrolling
            else
                state_.MoveCursor(true, n == 2 ? -1 : -Count(s, n), 0);
            break;
        case 'E':
            state_.MoveCursor(false, 1, row1 + (n <= 2 ? 1 : Count(s, n)));
            break;
        case 'F':
            state_.MoveCursor(false, 1, row1 - (n == 2 ? 1 : Count(s, n)));
            break;
        case 'G':
            state_.MoveCursor(false, n == 2 ? 1 : Count(s, n), row1);
            break;
        case 'H':
        case 'f':
            if (n == 1) {
                if (f == 'H') buffer_.TabStops()[col1 - 1] = true;
            } else if (n == 2) {
                state_.MoveCursor(false, 1, 1);
            } else {
                cursorPosition(s, n);
            }
            break;
        case 'J': {
            std::optional<int> p = n == 2 ? std::optional<int>(0) : Param(s, n);
            if (p == 0) {
                state_.EraseRegion(col1, row1, -1, -1);
            } else if (p == 1) {
                state_.EraseRegion(1, 1, col1, row1);
                state_.MoveCursor(false, 1, 1);
            } else if (p == 2) {
                state_.EraseRegion(1, 1, -1, -1);
                state_.MoveCursor(false, 1, 1);
            }
            break;
        }
        case 'K': {
            std::optional<int> p = n == 2 ? std::optional<int>(0) : Param(s, n);
            if (p == 0)
                state_.EraseRegion(col1, row1, kBufferColumns, row1);
            else if (p == 1)
                state_.EraseRegion(1, row1, col1, row1);
            else if (p == 2)
                state_.EraseRegion(1, row1, kBufferColumns, row1);
            break;
        }
        case 'M':
            if (n == 1)
                state_.MoveCursor(true, 0, -1);  // reverse index: stops at the top row
            else if (n > 2)
                state_.DeleteLines(row1, Count(s, n));
            break;
        case 'P':
            if (n > 2) state_.DeleteLines(row1, Count(s, n));
            break;
        case 'Z':
            state_.BackTab(n == 2 ? 1 : Count(s, n));
            break;
        case 'g':
            if (n == 4 && std::memcmp(s, "[>5g", 4) == 0) {
                for (int c = 0; c < kBufferColumns; c += 8) buffer_.TabStops()[c] = true;
            } else if (n == 3 && std::memcmp(s, "[0g", 3) == 0) {
                buffer_.TabStops()[col1 - 1] = false;
            } else if (n == 3 && std::memcmp(s, "[3g", 3) == 0) {
                buffer_.TabStops().fill(false);
            }
            break;
        case 'l':
            // "[?..l" resets a private mode, which this terminal does not have: not a tab move.
            if (n == 2)
                state_.ForwardTab(1);
            else if ((n == 3 || n == 4) && s[1] != '?')
                state_.ForwardTab(Count(s, n));
            break;
        case 'm':
            if (n == 2)
                buffer_.Attributes() = {};
            else
                selectGraphicRendition(s, n);
            break;
        default:  // '=', '>', 'h' and anything else end a sequence but do nothing
            break;
    }
}

void EscapeInterpreter::cursorPosition(const uint8_t* s, int n) {
    // The text after the first byte, without the final letter, split at the semicolon; an absent,
    // empty or unreadable field is 1.
    const uint8_t* p = s + 1;
    const uint8_t* end = s + n - 1;
    const uint8_t* semi = std::find(p, end, static_cast<uint8_t>(';'));
    int row = ReadNumber(p, semi).value_or(1);
    int column = semi < end ? ReadNumber(semi + 1, end).value_or(1) : 1;
    state_.MoveCursor(false, std::max(column, 1), std::max(row, 1));
}

void EscapeInterpreter::selectGraphicRendition(const uint8_t* s, int n) {
    const uint8_t* p = s[0] == '[' ? s + 1 : s;
    const uint8_t* end = s + n - 1;
    CellAttributes& a = buffer_.Attributes();
    for (;;) {
        const uint8_t* semi = std::find(p, end, static_cast<uint8_t>(';'));
        // An empty field reads as 0; a field that is not a number is skipped.
        std::optional<int> v = p == semi ? std::optional<int>(0) : ReadNumber(p, semi);
        if (v) {
            int x = *v;
            if (x == 0)
                a = {};
            else if (SgrFlag(x))
                a.flags |= SgrFlag(x);
            else if (x >= 30 && x <= 37)
                a.fore = static_cast<uint8_t>(x);
            else if (x >= 40 && x <= 47)
                a.back = static_cast<uint8_t>(x);
        }
        if (semi >= end) break;
        p = semi + 1;
    }
}

void EscapeInterpreter::Vt52(const uint8_t* s, int n) {
    if (n <= 0) return;
    if (n == 3 && s[0] == 'Y') {
        state_.MoveCursor(false, s[2] - 32 + 1, s[1] - 32 + 1);
        return;
    }
    switch (s[n - 1]) {
        case 'A':
        case 'I':
            state_.MoveCursor(true, 0, -1);
            break;
        case 'B':
            state_.MoveCursor(true, 0, 1);
            break;
        case 'C':
            state_.MoveCursor(true, 1, 0);
            break;
        case 'D':
            state_.MoveCursor(true, -1, 0);
            break;
        case 'H':
            state_.EraseRegion(1, 1, -1, -1);
            state_.MoveCursor(false, 1, 1);
            break;
        case 'J':
            state_.EraseRegion(state_.Col1(), state_.Row1(), -1, -1);
            break;
        case 'K':
            state_.EraseRegion(state_.Col1(), state_.Row1(), kBufferColumns, state_.Row1());
            break;
        default:
            break;
    }
}

}  // namespace marlo
