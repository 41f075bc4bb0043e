#include <gtest/gtest.h>

#include "support/TransferKit.h"
#include "transfer/Protocols.h"
#include "transfer/XModem.h"

namespace marlo {
namespace {

using test::CountCans;
using test::EngineRun;
using test::MakeBlock;
using test::RandomBytes;

constexpr int SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(XmodemReceive, RepeatsAreWrittenOnceAndBadBlocksAnsweredWithNak) {
    EngineRun run;
    auto out = run.dir.path / "x.bin";
    ASSERT_EQ(run.Start(kProtoXmodemCrc, kDownload, {out}), StartResult::Started);
    auto d1 = RandomBytes(128, 1), d2 = RandomBytes(1024, 2);
    EXPECT_EQ(run.peer.Byte(), 'C');
    run.peer.Write(MakeBlock(1, d1, true));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write(MakeBlock(1, d1, true));  // our ACK was lost: the block comes again
    EXPECT_EQ(run.peer.Byte(), ACK);
    auto bad = MakeBlock(2, d2, true);
    bad[100] ^= 0x01;
    run.peer.Write(bad);
    EXPECT_EQ(run.peer.Byte(), NAK);
    run.peer.Write(MakeBlock(2, d2, true));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write(EOT);
    EXPECT_EQ(run.peer.Byte(), ACK);
    EXPECT_TRUE(run.Finish());
    EXPECT_EQ(run.endCalls, 1);
    EXPECT_TRUE(run.endResult);
    EXPECT_EQ(test::ReadFileBytes(out), Concat(d1, d2));
}

TEST(XmodemReceive, CrcModeAsksWithCThenWithNakAfterAnError) {
    EngineRun run(0.05);
    ASSERT_EQ(run.Start(kProtoXmodemCrc, kDownload, {run.dir.path / "x.bin"}),
              StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), 'C');
    EXPECT_EQ(run.peer.Byte(), NAK);  // silence for one time limit
    run.peer.Write(MakeBlock(1, RandomBytes(128, 3), true));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write(EOT);
    EXPECT_EQ(run.peer.Byte(), ACK);
    EXPECT_TRUE(run.Finish());
}

TEST(XmodemReceive, ABlockTwoAheadEndsWithCancel) {
    EngineRun run;
    auto out = run.dir.path / "x.bin";
    ASSERT_EQ(run.Start(kProtoXmodem, kDownload, {out}), StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), NAK);
    run.peer.Write(MakeBlock(1, RandomBytes(128, 1), false));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write(MakeBlock(3, RandomBytes(128, 3), false));
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());
    EXPECT_EQ(run.endCalls, 1);
    EXPECT_FALSE(run.endResult);
    EXPECT_EQ(std::filesystem::file_size(out), 128u);  // the partial file stays
}

TEST(XmodemReceive, OneCanIsNoiseTwoCancel) {
    EngineRun run;
    ASSERT_EQ(run.Start(kProtoXmodem, kDownload, {run.dir.path / "x.bin"}), StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), NAK);
    run.peer.Write(Concat({CAN}, MakeBlock(1, RandomBytes(128, 1), false)));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write({CAN, CAN});
    EXPECT_FALSE(run.Finish());
}

TEST(XmodemReceive, TenBadBlocksInARowAreToleratedTheEleventhEndsIt) {
    EngineRun run(0.05);
    ASSERT_EQ(run.Start(kProtoXmodem, kDownload, {run.dir.path / "x.bin"}), StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), NAK);
    auto bad = MakeBlock(1, RandomBytes(128, 1), false);
    bad.back() ^= 0xFF;  // wrong checksum
    for (int i = 0; i < 10; ++i) {
        run.peer.Write(bad);
        ASSERT_EQ(run.peer.Byte(), NAK) << i;
    }
    run.peer.Write(MakeBlock(1, RandomBytes(128, 1), false));  // the count starts again
    EXPECT_EQ(run.peer.Byte(), ACK);
    for (int i = 0; i < 10; ++i) {
        run.peer.Write(bad);
        ASSERT_EQ(run.peer.Byte(), NAK) << i;
    }
    run.peer.Write(bad);
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());
}

TEST(XmodemReceive, AnEotInsideBrokenFramingIsNotTakenForTheEnd) {
    EngineRun run;
    auto out = run.dir.path / "x.bin";
    ASSERT_EQ(run.Start(kProtoXmodem, kDownload, {out}), StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), NAK);
    std::vector<uint8_t> data(128, 0x04);  // every data byte looks like EOT
    auto block = MakeBlock(1, data, false);
    block.erase(block.begin());  // the header was lost
    run.peer.Write(block);
    // Either a NAK for the lost block or nothing; never an ACK that ends the transfer.
    EXPECT_NE(run.peer.Byte(1500), ACK);
    run.peer.Drain(300);
    run.peer.Write(MakeBlock(1, data, false));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write(EOT);
    EXPECT_EQ(run.peer.Byte(), ACK);
    EXPECT_TRUE(run.Finish());
    EXPECT_EQ(test::ReadFileBytes(out), data);
}

TEST(XmodemReceive, OneKModeCannotReceive) {
    EngineRun run;
    ASSERT_EQ(run.Start(kProtoXmodem1k, kDownload, {run.dir.path / "x.bin"}), StartResult::Started);
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());
}

// Reads one block of `len` data bytes with the given check as the sender put it.
std::vector<uint8_t> ReadBlock(test::Peer& peer, size_t len, bool crc) {
    return peer.Bytes(3 + len + (crc ? 2 : 1));
}

TEST(XmodemSend, PadsTheLastBlockAndAnswersTheCheckTheReceiverAskedFor) {
    auto data = RandomBytes(130, 7);
    {
        EngineRun run;
        ASSERT_EQ(run.Send(kProtoXmodem, data), StartResult::Started);
        run.peer.Write(NAK);  // checksum
        EXPECT_EQ(ReadBlock(run.peer, 128, false),
                  MakeBlock(1, std::vector<uint8_t>(data.begin(), data.begin() + 128), false));
        run.peer.Write(ACK);
        std::vector<uint8_t> last(data.begin() + 128, data.end());
        last.resize(128, 0x1A);
        EXPECT_EQ(ReadBlock(run.peer, 128, false), MakeBlock(2, last, false));
        run.peer.Write(ACK);
        EXPECT_EQ(run.peer.Byte(), EOT);
        run.peer.Write(NAK);  // ignored: EOT is not sent again
        EXPECT_EQ(run.peer.Byte(300), -1);
        run.peer.Write(ACK);
        EXPECT_TRUE(run.Finish());
        EXPECT_EQ(run.status.Field(TransField::Size), "130 ﾊﾞｲﾄ");
        EXPECT_EQ(run.status.Field(TransField::Bytes), "130 ﾊﾞｲﾄ");
        EXPECT_EQ(run.status.percent, 100);
    }
    {
        EngineRun run;
        ASSERT_EQ(run.Send(kProtoXmodem1k, data), StartResult::Started);
        run.peer.Write('C');
        auto padded = data;
        padded.resize(1024, 0x1A);
        EXPECT_EQ(ReadBlock(run.peer, 1024, true), MakeBlock(1, padded, true));
        run.peer.Write(ACK);
        EXPECT_EQ(run.peer.Byte(), EOT);
        run.peer.Write(ACK);
        EXPECT_TRUE(run.Finish());
    }
}

TEST(XmodemSend, NakResendsTheBlockAndAnEmptyFileSendsOnlyEot) {
    EngineRun run;
    ASSERT_EQ(run.Send(kProtoXmodem, RandomBytes(128, 9)), StartResult::Started);
    run.peer.Write('C');
    auto first = ReadBlock(run.peer, 128, true);
    run.peer.Write(NAK);
    EXPECT_EQ(ReadBlock(run.peer, 128, true), first);
    run.peer.Write(ACK);
    EXPECT_EQ(run.peer.Byte(), EOT);
    run.peer.Write(ACK);
    EXPECT_TRUE(run.Finish());

    EngineRun empty;
    ASSERT_EQ(empty.Send(kProtoXmodem, {}, "empty.bin"), StartResult::Started);
    empty.peer.Write(NAK);
    EXPECT_EQ(empty.peer.Byte(), EOT);
    empty.peer.Write(ACK);
    EXPECT_TRUE(empty.Finish());
}

TEST(XmodemSend, FailuresEndWithCancel) {
    // An unexpected first answer.
    EngineRun run;
    ASSERT_EQ(run.Send(kProtoXmodem, RandomBytes(300, 1)), StartResult::Started);
    run.peer.Write('x');
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());

    // A receiver that refuses every block forever.
    EngineRun nak(0.05);
    ASSERT_EQ(nak.Send(kProtoXmodem, RandomBytes(300, 1)), StartResult::Started);
    nak.peer.Write(NAK);
    int blocks = 0;
    while (nak.peer.Byte(1000) == SOH) {
        nak.peer.Bytes(131);
        nak.peer.Write(NAK);
        ASSERT_LT(++blocks, 50);
    }
    EXPECT_FALSE(nak.Finish());
    EXPECT_EQ(blocks, 10);

    // A file that cannot be opened: the message with the file and the reason, nothing sent.
    EngineRun missing;
    ASSERT_EQ(missing.Start(kProtoXmodem, kUpload, {missing.dir.path / "nope"}),
              StartResult::Started);
    EXPECT_FALSE(missing.Finish());
    EXPECT_EQ(missing.status.Messages(),
              std::vector<std::string>{"ファイルのオープンに失敗しました. " +
                                       (missing.dir.path / "nope").string() +
                                       ": No such file or directory"});
    EXPECT_EQ(missing.peer.Byte(100), -1);
}

}  // namespace
}  // namespace marlo
