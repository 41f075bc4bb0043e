// The frame end to end on the headless platform: a pty as the serial port, a fake device for the
// modem lines, the input bar's bytes on the line, shutdown with its question and its files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "app/CommandIds.h"
#include "app/InputBarModel.h"
#include "app/MainFrame.h"
#include "settings/Trace.h"
#include "support/FakeSerialDevice.h"
#include "support/PtyPair.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"
#include "text/Encoding.h"
#include "tools/StatusBarModel.h"

namespace marlo {
namespace {

using namespace std::chrono_literals;
using test::FakePortBank;
using test::PtyPair;
using test::RecordingPlatform;

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_ = Settings(dir_.Str());
        settings_.HistoryDefPath = dir_.Str();
        settings_.Port = 1;
        settings_.Flow = 0;
    }
    std::unique_ptr<CMainFrame> MakeFrame(CommPort::DeviceFactory factory = {}) {
        return std::make_unique<CMainFrame>(
            platform_, settings_, CMainFrame::Paths{dir_.Str(), dir_.Str(), std::move(factory)},
            nullptr);
    }
    bool PumpUntil(const std::function<bool()>& done) { return platform_.Until(done, 3000); }
    std::string ScreenLine(CMainFrame& f, int line) { return f.Term().Buffer().LineText(line); }

    test::TempDir dir_;
    RecordingPlatform platform_;
    Settings settings_;
};

TEST_F(FrameTest, PtyAsSerialPortShowsWhatArrivesAndSendsTheInputBar) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    std::ofstream(dir_.Str() + "/ports.conf") << pty.SlavePath() << "\n";
    settings_.Speed = 9600;
    settings_.SndCRLF = 1;
    auto frame = MakeFrame();
    ASSERT_TRUE(frame->OpenConfiguredPort());
    ASSERT_TRUE(frame->PortOpen());
    struct termios t {};
    ASSERT_TRUE(pty.SlaveTermios(t));
    EXPECT_EQ(cfgetospeed(&t), B9600);  // the tty follows the settings

    ASSERT_TRUE(pty.Write("hello\r\nworld"));
    EXPECT_TRUE(PumpUntil([&] { return ScreenLine(*frame, 1) == "world"; }));
    EXPECT_EQ(ScreenLine(*frame, 0), "hello");

    InputBarModel bar;
    std::string bytes = bar.Enter("ls -l", frame->S().SndCRLF != 0);
    ASSERT_TRUE(frame->WriteConverted(bytes));
    EXPECT_EQ(pty.Read(7), "ls -l\r\n");

    // The send code applies to what the frame writes: new JIS around a kanji.
    frame->S().CodeExchange2 = kNewJis;
    ASSERT_TRUE(
        frame->WriteConverted(std::string("\x88\x9f"
                                          "a")));
    EXPECT_EQ(pty.Read(8), std::string("\x1b$B\x30\x21\x1b(Ja"));
}

TEST_F(FrameTest, ReceivedDataWaitsWhileASheetIsOpenAndIsReadWhenItCloses) {
    FakePortBank bank;
    auto port = bank.Add("/fake/a");
    port->hasModemLines = true;
    std::ofstream(dir_.Str() + "/ports.conf") << "/fake/a\n";
    auto frame = MakeFrame(bank.Factory());
    ASSERT_TRUE(frame->OpenConfiguredPort());
    frame->SetEnvSheetOpen(true);
    port->Feed("waiting");
    platform_.Idle(300);
    EXPECT_EQ(ScreenLine(*frame, 0), "");
    frame->SetEnvSheetOpen(false);
    EXPECT_TRUE(PumpUntil([&] { return ScreenLine(*frame, 0) == "waiting"; }));
}

TEST_F(FrameTest, CarrierRiseAndDropDriveTheConnection) {
    FakePortBank bank;
    auto port = bank.Add("/fake/a");
    std::ofstream(dir_.Str() + "/ports.conf") << "/fake/a\n";
    auto frame = MakeFrame(bank.Factory());
    ASSERT_TRUE(frame->OpenConfiguredPort());
    frame->StartTimer3();
    EXPECT_FALSE(frame->Conn().connected);
    port->SetLines(true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return frame->Conn().connected.load(); }));
    // A carrier without a dial: the unknown host in the title.
    EXPECT_EQ(platform_.title, "[未定義ホスト]");
    port->SetLines(true, true, false);
    EXPECT_TRUE(PumpUntil([&] { return !frame->Conn().connected.load(); }));

    // The host's last words and the carrier drop reach the device together, and the event thread
    // reports the line change first: the words are shown before the connection ends.
    port->SetLines(true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return frame->Conn().connected.load(); }));
    port->Feed("NO CARRIER soon");
    port->SetLines(true, true, false);
    frame->OnCommNotify(LineEvent::ModemStatus);
    EXPECT_FALSE(frame->Conn().connected.load());
    EXPECT_EQ(ScreenLine(*frame, 0), "NO CARRIER soon");
    platform_.Idle(200);  // the event thread's own reports
}

// The status bar's lamps and panes: a click on DTR or RTS turns that line over, the other lamps
// take no click; the connect time runs while the carrier is up.
TEST_F(FrameTest, LampClicksTurnTheControlLinesOverAndTheConnectTimeRuns) {
    FakePortBank bank;
    auto port = bank.Add("/fake/a");
    std::ofstream(dir_.Str() + "/ports.conf") << "/fake/a\n";
    settings_.Port = 0;
    auto frame = MakeFrame(bank.Factory());
    EXPECT_FALSE(frame->ToggleControlLine(kLampDtr));  // no port open
    frame->S().Port = 1;
    ASSERT_TRUE(frame->OpenConfiguredPort());
    ASSERT_TRUE(port->Dtr() && port->Rts());
    EXPECT_TRUE(frame->ToggleControlLine(kLampDtr));
    EXPECT_FALSE(port->Dtr());
    EXPECT_EQ(frame->LampBits() & kLampDtr, 0u);
    EXPECT_TRUE(frame->ToggleControlLine(kLampRts));
    EXPECT_FALSE(port->Rts());
    EXPECT_TRUE(frame->ToggleControlLine(kLampDtr));
    EXPECT_TRUE(port->Dtr());
    EXPECT_FALSE(frame->ToggleControlLine(kLampCts));

    frame->StartTimer3();
    port->SetLines(true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return frame->Conn().connected.load(); }));
    const std::time_t now = frame->Conn().connectTime + 3723;
    StatusFacts facts = StatusFactsOf(*frame, now);
    EXPECT_EQ(StatusPaneText(kStatusConnectTime, facts), "01:02:03");
    EXPECT_EQ(StatusPaneText(kStatusPort, facts), "COM1");
    port->SetLines(true, true, false);
    ASSERT_TRUE(PumpUntil([&] { return !frame->Conn().connected.load(); }));
    EXPECT_EQ(StatusPaneText(kStatusConnectTime, StatusFactsOf(*frame, now)), "00:00:00");
}

TEST_F(FrameTest, ShutdownAsksBeforeDroppingALiveSerialConnection) {
    FakePortBank bank;
    auto port = bank.Add("/fake/a");
    std::ofstream(dir_.Str() + "/ports.conf") << "/fake/a\n";
    settings_.Disconnect = 1;
    auto frame = MakeFrame(bank.Factory());
    ASSERT_TRUE(frame->OpenConfiguredPort());
    port->SetLines(true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return frame->Conn().connected.load(); }));
    std::string before = port->Written();
    platform_.answers.push_back(MsgResult::No);  // keep the line up, close anyway
    EXPECT_TRUE(frame->Shutdown(true));
    EXPECT_EQ(port->Written(), before);  // nothing was sent to the modem
    EXPECT_NE(platform_.boxes.front().text.find("切断してから終了しますか"), std::string::npos);
}

// A direct line (no modem initialisation, no dial) hears nothing Hayes-like on any path, even with
// hang-up by "+++" chosen: start-up, the modem page applied, the hang-up command, the close.
TEST_F(FrameTest, DirectLineHearsNoModemStrings) {
    settings_.Disconnect = 0;
    settings_.ModemInit = 0;
    {
        PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        std::ofstream(dir_.Str() + "/ports.conf") << pty.SlavePath() << "\n";
        auto frame = MakeFrame();
        ASSERT_TRUE(frame->OpenConfiguredPort());
        CommSettingsModel model(frame->S(), *frame);
        model.values.ModemInit1 = "AT&F";
        model.values.Speed = 19200;
        EXPECT_FALSE(model.Validate());
        EXPECT_TRUE(model.Apply(frame->S()).lineApplied);
        frame->OnCommand(ID_HANGUP);
        EXPECT_TRUE(frame->Shutdown(true));
        EXPECT_EQ(pty.Read(1, 300), "");
    }
    // A cable that ties the carrier high makes the line count as connected: the hang-up command
    // and the close drop DTR instead of sending "+++" and "ATH0".
    FakePortBank bank;
    auto port = bank.Add("/fake/a");
    std::ofstream(dir_.Str() + "/ports.conf") << "/fake/a\n";
    auto frame = MakeFrame(bank.Factory());
    ASSERT_TRUE(frame->OpenConfiguredPort());
    port->SetLines(true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return frame->Conn().connected.load(); }));
    frame->OnCommand(ID_HANGUP);
    EXPECT_EQ(port->Written(), "");
    EXPECT_TRUE(port->Dtr());  // dropped and raised again
    platform_.answers.push_back(MsgResult::Yes);
    EXPECT_TRUE(frame->Shutdown(true));
    EXPECT_EQ(port->Written(), "");
    EXPECT_FALSE(port->Dtr());
}

TEST_F(FrameTest, ScreenIsKeptInLglogBetweenRuns) {
    settings_.Port = 0;
    settings_.BufferClearOnEnd = 0;
    {
        auto frame = MakeFrame();
        std::string full(80, 'x');
        // The 80th character wraps to a new line by itself.
        std::string text = "first line\r\n" + full + "last";
        frame->ProcessReceived(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        ASSERT_TRUE(frame->Shutdown(true));
    }
    std::string saved = test::ReadWhole(dir_.Str() + "/lglog.txt");
    EXPECT_EQ(saved, "first line\r\n" + std::string(80, 'x') + "\r\nlast\r\n");
    auto again = MakeFrame();
    EXPECT_EQ(ScreenLine(*again, 0), "first line");
    EXPECT_EQ(ScreenLine(*again, 1), std::string(80, 'x'));  // a full line stays one line
    EXPECT_EQ(ScreenLine(*again, 2), "last");
    EXPECT_EQ(again->Term().Buffer().LastLine(), 3);
    const std::string next = "next";
    again->ProcessReceived(reinterpret_cast<const uint8_t*>(next.data()), next.size());
    EXPECT_EQ(ScreenLine(*again, 3), "next");
}

TEST_F(FrameTest, CaptureLogReachesTheDiskOnTheTimerWithoutMoreData) {
    settings_.Port = 0;
    settings_.LogIniBegin = 1;
    settings_.LogDefPath = dir_.Str();
    auto frame = MakeFrame();
    frame->StartLogAtStart();
    ASSERT_TRUE(frame->Log().IsOpen());
    const std::string last = "the host's last line\r\n";
    frame->ProcessReceived(reinterpret_cast<const uint8_t*>(last.data()), last.size());
    frame->OnTimer3();
    EXPECT_EQ(test::ReadWhole(frame->Log().Path()), last);
    // With TimeStamp set, each line after that starts with the time of day.
    frame->S().TimeStamp = kStampClock;
    const std::string next = "stamped\r\n";
    frame->ProcessReceived(reinterpret_cast<const uint8_t*>(next.data()), next.size());
    frame->OnTimer3();
    const std::string text = test::ReadWhole(frame->Log().Path());
    ASSERT_EQ(text.size(), last.size() + 13 + next.size()) << text;
    EXPECT_EQ(text.substr(last.size() + 2, 1), ":");
    EXPECT_EQ(text.substr(last.size() + 12), " " + next);
}

// A serial device that goes away (an adapter unplugged: here a pty under a by-id link, whose
// master closes and whose link and by-id folder go, as udev removes them) closes the line with
// the message; with AutoReconnect the same name is opened again as soon as it is back, with the
// parameters of the settings, and the capture log marks the place. Without it the line stays
// closed.
TEST_F(FrameTest, SerialDeviceThatGoesAwayIsOpenedAgainUnderItsNameWhenItComesBack) {
    namespace fs = std::filesystem;
    const fs::path byId = fs::path(dir_.Str()) / "serial" / "by-id";
    const fs::path link = byId / "usb-Marlo_Adapter_0001-if00-port0";
    auto plugIn = [&] {
        auto pty = std::make_unique<PtyPair>();
        fs::create_directories(byId);
        fs::create_symlink(pty->SlavePath(), link);
        return pty;
    };
    auto unplug = [&](std::unique_ptr<PtyPair>& pty) {
        pty.reset();
        fs::remove_all(byId);
    };
    std::ofstream(dir_.Str() + "/ports.conf") << link.string() << "\n";
    settings_.Speed = 19200;
    for (int reconnect : {1, 0}) {
        SCOPED_TRACE(reconnect);
        settings_.AutoReconnect = reconnect;
        auto pty = plugIn();
        auto frame = MakeFrame();
        ASSERT_TRUE(frame->OpenConfiguredPort());
        ASSERT_TRUE(frame->BeginCaptureLog(dir_.Str() + "/cap.log", true));
        ASSERT_TRUE(pty->Write("before"));
        ASSERT_TRUE(PumpUntil([&] { return ScreenLine(*frame, 0) == "before"; }));
        unplug(pty);
        ASSERT_TRUE(PumpUntil([&] { return !frame->PortOpen(); }));
        EXPECT_EQ(platform_.statusText, "回線が切断されました");
        EXPECT_EQ(frame->CurrentSession().AwaitingDevice(), reconnect == 1);

        pty = plugIn();
        if (!reconnect) {
            platform_.Idle(300);
            EXPECT_FALSE(frame->PortOpen());
            frame->Log().Flush();
            EXPECT_EQ(test::ReadWhole(dir_.Str() + "/cap.log"), "before");
            break;
        }
        ASSERT_TRUE(PumpUntil([&] { return frame->PortOpen(); }));
        EXPECT_EQ(platform_.statusText, "回線を再接続しました");
        struct termios t {};
        ASSERT_TRUE(pty->SlaveTermios(t));
        EXPECT_EQ(cfgetospeed(&t), B19200);
        ASSERT_TRUE(pty->Write("\r\nafter"));
        ASSERT_TRUE(PumpUntil([&] { return ScreenLine(*frame, 1) == "after"; }));
        frame->Log().Flush();
        const std::string log = test::ReadWhole(dir_.Str() + "/cap.log");
        const std::string mark = Utf8ToSjis("--- 再接続 ");
        ASSERT_EQ(log.size(), 6 + 2 + mark.size() + 12 + 2 + 2 + 5) << log;
        EXPECT_EQ(log.substr(0, 8 + mark.size()), "before\r\n" + mark);
        EXPECT_EQ(log.substr(log.size() - 13), " ---\r\n\r\nafter");
        // Unplugged again, it is watched for again.
        unplug(pty);
        ASSERT_TRUE(PumpUntil([&] { return frame->CurrentSession().AwaitingDevice(); }));
        fs::remove(dir_.Str() + "/cap.log");
    }
}

TEST_F(FrameTest, ReplayFeedsAFileThroughTheTerminalAndReportsAMissingOne) {
    settings_.Port = 0;
    auto frame = MakeFrame();
    std::ofstream(dir_.Str() + "/rec.bin", std::ios::binary) << "replayed\r\n";
    ASSERT_TRUE(frame->ReplayFile(dir_.Str() + "/rec.bin"));
    EXPECT_EQ(ScreenLine(*frame, 0), "replayed");
    EXPECT_FALSE(frame->ReplayFile(dir_.Str() + "/missing.bin"));
    EXPECT_EQ(platform_.boxes.back().text, "ファイルのオープンに失敗しました.");
    EXPECT_EQ(platform_.boxes.back().icon, MsgIcon::Stop);
}

// The communication sheet applied to the running line through the frame.
class FrameCommSheetTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        a_ = bank_.Add("/fake/a");
        b_ = bank_.Add("/fake/b");
        std::ofstream(dir_.Str() + "/ports.conf") << "/fake/a\n/fake/b\n";
        settings_.Speed = 9600;
        frame_ = MakeFrame(bank_.Factory());
        ASSERT_TRUE(frame_->OpenConfiguredPort());
    }
    CommApplyResult Apply(const std::function<void(CommSheetValues&)>& edit) {
        CommSettingsModel model(frame_->S(), *frame_);
        edit(model.values);
        EXPECT_FALSE(model.Validate());
        return model.Apply(frame_->S());
    }
    FakePortBank bank_;
    std::shared_ptr<test::FakePort> a_, b_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(FrameCommSheetTest, NewParametersReachTheOpenPort) {
    auto result = Apply([](CommSheetValues& v) {
        v.Speed = 38400;
        v.DataLen = 7;
        v.Parity = 2;
    });
    EXPECT_TRUE(result.lineApplied);
    EXPECT_EQ(a_->Config().speed, 38400);
    EXPECT_EQ(a_->Config().dataBits, 7);
    EXPECT_EQ(frame_->S().Speed, 38400);
}

TEST_F(FrameCommSheetTest, AnotherPortMovesTheLine) {
    auto result = Apply([](CommSheetValues& v) { v.Port = 2; });
    EXPECT_TRUE(result.lineApplied);
    EXPECT_FALSE(a_->IsOpen());
    EXPECT_TRUE(b_->IsOpen());
    EXPECT_EQ(frame_->S().Port, 2);
}

TEST_F(FrameCommSheetTest, ANewPortThatWillNotOpenPutsTheOldOneBack) {
    {
        std::lock_guard lock(b_->m);
        b_->openResult = SerialStatus::Busy;
    }
    platform_.listAnswers = {std::nullopt};  // no other port chosen
    auto result = Apply([](CommSheetValues& v) {
        v.Port = 2;
        v.Speed = 4800;
    });
    EXPECT_FALSE(result.lineApplied);
    EXPECT_TRUE(a_->IsOpen());
    EXPECT_EQ(a_->Config().speed, 9600);
    EXPECT_EQ(frame_->S().Port, 1);
    EXPECT_EQ(frame_->S().Speed, 9600);
    ASSERT_FALSE(platform_.boxes.empty());
    EXPECT_EQ(platform_.boxes.back().text, "通信ポートのオープンに失敗しました.");
}

// An entry that names its device (a by-id path in life) moves the line there with the entry's
// parameters before it dials; one on the open device or with none leaves the line where it is.
TEST_F(FrameCommSheetTest, HostEntryWithItsOwnDeviceMovesTheLineThere) {
    HostEntry e;
    e.Name = "board";
    e.PortPath = "/fake/b";
    e.Speed = 115200;
    e.ModemIniCommand = "AT";
    b_->Feed("OK\r\n");
    ASSERT_TRUE(frame_->ConnectHostEntry(e));
    EXPECT_FALSE(a_->IsOpen());
    EXPECT_TRUE(b_->IsOpen());
    EXPECT_EQ(frame_->S().Port, 2);
    EXPECT_EQ(b_->Config().speed, 115200);
    EXPECT_EQ(b_->Written().rfind("AT\r", 0), 0u);
    frame_->Dial().Cancel();

    e.PortPath = "/fake/missing";
    platform_.listAnswers = {std::nullopt};  // no other port chosen
    EXPECT_FALSE(frame_->ConnectHostEntry(e));
    EXPECT_EQ(platform_.boxes.front().text, "通信デバイスのオープンに失敗しました.(/fake/missing)");
    EXPECT_TRUE(b_->IsOpen());  // the line is back on the port it was on
    EXPECT_EQ(frame_->S().Port, 2);
}

TEST_F(FrameCommSheetTest, RefusedParametersPutTheOldOnesBack) {
    auto result = Apply([](CommSheetValues& v) {
        v.Speed = 4800;
        v.StopBit = 1;  // one and a half stop bits: no termios form, refused
    });
    EXPECT_FALSE(result.lineApplied);
    EXPECT_TRUE(a_->IsOpen());
    EXPECT_EQ(a_->Config().speed, 9600);
    EXPECT_EQ(frame_->S().Speed, 9600);
}

}  // namespace
}  // namespace marlo

#include "support/TelnetTestServer.h"

namespace marlo {
namespace {

TEST_F(FrameTest, HostEntryConnectsOverTelnetWithItsOwnSettingsAndLeavesAHistoryLine) {
    settings_.Port = 0;
    settings_.HistoryDefPath = dir_.Str();
    auto frame = MakeFrame();
    test::TelnetTestServer server;
    HostEntry e = test::LoopbackTelnetEntry(server.Port());
    e.CodeExchange = kEuc;
    e.CodeExchange2 = kNewJis;
    e.Emulation = 1;
    ASSERT_TRUE(frame->ConnectHostEntry(e));
    // The connect completes in the listen queue; the server takes it afterwards.
    ASSERT_TRUE(platform_.Until([&] { return frame->Conn().connected.load(); }));
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(frame->S().CodeExchange, kEuc);  // the entry's settings are the active ones
    EXPECT_EQ(frame->S().Emulation, 1);
    EXPECT_EQ(platform_.title, "[LOCAL]");
    // EUC from the host shows as Shift-JIS; what is typed goes out in new JIS.
    ASSERT_TRUE(server.Send("\xb0\xa1\r\n"));
    ASSERT_TRUE(platform_.Until(
        [&] { return ScreenLine(*frame, 0).find("\x88\x9f") != std::string::npos; }));
    server.ClearReceived();
    frame->WriteConverted(std::string("\x88\x9f"));
    EXPECT_TRUE(server.WaitFor("\x1b$B\x30\x21"));
    // The server hangs up: the connection ends and one history record is written.
    server.CloseClient();
    ASSERT_TRUE(platform_.Until([&] { return !frame->Conn().connected.load(); }));
    std::string history = test::ReadWhole((dir_.path / "history.txt").string());
    EXPECT_EQ(history.rfind("LOCAL", 0), 0u);
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1);
}

// The screen of an earlier session stays; the host's output starts below it, and the end of a
// ZMODEM header the earlier session left (CR, 0x8A, XON) pairs with nothing the new host sends.
TEST_F(FrameTest, HostEntryOutputStartsBelowTheOldScreenWithNothingLeftFromBefore) {
    settings_.Port = 0;
    settings_.LogDefPath = dir_.Str();
    auto frame = MakeFrame();
    {
        test::TelnetTestServer earlier;
        frame->ConnectTelnet("127.0.0.1", earlier.Port());
        ASSERT_TRUE(platform_.Until([&] { return frame->Conn().connected.load(); }));
        ASSERT_TRUE(earlier.Accept());
        earlier.Send(
            "one\r\ntwo\r\nrz\r**\x18"
            "B0100000023be50\r\x8a\x11");
        ASSERT_TRUE(platform_.Until(
            [&] { return ScreenLine(*frame, 2).find("B01") != std::string::npos; }));
        frame->HangUp();
    }
    test::TelnetTestServer server;
    HostEntry e = test::LoopbackTelnetEntry(server.Port());
    e.Emulation = 1;
    e.Log = 1;
    ASSERT_TRUE(frame->ConnectHostEntry(e));
    ASSERT_TRUE(platform_.Until([&] { return frame->Conn().connected.load(); }));
    ASSERT_TRUE(server.Accept());
    server.Send("\r\nroot@vm:~# ");
    ASSERT_TRUE(platform_.Until([&] { return ScreenLine(*frame, 4) == "root@vm:~#"; }))
        << ScreenLine(*frame, 0) << "|" << ScreenLine(*frame, 4);
    EXPECT_EQ(ScreenLine(*frame, 0), "one");
    EXPECT_EQ(ScreenLine(*frame, 1), "two");
    EXPECT_EQ(ScreenLine(*frame, 3), "");
    int line, column;
    frame->Term().ActiveView().GetCursor(line, column);
    EXPECT_EQ(line, 4);
    EXPECT_EQ(column, 11);
    const std::string logName = frame->Log().Path();
    frame->HangUp();
    EXPECT_EQ(test::ReadWhole(logName), "\r\nroot@vm:~# ");
}

TEST_F(FrameTest, TelnetHostClosingRightAfterABurstLosesNothing) {
    settings_.Port = 0;
    settings_.LogDefPath = dir_.Str();
    auto frame = MakeFrame();
    test::TelnetTestServer server;
    HostEntry e = test::LoopbackTelnetEntry(server.Port());
    e.Log = 1;
    e.LogHead = "T1";
    ASSERT_TRUE(frame->ConnectHostEntry(e));
    ASSERT_TRUE(platform_.Until([&] { return frame->Conn().connected.load(); }));
    ASSERT_TRUE(server.Accept());
    const std::string text = test::NumberedSjisLines(10u << 20);
    auto sent = std::async(std::launch::async, [&] {
        bool ok = server.Send(text);
        server.EndSending();
        return ok;
    });
    const bool ended = platform_.Until([&] { return !frame->Conn().connected.load(); }, 120000);
    if (!ended) server.EndSending();  // a send still blocked gives up
    EXPECT_TRUE(sent.get());
    ASSERT_TRUE(ended);
    // The connection ended only after the last line was shown and logged.
    const ScreenBuffer& b = frame->Term().Buffer();
    EXPECT_NE(ScreenLine(*frame, b.LastLine() - 1).find("line " + test::LastLineNumber(text)),
              std::string::npos);
    std::string logged;
    for (const auto& f : std::filesystem::directory_iterator(dir_.path))
        if (f.path().extension() == ".LOG") logged = test::ReadWhole(f.path().string());
    EXPECT_TRUE(logged == text) << logged.size() << " of " << text.size() << " bytes logged";
    ASSERT_FALSE(platform_.boxes.empty());
    EXPECT_EQ(platform_.boxes.back().text, "Telnetを切断しました");
}

TEST_F(FrameTest, NextTelnetConnectionIsReadFromItsFirstByte) {
    settings_.Port = 0;
    auto frame = MakeFrame();
    test::TelnetTestServer server;
    ASSERT_TRUE(frame->ConnectHostEntry(test::LoopbackTelnetEntry(server.Port())));
    ASSERT_TRUE(platform_.Until([&] { return frame->Conn().connected.load(); }));
    ASSERT_TRUE(server.Accept());
    platform_.Idle(100);
    ASSERT_EQ(platform_.PendingCount(), 0u);
    // The user hangs up just as the host says something: its notification is still queued.
    ASSERT_TRUE(server.Send("too late"));
    for (int i = 0; i < 300 && platform_.PendingCount() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GT(platform_.PendingCount(), 0u);
    frame->HangUp();
    platform_.Idle(100);
    ASSERT_TRUE(frame->ConnectHostEntry(test::LoopbackTelnetEntry(server.Port())));
    ASSERT_TRUE(platform_.Until([&] { return frame->Conn().connected.load(); }));
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(server.Send("welcome"));
    EXPECT_TRUE(platform_.Until(
        [&] { return ScreenLine(*frame, 0).find("welcome") != std::string::npos; }, 3000))
        << ScreenLine(*frame, 0);
}

TEST_F(FrameTest, UnknownStartUpHostIsReported) {
    settings_.Port = 0;
    auto frame = MakeFrame();
    EXPECT_FALSE(frame->ConnectHostNumber(3));
    ASSERT_FALSE(platform_.boxes.empty());
    EXPECT_EQ(platform_.boxes.back().text, "指定されたﾎｽﾄは登録されていません。");
}

TEST_F(FrameCommSheetTest, TextSendTypesTheFileLineByLineAndTheCommandStopsIt) {
    frame_->S().TxSendSync = 1;
    const std::string file = dir_.Str() + "/t.txt";
    std::ofstream(file) << "ab\r\ncd\r\nef\r\n";
    platform_.fileAnswers = {file};
    frame_->OnCommand(ID_TEXT_SEND);
    ASSERT_TRUE(PumpUntil([&] { return a_->Written() == "ab\r"; }));
    EXPECT_TRUE(frame_->CommandChecked(ID_TEXT_SEND));
    a_->Feed("ab\r");  // the echo lets the next line go
    ASSERT_TRUE(PumpUntil([&] { return a_->Written() == "ab\rcd\r"; }));
    frame_->OnCommand(ID_TEXT_SEND);  // stops it before the next line
    ASSERT_TRUE(PumpUntil([&] { return !frame_->TextSending(); }));
    EXPECT_EQ(a_->Written(), "ab\rcd\r");
    EXPECT_FALSE(frame_->CommandChecked(ID_TEXT_SEND));

    platform_.fileAnswers = {dir_.Str() + "/missing.txt"};
    frame_->OnCommand(ID_TEXT_SEND);
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, "ファイルのオープンに失敗しました.");
    EXPECT_FALSE(frame_->TextSending());
}

TEST_F(FrameCommSheetTest, TextReceiveWritesWhatTheTerminalStoresUntilTheCommandClosesIt) {
    frame_->S().TxrecvDefPath = dir_.Str();
    frame_->S().CodeExchange = kEuc;
    frame_->S().RcvCRLF = 1;
    frame_->S().LogRemoveEsc = 0;  // the log's switch: the text-receive file never takes escapes
    frame_->S().Emulation = 1;
    frame_->Term().Reset();
    frame_->textReceiveDialog = [](const std::string&, bool) {
        return std::optional<LogChoice>(LogChoice{"recv.txt", false});
    };
    ASSERT_TRUE(frame_->CommandEnabled(ID_TEXT_RECEIVE));
    frame_->OnCommand(ID_TEXT_RECEIVE);
    EXPECT_TRUE(frame_->CommandChecked(ID_TEXT_RECEIVE));
    // EUC in, Shift-JIS out; the host's two backspaces over a kanji erase it and nothing before.
    a_->Feed("\x1b[1mab\xb4\xc1\b\bc\xb0\xec\r");
    ASSERT_TRUE(PumpUntil([&] { return ScreenLine(*frame_, 0).rfind("abc\x88\xea", 0) == 0; }))
        << ScreenLine(*frame_, 0);
    frame_->transferRunning = true;
    EXPECT_FALSE(frame_->CommandEnabled(ID_TEXT_RECEIVE));
    frame_->transferRunning = false;
    frame_->OnCommand(ID_TEXT_RECEIVE);
    EXPECT_FALSE(frame_->CommandChecked(ID_TEXT_RECEIVE));
    EXPECT_EQ(test::ReadWhole(dir_.Str() + "/recv.txt"), "abc\x88\xea\r\n");
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(FrameCommSheetTest, ControlCodesGoOutOneByteEachAfterTheKanjiOutOfAJisLine) {
    EXPECT_TRUE(frame_->SendControlCode(13));
    EXPECT_TRUE(frame_->SendControlCode(10));
    EXPECT_TRUE(frame_->SendControlCode(0));
    EXPECT_EQ(a_->Written(), std::string("\r\n\0", 3));
    frame_->S().CodeExchange2 = kNewJis;
    frame_->WriteConverted("\x93\xfa");  // the line is in kanji mode now
    EXPECT_TRUE(frame_->SendControlCode(27));
    EXPECT_EQ(a_->Written(), std::string("\r\n\0\x1b$BF|\x1b(J\x1b", 12));
    frame_->transferRunning = true;
    EXPECT_FALSE(frame_->SendControlCode(13));
    frame_->transferRunning = false;
    EXPECT_EQ(a_->Written().size(), 12u);
}

}  // namespace
}  // namespace marlo

namespace marlo {
namespace {

TEST_F(FrameTest, LzhExtractionComesFromTheMenuTheMessageAndADownloadAndEndsAsTheDialogSays) {
    auto frame = MakeFrame();
    std::vector<std::string> asked;
    std::optional<LzhOutcome> answer;
    frame->lzhDialog = [&](const std::string& archive) {
        asked.push_back(archive);
        return answer;
    };
    const std::string archive = dir_.Str() + "/X.LZH";
    frame->OnCommand(ID_LZH_EXTRACT);
    platform_.PostEvent(Event{WM_EXTRACT_LZH, 0, 0, archive, ""});
    ASSERT_TRUE(PumpUntil([&] { return asked.size() == 2; }));
    frame->Transfer().extractLzh(archive);  // what the end of a download of an archive calls
    EXPECT_EQ(asked, (std::vector<std::string>{"", archive, archive}));
    EXPECT_TRUE(platform_.boxes.empty());  // closed unused: nothing to say

    // A whole extraction with the delete flag removes the archive; a failed one says so.
    test::WriteWhole(archive, "x");
    answer = LzhOutcome{{archive, "", true}, {}};
    frame->ExtractLzh(archive);
    EXPECT_FALSE(std::filesystem::exists(archive));
    answer->result.status = LzhStatus::Failed;
    frame->ExtractLzh(archive);
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text.rfind(kLzhFailed, 0), 0u);
}

}  // namespace
}  // namespace marlo
