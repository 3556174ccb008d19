#include "lzh_archive.h"

#include <cstring>

#include "crc16.h"
#include "lzh_decoder.h"

namespace lzh {

namespace {

// Counts bytes on their way to another stream.
class CountingIn : public InStream {
public:
    explicit CountingIn(InStream& base) : base_(base) {}
    size_t read(uint8_t* dst, size_t n) override {
        size_t k = base_.read(dst, n);
        count_ += k;
        return k;
    }
    bool failed() const override { return base_.failed(); }
    bool skip(uint64_t n) override {
        // Count what the base actually skipped only when it succeeds; a
        // failed skip ends the listing anyway.
        bool ok = base_.skip(n);
        if (ok) count_ += n;
        return ok;
    }
    uint64_t count() const { return count_; }

private:
    InStream& base_;
    uint64_t count_ = 0;
};

}  // namespace

Status list_archive(InStream& in, std::vector<ListedMember>& out) {
    CountingIn cin(in);
    for (;;) {
        ListedMember m;
        m.header_offset = cin.count();
        HeaderRead hr = read_header(cin);
        if (hr.result == HeaderResult::End) return Status::Ok;
        if (hr.result == HeaderResult::Error) return hr.error;
        m.header = hr.header;
        m.raw = std::move(hr.raw);
        m.data_offset = cin.count();
        if (!cin.skip(m.header.packed_size)) return in.failed() ? Status::ReadError : Status::Truncated;
        out.push_back(std::move(m));
    }
}

Status write_dir_member(OutStream& out, const MemberHeader& h) {
    MemberHeader d = h;
    d.is_dir = true;
    d.method = Method::Lhd;
    std::memcpy(d.method_id, "-lhd-", 5);
    d.packed_size = d.orig_size = 0;
    d.crc = 0;
    d.attr = 0x10;
    std::vector<uint8_t> raw = write_level2_header(d);
    if (raw.empty()) return Status::Unsupported;
    return out.write(raw.data(), raw.size()) ? Status::Ok : Status::WriteError;
}

Status write_archive_end(OutStream& out) {
    uint8_t z = 0;
    return out.write(&z, 1) ? Status::Ok : Status::WriteError;
}

namespace {

Status store_data(OutStream& out, InStream& src, uint16_t& crc, uint64_t& size) {
    std::vector<uint8_t> buf(65536);
    crc = 0;
    size = 0;
    for (;;) {
        size_t k = src.read(buf.data(), buf.size());
        if (k == 0) break;
        crc = crc16_update(crc, buf.data(), k);
        size += k;
        if (!out.write(buf.data(), k)) return Status::WriteError;
    }
    return src.failed() ? Status::ReadError : Status::Ok;
}

}  // namespace

Status write_file_member(SeekOut& out, const MemberHeader& h, RewindIn& src, Method m,
                         const EncodeOptions& opt, MemberHeader* written) {
    MemberHeader w = h;
    w.is_dir = false;
    w.level = 2;
    // The header size depends only on the path, attribute and whether the
    // sizes need 64 bits, so a placeholder can be written and patched.
    const bool big_hint = h.orig_size > 0xFFFFFFFFull;
    w.packed_size = w.orig_size = big_hint ? 0x100000000ull : 0;
    std::memcpy(w.method_id, "-lh0-", 5);
    std::vector<uint8_t> placeholder = write_level2_header(w);
    if (placeholder.empty()) return Status::Unsupported;
    const uint64_t header_pos = out.tell();
    if (!out.write(placeholder.data(), placeholder.size())) return Status::WriteError;
    const uint64_t data_pos = out.tell();

    bool stored = (m == Method::Lh0) || h.orig_size == 0;
    uint16_t crc = 0;
    uint64_t orig = 0, packed = 0;
    if (!stored) {
        EncodeResult er = encode_member(m, src, out, h.orig_size, opt);
        if (er.status == Status::TooLarge) {
            stored = true;
        } else if (er.status != Status::Ok) {
            return er.status;
        } else if (er.packed_size >= er.orig_size) {
            stored = true;  // the file grew while it was read; keep it simple
        } else {
            crc = er.crc;
            orig = er.orig_size;
            packed = er.packed_size;
            std::memcpy(w.method_id, method_id(m), 5);
            w.method = m;
        }
        if (stored && !(src.rewind() && out.seek(data_pos))) return Status::ReadError;
    }
    if (stored) {
        Status st = store_data(out, src, crc, orig);
        if (st != Status::Ok) return st;
        packed = orig;
        std::memcpy(w.method_id, "-lh0-", 5);
        w.method = Method::Lh0;
    }
    const uint64_t end_pos = out.tell();
    w.packed_size = packed;
    w.orig_size = orig;
    w.crc = crc;
    std::vector<uint8_t> real = write_level2_header(w);
    if (real.size() != placeholder.size()) return Status::TooLarge;
    if (!out.seek(header_pos) || !out.write(real.data(), real.size()) || !out.seek(end_pos))
        return Status::WriteError;
    if (written) *written = w;
    return Status::Ok;
}

Status extract_member(const MemberHeader& h, InStream& data, OutStream& out) {
    LimitedIn lin(data, h.packed_size);
    DecodeResult r = decode_member(h.method, lin, h.packed_size, h.orig_size, out);
    if (r.status != Status::Ok) return r.status;
    if (r.produced != h.orig_size) return Status::Truncated;
    if (h.has_crc && r.crc != h.crc) return Status::CrcMismatch;
    return Status::Ok;
}

}  // namespace lzh
