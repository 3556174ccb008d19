// CRC-16 as used by LHA archives (reflected polynomial 0xA001, initial 0).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzh {

uint16_t crc16_update(uint16_t crc, const uint8_t* data, size_t n);

inline uint16_t crc16(const uint8_t* data, size_t n) { return crc16_update(0, data, n); }

}  // namespace lzh
