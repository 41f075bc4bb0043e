#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace marlo {
namespace {

TEST(CommandLine, Switches) {
    struct Case {
        const char* text;
        bool trace;
        int host;
        bool usage;
    } cases[] = {
        {"", false, 0, false},
        {"/t", true, 0, false},
        {"/T", true, 0, false},
        {"/tx", false, 0, false},  // only the exact token
        {"/h3", false, 3, false},
        {"/H12 /t", true, 12, false},
        {"/h", false, 0, false},     // no number: ignored
        {"/hx", false, 0, false},    // a rest that is no number gives 0
        {"/h-2", false, -2, false},  // signed, as read
        {"/h7abc", false, 7, false},
        {"  /t   /h2  ", true, 2, false},
        {"/?", false, 0, true},
        {"/t /? /h4", true, 0, true},  // usage ends start-up before the rest is read
        {"other /h5", false, 5, false},
    };
    for (const auto& c : cases) {
        auto cl = ParseCommandLine(SplitCommandLine(c.text));
        EXPECT_EQ(cl.trace, c.trace) << c.text;
        EXPECT_EQ(cl.startupHost, c.host) << c.text;
        EXPECT_EQ(cl.showUsage, c.usage) << c.text;
    }
}

TEST(CommandLine, Version) {
    EXPECT_TRUE(ParseCommandLine({"--version"}).showVersion);
    EXPECT_TRUE(ParseCommandLine({"/t", "--version", "/h2"}).showVersion);
    EXPECT_EQ(ParseCommandLine({"--version", "/h2"}).startupHost, 0);
    EXPECT_FALSE(ParseCommandLine({"--versions"}).showVersion);
    EXPECT_FALSE(ParseCommandLine({"/?", "--version"}).showVersion);
}

}  // namespace
}  // namespace marlo
