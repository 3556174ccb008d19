// LHA member headers: reading levels 0, 1 and 2, writing level 2.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lzh_stream.h"
#include "lzh_types.h"

namespace lzh {

struct MemberHeader {
    Method method = Method::Unknown;
    uint8_t method_id[5] = {'-', 'l', 'h', '0', '-'};
    int level = 2;
    uint64_t packed_size = 0;  // bytes of member data following the header
    uint64_t orig_size = 0;
    // Path in the archive's byte encoding with '\\' between components.
    // Directory entries carry the directory's path without a trailing '\\'.
    std::string path;
    bool is_dir = false;
    uint16_t crc = 0;
    bool has_crc = false;
    uint8_t attr = 0x20;
    uint8_t os_id = 'M';
    // Level 0 and 1 store an MS-DOS local time; level 2 (and the Unix time
    // extension of level 1) a Unix time in UTC. has_unix_time tells which.
    uint32_t dos_time = 0;
    int64_t unix_time = 0;
    bool has_unix_time = false;
    // For writing: when set, marks the lead bytes of the archive's double-
    // byte code page, so a '\\' byte inside a character is not taken for a
    // separator. 256 entries.
    const bool* lead_bytes = nullptr;
};

enum class HeaderResult { Ok, End, Error };

struct HeaderRead {
    HeaderResult result = HeaderResult::Error;
    Status error = Status::Ok;  // why, when result is Error
    MemberHeader header;
    std::vector<uint8_t> raw;   // the header bytes exactly as read
};

// Reads one header at the stream's position. End is reported for the
// terminating zero byte and for a clean end of the stream. Level 1 extended
// headers are read as part of the header (and not counted in packed_size).
// Header checksums and CRCs are verified; sizes are bounded.
HeaderRead read_header(InStream& in);

// Serialises a level 2 header (filename, directory, attribute and, when
// needed, 64-bit size extensions; header CRC last). Returns an empty vector
// when the path does not fit into a header. The total size never
// has a zero low byte, which older readers would take as the end marker.
std::vector<uint8_t> write_level2_header(const MemberHeader& h);

// Splits a '\\'-separated path into its directory part (with '\\' after
// every component, possibly empty) and its last component.
// With lead_bytes (256 flags), the byte after a lead byte is never a separator.
void split_path(const std::string& path, std::string& dir, std::string& name,
                const bool* lead_bytes = nullptr);

}  // namespace lzh
