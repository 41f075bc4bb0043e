#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/SettingsFile.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

using test::ReadWhole;
using test::TempDir;
using test::WriteWhole;

struct Sample {
    std::string key, name;
    std::optional<int32_t> number;
    std::string text;
};

// Names and texts that a naive format would garble.
std::vector<Sample> OddSamples() {
    return {
        {"", "Version", 138, ""},
        {"", "SI/SO", 1, ""},
        {"", "7to8", INT32_MIN, ""},
        {"", "Max", INT32_MAX, ""},
        {"", "Quote", {}, "\x81\xe2"},                  // ≫
        {"", "Kana", {}, "\xb1\xb2 \x83\x5c\x95\x5c"},  // half-width kana, ソ, 表 (0x5C trail)
        {"", "Broken", {}, "\x81"},                     // a lead byte alone
        {"", "Dup", {}, "\x87\x90\x81\xe0"},            // NEC/IBM duplicate codes
        {"", "Controls", {}, std::string("a\0b\r\n\t\x1b\x7f", 9)},
        {"", "Quotes", {}, "\"q\" \\ \\x41 # ; ="},
        {"", "Edges", {}, "  spaced  "},
        {"", "Empty", {}, ""},
        {"", "=eq[=]#", 5, ""},
        {"", "#hash", 6, ""},
        {"", "[bracket", 7, ""},
        {"", " lead", 8, ""},
        {"", "\x83\x5c\x83\x74\x83\x67", 9, ""},  // ソフト
        {"Trace", "TracePos", 7, ""},
        {"Host\\a/b]c", "Name", {}, "x"},
        {"Host\\ [x] ", "Name", {}, "y"},
        {"Host\\\x82\xa0\x83\x5c", "Port", 3, ""},  // あソ
        {"Host\\\xff\x80", "Port", 4, ""},
        {"Host\\#1", "Port", 5, ""},
        {"Host\\", "Port", 6, ""},
    };
}

void Fill(SettingsFile& f, const std::vector<Sample>& samples) {
    for (const Sample& s : samples) {
        if (s.number)
            f.SetNumber(s.key, s.name, *s.number);
        else
            f.SetText(s.key, s.name, s.text);
    }
}

void ExpectHolds(const SettingsFile& f, const std::vector<Sample>& samples) {
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.key + " / " + s.name);
        if (s.number) {
            EXPECT_EQ(f.GetNumber(s.key, s.name), s.number);
            EXPECT_FALSE(f.GetText(s.key, s.name));
        } else {
            EXPECT_EQ(f.GetText(s.key, s.name), s.text);
            EXPECT_FALSE(f.GetNumber(s.key, s.name));
        }
    }
}

TEST(SettingsFile, EveryByteStringAndNameRoundTrips) {
    TempDir dir;
    SettingsFile a(dir.Str() + "/cfg");
    Fill(a, OddSamples());
    ASSERT_TRUE(a.Save()) << a.LastError();

    SettingsFile b(dir.Str() + "/cfg");
    std::string msg;
    ASSERT_TRUE(b.Load(&msg)) << msg;
    ExpectHolds(b, OddSamples());
    EXPECT_EQ(b.ValueNames(""), a.ValueNames(""));
    EXPECT_EQ(b.SubKeys("Host"), a.SubKeys("Host"));
    EXPECT_EQ(b.SubKeys(""), (std::vector<std::string>{"Trace", "Host"}));
    EXPECT_EQ(b.Serialize(), a.Serialize());

    // Text that converts cleanly is written readably.
    std::string file = ReadWhole(a.FilePath());
    EXPECT_NE(file.find("Quote = \"≫\""), std::string::npos) << file;
    EXPECT_NE(file.find("SI/SO = 1"), std::string::npos);
    EXPECT_NE(file.find("[Host/あソ]"), std::string::npos) << file;
}

TEST(SettingsFile, KeysAndValuesCanBeDeletedAndEnumerated) {
    TempDir dir;
    SettingsFile f(dir.Str());
    f.SetNumber("Host\\A", "Port", 1);
    f.SetNumber("Host\\B", "Port", 2);
    f.SetText("Host\\B", "Name", "b");
    EXPECT_TRUE(f.KeyExists("Host"));
    EXPECT_TRUE(f.KeyExists(""));
    EXPECT_FALSE(f.KeyExists("Host\\C"));
    f.SetText("Host\\A", "Port", "now text");
    EXPECT_FALSE(f.GetNumber("Host\\A", "Port"));
    EXPECT_EQ(f.GetText("Host\\A", "Port"), "now text");
    f.DeleteValue("Host\\B", "Port");
    EXPECT_EQ(f.ValueNames("Host\\B"), std::vector<std::string>{"Name"});
    f.DeleteKey("Host\\A");
    EXPECT_EQ(f.SubKeys("Host"), std::vector<std::string>{"B"});
    f.DeleteKey("Host");
    EXPECT_FALSE(f.KeyExists("Host\\B"));
    EXPECT_TRUE(f.SubKeys("").empty());
    f.DeleteKey("Nothing\\There");  // no effect, no crash

    // A value without a name is refused: the file would have no way to hold it.
    f.SetNumber("", "", 5);
    f.SetText("Host\\B", "", "x");
    EXPECT_FALSE(f.GetNumber("", ""));
    EXPECT_TRUE(f.ValueNames("").empty());
    EXPECT_FALSE(f.KeyExists("Host\\B"));
    SettingsFile back(dir.Str());
    std::string error;
    EXPECT_TRUE(back.Parse(f.Serialize(), &error)) << error;

    // A path that begins with the separator leaves an unnamed key under the main key; emptied, it
    // is not written as "[]", which is the main key.
    f.SetNumber("\\x", "N", 1);
    f.DeleteKey("\\x");
    ASSERT_TRUE(back.Parse(f.Serialize(), &error)) << error;
    EXPECT_EQ(back.Serialize(), f.Serialize());
}

TEST(SettingsFile, SavedFileIsPrivateAndKeepsTheOldOneAsBackup) {
    TempDir dir;
    const std::string cfg = dir.Str() + "/new/marlo";
    SettingsFile f(cfg);
    f.SetNumber("", "Speed", 2400);
    ASSERT_TRUE(f.Save()) << f.LastError();
    struct stat st {};
    ASSERT_EQ(::stat(f.FilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(cfg.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const std::string first = ReadWhole(f.FilePath());

    f.SetNumber("", "Speed", 9600);
    ASSERT_TRUE(f.Save());
    EXPECT_EQ(ReadWhole(f.BackupPath()), first);
    ASSERT_EQ(::stat(f.BackupPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    SettingsFile g(cfg);
    ASSERT_TRUE(g.Load(nullptr));
    EXPECT_EQ(g.GetNumber("", "Speed"), 9600);
}

// A save cut off at any step leaves the old settings or the new ones, never a mix or nothing.
TEST(SettingsFile, SaveCutOffAtEachStepLosesNothing) {
    using Step = SettingsFile::SaveStep;
    const struct {
        Step step;
        bool newInPlace;
    } cases[] = {{Step::OpenTemp, false}, {Step::WriteHalf, false}, {Step::SyncTemp, false},
                 {Step::Backup, false},   {Step::Rename, false},    {Step::SyncDir, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        TempDir dir;
        SettingsFile f(dir.Str());
        f.SetText("", "Editor", "old");
        f.SetNumber("Trace", "TracePos", 1);
        ASSERT_TRUE(f.Save());
        f.SetText("", "Editor", "new");
        f.SetNumber("Trace", "TracePos", 2);
        f.SetStepHook([&](Step s) { return s != c.step; });
        EXPECT_FALSE(f.Save());

        SettingsFile after(dir.Str());
        std::string msg;
        ASSERT_TRUE(after.Load(&msg)) << msg;
        EXPECT_EQ(after.GetText("", "Editor"), c.newInPlace ? "new" : "old");
        EXPECT_EQ(after.GetNumber("Trace", "TracePos"), c.newInPlace ? 2 : 1);

        // The next save, after a restart, goes through and a left-over temporary file is no harm.
        after.SetText("", "Editor", "later");
        ASSERT_TRUE(after.Save()) << after.LastError();
        SettingsFile again(dir.Str());
        ASSERT_TRUE(again.Load(nullptr));
        EXPECT_EQ(again.GetText("", "Editor"), "later");
        EXPECT_EQ(again.GetNumber("Trace", "TracePos"), c.newInPlace ? 2 : 1);
    }
}

TEST(SettingsFile, DamagedFileIsSetAsideAndReported) {
    TempDir dir;
    const std::string garbage = "Speed = 2400\nthis is not a setting\n";
    WriteWhole(dir.Str() + "/settings.conf", garbage);
    WriteWhole(dir.Str() + "/settings.conf.bak", "Speed = 1200\n");
    SettingsFile f(dir.Str());
    std::string msg;
    EXPECT_FALSE(f.Load(&msg));
    EXPECT_NE(msg.find("2行目"), std::string::npos) << msg;
    EXPECT_NE(msg.find("settings.conf.damaged-"), std::string::npos) << msg;
    EXPECT_NE(msg.find("settings.conf.bak"), std::string::npos) << msg;
    EXPECT_FALSE(f.GetNumber("", "Speed"));  // starts empty

    std::vector<std::string> aside;
    for (const auto& e : std::filesystem::directory_iterator(dir.Str()))
        if (e.path().filename().string().starts_with("settings.conf.damaged-"))
            aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadWhole(aside[0]), garbage);
    EXPECT_FALSE(std::filesystem::exists(f.FilePath()));

    f.SetNumber("", "Speed", 9600);
    ASSERT_TRUE(f.Save());
    EXPECT_EQ(ReadWhole(aside[0]), garbage);
}

TEST(SettingsFile, ReadOnlyLookAtDamagedFileNeitherMovesNorOverwritesIt) {
    TempDir dir;
    WriteWhole(dir.Str() + "/settings.conf", "Speed = \"unclosed\n");
    SettingsFile f(dir.Str());
    std::string msg;
    EXPECT_FALSE(f.Load(&msg, /*setAsideDamaged=*/false));
    EXPECT_FALSE(msg.empty());
    f.SetNumber("", "Speed", 1);
    EXPECT_FALSE(f.Save());
    EXPECT_FALSE(f.LastError().empty());
    EXPECT_EQ(ReadWhole(dir.Str() + "/settings.conf"), "Speed = \"unclosed\n");
}

TEST(SettingsFile, ParseAcceptsHandEditsAndRefusesGarbage) {
    SettingsFile f("/nonexistent");
    std::string err;
    ASSERT_TRUE(
        f.Parse("\xEF\xBB\xBF# comment\r\n; another\r\n  Speed = 9600  \r\n[]\nA = \"x\"\n"
                "[Trace]\nTracePos = 1\nTracePos = 4\n[Host/N\\x2Fm]\n",
                &err))
        << err;
    EXPECT_EQ(f.GetNumber("", "Speed"), 9600);
    EXPECT_EQ(f.GetText("", "A"), "x");
    EXPECT_EQ(f.GetNumber("Trace", "TracePos"), 4);
    EXPECT_TRUE(f.KeyExists("Host\\N/m"));

    const char* bad[] = {
        "[Trace\n",    "Speed\n",       "= 5\n",         "Speed = 12x\n",  "Speed = 99999999999\n",
        "A = \"abc\n", "A = \"a\" b\n", "A = \"\\q\"\n", "A = \"\\x4\"\n",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        SettingsFile g("/nonexistent");
        g.SetNumber("", "Kept", 1);
        EXPECT_FALSE(g.Parse(std::string("Ok = 1\n") + text, &err));
        EXPECT_NE(err.find("2行目"), std::string::npos) << err;
        EXPECT_EQ(g.GetNumber("", "Kept"), 1);  // a failed parse changes nothing
    }
}

TEST(SettingsFile, ASymlinkedFileStaysALink) {
    TempDir dir;
    std::filesystem::create_directories(dir.Str() + "/dotfiles");
    test::WriteWhole(dir.Str() + "/dotfiles/marlo.conf", "Speed = 1200\n");
    std::filesystem::create_symlink(dir.Str() + "/dotfiles/marlo.conf",
                                    dir.Str() + "/settings.conf");
    SettingsFile f(dir.Str());
    ASSERT_TRUE(f.Load(nullptr));
    f.SetNumber("", "Speed", 9600);
    ASSERT_TRUE(f.Save()) << f.LastError();
    EXPECT_TRUE(std::filesystem::is_symlink(f.FilePath()));
    EXPECT_NE(ReadWhole(dir.Str() + "/dotfiles/marlo.conf").find("Speed = 9600"),
              std::string::npos);
    EXPECT_EQ(ReadWhole(f.BackupPath()), "Speed = 1200\n");
}

TEST(SettingsFile, MissingFileIsAnEmptyStore) {
    TempDir dir;
    SettingsFile f(dir.Str() + "/none");
    std::string msg;
    EXPECT_TRUE(f.Load(&msg));
    EXPECT_TRUE(msg.empty());
    EXPECT_TRUE(f.ValueNames("").empty());
    EXPECT_FALSE(f.FileFound());
    ASSERT_TRUE(f.Save());
    EXPECT_TRUE(f.Load(&msg));
    EXPECT_TRUE(f.FileFound());
}

}  // namespace
}  // namespace marlo
