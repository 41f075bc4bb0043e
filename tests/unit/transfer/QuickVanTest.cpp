// Quick-VAN: our receiver and sender against a scripted peer that checks the bytes on the line,
// against each other over a pty pair, and through the fault-injecting relay.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "line/StreamLine.h"
#include "support/PtyPair.h"
#include "support/QuickVanPeer.h"
#include "support/TransferKit.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

using test::EngineRun;
using test::QuickVanPeer;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr uint8_t CAN = 0x18;

std::vector<uint8_t> Data(size_t n) {
    return n == 0 ? std::vector<uint8_t>{} : test::RandomBytes(n, static_cast<unsigned>(n));
}

std::vector<uint8_t> Zeroed(std::string text) {
    text.resize(128, '\0');
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Our receiver against the scripted sender.
struct ToUs {
    explicit ToUs(int overwrite = -1) {
        run.overwriteAnswer = overwrite;
        EXPECT_EQ(run.Start(kProtoQuickVan, kDownload), StartResult::Started);
    }
    EngineRun run{0.1};
    QuickVanPeer peer{run.sp.b, 3000};
};

// Our sender against the scripted receiver, with `content` as a.bin.
struct FromUs {
    explicit FromUs(const std::vector<uint8_t>& content) {
        WriteFileBytes(run.dir.path / "a.bin", content);
        EXPECT_EQ(run.Start(kProtoQuickVan, kUpload, {run.dir.path / "a.bin"}),
                  StartResult::Started);
    }
    EngineRun run{0.1};
    QuickVanPeer peer{run.sp.b, 3000};
};

TEST(QuickVanReceive, AnswersTheOfferAcknowledgesEveryHalfWindowAndCutsTheFill) {
    struct Case {
        const char* offer;
        const char* reply;
        size_t size;
        std::vector<int> acks;  // blocks received when each acknowledgement came
    } cases[] = {
        {"105011", "103011", 3000, {15}},  // a window of 50 is answered with 30
        {"100111", "100111", 300, {1, 2, 3}},
        {"100211", "100211", 300, {1, 2, 3}},
        {"100611", "100611", 1280, {3, 6, 9}},
        {"00060", "00060", 129, {}},  // no options: none answered
        {"10068", "100610", 1, {}},   // option numbers above 1 are answered with 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offer);
        ToUs s;
        const auto data = Data(c.size);
        QuickVanPeer::SendPlan plan;
        plan.offer = c.offer;
        const auto out = s.peer.Send(data, plan);
        EXPECT_TRUE(out.ok);
        EXPECT_EQ(out.reply.seq, 0x80);
        EXPECT_EQ(out.reply.fields, c.reply);
        EXPECT_EQ(out.restart, 0);
        EXPECT_EQ(out.ackedAfter, c.acks);
        ASSERT_TRUE(s.run.Finish());
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "file.bin"), data);
    }
    ToUs s;
    QuickVanPeer::SendPlan plan;
    plan.dropBlockOnce = 5;  // block 6 comes first: block 5 is asked for again
    const auto data = Data(128 * 20);
    const auto out = s.peer.Send(data, plan);
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(std::any_of(out.answers.begin(), out.answers.end(),
                            [](const auto& a) { return a.type == 'N' && a.seq == (0x80 | 5); }));
    ASSERT_TRUE(s.run.Finish());
    const auto path = s.run.dir.path / "file.bin";
    EXPECT_EQ(ReadFileBytes(path), data);
    EXPECT_EQ(s.run.status.Field(TransField::File), "file.bin");
    EXPECT_EQ(s.run.status.Field(TransField::Size), "2560 ﾊﾞｲﾄ");
    EXPECT_EQ(s.run.status.Field(TransField::Bytes), "2560ﾊﾞｲﾄ");
    EXPECT_EQ(s.run.status.percent.load(), 100);
    auto titles = s.run.status.Titles();
    EXPECT_EQ(titles.front(), "status:ダウンロード中");
    EXPECT_EQ(titles.back(), "ダウンロード中(100%)");
    // The file carries the sender's date and time, 1996-04-01 12:34:56 local time.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    std::tm tm{};
    const std::time_t mtime = st.st_mtime;
    ::localtime_r(&mtime, &tm);
    EXPECT_EQ(
        (std::vector<int>{tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}),
        (std::vector<int>{96, 3, 1, 12, 34, 56}));
}

TEST(QuickVanReceive, ExistingFilesRestartFromTheirLastWholeBlockOrAskBeforeOverwriting) {
    const auto data = Data(5000);
    {
        ToUs s;
        WriteFileBytes(s.run.dir.path / "file.bin", {data.begin(), data.begin() + 1000});
        const auto out = s.peer.Send(data, {});
        EXPECT_TRUE(out.ok);
        EXPECT_EQ(out.restart, 7);  // 1000 / 128
        ASSERT_TRUE(s.run.Finish());
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "file.bin"), data);
    }
    // A file of the same size: nobody to ask and no answer given keeps it; "yes" overwrites.
    const std::vector<uint8_t> old(data.size(), 'o');
    for (int answer : {-1, 0, 1}) {
        SCOPED_TRACE(answer);
        ToUs s(answer);
        WriteFileBytes(s.run.dir.path / "file.bin", old);
        const auto out = s.peer.Send(data, {});
        EXPECT_EQ(s.run.Finish(), answer == 1);
        EXPECT_EQ(ReadFileBytes(s.run.dir.path / "file.bin"), answer == 1 ? data : old);
        EXPECT_EQ(out.restart, answer == 1 ? 0 : -1);
    }
}

TEST(QuickVanReceive, BadOffersAndBadFileInformationFailWithCanAndWriteNothing) {
    // The file information: file number, name, size and the date stamp, each ended by a NUL.
    auto info = [](const std::string& number, const std::string& name, const std::string& size) {
        return number + name + '\0' + size + '\0' + "19960401123456";
    };
    struct Case {
        const char* what;
        std::string offer;
        std::string info;  // empty: the offer alone is refused
    } cases[] = {
        {"version 2", "201511", ""},
        {"retry method 1", "111511", ""},
        {"window not digits", "10x511", ""},
        {"window 0", "100011", ""},
        {"option number 9", "101591", ""},
        {"option 1 of 2", "101512", ""},
        {"folders to climb", "103011", info("01", "../up.bin", "5")},
        {"absolute path", "103011", info("01", "/tmp/abs.bin", "5")},
        {"control character", "103011", info("01", "a\x01" "b", "5")},
        {"file number 02", "103011", info("02", "a.bin", "5")},
        {"file number x1", "103011", info("x1", "a.bin", "5")},
        {"negative size", "103011", info("01", "a.bin", "-5")},
        {"size too big", "103011", info("01", "a.bin", std::string(20, '9')).substr(0, 29)},
        {"no end of the name", "103011", "01" + std::string(126, 'n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ToUs s;
        ASSERT_TRUE(s.peer.Expect(0x15));
        s.peer.Raw(QuickVanPeer::ControlPacket('0', Zeroed(c.offer)));
        if (!c.info.empty()) {
            QuickVanPeer::Short reply;
            ASSERT_TRUE(s.peer.NextShort(reply));
            s.peer.Raw(QuickVanPeer::ControlPacket('1', Zeroed(c.info)));
        }
        EXPECT_TRUE(s.peer.Expect(CAN));
        EXPECT_FALSE(s.run.Finish());
        EXPECT_TRUE(std::filesystem::is_empty(s.run.dir.path));
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/abs.bin"));
}

TEST(QuickVanSend, OffersItsWindowAndKeepsToItWhenTheReceiverOffersMore) {
    FromUs s(Data(128 * 40));
    QuickVanPeer peer(s.run.sp.b, 600);
    peer.Raw({0x15});
    QuickVanPeer::Long init, info, block;
    ASSERT_TRUE(peer.NextLong(init));
    EXPECT_EQ(init.data, Zeroed("101511"));
    peer.Raw(QuickVanPeer::ShortPacket('R', 0x80, "105011"));
    ASSERT_TRUE(peer.NextLong(info));
    const std::string text(info.data.begin(), info.data.end());
    EXPECT_EQ(text.substr(0, 13), std::string("01a.bin") + '\0' + "5120" + '\0');
    EXPECT_EQ(text.find('\0', 13), 13u + 14);  // "%04d%02d%02d%02d%02d%02d"
    peer.Raw(QuickVanPeer::ShortPacket('P', 0x80, "0"));
    int blocks = 0;
    while (peer.NextLong(block)) EXPECT_EQ(block.number, ++blocks);
    EXPECT_EQ(blocks, 15);
    peer.Raw({CAN});  // the receiver cancels: no CAN comes back
    EXPECT_FALSE(s.run.Finish());
    const auto rest = test::Peer(s.run.sp.b).Drain(300);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), CAN), 0);
}

TEST(QuickVanSend, SendsFromTheRestartPositionFillsTheLastBlockAndEndsWithEot) {
    struct Case {
        const char* what;
        size_t size;
        QuickVanPeer::ReceivePlan plan;
        size_t from;  // the first byte the receiver gets
    } cases[] = {
        {"from the start", 129, {}, 0},
        {"from block 3", 1000, {.answer = "3"}, 384},
        {"skipped", 1000, {.answer = "01", .skip = true}, 1000},
        {"restart repeated", 640, {.repeatRestartAfter = 2, .ackEvery = 100}, 0},
        {"window 1", 500, {.reply = "100111"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto data = Data(c.size);
        FromUs s(data);
        const auto out = s.peer.Receive(c.plan);
        EXPECT_TRUE(out.ok);
        EXPECT_TRUE(s.run.Finish());
        EXPECT_TRUE(out.sawCr);
        std::vector<uint8_t> want(data.begin() + static_cast<long>(c.from), data.end());
        want.resize((want.size() + 127) / 128 * 128, 0x1A);
        EXPECT_EQ(out.file, want);
        if (!c.plan.skip) {
            const std::vector<uint8_t> end = {static_cast<uint8_t>(want.size() / 128), '0'};
            EXPECT_EQ(std::vector<uint8_t>(out.end.begin(), out.end.begin() + 2), end);
        }
    }
    // A restart beyond the file (1000 bytes are 8 blocks), a position that is no number and a
    // skip of another file end the upload with CAN and CR.
    for (auto [type, answer] : {std::pair{'P', "9"}, {'P', "x"}, {'S', "05"}}) {
        SCOPED_TRACE(answer);
        FromUs s(Data(1000));
        QuickVanPeer::Long init, info;
        s.peer.Raw({0x15});
        ASSERT_TRUE(s.peer.NextLong(init));
        s.peer.Raw(QuickVanPeer::ShortPacket('R', 0x80, "103011"));
        ASSERT_TRUE(s.peer.NextLong(info));
        s.peer.Raw(QuickVanPeer::ShortPacket(static_cast<uint8_t>(type), 0x80, answer));
        EXPECT_EQ(test::Peer(s.run.sp.b).Drain(500), (std::vector<uint8_t>{CAN, 0x0D}));
        EXPECT_FALSE(s.run.Finish());
    }
}

TEST(QuickVanBothEnds, EverySizeCrossesAPtyPairAtEveryWindow) {
    const size_t sizes[] = {0, 1, 127, 128, 129, 128 * 255, 128 * 256 + 1, 3 << 20};
    for (int window : {1, 2, 15, 30}) {
        test::PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(slave, 0);
        StreamLine receiverLine(pty.Master(), pty.Master());
        StreamLine senderLine(slave, slave, true);
        for (size_t size : sizes) {
            SCOPED_TRACE(testing::Message() << "window " << window << " size " << size);
            EngineRun receiver(0.2, &receiverLine), sender(0.2, &senderLine);
            receiver.windowLimit = sender.windowLimit = window;
            const auto data = Data(size);
            WriteFileBytes(sender.dir.path / "p.bin", data);
            ASSERT_EQ(receiver.Start(kProtoQuickVan, kDownload), StartResult::Started);
            ASSERT_EQ(sender.Start(kProtoQuickVan, kUpload, {sender.dir.path / "p.bin"}),
                      StartResult::Started);
            EXPECT_TRUE(sender.Finish(60000));
            EXPECT_TRUE(receiver.Finish(60000));
            EXPECT_TRUE(ReadFileBytes(receiver.dir.path / "p.bin") == data);
        }
    }
}

// Our two ends joined through the relay.
struct Joined {
    Joined(test::Fault toSender, test::Fault toReceiver)
        : relay(receiver.sp.b, sender.sp.b, toSender, toReceiver) {}
    void Run(const std::vector<uint8_t>& data) {
        WriteFileBytes(sender.dir.path / "j.bin", data);
        EXPECT_EQ(receiver.Start(kProtoQuickVan, kDownload), StartResult::Started);
        EXPECT_EQ(sender.Start(kProtoQuickVan, kUpload, {sender.dir.path / "j.bin"}),
                  StartResult::Started);
    }
    EngineRun receiver{0.1}, sender{0.1};
    test::Relay relay;
};

TEST(QuickVanBothEnds, AFaultyLineEndsWithExactBytesOrAFailureNeverAFalseSuccess) {
    using F = test::Fault;
    struct Case {
        const char* what;
        F toSender, toReceiver;
        bool mustComplete;
        int cancel;  // 1: the receiver's user cancels, 2: the sender's
    } cases[] = {
        {"dropped data", {}, {.kind = F::Drop, .at = 5000, .count = 3}, true, 0},
        {"corrupted data", {}, {.kind = F::Corrupt, .at = 9000}, true, 0},
        {"duplicated data", {}, {.kind = F::Duplicate, .at = 12000, .count = 140}, true, 0},
        {"lost acknowledgements", {.kind = F::Drop, .at = 30, .count = 8}, {}, true, 0},
        {"noise both ways", {.corruptOneIn = 500}, {.corruptOneIn = 3000}, false, 0},
        {"drops and duplicates",
         {.drops = 3, .duplicates = 3},
         {.drops = 3, .duplicates = 3},
         false,
         0},
        {"cut line", {}, {.kind = F::Cut, .at = 20000}, false, 0},
        {"hang-up", {}, {.kind = F::Hangup, .at = 20000}, false, 0},
        {"receiver cancels", {}, {}, false, 1},
        {"sender cancels", {}, {}, false, 2},
    };
    const auto data = Data(128 * 300 + 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Joined j(c.toSender, c.toReceiver);
        j.Run(data);
        if (c.cancel) {
            EngineRun& who = c.cancel == 1 ? j.receiver : j.sender;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (who.status.Field(TransField::Bytes).empty() &&
                   std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            who.session.Cancel();
        }
        const bool sent = j.sender.Finish(120000);
        const bool received = j.receiver.Finish(120000);
        // A success on either side means the file crossed exactly.
        EXPECT_TRUE(!received || ReadFileBytes(j.receiver.dir.path / "j.bin") == data);
        EXPECT_TRUE(!sent || received);
        EXPECT_TRUE(!c.mustComplete || (received && sent))
            << testing::PrintToString(j.receiver.status.Messages())
            << testing::PrintToString(j.sender.status.Messages());
        // The side whose user cancelled fails; the other may have finished just before.
        EXPECT_TRUE(!c.cancel || !(c.cancel == 1 ? received : sent));
    }
}

TEST(QuickVanBothEnds, AnInterruptedDownloadRestartsAndOnlyTheRestCrosses) {
    const auto data = Data(128 * 400 + 9);
    test::TempDir keep;
    {
        Joined j({}, {.kind = test::Fault::Hangup, .at = 132 * 150});
        j.Run(data);
        EXPECT_FALSE(j.sender.Finish(60000));
        EXPECT_FALSE(j.receiver.Finish(60000));
        std::filesystem::copy_file(j.receiver.dir.path / "j.bin", keep.path / "j.bin");
    }
    const auto partial = std::filesystem::file_size(keep.path / "j.bin");
    ASSERT_GT(partial, 128u * 100);
    Joined j({}, {});
    std::filesystem::copy_file(keep.path / "j.bin", j.receiver.dir.path / "j.bin");
    j.Run(data);
    EXPECT_TRUE(j.sender.Finish(60000));
    EXPECT_TRUE(j.receiver.Finish(60000));
    EXPECT_TRUE(ReadFileBytes(j.receiver.dir.path / "j.bin") == data);
    const auto rest = (data.size() - partial / 128 * 128 + 127) / 128;
    // The blocks left, the three control packets, EOT and CR.
    EXPECT_LE(j.relay.BytesBToA(), static_cast<int64_t>((rest + 3) * 132 + 2));
}

}  // namespace
}  // namespace marlo
