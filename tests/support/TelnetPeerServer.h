// A telnet server on the loopback interface that runs a program (sz, rz, ...) for its one client
// and joins the two as a telnet daemon in binary mode would: it asks for binary transmission both
// ways, doubles every 0xFF it sends and takes the client's doubled 0xFF as one byte, dropping the
// client's option negotiation.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace marlo::test {

class PeerProcess;

class TelnetPeerServer {
  public:
    // Runs `argv` in `dir` (its stderr in dir/peer.log) once a client connects.
    TelnetPeerServer(std::vector<std::string> argv, std::filesystem::path dir);
    ~TelnetPeerServer();
    TelnetPeerServer(const TelnetPeerServer&) = delete;
    TelnetPeerServer& operator=(const TelnetPeerServer&) = delete;

    int Port() const { return port_; }
    // Waits for the relay to end and the program to exit: its exit status, or -1 when it did not
    // end within `timeoutMs` (it is killed then).
    int Wait(int timeoutMs);
    // Bytes the program sent that were 0xFF (each went out doubled).
    int64_t DoubledToClient() const { return doubled_.load(); }
    // Doubled 0xFF pairs the client sent.
    int64_t UndoubledFromClient() const { return undoubled_.load(); }

  private:
    void Run();
    bool Relay(int client, int peer);

    std::vector<std::string> argv_;
    std::filesystem::path dir_;
    int listen_ = -1;
    int port_ = 0;
    std::unique_ptr<PeerProcess> peer_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> doubled_{0}, undoubled_{0};
    std::atomic<bool> done_{false};
    std::mutex m_;
    std::condition_variable cv_;
    std::thread thread_;
};

}  // namespace marlo::test
