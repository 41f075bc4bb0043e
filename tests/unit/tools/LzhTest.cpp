// LZH extraction: archives of an archiver (lh5, lh6, lh7, Shift-JIS names) and stored archives
// written by the test helper under every header level; members that would land outside the
// destination; damaged archives; the end of the command (messages, the delete flag).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/LzhArchive.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"
#include "tools/Lzh.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;
using test::LzhArchive;
using test::LzhEntry;
using test::ReadWhole;
using test::TempDir;
using test::WriteWhole;

std::string Data(const char* name) { return std::string(MARLO_TEST_DATA) + "/lzh/" + name; }

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// A problem that names `member`.
bool Names(const LzhResult& r, const std::string& member) {
    return std::any_of(r.problems.begin(), r.problems.end(), [&](const std::string& p) {
        return p.find("「" + member + "」") != std::string::npos;
    });
}

TEST(Lzh, CrcIsTheArchiversOne) {
    const std::string check = "123456789";
    EXPECT_EQ(LzhCrc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xBB3D);
    EXPECT_EQ(LzhVersionText(), "Version  0.03");
}

TEST(Lzh, CompressedArchivesOfAnArchiverExtractWhole) {
    for (const char* name : {"lh5.lzh", "lh6.lzh", "lh7.lzh"}) {
        SCOPED_TRACE(name);
        TempDir d;
        LzhResult r = ExtractLzh(Data(name), d.Str());
        EXPECT_EQ(r.status, LzhStatus::Ok) << (r.problems.empty() ? "" : r.problems[0]);
        EXPECT_EQ(ReadWhole(d.Str() + "/a.txt"), Repeat("hello world\n", 50));
        EXPECT_EQ(ReadWhole(d.Str() + "/sub/b.txt"), "inner file\n");
        EXPECT_EQ(r.extracted, (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    }
    LzhResult list = ListLzh(Data("lh5.lzh"));
    ASSERT_EQ(list.members.size(), 2u);
    EXPECT_EQ(list.members[0].name, "a.txt");
    EXPECT_EQ(list.members[0].method, "-lh5-");
    EXPECT_EQ(list.members[0].size, 600u);
    EXPECT_LT(list.members[0].packed, 600u);
    EXPECT_EQ(list.members[1].name, "sub/b.txt");
}

TEST(Lzh, ShiftJisNamesKeepTheirSecondByte0x5C) {
    // 表 and ソ end in 0x5C: a reader that took it for '\' would make folders of them.
    TempDir d;
    LzhResult r = ExtractLzh(Data("sjis.lzh"), d.Str());
    EXPECT_EQ(r.status, LzhStatus::Ok);
    EXPECT_EQ(ReadWhole(d.Str() + "/表示ソ.txt"), "kanji name\n");
    EXPECT_EQ(ReadWhole(d.Str() + "/予定/能力.txt"), "in kanji dir\n");
    // Level 0 keeps the whole path in the name, folders after '\'.
    WriteWhole(d.Str() + "/l0.lzh", LzhArchive({{"\x97\x5c\x92\xe8\\\x95\x5c.TXT", "x", 0}}));
    r = ExtractLzh(d.Str() + "/l0.lzh", d.Str() + "/out");
    EXPECT_EQ(r.status, LzhStatus::Ok);
    EXPECT_EQ(ReadWhole(d.Str() + "/out/予定/表.TXT"), "x");
}

TEST(Lzh, StoredMembersOfEveryHeaderLevelAndTheDestinationForms) {
    TempDir d;
    const std::string archive = LzhArchive({
        {"zero.txt", "level 0", 0},
        {"one.txt", "level 1", 1, "f1"},
        {"two.txt", "level 2", 2, "f2\xff" "deeper"},
        {"", "", 2, "empty\xff", "-lhd-"},
    });
    WriteWhole(d.Str() + "/a.lzh", archive);
    auto check = [&](const std::string& dest) {
        EXPECT_EQ(ReadWhole(dest + "/zero.txt"), "level 0");
        EXPECT_EQ(ReadWhole(dest + "/f1/one.txt"), "level 1");
        EXPECT_EQ(ReadWhole(dest + "/f2/deeper/two.txt"), "level 2");
        EXPECT_TRUE(fs::is_directory(dest + "/empty"));
    };
    // With and without a trailing '/', and a folder that does not exist yet.
    for (const std::string& dest : {d.Str() + "/x", d.Str() + "/y/", d.Str() + "/new/deep"}) {
        SCOPED_TRACE(dest);
        LzhResult r = ExtractLzh(d.Str() + "/a.lzh", dest);
        EXPECT_EQ(r.status, LzhStatus::Ok) << (r.problems.empty() ? "" : r.problems[0]);
        check(dest);
    }
    // No destination: the archive's own folder (never the root).
    EXPECT_EQ(ExtractLzh(d.Str() + "/a.lzh", "").status, LzhStatus::Ok);
    check(d.Str());
    EXPECT_EQ(LzhDestination("/dl/A.LZH", ""), fs::path("/dl"));
    EXPECT_EQ(LzhDestination("A.LZH", ""), fs::path("."));
    EXPECT_EQ(LzhDestination("/dl/A.LZH", "/out/"), fs::path("/out"));
    // A name with bytes no file name holds is written cleaned, and reported as written.
    WriteWhole(d.Str() + "/c.lzh", LzhArchive({{std::string("nu\0l\x01.txt", 10), "nul", 2, "s"}}));
    const LzhResult cleaned = ExtractLzh(d.Str() + "/c.lzh", d.Str() + "/c");
    EXPECT_EQ(cleaned.extracted, std::vector<std::string>{"s/nul.txt"});
    EXPECT_EQ(ReadWhole(d.Str() + "/c/s/nul.txt"), "nul");
    // An archive without the end mark ends at the end of the file.
    WriteWhole(d.Str() + "/b.lzh", LzhArchive({{"n.txt", "no mark"}}, false));
    EXPECT_EQ(ExtractLzh(d.Str() + "/b.lzh", d.Str() + "/z").status, LzhStatus::Ok);
    EXPECT_EQ(ReadWhole(d.Str() + "/z/n.txt"), "no mark");
}

TEST(Lzh, MembersThatWouldLeaveTheDestinationAreRefusedByName) {
    TempDir d;
    const fs::path dest = d.path / "dest", outside = d.path / "outside";
    fs::create_directories(dest);
    fs::create_directories(outside);
    WriteWhole((outside / "keep").string(), "keep");
    // Links already in the destination: a folder and a file leading out.
    fs::create_directory_symlink(outside, dest / "dirlink");
    fs::create_symlink(outside / "keep", dest / "filelink");
    const std::string absolute = (d.path / "abs").string();
    WriteWhole(d.Str() + "/h.lzh",
               LzhArchive({
                   {"../x", "up", 0},
                   {"a\\..\\..\\y", "up", 1},
                   {absolute, "abs", 2},
                   {"C:\\abs", "drive", 0},
                   {"dirlink/z", "through a link", 2},
                   {"filelink", "replaces the link", 2},
                   {"out|../../outside/keep", "", 2, "", "-lhd-", 0120777},
                   {"in|sub/ok.txt", "", 2, "", "-lhd-", 0120777},
                   {"dev", "", 2, "", "-lh0-", 020644},
                   {"fifo", "", 1, "", "-lh0-", 010644},
                   {"ok.txt", "fine", 2, "sub"},
               }));
    LzhResult r = ExtractLzh(d.Str() + "/h.lzh", dest.string());
    EXPECT_EQ(r.status, LzhStatus::Failed);
    for (const std::string& member : {std::string("../x"), std::string("a\\..\\..\\y"), absolute,
                                      std::string("C:\\abs"), std::string("dirlink/z"),
                                      std::string("out"), std::string("dev"), std::string("fifo")})
        EXPECT_TRUE(Names(r, member)) << member;
    EXPECT_EQ(r.problems.size(), 8u);
    // The rest went in; nothing went out, and the file behind the link is as it was.
    EXPECT_EQ(ReadWhole((dest / "sub/ok.txt").string()), "fine");
    EXPECT_EQ(fs::read_symlink(dest / "in"), fs::path("sub/ok.txt"));
    EXPECT_EQ(ReadWhole((dest / "filelink").string()), "replaces the link");
    EXPECT_FALSE(fs::is_symlink(dest / "filelink"));
    EXPECT_EQ(ReadWhole((outside / "keep").string()), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(d.path / "x"));
    EXPECT_FALSE(fs::exists(d.path / "y"));
    EXPECT_FALSE(fs::exists(absolute));
    for (const auto& e : fs::recursive_directory_iterator(dest))
        EXPECT_EQ(e.path().filename().string().rfind(".marlo-lzh", 0), std::string::npos);
}

TEST(Lzh, DamagedArchivesFailAndReplaceNothing) {
    TempDir d;
    std::string good = ReadWhole(Data("lh5.lzh"));
    // A byte of a.txt's compressed data changed: its CRC fails, the old a.txt stays.
    std::string bad = good;
    bad[50] = static_cast<char>(bad[50] ^ 0x55);
    WriteWhole(d.Str() + "/bad.lzh", bad);
    WriteWhole(d.Str() + "/a.txt", "old");
    LzhResult r = ExtractLzh(d.Str() + "/bad.lzh", "");
    EXPECT_EQ(r.status, LzhStatus::Failed);
    EXPECT_TRUE(Names(r, "a.txt"));
    EXPECT_EQ(ReadWhole(d.Str() + "/a.txt"), "old");
    EXPECT_EQ(ReadWhole(d.Str() + "/sub/b.txt"), "inner file\n");

    // Cut short, a damaged second header, not an archive at all, an empty file.
    const std::string stored = LzhArchive({{"one", "1"}, {"two", "2"}});
    std::string brokenHeader = stored;
    brokenHeader[stored.find("-lh0-", 1) - 2 + 20] = '\x7d';  // the second one's level
    for (const auto& bytes : {good.substr(0, 90), brokenHeader, std::string("just text\n"),
                              std::string()}) {
        WriteWhole(d.Str() + "/c.lzh", bytes);
        EXPECT_EQ(ExtractLzh(d.Str() + "/c.lzh", d.Str() + "/c").status, LzhStatus::Failed);
        EXPECT_EQ(ListLzh(d.Str() + "/c.lzh").status, LzhStatus::Failed);
    }
    // An unknown method is named.
    WriteWhole(d.Str() + "/m.lzh", LzhArchive({{"m", "data", 2, "", "-lhz-"}}));
    r = ExtractLzh(d.Str() + "/m.lzh", d.Str() + "/m");
    EXPECT_EQ(r.status, LzhStatus::Failed);
    EXPECT_TRUE(Names(r, "m"));
    // A member named as the extraction's next temporary file survives the failure that follows it.
    const std::string temp = ".marlo-lzh-" + std::to_string(::getpid()) + "-";
    WriteWhole(d.Str() + "/t.lzh", LzhArchive({{temp + "2", "kept"}, {"x", "data"},
                                               {"m", "data", 2, "", "-lhz-"}}));
    r = ExtractLzh(d.Str() + "/t.lzh", d.Str() + "/t");
    EXPECT_EQ(r.status, LzhStatus::Failed);
    EXPECT_EQ(ReadWhole(d.Str() + "/t/" + temp + "2"), "kept");
    EXPECT_EQ(ReadWhole(d.Str() + "/t/x"), "data");
    // A missing archive or a destination that cannot be a folder is a file error.
    EXPECT_EQ(ExtractLzh(d.Str() + "/none.lzh", "").status, LzhStatus::FileError);
    EXPECT_EQ(ExtractLzh(d.Str(), "").status, LzhStatus::FileError);
    EXPECT_EQ(ExtractLzh(Data("lh5.lzh"), d.Str() + "/a.txt").status, LzhStatus::FileError);
}

TEST(Lzh, CancelStopsBetweenBlocksAndTheJobReportsItsOutcome) {
    TempDir d;
    WriteWhole(d.Str() + "/big.lzh", LzhArchive({{"big", std::string(1 << 20, 'b')},
                                                 {"after", "a"}}));
    std::atomic<bool> cancel{false};
    LzhProgress progress;
    progress.cancel = &cancel;
    uint64_t lastDone = 0, total = 0;
    progress.report = [&](uint64_t done, uint64_t all, const std::string&) {
        lastDone = done;
        total = all;
        cancel = true;
    };
    LzhResult r = ExtractLzh(d.Str() + "/big.lzh", d.Str() + "/out", progress);
    EXPECT_EQ(r.status, LzhStatus::Cancelled);
    EXPECT_GT(lastDone, 0u);
    EXPECT_EQ(total, fs::file_size(d.path / "big.lzh"));
    EXPECT_FALSE(fs::exists(d.path / "out/big"));
    EXPECT_FALSE(fs::exists(d.path / "out/after"));

    LzhJob job({Data("lh6.lzh"), d.Str() + "/job", true});
    for (int i = 0; i < 1000 && !job.Finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(job.Finished());
    EXPECT_EQ(job.Outcome().result.status, LzhStatus::Ok);
    EXPECT_TRUE(job.Outcome().request.deleteArchive);
    EXPECT_EQ(job.BytesDone(), job.BytesTotal());
}

TEST(Lzh, TheCommandEndsWithTheFailureOrTheArchiveDeletedWhenAsked) {
    TempDir d;
    test::RecordingPlatform platform;
    const std::string archive = d.Str() + "/A.LZH";
    LzhOutcome ok{{archive, "", false}, {}};
    WriteWhole(archive, "x");
    ReportLzhOutcome(platform, ok);
    EXPECT_TRUE(fs::exists(archive));  // delete flag off
    ok.request.deleteArchive = true;
    ReportLzhOutcome(platform, ok);
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_TRUE(platform.boxes.empty());
    ReportLzhOutcome(platform, ok);  // gone already: the deletion fails
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, kLzhDeleteFailed);

    // A failure keeps the archive whatever the flag, and says what went wrong.
    WriteWhole(archive, "x");
    LzhOutcome failed{{archive, "", true}, ExtractLzh(archive, "")};
    ReportLzhOutcome(platform, failed);
    EXPECT_TRUE(fs::exists(archive));
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].text.rfind(kLzhFailed, 0), 0u);
    EXPECT_NE(platform.boxes[1].text.find("LZH書庫ではありません"), std::string::npos);
    EXPECT_EQ(platform.boxes[1].icon, MsgIcon::Exclamation);
    // A cancelled run says nothing and keeps it.
    LzhOutcome cancelled{{archive, "", true}, {LzhStatus::Cancelled, {}, {}, {}}};
    ReportLzhOutcome(platform, cancelled);
    EXPECT_EQ(platform.boxes.size(), 2u);
    EXPECT_TRUE(fs::exists(archive));
}

}  // namespace
}  // namespace marlo
