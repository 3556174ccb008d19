// Huffman code construction and decoding tables for the LZH block format.
// All codes are canonical: shorter codes come first, and codes of equal
// length are assigned in symbol order. Code lengths are limited to 16 bits,
// the longest length that LHA decoders accept.
#pragma once

#include <cstdint>
#include <vector>

#include "bitio.h"

namespace lzh {

constexpr int kMaxCodeLen = 16;

// Computes length-limited Huffman code lengths for `n` symbols. Symbols with
// zero frequency get length 0. When fewer than two symbols occur the lengths
// are all 0 and the caller has to send the single-symbol form; the return
// value is then the symbol that occurs (or 0), otherwise -1.
int build_code_lengths(const uint32_t* freq, int n, int max_len, uint8_t* len);

// Canonical codes for the given lengths.
void build_codes(const uint8_t* len, int n, uint16_t* code);

// Decoding table for one canonical code. A primary table resolves codes up to
// kFastBits directly; longer codes are resolved by walking the code lengths.
class HuffDecoder {
public:
    static constexpr int kFastBits = 10;

    // Builds the table. Fails when the lengths over-subscribe the code space
    // or exceed 16 bits. An incomplete code is accepted; reading an unused
    // code then fails in decode().
    bool build(const uint8_t* len, int n);
    // Makes every read return `symbol` without consuming bits.
    void set_single(int symbol);

    // Returns the next symbol, or -1 for a code that is not assigned.
    int decode(BitReader& br) const {
        if (single_ >= 0) return single_;
        uint32_t bits = br.peek(16);
        uint32_t e = fast_[bits >> (16 - kFastBits)];
        if (e != 0xFFFFFFFFu) {
            br.skip(static_cast<int>(e >> 16));
            return static_cast<int>(e & 0xFFFF);
        }
        return decode_slow(br, bits);
    }

private:
    int decode_slow(BitReader& br, uint32_t bits) const;

    int single_ = -1;
    std::vector<uint32_t> fast_;          // (length << 16) | symbol, or all ones
    uint32_t first_code_[kMaxCodeLen + 2] = {};
    uint32_t count_[kMaxCodeLen + 1] = {};
    uint32_t first_index_[kMaxCodeLen + 1] = {};
    std::vector<uint16_t> sorted_;        // symbols ordered by (length, symbol)
};

}  // namespace lzh
