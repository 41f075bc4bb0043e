#include "terminal/LineStamps.h"

#include <cstdio>
#include <ctime>

namespace marlo {

namespace {
constexpr uint8_t kCr = 13;
constexpr uint8_t kLf = 10;
}  // namespace

bool LineStarts::Starts(uint8_t b) {
    if (afterCr_) {
        afterCr_ = false;
        // The LF of a CR LF belongs to the line end before it.
        if (b == kLf) return false;
    }
    bool starts = atStart_;
    atStart_ = b == kCr || b == kLf;
    afterCr_ = b == kCr;
    return starts;
}

std::string LineStamper::Before(uint8_t b, SystemClock::time_point wall,
                                SteadyClock::time_point steady) {
    if (!On() || !starts_.Starts(b)) return {};
    return Format(form_, wall, steady - origin_);
}

std::string LineStamper::Stamp(const std::string& text) {
    if (!On()) return text;
    const auto wall = SystemClock::now();
    const auto steady = SteadyClock::now();
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        out += Before(static_cast<uint8_t>(c), wall, steady);
        out += c;
    }
    return out;
}

LineTime LineStamper::Now() const {
    using namespace std::chrono;
    return {duration_cast<milliseconds>(SystemClock::now().time_since_epoch()).count(),
            duration_cast<milliseconds>(SteadyClock::now() - origin_).count()};
}

std::string LineStamper::Format(int form, const LineTime& t) {
    using namespace std::chrono;
    return Format(
        form, SystemClock::time_point(duration_cast<SystemClock::duration>(milliseconds(t.wallMs))),
        milliseconds(t.sinceOriginMs));
}

std::string LineStamper::Format(int form, SystemClock::time_point wall,
                                SteadyClock::duration sinceOrigin) {
    using namespace std::chrono;
    char text[40];
    if (form == kStampElapsed) {
        long long ms = duration_cast<milliseconds>(sinceOrigin).count();
        if (ms < 0) ms = 0;
        std::snprintf(text, sizeof text, "+%02lld:%02lld:%02lld.%03lld ", ms / 3600000,
                      ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        return text;
    }
    const std::time_t seconds = SystemClock::to_time_t(wall);
    std::tm local{};
    localtime_r(&seconds, &local);
    const long long ms = duration_cast<milliseconds>(wall.time_since_epoch()).count() % 1000;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03lld ", local.tm_hour, local.tm_min,
                  local.tm_sec, ms < 0 ? ms + 1000 : ms);
    return text;
}

}  // namespace marlo
