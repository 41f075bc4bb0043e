// Figures for `marlo-cli connect` over telnet on the loopback interface: a local host sends
// 100 MB of Shift-JIS text lines and closes; marlo-cli (with and without --utf8) and
// `socat -u TCP:... /dev/null` read it into /dev/null in the same run. Each program's best of
// three runs, from its start to its exit.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/Loopback.h"

extern char** environ;

using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kTotal = 100u * 1000 * 1000;

std::string HostText() {
    const std::string kanji = "\x93\xfa\x96\x7b\x8c\xea";  // "日本語" in Shift-JIS
    std::string text;
    text.reserve(kTotal + 64);
    char line[96];
    for (unsigned i = 0; text.size() < kTotal; ++i) {
        std::snprintf(line, sizeof line, " text line of a busy host %08u\r\n", i);
        text += kanji;
        text += line;
    }
    text.resize(kTotal);
    return text;
}

// One client: everything sent, then the host's close; what the client says is read and dropped.
void Serve(int listenFd, const std::string& text) {
    int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return;
    char scratch[4096];
    size_t done = 0;
    while (done < text.size()) {
        pollfd p{c, POLLOUT | POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) break;
        if (p.revents & POLLIN) {
            if (::recv(c, scratch, sizeof scratch, MSG_DONTWAIT) == 0) break;
        }
        if (p.revents & POLLOUT) {
            ssize_t w = ::send(c, text.data() + done, std::min<size_t>(text.size() - done, 1 << 20),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            if (w > 0) done += static_cast<size_t>(w);
            if (w < 0 && errno != EAGAIN && errno != EINTR) break;
        }
        if (p.revents & (POLLERR | POLLHUP)) break;
    }
    ::shutdown(c, SHUT_WR);
    // The client closes once it has read everything.
    while (::recv(c, scratch, sizeof scratch, 0) > 0) {
    }
    ::close(c);
}

// Runs argv with its standard streams on /dev/null: the seconds it took, or -1.
double Run(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto start = Clock::now();
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

}  // namespace

int main() {
    const std::string text = HostText();
    int port = 0;
    int lfd = marlo::test::ListenOnLoopback(port);
    const std::string target = "127.0.0.1:" + std::to_string(port);

    struct Reader {
        const char* name;
        std::vector<std::string> argv;
        double best = -1;
    } readers[] = {
        {"socat -u TCP:... /dev/null", {"socat", "-u", "TCP:" + target, "OPEN:/dev/null"}},
        {"marlo-cli connect", {MARLO_CLI_PATH, "connect", "--telnet", target}},
        {"marlo-cli connect --utf8", {MARLO_CLI_PATH, "connect", "--telnet", target, "--utf8"}},
    };
    for (int round = 0; round < 3; ++round) {
        for (auto& r : readers) {
            std::thread host([&] { Serve(lfd, text); });
            double s = Run(r.argv);
            host.join();
            if (s > 0 && (r.best < 0 || s < r.best)) r.best = s;
        }
    }
    std::printf("%zu MB of Shift-JIS text over telnet on loopback, host closes at the end\n",
                kTotal / 1000000);
    const double socat = readers[0].best;
    for (const auto& r : readers) {
        if (r.best < 0) {
            std::printf("  %-28s failed\n", r.name);
            continue;
        }
        std::printf("  %-28s %7.3f s  %8.1f MB/s", r.name, r.best, kTotal / r.best / 1e6);
        if (socat > 0) std::printf("  %5.1fx socat's time", r.best / socat);
        std::printf("\n");
    }
    ::close(lfd);
    return 0;
}
