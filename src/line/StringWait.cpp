#include "line/StringWait.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/Platform.h"

namespace marlo {

using Clock = std::chrono::steady_clock;

int StringWait::Arm(std::vector<std::string> patterns, bool fresh) {
    if (patterns.size() > kMaxPatterns) patterns.resize(kMaxPatterns);
    std::lock_guard lock(mutex_);
    if (fresh) window_.clear();
    int id = nextId_++;
    if (nextId_ <= 0) nextId_ = 1;
    waiters_.push_back({id, std::move(patterns), 0});
    MatchLocked(false);
    return id;
}

void StringWait::Disarm(int id) {
    std::lock_guard lock(mutex_);
    bool hadMatched = false;
    for (auto it = waiters_.begin(); it != waiters_.end(); ++it) {
        if (it->id != id) continue;
        hadMatched = it->matched != 0;
        waiters_.erase(it);
        break;
    }
    if (!hadMatched && waiters_.empty()) {
        // A wait that timed out or was stopped: its text does not carry over to a later wait.
        window_.clear();
        recording_ = false;
    }
}

int StringWait::Matched(int id) const {
    std::lock_guard lock(mutex_);
    for (const auto& w : waiters_)
        if (w.id == id) return w.matched;
    return 0;
}

bool StringWait::Active() const {
    std::lock_guard lock(mutex_);
    return std::any_of(waiters_.begin(), waiters_.end(),
                       [](const Waiter& w) { return w.matched == 0; });
}

bool StringWait::Wanted() const {
    std::lock_guard lock(mutex_);
    return recording_ || std::any_of(waiters_.begin(), waiters_.end(),
                                     [](const Waiter& w) { return w.matched == 0; });
}

void StringWait::Record() {
    std::lock_guard lock(mutex_);
    recording_ = true;
}

void StringWait::ClearWindow() {
    std::lock_guard lock(mutex_);
    window_.clear();
}

std::string StringWait::Window() const {
    std::lock_guard lock(mutex_);
    return window_.size() > kWindowSize ? window_.substr(window_.size() - kWindowSize) : window_;
}

bool StringWait::MatchLocked(bool tailOnly) {
    for (auto& w : waiters_) {
        if (w.matched) continue;
        for (size_t i = 0; i < w.patterns.size(); ++i) {
            const std::string& p = w.patterns[i];
            if (p.size() > window_.size() || p.size() > kWindowSize) continue;
            size_t end;
            if (tailOnly) {
                if (!p.empty() && p.back() != window_.back()) continue;
                if (window_.compare(window_.size() - p.size(), p.size(), p) != 0) continue;
                end = window_.size();
            } else {
                size_t from = window_.size() > kWindowSize ? window_.size() - kWindowSize : 0;
                size_t at = window_.find(p, from);
                if (at == std::string::npos) continue;
                end = at + p.size();
            }
            w.matched = static_cast<int>(i) + 1;
            // What followed the match stays for the next wait.
            window_.erase(0, end);
            recording_ = true;
            matched_.notify_all();
            return true;
        }
    }
    return false;
}

void StringWait::Feed(const uint8_t* p, size_t n) {
    std::lock_guard lock(mutex_);
    bool waiting = std::any_of(waiters_.begin(), waiters_.end(),
                               [](const Waiter& w) { return w.matched == 0; });
    if (!waiting && !recording_) return;
    for (size_t i = 0; i < n; ++i) {
        // The window holds the last 255 bytes; older ones are dropped in batches, not per byte.
        if (window_.size() >= 2 * kWindowSize) window_.erase(0, window_.size() - kWindowSize + 1);
        window_.push_back(static_cast<char>(p[i]));
        if (waiting && MatchLocked(true)) {
            waiting = std::any_of(waiters_.begin(), waiters_.end(),
                                  [](const Waiter& w) { return w.matched == 0; });
        }
    }
}

int StringWait::BlockFor(int id, int timeoutMs, const std::atomic<bool>* stop) {
    std::unique_lock lock(mutex_);
    auto deadline = timeoutMs < 0 ? Clock::time_point::max()
                                  : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (const auto& w : waiters_)
            if (w.id == id && w.matched) return w.matched;
        if (stop && stop->load()) return 0;
        auto now = Clock::now();
        if (now >= deadline) return 0;
        // The stop flag has no notification of its own: look at it every 50 ms.
        matched_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(50)));
    }
}

WaitOutcome WaitForAny(IPlatform& platform, StringWait& wait,
                       const std::vector<std::string>& patterns, const WaitOptions& options,
                       int* index) {
    if (index) *index = 0;
    const std::atomic<bool>* stop = options.stop && !options.stop->load() ? options.stop : nullptr;
    int id = wait.Arm(patterns, options.fresh);
    bool closing = false;
    int matched = 0;
    if (platform.OnUiThread()) {
        std::optional<Clock::time_point> deadline;
        if (options.timeoutMs >= 0)
            deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
        platform.DispatchWait(
            [&] {
                if (options.closing && options.closing->load()) closing = true;
                matched = wait.Matched(id);
                return matched != 0 || closing;
            },
            deadline, stop);
        if (!matched) matched = wait.Matched(id);
    } else {
        matched = wait.BlockFor(id, options.timeoutMs, stop);
        if (!matched && options.closing && options.closing->load()) closing = true;
    }
    wait.Disarm(id);
    if (matched) {
        if (options.trace) options.trace("wait end\n");
        if (index) *index = matched;
        return WaitOutcome::Matched;
    }
    if (closing) return WaitOutcome::Closing;
    if (options.trace) {
        if (stop && stop->load()) options.trace("m_bAutoCmdStop\n");
        options.trace("TIMEOUT!!\n");
    }
    return WaitOutcome::TimedOut;
}

WaitOutcome WaitForString(IPlatform& platform, StringWait& wait, const std::string& text,
                          const WaitOptions& options) {
    if (options.trace) options.trace("WaitForString = [" + text + "]");
    return WaitForAny(platform, wait, {text}, options, nullptr);
}

bool DispatchingPause(IPlatform& platform, int ms, const std::function<bool()>& cutShort) {
    bool cut = false;
    auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    if (!platform.OnUiThread()) {
        while (Clock::now() < deadline) {
            if (cutShort && cutShort()) return false;
            std::this_thread::sleep_for(
                std::min<Clock::duration>(deadline - Clock::now(), std::chrono::milliseconds(20)));
        }
        return true;
    }
    platform.DispatchWait(
        [&] {
            cut = cutShort && cutShort();
            return cut;
        },
        deadline);
    return !cut;
}

}  // namespace marlo
