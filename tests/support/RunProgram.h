// Runs a program (the built marlo-cli) with arguments and extra environment variables and collects
// its exit status and output. A run that takes longer than the time-out is killed (status -1).
#pragma once

#include <sys/types.h>

#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marlo::test {

struct RunResult {
    int status = -1;
    std::string out, err;
};

// A program started on construction, its outputs collected while it runs; its standard input
// stays open for Type() until CloseInput() or Wait(). Killed on destruction if still running.
class RunningProgram {
  public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& env = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Type(const std::string& bytes);
    void CloseInput();
    // Waits up to `timeoutMs` for the exit (killing the program past it): the exit status (-1
    // when killed or not started) and everything it wrote.
    RunResult Wait(int timeoutMs = 30000);

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    std::optional<RunResult> result_;
    std::future<std::string> out_, err_;
};

// `input`, when given, is what the program reads on standard input; otherwise it reads nothing.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env = {},
                     int timeoutMs = 30000, const std::optional<std::string>& input = std::nullopt);

}  // namespace marlo::test
