#include "lzh_header.h"

#include <cstring>

#include "crc16.h"

namespace lzh {

namespace {

constexpr size_t kMaxExtTotal = 1u << 20;  // refuse absurd extension chains

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t le64(const uint8_t* p) { return le32(p) | (static_cast<uint64_t>(le32(p + 4)) << 32); }
void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
void put64(std::vector<uint8_t>& v, uint64_t x) {
    put32(v, static_cast<uint32_t>(x));
    put32(v, static_cast<uint32_t>(x >> 32));
}

bool read_exact(InStream& in, uint8_t* p, size_t n) {
    while (n) {
        size_t k = in.read(p, n);
        if (k == 0) return false;
        p += k;
        n -= k;
    }
    return true;
}

// Turns '/' and 0xFF separators into '\\'. Neither byte can be part of a
// double-byte character in the code pages LHA archives use.
std::string normalise_separators(const uint8_t* p, size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    for (char& c : s)
        if (c == '/' || static_cast<uint8_t>(c) == 0xFF) c = '\\';
    return s;
}

// State collected from extended headers.
struct ExtInfo {
    std::string name, dir;
    bool has_name = false, has_dir = false;
    bool has_hcrc = false;
    size_t hcrc_offset = 0;  // offset of the header CRC value in the raw header
    bool has_unix_time = false;
    int64_t unix_time = 0;
    bool has_sizes = false;
    uint64_t packed64 = 0, orig64 = 0;
    bool has_attr = false;
    uint8_t attr = 0;
};

// Interprets one extended header whose type byte sits at raw[off] and whose
// data is raw[off + 1, off + 1 + len).
void parse_ext(const std::vector<uint8_t>& raw, size_t off, size_t len, ExtInfo& x) {
    const uint8_t type = raw[off];
    const uint8_t* d = raw.data() + off + 1;
    switch (type) {
    case 0x00:
        if (len >= 2) {
            x.has_hcrc = true;
            x.hcrc_offset = off + 1;
        }
        break;
    case 0x01:
        x.name = normalise_separators(d, len);
        x.has_name = true;
        break;
    case 0x02:
        x.dir = normalise_separators(d, len);
        x.has_dir = true;
        break;
    case 0x40:
        if (len >= 1) {
            x.has_attr = true;
            x.attr = d[0];
        }
        break;
    case 0x42:
        if (len >= 16) {
            x.has_sizes = true;
            x.packed64 = le64(d);
            x.orig64 = le64(d + 8);
        }
        break;
    case 0x54:
        if (len >= 4) {
            x.has_unix_time = true;
            x.unix_time = le32(d);
        }
        break;
    default:
        break;
    }
}

std::string join_dir_name(std::string dir, const std::string& name) {
    if (!dir.empty() && dir.back() != '\\') dir.push_back('\\');
    return dir + name;
}

void strip_trailing_separators(std::string& s) {
    while (!s.empty() && s.back() == '\\') s.pop_back();
}

HeaderRead fail(Status s) {
    HeaderRead r;
    r.result = HeaderResult::Error;
    r.error = s;
    return r;
}

}  // namespace

void split_path(const std::string& path, std::string& dir, std::string& name, const bool* lead_bytes) {
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(path[i]);
        if (lead_bytes && lead_bytes[c]) {
            ++i;  // the trail byte belongs to the character
        } else if (c == '\\') {
            cut = i;
        }
    }
    if (cut == std::string::npos) {
        dir.clear();
        name = path;
    } else {
        dir = path.substr(0, cut + 1);
        name = path.substr(cut + 1);
    }
}

HeaderRead read_header(InStream& in) {
    HeaderRead r;
    uint8_t first = 0;
    if (in.read(&first, 1) == 0) {
        if (in.failed()) return fail(Status::ReadError);
        r.result = HeaderResult::End;
        return r;
    }
    if (first == 0) {
        r.result = HeaderResult::End;
        return r;
    }
    std::vector<uint8_t>& raw = r.raw;
    raw.resize(21);
    raw[0] = first;
    if (!read_exact(in, raw.data() + 1, 20)) return fail(in.failed() ? Status::ReadError : Status::Truncated);
    if (raw[2] != '-' || raw[6] != '-') return fail(Status::BadData);
    MemberHeader& h = r.header;
    std::memcpy(h.method_id, raw.data() + 2, 5);
    h.method = method_from_id(h.method_id);
    h.level = raw[20];
    h.packed_size = le32(raw.data() + 7);
    h.orig_size = le32(raw.data() + 11);
    ExtInfo x;

    if (h.level == 0 || h.level == 1) {
        const size_t total = static_cast<size_t>(raw[0]) + 2;
        if (total < 22 + (h.level == 1 ? 5 : 0)) return fail(Status::BadData);
        raw.resize(total);
        if (!read_exact(in, raw.data() + 21, total - 21))
            return fail(in.failed() ? Status::ReadError : Status::Truncated);
        uint8_t sum = 0;
        for (size_t i = 2; i < total; ++i) sum = static_cast<uint8_t>(sum + raw[i]);
        if (sum != raw[1]) return fail(Status::BadData);
        h.dos_time = le32(raw.data() + 15);
        h.attr = raw[19];
        const size_t namelen = raw[21];
        if (22 + namelen > total) return fail(Status::BadData);
        std::string name = normalise_separators(raw.data() + 22, namelen);
        size_t p = 22 + namelen;
        if (h.level == 0) {
            if (p + 2 <= total) {
                h.crc = le16(raw.data() + p);
                h.has_crc = true;
                p += 2;
            }
            if (p < total) h.os_id = raw[p];
            h.path = name;
        } else {
            if (p + 5 > total) return fail(Status::BadData);
            h.crc = le16(raw.data() + p);
            h.has_crc = true;
            h.os_id = raw[p + 2];
            size_t next = le16(raw.data() + total - 2);
            size_t ext_total = 0;
            while (next != 0) {
                if (next < 3) return fail(Status::BadData);
                ext_total += next;
                if (ext_total > kMaxExtTotal) return fail(Status::BadData);
                size_t off = raw.size();
                raw.resize(off + next);
                if (!read_exact(in, raw.data() + off, next))
                    return fail(in.failed() ? Status::ReadError : Status::Truncated);
                parse_ext(raw, off, next - 3, x);
                next = le16(raw.data() + off + next - 2);
            }
            if (ext_total > h.packed_size) return fail(Status::BadData);
            h.packed_size -= ext_total;
            if (x.has_hcrc) {
                // Level 1 header CRCs cover the whole header with the
                // value zeroed, as in level 2.
                std::vector<uint8_t> tmp(raw);
                tmp[x.hcrc_offset] = tmp[x.hcrc_offset + 1] = 0;
                if (crc16(tmp.data(), tmp.size()) != le16(raw.data() + x.hcrc_offset))
                    return fail(Status::BadData);
            }
            h.path = x.has_name ? x.name : name;
            if (x.has_dir) h.path = join_dir_name(x.dir, h.path);
        }
    } else if (h.level == 2) {
        const size_t total = le16(raw.data());
        if (total < 26) return fail(Status::BadData);
        raw.resize(total);
        if (!read_exact(in, raw.data() + 21, total - 21))
            return fail(in.failed() ? Status::ReadError : Status::Truncated);
        h.unix_time = le32(raw.data() + 15);
        h.has_unix_time = true;
        h.crc = le16(raw.data() + 21);
        h.has_crc = true;
        h.os_id = raw[23];
        size_t off = 24;
        size_t next = le16(raw.data() + off);
        off += 2;
        while (next != 0) {
            if (next < 3 || off + next > total) return fail(Status::BadData);
            parse_ext(raw, off, next - 3, x);
            off += next;
            next = le16(raw.data() + off - 2);
        }
        // Anything after the last extension is padding.
        if (x.has_hcrc) {
            std::vector<uint8_t> tmp(raw);
            tmp[x.hcrc_offset] = tmp[x.hcrc_offset + 1] = 0;
            if (crc16(tmp.data(), tmp.size()) != le16(raw.data() + x.hcrc_offset))
                return fail(Status::BadData);
        }
        h.path = x.has_name ? x.name : std::string();
        if (x.has_dir) h.path = join_dir_name(x.dir, h.path);
    } else {
        return fail(Status::Unsupported);
    }

    if (x.has_sizes) {
        h.packed_size = x.packed64;
        h.orig_size = x.orig64;
    }
    if (x.has_attr) h.attr = x.attr;
    if (x.has_unix_time) {
        h.unix_time = x.unix_time;
        h.has_unix_time = true;
    }
    h.is_dir = (h.method == Method::Lhd);
    if (h.is_dir) strip_trailing_separators(h.path);
    r.result = HeaderResult::Ok;
    return r;
}

std::vector<uint8_t> write_level2_header(const MemberHeader& h) {
    std::vector<uint8_t> v;
    v.reserve(64 + h.path.size());
    put16(v, 0);  // total size, set below
    v.insert(v.end(), h.method_id, h.method_id + 5);
    const bool big = h.packed_size > 0xFFFFFFFFull || h.orig_size > 0xFFFFFFFFull;
    put32(v, static_cast<uint32_t>(h.packed_size));
    put32(v, static_cast<uint32_t>(h.orig_size));
    put32(v, static_cast<uint32_t>(h.unix_time));
    v.push_back(0x20);
    v.push_back(2);
    put16(v, h.crc);
    v.push_back(h.os_id);

    auto ext = [&](uint8_t type, const std::vector<uint8_t>& data) {
        put16(v, static_cast<uint32_t>(data.size() + 3));  // "next size" of the previous part
        v.push_back(type);
        v.insert(v.end(), data.begin(), data.end());
    };
    size_t crc_pos = v.size() + 3;
    ext(0x00, {0, 0});
    std::string dir, name;
    std::string path = h.path;
    if (h.is_dir) {
        strip_trailing_separators(path);
        dir = path.empty() ? std::string() : path + "\\";
    } else {
        split_path(path, dir, name, h.lead_bytes);
    }
    auto bytes = [&h](const std::string& s, bool seps) {
        std::vector<uint8_t> b(s.begin(), s.end());
        if (seps) {
            for (size_t i = 0; i < b.size(); ++i) {
                if (h.lead_bytes && h.lead_bytes[b[i]]) ++i;
                else if (b[i] == '\\') b[i] = 0xFF;
            }
        }
        return b;
    };
    if (!h.is_dir) ext(0x01, bytes(name, false));
    if (!dir.empty()) ext(0x02, bytes(dir, true));
    ext(0x40, {h.attr, 0});
    if (big) {
        std::vector<uint8_t> d;
        put64(d, h.packed_size);
        put64(d, h.orig_size);
        ext(0x42, d);
    }
    put16(v, 0);  // no further extension
    if ((v.size() & 0xFF) == 0) v.push_back(0);
    if (v.size() > 0xFFFF) return {};  // path too long for a 16-bit header size
    v[0] = static_cast<uint8_t>(v.size());
    v[1] = static_cast<uint8_t>(v.size() >> 8);
    uint16_t c = crc16(v.data(), v.size());
    v[crc_pos] = static_cast<uint8_t>(c);
    v[crc_pos + 1] = static_cast<uint8_t>(c >> 8);
    return v;
}

}  // namespace lzh
