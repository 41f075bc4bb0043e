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
    std::vector<HostField> fields{
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
    };
    for (const LineField& f : kLineFields) fields.push_back({f.name, &(e.*f.member), nullptr});
    fields.push_back({"FileNameCode", &e.FileNameCode, nullptr});
    fields.push_back({"Log", &e.Log, nullptr});
    fields.push_back({"LogHead", nullptr, &e.LogHead});
    fields.push_back({"PortPath", nullptr, &e.PortPath});
    return fields;
}

HostApplyActions ApplyHostEntry(const HostEntry& e, Settings& s) {
    // The line stays on the port already open.
    const int32_t port = s.Port;
    static_cast<LineSettings&>(s) = e;
    s.Port = port;
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
