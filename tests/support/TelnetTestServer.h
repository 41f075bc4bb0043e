// A telnet server on the loopback interface for tests. Scripted: accepts one client at a time,
// sends what the test gives it byte for byte and collects what the client sends, all on the
// test's thread with bounded waits. Or serving a program (sz, rz, ...) to its one client as a
// telnet daemon would: it doubles every 0xFF the program sends and takes the client's doubled 0xFF
// as one byte. In binary mode it asks for binary transmission both ways and drops the client's
// option negotiation; without, it refuses every option and speaks the network virtual terminal
// as inetutils telnetd does: a bare CR goes out as CR NUL, and the NUL or LF after a received CR
// is dropped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hosts/HostEntry.h"

namespace marlo::test {

// A host entry "LOCAL" that reaches a loopback telnet port and is tried once.
HostEntry LoopbackTelnetEntry(int port);

class TelnetTestServer {
  public:
    TelnetTestServer();
    // Runs `argv` in `dir` (its stderr in dir/peer.log) once a client connects.
    TelnetTestServer(std::vector<std::string> argv, std::filesystem::path dir, bool binary = true);
    ~TelnetTestServer();
    TelnetTestServer(const TelnetTestServer&) = delete;
    TelnetTestServer& operator=(const TelnetTestServer&) = delete;
    int Port() const { return port_; }

    // Waits for a client; false after `timeoutMs`.
    bool Accept(int timeoutMs = 5000);
    bool Send(const std::string& bytes);
    // Reads what is there within `ms` and returns everything received so far.
    std::string Collect(int ms = 50);
    // Reads until `bytes` is among the received bytes; false after `timeoutMs`.
    bool WaitFor(const std::string& bytes, int timeoutMs = 5000);
    // Reads until at least `n` bytes were received; false after `timeoutMs`.
    bool WaitForCount(size_t n, int timeoutMs = 5000);
    const std::string& Received() const { return received_; }
    void ClearReceived() { received_.clear(); }
    // Shrinks the receive buffer of the next client's connection (so that its sends block).
    // Call before the client connects.
    void SetSmallReceiveBuffer();
    void CloseClient();
    // Ends the server's side of the stream as a host's close does: the client reads everything
    // sent and then the end. The socket stays open for what the client still sends, so that
    // unread bytes never make the connection end in a reset (which would throw away what was
    // not yet delivered).
    void EndSending();

    // Serving a program: waits for the relay to end and the program to exit; its exit status, or
    // -1 when it did not end within `timeoutMs` (it is killed then).
    int WaitProgram(int timeoutMs);
    // Serving a program: bytes it sent that were 0xFF (each went out doubled), and the doubled
    // 0xFF pairs the client sent.
    int64_t DoubledToClient() const;
    int64_t UndoubledFromClient() const;

    // A loopback port where nobody listens (connects are refused).
    static int ClosedPort();

  private:
    struct Program;
    bool ReadSome(int ms);
    std::unique_ptr<Program> program_;
    int listen_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::string received_;
};

}  // namespace marlo::test
