#include "support/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace marlo::test {

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env, int timeoutMs,
                     const std::optional<std::string>& input) {
    RunResult r;
    int inFd = -1;
    if (input) {
        inFd = ::memfd_create("stdin", MFD_CLOEXEC);
        if (inFd < 0 ||
            ::write(inFd, input->data(), input->size()) != static_cast<ssize_t>(input->size()) ||
            ::lseek(inFd, 0, SEEK_SET) != 0) {
            if (inFd >= 0) ::close(inFd);
            return r;
        }
    }
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        if (inFd >= 0) ::close(inFd);
        return r;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        if (inFd >= 0) ::close(inFd);
        return r;
    }
    std::vector<std::string> argvStore{program};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The environment is built before the fork: the child only redirects and executes.
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const auto& [k, v] : env) replaced = replaced || entry.starts_with(k + "=");
        if (!replaced) envStore.push_back(entry);
    }
    for (const auto& [k, v] : env) envStore.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid == 0) {
        if (inFd >= 0) ::dup2(inFd, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (inFd >= 0) ::close(inFd);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return r;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left)) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace marlo::test
