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
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "settings/Settings.h"
#include "settings/SettingsByName.h"
#include "terminal/CaptureSink.h"
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

namespace marlo {
namespace {

struct ScreenCase {
    std::string file;
    int line = 0;
    std::string name;
    std::vector<std::pair<std::string, std::string>> settings;
    size_t chunk = 0;
    std::string input;
    bool log = false;
    bool logEscapes = false;
    bool expectLog = false;
    std::string logBytes;
    ScreenDumpOptions options;
    std::string expected;
    std::string error;  // a malformed case
};

bool Unescape(const std::string& text, std::string* out) {
    static const std::string kNames = "erntba0\\";
    static const std::string kBytes("\x1b\r\n\t\b\a\0\\", 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
        } else if (++i >= text.size()) {
            return false;
        } else if (size_t k = kNames.find(text[i]); k != std::string::npos) {
            *out += kBytes[k];
        } else if (text[i] == 'x' && i + 2 < text.size() && std::isxdigit(uint8_t(text[i + 1])) &&
                   std::isxdigit(uint8_t(text[i + 2]))) {
            *out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

std::vector<ScreenCase> LoadCases() {
    std::vector<ScreenCase> cases;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(MARLO_TEST_DATA "/screen"))
        if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path);
        std::string line;
        int number = 0;
        bool inExpect = false;
        ScreenCase* c = nullptr;
        ScreenCase fileDefaults;  // "set" lines before the first case apply to every case
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("===", 0) == 0) {
                cases.push_back({});
                c = &cases.back();
                c->settings = fileDefaults.settings;
                c->file = path.filename().string();
                c->line = number;
                c->name = line.size() > 4 ? line.substr(4) : "";
                inExpect = false;
                continue;
            }
            if (line.empty() || line[0] == '#') continue;
            if (!c) {
                auto eq = line.find('=');
                if (line.rfind("set ", 0) == 0 && eq != std::string::npos)
                    fileDefaults.settings.emplace_back(line.substr(4, eq - 4), line.substr(eq + 1));
                continue;
            }
            auto fail = [&](const std::string& why) {
                if (c->error.empty()) c->error = "line " + std::to_string(number) + ": " + why;
            };
            if (inExpect) {
                if (line[0] == '|')
                    c->expected += line.substr(1) + "\n";
                else
                    fail("expected a '|' line");
                continue;
            }
            std::string word = line.substr(0, line.find(' '));
            std::string rest = line.size() > word.size() + 1 ? line.substr(word.size() + 1) : "";
            if (word == "set") {
                auto eq = rest.find('=');
                if (eq == std::string::npos)
                    fail("set needs Name=Value");
                else
                    c->settings.emplace_back(rest.substr(0, eq), rest.substr(eq + 1));
            } else if (word == "chunk") {
                c->chunk = static_cast<size_t>(std::max(std::atoi(rest.c_str()), 1));
            } else if (word == "in") {
                if (!Unescape(rest, &c->input)) fail("bad escape");
            } else if (word == "rep") {
                std::istringstream words(rest);
                int times = 0;
                words >> times;
                std::string text = rest.substr(std::min(rest.size(), rest.find(' ') + 1));
                std::string bytes;
                if (times <= 0 || !Unescape(text, &bytes)) fail("rep needs a count and text");
                for (int i = 0; i < times; ++i) c->input += bytes;
            } else if (word == "log") {
                c->log = true;
                c->logEscapes = rest == "esc";
            } else if (word == "expectlog") {
                c->expectLog = true;
                if (!Unescape(rest, &c->logBytes)) fail("bad escape");
            } else if (word == "expect") {
                inExpect = true;
                std::istringstream words(rest);
                std::string option;
                while (words >> option) {
                    if (option == "utf8")
                        c->options.utf8 = true;
                    else if (option == "attrs")
                        c->options.attrs = true;
                    else if (option == "cursor")
                        c->options.cursor = true;
                    else
                        fail("unknown expect option " + option);
                }
            } else {
                fail("unknown directive " + word);
            }
        }
    }
    return cases;
}

void PrintTo(const ScreenCase& c, std::ostream* os) {
    *os << c.file << ":" << c.line << " " << c.name;
}

class ScreenCases : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenCases, PrintsTheExpectedScreen) {
    const ScreenCase& c = GetParam();
    SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + " " + c.name);
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
    EXPECT_EQ(DumpScreen(terminal, c.options), c.expected);
    if (c.expectLog) {
        EXPECT_EQ(sink.bytes, c.logBytes);
    }
}

std::string CaseName(const testing::TestParamInfo<ScreenCase>& info) {
    std::string name = info.param.file.substr(0, info.param.file.find('.')) + "_" +
                       std::to_string(info.param.line);
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Data, ScreenCases, testing::ValuesIn(LoadCases()), CaseName);

}  // namespace
}  // namespace marlo
