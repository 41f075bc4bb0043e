// The frame around a transfer: the menu asks for the protocol, a macro's message starts one, the
// line runs at 8 bits while the engine alone reads it, and the terminal gets the line back after.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "support/FakeSerialDevice.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

using namespace std::chrono_literals;

TEST(FrameTransfer, EngineOwnsTheLineWhileItRunsAndTheTerminalGetsItBack) {
    test::TempDir dir;
    test::RecordingPlatform platform;
    test::FakePortBank bank;
    auto port = bank.Add("/fake/a");
    std::ofstream(dir.Str() + "/ports.conf") << "/fake/a\n";
    Settings settings(dir.Str());
    settings.HistoryDefPath = dir.Str();
    settings.DownlodDefPath = dir.Str();
    settings.Port = 1;
    settings.Flow = 0;
    settings.DataLen = 7;
    settings.Parity = 2;
    settings.WaveFile[4] = "end.wav";
    CMainFrame frame(platform, settings, {dir.Str(), dir.Str(), bank.Factory()}, nullptr);
    ASSERT_TRUE(frame.OpenConfiguredPort());
    auto pump = [&](const std::function<bool()>& done) {
        return platform.DispatchWait(done, std::chrono::steady_clock::now() + 10s) ==
               WaitEnd::Condition;
    };
    auto screen = [&] { return frame.Term().Buffer().LineText(0); };

    // The menu asks for the protocol; cancelling it starts nothing.
    platform.listAnswers = {std::nullopt};
    frame.OnCommand(ID_DOWNLOAD);
    ASSERT_EQ(platform.listsShown.size(), 1u);
    EXPECT_EQ(platform.listsShown[0].front(), "XMODEM");
    EXPECT_FALSE(frame.transferRunning);

    // A macro's download request with a protocol name and a file.
    platform.PostEvent(Event{WM_TRANS_DOWNLOAD, 0, 0, "XMODEM", (dir.path / "in.bin").string()});
    ASSERT_TRUE(pump([&] { return frame.transferRunning.load(); }));
    EXPECT_FALSE(frame.CommandEnabled(ID_UPLOAD));
    EXPECT_EQ(port->Config().dataBits, 8);
    EXPECT_EQ(port->Config().parity, 0);
    ASSERT_TRUE(pump([&] { return port->Written().find('\x15') != std::string::npos; }));

    // What arrives now is the engine's, not the terminal's.
    port->Feed("noise");
    platform.DispatchWait({}, std::chrono::steady_clock::now() + 300ms);
    EXPECT_EQ(screen(), "");

    platform.answers = {MsgResult::Ok};
    frame.Transfer().RequestCancel();
    ASSERT_TRUE(pump([&] { return !frame.transferRunning.load(); }));
    EXPECT_EQ(port->Config().dataBits, 7);
    EXPECT_EQ(port->Config().parity, 2);
    EXPECT_NE(std::find(platform.sounds.begin(), platform.sounds.end(), "end.wav"),
              platform.sounds.end());
    EXPECT_EQ(platform.title, "[未接続]");

    port->Feed("after");
    EXPECT_TRUE(pump([&] { return screen() == "after"; }));
}

}  // namespace
}  // namespace marlo
