// The Shift-JIS to UTF-8 helper looks characters up instead of calling iconv for each text: it
// must give exactly what iconv's CP932 gives, broken sequences included.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <random>

#include "text/Encoding.h"

namespace marlo {
namespace {

// iconv over the whole text, each byte it cannot take replaced with '?'.
std::string IconvWhole(const std::string& sjis) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    std::string out(sjis.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(sjis.data());
    size_t srcLeft = sjis.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0 && iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

TEST(Encoding, ShiftJisToUtf8IsIconvsAnswerForValidAndBrokenText) {
    const struct {
        std::string sjis, utf8;
    } cases[] = {
        {"\x93\xfa\x96\x7b\x8c\xea text\r\n", "日本語 text\r\n"},
        {"\x95\x5c\\~", "表\\~"},              // an ASCII second byte, and ASCII as it is
        {"\xb1\xdf", "ｱﾟ"},                    // half-width katakana
        {"\x87\x40\xed\x40\xfa\x40", "①纊ⅰ"},  // the vendor rows
        {"a\x81", "a?"},                       // a lead byte at the end
        {"\x81\n", "?\n"},                     // a lead byte before a control
        {"\x98\x9a\x55", "?啅"},               // after a byte that does not convert, iconv resumes
        {"\x80\xa0\xfd\xfe\xff", "?????"},
    };
    for (const auto& c : cases) EXPECT_EQ(SjisToUtf8(c.sjis), c.utf8) << c.utf8;

    std::mt19937 gen(28);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        for (int n = static_cast<int>(gen() % 32); n > 0; --n) {
            unsigned kind = gen() % 4;
            s.push_back(static_cast<char>(kind == 0   ? gen() % 0x80
                                          : kind == 1 ? 0x81 + gen() % 0x7C
                                                      : gen() % 0x100));
        }
        ASSERT_EQ(SjisToUtf8(s), IconvWhole(s)) << ::testing::PrintToString(s);
    }
}

}  // namespace
}  // namespace marlo
