#include "transfer/Protocols.h"

#include "text/Encoding.h"
#include "transfer/BPlus.h"
#include "transfer/NoProtocol.h"
#include "transfer/QuickVan.h"
#include "transfer/TransEngine.h"
#include "transfer/XModem.h"
#include "transfer/YModem.h"
#include "transfer/ZModem.h"

namespace marlo {

namespace {
// "無手順" in Shift-JIS.
constexpr const char kNoProtocolName[] = "\x96\xb3\x8e\xe8\x8f\x87";
}  // namespace

const std::vector<ProtocolInfo>& ProtocolTable() {
    static const std::vector<ProtocolInfo> table{
        {kProtoXmodem, "XMODEM", "xmodem", true, true},
        {kProtoXmodemCrc, "XMODEM/CRC", "xmodem-crc", true, false},
        {kProtoXmodem1k, "XMODEM-1k", "xmodem-1k", false, true},
        {kProtoFlyingXmodem, "Flying XMODEM", "", false, false},
        {kProtoYmodem, "YMODEM", "ymodem", true, true},
        {kProtoYmodemG, "YMODEM-G", "ymodem-g", true, false},
        {kProtoZmodem, "ZMODEM", "zmodem", true, true},
        {kProtoBplus, "B Plus", "bplus", true, true},
        {kProtoTransIt, "TransIt", "", false, false},
        {kProtoQuickVan, "Quick-VAN", "quickvan", true, true},
        {kProtoNoProtocol, kNoProtocolName, "none", false, true},
    };
    return table;
}

int ProtocolFromName(std::string_view sjisName) {
    for (const auto& p : ProtocolTable())
        if (sjisName == p.name) return p.id;
    return kProtoNone;
}

int ProtocolFromCliName(std::string_view name) {
    if (name.empty()) return kProtoNone;
    for (const auto& p : ProtocolTable())
        if (*p.alias && name == p.alias) return p.id;
    if (name == "b+") return kProtoBplus;
    if (name == "raw") return kProtoNoProtocol;
    if (name == "qv") return kProtoQuickVan;
    if (int id = ProtocolFromName(name)) return id;
    return ProtocolFromName(Utf8ToSjis(name));
}

std::string ProtocolName(int id) {
    for (const auto& p : ProtocolTable())
        if (p.id == id) return p.name;
    return "";
}

std::vector<std::string> ProtocolChoices(int direction) {
    static const int kDownloadList[] = {kProtoXmodem, kProtoXmodemCrc, kProtoYmodem,  kProtoYmodemG,
                                        kProtoZmodem, kProtoBplus,     kProtoQuickVan};
    static const int kUploadList[] = {kProtoNoProtocol, kProtoXmodem, kProtoXmodem1k, kProtoYmodem,
                                      kProtoZmodem,     kProtoBplus,  kProtoQuickVan};
    std::vector<std::string> names;
    for (int id : direction == 1 ? kUploadList : kDownloadList) names.push_back(ProtocolName(id));
    return names;
}

std::unique_ptr<CTransEngine> CreateEngine(int protocol, TransferContext& ctx) {
    switch (protocol) {
        case kProtoXmodem:
            return std::make_unique<CXmodem>(0, ctx);
        case kProtoXmodemCrc:
            return std::make_unique<CXmodem>(1, ctx);
        case kProtoXmodem1k:
            return std::make_unique<CXmodem>(2, ctx);
        case kProtoYmodem:
            return std::make_unique<YModem>(false, ctx);
        case kProtoYmodemG:
            return std::make_unique<YModem>(true, ctx);
        case kProtoZmodem:
            return std::make_unique<ZModem>(ctx);
        case kProtoBplus:
            return std::make_unique<BPlus>(ctx);
        case kProtoQuickVan:
            return std::make_unique<CQuickVan>(ctx);
        case kProtoNoProtocol:
            return std::make_unique<CNoProtocol>(ctx);
        default:
            return nullptr;
    }
}

}  // namespace marlo
