// Helpers shared by the codec tests: generated inputs and round trips.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "lzh_decoder.h"
#include "lzh_encoder.h"

namespace lzhtest {

inline std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Text-like data: words from a small vocabulary, so matches of many lengths
// and distances occur.
inline std::vector<uint8_t> wordy_text(size_t n, uint32_t seed) {
    static const char* words[] = {"the ",    "archive ", "member ",  "header ", "of ",
                                  "files ",  "window ",  "Huffman ", "code ",   "length\n",
                                  "folder ", "is ",      "a ",       "table ",  "block, "};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    v.reserve(n);
    while (v.size() < n) {
        const char* w = words[rng() % 15];
        for (const char* p = w; *p && v.size() < n; ++p) v.push_back(static_cast<uint8_t>(*p));
        if (rng() % 7 == 0 && v.size() < n) v.push_back(static_cast<uint8_t>('0' + rng() % 10));
    }
    return v;
}

struct RoundTrip {
    lzh::EncodeResult enc;
    lzh::DecodeResult dec;
    std::vector<uint8_t> packed;
    std::vector<uint8_t> output;
};

inline RoundTrip round_trip(lzh::Method m, const std::vector<uint8_t>& data,
                            const lzh::EncodeOptions& opt = lzh::EncodeOptions()) {
    RoundTrip r;
    lzh::MemoryIn in(data);
    lzh::VectorOut out(r.packed);
    r.enc = lzh::encode_member(m, in, out, UINT64_MAX, opt);
    lzh::MemoryIn pin(r.packed);
    lzh::VectorOut dout(r.output);
    r.dec = lzh::decode_member(m, pin, r.packed.size(), data.size(), dout);
    return r;
}

}  // namespace lzhtest
