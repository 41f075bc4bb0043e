#include "hosts/Password.h"

#include <array>

namespace marlo {

namespace {

// The image of each printable character from space to tilde. Stored passwords depend on it: it
// must never change.
constexpr char kImage[] =
    "V;upyHn]xwoG/FE\"{Dzr3XY "
    "Sbi!J^K65lkW>&sR.*BhTd:m[-)P$?\\vQL0A79j#e@Z=1}Ug(`f~OC+M%8N4<tqa_2c|,"
    "'I";
static_assert(sizeof(kImage) == 95 + 1);

constexpr std::array<char, 95> MakeInverse() {
    std::array<char, 95> inv{};
    for (int i = 0; i < 95; ++i) inv[static_cast<unsigned char>(kImage[i]) - 0x20] = char(0x20 + i);
    return inv;
}
constexpr std::array<char, 95> kInverse = MakeInverse();

bool Printable(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7E;
}

// The number of steps after which `step` brings c back to itself (1..95).
size_t CycleLength(char c, char (*step)(char)) {
    size_t n = 1;
    for (char d = step(c); d != c; d = step(d)) ++n;
    return n;
}

std::optional<std::string> Apply(const std::string& in, char (*step)(char)) {
    std::string out = in;
    for (size_t i = 0; i < out.size(); ++i) {
        if (!Printable(out[i])) return std::nullopt;
        // i+1 applications; only their count modulo the character's cycle matters, which keeps a
        // long stored value from costing quadratic time.
        const size_t times = (i + 1) % CycleLength(out[i], step);
        for (size_t k = 0; k < times; ++k) out[i] = step(out[i]);
    }
    return out;
}

}  // namespace

char ScrambleChar(char c) {
    return Printable(c) ? kImage[static_cast<unsigned char>(c) - 0x20] : 0;
}

char RestoreChar(char c) {
    return Printable(c) ? kInverse[static_cast<unsigned char>(c) - 0x20] : 0;
}

std::optional<std::string> ScramblePassword(const std::string& plain) {
    return Apply(plain, ScrambleChar);
}

std::optional<std::string> RestorePassword(const std::string& scrambled) {
    return Apply(scrambled, RestoreChar);
}

}  // namespace marlo
