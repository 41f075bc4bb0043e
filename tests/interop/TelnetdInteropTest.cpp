// The telnet line against a real telnet daemon (inetutils telnetd under socat on loopback):
// negotiation with a server that asks for many options must still reach the login prompt.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "line/Dialler.h"
#include "line/StringWait.h"
#include "line/TelnetConnect.h"
#include "line/TelnetLine.h"
#include "support/RecordingPlatform.h"
#include "support/RunProgram.h"
#include "support/TelnetTestServer.h"
#include "support/TransferKit.h"

namespace marlo {
namespace {

bool Accepting(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// telnetd behind socat on a loopback port, for the life of the test.
class Telnetd {
  public:
    Telnetd() {
        for (int tries = 0; tries < 5 && pid_ < 0; ++tries) {
            port_ = test::TelnetTestServer::ClosedPort();
            pid_ = test::SpawnOnFd(
                {"socat", "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork",
                 "EXEC:/usr/sbin/telnetd"},
                nothing_.a);
            for (int i = 0; i < 200 && pid_ > 0 && !Accepting(port_); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (pid_ > 0 && !Accepting(port_)) Stop();
        }
    }
    ~Telnetd() { Stop(); }
    int Port() const { return port_; }
    bool Running() const { return pid_ > 0; }

  private:
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            test::WaitExit(pid_, 5000);
        }
        pid_ = -1;
    }
    test::SocketPair nothing_;  // socat's standard streams, never used
    pid_t pid_ = -1;
    int port_ = 0;
};

TEST(TelnetdInterop, TelnetLineReachesTheLoginPrompt) {
    Telnetd daemon;
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
    Telnetd daemon;
    ASSERT_TRUE(daemon.Running());
    const test::RunResult r = test::RunProgram(
        MARLO_CLI_PATH, {"connect", "--telnet", "127.0.0.1:" + std::to_string(daemon.Port()),
                         "--utf8", "--wait", "login:", "--close-after-script"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string& got = r.out;
    EXPECT_NE(got.find("login:"), std::string::npos) << got;
}

}  // namespace
}  // namespace marlo
