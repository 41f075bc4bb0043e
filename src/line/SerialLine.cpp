#include "line/SerialLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <vector>

namespace marlo {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// The event thread's longest wait: also how often it looks at the modem lines.
constexpr int kPollMs = 100;
constexpr int kTraceLine = 1;
// How long Close waits for a thread that is inside a notification.
constexpr int kNotifyGraceMs = 100;

}  // namespace

SerialLine::SerialLine(std::unique_ptr<ISerialDevice> device) : s_(std::make_shared<Shared>()) {
    s_->device = std::move(device);
    if (!s_->device || !s_->device->IsOpen()) s_->closing = true;
}

SerialLine::~SerialLine() {
    Close();
}

bool SerialLine::StartEvents(NotifyFn notify) {
    if (s_->closing || thread_.joinable()) return false;
    s_->notify = std::move(notify);
    // The lines as they are now are the baseline: a change from here on is reported, even one
    // that happens before the thread first looks.
    {
        std::shared_lock dl(s_->deviceMutex);
        s_->haveBaseline = s_->device->GetModemLines(s_->baseline) == SerialStatus::Ok;
        s_->baseline.ri = false;
    }
    try {
        thread_ = std::jthread([s = s_] { EventLoop(s); });
    } catch (const std::system_error&) {
        return false;
    }
    try {
        {
            std::lock_guard lock(s_->m);
            s_->watcherDone = false;
        }
        watcher_ = std::jthread([s = s_] { WatchModemLines(s); });
    } catch (const std::system_error&) {
        // Without the watcher the event thread still finds changes by polling.
        std::lock_guard lock(s_->m);
        s_->watcherDone = true;
    }
    return true;
}

void SerialLine::WatchModemLines(std::shared_ptr<Shared> sp) {
    Shared& s = *sp;
    while (!s.closing) {
        SerialStatus st;
        {
            std::shared_lock dl(s.deviceMutex);
            if (s.closing) break;
            st = s.device->WaitModemChange();
            if (st == SerialStatus::Ok && !s.closing) s.device->Wake();
        }
        if (st == SerialStatus::NoModemLines) break;
        if (st == SerialStatus::Failed && !s.closing) {
            // Not a signal of ours: do not hammer a device that fails.
            std::unique_lock lock(s.m);
            s.cv.wait_for(lock, milliseconds(kPollMs), [&] { return s.closing.load(); });
        }
    }
    {
        std::lock_guard lock(s.m);
        s.watcherDone = true;
    }
    s.cv.notify_all();
}

bool SerialLine::StopWatcher() {
    if (!watcher_.joinable()) return true;
    // The watcher may be blocked in the device's wait; interrupt it until it is out. A kick that
    // lands just before it enters the wait is missed, hence the repetition.
    auto giveUp = Clock::now() + milliseconds(kThreadStopMs);
    std::unique_lock lock(s_->m);
    while (!s_->watcherDone && Clock::now() < giveUp) {
        lock.unlock();
        s_->device->InterruptModemWait();
        lock.lock();
        s_->cv.wait_for(lock, milliseconds(10), [&] { return s_->watcherDone; });
    }
    bool done = s_->watcherDone;
    lock.unlock();
    if (done)
        watcher_.join();
    else
        watcher_.detach();
    return done;
}

void SerialLine::Poke() {
    { std::lock_guard lock(s_->m); }
    s_->cv.notify_all();
    std::shared_lock dl(s_->deviceMutex);
    if (!s_->closing) s_->device->Wake();
}

void SerialLine::SetNotificationsPaused(bool paused) {
    s_->paused = paused;
    Poke();
}

bool SerialLine::Notify(Shared& s, int wParam) {
    s.inNotify = true;
    if (s.closing) {
        s.inNotify = false;
        return false;
    }
    if (s.notify) s.notify(wParam);
    s.inNotify = false;
    return !s.closing;
}

void SerialLine::EventLoop(std::shared_ptr<Shared> sp) {
    Shared& s = *sp;
    ModemLines last = s.baseline;
    bool haveLast = s.haveBaseline;
    bool errorReported = false;
    auto idle = [&s](auto&& wakeWhen) {
        std::unique_lock lock(s.m);
        s.cv.wait_for(lock, milliseconds(kPollMs), [&] { return s.closing || wakeWhen(); });
    };
    while (!s.closing) {
        if (s.paused || s.breakActive) {
            idle([&] { return !s.paused && !s.breakActive; });
            continue;
        }
        ModemLines now;
        SerialStatus ms;
        {
            std::shared_lock dl(s.deviceMutex);
            if (s.closing) break;
            ms = s.device->GetModemLines(now);
        }
        if (ms == SerialStatus::Ok) {
            // The ring indicator is not one of the events the frame asks for.
            now.ri = false;
            if (!haveLast) {
                last = now;
                haveLast = true;
            } else if (!(now == last)) {
                if (s.paused || s.breakActive) continue;  // reported once resumed
                last = now;
                if (!Notify(s, kNotifyLineStatus)) break;
                continue;
            }
        }
        WaitResult r;
        {
            std::shared_lock dl(s.deviceMutex);
            if (s.closing) break;
            r = s.device->WaitEvent(kPollMs);
        }
        if (s.paused || s.breakActive) continue;  // paused while waiting: the data waits too
        if (r == WaitResult::Data) {
            errorReported = false;
            uint64_t seq = s.readSeq;
            if (!Notify(s, kNotifyData)) break;
            // Nobody took the data (the frame is busy elsewhere): wait for a read instead of
            // reporting the same bytes in a tight loop.
            if (s.readSeq == seq) idle([&] { return s.readSeq != seq || s.paused.load(); });
        } else if (r == WaitResult::Error) {
            // The device hung up or failed: tell the frame once, as a line-status change, and
            // keep looking at a calm pace.
            s.hungUp = true;
            if (!errorReported) {
                errorReported = true;
                if (!Notify(s, kNotifyLineStatus)) break;
            }
            idle([] { return false; });
        }
    }
    {
        std::lock_guard lock(s.m);
        s.done = true;
    }
    s.cv.notify_all();
}

int SerialLine::ReadLineData(uint8_t* buf, int max, int timeoutMs) {
    if (max <= 0 || !buf) return 0;
    auto deadline = Clock::now() + milliseconds(std::max(0, timeoutMs));
    for (;;) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        int slice = static_cast<int>(std::clamp<long long>(left, 0, kPollMs));
        int n;
        {
            std::shared_lock dl(s_->deviceMutex);
            if (s_->closing) return 0;
            n = s_->device->Read(buf, static_cast<size_t>(max), slice);
        }
        if (n > 0) {
            lastReadError_ = 0;
            ++s_->readSeq;
            { std::lock_guard lock(s_->m); }
            s_->cv.notify_all();
            SetLamp(kLampRd, true);
            return n;
        }
        if (n < 0) {
            int err = s_->device->LastError();
            // A persistent failure (a hung-up device) is traced once, not on every poll.
            if (lastReadError_.exchange(err) != err && trace_) {
                char text[64];
                std::snprintf(text, sizeof text, "CommError = 0x%x\n", static_cast<unsigned>(err));
                trace_(kTraceLine, text);
            }
            ++s_->readSeq;
            s_->cv.notify_all();
            return 0;
        }
        if (left <= 0) return 0;
    }
}

bool SerialLine::HungUp() const {
    const int err = lastReadError_.load();
    return err == EIO || err == ENXIO || err == ENODEV || s_->hungUp.load();
}

bool SerialLine::WriteRaw(const uint8_t* buf, size_t n) {
    if (n == 0) return true;
    if (!buf) return false;
    std::lock_guard wl(writeMutex_);
    size_t done = 0;
    auto lastProgress = Clock::now();
    int failure = 0;
    while (done < n) {
        long w;
        {
            std::shared_lock dl(s_->deviceMutex);
            if (s_->closing) {
                failure = EBADF;
                break;
            }
            w = s_->device->Write(buf + done, n - done, kPollMs);
        }
        if (w < 0) {
            failure = s_->device->LastError();
            if (failure == 0) failure = EIO;
            break;
        }
        if (w > 0) {
            done += static_cast<size_t>(w);
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress >= milliseconds(writeLimitMs_.load())) {
            failure = ETIMEDOUT;
            break;
        }
    }
    if (done > 0) SetLamp(kLampSd, true);
    if (failure != 0) {
        if (trace_) {
            char text[32];
            std::snprintf(text, sizeof text, "<CE-%u>\n", static_cast<unsigned>(failure));
            trace_(kTraceLine, text);
        }
        return false;
    }
    return true;
}

void SerialLine::Purge() {
    std::shared_lock dl(s_->deviceMutex);
    if (!s_->closing) s_->device->Purge();
}

void SerialLine::SettleForClose(int drainMs) {
    std::shared_lock dl(s_->deviceMutex);
    if (!s_->closing) s_->device->SettleForClose(drainMs);
}

bool SerialLine::GetParams(LineParams& p) {
    std::shared_lock dl(s_->deviceMutex);
    return !s_->closing && s_->device->GetConfig(p);
}

SerialStatus SerialLine::Configure(const LineParams& p) {
    std::shared_lock dl(s_->deviceMutex);
    if (s_->closing) return SerialStatus::Failed;
    return s_->device->Configure(p);
}

bool SerialLine::SetParams(const LineParams& p) {
    return Configure(p) == SerialStatus::Ok;
}

bool SerialLine::SendBreak(int ms, const WaitFn& wait) {
    if (s_->closing || s_->breakActive.exchange(true)) return false;
    Poke();
    bool ok;
    {
        std::shared_lock dl(s_->deviceMutex);
        ok = !s_->closing && s_->device->SetBreak(true) == SerialStatus::Ok;
    }
    if (ok) {
        if (wait)
            wait(ms);
        else
            std::this_thread::sleep_for(milliseconds(std::max(0, ms)));
        std::shared_lock dl(s_->deviceMutex);
        if (!s_->closing) s_->device->SetBreak(false);
    }
    s_->breakActive = false;
    Poke();
    return ok;
}

bool SerialLine::SetDtr(bool on) {
    SerialStatus st;
    {
        std::shared_lock dl(s_->deviceMutex);
        if (s_->closing) return false;
        st = s_->device->SetDtr(on);
    }
    if (st == SerialStatus::Failed) return false;
    SetLamp(kLampDtr, on);
    return true;
}

bool SerialLine::SetRts(bool on) {
    SerialStatus st;
    {
        std::shared_lock dl(s_->deviceMutex);
        if (s_->closing) return false;
        st = s_->device->SetRts(on);
    }
    if (st == SerialStatus::Failed) return false;
    SetLamp(kLampRts, on);
    return true;
}

bool SerialLine::UpdateModemStatus() {
    ModemLines lines;
    SerialStatus st = SerialStatus::Failed;
    {
        std::shared_lock dl(s_->deviceMutex);
        if (!s_->closing) st = s_->device->GetModemLines(lines);
    }
    hasModemLines_ = st != SerialStatus::NoModemLines;
    if (st != SerialStatus::Ok) lines = {};
    unsigned old = lamps_.load();
    unsigned now;
    do {
        now = old & ~(kLampCts | kLampDsr | kLampCd);
        if (lines.cts) now |= kLampCts;
        if (lines.dsr) now |= kLampDsr;
        if (lines.cd) now |= kLampCd;
    } while (!lamps_.compare_exchange_weak(old, now));
    if (now != old && lampsFn_) lampsFn_(now);
    return lines.cd;
}

void SerialLine::SetLamp(unsigned bit, bool on) {
    unsigned old = on ? lamps_.fetch_or(bit) : lamps_.fetch_and(~bit);
    unsigned now = on ? (old | bit) : (old & ~bit);
    if (now != old && lampsFn_) lampsFn_(now);
}

void SerialLine::ClearActivity() {
    unsigned old = lamps_.fetch_and(~(kLampSd | kLampRd));
    unsigned now = old & ~(kLampSd | kLampRd);
    if (now != old && lampsFn_) lampsFn_(now);
}

void SerialLine::Close() {
    bool wasClosing = s_->closing.exchange(true);
    { std::lock_guard lock(s_->m); }
    s_->cv.notify_all();
    if (!wasClosing) {
        // Wake the thread's device wait, then close the device once nobody is inside it.
        {
            std::shared_lock dl(s_->deviceMutex);
            s_->device->Wake();
        }
        // A watcher that could not be stopped still holds the device: the shared state closes
        // it when that thread ends. Every other user leaves the device within one poll.
        if (StopWatcher()) {
            std::unique_lock dl(s_->deviceMutex);
            if (s_->device->IsOpen()) s_->device->Close();
        }
    }
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        Abandon();
        return;
    }
    // A thread inside its notification may be waiting for the very thread that closes the line:
    // give it a moment (another thread may be handling it), then leave it to end on its own.
    int waitMs = s_->inNotify ? kNotifyGraceMs : kThreadStopMs;
    std::unique_lock lock(s_->m);
    bool done = s_->cv.wait_for(lock, milliseconds(waitMs), [&] { return s_->done; });
    lock.unlock();
    if (done)
        thread_.join();
    else
        Abandon();
}

namespace {

// Event threads left to finish on their own, with the state that tells when they did.
struct AbandonedThreads {
    struct Entry {
        std::jthread thread;
        std::function<bool()> finished;
    };
    std::mutex m;
    std::condition_variable cv;
    std::vector<Entry> entries;

    ~AbandonedThreads() {
        // At exit a thread still waiting for a notification is let go, not waited for.
        for (auto& e : entries)
            if (e.thread.joinable()) {
                if (e.finished())
                    e.thread.join();
                else
                    e.thread.detach();
            }
    }
};

AbandonedThreads& Abandoned() {
    static AbandonedThreads a;
    return a;
}

}  // namespace

void SerialLine::Abandon() {
    auto& reg = Abandoned();
    auto s = s_;
    std::lock_guard lock(reg.m);
    reg.entries.push_back({std::move(thread_), [s] {
                               std::lock_guard l(s->m);
                               return s->done;
                           }});
}

bool SerialLine::ReapAbandonedThreads(int timeoutMs) {
    auto& reg = Abandoned();
    auto deadline = Clock::now() + milliseconds(std::max(0, timeoutMs));
    for (;;) {
        std::vector<std::jthread> finished;
        bool left;
        {
            std::lock_guard lock(reg.m);
            for (auto it = reg.entries.begin(); it != reg.entries.end();) {
                if (it->finished()) {
                    finished.push_back(std::move(it->thread));
                    it = reg.entries.erase(it);
                } else {
                    ++it;
                }
            }
            left = !reg.entries.empty();
        }
        for (auto& t : finished) {
            if (!t.joinable()) continue;
            if (t.get_id() == std::this_thread::get_id())
                t.detach();
            else
                t.join();
        }
        if (!left) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

}  // namespace marlo
