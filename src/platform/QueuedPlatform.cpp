#include "platform/QueuedPlatform.h"

#include <algorithm>

namespace marlo {

using Clock = std::chrono::steady_clock;

QueuedPlatform::QueuedPlatform() : uiThread_(std::this_thread::get_id()) {}

void QueuedPlatform::PostEvent(Event e) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(e), nullptr});
    }
    wake_.notify_all();
}

void QueuedPlatform::SendEvent(Event e) {
    if (OnUiThread()) {
        if (target_) target_->OnEvent(e);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto handled = done->get_future();
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(e), done});
    }
    wake_.notify_all();
    handled.wait();
}

void QueuedPlatform::StartTimer(int id, int periodMs, std::function<void()> tick) {
    std::lock_guard lock(mutex_);
    timers_[id] = Timer{std::max(1, periodMs), Clock::now() + std::chrono::milliseconds(periodMs),
                        std::move(tick)};
    ++timerGeneration_;
}

void QueuedPlatform::StopTimer(int id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
    ++timerGeneration_;
}

size_t QueuedPlatform::PendingCount() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

Clock::time_point QueuedPlatform::NextTimerDue() const {
    auto next = Clock::time_point::max();
    for (const auto& [id, t] : timers_) next = std::min(next, t.next);
    return next;
}

bool QueuedPlatform::HandleOne(const std::vector<int>& held) {
    std::unique_lock lock(mutex_);
    auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Queued& q) {
        return std::find(held.begin(), held.end(), q.event.id) == held.end();
    });
    if (it != queue_.end()) {
        Queued q = std::move(*it);
        queue_.erase(it);
        lock.unlock();
        if (target_) target_->OnEvent(q.event);
        if (q.done) q.done->set_value();
        return true;
    }
    auto now = Clock::now();
    for (auto& [id, t] : timers_) {
        if (t.next <= now) {
            t.next = now + std::chrono::milliseconds(t.periodMs);
            auto tick = t.tick;
            lock.unlock();
            tick();
            return true;
        }
    }
    return false;
}

void QueuedPlatform::DispatchPending(std::vector<int> held) {
    // Bounded, so that a stream of new posts cannot keep the caller here for ever.
    for (int i = 0; i < 1000 && HandleOne(held); ++i) {
    }
}

WaitEnd QueuedPlatform::DispatchWait(const std::function<bool()>& done,
                                     std::optional<Clock::time_point> deadline,
                                     const std::atomic<bool>* stop, std::vector<int> held) {
    for (;;) {
        if (done && done()) return WaitEnd::Condition;
        if (stop && stop->load()) return WaitEnd::Stopped;
        if (deadline && Clock::now() >= *deadline) return WaitEnd::Deadline;
        if (HandleOne(held)) continue;
        std::unique_lock lock(mutex_);
        auto until = std::min(NextTimerDue(), Clock::now() + std::chrono::milliseconds(50));
        if (deadline) until = std::min(until, *deadline);
        bool anyReady = std::any_of(queue_.begin(), queue_.end(), [&](const Queued& q) {
            return std::find(held.begin(), held.end(), q.event.id) == held.end();
        });
        if (!anyReady) wake_.wait_until(lock, until);
    }
}

}  // namespace marlo
