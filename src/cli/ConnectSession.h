// The headless terminal session of `connect` and `hosts connect`: dials the modem when asked,
// then relays standard input to the line as typed text and received text to standard output, and
// plays a --wait/--send dialogue through the string wait.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/CliLine.h"
#include "hosts/HostEntry.h"
#include "line/Dialler.h"
#include "session/LogonPattern.h"
#include "settings/Settings.h"

namespace marlo::cli {

struct SessionStep {
    bool wait = false;
    std::string text;  // Shift-JIS
};

struct SessionOptions {
    bool utf8 = false;
    bool timestamps = false;  // each received line starts with its time (TimeStamp's form)
    bool hex = false;         // received bytes are written as a hex dump instead of text
    // A serial device that goes away (an adapter unplugged) is opened again when it is back.
    bool reconnect = false;
    bool closeAfterScript = false;
    int waitTimeoutMs = 30000;
    std::string downloadDir;  // where a download the host starts goes ("" DownlodDefPath)
    std::vector<SessionStep> script;
    // A host entry's auto-logon, played before the script.
    std::optional<std::vector<LogonStep>> logon;
    // --text-receive FILE [--append]: the received text as the terminal stores it goes into FILE
    // too (Shift-JIS, backspaces taken back, no escape sequence that it obeys), emptied first
    // unless appended.
    std::string textReceive;
    bool textReceiveAppend = false;
};

// The usage lines of the session options.
extern const char* const kSessionUsage;

// When args[i] is a session option (--utf8, --wait TEXT, --send TEXT, --wait-timeout MS,
// --close-after-script, --trace FILE, --dir DIR, --text-receive FILE, --append, --timestamps,
// --hex, --reconnect),
// takes it and steps `i` past its value: 1. Not one: 0. A missing or bad value: -1 with `error`.
int TakeSessionOption(const std::vector<std::string>& args, size_t& i, SessionOptions& o,
                      std::string& error);

// "\r \n \t \e \\ \xHH" escapes of a --wait or --send text; false for a bad escape.
bool UnescapeArg(const std::string& in, std::string& out);

// A telephone connect on the serial line before the session: a host entry's, or a number's.
struct DialRequest {
    std::optional<HostEntry> entry;
    DialPlan plan;  // without an entry
    std::string initCommand;
};

// Runs the session on the open line until the far end has closed or hung up and everything it
// sent before was shown (0), the script ends with --close-after-script (0), or the dial, a send
// or a wait fails (1, with a message on stderr). A text-receive file that cannot be opened ends
// it before anything is sent (2).
int RunConnectSession(CliLine& line, const Settings& settings, const SessionOptions& o,
                      const std::optional<DialRequest>& dial);

}  // namespace marlo::cli
