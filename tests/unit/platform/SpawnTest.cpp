#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Spawn.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

TEST(SpawnDetached, StartsAloneWithoutOurDescriptorsAndSaysWhatCannotStart) {
    test::TempDir dir;
    const std::string out = dir.Str() + "/fds";
    int open = ::open("/dev/null", O_RDONLY);
    int leaked = ::fcntl(open, F_DUPFD, 50);  // not closed at exec
    ASSERT_GE(leaked, 50);
    // Arguments reach the program as they are, blanks and all, with no shell reading them.
    ASSERT_TRUE(SpawnDetached({"sh", "-c", "ls /proc/self/fd > \"$1.tmp\"; echo $PPID >> \"$1.tmp\"; mv \"$1.tmp\" \"$1\"",
                               "sh", out}));
    ::close(leaked);
    ::close(open);
    std::string text;
    for (int i = 0; i < 100 && (text = test::ReadWhole(out)).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(text.find("50\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(0, 6), "0\n1\n2\n") << text;
    EXPECT_EQ(text.rfind(std::to_string(::getpid()) + "\n"), std::string::npos) << "not our child";
    // Nothing is left for us to reap.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);

    EXPECT_FALSE(SpawnDetached({"/nonexistent/program", "x"}));
    EXPECT_FALSE(SpawnDetached({dir.Str()}));  // a folder
    EXPECT_FALSE(SpawnDetached({}));
}

}  // namespace
}  // namespace marlo
