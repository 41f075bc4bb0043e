#include "line/Dialler.h"

#include <cstdio>
#include <cstdlib>

#include "line/StringWait.h"
#include "platform/Platform.h"
#include "text/Encoding.h"

namespace marlo {

namespace {

const char kUnknownHost[] = "未定義ホスト";

std::string Printf(const char* fmt, int v) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

}  // namespace

// ---- connection state ----

Connection::Connection(IPlatform& platform, Hooks hooks)
    : platform_(platform), hooks_(std::move(hooks)) {}

void Connection::OnConnected() {
    connected = true;
    connectTime = std::time(nullptr);
    std::tm local{};
    localtime_r(&connectTime, &local);
    connectHour = local.tm_hour;
    connectMinute = local.tm_min;
    connectSecond = local.tm_sec;

    if (!dialling && !telnetConnecting) {
        // The carrier came up without a dial of ours (an answered call): no logon, no history.
        hostName = Utf8ToSjis(kUnknownHost);
        platform_.SetWindowTitle("[" + SjisToUtf8(hostName) + "]");
        telnetConnecting = false;
        return;
    }
    Event logon;
    logon.id = WM_AUTOLOGON;
    platform_.PostEvent(logon);
    if ((autoLogon1 || autoLogon2) && hooks_.suspendEventThread) hooks_.suspendEventThread(true);
    platform_.PlaySound(connectSound, false);
    dialling = false;
    if (platform_.ProgressVisible()) {
        platform_.SetProgressStatus("接続完了");
        platform_.CloseProgress();
    }
    platform_.SetWindowTitle("[" + SjisToUtf8(hostName) + "]");
    if (hostLog && hooks_.startHostLog) hooks_.startHostLog();
    telnetConnecting = false;
}

void Connection::OnDisconnected() {
    Trace("Off-Line\n");
    platform_.PlaySound(disconnectSound, false);
    connected = false;
    dialled = false;
    if ((autoLogon1 || autoLogon2) && hooks_.suspendEventThread) hooks_.suspendEventThread(false);
    platform_.SetWindowTitle("[未接続]");
    if (history) {
        if (hooks_.writeHistory) hooks_.writeHistory();
        if (hostLog && hooks_.closeHostLog) hooks_.closeHostLog();
        history = false;
    }
    hostName.clear();
    telnetMode = false;
}

// ---- the telephone dialog ----

void PhoneDialogModel::Key(char k) {
    if (k == 'C') {
        number.clear();
    } else if (k == 'B') {
        if (!number.empty()) number.pop_back();
    } else if (((k >= '0' && k <= '9') || k == '*' || k == '#') && number.size() < kMaxNumber) {
        number.push_back(k);
    }
}

DialPlan PhoneDialogModel::Plan() const {
    DialPlan p;
    p.hostName = Utf8ToSjis(kUnknownHost);
    p.TelNum1 = p.TelNum2 = number;
    p.TelForm = tone ? 1 : 0;
    p.Internal = internal ? 1 : 0;
    p.External = external;
    p.Infinite = infinite ? 1 : 0;
    p.Interval = 5;
    p.Long = 0;
    p.history = false;
    char* end = nullptr;
    long n = std::strtol(redialCount.c_str(), &end, 10);
    p.RedialNum = (redialCount.empty() || *end || n < 1 || n > 9999) ? 1 : static_cast<int>(n);
    return p;
}

// ---- dialler ----

Dialler::Dialler(IPlatform& platform, IModemPort& port, StringWait& wait, Connection& connection)
    : platform_(platform), port_(port), wait_(wait), conn_(connection) {}

Dialler::~Dialler() {
    if (redialWaiting_) platform_.StopTimer(kRedialTimerId);
}

bool Dialler::Pause(int ms) {
    bool dialling = conn_.dialling;
    bool stopAtStart = stop_ && stop_->load();
    return DispatchingPause(platform_, ms, [&] {
        return (dialling && !conn_.dialling) || (!stopAtStart && stop_ && stop_->load());
    });
}

bool Dialler::SendAndWaitOk(const std::string& command, int timeoutMs) {
    // The window is emptied before sending, so that only the answer to this command counts.
    wait_.ClearWindow();
    if (!port_.WriteConverted(command)) return false;
    WaitOptions o;
    o.timeoutMs = timeoutMs;
    o.fresh = false;
    o.stop = stop_;
    o.closing = closing_;
    if (trace_) o.trace = [this](const std::string& t) { Trace(t); };
    return WaitForString(platform_, wait_, "OK", o) == WaitOutcome::Matched;
}

bool Dialler::InitModem(const std::string& init1, const std::string& init2, bool byCommand) {
    platform_.SetStatusText(byCommand ? "ﾓﾃﾞﾑを初期化しています" : "ﾓﾃﾞﾑを初期化しています...");
    bool ok = true;
    auto fail = [&](const std::string& command) {
        char text[512];
        std::snprintf(text, sizeof text, "モデムの初期化(%s)に失敗しました.",
                      SjisToUtf8(command).c_str());
        platform_.MessageBox(text, MsgIcon::Stop);
        ok = false;
    };
    if (!init1.empty() && !SendAndWaitOk(init1 + "\r", answerMs_)) {
        fail(init1);
        if (!byCommand) {
            platform_.SetStatusText("");
            return false;
        }
    }
    if (byCommand) Pause(500);
    if (!init2.empty() && !SendAndWaitOk(init2 + "\r", answerMs_)) fail(init2);
    platform_.SetStatusText("");
    return ok;
}

bool Dialler::Connect(const DialPlan& plan, const std::string& initCommand) {
    if (conn_.connected) {
        platform_.MessageBox("オンライン中です.", MsgIcon::Exclamation);
        return false;
    }
    if (conn_.dialling) return false;  // a dial (or its redial wait) is under way
    if (!port_.PortOpen()) {
        platform_.MessageBox("ポートがクローズされていますので、接続できません。",
                             MsgIcon::Exclamation);
        return false;
    }
    plan_ = plan;
    conn_.hostName = plan.hostName;
    conn_.history = plan.history;
    conn_.telnetMode = false;
    platform_.ShowProgress("モデムを初期化中...");
    if (!SendAndWaitOk(initCommand + "\r", answerMs_)) {
        platform_.CloseProgress();
        platform_.MessageBox("ﾓﾃﾞﾑの初期化に失敗しました.", MsgIcon::Stop);
        conn_.history = false;
        return false;
    }
    answer_.clear();
    attempt_ = 1;
    selector_ = 1;
    Dial();
    return true;
}

void Dialler::Dial() {
    std::string prefix = plan_.TelForm ? "DT" : "DP";
    std::string outside = plan_.Internal ? plan_.External : "";
    const std::string& number = selector_ == 1 ? plan_.TelNum1 : plan_.TelNum2;
    std::string command = "AT" + prefix + outside + number + "\r";
    platform_.ShowProgress(Printf("接続中 [%d回目] ", attempt_));
    platform_.SetProgressStatus("電話番号 : " + SjisToUtf8(outside) + SjisToUtf8(number));
    if (!plan_.hostName.empty()) platform_.SetProgressTitle(SjisToUtf8(plan_.hostName));
    conn_.dialling = true;
    conn_.dialled = true;
    ticks_ = 0;
    port_.WriteConverted(command);
}

void Dialler::OnReceived(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n && conn_.dialling && !redialWaiting_; ++i) {
        uint8_t b = p[i];
        if (b == '\r') {
            EndOfAnswerLine();
        } else if (b >= 32 && answer_.size() < kMaxAnswerLine) {
            answer_.push_back(static_cast<char>(b));
        }
    }
}

void Dialler::EndOfAnswerLine() {
    std::string line;
    line.swap(answer_);
    if (line.find("BUSY") != std::string::npos) {
        platform_.SetProgressStatus("話し中");
        if (!plan_.Infinite && attempt_ >= plan_.RedialNum) {
            conn_.dialling = false;
            platform_.CloseProgress();
            platform_.MessageBox(Printf("%d回の接続に失敗しました.", plan_.RedialNum),
                                 MsgIcon::Stop);
            return;
        }
        ++attempt_;
        if (selector_ == 1) {
            if (!plan_.TelNum2.empty()) selector_ = 2;
        } else if (!plan_.TelNum1.empty()) {
            selector_ = 1;
        }
        StartRedialWait();
    } else if (line.find("AT") != std::string::npos) {
        // the modem's echo of our command
    } else if (line.find("NODIALTONE") != std::string::npos ||
               line.find("NO DIALTONE") != std::string::npos) {
        platform_.SetProgressStatus("ダイアルトーンを確認できません");
    } else if (!line.empty()) {
        platform_.SetProgressStatus(SjisToUtf8(line));
    }
}

void Dialler::StartRedialWait() {
    redialWaiting_ = true;
    stopAtPause_ = stop_ && stop_->load();
    redialAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(plan_.Interval);
    platform_.StartTimer(kRedialTimerId, 100, [this] { RedialTick(); });
}

void Dialler::RedialTick() {
    if (!redialWaiting_) return;
    if (platform_.ProgressCancelled()) Cancel();
    bool cut = !conn_.dialling || (!stopAtPause_ && stop_ && stop_->load());
    if (!cut && std::chrono::steady_clock::now() < redialAt_) return;
    redialWaiting_ = false;
    platform_.StopTimer(kRedialTimerId);
    if (cut) return;
    if (platform_.ProgressVisible()) Dial();
}

void Dialler::OnTick() {
    if (!conn_.dialling) return;
    if (platform_.ProgressCancelled()) {
        Cancel();
        return;
    }
    ++ticks_;
    platform_.SetProgressSeconds(Printf("%d 秒", ticks_ / 2));
}

void Dialler::Cancel() {
    conn_.history = false;
    answer_.clear();
    if (conn_.dialling) {
        conn_.dialling = false;
        // A lone CR makes the modem abandon the call.
        port_.WriteConverted("\r");
    }
    if (redialWaiting_) {
        redialWaiting_ = false;
        platform_.StopTimer(kRedialTimerId);
    }
    platform_.CloseProgress();
}

bool Dialler::HangUp(bool byDtr) {
    if (!conn_.connected) return true;
    if (conn_.telnetMode) {
        conn_.CloseTelnet();
        conn_.OnDisconnected();
        return true;
    }
    if (byDtr) {
        port_.SetDtr(false);
        Pause(settleMs_);
        port_.SetDtr(true);
        return true;
    }
    SendAndWaitOk("+++", answerMs_);
    Pause(settleMs_);
    if (!SendAndWaitOk("ATH0\r", answerMs_)) {
        platform_.MessageBox("切断に失敗しました.", MsgIcon::Stop);
        return false;
    }
    return true;
}

bool Dialler::ShutdownHangUp(bool byDtr) {
    if (!conn_.connected) return true;
    if (conn_.telnetMode) {
        conn_.CloseTelnet();
        conn_.OnDisconnected();
        return true;
    }
    if (platform_.MessageBox("まだ回線が接続されていますが,切断してから終了しますか?",
                             MsgIcon::Question, MsgButtons::YesNo) != MsgResult::Yes)
        return true;
    if (byDtr) {
        port_.SetRts(false);
        port_.SetDtr(false);
        return true;
    }
    platform_.ShowProgress("切断処理中");
    if (!SendAndWaitOk("+++", answerMs_)) {
        platform_.CloseProgress();
        platform_.MessageBox("切断に失敗しました.", MsgIcon::Stop);
        return false;
    }
    Pause(settleMs_);
    SendAndWaitOk("ATH0\r", answerMs_);
    platform_.CloseProgress();
    return true;
}

}  // namespace marlo
