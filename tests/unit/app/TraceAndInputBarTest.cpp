#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "app/InputBarModel.h"
#include "settings/Trace.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

std::string ReadAll(const std::filesystem::path& p) { return test::ReadWhole(p.string()); }

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override { SetTraceFile(path_.string()); }
    void TearDown() override {
        SetTraceMode(false);
        SetTraceMask(0);
    }
    test::TempDir tmp_;
    std::filesystem::path path_ = tmp_.path / "trace.txt";
};

TEST_F(TraceTest, WritesOnlyInTraceModeAndForMaskedCategories) {
    SetTraceMask(kTraceMain | kTraceTransfer);
    Trace(kTraceMain, "off %d\n", 1);  // trace mode is off
    EXPECT_FALSE(std::filesystem::exists(path_));
    SetTraceMode(true);
    Trace(kTraceMain, "WILL %d\n", 1);
    Trace(kTraceMacro, "macro\n");  // not in the mask
    Trace(kTraceTransfer, "CommError = 0x%x\n", 0x10);
    EXPECT_EQ(ReadAll(path_), "WILL 1\nCommError = 0x10\n");
}

TEST_F(TraceTest, CutsLongTextsAndKeepsLinesWholeAcrossThreads) {
    SetTraceMode(true);
    SetTraceMask(kTraceMain);
    Trace(kTraceMain, "%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(ReadAll(path_).size(), 1000u);
    std::filesystem::remove(path_);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) Trace(kTraceMain, "thread %d line %d\n", t, i);
        });
    for (auto& th : threads) th.join();
    std::istringstream lines(ReadAll(path_));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line.rfind("thread ", 0), 0u);
    EXPECT_EQ(count, 200);
}

TEST(InputBar, EnterSendsTheLineAndKeepsAHistoryOfFifty) {
    InputBarModel bar;
    EXPECT_EQ(bar.Enter("ls", false), "ls\r");
    EXPECT_EQ(bar.Enter("dir", true), "dir\r\n");
    EXPECT_EQ(bar.Enter("", false), "\r");  // an empty line sends CR and is not remembered
    ASSERT_EQ(bar.History().size(), 2u);
    EXPECT_EQ(bar.History().front(), "dir");
    bar.Enter("ls", false);  // a repeated line moves to the top, once
    EXPECT_EQ(bar.History().size(), 2u);
    EXPECT_EQ(bar.History().front(), "ls");
    for (int i = 0; i < 60; ++i) bar.Enter("line" + std::to_string(i), false);
    EXPECT_EQ(bar.History().size(), InputBarModel::kMaxHistory);
    EXPECT_EQ(bar.History().front(), "line59");
    EXPECT_EQ(bar.History().back(), "line10");  // the oldest go first
}

TEST(InputBar, HexEntriesGiveTheirBytesAndOnlyGoodOnesAreRemembered) {
    InputBarModel bar;
    EXPECT_EQ(bar.EnterHex("$1b 5b41").bytes, (std::vector<uint8_t>{0x1B, 0x5B, 0x41}));
    HexBytes bad = bar.EnterHex("0x1b 5");
    EXPECT_TRUE(bad.bytes.empty());
    EXPECT_NE(bad.error.find("「5」"), std::string::npos) << bad.error;
    ASSERT_EQ(bar.History().size(), 1u);
    EXPECT_EQ(bar.History().front(), "$1b 5b41");
}

TEST(InputBar, LongLinesAreCutWithoutSplittingAKanji) {
    InputBarModel bar;
    std::string kanji;
    for (int i = 0; i < 60; ++i) kanji += "\x88\x9f";  // 120 bytes
    std::string sent = bar.Enter("a" + kanji, false);
    EXPECT_EQ(sent.size(), 1u + 98u + 1u);  // 'a', 49 kanji, CR
    EXPECT_EQ(sent.back(), '\r');
    EXPECT_EQ(InputBarModel::Counter("abc"), "3");
    EXPECT_TRUE(InputBarModel::EscapeClearsField("x"));
    EXPECT_FALSE(InputBarModel::EscapeClearsField(""));
}

}  // namespace
}  // namespace marlo
