// The statements that act on the line and what hangs on it: connecting a host entry, hanging up,
// break, the terminal's buffer, file transfers, text send, reading and searching the screen, the
// capture log, starting programs and the connected host's name.
#include <fstream>
#include <iterator>

#include "macro/MacroInterpreter.h"
#include "macro/MacroMessages.h"
#include "macro/MacroText.h"
#include "terminal/ScreenBuffer.h"
#include "text/Encoding.h"
#include "transfer/Protocols.h"

namespace marlo {

using namespace macro_text;

namespace {

constexpr size_t kRowBytes = kBufferColumns;

bool EndsArguments(const std::string& token) {
    return token.empty() || token[0] == '#' || token[0] == ';';
}

bool IsOption(const std::string& token, char letter) {
    return token.size() >= 2 && token[0] == '/' &&
           std::toupper(static_cast<unsigned char>(token[1])) == letter;
}

// A protocol by its name or its number; 0 (the user chooses) for anything else.
int ProtocolOf(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        int32_t id = MacroAtoi(text);
        return ProtocolName(id).empty() ? kProtoNone : id;
    }
    return ProtocolFromName(text);
}

}  // namespace

std::optional<std::string> MacroInterpreter::Option(const Tokens& args, char letter) {
    for (size_t i = 0; i < args.size() && !EndsArguments(args[i]); ++i) {
        if (!IsOption(args[i], letter)) continue;
        if (args[i].size() > 2) return Text(args[i].substr(2));
        // A quoted value is a token of its own: /F "name".
        if (i + 1 < args.size() && !EndsArguments(args[i + 1]) && args[i + 1][0] != '/')
            return Text(args[i + 1]);
        return std::string();
    }
    return std::nullopt;
}

void MacroInterpreter::Connect(const Tokens& args) {
    const std::string name = Text(Arg(args, 0));
    auto outcome = host_.Connect(name);
    if (outcome == MacroHost::ConnectOutcome::NotRegistered) host_.ShowError(kHostNotRegistered);
    variables_.SetResult(outcome == MacroHost::ConnectOutcome::Started ? 1 : 0);
}

void MacroInterpreter::HangUp(const Tokens&) {
    host_.HangUp();
    variables_.SetResult(1);
}

void MacroInterpreter::SendBreak(const Tokens& args) {
    // The time is the token as written; variables are not looked at.
    int32_t ms = MacroAtoi(Arg(args, 0));
    host_.SendBreak(ms > 0 ? ms : 0);
    variables_.SetResult(1);
}

void MacroInterpreter::BufferClear(const Tokens&) { host_.ClearBuffer(); }

void MacroInterpreter::Suspend(const Tokens&) { host_.SuspendLine(true); }

void MacroInterpreter::Resume(const Tokens&) { host_.SuspendLine(false); }

void MacroInterpreter::Transfer(const Tokens& args, bool upload) {
    const std::string protocol = Option(args, 'P').value_or("");
    const std::string file = Option(args, 'F').value_or("");
    if (host_.Tracing())
        host_.Trace(MacroFormat(kTraceTransferFile, SjisToUtf8(protocol).c_str(),
                                           SjisToUtf8(file).c_str()));
    // A download asked for while one runs (started by the host) waits for that one.
    bool ok = !(upload && host_.TransferRunning()) &&
              host_.Transfer(upload, ProtocolOf(protocol), SjisToUtf8(file));
    variables_.SetResult(ok ? 1 : 0);
}

void MacroInterpreter::SendText(const Tokens& args) {
    std::optional<std::string> path;  // UTF-8
    if (auto file = Option(args, 'F'); file && !file->empty())
        path = SjisToUtf8(*file);
    else
        path = host_.ChooseFile(kSendTextTitle, kSendTextFilter);
    if (!path || host_.TransferRunning()) {
        variables_.SetResult(0);
        return;
    }
    if (host_.Tracing()) host_.Trace(MacroFormat(kTraceSendText, path->c_str()));
    std::ifstream in(*path, std::ios::binary);
    if (!in) {
        host_.ShowError(kFileOpenFailed);
        variables_.SetResult(0);
        return;
    }
    host_.SetStatus(kSendingText);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& line : TextSendLines(text, host_.TextSend())) {
        if (control_.Stopped() || host_.Closing()) break;
        host_.Send(line);
    }
    variables_.SetResult(1);
}

void MacroInterpreter::ReadLine(const Tokens& args) {
    const int32_t above = MacroAtoi(Option(args, 'L').value_or("0"));
    std::string destination;
    for (size_t i = 0; i < args.size() && !EndsArguments(args[i]); ++i)
        if (args[i][0] == '$') destination = Destination(args, i, '$');
    if (destination.empty()) Fail(kSyntax);
    const auto screen = host_.Screen(false);
    const int64_t row = static_cast<int64_t>(screen.cursorRow) - above;
    // A row before the first line or past the cursor's is not there to read.
    if (above < 0 || row < 0 || static_cast<size_t>(row + 1) * kRowBytes > screen.rows.size()) {
        variables_.SetResult(0);
        return;
    }
    std::string text = screen.rows.substr(static_cast<size_t>(row) * kRowBytes, kRowBytes);
    for (char& c : text)
        if (c == '\0') c = ' ';
    StoreString(destination, text);
    variables_.SetResult(1);
}

void MacroInterpreter::SearchScreen(const Tokens& args) {
    const std::string text = Text(Arg(args, 0));
    const std::string stop = Option(args, 'T').value_or("");
    bool atCaret = false;
    for (const auto& token : args) {
        if (EndsArguments(token)) break;
        if (IsOption(token, 'C')) atCaret = true;
    }
    const auto screen = host_.Screen(atCaret);
    const std::string& rows = screen.rows;
    size_t from = std::min(rows.size(), static_cast<size_t>(std::max(0, screen.cursorRow)) * kRowBytes +
                                            static_cast<size_t>(std::max(0, screen.cursorColumn)));
    int found = 0;
    auto at = [&](size_t pos, const std::string& what) {
        return !what.empty() && rows.compare(pos, what.size(), what) == 0;
    };
    for (size_t pos = from + 1; pos-- > 0 && found == 0 && !text.empty();) {
        if (at(pos, stop)) break;
        if (at(pos, text)) found = 1;
    }
    variables_.SetResult(found);
}

void MacroInterpreter::GetBufferSize(const Tokens&) {
    variables_.SetResult(host_.Screen(false).cursorRow + 1);
}

void MacroInterpreter::Log(const Tokens& args) {
    const std::string what = ToLower(Arg(args, 0));
    if (what == "begin") {
        const std::string file = Option(args, 'F').value_or("");
        const bool create = Option(args, 'M').has_value();
        variables_.SetResult(host_.LogBegin(SjisToUtf8(file), create) ? 1 : 0);
    } else if (what == "end") {
        variables_.SetResult(host_.LogEnd() ? 1 : 0);
    } else {
        Fail(kSyntax);
    }
}

void MacroInterpreter::Exec(const Tokens& args) {
    std::string line = Text(Arg(args, 0));
    for (size_t i = 1; i < args.size() && !EndsArguments(args[i]); ++i) line += " " + Text(args[i]);
    std::vector<std::string> argv;
    for (const auto& word : SplitProgramLine(line)) argv.push_back(SjisToUtf8(word));
    variables_.SetResult(!argv.empty() && host_.StartProgram(argv) ? 1 : 0);
}

void MacroInterpreter::GetHostName(const Tokens& args) {
    const std::string destination = Destination(args, 0, '$');
    StoreString(destination, host_.ConnectedHostName().value_or(Utf8ToSjis(kUndefinedHost)));
    variables_.SetResult(1);
}

}  // namespace marlo
