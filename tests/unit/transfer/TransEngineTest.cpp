#include <gtest/gtest.h>

#include "transfer/TransEngine.h"

namespace marlo {
namespace {

TEST(TransEngineCrc, KnownCheckValues) {
    const uint8_t text[] = "123456789";
    EXPECT_EQ(CTransEngine::Crc16(text, 9), 0x31C3);  // CRC-16/XMODEM
    EXPECT_EQ(~CTransEngine::Crc32(text, 9), 0xCBF43926u);
    // The byte-at-the-low-end update with two trailing zero bytes gives the same check value.
    uint16_t crc = 0;
    for (int i = 0; i < 9; ++i) crc = CTransEngine::UpdateCrc16(text[i], crc);
    crc = CTransEngine::UpdateCrc16(0, CTransEngine::UpdateCrc16(0, crc));
    EXPECT_EQ(crc, 0x31C3);
}

}  // namespace
}  // namespace marlo
