// The rules of the communication settings sheet "通信条件の設定" (command 327), without any window:
// its values, the display texts of the line parameters, what it refuses, and what applying it does
// to a running line. The Qt sheet shows `values`, calls Validate and Apply; the frame implements
// ICommLineControl.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "line/LineIo.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace marlo {

constexpr int kCommSettingsCommand = 327;

// The line parameters that have display texts (with the transfers' file-name code). Texts are
// UTF-8.
enum class LineParam {
    Port,
    Speed,
    DataLen,
    StopBit,
    Parity,
    Flow,
    Emulation,
    KanjiCode,
    FileNameCode,
    TimeStamp  // the `TimeStamp` forms: none, time of day, time since the connection
};

struct ParamChoice {
    std::string text;
    int value;
};

// The texts in list order with their values. For Port: "COM1".."COM5" and "ﾓﾃﾞﾑなし" (= 0); the
// sheet offers only the ports that can be opened (PortChoices).
const std::vector<ParamChoice>& ParamChoices(LineParam p);
// The port list of the sheet: "COM%d" for each openable port 1..5 in order, then "ﾓﾃﾞﾑなし".
std::vector<ParamChoice> PortChoices(const std::vector<int>& openablePorts);
// Text to value; -1 for an unknown text. Any "COM<n>" with n >= 1 names port n.
int ParamFromText(LineParam p, const std::string& text);
// Value to text: returns the value and sets `text`, or returns -1 and leaves `text` unchanged.
int ParamToText(LineParam p, int value, std::string& text);

// The values the sheet edits.
struct CommSheetValues {
    int Port = 1, Speed = 2400, DataLen = 8, StopBit = 0, Parity = 0, Flow = 2;
    int Emulation = 0, BreakTime = 500, ReadSize = 80, CodeExchange = 0, CodeExchange2 = 0;
    int DtrPulseTime = 100, TimeStamp = 0, AutoReconnect = 0;
    // The terminal switches, in the order of their labels.
    int RcvCRLF = 0, RcvLFCR = 0, SndCRLF = 0, BS2Byte = 1, BSDel = 1, AutoMargin = 1;
    int LocalEcho = 0, AutoBplus = 1, AutoZMODEM = 1, FKLocal = 1, SISO = 0;
    int Disconnect = 1;
    std::string ModemInit1, ModemInit2;  // Shift-JIS
    int ModemInit = 0, Unlha = 1, SevenToEight = 1, FileNameCode = 0;
    int TxSendTab = 1, TxSendTabNum = 8, TxSendCRLF = 1, TxSendSync = 0, TxSendMaxCol = 78;

    static CommSheetValues From(const Settings& s);
};

// What the frame does to the serial line for the sheet.
class ICommLineControl {
  public:
    virtual ~ICommLineControl() = default;
    // The comm-active flag: a serial port is open.
    virtual bool PortOpen() const = 0;
    // Keeps the open port's control block as it is now (called when the sheet opens).
    virtual void SaveControlBlock() = 0;
    // Puts the kept control block back on the open port.
    virtual void RestoreControlBlock() = 0;
    // CloseCommPort; false when the device could not be closed.
    virtual bool ClosePort() = 0;
    // OpenCommPort with startup 0 (which may show messages and let the user choose another port);
    // the number of the port actually opened, or nullopt.
    virtual std::optional<int> OpenPort(int port) = 0;
    // Builds a control block from the device's current one with these values (as the open does)
    // and applies it; false when the device refuses it.
    virtual bool ApplyLineParams(const LineParams& p) = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    virtual void UpdateModemStatus() = 0;
    virtual void Pause(int ms) = 0;
    virtual void ClearSendKanjiMode() = 0;
    // A changed emulation resets the terminal.
    virtual void ResetTerminal() = 0;
    virtual void ShowMessage(const std::string& utf8, MsgIcon icon) = 0;
};

struct CommApplyResult {
    bool lineApplied = false;  // false: the line and terminal values were left as they were
    bool emulationChanged = false;
};

class CommSettingsModel {
  public:
    // Takes the current values and keeps the open port's control block for a rollback.
    CommSettingsModel(const Settings& s, ICommLineControl& line);

    CommSheetValues values;  // what the sheet edits
    const CommSheetValues& original() const { return original_; }

    // The first value the sheet must not accept, as a message for the user; nullopt when all are
    // acceptable.
    std::optional<std::string> Validate() const;

    // Applies the sheet to the settings and the running line: a port change closes and opens
    // ports (rolling back to the old port when the new one fails), new line parameters are put on
    // the open port (rolling back when refused), then the terminal values are stored. The modem
    // and text-send values are stored in any case.
    CommApplyResult Apply(Settings& s);

  private:
    bool RollBack(int oldPort, bool wasOpen);

    ICommLineControl& line_;
    CommSheetValues original_;
};

}  // namespace marlo
