#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/AutoStart.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

// Feeds the blocks in turn: what would be displayed, and the protocols asked for.
std::string FeedBlocks(AutoStartDetector& d, const std::vector<std::string>& blocks, bool bplus,
                       bool zmodem, std::vector<int>& starts) {
    std::string shown;
    for (const std::string& block : blocks)
        for (char ch : block) {
            auto r = d.Feed(static_cast<uint8_t>(ch), bplus, zmodem);
            if (r.display) shown.push_back(ch);
            if (r.protocol) starts.push_back(r.protocol);
        }
    return shown;
}

// The start of a ZMODEM hex header: "**", ZDLE, 'B'.
const std::string kHexStart = std::string("**\x18") + 'B';

TEST(AutoStart, ZmodemStartsOnTheWholeHeaderStartEvenAcrossBlocks) {
    struct Case {
        std::vector<std::string> blocks;
        bool zmodem;
        std::string shown;
        std::vector<int> starts;
    } cases[] = {
        {{kHexStart + "00000"}, true, kHexStart + "0000", {kProtoZmodem}},
        {{"rz\r" + kHexStart.substr(0, 3), "B0", "0"}, true, "rz\r" + kHexStart + "0",
         {kProtoZmodem}},
        {{"*" + kHexStart + "00"}, true, "*" + kHexStart + "00", {}},
        {{kHexStart + "0x0"}, true, kHexStart + "0x0", {}},
        // Switched off: nothing starts, but the last '0' is still taken.
        {{kHexStart + "00"}, false, kHexStart + "0", {}},
    };
    for (const Case& c : cases) {
        AutoStartDetector d;
        std::vector<int> starts;
        EXPECT_EQ(FeedBlocks(d, c.blocks, true, c.zmodem, starts), c.shown);
        EXPECT_EQ(starts, c.starts);
    }
}

TEST(AutoStart, EnqIsTakenAndStartsBPlusOnlyWhenOn) {
    for (bool on : {true, false}) {
        AutoStartDetector d;
        std::vector<int> starts;
        // An ENQ also breaks a ZMODEM start in progress.
        EXPECT_EQ(FeedBlocks(d, {"a**\x05" + kHexStart.substr(2) + "00"}, on, true, starts),
                  "a" + kHexStart + "00");
        EXPECT_EQ(starts, on ? std::vector<int>{kProtoBplus} : std::vector<int>{});
    }
}

}  // namespace
}  // namespace marlo
