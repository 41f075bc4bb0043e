// marlo-cli sendtext on its standard output: the lines as typed, the echo wait, the statuses.
#include <gtest/gtest.h>

#include "support/RunProgram.h"
#include "support/TransferKit.h"

namespace marlo {
namespace {

using test::TempDir;

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

TEST(SendTextCommand, TypesTheFileAndWaitsForTheEchoOnlyWhenAsked) {
    TempDir d;
    const std::string file = d.Str() + "/t.txt";
    test::WriteWhole(file, std::string(100, 'a') + "\r\n" + "ab\tX\r\n\x93\xfa" + "tail");
    const std::vector<std::string> lines{std::string(78, 'a') + "\r", std::string(22, 'a') + "\r",
                                         "ab      X\r", "\x93\xfatail"};
    {
        auto r = test::RunProgram(MARLO_CLI_PATH, {"sendtext", "--stdio", file}, {}, 10000, "");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, lines[0] + lines[1] + lines[2] + lines[3]);
    }
    for (bool echoing : {true, false}) {
        SCOPED_TRACE(echoing);
        test::SocketPair sp;
        test::PeerProcess cli({MARLO_CLI_PATH, "sendtext", "--stdio", file, "--set", "TxSendSync=1"},
                              sp.a, d.path);
        test::Peer host(sp.b);
        EXPECT_EQ(Text(host.Bytes(lines[0].size())), lines[0]);
        // The next line waits for the echo, up to three seconds.
        if (echoing)
            host.Write(std::vector<uint8_t>(lines[0].begin(), lines[0].end()));
        else
            EXPECT_EQ(host.Byte(2500), -1);
        EXPECT_EQ(Text(host.Bytes(lines[1].size(), 1500)), lines[1]);
        if (echoing) host.Write(std::vector<uint8_t>(lines[1].begin(), lines[1].end()));
        EXPECT_EQ(Text(host.Bytes(lines[2].size() + lines[3].size(), 3500)), lines[2] + lines[3]);
        EXPECT_EQ(cli.Wait(10000), 0);
    }
}

TEST(SendTextCommand, BadCommandLinesAndFilesAreUsageErrors) {
    TempDir d;
    test::WriteWhole(d.Str() + "/t.txt", "x\r\n");
    for (std::vector<std::string> args : {
             std::vector<std::string>{"sendtext", "--stdio"},
             {"sendtext", d.Str() + "/t.txt"},
             {"sendtext", "--stdio", d.Str() + "/missing"},
             {"sendtext", "--stdio", d.Str()},
             {"sendtext", "--stdio", d.Str() + "/t.txt", "--set", "NoSuchSetting=1"},
             {"sendtext", "--stdio", d.Str() + "/t.txt", "--wait"},
         }) {
        auto r = test::RunProgram(MARLO_CLI_PATH, args, {}, 10000, std::string());
        EXPECT_EQ(r.status, 2) << args.back() << " " << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

}  // namespace
}  // namespace marlo
