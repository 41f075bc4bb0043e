// Our engine against lrzsz through a relay that drops, corrupts, duplicates or holds bytes, and
// cancels from either side: a transfer completes with exact bytes or fails, and never reports a
// success that is not one.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "support/TransferKit.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

using test::Fault;
namespace fs = std::filesystem;

enum class Expect { Success, Failure, Either };
enum class Cancel { None, Ours, Theirs };

struct FaultCase {
    const char* name;
    int protocol;
    int direction;
    std::vector<std::string> peer;  // lrzsz command; the file name is added for senders
    Fault toThem, toUs;
    Expect expect;
    double scale = 0.2;
    Cancel cancel = Cancel::None;
    size_t size = 40000;
};

void RunCase(const FaultCase& c) {
    SCOPED_TRACE(c.name);
    test::EngineRun run(c.scale);
    test::TempDir theirs;
    auto data = test::RandomBytes(c.size, 99);
    fs::path ourFile;
    std::vector<std::string> argv = c.peer;
    if (c.direction == kUpload) {
        ourFile = run.dir.path / "data.bin";
        test::WriteFileBytes(ourFile, data);
    } else {
        test::WriteFileBytes(theirs.path / "data.bin", data);
        argv.push_back("data.bin");
        if (c.protocol != kProtoYmodem && c.protocol != kProtoYmodemG)
            ourFile = run.dir.path / "data.bin";
    }
    if (c.direction == kUpload && (c.protocol == kProtoXmodem || c.protocol == kProtoXmodem1k))
        argv.push_back("data.bin");

    test::SocketPair far;
    test::Relay relay(run.sp.b, far.a, c.toThem, c.toUs);
    pid_t peer = test::SpawnOnFd(argv, far.b, theirs.path.string());
    ::close(far.b);
    far.b = -1;

    std::vector<fs::path> files;
    if (!ourFile.empty()) files.push_back(ourFile);
    ASSERT_EQ(run.Start(c.protocol, c.direction, files), StartResult::Started);
    if (c.cancel != Cancel::None) {
        // Once data flows, one side gives up.
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (run.status.Field(TransField::Bytes).empty() &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (c.cancel == Cancel::Ours)
            run.session.Cancel();
        else
            ::kill(peer, SIGINT);
    }
    bool ok = run.Finish(120000);
    int peerExit = test::WaitExit(peer, 20000);
    relay.Stop();

    if (c.expect != Expect::Either) {
        EXPECT_EQ(ok, c.expect == Expect::Success);
    }
    EXPECT_EQ(run.endResult.load(), ok);
    if (ok) {
        // A reported success is a complete, exact file on the receiving side.
        fs::path got =
            c.direction == kUpload ? theirs.path / "data.bin" : run.dir.path / "data.bin";
        auto bytes = test::ReadFileBytes(got);
        if (c.protocol == kProtoYmodem || c.protocol == kProtoYmodemG) {
            EXPECT_EQ(bytes, data);
        } else {
            ASSERT_GE(bytes.size(), data.size());
            EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin()));
        }
        EXPECT_EQ(peerExit, 0);
    } else {
        EXPECT_NE(peerExit, 0);
    }
}

Fault At(Fault::Kind kind, size_t at, size_t count = 1, int stallMs = 0) {
    Fault f;
    f.kind = kind;
    f.at = at;
    f.count = count;
    f.stallMs = stallMs;
    return f;
}

const std::vector<std::string> kSb{"sb", "-q", "-t", "20"};
const std::vector<std::string> kRb{"rb", "-q", "-t", "20"};
const std::vector<std::string> kSx{"sx", "-q", "-t", "20"};
const std::vector<std::string> kRx{"rx", "-q", "-c", "-t", "20"};

TEST(LineFaults, TransfersRecoverOrFailButNeverLie) {
    const FaultCase cases[] = {
        {"ymodem receive, dropped byte",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         At(Fault::Drop, 5000),
         Expect::Success},
        {"ymodem receive, corrupted bytes",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         At(Fault::Corrupt, 5000, 3),
         Expect::Success},
        {"ymodem receive, duplicated byte",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         At(Fault::Duplicate, 5000),
         Expect::Success},
        {"ymodem receive, short stall",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         At(Fault::Stall, 5000, 1, 300),
         Expect::Success,
         1.0},
        {"ymodem receive, lost ACK",
         kProtoYmodem,
         kDownload,
         kSb,
         At(Fault::Drop, 4),
         {},
         Expect::Success},
        {"ymodem receive, line cut",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         At(Fault::Cut, 5000),
         Expect::Failure,
         0.05},
        {"ymodem-g receive, corrupted byte",
         kProtoYmodemG,
         kDownload,
         kSb,
         {},
         At(Fault::Corrupt, 5000),
         Expect::Failure},
        {"ymodem-g receive, dropped byte",
         kProtoYmodemG,
         kDownload,
         kSb,
         {},
         At(Fault::Drop, 5000),
         Expect::Failure},
        {"ymodem send, corrupted byte",
         kProtoYmodem,
         kUpload,
         kRb,
         At(Fault::Corrupt, 5000),
         {},
         Expect::Success},
        {"ymodem send, dropped byte",
         kProtoYmodem,
         kUpload,
         kRb,
         At(Fault::Drop, 5000),
         {},
         Expect::Success},
        {"ymodem send, duplicated ACK",
         kProtoYmodem,
         kUpload,
         kRb,
         {},
         At(Fault::Duplicate, 3),
         Expect::Either},
        {"xmodem send, corrupted byte",
         kProtoXmodem,
         kUpload,
         kRx,
         At(Fault::Corrupt, 1000),
         {},
         Expect::Success},
        {"xmodem send, corrupted ACK",
         kProtoXmodem,
         kUpload,
         kRx,
         {},
         At(Fault::Corrupt, 2),
         Expect::Either},
        {"xmodem receive, dropped byte",
         kProtoXmodemCrc,
         kDownload,
         kSx,
         {},
         At(Fault::Drop, 1000),
         Expect::Success},
        {"xmodem receive, duplicated byte",
         kProtoXmodem,
         kDownload,
         kSx,
         {},
         At(Fault::Duplicate, 1000),
         Expect::Success},
        {"ymodem receive, we cancel",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         {},
         Expect::Failure,
         0.2,
         Cancel::Ours,
         3000000},
        {"ymodem receive, they cancel",
         kProtoYmodem,
         kDownload,
         kSb,
         {},
         {},
         Expect::Failure,
         0.2,
         Cancel::Theirs,
         3000000},
        {"ymodem send, we cancel",
         kProtoYmodem,
         kUpload,
         kRb,
         {},
         {},
         Expect::Failure,
         0.2,
         Cancel::Ours,
         3000000},
        {"xmodem send, they cancel",
         kProtoXmodem1k,
         kUpload,
         kRx,
         {},
         {},
         Expect::Failure,
         0.2,
         Cancel::Theirs,
         3000000},
    };
    std::vector<std::thread> threads;
    for (const auto& c : cases) threads.emplace_back([&c] { RunCase(c); });
    for (auto& t : threads) t.join();
}

}  // namespace
}  // namespace marlo
