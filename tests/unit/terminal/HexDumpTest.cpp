#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "terminal/HexDump.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

using Bytes = std::vector<uint8_t>;

void Feed(HexDump& dump, const std::string& s) {
    dump.Append(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// The bytes of a dump's hex columns, read back as a user would type them.
Bytes HexColumns(const std::string& dump) {
    Bytes out;
    size_t at = 0;
    while (at < dump.size()) {
        size_t end = dump.find('\n', at);
        // Address and two blanks, then the 49 characters of the hex columns.
        HexBytes row = ParseHexBytes(dump.substr(at + 10, 49));
        EXPECT_EQ(row.error, "");
        out.insert(out.end(), row.bytes.begin(), row.bytes.end());
        at = end + 1;
    }
    return out;
}

// The text column of a row (UTF-8), between its bars.
std::string TextColumn(const std::string& row) {
    size_t open = row.find(" |");
    return SjisToUtf8(row.substr(open + 2, row.size() - open - 3));
}

TEST(HexDumpTest, EveryByteRoundTripsThroughTheDumpAndTheInputForms) {
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
    HexDump dump;
    dump.Append(all.data(), all.size());
    ASSERT_EQ(dump.Rows(), 16u);
    EXPECT_EQ(HexColumns(dump.Format(dump.Begin(), dump.End())), all);

    std::string dollar, prefixed, packed, spaced;
    for (uint8_t b : all) {
        char text[8];
        std::snprintf(text, sizeof text, "$%02X ", b);
        dollar += text;
        std::snprintf(text, sizeof text, "0x%02x,", b);
        prefixed += text;
        std::snprintf(text, sizeof text, "%02X", b);
        packed += text;
        std::snprintf(text, sizeof text, "%02x\t", b);
        spaced += text;
    }
    for (const std::string& typed : {dollar, prefixed, packed, spaced}) {
        HexBytes parsed = ParseHexBytes(typed);
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.bytes, all);
    }
    EXPECT_EQ(ParseHexBytes(" $d,0XA 1b5B ").bytes, (Bytes{0x0D, 0x0A, 0x1B, 0x5B}));
}

TEST(HexDumpTest, RowsShowHexAndTextSideBySide) {
    HexDump dump;
    Feed(dump, "ABCDEFGHIJKLMNOP\r\n\x1b[0m\xb1\xb2");
    EXPECT_EQ(dump.Row(0),
              "00000000  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  |ABCDEFGHIJKLMNOP|");
    EXPECT_EQ(dump.Row(1),
              "00000010  0D 0A 1B 5B 30 6D B1 B2                           |...[0m\xb1\xb2|");
    EXPECT_EQ(dump.Row(2), "");
}

TEST(HexDumpTest, KanjiSplitAcrossBlocksAndRowsShowsWhole) {
    struct Case {
        int code;
        std::string first, second;  // 亜 cut between the blocks
    };
    for (const Case& c : {Case{kShiftJis, "\x88", "\x9f"}, Case{kEuc, "\xb0", "\xa1"},
                          Case{kUtf8, "\xe4", "\xba\x9c"}, Case{kNewJis, "\x1b$B0", "!\x1b(B"}}) {
        SCOPED_TRACE(c.code);
        HexDump dump;
        dump.SetCode(c.code);
        // The kanji starts in the first row's last column.
        const std::string pad(16 - c.first.size(), 'x');
        Feed(dump, pad + c.first);
        EXPECT_LT(dump.Decoded(), dump.End());  // its first part waits
        Feed(dump, c.second + "yz");
        EXPECT_EQ(dump.Decoded(), dump.End());
        const std::string lead = c.code == kNewJis ? ".$B" : "";
        EXPECT_EQ(TextColumn(dump.Row(0)), pad + lead.substr(0, c.first.size() - 1) + "亜");
        // The rest of its bytes stay blank in the next row, whose columns keep their places.
        std::string rest(c.code == kNewJis ? " .(B" : std::string(c.second.size(), ' '));
        EXPECT_EQ(TextColumn(dump.Row(1)), rest + "yz");
    }
}

TEST(HexDumpTest, PartsOfARowPrintedApartKeepTheirColumns) {
    HexDump dump;
    Feed(dump, "ls\r\n");
    EXPECT_EQ(dump.Format(0, 4), "00000000  6C 73 0D 0A" + std::string(39, ' ') + "|ls..|\n");
    Feed(dump, "\x88\x9fok");
    const std::string part = dump.Format(4, 7);
    EXPECT_EQ(part.find("88 9F 6F"), dump.Row(0).find("88 9F 6F"));
    EXPECT_EQ(TextColumn(part.substr(0, part.size() - 1)), "    亜o");
    // Starting inside the kanji, its second byte keeps the column blank.
    const std::string tail = dump.Format(5, 8);
    EXPECT_EQ(TextColumn(tail.substr(0, tail.size() - 1)), "      ok");
}

TEST(HexDumpTest, DropsTheOldestRowsBeyondItsCapacity) {
    HexDump dump(32);
    Feed(dump, std::string(40, 'a'));
    EXPECT_EQ(dump.Begin(), 16u);
    EXPECT_EQ(dump.End(), 40u);
    EXPECT_EQ(dump.Rows(), 2u);
    EXPECT_EQ(dump.Row(0).substr(0, 8), "00000010");
    dump.Clear();
    EXPECT_EQ(dump.End(), 0u);
    EXPECT_EQ(dump.Rows(), 0u);
}

TEST(HexDumpTest, MalformedHexInputIsRefusedWithTheTokenNamed) {
    for (const char* bad : {"0D 0x", "$", "$123", "0D0", "0D zz", "０Ｄ", "0x1g"}) {
        SCOPED_TRACE(bad);
        HexBytes parsed = ParseHexBytes(bad);
        EXPECT_TRUE(parsed.bytes.empty());
        EXPECT_NE(parsed.error.find("16進入力"), std::string::npos);
        EXPECT_NE(parsed.error.find("「"), std::string::npos);
    }
    EXPECT_NE(ParseHexBytes("0D0").error.find("「0D0」"), std::string::npos);
    EXPECT_NE(ParseHexBytes(" , ").error, "");  // nothing to send
}

}  // namespace
}  // namespace marlo
