#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "line/StreamLine.h"
#include "support/BPlusHost.h"
#include "support/TransferKit.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

using test::BPlusHost;
using test::EngineRun;
using test::RandomBytes;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Every byte value, then random bytes: enough packets of 1024 for the sequence to wrap.
std::vector<uint8_t> TestData(size_t n) {
    std::vector<uint8_t> d(256);
    for (int i = 0; i < 256; ++i) d[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    auto r = RandomBytes(n - 256, 7);
    d.insert(d.end(), r.begin(), r.end());
    return d;
}

struct Session {
    explicit Session(int direction = kDownload) {
        EXPECT_EQ(run.Start(kProtoBplus, direction), StartResult::Started);
    }
    // The host's hello answered and the default parameters agreed.
    bool Negotiated(const BPlusHost::Offer& offer = {}, std::vector<uint8_t>* answer = nullptr) {
        return host.ExpectHello() && host.Negotiate(offer, answer);
    }
    EngineRun run{0.2};
    BPlusHost host{run.sp.b, 400};
};

bool Contains(const std::vector<uint8_t>& wire, std::vector<uint8_t> part) {
    return std::search(wire.begin(), wire.end(), part.begin(), part.end()) != wire.end();
}

TEST(BPlusSession, AnswersNegotiatesWithinLimitsAndDownloadsAcrossTheSequenceWrap) {
    Session s;
    s.host.SendEnq();
    std::vector<uint8_t> hello;
    EXPECT_TRUE(s.host.ExpectHello(&hello));
    BPlusHost::Offer offer;
    offer.windowSend = offer.windowRecv = 5;
    offer.blockSize = 16;
    offer.mask[1] = 0x00;
    std::vector<uint8_t> answer;
    ASSERT_TRUE(s.host.Negotiate(offer, &answer));
    EXPECT_EQ(answer[0], 2);
    EXPECT_EQ(answer[1], 2);
    EXPECT_EQ(answer[2], 8);
    EXPECT_EQ(answer[3], 1);
    EXPECT_EQ(answer[6], 0x14 | 0x80 | 0x10 | 0x04);  // 0x00, 0x03, 0x05 added
    EXPECT_EQ(answer[7], 0x00);
    EXPECT_EQ(answer[8], 0xD4 | 0x80 | 0x40 | 0x10 | 0x04);
    EXPECT_EQ(answer[15], 0);
    // Before negotiation every control character goes out quoted.
    const auto& wire = s.host.packets.back().wire;
    for (size_t i = 2; i + 1 < wire.size(); ++i)
        if (wire[i] < 0x20) {
            EXPECT_EQ(wire[i], 0x10) << i;
            EXPECT_GE(wire[++i], 0x40);
        }
    auto data = TestData(1024 * 23 + 77);
    s.host.faults.repeatData = 4;  // acknowledged again, written once
    auto out = s.host.Download("wrap.bin", data, true);
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(s.run.Finish());
    EXPECT_EQ(ReadFileBytes(s.run.dir.path / "wrap.bin"), data);
    EXPECT_EQ(s.run.status.Field(TransField::Size), "23629 ﾊﾞｲﾄ");
    EXPECT_EQ(s.run.status.Field(TransField::Bytes), "23629ﾊﾞｲﾄ");
    EXPECT_EQ(s.run.status.percent.load(), 100);
    EXPECT_EQ(s.run.session.TransferPath(), s.run.dir.path / "wrap.bin");
}

TEST(BPlusSession, UploadQuotesWhatTheMaskAndTheProtocolRequire) {
    Session s(kUpload);
    BPlusHost::Offer offer;
    offer.mask[1] = 0x00;  // 0x08..0x0F may go out as they are
    offer.crc = 0;         // the checksum method
    ASSERT_TRUE(s.Negotiated(offer));
    auto data = TestData(3000);
    WriteFileBytes(s.run.dir.path / "up.bin", data);
    std::vector<uint8_t> got;
    EXPECT_TRUE(s.host.Upload("up.bin", got).ok);
    EXPECT_TRUE(s.run.Finish());
    EXPECT_EQ(got, data);
    const auto& first = s.host.packets.at(1);  // the first 'N' packet holds 0x00..0xFF
    ASSERT_EQ(first.type, 'N');
    EXPECT_TRUE(Contains(first.wire, {0x0C, 0x0D, 0x0E}));
    for (uint8_t c : {0x00, 0x03, 0x05, 0x10, 0x11, 0x13, 0x15})
        EXPECT_TRUE(Contains(first.wire, {0x10, static_cast<uint8_t>(c + 0x40)})) << int{c};
    EXPECT_EQ(std::count(first.wire.begin(), first.wire.end(), 0x11), 0);
    EXPECT_EQ(std::count(first.wire.begin(), first.wire.end(), 0x13), 0);
    EXPECT_EQ(std::count(first.wire.begin(), first.wire.end(), 0x03), 1);  // the ETX only
}

TEST(BPlusRecovery, LostDamagedOrRepeatedPacketsAndLostAcknowledgementsAreRecovered) {
    struct Case {
        const char* name;
        BPlusHost::Faults faults;
        int direction;
    } cases[] = {
        {"dropped data", {.dropData = 2}, kDownload},
        {"dropped last data", {.dropData = 5}, kDownload},
        {"damaged data", {.damageData = 1}, kDownload},
        {"lost ack of data", {.dropAckOf = 1}, kUpload},
        {"lost ack of close", {.dropAckOf = 6}, kUpload},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s(c.direction);
        BPlusHost::Offer offer;
        offer.windowSend = offer.windowRecv = 1;
        ASSERT_TRUE(s.Negotiated(offer));
        s.host.faults = c.faults;
        auto data = TestData(1024 * 5 + 10);
        if (c.direction == kDownload) {
            EXPECT_TRUE(s.host.Download("r.bin", data).ok);
            EXPECT_TRUE(s.run.Finish());
            EXPECT_EQ(ReadFileBytes(s.run.dir.path / "r.bin"), data);
            EXPECT_GT(s.host.resendCount, 0);
        } else {
            WriteFileBytes(s.run.dir.path / "r.bin", data);
            std::vector<uint8_t> got;
            EXPECT_TRUE(s.host.Upload("r.bin", got).ok);
            EXPECT_TRUE(s.run.Finish());
            EXPECT_EQ(got, data);
        }
    }
}

TEST(BPlusFiles, ResumeAnswersSizeAndCrcThenAppendsAndOverwriteKeepsABackup) {
    auto data = TestData(5000);
    {
        Session s;
        std::vector<uint8_t> part(data.begin(), data.begin() + 3000);
        WriteFileBytes(s.run.dir.path / "res.bin", part);
        BPlusHost::Offer offer;
        offer.downloadResume = 1;
        ASSERT_TRUE(s.Negotiated(offer));
        auto out = s.host.Download("res.bin", data);
        EXPECT_TRUE(out.ok);
        EXPECT_EQ(out.resumeSize, 3000);
        EXPECT_EQ(out.resumeCrc, BPlusHost::Crc(part));
        EXPECT_TRUE(s.run.Finish());
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "res.bin"), data);
    }
    {
        Session s;
        WriteFileBytes(s.run.dir.path / "old.txt", {'o', 'l', 'd'});
        WriteFileBytes(s.run.dir.path / "old.000", {'x'});
        ASSERT_TRUE(s.Negotiated());
        EXPECT_TRUE(s.host.Download("old.txt", data).ok);
        EXPECT_TRUE(s.run.Finish());
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "old.txt"), data);
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "old.001"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
}

TEST(BPlusFiles, DataSentWhileTheResumeAnswerAwaitsItsAcknowledgementIsKeptInOrder) {
    auto data = TestData(6000);
    Session s;
    WriteFileBytes(s.run.dir.path / "res.bin", {data.begin(), data.begin() + 100});
    BPlusHost::Offer offer;
    offer.downloadResume = 1;
    ASSERT_TRUE(s.Negotiated(offer));
    s.host.faults.dropResumeAck = true;  // a whole window of data comes before the terminal's ENQ
    EXPECT_TRUE(s.host.Download("res.bin", data).ok);
    EXPECT_TRUE(s.run.Finish());
    EXPECT_EQ(ReadFileBytes(s.run.dir.path / "res.bin"), data);
}

TEST(BPlusFiles, HostileNamesStayInsideTheirFolders) {
    {
        Session s;
        ASSERT_TRUE(s.Negotiated());
        EXPECT_TRUE(s.host.Download("..\\..\\evil.txt", {'e'}).ok);
        EXPECT_TRUE(s.run.Finish());
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "evil.txt"), std::vector<uint8_t>{'e'});
    }
    test::TempDir outside;
    WriteFileBytes(outside.path / "secret", {'s'});
    for (std::string name : {std::string("../") + outside.path.filename().string() + "/secret",
                             (outside.path / "secret").string(), std::string("link"),
                             std::string("sub"), std::string("nothing")}) {
        SCOPED_TRACE(name);
        Session s(kUpload);
        ::symlink((outside.path / "secret").c_str(), (s.run.dir.path / "link").c_str());
        std::filesystem::create_directory(s.run.dir.path / "sub");
        ASSERT_TRUE(s.Negotiated());
        std::vector<uint8_t> got;
        auto out = s.host.Upload(name, got);
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.failCode, 'M');
        EXPECT_EQ(out.failText, "File Missing");
        EXPECT_TRUE(got.empty());
        EXPECT_FALSE(s.run.Finish());
    }
}

TEST(BPlusFailures, HostFailureUnknownRequestsAndMalformedPacketsEndWithoutSuccess) {
    {
        Session s;
        ASSERT_TRUE(s.Negotiated());
        s.host.Send('F', {'X', 'g', 'o', 'n', 'e'});
        BPlusHost::Seen p;
        s.host.NextPacket(p, 500);  // only the acknowledgement comes
        EXPECT_FALSE(s.run.Finish());
        EXPECT_EQ(s.run.status.Messages().back(), "gone");
    }
    {
        Session s;
        BPlusHost::Offer shortOffer;
        shortOffer.count = 2;  // no block size, no check method, no mask
        std::vector<uint8_t> answer;
        ASSERT_TRUE(s.Negotiated(shortOffer, &answer));
        EXPECT_EQ(answer[2], 4);
        EXPECT_EQ(answer[3], 0);
        EXPECT_EQ(answer[6], 0x80 | 0x10 | 0x04);
        auto out = s.host.Exchange('T', {'u', 'B', 'f'});
        EXPECT_EQ(out.failCode, 'N');
        EXPECT_EQ(out.failText, "Not impremented");
        EXPECT_FALSE(s.run.Finish());
    }
    {
        Session s;
        ASSERT_TRUE(s.Negotiated());
        // A data field beyond any packet, then a file information name longer than its packet.
        s.host.Raw(std::vector<uint8_t>(2000, 'A'));
        std::vector<uint8_t> ti{'I', 'B', 0,   '1', ' ', '0', ' ', '0', ' ',
                                '0', ' ', '0', ' ', '0', ' ', 200, 'n'};
        std::vector<uint8_t> big{0x10, 'B', '1', 'N'};
        big.insert(big.end(), 1100, 'x');
        big.push_back(0x03);
        big.push_back(0);
        big.push_back(0);
        s.host.Raw(big);
        auto out = s.host.Exchange('T', ti);
        EXPECT_FALSE(out.ok);
        EXPECT_FALSE(s.run.Finish(15000));
        EXPECT_GE(s.host.nakCount, 2);
    }
}

TEST(BPlusFailures, UserAbortTellsTheHostAndNoiseNeverGivesAFalseSuccess) {
    {
        Session s;
        ASSERT_TRUE(s.Negotiated());
        auto data = TestData(1 << 22);
        std::thread cancel([&] {
            while (s.run.status.Field(TransField::Bytes).empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            s.run.session.Cancel();
        });
        auto out = s.host.Download("ab.bin", data);
        cancel.join();
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.failCode, 'A');
        EXPECT_EQ(out.failText, "user abort");
        EXPECT_FALSE(s.run.Finish());
        // The packets the host sent before it saw the abort are not left for the terminal.
        uint8_t late;
        EXPECT_EQ(ReadWithin(s.run.sp.a, &late, 1, 0), 0);
        auto titles = s.run.status.Titles();
        EXPECT_NE(std::find(titles.begin(), titles.end(), "status:アボート中"), titles.end());
    }
    int completed = 0;
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        EngineRun run(0.2);
        test::SocketPair far;
        test::Fault noise;
        noise.corruptOneIn = 4000;
        noise.seed = seed;
        test::Relay relay(run.sp.b, far.a, noise, noise);
        BPlusHost host(far.b, 400);
        ASSERT_EQ(run.Start(kProtoBplus, kDownload), StartResult::Started);
        auto data = TestData(1024 * 30);
        if (host.ExpectHello() && host.Negotiate({})) host.Download("noisy.bin", data);
        if (run.Finish(60000)) {
            EXPECT_EQ(ReadFileBytes(run.dir.path / "noisy.bin"), data);
            ++completed;
        }
        relay.Stop();
    }
    // The resends bring a noisy line through, not only to a clean failure.
    EXPECT_GE(completed, 1);
}

}  // namespace
}  // namespace marlo
