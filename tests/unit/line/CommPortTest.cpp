// The port operations with their messages and dialogs, on fake devices and the recording
// platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "line/CommPort.h"
#include "support/FakeSerialDevice.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FakePort;
using test::FakePortBank;
using Box = test::RecordingPlatform::Box;

constexpr const char* kBusy = "通信デバイスはすでに使用されています.(%s)";
constexpr const char* kOpenFailed = "通信デバイスのオープンに失敗しました.(%s)";

std::string With(const char* f, const std::string& name) {
    std::string s = f;
    return s.substr(0, s.find("%s")) + name + s.substr(s.find("%s") + 2);
}

class StatusRecordingPlatform : public test::RecordingPlatform {
  public:
    void SetStatusText(const std::string& t) override {
        statusTexts.push_back(t);
        RecordingPlatform::SetStatusText(t);
    }
    std::vector<std::string> statusTexts;
};

class CommPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "dev");
        map = std::make_unique<PortMap>(dir);
        a = bank.Add("/fake/a");
        b = bank.Add("/fake/b");
        ASSERT_EQ(map->NumberOf("/fake/a"), 1);
        ASSERT_EQ(map->NumberOf("/fake/b"), 2);
        settings.Port = 1;
        settings.Speed = 9600;
        settings.Flow = 2;
        port = std::make_unique<CommPort>(platform, settings, *map, bank.Factory());
        port->SetDeviceFolder(dir / "dev");
        port->SetLampsCallback([this](unsigned l) { lamps = l; });
    }
    void TearDown() override { port.reset(); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& box : platform.boxes) t.push_back(box.text);
        return t;
    }

    test::TempDir tmp;
    fs::path dir = tmp.path;
    FakePortBank bank;
    std::shared_ptr<FakePort> a, b;
    StatusRecordingPlatform platform;
    Settings settings;
    std::unique_ptr<PortMap> map;
    std::unique_ptr<CommPort> port;
    std::atomic<unsigned> lamps{0};
};

TEST_F(CommPortTest, OpenConfiguresRaisesTheControlLinesAndReadsTheModem) {
    a->SetLines(true, true, false);
    std::string name = "COM1";
    ASSERT_EQ(port->OpenCommPort(name, false), CommPort::OpenResult::Opened);
    EXPECT_EQ(name, "COM1");
    EXPECT_TRUE(port->CommActive());
    EXPECT_TRUE(a->Dtr());
    EXPECT_TRUE(a->Rts());
    EXPECT_EQ(a->Config().speed, 9600);
    EXPECT_EQ(a->Config().flow, 2);
    EXPECT_EQ(lamps.load(), unsigned(kLampDtr | kLampRts | kLampCts | kLampDsr));
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(port->ToggleChecked());

    EXPECT_TRUE(port->CloseCommPort());
    EXPECT_FALSE(a->IsOpen());
    EXPECT_EQ(lamps.load(), 0u);
}

TEST_F(CommPortTest, NoModemIsNotAnError) {
    std::string name = kNoModemName;
    EXPECT_EQ(port->OpenCommPort(name, true), CommPort::OpenResult::NoModem);
    EXPECT_FALSE(port->CommActive());
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(CommPortTest, FailedOpenOffersThePortsAndRetriesTheChoice) {
    settings.Port = 3;  // no such fake: /dev/ttyS2 is not in the bank
    {
        std::lock_guard lock(b->m);
        b->openResult = SerialStatus::Busy;  // refuses the first retry
    }
    // The list holds what can be opened now (only /fake/a), then "ﾓﾃﾞﾑなし".
    platform.listAnswers = {0};
    std::string name = "COM3";
    ASSERT_EQ(port->OpenCommPort(name, true), CommPort::OpenResult::Opened);
    EXPECT_EQ(name, "/fake/a");
    ASSERT_EQ(platform.listsShown.size(), 1u);
    EXPECT_EQ(platform.listsShown[0], (std::vector<std::string>{"/fake/a", kNoModemName}));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, With(kOpenFailed, "COM3"));
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(platform.boxes[0].title, "マーロ");
    EXPECT_EQ(port->PortNumberOf(name), 1);
}

TEST_F(CommPortTest, BusyPortThenGivingUpFails) {
    std::string held = "/fake/a";
    CommPort other(platform, settings, *map, bank.Factory());
    ASSERT_EQ(other.OpenCommPort(held, false), CommPort::OpenResult::Opened);

    platform.listAnswers = {std::nullopt};  // "終了"
    std::string name = "COM1";
    EXPECT_EQ(port->OpenCommPort(name, true), CommPort::OpenResult::Failed);
    EXPECT_EQ(Texts(), std::vector<std::string>{With(kBusy, "COM1")});
    // The busy port is not offered.
    ASSERT_EQ(platform.listsShown.size(), 1u);
    EXPECT_EQ(platform.listsShown[0], (std::vector<std::string>{"/fake/b", kNoModemName}));
    EXPECT_FALSE(port->CommActive());
}

TEST_F(CommPortTest, ChoosingNoModemFromTheDialogReturnsNoModem) {
    {
        std::lock_guard lock(a->m);
        a->openResult = SerialStatus::Failed;
    }
    platform.listAnswers = {1};  // "/fake/b" is 0, "ﾓﾃﾞﾑなし" is 1
    std::string name = "COM1";
    EXPECT_EQ(port->OpenCommPort(name, true), CommPort::OpenResult::NoModem);
    EXPECT_EQ(name, kNoModemName);
    EXPECT_EQ(port->PortNumberOf(name), 0);
}

TEST_F(CommPortTest, RefusedParametersWarnAtStartUpAndFailOtherwise) {
    {
        std::lock_guard lock(a->m);
        a->configResult = SerialStatus::Refused;
    }
    std::string name = "COM1";
    ASSERT_EQ(port->OpenCommPort(name, true), CommPort::OpenResult::Opened);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text,
              "通信ﾊﾟﾗﾒｰﾀの設定に失敗しました。\n[設定]-[通信条件］で通信条件を設定し、"
              "[ＯＫ]ボタンを押してください。");
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(a->IsOpen());
    port->CloseCommPort();

    platform.boxes.clear();
    EXPECT_EQ(port->OpenCommPort(name, false), CommPort::OpenResult::Failed);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "通信パラメータの設定に失敗しました。");
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Stop);
    EXPECT_FALSE(a->IsOpen());
}

TEST_F(CommPortTest, OneAndAHalfStopBitsAreRefusedAtOpen) {
    settings.StopBit = 1;
    std::string name = "COM1";
    EXPECT_EQ(port->OpenCommPort(name, false), CommPort::OpenResult::Failed);
    EXPECT_EQ(Texts(), std::vector<std::string>{"通信パラメータの設定に失敗しました。"});
}

TEST_F(CommPortTest, ToggleOpensClosesAndReportsAFailedOpen) {
    port->TogglePort();
    EXPECT_TRUE(port->CommActive());
    port->TogglePort();
    EXPECT_FALSE(port->CommActive());
    EXPECT_FALSE(a->IsOpen());

    {
        std::lock_guard lock(a->m);
        a->configResult = SerialStatus::Refused;
    }
    port->TogglePort();
    EXPECT_FALSE(port->CommActive());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"通信パラメータの設定に失敗しました。",
                                                 "通信パラメータの設定に失敗しました."}));
    EXPECT_EQ(platform.boxes[1].icon, MsgIcon::Stop);

    settings.Port = 0;
    EXPECT_FALSE(port->ToggleEnabled());
    port->TogglePort();
    EXPECT_FALSE(port->CommActive());
}

TEST_F(CommPortTest, BreakShowsItsMessageForTheBreakTime) {
    std::string name = "COM1";
    ASSERT_EQ(port->OpenCommPort(name, false), CommPort::OpenResult::Opened);
    settings.BreakTime = 80;
    port->SendBreak();
    EXPECT_EQ(platform.statusTexts, (std::vector<std::string>{"ﾌﾞﾚｰｸ信号を送信しました", ""}));
    auto spans = a->Breaks();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_GE(spans[0].off - spans[0].on, 80ms);
}

TEST_F(CommPortTest, DtrPulseTurnsDtrOverForItsTimeAndTheMenuTogglesTheLines) {
    std::string name = "COM1";
    ASSERT_EQ(port->OpenCommPort(name, false), CommPort::OpenResult::Opened);
    settings.DtrPulseTime = 60;
    // A second pulse asked for while one runs (the pause lets commands through) is refused.
    bool nested = true;
    platform.StartTimer(99, 10, [&] {
        nested = port->PulseDtr();
        platform.StopTimer(99);
    });
    EXPECT_TRUE(port->PulseDtr());
    EXPECT_FALSE(nested);
    EXPECT_EQ(platform.statusTexts, (std::vector<std::string>{"DTRﾊﾟﾙｽを送信しました", ""}));
    auto changes = a->DtrChanges();
    ASSERT_EQ(changes.size(), 3u);  // raised at the open, dropped, raised
    EXPECT_FALSE(changes[1].on);
    EXPECT_TRUE(changes[2].on);
    EXPECT_GE(changes[2].at - changes[1].at, 60ms);
    EXPECT_TRUE(lamps & kLampDtr);

    // Dropped by the user, DTR pulses high and is dropped again; RTS toggles on its own.
    port->ToggleDtr();
    EXPECT_FALSE(a->Dtr());
    EXPECT_FALSE(lamps & kLampDtr);
    EXPECT_TRUE(port->PulseDtr(20, nullptr));
    changes = a->DtrChanges();
    EXPECT_TRUE(changes.at(4).on);
    EXPECT_FALSE(changes.at(5).on);
    EXPECT_FALSE(a->Dtr());
    port->ToggleRts();
    EXPECT_FALSE(a->Rts());
    EXPECT_FALSE(port->Rts());
    port->ToggleRts();
    EXPECT_TRUE(a->Rts());

    port->CloseCommPort();
    EXPECT_FALSE(port->PulseDtr());
}

// A stand-in for the frame: WM_COMMNOTIFY sent synchronously from the event thread.
class Frame : public IEventTarget {
  public:
    explicit Frame(CommPort& p) : port(p) {}
    void OnEvent(const Event& e) override {
        if (e.id != WM_COMMNOTIFY) return;
        ++notifications;
        if (!port.CommActive()) return;
        if (e.wParam == 1) {
            bool cd = port.UpdateModemStatus();
            if (cd && !connected) ++connects;
            if (!cd && connected) ++disconnects;
            connected = cd;
        } else {
            uint8_t buf[80];
            int n;
            while ((n = port.Line()->ReadLineData(buf, sizeof buf, 0)) > 0)
                received.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
        }
    }
    CommPort& port;
    int notifications = 0, connects = 0, disconnects = 0;
    bool connected = false;
    std::string received;
};

TEST_F(CommPortTest, ClosingWhileTheEventThreadWaitsForTheFrameReturns) {
    Frame frame(*port);
    platform.SetEventTarget(&frame);
    port->SetNotify([this](int w) { platform.SendEvent({WM_COMMNOTIFY, w, 0, {}, {}}); });
    std::string name = "COM1";
    ASSERT_EQ(port->OpenCommPort(name, false), CommPort::OpenResult::Opened);
    a->Feed("data nobody reads yet");
    // Wait (without handling it) until the thread's notification is queued: the thread is now
    // blocked until this, the closing thread, handles it.
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (platform.PendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(platform.PendingCount(), 1u);
    EXPECT_TRUE(port->CloseCommPort());
    EXPECT_FALSE(a->IsOpen());
    // The queued notification finds the port closed and reads nothing.
    platform.DispatchPending();
    EXPECT_TRUE(SerialLine::ReapAbandonedThreads(5000));
    EXPECT_EQ(frame.notifications, 1);
    EXPECT_EQ(frame.received, "");
    platform.SetEventTarget(nullptr);
}

}  // namespace
}  // namespace marlo
