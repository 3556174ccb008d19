// Decoder for -lh0-, -lh4-, -lh5-, -lh6- and -lh7- member data.
#pragma once

#include <cstdint>

#include "lzh_stream.h"
#include "lzh_types.h"

namespace lzh {

struct DecodeResult {
    Status status = Status::Ok;
    uint16_t crc = 0;          // CRC-16 of the bytes produced
    uint64_t produced = 0;     // bytes written to the sink
};

// Decodes `packed_size` bytes read from `in` into exactly `orig_size` bytes
// written to `out`. The CRC is computed but not compared: callers compare it
// with the header's value. Corrupt data yields BadData or Truncated, never
// a read or write outside the decoder's buffers.
DecodeResult decode_member(Method m, InStream& in, uint64_t packed_size,
                           uint64_t orig_size, OutStream& out);

}  // namespace lzh
