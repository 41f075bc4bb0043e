#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "terminal/CaptureSink.h"
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

namespace marlo {
namespace {

struct Hooks : ITerminalHooks {
    bool WantsTextBytes() const override { return wantText; }
    void OnTextByte(uint8_t b) override { text += static_cast<char>(b); }
    void OnBell() override { ++bells; }
    bool OnAutoStartByte(uint8_t b) override {
        seen += static_cast<char>(b);
        return b != 0x05 && !(b == '0' && swallowZero);
    }
    bool wantText = true;
    bool swallowZero = false;
    std::string text, seen;
    int bells = 0;
};

TEST(Terminal, TextBytesAreThePrintableDecodedBytesAndLineEnds) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    Hooks h;
    t.SetHooks(&h);
    Feed(t, "a\x07\x08\t\x05\x1b[1mb\r\n\x88\x9f");
    EXPECT_EQ(h.text, "ab\r\n\x88\x9f");
    EXPECT_EQ(h.bells, 1);
    h.text.clear();
    h.wantText = false;
    Feed(t, "xyz");
    EXPECT_EQ(h.text, "");
}

TEST(Terminal, AutoStartSeesItsBytesAndCanSwallowThem) {
    Settings s;
    Terminal t(s);
    Hooks h;
    t.SetHooks(&h);
    h.swallowZero = true;
    Feed(t,
         "ab**\x18"
         "B00x\x05y");
    // The start bytes, and the first other byte after them (which resets a partial pattern).
    EXPECT_EQ(h.seen,
              "**\x18"
              "B00x\x05y");
    EXPECT_EQ(t.Buffer().LineText(0), "ab**Bxy");
}

TEST(Terminal, CaptureSinksGetTheWritePoints) {
    Settings s;
    s.RcvCRLF = 1;
    Terminal t(s);
    CaptureRecorder a, b;
    t.AddCaptureSink(&a);
    t.AddCaptureSink(&b);
    t.AddCaptureSink(&a);  // added once only
    Feed(t,
         "abc\x08"
         "d\r\x1b"
         "e\x88\x9f");
    EXPECT_EQ(a.bytes,
              "abd\r\n\x1b"
              "e\x88\x9f");
    EXPECT_EQ(b.bytes, a.bytes);
    t.RemoveCaptureSink(&b);
    Feed(t, "z");
    EXPECT_EQ(b.bytes.back(), '\x9f');
    EXPECT_EQ(a.bytes.back(), 'z');
}

TEST(Terminal, FullBufferDropsTenLinesBeforeTheNextCharacter) {
    Settings s;  // BufferSize 1000, ClearUp 1
    Terminal t(s);
    std::string lines;
    for (int i = 0; i < 999; ++i) lines += "line " + std::to_string(i) + "\r\n";
    Feed(t, lines);
    EXPECT_EQ(t.Buffer().LastLine(), 999);
    Feed(t, "x");
    EXPECT_EQ(t.Buffer().LastLine(), 989);
    EXPECT_EQ(t.Buffer().LineText(0), "line 10");
    EXPECT_EQ(t.Buffer().LineText(989), "x");
    // The view still shows the end of the buffer.
    EXPECT_EQ(t.ActiveView().TopLine(), 989 - 23);
}

TEST(Terminal, TinyBufferWithTinyClearUpStillDropsALine) {
    Settings s;
    s.BufferSize = 30;
    s.ClearUp = 1;
    Terminal t(s);
    for (int i = 0; i < 100; ++i) Feed(t, std::to_string(i) + "\r\n");
    EXPECT_LE(t.Buffer().LastLine(), 29);
    EXPECT_EQ(t.Buffer().LineText(t.Buffer().LastLine() - 1), "99");
}

TEST(Terminal, VtScreenSurvivesAFullBuffer) {
    Settings s;
    s.Emulation = 1;
    s.BufferSize = 40;
    s.ClearUp = 50;
    s.LineColumn = {80, 24};
    Terminal t(s);
    for (int i = 0; i < 200; ++i) Feed(t, "row " + std::to_string(i) + "\r\n");
    Feed(t, "\x1b[1;1Htop");
    // Only history above the screen was dropped: the screen shows the last 23 rows and the cursor
    // line, and the row written at the top is the one shown there.
    const TerminalView& v = t.ActiveView();
    EXPECT_EQ(t.Buffer().LineText(v.TopLine() + 22), "row 199");
    EXPECT_EQ(t.Buffer().LineText(v.TopLine()), "top 177");
    EXPECT_LE(v.TopLine() + 23, t.Buffer().LastLine());
    EXPECT_LT(t.Buffer().LastLine(), 40);
}

TEST(Terminal, ClearBufferInVtModeStartsAFullScreen) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    Feed(t, "abc\x1b[1;31m");
    t.ClearBuffer();
    EXPECT_EQ(t.Buffer().LastLine(), 23);
    EXPECT_EQ(t.Buffer().Attributes().fore, 0);
    EXPECT_EQ(t.ActiveView().Row1(), 1);
    Feed(t, "\x1b[24;1H\n");
    EXPECT_EQ(t.Buffer().LastLine(), 24);
    EXPECT_EQ(t.ActiveView().TopLine(), 1);
}

TEST(Terminal, ReceivedTextIsStoredWhateverHasTheFocus) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    t.ActiveView().SetFocused(false);
    Feed(t, "kept");
    EXPECT_EQ(t.Buffer().LineText(0), "kept");
}

// The cursor is the terminal's: both panes of a split window show it where the stream put it,
// whichever pane has the focus.
TEST(Terminal, SplitViewsShowOneCursor) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    TerminalView& second = t.SplitView();
    t.SetActiveView(1);
    Feed(t, "\x1b[5;7Hx");
    EXPECT_EQ(second.Row1(), 5);
    EXPECT_EQ(t.View(0).Row1(), 5);
    EXPECT_EQ(t.View(0).Col1(), 8);

    s.Emulation = 0;
    Feed(t, "1\r\n2\r\n");  // the emulation change applies from this run
    EXPECT_FALSE(second.VtMode());
    int line0, col0, line1, col1;
    t.View(0).GetCursor(line0, col0);
    second.GetCursor(line1, col1);
    EXPECT_EQ(line0, line1);
    t.UnsplitView();
    EXPECT_EQ(t.ViewCount(), 1);
}

// A window made shorter than the cursor's row keeps the cursor on its line in every VT mode, so
// the host's next line does not overwrite older text (the shell redraws its prompt there).
TEST(Terminal, AShorterScreenKeepsTheCursorOnItsLine) {
    for (int emulation : {1, 3}) {
        SCOPED_TRACE(emulation);
        Settings s;
        s.Emulation = emulation;
        Terminal t(s);
        t.ActiveView().SetVisibleSize(20, 80);
        for (int i = 0; i < 12; ++i) Feed(t, "line " + std::to_string(i) + "\r\n");
        Feed(t, "$ ");
        int before, column;
        t.ActiveView().GetCursor(before, column);
        t.ActiveView().SetVisibleSize(8, 80);
        int after;
        t.ActiveView().GetCursor(after, column);
        EXPECT_EQ(after, before);
        EXPECT_EQ(column, 2);
        EXPECT_EQ(t.State().CursorRow(), 7);
        Feed(t, "ok\r\nnext");
        EXPECT_EQ(t.Buffer().LineText(before), "$ ok");
        EXPECT_EQ(t.Buffer().LineText(before - 1), "line 11");
    }
}

// A reset (a host entry's, an emulation change) never puts what arrives next over the text the
// buffer holds: it starts at the beginning of the line after the last text.
TEST(Terminal, ResetStartsBelowTheText) {
    struct Case {
        const char* name;
        int fromEmulation, toEmulation, bufferSize;
        std::string before;
        int expectLine;  // where the next text lands; -1: wherever the full buffer made room
    } cases[] = {
        {"dumb to VT, short screen", 0, 1, 1000, "a\r\nb\r\nc", 3},
        {"dumb to VT, history beyond the screen", 0, 1, 1000, std::string(60, '\n') + "x", 61},
        {"VT cursor far below the text", 1, 1, 1000, "top\x1b[20;5H", 1},
        {"VT to dumb drops the blank screen rows", 1, 0, 1000, "p\r\nq", 2},
        {"VT to VT52 after a cleared screen", 1, 2, 1000, "old\x1b[2J\x1b[5;1Hnew", 5},
        {"text on the buffer's last line", 0, 1, 40, std::string(45, '\n') + "end", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        s.Emulation = c.fromEmulation;
        s.BufferSize = c.bufferSize;
        Terminal t(s);
        Feed(t, c.before);
        const std::string last = t.Buffer().LineText(t.Buffer().TextEnd() - 1);
        s.Emulation = c.toEmulation;
        t.Reset();
        Feed(t, "N");
        const int line = t.Buffer().TextEnd() - 1;
        EXPECT_EQ(t.Buffer().LineText(line), "N");
        EXPECT_EQ(t.Buffer().LineText(line - 1), last);
        if (c.expectLine >= 0) {
            EXPECT_EQ(line, c.expectLine);
        }
        TerminalView& v = t.ActiveView();
        if (c.toEmulation) {
            int cursorLine, cursorColumn;
            v.GetCursor(cursorLine, cursorColumn);
            EXPECT_EQ(cursorLine, line);
            EXPECT_EQ(cursorColumn, 1);
            EXPECT_LT(line, v.ScreenTop() + v.VisibleRows());
        } else {
            EXPECT_EQ(t.Buffer().LastLine(), line);
            EXPECT_EQ(t.Buffer().DumbColumn(), 1);
        }
    }
}

struct Painter : ITerminalPainter {
    void ScrolledBy(int lines) override { scrolls.push_back(lines); }
    void InvalidateCells(int row, int first, int last) override {
        ++cells;
        for (int c = first; row == 0 && c <= last; ++c) topRow.insert(c);
    }
    std::vector<int> scrolls;
    int cells = 0;
    std::set<int> topRow;  // the columns of row 0 repainted
};

// The half of a double-byte character that a write or an erase leaves behind turns blank, so the
// view must repaint it too.
TEST(Terminal, TheBlankedHalfOfACharacterIsRepainted) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    const struct {
        const char* overwrite;
        int blanked;
    } cases[] = {
        {"\x1b[1;1HX", 1}, {"\x1b[1;2HX", 0}, {"\x1b[1;2H\x1b[K", 0}, {"\x1b[1;3H\x1b[1K", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.overwrite);
        Feed(t, "\x1b[1;1H\x8a\xbf\x8e\x9a");
        Painter p;
        t.ActiveView().SetPainter(&p);
        Feed(t, c.overwrite);
        t.ActiveView().SetPainter(nullptr);
        EXPECT_EQ(t.Buffer().Chars(0)[c.blanked], ' ');
        EXPECT_TRUE(p.topRow.count(c.blanked));
    }
}

// In the VT modes a received block reaches the views once, however many characters it writes:
// the caret moves once (and once more as the block ends), and every row written is repainted.
TEST(Terminal, AVtBlockReachesTheViewsOnce) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    struct Rows : Painter {
        void InvalidateCells(int row, int first, int last) override {
            Painter::InvalidateCells(row, first, last);
            rows.insert(row);
        }
        void InvalidateAll() override { ++all; }
        void CaretMoved(int, int) override { ++carets; }
        std::set<int> rows;
        int all = 0, carets = 0;
    } p;
    t.ActiveView().SetPainter(&p);
    std::string redraw = "\x1b[H";
    for (int r = 1; r <= 24; r += 2)
        redraw += "\x1b[" + std::to_string(r) + ";1H\x1b[1;3" + std::to_string(r % 8) + "mrow " +
                  std::to_string(r) + "\x1b[0m\x1b[K";
    Feed(t, redraw);
    EXPECT_EQ(p.carets, 2);
    EXPECT_EQ(p.all, 0);
    for (int r = 0; r < 23; r += 2) EXPECT_TRUE(p.rows.count(r)) << r;
    EXPECT_EQ(p.cells, 23);  // one span per row, from the first row written to the last

    // Lines inserted anywhere in the block: one repaint of everything.
    p.carets = p.cells = 0;
    Feed(t, "a\x1b[3Lb\r\nc");
    EXPECT_EQ(p.all, 1);
    EXPECT_EQ(p.cells, 0);
    EXPECT_EQ(p.carets, 2);
    t.ActiveView().SetPainter(nullptr);

    // A block that fills a short buffer drops lines on the way: the view, told once, ends on the
    // screen and shows the block's last line at the cursor.
    s.BufferSize = 40;
    Terminal small(s);
    Rows q;
    small.ActiveView().SetPainter(&q);
    std::string lines = "\x1b[24;1H";
    for (int i = 0; i < 60; ++i) lines += "\r\nline " + std::to_string(i);
    Feed(small, lines);
    const TerminalView& v = small.ActiveView();
    EXPECT_EQ(q.all, 1);
    EXPECT_EQ(q.carets, 2);
    EXPECT_EQ(v.TopLine(), v.ScreenTop());
    EXPECT_LE(v.TopLine() + v.VisibleRows(), small.Buffer().Lines());
    int line, column;
    v.GetCursor(line, column);
    EXPECT_EQ(small.Buffer().LineText(line), "line 59");
    small.ActiveView().SetPainter(nullptr);
}

TEST(Terminal, AScrolledDumbViewScrollsOncePerReceivedRun) {
    Settings s;
    Terminal t(s);
    std::string screen;
    for (int i = 0; i < 30; ++i) screen += "x\r\n";
    Feed(t, screen);
    ASSERT_GT(t.ActiveView().TopLine(), 0);
    Painter p;
    t.ActiveView().SetPainter(&p);
    Feed(t, "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(p.scrolls, std::vector<int>{4});
    EXPECT_EQ(p.cells, 0);
    EXPECT_EQ(t.ActiveView().TopLine(), t.Buffer().LastLine() - 23);

    s.ScrollSpeed = 0;
    p.scrolls.clear();
    Feed(t, "a\r\nb\r\n");
    EXPECT_EQ(p.scrolls, (std::vector<int>{1, 1}));
    t.ActiveView().SetPainter(nullptr);
}

// Without the automatic margin a line filled in one received run leaves the write position in the
// last cell after the run's last display message; the caret still ends there, as it does when the
// bytes come one by one.
TEST(Terminal, DumbCaretEndsAtTheWritePositionAfterAFullLine) {
    Settings s;
    s.AutoMargin = 0;
    std::string kanji;
    for (int i = 0; i < 42; ++i) kanji += "\x88\x9f";
    for (const std::string& bytes : {std::string(80, 'x'), kanji + "XY"}) {
        Terminal block(s), single(s);
        Feed(block, bytes);
        for (char c : bytes) Feed(single, std::string(1, c));
        EXPECT_EQ(block.ActiveView().CursorColumn(), 79);
        EXPECT_EQ(single.ActiveView().CursorColumn(), 79);
    }
}

TEST(Terminal, EscapeCollectionSurvivesRunBoundaries) {
    Settings s;
    s.Emulation = 1;
    Terminal t(s);
    Feed(t, "\x1b[");
    EXPECT_TRUE(t.InEscape());
    Feed(t, "3");
    EXPECT_STREQ(reinterpret_cast<const char*>(t.EscapeText()), "[3");
    Feed(t, ";4Hz");
    EXPECT_FALSE(t.InEscape());
    EXPECT_EQ(t.Buffer().LineText(2), "   z");
}

class ScreenFile : public testing::Test {
  protected:
    test::TempDir tmp;
    std::filesystem::path dir = tmp.path;
    std::string path = (dir / "lglog.txt").string();
};

TEST_F(ScreenFile, MissingAndUnreadableFiles) {
    Settings s;
    Terminal t(s);
    EXPECT_EQ(t.LoadScreenFile((dir / "none.txt").string()), Terminal::kLoadMissing);
    Feed(t, "text");
    ASSERT_TRUE(t.SaveScreenFile(path, false));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(t.LoadScreenFile(dir.string()), Terminal::kLoadFailed);
    EXPECT_FALSE(t.SaveScreenFile((dir / "no" / "such" / "dir.txt").string()));
}

TEST_F(ScreenFile, VtLoadKeepsAWholeScreenInUse) {
    Settings s;
    s.Emulation = 1;
    std::ofstream(path, std::ios::binary) << "a\r\nb\r\n";
    Terminal t(s);
    EXPECT_EQ(t.LoadScreenFile(path), Terminal::kLoadOk);
    EXPECT_EQ(t.Buffer().LastLine(), 23);
    EXPECT_EQ(t.ActiveView().Row1(), 1);
    EXPECT_EQ(t.ActiveView().Col1(), 1);
}

// The terminal keeps its screen and cursor itself: a stream fed with no view attached leaves the
// same cells, attributes, tab stops and cursor as with two split views attached, whichever pane
// has the focus, and both panes show the terminal's cursor.
TEST(Terminal, StateWithoutAViewMatchesTwoSplitViews) {
    std::mt19937 rng(25);
    const std::string pieces[] = {"abc ",
                                  "\r\n",
                                  "\n",
                                  "\r",
                                  "\b",
                                  "\t",
                                  "\x1b[2J",
                                  "\x1b[H",
                                  "\x1b[5;70H",
                                  "\x1b[24;1H",
                                  "\x1b[1;31m",
                                  "\x1b[m",
                                  "\x1b[3L",
                                  "\x1b[2M",
                                  "\x88\x9f",
                                  "\x1b[K",
                                  "\x1b[1K",
                                  "\x1b[J",
                                  "\x1b[1J",
                                  "\x1b[3A",
                                  "\x1b[2B",
                                  "\x1b[4C",
                                  "\x1b[9D",
                                  "\x1b"
                                  "7",
                                  "\x1b"
                                  "8",
                                  "\x1bH",
                                  "\x1b[3g",
                                  "\x1b[2Z",
                                  "\x1bM",
                                  "0123456789"};
    for (int trial = 0; trial < 20; ++trial) {
        Settings s;
        s.Emulation = 1 + trial % 2;  // VT100 and VT52 (which ignores what it does not know)
        s.AutoMargin = trial % 3 != 0;
        s.BufferSize = trial % 4 ? 60 : 1000;
        s.ClearUp = 10;
        Terminal alone(s, 0), split(s);
        split.SplitView();
        std::string stream;
        for (int i = 0; i < 800; ++i) stream += pieces[rng() % std::size(pieces)];
        for (size_t at = 0; at < stream.size(); at += 113) {
            split.SetActiveView(static_cast<int>(at / 113 % 2));
            Feed(alone, stream.substr(at, 113));
            Feed(split, stream.substr(at, 113));
        }
        ScreenDumpOptions all{false, true, true};
        ASSERT_EQ(alone.ViewCount(), 0);
        ASSERT_EQ(DumpScreen(alone, all), DumpScreen(split, all)) << "trial " << trial;
        EXPECT_EQ(alone.Buffer().TabStops(), split.Buffer().TabStops());
        int line, column;
        alone.State().GetCursor(line, column);
        for (int v = 0; v < 2; ++v) {
            int viewLine, viewColumn;
            split.View(v).GetCursor(viewLine, viewColumn);
            EXPECT_EQ(viewLine, line);
            EXPECT_EQ(viewColumn, column);
            EXPECT_EQ(split.View(v).Row1(), alone.State().Row1());
        }
    }
}

// With the time-stamp option on, each buffer line keeps the time its first byte arrived: once for
// a line cut between blocks, on the empty line a line end closes, afresh for text a lone CR
// brings back over the line, and it moves and goes with its line as the buffer drops lines.
TEST(Terminal, LinesKeepTheTimeTheirFirstByteArrived) {
    for (int emulation : {0, 1}) {
        SCOPED_TRACE(emulation);
        Settings s;
        s.TimeStamp = kStampClock;
        s.Emulation = emulation;
        s.BufferSize = 30;
        Terminal t(s);
        auto at = [&t](const std::string& bytes, int64_t ms) {
            t.ProcessReceived(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              LineTime{ms, ms - 1000});
        };
        auto timeOf = [&t](int line) { return t.Buffer().LineTimeOf(line).wallMs; };
        at("ab", 1001);
        at("c\r\nde", 1002);
        at("f\r\n\r\ng", 1003);
        at("h\r", 1004);  // CR LF cut between blocks: one line end
        at("\ni", 1005);
        at("\r\nold\r", 1006);
        at("new\r\n", 1007);  // over the same line
        EXPECT_EQ(t.Buffer().LineText(0), "abc");
        EXPECT_EQ(timeOf(0), 1001);
        EXPECT_EQ(timeOf(1), 1002);
        EXPECT_EQ(timeOf(2), 1003);  // the empty line
        EXPECT_EQ(t.Buffer().LineText(3), "gh");
        EXPECT_EQ(timeOf(3), 1003);
        EXPECT_EQ(t.Buffer().LineText(4), "i");
        EXPECT_EQ(timeOf(4), 1005);
        EXPECT_EQ(t.Buffer().LineText(5), "new");
        EXPECT_EQ(timeOf(5), 1007);
        EXPECT_EQ(t.Buffer().LineTimeOf(5).sinceOriginMs, 7);
        // Received CR as CR LF: each CR-only line is a line of its own.
        s.RcvCRLF = 1;
        at("p\r", 1008);
        at("q\r", 1009);
        EXPECT_EQ(t.Buffer().LineText(6), "p");
        EXPECT_EQ(timeOf(6), 1008);
        EXPECT_EQ(timeOf(7), 1009);
        s.RcvCRLF = 0;
        // Past the buffer's end the oldest lines go, and their times with them.
        for (int n = 100; n < 140; ++n) at("L" + std::to_string(n) + "\r\n", n);
        int seen = 0;
        for (int line = 0; line <= t.Buffer().LastLine(); ++line) {
            const std::string text = t.Buffer().LineText(line);
            if (text.size() != 4 || text[0] != 'L') continue;
            EXPECT_EQ(timeOf(line), std::stoi(text.substr(1))) << text;
            ++seen;
        }
        EXPECT_GT(seen, 20);
        EXPECT_GT(t.Buffer().LineText(0), "L100");  // the oldest lines were dropped
        t.ClearBuffer();
        EXPECT_FALSE(t.Buffer().LineTimeOf(0).Set());
    }
    // Off, nothing is kept.
    Settings s;
    Terminal t(s);
    Feed(t, "abc\r\n");
    EXPECT_FALSE(t.Buffer().LineTimeOf(0).Set());
}

}  // namespace
}  // namespace marlo
