// The frame around a transfer: a macro's message starts one, the line runs at 8 bits while the
// engine alone reads it, and the terminal gets the line back after; the host starts one by itself.
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
    CMainFrame frame(platform, settings, {dir.Str(), dir.Str(), bank.Factory()}, nullptr);
    ASSERT_TRUE(frame.OpenConfiguredPort());
    auto pump = [&](const std::function<bool()>& done) {
        return platform.DispatchWait(done, std::chrono::steady_clock::now() + 10s) ==
               WaitEnd::Condition;
    };
    auto screen = [&] { return frame.Term().Buffer().LineText(0); };

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

    port->Feed("after");
    EXPECT_TRUE(pump([&] { return screen() == "after"; }));

    // The host begins a download by itself: ZMODEM's header start, split over two reads, and
    // B Plus's ENQ; nothing starts while a transfer runs or when the setting is off.
    auto cancel = [&] {
        platform.answers = {MsgResult::Ok};
        frame.Transfer().RequestCancel();
        return pump([&] { return !frame.transferRunning.load(); });
    };

    port->Feed(
        "\r\n**\x18"
        "B0");
    ASSERT_TRUE(pump([&] { return frame.Term().Buffer().LineText(1) == "**B0"; }));
    port->Feed("0");
    ASSERT_TRUE(pump([&] { return frame.transferRunning.load(); }));
    EXPECT_EQ(frame.Transfer().Direction(), kDownload);
    ASSERT_TRUE(pump([&] {
        return port->Written().find(
                   "**\x18"
                   "B01") != std::string::npos;
    }));
    port->Feed("\x05");  // the engine's, not a second start
    ASSERT_TRUE(cancel());

    const size_t mark = port->Written().size();
    port->Feed("\x05");
    ASSERT_TRUE(pump([&] { return frame.transferRunning.load(); }));
    ASSERT_TRUE(pump([&] {
        return port->Written().find(
                   "\x10++\x10"
                   "0",
                   mark) == mark;
    }));
    ASSERT_TRUE(cancel());

    frame.S().AutoBplus = 0;
    port->Feed(
        "\x05"
        "x");
    ASSERT_TRUE(
        pump([&] { return frame.Term().Buffer().LineText(1).find('x') != std::string::npos; }));
    EXPECT_FALSE(frame.transferRunning);
}

}  // namespace
}  // namespace marlo
