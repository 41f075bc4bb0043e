// The connection history reader. Any line: a record read from it has a date and times in range, a
// connection time within a day and a charge that is not negative; the totals of any file are
// never negative. A record written from any name and moment reads back with the same fields.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "line/History.h"

namespace marlo::fuzz {
namespace {

void CheckRecord(const HistoryRecord& r) {
    if (r.month < 1 || r.month > 12 || r.day < 1 || r.day > 31) Fail("date out of range");
    if (r.seconds < 0 || r.seconds >= 24 * 3600) Fail("connection time out of a day");
    if (r.yen < 0) Fail("negative charge");
}

std::tm Moment(Input& in) {
    std::tm t{};
    t.tm_year = in.Below(10000) - 1900;
    t.tm_mon = in.Below(12);
    t.tm_mday = 1 + in.Below(31);
    t.tm_wday = in.Below(7);
    t.tm_hour = in.Below(24);
    t.tm_min = in.Below(60);
    t.tm_sec = in.Below(60);
    return t;
}

}  // namespace

void FuzzOne(Input& in) {
    if (in.Flag()) {
        // Written, then read.
        const std::tm on = Moment(in), off = Moment(in);
        const long yen = in.Below(10000);
        std::string name = in.Bytes(in.Below(40));
        for (char& c : name)
            if (c == '\r' || c == '\n') c = '_';
        const std::string line = FormatHistoryRecord(name, on, off, yen);
        auto r = ParseHistoryLine(line);
        if (!r) Fail("a written record does not read back");
        CheckRecord(*r);
        if (r->year != off.tm_year + 1900 || r->month != off.tm_mon + 1 || r->day != off.tm_mday)
            Fail("the date does not read back");
        if (r->yen != yen) Fail("the charge does not read back");
        if (!IsPrefix(r->host, name)) Fail("the name does not read back");
        return;
    }
    const std::string text = in.Rest();
    test::TempDir dir;
    test::WriteWhole((dir.path / kHistoryFileName).string(), text);
    const HistoryView view = ReadHistory(dir.Str(), HistoryPeriod::All, std::nullopt, std::tm{});
    for (const HistoryRecord& r : view.rows) CheckRecord(r);
    if (view.seconds < 0 || view.yen < 0 || view.count < 0) Fail("negative totals");
    if (view.TimeText().find('-') != std::string::npos) Fail("a negative time shown");
}

}  // namespace marlo::fuzz
