// The event queue, timers, descriptor watches and dispatching waits of a platform without a
// toolkit: the headless front end and the tests' recording platform build on it. The thread that
// constructs it is the user-interface thread. A wait sleeps in poll() on the watched descriptors
// and an eventfd that posts from other threads ring.
#pragma once

#include <poll.h>

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
    ~QueuedPlatform() override;
    QueuedPlatform(const QueuedPlatform&) = delete;
    QueuedPlatform& operator=(const QueuedPlatform&) = delete;

    void SetEventTarget(IEventTarget* target) override { target_ = target; }
    void PostEvent(Event e) override;
    void SendEvent(Event e) override;
    bool OnUiThread() const override { return std::this_thread::get_id() == uiThread_; }
    void StartTimer(int id, int periodMs, std::function<void()> tick) override;
    void StopTimer(int id) override;
    void WatchFd(int fd, std::function<void()> ready) override;
    void UnwatchFd(int fd) override;
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
    // Handles at most one ready item (event, due timer or readable descriptor); false when
    // nothing was ready.
    bool HandleOne(const std::vector<int>& held);
    std::chrono::steady_clock::time_point NextTimerDue() const;
    // Sleeps in poll() until a watched descriptor is ready, an event is posted or `timeoutMs`
    // pass, and notes the ready descriptors.
    void PollFds(int timeoutMs);
    void Ring();

    IEventTarget* target_ = nullptr;
    std::thread::id uiThread_;
    mutable std::mutex mutex_;
    int wakeFd_ = -1;  // an eventfd: posts from other threads end the poll
    std::deque<Queued> queue_;
    std::map<int, Timer> timers_;
    std::map<int, std::function<void()>> watches_;
    std::deque<int> readyFds_;  // watched descriptors the last poll found ready
    std::vector<pollfd> pollSet_;  // the user-interface thread's, for PollFds
    int timerGeneration_ = 0;
};

}  // namespace marlo
