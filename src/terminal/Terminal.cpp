#include "terminal/Terminal.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "settings/Settings.h"
#include "terminal/CaptureSink.h"
#include "terminal/EscapeInterpreter.h"

namespace marlo {

namespace {
constexpr uint8_t kBel = 7, kBs = 8, kTab = 9, kLf = 10, kCr = 13, kSo = 14, kSi = 15;
constexpr uint8_t kEnq = 5, kVt = 11, kFf = 12, kCan = 24, kEsc = 27;
constexpr int kXterm = 3;
constexpr int kMaxEscape = 30;

bool IsAutoStartByte(uint8_t b) {
    return b == kEnq || b == '*' || b == kCan || b == 'B' || b == '0';
}

// Byte classes for scanning plain text, looked up once per byte.
enum : uint8_t { kPlain = 1, kStartByte = 2, kLead = 4, kTrail = 8 };
struct ByteClasses {
    uint8_t of[256];
    ByteClasses() {
        for (int i = 0; i < 256; ++i) {
            auto b = static_cast<uint8_t>(i);
            of[i] =
                static_cast<uint8_t>(((b >= 0x20 && b < 0x7F) || IsHalfWidthKana(b) ? kPlain : 0) |
                                     (IsAutoStartByte(b) ? kStartByte : 0) |
                                     (IsSjisLead(b) ? kLead : 0) | (IsSjisTrail(b) ? kTrail : 0));
        }
    }
};
const ByteClasses kClasses;
}  // namespace

class Terminal::Sink final : public IKanjiSink {
  public:
    explicit Sink(Terminal& t) : t_(t) {}
    void SingleByte(uint8_t b) override { t_.singleByte(b); }
    void DoubleByte(uint8_t lead, uint8_t trail) override { t_.doubleByte(lead, trail); }

  private:
    Terminal& t_;
};

class Terminal::XtermPort final : public IXtermPort {
  public:
    explicit XtermPort(Terminal& t) : t_(t) {}
    void ScrollIntoHistory() override { t_.scrollIntoHistory(); }
    void Answer(const std::string& bytes) override {
        if (t_.hooks_) t_.hooks_->OnAnswer(bytes);
    }
    void Title(const std::string& bytes) override {
        if (!t_.hooks_) return;
        // The title comes in the line's code; the window shows it in Shift-JIS.
        KanjiDecoder d;
        d.SetCode(t_.decoder_.Code());
        std::string sjis;
        d.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), sjis);
        sjis.erase(std::remove_if(sjis.begin(), sjis.end(),
                                  [](char c) { return static_cast<uint8_t>(c) < 0x20; }),
                   sjis.end());
        t_.hooks_->OnTitle(sjis);
    }
    void Bell() override {
        if (t_.hooks_) t_.hooks_->OnBell();
    }

  private:
    Terminal& t_;
};

Terminal::Terminal(const Settings& settings, int views)
    : settings_(settings),
      buffer_(settings.BufferLines()),
      state_(buffer_, settings.ScreenRows()),
      sink_(std::make_unique<Sink>(*this)),
      xtermPort_(std::make_unique<XtermPort>(*this)),
      xterm_(std::make_unique<Xterm>(buffer_, state_, *xtermPort_)) {
    if (views > 0) addView(settings.ScreenRows(), kBufferColumns);
    applySettings();
}

Terminal::~Terminal() {
    for (auto& v : views_) state_.RemoveListener(v.get());
}

const TerminalModes& Terminal::Modes() const {
    static const TerminalModes kDefaults;
    return emulation_ == kXterm ? xterm_->Modes() : kDefaults;
}

void Terminal::addView(int rows, int columns) {
    auto lock = buffer_.Lock();
    auto view = std::make_unique<TerminalView>(buffer_, state_, rows, columns);
    view->SetVtMode(vt_);
    view->SetSizesScreen(views_.empty());
    view->PlaceAtEnd();
    state_.AddListener(view.get());
    views_.push_back(std::move(view));
}

TerminalView& Terminal::SplitView() {
    if (views_.empty()) addView(state_.ScreenRows(), state_.ScreenColumns());
    if (views_.size() < 2) addView(views_[0]->VisibleRows(), views_[0]->VisibleColumns());
    return *views_[1];
}

void Terminal::UnsplitView() {
    if (views_.size() < 2) return;
    auto lock = buffer_.Lock();
    state_.RemoveListener(views_.back().get());
    views_.pop_back();
    SetActiveView(0);
}

void Terminal::SetActiveView(int i) {
    if (i < 0 || i >= ViewCount()) return;
    active_ = i;
    for (int k = 0; k < ViewCount(); ++k) views_[static_cast<size_t>(k)]->SetSizesScreen(k == i);
}

void Terminal::AddCaptureSink(ICaptureSink* sink) {
    if (sink && std::find(captures_.begin(), captures_.end(), sink) == captures_.end())
        captures_.push_back(sink);
}

void Terminal::RemoveCaptureSink(ICaptureSink* sink) {
    captures_.erase(std::remove(captures_.begin(), captures_.end(), sink), captures_.end());
}

void Terminal::applySettings() {
    decoder_.SetCode(settings_.ReceiveCode());
    if (settings_.BufferLines() != buffer_.Lines()) ResizeBuffer();
    if (settings_.EmulationMode() != emulation_) Reset();
    autoMargin_ = settings_.AutoMargin != 0;
    bsDel_ = settings_.BSDel != 0;
    rcvCrLf_ = settings_.RcvCRLF != 0;
    rcvLfCr_ = settings_.RcvLFCR != 0;
    kanaShiftOn_ = settings_.SISO != 0 && settings_.DataLen == 7;
    if (!kanaShiftOn_) kanaShift_ = false;
    clearUp_ = settings_.ClearUp;
}

void Terminal::Reset() {
    auto lock = buffer_.Lock();
    flushDisplay();
    if (emulation_ == kXterm) xterm_->Reset();  // the main screen back before anything moves
    emulation_ = settings_.EmulationMode();
    vt_ = emulation_ != 0;
    endEscape();
    kanaShift_ = false;
    // What arrives next starts on a fresh line below the text, never over it.
    if (buffer_.TextEnd() >= buffer_.Lines()) makeRoom();
    if (!vt_) {
        // Trailing blank lines (a VT screen's unused rows) are no part of the log.
        buffer_.SetLastLine(buffer_.TextEnd());
        buffer_.SetDumbColumn(0);
    }
    state_.SetVtMode(vt_);
    state_.SetScreenSize(state_.ScreenRows(), state_.ScreenColumns());
    for (auto& v : views_) {
        v->SetVtMode(vt_);
        v->SetVisibleSize(v->VisibleRows(), v->VisibleColumns());
    }
    state_.PlaceBelowText();
    for (auto& v : views_) v->PlaceBelowText();
    if (emulation_ == kXterm) xterm_->Reset();
}

void Terminal::StartNewStream() {
    auto lock = buffer_.Lock();
    decoder_.Reset();
    endEscape();
    kanaShift_ = false;
    autoPrimed_ = false;
}

void Terminal::ResizeBuffer() {
    auto lock = buffer_.Lock();
    flushDisplay();
    buffer_.Resize(settings_.BufferLines());
    state_.SetScreenSize(state_.ScreenRows(), state_.ScreenColumns());
    for (auto& v : views_) v->SetVisibleSize(v->VisibleRows(), v->VisibleColumns());
    state_.PlaceAtEnd();
    for (auto& v : views_) v->PlaceAtEnd();
}

void Terminal::ClearBuffer() {
    auto lock = buffer_.Lock();
    pendingCount_ = 0;
    buffer_.Clear();
    decoder_.DropPendingLead();
    state_.Clear();
    for (auto& v : views_) v->OnClear();
}

void Terminal::ProcessReceived(const uint8_t* bytes, size_t count, LineTime arrived) {
    if (!bytes || count == 0) return;
    auto lock = buffer_.Lock();
    dec_ = &decoder_;
    stamps_.SetForm(settings_.TimeStamp);
    if (!stamps_.On()) {
        process(bytes, count);
        return;
    }
    if (!arrived.Set()) arrived = stamps_.Now();
    // The bytes before a line's first one are processed first, so that the cursor stands where
    // that byte lands (or, for an empty line, on the line its line end closes).
    size_t from = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!stamps_.StartsLine(bytes[i])) continue;
        if (i > from) process(bytes + from, i - from);
        from = i;
        int line, column;
        state_.GetCursor(line, column);
        buffer_.SetLineTime(line, arrived);
    }
    process(bytes + from, count - from);
}

void Terminal::ProcessLocal(const uint8_t* bytes, size_t count) {
    if (!bytes || count == 0) return;
    auto lock = buffer_.Lock();
    dec_ = &echoDecoder_;
    process(bytes, count);
    dec_ = &decoder_;
}

void Terminal::process(const uint8_t* bytes, size_t count) {
    applySettings();
    textWatch_ = hooks_ && hooks_->WantsTextBytes();
    batchRemaining_ = 0;
    if (!vt_ && settings_.ScrollSpeed != 0) {
        const uint8_t* end = bytes + count;
        int lines = static_cast<int>(std::count(bytes, end, kLf));
        if (rcvCrLf_) lines += static_cast<int>(std::count(bytes, end, kCr));
        batchRemaining_ = lines;
    }
    forEachView([](TerminalView& v) { v.OnBlockBegin(); });
    // A VT block's changes reach the views once, at its end: a full-screen redraw would otherwise
    // notify them for every character.
    const bool oneReport = vt_;
    if (oneReport) state_.BeginBlock();
    if (batchRemaining_ > 0) {
        // A scrolled view skips drawing from here to the run's last line feed.
        batchOpen_ = true;
        forEachView([](TerminalView& v) { v.OnBatchBegin(); });
    }

    const bool plainSjis = textRuns_ && dec_->Code() == kShiftJis;
    for (size_t i = 0; i < count;) {
        if (plainSjis && !inEscape_ && !kanaShift_ && !dec_->HasPendingLead()) {
            size_t taken = textRun(bytes + i, count - i);
            if (taken) {
                i += taken;
                continue;
            }
        }
        uint8_t b = bytes[i++];
        // A byte of a character ends an xterm sequence (outside a control string): it is text.
        if (inEscape_ && b >= 0x80 && emulation_ == kXterm && !xterm_->InString()) endEscape();
        // Inside an escape sequence every decoder passes bytes straight on; printable ones are
        // collected unless the automatic transfer start must see them first.
        if (plainSjis && inEscape_ && b >= 0x20 &&
            !(hooks_ && (autoPrimed_ || (kClasses.of[b] & kStartByte)))) {
            collect(b);
            continue;
        }
        // Shift-JIS single bytes need no decoding when no lead byte waits for its trail.
        if (plainSjis && (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) && !dec_->HasPendingLead())
            singleByte(b);
        else
            dec_->Feed(b, inEscape_, *sink_);
    }

    flushDisplay();
    if (oneReport) state_.EndBlock();
    if (batchOpen_) {
        batchOpen_ = false;
        forEachView([](TerminalView& v) { v.OnBatchEnd(); });
    }
    batchRemaining_ = 0;
    forEachView([](TerminalView& v) { v.OnBlockEnd(); });
}

void Terminal::singleByte(uint8_t b) {
    if (hooks_ && (autoPrimed_ || IsAutoStartByte(b))) {
        autoPrimed_ = IsAutoStartByte(b);
        if (!hooks_->OnAutoStartByte(b)) return;
    }
    if (emulation_ == kXterm) {
        if (inEscape_ && xtermEscapeByte(b)) return;
        if (b < 32) {
            xtermControl(b);
            return;
        }
        text(b);
        dec_->DropPendingLead();
        putChar(b);
        return;
    }
    if (b < 32) {
        switch (b) {
            case kBel:
                if (hooks_) hooks_->OnBell();
                return;
            case kBs:
                backSpace();
                return;
            case kCr:
                text(b);
                carriageReturn(true);
                return;
            case kLf:
                text(b);
                lineFeed(true);
                return;
            case kTab:
                flushDisplay();
                if (vt_) state_.ForwardTab(1);
                return;
            case kEsc:
                if (vt_)
                    startEscape();
                else
                    putChar(b);
                return;
            case kSo:
            case kSi:
                // SO shifts to half-width katakana, SI back, as 7-bit JIS lines use them.
                if (kanaShiftOn_ && !inEscape_) kanaShift_ = b == kSo;
                return;
            default:
                return;
        }
    }
    if (inEscape_) {
        collect(b);
        return;
    }
    if (kanaShift_ && b >= 0x21 && b <= 0x5F) b = static_cast<uint8_t>(b + 0x80);
    text(b);
    dec_->DropPendingLead();
    putChar(b);
}

void Terminal::doubleByte(uint8_t lead, uint8_t trail) {
    const uint8_t pair[2] = {lead, trail};
    text(lead);
    text(trail);
    if (buffer_.Full()) makeRoom();
    if (emulation_ == kXterm) {
        logByte(lead);
        logByte(trail);
        xterm_->PrintDouble(lead, trail);
        return;
    }
    if (vt_) {
        int line, column;
        state_.GetCursor(line, column);
        if (column >= kBufferColumns - 1) {
            if (autoMargin_) {
                wrapCursor();
                state_.GetCursor(line, column);
            } else {
                column = kBufferColumns - 2;  // both halves must fit on the line
            }
        }
        buffer_.StoreRun(line, column, pair, 2);
        logByte(lead);
        logByte(trail);
        state_.Written(line, column, 2);
        // A character ending in the last column wraps at once, as a single one does.
        if (column + 1 == kBufferColumns - 1 && autoMargin_) wrapCursor();
        return;
    }
    int column = buffer_.DumbColumn();
    if (column >= kBufferColumns - 1) {
        endDumbLine(kBufferColumns - 3);  // without the margin both halves go before the last cell
        column = buffer_.DumbColumn();
    }
    if (pendingCount_ + 2 > kBufferColumns) flushDisplay();
    int line = buffer_.LastLine();
    if (pendingCount_ == 0) {
        pendingLine_ = line;
        pendingColumn_ = column;
    }
    buffer_.StoreRun(line, column, pair, 2);
    logByte(lead);
    logByte(trail);
    pendingCount_ += 2;
    column += 2;
    if (column < kBufferColumns)
        buffer_.SetDumbColumn(column);
    else
        endDumbLine(kBufferColumns - 2);
}

void Terminal::endDumbLine(int overwriteColumn) {
    flushDisplay();
    if (autoMargin_) {
        if (buffer_.Full()) makeRoom();
        buffer_.SetLastLine(buffer_.LastLine() + 1);
        buffer_.SetDumbColumn(0);
        state_.LineFeed();
    } else {
        buffer_.SetDumbColumn(overwriteColumn);
    }
}

size_t Terminal::scanRun(const uint8_t* p, size_t n, int room, bool* endsDouble) const {
    // The automatic transfer start must see its bytes one by one.
    const uint8_t stop = hooks_ != nullptr ? kStartByte : 0;
    size_t limit = std::min(n, static_cast<size_t>(std::max(room, 0)));
    size_t k = 0;
    bool lastDouble = false;
    while (k < limit) {
        uint8_t c = kClasses.of[p[k]];
        if ((c & (kPlain | stop)) == kPlain) {
            ++k;
            lastDouble = false;
        } else if ((c & kLead) && k + 1 < limit && (kClasses.of[p[k + 1]] & kTrail)) {
            k += 2;
            lastDouble = true;
        } else {
            break;
        }
    }
    if (endsDouble) *endsDouble = lastDouble;
    return k;
}

size_t Terminal::textRun(const uint8_t* p, size_t n) {
    if (hooks_ && autoPrimed_) return 0;
    if (buffer_.Full()) {
        if (scanRun(p, n, 2) == 0) return 0;
        makeRoom();
    }
    int line, column;
    size_t k;
    bool endsDouble = false;
    if (vt_) {
        // Up to the column before the last: a character there wraps, which the byte path does.
        state_.GetCursor(line, column);
        int width = kBufferColumns;
        if (emulation_ == kXterm) {
            if (!xterm_->PlainRuns()) return 0;
            width = xterm_->Width();
        }
        k = scanRun(p, n, width - 1 - column, &endsDouble);
        if (k == 0) return 0;
        if (emulation_ == kXterm) xterm_->RunWritten(endsDouble ? 0 : p[k - 1]);
        flushDisplay();
        buffer_.StoreRun(line, column, p, static_cast<int>(k));
        if (!captures_.empty())
            for (size_t i = 0; i < k; ++i) logByte(p[i]);
        if (textWatch_)
            for (size_t i = 0; i < k; ++i) hooks_->OnTextByte(p[i]);
        state_.Written(line, column, static_cast<int>(k));  // the cursor moves past the run
        return k;
    } else {
        line = buffer_.LastLine();
        column = buffer_.DumbColumn();
        k = scanRun(p, n, kBufferColumns - column, &endsDouble);
        if (k == 0) return 0;
        if (pendingCount_ != 0 &&
            (pendingLine_ != line || pendingColumn_ + pendingCount_ != column))
            flushDisplay();
    }
    if (pendingCount_ == 0) {
        pendingLine_ = line;
        pendingColumn_ = column;
    }
    buffer_.StoreRun(line, column, p, static_cast<int>(k));
    pendingCount_ += static_cast<int>(k);
    if (!captures_.empty())
        for (size_t i = 0; i < k; ++i) logByte(p[i]);
    if (textWatch_)
        for (size_t i = 0; i < k; ++i) hooks_->OnTextByte(p[i]);
    column += static_cast<int>(k);
    if (column < kBufferColumns)
        buffer_.SetDumbColumn(column);
    else  // as putChar or doubleByte would leave it, by what filled the last cell
        endDumbLine(endsDouble ? kBufferColumns - 2 : kBufferColumns - 1);
    return k;
}

void Terminal::wrapCursor() {
    if (state_.CursorRow() >= state_.ScreenRows() - 1)
        state_.MoveCursor(false, 1, 1);
    else
        state_.MoveCursor(false, 1, state_.Row1() + 1);
}

void Terminal::putChar(uint8_t b) {
    if (buffer_.Full()) makeRoom();
    if (emulation_ == kXterm) {
        logByte(b);
        xterm_->Print(b);
        return;
    }
    if (vt_) {
        int line, column;
        state_.GetCursor(line, column);
        buffer_.Store(line, column, b);
        logByte(b);
        state_.Written(line, column, 1);
        if (column == kBufferColumns - 1 && autoMargin_) wrapCursor();
        return;
    }
    int line = buffer_.LastLine();
    int column = buffer_.DumbColumn();
    if (pendingCount_ >= kBufferColumns) flushDisplay();
    if (pendingCount_ == 0) {
        pendingLine_ = line;
        pendingColumn_ = column;
    }
    buffer_.Store(line, column, b);
    logByte(b);
    ++pendingCount_;
    if (++column < kBufferColumns)
        buffer_.SetDumbColumn(column);
    else
        endDumbLine(kBufferColumns - 1);  // without the margin, later characters overwrite it
}

void Terminal::lineFeed(bool expand) {
    if (expand && rcvLfCr_) carriageReturn(false);
    logByte(kLf);
    flushDisplay();
    bool batched = batchOpen_ && batchRemaining_ > 0;
    if (batched) --batchRemaining_;
    if (vt_) {
        int line, column;
        state_.GetCursor(line, column);
        if (line >= buffer_.LastLine()) {
            if (buffer_.Full()) makeRoom();
            buffer_.SetLastLine(buffer_.LastLine() + 1);
            buffer_.BlankLine(buffer_.LastLine());
        }
    } else {
        if (buffer_.Full()) makeRoom();
        buffer_.SetLastLine(buffer_.LastLine() + 1);
    }
    state_.LineFeed();
    if (batched && batchRemaining_ == 0) {
        batchOpen_ = false;
        forEachView([](TerminalView& v) { v.OnBatchEnd(); });
    }
}

void Terminal::scrollIntoHistory() {
    int line, column;
    state_.GetCursor(line, column);
    if (line >= buffer_.LastLine()) {
        if (buffer_.Full()) makeRoom();
        buffer_.SetLastLine(buffer_.LastLine() + 1);
    }
    state_.LineFeed();
}

bool Terminal::xtermEscapeByte(uint8_t b) {
    logEscapeByte(b);
    switch (xterm_->Feed(b)) {
        case Xterm::kMore:
            return true;
        case Xterm::kEnd:
            endEscape();
            return true;
        case Xterm::kAgain:
            endEscape();
            return false;
        case Xterm::kControl:
            return false;
    }
    return true;
}

void Terminal::xtermControl(uint8_t b) {
    switch (b) {
        case kBel:
            if (hooks_) hooks_->OnBell();
            break;
        case kBs:
            for (ICaptureSink* s : captures_) s->BackStep();
            xterm_->BackSpace();
            break;
        case kTab:
            xterm_->Tab();
            break;
        case kCr:
            text(b);
            logByte(kCr);
            xterm_->CarriageReturn();
            if (rcvCrLf_) xterm_->LineFeed();
            break;
        case kLf:
        case kVt:
        case kFf:
            if (b == kLf) text(b);
            if (rcvLfCr_) xterm_->CarriageReturn();
            logByte(kLf);
            xterm_->LineFeed();
            break;
        case kEsc:
            if (inEscape_) break;  // the sequence started again
            startEscape();
            xterm_->Begin();
            break;
        case kSo:
        case kSi:
            xterm_->Shift(b == kSo);
            break;
        default:
            break;
    }
}

void Terminal::carriageReturn(bool expand) {
    logByte(kCr);
    flushDisplay();
    buffer_.SetDumbColumn(0);
    state_.CarriageReturn();
    if (expand && rcvCrLf_) lineFeed(false);
}

void Terminal::backSpace() {
    if (!vt_ && buffer_.DumbColumn() == 0) return;
    for (ICaptureSink* s : captures_) s->BackStep();
    flushDisplay();
    if (vt_) {
        state_.BackSpace();
        return;
    }
    int column = buffer_.DumbColumn() - 1;
    buffer_.SetDumbColumn(column);
    if (bsDel_) {
        buffer_.SetChar(buffer_.LastLine(), column, 0);
        state_.BackSpace();
    }
}

void Terminal::makeRoom() {
    flushDisplay();
    int n = buffer_.RoomLines(clearUp_);
    // A VT screen keeps its own lines: only history above it is dropped, unless the screen fills
    // the whole buffer.
    if (vt_) n = std::max(1, std::min(n, state_.ScreenTop()));
    n = buffer_.DropOldest(n);
    state_.LinesDropped(n);
}

void Terminal::flushDisplay() {
    if (pendingCount_ == 0) return;
    state_.Written(pendingLine_, pendingColumn_, pendingCount_);
    pendingCount_ = 0;
}

void Terminal::startEscape() {
    flushDisplay();
    inEscape_ = true;
    escapeLength_ = 0;
    escape_[0] = 0;
    vt52Coordinates_ = 0;
    logEscapeByte(kEsc);
}

void Terminal::endEscape() {
    inEscape_ = false;
    escapeLength_ = 0;
    escape_[0] = 0;
    vt52Coordinates_ = 0;
}

void Terminal::collect(uint8_t b) {
    if (emulation_ == kXterm) {
        if (!xtermEscapeByte(b)) singleByte(b);
        return;
    }
    if (escapeLength_ >= kMaxEscape) {
        endEscape();  // too long: abandoned, and this byte with it
        return;
    }
    flushDisplay();
    escape_[static_cast<size_t>(escapeLength_++)] = b;
    escape_[static_cast<size_t>(escapeLength_)] = 0;
    logEscapeByte(b);
    bool complete;
    if (emulation_ == 2) {
        if (vt52Coordinates_ > 0)
            complete = --vt52Coordinates_ == 0;
        else if (escapeLength_ == 1 && b == 'Y')
            complete = (vt52Coordinates_ = 2, false);
        else
            complete = Vt52SequenceEnds(b);
    } else {
        complete = Vt100SequenceComplete(b, escapeLength_);
    }
    if (!complete) return;
    state_.Escape(escape_.data(), escapeLength_, emulation_ == 2);
    endEscape();
}

void Terminal::logByte(uint8_t b) {
    for (ICaptureSink* s : captures_) s->Put(b);
}

void Terminal::logEscapeByte(uint8_t b) {
    for (ICaptureSink* s : captures_)
        if (s->WantsEscapes()) s->Put(b);
}

bool Terminal::SaveScreenFile(const std::string& path, bool withText) const {
    std::string text;
    if (withText) {
        auto lock = buffer_.Lock();
        text = buffer_.SaveText();
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

Terminal::LoadResult Terminal::LoadScreenFile(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return kLoadMissing;
    if (ec || status.type() != std::filesystem::file_type::regular) return kLoadFailed;
    std::string text;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return kLoadFailed;
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return kLoadFailed;
    } catch (const std::exception&) {
        return kLoadFailed;
    }
    auto lock = buffer_.Lock();
    pendingCount_ = 0;
    buffer_.LoadText(text, vt_ ? std::min(settings_.ScreenRows(), buffer_.Lines() - 1) : 0);
    state_.PlaceAtEnd();
    for (auto& v : views_) v->PlaceAtEnd();
    return kLoadOk;
}

}  // namespace marlo
