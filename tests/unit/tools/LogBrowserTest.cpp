#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "settings/Settings.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"
#include "tools/LogBrowser.h"

namespace marlo {
namespace {

std::tm Day(int year, int month, int day, int hour = 10) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_isdst = -1;
    return t;
}

void Touch(const std::string& path, std::tm when, const std::string& bytes = "x") {
    test::WriteWhole(path, bytes);
    const timespec times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// A log folder on 15 December 2026: one log of today (its name in capitals), one of last month,
// one of two years ago, and things that are not logs.
struct LogFolder {
    LogFolder() {
        std::filesystem::create_directory(logs);
        Touch(logs + "/LG261215.LOG", Day(2026, 12, 15), "12345");
        Touch(logs + "/last.log", Day(2026, 11, 20));
        Touch(logs + "/old.log", Day(2024, 12, 15));
        Touch(logs + "/notes.txt", Day(2026, 12, 15));
        std::filesystem::create_directory(logs + "/folder.log");
        s.LogDefPath = logs;
        s.LogViewer = {"notepad.exe", "", "/opt/view/lv -x"};
    }
    std::vector<std::string> Names(const LogBrowserModel& m) const {
        std::vector<std::string> names;
        for (const auto& f : m.Files()) names.push_back(f.name);
        return names;
    }
    test::TempDir dir;
    std::string logs = dir.Str() + "/logs";
    Settings s;
    test::RecordingPlatform p;
    std::function<std::tm()> today = [] { return Day(2026, 12, 15, 12); };
};

using Names = std::vector<std::string>;

TEST(LogBrowser, ListsTheLogsOfEachPeriodWhateverTheCaseOfTheirNames) {
    LogFolder f;
    LogBrowserModel m(f.s, f.p, f.today);
    EXPECT_EQ(m.Period(), HistoryPeriod::Month);  // the window opens on 今月
    EXPECT_EQ(f.Names(m), Names{"LG261215.LOG"});
    m.SetPeriod(HistoryPeriod::Today);
    EXPECT_EQ(f.Names(m), Names{"LG261215.LOG"});
    // Last month's log is this year's, not this month's.
    m.SetPeriod(HistoryPeriod::Year);
    EXPECT_EQ(f.Names(m), (Names{"LG261215.LOG", "last.log"}));
    m.SetPeriod(HistoryPeriod::All);
    EXPECT_EQ(f.Names(m), (Names{"LG261215.LOG", "last.log", "old.log"}));
    EXPECT_EQ(m.Files()[0].SizeText(), "         5");
    EXPECT_EQ(m.Files()[0].TimeText(), "26/12/15 10:00");
    EXPECT_EQ(m.Files()[2].path, f.logs + "/old.log");

    // A relative log folder still gives absolute paths: nothing depends on the current folder.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(f.dir.path);
    f.s.LogDefPath = "logs/";
    LogBrowserModel relative(f.s, f.p, f.today);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(relative.Folder(), f.logs);
    ASSERT_EQ(relative.Files().size(), 1u);
    EXPECT_EQ(relative.Files()[0].path, f.logs + "/LG261215.LOG");

    // A folder that is not there lists nothing.
    f.s.LogDefPath = f.dir.Str() + "/missing";
    EXPECT_TRUE(LogBrowserModel(f.s, f.p, f.today).Files().empty());

    EXPECT_EQ(ShortFolderText("/home/user/logs"), "/home/user/logs");
    const std::string deep = "/home/user/very/deep/folder/of/logs";  // 35 characters
    EXPECT_EQ(ShortFolderText(deep), "..." + deep.substr(8));
    // Two-byte characters are counted and cut whole.
    const std::string kanji = "/\x83\x8d\x83\x4f" + std::string(30, 'a');
    EXPECT_EQ(ShortFolderText(kanji), "..." + std::string(27, 'a'));
    EXPECT_EQ(ShortFolderText("/\x83\x8d" + std::string(28, 'a')).size(), 31u);  // 30 characters
}

TEST(LogBrowser, DeletesOnlyWhatTheUserConfirms) {
    LogFolder f;
    LogBrowserModel m(f.s, f.p, f.today);
    m.SetPeriod(HistoryPeriod::All);
    // Nothing selected: no question, nothing deleted.
    EXPECT_FALSE(m.Delete({}));
    EXPECT_TRUE(f.p.boxes.empty());
    // Cancel deletes nothing.
    f.p.answers = {MsgResult::Cancel};
    EXPECT_FALSE(m.Delete({0, 1, 2}));
    ASSERT_EQ(f.p.boxes.size(), 1u);
    EXPECT_EQ(f.p.boxes[0].text, "選択されたログファイルを削除します。");
    EXPECT_EQ(m.Files().size(), 3u);
    for (auto* name : {"/LG261215.LOG", "/last.log", "/old.log"})
        EXPECT_TRUE(std::filesystem::exists(f.logs + name)) << name;
    // OK deletes the chosen ones and lists again for the same period.
    f.p.answers = {MsgResult::Ok};
    EXPECT_TRUE(m.Delete({0, 2, 7}));
    EXPECT_EQ(f.Names(m), Names{"last.log"});
    EXPECT_TRUE(std::filesystem::exists(f.logs + "/notes.txt"));
}

TEST(LogBrowser, OpensEveryChosenFileInOneViewer) {
    LogFolder f;
    LogBrowserModel m(f.s, f.p, f.today);
    EXPECT_EQ(m.ViewerNames(), (Names{"notepad", "lv"}));
    m.SetPeriod(HistoryPeriod::All);
    EXPECT_FALSE(m.View(1, {}));
    ASSERT_EQ(f.p.boxes.size(), 1u);
    EXPECT_EQ(f.p.boxes[0].text, "ファイルを選択していません");
    EXPECT_EQ(f.p.boxes[0].icon, MsgIcon::Stop);
    EXPECT_TRUE(f.p.processes.empty());

    EXPECT_TRUE(m.View(1, {0, 2}));
    ASSERT_EQ(f.p.processes.size(), 1u);
    EXPECT_EQ(f.p.processes[0],
              (Names{"/opt/view/lv", "-x", f.logs + "/LG261215.LOG", f.logs + "/old.log"}));
    EXPECT_EQ(f.p.workDirs[0], "/opt/view");

    f.p.startSucceeds = false;
    f.p.boxes.clear();
    EXPECT_FALSE(m.View(1, {1}));
    ASSERT_EQ(f.p.boxes.size(), 1u);
    EXPECT_EQ(f.p.boxes[0].text, "ログビューアの起動に失敗しました.");
}

}  // namespace
}  // namespace marlo
