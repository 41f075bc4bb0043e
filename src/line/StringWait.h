// The string wait: waiters (the dialler, the auto-logon, the macro thread) arm a set of awaited
// texts and the user-interface thread feeds received text bytes. Each waiter keeps its own
// patterns and its own result. The recent received bytes sit in `MatchWindow` (255 bytes) and are
// searched by substring; a match consumes the window up to the end of the matched text, so bytes
// that followed it (in the same block or later) are there for the next wait.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

namespace marlo {

class IPlatform;

class StringWait {
  public:
    static constexpr size_t kMaxPatterns = 50;
    static constexpr size_t kWindowSize = 255;

    // Arms a waiter with its patterns (at most 50 are kept). `fresh` empties the window first, so
    // only text received from now on counts (a modem command's answer); otherwise text left after
    // an earlier match counts too. Returns the waiter's id (never 0). A pattern already in the
    // window matches at once.
    int Arm(std::vector<std::string> patterns, bool fresh);
    // Forgets a waiter (its time-out or stop); its result is gone.
    void Disarm(int id);
    // 0 while waiting (or unknown id), else the 1-based index of the pattern that matched.
    int Matched(int id) const;
    // True while any waiter waits.
    bool Active() const;
    // True while received text matters: a waiter waits, or a match was made and what follows it
    // is kept for the next wait (a host that answers before the next wait is armed).
    bool Wanted() const;

    void Feed(const uint8_t* p, size_t n);
    void Feed(uint8_t b) { Feed(&b, 1); }
    void ClearWindow();
    // From now on received text is kept for the next wait, as after a match: a macro calls it
    // before it sends, so a host that answers at once is not missed.
    void Record();
    std::string Window() const;

    // Blocks a thread other than the user-interface thread until the waiter matched, the time-out
    // passed (-1: none) or `stop` is set; returns the matched index or 0.
    int BlockFor(int id, int timeoutMs, const std::atomic<bool>* stop);

  private:
    struct Waiter {
        int id;
        std::vector<std::string> patterns;
        int matched = 0;
    };
    // Checks waiters against the window; `tailOnly`: only matches ending at the last byte.
    bool MatchLocked(bool tailOnly);

    mutable std::mutex mutex_;
    std::condition_variable matched_;
    std::list<Waiter> waiters_;
    std::string window_;
    bool recording_ = false;  // text after a match is kept until the next waiter takes it
    int nextId_ = 1;
};

// Why a wait ended; the numbers are those the macro language and the callers see.
enum class WaitOutcome { Matched = 0, Closing = 1, TimedOut = 2 };

struct WaitOptions {
    int timeoutMs = 5000;  // -1: no limit
    bool fresh = true;
    // The stop request (m_bAutoCmdStop): cuts the wait short when it becomes set while waiting.
    const std::atomic<bool>* stop = nullptr;
    // Set when the program is being closed: the wait ends with Closing.
    const std::atomic<bool>* closing = nullptr;
    std::function<void(const std::string&)> trace;
};

// Waits for `text` while keeping the user-interface thread alive (dispatching events through the
// platform); on another thread it simply blocks. Outcome Matched means the text arrived.
WaitOutcome WaitForString(IPlatform& platform, StringWait& wait, const std::string& text,
                          const WaitOptions& options);
// The same for several patterns; `index` receives the 1-based number of the one that arrived.
WaitOutcome WaitForAny(IPlatform& platform, StringWait& wait,
                       const std::vector<std::string>& patterns, const WaitOptions& options,
                       int* index);

// A dispatching pause of `ms`; false when `cutShort` became true before the time was up.
bool DispatchingPause(IPlatform& platform, int ms, const std::function<bool()>& cutShort);

}  // namespace marlo
