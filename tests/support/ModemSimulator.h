// A Hayes-compatible modem for tests. The core (ModemSimulator) works on bytes: what the program
// writes goes in through FromHost, the modem's answers come out through the output function, and
// the carrier (CD) is a flag with a callback, so the simulator can sit behind a pty or behind a
// fake serial device. PtyModem puts it behind a pty on its own thread, and can pass the connected
// session through to a TCP host.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace marlo::test {

class ModemSimulator {
  public:
    using Clock = std::chrono::steady_clock;
    enum class DialResult { Connect, Busy, NoCarrier, NoDialtone };

    explicit ModemSimulator(std::function<void(const std::string&)> toHost);

    // Answers for the coming ATD commands, in order; when empty, CONNECT.
    void QueueDialResults(std::vector<DialResult> results);
    // Silence needed around "+++" (1 s on a real modem).
    void SetGuardMs(int ms) { guardMs_ = ms; }
    // Called when the carrier changes.
    void SetCarrierCallback(std::function<void(bool)> fn) { onCarrier_ = std::move(fn); }
    // Called with the program's bytes while online (the far host receives them).
    void SetOnlineSink(std::function<void(const std::string&)> fn) { online_ = std::move(fn); }

    void FromHost(const uint8_t* p, size_t n, Clock::time_point now = Clock::now());
    // Lets time pass (the guard time after "+++").
    void Poll(Clock::time_point now = Clock::now());
    void SetDtr(bool on);
    // An incoming call answered: the carrier rises without a dial.
    void AnswerCall();
    // The far end hangs up.
    void RemoteHangUp();
    // Bytes from the far host while online.
    void SendOnline(const std::string& data);

    bool Carrier() const { return carrier_; }
    bool Online() const { return online_mode_; }
    std::vector<std::string> Commands() const;
    std::string OnlineReceived() const;

  private:
    void Reply(const std::string& word);
    void Command(const std::string& line);
    void SetCarrier(bool on);

    std::function<void(const std::string&)> toHost_;
    std::function<void(bool)> onCarrier_;
    std::function<void(const std::string&)> online_;
    mutable std::mutex mutex_;
    std::deque<DialResult> results_;
    std::vector<std::string> commands_;
    std::string line_;
    std::string onlineReceived_;
    bool echo_ = true;
    bool carrier_ = false;
    bool online_mode_ = false;
    bool dtr_ = true;
    std::atomic<int> guardMs_{1000};
    int plusCount_ = 0;
    Clock::time_point lastByte_{};
    Clock::time_point plusEnd_{};
};

class PtyModem {
  public:
    PtyModem();
    ~PtyModem();
    // The program's side of the pty (a serial device for the code under test).
    int ProgramFd() const { return slave_; }
    std::string ProgramPath() const { return slavePath_; }
    ModemSimulator& Modem() { return modem_; }
    std::atomic<bool>& Cd() { return cd_; }
    void SetDtr(bool on);
    void AnswerCall();
    void RemoteHangUp();
    // After CONNECT, relays the session to a TCP host on 127.0.0.1:port.
    void PassThroughTo(int port) { passPort_ = port; }

  private:
    void Run(std::stop_token st);
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::atomic<bool> cd_{false};
    std::atomic<int> passPort_{0};
    std::atomic<int> tcp_{-1};
    std::mutex writeMutex_;
    std::mutex modemMutex_;  // the simulator is driven from the pty thread and the test
    ModemSimulator modem_;
    std::jthread thread_;
};

}  // namespace marlo::test
