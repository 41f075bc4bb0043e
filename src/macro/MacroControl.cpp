#include <chrono>

#include "macro/MacroHost.h"

namespace marlo {

void MacroControl::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

void MacroControl::SetPaused(bool paused) {
    {
        std::lock_guard lock(mutex_);
        paused_ = paused;
    }
    changed_.notify_all();
}

bool MacroControl::HoldWhilePaused() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || !paused_; });
    return !stopped_;
}

bool MacroControl::SleepFor(long ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [&] { return stopped_.load(); });
    return !stopped_;
}

void MacroControl::Reset() {
    std::lock_guard lock(mutex_);
    stopped_ = false;
    paused_ = false;
}

}  // namespace marlo
