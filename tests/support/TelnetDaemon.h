// inetutils telnetd behind socat on a loopback port, for the life of a test: every connection gets
// a telnetd of its own. By default telnetd runs its login; with a shell script it runs that script
// instead (no log-in), with the connection's terminal as its standard streams, so a test can have
// sz or rz at the far end of a real telnet server, or an interactive shell ("exec sh").
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "support/TransferKit.h"

namespace marlo::test {

class TelnetDaemon {
  public:
    // `script`, when given, is written to `dir`/telnetd.sh and run for each connection, in `dir`.
    explicit TelnetDaemon(const std::string& script = "", const std::filesystem::path& dir = {});
    ~TelnetDaemon();
    TelnetDaemon(const TelnetDaemon&) = delete;
    TelnetDaemon& operator=(const TelnetDaemon&) = delete;

    int Port() const { return port_; }
    // "127.0.0.1:PORT", as --telnet takes it.
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    bool Running() const { return pid_ > 0; }

  private:
    void Stop();
    SocketPair nothing_;  // socat's standard streams, never used
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace marlo::test
