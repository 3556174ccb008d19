// Encoder for -lh5-, -lh6- and -lh7- member data.
//
// The input is processed in segments. For every position of a segment the
// match finder collects the best match of each length (hash chains), then a
// shortest-path parse chooses literals and matches by their cost in bits.
// The costs come from the Huffman code lengths of the previous parse, so
// the parse is repeated a few times. The resulting tokens are cut into
// blocks where a fresh set of Huffman tables pays for itself.
#pragma once

#include <cstdint>

#include "lzh_stream.h"
#include "lzh_types.h"

namespace lzh {

struct EncodeOptions {
    int chain_depth = 192;  // hash chain candidates examined per position
    int nice_length = 256;  // a match this long is taken without searching further
    int passes = 3;         // parse passes (the first uses estimated costs)
};

struct EncodeResult {
    Status status = Status::Ok;
    uint16_t crc = 0;          // CRC-16 of the input
    uint64_t orig_size = 0;    // bytes read from the input
    uint64_t packed_size = 0;  // bytes written to the output
};

// Compresses everything `in` delivers into `out`. When the output would grow
// beyond `limit` bytes the encoder stops with Status::TooLarge (the caller
// then stores the data instead); the input has been read up to that point.
EncodeResult encode_member(Method m, InStream& in, OutStream& out, uint64_t limit,
                           const EncodeOptions& opt = EncodeOptions());

}  // namespace lzh
