// The macro thread's side of running: stopping and pausing from another thread, and programs made
// of random words that must end (or hit the step limit) without crashing or hanging.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "macro/MacroInterpreter.h"

namespace marlo {
namespace {

// Waits block until their time-out or the stop; sends are counted.
class BlockingHost : public MacroHost {
  public:
    explicit BlockingHost(MacroControl& control) : control_(control) {}
    void Send(const std::string&) override { ++sends; }
    int Wait(const std::vector<std::string>&, long timeoutMs) override {
        if (!instant) control_.SleepFor(timeoutMs);
        return 0;
    }
    void Pause(long ms, bool) override {
        if (!instant) control_.SleepFor(ms);
    }
    void ShowError(const std::string& text) override { errors += text + "\n"; }
    void SetStatus(const std::string&) override {}
    void StartMacro(const std::string&) override {}

    bool instant = false;  // waits and pauses return at once
    std::atomic<int> sends{0};
    std::string errors;

  private:
    MacroControl& control_;
};

TEST(MacroRun, StopEndsAWaitAndASleepAtOnce) {
    for (const char* program : {"wait \"never\" /T600\rsend \"x\"\r", "sleep 600\rsend \"x\"\r"}) {
        MacroControl control;
        BlockingHost host(control);
        MacroInterpreter interpreter(host, control);
        auto started = std::chrono::steady_clock::now();
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            control.Stop();
        });
        auto end = interpreter.Run(program);
        stopper.join();
        EXPECT_EQ(end, MacroInterpreter::End::Stopped) << program;
        EXPECT_EQ(host.sends, 0) << "the line after the wait must not run";
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    }
}

TEST(MacroRun, PauseHoldsBetweenStatementsUntilResumedOrStopped) {
    MacroControl control;
    BlockingHost host(control);
    MacroInterpreter interpreter(host, control);
    control.SetPaused(true);
    MacroInterpreter::End end{};
    std::thread runner([&] { end = interpreter.Run("send \"a\"\rsend \"b\"\r"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(host.sends, 0);
    control.SetPaused(false);
    runner.join();
    EXPECT_EQ(end, MacroInterpreter::End::Finished);
    EXPECT_EQ(host.sends, 2);

    control.Reset();
    control.SetPaused(true);
    std::thread paused([&] { end = interpreter.Run("send \"a\"\r"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    control.Stop();
    paused.join();
    EXPECT_EQ(end, MacroInterpreter::End::Stopped);
}

// Random programs over the language's own words and punctuation, with Shift-JIS bytes mixed in:
// every run ends by itself or at the step limit, and an error names a line of the program.
TEST(MacroRun, RandomProgramsEndWithoutCrashing) {
    static const char* kWords[] = {
        "if", "elseif", "else", "endif", "while", "endwhile", "break", "continue", "goto", "call",
        "func", "endfunc", "return", "string", "int", "localint", "localstring", "delint",
        "delstring", "send", "wait", "changestoi", "changeitos", "exit", "a:", "a", "$s", "@n",
        "=", "(", ")", "[", "]", "\"", "^M", "+", "-", "*", "/", "%", "==", "&&", "||", "!", "1",
        "0", "-2147483648", "99999999999", "/T0", ";", "#", ",", "\t", "\x83\x5c", "\x81\x5b",
        "\x95", "n[3]", "s[-1]", "(1/0)", "((((", "))))", "\"a;b\"", "@result", "$password"};
    std::mt19937 random(20261207);
    for (int run = 0; run < 3000; ++run) {
        std::string program;
        int lines = 1 + static_cast<int>(random() % 12);
        for (int l = 0; l < lines; ++l) {
            int words = static_cast<int>(random() % 6);
            for (int w = 0; w < words; ++w) {
                program += kWords[random() % std::size(kWords)];
                if (random() % 3) program += ' ';
            }
            program += random() % 5 ? "\r" : "\n";
        }
        MacroControl control;
        BlockingHost host(control);
        host.instant = true;
        MacroInterpreter interpreter(host, control);
        auto end = interpreter.Run(program, 500);
        if (end == MacroInterpreter::End::Error) {
            EXPECT_NE(interpreter.LastError().find("行目]"), std::string::npos) << program;
        }
    }
}

}  // namespace
}  // namespace marlo
