// The serial line: reads, writes, break, control lines and modem status over an ISerialDevice, and
// SerialEventThread, which waits for received data and modem-line changes and reports each through
// a callback (wParam 0 data, 1 line status) that the frame turns into a synchronous WM_COMMNOTIFY.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "line/LineIo.h"
#include "line/SerialDevice.h"
#include "settings/Trace.h"

namespace marlo {

// Status-bar lamp bits.
enum LampBit : unsigned {
    kLampDtr = 1,
    kLampRts = 2,
    kLampCts = 4,
    kLampDsr = 8,
    kLampCd = 16,
    kLampSd = 32,  // something was sent since the last timer tick
    kLampRd = 64,  // something was received since the last timer tick
};

class SerialLine : public ILineIo {
  public:
    using NotifyFn = std::function<void(int wParam)>;
    using TraceFn = TraceSink;
    using LampsFn = std::function<void(unsigned lamps)>;
    using WaitFn = std::function<void(int ms)>;

    static constexpr int kNotifyData = 0;
    static constexpr int kNotifyLineStatus = 1;
    // How long a write may go without progress before it gives up.
    static constexpr int kWriteLimitMs = 5000;
    // How long Close waits for the event thread.
    static constexpr int kThreadStopMs = 5000;

    // Takes an opened (and normally configured) device.
    explicit SerialLine(std::unique_ptr<ISerialDevice> device);
    ~SerialLine() override;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Trace texts (category 1) and lamp changes; either may be called from any thread that uses
    // the line. Set them before StartEvents.
    void SetTrace(TraceFn trace) { trace_ = std::move(trace); }
    void SetLampsCallback(LampsFn lamps) { lampsFn_ = std::move(lamps); }
    // The write limit (tests shorten it).
    void SetWriteLimitMs(int ms) { writeLimitMs_ = ms; }

    // Starts SerialEventThread; false when the thread could not be created.
    bool StartEvents(NotifyFn notify);
    // While paused (a transfer runs, the settings sheet is open) the thread reports nothing and
    // does not spin on waiting data; once resumed it reports data and line changes at once.
    void SetNotificationsPaused(bool paused);
    bool NotificationsPaused() const { return s_->paused.load(); }

    LineKind Kind() const override { return LineKind::Serial; }
    int ReadLineData(uint8_t* buf, int max, int timeoutMs = 1000) override;
    bool WriteRaw(const uint8_t* buf, size_t n) override;
    bool IsOpen() const override { return !s_->closing.load(); }
    void Purge() override;
    // See ISerialDevice::SettleForClose.
    void SettleForClose(int drainMs);
    bool GetParams(LineParams& p) override;
    bool SetParams(const LineParams& p) override;
    // The status of the last SetParams (Refused when the device would not take the parameters).
    SerialStatus Configure(const LineParams& p);

    // Holds the break state for `ms` (through `wait`, a plain sleep when empty) with the event
    // thread quiet meanwhile. False when a break is already in progress or the line is closed.
    bool SendBreak(int ms, const WaitFn& wait = {});
    bool BreakActive() const { return s_->breakActive.load(); }
    // Raise or drop the control line; a device without modem lines keeps only the flag.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    // Reads CTS, DSR and carrier into the flags and lamps; returns the carrier.
    bool UpdateModemStatus();
    bool HasModemLines() const { return hasModemLines_.load(); }
    bool Cts() const { return lamps_.load() & kLampCts; }
    bool Dsr() const { return lamps_.load() & kLampDsr; }
    bool Cd() const { return lamps_.load() & kLampCd; }
    unsigned Lamps() const { return lamps_.load(); }
    // Clears the SD and RD activity bits (the periodic timer).
    void ClearActivity();
    // The error of the last read that failed (EIO once the device was hung up), 0 after a read
    // that brought data.
    int LastReadError() const { return lastReadError_.load(); }
    // The device has gone: a read failed as a removed adapter or a pty whose other end closed
    // fails, or the event thread's wait saw the hang-up.
    bool HungUp() const;
    // The device's descriptor (see ISerialDevice::Fd), or -1 once closed.
    int ReadFd() const { return s_->closing ? -1 : s_->device->Fd(); }

    // Stops the event thread (never waiting for it while it waits to be handled, and no longer
    // than kThreadStopMs otherwise) and closes the device. Safe to call twice.
    void Close();
    bool Closing() const { return s_->closing.load(); }

    // Event threads that Close left running (they were waiting for their notification to be
    // handled) are joined here once they end: waits up to `timeoutMs`; true when none is left.
    // The frame calls it at shutdown after its last events were handled.
    static bool ReapAbandonedThreads(int timeoutMs);

  private:
    // What the event thread shares with the line; it outlives the line when the thread is left
    // to finish a notification on its own.
    struct Shared {
        std::shared_ptr<ISerialDevice> device;
        std::shared_mutex deviceMutex;  // exclusive only to close the device
        std::atomic<bool> closing{false};
        std::atomic<bool> paused{false};
        std::atomic<bool> breakActive{false};
        std::atomic<bool> inNotify{false};
        std::atomic<bool> hungUp{false};  // the event thread's wait saw a hang-up or error
        std::atomic<uint64_t> readSeq{0};
        std::mutex m;
        std::condition_variable cv;
        bool done = false;        // the event thread has ended (under m)
        bool watcherDone = true;  // the modem watcher has ended, or never ran (under m)
        NotifyFn notify;
        ModemLines baseline;  // the lines when the thread started
        bool haveBaseline = false;
    };
    static void EventLoop(std::shared_ptr<Shared> s);
    // Waits for modem-line changes where the device can (TIOCMIWAIT) and wakes the event thread
    // at once; where it cannot, it ends and the event thread's polling finds the changes.
    static void WatchModemLines(std::shared_ptr<Shared> s);
    bool StopWatcher();
    void Abandon();
    static bool Notify(Shared& s, int wParam);
    void SetLamp(unsigned bit, bool on);
    void Poke();

    std::shared_ptr<Shared> s_;
    std::jthread thread_;
    std::jthread watcher_;
    std::mutex writeMutex_;
    std::atomic<unsigned> lamps_{0};
    std::atomic<bool> hasModemLines_{true};
    std::atomic<int> lastReadError_{0};
    std::atomic<int> writeLimitMs_{kWriteLimitMs};
    TraceFn trace_;
    LampsFn lampsFn_;
};

}  // namespace marlo
