// Terminal behaviour as data: every tests/data/screen/*.txt file holds cases of "feed these bytes
// with these settings, expect this screen". A case file looks like this:
//
//   # a comment
//   === name of the case
//   set Emulation=1            any number of settings, by stored value name
//   chunk 1                    optional: bytes per ProcessReceived call (default ReadSize)
//   in \e[2J\e[5;10HX\r\n      bytes, concatenated over the "in" lines (nothing is added
//                              between them); escapes: \e \r \n \t \b \a \0 \\ \xNN
//   rep 40 abc                 the text repeated, here 40 times
//   log                        record what reaches a capture sink ("log esc": with escapes)
//   expectlog abc\r\n          the bytes the sink must hold (escapes as for "in")
//   expect utf8 attrs cursor   the printed screen follows, options as for marlo-cli screen
//   |first line                each line of the print, after a "|"
//   |
//   |cursor 2 1
//
// "set" lines before the first case apply to every case of the file. A case ends where the next
// "===" starts. The expected lines are what marlo-cli screen prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "support/CaseFile.h"
#include "FakeHost.h"
#include "settings/Settings.h"
#include "settings/SettingsByName.h"
#include "terminal/CaptureSink.h"
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

namespace marlo {
namespace {

struct ScreenCase {
    CaseText text;
    std::vector<std::pair<std::string, std::string>> settings;
    size_t chunk = 0;
    std::string input;
    bool log = false;
    bool logEscapes = false;
    bool expectLog = false;
    std::string logBytes;
    ScreenDumpOptions options;
    std::string error;  // a malformed case
};

std::vector<ScreenCase> LoadCases() {
    std::vector<ScreenCase> cases;
    for (auto& text : ReadCaseFiles(MARLO_TEST_DATA "/screen")) {
        ScreenCase c;
        c.error = text.error;
        for (const auto& [word, rest, number] : text.directives) {
            auto fail = [&, number = number](const std::string& why) {
                if (c.error.empty()) c.error = "line " + std::to_string(number) + ": " + why;
            };
            if (word == "set") {
                auto eq = rest.find('=');
                if (eq == std::string::npos)
                    fail("set needs Name=Value");
                else
                    c.settings.emplace_back(rest.substr(0, eq), rest.substr(eq + 1));
            } else if (word == "chunk") {
                c.chunk = static_cast<size_t>(std::max(std::atoi(rest.c_str()), 1));
            } else if (word == "in") {
                if (!Unescape(rest, &c.input)) fail("bad escape");
            } else if (word == "rep") {
                std::istringstream words(rest);
                int times = 0;
                words >> times;
                std::string repeated = rest.substr(std::min(rest.size(), rest.find(' ') + 1));
                std::string bytes;
                if (times <= 0 || !Unescape(repeated, &bytes)) fail("rep needs a count and text");
                for (int i = 0; i < times; ++i) c.input += bytes;
            } else if (word == "log") {
                c.log = true;
                c.logEscapes = rest == "esc";
            } else if (word == "expectlog") {
                c.expectLog = true;
                if (!Unescape(rest, &c.logBytes)) fail("bad escape");
            } else {
                fail("unknown directive " + word);
            }
        }
        std::istringstream words(text.expectOptions);
        std::string option;
        while (words >> option) {
            if (option == "utf8")
                c.options.utf8 = true;
            else if (option == "attrs")
                c.options.attrs = true;
            else if (option == "cursor")
                c.options.cursor = true;
            else if (c.error.empty())
                c.error = "unknown expect option " + option;
        }
        c.text = std::move(text);
        cases.push_back(std::move(c));
    }
    return cases;
}

void PrintTo(const ScreenCase& c, std::ostream* os) {
    *os << c.text.file << ":" << c.text.line << " " << c.text.name;
}

class ScreenCases : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenCases, PrintsTheExpectedScreen) {
    const ScreenCase& c = GetParam();
    SCOPED_TRACE(c.text.file + ":" + std::to_string(c.text.line) + " " + c.text.name);
    ASSERT_TRUE(c.error.empty()) << c.error;
    Settings settings;
    for (const auto& [name, value] : c.settings) {
        std::string error;
        ASSERT_TRUE(SetSettingByName(settings, name, value, &error)) << error;
    }
    Terminal terminal(settings);
    CaptureRecorder sink(c.logEscapes);
    if (c.log) terminal.AddCaptureSink(&sink);
    size_t chunk = c.chunk ? c.chunk : static_cast<size_t>(settings.ReadBlockSize());
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.input.data());
    for (size_t at = 0; at < c.input.size(); at += chunk)
        terminal.ProcessReceived(bytes + at, std::min(chunk, c.input.size() - at));
    EXPECT_EQ(DumpScreen(terminal, c.options), c.text.expected);
    if (c.expectLog) {
        EXPECT_EQ(sink.bytes, c.logBytes);
    }
}

std::string CaseName(const testing::TestParamInfo<ScreenCase>& info) {
    return CaseTestName(info.param.text);
}

INSTANTIATE_TEST_SUITE_P(Data, ScreenCases, testing::ValuesIn(LoadCases()), CaseName);

}  // namespace
}  // namespace marlo
