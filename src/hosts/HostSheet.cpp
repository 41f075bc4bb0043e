#include "hosts/HostSheet.h"

#include <cstdio>

#include "hosts/HostTable.h"

namespace marlo {

namespace {

constexpr int32_t kSpeeds[] = {300,   1200,  2400,  4800,   9600,   14400, 19200,
                               38400, 56000, 57600, 115200, 128000, 256000};

// Characters as the edit boxes count them: a double-byte character is one.
size_t CharCount(const std::string& s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++i, ++n) {
        const auto b = static_cast<uint8_t>(s[i]);
        if (((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && i + 1 < s.size()) ++i;
    }
    return n;
}

std::string RangeMessage(const char* label, int lo, int hi) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s: %dから%dまでの整数を入力してください．", label, lo, hi);
    return buf;
}

std::string LengthMessage(const char* label, size_t max) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%sは%zu文字までです．", label, max);
    return buf;
}

bool In(int32_t v, int32_t lo, int32_t hi) {
    return v >= lo && v <= hi;
}

}  // namespace

HostSheetControls SheetControls(const HostEntry& e) {
    HostSheetControls c;
    c.telnet = e.IsTelnet();
    c.telephone = !c.telnet;
    c.outsideLine = c.telephone && e.Internal != 0;
    c.redialCount = e.Infinite == 0;
    c.macroCheck = e.Logon == 0;
    c.logonCheck = e.Macro == 0;
    c.macroFile = e.Macro != 0;
    c.logonPattern = e.Logon != 0;
    return c;
}

void TickMacro(HostEntry& e, bool on) {
    e.Macro = on ? 1 : 0;
    if (on) e.Logon = 0;
}

void TickLogon(HostEntry& e, bool on) {
    e.Logon = on ? 1 : 0;
    if (on) e.Macro = 0;
}

std::string HostIconLabel(int icon) {
    return std::string(icon < kHostIconCount / 2 ? "ﾓﾃﾞﾑ直結" : "Telnet") + "用";
}

bool IsOfferedSpeed(int32_t speed) {
    for (int32_t s : kSpeeds)
        if (s == speed) return true;
    return false;
}

std::optional<std::string> CheckHostSheet(const HostEntry& e) {
    if (auto bad = CheckHostName(e.Name)) return bad;
    if (!In(e.Bitmap, 0, kHostIconCount - 1)) return RangeMessage("ｱｲｺﾝ", 0, kHostIconCount - 1);
    if (!In(e.Line, 0, 1)) return RangeMessage("回線", 0, 1);
    if (!In(e.Long, 0, kDistanceBandCount - 1))
        return RangeMessage("距離", 0, kDistanceBandCount - 1);
    if (e.Infinite == 0 && !In(e.RedialNum, 0, kMaxRedialField))
        return RangeMessage("回数", 0, kMaxRedialField);
    if (!In(e.Interval, 0, kMaxRedialField)) return RangeMessage("間隔", 0, kMaxRedialField);
    if (e.IsTelnet() && !In(e.TelnetPort, 1, 65535)) return RangeMessage("ﾎﾟｰﾄ", 1, 65535);
    if (CharCount(e.AutoCommand) > kMaxAutoCommandChars)
        return LengthMessage("ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ", kMaxAutoCommandChars);
    if (CharCount(e.ID) > kMaxIdChars) return LengthMessage("ﾕｰｻﾞID", kMaxIdChars);
    if (CharCount(e.Password) > kMaxPasswordChars)
        return LengthMessage("ﾊﾟｽﾜｰﾄﾞ", kMaxPasswordChars);
    if (!IsOfferedSpeed(e.Speed)) return std::string("通信速度が正しくありません．");
    if (!In(e.DataLen, 7, 8)) return RangeMessage("ﾃﾞｰﾀ長", 7, 8);
    if (!In(e.StopBit, 0, 2)) return RangeMessage("ｽﾄｯﾌﾟﾋﾞｯﾄ", 0, 2);
    if (!In(e.Parity, 0, 3)) return RangeMessage("ﾊﾟﾘﾃｨ", 0, 3);
    if (!In(e.Flow, 0, 2)) return RangeMessage("ﾌﾛｰ制御", 0, 2);
    if (!In(e.Emulation, 0, 3)) return RangeMessage("ｴﾐｭﾚｰｼｮﾝ", 0, 3);
    if (!In(e.CodeExchange, 0, 5) || !In(e.CodeExchange2, 0, 5))
        return RangeMessage("漢字ｺｰﾄﾞ", 0, 5);
    if (!In(e.FileNameCode, 0, 1)) return RangeMessage("送信ﾌｧｲﾙ名の漢字ｺｰﾄﾞ", 0, 1);
    if (!In(e.BreakTime, 0, 60000)) return RangeMessage("ﾌﾞﾚｰｸ時間", 0, 60000);
    if (!In(e.ReadSize, 1, 4096)) return RangeMessage("読み込みｻｲｽﾞ", 1, 4096);
    if (e.LogHead.size() > kMaxLogHeadBytes)
        return LengthMessage("ﾛｸﾞﾌｧｲﾙ先頭の文字", kMaxLogHeadBytes);
    if (e.PortPath.size() > kMaxPortPathBytes) return LengthMessage("ﾃﾞﾊﾞｲｽ", kMaxPortPathBytes);
    return std::nullopt;
}

}  // namespace marlo
