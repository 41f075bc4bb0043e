// The receive path: received bytes go through the kanji decoder, the single-byte path (controls,
// automatic transfer start, the katakana shift), the escape collector and interpreter, into the
// screen buffer and on to the views and the capture sinks.
//
// One Terminal exists for the main frame's life; it owns the screen buffer, the terminal state
// (screen, cursor) and the views onto them: none (headless), one, or two when the window is
// split. Everything here runs on the user-interface thread; other threads read the buffer under
// Buffer().Lock().
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "terminal/KanjiCodec.h"
#include "terminal/LineStamps.h"
#include "terminal/ScreenBuffer.h"
#include "terminal/TerminalModes.h"
#include "terminal/TerminalState.h"
#include "terminal/TerminalView.h"
#include "terminal/Xterm.h"

namespace marlo {

struct Settings;
class ICaptureSink;

// What the rest of the system learns from the receive path. Every call is optional.
class ITerminalHooks {
  public:
    virtual ~ITerminalHooks() = default;
    // Asked once per received run: whether OnTextByte is wanted during it (the dialler's answer
    // parser or a string wait is active).
    virtual bool WantsTextBytes() const { return true; }
    // Each decoded byte that counts as text: printable bytes, both bytes of a kanji, CR and LF
    // as received (not BEL, BS, TAB, ENQ, ESC or the bytes of an escape sequence).
    virtual void OnTextByte(uint8_t /*b*/) {}
    // A BEL was received.
    virtual void OnBell() {}
    // The automatic transfer start: sees ENQ, '*', CAN, 'B' and '0' as they reach the single-byte
    // path, and the first other byte after one of them (which resets a partial start pattern).
    // False when the byte was taken and must not be processed further.
    virtual bool OnAutoStartByte(uint8_t /*b*/) { return true; }
    // xterm: an answer to a host's question (DA, DSR, CPR), to be sent on the line as it is.
    virtual void OnAnswer(const std::string& /*bytes*/) {}
    // xterm: the host set the window title (Shift-JIS, control characters removed).
    virtual void OnTitle(const std::string& /*sjisTitle*/) {}
};

class Terminal {
  public:
    // The settings are read at every received run, so a changed setting applies to the next one.
    // `views` is 1 for a window, 0 for a terminal nobody looks at.
    explicit Terminal(const Settings& settings, int views = 1);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    ScreenBuffer& Buffer() { return buffer_; }
    const ScreenBuffer& Buffer() const { return buffer_; }
    KanjiDecoder& Decoder() { return decoder_; }
    const TerminalState& State() const { return state_; }
    // The modes an xterm host set (the defaults in the other emulations).
    const TerminalModes& Modes() const;

    // Views: one exists from the start (unless none was asked for); a split window adds a second.
    // The active one gives the screen its size.
    int ViewCount() const { return static_cast<int>(views_.size()); }
    TerminalView& View(int i) { return *views_.at(static_cast<size_t>(i)); }
    TerminalView& ActiveView() { return *views_.at(static_cast<size_t>(active_)); }
    const TerminalView& ActiveView() const { return *views_.at(static_cast<size_t>(active_)); }
    TerminalView& SplitView();  // adds the second view (or returns it when it exists)
    void UnsplitView();         // removes the second view
    void SetActiveView(int i);

    void SetHooks(ITerminalHooks* hooks) { hooks_ = hooks; }
    void AddCaptureSink(ICaptureSink* sink);
    void RemoveCaptureSink(ICaptureSink* sink);

    // The one entry of received data. With the `TimeStamp` setting on, each line the bytes start
    // keeps the time they arrived (`arrived`, or now when it is not set) on the buffer line its
    // first byte lands on.
    void ProcessReceived(const uint8_t* bytes, size_t count) {
        ProcessReceived(bytes, count, LineTime{});
    }
    void ProcessReceived(const uint8_t* bytes, size_t count, LineTime arrived);
    // Where the lines' time since the connection counts from, and line starts are found.
    LineStamper& Stamps() { return stamps_; }
    // Typed text echoed locally: the same path, but the bytes are Shift-JIS already and bypass the
    // receive decoder (whose shift state belongs to the line).
    void ProcessLocal(const uint8_t* bytes, size_t count);

    // The buffer-clear command.
    void ClearBuffer();
    // After an emulation change or a host entry's reset: the escape collector and the katakana
    // shift start afresh, the views are set to the new mode, and what arrives next starts on a
    // fresh line below the text rather than over it.
    void Reset();
    // A new connection's bytes: a half character, kanji shift or escape sequence left unfinished
    // by the previous stream is dropped, so that nothing of it joins the new host's first bytes.
    void StartNewStream();
    // Applies a changed BufferSize: reallocates, keeping the newest lines that fit.
    void ResizeBuffer();

    // Plain text is written a line's run at a time; off, every byte takes the byte-by-byte path
    // (the screen comes out the same; tests compare the two).
    void SetTextRuns(bool on) { textRuns_ = on; }

    bool InEscape() const { return inEscape_; }
    const uint8_t* EscapeText() const { return escape_.data(); }  // NUL-terminated
    bool KatakanaShift() const { return kanaShift_; }

    // The screen kept between runs ("lglog.txt"). Save creates or truncates the file and, with
    // `withText`, writes the buffer's lines into it; false when the file cannot be written.
    // Load returns kLoadMissing when there is no file (not an error) and kLoadFailed when it
    // cannot be read; then kLoadScreenFailed is the message to show.
    enum LoadResult { kLoadOk, kLoadMissing, kLoadFailed };
    bool SaveScreenFile(const std::string& path, bool withText = true) const;
    LoadResult LoadScreenFile(const std::string& path);
    static constexpr const char* kLoadScreenFailed = "ログファイルのロードに失敗しました.";

  private:
    class Sink;
    friend class Sink;
    class XtermPort;
    friend class XtermPort;

    void applySettings();
    void process(const uint8_t* bytes, size_t count);
    void singleByte(uint8_t b);
    void doubleByte(uint8_t lead, uint8_t trail);
    void putChar(uint8_t b);
    void lineFeed(bool expand);
    void carriageReturn(bool expand);
    void backSpace();
    void makeRoom();
    void flushDisplay();
    void collect(uint8_t b);
    void startEscape();
    void endEscape();
    // xterm: a byte while a sequence is open; false when it is to be processed as usual.
    bool xtermEscapeByte(uint8_t b);
    void xtermControl(uint8_t b);
    void scrollIntoHistory();
    void logByte(uint8_t b);
    void logEscapeByte(uint8_t b);
    void text(uint8_t b) {
        if (textWatch_) hooks_->OnTextByte(b);
    }
    void wrapCursor();
    // The dumb write column passed the last cell: a new line with the automatic margin, else the
    // column goes back to `overwriteColumn`.
    void endDumbLine(int overwriteColumn);
    // Writes a run of plain text (printable bytes and whole Shift-JIS characters) that stays on
    // the current line in one step; returns the bytes taken, 0 when the next byte needs the
    // byte-by-byte path.
    size_t textRun(const uint8_t* p, size_t n);
    // The length of the plain text at `p` that fits in `room` cells; `endsDouble` tells whether
    // its last character is a double-byte one.
    size_t scanRun(const uint8_t* p, size_t n, int room, bool* endsDouble = nullptr) const;

    template <typename F>
    void forEachView(F f) {
        for (auto& v : views_) f(*v);
    }
    void addView(int rows, int columns);

    const Settings& settings_;
    ScreenBuffer buffer_;
    TerminalState state_;
    LineStamper stamps_;
    KanjiDecoder decoder_;
    KanjiDecoder echoDecoder_;       // Shift-JIS, for the local echo
    KanjiDecoder* dec_ = &decoder_;  // the decoder of the run being processed
    std::unique_ptr<Sink> sink_;
    std::unique_ptr<XtermPort> xtermPort_;
    std::unique_ptr<Xterm> xterm_;
    std::vector<std::unique_ptr<TerminalView>> views_;
    int active_ = 0;
    ITerminalHooks* hooks_ = nullptr;
    std::vector<ICaptureSink*> captures_;

    // Settings of the current run.
    int emulation_ = -1;
    bool vt_ = false;
    bool autoMargin_ = true;
    bool bsDel_ = true;
    bool rcvCrLf_ = false;
    bool rcvLfCr_ = false;
    bool kanaShiftOn_ = false;  // SI/SO honoured (7-bit line)
    int clearUp_ = 1;

    // Escape collector.
    bool inEscape_ = false;
    int escapeLength_ = 0;
    int vt52Coordinates_ = 0;  // bytes still expected after ESC Y
    std::array<uint8_t, 31> escape_{};

    bool kanaShift_ = false;
    bool textRuns_ = true;
    bool textWatch_ = false;
    bool autoPrimed_ = false;
    // The dumb terminal's cells written but not yet reported to the views: a run on one line.
    int pendingLine_ = 0;
    int pendingColumn_ = 0;
    int pendingCount_ = 0;
    // Line-feed batching of the dumb terminal within one received run.
    int batchRemaining_ = 0;
    bool batchOpen_ = false;
};

}  // namespace marlo
