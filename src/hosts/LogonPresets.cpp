#include "hosts/LogonPresets.h"

#include "text/Encoding.h"

namespace marlo {

namespace {

struct Utf8Preset {
    const char* name;
    const char* value;
};

std::vector<NamedPreset> ToSjis(std::initializer_list<Utf8Preset> list) {
    std::vector<NamedPreset> out;
    for (const auto& p : list) out.push_back({Utf8ToSjis(p.name), Utf8ToSjis(p.value)});
    return out;
}

}  // namespace

const std::vector<NamedPreset>& LogonPresets() {
    static const std::vector<NamedPreset> presets = ToSjis({
        {"NIFTY-Serve(FENICS-ROAD1)", "*.00+{--->}SVC'{--->}$I'{--->}$P'"},
        {"NIFTY-Serve(FENICS-ROAD2)", "*@P'{*}C NIF'{--->}SVC'{--->}$I'{--->}$P'"},
        {"NIFTY-Serve(FENICS-ROAD3/4/5)", "{*,2}C NIF'{--->}SVC'{--->}$I'{--->}$P'"},
        {"NIFTY-Serve(Telnet接続)", "{--->}SVC'{--->}$I'{--->}$P'"},
        {"PC-VAN+", "PCVAN'{ＩＤ：}$I'{ド：}$P'{=}N'{=}N'"},
        {"People(ｸﾞﾙｰﾌﾟA)", "***'{ID:}$I'{rd:}$P'"},
        {"People(ｸﾞﾙｰﾌﾟB)", "*{Name:}P'{ID:}$I'{rd:}$P'"},
        {"People(ｸﾞﾙｰﾌﾟC-9600bps)", "*@*P'{*}A HPAM'{ID:}$I'{rd:}$P'"},
        {"People(ｸﾞﾙｰﾌﾟC-2400bps)", "*@*P'{*}A PAM'{ID:}$I'{rd:}$P'"},
        {"ASAHIﾈｯﾄ(Dﾗｲﾝ)", "*''{q)}1'{ID:}$I'{rd:}$P'"},
        {"ASAHIﾈｯﾄ(Iﾗｲﾝ-2400bps)", "@*'{*}a an'{ID:}$I'{rd:}$P'"},
        {"ASAHIﾈｯﾄ(Iﾗｲﾝ-9600bps)", "@*'{*}a fan'{ID:}$I'{rd:}$P'"},
        {"ASCII-net(東京直通)", "{ID:}$I'{rd:}$P'"},
        {"ASCII-net(ｱｽｷｰﾈｯﾄ専用)", "*@*P'{*}c ascii'{ID:}$I'{rd:}$P'"},
        {"ASCII-net(channel C)", "*ascii'{ID:}$I'{rd:}$P'"},
        {"日経MIX", "{):}mix'{me?}$I'{rd:}$P'"},
        {"CompuServe(FENICS-ROAD2)", "*@P'{*}C CIS'{ID:}$I'{word:}$P'"},
        {"CompuServe(FENICS-ROAD3)", "{*}C CIS'{ID:}$I'{word:}$P'"},
        {"CompuServe(ﾆﾌﾃｨ専用線)", "*'**C CPS'{Name:}CPS'{ID:}$I'{word:}$P'"},
        {"CompuServe(CompuPass)", "*'**C CIS'{ID:}$I'{word:}$P'"},
    });
    return presets;
}

const std::vector<NamedPreset>& TelnetHostPresets() {
    // The services' public telnet host names as they were announced in their day.
    static const std::vector<NamedPreset> presets = ToSjis({
        {"NIFTY-Serve", "niftyserve.or.jp"},
        {"PC-VAN", "pcvan.or.jp"},
        {"People", "people.or.jp"},
        {"ASAHIﾈｯﾄ", "asahi-net.or.jp"},
        {"ASCII-net", "ascii-net.or.jp"},
        {"日経MIX", "mix.or.jp"},
        {"CompuServe", "compuserve.com"},
        {"NASA Spacelink", "spacelink.msfc.nasa.gov"},
        {"洋書販売", "books.com"},
    });
    return presets;
}

}  // namespace marlo
