// A host entry's auto-logon in the frame: it answers the host's prompts when the telnet
// connection comes up, and the stop request (F3, the stop window) or a closed connection ends it.
#include <gtest/gtest.h>

#include "app/MainFrame.h"
#include "support/RecordingPlatform.h"
#include "support/TelnetTestServer.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

using test::TelnetTestServer;

TEST(AutoLogon, FrameAnswersPromptsUntilStoppedOrDisconnected) {
    enum class Then { Prompt, Stop, Close };
    const struct {
        const char* name;
        Then then;
        const char* status;  // the status bar at the end
    } cases[] = {
        {"logged on", Then::Prompt, ""},
        {"F3", Then::Stop, "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました"},
        {"closed", Then::Close, "回線が切断されたため、ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::RecordingPlatform platform;
        Settings settings(dir.Str());
        settings.Port = 0;
        TelnetTestServer server;
        HostEntry e = test::LoopbackTelnetEntry(server.Port());
        e.Logon = 1;
        e.AutoCommand = "{ID:}$I'{rd:}$P'";
        e.ID = "u1";
        e.Password = "pw";
        CMainFrame frame(platform, settings, CMainFrame::Paths{dir.Str(), dir.Str(), {}}, nullptr);
        // The host answers on a timer: the logon's waits run the event loop themselves.
        std::string seen, statusWhileRunning;
        bool accepted = false;
        platform.StartTimer(77, 20, [&] {
            if (!accepted) {
                accepted = server.Accept(1);
                if (accepted) server.Send("Welcome\r\nID:");
                return;
            }
            if (!statusWhileRunning.empty()) return;
            seen = server.Collect(1);
            if (seen.find("u1") == std::string::npos) return;
            statusWhileRunning = platform.statusText;
            if (c.then == Then::Prompt) server.Send("Password:");
            if (c.then == Then::Stop) frame.m_bAutoCmdStop = true;
            if (c.then == Then::Close) server.CloseClient();
        });
        ASSERT_TRUE(frame.ConnectHostEntry(e));
        ASSERT_TRUE(platform.Until([&] {
            return !statusWhileRunning.empty() && platform.statusText != statusWhileRunning;
        }));
        platform.StopTimer(77);
        EXPECT_EQ(statusWhileRunning, "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを実行しています...");
        EXPECT_EQ(platform.statusText, c.status);
        if (c.then != Then::Close) {
            EXPECT_EQ(server.Collect(50).find("pw") != std::string::npos, c.then == Then::Prompt);
        }
        EXPECT_FALSE(frame.m_bAutoCmdStop);
    }
}

}  // namespace
}  // namespace marlo
