#include "support/ModemSimulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace marlo::test {

ModemSimulator::ModemSimulator(std::function<void(const std::string&)> toHost)
    : toHost_(std::move(toHost)) {}

void ModemSimulator::QueueDialResults(std::vector<DialResult> results) {
    std::lock_guard lock(mutex_);
    results_.assign(results.begin(), results.end());
}

std::vector<std::string> ModemSimulator::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string ModemSimulator::OnlineReceived() const {
    std::lock_guard lock(mutex_);
    return onlineReceived_;
}

void ModemSimulator::Reply(const std::string& word) {
    toHost_("\r\n" + word + "\r\n");
}

void ModemSimulator::SetCarrier(bool on) {
    if (carrier_ == on) return;
    carrier_ = on;
    if (!on) online_mode_ = false;
    if (onCarrier_) onCarrier_(on);
}

void ModemSimulator::Command(const std::string& raw) {
    std::string line;
    for (char c : raw)
        line.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(raw);
    }
    if (line.empty()) return;
    if (line.compare(0, 2, "AT") != 0) {
        Reply("ERROR");
        return;
    }
    size_t i = 2;
    while (i < line.size()) {
        char c = line[i++];
        auto number = [&] {
            int v = 0;
            while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
                v = v * 10 + (line[i++] - '0');
            return v;
        };
        switch (c) {
            case ' ':
                break;
            case 'Z':
                echo_ = true;
                number();
                break;
            case 'E':
                echo_ = number() != 0;
                break;
            case 'Q':
            case 'V':
            case 'X':
            case 'S':
            case 'M':
            case 'L':
                number();
                if (i < line.size() && line[i] == '=') {
                    ++i;
                    number();
                }
                break;
            case '&':
                if (i < line.size()) ++i;
                number();
                break;
            case 'H':
                number();
                SetCarrier(false);
                break;
            case 'O':
                number();
                if (carrier_) {
                    online_mode_ = true;
                    Reply("CONNECT 2400");
                    return;
                }
                break;
            case 'D': {
                DialResult r = DialResult::Connect;
                {
                    std::lock_guard lock(mutex_);
                    if (!results_.empty()) {
                        r = results_.front();
                        results_.pop_front();
                    }
                }
                static const char* const kWords[] = {"CONNECT 2400", "BUSY", "NO CARRIER",
                                                     "NO DIALTONE"};  // in DialResult order
                Reply(kWords[static_cast<int>(r)]);
                if (r == DialResult::Connect) {
                    online_mode_ = true;
                    SetCarrier(true);
                }
                return;
            }
            default:
                Reply("ERROR");
                return;
        }
    }
    Reply("OK");
}

void ModemSimulator::FromHost(const uint8_t* p, size_t n, Clock::time_point now) {
    for (size_t k = 0; k < n; ++k) {
        char c = static_cast<char>(p[k]);
        bool quiet = now - lastByte_ >= std::chrono::milliseconds(guardMs_.load());
        lastByte_ = now;
        if (online_mode_) {
            if (c == '+' && (plusCount_ > 0 || quiet) && plusCount_ < 3) {
                ++plusCount_;
                if (plusCount_ == 3) plusEnd_ = now;
            } else {
                plusCount_ = 0;
            }
            {
                std::lock_guard lock(mutex_);
                onlineReceived_.push_back(c);
            }
            if (online_) online_(std::string(1, c));
            continue;
        }
        if (echo_) toHost_(std::string(1, c));
        if (c == '\r') {
            std::string line;
            line.swap(line_);
            Command(line);
        } else if (c == '\b') {
            if (!line_.empty()) line_.pop_back();
        } else if (c != '\n' && line_.size() < 256) {
            line_.push_back(c);
        }
    }
}

void ModemSimulator::Poll(Clock::time_point now) {
    if (online_mode_ && plusCount_ == 3 && lastByte_ == plusEnd_ &&
        now - plusEnd_ >= std::chrono::milliseconds(guardMs_.load())) {
        plusCount_ = 0;
        online_mode_ = false;  // command mode; the carrier stays until ATH0
        Reply("OK");
    }
}

void ModemSimulator::SetDtr(bool on) {
    if (dtr_ && !on) {
        SetCarrier(false);
        line_.clear();
    }
    dtr_ = on;
}

void ModemSimulator::AnswerCall() {
    Reply("RING");
    Reply("CONNECT 2400");
    online_mode_ = true;
    SetCarrier(true);
}

void ModemSimulator::RemoteHangUp() {
    if (!carrier_) return;
    SetCarrier(false);
    Reply("NO CARRIER");
}

void ModemSimulator::SendOnline(const std::string& data) {
    if (online_mode_) toHost_(data);
}

// ---- behind a pty ----

PtyModem::PtyModem()
    : modem_([this](const std::string& s) {
          std::lock_guard lock(writeMutex_);
          size_t done = 0;
          while (done < s.size()) {
              ssize_t w = ::write(master_, s.data() + done, s.size() - done);
              if (w <= 0) break;
              done += static_cast<size_t>(w);
          }
      }) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master_);
    ::unlockpt(master_);
    slavePath_ = ::ptsname(master_);
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    modem_.SetCarrierCallback([this](bool on) {
        cd_ = on;
        int fd = tcp_.exchange(-1);
        if (fd >= 0) ::close(fd);
        if (on && passPort_ > 0) {
            int s = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(passPort_.load()));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                tcp_ = s;
            else
                ::close(s);
        }
    });
    modem_.SetOnlineSink([this](const std::string& s) {
        int fd = tcp_.load();
        if (fd >= 0) (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
    });
    thread_ = std::jthread([this](std::stop_token st) { Run(st); });
}

PtyModem::~PtyModem() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
    int fd = tcp_.exchange(-1);
    if (fd >= 0) ::close(fd);
    ::close(slave_);
    ::close(master_);
}

void PtyModem::SetDtr(bool on) {
    std::lock_guard lock(modemMutex_);
    modem_.SetDtr(on);
}

void PtyModem::AnswerCall() {
    std::lock_guard lock(modemMutex_);
    modem_.AnswerCall();
}

void PtyModem::RemoteHangUp() {
    std::lock_guard lock(modemMutex_);
    modem_.RemoteHangUp();
}

void PtyModem::Run(std::stop_token st) {
    uint8_t buf[1024];
    while (!st.stop_requested()) {
        pollfd p[2] = {{master_, POLLIN, 0}, {tcp_.load(), POLLIN, 0}};
        int n = ::poll(p, p[1].fd >= 0 ? 2 : 1, 20);
        std::lock_guard lock(modemMutex_);
        if (n > 0 && (p[0].revents & POLLIN)) {
            ssize_t r = ::read(master_, buf, sizeof buf);
            if (r > 0) modem_.FromHost(buf, static_cast<size_t>(r));
        }
        if (n > 0 && p[1].fd >= 0 && (p[1].revents & (POLLIN | POLLHUP))) {
            ssize_t r = ::recv(p[1].fd, buf, sizeof buf, 0);
            if (r > 0)
                modem_.SendOnline(
                    std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(r)));
            else
                modem_.RemoteHangUp();
        }
        modem_.Poll();
    }
}

}  // namespace marlo::test
