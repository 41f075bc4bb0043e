// File names on the line: what a received name becomes on disk, what a sender announces.
#include <gtest/gtest.h>

#include "text/Encoding.h"
#include "transfer/FileNames.h"

namespace marlo {
namespace {

// 表示 in Shift-JIS: the trail byte of 表 is 0x5C, the byte of '\'.
const std::string kSjisHyouji = "\x95\x5C\x8E\xA6";

TEST(FileNames, Utf8IsRecognisedStrictly) {
    EXPECT_TRUE(IsValidUtf8("plain.txt"));
    EXPECT_TRUE(IsValidUtf8("日本語.txt"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));   // four bytes
    EXPECT_FALSE(IsValidUtf8(kSjisHyouji));         // Shift-JIS
    EXPECT_FALSE(IsValidUtf8("\xE6\x97"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xB1\xB2"));          // half-width katakana
}

TEST(FileNames, ReceivedNamesAreStoredAsUtf8) {
    EXPECT_EQ(ReceivedFileName("日本語.txt"), "日本語.txt");
    // Shift-JIS: a trail byte 0x5C is no separator and the whole name survives.
    EXPECT_EQ(ReceivedFileName(kSjisHyouji + ".txt"), "表示.txt");
    EXPECT_EQ(ReceivedFileName("dir\\" + kSjisHyouji + ".TXT"), "表示.TXT");
    EXPECT_EQ(ReceivedFileName("\xB1\xB2.lzh"), "ｱｲ.lzh");
}

TEST(FileNames, ReceivedNamesNeverLeaveTheFolder) {
    EXPECT_EQ(ReceivedFileName("a.txt"), "a.txt");
    EXPECT_EQ(ReceivedFileName("../../etc/passwd"), "passwd");
    EXPECT_EQ(ReceivedFileName("/etc/shadow"), "shadow");
    EXPECT_EQ(ReceivedFileName("C:\\dos\\x.lzh"), "x.lzh");
    EXPECT_EQ(ReceivedFileName("..\\..\\" + kSjisHyouji), "表示");
    // An overlong '/' is no UTF-8: read as Shift-JIS it is two katakana, not a separator.
    EXPECT_EQ(ReceivedFileName("\xC0\xAF..\xC0\xAFx"), "ﾀｯ..ﾀｯx");
    EXPECT_EQ(ReceivedFileName("a\nb"), "ab");
    EXPECT_EQ(ReceivedFileName("c:name"), "cname");
    for (const char* refused : {"", ".", "..", "dir/", "a/..", "\x01\x02", " . ", "x\\.."})
        EXPECT_FALSE(ReceivedFileName(refused)) << refused;
}

TEST(FileNames, SentNamesDropFoldersAndLowerCaseSingleByteLetters) {
    EXPECT_EQ(SentFileName("C:\\DOS\\FILE.LZH"), "file.lzh");
    EXPECT_EQ(SentFileName("/home/u/Data.Bin"), "data.bin");
    EXPECT_EQ(SentFileName("/home/u/日本語ＡＢ.TXT"), "日本語ＡＢ.txt");  // full-width kept
    // A Shift-JIS local name (a macro's) is read as Shift-JIS; its 0x5C stays in its character.
    EXPECT_EQ(SentFileName(kSjisHyouji + "X.TXT"), "表示x.txt");
}

TEST(FileNames, SentNamesGoOutInTheChosenCode) {
    EXPECT_EQ(FileNameInCode("日本語.txt", kFileNameUtf8), "日本語.txt");
    EXPECT_EQ(FileNameInCode("表示.txt", kFileNameSjis), kSjisHyouji + ".txt");
    EXPECT_EQ(FileNameInCode("表示.txt", 7), kSjisHyouji + ".txt");  // unknown: Shift-JIS
    // What one side sends in either code, the other side stores under the same name.
    for (int code : {kFileNameSjis, kFileNameUtf8})
        EXPECT_EQ(ReceivedFileName(FileNameInCode(SentFileName("/x/表示.TXT"), code)), "表示.txt");
}

}  // namespace
}  // namespace marlo
