#include "hosts/HostEntry.h"

#include "settings/Settings.h"
#include "text/Encoding.h"

namespace marlo {

HostEntry HostEntry::LoadDefaults() {
    HostEntry e;
    e.RedialNum = 15;
    e.ModemIniCommand.clear();
    return e;
}

std::vector<HostField> HostFields(HostEntry& e) {
    return {
        {"Bitmap", &e.Bitmap, nullptr},
        {"Line", &e.Line, nullptr},
        {"TelNum1", nullptr, &e.TelNum1},
        {"TelNum2", nullptr, &e.TelNum2},
        {"RedialNum", &e.RedialNum, nullptr},
        {"Interval", &e.Interval, nullptr},
        {"Long", &e.Long, nullptr},
        {"TelnetHost", nullptr, &e.TelnetHost},
        {"TelnetPort", &e.TelnetPort, nullptr},
        {"Infinite", &e.Infinite, nullptr},
        {"ModemIniCommand", nullptr, &e.ModemIniCommand},
        {"AutoCommand", nullptr, &e.AutoCommand},
        {"MacroFile", nullptr, &e.MacroFile},
        {"ID", nullptr, &e.ID},
        {"Password", nullptr, &e.Password},
        {"Internal", &e.Internal, nullptr},
        {"Macro", &e.Macro, nullptr},
        {"Logon", &e.Logon, nullptr},
        {"External", nullptr, &e.External},
        {"TelForm", &e.TelForm, nullptr},
        {"Port", &e.Port, nullptr},
        {"Speed", &e.Speed, nullptr},
        {"DataLen", &e.DataLen, nullptr},
        {"StopBit", &e.StopBit, nullptr},
        {"Parity", &e.Parity, nullptr},
        {"Flow", &e.Flow, nullptr},
        {"Emulation", &e.Emulation, nullptr},
        {"BreakTime", &e.BreakTime, nullptr},
        {"ReadSize", &e.ReadSize, nullptr},
        {"CodeExchange", &e.CodeExchange, nullptr},
        {"CodeExchange2", &e.CodeExchange2, nullptr},
        {"RcvCRLF", &e.RcvCRLF, nullptr},
        {"RcvLFCR", &e.RcvLFCR, nullptr},
        {"SndCRLF", &e.SndCRLF, nullptr},
        {"BS2Byte", &e.BS2Byte, nullptr},
        {"BSDel", &e.BSDel, nullptr},
        {"AutoMargin", &e.AutoMargin, nullptr},
        {"LocalEcho", &e.LocalEcho, nullptr},
        {"AutoBplus", &e.AutoBplus, nullptr},
        {"AutoZMODEM", &e.AutoZMODEM, nullptr},
        {"FKLocal", &e.FKLocal, nullptr},
        {"SI/SO", &e.SISO, nullptr},
        {"FileNameCode", &e.FileNameCode, nullptr},
        {"Log", &e.Log, nullptr},
        {"LogHead", nullptr, &e.LogHead},
    };
}

HostApplyActions ApplyHostEntry(const HostEntry& e, Settings& s) {
    s.Speed = e.Speed;
    s.DataLen = e.DataLen;
    s.StopBit = e.StopBit;
    s.Parity = e.Parity;
    s.Flow = e.Flow;
    s.Emulation = e.Emulation;
    s.BreakTime = e.BreakTime;
    s.ReadSize = e.ReadSize;
    s.CodeExchange = e.CodeExchange;
    s.CodeExchange2 = e.CodeExchange2;
    s.RcvCRLF = e.RcvCRLF;
    s.RcvLFCR = e.RcvLFCR;
    s.SndCRLF = e.SndCRLF;
    s.BS2Byte = e.BS2Byte;
    s.BSDel = e.BSDel;
    s.AutoMargin = e.AutoMargin;
    s.LocalEcho = e.LocalEcho;
    s.AutoBplus = e.AutoBplus;
    s.AutoZMODEM = e.AutoZMODEM;
    s.FKLocal = e.FKLocal;
    s.SISO = e.SISO;
    s.FileNameCode = e.FileNameCode;

    HostApplyActions a;
    a.telnet = e.IsTelnet();
    a.resetTerminal = s.EmulationMode() != 0;
    if (e.Log) {
        s.LogSaveForm = 1;
        s.LogDefault = 1;
        a.startLog = true;
        a.logPrefix = e.LogHead;
    }
    return a;
}

const std::vector<std::string>& DistanceBandTexts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> v;
        for (const char* t : {"区域内", "隣接区域及び20kmまで", "～30km", "～60km", "～100km",
                              "～160km", "160km以上"})
            v.push_back(Utf8ToSjis(t));
        return v;
    }();
    return texts;
}

}  // namespace marlo
