// marlo-cli receive with B Plus and send without a protocol, against a host on its standard input
// and output: what crosses, the exit statuses and the usage errors.
#include <gtest/gtest.h>

#include "support/BPlusHost.h"
#include "support/RunProgram.h"
#include "support/TransferKit.h"

namespace marlo {
namespace {

using test::BPlusHost;
using test::PeerProcess;
using test::SocketPair;
using test::TempDir;

std::vector<std::string> Receive(const TempDir& down, const TempDir& up) {
    return {MARLO_CLI_PATH, "receive", "--protocol", "b+",          "--stdio",
            "--dir",        down.Str(), "--upload-dir", up.Str()};
}

TEST(TransferCommand, BPlusReceiveDownloadsAndUploadsAsTheHostAsksAndFailsWithStatusOne) {
    TempDir down, up;
    auto data = test::RandomBytes(70000, 3);
    test::WriteFileBytes(up.path / "up.bin", data);
    {
        SocketPair sp;
        PeerProcess cli(Receive(down, up), sp.a, down.path);
        BPlusHost host(sp.b);
        ASSERT_TRUE(host.ExpectHello());
        ASSERT_TRUE(host.Negotiate({}));
        EXPECT_TRUE(host.Download("sub/down.bin", data).ok);
        EXPECT_EQ(cli.Wait(20000), 0);
        EXPECT_EQ(test::ReadFileBytes(down.path / "down.bin"), data);
    }
    {
        SocketPair sp;
        PeerProcess cli(Receive(down, up), sp.a, down.path);
        BPlusHost host(sp.b);
        ASSERT_TRUE(host.ExpectHello());
        ASSERT_TRUE(host.Negotiate({}));
        std::vector<uint8_t> got;
        EXPECT_TRUE(host.Upload("up.bin", got).ok);
        EXPECT_EQ(cli.Wait(20000), 0);
        EXPECT_EQ(got, data);
    }
    {
        SocketPair sp;
        PeerProcess cli(Receive(down, up), sp.a, down.path);
        BPlusHost host(sp.b);
        ASSERT_TRUE(host.ExpectHello());
        ASSERT_TRUE(host.Negotiate({}));
        std::vector<uint8_t> got;
        EXPECT_EQ(host.Upload("../down.bin", got).failText, "File Missing");
        EXPECT_EQ(cli.Wait(20000), 1);
    }
}

TEST(TransferCommand, UsageErrorsOfTheNewProtocols) {
    TempDir d;
    for (std::vector<std::string> args : {
             std::vector<std::string>{"receive", "--protocol", "zmodem", "--stdio", "--upload-dir",
                                      d.Str()},
             {"receive", "--protocol", "bplus", "--stdio", "--upload-dir", d.Str() + "/none"},
             {"receive", "--protocol", "raw", "--stdio"},
             {"send", "--protocol", "none", "--stdio", d.Str() + "/missing"},
         }) {
        auto r = test::RunProgram(MARLO_CLI_PATH, args, {}, 10000);
        EXPECT_EQ(r.status, 2) << args[2] << " " << r.err;
    }
}

}  // namespace
}  // namespace marlo
