// marlo-cli send and receive on real lines against lrzsz: a serial device (a pty, joined through a
// second pty to the peer's terminal), a telnet host that runs sz or rz behind its binary-mode
// relay, and the resume of a cut download over standard streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "support/PtyPair.h"
#include "support/RunProgram.h"
#include "support/TelnetTestServer.h"
#include "support/TempDir.h"
#include "support/TransferKit.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;
using test::PeerProcess;
using test::ReadFileBytes;
using test::RunProgram;
using test::RunResult;
using test::TempDir;
using test::WriteFileBytes;

// Bytes every layer treats specially: ZDLE, XON, XOFF (and their high-bit forms), CR, and the
// telnet IAC, in runs, among random bytes.
std::vector<uint8_t> Awkward(size_t n, unsigned seed) {
    auto v = test::RandomBytes(n, seed);
    const uint8_t special[] = {0xFF, 0xFF, 0x18, 0x11, 0x13, 0x91, 0x93, 0x0D, 0xFF, 0x8D};
    for (size_t i = 0; i < n; i += 2) v[i] = special[(i / 2) % sizeof special];
    return v;
}

RunResult Cli(std::vector<std::string> args) {
    return RunProgram(MARLO_CLI_PATH, args, {}, 60000);
}

// The serial device marlo-cli opens is one pty; the peer runs on the terminal of another; a relay
// joins the two masters, as a null-modem cable joins two ports.
class PtyCable {
  public:
    PtyCable()
        : relay_(::dup(ours_.Master()), ::dup(theirs_.Master()), {}, {}, true),
          peerFd_(::open(theirs_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~PtyCable() {
        if (peerFd_ >= 0) ::close(peerFd_);
    }
    bool Ok() const { return ours_.Ok() && theirs_.Ok() && peerFd_ >= 0; }
    std::string Device() const { return ours_.SlavePath(); }
    int PeerFd() const { return peerFd_; }

  private:
    test::PtyPair ours_, theirs_;
    test::Relay relay_;
    int peerFd_;
};

// lrzsz keeps XON/XOFF on its terminal for XMODEM, so only the direction in which it sends data
// (and we send only the protocol's answers) is safe with binary data on a tty.
TEST(CliSerialLine, XmodemReceiveFromSxOverAPty) {
    TempDir out, in;
    auto data = test::RandomBytes(5000, 3);
    WriteFileBytes(out.path / "x.bin", data);
    PtyCable cable;
    ASSERT_TRUE(cable.Ok());
    PeerProcess sx({"sx", "-q", "x.bin"}, cable.PeerFd(), out.path);
    RunResult r = Cli({"receive", "--protocol", "xmodem-crc", "--serial", cable.Device(), "--set",
                       "Speed=115200", "--dir", in.path.string(), "got.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sx.Wait(20000), 0);
    auto got = ReadFileBytes(in.path / "got.bin");
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_EQ(got.size() % 128, 0u);
}

TEST(CliSerialLine, ZmodemSendToRzOverAPty) {
    TempDir out, in;
    auto data = Awkward(300000, 8);
    WriteFileBytes(out.path / "s.bin", data);
    PtyCable cable;
    ASSERT_TRUE(cable.Ok());
    PeerProcess rz({"rz", "-q"}, cable.PeerFd(), in.path);
    RunResult r = Cli({"send", "--protocol", "zmodem", "--serial", cable.Device(),
                       (out.path / "s.bin").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rz.Wait(20000), 0);
    EXPECT_EQ(ReadFileBytes(in.path / "s.bin"), data);
}

TEST(CliSerialLine, ZmodemReceiveFromSzOverAPty) {
    TempDir out, in;
    auto data = Awkward(300000, 4);
    WriteFileBytes(out.path / "z.bin", data);
    PtyCable cable;
    ASSERT_TRUE(cable.Ok());
    PeerProcess sz({"sz", "-q", "z.bin"}, cable.PeerFd(), out.path);
    RunResult r = Cli(
        {"receive", "--protocol", "zmodem", "--serial", cable.Device(), "--dir", in.path.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sz.Wait(20000), 0);
    EXPECT_EQ(ReadFileBytes(in.path / "z.bin"), data);
}

// With binary transmission granted, and with a server that refuses it and speaks the network
// virtual terminal (CR NUL for a bare CR both ways).
TEST(CliTelnetLine, ZmodemBothWaysThroughATelnetServer) {
    for (bool binary : {true, false}) {
        SCOPED_TRACE(binary ? "binary" : "network virtual terminal");
        TempDir out, in;
        auto data = Awkward(200000, 5);
        WriteFileBytes(out.path / "t.bin", data);
        {
            test::TelnetTestServer server({"sz", "-q", "t.bin"}, out.path, binary);
            RunResult r =
                Cli({"receive", "--protocol", "zmodem", "--telnet",
                     "127.0.0.1:" + std::to_string(server.Port()), "--dir", in.path.string()});
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(server.WaitProgram(20000), 0);
            EXPECT_GT(server.DoubledToClient(), 0);
            EXPECT_EQ(ReadFileBytes(in.path / "t.bin"), data);
        }
        fs::remove(in.path / "t.bin");
        {
            test::TelnetTestServer server({"rz", "-q"}, in.path, binary);
            RunResult r =
                Cli({"send", "--protocol", "zmodem", "--telnet",
                     "127.0.0.1:" + std::to_string(server.Port()), (out.path / "t.bin").string()});
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(server.WaitProgram(20000), 0);
            EXPECT_GT(server.UndoubledFromClient(), 0);
            EXPECT_EQ(ReadFileBytes(in.path / "t.bin"), data);
        }
    }
}

// The host starts sz in the middle of a session: connect downloads the file by itself and then
// shows what the host says next.
TEST(CliTelnetLine, ConnectDownloadsWhatTheHostStartsAndGoesOn) {
    TempDir out, in;
    auto data = Awkward(150000, 6);
    WriteFileBytes(out.path / "auto.bin", data);
    test::TelnetTestServer server({"sh", "-c", "echo before; sz -q auto.bin; echo after-transfer"},
                                  out.path);
    RunResult r = Cli({"connect", "--telnet", "127.0.0.1:" + std::to_string(server.Port()),
                       "--dir", in.path.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("before"), std::string::npos);
    EXPECT_NE(r.out.find("after-transfer"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("転送終了"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(in.path / "auto.bin"), data);
}

struct CutRun {
    int ours = -1, theirs = -1;
    int64_t toUs = 0;
};

// marlo-cli receive on standard streams against sz, through a relay that may cut the line.
CutRun ReceiveThroughRelay(const fs::path& from, const fs::path& to, const std::string& file,
                           std::vector<std::string> extra, int64_t cutAfter) {
    test::SocketPair peerPair, ourPair;
    test::Fault cut;
    if (cutAfter >= 0) {
        cut.kind = test::Fault::Hangup;
        cut.at = static_cast<size_t>(cutAfter);
    }
    CutRun run;
    test::Relay relay(peerPair.b, ourPair.b, cut);
    std::vector<std::string> argv = {MARLO_CLI_PATH, "receive", "--protocol", "zmodem",
                                     "--stdio",      "--dir",   to.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    PeerProcess sz({"sz", "-q", file}, peerPair.a, from);
    PeerProcess ours(argv, ourPair.a, to);
    ::close(std::exchange(peerPair.a, -1));
    ::close(std::exchange(ourPair.a, -1));
    run.ours = ours.Wait(30000);
    run.theirs = sz.Wait(30000);
    relay.Stop();
    run.toUs = relay.BytesAToB();
    return run;
}

TEST(CliResume, ACutDownloadResumesWithOnlyTheRest) {
    TempDir out, in;
    const size_t size = 1024 * 1024;
    auto data = test::RandomBytes(size, 6);
    WriteFileBytes(out.path / "r.bin", data);

    CutRun first = ReceiveThroughRelay(out.path, in.path, "r.bin", {}, size / 2);
    EXPECT_EQ(first.ours, 1);
    const auto kept = fs::file_size(in.path / "r.bin");
    ASSERT_GT(kept, size / 4);
    ASSERT_LT(kept, size);
    // What was kept is the head of the file, ready to be resumed.
    const auto head = ReadFileBytes(in.path / "r.bin");
    EXPECT_TRUE(std::equal(head.begin(), head.end(), data.begin()));

    CutRun second = ReceiveThroughRelay(out.path, in.path, "r.bin", {"--resume", "yes"}, -1);
    EXPECT_EQ(second.ours, 0);
    EXPECT_EQ(ReadFileBytes(in.path / "r.bin"), data);
    const auto rest = static_cast<int64_t>(size - kept);
    EXPECT_GE(second.toUs, rest);
    EXPECT_LT(second.toUs, rest + rest / 10 + 4096);

    // "no" starts again from nothing: a wrong head is replaced.
    WriteFileBytes(in.path / "r.bin", std::vector<uint8_t>(1000, 0xEE));
    CutRun third = ReceiveThroughRelay(out.path, in.path, "r.bin", {"--resume", "no"}, -1);
    EXPECT_EQ(third.ours, 0);
    EXPECT_EQ(ReadFileBytes(in.path / "r.bin"), data);
}

TEST(CliManagement, ProtectKeepsTheLocalFile) {
    TempDir out, in;
    WriteFileBytes(out.path / "p.bin", test::RandomBytes(20000, 7));
    const std::vector<uint8_t> local(300, 0x42);
    WriteFileBytes(in.path / "p.bin", local);
    CutRun run = ReceiveThroughRelay(out.path, in.path, "p.bin", {"--management", "prot"}, -1);
    EXPECT_EQ(run.theirs, 0);
    EXPECT_EQ(ReadFileBytes(in.path / "p.bin"), local);
}

}  // namespace
}  // namespace marlo
