// Connecting the telnet line: the attempt with its progress window "接続中 [%d回目]...", the
// lookup answer, the connect that is polled from a timer (the window never blocks), the failure
// report and the retries of host-entry connects, cancel, and the close of a connected line by the
// server. Also the model of the dialog "Telnet接続" with its five remembered hosts.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/Trace.h"

namespace marlo {

class IPlatform;
class TelnetLine;
class Connection;

struct TelnetTarget {
    std::string host;  // Shift-JIS (a host name is plain ASCII in practice)
    int port = 23;
    bool history = false;  // from a host entry: retries and a history record
    int RedialNum = 1;
    int Interval = 5;
    int Infinite = 0;
};

class TelnetConnect {
  public:
    static constexpr int kConnectTimerId = 7002;
    static constexpr int kRetryTimerId = 7003;

    TelnetConnect(IPlatform& platform, TelnetLine& line, Connection& connection);
    ~TelnetConnect();

    // Runs when the connect succeeded, before the connection's OnConnected (the frame resets the
    // terminal's attributes there).
    void SetBeforeConnected(std::function<void()> fn) { beforeConnected_ = std::move(fn); }
    void SetStopFlag(const std::atomic<bool>* autoCmdStop) { stop_ = autoCmdStop; }
    void SetTrace(TraceSink fn) { trace_ = std::move(fn); }
    // The pause after a failure report (tests shorten it).
    void SetReportPauseMs(int ms) { reportPauseMs_ = ms; }

    // Makes the line report to the frame as WM_COMMNOTIFY: DataReady when received bytes wait
    // to be read, PeerClosed when the server closed the connection.
    void EnableCommNotify();

    // OK in the dialog: tried once.
    void StartFromDialog(const std::string& host, int port);
    // A host entry: retried as the entry says. The caller has set the host name, the auto-logon
    // flags and the history flag of the connection.
    void StartFromHost(const TelnetTarget& target);

    // WM_TELNET_RESOLVED and WM_TELNET_RETRY.
    void OnResolved();
    void OnRetry();
    // The progress window's "中断".
    void Cancel();
    // The line reported that the server closed the connection.
    void OnServerClose();

    bool Connecting() const;
    int Attempt() const { return attempt_; }

    // Why the last attempt failed, in plain words for the user: whether the name lookup failed
    // (else the connect), and the resolver's or the system's own text ("Name or service not
    // known", "Connection refused"). The status line and the trace keep their short texts.
    struct Failure {
        bool lookup = false;
        std::string reason;
    };
    const Failure& LastFailure() const { return lastFailure_; }

  private:
    enum class Phase { Idle, Resolving, Connecting, Reporting, RetryWait };
    void Attempt();
    bool RefuseWhileOnline();
    void ConnectTick();
    void Fail(const std::string& text, Failure why);
    // "host: reason" (with the port for a connect), or the status text when there is no reason.
    std::string FailureText() const;
    void StopTimers();
    void Trace(const std::string& t) const {
        if (trace_) trace_(kTraceMain, t);
    }

    IPlatform& platform_;
    TelnetLine& line_;
    Connection& conn_;
    TelnetTarget target_;
    Phase phase_ = Phase::Idle;
    int attempt_ = 1;
    int reportPauseMs_ = 500;
    std::string failure_;
    Failure lastFailure_;
    std::chrono::steady_clock::time_point phaseEnd_;
    bool stopAtPause_ = false;
    const std::atomic<bool>* stop_ = nullptr;
    std::function<void()> beforeConnected_;
    TraceSink trace_;
};

// The remembered hosts of the dialog "Telnet接続", most recent first (TelnetHost1..5).
namespace telnet_hosts {
// The text the host box shows when the dialog opens: the first non-empty entry.
std::string Initial(const std::array<std::string, 5>& hosts);
// The list of the host box: the non-empty entries in order.
std::vector<std::string> Items(const std::array<std::string, 5>& hosts);
// Moves `host` to the top, dropping the oldest when a sixth would be kept. False for "".
bool Remember(std::array<std::string, 5>& hosts, const std::string& host);
// The port field: a number 1..65535, or nullopt.
std::optional<int> ParsePort(const std::string& text);
}  // namespace telnet_hosts

}  // namespace marlo
