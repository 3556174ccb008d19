#include "crc16.h"

#include <array>

namespace lzh {

namespace {

struct CrcTable {
    std::array<uint16_t, 256> t{};
    CrcTable() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned r = i;
            for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001u : (r >> 1);
            t[i] = static_cast<uint16_t>(r);
        }
    }
};

const CrcTable& table() {
    static const CrcTable tab;
    return tab;
}

}  // namespace

uint16_t crc16_update(uint16_t crc, const uint8_t* data, size_t n) {
    const auto& t = table().t;
    unsigned c = crc;
    for (size_t i = 0; i < n; ++i) c = (c >> 8) ^ t[(c ^ data[i]) & 0xFF];
    return static_cast<uint16_t>(c);
}

}  // namespace lzh
