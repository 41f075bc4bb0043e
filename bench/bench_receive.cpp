// Receive-path throughput: bytes per second through Terminal::ProcessReceived in blocks of 4096
// bytes into a full 1000-line buffer, for dumb-terminal ASCII and Shift-JIS text, for a VT100
// stream of full-screen redraws with cursor moves and SGR, for xterm's text, the same redraws and
// scrolling inside a region with 256 colours; the dumb ASCII text with each line's time kept, and
// the hex dump the frame keeps of every received block.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "settings/Settings.h"
#include "terminal/HexDump.h"
#include "terminal/LineStamps.h"
#include "terminal/Terminal.h"

namespace {

using marlo::Settings;
using marlo::Terminal;

std::string AsciiText(size_t size, std::mt19937& rng) {
    static const char words[][10] = {"the",      "line", "host",  "menu",  "mail",
                                     "board",    "news", "of",    "to",    "a",
                                     "download", "file", "NIFTY", "forum", "12345"};
    std::string out;
    std::string line;
    while (out.size() < size) {
        line.clear();
        size_t width = 40 + rng() % 38;
        while (line.size() < width) {
            line += words[rng() % std::size(words)];
            line += ' ';
        }
        out += line + "\r\n";
    }
    return out;
}

std::string SjisText(size_t size, std::mt19937& rng) {
    std::string out;
    int column = 0;
    while (out.size() < size) {
        if (rng() % 5 == 0) {
            out += static_cast<char>('a' + rng() % 26);
            ++column;
        } else {
            // A JIS X 0208 kanji in Shift-JIS: lead 0x88..0x9F, trail 0x40..0x7E or 0x80..0xFC.
            out += static_cast<char>(0x88 + rng() % 0x18);
            int trail = 0x40 + static_cast<int>(rng() % 0xBC);
            if (trail == 0x7F) trail = 0x80;
            out += static_cast<char>(trail);
            column += 2;
        }
        if (column >= 70) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

std::string Vt100Stream(size_t size, std::mt19937& rng) {
    std::string out;
    const char* colours[] = {"\x1b[m",      "\x1b[1m",    "\x1b[7m", "\x1b[1;33m",
                             "\x1b[32;40m", "\x1b[0;36m", "\x1b[4m"};
    while (out.size() < size) {
        out += "\x1b[H\x1b[2J";
        for (int row = 1; row <= 24; ++row) {
            out += "\x1b[" + std::to_string(row) + ";1H";
            for (int field = 0; field < 4; ++field) {
                out += colours[rng() % std::size(colours)];
                for (int i = 0; i < 14; ++i) out += static_cast<char>('!' + rng() % 90);
                out += "\x1b[m ";
            }
            out += "\x1b[K";
        }
        // A status line update and a few scrolled lines, as editors and pagers send them.
        out += "\x1b[24;1H\x1b[7m-- more --\x1b[m\x1b[24;1H\x1b[K";
        for (int i = 0; i < 3; ++i) out += "\r\nscrolled line of plain text " + std::to_string(i);
        out += "\x1b[10;20H\x1b[2A\x1b[5C\x1b[3B\x1b[1D\x1b[s\x1b[u";
    }
    return out;
}

// An editor scrolling inside a region with 256-colour text, as vim and less do under xterm.
std::string XtermScrollStream(size_t size, std::mt19937& rng) {
    std::string out = "\x1b[?1049h\x1b[1;23r";
    while (out.size() < size) {
        out += "\x1b[23;1H\n\x1b[38;5;" + std::to_string(rng() % 256) + "m";
        for (int i = 0; i < 60; ++i) out += static_cast<char>('!' + rng() % 90);
        out += "\x1b[m\x1b[K\x1b[1;1H\x1bM\x1b[24;1H\x1b[7mstatus\x1b[m\x1b[K";
    }
    return out;
}

// CPU time of this thread: on a busy machine wall time also counts other programs' turns.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Rate {
    double wall, cpu;  // MB/s
};

Rate MegabytesPerSecond(const std::string& data, int emulation, int rounds, int timeStamp) {
    Settings s;
    s.ReadSize = 4096;
    s.Emulation = emulation;
    s.TimeStamp = timeStamp;
    Terminal t(s);
    // Fill the buffer first so that every run also pays for dropping the oldest lines.
    std::string fill;
    for (int i = 0; i < 1100; ++i) fill += "filling line " + std::to_string(i) + "\r\n";
    t.ProcessReceived(reinterpret_cast<const uint8_t*>(fill.data()), fill.size());
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    const size_t block = static_cast<size_t>(s.ReadBlockSize());
    auto start = std::chrono::steady_clock::now();
    double cpuStart = ThreadSeconds();
    for (int r = 0; r < rounds; ++r)
        for (size_t at = 0; at < data.size(); at += block)
            t.ProcessReceived(p + at, std::min(block, data.size() - at));
    double cpu = ThreadSeconds() - cpuStart;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double megabytes = static_cast<double>(data.size()) * rounds / 1e6;
    return {megabytes / wall, megabytes / cpu};
}

}  // namespace

int main() {
    std::mt19937 rng(1995);
    const size_t size = 16u << 20;
    std::string ascii = AsciiText(size, rng);
    std::string sjis = SjisText(size, rng);
    std::string vt = Vt100Stream(size, rng);
    std::string xtermScroll = XtermScrollStream(size, rng);
    std::printf(
        "receive path, ReadSize 4096, full 1000-line buffer (MB/s: wall clock, thread CPU)\n");
    struct {
        const char* name;
        const std::string& data;
        int emulation;
        int target;
        int timeStamp;
    } runs[] = {{"dumb, ASCII text", ascii, 0, 100, marlo::kStampOff},
                {"dumb, Shift-JIS text", sjis, 0, 100, marlo::kStampOff},
                {"VT100 redraw stream", vt, 1, 50, marlo::kStampOff},
                {"xterm, ASCII text", ascii, 3, 100, marlo::kStampOff},
                {"xterm redraw stream", vt, 3, 50, marlo::kStampOff},
                {"xterm scroll region", xtermScroll, 3, 50, marlo::kStampOff},
                {"dumb, ASCII, times", ascii, 0, 100, marlo::kStampClock}};
    for (const auto& r : runs) {
        Rate rate = MegabytesPerSecond(r.data, r.emulation, 4, r.timeStamp);
        std::printf("  %-22s %8.1f %8.1f  (target >= %d)\n", r.name, rate.wall, rate.cpu, r.target);
    }
    // The hex dump the frame keeps beside the terminal.
    marlo::HexDump dump;
    const double cpuStart = ThreadSeconds();
    for (size_t at = 0; at < sjis.size(); at += 4096)
        dump.Append(reinterpret_cast<const uint8_t*>(sjis.data()) + at,
                    std::min<size_t>(4096, sjis.size() - at));
    std::printf("  %-22s %17.1f  (thread CPU)\n", "hex dump, Shift-JIS",
                static_cast<double>(sjis.size()) / 1e6 / (ThreadSeconds() - cpuStart));
    // What a view pays once for the newest MiB: decoding it and formatting every row.
    const double shownStart = ThreadSeconds();
    const size_t rows = dump.Format(dump.Begin(), dump.End()).size();
    std::printf(
        "  %-22s %17.1f  (thread CPU, %zu bytes of rows)\n", "hex dump, 1 MiB shown",
        static_cast<double>(dump.End() - dump.Begin()) / 1e6 / (ThreadSeconds() - shownStart),
        rows);
    return 0;
}
