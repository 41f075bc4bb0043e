#include "session/LogonPattern.h"

#include "line/StringWait.h"
#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"

namespace marlo {

namespace {

class Reader {
  public:
    Reader(const std::string& p, const LogonData& d) : p_(p), d_(d) {}

    std::vector<LogonStep> Run() {
        while (i_ < p_.size()) {
            const char c = p_[i_];
            if (inGroup_) {
                Group(c);
                continue;
            }
            ++i_;
            switch (c) {
                case '{':
                    inGroup_ = true;
                    inDigits_ = false;
                    awaited_.clear();
                    digits_.clear();
                    break;
                case '\'':
                    Send(d_.crlf ? "\r\n" : "\r");
                    break;
                case '$':
                    if (i_ < p_.size() && p_[i_] == 'I') {
                        Send(d_.id);
                        ++i_;
                    } else if (i_ < p_.size() && p_[i_] == 'P') {
                        Send(d_.password);
                        passwordAt_ = steps_.size();
                        ++i_;
                    } else {
                        Send("$");
                    }
                    break;
                case '*':
                    steps_.push_back({LogonStep::Kind::Pause, {}, 1000, false});
                    break;
                case '!':
                    steps_.push_back({LogonStep::Kind::PlainPause, {}, 1000, false});
                    break;
                case '\\':
                    if (i_ < p_.size() &&
                        std::string_view("'${}!*,").find(p_[i_]) != std::string_view::npos)
                        Send(std::string(1, p_[i_++]));
                    break;
                default:
                    --i_;
                    Send(Character());
                    break;
            }
        }
        // The password step was merged into a later Send; every wait before it guards it.
        for (size_t k = 0; k < passwordAt_ && k < steps_.size(); ++k)
            if (steps_[k].kind == LogonStep::Kind::Wait) steps_[k].guardsPassword = true;
        return std::move(steps_);
    }

  private:
    // One character at i_: a double-byte character whole, else one byte.
    std::string Character() {
        size_t n = IsSjisLead(static_cast<uint8_t>(p_[i_])) && i_ + 1 < p_.size() ? 2 : 1;
        std::string s = p_.substr(i_, n);
        i_ += n;
        return s;
    }
    void Group(char c) {
        if (c == '}') {
            ++i_;
            inGroup_ = false;
            steps_.push_back({LogonStep::Kind::Wait, awaited_, TimeoutMs(), false});
            return;
        }
        if (c == ',' && !inDigits_) {
            ++i_;
            inDigits_ = true;
            return;
        }
        // Inside a group a backslash takes the next character into the awaited text.
        if (c == '\\' && i_ + 1 < p_.size()) ++i_;
        (inDigits_ ? digits_ : awaited_) += Character();
    }
    int TimeoutMs() const {
        if (!inDigits_) return kLogonDefaultWaitMs;
        long seconds = 0;
        for (char c : digits_) {
            if (c < '0' || c > '9') break;
            seconds = seconds * 10 + (c - '0');
            if (seconds > kLogonMaxWaitSeconds) {
                seconds = kLogonMaxWaitSeconds;
                break;
            }
        }
        return static_cast<int>(seconds * 1000);
    }
    void Send(const std::string& s) {
        if (!steps_.empty() && steps_.back().kind == LogonStep::Kind::Send)
            steps_.back().text += s;
        else
            steps_.push_back({LogonStep::Kind::Send, s, 0, false});
    }

    const std::string& p_;
    const LogonData& d_;
    size_t i_ = 0;
    bool inGroup_ = false;
    bool inDigits_ = false;
    std::string awaited_;
    std::string digits_;
    size_t passwordAt_ = 0;  // steps before the one holding the password
    std::vector<LogonStep> steps_;
};

}  // namespace

std::vector<LogonStep> ParseLogonPattern(const std::string& pattern, const LogonData& data) {
    return Reader(pattern, data).Run();
}

std::string LogonEndText(LogonEnd end, const std::string& awaited) {
    switch (end) {
        case LogonEnd::Stopped:
            return "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました";
        case LogonEnd::ConnectionLost:
            return "回線が切断されたため、ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました";
        case LogonEnd::NoPrompt:
            return "\"" + SjisToUtf8(awaited) + "\" が届かないため、ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました";
        case LogonEnd::WaitTooLong:
            return "待つ文字列が長すぎるため、ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました";
        case LogonEnd::SendFailed:
            return "送信できないため、ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを中止しました";
        case LogonEnd::Running:
        case LogonEnd::Finished:
            break;
    }
    return "";
}

LogonRunner::LogonRunner(std::vector<LogonStep> steps, StringWait& wait, Sender send)
    : steps_(std::move(steps)), wait_(wait), send_(std::move(send)) {}

LogonRunner::~LogonRunner() {
    if (waitId_) wait_.Disarm(waitId_);
}

LogonEnd LogonRunner::Finish(LogonEnd end) {
    if (waitId_) wait_.Disarm(waitId_);
    waitId_ = 0;
    pausing_ = false;
    end_ = end;
    return end_;
}

std::optional<LogonRunner::Clock::time_point> LogonRunner::Deadline() const {
    if (end_ != LogonEnd::Running || (!waitId_ && !pausing_)) return std::nullopt;
    return until_;
}

bool LogonRunner::HoldsReceive() const {
    return pausing_ && end_ == LogonEnd::Running && steps_[at_].kind == LogonStep::Kind::PlainPause;
}

LogonEnd LogonRunner::Advance(Clock::time_point now) {
    for (;;) {
        if (end_ != LogonEnd::Running) return end_;
        if (stop_) return Finish(LogonEnd::Stopped);
        if (lost_) return Finish(LogonEnd::ConnectionLost);
        if (waitId_) {
            if (wait_.Matched(waitId_) == 0) {
                if (now < until_) return end_;
                if (steps_[at_].guardsPassword) return Finish(LogonEnd::NoPrompt);
            }
            wait_.Disarm(waitId_);
            waitId_ = 0;
            ++at_;
            continue;
        }
        if (pausing_) {
            if (now < until_) return end_;
            pausing_ = false;
            ++at_;
            continue;
        }
        if (at_ >= steps_.size()) return Finish(LogonEnd::Finished);
        const LogonStep& s = steps_[at_];
        switch (s.kind) {
            case LogonStep::Kind::Send:
                if (!send_(s.text)) return Finish(LogonEnd::SendFailed);
                ++at_;
                break;
            case LogonStep::Kind::Wait:
                awaited_ = s.text;
                if (s.text.size() > StringWait::kWindowSize) return Finish(LogonEnd::WaitTooLong);
                // The first wait drops whatever an earlier user left in the window (the receive
                // path is held until it is armed); later ones keep what followed a match.
                waitId_ = wait_.Arm({s.text}, !armedOnce_);
                armedOnce_ = true;
                until_ = now + std::chrono::milliseconds(s.timeoutMs);
                break;
            case LogonStep::Kind::Pause:
            case LogonStep::Kind::PlainPause:
                pausing_ = true;
                until_ = now + std::chrono::milliseconds(s.timeoutMs);
                break;
        }
    }
}

}  // namespace marlo
