#include "app/MainFrame.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/CommandIds.h"
#include "line/History.h"
#include "macro/MacroText.h"
#include "platform/SettingsStore.h"
#include "session/HostRoute.h"
#include "session/LogonPattern.h"
#include "settings/SettingsIo.h"
#include "settings/Trace.h"
#include "text/Encoding.h"
#include "tools/ExternalPrograms.h"
#include "transfer/Protocols.h"

namespace marlo {

namespace {
const std::vector<int> kHeldDuringReceive = {WM_COMMNOTIFY};
}  // namespace

CMainFrame::CMainFrame(IPlatform& platform, Settings settings, Paths paths, ISettingsStore* store)
    : platform_(platform), settings_(std::move(settings)), paths_(std::move(paths)), store_(store) {
    terminal_ = std::make_unique<Terminal>(settings_);
    terminal_->SetHooks(this);

    Session::Hooks sessionHooks;
    sessionHooks.received = [this](const uint8_t* buf, size_t n) {
        log_.Stamps().SetForm(settings_.TimeStamp);
        hex_.SetCode(settings_.ReceiveCode());
        hex_.Append(buf, n);
        terminal_->ProcessReceived(buf, n);
    };
    sessionHooks.startHostLog = [this] { StartHostLog(); };
    sessionHooks.closeHostLog = [this] { log_.Close(); };
    sessionHooks.beforeTelnetConnected = [this] {
        Term().Buffer().Attributes() = CellAttributes{};
        Term().StartNewStream();
    };
    sessionHooks.stateChanged = [this] {
        // The stamps' time since the connection counts from here (else from the start).
        if (session_->Conn().connected) {
            log_.Stamps().SetOrigin(LineStamper::SteadyClock::now());
            terminal_->Stamps().SetOrigin(LineStamper::SteadyClock::now());
        }
        if (onTitleChanged) onTitleChanged();
    };
    sessionHooks.holdReceive = [this](bool hold) { SetLogonHold(hold); };
    sessionHooks.reconnected = [this] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        log_.Mark(ReconnectMark(local));
    };
    session_ = std::make_unique<Session>(platform_, settings_, paths_.configDir,
                                         paths_.deviceFactory, std::move(sessionHooks));
    session_->SetStopFlags(&m_bAutoCmdStop, &closing_);

    if (store_) {
        for (const auto& message : hosts_.Load(*store_))
            platform_.MessageBox(message, MsgIcon::Exclamation);
    }
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    terminal_->AddCaptureSink(&log_);
    terminal_->AddCaptureSink(&textReceive_);

    TransferFrameHooks transferHooks;
    transferHooks.line = [this] { return ActiveLine(); };
    transferHooks.trace = [this](int category, const std::string& text) {
        session_->Trace(category, text);
    };
    transferHooks.setRunning = [this](bool running) { SetTransferRunning(running); };
    transferHooks.unread = [this](const std::vector<uint8_t>& bytes) {
        ProcessReceived(bytes.data(), bytes.size());
    };
    transferHooks.idleTitle = [this] { return IdleTitle(); };
    transfer_ = std::make_unique<TransferController>(platform_, settings_, transferHooks);
    transfer_->extractLzh = [this](const std::string& path) { ExtractLzh(path); };
    macro_ = std::make_unique<CMacroThread>(*this);
    macro_->onEnded = [this](MacroInterpreter::End end) {
        if (end == MacroInterpreter::End::Close) OnCommand(ID_APP_EXIT);
    };

    platform_.SetEventTarget(this);
    LoadScreenAtStart();
}

CMainFrame::~CMainFrame() {
    platform_.StopTimer(kTextSendTimerId);
    transfer_.reset();
    platform_.StopTimer(kTimer3);
    session_.reset();
    platform_.SetEventTarget(nullptr);
}

// ---------------------------------------------------------------- line operations

void CMainFrame::SaveControlBlock() {
    LineParams p;
    if (auto* line = Comm().Line(); line && line->GetParams(p))
        savedParams_ = p;
    else
        savedParams_.reset();
}

void CMainFrame::RestoreControlBlock() {
    if (auto* line = Comm().Line(); line && savedParams_) line->SetParams(*savedParams_);
}

bool CMainFrame::ClosePort() {
    return Comm().CloseCommPort();
}

std::optional<int> CMainFrame::OpenPort(int port) {
    std::string name = "COM" + std::to_string(port);
    if (Comm().OpenCommPort(name, false) != CommPort::OpenResult::Opened) return std::nullopt;
    return Comm().PortNumberOf(name);
}

bool CMainFrame::ApplyLineParams(const LineParams& p) {
    auto* line = Comm().Line();
    return line && line->SetParams(p);
}

void CMainFrame::Pause(int ms) {
    platform_.DispatchWait({}, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

// ---------------------------------------------------------------- received data

void CMainFrame::ProcessReceived(const uint8_t* buf, size_t n) {
    session_->Deliver(buf, n);
}

bool CMainFrame::WantsTextBytes() const {
    return session_->Wait().Wanted();
}

void CMainFrame::OnTextByte(uint8_t b) {
    session_->Wait().Feed(b);
}

std::string CMainFrame::IdleTitle() const {
    const Connection& c = session_->Conn();
    std::string title = c.connected ? "[" + SjisToUtf8(c.hostName) + "]" : std::string("[未接続]");
    return hostTitle_.empty() ? title : title + " " + SjisToUtf8(hostTitle_);
}

void CMainFrame::OnAnswer(const std::string& bytes) {
    session_->WriteRaw(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void CMainFrame::OnTitle(const std::string& sjisTitle) {
    hostTitle_ = sjisTitle;
    if (!transfer_->Running()) platform_.SetWindowTitle(IdleTitle());
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

void CMainFrame::SetTransferRunning(bool running) {
    transferRunning = running;
    UpdateReadPause();
}

void CMainFrame::SetEnvSheetOpen(bool open) {
    envSheetOpen_ = open;
    UpdateReadPause();
}

void CMainFrame::SetMacroSuspended(bool suspended) {
    if (macroSuspended_ == suspended) return;
    macroSuspended_ = suspended;
    UpdateReadPause();
}

void CMainFrame::UpdateReadPause() {
    session_->SetReadPaused(transferRunning || envSheetOpen_ || macroSuspended_ || logonHold_);
}

void CMainFrame::SetLogonHold(bool hold) {
    if (logonHold_ == hold) return;
    logonHold_ = hold;
    UpdateReadPause();
}

// ---------------------------------------------------------------- auto-logon

void CMainFrame::OnAutoLogon() {
    const Connection& conn = Conn();
    if (!conn.autoLogon1 && !conn.autoLogon2) return;
    const HostEntry host = session_->ConnectedHost();
    if (conn.autoLogon1) {
        macro_->Start(SjisToUtf8(host.MacroFile));
        // The macro's first wait is armed before anything is read.
        Pause(kLogonMacroHoldMs);
        SetLogonHold(false);
        return;
    }
    using Clock = LogonRunner::Clock;
    LogonRunner run(
        ParseLogonPattern(host.AutoCommand, {host.ID, host.Password, settings_.SndCRLF != 0}),
        Wait(), [this](const std::string& s) { return WriteConverted(s); });
    platform_.SetStatusText("ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞを実行しています...");
    m_bAutoCmdStop = false;
    platform_.ShowAutoLogonStop(&m_bAutoCmdStop);
    auto step = [&] {
        if (m_bAutoCmdStop) run.Stop();
        if (!Conn().connected) run.ConnectionLost();
        const LogonEnd end = run.Advance(Clock::now());
        SetLogonHold(run.HoldsReceive());
        return end != LogonEnd::Running || closing_;
    };
    while (!step()) platform_.DispatchWait(step, run.Deadline());
    SetLogonHold(false);
    m_bAutoCmdStop = false;
    platform_.ShowAutoLogonStop(nullptr);
    platform_.SetStatusText(LogonEndText(run.End(), run.Awaited()));
}

// ---------------------------------------------------------------- host entries

bool CMainFrame::ConnectHostEntry(const HostEntry& entry) {
    if (!session_->ReadyForHost(entry)) return false;
    HostApplyActions actions = ApplyHostEntry(entry, settings_);
    if (actions.resetTerminal) {
        terminal_->Reset();
        terminal_->Buffer().TabStops().fill(false);
    }
    if (actions.clearSendKanjiMode) ClearSendKanjiMode();
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    return session_->ConnectHost(entry);
}

bool CMainFrame::ConnectHostNumber(int number) {
    if (number < 1 || static_cast<size_t>(number) > hosts_.Size()) {
        platform_.MessageBox("指定されたﾎｽﾄは登録されていません。", MsgIcon::Exclamation);
        return false;
    }
    return ConnectHostEntry(hosts_.At(static_cast<size_t>(number - 1)));
}

static std::tm Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void CMainFrame::StartHostLog() {
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    StartLog(log_, session_->ConnectedHost().LogHead, settings_, platform_, logDialog, Today());
}

void CMainFrame::StartLogAtStart() {
    if (!settings_.LogIniBegin) return;
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    StartLog(log_, "LG", settings_, platform_, logDialog, Today());
}

bool CMainFrame::BeginCaptureLog(const std::string& file, bool create) {
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    if (file.empty()) return StartLog(log_, "", settings_, platform_, logDialog, Today());
    return log_.Open(ResolveCapturePath(file, settings_.LogDefPath), !create);
}

void CMainFrame::ToggleCaptureLog() {
    log_.SetRemoveEscapes(settings_.LogRemoveEsc != 0);
    ToggleLog(log_, settings_, platform_, logDialog, Today());
}

void CMainFrame::ToggleTextReceive() {
    marlo::ToggleTextReceive(textReceive_, lastTextReceive_, settings_, platform_,
                             textReceiveDialog);
}

void CMainFrame::HangUp() {
    // The transfer's line goes away: its thread ends first.
    transfer_->Stop();
    session_->HangUp();
    hostTitle_.clear();
    if (onTitleChanged) onTitleChanged();
}

// ---------------------------------------------------------------- life

void CMainFrame::StartTimer3() {
    platform_.StartTimer(kTimer3, kTimer3PeriodMs, [this] { OnTimer3(); });
    UpdateCarrier();
}

void CMainFrame::OnTimer3() {
    session_->OnTick();
    transfer_->OnTick();
    // A quiet line leaves the log's last bytes buffered no longer than a tick.
    log_.Flush();
    textReceive_.Flush();
}

std::string CMainFrame::HistoryFile(const char* name) const {
    return (std::filesystem::path(settings_.HistoryDefPath) / name).string();
}

void CMainFrame::SaveScreenAtExit() {
    if (settings_.HistoryDefPath.empty()) return;  // no folder: nothing is kept (marlo-cli)
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
    if (!session_->EndForShutdown()) return false;
    closing_ = true;
    platform_.StopTimer(kTimer3);
    transfer_->Stop();
    SaveScreenAtExit();
    platform_.CloseProgress();
    macro_->Stop();
    session_->CloseLines();
    log_.Close();
    textReceive_.Close();
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
        case ID_DTR_TOGGLE:
            Comm().ToggleDtr();
            break;
        case ID_RTS_TOGGLE:
            Comm().ToggleRts();
            break;
        case ID_DTR_PULSE:
            Comm().PulseDtr();
            break;
        case ID_TEXT_SEND:
            ToggleTextSend();
            break;
        case ID_PORT_TOGGLE:
            Comm().TogglePort();
            break;
        case ID_HANGUP:
            HangUp();
            break;
        case ID_MODEM_INIT:
            Dial().InitModem(settings_.ModemInit1, settings_.ModemInit2, true);
            break;
        case ID_CLEAR_BUFFER:
            terminal_->ClearBuffer();
            break;
        case ID_LOG_TOGGLE:
            ToggleCaptureLog();
            break;
        case ID_TEXT_RECEIVE:
            ToggleTextReceive();
            break;
        case ID_UPLOAD:
            transfer_->StartTransfer(kUpload, kProtoNone, "");
            break;
        case ID_DOWNLOAD:
            transfer_->StartTransfer(kDownload, kProtoNone, "");
            break;
        case ID_LZH_EXTRACT:
            ExtractLzh("");
            break;
        case ID_MACRO_RUN:
        case ID_MACRO_STOP:
        case ID_MACRO_PAUSE:
        case ID_MACRO_EDIT:
            MacroCommand(id);
            break;
        case ID_EDITOR:
            StartEditor(platform_, settings_);
            break;
        default:
            if (IsAppCommand(id)) RunAppCommand(platform_, settings_, id);
            break;
    }
}

void CMainFrame::ExtractLzh(const std::string& archive) {
    if (!lzhDialog) return;
    if (auto outcome = lzhDialog(archive)) ReportLzhOutcome(platform_, *outcome);
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
    if (!StartAll(platform_, OpenWith(SjisToUtf8(settings_.Editor), {*path})))
        platform_.MessageBox("ｴﾃﾞｨﾀを起動できませんでした.", MsgIcon::Exclamation);
}

bool CMainFrame::ToggleControlLine(unsigned lamp) {
    if ((lamp != kLampDtr && lamp != kLampRts) || !PortOpen() || TelnetMode()) return false;
    const bool on = (LampBits() & lamp) == 0;
    if (lamp == kLampDtr)
        SetDtr(on);
    else
        SetRts(on);
    return true;
}

bool CMainFrame::CommandEnabled(int id) const {
    const Connection& c = session_->Conn();
    const CommPort& comm = session_->Comm();
    const bool serialOpen = comm.CommActive() && !c.telnetMode;
    const bool busy = c.connected || c.dialling || c.telnetConnecting;
    switch (id) {
        case ID_PORT_TOGGLE:
            // The engine's line is not taken from under a running transfer.
            return comm.ToggleEnabled() && !transferRunning;
        case ID_BREAK:
        case ID_DTR_TOGGLE:
        case ID_RTS_TOGGLE:
            return serialOpen;
        case ID_DTR_PULSE:
            return serialOpen && !comm.Pulsing();
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
        case ID_TEXT_SEND:
            return !transferRunning && (TextSending() || LineOpen());
        case ID_CONTROL_CODE:
        case ID_TEXT_RECEIVE:
            return !transferRunning;
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
            return session_->Comm().ToggleChecked();
        case ID_DTR_TOGGLE:
            return session_->Comm().CommActive() && session_->Comm().Dtr();
        case ID_RTS_TOGGLE:
            return session_->Comm().CommActive() && session_->Comm().Rts();
        case ID_TEXT_SEND:
            return TextSending();
        case ID_LOG_TOGGLE:
            return log_.IsOpen();
        case ID_TEXT_RECEIVE:
            return textReceive_.IsOpen();
        case ID_TERM_DUMB:
            return settings_.EmulationMode() == 0;
        case ID_TERM_VT100:
            return settings_.EmulationMode() == 1;
        case ID_TERM_XTERM:
            return settings_.EmulationMode() == kXtermTerminal;
        case ID_MACRO_PAUSE:
            return macro_->Paused();
        default:
            return false;
    }
}

bool CMainFrame::SendControlCode(uint8_t code) {
    if (transferRunning || !LineOpen() || code >= 0x20) {
        platform_.Beep();
        return false;
    }
    return WriteConverted(&code, 1);
}

// ---------------------------------------------------------------- text send

void CMainFrame::ToggleTextSend() {
    if (textSend_) {  // the next step ends it, before another line goes out
        textSend_->Stop();
        return;
    }
    static constexpr const char* kTitle = "送信ファイル設定";
    static constexpr const char* kTextFilter = "ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt|すべてのﾌｧｲﾙ (*.*)|*.*||";
    // The chosen path is used as it is: the working directory stays the program's.
    auto path = platform_.ChooseFile(false, kTitle, kTextFilter, SjisToUtf8(settings_.TxsendDefPath));
    if (!path) return;
    std::ifstream in(*path, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(*path, ec)) {
        platform_.MessageBox("ファイルのオープンに失敗しました.", MsgIcon::Stop);
        return;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    platform_.SetStatusText("ﾃｷｽﾄﾌｧｲﾙを送信しています...");
    const TextSendOptions options{settings_.TxSendTabNum, settings_.TxSendMaxCol,
                                  settings_.TxSendCRLF != 0};
    textSend_ = std::make_unique<TextSendRun>(TextSendLines(text, options), settings_.TxSendSync != 0);
    platform_.StartTimer(kTextSendTimerId, kTextSendTickMs, [this] { TextSendTick(); });
}

void CMainFrame::TextSendTick() {
    if (!textSend_) return;
    // Text typed into a running file transfer would corrupt it; a closed line takes nothing.
    if (transferRunning || closing_ || !LineOpen()) textSend_->Stop();
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    const auto step = textSend_->Next(now, textSendWait_ != 0 && Wait().Matched(textSendWait_) != 0);
    if (step.done) {
        EndTextSend();
        return;
    }
    if (!step.send) return;
    if (textSendWait_ != 0) Wait().Disarm(textSendWait_);
    // Armed before the line goes out, so that an echo at once is not missed.
    textSendWait_ = step.echo.empty() ? 0 : Wait().Arm({step.echo}, true);
    if (!WriteConverted(*step.send)) textSend_->Stop();
}

void CMainFrame::EndTextSend() {
    platform_.StopTimer(kTextSendTimerId);
    if (textSendWait_ != 0) Wait().Disarm(textSendWait_);
    textSendWait_ = 0;
    textSend_.reset();
    platform_.SetStatusText("");
}

void CMainFrame::OnEvent(const Event& e) {
    if (transfer_->OnEvent(e) || session_->OnEvent(e)) return;
    switch (e.id) {
        case WM_COMMAND:
            OnCommand(static_cast<int>(e.wParam));
            break;
        case WM_MACRO_START:
            macro_->OnMacroStart(e.text, e.lParam);
            break;
        case WM_MACRO_CALL:
            macro_->RunCall(e.lParam);
            break;
        case WM_AUTOLOGON:
            OnAutoLogon();
            break;
        case WM_RUN_MACRO_FILE:  // a user key: the setting's Shift-JIS path
            macro_->Start(SjisToUtf8(e.text));
            break;
        case WM_EXTRACT_LZH:
            ExtractLzh(e.text);
            break;
        default:
            break;
    }
}

}  // namespace marlo
