#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "terminal/UserKeyTable.h"

namespace marlo {
namespace {

TEST(UserKeyTable, EditsACopyAndStoresAllTwelve) {
    Settings s;
    s.UserKey[0] = "ls^M";
    s.UserKeyF[0] = "\x88\xea\x97\x97";  // a Shift-JIS label
    s.UserKeyK[5] = 7;                   // an unknown kind is the text kind
    UserKeyTable table(s);
    EXPECT_EQ(table.At(0).text, "ls^M");
    EXPECT_EQ(table.At(5).kind, 0);
    table.Set(11, {"go.mac", "Go", 1});
    table.Set(12, {"ignored", "", 0});
    EXPECT_EQ(s.UserKey[11], "");  // nothing changes before the store
    table.Store(s);
    EXPECT_EQ(s.UserKey[11], "go.mac");
    EXPECT_EQ(s.UserKeyF[11], "Go");
    EXPECT_EQ(s.UserKeyK[11], 1);
    EXPECT_EQ(s.UserKeyK[5], 0);
    EXPECT_EQ(FunctionBarLabel(s, 0), "F1 \x88\xea\x97\x97");
    EXPECT_EQ(FunctionBarLabel(s, 3), "F4");
}

TEST(UserKeyTable, LongTextIsCutOnACharacterBoundary) {
    Settings s;
    UserKeyTable table(s);
    std::string text = "a";
    for (int i = 0; i < 200; ++i) text += "\x88\x9f";
    table.Set(0, {text, "", 0});
    const std::string& kept = table.At(0).text;
    EXPECT_EQ(kept.size(), 259u);  // 260 would split the 130th character
    EXPECT_EQ(kept.substr(kept.size() - 2), "\x88\x9f");
}

}  // namespace
}  // namespace marlo
