// The session: the line it runs on (the serial port, or the telnet socket in telnet mode), the
// connection's life (the dialler, the telnet connect, hang-up), the send encoder and its lock, the
// activity lamps, the history record, and the receive pump that reads the line empty and hands
// every block to whoever takes received bytes. It knows no terminal and no window: the frame (or
// marlo-cli) plugs them in through the hooks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "hosts/HostEntry.h"
#include "line/CommPort.h"
#include "line/DeviceReturn.h"
#include "line/Dialler.h"
#include "line/LineIo.h"
#include "line/PortMap.h"
#include "line/StringWait.h"
#include "line/TelnetConnect.h"
#include "line/TelnetLine.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "settings/Trace.h"
#include "terminal/KanjiCodec.h"

namespace marlo {

class Session : public IModemPort {
  public:
    struct Hooks {
        // Received bytes, block by block, on the user-interface thread (the terminal).
        std::function<void(const uint8_t*, size_t)> received;
        // The host entry's capture log is to start, or to close (the connection ended).
        std::function<void()> startHostLog;
        std::function<void()> closeHostLog;
        // A telnet connect succeeded; runs before the connection counts as made.
        std::function<void()> beforeTelnetConnected;
        // The connection state changed (the window title shows it).
        std::function<void()> stateChanged;
        // A host entry's connection came up with a logon to run (true): nothing is read from the
        // line until the logon is ready for it (false).
        std::function<void(bool hold)> holdReceive;
        // The serial device came back and the port is open again (the capture log's mark).
        std::function<void()> reconnected;
    };

    // `settings` are the frame's active settings; `configDir` holds the port map; `factory`
    // makes the serial devices (the termios device when empty).
    Session(IPlatform& platform, Settings& settings, const std::string& configDir,
            CommPort::DeviceFactory factory, Hooks hooks);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The hooks of another user of the session than the one that made it (marlo-cli's relay).
    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    // The stop request of a macro and the frame's closing flag, watched by the dialler's waits.
    void SetStopFlags(const std::atomic<bool>* autoCmdStop, const std::atomic<bool>* closing);
    // Where the lines, the dialler, the telnet connect and the connection trace: the trace file
    // unless told otherwise.
    void SetTrace(TraceSink sink);
    // A text to that trace.
    void Trace(int category, const std::string& text) const;

    CommPort& Comm() { return *comm_; }
    const CommPort& Comm() const { return *comm_; }
    Connection& Conn() { return *connection_; }
    const Connection& Conn() const { return *connection_; }
    Dialler& Dial() { return *dialler_; }
    TelnetConnect& TelnetConnector() { return *telnetConnect_; }
    TelnetLine& Telnet() { return *telnet_; }
    StringWait& Wait() { return wait_; }
    // The host entry of the last host connect.
    const HostEntry& ConnectedHost() const { return connectedHost_; }

    // --- the line (any thread unless noted) ---
    // A line the caller opened itself (marlo-cli's standard streams): the session reads and
    // writes it instead of its own from now on. It must outlive the session's use.
    void AttachLine(ILineIo* line) { attached_ = line; }
    // A serial device the caller opened and configured itself becomes the session's port (see
    // CommPort::AdoptDevice).
    bool AdoptSerial(std::unique_ptr<ISerialDevice> dev, bool events, const std::string& path) {
        return comm_->AdoptDevice(std::move(dev), events, path);
    }
    // The line as the transfer engines and the macro language use it (null when closed).
    ILineIo* ActiveLine();
    // A line to read and write is there: the serial port, or the telnet connection in telnet mode.
    bool LineOpen() const;
    // Up to `max` received bytes; waits at most `timeoutMs` for the first one.
    int ReadLineData(uint8_t* buf, int max, int timeoutMs = 0);
    bool WriteRaw(const uint8_t* buf, size_t n);
    // Shift-JIS text converted to the send code; one lock covers the conversion and the write so
    // that the keyboard, a transfer and a macro never interleave bytes or share the kanji state.
    bool WriteConverted(const uint8_t* buf, size_t n);
    bool WriteConverted(const std::string& sjis) override {
        return WriteConverted(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size());
    }
    // UTF-8 characters that Shift-JIS cannot hold, under the same lock: as they are when the send
    // code is UTF-8, else a geta mark each.
    bool WriteUnheld(const std::string& utf8);
    // The send side leaves kanji mode (settings applied, host connected).
    void ClearSendKanjiMode();
    void SendBreak();
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    bool PortOpen() const override;
    // Reads CTS, DSR and the carrier; true when the carrier is present.
    bool UpdateCarrier();
    // The status bar's lamps: the control lines of the serial port (none in telnet mode) and the
    // activity since the last tick.
    unsigned LampBits() const;

    // --- the connection (user-interface thread) ---
    // Opens the configured serial port at start-up (`Port` not 0). False: start-up ends.
    bool OpenConfiguredPort();
    // Telnet: the dialog's OK, or a target of the caller's.
    void ConnectTelnet(const std::string& host, int port);
    void ConnectTelnetHost(const TelnetTarget& target);
    // Telephone: the connect dialog's plan. False when nothing was dialled.
    bool ConnectPhone(const DialPlan& plan, const std::string& initCommand);
    // Whether a host entry may be connected now; says why not.
    bool ReadyForHost(const HostEntry& entry);
    // The entry's line part: the telnet host reached, or the modem dialled on the open port
    // with the (already applied) line parameters, with a history record and the entry's log.
    bool ConnectHost(const HostEntry& entry);
    void HangUp();
    // Whether a hang-up drops DTR instead of sending "+++" and "ATH0": by the `Disconnect`
    // setting, and always on a direct line (no dial of ours and no modem initialisation), which
    // hears nothing Hayes-like from this program.
    bool HangUpByDtr() const;
    // At the close: ends a connection (asking before a serial one is dropped). False: the close
    // is abandoned.
    bool EndForShutdown();
    // Closes the socket and the serial port.
    void CloseLines();
    // Timer 3: the dial seconds; the lamps are shown and the activity starts a new half second.
    void OnTick();

    // --- received data and line events (user-interface thread) ---
    // WM_COMMNOTIFY, WM_TELNET_RESOLVED and WM_TELNET_RETRY; false for any other event.
    bool OnEvent(const Event& e);
    void OnCommNotify(LineEvent what);
    // One block of received bytes to the receivers (the hook, then a running dial).
    void Deliver(const uint8_t* buf, size_t n);
    // --- a serial device that goes away (user-interface thread) ---
    // The serial port's device has gone (an adapter unplugged, a pty whose other end closed).
    bool SerialGone() const;
    // Shows what the device still had, ends the connection, closes the port and says
    // "回線が切断されました" in the status bar; with `AutoReconnect`, watches for the device to
    // come back under CommPort::ReturnPath and opens it again with the parameters of the
    // settings, saying "回線を再接続しました". True while it waits for the device.
    bool OnSerialGone();
    bool AwaitingDevice() const { return returnWatch_->Active(); }
    // The folder the return watch looks at now (tests).
    const DeviceReturnWatch& ReturnWatch() const { return *returnWatch_; }

    // While a transfer runs or the environment sheet is open, the session does not read the line.
    void SetReadPaused(bool paused);
    bool ReadPaused() const { return readPaused_; }

  private:
    // A telnet connection in xterm mode tells the server its terminal type and window size.
    void AnnounceTerminal();
    void ReceiveAll();
    bool ReopenSerial();
    void WriteHistory();
    void Lamps();

    IPlatform& platform_;
    Settings& settings_;
    Hooks hooks_;
    TraceSink trace_;
    PortMap portMap_;
    std::unique_ptr<CommPort> comm_;
    std::unique_ptr<TelnetLine> telnet_;
    StringWait wait_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Dialler> dialler_;
    std::unique_ptr<TelnetConnect> telnetConnect_;
    std::unique_ptr<DeviceReturnWatch> returnWatch_;
    HostEntry connectedHost_;
    ILineIo* attached_ = nullptr;
    const std::atomic<bool>* closing_ = nullptr;

    std::mutex writeMutex_;
    KanjiEncoder encoder_;
    uint8_t receiveBuffer_[4096];
    bool inReceive_ = false;
    std::atomic<bool> readPaused_{false};
    std::atomic<unsigned> activity_{0};  // SD and RD since the last tick
};

}  // namespace marlo
