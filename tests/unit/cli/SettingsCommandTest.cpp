// marlo-cli settings, run as a user would, against a temporary configuration folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/SettingsFile.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

using test::RunResult;
using test::TempDir;

class SettingsCommand : public ::testing::Test {
  protected:
    RunResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), "settings");
        return test::RunProgram(MARLO_CLI_PATH, args,
                                {{"MARLO_CONFIG_DIR", cfg_}, {"XDG_DATA_HOME", dir_.Str() + "/d"}});
    }
    TempDir dir_;
    std::string cfg_ = dir_.Str() + "/cfg";
};

TEST_F(SettingsCommand, GetPrintsTheDefaultOfAValueNeverSet) {
    RunResult r = Run({"get", "Speed"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2400\n");
    EXPECT_EQ(Run({"get", "Quote"}).out, "≫\n");
    EXPECT_EQ(Run({"get", "ToolTable2"}).out, "6 7 8 9 10 11 255 12 13 14 255 15 255 16 \n");
    EXPECT_EQ(Run({"get", "Trace\\TraceFile"}).out, dir_.Str() + "/d/marlo/trace.txt\n");
    EXPECT_FALSE(std::filesystem::exists(cfg_));  // reading creates nothing
}

TEST_F(SettingsCommand, SetStoresAtOnceAndGetReadsItBack) {
    const std::pair<std::string, std::string> values[] = {
        {"Speed", "9600"},
        {"SI/SO", "1"},
        {"7to8", "0"},
        {"Trace\\TracePos", "5"},
        {"Caret", "◆"},
        {"ModemInit1", "AT&F \"quoted\" \\"},
        {"Sound\\WaveFile3", "/home/user/音/接続.wav"},
        {"Window", "10 20 400 600"},
    };
    for (const auto& [name, value] : values) {
        RunResult r = Run({"set", name, value});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    }
    for (const auto& [name, value] : values) EXPECT_EQ(Run({"get", name}).out, value + "\n");

    // The desktop program's store sees the same values, Shift-JIS inside.
    SettingsFile store(cfg_);
    ASSERT_TRUE(store.Load(nullptr));
    EXPECT_EQ(store.GetNumber("", "Speed"), 9600);
    EXPECT_EQ(store.GetNumber("Trace", "TracePos"), 5);
    EXPECT_EQ(store.GetText("", "Caret"), "\x81\x9f");
    EXPECT_EQ(store.GetText("", "Window"), "10 20 400 600");

    RunResult list = Run({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("\nSpeed=9600\n"), std::string::npos);
    EXPECT_NE(list.out.find("\nSI/SO=1\n"), std::string::npos);
    EXPECT_NE(list.out.find("\nTrace\\TracePos=5\n"), std::string::npos);
    EXPECT_EQ(list.out.rfind("Version=", 0), 0u);
}

TEST_F(SettingsCommand, BadRequestsAreRefusedAndChangeNothing) {
    ASSERT_EQ(Run({"set", "Speed", "1200"}).status, 0);
    // clang-format off
    const std::vector<std::vector<std::string>> bad = {
        {}, {"get"}, {"frobnicate"}, {"get", "NoSuchValue"}, {"set", "Speed"},
        {"set", "Speed", "fast"}, {"set", "Quote", "0123456789AB"}, {"set", "lfItalic", "300"},
        {"set", "Editor", "ed \xF0\x9F\x98\x80"},  // not in Shift-JIS
    };
    // clang-format on
    for (const auto& args : bad) {
        RunResult r = Run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(Run({"get", "Speed"}).out, "1200\n");
    EXPECT_EQ(Run({"get", "Editor"}).out, "notepad.exe\n");
}

TEST_F(SettingsCommand, DamagedStoreIsReportedAndDefaultsUsed) {
    std::filesystem::create_directories(cfg_);
    test::WriteWhole(cfg_ + "/settings.conf", "Speed = 9600\n@@@ broken\n");
    RunResult r = Run({"get", "Speed"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2400\n");
    EXPECT_NE(r.err.find("settings.conf"), std::string::npos);
    // A look does not move the file; a change moves it aside first.
    EXPECT_EQ(test::ReadWhole(cfg_ + "/settings.conf"), "Speed = 9600\n@@@ broken\n");
    r = Run({"set", "Parity", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("damaged"), std::string::npos);
    EXPECT_EQ(Run({"get", "Parity"}).out, "2\n");
    int aside = 0;
    for (const auto& e : std::filesystem::directory_iterator(cfg_))
        aside += e.path().filename().string().starts_with("settings.conf.damaged-");
    EXPECT_EQ(aside, 1);
}

}  // namespace
}  // namespace marlo
