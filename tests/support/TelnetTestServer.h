// A scripted telnet server on the loopback interface for tests: accepts one client at a time,
// sends what the test gives it byte for byte and collects what the client sends. Everything runs
// on the test's thread with bounded waits.
#pragma once

#include <string>

namespace marlo::test {

class TelnetTestServer {
  public:
    TelnetTestServer();
    ~TelnetTestServer();
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

    // A loopback port where nobody listens (connects are refused).
    static int ClosedPort();

  private:
    bool ReadSome(int ms);
    int listen_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::string received_;
};

}  // namespace marlo::test
