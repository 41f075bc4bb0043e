// The receive path into the screen, under every emulation and receive code and odd settings (a
// short buffer, a narrow or split view, no automatic margin, CR and LF expansion, the katakana
// shift, the automatic transfer start). Whatever the bytes: the buffer's last line, the dumb
// column and every view's cursor stay in bounds, and the screen, the terminal's state and the
// capture log are the same whether the bytes arrive in one block, byte by byte, or in the blocks
// the input chooses with plain text taken byte by byte.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "settings/Settings.h"
#include "terminal/Terminal.h"
#include "unit/terminal/FakeHost.h"

namespace marlo::fuzz {
namespace {

// The automatic transfer start swallows ENQ and, when asked, '0' (as a start pattern would).
struct StartHooks : ITerminalHooks {
    explicit StartHooks(bool swallowZero) : swallowZero(swallowZero) {}
    bool OnAutoStartByte(uint8_t b) override { return b != 0x05 && !(swallowZero && b == '0'); }
    bool swallowZero;
};

struct Setup {
    Settings settings;
    int columns = 80;
    bool split = false;
    bool hooks = false;
    bool swallowZero = false;
};

class Screen {
  public:
    Screen(const Setup& s, bool textRuns) : terminal_(s.settings), hooks_(s.swallowZero) {
        terminal_.SetTextRuns(textRuns);
        for (int i = 0; i < terminal_.ViewCount(); ++i)
            terminal_.View(i).SetVisibleSize(terminal_.View(i).VisibleRows(), s.columns);
        if (s.split) terminal_.SplitView();
        if (s.hooks) terminal_.SetHooks(&hooks_);
        terminal_.AddCaptureSink(&log_);
    }

    void Feed(const uint8_t* p, size_t n) {
        terminal_.ProcessReceived(p, n);
        CheckBounds();
    }

    // Everything the received bytes can change is the same in `other`. The buffers are compared
    // in place, line by line: a whole buffer written out as text costs more than the run.
    void ExpectSameAs(Screen& other, const std::string& what) {
        const ScreenBuffer& a = terminal_.Buffer();
        const ScreenBuffer& b = other.terminal_.Buffer();
        for (int line = 0; line < a.Lines(); ++line) {
            const uint8_t* planes[][4] = {
                {a.Chars(line), a.Flags(line), a.Fore(line), a.Back(line)},
                {b.Chars(line), b.Flags(line), b.Fore(line), b.Back(line)}};
            for (int p = 0; p < 4; ++p)
                if (std::memcmp(planes[0][p], planes[1][p], kBufferColumns) != 0)
                    ExpectSame(
                        std::string(reinterpret_cast<const char*>(planes[0][p]), kBufferColumns),
                        std::string(reinterpret_cast<const char*>(planes[1][p]), kBufferColumns),
                        what + ": line " + std::to_string(line) + " plane " + std::to_string(p));
        }
        ExpectSame(State(), other.State(), what);
    }

  private:
    // The rest of what the received bytes can change.
    std::string State() {
        const ScreenBuffer& b = terminal_.Buffer();
        std::string s =
            "last " + std::to_string(b.LastLine()) + " dumb " + std::to_string(b.DumbColumn());
        const CellAttributes& a = b.Attributes();
        s += " attrs " + std::to_string(a.flags) + "," + std::to_string(a.fore) + "," +
             std::to_string(a.back) + " tabs ";
        for (bool t : b.TabStops()) s += t ? '1' : '0';
        s += " escape ";
        if (terminal_.InEscape()) s += reinterpret_cast<const char*>(terminal_.EscapeText());
        s += terminal_.KatakanaShift() ? " kana" : "";
        for (int i = 0; i < terminal_.ViewCount(); ++i) {
            const TerminalView& v = terminal_.View(i);
            s += " view " + std::to_string(v.TopLine()) + "," + std::to_string(v.LeftColumn()) +
                 "," + std::to_string(v.CursorRow()) + "," + std::to_string(v.CursorColumn());
        }
        return s + "|log " + log_.bytes.substr(0, log_.pos);
    }

    void CheckBounds() {
        const ScreenBuffer& b = terminal_.Buffer();
        if (b.LastLine() < 0 || b.LastLine() >= b.Lines()) Fail("last line out of the buffer");
        if (b.DumbColumn() < 0 || b.DumbColumn() >= kBufferColumns) Fail("dumb column out");
        for (int i = 0; i < terminal_.ViewCount(); ++i) {
            const TerminalView& v = terminal_.View(i);
            if (v.TopLine() < 0 || v.TopLine() > b.LastLine()) Fail("top line out of the buffer");
            if (v.CursorRow() < 0 || v.CursorRow() >= v.VisibleRows()) Fail("cursor row out");
            if (v.CursorColumn() < 0 || v.CursorColumn() >= kBufferColumns)
                Fail("cursor column out");
            if (v.LeftColumn() < 0 || v.LeftColumn() + v.VisibleColumns() > kBufferColumns)
                Fail("left column out");
            int line, column;
            v.GetCursor(line, column);
            if (line < 0 || line >= b.Lines()) Fail("cursor line out of the buffer");
        }
    }

    Terminal terminal_;
    StartHooks hooks_;
    CaptureRecorder log_;
};

}  // namespace

void FuzzOne(Input& in) {
    Setup setup;
    Settings& s = setup.settings;
    const int mode = in.Byte();
    s.Emulation = mode % 4;
    s.CodeExchange = mode / 4 % 6;
    const uint8_t flags = in.Byte();
    s.AutoMargin = flags & 1;
    s.BSDel = flags >> 1 & 1;
    s.RcvCRLF = flags >> 2 & 1;
    s.RcvLFCR = flags >> 3 & 1;
    s.SISO = flags >> 4 & 1;
    s.DataLen = s.SISO ? 7 : 8;
    s.ScrollSpeed = flags >> 5 & 1;
    setup.split = flags >> 6 & 1;
    setup.hooks = flags >> 7 & 1;
    const uint8_t size1 = in.Byte();
    // Mostly short buffers: a long one costs more to set up and compare than the run itself, and
    // fills up only after as many lines. 255 keeps the default size in reach.
    s.BufferSize = size1 == 255 ? 1000 : size1 >= 240 ? 120 : 30 + size1 % 20;
    s.ClearUp = in.Below(101);
    s.LineColumn = {80, 1 + in.Below(60)};
    setup.columns = 1 + in.Below(80);
    setup.swallowZero = in.Flag();
    uint32_t chunkSeed = in.Word() | 1;
    const std::string bytes = in.Rest();
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());

    Screen whole(setup, true), single(setup, true), chunked(setup, false);
    if (!bytes.empty()) whole.Feed(p, bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) single.Feed(p + i, 1);
    for (size_t i = 0; i < bytes.size();) {
        chunkSeed ^= chunkSeed << 13;
        chunkSeed ^= chunkSeed >> 17;
        chunkSeed ^= chunkSeed << 5;
        size_t n = std::min<size_t>(1 + chunkSeed % 97, bytes.size() - i);
        chunked.Feed(p + i, n);
        i += n;
    }
    whole.ExpectSameAs(single, "one block and byte by byte differ");
    whole.ExpectSameAs(chunked, "one block and chosen blocks without text runs differ");
}

}  // namespace marlo::fuzz
