#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "line/History.h"
#include "support/RecordingPlatform.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;

constexpr int kFri = 6, kSat = 7, kWed = 4;
int At(int h, int m, int s = 0) {
    return h * 3600 + m * 60 + s;
}

TEST(HistoryCharge, WorkedExamples) {
    const struct {
        int start, end, weekday, band;
        long yen;
    } cases[] = {
        {At(22, 50), At(23, 10), kWed, 6, 610},  // 33 evening units, 27 night units and a rest
        {At(18, 58), At(19, 5), kWed, 0, 20},    // 0 day units, 1 evening unit and a rest
        {At(10, 0), At(10, 6), kWed, 0, 20},     // exactly two units: no extra
        {At(10, 0), At(10, 0, 1), kWed, 0, 10},  // a started unit
        {At(10, 0), At(10, 0), kWed, 3, 0},      // nothing
        {At(12, 0), At(12, 3), kSat, 4, 60},     // weekend day 30 s: 6 units
        {At(12, 0), At(12, 3), kWed, 4, 90},     // weekday day 22 s: 8 units and a rest
    };
    for (const auto& c : cases)
        EXPECT_EQ(Charge(c.start, c.end, c.weekday, c.band), c.yen)
            << c.start << "-" << c.end << " band " << c.band;
}

TEST(HistoryCharge, FridayNightIntoSaturdayUsesBothColumns) {
    // Band 6 at night costs 22 s on both sides of midnight: 81 units and a rest on each.
    EXPECT_EQ(Charge(At(23, 30), At(0, 30), kFri, 6), 10 * (81 + 81) + 10);
    // Friday 23:59 -> Saturday 08:01 crosses midnight and 08:00; after 08:00 Saturday's day rate
    // (30 s in band 4) applies, not the weekday one (22 s).
    const long friToSat = Charge(At(23, 59), At(8, 1), kFri, 4);
    // 60 s weekday night (45: 1 unit) + 8 h weekend night (640 units) + 60 s weekend day (30: 2).
    EXPECT_EQ(friToSat, 10 * (1 + 640 + 2));
    // The same call starting on a Thursday ends on a weekday: the day rate after 08:00 is 22 s.
    EXPECT_EQ(Charge(At(23, 59), At(8, 1), kFri - 1, 4), 10 * (1 + 640 + 2) + 10);
}

TEST(HistoryCharge, LongCallsAreChargedForWholeDays) {
    const long oneDay = ChargeForCall(At(10, 0), kWed, 24 * 3600, 0);
    EXPECT_GT(oneDay, 0);
    // Weekday band 0: 11 h day (220 units), 4 h evening (80), 9 h night (135).
    EXPECT_EQ(oneDay, 10 * (220 + 80 + 135));
    EXPECT_EQ(ChargeForCall(At(10, 0), kWed, 2 * 24 * 3600, 0), 2 * oneDay);
    EXPECT_EQ(ChargeForCall(At(10, 0), kWed, -5, 0), 0);
    // An end just before the start of the same period is almost a whole day, not free.
    EXPECT_GT(Charge(At(10, 0), At(9, 59), kWed, 0), 4000);
}

std::tm Time(int y, int mo, int d, int h, int mi, int s, int wday) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_wday = wday;
    return t;
}

TEST(HistoryRecordFormat, FixedPositionsInShiftJis) {
    const std::string rec = FormatHistoryRecord("NIFTY", Time(1995, 4, 1, 22, 50, 0, 6),
                                                Time(1995, 4, 1, 23, 10, 5, 6), 610);
    const std::string expected = "NIFTY" + std::string(25, ' ') + " " +
                                 Utf8ToSjis("1995年04月01日(土) 22:50:00～23:10:05  610円");
    EXPECT_EQ(rec, expected);
    ASSERT_EQ(rec.size(), 75u);
    EXPECT_EQ(rec.substr(69, 4), " 610");

    const std::string telnet =
        FormatHistoryRecord("t", Time(1995, 4, 2, 1, 2, 3, 0), Time(1995, 4, 2, 1, 2, 4, 0), 0);
    EXPECT_EQ(telnet.substr(69), "   0" + Utf8ToSjis("円"));
    EXPECT_EQ(telnet.substr(31, 18), Utf8ToSjis("1995年04月02日(日)"));
}

TEST(HistoryRecordFormat, LongNameIsCutAtACharacterBoundary) {
    // 29 ASCII bytes and a kanji: the kanji does not fit whole and is left out.
    const std::string name = std::string(29, 'n') + Utf8ToSjis("漢");
    const std::string rec =
        FormatHistoryRecord(name, Time(2026, 1, 1, 0, 0, 0, 4), Time(2026, 1, 1, 0, 1, 0, 4), 10);
    EXPECT_EQ(rec.substr(0, 31), std::string(29, 'n') + "  ");
    EXPECT_EQ(rec.size(), 75u);
    const char* weekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    for (int w = 0; w < 7; ++w) {
        const std::string r =
            FormatHistoryRecord("x", Time(2026, 1, 1, 0, 0, 0, w), Time(2026, 1, 1, 0, 0, 0, w), 0);
        EXPECT_EQ(r.substr(46, 2), Utf8ToSjis(weekdays[w])) << w;
    }
}

TEST(HistoryParse, ReadsRecordsByTheirSeparators) {
    const std::string plain = FormatHistoryRecord("PC-VAN", Time(1995, 4, 1, 23, 30, 0, 6),
                                                  Time(1995, 4, 2, 0, 30, 0, 0), 1630);
    auto r = ParseHistoryLine(plain);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->host, "PC-VAN");
    EXPECT_EQ(r->date, Utf8ToSjis("1995年04月02日(日)"));
    EXPECT_EQ(r->times, Utf8ToSjis("23:30:00～00:30:00"));
    EXPECT_EQ(r->charge, "1630");
    EXPECT_EQ(r->yen, 1630);
    EXPECT_EQ(r->seconds, 3600);
    EXPECT_EQ(r->year, 1995);
    EXPECT_EQ(r->month, 4);
    EXPECT_EQ(r->day, 2);

    // A name of 40 bytes and a charge of 5 digits written by another program shift nothing.
    const std::string shifted =
        std::string(40, 'L') + " " + Utf8ToSjis("1995年04月02日(日) 10:00:00～10:30:00 12345円");
    r = ParseHistoryLine(shifted);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->host, std::string(40, 'L'));
    EXPECT_EQ(r->yen, 12345);
    EXPECT_EQ(r->seconds, 1800);

    // Truncated or foreign lines are not records; a missing charge gives 0.
    EXPECT_FALSE(ParseHistoryLine(plain.substr(0, 60)));
    EXPECT_FALSE(ParseHistoryLine("hello"));
    EXPECT_FALSE(ParseHistoryLine(""));
    r = ParseHistoryLine(plain.substr(0, 68));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->charge, "");
    EXPECT_EQ(r->yen, 0);
    // End before start within the same hour: never negative.
    r = ParseHistoryLine("x " + Utf8ToSjis("2026年01月01日(木) 10:30:00～10:10:00    0円"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->seconds, 24 * 3600 - 1200);
    // A field out of its range makes the line unreadable, never a negative or outsized duration.
    for (const char* bad : {"2026年01月01日(木) 73:50:00～00:10:00    0円",
                            "2026年01月01日(木) 10:60:00～11:00:00    0円",
                            "2026年01月01日(木) 10:00:00～10:00:99    0円",
                            "2026年01月01日(木) 10:00:00～24:00:00    0円",
                            "2026年13月01日(木) 10:00:00～11:00:00    0円",
                            "2026年01月00日(木) 10:00:00～11:00:00    0円"})
        EXPECT_FALSE(ParseHistoryLine("x " + Utf8ToSjis(bad))) << bad;
}

class HistoryFile : public ::testing::Test {
  protected:
    void Write(const std::string& text) {
        std::ofstream(dir_ / "history.txt", std::ios::binary) << text;
    }
    std::string Dir() const { return tmp_.Str(); }
    test::TempDir tmp_;
    fs::path dir_ = tmp_.path;
};

std::string Rec(const std::string& host, int y, int mo, int d, int h1, int m1, int h2, int m2,
                long yen) {
    return FormatHistoryRecord(host, Time(y, mo, d, h1, m1, 0, 1), Time(y, mo, d, h2, m2, 0, 1),
                               yen) +
           "\r\n";
}

TEST_F(HistoryFile, PeriodsHostFilterAndTotals) {
    Write(Rec("NIFTY", 2026, 12, 6, 10, 0, 10, 30, 100) +                          // today
          Rec("PC-VAN", 2026, 12, 1, 22, 0, 23, 0, 200) +                          // this month
          "\r\n" +                                                                 // empty line
          "garbage line\r\n" +                                                     // not a record
          "x " + Utf8ToSjis("2026年12月06日(日) 73:50:00～00:10:00    0円\r\n") +  // hour 73
          Rec("NIFTY", 2026, 3, 5, 8, 0, 8, 1, 10) +                               // this year
          Rec("NIFTY", 2025, 12, 6, 1, 0, 3, 0, 30));                              // last year
    const std::tm today = Time(2026, 12, 6, 12, 0, 0, 0);
    const struct {
        HistoryPeriod period;
        std::optional<std::string> host;
        int count;
        long seconds, yen;
    } cases[] = {
        {HistoryPeriod::All, std::nullopt, 4, 1800 + 3600 + 60 + 7200, 340},
        {HistoryPeriod::Year, std::nullopt, 3, 1800 + 3600 + 60, 310},
        {HistoryPeriod::Month, std::nullopt, 2, 1800 + 3600, 300},
        {HistoryPeriod::Today, std::nullopt, 1, 1800, 100},
        {HistoryPeriod::All, "NIFTY", 3, 1800 + 60 + 7200, 140},
        {HistoryPeriod::Month, "PC-VAN", 1, 3600, 200},
        {HistoryPeriod::All, "NIFT", 0, 0, 0},
    };
    for (const auto& c : cases) {
        const HistoryView v = ReadHistory(Dir(), c.period, c.host, today);
        EXPECT_EQ(v.count, c.count) << int(c.period) << c.host.value_or("*");
        EXPECT_EQ(static_cast<int>(v.rows.size()), c.count);
        EXPECT_EQ(v.seconds, c.seconds) << int(c.period) << c.host.value_or("*");
        EXPECT_EQ(v.yen, c.yen) << int(c.period) << c.host.value_or("*");
        EXPECT_EQ(v.unreadLines, 2);
    }
    const HistoryView all = ReadHistory(Dir(), HistoryPeriod::All, std::nullopt, today);
    EXPECT_EQ(all.CountText(), "4回");
    EXPECT_EQ(all.TimeText(), "3時間 31分 0秒");
    EXPECT_EQ(all.ChargeText(), "340円");
}

TEST_F(HistoryFile, MissingFileIsEmptyAndDeleteRemovesIt) {
    const HistoryView v = ReadHistory(Dir(), HistoryPeriod::All, std::nullopt, std::tm{});
    EXPECT_EQ(v.count, 0);
    EXPECT_EQ(v.TimeText(), "0時間 0分 0秒");
    Write(Rec("a", 2026, 1, 1, 1, 0, 2, 0, 0));
    std::string message;
    EXPECT_TRUE(DeleteHistory(Dir(), &message));
    EXPECT_FALSE(fs::exists(dir_ / "history.txt"));
    EXPECT_TRUE(DeleteHistory(Dir(), &message));  // nothing to delete is not a failure
}

TEST_F(HistoryFile, DeleteAsksFirst) {
    Write(Rec("a", 2026, 1, 1, 1, 0, 2, 0, 0));
    test::RecordingPlatform platform;
    platform.answers = {MsgResult::No, MsgResult::Yes};
    EXPECT_FALSE(AskAndDeleteHistory(platform, Dir()));
    EXPECT_TRUE(fs::exists(dir_ / "history.txt"));
    EXPECT_TRUE(AskAndDeleteHistory(platform, Dir()));
    EXPECT_FALSE(fs::exists(dir_ / "history.txt"));
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[0].text, kHistoryDeleteAsk);
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Question);
    // A history that is a folder with contents cannot be deleted: the failure is told.
    fs::create_directories(dir_ / "history.txt" / "x");
    EXPECT_FALSE(AskAndDeleteHistory(platform, Dir()));
    ASSERT_EQ(platform.boxes.size(), 4u);
    EXPECT_EQ(platform.boxes[3].text, kHistoryDeleteFailed);
    EXPECT_EQ(HistoryHostChoices({"a", "", "b"}), (std::vector<std::string>{"a", "b"}));
}

TEST_F(HistoryFile, WriteAppendsRecordsAndReportsAnUnwritableFolder) {
    const std::time_t connect = 1700000000;
    std::string message;
    ASSERT_TRUE(WriteHistoryRecord(Dir(), "tel", connect, connect + 600, false, 0, &message));
    ASSERT_TRUE(WriteHistoryRecord(Dir(), "net", connect, connect + 600, true, 6, &message));
    const std::string all = test::ReadWhole((dir_ / "history.txt").string());
    ASSERT_EQ(all.size(), 2 * 77u);
    EXPECT_EQ(all.substr(75, 2), "\r\n");
    auto tel = ParseHistoryLine(all.substr(0, 75));
    auto net = ParseHistoryLine(all.substr(77, 75));
    ASSERT_TRUE(tel && net);
    EXPECT_EQ(tel->seconds, 600);
    EXPECT_GT(tel->yen, 0);
    EXPECT_EQ(net->charge, "   0");

    EXPECT_FALSE(WriteHistoryRecord((dir_ / "missing" / "deeper").string(), "x", connect, connect,
                                    false, 0, &message));
    EXPECT_EQ(message, kHistoryOpenFailed);
}

TEST_F(HistoryFile, CliListsRecordsAndTotals) {
    Write(Rec(Utf8ToSjis("ニフティ"), 2024, 5, 1, 10, 0, 10, 30, 100) +
          Rec("PC-VAN", 2024, 5, 2, 22, 0, 23, 0, 2000));
    const std::string path = "HistoryDefPath=" + Dir();
    auto cli = [](std::vector<std::string> args) {
        args.insert(args.begin(), "history");
        return test::RunProgram(MARLO_CLI_PATH, args);
    };
    test::RunResult r = cli({"--utf8", "--set", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "ニフティ\t2024年05月01日(月)\t10:00:00～10:30:00\t100\n"
              "PC-VAN\t2024年05月02日(月)\t22:00:00～23:00:00\t2000\n"
              "2回\n1時間 30分 0秒\n2100円\n");

    r = cli({"--utf8", "--period", "all", "--host", "ニフティ", "--set", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "ニフティ\t2024年05月01日(月)\t10:00:00～10:30:00\t100\n1回\n0時間 30分 0秒\n100円\n");

    // Without --utf8 the output is the program's Shift-JIS.
    r = cli({"--period", "today", "--set", path});
    EXPECT_EQ(r.out, Utf8ToSjis("0回\n0時間 0分 0秒\n0円\n"));

    EXPECT_EQ(cli({"--period", "week"}).status, 2);
}

}  // namespace
}  // namespace marlo
