// One host of the host table (the phone book): how to reach it, its line and terminal settings, its
// capture-log options and its logon data. Texts are Shift-JIS; `Password` is the plain password
// (it is scrambled only where it is stored).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "settings/LineSettings.h"

namespace marlo {

// The line fields (Port .. SI/SO) come from LineSettings and are stored after TelForm.
struct HostEntry : LineSettings {
    // The values a newly added entry gets; LoadDefaults() gives what a missing stored value yields.
    std::string Name;  // at most kMaxHostNameBytes bytes, unique in the table
    int32_t Bitmap = 0;
    int32_t Line = 0;  // 0 modem or direct serial line, 1 telnet
    std::string TelNum1;
    std::string TelNum2;
    int32_t RedialNum = 10;
    int32_t Interval = 5;
    int32_t Long = 0;  // distance band 0..6
    std::string TelnetHost;
    int32_t TelnetPort = 23;
    int32_t Infinite = 1;
    std::string ModemIniCommand = "ATE1Q0V1X3";
    std::string AutoCommand;
    std::string MacroFile;
    std::string ID;
    std::string Password;
    int32_t Internal = 0;
    int32_t Macro = 0;
    int32_t Logon = 0;
    std::string External = "0,";
    int32_t TelForm = 1;
    int32_t FileNameCode = 0;  // the code of the file names a transfer sends (Settings)
    int32_t Log = 0;
    std::string LogHead = "LG";
    // The serial device of a modem or direct entry, "" for the port already open. A
    // /dev/serial/by-id path finds the same adapter whatever tty number it has today.
    std::string PortPath;

    // An entry as the load builds it before reading the stored values.
    static HostEntry LoadDefaults();

    bool IsTelnet() const { return Line == 1; }
    bool operator==(const HostEntry&) const = default;
};

inline constexpr size_t kMaxHostNameBytes = 30;
inline constexpr int kHostIconCount = 14;
inline constexpr int kDistanceBandCount = 7;

// The stored values of an entry, in their stored order, each with its stored value name. `number`
// or `text` is set; the visitor may read or write through the pointer.
struct HostField {
    const char* name;
    int32_t* number;
    std::string* text;
};
std::vector<HostField> HostFields(HostEntry& e);

struct Settings;

// What connecting an entry asks of the frame beyond the settings ApplyHostEntry has changed.
struct HostApplyActions {
    // Reach TelnetHost:TelnetPort (the telnet mode flag); otherwise initialise the modem with
    // ModemIniCommand and dial, after setting the line parameters on the open port.
    bool telnet = false;
    // A VT emulation: the terminal's pending state is cleared and the view starts afresh.
    bool resetTerminal = false;
    // Always: the tab stops go back to every eighth column and the send side leaves kanji mode.
    bool resetTabStops = true;
    bool clearSendKanjiMode = true;
    // The entry asks for a capture log: an open one is closed and one is started with this prefix.
    bool startLog = false;
    std::string logPrefix;
};

// Copies the entry's line parameters, emulation, kanji codes, terminal switches and file-name code
// over the active settings. `Port` is left alone (the line stays on the port already open). With
// the entry's log option on, LogSaveForm and LogDefault become 1 so that the log appends to the
// automatic name. The entry itself (numbers, telnet host, logon data) is kept by the caller as the
// connected host.
HostApplyActions ApplyHostEntry(const HostEntry& e, Settings& s);

// The display texts of the distance bands 0..6 (Shift-JIS).
const std::vector<std::string>& DistanceBandTexts();

}  // namespace marlo
