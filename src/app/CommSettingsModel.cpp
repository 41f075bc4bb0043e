#include "app/CommSettingsModel.h"

#include <cstdio>

namespace marlo {

namespace {

constexpr const char* kNoModem = "ﾓﾃﾞﾑなし";

// The sheet's own messages.
constexpr const char* kMsgCannotChangeDevice = "通信デバイスを変更できません.";
constexpr const char* kMsgPortOpenFailed = "通信ポートのオープンに失敗しました.";
constexpr const char* kMsgParamsRefused = "通信パラメータの設定に失敗しました.";

std::string PortName(int n) {
    return n == 0 ? kNoModem : "COM" + std::to_string(n);
}

}  // namespace

const std::vector<ParamChoice>& ParamChoices(LineParam p) {
    static const std::vector<ParamChoice> port = [] {
        std::vector<ParamChoice> v;
        for (int n = 1; n <= 5; ++n) v.push_back({PortName(n), n});
        v.push_back({kNoModem, 0});
        return v;
    }();
    static const std::vector<ParamChoice> speed = [] {
        std::vector<ParamChoice> v;
        for (int bps : {300, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
                        128000, 256000})
            v.push_back({std::to_string(bps) + "bps", bps});
        return v;
    }();
    static const std::vector<ParamChoice> dataLen = {{"7bit", 7}, {"8bit", 8}};
    static const std::vector<ParamChoice> stopBit = {{"1bit", 0}, {"1.5bit", 1}, {"2bit", 2}};
    static const std::vector<ParamChoice> parity = {
        {"なし", 0}, {"Even(偶数)", 2}, {"Odd(奇数)", 1}, {"ﾏｰｸ", 3}};
    static const std::vector<ParamChoice> flow = {{"なし", 0}, {"XON/XOFF", 1}, {"ﾊｰﾄﾞｳｪｱ", 2}};
    static const std::vector<ParamChoice> emulation = {
        {"ﾀﾞﾑ端末", 0}, {"VT100", 1}, {"VT52", 2}, {"xterm", 3}};
    static const std::vector<ParamChoice> kanji = {
        {"Shift-JIS", 0}, {"旧JIS", 1}, {"新JIS", 2}, {"NEC漢字", 3}, {"EUC", 4}, {"UTF-8", 5}};
    static const std::vector<ParamChoice> fileNameCode = {{"Shift-JIS", 0}, {"UTF-8", 1}};
    static const std::vector<ParamChoice> timeStamp = {
        {"なし", 0}, {"時刻", 1}, {"接続からの時間", 2}};
    switch (p) {
        case LineParam::Port:
            return port;
        case LineParam::Speed:
            return speed;
        case LineParam::DataLen:
            return dataLen;
        case LineParam::StopBit:
            return stopBit;
        case LineParam::Parity:
            return parity;
        case LineParam::Flow:
            return flow;
        case LineParam::Emulation:
            return emulation;
        case LineParam::FileNameCode:
            return fileNameCode;
        case LineParam::TimeStamp:
            return timeStamp;
        case LineParam::KanjiCode:
            break;
    }
    return kanji;
}

std::vector<ParamChoice> PortChoices(const std::vector<int>& openablePorts) {
    std::vector<ParamChoice> v;
    for (int n = 1; n <= 5; ++n)
        for (int p : openablePorts)
            if (p == n) {
                v.push_back({PortName(n), n});
                break;
            }
    v.push_back({kNoModem, 0});
    return v;
}

int ParamFromText(LineParam p, const std::string& text) {
    if (p == LineParam::Port && text.starts_with("COM") && text.size() > 3 && text.size() <= 8) {
        int n = 0;
        for (size_t i = 3; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            n = n * 10 + (text[i] - '0');
        }
        return n >= 1 ? n : -1;
    }
    for (const ParamChoice& c : ParamChoices(p))
        if (c.text == text) return c.value;
    return -1;
}

int ParamToText(LineParam p, int value, std::string& text) {
    if (p == LineParam::Port) {
        if (value < 0) return -1;
        text = PortName(value);
        return value;
    }
    for (const ParamChoice& c : ParamChoices(p)) {
        if (c.value == value) {
            text = c.text;
            return value;
        }
    }
    return -1;
}

CommSheetValues CommSheetValues::From(const Settings& s) {
    CommSheetValues v;
    v.Port = s.Port;
    v.Speed = s.Speed;
    v.DataLen = s.DataLen;
    v.StopBit = s.StopBit;
    v.Parity = s.Parity;
    v.Flow = s.Flow;
    v.Emulation = s.Emulation;
    v.BreakTime = s.BreakTime;
    v.DtrPulseTime = s.DtrPulseTime;
    v.TimeStamp = s.TimeStamp;
    v.AutoReconnect = s.AutoReconnect;
    v.ReadSize = s.ReadSize;
    v.CodeExchange = s.CodeExchange;
    v.CodeExchange2 = s.CodeExchange2;
    v.RcvCRLF = s.RcvCRLF;
    v.RcvLFCR = s.RcvLFCR;
    v.SndCRLF = s.SndCRLF;
    v.BS2Byte = s.BS2Byte;
    v.BSDel = s.BSDel;
    v.AutoMargin = s.AutoMargin;
    v.LocalEcho = s.LocalEcho;
    v.AutoBplus = s.AutoBplus;
    v.AutoZMODEM = s.AutoZMODEM;
    v.FKLocal = s.FKLocal;
    v.SISO = s.SISO;
    v.Disconnect = s.Disconnect;
    v.ModemInit1 = s.ModemInit1;
    v.ModemInit2 = s.ModemInit2;
    v.ModemInit = s.ModemInit;
    v.Unlha = s.Unlha;
    v.SevenToEight = s.SevenToEight;
    v.FileNameCode = s.FileNameCode;
    v.TxSendTab = s.TxSendTab;
    v.TxSendTabNum = s.TxSendTabNum;
    v.TxSendCRLF = s.TxSendCRLF;
    v.TxSendSync = s.TxSendSync;
    v.TxSendMaxCol = s.TxSendMaxCol;
    return v;
}

CommSettingsModel::CommSettingsModel(const Settings& s, ICommLineControl& line)
    : values(CommSheetValues::From(s)), line_(line), original_(values) {
    if (line_.PortOpen()) line_.SaveControlBlock();
}

std::optional<std::string> CommSettingsModel::Validate() const {
    const CommSheetValues& v = values;
    std::string unused;
    if (v.Port < 0) return "ﾎﾟｰﾄを選択してください.";
    const struct {
        LineParam p;
        int value;
        const char* what;
    } choices[] = {
        {LineParam::Speed, v.Speed, "通信速度"},
        {LineParam::DataLen, v.DataLen, "ﾃﾞｰﾀ長"},
        {LineParam::StopBit, v.StopBit, "ｽﾄｯﾌﾟﾋﾞｯﾄ"},
        {LineParam::Parity, v.Parity, "ﾊﾟﾘﾃｨ"},
        {LineParam::Flow, v.Flow, "ﾌﾛｰ制御"},
        {LineParam::Emulation, v.Emulation, "端末"},
        {LineParam::KanjiCode, v.CodeExchange, "受信時の漢字ｺｰﾄﾞ"},
        {LineParam::KanjiCode, v.CodeExchange2, "送信時の漢字ｺｰﾄﾞ"},
        {LineParam::FileNameCode, v.FileNameCode, "送信ﾌｧｲﾙ名の漢字ｺｰﾄﾞ"},
        {LineParam::TimeStamp, v.TimeStamp, "ﾀｲﾑｽﾀﾝﾌﾟ"},
    };
    for (const auto& c : choices)
        if (ParamToText(c.p, c.value, unused) < 0)
            return std::string(c.what) + "を選択してください.";
    // Bounds that keep the line alive: a read block must fit the receive buffer, a break holds
    // the window while it lasts, and the text send divides by the tab width.
    const struct {
        int value, low, high;
        const char* what;
    } ranges[] = {
        {v.ReadSize, 1, 4096, "受信ﾌﾞﾛｯｸｻｲｽﾞ"},
        {v.BreakTime, 1, 10000, "ﾌﾞﾚｰｸ時間"},
        {v.DtrPulseTime, 1, 10000, "DTRﾊﾟﾙｽ時間"},
        {v.TxSendTabNum, 1, 80, "ﾀﾌﾞ幅"},
        {v.TxSendMaxCol, 1, 255, "最大桁数"},
    };
    for (const auto& r : ranges) {
        if (r.value < r.low || r.value > r.high) {
            char text[160];
            std::snprintf(text, sizeof text, "%sは%dから%dの範囲で指定してください.", r.what, r.low,
                          r.high);
            return std::string(text);
        }
    }
    if (v.ModemInit1.size() > 259 || v.ModemInit2.size() > 259)
        return "ﾓﾃﾞﾑ初期化ｺﾏﾝﾄﾞは259ﾊﾞｲﾄまでです.";
    return std::nullopt;
}

bool CommSettingsModel::RollBack(int oldPort, bool wasOpen) {
    if (oldPort == 0 || !wasOpen) return false;
    std::optional<int> reopened = line_.OpenPort(oldPort);
    if (reopened) line_.RestoreControlBlock();
    line_.UpdateModemStatus();
    return reopened.has_value();
}

CommApplyResult CommSettingsModel::Apply(Settings& s) {
    const CommSheetValues& v = values;
    CommApplyResult result;

    // Values that do not concern the open line are taken as they are.
    s.Disconnect = v.Disconnect;
    s.DtrPulseTime = v.DtrPulseTime;
    s.TimeStamp = v.TimeStamp;
    s.AutoReconnect = v.AutoReconnect;
    s.ModemInit1 = v.ModemInit1;
    s.ModemInit2 = v.ModemInit2;
    s.ModemInit = v.ModemInit;
    s.Unlha = v.Unlha;
    s.SevenToEight = v.SevenToEight;
    s.FileNameCode = v.FileNameCode;
    s.TxSendTab = v.TxSendTab;
    s.TxSendTabNum = v.TxSendTabNum;
    s.TxSendCRLF = v.TxSendCRLF;
    s.TxSendSync = v.TxSendSync;
    s.TxSendMaxCol = v.TxSendMaxCol;

    const int oldPort = s.Port;
    const bool wasOpen = line_.PortOpen();
    int newPort = v.Port;
    if (newPort != oldPort) {
        if (newPort == 0) {
            if (wasOpen) line_.ClosePort();
        } else {
            if (oldPort != 0 && wasOpen) {
                if (!line_.ClosePort()) {
                    line_.ShowMessage(kMsgCannotChangeDevice, MsgIcon::Exclamation);
                    return result;
                }
                line_.Pause(100);
            }
            std::optional<int> opened = line_.OpenPort(newPort);
            if (!opened) {
                // From no modem, the open has told the user why; between ports say so here.
                if (oldPort != 0) line_.ShowMessage(kMsgPortOpenFailed, MsgIcon::Stop);
                RollBack(oldPort, wasOpen);
                return result;
            }
            newPort = *opened;
            line_.UpdateModemStatus();
        }
    }

    if (newPort != 0) {
        const LineParams params{v.Speed, v.DataLen, v.StopBit, v.Parity, v.Flow};
        if (line_.PortOpen()) {
            if (!line_.ApplyLineParams(params)) {
                line_.ShowMessage(kMsgParamsRefused, MsgIcon::Stop);
                line_.ClosePort();
                line_.Pause(100);
                if (!RollBack(oldPort, wasOpen)) line_.UpdateModemStatus();
                return result;
            }
            line_.SetDtr(true);
            line_.SetRts(true);
        }
        // A closed port takes them at its next open.
        s.Speed = v.Speed;
        s.DataLen = v.DataLen;
        s.StopBit = v.StopBit;
        s.Flow = v.Flow;
        s.Parity = v.Parity;
    }

    result.emulationChanged = s.Emulation != v.Emulation;
    s.Port = newPort;
    s.BreakTime = v.BreakTime;
    s.ReadSize = v.ReadSize;
    s.CodeExchange = v.CodeExchange;
    s.CodeExchange2 = v.CodeExchange2;
    s.Emulation = v.Emulation;
    s.RcvCRLF = v.RcvCRLF;
    s.RcvLFCR = v.RcvLFCR;
    s.SndCRLF = v.SndCRLF;
    s.BS2Byte = v.BS2Byte;
    s.BSDel = v.BSDel;
    s.AutoMargin = v.AutoMargin;
    s.LocalEcho = v.LocalEcho;
    s.AutoBplus = v.AutoBplus;
    s.AutoZMODEM = v.AutoZMODEM;
    s.FKLocal = v.FKLocal;
    s.SISO = v.SISO;
    line_.UpdateModemStatus();
    line_.ClearSendKanjiMode();
    if (result.emulationChanged) line_.ResetTerminal();
    result.lineApplied = true;
    return result;
}

}  // namespace marlo
