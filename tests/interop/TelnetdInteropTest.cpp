// The telnet line against a real telnet daemon (inetutils telnetd under socat on loopback):
// negotiation with a server that asks for many options must still reach the login prompt, and
// ZMODEM runs through the daemon's terminal, which declines binary transmission towards us and so
// sends its carriage returns as CR NUL, both from marlo-cli and from the frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "app/MainFrame.h"
#include "line/Dialler.h"
#include "line/StringWait.h"
#include "line/TelnetConnect.h"
#include "line/TelnetLine.h"
#include "support/RecordingPlatform.h"
#include "support/RunProgram.h"
#include "support/TelnetDaemon.h"
#include "support/TelnetTestServer.h"
#include "support/TempDir.h"
#include "support/TransferKit.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Text with every way a carriage return can travel: bare CR, CR LF, CR NUL, CR CR, CR at the
// end, and 0xFF (the telnet IAC) beside them.
std::vector<uint8_t> CrHeavyText(size_t n, unsigned seed) {
    static const std::string pieces[] = {
        "\r", "\r\n",  std::string("\r\0", 2), "\r\r",  "\xff", "\r\xff", "\xff\xff",
        "\n", "text ", std::string("\0", 1),   "\r\r\n"};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    while (v.size() < n) {
        const std::string& p = pieces[rng() % std::size(pieces)];
        v.insert(v.end(), p.begin(), p.end());
    }
    v.resize(n);
    v.back() = '\r';
    return v;
}

// The two files every transfer here carries, written into `dir`.
struct TransferFiles {
    explicit TransferFiles(const fs::path& dir) {
        WriteFileBytes(dir / "big.bin", big);
        WriteFileBytes(dir / "cr.txt", cr);
    }
    void ExpectIn(const fs::path& dir) const {
        EXPECT_TRUE(ReadFileBytes(dir / "big.bin") == big) << "big.bin in " << dir;
        EXPECT_TRUE(ReadFileBytes(dir / "cr.txt") == cr) << "cr.txt in " << dir;
    }
    const std::vector<uint8_t> big = test::RandomBytes(3 * 1024 * 1024, 17);
    const std::vector<uint8_t> cr = CrHeavyText(200000, 3);
};

TEST(TelnetdInterop, TelnetLineReachesTheLoginPrompt) {
    test::TelnetDaemon daemon;
    ASSERT_TRUE(daemon.Running()) << "socat and /usr/sbin/telnetd are needed";
    test::RecordingPlatform platform;
    TelnetLine line;
    std::vector<std::string> traces;
    line.SetTrace([&](int, const std::string& t) { traces.push_back(t); });
    Connection conn(platform, Connection::Hooks{});
    TelnetConnect connect(platform, line, conn);
    struct Router : IEventTarget {
        TelnetConnect& c;
        explicit Router(TelnetConnect& c) : c(c) {}
        void OnEvent(const Event& e) override {
            if (e.id == WM_TELNET_RESOLVED) c.OnResolved();
            if (e.id == WM_TELNET_RETRY) c.OnRetry();
        }
    } router(connect);
    platform.SetEventTarget(&router);
    StringWait wait;
    std::string screen;
    platform.StartTimer(1, 5, [&] {
        uint8_t buf[4096];
        int n = line.ReadLineData(buf, sizeof buf, 0);
        if (n <= 0) return;
        wait.Feed(buf, static_cast<size_t>(n));
        screen.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    });
    connect.StartFromDialog("127.0.0.1", daemon.Port());
    WaitOptions o;
    o.timeoutMs = 20000;
    o.fresh = false;
    EXPECT_EQ(WaitForString(platform, wait, "login:", o), WaitOutcome::Matched) << screen;
    platform.StopTimer(1);
    EXPECT_TRUE(conn.connected);
    EXPECT_EQ(screen.find('\xff'), std::string::npos) << "no negotiation bytes reach the screen";
    // The daemon asked for options we refuse, and each was answered.
    bool sawDo = false;
    for (const auto& t : traces) sawDo = sawDo || t.rfind("DO ", 0) == 0;
    EXPECT_TRUE(sawDo);
    line.Close();
}

TEST(TelnetdInterop, CliReachesTheLoginPrompt) {
    test::TelnetDaemon daemon;
    ASSERT_TRUE(daemon.Running());
    const test::RunResult r = test::RunProgram(
        MARLO_CLI_PATH, {"connect", "--telnet", "127.0.0.1:" + std::to_string(daemon.Port()),
                         "--utf8", "--wait", "login:", "--close-after-script"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string& got = r.out;
    EXPECT_NE(got.find("login:"), std::string::npos) << got;
}

TEST(TelnetdInterop, CliShowsBareCarriageReturnsWithoutNuls) {
    test::TempDir dir;
    test::TelnetDaemon daemon("printf 'one\\rtwo\\rthree\\n'; sleep 5", dir.path);
    ASSERT_TRUE(daemon.Running());
    const test::RunResult r = test::RunProgram(
        MARLO_CLI_PATH,
        {"connect", "--telnet", daemon.Address(), "--wait", "three", "--close-after-script"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("one\rtwo\rthree"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\0'), std::string::npos);
}

// In xterm mode the daemon learns the terminal type and the window's size; in the other modes
// the line refuses both, as before.
TEST(TelnetdInterop, CliTellsTheTerminalTypeAndSizeInXtermModeOnly) {
    test::TempDir dir;
    test::TelnetDaemon daemon("echo \"TERM=$TERM\"; stty size; echo END; sleep 5", dir.path);
    ASSERT_TRUE(daemon.Running());
    for (int emulation : {3, 1}) {
        const test::RunResult r =
            test::RunProgram(MARLO_CLI_PATH, {"connect", "--telnet", daemon.Address(), "--set",
                                              "Emulation=" + std::to_string(emulation), "--wait",
                                              "END", "--close-after-script"});
        EXPECT_EQ(r.status, 0) << r.err;
        const bool xterm = emulation == 3;
        EXPECT_EQ(r.out.find("TERM=xterm") != std::string::npos, xterm) << r.out;
        EXPECT_EQ(r.out.find("24 80") != std::string::npos, xterm) << r.out;
    }
}

// marlo-cli against sz and rz run by telnetd in place of a login.
TEST(TelnetdInterop, CliZmodemBothWaysBehindTelnetd) {
    test::TempDir out, in, up;
    TransferFiles files(out.path);
    auto cli = [](const std::string& script, const fs::path& dir, std::vector<std::string> args) {
        test::TelnetDaemon daemon(script, dir);
        if (!daemon.Running()) return false;
        args.insert(args.begin() + 4, daemon.Address());  // after --telnet
        const test::RunResult r = test::RunProgram(MARLO_CLI_PATH, args);
        EXPECT_EQ(r.status, 0) << r.err;
        return true;
    };
    ASSERT_TRUE(cli("exec sz -q big.bin cr.txt", out.path,
                    {"receive", "--protocol", "zmodem", "--telnet", "--dir", in.Str()}));
    files.ExpectIn(in.path);
    ASSERT_TRUE(cli("exec rz -q", up.path,
                    {"send", "--protocol", "zmodem", "--telnet", (out.path / "big.bin").string(),
                     (out.path / "cr.txt").string()}));
    files.ExpectIn(up.path);
}

// The desktop program's core: the frame reaches a shell behind telnetd from a host entry, the
// user types sz or rz at its prompt and starts the transfer from the menu.
class FrameOnTelnetd : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* sub : {"out", "in", "up"}) fs::create_directories(dir_.path / sub);
        Settings s(dir_.Str());
        s.Port = 0;
        s.HistoryDefPath = dir_.Str();
        s.DownlodDefPath = (dir_.path / "in").string();
        s.UploadDefPath = (dir_.path / "out").string();
        s.AutoZMODEM = 0;
        frame_ = std::make_unique<CMainFrame>(
            platform_, s, CMainFrame::Paths{dir_.Str(), dir_.Str(), {}}, nullptr);
    }
    bool Connect() {
        if (!daemon_.Running()) return false;
        HostEntry e = test::LoopbackTelnetEntry(daemon_.Port());
        e.Emulation = 1;
        e.AutoZMODEM = 0;
        return frame_->ConnectHostEntry(e) &&
               platform_.Until([&] { return frame_->Conn().connected.load(); });
    }
    // Types `command` at the shell, runs the transfer the menu starts for `direction` and waits
    // until the shell is back.
    bool Transfer(const std::string& command, int direction, const std::string& file = "") {
        frame_->WriteConverted(command + "\r");
        if (!frame_->Transfer().StartTransfer(direction, kProtoZmodem, file) ||
            !platform_.Until([&] { return !frame_->transferRunning.load(); }, 30000))
            return false;
        // A line typed at once may still reach rz, which reads on for the sender's last bytes.
        const std::string back = "back-" + std::to_string(++runs_);
        for (int i = 0; i < 5; ++i) {
            frame_->WriteConverted("echo " + back + "\r");
            if (platform_.Until([&] { return LineOf(back) >= 0; }, 2000)) return true;
        }
        return false;
    }
    // The screen line that reads `text`, or -1.
    int LineOf(const std::string& text) {
        const ScreenBuffer& b = frame_->Term().Buffer();
        for (int i = 0; i < b.TextEnd(); ++i)
            if (b.LineText(i) == text) return i;
        return -1;
    }

    test::TempDir dir_;
    test::TelnetDaemon daemon_{"exec sh", dir_.path};
    test::RecordingPlatform platform_;
    std::unique_ptr<CMainFrame> frame_;
    int runs_ = 0;
};

TEST_F(FrameOnTelnetd, ZmodemDownloadFromSzAtTheShell) {
    TransferFiles files(dir_.path / "out");
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(Transfer("cd out && sz -q big.bin cr.txt", kDownload));
    files.ExpectIn(dir_.path / "in");
}

// What the shell prints as soon as sz has ended reaches the screen without another key: the engine
// hands back what it had read past the end of the session.
TEST_F(FrameOnTelnetd, WhatTheHostSendsRightAfterADownloadIsShown) {
    TransferFiles files(dir_.path / "out");
    ASSERT_TRUE(Connect());
    frame_->WriteConverted("cd out && sz -q cr.txt; echo after-sz\r");
    ASSERT_TRUE(frame_->Transfer().StartTransfer(kDownload, kProtoZmodem, ""));
    ASSERT_TRUE(platform_.Until([&] { return !frame_->transferRunning.load(); }, 30000));
    EXPECT_TRUE(platform_.Until([&] { return LineOf("after-sz") >= 0; }, 5000));
}

TEST_F(FrameOnTelnetd, ZmodemUploadToRzAtTheShell) {
    TransferFiles files(dir_.path / "out");
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(Transfer("cd up && rz -q", kUpload, (dir_.path / "out" / "big.bin").string()));
    ASSERT_TRUE(Transfer("rz -q", kUpload, (dir_.path / "out" / "cr.txt").string()));
    files.ExpectIn(dir_.path / "up");
}

// An earlier session left text and the end of a ZMODEM header (CR, 0x8A, XON); the host entry's
// session starts on the line below that text, and the 0x8A joins none of its bytes.
TEST_F(FrameOnTelnetd, HostEntrySessionStartsBelowTheEarlierOne) {
    fs::create_directories(dir_.path / "earlier");
    test::TelnetDaemon earlier(
        "printf 'one\\ntwo\\nrz\\r**\\030B0100000023be50\\r\\212\\021'; sleep 5",
        dir_.path / "earlier");
    frame_->ConnectTelnet("127.0.0.1", earlier.Port());
    ASSERT_TRUE(platform_.Until([&] { return LineOf("**B0100000023be50") >= 0; }));
    frame_->HangUp();
    const int one = LineOf("one");
    ASSERT_GE(one, 0);
    ASSERT_EQ(LineOf("two"), one + 1);
    const int end = frame_->Term().Buffer().TextEnd();
    ASSERT_EQ(end, one + 3);
    ASSERT_TRUE(Connect());
    auto line = [&](int i) { return frame_->Term().Buffer().LineText(i); };
    ASSERT_TRUE(platform_.Until([&] { return line(end + 1).rfind("Linux", 0) == 0; }))
        << line(end) << "|" << line(end + 1);
    EXPECT_EQ(LineOf("one"), one);
    EXPECT_EQ(line(end), "");
}

}  // namespace
}  // namespace marlo
