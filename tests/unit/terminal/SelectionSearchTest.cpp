#include <gtest/gtest.h>

#include <optional>

#include "FakeHost.h"
#include "settings/Settings.h"
#include "terminal/Search.h"
#include "terminal/Selection.h"
#include "terminal/ViewModel.h"

namespace marlo {
namespace {

Selection Select(CellPos a, CellPos b) {
    Selection s;
    s.Start(a);
    s.Extend(b);
    return s;
}

struct DumbBuffer : testing::Test {
    DumbBuffer() : terminal(settings) {}
    void SetUp() override {
        Feed(terminal,
             "first line\r\nsecond\r\nab\x88\x9f"
             "cd");
    }
    const ScreenBuffer& B() { return terminal.Buffer(); }
    Settings settings;
    Terminal terminal;
};

TEST_F(DumbBuffer, CopyText) {
    const std::string quote = "\x81\xe2";
    struct Case {
        CellPos from, to;
        std::string quote, text;
    } cases[] = {
        {{0, 0}, {0, 0}, "", ""},       // anchor equals end
        {{0, 6}, {0, 10}, "", "line"},  // within one line
        {{0, 10}, {0, 6}, "", "line"},  // either order
        {{0, 6}, {0, 40}, "", "line"},  // one line: not beyond its text
        {{0, 6}, {0, 40}, quote, quote + "line"},
        {{0, 6}, {1, 3}, "", "line\r\nsec"},  // two lines
        {{0, 0}, {2, 0}, quote, quote + "first line\r\n" + quote + "second\r\n"},
        {{0, 6}, {1, 40}, "", "line\r\nsecond\r\n"},  // the last line ends at its 0 cell
        {{1, 0},
         {9, 0},
         "",
         "second\r\nab\x88\x9f"
         "cd"},  // pulled back to the write position
        {{2, 3},
         {2, 5},
         "",
         "\x88\x9f"
         "c"},                               // start on a trail byte: widened
        {{2, 0}, {2, 3}, "", "ab\x88\x9f"},  // end inside a kanji: widened
    };
    for (const auto& c : cases) {
        auto lock = B().Lock();
        EXPECT_EQ(CopyText(B(), Select(c.from, c.to), false, c.quote), c.text)
            << c.from.line << ',' << c.from.column << " - " << c.to.line << ',' << c.to.column;
    }
}

TEST_F(DumbBuffer, SelectAllAndFileText) {
    Selection s;
    s.SelectAll(B());
    EXPECT_EQ(s.End(), (CellPos{2, 6}));
    EXPECT_EQ(CopyText(B(), s, false),
              "first line\r\nsecond\r\nab\x88\x9f"
              "cd");
    EXPECT_EQ(FileCopyText(B(), s, false),
              "first line\r\nsecond\r\nab\x88\x9f"
              "cd\r\n");
    EXPECT_TRUE(s.Contains(B(), 1, 79));
    EXPECT_FALSE(s.Contains(B(), 2, 6));
}

TEST(Selection, VtLinesRunToColumn80) {
    Settings settings;
    settings.Emulation = 1;
    Terminal t(settings);
    Feed(t, "\x1b[2J\x1b[Htop\r\nnext");
    std::string row1 = "top" + std::string(77, ' ');
    EXPECT_EQ(CopyText(t.Buffer(), Select({0, 0}, {1, 4}), true), row1 + "\r\nnext");
    EXPECT_EQ(CopyText(t.Buffer(), Select({0, 1}, {0, 80}), true), row1.substr(1));
}

TEST(Selection, XtermLineDrawingCopiesAsShiftJisLines) {
    Settings settings;
    settings.Emulation = 3;
    Terminal t(settings);
    Feed(t, "\x1b(0lqk\x1b(Bq\r\n\x1b(0x");
    EXPECT_EQ(CopyText(t.Buffer(), Select({0, 0}, {0, 4}), true), "\x84\xa1\x84\x9f\x84\xa2q");
    EXPECT_EQ(FileCopyText(t.Buffer(), Select({0, 3}, {1, 1}), true), "q\r\n\x84\xa0\r\n");
}

TEST(Selection, CellClasses) {
    uint8_t line[80] = {};
    const uint8_t text[] = {'a', 0x88, 0x9f, 0x95, 0x9c, 0xB1, 0x81};
    std::copy(std::begin(text), std::end(text), line);
    EXPECT_FALSE(IsTrailCell(line, 0));
    EXPECT_FALSE(IsTrailCell(line, 1));
    EXPECT_TRUE(IsTrailCell(line, 2));
    EXPECT_TRUE(IsTrailCell(line, 4));
    EXPECT_FALSE(IsTrailCell(line, 5));  // half-width katakana
    EXPECT_FALSE(IsTrailCell(line, 7));  // a lead byte followed by 0 is no pair
    EXPECT_EQ(CharStartColumn(line, 4), 3);
    EXPECT_EQ(CharStartColumn(line, 5), 5);
}

struct SearchBuf : testing::Test {
    SearchBuf() : terminal(settings) {}
    void SetUp() override {
        Feed(terminal, "Alpha beta ALPHA\r\n\x88\x9f\x82\x60x\x83\x61\r\n");
        // Line 2 ends with "end" in columns 77..79.
        Feed(terminal, std::string(77, '.') + "end\r\nalpha");
    }
    bool Find(bool down) { return SearchBuffer(terminal.Buffer(), state, down, true); }
    Settings settings;
    Terminal terminal;
    SearchState state;
};

TEST_F(SearchBuf, DownAgainAndUp) {
    state.text = "alpha";
    ASSERT_TRUE(Find(true));
    EXPECT_EQ(state.match, (CellPos{0, 0}));
    ASSERT_TRUE(Find(true));
    EXPECT_EQ(state.match, (CellPos{0, 11}));
    ASSERT_TRUE(Find(true));
    EXPECT_EQ(state.match, (CellPos{4, 0}));
    EXPECT_FALSE(Find(true));
    EXPECT_EQ(state.match, (CellPos{4, 0}));  // kept after a miss
    ASSERT_TRUE(Find(false));
    EXPECT_EQ(state.match, (CellPos{0, 11}));
    ASSERT_TRUE(Find(false));
    EXPECT_EQ(state.match, (CellPos{0, 0}));
    EXPECT_FALSE(Find(false));
}

TEST_F(SearchBuf, FirstMatchDownward) {
    const struct {
        const char* text;
        int flags;
        std::optional<CellPos> match;
    } cases[] = {
        {"ALPHA", kSearchMatchCase, CellPos{0, 11}},
        {"END", 0, CellPos{2, 77}},  // ends in the last column
        // No match starts on a trail byte: the second kanji's trail 0x60 is "`", and 0x9F is a
        // trail here although it is also a lead value.
        {"`x", 0, std::nullopt},
        {"\x9f\x82", 0, std::nullopt},
        {"\x82\x60x", 0, CellPos{1, 2}},
        // The buffer holds 0x83 0x61, whose trail byte is "a"; "A" as a trail byte is another
        // character even when letter case does not count.
        {"\x83\x41", 0, std::nullopt},
        {"X\x83\x61", 0, CellPos{1, 4}},
    };
    for (const auto& c : cases) {
        state = SearchState{};
        state.text = c.text;
        state.flags = c.flags;
        ASSERT_EQ(Find(true), c.match.has_value()) << c.text;
        if (c.match) {
            EXPECT_EQ(state.match, *c.match) << c.text;
        }
    }
    EXPECT_FALSE(Find(true));  // nothing after the last one
}

TEST_F(SearchBuf, StopsAtTheWritePosition) {
    state.text = "alpha";
    state.hasMatch = true;
    state.match = {3, 0};
    EXPECT_TRUE(Find(true));  // "alpha" ends exactly at the write position
    Feed(terminal, "\x08\x08");
    state.match = {3, 0};
    EXPECT_FALSE(Find(true));
}

struct Model : testing::Test {
    Model() : terminal(settings), model(terminal, 0, settings, host) { host.terminal = &terminal; }
    Settings settings;
    FakeHost host;
    Terminal terminal;
    ViewModel model;
};

TEST_F(Model, DumbScrollBackAndBeep) {
    for (int i = 0; i < 100; ++i) Feed(terminal, "line " + std::to_string(i) + "\r\n");
    TerminalView& v = model.View();
    const int bottom = v.TopLine();
    model.KeyDown(TermKey::Up, 0, false);
    EXPECT_EQ(v.TopLine(), bottom - 3);
    EXPECT_TRUE(v.ScrollBack());
    model.KeyDown(TermKey::Up, kModShift, false);
    EXPECT_EQ(v.TopLine(), bottom - 9);
    EXPECT_EQ(model.TypeText("a", 0, false).action, KeyAction::Beep);
    EXPECT_EQ(host.sent, "");
    // New text while scrolled back leaves the view where it is.
    Feed(terminal, "more\r\n");
    EXPECT_EQ(v.TopLine(), bottom - 9);
    model.KeyDown(TermKey::End, 0, false);
    EXPECT_FALSE(v.ScrollBack());
    EXPECT_EQ(v.TopLine(), bottom + 1);
    model.KeyDown(TermKey::Home, 0, false);
    EXPECT_EQ(v.TopLine(), 0);
    model.TypeText("\x1b", 0, false);  // ESC leaves the scroll-back mode
    EXPECT_FALSE(v.ScrollBack());
}

TEST_F(Model, EscLeavesModesOneAtATime) {
    Feed(terminal, "hello world\r\n");
    model.ToggleRangeSelect();
    model.KeyDown(TermKey::Right, kModShift, false);
    model.KeyDown(TermKey::Right, kModShift, false);
    EXPECT_EQ(model.Copy(true), "\x81\xe2he");
    ASSERT_TRUE(model.SearchRequest("world", kSearchDown));
    EXPECT_TRUE(model.Highlighted(0, 6));
    EXPECT_TRUE(model.CancelMode());  // the highlight
    EXPECT_FALSE(model.Search().highlighted);
    EXPECT_TRUE(model.Sel().Active());
    EXPECT_TRUE(model.CancelMode());  // the selection
    EXPECT_TRUE(model.Sel().rangeMode);
    EXPECT_TRUE(model.CancelMode());  // the range mode
    EXPECT_FALSE(model.CancelMode());
}

TEST_F(Model, RangeSelectionMovesWithoutShiftAndGrowsWithIt) {
    Feed(terminal, "one\r\ntwo\r\nthree\r\n");
    model.ToggleRangeSelect();
    model.KeyDown(TermKey::Down, 0, false);  // moves, nothing selected
    EXPECT_FALSE(model.CanCopy());
    model.KeyDown(TermKey::Right, kModShift, false);
    model.KeyDown(TermKey::Down, kModShift, false);
    EXPECT_EQ(model.Copy(false), "two\r\nt");
    // After the copy the next Shift+key starts again where the end was.
    model.KeyDown(TermKey::Right, kModShift, false);
    EXPECT_EQ(model.Copy(false), "h");
    EXPECT_TRUE(model.CancelMode());  // nothing selected: the range mode ends at once
    EXPECT_FALSE(model.Sel().rangeMode);
}

TEST_F(Model, CopyDropsTheSelectionAndSearchAgainUsesIt) {
    Feed(terminal, "foo bar foo\r\nfoo");
    model.MouseDown({0, 8});
    model.MouseMove({0, 11});
    model.MouseUp();
    EXPECT_TRUE(model.CanCopy());
    EXPECT_TRUE(model.SearchAgain(true));  // the selected "foo", from where it is
    EXPECT_EQ(model.Search().match, (CellPos{1, 0}));
    EXPECT_TRUE(model.SearchAgain(false));
    EXPECT_EQ(model.Search().match, (CellPos{0, 8}));
    model.SelectAll();
    EXPECT_EQ(model.Copy(false), "foo bar foo\r\nfoo");
    EXPECT_FALSE(model.CanCopy());
    EXPECT_EQ(model.Copy(false), "");
    EXPECT_FALSE(model.SearchRequest("nothing", kSearchDown));
    EXPECT_EQ(host.beeps, 1);
}

TEST(ViewModelVt, ScrollingBackDoesNotMoveTheWritePosition) {
    Settings settings;
    settings.Emulation = 1;
    Terminal terminal(settings);
    FakeHost host;
    ViewModel model(terminal, 0, settings, host);
    for (int i = 0; i < 60; ++i) Feed(terminal, "row " + std::to_string(i) + "\r\n");
    TerminalView& v = model.View();
    const int screenTop = v.ScreenTop();
    int line, column;
    v.GetCursor(line, column);
    model.KeyDown(TermKey::Home, 0, false);
    EXPECT_EQ(v.TopLine(), 0);
    EXPECT_TRUE(v.ScrollBack());
    Feed(terminal, "here");
    EXPECT_EQ(terminal.Buffer().LineText(line), "here");
    EXPECT_EQ(terminal.Buffer().LineText(0), "row 0");
    EXPECT_EQ(v.ScreenTop(), screenTop);
    model.KeyDown(TermKey::End, 0, false);
    EXPECT_EQ(v.TopLine(), screenTop);
    EXPECT_FALSE(v.ScrollBack());
}

TEST(ViewModelVt, DroppedLinesWhileScrolledBackKeepTheViewInsideTheBuffer) {
    Settings settings;
    settings.Emulation = 1;
    settings.BufferSize = 60;
    settings.ClearUp = 20;
    Terminal terminal(settings);
    FakeHost host;
    ViewModel model(terminal, 0, settings, host);
    for (int i = 0; i < 30; ++i) Feed(terminal, "a" + std::to_string(i) + "\r\n");
    model.Apply({KeyAction::ScrollLines, -5});  // what the scroll bar does
    TerminalView& v = model.View();
    ASSERT_TRUE(v.ScrollBack());
    for (int i = 0; i < 200; ++i) Feed(terminal, "b" + std::to_string(i) + "\r\n");
    EXPECT_TRUE(v.ScrollBack());
    EXPECT_GE(v.TopLine(), 0);
    EXPECT_LE(v.TopLine(), v.ScreenTop());
    EXPECT_LE(v.ScreenTop() + v.VisibleRows(), terminal.Buffer().Lines());
    int line, column;
    v.GetCursor(line, column);
    EXPECT_EQ(terminal.Buffer().LineText(line - 1), "b199");
}

}  // namespace
}  // namespace marlo
