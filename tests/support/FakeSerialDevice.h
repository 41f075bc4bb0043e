// An in-memory serial device for tests: received bytes are fed in, written bytes collected, the
// modem lines (which a pty lacks) set by the test, break spans recorded. Devices are opened by
// path from a bank of fake ports, so that a port can be missing, busy or refuse parameters.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "line/SerialDevice.h"

namespace marlo::test {

struct FakePort {
    using Clock = std::chrono::steady_clock;
    struct Span {
        Clock::time_point on, off;
    };

    // Test side.
    void Feed(const std::string& bytes);
    void SetLines(bool cts, bool dsr, bool cd);
    std::string Written() { return Get(&FakePort::tx); }
    bool IsOpen() { return Get(&FakePort::open); }
    int Opens() { return Get(&FakePort::opens); }
    bool Dtr() { return Get(&FakePort::dtr); }
    bool Rts() { return Get(&FakePort::rts); }
    LineParams Config() { return Get(&FakePort::config); }
    std::vector<Span> Breaks() { return Get(&FakePort::breaks); }
    struct Change {
        bool on;
        Clock::time_point at;
    };
    std::vector<Change> DtrChanges() { return Get(&FakePort::dtrChanges); }
    template <typename T>
    T Get(T FakePort::*field) {
        std::lock_guard lock(m);
        return this->*field;
    }

    // Set before the device opens; guarded by m for later changes.
    SerialStatus openResult = SerialStatus::Ok;
    SerialStatus configResult = SerialStatus::Ok;
    bool hasModemLines = true;
    size_t writeChunk = std::numeric_limits<size_t>::max();  // most a Write takes at once
    bool writeStalled = false;                               // Write takes nothing
    bool modemWait = false;  // WaitModemChange blocks like TIOCMIWAIT

    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int opens = 0;
    bool woken = false;
    int modemWaits = 0;  // WaitModemChange calls that blocked
    bool modemWaitInterrupted = false;
    std::deque<uint8_t> rx;
    std::string tx;
    ModemLines lines;
    bool dtr = false, rts = false, breakOn = false;
    LineParams config;
    std::vector<Span> breaks;
    std::vector<Change> dtrChanges;  // every SetDtr, in order
};

class FakePortBank {
  public:
    // Adds (or returns) the fake port at `path`; paths not added do not exist.
    std::shared_ptr<FakePort> Add(const std::string& path);
    std::shared_ptr<FakePort> Find(const std::string& path);
    // A device factory for CommPort.
    std::function<std::unique_ptr<ISerialDevice>()> Factory();

  private:
    std::mutex m_;
    std::map<std::string, std::shared_ptr<FakePort>> ports_;
};

class FakeSerialDevice : public ISerialDevice {
  public:
    explicit FakeSerialDevice(FakePortBank& bank) : bank_(bank) {}
    ~FakeSerialDevice() override { Close(); }

    SerialStatus Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return port_ != nullptr; }
    SerialStatus Configure(const LineParams& p) override;
    bool GetConfig(LineParams& p) override;
    int Read(uint8_t* buf, size_t max, int timeoutMs) override;
    long Write(const uint8_t* buf, size_t n, int timeoutMs) override;
    WaitResult WaitEvent(int timeoutMs) override;
    void Wake() override;
    SerialStatus GetModemLines(ModemLines& lines) override;
    SerialStatus WaitModemChange() override;
    void InterruptModemWait() override;
    SerialStatus SetDtr(bool on) override;
    SerialStatus SetRts(bool on) override;
    SerialStatus SetBreak(bool on) override;
    void Purge() override;
    int LastError() const override { return lastError_; }

  private:
    SerialStatus SetLine(bool FakePort::*line, bool on);
    void Signal(bool FakePort::*flag);

    FakePortBank& bank_;
    std::shared_ptr<FakePort> port_;
    int lastError_ = 0;
};

}  // namespace marlo::test
