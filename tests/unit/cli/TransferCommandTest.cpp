// marlo-cli receive with B Plus and send without a protocol, against a host on its standard input
// and output: what crosses, the exit statuses and the usage errors.
#include <gtest/gtest.h>

#include "support/BPlusHost.h"
#include "support/QuickVanPeer.h"
#include "support/RunProgram.h"
#include "support/TransferKit.h"

namespace marlo {
namespace {

using test::BPlusHost;
using test::PeerProcess;
using test::SocketPair;
using test::TempDir;

// marlo-cli receive on one end of a socket pair, the host on the other, parameters agreed.
struct CliSession {
    CliSession(const TempDir& down, const TempDir& up)
        : cli({MARLO_CLI_PATH, "receive", "--protocol", "b+", "--stdio", "--dir", down.Str(),
               "--upload-dir", up.Str()},
              sp.a, down.path) {
        EXPECT_TRUE(host.ExpectHello());
        EXPECT_TRUE(host.Negotiate({}));
    }
    SocketPair sp;
    PeerProcess cli;
    BPlusHost host{sp.b};
};

TEST(TransferCommand, BPlusReceiveDownloadsAndUploadsAsTheHostAsksAndFailsWithStatusOne) {
    TempDir down, up;
    auto data = test::RandomBytes(70000, 3);
    test::WriteFileBytes(up.path / "up.bin", data);
    {
        CliSession s(down, up);
        EXPECT_TRUE(s.host.Download("sub/down.bin", data).ok);
        EXPECT_EQ(s.cli.Wait(20000), 0);
        EXPECT_EQ(test::ReadFileBytes(down.path / "down.bin"), data);
    }
    {
        CliSession s(down, up);
        std::vector<uint8_t> got;
        EXPECT_TRUE(s.host.Upload("up.bin", got).ok);
        EXPECT_EQ(s.cli.Wait(20000), 0);
        EXPECT_EQ(got, data);
    }
    {
        CliSession s(down, up);
        std::vector<uint8_t> got;
        EXPECT_EQ(s.host.Upload("../down.bin", got).failText, "File Missing");
        EXPECT_EQ(s.cli.Wait(20000), 1);
    }
}

TEST(TransferCommand, QuickVanReceiveKeepsAnEqualFileUnlessToldToOverwrite) {
    TempDir down;
    const auto data = test::RandomBytes(3000, 5);
    const std::vector<uint8_t> old(data.size(), 'o');
    for (std::string overwrite : {"", "no", "yes"}) {
        SCOPED_TRACE(overwrite);
        test::WriteFileBytes(down.path / "file.bin", old);
        SocketPair sp;
        std::vector<std::string> argv{MARLO_CLI_PATH, "receive", "--protocol", "qv",
                                      "--stdio",      "--dir",   down.Str()};
        if (!overwrite.empty()) argv.insert(argv.end(), {"--overwrite", overwrite});
        PeerProcess cli(argv, sp.a, down.path);
        test::QuickVanPeer peer(sp.b, 1500);
        const bool yes = overwrite == "yes";
        EXPECT_EQ(peer.Send(data, {}).ok, yes);
        EXPECT_EQ(cli.Wait(20000), yes ? 0 : 1);
        EXPECT_EQ(test::ReadFileBytes(down.path / "file.bin"), yes ? data : old);
    }
}

TEST(TransferCommand, SendWithoutAProtocolWritesTheFileAsItIs) {
    TempDir d;
    const std::string bytes("line one\r\n\x00\xff\x1b[0m", 15);
    test::WriteWhole(d.Str() + "/t.txt", bytes);
    for (const char* name : {"無手順", "raw", "none"}) {
        auto r = test::RunProgram(MARLO_CLI_PATH,
                                  {"send", "--protocol", name, "--stdio", d.Str() + "/t.txt"}, {},
                                  10000, std::string());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, bytes);
    }
}

TEST(TransferCommand, UsageErrorsOfTheNewProtocols) {
    TempDir d;
    for (std::vector<std::string> args : {
             std::vector<std::string>{"receive", "--protocol", "zmodem", "--stdio", "--upload-dir",
                                      d.Str()},
             {"receive", "--protocol", "bplus", "--stdio", "--upload-dir", d.Str() + "/none"},
             {"receive", "--protocol", "raw", "--stdio"},
             {"receive", "--protocol", "qv", "--stdio", "--overwrite", "maybe"},
             {"receive", "--protocol", "zmodem", "--stdio", "--overwrite", "yes"},
             {"send", "--protocol", "none", "--stdio", d.Str() + "/missing"},
         }) {
        auto r = test::RunProgram(MARLO_CLI_PATH, args, {}, 10000);
        EXPECT_EQ(r.status, 2) << args[2] << " " << r.err;
    }
}

}  // namespace
}  // namespace marlo
