// The macro language as data: every tests/data/macro/*.txt case is a program, what the host sends,
// and the transcript of what the macro did to its host. Directives:
//
//   mac send "abc^M"     a program line (UTF-8 here, Shift-JIS for the macro), ended by CR;
//                        {dir} stands for an empty folder of the case's own
//   bytes \xef\r         raw program bytes, escapes as in the screen cases
//   host login:\x20      text the host sends (escapes), all of it there from the start
//   user ID PASSWORD     the connected host's user ID and password
//   steps 1000           at most this many lines run
//   hosts a !b           host entries: connect reaches a, b fails to connect, others unknown
//   screen text          a row of the screen buffer (the cursor ends the last one)
//   connected NAME       the connection was made through host entry NAME
//   choose PATH          the file dialog's answer (none: Cancel)
//   transferring         a file transfer owns the line
//   trace                the macro trace is on (its texts go into the transcript)
//   expect               the transcript follows, one "|" line per thing the macro did:
//   |send abc\r            bytes written to the line (escaped, shown as UTF-8)
//   |wait a|b 30000 -> 2   the awaited texts, the time-out in ms and the answer
//   |pause 2000 / |stop 2000   sleep and stop
//   |error message         a message box
//   |start path            another macro asked for
//   answer yes             the next box's answer: yes/no, text:... or cancel, a dialog's id:N|...
//   |message text / |question text -> yes / |input prompt -> text / |password prompt -> cancel
//   |dialog title -> 2     a dialog shown and the ID that closed it
//   |connect NAME -> 1     a host entry connected (1 started, 0 failed, -1 not registered);
//                          hangup, break MS, bufferclear, suspend, resume, upload/download
//                          PROTOCOL FILE, log begin FILE new|append, log end, exec ARG|ARG
//   |trace text            a text of the macro trace (escaped)
//   |end Finished          how the run ended (always last)
//
// A wait matches the first awaited text that the received text completes, consuming the text up
// to it; no match consumes everything and answers 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "macro/MacroDialog.h"
#include "macro/MacroInterpreter.h"
#include "support/CaseFile.h"
#include "support/TempDir.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

// What the host side of a case holds: its texts are UTF-8 but the screen and what the host sends
// (Shift-JIS).
struct HostScript {
    std::string received;
    std::string userId, password;
    std::vector<std::string> answers;
    std::string hosts, screen, connected, choose;
    bool transferring = false;
    bool tracing = false;
};

struct MacroCase {
    CaseText text;
    std::string program;  // Shift-JIS
    HostScript host;
    long steps = 100000;
    std::string error;
};

const char* EndName(MacroInterpreter::End end) {
    switch (end) {
        case MacroInterpreter::End::Finished: return "Finished";
        case MacroInterpreter::End::Exit: return "Exit";
        case MacroInterpreter::End::Close: return "Close";
        case MacroInterpreter::End::Start: return "Start";
        case MacroInterpreter::End::Error: return "Error";
        case MacroInterpreter::End::Stopped: return "Stopped";
        case MacroInterpreter::End::Closing: return "Closing";
        case MacroInterpreter::End::StepLimit: return "StepLimit";
    }
    return "?";
}

class ScriptedHost : public MacroHost, public HostScript {
  public:
    explicit ScriptedHost(HostScript script) : HostScript(std::move(script)) {}

    void Send(const std::string& bytes) override { Note("send " + Escape(SjisToUtf8(bytes))); }
    int Wait(const std::vector<std::string>& texts, long timeoutMs) override {
        int answer = 0;
        size_t consumed = received.size();
        for (size_t end = 1; end <= received.size() && answer == 0; ++end)
            for (size_t i = 0; i < texts.size(); ++i) {
                const std::string& t = texts[i];
                if (!t.empty() && end >= t.size() && received.compare(end - t.size(), t.size(), t) == 0) {
                    answer = static_cast<int>(i) + 1;
                    consumed = end;
                    break;
                }
            }
        received.erase(0, consumed);
        std::string joined;
        for (const auto& t : texts) joined += (joined.empty() ? "" : "|") + Escape(SjisToUtf8(t));
        Note("wait " + joined + " " + std::to_string(timeoutMs) + " -> " + std::to_string(answer));
        return answer;
    }
    void Pause(long ms, bool dispatching) override {
        Note((dispatching ? "stop " : "pause ") + std::to_string(ms));
    }
    void ShowError(const std::string& text) override { Note("error " + text); }
    void SetStatus(const std::string&) override {}
    void StartMacro(const std::string& path) override { Note("start " + SjisToUtf8(path)); }
    bool Tracing() const override { return tracing; }
    void Trace(const std::string& text) override { Note("trace " + Escape(text)); }  // UTF-8
    std::string UserId() const override { return userId; }
    std::string Password() const override { return password; }

    void Message(const std::string& text) override { Note("message " + SjisToUtf8(text)); }
    bool Question(const std::string& text) override {
        bool yes = NextAnswer() == "yes";
        Note("question " + SjisToUtf8(text) + (yes ? " -> yes" : " -> no"));
        return yes;
    }
    std::optional<std::string> Input(const std::string& prompt, bool masked) override {
        std::string answer = NextAnswer();
        std::optional<std::string> text;
        if (answer.rfind("text:", 0) == 0) text = Utf8ToSjis(answer.substr(5));
        Note((masked ? "password " : "input ") + SjisToUtf8(prompt) + " -> " +
             (text ? SjisToUtf8(*text) : "cancel"));
        return text;
    }
    std::optional<int> ShowDialog(MacroDialog& dialog) override {
        std::string why;
        auto id = AnswerDialog(dialog, Utf8ToSjis(NextAnswer()), &why);
        Note("dialog " + SjisToUtf8(dialog.Dialog().text) + " -> " +
             (id ? std::to_string(*id) : why));
        return id;
    }
    ConnectOutcome Connect(const std::string& name) override {
        std::string shown = SjisToUtf8(name);
        bool fails = (" " + hosts + " ").find(" !" + shown + " ") != std::string::npos;
        bool known = fails || (" " + hosts + " ").find(" " + shown + " ") != std::string::npos;
        Note("connect " + shown + (known ? fails ? " -> 0" : " -> 1" : " -> -1"));
        return !known ? ConnectOutcome::NotRegistered : fails ? ConnectOutcome::Failed : ConnectOutcome::Started;
    }
    void HangUp() override { Note("hangup"); }
    bool TransferRunning() const override { return transferring; }
    void SendBreak(long ms) override { Note("break " + std::to_string(ms)); }
    void ClearBuffer() override { Note("bufferclear"); }
    void SuspendLine(bool suspend) override { Note(suspend ? "suspend" : "resume"); }
    bool Transfer(bool upload, int protocol, const std::string& file) override {
        Note((upload ? "upload " : "download ") + std::to_string(protocol) + " " + file);
        return true;
    }
    std::optional<std::string> ChooseFile(const std::string&, const std::string&) override {
        if (choose.empty()) return std::nullopt;
        return choose;
    }
    ScreenText Screen(bool) const override {
        ScreenText s;
        for (size_t start = 0; start < screen.size();) {
            size_t end = screen.find('\n', start);
            std::string row = screen.substr(start, end - start);
            s.cursorColumn = static_cast<int>(row.size());
            row.resize(80, ' ');
            s.rows += row;
            start = end + 1;
        }
        s.cursorRow = std::max(0, static_cast<int>(s.rows.size() / 80) - 1);
        return s;
    }
    bool LogBegin(const std::string& file, bool create) override {
        Note("log begin " + (file.empty() ? std::string("(auto)") : file) + (create ? " new" : " append"));
        logOpen_ = true;
        return true;
    }
    bool LogEnd() override {
        Note("log end");
        return std::exchange(logOpen_, false);
    }
    bool StartProgram(const std::vector<std::string>& argv) override {
        std::string joined;
        for (const auto& a : argv) joined += (joined.empty() ? "" : "|") + a;
        Note("exec " + joined);
        return argv[0] != "missing";
    }
    std::optional<std::string> ConnectedHostName() const override {
        if (connected.empty()) return std::nullopt;
        return Utf8ToSjis(connected);
    }

    void Note(const std::string& line) { transcript += line + "\n"; }
    std::string NextAnswer() {
        if (answers.empty()) return "";
        std::string a = answers.front();
        answers.erase(answers.begin());
        return a;
    }

    std::string transcript;

  private:
    bool logOpen_ = false;
};

std::vector<MacroCase> LoadCases() {
    std::vector<MacroCase> cases;
    for (auto& text : ReadCaseFiles(MARLO_TEST_DATA "/macro")) {
        MacroCase c;
        c.error = text.error;
        for (const auto& [word, rest, number] : text.directives) {
            auto fail = [&, number = number](const std::string& why) {
                if (c.error.empty()) c.error = "line " + std::to_string(number) + ": " + why;
            };
            if (word == "mac") {
                c.program += Utf8ToSjis(rest) + "\r";
            } else if (word == "bytes") {
                if (!Unescape(rest, &c.program)) fail("bad escape");
            } else if (word == "host") {
                std::string bytes;
                if (!Unescape(rest, &bytes)) fail("bad escape");
                c.host.received += Utf8ToSjis(bytes);
            } else if (word == "user") {
                auto space = rest.find(' ');
                c.host.userId = rest.substr(0, space);
                c.host.password = space == std::string::npos ? "" : rest.substr(space + 1);
            } else if (word == "answer") {
                c.host.answers.push_back(rest);
            } else if (word == "hosts") {
                c.host.hosts = rest;
            } else if (word == "screen") {
                c.host.screen += Utf8ToSjis(rest) + "\n";
            } else if (word == "connected") {
                c.host.connected = rest;
            } else if (word == "transferring") {
                c.host.transferring = true;
            } else if (word == "trace") {
                c.host.tracing = true;
            } else if (word == "choose") {
                c.host.choose = rest;
            } else if (word == "steps") {
                c.steps = std::atol(rest.c_str());
            } else {
                fail("unknown directive " + word);
            }
        }
        c.text = std::move(text);
        cases.push_back(std::move(c));
    }
    return cases;
}

void PrintTo(const MacroCase& c, std::ostream* os) {
    *os << c.text.file << ":" << c.text.line << " " << c.text.name;
}

class MacroCases : public testing::TestWithParam<MacroCase> {};

TEST_P(MacroCases, DoesWhatTheTranscriptSays) {
    const MacroCase& c = GetParam();
    SCOPED_TRACE(c.text.file + ":" + std::to_string(c.text.line) + " " + c.text.name);
    ASSERT_TRUE(c.error.empty()) << c.error;
    test::TempDir dir;
    std::string program = c.program;
    for (size_t at; (at = program.find("{dir}")) != std::string::npos;)
        program.replace(at, 5, dir.Str());
    ScriptedHost host(c.host);
    for (size_t at; (at = host.choose.find("{dir}")) != std::string::npos;)
        host.choose.replace(at, 5, dir.Str());
    MacroControl control;
    MacroInterpreter interpreter(host, control);
    auto end = interpreter.Run(program, c.steps);
    host.Note(std::string("end ") + EndName(end));
    EXPECT_EQ(host.transcript, c.text.expected);
}

std::string CaseName(const testing::TestParamInfo<MacroCase>& info) {
    return CaseTestName(info.param.text);
}

INSTANTIATE_TEST_SUITE_P(Data, MacroCases, testing::ValuesIn(LoadCases()), CaseName);

}  // namespace
}  // namespace marlo
