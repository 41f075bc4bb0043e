// The hub of the program. It owns the active settings, the line (serial port or telnet socket) and
// the connection state, the terminal, the string wait and the dialler; every received byte enters
// through it on the user-interface thread, and everything else reaches the line through its line
// operations. It knows no toolkit: a front end shows it (the Qt main window, or nothing at all).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/CommSettingsModel.h"
#include "app/MacroThread.h"
#include "app/TransferController.h"
#include "hosts/HostEntry.h"
#include "hosts/HostTable.h"
#include "line/CommPort.h"
#include "line/Dialler.h"
#include "line/LineIo.h"
#include "line/PortMap.h"
#include "line/StringWait.h"
#include "line/TelnetConnect.h"
#include "line/TelnetLine.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "terminal/CaptureLog.h"
#include "terminal/KanjiCodec.h"
#include "terminal/Terminal.h"

namespace marlo {

class ISettingsStore;

// The network event in the low word of lParam of a telnet WM_COMMNOTIFY.
constexpr int kFdWrite = 2;
constexpr int kFdClose = 32;
// Timer 3: dial seconds, transfer elapsed time, activity lamps.
constexpr int kTimer3 = 3;
constexpr int kTimer3PeriodMs = 500;

class CMainFrame : public IEventTarget,
                   public ITerminalHooks,
                   public IModemPort,
                   public ICommLineControl {
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
    StringWait& Wait() { return wait_; }
    Connection& Conn() { return *connection_; }
    Dialler& Dial() { return *dialler_; }
    CommPort& Comm() { return *comm_; }
    TelnetConnect& TelnetConnector() { return *telnetConnect_; }
    const Paths& FramePaths() const { return paths_; }

    // --- line operations (any thread unless noted) ---
    // Up to `max` received bytes; waits at most `timeoutMs` for the first one.
    int ReadLineData(uint8_t* buf, int max, int timeoutMs = 0);
    bool WriteRaw(const uint8_t* buf, size_t n);
    // Shift-JIS text converted to the send code; one lock covers the conversion and the write so
    // that the keyboard, a transfer and a macro never interleave bytes or share the kanji state.
    bool WriteConverted(const uint8_t* buf, size_t n);
    bool WriteConverted(const std::string& sjis) override {
        return WriteConverted(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size());
    }
    void SendBreak();
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    bool PortOpen() const override;

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
    bool UpdateCarrier();
    // The line as the transfer engines and the macro language use it (null when closed).
    ILineIo* ActiveLine();
    bool TelnetMode() const { return connection_->telnetMode; }
    // The send side's kanji-mode flag is cleared (settings applied, host connected).
    void ClearSendKanjiMode() override;

    // --- received data (user-interface thread) ---
    void OnCommNotify(intptr_t wParam, intptr_t lParam);
    void ProcessReceived(const uint8_t* buf, size_t n);
    // Feeds a recorded byte stream through the terminal (the replay command).
    bool ReplayFile(const std::string& path);

    // --- the frame's life (user-interface thread) ---
    // Opens the configured serial port at start-up (`Port` not 0). False: start-up ends.
    bool OpenConfiguredPort();
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
    bool LineOpen() const;
    // The status bar's lamps: the control lines of the serial port (none in telnet mode) and the
    // activity since the last tick.
    unsigned LampBits() const;
    // What the front end must do for commands that open its own windows; returns true when it
    // handled the command.
    std::function<bool(int id)> onUiCommand;
    // The window title changed.
    std::function<void()> onTitleChanged;

    // Telnet: the dialog's OK, or a host entry.
    void ConnectTelnet(const std::string& host, int port);
    void ConnectTelnetHost(const TelnetTarget& target);
    // Telephone: the connect dialog or a host entry.
    bool ConnectPhone(const DialPlan& plan, const std::string& initCommand);
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

    // Flags read across threads.
    std::atomic<bool> m_bAutoCmdStop{false};
    std::atomic<bool> transferRunning{false};
    std::atomic<bool> macroRunning{false};
    // While the environment settings sheet is open the line is not read.
    void SetEnvSheetOpen(bool open);
    // File transfer: the start paths, the status window and the end steps.
    TransferController& Transfer() { return *transfer_; }
    // The macro thread; `ConnectedHost` gives a macro its `userid` and `password`.
    CMacroThread& Macro() { return *macro_; }
    const HostEntry& ConnectedHost() const { return connectedHost_; }

    void OnEvent(const Event& e) override;

    // ITerminalHooks
    bool WantsTextBytes() const override;
    void OnTextByte(uint8_t b) override;
    void OnBell() override;
    bool OnAutoStartByte(uint8_t b) override { return transfer_->AutoStartByte(b); }

  private:
    void Lamps(unsigned lamps);
    // Reads the line until it is empty, each block through ProcessReceived.
    void ReceiveAll();
    void SetLineReadPaused(bool paused);
    // From the status window's opening to its closing the engine alone reads the line.
    void SetTransferRunning(bool running);
    void ReadPendingNow();
    void CloseTelnetLine();
    void WriteHistory();
    void StartHostLog();
    // The macro commands of the menu: run, stop, pause, edit.
    void MacroCommand(int id);
    void SaveScreenAtExit();
    void LoadScreenAtStart();
    std::string HistoryFile(const char* name) const;

    IPlatform& platform_;
    Settings settings_;
    Paths paths_;
    ISettingsStore* store_;
    std::unique_ptr<Terminal> terminal_;
    PortMap portMap_;
    std::unique_ptr<CommPort> comm_;
    std::unique_ptr<TelnetLine> telnet_;
    StringWait wait_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Dialler> dialler_;
    std::unique_ptr<TelnetConnect> telnetConnect_;
    HostTable hosts_;
    HostEntry connectedHost_;
    CaptureLog log_;
    std::optional<LineParams> savedParams_;

    std::mutex writeMutex_;
    KanjiEncoder encoder_;
    uint8_t receiveBuffer_[4096];
    bool inReceive_ = false;
    bool envSheetOpen_ = false;
    std::atomic<bool> closing_{false};
    std::atomic<unsigned> activity_{0};  // SD and RD since the last tick
    // Last: their threads stop before anything they use goes away.
    std::unique_ptr<TransferController> transfer_;
    std::unique_ptr<CMacroThread> macro_;
};

}  // namespace marlo
