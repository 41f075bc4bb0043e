#include "support/RunProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace marlo::test {

namespace {

std::string Drain(int fd) {
    std::string s;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        s.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return s;
}

}  // namespace

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::vector<std::pair<std::string, std::string>>& env) {
    // Standard input is a socket, so that writing to a program that has gone fails instead of
    // raising SIGPIPE.
    int in[2], out[2], err[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        return;
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

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    out_ = std::async(std::launch::async, [fd = out[0]] { return Drain(fd); });
    err_ = std::async(std::launch::async, [fd = err[0]] { return Drain(fd); });
}

RunningProgram::~RunningProgram() {
    Wait(0);
}

bool RunningProgram::Type(const std::string& bytes) {
    size_t done = 0;
    while (stdin_ >= 0 && done < bytes.size()) {
        ssize_t w = ::send(stdin_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return done == bytes.size();
}

void RunningProgram::CloseInput() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
}

RunResult RunningProgram::Wait(int timeoutMs) {
    if (result_) return *result_;
    CloseInput();
    RunResult r;
    if (pid_ > 0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        bool late = false;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                late = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        r.status = !late && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (out_.valid()) r.out = out_.get();
    if (err_.valid()) r.err = err_.get();
    result_ = r;
    return r;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env, int timeoutMs,
                     const std::optional<std::string>& input) {
    RunningProgram run(program, args, env);
    if (input) run.Type(*input);
    return run.Wait(timeoutMs);
}

}  // namespace marlo::test
