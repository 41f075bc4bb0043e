// The line and terminal settings that the active settings and every host entry both carry: the
// port and its parameters, the emulation, the kanji codes and the terminal switches. Connecting a
// host entry puts its copy over the active one (all but `Port`).
#pragma once

#include <array>
#include <cstdint>

namespace marlo {

struct LineSettings {
    int32_t Port = 1;
    int32_t Speed = 2400;
    int32_t DataLen = 8;
    int32_t StopBit = 0;
    int32_t Parity = 0;
    int32_t Flow = 2;
    int32_t Emulation = 0;
    int32_t BreakTime = 500;
    int32_t ReadSize = 80;
    int32_t CodeExchange = 0;
    int32_t CodeExchange2 = 0;
    int32_t RcvCRLF = 0;
    int32_t RcvLFCR = 0;
    int32_t SndCRLF = 0;
    int32_t BS2Byte = 1;
    int32_t BSDel = 1;
    int32_t AutoMargin = 1;
    int32_t LocalEcho = 0;
    int32_t AutoBplus = 1;
    int32_t AutoZMODEM = 1;
    int32_t FKLocal = 1;
    int32_t SISO = 0;  // stored as "SI/SO"

    // Values clamped where they are used as sizes or codes.
    int ReadBlockSize() const;  // ReadSize, 1..4096
    int ReceiveCode() const;    // CodeExchange, 0..5 (an unknown value is Shift-JIS)
    int SendCode() const;       // CodeExchange2, 0..5
    int EmulationMode() const;  // Emulation, 0..3 (an unknown value is the dumb terminal)

    bool operator==(const LineSettings&) const = default;
};

// The fields under their stored value names, in the order both the settings and a host entry
// store them.
struct LineField {
    const char* name;
    int32_t LineSettings::*member;
};
inline constexpr std::array<LineField, 22> kLineFields{{
    {"Port", &LineSettings::Port},
    {"Speed", &LineSettings::Speed},
    {"DataLen", &LineSettings::DataLen},
    {"StopBit", &LineSettings::StopBit},
    {"Parity", &LineSettings::Parity},
    {"Flow", &LineSettings::Flow},
    {"Emulation", &LineSettings::Emulation},
    {"BreakTime", &LineSettings::BreakTime},
    {"ReadSize", &LineSettings::ReadSize},
    {"CodeExchange", &LineSettings::CodeExchange},
    {"CodeExchange2", &LineSettings::CodeExchange2},
    {"RcvCRLF", &LineSettings::RcvCRLF},
    {"RcvLFCR", &LineSettings::RcvLFCR},
    {"SndCRLF", &LineSettings::SndCRLF},
    {"BS2Byte", &LineSettings::BS2Byte},
    {"BSDel", &LineSettings::BSDel},
    {"AutoMargin", &LineSettings::AutoMargin},
    {"LocalEcho", &LineSettings::LocalEcho},
    {"AutoBplus", &LineSettings::AutoBplus},
    {"AutoZMODEM", &LineSettings::AutoZMODEM},
    {"FKLocal", &LineSettings::FKLocal},
    {"SI/SO", &LineSettings::SISO},
}};

}  // namespace marlo
