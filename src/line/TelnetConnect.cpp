#include "line/TelnetConnect.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "line/Dialler.h"
#include "line/TelnetLine.h"
#include "platform/Platform.h"
#include "text/Encoding.h"

namespace marlo {

using Clock = std::chrono::steady_clock;

namespace {

std::string Printf(const char* fmt, int v) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string WithoutNewline(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

}  // namespace

TelnetConnect::TelnetConnect(IPlatform& platform, TelnetLine& line, Connection& connection)
    : platform_(platform), line_(line), conn_(connection) {}

TelnetConnect::~TelnetConnect() {
    StopTimers();
}

bool TelnetConnect::Connecting() const {
    return conn_.telnetConnecting;
}

void TelnetConnect::StopTimers() {
    platform_.StopTimer(kConnectTimerId);
    platform_.StopTimer(kRetryTimerId);
}

void TelnetConnect::EnableCommNotify() {
    IPlatform* platform = &platform_;
    line_.SetClosedCallback([platform] { platform->PostEvent(LineNotice(LineEvent::PeerClosed)); });
    line_.StartNotifier([platform] { platform->PostEvent(LineNotice(LineEvent::DataReady)); });
}

bool TelnetConnect::RefuseWhileOnline() {
    // A new connect would close the live socket under the connection's feet (and lose its
    // history record).
    if (!conn_.connected) return false;
    platform_.MessageBox("オンライン中です.", MsgIcon::Exclamation);
    return true;
}

void TelnetConnect::StartFromDialog(const std::string& host, int port) {
    if (RefuseWhileOnline()) return;
    TelnetTarget t;
    t.host = host;
    t.port = port;
    conn_.hostName = Utf8ToSjis("未定義ホスト");
    conn_.autoLogon1 = conn_.autoLogon2 = false;
    conn_.history = false;
    conn_.telnetConnecting = false;
    target_ = t;
    attempt_ = 1;
    conn_.telnetMode = true;
    Attempt();
}

void TelnetConnect::StartFromHost(const TelnetTarget& target) {
    if (RefuseWhileOnline()) return;
    target_ = target;
    target_.history = true;
    conn_.history = true;
    conn_.telnetConnecting = false;
    attempt_ = 1;
    conn_.telnetMode = true;
    Attempt();
}

void TelnetConnect::Attempt() {
    if (conn_.telnetConnecting) return;
    conn_.telnetConnecting = true;
    phase_ = Phase::Resolving;
    lastFailure_ = {};
    IPlatform* platform = &platform_;
    line_.StartLookup(target_.host, target_.port, [platform] {
        Event e;
        e.id = WM_TELNET_RESOLVED;
        platform->PostEvent(e);
    });
    platform_.ShowProgress(Printf("接続中 [%d回目]...", attempt_));
    platform_.SetProgressTitle(SjisToUtf8(target_.host));
    // Watches the progress window's "中断" while the lookup runs.
    platform_.StartTimer(kConnectTimerId, 50, [this] { ConnectTick(); });
}

void TelnetConnect::OnResolved() {
    if (!conn_.telnetConnecting || phase_ != Phase::Resolving) {
        if (!conn_.telnetConnecting) line_.Close();
        return;
    }
    std::string official, reason;
    int length = 0;
    std::string error = line_.LookupResult(&official, &length, &reason);
    if (!error.empty()) {
        Fail(error, {true, reason});
        return;
    }
    Trace("h_name = " + official + "\n");
    Trace(Printf("h_length = %d\n", length));
    Trace(Printf("port = %d\n", target_.port));
    int err = 0;
    auto state = line_.BeginConnect(err);
    if (state == TelnetLine::ConnectState::Failed) {
        Trace(Printf("connect error(%d)\n", err));
        Fail(Printf("connect error(%d)\n", err), {false, std::strerror(err)});
        return;
    }
    phase_ = Phase::Connecting;
    ConnectTick();
}

void TelnetConnect::ConnectTick() {
    if (platform_.ProgressCancelled() &&
        (phase_ == Phase::Resolving || phase_ == Phase::Connecting || phase_ == Phase::RetryWait)) {
        Cancel();
        return;
    }
    auto now = Clock::now();
    switch (phase_) {
        case Phase::Connecting: {
            int err = 0;
            auto state = line_.PollConnect(0, err);
            if (state == TelnetLine::ConnectState::Connected) {
                platform_.StopTimer(kConnectTimerId);
                phase_ = Phase::Idle;
                if (beforeConnected_) beforeConnected_();
                conn_.OnConnected();
                conn_.telnetConnecting = false;
            } else if (state != TelnetLine::ConnectState::InProgress) {
                Trace(Printf("connect error(%d)\n", err));
                Fail(Printf("connect error(%d)\n", err), {false, std::strerror(err)});
            }
            break;
        }
        case Phase::Reporting:
            if (now < phaseEnd_) break;
            platform_.StopTimer(kConnectTimerId);
            phase_ = Phase::Idle;
            platform_.SetProgressStatus("");
            {
                Event e;
                e.id = WM_TELNET_RETRY;
                platform_.PostEvent(e);
            }
            break;
        case Phase::RetryWait:
            if (!stopAtPause_ && stop_ && stop_->load()) {
                StopTimers();
                phase_ = Phase::Idle;
                break;
            }
            if (now < phaseEnd_) break;
            StopTimers();
            phase_ = Phase::Idle;
            ++attempt_;
            Attempt();
            break;
        default:
            break;
    }
}

void TelnetConnect::Fail(const std::string& text, Failure why) {
    // The socket goes at once; nothing is left half-open while the report shows.
    line_.Close();
    failure_ = WithoutNewline(text);
    lastFailure_ = std::move(why);
    platform_.SetProgressStatus(failure_);
    phase_ = Phase::Reporting;
    phaseEnd_ = Clock::now() + std::chrono::milliseconds(reportPauseMs_);
    platform_.StartTimer(kConnectTimerId, 50, [this] { ConnectTick(); });
}

std::string TelnetConnect::FailureText() const {
    if (lastFailure_.reason.empty()) return failure_;
    std::string where = SjisToUtf8(target_.host);
    if (!lastFailure_.lookup) where += ":" + std::to_string(target_.port);
    return where + ": " + lastFailure_.reason;
}

void TelnetConnect::OnRetry() {
    line_.Close();
    conn_.telnetConnecting = false;
    if (!target_.history) {
        // A dialog connect is tried once; the window does not stay behind claiming to connect.
        platform_.CloseProgress();
        conn_.telnetMode = false;
        platform_.MessageBox("Telnet接続に失敗しました. (" + FailureText() + ")", MsgIcon::Stop);
        return;
    }
    if (!target_.Infinite && attempt_ >= target_.RedialNum) {
        platform_.CloseProgress();
        conn_.telnetMode = false;
        conn_.history = false;
        platform_.MessageBox(Printf("%d回の接続に失敗しました.", target_.RedialNum), MsgIcon::Stop);
        return;
    }
    phase_ = Phase::RetryWait;
    stopAtPause_ = stop_ && stop_->load();
    phaseEnd_ = Clock::now() + std::chrono::seconds(std::max(0, target_.Interval));
    platform_.StartTimer(kRetryTimerId, 50, [this] { ConnectTick(); });
}

void TelnetConnect::Cancel() {
    StopTimers();
    phase_ = Phase::Idle;
    conn_.telnetConnecting = false;
    if (!conn_.connected) {
        conn_.telnetMode = false;
        conn_.history = false;
    }
    line_.Close();
    platform_.CloseProgress();
}

void TelnetConnect::OnServerClose() {
    if (conn_.telnetConnecting) {
        if (phase_ == Phase::Connecting || phase_ == Phase::Resolving)
            Fail("FD_CLOSE受信", {false, std::strerror(ECONNRESET)});
        return;
    }
    if (!conn_.connected || !conn_.telnetMode) return;
    line_.Close();
    conn_.OnDisconnected();
    platform_.MessageBox("Telnetを切断しました", MsgIcon::Stop, MsgButtons::Ok, "マーロ");
}

// ---- remembered hosts ----

namespace telnet_hosts {

std::string Initial(const std::array<std::string, 5>& hosts) {
    for (const auto& h : hosts)
        if (!h.empty()) return h;
    return "";
}

std::vector<std::string> Items(const std::array<std::string, 5>& hosts) {
    std::vector<std::string> items;
    for (const auto& h : hosts)
        if (!h.empty()) items.push_back(h);
    return items;
}

bool Remember(std::array<std::string, 5>& hosts, const std::string& host) {
    if (host.empty()) return false;
    std::vector<std::string> list{host};
    for (const auto& h : hosts)
        if (!h.empty() && h != host) list.push_back(h);
    list.resize(hosts.size());
    std::copy(list.begin(), list.end(), hosts.begin());
    return true;
}

std::optional<int> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535) return std::nullopt;
    return v;
}

}  // namespace telnet_hosts

}  // namespace marlo
