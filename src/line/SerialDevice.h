// A serial device as the line needs it: exclusive open, parameters, reads and writes with time
// limits, an event wait the event thread can be woken from, the modem control and status lines,
// break and purge. TermiosDevice implements it on a tty; tests drive a fake through the same
// interface (a pty has no modem lines and ignores break).
#pragma once

#include <termios.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "line/LineIo.h"

namespace marlo {

enum class SerialStatus {
    Ok,
    Busy,          // another program (or another open in this one) holds the device
    Failed,        // no such device, not a terminal, no permission, an I/O error
    Refused,       // the device cannot take these parameters
    NoModemLines,  // the device has no modem control or status lines (a pty)
};

struct ModemLines {
    bool cts = false;
    bool dsr = false;
    bool cd = false;
    bool ri = false;
    bool operator==(const ModemLines&) const = default;
};

enum class WaitResult { Data, Woken, Timeout, Error };

class ISerialDevice {
  public:
    virtual ~ISerialDevice() = default;

    // Opens the device for exclusive use; Busy when someone else has it.
    virtual SerialStatus Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Raw mode with the given speed, data bits, parity, stop bits and flow control.
    virtual SerialStatus Configure(const LineParams& p) = 0;
    // The parameters in force (as the device reports them).
    virtual bool GetConfig(LineParams& p) = 0;

    // Waits up to `timeoutMs` for received bytes and takes up to `max`: the count, 0 when none
    // came, -1 on an error (LastError says which).
    virtual int Read(uint8_t* buf, size_t max, int timeoutMs) = 0;
    // Waits up to `timeoutMs` until the device takes bytes and writes what it takes: the count,
    // 0 when it took none in time, -1 on an error.
    virtual long Write(const uint8_t* buf, size_t n, int timeoutMs) = 0;

    // The event thread's wait: received data, Wake() from another thread, or the time-out.
    virtual WaitResult WaitEvent(int timeoutMs) = 0;
    virtual void Wake() = 0;

    virtual SerialStatus GetModemLines(ModemLines& lines) = 0;
    // Blocks until CTS, DSR, carrier or ring changes: Ok after a change, NoModemLines when the
    // device cannot wait for that (the caller polls instead), Failed when interrupted or broken.
    virtual SerialStatus WaitModemChange() { return SerialStatus::NoModemLines; }
    // Makes a WaitModemChange in progress on another thread return; call it until that thread
    // is known to have left the wait (a call just before the wait starts may be missed).
    virtual void InterruptModemWait() {}
    virtual SerialStatus SetDtr(bool on) = 0;
    virtual SerialStatus SetRts(bool on) = 0;
    virtual SerialStatus SetBreak(bool on) = 0;
    // Drops what was received and not read and what was written and not yet sent.
    virtual void Purge() = 0;
    // Before closing: lets what was written leave (for at most `drainMs`, then drops the rest so
    // that closing never blocks on a stopped line) and drops what was received and not read.
    virtual void SettleForClose(int /*drainMs*/) { Purge(); }

    // The errno-like code of the last failure.
    virtual int LastError() const = 0;
    // The descriptor that becomes readable when bytes come (for a caller that waits on it with
    // others), or -1.
    virtual int Fd() const { return -1; }
};

// A tty device through termios. Open: O_NOCTTY|O_NONBLOCK, then an advisory lock (flock) and
// TIOCEXCL, so that a second open is refused even for root; the terminal settings found at open
// are put back at close.
class TermiosDevice : public ISerialDevice {
  public:
    TermiosDevice() = default;
    ~TermiosDevice() override;
    TermiosDevice(const TermiosDevice&) = delete;
    TermiosDevice& operator=(const TermiosDevice&) = delete;

    SerialStatus Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
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
    void SettleForClose(int drainMs) override;
    int LastError() const override { return lastError_.load(); }

    int Fd() const override { return fd_; }

  private:
    SerialStatus SetModemBit(int bit, bool on);

    int fd_ = -1;
    int wakeFd_ = -1;
    bool haveSaved_ = false;
    struct termios saved_ {};
    std::atomic<int> lastError_{0};
    // The thread inside WaitModemChange, for InterruptModemWait.
    std::atomic<bool> modemWaiting_{false};
    std::atomic<unsigned long> modemWaiter_{0};
};

// The speeds the settings offer, in list order.
inline constexpr int kSerialSpeeds[] = {300,   1200,  2400,  4800,   9600,   14400, 19200,
                                        38400, 56000, 57600, 115200, 128000, 256000};

// Speed helpers on termios2 (kept apart: the kernel's termios2 header clashes with <termios.h>).
// Sets any speed in bits per second, through BOTHER when termios has no constant for it.
bool SetTtySpeed(int fd, int speed);
// The output speed in force, in bits per second; 0 when it cannot be read.
int GetTtySpeed(int fd);

}  // namespace marlo
