// The rules of the host property sheet ("ﾎｽﾄの設定"): which controls are enabled for an entry, the
// exclusive logon choices, the icon labels, and the values the sheet refuses, with its messages.
// The Qt pages only show and forward; the decisions are here.
#pragma once

#include <optional>
#include <string>

#include "hosts/HostEntry.h"

namespace marlo {

inline constexpr const char* kHostSheetTitle = "ﾎｽﾄの設定";
inline constexpr size_t kMaxAutoCommandChars = 200;
inline constexpr size_t kMaxIdChars = 100;
inline constexpr size_t kMaxPasswordChars = 100;
inline constexpr size_t kMaxLogHeadBytes = 2;
inline constexpr size_t kMaxPortPathBytes = 259;
inline constexpr int32_t kMaxRedialField = 999;  // count and interval: three digits

// Which controls of the pages can be used for the entry as it stands.
struct HostSheetControls {
    bool telephone = true;    // tone/pulse, extension, numbers, distance band, modem command
    bool outsideLine = true;  // the outside-line prefix: only for an extension
    bool telnet = false;      // telnet host name, its browse button, port
    bool redialCount = true;  // disabled by "接続するまで接続をかける."
    bool macroCheck = true;  // "ﾏｸﾛ" and "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ" exclude each other
    bool logonCheck = true;
    bool macroFile = false;  // the file field only while "ﾏｸﾛ" is ticked
    bool logonPattern = false;
};
HostSheetControls SheetControls(const HostEntry& e);

// Ticking one logon choice clears the other.
void TickMacro(HostEntry& e, bool on);
void TickLogon(HostEntry& e, bool on);

// The label of icon 0..13: "ﾓﾃﾞﾑ直結用" for the first seven, "Telnet用" for the others (UTF-8).
std::string HostIconLabel(int icon);

// The speeds the line page offers.
bool IsOfferedSpeed(int32_t speed);

// Checks the sheet's values on OK: nullopt when they are accepted, else the message that names the
// first refused value (UTF-8). The duplicate-name test is the host window's (SettleHostName).
std::optional<std::string> CheckHostSheet(const HostEntry& e);

}  // namespace marlo
