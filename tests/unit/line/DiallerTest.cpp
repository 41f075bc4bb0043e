#include <gtest/gtest.h>

#include "line/Dialler.h"
#include "line/StreamLine.h"
#include "line/StringWait.h"
#include "support/ModemSimulator.h"
#include "support/RecordingPlatform.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

using Result = test::ModemSimulator::DialResult;

// The frame's part in dialling: reads the serial line from a timer, feeds the wait and the
// answer parser, and turns carrier changes into the connection's transitions.
struct Rig : IModemPort, IEventTarget {
    test::RecordingPlatform platform;
    test::PtyModem modem;
    StreamLine line{modem.ProgramFd(), modem.ProgramFd()};
    StringWait wait;
    int histories = 0, autologons = 0;
    std::vector<bool> dtr;
    Connection conn{platform, HistoryHooks()};
    Dialler dialler{platform, *this, wait, conn};
    bool carrier = false;

    Connection::Hooks HistoryHooks() {
        Connection::Hooks h;
        h.writeHistory = [this] { ++histories; };
        return h;
    }
    Rig() {
        platform.SetEventTarget(this);
        dialler.SetWaitLimits(5000, 50);
        platform.StartTimer(1, 5, [this] { Pump(); });
        platform.StartTimer(3, 500, [this] { dialler.OnTick(); });
    }
    ~Rig() override {
        platform.StopTimer(1);
        platform.StopTimer(3);
    }
    void Pump() {
        uint8_t buf[256];
        int n = line.ReadLineData(buf, sizeof buf, 0);
        if (n > 0) {
            wait.Feed(buf, static_cast<size_t>(n));
            dialler.OnReceived(buf, static_cast<size_t>(n));
        }
        bool cd = modem.Cd();
        if (cd != carrier) {
            carrier = cd;
            if (cd && !conn.connected) conn.OnConnected();
            if (!cd && conn.connected) conn.OnDisconnected();
        }
    }
    bool WriteConverted(const std::string& s) override {
        return line.WriteRaw(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
    void SetDtr(bool on) override {
        dtr.push_back(on);
        modem.SetDtr(on);
    }
    void SetRts(bool) override {}
    bool PortOpen() const override { return true; }
    void OnEvent(const Event& e) override {
        if (e.id == WM_AUTOLOGON) ++autologons;
    }
    bool Until(const std::function<bool()>& cond, int ms = 10000) {
        return platform.Until(cond, ms);
    }
    bool StatusShown(const std::string& s) const {
        for (const auto& t : platform.progressStatus)
            if (t == s) return true;
        return false;
    }
    DialPlan Plan() const {
        DialPlan p;
        p.hostName = "PC-VAN";
        p.TelNum1 = "123";
        p.RedialNum = 3;
        p.Interval = 0;
        return p;
    }
};

TEST(Dialler, SendsTheInitialisationAndTheDialCommandExactly) {
    struct Case {
        int form, internal;
        const char* external;
        const char* command;
    } cases[] = {{1, 1, "0,", "ATDT0,123"}, {0, 0, "0,", "ATDP123"}, {1, 0, "9", "ATDT123"}};
    for (const auto& c : cases) {
        Rig r;
        auto plan = r.Plan();
        plan.TelForm = c.form;
        plan.Internal = c.internal;
        plan.External = c.external;
        plan.history = true;
        ASSERT_TRUE(r.dialler.Connect(plan, "ATE1Q0V1X3"));
        ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
        EXPECT_EQ(r.modem.Modem().Commands(), (std::vector<std::string>{"ATE1Q0V1X3", c.command}));
        EXPECT_EQ(r.platform.progressTexts,
                  (std::vector<std::string>{"モデムを初期化中...", "接続中 [1回目] "}));
        EXPECT_TRUE(
            r.StatusShown(std::string("電話番号 : ") + (c.internal ? c.external : "") + "123"));
        EXPECT_TRUE(r.StatusShown("接続完了"));
        EXPECT_FALSE(r.platform.progressVisible);
        EXPECT_FALSE(r.conn.dialling);
        EXPECT_EQ(r.platform.title, "[PC-VAN]");
        EXPECT_TRUE(r.Until([&] { return r.autologons == 1; }));
        // The modem's echo of the dial command is not shown as an answer.
        EXPECT_FALSE(r.StatusShown(c.command));
    }
}

TEST(Dialler, BusyRedialsAlternatingNumbersThenGivesUp) {
    Rig r;
    r.modem.Modem().QueueDialResults({Result::Busy, Result::Busy, Result::Busy});
    auto plan = r.Plan();
    plan.TelNum2 = "456";
    ASSERT_TRUE(r.dialler.Connect(plan, "ATZ"));
    ASSERT_TRUE(r.Until([&] { return !r.platform.boxes.empty(); }));
    EXPECT_EQ(r.modem.Modem().Commands(),
              (std::vector<std::string>{"ATZ", "ATDT123", "ATDT456", "ATDT123"}));
    EXPECT_EQ(r.platform.boxes[0].text, "3回の接続に失敗しました.");
    EXPECT_TRUE(r.StatusShown("話し中"));
    EXPECT_FALSE(r.conn.dialling);
    EXPECT_FALSE(r.platform.progressVisible);
    EXPECT_EQ(r.platform.progressTexts.back(), "接続中 [3回目] ");
}

TEST(Dialler, BusyThenConnectWithoutASecondNumberRedialsTheFirst) {
    Rig r;
    r.modem.Modem().QueueDialResults({Result::Busy, Result::Connect});
    ASSERT_TRUE(r.dialler.Connect(r.Plan(), "ATZ"));
    ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
    EXPECT_EQ(r.modem.Modem().Commands(), (std::vector<std::string>{"ATZ", "ATDT123", "ATDT123"}));
    EXPECT_TRUE(r.platform.boxes.empty());
}

TEST(Dialler, OtherAnswersAreShownAndDoNotRedial) {
    for (auto [result, shown] : {std::pair{Result::NoCarrier, "NO CARRIER"},
                                 std::pair{Result::NoDialtone, "ダイアルトーンを確認できません"}}) {
        Rig r;
        r.modem.Modem().QueueDialResults({result});
        ASSERT_TRUE(r.dialler.Connect(r.Plan(), "ATZ"));
        ASSERT_TRUE(r.Until([&] { return r.StatusShown(shown); }));
        EXPECT_TRUE(r.conn.dialling) << "the dial stays pending until the user cancels";
        // "中断" abandons the call with a lone CR.
        r.platform.progressCancel = true;
        ASSERT_TRUE(r.Until([&] { return !r.conn.dialling; }));
        EXPECT_FALSE(r.platform.progressVisible);
        EXPECT_FALSE(r.conn.history);
        ASSERT_TRUE(r.Until([&] { return r.modem.Modem().Commands().size() == 3; }));
        EXPECT_EQ(r.modem.Modem().Commands().back(), "");
    }
}

TEST(Dialler, ModemThatDoesNotAnswerTheInitialisationDialsNothing) {
    Rig r;
    r.dialler.SetWaitLimits(300, 50);
    EXPECT_FALSE(r.dialler.Connect(r.Plan(), "BOGUS"));
    ASSERT_EQ(r.platform.boxes.size(), 1u);
    EXPECT_EQ(r.platform.boxes[0].text, "ﾓﾃﾞﾑの初期化に失敗しました.");
    EXPECT_EQ(r.modem.Modem().Commands(), (std::vector<std::string>{"BOGUS"}));
    EXPECT_FALSE(r.platform.progressVisible);
}

TEST(Dialler, InitialisationAtStartUpAndByCommand) {
    Rig r;
    r.dialler.SetWaitLimits(300, 50);
    EXPECT_TRUE(r.dialler.InitModem("ATZ", "AT&F", false));
    EXPECT_TRUE(r.platform.boxes.empty());
    EXPECT_FALSE(r.dialler.InitModem("XX", "ATZ", false));
    ASSERT_EQ(r.platform.boxes.size(), 1u);
    EXPECT_EQ(r.platform.boxes[0].text, "モデムの初期化(XX)に失敗しました.");
    // The command goes on to the second string after a failed first one.
    EXPECT_FALSE(r.dialler.InitModem("XX", "ATE0", true));
    EXPECT_EQ(r.modem.Modem().Commands(),
              (std::vector<std::string>{"ATZ", "AT&F", "XX", "XX", "ATE0"}));
    EXPECT_EQ(r.platform.statusText, "");
}

TEST(Dialler, CarrierWithoutDialIsAnUnknownHostWithNoLogonOrHistory) {
    Rig r;
    r.modem.AnswerCall();
    ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
    EXPECT_EQ(r.platform.title, "[未定義ホスト]");
    r.modem.RemoteHangUp();
    ASSERT_TRUE(r.Until([&] { return !r.conn.connected; }));
    EXPECT_EQ(r.platform.title, "[未接続]");
    EXPECT_EQ(r.autologons, 0);
    EXPECT_EQ(r.histories, 0);
}

TEST(Dialler, HangUpByDtrAndByEscapeSequence) {
    {
        Rig r;
        auto plan = r.Plan();
        plan.history = true;
        ASSERT_TRUE(r.dialler.Connect(plan, "ATZ"));
        ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
        EXPECT_TRUE(r.dialler.HangUp(true));
        EXPECT_EQ(r.dtr, (std::vector<bool>{false, true}));
        ASSERT_TRUE(r.Until([&] { return !r.conn.connected; }));
        EXPECT_EQ(r.histories, 1);
    }
    {
        Rig r;
        r.modem.Modem().SetGuardMs(100);
        ASSERT_TRUE(r.dialler.Connect(r.Plan(), "ATZ"));
        ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
        r.platform.Idle(150);
        EXPECT_TRUE(r.dialler.HangUp(false));
        ASSERT_TRUE(r.Until([&] { return !r.conn.connected; }));
        EXPECT_EQ(r.modem.Modem().Commands().back(), "ATH0");
        EXPECT_TRUE(r.platform.boxes.empty());
    }
}

TEST(Dialler, HangUpNotConfirmedSaysSoAndStaysConnected) {
    Rig r;
    r.modem.Modem().SetGuardMs(60000);  // the modem never takes "+++"
    r.dialler.SetWaitLimits(300, 20);
    ASSERT_TRUE(r.dialler.Connect(r.Plan(), "ATZ"));
    ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
    EXPECT_FALSE(r.dialler.HangUp(false));
    ASSERT_EQ(r.platform.boxes.size(), 1u);
    EXPECT_EQ(r.platform.boxes[0].text, "切断に失敗しました.");
    EXPECT_TRUE(r.conn.connected);
    // "ATH0" was still sent after the unanswered "+++".
    ASSERT_TRUE(r.Until(
        [&] { return r.modem.Modem().OnlineReceived().find("+++ATH0\r") != std::string::npos; }));
}

TEST(Dialler, CloseQuestionAnsweredNoSendsNothing) {
    Rig r;
    ASSERT_TRUE(r.dialler.Connect(r.Plan(), "ATZ"));
    ASSERT_TRUE(r.Until([&] { return r.conn.connected.load(); }));
    r.platform.answers.push_back(MsgResult::No);
    EXPECT_TRUE(r.dialler.ShutdownHangUp(false));
    EXPECT_EQ(r.platform.boxes.at(0).text,
              "まだ回線が接続されていますが,切断してから終了しますか?");
    r.platform.Idle(50);
    EXPECT_EQ(r.modem.Modem().OnlineReceived(), "");
    EXPECT_TRUE(r.conn.connected);
    // Yes with Disconnect set drops RTS and DTR; the modem hangs up.
    r.platform.answers.push_back(MsgResult::Yes);
    EXPECT_TRUE(r.dialler.ShutdownHangUp(true));
    EXPECT_EQ(r.dtr, (std::vector<bool>{false}));
    ASSERT_TRUE(r.Until([&] { return !r.conn.connected; }));
}

TEST(PhoneDialog, KeypadAndPlan) {
    PhoneDialogModel m;
    for (char k : std::string("12B3*#xC0459B")) m.Key(k);
    EXPECT_EQ(m.number, "045");
    m.tone = 0;
    m.internal = true;
    m.external = "0,";
    auto p = m.Plan();
    EXPECT_EQ(p.TelNum1, "045");
    EXPECT_EQ(p.TelNum2, "045");
    EXPECT_EQ(p.TelForm, 0);
    EXPECT_EQ(p.Interval, 5);
    EXPECT_FALSE(p.history);
    EXPECT_EQ(SjisToUtf8(p.hostName), "未定義ホスト");
    for (auto [text, n] : {std::pair{"3", 3}, {"", 1}, {"0", 1}, {"x", 1}, {"-2", 1}}) {
        m.redialCount = text;
        EXPECT_EQ(m.Plan().RedialNum, n) << text;
    }
}

}  // namespace
}  // namespace marlo
