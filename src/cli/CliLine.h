// The one place marlo-cli opens a line: a serial device (exclusive, configured from the settings),
// a telnet host reached through the session's telnet connect with its retries, or standard input
// and output.
// Also the line options and "--set Name=Value" as every line command takes them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/HeadlessPlatform.h"
#include "line/Dialler.h"
#include "line/LineIo.h"
#include "line/TelnetConnect.h"
#include "session/Session.h"
#include "settings/Settings.h"

namespace marlo {
class SerialLine;
class StreamLine;
}  // namespace marlo

namespace marlo::cli {

// The headless platform, remembering the messages it showed (a message during a connect means
// the connect has ended without a connection).
class ConsolePlatform : public HeadlessPlatform {
  public:
    MsgResult MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override {
        messages.push_back(text);
        return HeadlessPlatform::MessageBox(text, icon, buttons, title);
    }
    std::vector<std::string> messages;
};

// The line a command runs on, as its options name it.
struct LineChoice {
    enum class Kind { None, Serial, Telnet, Stdio };
    Kind kind = Kind::None;
    std::string device;  // --serial
    std::string host;    // --telnet
    int port = 23;
    int given = 0;  // line options seen; more than one is a usage error
};

// When args[i] is --serial DEVICE, --telnet HOST[:PORT] or --stdio, takes it into `line` and
// steps `i` past its value: 1. Not a line option: 0. A missing or bad value: -1 with `error`.
// `allowStdio` false makes --stdio "not a line option" (connect has no use for it).
int TakeLineOption(const std::vector<std::string>& args, size_t& i, LineChoice& line,
                   std::string& error, bool allowStdio = true);

// "HOST" or "HOST:PORT" (port 1..65535, default 23).
bool ParseHostPort(const std::string& text, std::string& host, int& port, std::string& error);

// One "Name=Value" of --set over `s`. The value is UTF-8 from the command line and becomes
// Shift-JIS, except where it names a file or folder (those stay the bytes the file system knows).
bool ApplySetOption(Settings& s, const std::string& nameValue, std::string& error);

class CliLine {
  public:
    // `who` starts every message ("marlo-cli connect").
    CliLine(ConsolePlatform& platform, std::string who);
    ~CliLine();
    CliLine(const CliLine&) = delete;
    CliLine& operator=(const CliLine&) = delete;

    // Opens `device` for this program alone and sets Speed, DataLen, Parity, StopBit and Flow.
    // False, with a message on stderr, for a missing, busy or unsuitable device.
    bool OpenSerial(const std::string& device, const Settings& s);
    // Reaches the telnet host and waits until it is connected or the connect has given up (its
    // messages are on stderr). `target.history` set: retried as a host entry says.
    bool OpenTelnet(const TelnetTarget& target);
    // A telnet host entry, reached as the desktop program reaches it: its retries, and its history
    // record in `s`'s HistoryDefPath when the line is closed.
    bool OpenHost(const HostEntry& e, const Settings& s);
    // Standard input and output are the line.
    void OpenStdio();
    // The choice of the command line (serial, telnet or standard streams).
    bool Open(const LineChoice& choice, const Settings& s);
    // The exit status when Open failed: a serial device that cannot be had is the caller's to fix
    // (2, as a file error); a telnet host that cannot be reached is a failed run (1).
    static int OpenFailedStatus(LineChoice::Kind kind);

    ILineIo* Line() const { return line_; }
    // The serial line, or null.
    SerialLine* Serial() const;
    Connection& Conn() { return session_->Conn(); }
    // The session over the open line: its send encoder and lock (WriteConverted).
    Session& LineSession() { return *session_; }
    ConsolePlatform& Platform() { return platform_; }
    // The command, as its messages begin ("marlo-cli connect").
    const std::string& Who() const { return who_; }

    // The descriptor that becomes readable when the line has received bytes (the socket or the
    // serial device), or -1.
    int ReadFd() const;
    // The other side has gone: the server closed the socket, or a serial device reports that it
    // was hung up (a pty whose other end closed, a removed adapter).
    bool HungUp() const;
    // A serial device that goes away is opened again when it comes back (Session::OnSerialGone).
    void SetAutoReconnect(bool on) { settings_.AutoReconnect = on ? 1 : 0; }
    // Closes the line; a telnet connection ends as a hang-up does (a host entry's history record).
    void Close();

  private:
    // Runs `start` and waits until the telnet connect has succeeded or given up.
    bool AwaitTelnet(const std::function<void()>& start, const std::string& host, int port);
    bool OnTelnet() const { return line_ && line_ == &session_->Telnet(); }

    ConsolePlatform& platform_;
    std::string who_;
    Settings settings_;
    // The telnet line and the connection; the command's own loop reads the line.
    std::unique_ptr<Session> session_;
    std::unique_ptr<StreamLine> stream_;
    ILineIo* line_ = nullptr;
};

}  // namespace marlo::cli
