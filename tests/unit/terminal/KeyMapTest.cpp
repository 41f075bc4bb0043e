#include <gtest/gtest.h>

#include "FakeHost.h"
#include "settings/Settings.h"
#include "terminal/KeyMap.h"
#include "terminal/ViewModel.h"

namespace marlo {
namespace {

const std::string kEscS = "\x1b";

struct KeyCase {
    int emulation;
    TermKey key;
    int modifiers;
    std::string sent;
    KeyAction action;
    int amount;
    bool applicationCursor = false;
};

TEST(KeyMap, CursorAndPageKeysPerEmulation) {
    const KeyCase cases[] = {
        {1, TermKey::Up, 0, kEscS + "OA", KeyAction::None, 0},
        {1, TermKey::Down, 0, kEscS + "OB", KeyAction::None, 0},
        {1, TermKey::Left, 0, kEscS + "OD", KeyAction::None, 0},
        {1, TermKey::Right, kModShift, kEscS + "OC", KeyAction::None, 0},
        {1, TermKey::PageUp, 0, kEscS + "[5~", KeyAction::None, 0},
        {1, TermKey::PageDown, 0, kEscS + "[6~", KeyAction::None, 0},
        {2, TermKey::Up, 0, kEscS + "A", KeyAction::None, 0},
        {2, TermKey::Down, 0, kEscS + "B", KeyAction::None, 0},
        {2, TermKey::Left, 0, kEscS + "D", KeyAction::None, 0},
        {2, TermKey::Right, 0, kEscS + "C", KeyAction::None, 0},
        {2, TermKey::PageUp, 0, "", KeyAction::ScrollLines, -24},
        {2, TermKey::PageDown, 0, "", KeyAction::ScrollLines, 24},
        {0, TermKey::Up, 0, "", KeyAction::ScrollLines, -3},
        {0, TermKey::Up, kModShift, "", KeyAction::ScrollLines, -6},
        {0, TermKey::Down, kModShift, "", KeyAction::ScrollLines, 6},
        {0, TermKey::PageUp, 0, "", KeyAction::ScrollLines, -24},
        {0, TermKey::Left, 0, "", KeyAction::None, 0},   // already at column 0
        {0, TermKey::Right, 0, "", KeyAction::None, 0},  // all 80 columns shown
        {0, TermKey::Home, 0, "", KeyAction::ScrollHome, 0},
        {1, TermKey::Home, 0, "", KeyAction::ScrollHome, 0},
        {2, TermKey::End, 0, "", KeyAction::ScrollEnd, 0},
        {1, TermKey::Up, kModCtrl, "", KeyAction::None, 0},  // not split: nothing
        {1, TermKey::F1, 0, kEscS + "OP", KeyAction::None, 0},
        {1, TermKey::F4, 0, kEscS + "OS", KeyAction::None, 0},
        {1, TermKey::F5, 0, kEscS + "[15~", KeyAction::None, 0},
        {2, TermKey::F10, 0, kEscS + "[21~", KeyAction::None, 0},
        {1, TermKey::F11, 0, kEscS + "[23~", KeyAction::None, 0},
        {1, TermKey::F12, 0, kEscS + "[24~", KeyAction::None, 0},
        {0, TermKey::F5, 0, "", KeyAction::None, 0},  // dumb, FKLocal off: no effect
        {0, TermKey::None, 0, "", KeyAction::Default, 0},
        // Editing keys outside xterm mode are typed text (the view model types BS and DEL).
        {1, TermKey::Insert, 0, "", KeyAction::Default, 0},
        {2, TermKey::Delete, 0, "", KeyAction::Default, 0},
        {0, TermKey::Backspace, 0, "", KeyAction::Default, 0},
        // xterm: normal and application cursor keys, editing keys, modifiers.
        {3, TermKey::Up, 0, kEscS + "[A", KeyAction::None, 0},
        {3, TermKey::Left, 0, kEscS + "[D", KeyAction::None, 0},
        {3, TermKey::Down, 0, kEscS + "OB", KeyAction::None, 0, true},
        {3, TermKey::Right, 0, kEscS + "OC", KeyAction::None, 0, true},
        {3, TermKey::Home, 0, kEscS + "[H", KeyAction::None, 0},
        {3, TermKey::End, 0, kEscS + "OF", KeyAction::None, 0, true},
        {3, TermKey::Insert, 0, kEscS + "[2~", KeyAction::None, 0},
        {3, TermKey::Delete, 0, kEscS + "[3~", KeyAction::None, 0, true},
        {3, TermKey::PageUp, 0, kEscS + "[5~", KeyAction::None, 0},
        {3, TermKey::PageDown, 0, kEscS + "[6~", KeyAction::None, 0},
        {3, TermKey::PageUp, kModShift, "", KeyAction::ScrollLines, -24},  // the history, locally
        {3, TermKey::F1, 0, kEscS + "OP", KeyAction::None, 0, true},
        {3, TermKey::F4, 0, kEscS + "OS", KeyAction::None, 0},
        {3, TermKey::F5, 0, kEscS + "[15~", KeyAction::None, 0},
        {3, TermKey::F12, 0, kEscS + "[24~", KeyAction::None, 0},
        {3, TermKey::Up, kModCtrl, kEscS + "[1;5A", KeyAction::None, 0, true},
        {3, TermKey::Right, kModShift, kEscS + "[1;2C", KeyAction::None, 0},
        {3, TermKey::End, kModAlt | kModCtrl, kEscS + "[1;7F", KeyAction::None, 0},
        {3, TermKey::Delete, kModShift | kModAlt, kEscS + "[3;4~", KeyAction::None, 0},
        {3, TermKey::PageDown, kModCtrl, kEscS + "[6;5~", KeyAction::None, 0},
        {3, TermKey::F2, kModShift, kEscS + "[1;2Q", KeyAction::None, 0},
        {3, TermKey::F10, kModCtrl | kModShift, kEscS + "[21;6~", KeyAction::None, 0},
        {3, TermKey::Backspace, 0, "", KeyAction::Default, 0},
    };
    for (const auto& c : cases) {
        Settings s;
        s.Emulation = c.emulation;
        s.FKLocal = 0;
        FakeHost host;
        Keyboard k(s, host);
        KeyViewState view;
        view.modes.applicationCursor = c.applicationCursor;
        KeyOutcome out = k.KeyDown(c.key, c.modifiers, view);
        SCOPED_TRACE(testing::Message()
                     << "emulation " << c.emulation << " key " << static_cast<int>(c.key));
        EXPECT_EQ(host.sent, c.sent);
        EXPECT_EQ(out.action, c.action);
        EXPECT_EQ(out.amount, c.amount);
    }
}

// Backspace and Delete as the view model types them: BS and DEL, or DEL and CSI 3~ in xterm mode.
TEST(KeyMap, BackspaceAndDeleteThroughTheViewModel) {
    const struct {
        int emulation;
        TermKey key;
        std::string sent;
    } cases[] = {
        {1, TermKey::Backspace, "\b"},
        {0, TermKey::Delete, "\x7f"},
        {3, TermKey::Backspace, "\x7f"},
        {3, TermKey::Delete, kEscS + "[3~"},
    };
    for (const auto& c : cases) {
        Settings s;
        s.Emulation = c.emulation;
        FakeHost host;
        Terminal terminal(s);
        ViewModel model(terminal, 0, s, host);
        model.KeyDown(c.key, 0, false);
        EXPECT_EQ(host.sent, c.sent) << c.emulation << " " << static_cast<int>(c.key);
    }
}

TEST(KeyMap, DumbSideScrollingOnlyWhileColumnsAreHidden) {
    Settings s;
    FakeHost host;
    Keyboard k(s, host);
    KeyViewState view;
    view.visibleColumns = 60;
    EXPECT_EQ(k.KeyDown(TermKey::Right, 0, view).amount, 2);
    view.leftColumn = 20;
    EXPECT_EQ(k.KeyDown(TermKey::Right, 0, view).action, KeyAction::None);
    EXPECT_EQ(k.KeyDown(TermKey::Left, 0, view).amount, -2);
}

TEST(KeyMap, CtrlNavigationGoesToTheOtherPaneAndRangeModeMovesTheSelection) {
    Settings s;
    s.Emulation = 1;
    FakeHost host;
    Keyboard k(s, host);
    KeyViewState view;
    view.split = true;
    KeyOutcome out = k.KeyDown(TermKey::PageDown, kModCtrl, view);
    EXPECT_EQ(out.action, KeyAction::ScrollOther);
    EXPECT_EQ(out.key, TermKey::PageDown);
    view.rangeSelect = true;
    out = k.KeyDown(TermKey::Left, kModShift, view);
    EXPECT_EQ(out.action, KeyAction::MoveSelection);
    EXPECT_TRUE(out.extend);
    EXPECT_FALSE(k.KeyDown(TermKey::Down, 0, view).extend);
    EXPECT_EQ(host.sent, "");
}

TEST(KeyMap, FunctionKeysRunUserKeysWithFkLocal) {
    Settings s;
    s.Emulation = 1;  // FKLocal is on by default
    s.UserKey[0] = "ls^M";
    s.UserKey[1] = "logon.mac";
    s.UserKeyK[1] = 1;
    s.UserKey[2] = "/etc/marlo/x.mac";
    s.UserKeyK[2] = 1;
    s.MacroDefPath = "/home/u/macro";
    FakeHost host;
    Keyboard k(s, host);
    KeyViewState view;
    k.KeyDown(TermKey::F1, 0, view);
    k.KeyDown(TermKey::F2, 0, view);
    k.KeyDown(TermKey::F3, 0, view);
    k.KeyDown(TermKey::F4, 0, view);  // empty: nothing
    EXPECT_EQ(host.sent, "ls\r");
    ASSERT_EQ(host.macros.size(), 2u);
    EXPECT_EQ(host.macros[0], "/home/u/macro/logon.mac");
    EXPECT_EQ(host.macros[1], "/etc/marlo/x.mac");
    host.transfer = true;
    k.KeyDown(TermKey::F1, 0, view);
    EXPECT_EQ(host.sent, "ls\r");
    EXPECT_EQ(host.beeps, 1);
}

TEST(KeyMap, UserKeyExpansion) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"ls^M", "ls\r"}, {"^J^M", "\n\r"}, {"a^Xb", "a^Xb"}, {"^m", "^m"}, {"end^", "end^"},
        {"^^M", "^\r"}, {"\x88\x9f^M", "\x88\x9f\r"}, {"", ""},
    };
    // clang-format on
    for (const auto& [in, out] : cases) EXPECT_EQ(ExpandUserKey(in), out) << in;
}

struct CharFixture : testing::Test {
    CharFixture() : terminal(settings), keys(settings, host) { host.terminal = &terminal; }
    KeyOutcome Type(const std::string& text, int mods = 0, bool scrollBack = false) {
        KeyViewState view;
        view.scrollBack = scrollBack;
        terminal.ActiveView().GetCursor(view.cursorLine, view.cursorColumn);
        return keys.Text(text, mods, view, terminal.Buffer());
    }
    Settings settings;
    FakeHost host;
    Terminal terminal;
    Keyboard keys;
};

TEST_F(CharFixture, BackSpaceAfterAKanjiSendsTwo) {
    Feed(terminal, "a\x88\x9f");
    Type("\b");
    EXPECT_EQ(host.sent, "\b\b");
    host.sent.clear();
    Feed(terminal, "b");
    Type("\b");
    EXPECT_EQ(host.sent, "\b");
    settings.BS2Byte = 0;
    Feed(terminal, "\x88\x9f");
    host.sent.clear();
    Type("\b");
    EXPECT_EQ(host.sent, "\b");
}

TEST_F(CharFixture, BackSpaceTrailByteThatLooksLikeALeadByte) {
    // 0x95 0x9C: the trail 0x9C is also a lead value; only the scan from column 0 tells.
    Feed(terminal, "\x95\x9c");
    Type("\b");
    EXPECT_EQ(host.sent, "\b\b");
}

TEST_F(CharFixture, BackSpaceAtTheStartOfAVtScreen) {
    settings.Emulation = 1;
    Feed(terminal, "\x1b[H");  // row 1 column 1 of line 0: nothing before it
    Type("\b");
    EXPECT_EQ(host.sent, "\b");
    // From column 1 of row 2, the cell left of the cursor is the last one of row 1.
    host.sent.clear();
    Feed(terminal, "\x1b[1;79H\x88\x9f\x1b[2;1H");
    Type("\b");
    EXPECT_EQ(host.sent, "\b\b");
}

TEST_F(CharFixture, BackSpaceDuringATransferOnlyBeeps) {
    Feed(terminal, "\x88\x9f");
    host.transfer = true;
    EXPECT_EQ(Type("\b").action, KeyAction::Beep);
    EXPECT_EQ(host.sent, "");
    EXPECT_EQ(host.beeps, 1);
}

TEST_F(CharFixture, EnterWithSndCrLfAndLocalEcho) {
    settings.SndCRLF = 1;
    settings.LocalEcho = 1;
    settings.RcvCRLF = 1;
    Type("ab\r");
    EXPECT_EQ(host.sent, "ab\r\n");
    EXPECT_EQ(host.echoed, "ab\r");
    EXPECT_EQ(terminal.Buffer().LineText(0), "ab");
    EXPECT_EQ(terminal.Buffer().LastLine(), 1);  // the echoed CR became a new line
}

TEST_F(CharFixture, LocalEchoOfKanjiBypassesTheReceiveDecoder) {
    settings.LocalEcho = 1;
    settings.CodeExchange = 2;  // new JIS on the line
    Type("\x88\x9f");
    EXPECT_EQ(terminal.Buffer().LineText(0), "\x88\x9f");
    // The line's own decoder state is untouched: received JIS still decodes.
    Feed(terminal, "\x1b$B0!\x1b(B");
    EXPECT_EQ(terminal.Buffer().LineText(0), "\x88\x9f\x88\x9f");
}

TEST_F(CharFixture, DumbModeControlsAndRefusals) {
    EXPECT_EQ(Type("\x1b").action, KeyAction::CancelMode);
    EXPECT_EQ(Type("\t").action, KeyAction::FocusOther);
    EXPECT_EQ(Type("x", 0, true).action, KeyAction::Beep);
    EXPECT_EQ(host.sent, "");
    EXPECT_EQ(Type(" ", kModCtrl).action, KeyAction::None);
    EXPECT_EQ(host.breaks, 1);
    EXPECT_EQ(host.sent, "");
    host.transfer = true;
    EXPECT_EQ(Type("y").action, KeyAction::Beep);
    EXPECT_EQ(host.sent, "");
}

TEST_F(CharFixture, VtModesSendEscAndTab) {
    settings.Emulation = 2;
    Type("\x1b\t");
    EXPECT_EQ(host.sent, "\x1b\t");
    // Scroll-back does not stop typing in the VT modes.
    Type("z", 0, true);
    EXPECT_EQ(host.sent, "\x1b\tz");
}

}  // namespace
}  // namespace marlo
