// libFuzzer harness: member data decoding for every method, with the
// method and the claimed size taken from the first input bytes.
#include <cstddef>
#include <cstdint>

#include "lzh_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    static const lzh::Method methods[] = {lzh::Method::Lh0, lzh::Method::Lh4, lzh::Method::Lh5,
                                          lzh::Method::Lh6, lzh::Method::Lh7, lzh::Method::Lhd};
    const lzh::Method m = methods[data[0] % 6];
    // Claimed output size up to 1 MiB, so a few input bytes cannot ask for
    // gigabytes of matches.
    const uint64_t orig = (static_cast<uint64_t>(data[1]) << 12 | static_cast<uint64_t>(data[2]) << 4) |
                          (data[3] & 0x0F);
    lzh::MemoryIn in(data + 4, size - 4);
    lzh::NullOut out;
    lzh::DecodeResult r = lzh::decode_member(m, in, size - 4, orig, out);
    if (r.status == lzh::Status::Ok && r.produced != orig && m != lzh::Method::Lhd) __builtin_trap();
    return 0;
}
