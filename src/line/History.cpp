#include "line/History.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/Platform.h"

namespace marlo {

namespace {

// Shift-JIS texts of the record.
constexpr std::string_view kYear = "\x94\x4e";   // 年
constexpr std::string_view kMonth = "\x8c\x8e";  // 月
constexpr std::string_view kDay = "\x93\xfa";    // 日
constexpr std::string_view kTilde = "\x81\x60";  // ～
constexpr std::string_view kYen = "\x89\x7e";    // 円
constexpr const char* kWeekdays[7] = {"\x93\xfa", "\x8c\x8e", "\x89\xce", "\x90\x85",
                                      "\x96\xd8", "\x8b\xe0", "\x93\x79"};  // 日月火水木金土

constexpr int kDayStart = 8 * 3600;
constexpr int kEveningStart = 19 * 3600;
constexpr int kNightStart = 23 * 3600;
constexpr long kDaySeconds = 24 * 3600;
// A clock set wrongly must not make the charge loop run for ages.
constexpr long kLongestCall = 400 * kDaySeconds;

bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The period of a time of day (0 day, 1 evening, 2 night) and the next boundary after it.
int PeriodOf(int t) {
    if (t >= kDayStart && t < kEveningStart) return 0;
    if (t >= kEveningStart && t < kNightStart) return 1;
    return 2;
}
int NextBoundary(int t) {
    if (t < kDayStart) return kDayStart;
    if (t < kEveningStart) return kEveningStart;
    if (t < kNightStart) return kNightStart;
    return static_cast<int>(kDaySeconds);
}

bool DigitsAt(std::string_view s, size_t pos, size_t n, int* value) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = 0; i < n; ++i) {
        char c = s[pos + i];
        if (c == ' ' && v == 0 && i + 1 < n) continue;  // "%2d" may have written a blank
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

bool TextAt(std::string_view s, size_t pos, std::string_view t) {
    return pos + t.size() <= s.size() && s.substr(pos, t.size()) == t;
}

// A number of `n` digits at `pos` that lies in first..last.
bool NumberAt(std::string_view s, size_t pos, size_t n, int first, int last, int* value) {
    return DigitsAt(s, pos, n, value) && *value >= first && *value <= last;
}

// "YYYY年MM月DD日(W)", 18 bytes.
bool DateAt(std::string_view s, size_t p, int* y, int* m, int* d) {
    return DigitsAt(s, p, 4, y) && TextAt(s, p + 4, kYear) && NumberAt(s, p + 6, 2, 1, 12, m) &&
           TextAt(s, p + 8, kMonth) && NumberAt(s, p + 10, 2, 1, 31, d) &&
           TextAt(s, p + 12, kDay) && TextAt(s, p + 14, "(") && p + 17 < s.size() &&
           IsLeadByte(static_cast<uint8_t>(s[p + 15])) && s[p + 17] == ')';
}

// "hh:mm:ss", 8 bytes, a time of day in seconds.
bool TimeAt(std::string_view s, size_t p, int* seconds) {
    int h, m, sec;
    if (!(NumberAt(s, p, 2, 0, 23, &h) && TextAt(s, p + 2, ":") &&
          NumberAt(s, p + 3, 2, 0, 59, &m) && TextAt(s, p + 5, ":") &&
          NumberAt(s, p + 6, 2, 0, 59, &sec)))
        return false;
    *seconds = h * 3600 + m * 60 + sec;
    return true;
}

// "hh:mm:ss～hh:mm:ss", 18 bytes; the two times in seconds of the day. A field out of its range
// makes no time: the record is unreadable rather than a negative or outsized duration.
bool TimesAt(std::string_view s, size_t p, int* start, int* end) {
    return TimeAt(s, p, start) && TextAt(s, p + 8, kTilde) && TimeAt(s, p + 10, end);
}

std::string FormatTotal(const char* format, long a, long b = 0, long c = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

}  // namespace

const int ChargeTable[7][6] = {
    {180, 180, 240, 180, 180, 240}, {90, 90, 120, 90, 90, 120}, {45, 45, 60, 45, 45, 60},
    {36, 36, 60, 36, 36, 60},       {22, 30, 45, 30, 30, 45},   {13, 22, 30, 22, 22, 30},
    {10, 18, 22, 18, 18, 22},
};

long ChargeForCall(int startOfDay, int weekday, long seconds, int band) {
    if (seconds <= 0) return 0;
    band = std::clamp(band, 0, 6);
    seconds = std::min(seconds, kLongestCall);
    int t = std::clamp(startOfDay, 0, static_cast<int>(kDaySeconds) - 1);
    int day = std::clamp(weekday, 1, 7) - 1;  // 0 Sunday .. 6 Saturday
    long units = 0;
    long remaining = seconds;
    for (;;) {
        const long piece = std::min<long>(remaining, NextBoundary(t) - t);
        const bool weekend = day == 0 || day == 6;
        const int unit = ChargeTable[band][(weekend ? 3 : 0) + PeriodOf(t)];
        units += piece / unit;
        remaining -= piece;
        if (remaining == 0) {
            if (piece % unit != 0) ++units;
            break;
        }
        t += static_cast<int>(piece);
        if (t >= kDaySeconds) {
            t = 0;
            day = (day + 1) % 7;
        }
    }
    return 10 * units;
}

long Charge(int startOfDay, int endOfDay, int weekday, int band) {
    long seconds = static_cast<long>(endOfDay) - startOfDay;
    if (seconds < 0) seconds += kDaySeconds;
    return ChargeForCall(startOfDay, weekday, seconds, band);
}

std::string FormatHistoryRecord(const std::string& hostName, const std::tm& connect,
                                const std::tm& disconnect, long yen) {
    // The name fills 30 bytes; a longer one is cut before a character that would not fit whole.
    std::string name;
    for (size_t i = 0; i < hostName.size();) {
        const size_t len =
            IsLeadByte(static_cast<uint8_t>(hostName[i])) && i + 1 < hostName.size() ? 2 : 1;
        if (name.size() + len > 30) break;
        name.append(hostName, i, len);
        i += len;
    }
    name.resize(30, ' ');
    const int wday = std::clamp(disconnect.tm_wday, 0, 6);
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "%s %04d%s%02d%s%02d%s(%s) %02d:%02d:%02d%s%02d:%02d:%02d %4ld%s", name.c_str(),
                  disconnect.tm_year + 1900, kYear.data(), disconnect.tm_mon + 1, kMonth.data(),
                  disconnect.tm_mday, kDay.data(), kWeekdays[wday], connect.tm_hour, connect.tm_min,
                  connect.tm_sec, kTilde.data(), disconnect.tm_hour, disconnect.tm_min,
                  disconnect.tm_sec, std::max(0L, yen), kYen.data());
    return buf;
}

std::string HistoryPath(const std::string& dir) {
    return (std::filesystem::path(dir) / kHistoryFileName).string();
}

bool WriteHistoryRecord(const std::string& dir, const std::string& hostName, std::time_t connect,
                        std::time_t disconnect, bool telnet, int band, std::string* message) {
    std::tm on{}, off{};
    localtime_r(&connect, &on);
    localtime_r(&disconnect, &off);
    const long seconds = std::max(0L, static_cast<long>(disconnect - connect));
    const long yen = telnet ? 0
                            : ChargeForCall(on.tm_hour * 3600 + on.tm_min * 60 + on.tm_sec,
                                            on.tm_wday + 1, seconds, band);
    const std::string record = FormatHistoryRecord(hostName, on, off, yen) + "\r\n";

    const int fd =
        ::open(HistoryPath(dir).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (message) *message = kHistoryOpenFailed;
        return false;
    }
    // One write with O_APPEND keeps a record whole even if another writer appends at the same time.
    size_t done = 0;
    bool ok = true;
    while (done < record.size()) {
        const ssize_t n = ::write(fd, record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    if (!ok && message) *message = kHistoryOpenFailed;
    return ok;
}

std::optional<HistoryRecord> ParseHistoryLine(std::string_view line) {
    constexpr size_t kFieldsLength = 18 + 1 + 18;
    for (size_t d = 0; d + kFieldsLength <= line.size(); ++d) {
        HistoryRecord r;
        int start = 0, end = 0;
        if (!DateAt(line, d, &r.year, &r.month, &r.day) || line[d + 18] != ' ' ||
            !TimesAt(line, d + 19, &start, &end))
            continue;
        r.host = std::string(line.substr(0, d));
        r.host.erase(r.host.find_last_not_of(' ') + 1);
        r.date = std::string(line.substr(d, 18));
        r.times = std::string(line.substr(d + 19, 18));
        r.seconds = end - start;
        if (r.seconds < 0) r.seconds += kDaySeconds;
        // The charge: after one blank, up to "円".
        std::string_view rest = line.substr(d + kFieldsLength);
        if (!rest.empty() && rest[0] == ' ') {
            rest.remove_prefix(1);
            const size_t yen = rest.find(kYen);
            std::string_view text = rest.substr(0, yen);
            const size_t first = text.find_first_not_of(' ');
            bool number = yen != std::string_view::npos && first != std::string_view::npos &&
                          text.size() - first <= 9;
            for (size_t i = first; number && i < text.size(); ++i)
                number = text[i] >= '0' && text[i] <= '9';
            if (number) {
                r.charge = std::string(text);
                r.yen = std::stol(std::string(text.substr(first)));
            }
        }
        return r;
    }
    return std::nullopt;
}

std::string HistoryView::CountText() const {
    return FormatTotal("%ld回", count);
}
std::string HistoryView::TimeText() const {
    return FormatTotal("%ld時間 %ld分 %ld秒", seconds / 3600, seconds / 60 % 60, seconds % 60);
}
std::string HistoryView::ChargeText() const {
    return FormatTotal("%ld円", yen);
}

std::tm LocalToday() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

bool InPeriod(HistoryPeriod period, int year, int month, int day, const std::tm& today) {
    const bool thisYear = year == today.tm_year + 1900;
    const bool thisMonth = thisYear && month == today.tm_mon + 1;
    switch (period) {
        case HistoryPeriod::All:
            return true;
        case HistoryPeriod::Year:
            return thisYear;
        case HistoryPeriod::Month:
            return thisMonth;
        case HistoryPeriod::Today:
            return thisMonth && day == today.tm_mday;
    }
    return false;
}

HistoryView ReadHistory(const std::string& dir, HistoryPeriod period,
                        const std::optional<std::string>& host, const std::tm& today) {
    HistoryView view;
    std::ifstream in(HistoryPath(dir), std::ios::binary);
    if (!in) return view;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        auto r = ParseHistoryLine(line);
        if (!r) {
            ++view.unreadLines;
            continue;
        }
        if (!InPeriod(period, r->year, r->month, r->day, today) || (host && *host != r->host))
            continue;
        ++view.count;
        view.seconds += r->seconds;
        view.yen += r->yen;
        view.rows.push_back(std::move(*r));
    }
    return view;
}

bool DeleteHistory(const std::string& dir, std::string* message) {
    std::error_code ec;
    std::filesystem::remove(HistoryPath(dir), ec);
    if (ec) {
        if (message) *message = kHistoryDeleteFailed;
        return false;
    }
    return true;
}

bool AskAndDeleteHistory(IPlatform& platform, const std::string& dir) {
    if (platform.MessageBox(kHistoryDeleteAsk, MsgIcon::Question, MsgButtons::YesNo) !=
        MsgResult::Yes)
        return false;
    std::string message;
    if (!DeleteHistory(dir, &message)) {
        platform.MessageBox(message, MsgIcon::Exclamation);
        return false;
    }
    return true;
}

std::vector<std::string> HistoryHostChoices(const std::vector<std::string>& hostNames) {
    std::vector<std::string> names;
    for (const auto& n : hostNames)
        if (!n.empty()) names.push_back(n);
    return names;
}

}  // namespace marlo
