#include "platform/Spawn.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace marlo {

namespace {

// In the grandchild, before exec: only calls that are safe after fork.
[[noreturn]] void Exec(char* const* argv, const char* workDir, int errorPipe) {
    ::setsid();
    if (workDir && ::chdir(workDir) != 0) {
        int error = errno;
        (void)!::write(errorPipe, &error, sizeof error);
        ::_exit(127);
    }
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    // Everything else goes; the error pipe closes itself at exec.
    for (int fd = 3; fd < errorPipe; ++fd) ::close(fd);
    if (::close_range(static_cast<unsigned>(errorPipe) + 1, UINT_MAX, 0) != 0) {
        long max = ::sysconf(_SC_OPEN_MAX);
        for (int fd = errorPipe + 1; fd < (max > 0 && max < 65536 ? max : 65536); ++fd) ::close(fd);
    }
    ::execvp(argv[0], argv);
    int error = errno;
    (void)!::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv, const std::string& workDir) {
    if (argv.empty() || argv[0].empty()) return false;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (child == 0) {
        // The child only forks the program and ends, so the program has no parent to wait for it.
        ::close(fds[0]);
        pid_t program = ::fork();
        if (program == 0) Exec(args.data(), workDir.empty() ? nullptr : workDir.c_str(), fds[1]);
        if (program < 0) {
            int error = errno;
            (void)!::write(fds[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes without a word when the program started.
    int error = 0;
    ssize_t n;
    while ((n = ::read(fds[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(fds[0]);
    return n == 0;
}

}  // namespace marlo
