// Encoder for -lh5-, -lh6- and -lh7- member data.
//
// The input is processed in segments of 512 KiB, each with the dictionary's
// worth of preceding bytes as history. Two parsers are available:
//  - lazy (default): hash chains find the longest affordable match; a match
//    is put off by a byte when that buys a longer or cheaper one. Prices in
//    bits come from the Huffman code lengths of the previous segment.
//  - optimal: a binary-tree match finder collects the best match of every
//    length at every position and a shortest-path parse chooses literals
//    and matches by their cost in bits, repeated with updated prices.
// Either way the tokens are then cut into blocks where a fresh set of
// Huffman tables pays for itself.
#pragma once

#include <cstdint>

#include "lzh_stream.h"
#include "lzh_types.h"

namespace lzh {

struct EncodeOptions {
    bool optimal = false;   // shortest-path parse instead of the lazy one
    int chain_depth = 96;   // match candidates examined per position
    int nice_length = 256;  // a match this long is taken without searching further
    int passes = 3;         // parse passes of the optimal parse (first segment)
    int carried_passes_saved = 2;  // fewer passes once prices carry over
    int lazy_first_passes = 1;     // lazy parses of the first segment
    bool lazy2 = true;             // lazy parse also looks two bytes ahead

    // The thorough setting: optimal parse over a binary-tree match finder.
    static EncodeOptions thorough() {
        EncodeOptions o;
        o.optimal = true;
        o.chain_depth = 32;
        return o;
    }
};

struct EncodeResult {
    Status status = Status::Ok;
    uint16_t crc = 0;          // CRC-16 of the input
    uint64_t orig_size = 0;    // bytes read from the input
    uint64_t packed_size = 0;  // bytes written to the output
    uint64_t code_bits = 0;    // bits of code before the last byte is filled up
};

// Compresses everything `in` delivers into `out`. When the output would grow
// beyond `limit` bytes the encoder stops with Status::TooLarge (the caller
// then stores the data instead); the input has been read up to that point.
EncodeResult encode_member(Method m, InStream& in, OutStream& out, uint64_t limit,
                           const EncodeOptions& opt = EncodeOptions());

}  // namespace lzh
