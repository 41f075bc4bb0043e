// The connection history: one fixed-position Shift-JIS line per connection made from a host entry
// in "history.txt", the telephone charge of a call, and the history window's model (period and
// host filters, totals, delete).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlo {

class IPlatform;

inline constexpr const char* kHistoryFileName = "history.txt";
// Messages and labels (UTF-8).
inline constexpr const char* kHistoryOpenFailed =
    "接続履歴ファイルのオープンに失敗したので,履歴は書き込めません";
inline constexpr const char* kHistoryDeleteAsk = "接続履歴を削除してもいいですか？";
inline constexpr const char* kHistoryDeleteFailed = "接続履歴を削除できませんでした.";
inline constexpr const char* kHistoryAllHosts = "すべてのホスト";
inline constexpr const char* kHistoryTitle = "接続履歴";

// Seconds of connection bought by 10 yen, by distance band and column: weekday day (08:00-19:00),
// evening (19:00-23:00), night (23:00-08:00), then the same for Saturday and Sunday.
extern const int ChargeTable[7][6];

// The charge in yen of a call that starts `startOfDay` seconds after midnight on `weekday`
// (1 Sunday .. 7 Saturday) and lasts `seconds`, in distance band `band` (0..6). The call is cut
// at 08:00, 19:00, 23:00 and midnight; each piece pays whole units at its own rate and the last
// piece a started unit too. Any length, whole days included; never negative.
long ChargeForCall(int startOfDay, int weekday, long seconds, int band);
// The same for a call known only by its start and end time of day: an end before the start
// crosses midnight.
long Charge(int startOfDay, int endOfDay, int weekday, int band);

// One record without its line end, exactly 75 bytes for a name of up to 30 bytes and a charge of
// up to 4 digits. A longer name is cut at a character boundary.
std::string FormatHistoryRecord(const std::string& hostName, const std::tm& connect,
                                const std::tm& disconnect, long yen);

// Appends the record of a connection that ended now: telnet calls cost 0, telephone calls the
// charge of their band. False with `message` set when the file cannot be opened or written.
bool WriteHistoryRecord(const std::string& dir, const std::string& hostName, std::time_t connect,
                        std::time_t disconnect, bool telnet, int band, std::string* message);

struct HistoryRecord {
    std::string host;    // trailing blanks removed
    std::string date;    // "1995年04月01日(土)"
    std::string times;   // "22:50:00～23:10:00"
    std::string charge;  // the charge field as written ("   0"); empty when it is not a number
    int year = 0, month = 0, day = 0;
    long seconds = 0;  // connection time, never negative
    long yen = 0;
};

// Reads one line (without CR LF). The fields are found from the date and times that every record
// holds, so a longer name or a wider charge does not shift them. nullopt for a line that is not a
// record, one whose month, day, hour, minute or second is out of range included.
std::optional<HistoryRecord> ParseHistoryLine(std::string_view line);

enum class HistoryPeriod { All, Year, Month, Today };

// The local date and time now, where the periods are counted from.
std::tm LocalToday();

// True when the date (year, month 1..12, day) falls in `period` relative to `today` (local time);
// the history and the log browser count their periods alike.
bool InPeriod(HistoryPeriod period, int year, int month, int day, const std::tm& today);

struct HistoryView {
    std::vector<HistoryRecord> rows;
    int count = 0;
    long seconds = 0;
    long yen = 0;
    int unreadLines = 0;  // lines that are not records, left out

    // The totals as the window shows them (UTF-8): "%d回", "%d時間 %d分 %d秒", "%ld円".
    std::string CountText() const;
    std::string TimeText() const;
    std::string ChargeText() const;
};

// The records of "history.txt" in `dir` that fall in `period` relative to `today` and belong to
// `host` (Shift-JIS; nullopt for every host). A missing file gives an empty view.
HistoryView ReadHistory(const std::string& dir, HistoryPeriod period,
                        const std::optional<std::string>& host, const std::tm& today);

// Deletes "history.txt" in `dir`; false with `message` set when it exists and cannot be removed.
bool DeleteHistory(const std::string& dir, std::string* message);

// The window's "削除(&D)..." command: asks "接続履歴を削除してもいいですか？" and, on Yes, deletes
// the file, telling the user when that fails. True when the file is gone (the list is then
// emptied).
bool AskAndDeleteHistory(IPlatform& platform, const std::string& dir);

// The host choices of the window (Shift-JIS): every host name in table order, empty ones left out;
// the window puts "すべてのホスト" before them.
std::vector<std::string> HistoryHostChoices(const std::vector<std::string>& hostNames);

std::string HistoryPath(const std::string& dir);

}  // namespace marlo
