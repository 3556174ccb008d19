// libFuzzer harness: whatever the encoder makes of the input must decode to
// the input again. The first byte picks the method and the parser.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzh_decoder.h"
#include "lzh_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const lzh::Method methods[] = {lzh::Method::Lh5, lzh::Method::Lh6, lzh::Method::Lh7};
    const lzh::Method m = methods[data[0] % 3];
    lzh::EncodeOptions opt = (data[0] & 4) ? lzh::EncodeOptions::thorough() : lzh::EncodeOptions();
    if (data[0] & 8) opt.chain_depth = 2;
    const std::vector<uint8_t> input(data + 1, data + size);
    std::vector<uint8_t> packed, back;
    lzh::MemoryIn in(input);
    lzh::VectorOut out(packed);
    lzh::EncodeResult er = lzh::encode_member(m, in, out, UINT64_MAX, opt);
    if (er.status != lzh::Status::Ok) __builtin_trap();
    lzh::MemoryIn pin(packed);
    lzh::VectorOut bout(back);
    lzh::DecodeResult dr = lzh::decode_member(m, pin, packed.size(), input.size(), bout);
    if (dr.status != lzh::Status::Ok || back != input || dr.crc != er.crc) __builtin_trap();
    if (!input.empty() && er.code_bits % 8 == 0) __builtin_trap();  // must end inside its last byte
    return 0;
}
