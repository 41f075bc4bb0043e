#include <gtest/gtest.h>

#include "terminal/TextSend.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

TEST(TextSend, LinesAreBrokenAtTheWidthNeverInsideAKanji) {
    struct Case {
        const char* file;  // UTF-8
        TextSendOptions options;
        std::vector<std::string> lines;
    } cases[] = {
        {"abcdef\r\n", {8, 4, true}, {"abcd\r", "ef\r"}},
        {"abc日本\r", {8, 4, true}, {"abc\r", "日本\r"}},  // the kanji would straddle the width
        {"a\tb\r", {4, 78, true}, {"a   b\r"}},
        {"abc\tx", {8, 5, true}, {"abc  \r", "   x"}},  // the tab's blanks break like characters
        {"x\r\ny\r", {8, 78, false}, {"x\r", "\ny\r"}},  // a kept LF goes out before the next line
        {"\x82", {8, 78, true}, {"\x82"}},  // a lone first byte is sent as it is
    };
    for (const auto& c : cases) {
        const bool raw = c.file[0] == '\x82';
        std::vector<std::string> want;
        for (const auto& l : c.lines) want.push_back(raw ? l : Utf8ToSjis(l));
        std::string file = raw ? std::string(c.file) : Utf8ToSjis(c.file);
        EXPECT_EQ(TextSendLines(file, c.options), want) << c.file;
    }
}

}  // namespace
}  // namespace marlo
