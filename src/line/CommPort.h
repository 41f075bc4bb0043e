// The frame's serial-port operations with their messages and dialogs: opening a port (busy or
// failed message, the port choice dialog with retry, the parameter warning at start-up), closing
// it, the port toggle command, break, control lines, modem status and lamps, and applying new
// communication settings to a running line with the way back to the old port and parameters.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "line/PortMap.h"
#include "line/PortNames.h"
#include "line/SerialDevice.h"
#include "line/SerialLine.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace marlo {

class CommPort {
  public:
    using DeviceFactory = std::function<std::unique_ptr<ISerialDevice>()>;
    using TraceFn = SerialLine::TraceFn;

    enum class OpenResult { Failed = 0, NoModem = 1, Opened = 2 };

    // The port toggle command; enabled while `Port` is not 0, checked while the port is open.
    static constexpr int kPortToggleCommand = 10026;

    // `factory` makes the devices (TermiosDevice when empty).
    CommPort(IPlatform& platform, Settings& settings, PortMap& ports, DeviceFactory factory = {});
    ~CommPort();
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    // The frame's synchronous WM_COMMNOTIFY (wParam 0 data, 1 line status), called on the event
    // thread; it should return without waiting further once Line()->Closing() is true.
    void SetNotify(SerialLine::NotifyFn notify) { notify_ = std::move(notify); }
    void SetTrace(TraceFn trace) { trace_ = std::move(trace); }
    // Every change of the lamp bits (DTR 1 .. RD 64); called from the thread that caused it.
    void SetLampsCallback(SerialLine::LampsFn lamps) { lampsFn_ = std::move(lamps); }
    // Where FindSerialDevices and the port names look (tests).
    void SetDeviceFolder(std::filesystem::path dir, std::filesystem::path sysDir = "/sys") {
        devDir_ = std::move(dir);
        namer_ = PortNamer(devDir_, std::move(sysDir));
    }
    // What the system tells of the device at `path` (the USB maker, product, serial number).
    PortDescription Describe(const std::string& path) const { return namer_.Describe(path); }

    // Opens and configures the port `name` ("COMn", a device path, or "ﾓﾃﾞﾑなし"). On failure the
    // user may choose another port, which then replaces `name`. `startup` turns refused
    // parameters into a warning that keeps the port open.
    OpenResult OpenCommPort(std::string& name, bool startup);
    // Takes a device the caller opened and configured itself (a device named on marlo-cli's
    // command line) as the open port, raising DTR and RTS. `events`: a thread watches it and
    // notifies as for a port opened here; without, the caller reads it when it likes. `path` is
    // where it was opened (kept for Reopen).
    bool AdoptDevice(std::unique_ptr<ISerialDevice> dev, bool events, const std::string& path = {});
    // The name under which the device of the last open port comes back after it went away: the
    // path it was opened by when that is a link (a by-id name, or any name udev makes), else its
    // by-id link, else the device path. "" when no port was opened by a path.
    const std::string& ReturnPath() const { return returnPath_; }
    // Opens the last port again on ReturnPath, with the parameters of the settings and watched as
    // before; quietly (no message, no choice of port). False when it cannot be opened yet.
    bool Reopen();
    // Drops RTS and DTR, purges, closes the device and stops the event thread.
    bool CloseCommPort();
    bool CommActive() const { return line_ != nullptr; }
    // The open line, or null.
    SerialLine* Line() { return line_.get(); }

    // Reads CTS, DSR and carrier into the lamps; true when the carrier is present. With `Port`
    // 0 (or the port closed) every line flag is cleared.
    bool UpdateModemStatus();
    void SetDtr(bool on);
    void SetRts(bool on);
    // Holds the break for `BreakTime` ms, showing "ﾌﾞﾚｰｸ信号を送信しました" meanwhile.
    void SendBreak();
    // The same for `ms`, ending early when `stop` is set (a macro's break).
    void SendBreak(int ms, const std::atomic<bool>* stop);
    // The control lines as the user sets them from the menu (a port without modem lines keeps
    // the flags only).
    bool Dtr() const { return lamps_ & kLampDtr; }
    bool Rts() const { return lamps_ & kLampRts; }
    void ToggleDtr() { SetDtr(!Dtr()); }
    void ToggleRts() { SetRts(!Rts()); }
    // Turns DTR over for `DtrPulseTime` ms and back (many boards reset on it), showing
    // "DTRﾊﾟﾙｽを送信しました" meanwhile. False when the port is closed or a pulse is under way.
    bool PulseDtr();
    bool PulseDtr(int ms, const std::atomic<bool>* stop);
    bool Pulsing() const { return pulsing_; }
    unsigned Lamps() const { return lamps_; }
    void ClearActivity();

    // Command 10026.
    void TogglePort();
    bool ToggleEnabled() const { return settings_.Port != 0; }
    bool ToggleChecked() const { return CommActive(); }

    // The port list of the choice dialog and the settings pages: the serial devices and mapped
    // paths that can be opened now, then "ﾓﾃﾞﾑなし".
    std::vector<std::string> AvailablePorts();
    // "COM%d" of `Port`, or "ﾓﾃﾞﾑなし".
    std::string CurrentPortName() const;
    // The device path of the open port, or "".
    std::string OpenPath() const;
    // The `Port` number a name stands for (appending a new path to the map).
    int PortNumberOf(const std::string& name) { return ports_.NumberOfName(name); }

    // The parameters of the settings (`Speed`, `DataLen`, `StopBit`, `Parity`, `Flow`).
    LineParams SettingsParams() const;

  private:
    std::unique_ptr<ISerialDevice> MakeDevice();
    std::optional<std::string> ChoosePort(const std::string& preset);
    void Trace(const std::string& text);
    void OnLamps(unsigned lamps);
    void Pause(int ms, const std::atomic<bool>* stop = nullptr);

    IPlatform& platform_;
    Settings& settings_;
    PortMap& ports_;
    DeviceFactory factory_;
    std::filesystem::path devDir_ = "/dev";
    PortNamer namer_;
    std::unique_ptr<SerialLine> line_;
    std::string returnPath_;
    bool events_ = true;  // the open port has an event thread
    SerialLine::NotifyFn notify_;
    TraceFn trace_;
    SerialLine::LampsFn lampsFn_;
    std::atomic<unsigned> lamps_{0};
    bool pulsing_ = false;
};

}  // namespace marlo
