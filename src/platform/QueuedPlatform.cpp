#include "platform/QueuedPlatform.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace marlo {

using Clock = std::chrono::steady_clock;

QueuedPlatform::QueuedPlatform()
    : uiThread_(std::this_thread::get_id()), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

QueuedPlatform::~QueuedPlatform() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void QueuedPlatform::Ring() {
    // Without the eventfd (the system refused one) a wait still wakes within its 50 ms slices.
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

void QueuedPlatform::PostEvent(Event e) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(e), nullptr});
    }
    Ring();
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
    Ring();
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

void QueuedPlatform::WatchFd(int fd, std::function<void()> ready) {
    if (fd < 0) return;
    std::lock_guard lock(mutex_);
    watches_[fd] = std::move(ready);
}

void QueuedPlatform::UnwatchFd(int fd) {
    std::lock_guard lock(mutex_);
    watches_.erase(fd);
    readyFds_.erase(std::remove(readyFds_.begin(), readyFds_.end(), fd), readyFds_.end());
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
    while (!readyFds_.empty()) {
        const int fd = readyFds_.front();
        readyFds_.pop_front();
        auto w = watches_.find(fd);
        if (w == watches_.end()) continue;
        auto ready = w->second;
        lock.unlock();
        ready();
        return true;
    }
    return false;
}

void QueuedPlatform::PollFds(int timeoutMs) {
    std::vector<pollfd>& fds = pollSet_;  // kept: a busy line polls thousands of times a second
    fds.clear();
    {
        std::lock_guard lock(mutex_);
        if (wakeFd_ >= 0) fds.push_back({wakeFd_, POLLIN, 0});
        for (const auto& [fd, ready] : watches_) fds.push_back({fd, POLLIN, 0});
    }
    if (fds.empty()) {
        if (timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return;
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
    std::lock_guard lock(mutex_);
    for (const pollfd& p : fds) {
        if (!p.revents) continue;
        if (p.fd == wakeFd_) {
            uint64_t count;
            [[maybe_unused]] ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
        } else if (watches_.count(p.fd) &&
                   std::find(readyFds_.begin(), readyFds_.end(), p.fd) == readyFds_.end()) {
            readyFds_.push_back(p.fd);
        }
    }
}

void QueuedPlatform::DispatchPending(std::vector<int> held) {
    bool watching;
    {
        std::lock_guard lock(mutex_);
        watching = !watches_.empty() && readyFds_.empty();
    }
    if (watching) PollFds(0);
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
        int timeoutMs;
        {
            std::lock_guard lock(mutex_);
            const auto now = Clock::now();
            auto until = std::min(NextTimerDue(), now + std::chrono::milliseconds(50));
            if (deadline) until = std::min(until, *deadline);
            timeoutMs = static_cast<int>(std::max<long long>(
                0, std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
            // Posted since HandleOne looked: the eventfd rang too, but there is no need to poll.
            const bool anyReady = std::any_of(queue_.begin(), queue_.end(), [&](const Queued& q) {
                return std::find(held.begin(), held.end(), q.event.id) == held.end();
            });
            if (anyReady) timeoutMs = 0;
        }
        PollFds(timeoutMs);
    }
}

}  // namespace marlo
