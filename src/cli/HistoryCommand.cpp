// marlo-cli history: the connection history as the history window lists it.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliText.h"
#include "line/History.h"
#include "settings/Paths.h"
#include "settings/StoreFactory.h"
#include "text/Encoding.h"

namespace marlo::cli {

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: marlo-cli history [--period all|year|month|today] [--host NAME] [--utf8] "
                 "[--set HistoryDefPath=DIR]\n");
    return kExitUsage;
}

int RunHistory(const std::vector<std::string>& args) {
    HistoryPeriod period = HistoryPeriod::All;
    std::optional<std::string> host;
    std::optional<std::string> dir;
    bool utf8 = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--utf8") {
            utf8 = true;
        } else if (a == "--period" && hasValue) {
            const std::string& p = args[++i];
            if (p == "all")
                period = HistoryPeriod::All;
            else if (p == "year")
                period = HistoryPeriod::Year;
            else if (p == "month")
                period = HistoryPeriod::Month;
            else if (p == "today")
                period = HistoryPeriod::Today;
            else
                return Usage();
        } else if (a == "--host" && hasValue) {
            const std::string& h = args[++i];
            host = ArgToSjis(h);
        } else if (a == "--set" && hasValue) {
            std::string name, value;
            if (!SplitSetting(args[++i], name, value)) return Usage();
            if (name == "HistoryDefPath") dir = value;
        } else {
            return Usage();
        }
    }
    if (!dir) {
        std::string message;
        auto store = OpenUserSettingsStore(&message);
        if (!message.empty()) std::fprintf(stderr, "marlo-cli history: %s\n", message.c_str());
        if (auto stored = store->GetText("", "HistoryDefPath"); stored && !stored->empty())
            dir = *stored;
        else
            dir = DataDir();
    }

    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    const HistoryView view = ReadHistory(*dir, period, host, today);

    std::string text;
    for (const HistoryRecord& r : view.rows) {
        const size_t first = r.charge.find_first_not_of(' ');
        const std::string charge = first == std::string::npos ? "" : r.charge.substr(first);
        text += r.host + "\t" + r.date + "\t" + r.times + "\t" + charge + "\n";
    }
    // The totals are the window's labels, written in the program's text encoding unless asked for
    // UTF-8 like everything else.
    text += Utf8ToSjis(view.CountText()) + "\n" + Utf8ToSjis(view.TimeText()) + "\n" +
            Utf8ToSjis(view.ChargeText()) + "\n";
    if (utf8) text = SjisToUtf8(text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (view.unreadLines > 0)
        std::fprintf(stderr,
                     "marlo-cli history: %d line(s) of %s are not records and were left out\n",
                     view.unreadLines, HistoryPath(*dir).c_str());
    return kExitOk;
}

}  // namespace

MARLO_CLI_COMMAND("history",
                  "  history [--period all|year|month|today] [--host NAME] [--utf8]\n"
                  "      the connection records of history.txt in HistoryDefPath, tab-separated,\n"
                  "      then the count, the connection time and the charge",
                  RunHistory);

}  // namespace marlo::cli
