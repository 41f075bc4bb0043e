// The ZMODEM wire level (headers, subpackets, escaping, bounds) and the engine against a scripted
// peer on the other end of a socket pair.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "line/StreamLine.h"
#include "support/RecordingPlatform.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TransferKit.h"
#include "text/Encoding.h"
#include "transfer/FileNames.h"
#include "transfer/ZModem.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;

// A line that hands out what the test queued and keeps what the engine sent.
class MemoryLine : public ILineIo {
  public:
    LineKind Kind() const override { return LineKind::Stream; }
    int ReadLineData(uint8_t* buf, int max, int) override {
        int n = 0;
        while (n < max && !in.empty()) {
            buf[n++] = in.front();
            in.pop_front();
        }
        return n;
    }
    bool WriteRaw(const uint8_t* buf, size_t n) override {
        out.insert(out.end(), buf, buf + n);
        return true;
    }
    bool IsOpen() const override { return true; }

    std::deque<uint8_t> in;
    std::vector<uint8_t> out;
};

// An engine over a memory line, for the wire-level cases.
struct Wire {
    Wire() {
        ctx.line = &line;
        z = std::make_unique<ZModem>(ctx);
        z->SetTimeout(20);
    }
    // Moves what `from` sent into this one's input.
    void Take(Wire& from) {
        from.z->Flush();
        line.in.insert(line.in.end(), from.line.out.begin(), from.line.out.end());
        from.line.out.clear();
    }
    void Feed(const std::vector<uint8_t>& bytes) {
        line.in.insert(line.in.end(), bytes.begin(), bytes.end());
    }
    MemoryLine line;
    TransferContext ctx;
    std::unique_ptr<ZModem> z;
};

constexpr uint8_t kZero[4] = {};

// A binary header of `type` and one subpacket.
void SendInfo(ZModem& z, int type, const std::string& data, const uint8_t h[4] = kZero,
              int end = ZModem::ZCRCW) {
    z.SendBinHeader(type, h);
    z.SendData(reinterpret_cast<const uint8_t*>(data.data()), data.size(), end);
}

void SendPosition(ZModem& z, int type, uint32_t pos, bool hex = false) {
    uint8_t h[4];
    ZModem::StorePos(h, pos);
    if (hex)
        z.SendHexHeader(type, h);
    else
        z.SendBinHeader(type, h);
}

// The file information of a ZFILE subpacket.
std::string FileInfo(const std::string& name, size_t size) {
    return name + '\0' + std::to_string(size) + " 0";
}

TEST(ZModemWire, HeadersRoundTripInEveryForm) {
    const uint8_t hdrs[][4] = {
        {0, 0, 0, 0}, {0x18, 0x11, 0x13, 0x0D}, {0xFF, 0x7F, 0x90, 0x8D}, {'@', 0x0D, '@', 0x8D}};
    enum Form { Hex, Bin16, Bin32 };
    for (Form form : {Hex, Bin16, Bin32}) {
        for (bool var : {false, true}) {
            for (bool escapeAll : {false, true}) {
                for (const auto& h : hdrs) {
                    SCOPED_TRACE(testing::Message()
                                 << "form " << form << " var " << var << " esc " << escapeAll);
                    Wire a, b;
                    a.z->SetVarHeaders(var);
                    a.z->SetEscapeAll(escapeAll);
                    a.z->SetSendCrc32(form == Bin32);
                    if (form == Hex)
                        a.z->SendHexHeader(ZModem::ZDATA, h);
                    else
                        a.z->SendBinHeader(ZModem::ZDATA, h);
                    b.Take(a);
                    uint8_t got[4] = {1, 2, 3, 4};
                    EXPECT_EQ(b.z->RecvHeader(got), ZModem::ZDATA);
                    EXPECT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(h, h + 4));
                    EXPECT_EQ(b.z->VarHeaders(), var);
                }
            }
        }
    }
}

TEST(ZModemWire, HexHeaderBytes) {
    Wire a;
    const uint8_t rinit[4] = {0, 0, 1, 0x2F};
    a.z->SendHexHeader(ZModem::ZRINIT, rinit);
    a.z->Flush();
    std::string s(a.line.out.begin(), a.line.out.end());
    // Type 01, header 0000012f, then the CRC-16 of those five bytes.
    uint8_t raw[5] = {1, 0, 0, 1, 0x2F};
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04x", CTransEngine::Crc16(raw, 5));
    EXPECT_EQ(s, std::string("**\x18"
                             "B010000012f") +
                     crc + "\r\n\x11");
    for (int type : {ZModem::ZACK, ZModem::ZFIN}) {
        Wire w;
        w.z->SendHexHeader(type, kZero);
        w.z->Flush();
        EXPECT_EQ(w.line.out.size(), 20u);
        EXPECT_EQ(w.line.out.back(), 0x0A) << "no XON after ZACK and ZFIN";
    }
}

TEST(ZModemWire, SubpacketsCarryEveryByteValue) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 256; ++i) data.push_back(static_cast<uint8_t>(i));
    for (int i = 0; i < 256; ++i) data.push_back(static_cast<uint8_t>(255 - i));
    const uint8_t tricky[] = {'@', 0x0D, 0xC0, 0x8D, 0x18, 0x18, 0x18, 0x18, 0x18};
    data.insert(data.end(), std::begin(tricky), std::end(tricky));
    for (bool crc32 : {false, true}) {
        for (bool escapeAll : {false, true}) {
            for (int end : {ZModem::ZCRCE, ZModem::ZCRCG, ZModem::ZCRCQ, ZModem::ZCRCW}) {
                Wire a, b;
                a.z->SetSendCrc32(crc32);
                a.z->SetEscapeAll(escapeAll);
                a.z->SendBinHeader(ZModem::ZDATA, kZero);
                a.z->SendData(data.data(), data.size(), end);
                a.z->Flush();
                // What must never appear unescaped on the line.
                const auto& wire = a.line.out;
                for (size_t i = 1; i < wire.size(); ++i) {
                    uint8_t c = wire[i], prev = wire[i - 1];
                    if (prev == 0x18) continue;
                    EXPECT_TRUE(c != 0x11 && c != 0x13 && c != 0x91 && c != 0x93 && c != 0x10 &&
                                c != 0x90)
                        << "raw flow-control byte at " << i;
                    if (escapeAll) {
                        EXPECT_TRUE((c & 0x60) != 0 || c == 0x18) << i;
                    }
                    if ((prev & 0x7F) == '@') {
                        EXPECT_NE(c & 0x7F, 0x0D) << i;
                    }
                }
                b.Take(a);
                uint8_t hdr[4];
                ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
                std::vector<uint8_t> buf(2048);
                int len = 0;
                EXPECT_EQ(b.z->RecvData(buf.data(), 2048, len), ZModem::kGot | end);
                buf.resize(static_cast<size_t>(len));
                EXPECT_EQ(buf, data);
            }
        }
    }
}

// One header and a subpacket, as bytes, for the damage cases.
std::vector<uint8_t> Frame(const std::vector<uint8_t>& data, bool crc32 = true) {
    Wire a;
    a.z->SetSendCrc32(crc32);
    a.z->SendBinHeader(ZModem::ZDATA, kZero);
    a.z->SendData(data.data(), data.size(), ZModem::ZCRCG);
    a.z->Flush();
    return a.line.out;
}

TEST(ZModemWire, FlowControlBytesOnTheLineAreDropped) {
    std::vector<uint8_t> data = {'a', 'b', 'c', 'd'};
    auto wire = Frame(data);
    std::vector<uint8_t> noisy;
    for (uint8_t c : wire) {
        noisy.push_back(c);
        noisy.push_back(0x11);
        noisy.push_back(0x93);
    }
    Wire b;
    b.Feed(noisy);
    uint8_t hdr[4];
    ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
    uint8_t buf[16];
    int len = 0;
    EXPECT_EQ(b.z->RecvData(buf, 16, len), ZModem::kGot | ZModem::ZCRCG);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + len), data);
}

TEST(ZModemWire, DamageAndOversizeAreProtocolErrors) {
    uint8_t hdr[4];
    uint8_t buf[64];
    int len = 0;
    {  // a spoilt data byte
        auto wire = Frame({1, 2, 3, 'x', 5});
        wire[wire.size() - 8] ^= 0x01;
        Wire b;
        b.Feed(wire);
        ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
        EXPECT_EQ(b.z->RecvData(buf, 64, len), ERR_PROTOCOL);
    }
    {  // longer than the buffer
        Wire b;
        b.Feed(Frame(std::vector<uint8_t>(65, 'q'), false));
        ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
        EXPECT_EQ(b.z->RecvData(buf, 64, len), ERR_PROTOCOL);
        EXPECT_LE(len, 64);
    }
    {  // a spoilt header
        auto wire = Frame({1});
        wire[4] ^= 0x04;
        Wire b;
        b.Feed(wire);
        EXPECT_EQ(b.z->RecvHeader(hdr), ERR_PROTOCOL);
    }
    {  // header length bytes above 16, binary and hex
        Wire b;
        b.Feed({'*', 0x18, 'c', 0x18, 0x51});  // 0x11 escaped
        EXPECT_EQ(b.z->RecvHeader(hdr), ERR_PROTOCOL);
        Wire h;
        const std::string hex =
            "**\x18"
            "b11";
        h.Feed(std::vector<uint8_t>(hex.begin(), hex.end()));
        EXPECT_EQ(h.z->RecvHeader(hdr), ERR_PROTOCOL);
    }
    {  // run-length encoded data is refused, not stored
        auto wire = Frame({1, 2, 3});
        ASSERT_EQ(wire[2], 'C');
        wire[2] = 'D';
        Wire b;
        b.Feed(wire);
        ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
        EXPECT_EQ(b.z->RecvData(buf, 64, len), ERR_PROTOCOL);
    }
    {  // an escape that means nothing
        Wire b;
        auto wire = Frame({});
        wire.resize(wire.size() - 6);  // drop the end of the subpacket
        wire.push_back(0x18);
        wire.push_back('1');
        b.Feed(wire);
        ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
        EXPECT_EQ(b.z->RecvData(buf, 64, len), ERR_PROTOCOL);
    }
}

TEST(ZModemWire, CancelGarbageAndSilence) {
    uint8_t hdr[4];
    uint8_t buf[64];
    int len = 0;
    {
        Wire b;
        b.Feed({'x', 0x18, 0x18, 0x18, 0x18, 0x18});
        EXPECT_EQ(b.z->RecvHeader(hdr), ZModem::ZCAN);
    }
    {
        Wire b;
        auto wire = Frame({1, 2});
        wire.resize(wire.size() - 8);
        for (int i = 0; i < 5; ++i) wire.push_back(0x18);
        b.Feed(wire);
        ASSERT_EQ(b.z->RecvHeader(hdr), ZModem::ZDATA);
        EXPECT_EQ(b.z->RecvData(buf, 64, len), ZModem::ZCAN);
    }
    {
        Wire b;
        b.Feed(std::vector<uint8_t>(3000, 'g'));
        EXPECT_EQ(b.z->RecvHeader(hdr), ZModem::kGarbage);
    }
    {
        Wire b;
        EXPECT_EQ(b.z->RecvHeader(hdr), ERR_TIMEOUT);
    }
}

TEST(ZModemWire, ManagementNames) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"ZMNEWL", 1}, {"crc", 2},    {"ZMAPND", 3}, {"clob", 4},       {"ZMNEW", 5},
        {"zmdiff", 6}, {"PROT", 7},   {"ZMCHNG", 8}, {"sknoloc", 0x80}, {"0x82", 0x82},
        {"4", 4},      {"bogus", {}}, {"", {}},      {"300", {}}};
    for (const auto& [name, want] : cases) EXPECT_EQ(ZModem::ParseManagement(name), want) << name;
}

// ---- The engine against a scripted peer ------------------------------------------------------

class ZModemScripted : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir_ / "dl");
        test::SocketPair sp;
        engineLine_ = std::make_unique<StreamLine>(sp.a, sp.a, true);
        peerLine_ = std::make_unique<StreamLine>(sp.b, sp.b, true);
        sp.a = sp.b = -1;
        ctx_.line = engineLine_.get();
        ctx_.downloadDir = dir_ / "dl";
        peerCtx_.line = peerLine_.get();
        peer_ = std::make_unique<ZModem>(peerCtx_);
        peer_->SetTimeout(5000);
    }
    // Runs the engine's Download or Upload on its own thread.
    std::future<bool> Start(bool (ZModem::*run)()) {
        return std::async(std::launch::async, [this, run] {
            ZModem z(ctx_);
            z.SetTimeout(2000);
            return (z.*run)();
        });
    }
    // The next header of `type` from the engine (others skipped); its position, its bytes in `h`.
    uint32_t Expect(int type, uint8_t* got = nullptr) {
        uint8_t buf[4];
        uint8_t* h = got ? got : buf;
        for (int i = 0; i < 20; ++i) {
            int t = peer_->RecvHeader(h);
            if (t == type) return ZModem::Pos(h);
            if (t == ERR_TIMEOUT) break;
        }
        ADD_FAILURE() << "no header " << type;
        return 0;
    }
    // Answers the sender's ZRQINIT with a ZRINIT of these flags and takes its ZFILE.
    void AnswerInit(const uint8_t rinit[4]) {
        Expect(ZModem::ZRQINIT);
        peer_->SendHexHeader(ZModem::ZRINIT, rinit);
        peer_->Flush();
        uint8_t h[4];
        EXPECT_EQ(peer_->RecvHeader(h), ZModem::ZFILE);
        std::vector<uint8_t> buf(2048);
        int len = 0;
        EXPECT_EQ(peer_->RecvData(buf.data(), 2048, len), ZModem::kGot | ZModem::ZCRCW);
    }
    void SendSubpacket(int type, const std::string& data, const uint8_t h[4] = kZero) {
        SendInfo(*peer_, type, data, h);
        peer_->Flush();
    }
    // Offers a file of `size` bytes (ZFILE); the position of the receiver's answer (`answer`).
    uint32_t Offer(const std::string& name, size_t size, int answer = ZModem::ZRPOS,
                   uint8_t conv = 0) {
        const uint8_t h[4] = {0, 0, 0, conv};
        SendSubpacket(ZModem::ZFILE, FileInfo(name, size), h);
        return Expect(answer);
    }
    // The whole file from position 0 in one frame, then ZEOF.
    void SendWhole(const std::string& data) {
        SendPos(ZModem::ZDATA, 0);
        peer_->SendData(reinterpret_cast<const uint8_t*>(data.data()), data.size(), ZModem::ZCRCE);
        SendPos(ZModem::ZEOF, static_cast<uint32_t>(data.size()));
    }
    void SendPos(int type, uint32_t pos, bool hex = false) {
        SendPosition(*peer_, type, pos, hex);
        peer_->Flush();
    }
    void Finish() {
        SendPos(ZModem::ZFIN, 0, true);
        Expect(ZModem::ZFIN);
        const uint8_t oo[2] = {'O', 'O'};
        peerLine_->WriteRaw(oo, 2);
    }

    test::TempDir tmp_;
    fs::path dir_ = tmp_.path;
    std::unique_ptr<StreamLine> engineLine_, peerLine_;
    TransferContext ctx_, peerCtx_;
    std::unique_ptr<ZModem> peer_;
};

// A hostile path keeps only its last part and stays in the download folder.
TEST_F(ZModemScripted, ReceivedNamesStayInTheDownloadFolder) {
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    EXPECT_EQ(Offer("../../evil.txt", 5), 0u);
    SendWhole("hello");
    Expect(ZModem::ZRINIT);
    Finish();
    ASSERT_TRUE(done.get());
    EXPECT_EQ(test::ReadWhole((dir_ / "dl" / "evil.txt").string()), "hello");
    EXPECT_FALSE(fs::exists(dir_ / "evil.txt"));
    EXPECT_EQ(ctx_.received, std::vector<fs::path>{dir_ / "dl" / "evil.txt"});
}

// A name that cleans to nothing, and a symlink in the folder (never followed), are refused with
// ZFERR; the first is reported.
TEST_F(ZModemScripted, ANameThatCleansToNothingIsRefused) {
    test::RecordingPlatform platform;
    ctx_.platform = &platform;
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    Offer("../", 5, ZModem::ZFERR);
    EXPECT_FALSE(done.get());
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "ファイルのオープンに失敗しました。");
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Stop);
}

TEST_F(ZModemScripted, ASymlinkInTheFolderIsNotFollowed) {
    { std::ofstream(dir_ / "outside.txt") << "keep"; }
    fs::create_symlink(dir_ / "outside.txt", dir_ / "dl" / "link.txt");
    ctx_.management = "ZMCLOB";
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    Offer("link.txt", 4, ZModem::ZFERR);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(test::ReadWhole((dir_ / "outside.txt").string()), "keep");
}

TEST_F(ZModemScripted, AttentionStringsAreBoundedAndCommandsNeverRun) {
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    peer_->SetEscapeAll(true);  // what the ZSINIT below promises
    const uint8_t esc[4] = {0, 0, 0, 0x40};
    SendSubpacket(ZModem::ZSINIT, std::string(33, 'a'), esc);
    Expect(ZModem::ZNAK);
    const std::string attn = std::string(30, 'x') + "\x03\xde";  // 32 bytes and the NUL
    SendSubpacket(ZModem::ZSINIT, attn + '\0', esc);
    EXPECT_EQ(Expect(ZModem::ZACK), 1u);
    const fs::path marker = dir_ / "ran";
    SendSubpacket(ZModem::ZCOMMAND, "touch " + marker.string() + '\0');
    EXPECT_EQ(Expect(ZModem::ZCOMPL), 0xFFFFFFFFu);
    Finish();
    EXPECT_TRUE(done.get());
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(ZModemScripted, AttentionPausesAreBoundedWhateverTheStringHolds) {
    // 31 pauses of a second each would hold the receiver for 31 s at every error; together they
    // take at most kAttentionPauseMs (here scaled to a quarter).
    ctx_.timeScale = 0.25;
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    SendSubpacket(ZModem::ZSINIT, "A" + std::string(31, '\xde') + '\0');
    Expect(ZModem::ZACK);
    EXPECT_EQ(Offer("a.bin", 100), 0u);
    SendPos(ZModem::ZDATA, 50);  // not where the receiver is: it sends "A" and pauses
    EXPECT_EQ(Expect(ZModem::ZRPOS), 0u);
    SendPos(ZModem::ZCAN, 0);
    EXPECT_FALSE(done.get());
}

// Against a receiver that takes a full stream (buffer length 0) the sender asks for an
// acknowledgement (ZCRCQ) at least every quarter window and goes on: answered, the whole file goes
// out as one frame that never waits. Unanswered, it stops once a window is out.
TEST_F(ZModemScripted, StreamingSenderAsksAheadAndStopsOnlyAtAFullWindow) {
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 10));
    test::WriteFileBytes(dir_ / "s.bin", data);
    ctx_.files = {dir_ / "s.bin"};
    auto done = Start(&ZModem::Upload);
    const uint8_t rinit[4] = {0, 0, 0, 0x23};  // Rxbuflen 0, CRC-32
    AnswerInit(rinit);
    uint8_t h[4];
    std::vector<uint8_t> buf(2048), got;
    int len = 0;
    for (bool answer : {true, false}) {
        SendPos(ZModem::ZRPOS, 0, true);
        got.clear();
        ASSERT_EQ(peer_->RecvHeader(h), ZModem::ZDATA);
        uint32_t sinceQuery = 0;
        int end = 0;
        while (got.size() < data.size()) {
            end = peer_->RecvData(buf.data(), 2048, len);
            got.insert(got.end(), buf.begin(), buf.begin() + len);
            sinceQuery += static_cast<uint32_t>(len);
            if (end == (ZModem::kGot | ZModem::ZCRCQ)) {
                EXPECT_LE(sinceQuery, ZModem::kQueryEvery + 1024);
                sinceQuery = 0;
                if (answer) SendPos(ZModem::ZACK, static_cast<uint32_t>(got.size()), true);
            } else if (end == (ZModem::kGot | ZModem::ZCRCW) && got.size() == 1024) {
                // The first block after a repeated position waits for its answer.
                SendPos(ZModem::ZACK, 1024, true);
                ASSERT_EQ(peer_->RecvHeader(h), ZModem::ZDATA);
                sinceQuery = 0;
            } else if (end != (ZModem::kGot | ZModem::ZCRCG)) {
                break;
            }
            if (!answer && got.size() >= ZModem::kWindow) {
                // Nothing more until an answer comes (the sender waits 2 s before it starts
                // again from the last acknowledged position).
                peer_->SetTimeout(1000);
                EXPECT_EQ(peer_->RecvHeader(h), ERR_TIMEOUT);
                break;
            }
        }
        if (answer) {
            EXPECT_EQ(end, ZModem::kGot | ZModem::ZCRCE);
            EXPECT_EQ(got, data);
            EXPECT_EQ(Expect(ZModem::ZEOF), data.size());
        } else {
            EXPECT_GE(got.size(), ZModem::kWindow);
            EXPECT_LT(got.size(), ZModem::kWindow + 1024);
        }
    }
    SendPos(ZModem::ZCAN, 0, true);
    EXPECT_FALSE(done.get());
}

TEST_F(ZModemScripted, ReceiverAsksForEscapingOnceToldTo) {
    auto done = Start(&ZModem::Download);
    uint8_t h[4];
    ASSERT_EQ(peer_->RecvHeader(h), ZModem::ZRINIT);
    EXPECT_EQ(h[3], 0x2F);
    EXPECT_EQ(h[2], 0x01);
    const uint8_t esc[4] = {0, 0, 0, 0x40};
    SendSubpacket(ZModem::ZSINIT, "", esc);
    Expect(ZModem::ZACK);
    SendPos(ZModem::ZRQINIT, 0, true);  // asks for a new ZRINIT
    Expect(ZModem::ZRINIT, h);
    EXPECT_EQ(h[3], 0x6F);
    Finish();
    EXPECT_TRUE(done.get());
}

TEST_F(ZModemScripted, SenderRefusesAPositionBeyondTheFile) {
    test::WriteFileBytes(dir_ / "up.bin", std::vector<uint8_t>(10, '0'));
    ctx_.files = {dir_ / "up.bin"};
    auto done = Start(&ZModem::Upload);
    const uint8_t rinit[4] = {0, 0, 0, 0x23};
    AnswerInit(rinit);
    SendPos(ZModem::ZRPOS, 1000000, true);
    EXPECT_FALSE(done.get());
}

TEST_F(ZModemScripted, SenderWaitsEveryBufferAndHalvesBlocksOnRepeatedErrors) {
    test::WriteFileBytes(dir_ / "up.bin", test::RandomBytes(8192, 31));
    ctx_.files = {dir_ / "up.bin"};
    auto done = Start(&ZModem::Upload);
    const uint8_t rinit[4] = {0x00, 0x04, 0, 0x23};  // Rxbuflen 1024, CRC-32
    AnswerInit(rinit);
    uint8_t h[4];
    std::vector<uint8_t> buf(2048);
    int len = 0;
    // Each full buffer ends with ZCRCW and waits for the acknowledgement.
    SendPos(ZModem::ZRPOS, 0, true);
    uint32_t pos = 0;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(peer_->RecvHeader(h), ZModem::ZDATA);
        EXPECT_EQ(ZModem::Pos(h), pos);
        ASSERT_EQ(peer_->RecvData(buf.data(), 2048, len), ZModem::kGot | ZModem::ZCRCW);
        EXPECT_EQ(len, 1024);
        pos += 1024;
        SendPos(ZModem::ZACK, pos, true);
    }
    // The frame already on its way.
    ASSERT_EQ(peer_->RecvHeader(h), ZModem::ZDATA);
    ASSERT_EQ(peer_->RecvData(buf.data(), 2048, len), ZModem::kGot | ZModem::ZCRCW);
    // The same position asked for again and again: after the fourth repeat blocks get shorter.
    std::vector<int> lengths;
    for (int i = 0; i < 7; ++i) {
        SendPos(ZModem::ZRPOS, pos, true);
        int t;
        do {
            t = peer_->RecvHeader(h);
        } while (t != ZModem::ZDATA && t >= 0);
        ASSERT_EQ(t, ZModem::ZDATA);
        ASSERT_EQ(peer_->RecvData(buf.data(), 2048, len), ZModem::kGot | ZModem::ZCRCW);
        lengths.push_back(len);
    }
    EXPECT_EQ(lengths, (std::vector<int>{1024, 1024, 1024, 1024, 1024, 512, 256}));
    SendPos(ZModem::ZCAN, 0, true);
    EXPECT_FALSE(done.get());
}

// Our sender against our receiver: variable-length headers are offered and taken up; with ZMCRC
// an equal local file is skipped by its CRC and an unequal one replaced.
TEST_F(ZModemScripted, EngineToEngineWithVariableHeadersAndFileCrcs) {
    const auto data = test::RandomBytes(70000, 7);
    test::WriteFileBytes(dir_ / "a.bin", data);
    test::WriteFileBytes(dir_ / "b.bin", std::vector<uint8_t>(data.begin(), data.begin() + 5000));
    struct Case {
        const char* management;
        bool localEqual;
        size_t received;
    } cases[] = {{"", false, 2}, {"ZMCRC", true, 1}, {"ZMCRC", false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.management << " " << c.localEqual);
        fs::remove_all(dir_ / "dl");
        fs::create_directories(dir_ / "dl");
        if (*c.management) {
            auto local = test::ReadFileBytes(dir_ / "b.bin");
            if (!c.localEqual) local[4000] ^= 1;
            test::WriteFileBytes(dir_ / "dl" / "b.bin", local);
        }
        TransferContext rx;
        rx.line = peerLine_.get();
        rx.downloadDir = dir_ / "dl";
        rx.management = c.management;
        ctx_.files = {dir_ / "a.bin", dir_ / "b.bin"};
        auto up = Start(&ZModem::Upload);
        ZModem receiver(rx);
        EXPECT_TRUE(receiver.Download());
        EXPECT_TRUE(up.get());
        EXPECT_TRUE(receiver.VarHeaders());
        EXPECT_EQ(rx.received.size(), c.received);
        EXPECT_EQ(test::ReadFileBytes(dir_ / "dl" / "a.bin"), data);
        EXPECT_EQ(test::ReadFileBytes(dir_ / "dl" / "b.bin"), test::ReadFileBytes(dir_ / "b.bin"));
    }
}

TEST_F(ZModemScripted, UserAbortSendsTheCancelSequenceAndKeepsThePart) {
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    Offer("cut.bin", 4096);
    SendPos(ZModem::ZDATA, 0);
    std::vector<uint8_t> block(1024, 'z');
    peer_->SendData(block.data(), block.size(), ZModem::ZCRCW);
    peer_->Flush();
    EXPECT_EQ(Expect(ZModem::ZACK), 1024u);
    ctx_.abort = true;
    Expect(ZModem::ZCAN);
    EXPECT_FALSE(done.get());
    EXPECT_TRUE(ctx_.received.empty());
    EXPECT_EQ(fs::file_size(dir_ / "dl" / "cut.bin"), 1024u);
}

TEST_F(ZModemScripted, TextConversionTurnsLineEndsLocal) {
    auto done = Start(&ZModem::Download);
    Expect(ZModem::ZRINIT);
    const std::string text = "one\r\ntwo\r\nthree\rx\r\n";
    Offer("t.txt", text.size(), ZModem::ZRPOS, ZModem::ZCNL);
    SendPos(ZModem::ZDATA, 0);
    // Split inside a CR LF pair.
    peer_->SendData(reinterpret_cast<const uint8_t*>(text.data()), 4, ZModem::ZCRCG);
    peer_->SendData(reinterpret_cast<const uint8_t*>(text.data()) + 4, text.size() - 4,
                    ZModem::ZCRCE);
    SendPos(ZModem::ZEOF, static_cast<uint32_t>(text.size()));
    Expect(ZModem::ZRINIT);
    Finish();
    ASSERT_TRUE(done.get());
    EXPECT_EQ(test::ReadWhole((dir_ / "dl" / "t.txt").string()), "one\ntwo\nthree\rx\n");
}

// ---- marlo-cli receive against a hostile sender ------------------------------------------------

// The frames a sender puts on the line, built with the engine's own wire level.
std::string SenderBytes(const std::function<void(ZModem&)>& frames) {
    Wire w;
    frames(*w.z);
    w.z->Flush();
    return std::string(w.line.out.begin(), w.line.out.end());
}

std::vector<std::string> ReceiveArgs(const fs::path& dir) {
    return {"receive", "--protocol", "zmodem", "--stdio", "--dir", dir.string()};
}

TEST(ZModemCli, ATerminationEndsTheAttentionPausesOfAHostileSender) {
    // An attention string of 32 pauses, then data headers at a wrong offset: every one of them
    // makes the receiver send the attention string.
    const std::string script = SenderBytes([](ZModem& z) {
        SendInfo(z, ZModem::ZSINIT, std::string(32, '\xde') + '\0');
        SendInfo(z, ZModem::ZFILE, FileInfo("hostile.bin", 3000));
        for (int i = 0; i < 21; ++i) {
            SendPosition(z, ZModem::ZDATA, 77);
            z.SendData(reinterpret_cast<const uint8_t*>("xx"), 2, ZModem::ZCRCW);
        }
    });
    test::TempDir dir;
    test::SocketPair sp;
    const fs::path err = dir.path / "err.txt";
    std::vector<std::string> argv = ReceiveArgs(dir.path);
    argv.insert(argv.begin(), MARLO_CLI_PATH);
    pid_t pid = test::SpawnOnFd(argv, sp.a, "", err.string());
    ASSERT_EQ(::write(sp.b, script.data(), script.size()), static_cast<ssize_t>(script.size()));
    // The sender stays connected; once the file is open the user stops the program.
    for (int i = 0; i < 2000 && test::ReadWhole(err.string()).find("転送ﾌｧｲﾙ") == std::string::npos;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20000), 1) << test::ReadWhole(err.string());
    EXPECT_NE(test::ReadWhole(err.string()).find("転送失敗"), std::string::npos);
}

TEST(ZModemCli, AFileEndingShortIsAFailedTransferAndASkippedOneIsNamed) {
    test::TempDir dir;
    // ZFILE announces 3000 bytes, 10 follow, ZEOF at 10.
    std::string script = SenderBytes([](ZModem& z) {
        SendInfo(z, ZModem::ZFILE, FileInfo("short.bin", 3000));
        SendPosition(z, ZModem::ZDATA, 0);
        z.SendData(reinterpret_cast<const uint8_t*>("0123456789"), 10, ZModem::ZCRCE);
        SendPosition(z, ZModem::ZEOF, 10);
    });
    test::RunResult r = test::RunProgram(MARLO_CLI_PATH, ReceiveArgs(dir.path), {}, 30000, script);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ファイルが途中で終わりました。"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("転送失敗"), std::string::npos);
    EXPECT_EQ(fs::file_size(dir.path / "short.bin"), 10u);

    // A file the sender lets the receiver skip when there is no local copy (ZMSKNOLOC).
    script = SenderBytes([](ZModem& z) {
        const uint8_t h[4] = {0, 0, ZModem::ZMSKNOLOC | ZModem::ZMCLOB, 0};
        SendInfo(z, ZModem::ZFILE, FileInfo("missing.txt", 5), h);
        z.SendHexHeader(ZModem::ZFIN, kZero);
    });
    r = test::RunProgram(MARLO_CLI_PATH, ReceiveArgs(dir.path), {}, 30000, script + "OO");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ｽｷｯﾌﾟしたﾌｧｲﾙ: missing.txt"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path / "missing.txt"));
}

}  // namespace
}  // namespace marlo
