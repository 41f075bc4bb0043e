#include "support/TelnetDaemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/TelnetTestServer.h"
#include "support/TempDir.h"

namespace marlo::test {

namespace {

bool Accepting(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

TelnetDaemon::TelnetDaemon(const std::string& script, const std::filesystem::path& dir) {
    std::string telnetd = "/usr/sbin/telnetd";
    if (!script.empty()) {
        // socat splits its EXEC address at spaces, and telnetd splits -E's text: a script file
        // keeps the command line free of both.
        const auto path = dir / "telnetd.sh";
        WriteWhole(path.string(),
                   "#!/bin/sh\ncd '" + dir.string() + "' || exit 1\n" + script + "\n");
        ::chmod(path.c_str(), 0755);
        telnetd += " -E " + path.string();
    }
    for (int tries = 0; tries < 5 && pid_ < 0; ++tries) {
        port_ = TelnetTestServer::ClosedPort();
        pid_ = SpawnOnFd(
            {"socat", "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork",
             "EXEC:" + telnetd},
            nothing_.a);
        for (int i = 0; i < 200 && pid_ > 0 && !Accepting(port_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (pid_ > 0 && !Accepting(port_)) Stop();
    }
}

TelnetDaemon::~TelnetDaemon() {
    Stop();
}

void TelnetDaemon::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        WaitExit(pid_, 5000);
    }
    pid_ = -1;
}

}  // namespace marlo::test
