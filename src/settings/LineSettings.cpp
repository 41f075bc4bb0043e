#include "settings/LineSettings.h"

#include <algorithm>

namespace marlo {

int LineSettings::ReadBlockSize() const {
    return std::clamp<int32_t>(ReadSize, 1, 4096);
}
int LineSettings::ReceiveCode() const {
    return CodeExchange >= 0 && CodeExchange <= 5 ? CodeExchange : 0;
}
int LineSettings::SendCode() const {
    return CodeExchange2 >= 0 && CodeExchange2 <= 5 ? CodeExchange2 : 0;
}
int LineSettings::EmulationMode() const {
    return Emulation >= 0 && Emulation <= 3 ? Emulation : 0;
}

}  // namespace marlo
