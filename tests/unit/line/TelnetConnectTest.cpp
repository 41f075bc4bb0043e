#include <gtest/gtest.h>

#include "line/Dialler.h"
#include "line/StringWait.h"
#include "line/TelnetConnect.h"
#include "line/TelnetLine.h"
#include "support/RecordingPlatform.h"
#include "support/TelnetTestServer.h"

namespace marlo {
namespace {

using test::TelnetTestServer;

// The frame's part in a telnet connect: routes the events and reads the line.
struct Rig : IEventTarget {
    test::RecordingPlatform platform;
    TelnetLine line;
    int histories = 0, autologons = 0;
    Connection conn{platform, Connection::Hooks{
                                  .suspendEventThread = {},
                                  .startHostLog = {},
                                  .closeHostLog = {},
                                  .writeHistory = [this] { ++histories; },
                                  .closeTelnet = [this] { line.Close(); },
                                  .trace = {},
                              }};
    TelnetConnect connect{platform, line, conn};
    std::string received;

    Rig() {
        platform.SetEventTarget(this);
        connect.SetReportPauseMs(10);
        connect.EnableCommNotify();
    }
    void OnEvent(const Event& e) override {
        if (e.id == WM_TELNET_RESOLVED) connect.OnResolved();
        if (e.id == WM_TELNET_RETRY) connect.OnRetry();
        if (e.id == WM_AUTOLOGON) ++autologons;
        if (e.id == WM_COMMNOTIFY && e.line == LineEvent::PeerClosed) connect.OnServerClose();
        if (e.id == WM_COMMNOTIFY && e.line == LineEvent::DataReady) {
            uint8_t buf[80];
            int n;
            while ((n = line.ReadLineData(buf, sizeof buf, 0)) > 0)
                received.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
        }
    }
    bool Until(const std::function<bool()>& cond, int ms = 10000) {
        return platform.Until(cond, ms);
    }
};

TEST(TelnetConnect, DialogConnectReachesTheServerAndTheServerCloseEndsIt) {
    TelnetTestServer server;
    Rig r;
    r.connect.StartFromDialog("127.0.0.1", server.Port());
    EXPECT_TRUE(r.conn.telnetMode);
    ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
    EXPECT_FALSE(r.conn.telnetConnecting);
    EXPECT_EQ(r.platform.progressTexts.front(), "接続中 [1回目]...");
    EXPECT_EQ(r.platform.title, "[未定義ホスト]");
    EXPECT_FALSE(r.platform.progressVisible);
    ASSERT_TRUE(server.Accept());
    // A second connect while online is refused and leaves the connection alone.
    r.connect.StartFromDialog("127.0.0.1", server.Port());
    ASSERT_EQ(r.platform.boxes.size(), 1u);
    EXPECT_EQ(r.platform.boxes[0].text, "オンライン中です.");
    r.platform.boxes.clear();
    server.Send("login: ");
    ASSERT_TRUE(r.Until([&] { return r.received == "login: "; }));
    EXPECT_EQ(r.autologons, 1);

    server.CloseClient();
    ASSERT_TRUE(r.Until([&] { return !r.conn.connected; }));
    ASSERT_EQ(r.platform.boxes.size(), 1u);
    EXPECT_EQ(r.platform.boxes[0].text, "Telnetを切断しました");
    EXPECT_EQ(r.platform.boxes[0].icon, MsgIcon::Stop);
    EXPECT_EQ(r.platform.title, "[未接続]");
    EXPECT_FALSE(r.conn.telnetMode);
    EXPECT_EQ(r.histories, 0);
}

// The status line keeps the short text; the message names the host and the reason.
TEST(TelnetConnect, RefusedDialogConnectIsTriedOnce) {
    Rig r;
    const int port = TelnetTestServer::ClosedPort();
    r.connect.StartFromDialog("127.0.0.1", port);
    ASSERT_TRUE(r.Until([&] { return !r.platform.boxes.empty(); }));
    EXPECT_EQ(r.platform.progressTexts.size(), 1u);
    EXPECT_EQ(r.platform.progressStatus.front(), "connect error(111)");
    EXPECT_EQ(r.platform.boxes[0].text, "Telnet接続に失敗しました. (127.0.0.1:" +
                                            std::to_string(port) + ": Connection refused)");
    EXPECT_FALSE(r.connect.LastFailure().lookup);
    EXPECT_FALSE(r.conn.telnetConnecting);
    EXPECT_FALSE(r.conn.connected);
    EXPECT_FALSE(r.platform.progressVisible);
    EXPECT_EQ(r.line.Fd(), -1);
}

TEST(TelnetConnect, UnknownHostIsReportedWithTheResolversWords) {
    Rig r;
    r.connect.StartFromDialog("nosuch.invalid", 23);
    ASSERT_TRUE(r.Until([&] { return !r.platform.boxes.empty(); }, 30000));
    EXPECT_EQ(r.platform.progressStatus.front(), "WSAGETASYNCERROR");
    const auto& failure = r.connect.LastFailure();
    EXPECT_TRUE(failure.lookup);
    EXPECT_FALSE(failure.reason.empty());
    EXPECT_EQ(r.platform.boxes[0].text,
              "Telnet接続に失敗しました. (nosuch.invalid: " + failure.reason + ")");
}

TEST(TelnetConnect, HostEntryRetriesRedialNumTimesThenGivesUp) {
    for (int infiniteStop : {0, 1}) {
        Rig r;
        TelnetTarget t;
        t.host = "127.0.0.1";
        t.port = TelnetTestServer::ClosedPort();
        t.RedialNum = 3;
        t.Interval = 0;
        t.Infinite = infiniteStop;
        r.connect.StartFromHost(t);
        if (!infiniteStop) {
            ASSERT_TRUE(r.Until([&] { return !r.platform.boxes.empty(); }));
            EXPECT_EQ(r.platform.progressTexts,
                      (std::vector<std::string>{"接続中 [1回目]...", "接続中 [2回目]...",
                                                "接続中 [3回目]..."}));
            EXPECT_EQ(r.platform.boxes[0].text, "3回の接続に失敗しました.");
            EXPECT_FALSE(r.conn.history);
        } else {
            // Without a limit it goes on until "中断".
            ASSERT_TRUE(r.Until([&] { return r.platform.progressTexts.size() >= 5; }));
            r.platform.progressCancel = true;
            ASSERT_TRUE(r.Until([&] { return !r.platform.progressVisible; }));
            size_t attempts = r.platform.progressTexts.size();
            r.platform.Idle(100);
            EXPECT_EQ(r.platform.progressTexts.size(), attempts);
            EXPECT_TRUE(r.platform.boxes.empty());
        }
        EXPECT_FALSE(r.conn.telnetConnecting);
        EXPECT_FALSE(r.conn.telnetMode);
    }
}

TEST(TelnetConnect, HostEntryConnectWritesTheHistoryAtHangUp) {
    TelnetTestServer server;
    Rig r;
    r.conn.hostName = "NIFTY";
    TelnetTarget t;
    t.host = "127.0.0.1";
    t.port = server.Port();
    r.connect.StartFromHost(t);
    ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
    EXPECT_EQ(r.platform.title, "[NIFTY]");
    StringWait wait;
    struct NoPort : IModemPort {
        bool WriteConverted(const std::string&) override { return false; }
        void SetDtr(bool) override {}
        void SetRts(bool) override {}
        bool PortOpen() const override { return false; }
    } port;
    Dialler dialler(r.platform, port, wait, r.conn);
    EXPECT_TRUE(dialler.HangUp(false));
    EXPECT_FALSE(r.conn.connected);
    EXPECT_EQ(r.histories, 1);
    EXPECT_FALSE(r.line.IsOpen());
    EXPECT_TRUE(r.platform.boxes.empty()) << "our own close is not the server's";
}

TEST(TelnetConnect, CancelWhileLookingUpClosesEverything) {
    Rig r;
    r.connect.StartFromDialog("127.0.0.1", TelnetTestServer::ClosedPort());
    r.connect.Cancel();
    r.platform.Idle(100);
    EXPECT_FALSE(r.conn.telnetConnecting);
    EXPECT_FALSE(r.platform.progressVisible);
    EXPECT_TRUE(r.platform.boxes.empty());
    EXPECT_EQ(r.line.Fd(), -1);
}

TEST(TelnetHosts, RememberedHostsKeepTheFiveMostRecent) {
    std::array<std::string, 5> hosts{"", "b", "", "", ""};
    EXPECT_EQ(telnet_hosts::Initial(hosts), "b");
    EXPECT_FALSE(telnet_hosts::Remember(hosts, ""));
    for (const char* h : {"a", "c", "d", "e", "f"}) telnet_hosts::Remember(hosts, h);
    EXPECT_EQ(hosts, (std::array<std::string, 5>{"f", "e", "d", "c", "a"}));
    telnet_hosts::Remember(hosts, "c");
    EXPECT_EQ(hosts, (std::array<std::string, 5>{"c", "f", "e", "d", "a"}));
    EXPECT_EQ(telnet_hosts::Items({"x", "", "y", "", ""}), (std::vector<std::string>{"x", "y"}));
}

TEST(TelnetHosts, PortField) {
    struct {
        const char* text;
        std::optional<int> port;
    } cases[] = {
        {"23", 23},         {"65535", 65535},     {"0", std::nullopt},  {"65536", std::nullopt},
        {"", std::nullopt}, {"2x", std::nullopt}, {"-1", std::nullopt}, {"999999", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(telnet_hosts::ParsePort(c.text), c.port) << c.text;
}

}  // namespace
}  // namespace marlo
