// 20 MB over a pty pair with ZMODEM: our engine sending to rz, sz sending to our engine, and sz to
// rz for comparison. Prints wall time and CPU time (ours and the peers') for each.
#include <signal.h>

#include <cstdio>

#include "PtyBench.h"

namespace fs = std::filesystem;
using namespace marlo::bench;

namespace {

// sz straight into rz, neither of them ours.
Figures RunLrzszPair(const fs::path& src, const std::vector<uint8_t>& data, const fs::path& out) {
    fs::remove_all(out);
    fs::create_directories(out);
    Pty pty = OpenPty();
    Figures f;
    const double childBefore = Cpu(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pids[] = {
        Spawn({"sz", "-q", src.filename().string()}, pty.slave, src.parent_path()),
        Spawn({"rz", "-q"}, pty.master, out)};
    ::close(pty.slave);
    ::close(pty.master);
    f.ok = true;
    for (pid_t p : pids) {
        int st = 0;
        ::waitpid(p, &st, 0);
        f.ok = f.ok && WIFEXITED(st) && WEXITSTATUS(st) == 0;
    }
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.peer = Cpu(RUSAGE_CHILDREN) - childBefore;
    f.ok = f.ok && ReadAll(out / src.filename()) == data;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
    const std::string only = argc > 3 ? argv[3] : "012";  // which of the three to run
    fs::path root = fs::temp_directory_path() / ("marlo-bench-zm-" + std::to_string(::getpid()));
    const fs::path src = root / "src" / "payload.bin", out = root / "out";
    const std::vector<uint8_t> data = WritePayload(src, size);
    const char* names[] = {"ours -> rz", "sz -> ours", "sz -> rz  "};
    std::printf("ZMODEM, %zu bytes over a pty pair, best of %d\n", size, rounds);
    for (int mode : {0, 1, 2}) {
        if (only.find(static_cast<char>('0' + mode)) == std::string::npos) continue;
        bool allOk = true;
        const Figures best = BestOf(
            rounds,
            [&] {
                return mode == 2 ? RunLrzszPair(src, data, out)
                                 : RunZModem(mode == 1, src, data, out);
            },
            allOk);
        std::printf("%s  wall %.3f s  cpu ours %.3f s  cpu peers %.3f s  total cpu %.3f s  %s\n",
                    names[mode], best.wall, best.ours, best.peer, best.ours + best.peer,
                    allOk ? "ok" : "FAILED");
    }
    fs::remove_all(root);
    return 0;
}
