#include <gtest/gtest.h>

#include "hosts/HostSheet.h"
#include "hosts/LogonPresets.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

// The presets are kept as fixed records: a 50-byte name and a 50-byte pattern, or a 30-byte name
// and a 30-byte host name, each with room for its closing NUL. Every name must also convert to
// Shift-JIS whole (a failed character would become "?"; a pattern may hold a real one).
TEST(LogonPresets, EveryPresetFitsItsRecordAndConverts) {
    struct List {
        const std::vector<NamedPreset>& presets;
        size_t count, nameBytes, valueBytes;
    };
    for (const List& list :
         {List{LogonPresets(), 20, 49, 49}, List{TelnetHostPresets(), 9, 29, 29}}) {
        ASSERT_EQ(list.presets.size(), list.count);
        for (const NamedPreset& p : list.presets) {
            SCOPED_TRACE(SjisToUtf8(p.name));
            EXPECT_FALSE(p.name.empty());
            EXPECT_FALSE(p.value.empty());
            EXPECT_LE(p.name.size(), list.nameBytes);
            EXPECT_LE(p.value.size(), list.valueBytes);
            EXPECT_EQ(Utf8ToSjis(SjisToUtf8(p.name)), p.name);
            EXPECT_EQ(p.name.find('?'), std::string::npos);
            EXPECT_EQ(Utf8ToSjis(SjisToUtf8(p.value)), p.value);
        }
    }
}

}  // namespace
}  // namespace marlo
