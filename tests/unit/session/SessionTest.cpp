// The session alone, with no frame and no terminal: a telnet host entry reached on the recording
// platform, its bytes handed to the receiver, typed text sent in the entry's code, one history
// record when the host hangs up, no reading while the line is paused, and every part's trace
// texts in the one sink the session was given.
#include <gtest/gtest.h>

#include <algorithm>

#include "session/Session.h"
#include "support/RecordingPlatform.h"
#include "support/TelnetTestServer.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

struct Rig : IEventTarget {
    Rig() {
        settings.Port = 0;
        settings.HistoryDefPath = dir.Str();
        Session::Hooks hooks;
        hooks.received = [this](const uint8_t* p, size_t n) {
            received.append(reinterpret_cast<const char*>(p), n);
        };
        hooks.stateChanged = [this] { ++changes; };
        session = std::make_unique<Session>(platform, settings, dir.Str(),
                                            CommPort::DeviceFactory{}, hooks);
        platform.SetEventTarget(this);
    }
    ~Rig() override { platform.SetEventTarget(nullptr); }
    void OnEvent(const Event& e) override { session->OnEvent(e); }

    test::TempDir dir;
    test::RecordingPlatform platform;
    Settings settings{dir.Str()};
    std::unique_ptr<Session> session;
    std::string received;
    int changes = 0;
};

TEST(Session, TelnetHostEntryRunsWithoutAFrame) {
    Rig rig;
    test::TelnetTestServer server;
    HostEntry e = test::LoopbackTelnetEntry(server.Port());
    ApplyHostEntry(e, rig.settings);
    rig.settings.CodeExchange2 = kNewJis;
    std::string traced;
    rig.session->SetTrace([&](int, const std::string& t) { traced += t; });
    ASSERT_TRUE(rig.session->ReadyForHost(e));
    ASSERT_TRUE(rig.session->ConnectHost(e));
    ASSERT_TRUE(rig.platform.Until([&] { return rig.session->Conn().connected.load(); }));
    ASSERT_TRUE(server.Accept());
    EXPECT_TRUE(rig.session->LineOpen());
    // A second connect is refused while this one is up.
    EXPECT_FALSE(rig.session->ReadyForHost(e));

    ASSERT_TRUE(server.Send("hello\r\n"));
    ASSERT_TRUE(rig.platform.Until([&] { return rig.received == "hello\r\n"; }));
    rig.session->WriteConverted(std::string("\x88\x9f"));
    EXPECT_TRUE(server.WaitFor("\x1b$B\x30\x21"));
    EXPECT_NE(rig.session->LampBits() & kLampSd, 0u);

    // Paused, the session leaves the bytes in the line; resumed, it reads them at once.
    rig.session->SetReadPaused(true);
    ASSERT_TRUE(server.Send("later"));
    rig.platform.Idle(200);
    EXPECT_EQ(rig.received, "hello\r\n");
    rig.session->SetReadPaused(false);
    ASSERT_TRUE(rig.platform.Until([&] { return rig.received == "hello\r\nlater"; }));

    server.CloseClient();
    ASSERT_TRUE(rig.platform.Until([&] { return !rig.session->Conn().connected.load(); }));
    EXPECT_GT(rig.changes, 0);
    const std::string history = test::ReadWhole((rig.dir.path / "history.txt").string());
    EXPECT_EQ(history.rfind("LOCAL", 0), 0u);
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1);
    // The telnet connect's and the connection's texts.
    EXPECT_NE(traced.find("port = " + std::to_string(server.Port())), std::string::npos) << traced;
    EXPECT_NE(traced.find("Off-Line"), std::string::npos) << traced;
}

}  // namespace
}  // namespace marlo
