// The connection state of the main frame (both kinds of line) and the Hayes modem dialler:
// initialisation commands, dialling with tone or pulse and an outside-line prefix, the parser of
// the modem's answers, redial on a busy line with the alternate number, cancel and hang-up.
// Everything runs on the user-interface thread. Received bytes come in through OnReceived; the
// redial wait is a timer, so nothing here reads the line from inside the receive path.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "settings/Trace.h"

namespace marlo {

class IPlatform;
class StringWait;

// What the dialler needs from the serial line; the frame implements it.
class IModemPort {
  public:
    virtual ~IModemPort() = default;
    // Shift-JIS text, converted to the send code on the way out.
    virtual bool WriteConverted(const std::string& sjis) = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    virtual bool PortOpen() const = 0;
};

// The frame's connection state and its two transitions.
class Connection {
  public:
    struct Hooks {
        // Suspends (true) or resumes (false) the serial event thread; empty when there is none.
        std::function<void(bool suspend)> suspendEventThread;
        std::function<void()> startHostLog;  // the host entry's capture log
        std::function<void()> closeHostLog;
        std::function<void()> writeHistory;  // the connection history record
        std::function<void()> closeTelnet;   // closes the socket (hang-up of a telnet line)
        TraceSink trace;
    };

    Connection(IPlatform& platform, Hooks hooks);

    // A carrier rise or a finished telnet connect.
    void OnConnected();
    // A carrier drop, a closed socket or a hang-up.
    void OnDisconnected();
    // Closes the telnet socket through the frame.
    void CloseTelnet() {
        if (hooks_.closeTelnet) hooks_.closeTelnet();
    }

    // Texts are Shift-JIS; sounds are file paths.
    std::string hostName;
    std::string connectSound, disconnectSound;  // WaveFile3, WaveFile4
    std::atomic<bool> connected{false};
    bool dialling = false;
    // A dial of ours reached the modem for this connection; cleared when it ends. A serial
    // connection without one (and without the modem initialised) is a direct line.
    bool dialled = false;
    bool telnetMode = false;
    bool telnetConnecting = false;
    bool history = false;  // started from a host entry: the disconnect writes a record
    bool autoLogon1 = false, autoLogon2 = false;
    bool hostLog = false;  // the host entry's Log flag
    std::time_t connectTime = 0;
    int connectHour = 0, connectMinute = 0, connectSecond = 0;

  private:
    void Trace(const std::string& t) const {
        if (hooks_.trace) hooks_.trace(kTraceMain, t);
    }
    IPlatform& platform_;
    Hooks hooks_;
};

// The numbers and redial policy of one telephone connection.
struct DialPlan {
    std::string hostName;  // Shift-JIS; "" shows no title on the progress window
    std::string TelNum1, TelNum2;
    int TelForm = 1;       // 1 tone, 0 pulse
    int Internal = 0;      // 1: dial the outside-line prefix first
    std::string External;  // the outside-line prefix
    int RedialNum = 1;
    int Interval = 5;  // seconds between attempts
    int Infinite = 0;
    int Long = 0;
    bool history = false;  // from a host entry
};

// The dialog "電話接続": the number typed or keyed in, tone or pulse, the extension's outside
// line, redial without limit, the redial count and the modem's initialisation command.
struct PhoneDialogModel {
    std::string number;               // Shift-JIS (digits and dial characters)
    int tone = 1;                     // "ﾌﾟｯｼｭ" (1) or "ﾀﾞｲﾔﾙ" (0)
    bool internal = false;            // "内線"
    std::string external;             // its outside-line number
    bool infinite = false;            // "接続するまで電話をかけ続ける"
    std::string redialCount = "1";    // the field's text
    std::string init = "ATE1Q0V1X3";  // the initialisation command
    static constexpr size_t kMaxNumber = 64;

    // A keypad button: '0'..'9', '*', '#', 'C' ("CL", clears) or 'B' ("BS", deletes the last).
    void Key(char k);
    // The plan of "接続": host "未定義ホスト", both numbers the typed one, Interval 5, no history.
    // A redial count that is not a number of at least 1 counts as 1.
    DialPlan Plan() const;
};

class Dialler {
  public:
    // The id of the redial timer on the platform.
    static constexpr int kRedialTimerId = 7001;
    static constexpr size_t kMaxAnswerLine = 135;

    Dialler(IPlatform& platform, IModemPort& port, StringWait& wait, Connection& connection);
    ~Dialler();

    // The stop request (m_bAutoCmdStop) and the closing flag, watched by the waits and pauses.
    void SetStopFlags(const std::atomic<bool>* autoCmdStop, const std::atomic<bool>* closing) {
        stop_ = autoCmdStop;
        closing_ = closing;
    }
    void SetTrace(TraceSink fn) { trace_ = std::move(fn); }
    // Shortens the fixed waits (tests).
    void SetWaitLimits(int answerMs, int settleMs) {
        answerMs_ = answerMs;
        settleMs_ = settleMs;
    }

    // Sends ModemInit1 and ModemInit2, each waiting for "OK". `byCommand`: the menu command,
    // which goes on after a failed first command and pauses between the two. False on a failure.
    bool InitModem(const std::string& init1, const std::string& init2, bool byCommand);

    // The telephone connect (dialog "接続" or a host entry): initialises the modem with
    // `initCommand` and dials. False when nothing was dialled.
    bool Connect(const DialPlan& plan, const std::string& initCommand);
    void Dial();
    // Received text bytes; parsed only while dialling.
    void OnReceived(const uint8_t* p, size_t n);
    // Timer 3 (every 500 ms): the dial seconds, and the progress window's "中断".
    void OnTick();
    // The progress window's "中断".
    void Cancel();

    // The "回線切断" command. False when the modem did not confirm.
    bool HangUp(bool byDtr);
    // At shutdown: asks before dropping a serial connection. False: shutdown is abandoned.
    bool ShutdownHangUp(bool byDtr);

    int Attempt() const { return attempt_; }
    int Selector() const { return selector_; }
    bool RedialWaiting() const { return redialWaiting_; }
    const std::string& AnswerLine() const { return answer_; }

  private:
    bool SendAndWaitOk(const std::string& command, int timeoutMs);
    void EndOfAnswerLine();
    void StartRedialWait();
    void RedialTick();
    bool Pause(int ms);
    void Trace(const std::string& t) const {
        if (trace_) trace_(kTraceMain, t);
    }

    IPlatform& platform_;
    IModemPort& port_;
    StringWait& wait_;
    Connection& conn_;
    DialPlan plan_;
    const std::atomic<bool>* stop_ = nullptr;
    const std::atomic<bool>* closing_ = nullptr;
    TraceSink trace_;
    std::string answer_;
    int attempt_ = 1;
    int selector_ = 1;
    int ticks_ = 0;
    bool redialWaiting_ = false;
    bool stopAtPause_ = false;
    std::chrono::steady_clock::time_point redialAt_;
    int answerMs_ = 5000;
    int settleMs_ = 1000;
};

}  // namespace marlo
