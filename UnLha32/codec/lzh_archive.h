// Archive-level operations over byte streams: listing members, writing
// file and directory members, and decoding a member with its CRC check.
#pragma once

#include <cstdint>
#include <vector>

#include "lzh_encoder.h"
#include "lzh_header.h"
#include "lzh_stream.h"

namespace lzh {

struct ListedMember {
    MemberHeader header;
    std::vector<uint8_t> raw;    // header bytes as stored
    uint64_t header_offset = 0;  // where the header starts in the stream
    uint64_t data_offset = 0;    // where the member data starts
};

// Reads all headers from the stream's current position (the start of the
// archive), skipping the data. Fails on a damaged header and on data that
// runs past the end of the stream.
Status list_archive(InStream& in, std::vector<ListedMember>& out);

// Writes a file member with a level 2 header. `h` supplies path, time and
// attribute; method, sizes and CRC are filled in (and returned in *written).
// Data that does not get smaller is stored as -lh0-; the source is then read
// a second time. Empty files are always stored.
Status write_file_member(SeekOut& out, const MemberHeader& h, RewindIn& src, Method m,
                         const EncodeOptions& opt = EncodeOptions(), MemberHeader* written = nullptr);

// Writes a -lhd- directory member with a level 2 header.
Status write_dir_member(OutStream& out, const MemberHeader& h);

// Writes the end-of-archive marker.
Status write_archive_end(OutStream& out);

// Decodes a member's data (the stream positioned at its start) into `out`
// and checks its length and CRC.
Status extract_member(const MemberHeader& h, InStream& data, OutStream& out);

}  // namespace lzh
