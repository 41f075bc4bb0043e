// The control characters the palette offers: the label of each byte from NUL (0) to US (31).
#pragma once

namespace marlo {

inline constexpr int kControlCodeCount = 32;
// Byte 3's label reads "EXT", as users of the palette know it.
inline constexpr const char* kControlCodeLabels[kControlCodeCount] = {
    "NUL", "SOH", "STX", "EXT", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};

}  // namespace marlo
