// marlo-cli screen run as a program: options, exit statuses and output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RunProgram.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

// marlo-cli screen with `args`, `input` on standard input; the output holds stderr after stdout.
CliRun Screen(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "screen");
    auto r = marlo::test::RunProgram(MARLO_CLI_PATH, args, {}, 30000, input);
    return {r.status, r.out + r.err};
}

TEST(ScreenCommand, PrintsTheBufferFromStandardInputOrAFile) {
    CliRun r = Screen({}, "one  \r\n\x88\x9f two\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "one\n\x88\x9f two\n\n");
    r = Screen({"--utf8", "-"}, "\x88\x9f");
    EXPECT_EQ(r.out, "亜\n");
    r = Screen(
        {"--utf8", MARLO_TEST_DATA "/screen/vt52.txt", "--chunk", "7", "--set", "CodeExchange=0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("# VT52 (Emulation 2)."), std::string::npos);
}

TEST(ScreenCommand, EmulationAttributesAndCursor) {
    CliRun r = Screen(
        {"--set", "Emulation=1", "--set=LineColumn=80 3", "--attrs", "--cursor", "--chunk=1"},
        "\x1b[2;3H\x1b[1;31mred\x1b[m!");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n~\n  red!\n~ 3-5:1,31,0\n\n~\ncursor 2 7\n");
}

TEST(ScreenCommand, SettingsTakeTheirStoredNames) {
    CliRun r = Screen({"--set", "SI/SO=1", "--set", "DataLen=7", "--utf8"}, "\x0e\x31\x0f\x31");
    EXPECT_EQ(r.out, "ｱ1\n");
    r = Screen({"--set", "7to8=0", "--set", "Editor=エディタ"}, "x");
    EXPECT_EQ(r.status, 0);
}

TEST(ScreenCommand, BadUsageIsExitStatusTwoWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {{"--set", "Unknown=1"},
                                                       {"--set", "Emulation=abc"},
                                                       {"--set", "Emulation"},
                                                       {"--set"},
                                                       {"--chunk", "0"},
                                                       {"--chunk", "x"},
                                                       {"--frobnicate"},
                                                       {"/no/such/file"},
                                                       {"a", "b"},
                                                       {MARLO_TEST_DATA "/screen"}};
    for (const auto& args : bad) {
        CliRun r = Screen(args, "text");
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.out.find("marlo-cli screen:"), std::string::npos)
            << args.back() << ": " << r.out;
        EXPECT_EQ(r.out.find("text"), std::string::npos) << args.back();
    }
    CliRun help = Screen({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--attrs"), std::string::npos);
}

}  // namespace
