// The hub of the program. It owns the active settings, the session (the line, the connection, the
// dialler and the receive pump), the terminal, the capture log and the transfer controller, and
// carries out the commands. Every received byte reaches the terminal through it on the
// user-interface thread. It knows no toolkit: a front end shows it (the Qt main window, or nothing
// at all).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/CommSettingsModel.h"
#include "app/MacroThread.h"
#include "app/TransferController.h"
#include "hosts/HostEntry.h"
#include "hosts/HostTable.h"
#include "platform/Platform.h"
#include "session/Session.h"
#include "settings/Settings.h"
#include "terminal/CaptureLog.h"
#include "terminal/HexDump.h"
#include "terminal/Terminal.h"
#include "terminal/TextReceive.h"
#include "terminal/TextSend.h"
#include "tools/Lzh.h"

namespace marlo {

class ISettingsStore;

// Timer 3: dial seconds, transfer elapsed time, activity lamps.
constexpr int kTimer3 = 3;
constexpr int kTimer3PeriodMs = 500;
// A host entry's logon macro gets this long before received data flows.
constexpr int kLogonMacroHoldMs = 1000;

class CMainFrame : public IEventTarget, public ITerminalHooks, public ICommLineControl {
  public:
    struct Paths {
        std::string configDir;  // settings, port map, marlo.ini of old versions
        std::string dataDir;    // default folders, trace file
        // Makes the serial devices (the termios device when empty; tests give fakes).
        CommPort::DeviceFactory deviceFactory = {};
    };

    CMainFrame(IPlatform& platform, Settings settings, Paths paths, ISettingsStore* store);
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // The active settings (the members of the stored values).
    Settings& S() { return settings_; }
    const Settings& S() const { return settings_; }
    IPlatform& Platform() { return platform_; }
    Terminal& Term() { return *terminal_; }
    // The received bytes as they came off the line, for the hex view.
    const HexDump& Hex() const { return hex_; }
    Session& CurrentSession() { return *session_; }
    StringWait& Wait() { return session_->Wait(); }
    Connection& Conn() { return session_->Conn(); }
    Dialler& Dial() { return session_->Dial(); }
    CommPort& Comm() { return session_->Comm(); }
    TelnetConnect& TelnetConnector() { return session_->TelnetConnector(); }
    const Paths& FramePaths() const { return paths_; }

    // --- line operations (any thread unless noted): the session's ---
    int ReadLineData(uint8_t* buf, int max, int timeoutMs = 0) {
        return session_->ReadLineData(buf, max, timeoutMs);
    }
    bool WriteRaw(const uint8_t* buf, size_t n) { return session_->WriteRaw(buf, n); }
    bool WriteConverted(const uint8_t* buf, size_t n) { return session_->WriteConverted(buf, n); }
    bool WriteConverted(const std::string& sjis) { return session_->WriteConverted(sjis); }
    void SendBreak() { session_->SendBreak(); }
    void SetDtr(bool on) override { session_->SetDtr(on); }
    void SetRts(bool on) override { session_->SetRts(on); }
    bool PortOpen() const override { return session_->PortOpen(); }

    // ICommLineControl: what the communication settings sheet does to the running line.
    void SaveControlBlock() override;
    void RestoreControlBlock() override;
    bool ClosePort() override;
    std::optional<int> OpenPort(int port) override;
    bool ApplyLineParams(const LineParams& p) override;
    void UpdateModemStatus() override { UpdateCarrier(); }
    void Pause(int ms) override;
    void ResetTerminal() override { terminal_->Reset(); }
    void ShowMessage(const std::string& utf8, MsgIcon icon) override {
        platform_.MessageBox(utf8, icon);
    }
    // Reads CTS, DSR and the carrier; true when the carrier is present.
    bool UpdateCarrier() { return session_->UpdateCarrier(); }
    // The line as the transfer engines and the macro language use it (null when closed).
    ILineIo* ActiveLine() { return session_->ActiveLine(); }
    bool TelnetMode() const { return session_->Conn().telnetMode; }
    // The send side's kanji-mode flag is cleared (settings applied, host connected).
    void ClearSendKanjiMode() override { session_->ClearSendKanjiMode(); }

    // --- received data (user-interface thread) ---
    void OnCommNotify(LineEvent what) { session_->OnCommNotify(what); }
    void ProcessReceived(const uint8_t* buf, size_t n);
    // Feeds a recorded byte stream through the terminal (the replay command).
    bool ReplayFile(const std::string& path);

    // --- the frame's life (user-interface thread) ---
    // Opens the configured serial port at start-up (`Port` not 0). False: start-up ends.
    bool OpenConfiguredPort() { return session_->OpenConfiguredPort(); }
    void StartTimer3();
    void OnTimer3();
    // The close request. False when the shutdown was abandoned (the hang-up failed).
    bool Shutdown(bool normalWindow);
    bool Closing() const { return closing_.load(); }

    // Commands of the menus and tool bars.
    void OnCommand(int id);
    bool CommandEnabled(int id) const;
    bool CommandChecked(int id) const;
    // A line to read and write is there: the serial port, or the telnet connection in telnet mode.
    bool LineOpen() const { return session_->LineOpen(); }
    // The status bar's lamps: the control lines of the serial port (none in telnet mode) and the
    // activity since the last tick.
    unsigned LampBits() const { return session_->LampBits(); }
    // A click on the DTR or RTS lamp (kLampDtr, kLampRts) turns that line over; false (and
    // nothing changes) for any other lamp or while no serial port is open.
    bool ToggleControlLine(unsigned lamp);
    // What the front end must do for commands that open its own windows; returns true when it
    // handled the command.
    std::function<bool(int id)> onUiCommand;
    // The window title changed.
    std::function<void()> onTitleChanged;

    // Telnet: the dialog's OK, or a host entry.
    void ConnectTelnet(const std::string& host, int port) { session_->ConnectTelnet(host, port); }
    void ConnectTelnetHost(const TelnetTarget& target) { session_->ConnectTelnetHost(target); }
    // Telephone: the connect dialog.
    bool ConnectPhone(const DialPlan& plan, const std::string& initCommand) {
        return session_->ConnectPhone(plan, initCommand);
    }
    // A host entry: its settings over the active ones, then the modem dialled or the telnet host
    // reached, with a history record and the entry's log.
    bool ConnectHostEntry(const HostEntry& entry);
    // `/h n` at start-up: entry n (1-based); an unknown number is reported.
    bool ConnectHostNumber(int number);
    void HangUp();

    // The host table, loaded from the store when the frame is created and saved at shutdown.
    HostTable& Hosts() { return hosts_; }
    ISettingsStore* Store() { return store_; }
    // The capture log; the front end supplies the dialog that asks for a log file.
    CaptureLog& Log() { return log_; }
    LogDialog logDialog;
    void ToggleCaptureLog();
    // Starts the capture log at program start when LogIniBegin asks for it.
    void StartLogAtStart();
    // A macro's log: `file` (UTF-8; a name alone goes into LogDefPath) appended to unless
    // `create`, or the automatic name when empty. True when a log is open afterwards.
    bool BeginCaptureLog(const std::string& file, bool create);

    // LZH extraction: the front end's dialog takes the archive, the destination and the delete
    // flag and runs the extraction (nullopt when it was closed unused). The command, WM_EXTRACT_LZH
    // (the path in `text`, UTF-8) and a finished download of an ".LZH" file with `Unlha` set
    // show it with their archive (empty for the command) and report how it ended.
    std::function<std::optional<LzhOutcome>(const std::string& archive)> lzhDialog;
    void ExtractLzh(const std::string& archive);

    // Text send: types a chosen text file into the line, or stops the send that runs.
    void ToggleTextSend();
    bool TextSending() const { return textSend_ != nullptr; }
    // Text receive: the received text into a file asked for through the dialog (the front end
    // supplies it), or the open file closed.
    void ToggleTextReceive();
    CaptureLog& TextReceiveFile() { return textReceive_; }
    LogDialog textReceiveDialog;
    // The control-code palette: one control byte (0..31) to the line, through the send code's
    // conversion (a JIS line leaves kanji mode first). Beeps and sends nothing while a transfer
    // runs or no line is open.
    bool SendControlCode(uint8_t code);

    // Flags read across threads.
    std::atomic<bool> m_bAutoCmdStop{false};
    std::atomic<bool> transferRunning{false};
    std::atomic<bool> macroRunning{false};
    // While the environment settings sheet is open the line is not read.
    void SetEnvSheetOpen(bool open);
    // A macro's suspend: the line is not read until it resumes (or the macro ends).
    void SetMacroSuspended(bool suspended);
    // File transfer: the start paths, the status window and the end steps.
    TransferController& Transfer() { return *transfer_; }
    // The macro thread; `ConnectedHost` gives a macro its `userid` and `password`.
    CMacroThread& Macro() { return *macro_; }
    const HostEntry& ConnectedHost() const { return session_->ConnectedHost(); }

    void OnEvent(const Event& e) override;

    // ITerminalHooks
    bool WantsTextBytes() const override;
    void OnTextByte(uint8_t b) override;
    void OnBell() override;
    bool OnAutoStartByte(uint8_t b) override { return transfer_->AutoStartByte(b); }
    void OnAnswer(const std::string& bytes) override;
    void OnTitle(const std::string& sjisTitle) override;

  private:
    // The window title between transfers: the host, and the title an xterm host set.
    std::string IdleTitle() const;
    // From the status window's opening to its closing the engine alone reads the line.
    void SetTransferRunning(bool running);
    void StartHostLog();
    // The macro commands of the menu: run, stop, pause, edit.
    void MacroCommand(int id);
    void SaveScreenAtExit();
    void LoadScreenAtStart();
    std::string HistoryFile(const char* name) const;
    // One step of the text send; its timer calls it until the send has ended.
    void TextSendTick();
    void EndTextSend();
    static constexpr int kTextSendTimerId = 7004;
    static constexpr int kTextSendTickMs = 10;

    IPlatform& platform_;
    Settings settings_;
    std::string hostTitle_;  // Shift-JIS
    Paths paths_;
    ISettingsStore* store_;
    std::unique_ptr<Terminal> terminal_;
    HostTable hosts_;
    CaptureLog log_;
    CaptureLog textReceive_;
    HexDump hex_;
    LogChoice lastTextReceive_;  // offered by the next text receive's dialog
    std::optional<LineParams> savedParams_;
    std::unique_ptr<TextSendRun> textSend_;
    int textSendWait_ = 0;  // the string wait's id for the sent line's echo
    bool envSheetOpen_ = false;
    bool macroSuspended_ = false;
    void UpdateReadPause();
    // A host entry's macro or pattern when its connection came up.
    void OnAutoLogon();
    void SetLogonHold(bool hold);
    bool logonHold_ = false;
    std::atomic<bool> closing_{false};
    // Before the transfer controller: a running transfer reads and writes its line.
    std::unique_ptr<Session> session_;
    // Last: their threads stop before anything they use goes away.
    std::unique_ptr<TransferController> transfer_;
    std::unique_ptr<CMacroThread> macro_;
};

}  // namespace marlo
