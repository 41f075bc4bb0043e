// The desktop window under a flood: 10 MB of text and 10 MB of VT100 full-screen redraws written
// into the far end of a pty whose near end is the frame's serial port, with the real main window
// showing them on the display (run under Xvfb: xvfb-run -a build/bench/FloodBench). Prints MB/s,
// CPU seconds per MB and the longest stall of the event loop, and the same stream through xterm
// running cat, in the same run.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "ui/MainWindow.h"
#include "ui/UiTestSupport.h"

using namespace marlo;

namespace {

constexpr const char* kEnd = "END-OF-FLOOD";

std::string Text(size_t bytes) {
    std::string out;
    char line[96];
    for (int n = 1; out.size() < bytes; ++n) {
        std::snprintf(line, sizeof line,
                      "line %07d the quick brown fox jumps over the lazy dog 0123456789\r\n", n);
        out += line;
    }
    return out + kEnd + "\r\n";
}

// Whole screens: home, then 24 rows each placed and coloured.
std::string Redraws(size_t bytes) {
    std::string out;
    char row[160];
    for (int frame = 0; out.size() < bytes; ++frame) {
        out += "\x1b[H";
        for (int r = 1; r <= 24; ++r) {
            std::snprintf(row, sizeof row,
                          "\x1b[%d;1H\x1b[3%dm\x1b[1mframe %06d row %02d\x1b[0m status: "
                          "%-40s\x1b[K",
                          r, (frame + r) % 8, frame, r, (r % 2) ? "running" : "waiting for host");
            out += row;
        }
    }
    return out + "\x1b[24;1H" + kEnd + "\r\n";
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    double seconds = 0;
    double cpu = 0;
    double stallMs = 0;
};

Figures ThroughMarlo(const std::string& stream, int emulation) {
    test::PtyWindow w([&](Settings& s) { s.Emulation = emulation; });
    CMainFrame& frame = *w.frame;
    for (int i = 0; i < 50; ++i) QApplication::processEvents();

    // The event loop's longest gap: a timer that should tick every 5 ms.
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    const int wait = frame.Wait().Arm({kEnd}, true);
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    sinceTick.start();
    tick.start();
    std::thread writer([&] { w.pty.Write(stream); });
    while (frame.Wait().Matched(wait) == 0)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const auto t1 = std::chrono::steady_clock::now();
    tick.stop();
    writer.join();
    Figures f;
    f.seconds = std::chrono::duration<double>(t1 - t0).count();
    f.cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    f.stallMs = static_cast<double>(longest);
    frame.Wait().Disarm(wait);
    return f;
}

Figures ThroughXterm(const std::string& stream) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/flood.txt";
    std::ofstream(path, std::ios::binary) << stream;
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execlp("xterm", "xterm", "-geometry", "80x24", "-e", "cat", path.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Figures f;
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    f.cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) f.seconds = -1;
    return f;
}

void Print(const char* what, const std::string& stream, const Figures& f, bool stall) {
    const double mb = static_cast<double>(stream.size()) / 1e6;
    if (f.seconds < 0) {
        std::printf("%-28s could not run\n", what);
        return;
    }
    std::printf("%-28s %6.2f s %8.1f MB/s %7.3f CPU s/MB", what, f.seconds, mb / f.seconds,
                f.cpu / mb);
    if (stall) std::printf("   longest stall %4.0f ms", f.stallMs);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "FloodBench needs a display: xvfb-run -a %s\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const std::string text = Text(10u << 20);
    const std::string redraws = Redraws(10u << 20);
    std::printf("10 MB through a pty into the window, and into xterm running cat\n");
    Print("marlo dumb, text", text, ThroughMarlo(text, 0), true);
    Print("marlo VT100, text", text, ThroughMarlo(text, 1), true);
    Print("marlo VT100, redraws", redraws, ThroughMarlo(redraws, 1), true);
    Print("xterm, text", text, ThroughXterm(text), false);
    Print("xterm, redraws", redraws, ThroughXterm(redraws), false);
    return 0;
}
