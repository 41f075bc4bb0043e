// The protocol table: ids, display names, the ASCII aliases of the command line, which direction
// each protocol allows, and the engine each id runs.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marlo {

class CTransEngine;
struct TransferContext;

enum ProtocolId : int {
    kProtoNone = 0,
    kProtoXmodem = 1,
    kProtoXmodemCrc = 2,
    kProtoXmodem1k = 3,
    kProtoFlyingXmodem = 4,
    kProtoYmodem = 5,
    kProtoYmodemG = 6,
    kProtoZmodem = 7,
    kProtoBplus = 8,
    kProtoTransIt = 9,
    kProtoQuickVan = 10,
    kProtoNoProtocol = 11,
};

struct ProtocolInfo {
    int id;
    const char* name;   // display name, Shift-JIS (the program's text)
    const char* alias;  // lower-case ASCII name for the command line ("" when none)
    bool download;
    bool upload;
};

const std::vector<ProtocolInfo>& ProtocolTable();
// Exact, case-sensitive mapping of a Shift-JIS display name; 0 when unknown.
int ProtocolFromName(std::string_view sjisName);
// A display name (Shift-JIS or UTF-8) or an ASCII alias; 0 when unknown.
int ProtocolFromCliName(std::string_view name);
// The Shift-JIS display name; "" for 0 and unknown ids.
std::string ProtocolName(int id);
// The entries of the protocol choice list, in order (Shift-JIS). Direction 0 download, 1 upload.
std::vector<std::string> ProtocolChoices(int direction);

// The engine of a protocol, or nullptr when there is none (yet).
std::unique_ptr<CTransEngine> CreateEngine(int protocol, TransferContext& ctx);

}  // namespace marlo
