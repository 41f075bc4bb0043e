#include <gtest/gtest.h>

#include <mutex>

#include "support/TransferKit.h"
#include "transfer/Protocols.h"
#include "transfer/TransferSession.h"

namespace marlo {
namespace {

using test::EngineRun;

// A socket line that claims to be a serial or telnet line, with settable parameters.
class FakeLine : public StreamLine {
  public:
    FakeLine(int fd, LineKind kind) : StreamLine(fd, fd), kind_(kind) {}
    LineKind Kind() const override { return kind_; }
    bool GetParams(LineParams& p) override {
        std::lock_guard lock(mutex);
        if (kind_ != LineKind::Serial) return false;
        p = params;
        return true;
    }
    bool SetParams(const LineParams& p) override {
        std::lock_guard lock(mutex);
        ++setCalls;
        if (failSet) return false;
        params = p;
        return true;
    }
    void SetTransferMode(bool on) override {
        std::lock_guard lock(mutex);
        modes.push_back(on);
    }
    LineParams Params() {
        std::lock_guard lock(mutex);
        return params;
    }

    std::mutex mutex;
    LineParams params;
    bool failSet = false;
    int setCalls = 0;
    std::vector<bool> modes;

  private:
    LineKind kind_;
};

// An engine run on a FakeLine of `kind` with `params`; the test plays the far end.
struct FakeLineRun {
    explicit FakeLineRun(LineKind kind, LineParams params = {}) : line(sp.a, kind) {
        line.params = params;
        run.peer = test::Peer(sp.b);
    }
    test::SocketPair sp;
    FakeLine line;
    EngineRun run{0.2, &line};
};

TEST(TransferSession, SevenBitLineRunsAtEightBitsWithoutSoftwareFlowAndIsPutBack) {
    FakeLineRun f(LineKind::Serial, {9600, 7, 2, 2, 1});  // 7E2, XON/XOFF
    ASSERT_EQ(f.run.Start(kProtoXmodem, kDownload, {f.run.dir.path / "x"}), StartResult::Started);
    EXPECT_EQ(f.run.peer.Byte(), 0x15);  // the engine is running now
    LineParams during = f.line.Params();
    EXPECT_EQ(during.dataBits, 8);
    EXPECT_EQ(during.parity, 0);
    EXPECT_EQ(during.stopBits, 0);
    EXPECT_EQ(during.flow, 0);
    EXPECT_EQ(during.speed, 9600);
    f.run.session.Cancel();
    EXPECT_GE(test::CountCans(f.run.peer), 5);
    EXPECT_FALSE(f.run.Finish());
    EXPECT_EQ(f.run.endCalls, 1);
    EXPECT_FALSE(f.run.endResult);
    LineParams after = f.line.Params();
    EXPECT_EQ(after.dataBits, 7);
    EXPECT_EQ(after.parity, 2);
    EXPECT_EQ(after.stopBits, 2);
    EXPECT_EQ(after.flow, 1);
    EXPECT_FALSE(f.run.session.Running());
}

TEST(TransferSession, EightBitLinesWithHardwareFlowChangeNothing) {
    FakeLineRun f(LineKind::Serial, {9600, 8, 0, 0, 2});
    ASSERT_EQ(f.run.Start(kProtoXmodem, kDownload, {f.run.dir.path / "x"}), StartResult::Started);
    f.run.session.Cancel();
    f.run.Finish();
    EXPECT_EQ(f.line.setCalls, 0);
}

TEST(TransferSession, AFailedSwitchToEightBitsStartsNothing) {
    FakeLineRun f(LineKind::Serial, {2400, 7, 0, 1, 2});
    f.line.failSet = true;
    EXPECT_EQ(f.run.Start(kProtoYmodem, kDownload), StartResult::EightBitFailed);
    EXPECT_FALSE(f.run.session.Running());
    EXPECT_EQ(f.run.peer.Byte(200), -1);
    EXPECT_EQ(f.run.endCalls, 0);
}

// The telnet line goes into transfer mode for the engine and back, at the end and when the window
// is closed (bounded: the engine sees the closed window within its wait slice, no end report).
TEST(TransferSession, TelnetLineGoesIntoTransferModeAndBack) {
    for (bool close : {false, true}) {
        SCOPED_TRACE(close ? "window closed" : "cancelled");
        FakeLineRun f(LineKind::Telnet);
        ASSERT_EQ(f.run.Start(kProtoYmodem, kDownload), StartResult::Started);
        EXPECT_EQ(f.run.peer.Byte(), 'C');
        {
            std::lock_guard lock(f.line.mutex);
            EXPECT_EQ(f.line.modes, std::vector<bool>{true});
        }
        if (close) {
            f.run.session.Close();
            EXPECT_FALSE(f.run.session.Running());
            EXPECT_TRUE(f.run.session.EngineDone());
            EXPECT_EQ(f.run.endCalls, 0);
            EXPECT_FALSE(f.run.session.Succeeded());
        } else {
            f.run.session.Cancel();
            f.run.Finish();
        }
        std::lock_guard lock(f.line.mutex);
        EXPECT_EQ(f.line.modes, (std::vector<bool>{true, false}));
        EXPECT_EQ(f.line.setCalls, 0);
    }
}

TEST(TransferSession, OneTransferAtATimeWithItsClockFromZero) {
    EngineRun run;
    ASSERT_EQ(run.Start(kProtoYmodem, kDownload), StartResult::Started);
    EXPECT_TRUE(run.session.Running());
    EXPECT_EQ(run.session.UpdateElapsed().size(), 8u);
    EXPECT_LE(run.session.ElapsedSeconds(), 1);
    EXPECT_EQ(run.Start(kProtoXmodem, kUpload, {"x"}), StartResult::Busy);
    EXPECT_EQ(run.peer.Byte(), 'C');
    run.session.Cancel();
    EXPECT_FALSE(run.Finish());
    EXPECT_EQ(run.endCalls, 1);
    // Once finished, the next one may start.
    ASSERT_EQ(run.Start(kProtoYmodem, kDownload), StartResult::Started);
    run.session.Cancel();
    run.Finish();
    EXPECT_EQ(run.endCalls, 2);
}

TEST(TransferSession, AProtocolWithoutEngineReportsFailure) {
    for (int p : {4, 9, 42}) {
        EngineRun run;
        ASSERT_EQ(run.Start(p, kDownload), StartResult::Started);
        EXPECT_FALSE(run.Finish());
        EXPECT_EQ(run.endCalls, 1);
        EXPECT_FALSE(run.endResult);
        EXPECT_EQ(run.status.Messages(), std::vector<std::string>{kTextNoProtocol});
    }
}

TEST(TransferSession, UserAbortPlaysTheAbortTitles) {
    EngineRun run;
    ASSERT_EQ(run.Send(kProtoYmodem, test::RandomBytes(5000, 1), "in"), StartResult::Started);
    run.peer.Write('C');
    EXPECT_EQ(run.peer.Byte(), 0x01);  // block 0 under way
    run.session.Cancel();
    EXPECT_FALSE(run.Finish());
    auto titles = run.status.Titles();
    EXPECT_NE(std::find(titles.begin(), titles.end(), "status:アボート中"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "アボート中"), titles.end());
}

// An engine that exposes the base's receive for a check of its buffering.
class ProbeEngine : public CTransEngine {
  public:
    using CTransEngine::CTransEngine;
    bool Download() override { return false; }
    bool Upload() override { return false; }
    using CTransEngine::RecvByte;
};

TEST(TransEngineReceive, BufferedBytesComeWithoutTouchingTheLine) {
    test::SocketPair sp;
    StreamLine line(sp.a, sp.a);
    TransferContext ctx;
    ctx.line = &line;
    ProbeEngine engine(ctx);
    test::Peer(sp.b).Write({1, 2, 3});
    EXPECT_EQ(engine.RecvByte(3000), 1);
    EXPECT_EQ(engine.RecvByte(0), 2);
    EXPECT_EQ(engine.RecvByte(0), 3);
    EXPECT_EQ(engine.RecvByte(0), ERR_TIMEOUT);
    ctx.abort = true;  // an abort ends a wait at once
    EXPECT_EQ(engine.RecvByte(60000), ERR_TIMEOUT);
}

}  // namespace
}  // namespace marlo
