#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "settings/Settings.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"
#include "terminal/CaptureLog.h"
#include "terminal/LineStamps.h"
#include "terminal/TextReceive.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;

std::tm Day(int y, int m, int d) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    return t;
}

TEST(CaptureLogName, AutomaticNames) {
    const struct {
        std::string prefix;
        std::tm date;
        std::string name;
    } cases[] = {
        {"", Day(1995, 4, 1), "LG950401.LOG"},
        {"NF", Day(1995, 4, 1), "NF950401.LOG"},
        {"P", Day(2000, 12, 31), " P001231.LOG"},
        {"ABC", Day(2026, 1, 2), "AB260102.LOG"},
        {"../", Day(2026, 1, 2), "..260102.LOG"},
        {"/x", Day(2026, 1, 2), "_x260102.LOG"},
        {Utf8ToSjis("日"), Day(2026, 1, 2), Utf8ToSjis("日") + "260102.LOG"},
        {"a" + Utf8ToSjis("日"), Day(2026, 1, 2), " a260102.LOG"},
    };
    for (const auto& c : cases) EXPECT_EQ(AutoLogName(c.prefix, c.date), c.name) << c.prefix;
}

class CaptureLogFile : public ::testing::Test {
  protected:
    void SetUp() override { settings_.LogDefPath = settings_.TxrecvDefPath = dir_.string(); }
    std::string Read(const std::string& name) { return test::ReadWhole((dir_ / name).string()); }
    static void Feed(CaptureLog& log, const std::string& bytes) {
        for (char c : bytes) log.Put(static_cast<uint8_t>(c));
    }
    // The log dialog: records what it was offered and answers as told.
    LogDialog Dialog(std::optional<LogChoice> answer) {
        return [this, answer](const std::string& name, bool append) {
            offered_.emplace_back(name, append);
            return answer;
        };
    }

    test::TempDir tmp_;
    fs::path dir_ = tmp_.path;
    Settings settings_;
    test::RecordingPlatform platform_;
    std::vector<std::pair<std::string, bool>> offered_;
};

TEST_F(CaptureLogFile, SameDayRunsAppendToTheAutomaticName) {
    const std::tm today = Day(1995, 4, 1);
    for (const char* text : {"first\r\n", "second\r\n"}) {
        CaptureLog log;
        ASSERT_TRUE(StartLog(log, "", settings_, platform_, Dialog(std::nullopt), today));
        Feed(log, text);
    }
    EXPECT_EQ(Read("LG950401.LOG"), "first\r\nsecond\r\n");
    EXPECT_TRUE(offered_.empty());
    EXPECT_TRUE(platform_.boxes.empty());

    // New-file mode truncates.
    settings_.LogSaveForm = 0;
    CaptureLog log;
    ASSERT_TRUE(StartLog(log, "", settings_, platform_, Dialog(std::nullopt), today));
    Feed(log, "third");
    log.Close();
    EXPECT_EQ(Read("LG950401.LOG"), "third");
}

TEST_F(CaptureLogFile, ExistingFileWithLowerCaseExtensionIsAppendedTo) {
    std::ofstream(dir_ / "NF260102.log") << "old\r\n";
    CaptureLog log;
    ASSERT_TRUE(StartLog(log, "NF", settings_, platform_, Dialog(std::nullopt), Day(2026, 1, 2)));
    Feed(log, "new");
    log.Close();
    EXPECT_EQ(Read("NF260102.log"), "old\r\nnew");
    EXPECT_FALSE(fs::exists(dir_ / "NF260102.LOG"));

    std::ofstream(dir_ / "other.Log") << "x";
    std::ofstream(dir_ / "notes.txt") << "x";
    EXPECT_EQ(FindLogFiles(dir_.string()), (std::vector<std::string>{"NF260102.log", "other.Log"}));
}

TEST_F(CaptureLogFile, FailedOpenAsksThenReports) {
    settings_.LogDefPath = (dir_ / "missing").string();
    CaptureLog log;
    // LogDefault on: the automatic name fails, the dialog is shown; its own failure is reported.
    EXPECT_FALSE(StartLog(log, "", settings_, platform_, Dialog(LogChoice{"x.log", false}),
                          Day(2026, 1, 2)));
    ASSERT_EQ(offered_.size(), 1u);
    EXPECT_EQ(offered_[0], std::make_pair(std::string("LG260102.LOG"), true));
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, kLogOpenFailed);
    EXPECT_FALSE(log.IsOpen());

    // The dialog's answer opens a file of its own and its mode becomes the saved mode.
    const std::string chosen = (dir_ / "mine.log").string();
    EXPECT_TRUE(
        StartLog(log, "", settings_, platform_, Dialog(LogChoice{chosen, false}), Day(2026, 1, 2)));
    EXPECT_EQ(settings_.LogSaveForm, 0);
    EXPECT_EQ(log.Path(), chosen);
    // Cancel leaves it closed with no message.
    settings_.LogDefault = 0;
    EXPECT_FALSE(StartLog(log, "", settings_, platform_, Dialog(std::nullopt), Day(2026, 1, 2)));
    EXPECT_EQ(platform_.boxes.size(), 1u);

    // A front end without a dialog reports the failure instead of asking (nothing to call).
    settings_.LogDefault = 1;
    settings_.LogDefPath = (dir_ / "missing").string();
    EXPECT_FALSE(StartLog(log, "", settings_, platform_, LogDialog{}, Day(2026, 1, 2)));
    EXPECT_EQ(platform_.boxes.size(), 2u);
    EXPECT_FALSE(ToggleLog(log, settings_, platform_, LogDialog{}, Day(2026, 1, 2)));
    EXPECT_EQ(platform_.boxes.size(), 3u);
}

TEST_F(CaptureLogFile, ToggleOpensThroughTheDialogAndCloses) {
    CaptureLog log;
    EXPECT_TRUE(
        ToggleLog(log, settings_, platform_, Dialog(LogChoice{"t.log", true}), Day(2026, 1, 2)));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(offered_.at(0).first, "LG260102.LOG");
    Feed(log, "x");
    EXPECT_FALSE(ToggleLog(log, settings_, platform_, Dialog(std::nullopt), Day(2026, 1, 2)));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(Read("t.log"), "x");
}

TEST_F(CaptureLogFile, BackStepTakesBackColumnsOfThisSessionOnlyAndNeverHalfACharacter) {
    const std::string kan = Utf8ToSjis("漢"), ji = Utf8ToSjis("字");
    const struct {
        std::string before;  // already in the file
        std::string fed;     // bytes put, '\b' standing for a backspace
        std::string after;
    } cases[] = {
        {"", "abc\bd", "abd"},
        {"", "abc\b", "ab"},
        {"old", "\b\bx", "x"},  // never before this session's start
        {"ab" + kan, "\b\b\bz", "z"},
        // A double-byte character goes whole; its second column's backspace takes nothing more.
        {"", "a" + kan + ji + "\b\b", "a" + kan},
        {"", kan + ji + "\b\b\b\b", ""},
        {"", "ab" + kan + "\b\b  \b\b", "ab"},  // a host erasing it with blanks
        // One column erased: a blank stands for the half still on the screen.
        {"", "a" + kan + "\bz", "a z"},
        {"", "a" + kan + "\b" + ji, "a " + ji},
        {"", "a" + kan + "\b\r\n", "a\r\n"},
        {"", "\xb1\xb2\b", "\xb1"},  // half-width katakana are single bytes
        {"", "ab\r\n\b", "ab\r"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir_ / "bs.log", std::ios::binary | std::ios::trunc) << c.before;
        CaptureLog log;
        ASSERT_TRUE(log.Open((dir_ / "bs.log").string(), true));
        for (char b : c.fed) {
            if (b == '\b')
                log.BackStep();
            else
                log.Put(static_cast<uint8_t>(b));
        }
        log.Close();
        EXPECT_EQ(Read("bs.log"), c.before + c.after) << c.fed;
    }
}

TEST_F(CaptureLogFile, BackStepReachesIntoTextAlreadyWritten) {
    CaptureLog log;
    ASSERT_TRUE(log.Open((dir_ / "big.log").string(), false));
    const std::string block(5000, 'q');
    Feed(log, block + Utf8ToSjis("漢"));
    log.Flush();
    for (int i = 0; i < 3; ++i) log.BackStep();  // the kanji's two columns, then a 'q'
    log.Put('!');
    log.Close();
    EXPECT_EQ(Read("big.log"), std::string(4999, 'q') + "!");
}

TEST_F(CaptureLogFile, EscapesAndLineEnds) {
    CaptureLog log;
    EXPECT_FALSE(log.WantsEscapes());
    settings_.LogRemoveEsc = 0;
    ASSERT_TRUE(StartLog(log, "", settings_, platform_, Dialog(std::nullopt), Day(2026, 1, 2)));
    EXPECT_TRUE(log.WantsEscapes());
    settings_.LogRemoveEsc = 1;
    ASSERT_TRUE(StartLog(log, "", settings_, platform_, Dialog(std::nullopt), Day(2026, 1, 2)));
    EXPECT_FALSE(log.WantsEscapes());
    // What the receive path hands over is written as it is: a CR with the LF that RcvCRLF added.
    Feed(log, "line\r\n");
    log.Close();
    EXPECT_EQ(Read("LG260102.LOG"), "line\r\n");
}

TEST_F(CaptureLogFile, TextReceiveNewOrAppendedInItsFolderAndClosedByTheToggle) {
    std::ofstream(dir_ / "r.txt") << "old\r\n";
    CaptureLog file;
    LogChoice last;
    auto toggle = [&](std::optional<LogChoice> answer) {
        return ToggleTextReceive(file, last, settings_, platform_, Dialog(answer));
    };
    // Append, the first offer: the text goes after what the file held; escapes never go in.
    EXPECT_TRUE(toggle(LogChoice{"r.txt", true}));
    EXPECT_EQ(offered_.back(), std::make_pair(std::string(), true));
    EXPECT_FALSE(file.WantsEscapes());
    Feed(file, "new\r\n");
    EXPECT_FALSE(toggle(std::nullopt));  // closes without asking
    EXPECT_EQ(offered_.size(), 1u);
    EXPECT_EQ(Read("r.txt"), "old\r\nnew\r\n");
    // New empties it; the dialog offers the last choice.
    EXPECT_TRUE(toggle(LogChoice{"r.txt", false}));
    EXPECT_EQ(offered_.back(), std::make_pair(std::string("r.txt"), true));
    Feed(file, "x");
    toggle(std::nullopt);
    EXPECT_EQ(Read("r.txt"), "x");
    // Append to a missing file creates it; a full path stays where it points.
    const std::string other = (dir_ / "sub").string();
    fs::create_directory(other);
    EXPECT_TRUE(toggle(LogChoice{other + "/made.txt", true}));
    toggle(std::nullopt);
    EXPECT_TRUE(fs::exists(other + "/made.txt"));
    // Cancel: closed, no word. A file that cannot be opened (a folder, a missing folder) is
    // reported and stays closed.
    EXPECT_FALSE(toggle(std::nullopt));
    EXPECT_TRUE(platform_.boxes.empty());
    for (const std::string& bad : {std::string("sub"), std::string("missing/r.txt")}) {
        EXPECT_FALSE(toggle(LogChoice{bad, true})) << bad;
        EXPECT_FALSE(file.IsOpen());
        ASSERT_FALSE(platform_.boxes.empty());
        EXPECT_EQ(platform_.boxes.back().text, kTextReceiveOpenFailed);
    }
    EXPECT_EQ(platform_.boxes.size(), 2u);

    // The log's own file is refused, untouched: two writers would write over each other.
    CaptureLog log;
    ASSERT_TRUE(log.Open((dir_ / "same.txt").string(), false));
    Feed(log, "logged");
    log.Flush();
    EXPECT_FALSE(toggle(LogChoice{"same.txt", false}));
    EXPECT_EQ(platform_.boxes.size(), 3u);
    log.Close();
    EXPECT_EQ(Read("same.txt"), "logged");
    EXPECT_TRUE(toggle(LogChoice{"same.txt", true}));  // free again once the log is closed
}

// Each line gets one stamp, at its first byte: a line split across blocks is stamped once, CR LF
// and a lone CR each end one line, and the LF of a CR LF that arrives in the next block starts
// nothing.
TEST(LineStamps, OneStampPerLineAtItsFirstByte) {
    using Sys = LineStamper::SystemClock;
    using Steady = LineStamper::SteadyClock;
    LineStamper stamper;
    const Steady::time_point origin = Steady::now();
    stamper.SetForm(kStampElapsed);
    stamper.SetOrigin(origin);
    std::string out;
    int ms = 0;
    auto block = [&](const std::string& bytes) {
        for (char c : bytes) {
            out += stamper.Before(static_cast<uint8_t>(c), Sys::now(),
                                  origin + std::chrono::milliseconds(ms));
            out += c;
        }
        ms += 1500;
    };
    for (const char* b : {"log", "in:\r", "\npass\rword\r\n", "\r\n", "x"}) block(b);
    EXPECT_EQ(out,
              "+00:00:00.000 login:\r\n+00:00:03.000 pass\r+00:00:03.000 word\r\n"
              "+00:00:04.500 \r\n+00:00:06.000 x");
    EXPECT_EQ(LineStamper::Format(kStampElapsed, Sys::now(),
                                  std::chrono::hours(27) + std::chrono::milliseconds(42)),
              "+27:00:00.042 ");

    // The clock form: local time of day with milliseconds.
    std::tm t{};
    t.tm_year = 126, t.tm_mon = 0, t.tm_mday = 2, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 7;
    t.tm_isdst = -1;
    const auto wall = Sys::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(89);
    EXPECT_EQ(LineStamper::Format(kStampClock, wall, {}), "09:05:07.089 ");
    // Off, or an unknown form, stamps nothing.
    for (int form : {static_cast<int>(kStampOff), 7, -1}) {
        stamper.SetForm(form);
        EXPECT_EQ(stamper.Stamp("a\r\nb"), "a\r\nb") << form;
    }
}

TEST_F(CaptureLogFile, TimestampsGoBeforeEachLineAndABackspaceNeverTakesOneBack) {
    CaptureLog log;
    ASSERT_TRUE(log.Open((dir_ / "t.log").string(), false));
    log.Stamps().SetForm(kStampElapsed);
    log.Stamps().SetOrigin(LineStamper::SteadyClock::now());
    Feed(log, "ok\r\nab");
    log.BackStep();
    log.BackStep();
    log.BackStep();  // nothing left of this line to take back
    Feed(log, "c\r\n");
    log.Close();
    const std::string text = Read("t.log");
    const std::string stamp = "+00:00:00.000 ";
    ASSERT_EQ(text.size(), 2 * stamp.size() + 7) << text;
    EXPECT_EQ(text.substr(0, 3), "+00");
    EXPECT_EQ(text.substr(stamp.size(), 4), "ok\r\n");
    EXPECT_EQ(text.substr(2 * stamp.size() + 4), "c\r\n");
}

}  // namespace
}  // namespace marlo
