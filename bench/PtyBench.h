// What the transfer benchmarks share: a raw pty pair, a peer program on its slave, CPU times.
// Header only: every .cpp file of this folder is a benchmark program of its own.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace marlo::bench {

struct Pty {
    int master = -1;
    int slave = -1;
};

// A pty pair with the slave in raw mode.
inline Pty OpenPty() {
    Pty p;
    p.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) return {};
    p.slave = ::open(::ptsname(p.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(p.slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(p.slave, TCSANOW, &t);
    return p;
}

// `argv` in `dir` with `fd` as its standard input and output, stderr to /dev/null.
inline pid_t Spawn(const std::vector<std::string>& argv, int fd, const std::filesystem::path& dir) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) _exit(126);
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// User and system CPU seconds of RUSAGE_SELF, RUSAGE_CHILDREN or RUSAGE_THREAD.
inline double Cpu(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace marlo::bench
