#include <gtest/gtest.h>

#include "hosts/HostSheet.h"
#include "hosts/HostTable.h"
#include "hosts/Password.h"
#include "settings/Settings.h"
#include "support/MemoryStore.h"
#include "support/RunProgram.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

using test::MemoryStore;

HostEntry Entry(const std::string& name) {
    HostEntry e;
    e.Name = name;
    return e;
}

// An entry whose every field differs from both default sets.
HostEntry Unusual(const std::string& name) {
    HostEntry e = Entry(name);
    int n = 1000;
    for (const HostField& f : HostFields(e)) {
        if (f.number)
            *f.number = ++n;
        else
            *f.text = std::string(f.name) + "-value";
    }
    e.Password = "s3cret pass";
    e.AutoCommand = std::string(200, 'a') + "{ID:}$I'";  // longer than any fixed buffer
    e.TelNum1 = std::string(150, '9');
    return e;
}

TEST(HostTable, SaveAndLoadRoundTripEveryFieldAndTheOrder) {
    HostTable table;
    ASSERT_TRUE(table.Add(Unusual("zeta")).ok);
    ASSERT_TRUE(table.Add(Entry("alpha")).ok);
    ASSERT_TRUE(table.Add(Unusual(Utf8ToSjis("表示ホスト"))).ok);  // 0x5C second byte
    MemoryStore store;
    std::vector<std::string> messages;
    ASSERT_TRUE(table.Save(store, &messages));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(store.saves, 1);
    store.Restart();

    HostTable loaded;
    EXPECT_TRUE(loaded.Load(store).empty());
    EXPECT_EQ(loaded, table);
    // The password is not stored as typed.
    EXPECT_EQ(store.GetText("Host\\zeta", "Password"), ScramblePassword("s3cret pass"));
    EXPECT_EQ(store.GetNumber("Host\\alpha", "Order"), 1);
    EXPECT_EQ(store.GetNumber("Host\\zeta", "SI/SO"), table.At(0).SISO);
}

TEST(HostTable, MissingValuesTakeTheLoadDefaults) {
    MemoryStore store;
    store.SetNumber("Host\\bare", "Order", 0);
    HostTable table;
    EXPECT_TRUE(table.Load(store).empty());
    ASSERT_EQ(table.Size(), 1u);
    HostEntry expected = HostEntry::LoadDefaults();
    expected.Name = "bare";
    EXPECT_EQ(table.At(0), expected);
}

TEST(HostTable, StoredOrderWithGapsRepeatsAndHugeValuesIsCompacted) {
    MemoryStore store;
    const struct {
        const char* name;
        std::optional<int32_t> order;
    } stored[] = {{"c", 7}, {"a", -1 /* 4294967295 */}, {"b", 7}, {"d", std::nullopt}, {"e", 2}};
    for (const auto& s : stored) {
        store.SetText(std::string("Host\\") + s.name, "TelNum1", "1");
        if (s.order) store.SetNumber(std::string("Host\\") + s.name, "Order", *s.order);
    }
    HostTable table;
    table.Load(store);
    std::vector<std::string> names;
    for (const auto& e : table.Entries()) names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"e", "c", "b", "a", "d"}));
}

TEST(HostTable, PasswordThatCannotBeScrambledOrRestoredIsEmptiedWithItsMessage) {
    HostTable table;
    HostEntry kanji = Entry("k");
    kanji.Password = Utf8ToSjis("秘密");
    ASSERT_TRUE(table.Add(kanji).ok);
    ASSERT_TRUE(table.Add(Entry("plain")).ok);
    MemoryStore store;
    std::vector<std::string> messages;
    ASSERT_TRUE(table.Save(store, &messages));
    EXPECT_EQ(messages, std::vector<std::string>{kPasswordScrambleFailed});
    EXPECT_EQ(store.GetText("Host\\k", "Password"), "");

    store.SetText("Host\\plain", "Password", "bad\x01");
    HostTable loaded;
    EXPECT_EQ(loaded.Load(store), std::vector<std::string>{kPasswordRestoreFailed});
    EXPECT_EQ(loaded.At(1).Password, "");
}

TEST(HostTable, FailedSaveKeepsThePreviousTable) {
    HostTable table;
    ASSERT_TRUE(table.Add(Entry("one")).ok);
    ASSERT_TRUE(table.Add(Entry("two")).ok);
    MemoryStore store;
    ASSERT_TRUE(table.Save(store));
    table.Remove(0);
    store.failSave = true;
    EXPECT_FALSE(table.Save(store));
    store.Restart();
    HostTable loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded.Size(), 2u);
}

TEST(HostTable, NamesAreEscapedInKeys) {
    for (const std::string& name :
         {std::string("a\\b"), std::string("100%"), Utf8ToSjis("ソフト"), std::string("x%5Cy")}) {
        EXPECT_EQ(HostNameFromKey(HostKeyName(name)), name);
        EXPECT_EQ(HostKeyName(name).find('\\'), std::string::npos) << name;
    }
}

TEST(HostTable, BadNamesAreRefused) {
    HostTable table;
    EXPECT_EQ(table.Add(Entry("")).message, kHostNameEmpty);
    EXPECT_EQ(table.Add(Entry(std::string(31, 'n'))).message, kHostNameTooLong);
    EXPECT_TRUE(table.Add(Entry(std::string(30, 'n'))).ok);
    EXPECT_EQ(table.Add(Entry("tab\tname")).message, kHostNameBadChar);
    EXPECT_EQ(table.Add(Entry("half\x88")).message, kHostNameBadChar);
    EXPECT_TRUE(table.Add(Entry(Utf8ToSjis("ニフティ"))).ok);
    EXPECT_EQ(table.Add(Entry(Utf8ToSjis("ニフティ"))).message, kHostDuplicate);
    EXPECT_EQ(table.Size(), 2u);
}

TEST(HostTable, WindowCommands) {
    HostTable table;
    for (const char* n : {"b", "a", "c"}) ASSERT_TRUE(table.Add(Entry(n)).ok);
    // Copy to its own name is a duplicate; to a new name it copies every field.
    EXPECT_EQ(table.Copy(0, "b").message, kHostDuplicate);
    auto copied = table.Copy(2, "d");
    ASSERT_TRUE(copied.ok);
    EXPECT_EQ(copied.index, 3u);
    // Properties may keep the entry's own name but not take another's.
    HostEntry edited = table.At(0);
    edited.Speed = 9600;
    EXPECT_TRUE(table.Replace(0, edited).ok);
    edited.Name = "a";
    EXPECT_EQ(table.Replace(0, edited).message, kHostDuplicate);
    EXPECT_EQ(table.At(0).Speed, 9600);
    // Moves stop at the ends.
    EXPECT_FALSE(table.MoveUp(0));
    EXPECT_FALSE(table.MoveDown(3));
    EXPECT_TRUE(table.MoveDown(0));
    EXPECT_EQ(table.At(1).Name, "b");
    table.SortByName();
    EXPECT_EQ(table.At(0).Name, "a");
    EXPECT_EQ(table.At(3).Name, "d");
    // Deleting the last selects the new last; deleting elsewhere keeps the position.
    EXPECT_EQ(table.Remove(3), 2u);
    EXPECT_EQ(table.Remove(0), 0u);
    EXPECT_EQ(table.At(0).Name, "b");
    EXPECT_EQ(table.Remove(7), std::nullopt);
    table.Remove(0);
    EXPECT_EQ(table.Remove(0), std::nullopt);
    EXPECT_TRUE(table.Empty());
}

TEST(HostTable, SettleNameAsksUntilAcceptedOrCancelled) {
    HostTable table;
    table.Add(Entry("taken"));
    std::vector<std::string> told, prefills;
    std::vector<std::optional<std::string>> answers = {"", "taken", "free"};
    size_t next = 0;
    auto tell = [&](const std::string& m) { told.push_back(m); };
    auto ask = [&](const std::string& p) {
        prefills.push_back(p);
        return answers[next++];
    };
    EXPECT_EQ(SettleHostName(table, "taken", std::nullopt, tell, ask), "free");
    EXPECT_EQ(told, (std::vector<std::string>{kHostDuplicate, kHostNameEmpty, kHostDuplicate}));
    EXPECT_EQ(prefills, (std::vector<std::string>{"taken", "", "taken"}));
    // The entry's own name is fine when editing it.
    EXPECT_EQ(SettleHostName(table, "taken", 0, tell, ask), "taken");
    answers = {std::nullopt};
    next = 0;
    EXPECT_EQ(SettleHostName(table, "taken", std::nullopt, tell, ask), std::nullopt);
}

TEST(HostTable, ApplyCopiesExactlyTheEntrysLineAndTerminalSettings) {
    HostEntry e = Unusual("host");
    e.Emulation = 3;
    e.Log = 1;
    e.LogHead = "NF";
    e.Line = 1;
    Settings before;
    before.LogSaveForm = 0;
    before.LogDefault = 0;
    Settings s = before;
    const HostApplyActions a = ApplyHostEntry(e, s);

    // Each applied setting now holds the entry's value; the port stays.
    // clang-format off
    const std::pair<const char*, int32_t Settings::*> applied[] = {
        {"Speed", &Settings::Speed}, {"DataLen", &Settings::DataLen},
        {"StopBit", &Settings::StopBit}, {"Parity", &Settings::Parity}, {"Flow", &Settings::Flow},
        {"Emulation", &Settings::Emulation}, {"BreakTime", &Settings::BreakTime},
        {"ReadSize", &Settings::ReadSize}, {"CodeExchange", &Settings::CodeExchange},
        {"CodeExchange2", &Settings::CodeExchange2}, {"RcvCRLF", &Settings::RcvCRLF},
        {"RcvLFCR", &Settings::RcvLFCR}, {"SndCRLF", &Settings::SndCRLF},
        {"BS2Byte", &Settings::BS2Byte}, {"BSDel", &Settings::BSDel},
        {"AutoMargin", &Settings::AutoMargin}, {"LocalEcho", &Settings::LocalEcho},
        {"AutoBplus", &Settings::AutoBplus}, {"AutoZMODEM", &Settings::AutoZMODEM},
        {"FKLocal", &Settings::FKLocal}, {"SI/SO", &Settings::SISO},
        {"FileNameCode", &Settings::FileNameCode},
    };
    // clang-format on
    for (const auto& [name, member] : applied) {
        for (const HostField& f : HostFields(e))
            if (std::string(f.name) == name) {
                EXPECT_EQ(s.*member, *f.number) << name;
            }
    }
    EXPECT_EQ(s.Port, before.Port);
    EXPECT_EQ(s.LogSaveForm, 1);
    EXPECT_EQ(s.LogDefault, 1);
    EXPECT_EQ(s.LogDefPath, before.LogDefPath);
    EXPECT_TRUE(a.telnet);
    EXPECT_TRUE(a.resetTerminal);
    EXPECT_TRUE(a.resetTabStops);
    EXPECT_TRUE(a.clearSendKanjiMode);
    EXPECT_TRUE(a.startLog);
    EXPECT_EQ(a.logPrefix, "NF");

    HostEntry dumb = Entry("dumb");
    Settings s2;
    const HostApplyActions b = ApplyHostEntry(dumb, s2);
    EXPECT_FALSE(b.telnet);
    EXPECT_FALSE(b.resetTerminal);
    EXPECT_FALSE(b.startLog);
    EXPECT_EQ(s2.LogSaveForm, Settings().LogSaveForm);
}

TEST(HostSheet, ControlsFollowTheChoices) {
    HostEntry e;
    auto c = SheetControls(e);
    EXPECT_TRUE(c.telephone);
    EXPECT_FALSE(c.telnet);
    EXPECT_FALSE(c.outsideLine);
    EXPECT_FALSE(c.redialCount);  // Infinite is on for a new entry
    e.Internal = 1;
    e.Infinite = 0;
    c = SheetControls(e);
    EXPECT_TRUE(c.outsideLine);
    EXPECT_TRUE(c.redialCount);
    e.Line = 1;
    c = SheetControls(e);
    EXPECT_FALSE(c.telephone);
    EXPECT_FALSE(c.outsideLine);
    EXPECT_TRUE(c.telnet);

    TickMacro(e, true);
    TickLogon(e, true);
    EXPECT_EQ(e.Macro, 0);
    EXPECT_EQ(e.Logon, 1);
    c = SheetControls(e);
    EXPECT_FALSE(c.macroCheck);
    EXPECT_TRUE(c.logonPattern);
    EXPECT_FALSE(c.macroFile);
}

TEST(HostSheet, RefusedValues) {
    HostEntry ok =
        Entry(Utf8ToSjis("ＮＩＦＴＹ－Ｓｅｒｖｅ　ＡＢＣ"));  // 15 double-byte characters
    std::string kanji;
    for (int i = 0; i < 150; ++i) kanji += "漢";
    ok.AutoCommand = Utf8ToSjis(kanji);  // 300 bytes, 150 characters
    EXPECT_EQ(CheckHostSheet(ok), std::nullopt);
    struct Case {
        void (*change)(HostEntry&);
        bool refused;
    } cases[] = {
        {[](HostEntry& e) { e.Bitmap = 14; }, true},
        {[](HostEntry& e) { e.Interval = 1000; }, true},
        {[](HostEntry& e) { e.Interval = 999; }, false},
        {[](HostEntry& e) { e.RedialNum = 5000; }, false},  // ignored while calling until connected
        {[](HostEntry& e) { e.Infinite = 0, e.RedialNum = 5000; }, true},
        {[](HostEntry& e) { e.AutoCommand = std::string(201, 'p'); }, true},
        {[](HostEntry& e) { e.AutoCommand = std::string(200, 'p'); }, false},
        {[](HostEntry& e) { e.Password = std::string(101, 'p'); }, true},
        {[](HostEntry& e) { e.Speed = 2401; }, true},
        {[](HostEntry& e) { e.Speed = 115200; }, false},
        {[](HostEntry& e) { e.Long = 7; }, true},
        {[](HostEntry& e) { e.LogHead = "ABC"; }, true},
        {[](HostEntry& e) { e.Name = ""; }, true},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        HostEntry e = ok;
        cases[i].change(e);
        EXPECT_EQ(CheckHostSheet(e).has_value(), cases[i].refused) << "case " << i;
    }
}

TEST(HostsCli, SubCommandsAndTheirStatuses) {
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"hosts", "list"}, 0},
        {{"hosts", "show", "nobody"}, 1},
        {{"hosts", "connect", "nobody"}, 1},
        {{"hosts"}, 2},
        {{"hosts", "list", "--bogus"}, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(test::RunProgram(MARLO_CLI_PATH, c.args).status, c.status) << c.args.back();
}

}  // namespace
}  // namespace marlo
