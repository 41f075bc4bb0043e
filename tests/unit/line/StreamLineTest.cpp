#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "line/StreamLine.h"

namespace marlo {
namespace {

// Large reads let the next read come before any wait: whatever the order of data and silence,
// every byte arrives once and in order, silence is a 0 within the time given, the far end's close
// closes the line, and the descriptor is left blocking as it was found.
TEST(StreamLine, ReadsEverythingInOrderWaitsOnSilenceAndRestoresTheDescriptor) {
    int sp[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sp), 0);
    std::string sent;
    for (int i = 0; i < 20000; ++i) sent += static_cast<char>(i * 7 % 251);
    std::string got;
    {
        StreamLine line(sp[0], sp[0]);
        uint8_t buf[4096];
        for (size_t at = 0; at < sent.size(); at += 6000) {
            const std::string part = sent.substr(at, 6000);
            ASSERT_EQ(::write(sp[1], part.data(), part.size()), static_cast<ssize_t>(part.size()));
            while (got.size() < at + part.size()) {
                const int n = line.ReadLineData(buf, sizeof buf, 1000);
                ASSERT_GT(n, 0);
                got.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
            }
            EXPECT_EQ(line.ReadLineData(buf, sizeof buf, 20), 0);  // nothing more: a wait
        }
        EXPECT_TRUE(line.IsOpen());
        ::close(sp[1]);
        EXPECT_EQ(line.ReadLineData(buf, sizeof buf, 1000), 0);
        EXPECT_FALSE(line.IsOpen());
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(::fcntl(sp[0], F_GETFL) & O_NONBLOCK, 0);
    ::close(sp[0]);
}

}  // namespace
}  // namespace marlo
