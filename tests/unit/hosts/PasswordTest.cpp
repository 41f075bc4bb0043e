#include <gtest/gtest.h>

#include <string>

#include "hosts/Password.h"

namespace marlo {
namespace {

// Stored passwords depend on the substitution never changing.
TEST(Password, ScrambledFormsArePinned) {
    const struct {
        const char* plain;
        const char* scrambled;
    } cases[] = {
        {"a", "@"}, {"password", "%5rNQK'_"}, {"Marlo1995", "d5iW>x/\"N"}, {" ~", "V*"}, {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScramblePassword(c.plain), std::string(c.scrambled)) << c.plain;
        EXPECT_EQ(RestorePassword(c.scrambled), std::string(c.plain)) << c.plain;
    }
}

TEST(Password, EveryPrintableCharacterRoundTripsAtEveryPosition) {
    // A password of one character repeated puts that character at every position up to the
    // longest the page accepts.
    for (int c = 0x20; c <= 0x7E; ++c) {
        const std::string plain(100, static_cast<char>(c));
        auto scrambled = ScramblePassword(plain);
        ASSERT_TRUE(scrambled);
        ASSERT_EQ(scrambled->size(), plain.size());
        for (char s : *scrambled) ASSERT_TRUE(s >= 0x20 && s <= 0x7E);
        for (size_t len = 0; len <= plain.size(); len += 7)
            ASSERT_EQ(RestorePassword(scrambled->substr(0, len)), plain.substr(0, len)) << c;
    }
    // A stored value far longer than the page takes restores too.
    const std::string longPlain(20000, 'Q');
    EXPECT_EQ(RestorePassword(ScramblePassword(longPlain).value_or("")), longPlain);
}

TEST(Password, PositionsAreScrambledIndependently) {
    auto a = ScramblePassword("Apass!word");
    auto b = ScramblePassword("Zpass!word");
    ASSERT_TRUE(a && b);
    EXPECT_NE((*a)[0], (*b)[0]);
    EXPECT_EQ(a->substr(1), b->substr(1));
    // The same character scrambles differently at different positions.
    auto same = ScramblePassword("kkkk");
    ASSERT_TRUE(same);
    EXPECT_NE((*same)[0], (*same)[1]);
}

TEST(Password, BytesOutsidePrintableAsciiFail) {
    EXPECT_FALSE(ScramblePassword("pass\x88\x9fword"));  // a kanji
    EXPECT_FALSE(ScramblePassword("tab\there"));
    EXPECT_FALSE(RestorePassword("abc\x7f"));
    EXPECT_EQ(ScrambleChar('\x80'), 0);
    EXPECT_EQ(RestoreChar('\x1f'), 0);
}

}  // namespace
}  // namespace marlo
