#include "crc16.h"

#include <array>

namespace lzh {

namespace {

// t[0] is the usual byte table; t[k][b] is the CRC of byte b followed by k
// zero bytes, so four bytes can be folded in at once.
struct CrcTable {
    std::array<std::array<uint16_t, 256>, 4> t{};
    CrcTable() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned r = i;
            for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001u : (r >> 1);
            t[0][i] = static_cast<uint16_t>(r);
        }
        for (int k = 1; k < 4; ++k)
            for (unsigned i = 0; i < 256; ++i)
                t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
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
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const unsigned x0 = (c ^ data[i]) & 0xFF;
        const unsigned x1 = ((c >> 8) ^ data[i + 1]) & 0xFF;
        c = t[3][x0] ^ t[2][x1] ^ t[1][data[i + 2]] ^ t[0][data[i + 3]];
    }
    for (; i < n; ++i) c = (c >> 8) ^ t[0][(c ^ data[i]) & 0xFF];
    return static_cast<uint16_t>(c);
}

}  // namespace lzh
