// Timestamps of received lines: where a line starts in the received text, and the stamp it gets.
// A line starts at the first byte after a line end (LF, CR LF, or a CR alone), so a line split
// across receive blocks gets one stamp, at its first byte, and CR LF ends one line, not two.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace marlo {

// Values of the `TimeStamp` setting.
enum TimeStampForm : int {
    kStampOff = 0,
    kStampClock = 1,    // "HH:MM:SS.mmm " local time
    kStampElapsed = 2,  // "+HH:MM:SS.mmm " since the line opened or the connection was made
};
inline constexpr int kStampFormCount = 3;

// When a line began: the time of day and the time since the connection, in milliseconds; a line
// that has none has wallMs 0.
struct LineTime {
    int64_t wallMs = 0;
    int64_t sinceOriginMs = 0;
    bool Set() const { return wallMs != 0; }
    bool operator==(const LineTime&) const = default;
};

class LineStarts {
  public:
    // Feed every byte in order: true when `b` is the first byte of a line.
    bool Starts(uint8_t b);
    // The next byte starts a line (a new connection).
    void Reset() { atStart_ = true, afterCr_ = false; }

  private:
    bool atStart_ = true;
    bool afterCr_ = false;
};

class LineStamper {
  public:
    using SystemClock = std::chrono::system_clock;
    using SteadyClock = std::chrono::steady_clock;

    void SetForm(int form) { form_ = form >= 0 && form < kStampFormCount ? form : kStampOff; }
    int Form() const { return form_; }
    bool On() const { return form_ != kStampOff; }
    // Where the elapsed time counts from (the connection); the next byte starts a line.
    void SetOrigin(SteadyClock::time_point origin) {
        origin_ = origin;
        starts_.Reset();
    }
    // The next byte starts a line (a log opened afresh).
    void Restart() { starts_.Reset(); }
    // Whether `b` starts a line (stamps on); feed every byte in order.
    bool StartsLine(uint8_t b) { return On() && starts_.Starts(b); }
    // The time now, as a line keeps it.
    LineTime Now() const;

    // The stamp to put before `b`, or "" when `b` does not start a line (or stamps are off).
    // The clocks are read only when a stamp is due: this runs for every received byte.
    std::string Before(uint8_t b) {
        if (!On() || !starts_.Starts(b)) return {};
        return Format(form_, SystemClock::now(), SteadyClock::now() - origin_);
    }
    std::string Before(uint8_t b, SystemClock::time_point wall, SteadyClock::time_point steady);
    // `text` with the stamps put in.
    std::string Stamp(const std::string& text);

    // The stamp text of a time, in `form`.
    static std::string Format(int form, SystemClock::time_point wall,
                              SteadyClock::duration sinceOrigin);
    static std::string Format(int form, const LineTime& t);

  private:
    int form_ = kStampOff;
    SteadyClock::time_point origin_ = SteadyClock::now();
    LineStarts starts_;
};

}  // namespace marlo
