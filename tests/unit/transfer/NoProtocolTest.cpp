#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "support/TransferKit.h"
#include "transfer/NoProtocol.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

using test::EngineRun;

TEST(NoProtocolUpload, SendsEveryByteAsItIsAndEndsAtHundredPercent) {
    EngineRun run;
    test::WriteFileBytes(run.dir.path / "three", {0x00, 0xFF, 0x0D});
    ASSERT_EQ(run.Start(kProtoNoProtocol, kUpload, {"three"}), StartResult::Started);
    EXPECT_EQ(run.peer.Bytes(3), (std::vector<uint8_t>{0x00, 0xFF, 0x0D}));
    EXPECT_TRUE(run.Finish());
    EXPECT_EQ(run.status.percent.load(), 100);
    EXPECT_EQ(run.status.Field(TransField::Bytes), "3 ﾊﾞｲﾄ");
    EXPECT_EQ(run.status.Field(TransField::Protocol), "無手順");

    EngineRun missing;
    ASSERT_EQ(missing.Start(kProtoNoProtocol, kUpload, {"absent"}), StartResult::Started);
    EXPECT_FALSE(missing.Finish());
    EXPECT_FALSE(missing.status.Messages().empty());
}

// Counts how often the transferred bytes are shown.
struct CountingStatus : ITransferStatus {
    void SetField(TransField f, const std::string&) override { shown += f == TransField::Bytes; }
    void SetTitle(const std::string& t) override { last = t; }
    std::atomic<int> shown{0};
    std::string last;
};

TEST(NoProtocolUpload, ShowsProgressAFewTimesASecondAndStopsOnAbort) {
    test::SocketPair sp;
    StreamLine line(sp.a, sp.a);
    CountingStatus status;
    TransferSession session(line, &status, nullptr);
    test::TempDir dir;
    auto data = test::RandomBytes(8 << 20, 2);
    test::WriteFileBytes(dir.path / "big", data);
    TransferRequest req;
    req.protocol = kProtoNoProtocol;
    req.direction = kUpload;
    req.files = {dir.path / "big"};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(session.Start(req, nullptr), StartResult::Started);
    test::Peer peer(sp.b);
    EXPECT_EQ(peer.Bytes(data.size()), data);
    ASSERT_TRUE(session.WaitEngine(30000));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    session.Finish();
    EXPECT_TRUE(session.Succeeded());
    // One at the start, one at the end, and at most one per interval between.
    EXPECT_LE(status.shown.load(), 3 + ms / CNoProtocol::kShowEveryMs);

    // The far end stops reading; the user aborts.
    EngineRun run;
    ASSERT_EQ(run.Start(kProtoNoProtocol, kUpload, {dir.path / "big"}), StartResult::Started);
    EXPECT_EQ(run.peer.Bytes(1000).size(), 1000u);
    run.session.Cancel();
    run.peer.Drain(300);
    EXPECT_FALSE(run.Finish());
    auto titles = run.status.Titles();
    EXPECT_NE(std::find(titles.begin(), titles.end(), "status:アボート中"), titles.end());
}

}  // namespace
}  // namespace marlo
