#include "terminal/Xterm.h"

#include <algorithm>

#include "terminal/TerminalState.h"

namespace marlo {

namespace {
constexpr uint8_t kEscByte = 27, kBelByte = 7, kCanByte = 24, kSubByte = 26;
constexpr int kMaxParam = 9999;

// The xterm default colours of indices 0..15, as 0xRRGGBB.
constexpr uint32_t kPalette[16] = {0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd,
                                   0x00cdcd, 0xe5e5e5, 0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00,
                                   0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff};

uint8_t CodeOfBasic(int i, bool background) {
    const int base = i < 8 ? (background ? 40 : 30) : (background ? 100 : 90);
    return static_cast<uint8_t>(base + (i & 7));
}
}  // namespace

const char* DecGraphicSjis(uint8_t code) {
    // The box-drawing characters of JIS X 0208 row 8 where they exist; the scan lines become the
    // nearest line, the checkerboard the substitute mark, the control pictures are not mapped.
    static const char* const kMap[32] = {
        "\x81\x40", "\x81\x9f", "\x81\xac", nullptr,    nullptr,    nullptr,    nullptr,
        "\x81\x8b", "\x81\x7d", nullptr,    nullptr,    "\x84\xa3", "\x84\xa2", "\x84\xa1",
        "\x84\xa4", "\x84\xa9", "\x81\x50", "\x84\x9f", "\x84\x9f", "\x84\x9f", "\x81\x51",
        "\x84\xa5", "\x84\xa7", "\x84\xa8", "\x84\xa6", "\x84\xa0", "\x81\x85", "\x81\x86",
        "\x83\xce", "\x81\x82", "\x81\x92", "\x81\x45"};
    return code >= 0x5F && code <= 0x7E ? kMap[code - 0x5F] : nullptr;
}

uint8_t ColourCodeOfRgb(int r, int g, int b, bool background) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 16; ++i) {
        const long dr = r - static_cast<int>(kPalette[i] >> 16);
        const long dg = g - static_cast<int>((kPalette[i] >> 8) & 0xff);
        const long db = b - static_cast<int>(kPalette[i] & 0xff);
        const long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return CodeOfBasic(best, background);
}

uint8_t ColourCodeOfIndex(int index, bool background) {
    index = std::clamp(index, 0, 255);
    if (index < 16) return CodeOfBasic(index, background);
    if (index >= 232) {
        const int grey = 8 + 10 * (index - 232);
        return ColourCodeOfRgb(grey, grey, grey, background);
    }
    static constexpr int kLevels[6] = {0, 95, 135, 175, 215, 255};
    const int c = index - 16;
    return ColourCodeOfRgb(kLevels[c / 36], kLevels[(c / 6) % 6], kLevels[c % 6], background);
}

int Xterm::Width() const {
    return state_.ScreenColumns();
}

int Xterm::rows() const {
    return state_.ScreenRows();
}

int Xterm::lineOf(int row) const {
    return state_.ScreenTop() + row;
}

void Xterm::checkMargins() {
    // A screen that changed size loses a region that no longer fits.
    if (bottom_ < 0 || bottom_ >= rows() || top_ >= bottom_) {
        top_ = 0;
        bottom_ = rows() - 1;
    }
}

void Xterm::Reset() {
    if (modes_.altScreen) altScreen(false);
    modes_ = {};
    pendingWrap_ = false;
    top_ = 0;
    bottom_ = -1;
    tabs_.fill(false);
    for (int c = 8; c < kBufferColumns; c += 8) tabs_[static_cast<size_t>(c)] = true;
    g0Graphics_ = g1Graphics_ = shiftOut_ = false;
    hasSaved_ = false;
    lastChar_ = 0;
    buffer_.Attributes() = {};
    parse_ = Parse::kEsc;
}

void Xterm::fullReset() {
    Reset();
    eraseRows(0, rows() - 1);
    moveTo(0, 0);
}

void Xterm::moveTo(int row, int column) {
    pendingWrap_ = false;
    state_.PlaceCursor(std::clamp(row, 0, rows() - 1), std::clamp(column, 0, Width() - 1));
}

void Xterm::wrapIfPending() {
    if (!pendingWrap_) return;
    pendingWrap_ = false;
    if (!modes_.autoWrap) return;
    const int row = state_.CursorRow();
    state_.PlaceCursor(row, 0);
    index();
}

void Xterm::Print(uint8_t b) {
    if (b == 0x7F) return;
    wrapIfPending();
    const int w = Width();
    const int row = state_.CursorRow();
    const int column = std::min(state_.CursorColumn(), w - 1);
    const int line = lineOf(row);
    if (modes_.insert) buffer_.InsertCells(line, column, w, 1, back());
    CellAttributes& a = buffer_.Attributes();
    const uint8_t flags = a.flags;
    if (graphicsShown() && DecGraphicSjis(b)) a.flags |= kFlagGraphic;
    buffer_.Store(line, column, b);
    a.flags = flags;
    lastChar_ = b;
    state_.Written(line, column, 1);
    if (column + 1 >= w) {
        state_.PlaceCursor(row, w - 1);
        pendingWrap_ = modes_.autoWrap;
    }
}

void Xterm::PrintDouble(uint8_t lead, uint8_t trail) {
    wrapIfPending();
    const int w = Width();
    int column = std::min(state_.CursorColumn(), w - 1);
    if (column + 2 > w) {
        if (modes_.autoWrap && w >= 2) {
            state_.PlaceCursor(state_.CursorRow(), 0);
            index();
            column = 0;
        } else {
            column = std::max(w - 2, 0);
        }
    }
    const int row = state_.CursorRow();
    const int line = lineOf(row);
    if (modes_.insert) buffer_.InsertCells(line, column, w, 2, back());
    const uint8_t pair[2] = {lead, trail};
    buffer_.StoreRun(line, column, pair, 2);
    lastChar_ = 0;
    state_.Written(line, column, 2);
    if (column + 2 >= w) {
        state_.PlaceCursor(row, w - 1);
        pendingWrap_ = modes_.autoWrap;
    }
}

void Xterm::BackSpace() {
    lastChar_ = 0;
    moveTo(state_.CursorRow(), state_.CursorColumn() - 1);
}

void Xterm::Tab() {
    lastChar_ = 0;
    const int w = Width();
    int c = state_.CursorColumn() + 1;
    while (c < w - 1 && !tabs_[static_cast<size_t>(c)]) ++c;
    const bool wrap = pendingWrap_;
    moveTo(state_.CursorRow(), std::min(c, w - 1));
    pendingWrap_ = wrap;
}

void Xterm::LineFeed() {
    lastChar_ = 0;
    pendingWrap_ = false;
    index();
}

void Xterm::CarriageReturn() {
    lastChar_ = 0;
    moveTo(state_.CursorRow(), 0);
}

void Xterm::index() {
    checkMargins();
    const int row = state_.CursorRow();
    pendingWrap_ = false;
    if (row == bottom_) {
        if (top_ == 0 && bottom_ == rows() - 1 && !modes_.altScreen) {
            port_.ScrollIntoHistory();
            buffer_.EraseCells(lineOf(bottom_), 0, kBufferColumns - 1, back());
        } else {
            scrollRegion(1);
        }
    } else if (row < rows() - 1) {
        state_.PlaceCursor(row + 1, state_.CursorColumn());
    }
}

void Xterm::reverseIndex() {
    checkMargins();
    const int row = state_.CursorRow();
    pendingWrap_ = false;
    if (row == top_)
        scrollRegion(-1);
    else if (row > 0)
        state_.PlaceCursor(row - 1, state_.CursorColumn());
}

void Xterm::scrollRegion(int count) {
    checkMargins();
    buffer_.ScrollLines(lineOf(top_), lineOf(bottom_), count, back());
    state_.ScreenChanged();
}

void Xterm::eraseRows(int first, int last) {
    for (int r = std::max(first, 0); r <= last && r < rows(); ++r)
        buffer_.EraseCells(lineOf(r), 0, kBufferColumns - 1, back());
    state_.ScreenChanged();
}

void Xterm::saveCursor() {
    saved_ = {state_.CursorRow(), state_.CursorColumn(), pendingWrap_, modes_.origin,
              buffer_.Attributes(), g0Graphics_, g1Graphics_, shiftOut_};
    hasSaved_ = true;
}

void Xterm::restoreCursor() {
    const Saved s = hasSaved_ ? saved_ : Saved{};
    buffer_.Attributes() = s.attrs;
    g0Graphics_ = s.g0Graphics;
    g1Graphics_ = s.g1Graphics;
    shiftOut_ = s.shiftOut;
    modes_.origin = s.origin;
    // With the origin mode on, the cursor comes back inside the scroll region.
    moveTo(s.origin ? std::clamp(s.row, top_, bottom_) : s.row, s.column);
    pendingWrap_ = s.pendingWrap && s.column >= Width() - 1;
}

void Xterm::altScreen(bool on) {
    if (on == modes_.altScreen) return;
    if (on) {
        buffer_.CopyLinesOut(lineOf(0), rows(), mainScreen_);
        modes_.altScreen = true;
        eraseRows(0, rows() - 1);
    } else {
        buffer_.CopyLinesIn(lineOf(0), mainScreen_);
        mainScreen_.clear();
        mainScreen_.shrink_to_fit();
        modes_.altScreen = false;
        state_.ScreenChanged();
    }
}

void Xterm::Begin() {
    parse_ = Parse::kEsc;
    paramCount_ = 0;
    paramOpen_ = false;
    private_ = 0;
    intermediate_ = 0;
    malformed_ = false;
    osc_ = false;
    string_.clear();
}

Xterm::FeedResult Xterm::Feed(uint8_t b) {
    const bool inString =
        parse_ == Parse::kOsc || parse_ == Parse::kString || parse_ == Parse::kStringEsc;
    if (parse_ == Parse::kStringEsc) {
        if (b == '\\') {
            if (osc_) oscDispatch();
            return kEnd;
        }
        if (osc_) oscDispatch();  // ESC ends the string; it starts a sequence of its own
        Begin();
        return Feed(b);
    }
    if (b == kCanByte || b == kSubByte) return kEnd;
    if (b == kEscByte) {
        if (inString) {
            parse_ = Parse::kStringEsc;
            return kMore;
        }
        Begin();
        return kMore;
    }
    if (inString) {
        if (b == kBelByte && parse_ == Parse::kOsc) {
            oscDispatch();
            return kEnd;
        }
        if (b >= 0x20 && osc_ && string_.size() < kMaxString) string_ += static_cast<char>(b);
        return kMore;
    }
    if (b < 0x20) return kControl;
    if (b == 0x7F) return kMore;
    if (b >= 0x80) return kAgain;  // no part of a sequence: the sequence is abandoned
    switch (parse_) {
        case Parse::kEsc:
            if (b <= 0x2F) {
                intermediate_ = b;
                parse_ = Parse::kEscInter;
                return kMore;
            }
            if (b == '[') {
                parse_ = Parse::kCsi;
                params_.fill(-1);
                return kMore;
            }
            if (b == ']') {
                parse_ = Parse::kOsc;
                osc_ = true;
                return kMore;
            }
            if (b == 'P' || b == 'X' || b == '^' || b == '_') {
                parse_ = Parse::kString;
                return kMore;
            }
            escDispatch(b);
            return kEnd;
        case Parse::kEscInter:
            if (b <= 0x2F) return kMore;  // a second intermediate: nothing here has one
            escDispatch(b);
            return kEnd;
        case Parse::kCsi:
            if (b >= '0' && b <= '9') {
                if (intermediate_) malformed_ = true;
                if (paramCount_ == 0) paramCount_ = 1;
                if (paramCount_ <= kMaxParams) {
                    int& p = params_[static_cast<size_t>(paramCount_ - 1)];
                    p = std::min((p < 0 ? 0 : p) * 10 + (b - '0'), kMaxParam);
                }
                paramOpen_ = true;
                return kMore;
            }
            if (b == ';' || b == ':') {
                if (paramCount_ == 0) paramCount_ = 1;
                if (paramCount_ <= kMaxParams) ++paramCount_;
                return kMore;
            }
            if (b >= 0x3C && b <= 0x3F) {
                if (paramCount_ == 0 && !private_)
                    private_ = b;
                else
                    malformed_ = true;
                return kMore;
            }
            if (b <= 0x2F) {
                intermediate_ = intermediate_ ? 0xFF : b;
                return kMore;
            }
            if (!malformed_) csiDispatch(b);
            return kEnd;
        default:
            return kEnd;
    }
}

int Xterm::rawParam(int i) const {
    return i < std::min(paramCount_, kMaxParams) ? params_[static_cast<size_t>(i)] : -1;
}

int Xterm::param(int i, int fallback) const {
    const int p = rawParam(i);
    return p <= 0 ? fallback : p;
}

void Xterm::escDispatch(uint8_t final) {
    if (intermediate_ == '(' || intermediate_ == ')') {
        (intermediate_ == '(' ? g0Graphics_ : g1Graphics_) = final == '0';
        return;
    }
    if (intermediate_ == '#') {
        if (final == '8') {  // DECALN: the screen filled with E
            for (int r = 0; r < rows(); ++r)
                for (int c = 0; c < Width(); ++c) buffer_.Store(lineOf(r), c, 'E');
            state_.ScreenChanged();
        }
        return;
    }
    if (intermediate_) return;
    switch (final) {
        case '7':
            saveCursor();
            break;
        case '8':
            restoreCursor();
            break;
        case 'D':
            index();
            break;
        case 'E':
            CarriageReturn();
            index();
            break;
        case 'M':
            reverseIndex();
            break;
        case 'H':
            tabs_[static_cast<size_t>(state_.CursorColumn())] = true;
            break;
        case 'c':
            fullReset();
            break;
        case '=':
            modes_.applicationKeypad = true;
            break;
        case '>':
            modes_.applicationKeypad = false;
            break;
        default:
            break;
    }
}

void Xterm::csiDispatch(uint8_t final) {
    const int row = state_.CursorRow();
    const int column = state_.CursorColumn();
    const int w = Width();
    const int line = lineOf(row);
    checkMargins();
    const int n = param(0, 1);
    if (intermediate_) {
        if (intermediate_ == '!' && final == 'p' && !private_) {  // DECSTR, a soft reset
            modes_.insert = modes_.origin = false;
            modes_.autoWrap = modes_.cursorVisible = true;
            modes_.applicationCursor = modes_.applicationKeypad = false;
            top_ = 0;
            bottom_ = rows() - 1;
            buffer_.Attributes() = {};
            g0Graphics_ = g1Graphics_ = shiftOut_ = false;
            hasSaved_ = false;
        }
        return;
    }
    if (private_ == '?') {
        if (final == 'h' || final == 'l') setModes(final == 'h');
        if (final == 'n' && rawParam(0) == 6) {
            const int r = row + 1 - (modes_.origin ? top_ : 0);
            port_.Answer("\x1b[?" + std::to_string(r) + ";" + std::to_string(column + 1) + "R");
        }
        return;
    }
    if (private_ == '>') {
        if (final == 'c' && rawParam(0) <= 0) port_.Answer("\x1b[>0;100;0c");
        return;
    }
    if (private_) return;
    const int originTop = modes_.origin ? top_ : 0;
    const int lowest = modes_.origin ? bottom_ : rows() - 1;
    switch (final) {
        case '@':
            buffer_.InsertCells(line, column, w, n, back());
            state_.ScreenChanged();
            pendingWrap_ = false;
            break;
        case 'A':
            moveTo(std::max(row - n, originTop), column);
            break;
        case 'B':
        case 'e':
            moveTo(std::min(row + n, lowest), column);
            break;
        case 'C':
        case 'a':
            moveTo(row, column + n);
            break;
        case 'D':
            moveTo(row, column - n);
            break;
        case 'E':
            moveTo(std::min(row + n, lowest), 0);
            break;
        case 'F':
            moveTo(std::max(row - n, originTop), 0);
            break;
        case 'G':
        case '`':
            moveTo(row, n - 1);
            break;
        case 'H':
        case 'f':
            moveTo(std::min(originTop + param(0, 1) - 1, lowest), param(1, 1) - 1);
            break;
        case 'I':
            for (int i = 0; i < std::min(n, kBufferColumns); ++i) Tab();
            break;
        case 'Z': {
            int c = column;
            for (int i = 0; i < n && c > 0; ++i) {
                --c;
                while (c > 0 && !tabs_[static_cast<size_t>(c)]) --c;
            }
            moveTo(row, c);
            break;
        }
        case 'J': {
            const int p = std::max(rawParam(0), 0);
            if (p == 0) {
                buffer_.EraseCells(line, column, kBufferColumns - 1, back());
                eraseRows(row + 1, rows() - 1);
            } else if (p == 1) {
                eraseRows(0, row - 1);
                buffer_.EraseCells(line, 0, column, back());
            } else if (p == 2) {
                eraseRows(0, rows() - 1);
            }
            state_.ScreenChanged();
            break;
        }
        case 'K': {
            const int p = std::max(rawParam(0), 0);
            if (p == 0)
                buffer_.EraseCells(line, column, kBufferColumns - 1, back());
            else if (p == 1)
                buffer_.EraseCells(line, 0, column, back());
            else if (p == 2)
                buffer_.EraseCells(line, 0, kBufferColumns - 1, back());
            state_.ScreenChanged();
            break;
        }
        case 'L':
        case 'M':
            if (row >= top_ && row <= bottom_) {
                buffer_.ScrollLines(line, lineOf(bottom_), final == 'L' ? -n : n, back());
                state_.ScreenChanged();
                pendingWrap_ = false;
            }
            break;
        case 'P':
            buffer_.DeleteCells(line, column, w, n, back());
            state_.ScreenChanged();
            pendingWrap_ = false;
            break;
        case 'S':
            scrollRegion(std::min(n, rows()));
            break;
        case 'T':
            if (paramCount_ <= 1) scrollRegion(-std::min(n, rows()));
            break;
        case 'X':
            buffer_.EraseCells(line, column, std::min(column + n, w) - 1, back());
            state_.ScreenChanged();
            pendingWrap_ = false;
            break;
        case 'b':
            // The last character printed, up to the end of the row.
            if (lastChar_ && !pendingWrap_) {
                const int c = state_.CursorColumn();
                for (int i = 0; i < std::min(n, w - c); ++i) Print(lastChar_);
            }
            break;
        case 'c':
            if (rawParam(0) <= 0) port_.Answer("\x1b[?1;2c");
            break;
        case 'd':
            moveTo(std::min(originTop + n - 1, lowest), column);
            break;
        case 'g':
            if (rawParam(0) <= 0)
                tabs_[static_cast<size_t>(column)] = false;
            else if (rawParam(0) == 3)
                tabs_.fill(false);
            break;
        case 'h':
        case 'l':
            for (int i = 0; i < std::max(paramCount_, 1); ++i)
                if (rawParam(i) == 4) modes_.insert = final == 'h';
            break;
        case 'm':
            sgr();
            break;
        case 'n':
            if (rawParam(0) == 5) port_.Answer("\x1b[0n");
            if (rawParam(0) == 6)
                port_.Answer("\x1b[" + std::to_string(row + 1 - originTop) + ";" +
                             std::to_string(column + 1) + "R");
            break;
        case 'r': {
            const int t = param(0, 1) - 1;
            const int b = std::min(param(1, rows()), rows()) - 1;
            if (t < b) {  // a region of one row or less is ignored, but the cursor goes home
                top_ = t;
                bottom_ = b;
            }
            moveTo(modes_.origin ? top_ : 0, 0);
            break;
        }
        case 's':
            if (paramCount_ == 0) saveCursor();
            break;
        case 'u':
            if (paramCount_ == 0) restoreCursor();
            break;
        default:
            break;
    }
}

void Xterm::setModes(bool on) {
    for (int i = 0; i < std::max(std::min(paramCount_, kMaxParams), 1); ++i) {
        switch (rawParam(i)) {
            case 1:
                modes_.applicationCursor = on;
                break;
            case 6:
                modes_.origin = on;
                checkMargins();
                moveTo(on ? top_ : 0, 0);
                break;
            case 7:
                modes_.autoWrap = on;
                if (!on) pendingWrap_ = false;
                break;
            case 25:
                modes_.cursorVisible = on;
                break;
            case 47:
            case 1047:
                altScreen(on);
                break;
            case 1049:
                if (on) {
                    saveCursor();
                    altScreen(true);
                } else {
                    altScreen(false);
                    restoreCursor();
                }
                break;
            case 2004:
                modes_.bracketedPaste = on;
                break;
            default:
                break;
        }
    }
}

void Xterm::sgr() {
    CellAttributes& a = buffer_.Attributes();
    const int count = std::max(std::min(paramCount_, kMaxParams), 1);
    for (int i = 0; i < count; ++i) {
        const int x = std::max(rawParam(i), 0);
        // 21 underlines as 4 does; 22..28 take back what 1..8 set (22 the bold).
        if (const uint8_t on = SgrFlag(x == 21 ? 4 : x)) {
            a.flags |= on;
            continue;
        }
        if (x >= 22 && x <= 28) {
            a.flags &= static_cast<uint8_t>(~SgrFlag(x == 22 ? 1 : x - 20));
            continue;
        }
        switch (x) {
            case 0:
                a = {};
                break;
            case 38:
            case 48: {
                const bool background = x == 48;
                uint8_t& target = background ? a.back : a.fore;
                if (rawParam(i + 1) == 5 && i + 2 < count) {
                    target = ColourCodeOfIndex(std::max(rawParam(i + 2), 0), background);
                    i += 2;
                } else if (rawParam(i + 1) == 2 && i + 4 < count) {
                    auto c = [&](int k) { return std::clamp(rawParam(i + k), 0, 255); };
                    target = ColourCodeOfRgb(c(2), c(3), c(4), background);
                    i += 4;
                } else {
                    i = count;  // an unreadable colour: the rest cannot be told apart
                }
                break;
            }
            case 39:
                a.fore = 0;
                break;
            case 49:
                a.back = 0;
                break;
            default:
                if ((x >= 30 && x <= 37) || (x >= 90 && x <= 97)) a.fore = static_cast<uint8_t>(x);
                if ((x >= 40 && x <= 47) || (x >= 100 && x <= 107))
                    a.back = static_cast<uint8_t>(x);
                break;
        }
    }
}

void Xterm::oscDispatch() {
    const size_t semi = string_.find(';');
    if (semi == std::string::npos) return;
    const std::string what = string_.substr(0, semi);
    if (what == "0" || what == "2") port_.Title(string_.substr(semi + 1));
}

}  // namespace marlo
