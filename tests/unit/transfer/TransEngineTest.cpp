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

// The CRC-32 of a block, taken eight bytes at a time, is the byte-by-byte one at every length and
// alignment, and in any split.
TEST(TransEngineCrc, Crc32OfBlocksMatchesByteByByte) {
    uint8_t data[100];
    for (int i = 0; i < 100; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t from = 0; from < 9; ++from) {
        for (size_t n = 0; from + n <= sizeof data; ++n) {
            uint32_t slow = 0xFFFFFFFFu;
            for (size_t i = 0; i < n; ++i) slow = CTransEngine::UpdateCrc32(data[from + i], slow);
            ASSERT_EQ(CTransEngine::Crc32(data + from, n), slow) << from << " " << n;
            const size_t half = n / 3;
            ASSERT_EQ(CTransEngine::Crc32(data + from + half, n - half,
                                          CTransEngine::Crc32(data + from, half)),
                      slow);
        }
    }
}

}  // namespace
}  // namespace marlo
