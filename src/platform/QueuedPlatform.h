// The event queue, timers and dispatching waits of a platform without a toolkit: the headless
// front end and the tests' recording platform build on it. The thread that constructs it is the
// user-interface thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Platform.h"

namespace marlo {

class QueuedPlatform : public IPlatform {
public:
    QueuedPlatform();

    void SetEventTarget(IEventTarget* target) override { target_ = target; }
    void PostEvent(Event e) override;
    void SendEvent(Event e) override;
    bool OnUiThread() const override { return std::this_thread::get_id() == uiThread_; }
    void StartTimer(int id, int periodMs, std::function<void()> tick) override;
    void StopTimer(int id) override;
    WaitEnd DispatchWait(const std::function<bool()>& done,
                         std::optional<std::chrono::steady_clock::time_point> deadline,
                         const std::atomic<bool>* stop = nullptr,
                         std::vector<int> held = {}) override;
    void DispatchPending(std::vector<int> held = {}) override;

    // Makes the calling thread the user-interface thread (a front end that starts elsewhere).
    void AdoptUiThread() { uiThread_ = std::this_thread::get_id(); }
    // Number of events waiting (tests).
    size_t PendingCount() const;

private:
    struct Queued {
        Event event;
        std::shared_ptr<std::promise<void>> done;  // set for sent events
    };
    struct Timer {
        int periodMs;
        std::chrono::steady_clock::time_point next;
        std::function<void()> tick;
    };
    // Handles at most one ready item (event or due timer); false when nothing was ready.
    bool HandleOne(const std::vector<int>& held);
    std::chrono::steady_clock::time_point NextTimerDue() const;

    IEventTarget* target_ = nullptr;
    std::thread::id uiThread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Queued> queue_;
    std::map<int, Timer> timers_;
    int timerGeneration_ = 0;
};

}  // namespace marlo
