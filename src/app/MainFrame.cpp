#include "app/MainFrame.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "app/CommandIds.h"
#include "line/History.h"
#include "macro/MacroText.h"
#include "platform/SettingsStore.h"
#include "session/HostRoute.h"
#include "settings/SettingsIo.h"
#include "settings/Trace.h"
#include "text/Encoding.h"
#include "transfer/Protocols.h"

namespace marlo {

namespace {
const std::vector<int> kHeldDuringReceive = {WM_COMMNOTIFY};
// How often a long burst lets the rest of the program run.
constexpr std::chrono::milliseconds kDispatchEvery{20};
}  // namespace

CMainFrame::CMainFrame(IPlatform& platform, Settings settings, Paths paths, ISettingsStore* store)
    : platform_(platform),
      settings_(std::move(settings)),
      paths_(std::move(paths)),
      store_(store),
      portMap_(paths_.configDir) {
    terminal_ = std::make_unique<Terminal>(settings_);
    terminal_->SetHooks(this);
    encoder_.SetCode(settings_.SendCode());

    comm_ = std::make_unique<CommPort>(platform_, settings_, portMap_, paths_.deviceFactory);
    comm_->SetNotify([this](int wParam) {
        // Synchronous: the event thread waits until the frame has handled it.
        platform_.SendEvent(Event{WM_COMMNOTIFY, wParam, 0, {}, {}});
    });
    comm_->SetTrace([](int category, const std::string& text) { TraceText(category, text); });
    comm_->SetLampsCallback([this](unsigned) { Lamps(0); });

    telnet_ = std::make_unique<TelnetLine>();
    telnet_->SetTrace([](int category, const std::string& text) { TraceText(category, text); });

    Connection::Hooks hooks;
    hooks.closeTelnet = [this] { CloseTelnetLine(); };
    hooks.writeHistory = [this] { WriteHistory(); };
    hooks.startHostLog = [this] { StartHostLog(); };
    hooks.closeHostLog = [this] { log_.Close(); };
    hooks.trace = [](const std::string& t) { TraceText(kTraceMain, t); };
    connection_ = std::make_unique<Connection>(platform_, hooks);
    connection_->connectSound = settings_.WaveFile[2];
    connection_->disconnectSound = settings_.WaveFile[3];

    dialler_ = std::make_unique<Dialler>(platform_, *this, wait_, *connection_);
    dialler_->SetStopFlags(&m_bAutoCmdStop, &closing_);
    dialler_->SetTrace([](const std::string& t) { TraceText(kTraceMain, t); });

    telnetConnect_ = std::make_unique<TelnetConnect>(platform_, *telnet_, *connection_);
    telnetConnect_->SetStopFlag(&m_bAutoCmdStop);
    telnetConnect_->SetTrace([](const std::string& t) { TraceText(kTraceMain, t); });
    telnetConnect_->SetBeforeConnected([this] {
        Term().Buffer().Attributes() = CellAttributes{};
        Term().StartNewStream();
        ClearSendKanjiMode();
    });
    telnetConnect_->EnableCommNotify();

    if (store_) {
        for (const auto& message : hosts_.Load(*store_))
            platform_.MessageBox(message, MsgIcon::Exclamation);
    }
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    terminal_->AddCaptureSink(&log_);

    TransferFrameHooks transferHooks;
    transferHooks.line = [this] { return ActiveLine(); };
    transferHooks.setRunning = [this](bool running) { SetTransferRunning(running); };
    transferHooks.unread = [this](const std::vector<uint8_t>& bytes) {
        ProcessReceived(bytes.data(), bytes.size());
    };
    transferHooks.idleTitle = [this] {
        return connection_->connected ? "[" + SjisToUtf8(connection_->hostName) + "]"
                                      : std::string("[未接続]");
    };
    transfer_ = std::make_unique<TransferController>(platform_, settings_, transferHooks);
    macro_ = std::make_unique<CMacroThread>(*this);
    macro_->onEnded = [this](MacroInterpreter::End end) {
        if (end == MacroInterpreter::End::Close) OnCommand(ID_APP_EXIT);
    };

    platform_.SetEventTarget(this);
    LoadScreenAtStart();
}

CMainFrame::~CMainFrame() {
    transfer_.reset();
    comm_->SetLampsCallback({});
    platform_.StopTimer(kTimer3);
    telnet_->Close();
    comm_->CloseCommPort();
    platform_.SetEventTarget(nullptr);
}

// ---------------------------------------------------------------- line operations

ILineIo* CMainFrame::ActiveLine() {
    if (connection_->telnetMode && telnet_->IsOpen()) return telnet_.get();
    return comm_->Line();
}

int CMainFrame::ReadLineData(uint8_t* buf, int max, int timeoutMs) {
    ILineIo* line = ActiveLine();
    if (!line || max <= 0) return 0;
    int n = line->ReadLineData(buf, max, timeoutMs);
    if (n > 0) activity_ |= kLampRd;
    return n;
}

bool CMainFrame::WriteRaw(const uint8_t* buf, size_t n) {
    ILineIo* line = ActiveLine();
    if (!line) return false;
    bool ok = line->WriteRaw(buf, n);
    activity_ |= kLampSd;
    return ok;
}

bool CMainFrame::WriteConverted(const uint8_t* buf, size_t n) {
    std::lock_guard lock(writeMutex_);
    encoder_.SetCode(settings_.SendCode());
    if (encoder_.Code() == kShiftJis) return WriteRaw(buf, n);
    std::string out;
    encoder_.Encode(buf, n, out);
    if (out.empty()) return true;
    return WriteRaw(reinterpret_cast<const uint8_t*>(out.data()), out.size());
}

void CMainFrame::ClearSendKanjiMode() {
    std::lock_guard lock(writeMutex_);
    encoder_.ClearKanjiMode();
}

void CMainFrame::SendBreak() {
    comm_->SendBreak();
}
void CMainFrame::SetDtr(bool on) {
    comm_->SetDtr(on);
}
void CMainFrame::SetRts(bool on) {
    comm_->SetRts(on);
}
bool CMainFrame::PortOpen() const {
    return comm_->CommActive();
}
bool CMainFrame::UpdateCarrier() {
    return comm_->UpdateModemStatus();
}

void CMainFrame::SaveControlBlock() {
    LineParams p;
    if (auto* line = comm_->Line(); line && line->GetParams(p))
        savedParams_ = p;
    else
        savedParams_.reset();
}

void CMainFrame::RestoreControlBlock() {
    if (auto* line = comm_->Line(); line && savedParams_) line->SetParams(*savedParams_);
}

bool CMainFrame::ClosePort() {
    return comm_->CloseCommPort();
}

std::optional<int> CMainFrame::OpenPort(int port) {
    std::string name = "COM" + std::to_string(port);
    if (comm_->OpenCommPort(name, false) != CommPort::OpenResult::Opened) return std::nullopt;
    return comm_->PortNumberOf(name);
}

bool CMainFrame::ApplyLineParams(const LineParams& p) {
    auto* line = comm_->Line();
    return line && line->SetParams(p);
}

void CMainFrame::Pause(int ms) {
    platform_.DispatchWait({}, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

void CMainFrame::Lamps(unsigned) {
    // Other threads' changes show at the next tick of timer 3.
    if (platform_.OnUiThread()) platform_.UpdateLamps(LampBits());
}

unsigned CMainFrame::LampBits() const {
    // The serial port's control lines say nothing about a telnet connection.
    const unsigned lines = connection_->telnetMode ? 0u : comm_->Lamps();
    return lines | activity_.load();
}

// ---------------------------------------------------------------- received data

void CMainFrame::OnCommNotify(intptr_t wParam, intptr_t lParam) {
    const int event = static_cast<int>(lParam & 0xFFFF);
    if (event == kFdClose) {
        // The server closed the socket (or it closed while connecting).
        if (connection_->telnetConnecting) TraceText(kTraceMain, "FD_CLOSE受信\n");
        telnetConnect_->OnServerClose();
        if (onTitleChanged) onTitleChanged();
        return;
    }
    if (event == kFdWrite) {
        TraceText(kTraceMain, "FD_WRITE受信\n");
        return;
    }
    if (envSheetOpen_ || transferRunning) return;
    if (settings_.Port != 0 && wParam == 1 && !connection_->telnetMode) {
        bool carrier = UpdateCarrier();
        if (carrier && !connection_->connected) {
            connection_->OnConnected();
            if (onTitleChanged) onTitleChanged();
        } else if (!carrier && connection_->connected) {
            // What the host sent before the carrier dropped is still in the device: it is shown,
            // logged and seen by a wait before the connection ends.
            ReceiveAll();
            connection_->OnDisconnected();
            if (onTitleChanged) onTitleChanged();
        }
        return;
    }
    ReceiveAll();
}

void CMainFrame::ReceiveAll() {
    // A wait inside the receive path may dispatch events; it must not read the line again into the
    // same buffer. The outer loop goes on reading until the line is empty.
    if (inReceive_) return;
    inReceive_ = true;
    const int block = settings_.ReadBlockSize();
    // Between blocks the window, the keyboard and the timers get their turn, but not after every
    // block: a repaint per few dozen bytes would hold a fast line back to the speed of painting.
    auto dispatchAt = std::chrono::steady_clock::now() + kDispatchEvery;
    while (!transferRunning && !envSheetOpen_ && !closing_) {
        int n = ReadLineData(receiveBuffer_, block, 0);
        if (n <= 0) break;
        ProcessReceived(receiveBuffer_, static_cast<size_t>(n));
        if (auto now = std::chrono::steady_clock::now(); now >= dispatchAt) {
            platform_.DispatchPending(kHeldDuringReceive);
            dispatchAt = now + kDispatchEvery;
        }
    }
    inReceive_ = false;
}

void CMainFrame::ProcessReceived(const uint8_t* buf, size_t n) {
    terminal_->ProcessReceived(buf, n);
    if (connection_->dialling) dialler_->OnReceived(buf, n);
}

bool CMainFrame::WantsTextBytes() const {
    return wait_.Active();
}

void CMainFrame::OnTextByte(uint8_t b) {
    wait_.Feed(b);
}

void CMainFrame::OnBell() {
    if (settings_.WaveFile[6].empty())
        platform_.Beep();
    else
        platform_.PlaySound(settings_.WaveFile[6], false);
}

bool CMainFrame::ReplayFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        platform_.MessageBox("ファイルのオープンに失敗しました.", MsgIcon::Stop);
        return false;
    }
    uint8_t buf[4000];
    for (;;) {
        platform_.DispatchPending(kHeldDuringReceive);
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        ProcessReceived(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

void CMainFrame::SetLineReadPaused(bool paused) {
    if (auto* line = comm_->Line()) line->SetNotificationsPaused(paused);
}

void CMainFrame::ReadPendingNow() {
    // Bytes that waited in the device while nobody read are read at once, not when the next one
    // arrives.
    platform_.PostEvent(Event{WM_COMMNOTIFY, 0, 0, {}, {}});
}

void CMainFrame::SetTransferRunning(bool running) {
    transferRunning = running;
    SetLineReadPaused(running || envSheetOpen_);
    if (!running) ReadPendingNow();
}

void CMainFrame::SetEnvSheetOpen(bool open) {
    envSheetOpen_ = open;
    SetLineReadPaused(open || transferRunning);
    if (!open) ReadPendingNow();
}

// ---------------------------------------------------------------- telnet

void CMainFrame::CloseTelnetLine() {
    telnet_->Close();
}

void CMainFrame::ConnectTelnet(const std::string& host, int port) {
    if (connection_->connected) return;
    telnetConnect_->StartFromDialog(host, port);
}

void CMainFrame::ConnectTelnetHost(const TelnetTarget& target) {
    if (connection_->connected) return;
    telnetConnect_->StartFromHost(target);
}

bool CMainFrame::ConnectPhone(const DialPlan& plan, const std::string& initCommand) {
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

bool CMainFrame::ConnectHostEntry(const HostEntry& entry) {
    if (entry.Name.empty()) {
        platform_.MessageBox("指定されたﾎｽﾄは登録されていません。", MsgIcon::Exclamation);
        return false;
    }
    if (connection_->connected || connection_->dialling || connection_->telnetConnecting) {
        platform_.MessageBox("オンライン中です.", MsgIcon::Exclamation);
        return false;
    }
    HostApplyActions actions = ApplyHostEntry(entry, settings_);
    connectedHost_ = entry;
    if (actions.resetTerminal) {
        terminal_->Reset();
        terminal_->Buffer().TabStops().fill(false);
    }
    if (actions.clearSendKanjiMode) ClearSendKanjiMode();
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    connection_->hostLog = entry.Log != 0;
    if (actions.telnet) {
        connection_->hostName = entry.Name;
        connection_->history = true;
        telnetConnect_->StartFromHost(TelnetTargetOf(entry));
        return true;
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

bool CMainFrame::ConnectHostNumber(int number) {
    if (number < 1 || static_cast<size_t>(number) > hosts_.Size()) {
        platform_.MessageBox("指定されたﾎｽﾄは登録されていません。", MsgIcon::Exclamation);
        return false;
    }
    return ConnectHostEntry(hosts_.At(static_cast<size_t>(number - 1)));
}

void CMainFrame::WriteHistory() {
    std::string message;
    if (!WriteHistoryRecord(settings_.HistoryDefPath, connection_->hostName,
                            connection_->connectTime, std::time(nullptr), connection_->telnetMode,
                            connectedHost_.Long, &message))
        platform_.MessageBox(message, MsgIcon::Exclamation);
}

static std::tm Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void CMainFrame::StartHostLog() {
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    StartLog(log_, connectedHost_.LogHead, settings_, platform_, logDialog, Today());
}

void CMainFrame::StartLogAtStart() {
    if (!settings_.LogIniBegin) return;
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    StartLog(log_, "LG", settings_, platform_, logDialog, Today());
}

void CMainFrame::ToggleCaptureLog() {
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    ToggleLog(log_, settings_, platform_, logDialog, Today());
}

void CMainFrame::HangUp() {
    // The transfer's line goes away: its thread ends first.
    transfer_->Stop();
    if (connection_->telnetMode) {
        CloseTelnetLine();
        if (connection_->connected) connection_->OnDisconnected();
        connection_->telnetMode = false;
    } else {
        dialler_->HangUp(settings_.Disconnect != 0);
    }
    if (onTitleChanged) onTitleChanged();
}

// ---------------------------------------------------------------- life

bool CMainFrame::OpenConfiguredPort() {
    if (settings_.Port == 0) return true;
    std::string name = comm_->CurrentPortName();
    auto result = comm_->OpenCommPort(name, true);
    if (result == CommPort::OpenResult::Failed) return false;
    settings_.Port = comm_->PortNumberOf(name);
    if (result == CommPort::OpenResult::Opened && settings_.ModemInit)
        dialler_->InitModem(settings_.ModemInit1, settings_.ModemInit2, false);
    return true;
}

void CMainFrame::StartTimer3() {
    platform_.StartTimer(kTimer3, kTimer3PeriodMs, [this] { OnTimer3(); });
    UpdateCarrier();
}

void CMainFrame::OnTimer3() {
    if (connection_->dialling) dialler_->OnTick();
    transfer_->OnTick();
    // A quiet line leaves the log's last bytes buffered no longer than a tick.
    log_.Flush();
    Lamps(0);
    // The SD and RD lamps show activity per half second.
    activity_ = 0;
    comm_->ClearActivity();
}

std::string CMainFrame::HistoryFile(const char* name) const {
    return (std::filesystem::path(settings_.HistoryDefPath) / name).string();
}

void CMainFrame::SaveScreenAtExit() {
    std::string path = HistoryFile("lglog.txt");
    if (settings_.BufferClearOnEnd) {
        // The file is still created (and emptied), so no old screen comes back at the next start.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
        return;
    }
    terminal_->SaveScreenFile(path);
}

void CMainFrame::LoadScreenAtStart() {
    if (settings_.HistoryDefPath.empty()) return;
    if (terminal_->LoadScreenFile(HistoryFile("lglog.txt")) == Terminal::kLoadFailed)
        platform_.MessageBox(Terminal::kLoadScreenFailed, MsgIcon::Exclamation);
}

bool CMainFrame::Shutdown(bool normalWindow) {
    if (closing_) return true;
    if (connection_->connected) {
        if (connection_->telnetMode) {
            CloseTelnetLine();
        } else if (!dialler_->ShutdownHangUp(settings_.Disconnect != 0)) {
            return false;
        }
    }
    closing_ = true;
    platform_.StopTimer(kTimer3);
    transfer_->Stop();
    SaveScreenAtExit();
    platform_.CloseProgress();
    macro_->Stop();
    telnet_->Close();
    if (comm_->CommActive()) comm_->CloseCommPort();
    log_.Close();
    if (store_) {
        std::vector<std::string> messages;
        bool ok = true;
        if (SaveSettings(*store_, settings_, normalWindow)) ok = hosts_.Save(*store_, &messages);
        if (!store_->Save() || !ok)
            platform_.MessageBox("ﾌｧｲﾙの保管に失敗しました.", MsgIcon::Exclamation);
    }
    SerialLine::ReapAbandonedThreads(1000);
    platform_.PlaySound(settings_.WaveFile[1], true);
    return true;
}

// ---------------------------------------------------------------- commands and events

void CMainFrame::OnCommand(int id) {
    if (onUiCommand && onUiCommand(id)) return;
    switch (id) {
        case ID_BREAK:
            SendBreak();
            break;
        case ID_PORT_TOGGLE:
            comm_->TogglePort();
            break;
        case ID_HANGUP:
            HangUp();
            break;
        case ID_MODEM_INIT:
            dialler_->InitModem(settings_.ModemInit1, settings_.ModemInit2, true);
            break;
        case ID_CLEAR_BUFFER:
            terminal_->ClearBuffer();
            break;
        case ID_LOG_TOGGLE:
            ToggleCaptureLog();
            break;
        case ID_UPLOAD:
            transfer_->StartTransfer(kUpload, kProtoNone, "");
            break;
        case ID_DOWNLOAD:
            transfer_->StartTransfer(kDownload, kProtoNone, "");
            break;
        case ID_MACRO_RUN:
        case ID_MACRO_STOP:
        case ID_MACRO_PAUSE:
        case ID_MACRO_EDIT:
            MacroCommand(id);
            break;
        default:
            break;
    }
}

void CMainFrame::MacroCommand(int id) {
    static constexpr const char* kChooserTitle = "マクロファイルの選択";
    static constexpr const char* kFilter = "ﾏｸﾛﾌｧｲﾙ (*.mac)|*.mac|すべてのﾌｧｲﾙ (*.*)|*.*||";
    if (id == ID_MACRO_STOP) return macro_->Stop();
    if (id == ID_MACRO_PAUSE) return macro_->TogglePause();
    if (id == ID_MACRO_RUN && macro_->Running()) {
        macro_->Start("");  // says that one is running
        return;
    }
    auto path = platform_.ChooseFile(false, kChooserTitle, kFilter, SjisToUtf8(settings_.MacroDefPath));
    if (!path) return;
    if (id == ID_MACRO_RUN) {
        macro_->Start(*path);
        return;
    }
    // The Windows editor of old settings means the desktop's own.
    std::string editor = SjisToUtf8(settings_.Editor);
    if (editor.empty() || EqualsIgnoringCase(editor, "notepad.exe")) editor = "xdg-open";
    if (!platform_.StartProcess({editor, *path}))
        platform_.MessageBox("ｴﾃﾞｨﾀを起動できませんでした.", MsgIcon::Exclamation);
}

bool CMainFrame::LineOpen() const {
    return connection_->telnetMode ? telnet_->IsOpen() : comm_->CommActive();
}

bool CMainFrame::CommandEnabled(int id) const {
    const Connection& c = *connection_;
    const bool serialOpen = comm_->CommActive() && !c.telnetMode;
    const bool busy = c.connected || c.dialling || c.telnetConnecting;
    switch (id) {
        case ID_PORT_TOGGLE:
            // The engine's line is not taken from under a running transfer.
            return comm_->ToggleEnabled() && !transferRunning;
        case ID_BREAK:
            return serialOpen;
        case ID_MODEM_INIT:
            // Modem commands would reach the host once a connection is up.
            return serialOpen && !busy && !transferRunning;
        case ID_HANGUP:
            return busy;
        case ID_PHONE_CONNECT:
            return serialOpen && !busy && !transferRunning;
        case ID_TELNET_CONNECT:
            return !busy && !transferRunning;
        case ID_UPLOAD:
        case ID_DOWNLOAD:
        case ID_EDIT_PASTE:
        case ID_EDIT_SEND_NAME:
            // These write to the line, which a running transfer owns.
            return LineOpen() && !transferRunning;
        case ID_COMM_SETTINGS:
        case ID_REPLAY:
            // Both would reach the line or the terminal that a transfer owns.
            return !transferRunning;
        case ID_MACRO_STOP:
        case ID_MACRO_PAUSE:
            return macroRunning;
        default:
            return true;
    }
}

bool CMainFrame::CommandChecked(int id) const {
    switch (id) {
        case ID_PORT_TOGGLE:
            return comm_->ToggleChecked();
        case ID_LOG_TOGGLE:
            return log_.IsOpen();
        case ID_TERM_DUMB:
            return settings_.EmulationMode() == 0;
        case ID_TERM_VT100:
            return settings_.EmulationMode() == 1;
        case ID_MACRO_PAUSE:
            return macro_->Paused();
        default:
            return false;
    }
}

void CMainFrame::OnEvent(const Event& e) {
    if (transfer_->OnEvent(e)) return;
    switch (e.id) {
        case WM_COMMNOTIFY:
            OnCommNotify(e.wParam, e.lParam);
            break;
        case WM_TELNET_RESOLVED:
            telnetConnect_->OnResolved();
            break;
        case WM_TELNET_RETRY:
            telnetConnect_->OnRetry();
            break;
        case WM_COMMAND:
            OnCommand(static_cast<int>(e.wParam));
            break;
        case WM_MACRO_START:
            macro_->OnMacroStart(e.text);
            break;
        case WM_RUN_MACRO_FILE:  // a user key: the setting's Shift-JIS path
            macro_->Start(SjisToUtf8(e.text));
            break;
        default:
            break;
    }
}

}  // namespace marlo
