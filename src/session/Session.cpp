#include "session/Session.h"

#include <chrono>
#include <ctime>

#include "line/History.h"
#include "session/HostRoute.h"
#include "settings/Trace.h"

namespace marlo {

namespace {
const std::vector<int> kHeldDuringReceive = {WM_COMMNOTIFY};
// How often a long burst lets the rest of the program run.
constexpr std::chrono::milliseconds kDispatchEvery{20};
// The timer of the return watch's retries.
constexpr int kReturnTimerId = 7010;
constexpr const char* kMsgLineLost = "回線が切断されました";
constexpr const char* kMsgLineBack = "回線を再接続しました";
}  // namespace

Session::Session(IPlatform& platform, Settings& settings, const std::string& configDir,
                 CommPort::DeviceFactory factory, Hooks hooks)
    : platform_(platform), settings_(settings), hooks_(std::move(hooks)), portMap_(configDir) {
    encoder_.SetCode(settings_.SendCode());

    comm_ = std::make_unique<CommPort>(platform_, settings_, portMap_, std::move(factory));
    comm_->SetNotify([this](int what) {
        // Synchronous: the event thread waits until the frame has handled it.
        platform_.SendEvent(LineNotice(
            what == SerialLine::kNotifyLineStatus ? LineEvent::ModemStatus : LineEvent::DataReady));
    });
    comm_->SetLampsCallback([this](unsigned) { Lamps(); });

    telnet_ = std::make_unique<TelnetLine>();

    Connection::Hooks connectionHooks;
    connectionHooks.closeTelnet = [this] { telnet_->Close(); };
    connectionHooks.writeHistory = [this] { WriteHistory(); };
    connectionHooks.startHostLog = [this] {
        if (hooks_.startHostLog) hooks_.startHostLog();
    };
    connectionHooks.closeHostLog = [this] {
        if (hooks_.closeHostLog) hooks_.closeHostLog();
    };
    connectionHooks.trace = [this](int category, const std::string& t) { Trace(category, t); };
    connectionHooks.suspendEventThread = [this](bool hold) {
        if (hooks_.holdReceive) hooks_.holdReceive(hold);
    };
    connection_ = std::make_unique<Connection>(platform_, connectionHooks);
    connection_->connectSound = settings_.WaveFile[2];
    connection_->disconnectSound = settings_.WaveFile[3];

    dialler_ = std::make_unique<Dialler>(platform_, *this, wait_, *connection_);

    telnetConnect_ = std::make_unique<TelnetConnect>(platform_, *telnet_, *connection_);
    telnetConnect_->SetBeforeConnected([this] {
        if (hooks_.beforeTelnetConnected) hooks_.beforeTelnetConnected();
        ClearSendKanjiMode();
    });
    telnetConnect_->EnableCommNotify();
    returnWatch_ = std::make_unique<DeviceReturnWatch>(platform_, kReturnTimerId);
    SetTrace(TraceFileSink());
}

void Session::SetTrace(TraceSink sink) {
    trace_ = std::move(sink);
    comm_->SetTrace(trace_);
    telnet_->SetTrace(trace_);
    dialler_->SetTrace(trace_);
    telnetConnect_->SetTrace(trace_);
}

void Session::Trace(int category, const std::string& text) const {
    if (trace_) trace_(category, text);
}

Session::~Session() {
    returnWatch_->Stop();
    comm_->SetLampsCallback({});
    CloseLines();
}

void Session::SetStopFlags(const std::atomic<bool>* autoCmdStop, const std::atomic<bool>* closing) {
    closing_ = closing;
    dialler_->SetStopFlags(autoCmdStop, closing);
    telnetConnect_->SetStopFlag(autoCmdStop);
}

// ---------------------------------------------------------------- the line

ILineIo* Session::ActiveLine() {
    if (attached_) return attached_;
    if (connection_->telnetMode && telnet_->IsOpen()) return telnet_.get();
    return comm_->Line();
}

bool Session::LineOpen() const {
    return connection_->telnetMode ? telnet_->IsOpen() : comm_->CommActive();
}

int Session::ReadLineData(uint8_t* buf, int max, int timeoutMs) {
    ILineIo* line = ActiveLine();
    if (!line || max <= 0) return 0;
    int n = line->ReadLineData(buf, max, timeoutMs);
    if (n > 0) activity_ |= kLampRd;
    return n;
}

bool Session::WriteRaw(const uint8_t* buf, size_t n) {
    ILineIo* line = ActiveLine();
    if (!line) return false;
    bool ok = line->WriteRaw(buf, n);
    activity_ |= kLampSd;
    return ok;
}

bool Session::WriteConverted(const uint8_t* buf, size_t n) {
    std::lock_guard lock(writeMutex_);
    encoder_.SetCode(settings_.SendCode());
    if (encoder_.Code() == kShiftJis) return WriteRaw(buf, n);
    std::string out;
    encoder_.Encode(buf, n, out);
    if (out.empty()) return true;
    return WriteRaw(reinterpret_cast<const uint8_t*>(out.data()), out.size());
}

bool Session::WriteUnheld(const std::string& utf8) {
    std::lock_guard lock(writeMutex_);
    encoder_.SetCode(settings_.SendCode());
    std::string out;
    encoder_.EncodeUnheld(utf8, out);
    if (out.empty()) return true;
    return WriteRaw(reinterpret_cast<const uint8_t*>(out.data()), out.size());
}

void Session::ClearSendKanjiMode() {
    std::lock_guard lock(writeMutex_);
    encoder_.ClearKanjiMode();
}

void Session::SendBreak() {
    comm_->SendBreak();
}
void Session::SetDtr(bool on) {
    comm_->SetDtr(on);
}
void Session::SetRts(bool on) {
    comm_->SetRts(on);
}
bool Session::PortOpen() const {
    return comm_->CommActive();
}
bool Session::UpdateCarrier() {
    return comm_->UpdateModemStatus();
}

void Session::Lamps() {
    // Other threads' changes show at the next tick of timer 3.
    if (platform_.OnUiThread()) platform_.UpdateLamps(LampBits());
}

unsigned Session::LampBits() const {
    // The serial port's control lines say nothing about a telnet connection.
    const unsigned lines = connection_->telnetMode ? 0u : comm_->Lamps();
    return lines | activity_.load();
}

// ---------------------------------------------------------------- the connection

bool Session::OpenConfiguredPort() {
    if (settings_.Port == 0) return true;
    std::string name = comm_->CurrentPortName();
    auto result = comm_->OpenCommPort(name, true);
    if (result == CommPort::OpenResult::Failed) return false;
    settings_.Port = comm_->PortNumberOf(name);
    if (result == CommPort::OpenResult::Opened && settings_.ModemInit)
        dialler_->InitModem(settings_.ModemInit1, settings_.ModemInit2, false);
    return true;
}

void Session::AnnounceTerminal() {
    telnet_->SetTerminalType(settings_.EmulationMode() == kXtermTerminal ? "xterm" : "");
}

void Session::ConnectTelnet(const std::string& host, int port) {
    if (connection_->connected) return;
    AnnounceTerminal();
    telnetConnect_->StartFromDialog(host, port);
}

void Session::ConnectTelnetHost(const TelnetTarget& target) {
    if (connection_->connected) return;
    AnnounceTerminal();
    telnetConnect_->StartFromHost(target);
}

bool Session::ConnectPhone(const DialPlan& plan, const std::string& initCommand) {
    connection_->autoLogon1 = connection_->autoLogon2 = false;
    if (connection_->connected) {
        platform_.MessageBox("オンライン中です.", MsgIcon::Exclamation);
        return false;
    }
    if (!comm_->CommActive()) {
        platform_.MessageBox("ポートがクローズされていますので、接続できません。",
                             MsgIcon::Exclamation);
        return false;
    }
    return dialler_->Connect(plan, initCommand);
}

bool Session::ReadyForHost(const HostEntry& entry) {
    if (entry.Name.empty()) {
        platform_.MessageBox("指定されたﾎｽﾄは登録されていません。", MsgIcon::Exclamation);
        return false;
    }
    if (connection_->connected || connection_->dialling || connection_->telnetConnecting) {
        platform_.MessageBox("オンライン中です.", MsgIcon::Exclamation);
        return false;
    }
    return true;
}

bool Session::ConnectHost(const HostEntry& entry) {
    connectedHost_ = entry;
    connection_->hostLog = entry.Log != 0;
    connection_->autoLogon1 = entry.Macro != 0;
    connection_->autoLogon2 = entry.Macro == 0 && entry.Logon != 0;
    if (entry.IsTelnet()) {
        connection_->hostName = entry.Name;
        connection_->history = true;
        AnnounceTerminal();
        telnetConnect_->StartFromHost(TelnetTargetOf(entry));
        return true;
    }
    // An entry naming its device moves the line there (its by-id path finds the adapter
    // whatever tty it has today); the open reports a device that is missing or busy.
    if (!entry.PortPath.empty() && !PortNamer::SameDevice(comm_->OpenPath(), entry.PortPath)) {
        const std::string old = comm_->CommActive() ? comm_->CurrentPortName() : std::string();
        std::string name = entry.PortPath;
        if (comm_->OpenCommPort(name, false) != CommPort::OpenResult::Opened) {
            // The line goes back to the port it was on.
            if (std::string back = old; !back.empty()) comm_->OpenCommPort(back, false);
            return false;
        }
        settings_.Port = comm_->PortNumberOf(name);
    }
    if (!comm_->CommActive()) {
        platform_.MessageBox("ポートがクローズされていますので、接続できません。",
                             MsgIcon::Exclamation);
        return false;
    }
    if (auto* line = comm_->Line(); line && !line->SetParams(comm_->SettingsParams()))
        platform_.MessageBox("通信パラメータの設定に失敗しました.", MsgIcon::Stop);
    return dialler_->Connect(DialPlanOf(entry), entry.ModemIniCommand);
}

void Session::WriteHistory() {
    std::string message;
    if (!WriteHistoryRecord(settings_.HistoryDefPath, connection_->hostName,
                            connection_->connectTime, std::time(nullptr), connection_->telnetMode,
                            connectedHost_.Long, &message))
        platform_.MessageBox(message, MsgIcon::Exclamation);
}

void Session::HangUp() {
    if (connection_->telnetMode) {
        telnet_->Close();
        if (connection_->connected) connection_->OnDisconnected();
        connection_->telnetMode = false;
    } else {
        dialler_->HangUp(HangUpByDtr());
    }
}

bool Session::HangUpByDtr() const {
    return settings_.Disconnect != 0 || (!connection_->dialled && settings_.ModemInit == 0);
}

bool Session::EndForShutdown() {
    if (!connection_->connected) return true;
    if (connection_->telnetMode) {
        telnet_->Close();
        return true;
    }
    return dialler_->ShutdownHangUp(HangUpByDtr());
}

void Session::CloseLines() {
    returnWatch_->Stop();
    telnet_->Close();
    if (comm_->CommActive()) comm_->CloseCommPort();
}

void Session::OnTick() {
    if (connection_->dialling) dialler_->OnTick();
    Lamps();
    // The SD and RD lamps show activity per half second.
    activity_ = 0;
    comm_->ClearActivity();
}

// ---------------------------------------------------------------- received data

bool Session::OnEvent(const Event& e) {
    switch (e.id) {
        case WM_COMMNOTIFY:
            OnCommNotify(e.line);
            return true;
        case WM_TELNET_RESOLVED:
            telnetConnect_->OnResolved();
            return true;
        case WM_TELNET_RETRY:
            telnetConnect_->OnRetry();
            return true;
        default:
            return false;
    }
}

void Session::OnCommNotify(LineEvent what) {
    if (what == LineEvent::PeerClosed) {
        // The server closed the socket (or it closed while connecting).
        if (connection_->telnetConnecting) Trace(kTraceMain, "FD_CLOSE受信\n");
        telnetConnect_->OnServerClose();
        if (hooks_.stateChanged) hooks_.stateChanged();
        return;
    }
    if (readPaused_) return;
    if (settings_.Port != 0 && what == LineEvent::ModemStatus && !connection_->telnetMode) {
        bool carrier = UpdateCarrier();
        if (carrier && !connection_->connected) {
            connection_->OnConnected();
            if (hooks_.stateChanged) hooks_.stateChanged();
        } else if (!carrier && connection_->connected) {
            // What the host sent before the carrier dropped is still in the device: it is shown,
            // logged and seen by a wait before the connection ends.
            ReceiveAll();
            connection_->OnDisconnected();
            if (hooks_.stateChanged) hooks_.stateChanged();
        }
        if (SerialGone()) OnSerialGone();
        return;
    }
    ReceiveAll();
    if (!connection_->telnetMode && SerialGone()) OnSerialGone();
}

bool Session::SerialGone() const {
    const SerialLine* line = comm_->Line();
    return line && line->HungUp();
}

bool Session::OnSerialGone() {
    if (!comm_->Line()) return AwaitingDevice();
    // What came before the device went is shown (and logged, and seen by a wait) first.
    ReceiveAll();
    Trace(kTraceMain, "回線切断\n");
    if (connection_->connected && !connection_->telnetMode) {
        connection_->OnDisconnected();
        if (hooks_.stateChanged) hooks_.stateChanged();
    }
    comm_->CloseCommPort();
    platform_.SetStatusText(kMsgLineLost);
    if (!settings_.AutoReconnect || comm_->ReturnPath().empty()) return false;
    return returnWatch_->Start(comm_->ReturnPath(), [this] { return ReopenSerial(); });
}

bool Session::ReopenSerial() {
    // A port the user opened meanwhile ends the watch, and so do the option turned off and the
    // port set to none.
    if (comm_->CommActive() || !settings_.AutoReconnect || settings_.Port == 0) return true;
    if (!comm_->Reopen()) return false;
    Trace(kTraceMain, "再接続\n");
    comm_->UpdateModemStatus();
    platform_.SetStatusText(kMsgLineBack);
    if (hooks_.reconnected) hooks_.reconnected();
    if (hooks_.stateChanged) hooks_.stateChanged();
    return true;
}

void Session::ReceiveAll() {
    // A wait inside the receive path may dispatch events; it must not read the line again into the
    // same buffer. The outer loop goes on reading until the line is empty.
    if (inReceive_) return;
    inReceive_ = true;
    const int block = settings_.ReadBlockSize();
    // Between blocks the window, the keyboard and the timers get their turn, but not after every
    // block: a repaint per few dozen bytes would hold a fast line back to the speed of painting.
    auto dispatchAt = std::chrono::steady_clock::now() + kDispatchEvery;
    while (!readPaused_ && !(closing_ && *closing_)) {
        int n = ReadLineData(receiveBuffer_, block, 0);
        if (n <= 0) break;
        Deliver(receiveBuffer_, static_cast<size_t>(n));
        if (auto now = std::chrono::steady_clock::now(); now >= dispatchAt) {
            platform_.DispatchPending(kHeldDuringReceive);
            dispatchAt = now + kDispatchEvery;
        }
    }
    inReceive_ = false;
}

void Session::Deliver(const uint8_t* buf, size_t n) {
    if (hooks_.received) hooks_.received(buf, n);
    if (connection_->dialling) dialler_->OnReceived(buf, n);
}

void Session::SetReadPaused(bool paused) {
    readPaused_ = paused;
    if (auto* line = comm_->Line()) line->SetNotificationsPaused(paused);
    // Bytes that waited in the device while nobody read are read at once, not when the next one
    // arrives.
    if (!paused) platform_.PostEvent(LineNotice(LineEvent::DataReady));
}

}  // namespace marlo
