#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TransferKit.h"
#include "text/Encoding.h"
#include "transfer/Protocols.h"
#include "transfer/YModem.h"

namespace marlo {
namespace {

using test::CountCans;
using test::EngineRun;
using test::MakeBlock;
using test::RandomBytes;

constexpr int SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15;

std::vector<uint8_t> Block0(const std::string& name, const std::string& info) {
    std::vector<uint8_t> d(name.begin(), name.end());
    d.push_back(0);
    d.insert(d.end(), info.begin(), info.end());
    d.resize(d.size() > 128 ? 1024 : 128, 0);
    return MakeBlock(0, d, true);
}

std::vector<uint8_t> Padded(std::vector<uint8_t> d, size_t len) {
    d.resize(len, 0x1A);
    return d;
}

// Plays a sender up to the end of one file: block 0 for `name` with `info`, one data block, EOT.
void SendOneFile(EngineRun& run, const std::string& name, const std::string& info,
                 const std::vector<uint8_t>& block) {
    EXPECT_EQ(run.peer.Byte(), 'C');
    run.peer.Write(Block0(name, info));
    EXPECT_EQ(run.peer.Byte(), ACK);
    EXPECT_EQ(run.peer.Byte(), 'C');
    run.peer.Write(MakeBlock(1, block, true));
    EXPECT_EQ(run.peer.Byte(), ACK);
    run.peer.Write(EOT);
}

TEST(YmodemNames, Block0Info) {
    std::string b0 = YModem::Block0Data("a.txt", 1000, 8, 1, 1000);
    ASSERT_EQ(b0.size(), 128u);
    EXPECT_EQ(std::string(b0.c_str()), "a.txt");
    EXPECT_EQ(std::string(b0.c_str() + 6), "1000 10 0 0 1 1000");
    EXPECT_EQ(YModem::Block0Data(std::string(120, 'n'), 1, 1, 1, 1).size(), 1024u);
}

TEST(YmodemReceive, SizeFromBlock0TrimsPaddingAndTheTimeIsApplied) {
    for (long size : {1000L, 0L}) {
        SCOPED_TRACE(size);
        EngineRun run;
        ASSERT_EQ(run.Start(kProtoYmodem, kDownload), StartResult::Started);
        auto data = RandomBytes(1000, 5);
        SendOneFile(run, "sub/f.bin", std::to_string(size) + " 1234567 0 0 1 1000",
                    Padded(data, 1024));
        EXPECT_EQ(run.peer.Byte(), ACK);
        EXPECT_EQ(run.peer.Byte(), 'C');
        run.peer.Write(MakeBlock(0, std::vector<uint8_t>(128, 0), true));
        EXPECT_EQ(run.peer.Byte(), ACK);
        EXPECT_TRUE(run.Finish());
        auto out = run.dir.path / "f.bin";
        EXPECT_EQ(test::ReadFileBytes(out), size ? data : Padded(data, 1024));
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 01234567);
        EXPECT_EQ(run.session.ReceivedFiles(), std::vector<std::filesystem::path>{out});
        EXPECT_EQ(run.session.TransferPath(), out);
    }
}

TEST(YmodemReceive, ASenderThatHangsUpAfterItsLastFileCompletedTheBatch) {
    // "files left" in block 0: 1 says this is the last file; 2 says another one should follow.
    for (const char* left : {"1", "2"}) {
        SCOPED_TRACE(left);
        EngineRun run(0.05);
        ASSERT_EQ(run.Start(kProtoYmodemG, kDownload), StartResult::Started);
        EXPECT_EQ(run.peer.Byte(), 'G');
        run.peer.Write(Block0("last.bin", std::string("3 0 0 0 ") + left + " 3"));
        EXPECT_EQ(run.peer.Byte(), 'G');
        run.peer.Write(MakeBlock(1, Padded({'x', 'y', 'z'}, 128), true));
        run.peer.Write(EOT);
        EXPECT_EQ(run.peer.Byte(), ACK);
        EXPECT_EQ(run.peer.Byte(), 'G');  // no end of batch comes
        EXPECT_EQ(run.Finish(), std::string(left) == "1");
        EXPECT_EQ(run.session.ReceivedFiles().size(), 1u);
    }
}

// A hostile path keeps its last part (here a Shift-JIS name from a BBS host, whose trail byte 0x5C
// is no separator), stored under its UTF-8 name; a planted symlink is not followed.
TEST(YmodemReceive, NamesStayInTheDownloadFolderAndSymlinksAreNotFollowed) {
    test::TempDir outside;
    auto target = outside.path / "victim";
    test::WriteFileBytes(target, {'k', 'e', 'e', 'p'});
    EngineRun run;
    std::filesystem::create_symlink(target, run.dir.path / "link");
    ASSERT_EQ(run.Start(kProtoYmodem, kDownload), StartResult::Started);
    SendOneFile(run, "../../" + Utf8ToSjis("表示.txt"), "3 0", Padded({'a', 'b', 'c'}, 128));
    EXPECT_EQ(run.peer.Byte(), ACK);
    EXPECT_EQ(run.status.Field(TransField::File), "表示.txt");
    EXPECT_EQ(run.peer.Byte(), 'C');
    run.peer.Write(Block0("/tmp/link", "4 0"));  // the planted symlink's name
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());
    EXPECT_EQ(test::ReadFileBytes(run.dir.path / "表示.txt"), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(run.session.ReceivedFiles().size(), 1u);
}

// With nobody to show a message box (marlo-cli), the message names the file and the reason.
TEST(YmodemReceive, AFileThatCannotBeOpenedIsNamedWithTheReason) {
    EngineRun run;
    std::filesystem::create_directory(run.dir.path / "taken");
    ASSERT_EQ(run.Start(kProtoYmodem, kDownload), StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), 'C');
    run.peer.Write(Block0("taken", "3 0"));
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());
    EXPECT_EQ(run.status.Messages(),
              std::vector<std::string>{"ファイルのオープンに失敗しました。 " +
                                       (run.dir.path / "taken").string() + ": Is a directory"});
}

TEST(YmodemReceive, AFileShorterThanAnnouncedIsNotASuccess) {
    EngineRun run;
    ASSERT_EQ(run.Start(kProtoYmodem, kDownload), StartResult::Started);
    SendOneFile(run, "short.bin", "5000 0", RandomBytes(1024, 1));
    EXPECT_GE(CountCans(run.peer), 5);
    EXPECT_FALSE(run.Finish());
    EXPECT_TRUE(run.session.ReceivedFiles().empty());
}

TEST(YmodemReceive, GModeFailsAtTheFirstBadBlockWithoutNak) {
    EngineRun run;
    ASSERT_EQ(run.Start(kProtoYmodemG, kDownload), StartResult::Started);
    EXPECT_EQ(run.peer.Byte(), 'G');
    run.peer.Write(Block0("g.bin", "2048 0"));
    EXPECT_EQ(run.peer.Byte(), 'G');  // no ACK in G mode
    auto bad = MakeBlock(1, RandomBytes(1024, 1), true);
    bad[500] ^= 0x40;
    run.peer.Write(bad);
    std::vector<uint8_t> answer;
    for (int c;
         std::count(answer.begin(), answer.end(), 0x18) < 5 && (c = run.peer.Byte(1000)) >= 0;)
        answer.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(std::count(answer.begin(), answer.end(), 0x18), 5);
    EXPECT_EQ(std::count(answer.begin(), answer.end(), NAK), 0);
    EXPECT_FALSE(run.Finish());
}

struct SentBlock {
    int header = -1;  // SOH, STX or EOT
    std::vector<uint8_t> data;
};

SentBlock ReadSent(test::Peer& peer, int ms = 3000) {
    SentBlock b;
    b.header = peer.Byte(ms);
    if (b.header != SOH && b.header != STX) return b;
    size_t len = b.header == SOH ? 128 : 1024;
    auto rest = peer.Bytes(len + 4);
    EXPECT_EQ(rest.size(), len + 4);
    if (rest.size() != len + 4) return b;
    b.data.assign(rest.begin() + 2, rest.begin() + 2 + static_cast<long>(len));
    uint16_t crc = CTransEngine::Crc16(b.data.data(), len);
    EXPECT_EQ(rest[len + 2], crc >> 8);
    EXPECT_EQ(rest[len + 3], crc & 0xFF);
    return b;
}

TEST(YmodemSend, BlockLengthsFollowTheRemainingSize) {
    struct Case {
        size_t size;
        std::vector<size_t> lengths;
    } cases[] = {{2500, {1024, 1024, 128, 128, 128, 128}},
                 {900, {1024}},
                 {896, {128, 128, 128, 128, 128, 128, 128}},
                 {0, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EngineRun run;
        auto data = RandomBytes(c.size, 3);
        ASSERT_EQ(run.Send(kProtoYmodem, data, "Some File.BIN"), StartResult::Started);
        run.peer.Write('C');
        SentBlock b0 = ReadSent(run.peer);
        ASSERT_EQ(b0.header, SOH);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(b0.data.data())), "some file.bin");
        std::string info(reinterpret_cast<const char*>(b0.data.data()) + 14);
        EXPECT_EQ(info.substr(0, info.find(' ')), std::to_string(c.size));
        run.peer.Write({ACK, 'C'});
        std::vector<size_t> lengths;
        std::vector<uint8_t> got;
        for (;;) {
            SentBlock b = ReadSent(run.peer);
            if (b.header != SOH && b.header != STX) {
                EXPECT_EQ(b.header, EOT);
                break;
            }
            lengths.push_back(b.data.size());
            got.insert(got.end(), b.data.begin(), b.data.end());
            run.peer.Write(ACK);
        }
        EXPECT_EQ(lengths, c.lengths);
        EXPECT_EQ(got, Padded(data, got.size()));
        run.peer.Write(NAK);  // an EOT answered with NAK comes again
        EXPECT_EQ(run.peer.Byte(), EOT);
        run.peer.Write({ACK, 'C'});
        SentBlock end = ReadSent(run.peer);
        EXPECT_EQ(end.header, SOH);
        EXPECT_EQ(end.data, std::vector<uint8_t>(128, 0));
        run.peer.Write(ACK);
        EXPECT_TRUE(run.Finish());
        EXPECT_EQ(run.status.Field(TransField::File), "Some File.BIN");
    }
}

TEST(YmodemSend, AReceiverThatHangsUpBeforeTheLastAckStillGotEverything) {
    EngineRun run(0.05);
    ASSERT_EQ(run.Send(kProtoYmodem, RandomBytes(10, 1), "a"), StartResult::Started);
    run.peer.Write('C');
    EXPECT_EQ(ReadSent(run.peer).header, SOH);
    run.peer.Write({ACK, 'C'});
    EXPECT_EQ(ReadSent(run.peer).header, SOH);
    run.peer.Write(ACK);
    EXPECT_EQ(run.peer.Byte(), EOT);
    run.peer.Write({ACK, 'C'});
    EXPECT_EQ(ReadSent(run.peer).data, std::vector<uint8_t>(128, 0));
    // No ACK for the empty block 0: the file was acknowledged already.
    EXPECT_TRUE(run.Finish());
}

TEST(YmodemSend, TenNaksForOneBlockFailTheSend) {
    EngineRun run;
    ASSERT_EQ(run.Send(kProtoYmodem, RandomBytes(10, 1), "a"), StartResult::Started);
    run.peer.Write('C');
    int sends = 0;
    while (ReadSent(run.peer, 400).header == SOH) {
        ++sends;
        run.peer.Write(NAK);
        ASSERT_LT(sends, 50);
    }
    EXPECT_EQ(sends, 10);
    EXPECT_FALSE(run.Finish());
}

}  // namespace
}  // namespace marlo
