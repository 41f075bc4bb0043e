#include <gtest/gtest.h>

#include <string>

#include "terminal/ScreenBuffer.h"

namespace marlo {
namespace {

void WriteText(ScreenBuffer& b, int line, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
        b.Store(line, static_cast<int>(i), static_cast<uint8_t>(text[i]));
}

TEST(ScreenBuffer, StoresNothingOutsideThePlanes) {
    ScreenBuffer b(30);
    b.Attributes() = {kFlagBold, 31, 42};
    for (int line : {-1, 30, 1 << 30})
        for (int column : {-1, 0, 80, 1 << 30}) b.Store(line, column, 'x');
    b.Store(29, 80, 'x');
    b.SetChar(30, 0, 'x');
    b.EraseCells(30, 0, 79);
    b.EraseCells(0, 70, 1000);
    b.InsertLines(30, 5);
    b.InsertLines(-1, 5);
    b.DeleteLines(-3, 5);
    for (int line = 0; line < 30; ++line) {
        for (int c = 0; c < 80; ++c) {
            EXPECT_NE(b.Chars(line)[c], 'x') << line << "," << c;
            if (line != 0 || c < 70) {
                EXPECT_EQ(b.Chars(line)[c], 0);
                EXPECT_EQ(b.Flags(line)[c], 0);
            }
        }
    }
}

TEST(ScreenBuffer, DroppingOldLinesKeepsTheRestInOrderAcrossTheRing) {
    ScreenBuffer b(30);
    // Several drops turn the ring more than once around.
    int next = 0;
    for (int round = 0; round < 12; ++round) {
        while (!b.Full()) {
            WriteText(b, b.LastLine(), "L" + std::to_string(next++));
            b.SetLastLine(b.LastLine() + 1);
        }
        EXPECT_EQ(b.DropOldest(b.RoomLines(10)), 3);
        EXPECT_EQ(b.LastLine(), 26);
        // The lines left are consecutive numbers ending with the newest.
        for (int i = 0; i < 26; ++i) EXPECT_EQ(b.LineText(i), "L" + std::to_string(next - 26 + i));
        for (int i = 26; i < 30; ++i) EXPECT_EQ(b.LineText(i), "");
    }
}

TEST(ScreenBuffer, RoomIsAtLeastOneLine) {
    struct {
        int lines, percent, expected;
    } cases[] = {{1000, 1, 10}, {30, 1, 1}, {99, 1, 1}, {100, 0, 1}, {50, 100, 49}, {50, -5, 1}};
    for (auto c : cases) EXPECT_EQ(ScreenBuffer(c.lines).RoomLines(c.percent), c.expected);
}

TEST(ScreenBuffer, InsertPushesLinesDownAndLosesThoseBeyondTheEnd) {
    ScreenBuffer b(30);
    for (int i = 0; i < 28; ++i) WriteText(b, i, "L" + std::to_string(i));
    b.SetLastLine(27);
    b.InsertLines(2, 5);
    EXPECT_EQ(b.LastLine(), 29);
    EXPECT_EQ(b.LineText(1), "L1");
    for (int i = 2; i < 7; ++i) {
        EXPECT_EQ(b.LineText(i), "");
        EXPECT_EQ(b.Chars(i)[0], ' ');  // inserted lines are spaces, not "never written"
    }
    EXPECT_EQ(b.LineText(7), "L2");
    EXPECT_EQ(b.LineText(29), "L24");
}

TEST(ScreenBuffer, DeleteClearsTheFreedLinesAndClipsTheCount) {
    ScreenBuffer b(30);
    for (int i = 0; i < 10; ++i) WriteText(b, i, "L" + std::to_string(i));
    b.SetLastLine(9);
    b.DeleteLines(3, 2);
    EXPECT_EQ(b.LastLine(), 7);
    EXPECT_EQ(b.LineText(3), "L5");
    EXPECT_EQ(b.LineText(7), "L9");
    EXPECT_EQ(b.Chars(8)[0], 0);
    EXPECT_EQ(b.Chars(9)[0], 0);
    b.DeleteLines(5, 1000);
    EXPECT_EQ(b.LastLine(), 4);
    EXPECT_EQ(b.LineText(4), "L6");
    EXPECT_EQ(b.LineText(5), "");
}

TEST(ScreenBuffer, ResizeKeepsTheNewestLinesThatFit) {
    ScreenBuffer b(100);
    for (int i = 0; i <= 60; ++i) WriteText(b, i, "L" + std::to_string(i));
    b.SetLastLine(60);
    b.Resize(40);
    EXPECT_EQ(b.Lines(), 40);
    EXPECT_FALSE(b.Full());
    EXPECT_EQ(b.LastLine(), 38);
    EXPECT_EQ(b.LineText(0), "L22");
    EXPECT_EQ(b.LineText(38), "L60");
    b.Resize(200);
    EXPECT_EQ(b.LastLine(), 38);
    EXPECT_EQ(b.LineText(38), "L60");
    EXPECT_EQ(b.LineText(199), "");
}

TEST(ScreenBuffer, SavedTextComesBackAsTheSameLines) {
    ScreenBuffer b(30);
    std::string full(80, 'F');
    WriteText(b, 0, "first");
    WriteText(b, 1, full);  // a full line must not come back as two
    b.SetChar(2, 3, 'x');   // never-written cells before it are saved as blanks
    WriteText(b, 3, "prompt>");
    b.SetLastLine(3);
    std::string saved = b.SaveText();
    EXPECT_EQ(saved, "first\r\n" + full + "\r\n   x\r\nprompt>\r\n");

    ScreenBuffer back(30);
    back.LoadText(saved, 0);
    EXPECT_EQ(back.LastLine(), 4);  // the write position is a fresh line after the text
    EXPECT_EQ(back.DumbColumn(), 0);
    EXPECT_EQ(back.LineText(1), full);
    EXPECT_EQ(back.LineText(2), "   x");
    EXPECT_EQ(back.LineText(3), "prompt>");
    // Saving again gives the same file: an empty last line is not written.
    EXPECT_EQ(back.SaveText(), saved);
}

TEST(ScreenBuffer, LoadPutsDoubleByteCharactersBackOverOlderText) {
    ScreenBuffer b(30);
    WriteText(b, 0, "AAAA");
    b.LoadText("\x8a\xbf\x8e\x9a\r\n", 0);
    EXPECT_EQ(b.LineText(0), "\x8a\xbf\x8e\x9a");
}

TEST(ScreenBuffer, LoadSplitsLongLinesAndStopsBeforeTheBufferIsFull) {
    ScreenBuffer b(30);
    std::string text = std::string(85, 'a') + "\r\nb";
    b.LoadText(text, 0);
    EXPECT_EQ(b.LineText(0), std::string(80, 'a'));
    EXPECT_EQ(b.LineText(1), "aaaaa");
    EXPECT_EQ(b.LineText(2), "b");
    EXPECT_EQ(b.LastLine(), 2);
    EXPECT_EQ(b.DumbColumn(), 1);

    std::string many;
    for (int i = 0; i < 50; ++i) many += "line" + std::to_string(i) + "\r\n";
    ScreenBuffer small(30);
    small.LoadText(many, 0);
    EXPECT_EQ(small.LastLine(), 29);
    EXPECT_EQ(small.DumbColumn(), 0);
    EXPECT_EQ(small.LineText(28), "line28");
}

TEST(ScreenBuffer, LoadForAScreenBlanksItAndKeepsItInUse) {
    ScreenBuffer b(30);
    b.LoadText("one\r\ntwo\r\n", 24);
    EXPECT_EQ(b.LastLine(), 23);
    EXPECT_EQ(b.Chars(10)[5], ' ');
    EXPECT_EQ(b.LineText(1), "two");
}

}  // namespace
}  // namespace marlo
