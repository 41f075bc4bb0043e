// The active settings: every stored value under its value name, with its default. The main frame
// owns one; connecting a host entry overwrites some of them for the connection. Texts are
// Shift-JIS.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/LineSettings.h"

namespace marlo {

// The line fields (Port .. SI/SO) come from LineSettings and are stored at its place in the order.
struct Settings : LineSettings {
    // Directory defaults are filled from the data folder when the settings are created.
    explicit Settings(const std::string& dataDir = "");

    int32_t Version = 0;
    std::array<int32_t, 4> Window{0, 0, 0, 0};  // top, left, bottom, right
    int32_t TextColor = 0;
    std::array<int32_t, 16> TextColorCust{};
    int32_t BackColor = 16777215;
    std::array<int32_t, 32> VT100Color{};
    std::array<int32_t, 16> BackColorCust{};
    std::string lfFaceName;
    int32_t lfHeight = 18;
    int32_t lfWidth = 18;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = 400;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 1;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    int32_t LineColFix = 0;
    std::array<int32_t, 2> LineColumn{80, 24};  // columns, rows
    int32_t Blink = 1;
    int32_t SameSysColor = 0;
    int32_t ToolBar = 1;
    int32_t ToolBar2 = 0;
    int32_t ToolBar3 = 0;
    int32_t ToolSize = 0;
    int32_t FuncBarSize = 40;
    int32_t ToolNum = 17;
    int32_t ToolNum2 = 14;
    int32_t ToolNum3 = 0;
    std::array<int32_t, 100> ToolTable{};
    std::array<int32_t, 100> ToolTable2{};
    std::array<int32_t, 100> ToolTable3{};
    int32_t StatusBar = 1;
    int32_t FunctionBar = 0;
    int32_t BufferSize = 1000;
    int32_t ClearUp = 1;
    int32_t ScrollSpeed = 1;
    int32_t ScrollLine = 3;
    int32_t LogSaveForm = 1;
    std::array<int32_t, 25> ShowStatusBar{1, 2, 3, 0};
    int32_t ShowStatusBarCount = 4;
    int32_t LogDefault = 1;
    int32_t LogRemoveEsc = 1;
    int32_t LogIniBegin = 0;
    int32_t Disconnect = 1;
    std::string Editor = "notepad.exe";
    std::string Quote;  // "≫" in Shift-JIS
    std::string Caret;  // "■" in Shift-JIS
    std::string LogDefPath;
    std::string DownlodDefPath;
    std::string UploadDefPath;
    std::string TxsendDefPath;
    std::string TxrecvDefPath;
    std::string MacroDefPath;
    std::string HistoryDefPath;
    std::string ModemInit1 = "ATZ";
    std::string ModemInit2;
    int32_t ModemInit = 0;
    int32_t Unlha = 1;
    int32_t SevenToEight = 1;  // stored as "7to8"
    // The code of the file names a transfer sends: 0 Shift-JIS (the BBS hosts), 1 UTF-8 (a Linux
    // host). Received names are read in either.
    int32_t FileNameCode = 0;
    // How long the DTR pulse of the line menu holds DTR over, in ms.
    int32_t DtrPulseTime = 100;
    // Received lines stamped in the capture log: 0 no, 1 the time of day, 2 the time since the
    // connection (TimeStampForm).
    int32_t TimeStamp = 0;
    // A serial device that went away (an adapter unplugged) is opened again as soon as it is back.
    int32_t AutoReconnect = 0;
    int32_t HostTableWidth = 450;
    int32_t HostTableHeight = 300;
    int32_t HostTableStyle = 0;
    int32_t TxSendTab = 1;
    int32_t TxSendTabNum = 8;
    int32_t TxSendCRLF = 1;
    int32_t TxSendSync = 0;
    int32_t TxSendMaxCol = 78;
    std::array<std::string, 7> AppTitle;
    std::array<std::string, 7> AppCommand;
    std::array<std::string, 12> UserKey;
    std::array<std::string, 12> UserKeyF;  // function-bar labels
    std::array<int32_t, 12> UserKeyK{};
    int32_t HostselectOnBegin = 0;
    int32_t SaveOnEnd = 1;
    int32_t BufferClearOnEnd = 1;

    // Sub-key "LogViewer"
    std::array<std::string, 3> LogViewer{"notepad.exe", "", ""};
    // Sub-key "Sound": start-up, exit, connect, disconnect, transfer end, transfer abort, BEL.
    std::array<std::string, 7> WaveFile;
    // Sub-key "Telnet"
    std::array<std::string, 5> TelnetHost;
    // Sub-key "Trace"
    int32_t TracePos = 0;
    std::string TraceFile;

    // Values clamped where they are used as sizes, counts or indexes.
    int BufferLines() const;       // BufferSize, at least 30, at most 200000
    int ScreenRows() const;        // LineColumn rows, 1..BufferLines
    int ScreenColumns() const;     // LineColumn columns, 1..80
    int ToolCount(int bar) const;  // ToolNum, ToolNum2, ToolNum3 of bar 1..3, each 0..100
    int StatusItemCount() const;   // ShowStatusBarCount, 0..the size of ShowStatusBar
    // Lines dropped at once when the buffer is full: BufferLines x ClearUp (0..100) / 100, at
    // least one and fewer than BufferLines.
    int ClearUpLines() const;
};

}  // namespace marlo
