#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "line/TelnetLine.h"
#include "support/TelnetTestServer.h"

namespace marlo {
namespace {

using test::TelnetTestServer;

std::string Bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s.push_back(static_cast<char>(b));
    return s;
}

struct ParseResult {
    std::string data, replies;
};

// Feeds `input` to a fresh parser in the pieces given by `cuts` (offsets).
ParseResult Parse(const std::string& input, const std::vector<size_t>& cuts, bool opened,
                  bool transfer = false, const std::string& terminalType = {}) {
    TelnetLine::Parser parser;
    parser.SetTerminalType(terminalType);
    if (opened) parser.OfferOpening();
    ParseResult r;
    size_t from = 0;
    auto pieces = cuts;
    pieces.push_back(input.size());
    for (size_t to : pieces) {
        auto* in = reinterpret_cast<const uint8_t*>(input.data()) + from;
        auto* end = reinterpret_cast<const uint8_t*>(input.data()) + to;
        while (in < end) {
            uint8_t out[4];
            int produced = 0;
            parser.Run(in, end, out, sizeof out, produced, r.replies, transfer, nullptr);
            r.data.append(reinterpret_cast<char*>(out), static_cast<size_t>(produced));
        }
        from = to;
    }
    return r;
}

TEST(TelnetParser, AnswersAndDataSurviveEverySplit) {
    struct Case {
        const char* name;
        std::string input;
        bool opened;
        std::string data, replies;
    } cases[] = {
        {"DO echo is accepted", Bytes({255, 253, 1}), false, "", Bytes({255, 251, 1})},
        {"DO terminal type is refused", Bytes({255, 253, 24}), false, "", Bytes({255, 252, 24})},
        {"DO window size is refused", Bytes({255, 253, 31}), false, "", Bytes({255, 252, 31})},
        {"a terminal type request is not answered", "t" + Bytes({255, 250, 24, 1, 255, 240}) + "u",
         false, "tu", ""},
        {"WILL 3 is refused", Bytes({255, 251, 3}), false, "", Bytes({255, 254, 3})},
        {"WILL echo is accepted", "a" + Bytes({255, 251, 1}) + "b", false, "ab",
         Bytes({255, 253, 1})},
        {"a repeated DO is answered once", Bytes({255, 253, 1, 255, 253, 1}), false, "",
         Bytes({255, 251, 1})},
        {"answers to our offers are not answered", Bytes({255, 253, 0, 255, 251, 0}), true, "", ""},
        {"DONT after WILL is acknowledged", Bytes({255, 253, 1, 255, 254, 1}), false, "",
         Bytes({255, 251, 1, 255, 252, 1})},
        {"WONT for something never on is ignored", Bytes({255, 252, 5}), false, "", ""},
        {"IAC IAC is one data byte", "x" + Bytes({255, 255}) + "y", false, "x\xFFy", ""},
        {"subnegotiation is skipped", "p" + Bytes({255, 250, 24, 1, 255, 255, 7, 255, 240}) + "q",
         false, "pq", ""},
        {"other commands are dropped", "m" + Bytes({255, 241, 255, 249}) + "n", false, "mn", ""},
        // Until the server sends binary, its bare CR arrives as CR NUL.
        {"CR NUL is a bare CR", "a\r" + Bytes({0}) + "b", true, "a\rb", ""},
        {"CR LF stays", "a\r\nb", true, "a\r\nb", ""},
        {"a data NUL after CR NUL stays", "\r" + Bytes({0, 0}) + "\r\r" + Bytes({0}), true,
         "\r" + Bytes({0}) + "\r\r", ""},
        {"a NUL without CR is data", "a" + Bytes({0}) + "b", true, "a" + Bytes({0}) + "b", ""},
        {"CR before IAC IAC", "\r" + Bytes({255, 255, 0}), true, "\r\xFF" + Bytes({0}), ""},
        {"binary granted: CR NUL is data", Bytes({255, 251, 0}) + "\r" + Bytes({0}) + "\r\n", true,
         "\r" + Bytes({0}) + "\r\n", ""},
        {"binary taken back: CR NUL is a CR again",
         Bytes({255, 251, 0}) + "\r" + Bytes({0, 255, 252, 0}) + "\r" + Bytes({0}), true,
         "\r" + Bytes({0}) + "\r", Bytes({255, 254, 0})},
    };
    for (const auto& c : cases) {
        auto whole = Parse(c.input, {}, c.opened);
        EXPECT_EQ(whole.data, c.data) << c.name;
        EXPECT_EQ(whole.replies, c.replies) << c.name;
        for (size_t cut = 1; cut < c.input.size(); ++cut) {
            auto split = Parse(c.input, {cut}, c.opened);
            EXPECT_EQ(split.data, c.data) << c.name << " cut at " << cut;
            EXPECT_EQ(split.replies, c.replies) << c.name << " cut at " << cut;
        }
        std::vector<size_t> single;
        for (size_t i = 1; i < c.input.size(); ++i) single.push_back(i);
        auto bytewise = Parse(c.input, single, c.opened);
        EXPECT_EQ(bytewise.data, c.data) << c.name << " byte by byte";
    }
}

// In xterm mode the line agrees to TERMINAL-TYPE and NAWS, answers the type request and tells the
// window's size at once and again when it changes, whatever the splits.
TEST(TelnetParser, XtermModeTellsTheTerminalTypeAndTheWindowSize) {
    const std::string input = Bytes({255, 253, 24, 255, 250, 24, 1, 255, 240, 255, 253, 31}) + "o" +
                              Bytes({255, 250, 24, 1, 7, 255, 240}) + "k" +
                              Bytes({255, 250, 24, 1, 255, 240});
    const std::string type = Bytes({255, 250, 24, 0}) + "xterm" + Bytes({255, 240});
    const std::string replies = Bytes({255, 251, 24}) + type + Bytes({255, 251, 31}) +
                                Bytes({255, 250, 31, 0, 80, 0, 24, 255, 240}) + type;
    for (size_t cut = 0; cut < input.size(); ++cut) {
        auto r = Parse(input, {cut}, true, false, "xterm");
        EXPECT_EQ(r.data, "ok") << cut;
        EXPECT_EQ(r.replies, replies) << cut;
    }
    TelnetLine::Parser parser;
    parser.SetTerminalType("xterm");
    EXPECT_EQ(parser.SetWindowSize(100, 30), "");  // not agreed yet: kept for later
    const std::string doNaws = Bytes({255, 253, 31});
    auto* in = reinterpret_cast<const uint8_t*>(doNaws.data());
    uint8_t out[4];
    int produced = 0;
    std::string answer;
    parser.Run(in, in + doNaws.size(), out, sizeof out, produced, answer, false, nullptr);
    EXPECT_EQ(answer, Bytes({255, 251, 31, 255, 250, 31, 0, 100, 0, 30, 255, 240}));
    // A byte 255 of the size is doubled; the same size again is not sent.
    EXPECT_EQ(parser.SetWindowSize(255, 40), Bytes({255, 250, 31, 0, 255, 255, 0, 40, 255, 240}));
    EXPECT_EQ(parser.SetWindowSize(255, 40), "");
}

TEST(TelnetParser, SendsCrAsCrNulUntilTheServerTakesBinary) {
    TelnetLine::Parser parser;
    parser.OfferOpening();
    auto encode = [&](const std::string& data, bool transferMode) {
        std::string out;
        parser.Encode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), transferMode,
                      out);
        return out;
    };
    auto receive = [&](const std::string& bytes) {
        auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
        uint8_t out[16];
        int produced = 0;
        std::string replies;
        parser.Run(in, in + bytes.size(), out, sizeof out, produced, replies, false, nullptr);
    };
    const std::string data = "a\rb\r\n\xFF\r";
    EXPECT_EQ(encode(data, false),
              "a\r" + Bytes({0}) + "b\r" + Bytes({0}) + "\n\xFF\r" + Bytes({0}));
    EXPECT_EQ(encode(data, true),
              "a\r" + Bytes({0}) + "b\r" + Bytes({0}) + "\n\xFF\xFF\r" + Bytes({0}));
    receive(Bytes({255, 253, 0}));  // the server's DO binary answers our WILL
    EXPECT_EQ(encode(data, false), data);
    EXPECT_EQ(encode(data, true), "a\rb\r\n\xFF\xFF\r");
    receive(Bytes({255, 254, 0}));  // and DONT takes it back
    EXPECT_EQ(encode("\r", false), "\r" + Bytes({0}));
}

// A subnegotiation is skipped up to its IAC SE however long it is, with an escaped 0xFF inside;
// none of it reaches the screen.
TEST(TelnetParser, LongSubnegotiationIsSkippedWhole) {
    const std::string body = std::string(1100, 'z') + "\xFF\xFF" + std::string(3000, 'y');
    std::string input = "a" + Bytes({255, 250, 24}) + body + Bytes({255, 240}) + "ok";
    for (size_t split : {size_t{0}, size_t{2}, size_t{1030}, input.size() - 3}) {
        auto r = Parse(input, {split}, false);
        EXPECT_EQ(r.data, "aok") << split;
    }
}

// A connected line and the server end of it.
struct Linked {
    TelnetTestServer server;
    TelnetLine line;

    bool Connect() {
        std::promise<void> resolved;
        line.StartLookup("127.0.0.1", server.Port(), [&] { resolved.set_value(); });
        if (resolved.get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            return false;
        if (!line.LookupResult().empty()) return false;
        int err = 0;
        auto st = line.BeginConnect(err);
        if (st == TelnetLine::ConnectState::InProgress) st = line.PollConnect(5000, err);
        return st == TelnetLine::ConnectState::Connected;
    }
    std::string ReadFor(size_t want) {
        std::string got;
        uint8_t buf[4096];
        for (int i = 0; i < 50 && got.size() < want; ++i) {
            int n = line.ReadLineData(buf, sizeof buf, 100);
            got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
        }
        return got;
    }
};

TEST(TelnetLine, OffersBinaryFirstAndAnswersCommandsSplitAcrossReads) {
    Linked t;
    ASSERT_TRUE(t.Connect());
    ASSERT_TRUE(t.server.Accept());
    ASSERT_TRUE(t.server.WaitForCount(6));
    EXPECT_EQ(t.server.Received().substr(0, 6), Bytes({255, 253, 0, 255, 251, 0}));
    t.server.ClearReceived();

    t.server.Send("hello" + Bytes({255}));
    EXPECT_EQ(t.ReadFor(5), "hello");
    t.server.Send(Bytes({253}));
    t.server.Send(Bytes({24}) + "world" + Bytes({255, 255}));
    EXPECT_EQ(t.ReadFor(6), "world\xFF");
    ASSERT_TRUE(t.server.WaitForCount(3));
    EXPECT_EQ(t.server.Received(), Bytes({255, 252, 24}));
}

TEST(TelnetLine, TransferModeUndoublesOnReadAndDoublesOnWrite) {
    Linked t;
    ASSERT_TRUE(t.Connect());
    ASSERT_TRUE(t.server.Accept());
    ASSERT_TRUE(t.server.WaitForCount(6));
    t.server.ClearReceived();
    t.line.SetTransferMode(true);
    t.server.Send(Bytes({1, 255, 255, 2}));
    EXPECT_EQ(t.ReadFor(3), Bytes({1, 255, 2}));
    const uint8_t out[] = {0x41, 0xFF, 0x42};
    ASSERT_TRUE(t.line.WriteRaw(out, sizeof out));
    ASSERT_TRUE(t.server.WaitForCount(4));
    EXPECT_EQ(t.server.Received(), Bytes({0x41, 255, 255, 0x42}));
    // Outside transfer mode the bytes go out unchanged.
    t.server.ClearReceived();
    t.line.SetTransferMode(false);
    ASSERT_TRUE(t.line.WriteRaw(out, sizeof out));
    ASSERT_TRUE(t.server.WaitForCount(3));
    EXPECT_EQ(t.server.Received(), Bytes({0x41, 255, 0x42}));
}

TEST(TelnetLine, LargeSendContinuesWithTheUnsentRest) {
    Linked t;
    t.server.SetSmallReceiveBuffer();
    ASSERT_TRUE(t.Connect());
    ASSERT_TRUE(t.server.Accept());
    ASSERT_TRUE(t.server.WaitForCount(6));
    t.server.ClearReceived();
    std::string big(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    auto sent = std::async(std::launch::async, [&] {
        return t.line.WriteRaw(reinterpret_cast<const uint8_t*>(big.data()), big.size());
    });
    ASSERT_TRUE(t.server.WaitForCount(big.size(), 30000));
    EXPECT_TRUE(sent.get());
    EXPECT_TRUE(t.server.Received() == big);
}

TEST(TelnetLine, SendThatMakesNoProgressIsReportedAsFailure) {
    Linked t;
    t.line.SetSendLimitMs(200);
    t.server.SetSmallReceiveBuffer();
    ASSERT_TRUE(t.Connect());
    ASSERT_TRUE(t.server.Accept());
    std::string big(64 * 1024 * 1024, 'x');
    EXPECT_FALSE(t.line.WriteRaw(reinterpret_cast<const uint8_t*>(big.data()), big.size()));
}

TEST(TelnetLine, ServerCloseIsReportedOnceAfterTheLastData) {
    Linked t;
    int closes = 0;
    t.line.SetClosedCallback([&] { ++closes; });
    ASSERT_TRUE(t.Connect());
    ASSERT_TRUE(t.server.Accept());
    t.server.Send("bye");
    t.server.CloseClient();
    EXPECT_EQ(t.ReadFor(3), "bye");
    uint8_t buf[16];
    for (int i = 0; i < 20 && t.line.IsOpen(); ++i) t.line.ReadLineData(buf, sizeof buf, 100);
    EXPECT_FALSE(t.line.IsOpen());
    EXPECT_EQ(t.line.ReadLineData(buf, sizeof buf, 10), 0);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(t.line.WriteRaw(buf, 1));
    t.line.Close();
    t.line.Close();
    EXPECT_EQ(closes, 1);
}

TEST(TelnetLine, NotifierFiresOncePerBatchUntilTheReaderReads) {
    Linked t;
    std::atomic<int> fired{0};
    ASSERT_TRUE(t.Connect());
    ASSERT_TRUE(t.server.Accept());
    t.line.StartNotifier([&] { ++fired; });
    t.server.Send("one");
    auto until = [&](int n) {
        for (int i = 0; i < 500 && fired < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return fired.load();
    };
    EXPECT_EQ(until(1), 1);
    t.server.Send("two");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(fired.load(), 1) << "no second notification before the reader took the first";
    EXPECT_EQ(t.ReadFor(6), "onetwo");
    t.server.Send("three");
    EXPECT_GE(until(2), 2);
    t.line.StopNotifier();
}

}  // namespace
}  // namespace marlo
