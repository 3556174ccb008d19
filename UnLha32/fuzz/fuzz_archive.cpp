// libFuzzer harness: the input as a whole archive. Every header is read,
// and every member that claims at most 1 MiB is decoded and CRC-checked.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzh_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lzh::MemoryIn in(data, size);
    std::vector<lzh::ListedMember> members;
    lzh::list_archive(in, members);
    for (const auto& m : members) {
        if (m.data_offset + m.header.packed_size > size) __builtin_trap();  // listed beyond the input
        if (m.header.orig_size > (1u << 20)) continue;
        lzh::MemoryIn din(data, size);
        din.skip(m.data_offset);
        lzh::NullOut out;
        lzh::extract_member(m.header, din, out);
    }
    return 0;
}
