// ZMODEM against lrzsz's sz and rz, both directions, through a relay that counts bytes and can
// spoil the line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <utility>

#include "line/StreamLine.h"
#include "support/RecordingPlatform.h"
#include "support/TransferKit.h"
#include "transfer/ZModem.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;
using test::Fault;
using test::PeerProcess;
using test::RandomBytes;
using test::ReadFileBytes;
using test::WriteFileBytes;

struct Outcome {
    bool ok = false;
    int peerExit = -2;
    int64_t toUs = 0;    // bytes the peer sent
    int64_t fromUs = 0;  // bytes we sent
    int ourZrpos = 0;    // ZRPOS headers we sent (as our receiver sends them: hex)
};

// Our end of the line, counting the hex ZRPOS headers the engine writes.
class CountingLine : public StreamLine {
  public:
    using StreamLine::StreamLine;
    bool WriteRaw(const uint8_t* buf, size_t n) override {
        for (size_t i = 0; i < n; ++i) {
            tail_.push_back(static_cast<char>(buf[i]));
            if (tail_.size() > 8) tail_.erase(0, tail_.size() - 8);
            // "**", ZDLE, 'B' and type 09, or 'b', length 04 and type 09.
            if (tail_.ends_with("**\x18"
                                "B09") ||
                tail_.ends_with("**\x18"
                                "b0409"))
                ++zrpos;
        }
        return StreamLine::WriteRaw(buf, n);
    }
    int zrpos = 0;

  private:
    std::string tail_;
};

class ZModemInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root_ / "out");
        fs::create_directories(root_ / "in");
    }

    // Runs `peer` (in `peerDir`) against our engine; `download` picks the engine's direction.
    Outcome Run(const std::vector<std::string>& peer, const fs::path& peerDir, TransferContext& ctx,
                bool download, Fault toUs = {}, Fault fromUs = {}) {
        test::SocketPair peerPair, ourPair;
        Outcome out;
        {
            test::Relay relay(peerPair.b, ourPair.b, toUs, fromUs);
            PeerProcess proc(peer, peerPair.a, peerDir);
            ::close(std::exchange(peerPair.a, -1));
            {
                const int ourEnd = std::exchange(ourPair.a, -1);
                CountingLine line(ourEnd, ourEnd, true);
                ctx.line = &line;
                ctx.status = &status_;
                ZModem z(ctx);
                z.SetTimeout(3000);
                out.ok = download ? z.Download() : z.Upload();
                out.ourZrpos = line.zrpos;
                ctx.line = nullptr;
            }
            out.peerExit = proc.Wait(20000);
            relay.Stop();
            out.toUs = relay.BytesAToB();
            out.fromUs = relay.BytesBToA();
        }
        return out;
    }

    // Every size of kSizes and an awkward file, written to out/: name and contents.
    std::map<std::string, std::vector<uint8_t>> WriteBatch(uint32_t seed) const;

    test::TempDir tmp_;
    fs::path root_ = tmp_.path;
    test::RecordingStatus status_;
};

std::vector<uint8_t> Awkward(size_t n) {
    // Every byte the encoder treats specially, in runs and after '@'.
    const uint8_t special[] = {0x18, 0x11, 0x13, 0x91, 0x93, 0x10, 0x90, 0x0D, 0x8D, 0xFF,
                               0x7F, '@',  0x0D, '@',  0x8D, 0x00, 0x98, 0x2A, 0x18, 0x18};
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = special[(i * 7 + i / 13) % sizeof special];
    return v;
}

const std::vector<std::pair<std::string, size_t>> kSizes = {
    {"empty.bin", 0},    {"one.bin", 1},      {"k1023.bin", 1023},
    {"k1024.bin", 1024}, {"k1025.bin", 1025}, {"big.bin", 3 * 1024 * 1024 + 77}};

std::map<std::string, std::vector<uint8_t>> ZModemInterop::WriteBatch(uint32_t seed) const {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& [name, size] : kSizes) files[name] = RandomBytes(size, seed++);
    files["awkward.bin"] = Awkward(70000);
    for (const auto& [name, data] : files) WriteFileBytes(root_ / "out" / name, data);
    return files;
}

TEST_F(ZModemInterop, ReceivesABatchFromSz) {
    const auto files = WriteBatch(1);
    std::vector<std::string> args = {"sz", "-q"};
    for (const auto& [name, size] : kSizes) args.push_back(name);
    args.push_back("awkward.bin");  // the last one, whose figures stay shown

    TransferContext ctx;
    ctx.downloadDir = root_ / "in";
    ctx.elapsedSeconds = 2;
    Outcome r = Run(args, root_ / "out", ctx, true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.peerExit, 0);
    EXPECT_EQ(ctx.received.size(), files.size());
    for (const auto& [name, data] : files) {
        EXPECT_EQ(ReadFileBytes(root_ / "in" / name), data) << name;
    }
    EXPECT_EQ(ctx.files.size(), 1u);
    EXPECT_EQ(status_.Titles().front(), "ダウンロード中(0%)");
    EXPECT_EQ(status_.Titles().back(), "ダウンロード中(100%)");
    EXPECT_EQ(status_.percent, 100);  // the window's bar follows the title
    // The last file's figures.
    EXPECT_EQ(status_.Field(TransField::File), "awkward.bin");
    EXPECT_EQ(status_.Field(TransField::Size), "70000 ﾊﾞｲﾄ");
    EXPECT_EQ(status_.Field(TransField::Bytes), "70000ﾊﾞｲﾄ");
    EXPECT_EQ(status_.Field(TransField::Speed), "35000 CPS");
    EXPECT_EQ(status_.Field(TransField::Remaining), "0秒");
    EXPECT_EQ(status_.Field(TransField::Retries), "0");
}

// sz -8 sends subpackets of up to 8 KB: they are taken as they come, with no ZRPOS but the one
// that starts each file, and so are the 1 KB ones of a plain sz.
TEST_F(ZModemInterop, ReceivesEightKilobyteSubpacketsWithoutARetry) {
    auto data = RandomBytes(600000, 8);
    WriteFileBytes(root_ / "out" / "big8.bin", data);
    WriteFileBytes(root_ / "out" / "small8.bin", Awkward(9000));
    for (const char* option : {"-8", "-q"}) {
        fs::remove_all(root_ / "in");
        fs::create_directories(root_ / "in");
        TransferContext ctx;
        ctx.downloadDir = root_ / "in";
        Outcome r =
            Run({"sz", "-q", option, "big8.bin", "small8.bin"}, root_ / "out", ctx, true);
        ASSERT_TRUE(r.ok) << option;
        EXPECT_EQ(r.peerExit, 0) << option;
        EXPECT_EQ(ReadFileBytes(root_ / "in" / "big8.bin"), data) << option;
        EXPECT_EQ(ReadFileBytes(root_ / "in" / "small8.bin"), Awkward(9000)) << option;
        EXPECT_EQ(r.ourZrpos, 2) << option;  // one per file
        EXPECT_EQ(status_.Field(TransField::Retries), "0") << option;
    }
}

TEST_F(ZModemInterop, SendsABatchToRz) {
    TransferContext ctx;
    const auto files = WriteBatch(11);
    for (const auto& [name, data] : files) ctx.files.push_back(root_ / "out" / name);
    Outcome r = Run({"rz", "-q"}, root_ / "in", ctx, false);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.peerExit, 0);
    for (const auto& [name, data] : files)
        EXPECT_EQ(ReadFileBytes(root_ / "in" / name), data) << name;
    EXPECT_EQ(status_.Titles().back(), "アップロード中(100%)");
    EXPECT_EQ(status_.percent, 100);
}

// A sender that escapes every control and checks with CRC-16, a receiver that asks for escaping,
// and a name in capitals that goes out lower-cased.
TEST_F(ZModemInterop, PeersThatEscapeControlsOrUseCrc16AndNamesInCapitals) {
    const struct {
        std::vector<std::string> peer;
        bool download;
        std::string sent, stored;
        std::vector<uint8_t> data;
    } cases[] = {
        {{"sz", "-q", "-e", "-o", "esc.bin"}, true, "esc.bin", "esc.bin", Awkward(5000)},
        {{"rz", "-q", "-e"}, false, "e.bin", "e.bin", Awkward(40000)},
        {{"rz", "-q"}, false, "README.TXT", "readme.txt", {'h', 'i'}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        WriteFileBytes(root_ / "out" / c.sent, c.data);
        TransferContext ctx;
        ctx.downloadDir = root_ / "in";
        if (!c.download) ctx.files = {root_ / "out" / c.sent};
        Outcome r = Run(c.peer, root_ / (c.download ? "out" : "in"), ctx, c.download);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(ReadFileBytes(root_ / "in" / c.stored), c.data);
    }
}

TEST_F(ZModemInterop, SzResumeOptionResumesWithoutAsking) {
    auto data = RandomBytes(300000, 5);
    WriteFileBytes(root_ / "out" / "r.bin", data);
    // A local head, a complete local copy, and a local file longer than the one offered.
    auto longer = data;
    longer.push_back(1);
    const std::vector<std::vector<uint8_t>> locals = {
        std::vector<uint8_t>(data.begin(), data.begin() + 100000), data, longer};
    for (const auto& local : locals) {
        SCOPED_TRACE(local.size());
        WriteFileBytes(root_ / "in" / "r.bin", local);
        test::RecordingPlatform platform;
        TransferContext ctx;
        ctx.platform = &platform;
        ctx.downloadDir = root_ / "in";
        Outcome r = Run({"sz", "-q", "-r", "r.bin"}, root_ / "out", ctx, true);
        ASSERT_TRUE(r.ok);
        EXPECT_TRUE(platform.boxes.empty());
        EXPECT_EQ(ReadFileBytes(root_ / "in" / "r.bin"), data);
        const int64_t rest = local.size() <= data.size() ? int64_t(data.size() - local.size())
                                                         : int64_t(data.size());
        EXPECT_LT(r.toUs, rest + rest / 10 + 4096);
    }
}

TEST_F(ZModemInterop, ResumeQuestionAnsweredByTheUser) {
    auto data = RandomBytes(50000, 6);
    WriteFileBytes(root_ / "out" / "q.bin", data);
    for (MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        // A local head that differs: "no" overwrites, "yes" keeps the head and appends.
        std::vector<uint8_t> local(20000, 0xAB);
        WriteFileBytes(root_ / "in" / "q.bin", local);
        test::RecordingPlatform platform;
        platform.answers.push_back(answer);
        TransferContext ctx;
        ctx.platform = &platform;
        ctx.downloadDir = root_ / "in";
        Outcome r = Run({"sz", "-q", "q.bin"}, root_ / "out", ctx, true);
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].text, "すでに同名のﾌｧｲﾙが存在します。ﾘｼﾞｭｰﾑしますか？");
        EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Question);
        auto got = ReadFileBytes(root_ / "in" / "q.bin");
        if (answer == MsgResult::No) {
            EXPECT_EQ(got, data);
        } else {
            std::vector<uint8_t> want = local;
            want.insert(want.end(), data.begin() + 20000, data.end());
            EXPECT_EQ(got, want);
        }
    }
}

// An existing file is overwritten when nobody can be asked, and when the user said no to resuming
// (marlo-cli receive --resume no) even though sz -r asks to resume.
TEST_F(ZModemInterop, OverwritesWhenNobodyIsAskedOrTheUserRefusesToResume) {
    const struct {
        bool senderAsks;
        int answer;
    } cases[] = {{false, -1}, {true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.senderAsks);
        auto data = RandomBytes(30000, 8);
        WriteFileBytes(root_ / "out" / "n.bin", data);
        WriteFileBytes(root_ / "in" / "n.bin", std::vector<uint8_t>(10000, 0xAB));
        TransferContext ctx;
        ctx.downloadDir = root_ / "in";
        ctx.resumeAnswer = c.answer;
        std::vector<std::string> sz = {"sz", "-q", "n.bin"};
        if (c.senderAsks) sz.insert(sz.begin() + 1, "-r");
        ASSERT_TRUE(Run(sz, root_ / "out", ctx, true).ok);
        EXPECT_EQ(ReadFileBytes(root_ / "in" / "n.bin"), data);
    }
}

void SetMtime(const fs::path& p, time_t t) {
    timespec ts[2] = {{t, 0}, {t, 0}};
    ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
}

time_t Mtime(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mtime;
}

TEST_F(ZModemInterop, ManagementOptionsAgainstALocalFile) {
    struct Case {
        const char* label;
        std::vector<std::string> szFlags;
        std::string forced;  // ctx.management
        bool sameContent;
        time_t localTime;  // the sent file is dated 2000000000
        bool expectOverwrite;
        const char* renamedTo;  // non-null: the sent file lands under this name
    };
    const time_t sent = 2000000000;
    const Case cases[] = {
        {"newer: local older", {"-n"}, "", false, sent - 100, true, nullptr},
        {"newer: local same age", {"-n"}, "", false, sent, false, nullptr},
        {"newer or longer", {"-N"}, "", false, sent, true, nullptr},  // the sent one is longer
        {"protect", {"-p"}, "", false, sent - 100, false, nullptr},
        {"clobber", {"-y"}, "", false, sent + 100, true, nullptr},
        {"change name", {"-E"}, "", false, sent, false, "m.000"},
        {"different: same", {}, "ZMDIFF", true, sent, false, nullptr},
        {"different: other time", {}, "ZMDIFF", true, sent - 1, true, nullptr},
        {"crc: equal", {}, "ZMCRC", true, sent - 100, false, nullptr},
        {"crc: unequal", {}, "ZMCRC", false, sent - 100, true, nullptr},
    };
    const auto data = RandomBytes(30000, 21);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(root_ / "in");
        WriteFileBytes(root_ / "out" / "m.bin", data);
        SetMtime(root_ / "out" / "m.bin", sent);
        std::vector<uint8_t> local = data;
        if (!c.sameContent) {
            local.assign(data.begin(), data.begin() + 20000);
            local[5] ^= 1;
        }
        if (std::string(c.label) == "crc: unequal") {
            local = data;
            local[100] ^= 1;
        }
        WriteFileBytes(root_ / "in" / "m.bin", local);
        SetMtime(root_ / "in" / "m.bin", c.localTime);
        TransferContext ctx;
        ctx.downloadDir = root_ / "in";
        ctx.management = c.forced;
        std::vector<std::string> args = {"sz", "-q"};
        args.insert(args.end(), c.szFlags.begin(), c.szFlags.end());
        args.push_back("m.bin");
        Outcome r = Run(args, root_ / "out", ctx, true);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(ReadFileBytes(root_ / "in" / "m.bin"), c.expectOverwrite ? data : local);
        if (c.expectOverwrite) {
            EXPECT_EQ(Mtime(root_ / "in" / "m.bin"), sent);
        }
        if (c.renamedTo) {
            EXPECT_EQ(ReadFileBytes(root_ / "in" / c.renamedTo), data);
        }
        EXPECT_EQ(ctx.received.size(), (c.expectOverwrite || c.renamedTo) ? 1u : 0u);
    }
}

TEST_F(ZModemInterop, AppendOptionAddsTheWholeFileWithoutAsking) {
    auto data = RandomBytes(5000, 41);
    WriteFileBytes(root_ / "out" / "ap.bin", data);
    std::vector<uint8_t> local = {'h', 'e', 'a', 'd'};
    WriteFileBytes(root_ / "in" / "ap.bin", local);
    test::RecordingPlatform platform;
    TransferContext ctx;
    ctx.platform = &platform;
    ctx.downloadDir = root_ / "in";
    ASSERT_TRUE(Run({"sz", "-q", "-+", "ap.bin"}, root_ / "out", ctx, true).ok);
    EXPECT_TRUE(platform.boxes.empty());
    local.insert(local.end(), data.begin(), data.end());
    EXPECT_EQ(ReadFileBytes(root_ / "in" / "ap.bin"), local);
}

TEST_F(ZModemInterop, NoisyLineCompletesExactlyOrFailsCleanly) {
    auto data = RandomBytes(1500000, 31);
    WriteFileBytes(root_ / "out" / "noisy.bin", data);
    Fault noise;
    noise.corruptOneIn = 10000;
    noise.drops = 3;
    noise.duplicates = 3;
    Fault back = noise;
    back.seed = 77;
    {
        TransferContext ctx;
        ctx.downloadDir = root_ / "in";
        Outcome r = Run({"sz", "-q", "noisy.bin"}, root_ / "out", ctx, true, noise, back);
        if (r.ok) {
            EXPECT_EQ(ReadFileBytes(root_ / "in" / "noisy.bin"), data);
        } else {
            EXPECT_TRUE(ctx.received.empty());
        }
    }
    {
        fs::remove_all(root_ / "in");
        fs::create_directories(root_ / "in");
        TransferContext ctx;
        ctx.files = {root_ / "out" / "noisy.bin"};
        noise.seed = 5;
        back.seed = 6;
        Outcome r = Run({"rz", "-q"}, root_ / "in", ctx, false, back, noise);
        if (r.ok) {
            EXPECT_EQ(ReadFileBytes(root_ / "in" / "noisy.bin"), data);
        }
    }
}

}  // namespace
}  // namespace marlo
