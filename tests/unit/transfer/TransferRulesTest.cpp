#include <gtest/gtest.h>

#include "text/Encoding.h"
#include "transfer/Protocols.h"
#include "transfer/ProgressText.h"
#include "transfer/TransferSession.h"

namespace marlo {
namespace {

TEST(TransferProtocols, NamesMapExactlyAndAliasesOnTheCommandLine) {
    EXPECT_EQ(ProtocolFromName("XMODEM/CRC"), 2);
    EXPECT_EQ(ProtocolFromName("TransIt"), 9);
    EXPECT_EQ(ProtocolFromName(Utf8ToSjis("無手順")), 11);
    EXPECT_EQ(ProtocolFromName("xmodem"), 0);  // case-sensitive
    EXPECT_EQ(ProtocolFromName(""), 0);
    EXPECT_EQ(ProtocolFromCliName("ymodem-g"), 6);
    EXPECT_EQ(ProtocolFromCliName("YMODEM-G"), 6);
    EXPECT_EQ(ProtocolFromCliName("none"), 11);
    EXPECT_EQ(ProtocolFromCliName("無手順"), 11);  // UTF-8 as typed in a shell
    EXPECT_EQ(ProtocolFromCliName("zmodem "), 0);
    for (const char* name : {"Quick-VAN", "quickvan", "qv"}) EXPECT_EQ(ProtocolFromCliName(name), 10);
    EXPECT_EQ(SjisToUtf8(ProtocolName(11)), "無手順");
    EXPECT_EQ(ProtocolName(0), "");
    EXPECT_EQ(ProtocolName(12), "");
}

struct StartCase {
    int direction;
    int protocol;
    std::string file;
    std::optional<std::string> chosenProtocol;  // answer of the choice list
    std::optional<std::string> chosenFile;      // answer of the file dialog
    bool start;
    bool askedProtocol;
    bool askedFile;
    std::string path;
};

TEST(TransferStartRules, WhichRequestsStartWhat) {
    const StartCase cases[] = {
        // Batch downloads never ask for a file.
        {kDownload, 5, "", {}, {}, true, false, false, ""},
        {kDownload, 6, "x", {}, {}, true, false, false, ""},
        {kDownload, 7, "", {}, {}, true, false, false, ""},
        {kDownload, 8, "", {}, {}, true, false, false, ""},
        {kDownload, 10, "", {}, {}, true, false, false, ""},
        // XMODEM takes the given name, or asks.
        {kDownload, 1, "a.bin", {}, {}, true, false, false, "a.bin"},
        {kDownload, 2, "", {}, "/tmp/b", true, false, true, "/tmp/b"},
        {kDownload, 1, "", {}, std::nullopt, false, false, true, ""},
        // Wrong direction or no engine: nothing, and no dialog.
        {kDownload, 3, "", {}, "/x", false, false, false, ""},
        {kDownload, 11, "", {}, "/x", false, false, false, ""},
        {kUpload, 2, "", {}, "/x", false, false, false, ""},
        {kUpload, 6, "", {}, "/x", false, false, false, ""},
        {kUpload, 4, "", {}, "/x", false, false, false, ""},
        {kDownload, 9, "", {}, "/x", false, false, false, ""},
        // Upload asks for a file except for B Plus.
        {kUpload, 8, "", {}, {}, true, false, false, ""},
        {kUpload, 5, "up.txt", {}, {}, true, false, false, "up.txt"},
        {kUpload, 3, "", {}, "/u", true, false, true, "/u"},
        // An empty or unknown name shows the choice list; Cancel starts nothing.
        {kUpload, 0, "", "YMODEM", "/u", true, true, true, "/u"},
        {kDownload, 0, "", "ZMODEM", {}, true, true, false, ""},
        {kDownload, 0, "", std::nullopt, "/x", false, true, false, ""},
    };
    for (const auto& c : cases) {
        bool askedList = false, askedFile = false;
        auto plan = PlanTransferStart(
            c.direction, c.protocol, c.file, false,
            [&](const std::vector<std::string>& names) {
                askedList = true;
                EXPECT_EQ(names, ProtocolChoices(c.direction));
                return c.chosenProtocol;
            },
            [&] {
                askedFile = true;
                return c.chosenFile;
            });
        SCOPED_TRACE(testing::Message()
                     << "direction " << c.direction << " protocol " << c.protocol);
        EXPECT_EQ(plan.start, c.start);
        EXPECT_EQ(askedList, c.askedProtocol);
        EXPECT_EQ(askedFile, c.askedFile);
        if (c.start) {
            EXPECT_EQ(plan.path, c.path);
        }
    }
}

TEST(TransferStartRules, NothingIsAskedWhileATransferRuns) {
    bool asked = false;
    auto plan = PlanTransferStart(
        kUpload, 0, "", true,
        [&](const std::vector<std::string>&) {
            asked = true;
            return std::optional<std::string>("XMODEM");
        },
        [&] {
            asked = true;
            return std::optional<std::string>("/x");
        });
    EXPECT_FALSE(plan.start);
    EXPECT_FALSE(asked);
}

TEST(TransferEndRules, OnlySuccessfulLzhDownloadsAreExtracted) {
    EXPECT_TRUE(ShouldExtractLzh(kDownload, true, true, "/dl/ARC.LZH"));
    EXPECT_TRUE(ShouldExtractLzh(kDownload, true, true, "/dl/arc.Lzh"));
    EXPECT_FALSE(ShouldExtractLzh(kDownload, true, true, "/dl/arc.lzh.txt"));
    EXPECT_FALSE(ShouldExtractLzh(kDownload, true, true, "/dl/lzh"));
    EXPECT_FALSE(ShouldExtractLzh(kDownload, false, true, "/dl/arc.lzh"));
    EXPECT_FALSE(ShouldExtractLzh(kUpload, true, true, "/dl/arc.lzh"));
    EXPECT_FALSE(ShouldExtractLzh(kDownload, true, false, "/dl/arc.lzh"));
}

TEST(TransferTexts, StatusFormats) {
    EXPECT_EQ(FormatElapsed(0), "00:00:00");
    EXPECT_EQ(FormatElapsed(3725), "01:02:05");
    EXPECT_EQ(FormatElapsed(100 * 3600 + 59), "100:00:59");
    EXPECT_EQ(FormatRemaining(59), "59秒");
    EXPECT_EQ(FormatRemaining(60), "1分 0秒");
    EXPECT_EQ(FormatRemaining(3600), "1時間 0分 0秒");
    EXPECT_EQ(FormatRemaining(7384), "2時間 3分 4秒");
    EXPECT_EQ(FormatCps(1234), "1234 CPS");
    EXPECT_EQ(FormatBytes(128), "128 ﾊﾞｲﾄ");
    EXPECT_EQ(FormatBytes(128, true), "128ﾊﾞｲﾄ");
    EXPECT_EQ(FormatPercent(42), "42％");
    EXPECT_EQ(FormatTitlePercent(true, 7), "アップロード中(7%)");
    EXPECT_EQ(FormatTitlePercent(false, 100), "ダウンロード中(100%)");
}

TEST(TransferTexts, ProgressFiguresNeedTheirInputs) {
    auto f = ComputeProgress(500, 0, 0);  // size and time unknown
    EXPECT_EQ(f.percent, -1);
    EXPECT_EQ(f.cps, -1);
    EXPECT_EQ(f.remaining, -1);
    f = ComputeProgress(500, 2000, 0);
    EXPECT_EQ(f.percent, 25);
    EXPECT_EQ(f.cps, -1);
    f = ComputeProgress(500, 2000, 5);
    EXPECT_EQ(f.cps, 100);
    EXPECT_EQ(f.remaining, 15);
    f = ComputeProgress(3, 2000, 5);  // speed 0: no time remaining
    EXPECT_EQ(f.cps, 0);
    EXPECT_EQ(f.remaining, -1);
    // Large files do not overflow the percentage.
    EXPECT_EQ(ComputeProgress(3000000000L, 4000000000L, 0).percent, 75);
}

}  // namespace
}  // namespace marlo
