#include "lzh_decoder.h"

#include <memory>
#include <vector>

#include "bitio.h"
#include "crc16.h"
#include "huffman.h"

namespace lzh {

namespace {

constexpr int kNC = 510;  // 256 literals + 254 match lengths (3..256)
constexpr int kNT = 19;   // code-length codes
constexpr int kCBit = 9;
constexpr int kTBit = 5;

class BlockDecoder {
public:
    BlockDecoder(const LzhParams& p, InStream& in, uint64_t packed)
        : p_(p), br_(in, packed) {}

    // Next literal (0..255) or match length code (256..509); -1 on error.
    int next_code() {
        if (block_left_ == 0) {
            if (!read_block_header()) return -1;
        }
        --block_left_;
        return c_.decode(br_);
    }
    // Distance minus one for the match whose length code was just read.
    int next_position() {
        int j = p_dec_.decode(br_);
        if (j < 0) return -1;
        if (j <= 1) return j;
        return static_cast<int>((1u << (j - 1)) + br_.get(j - 1));
    }
    bool overrun() const { return br_.overrun(); }
    bool read_failed() const { return br_.read_failed(); }

private:
    // Reads code lengths for the code-length code or the position code.
    bool read_pt_len(int nn, int nbit, int i_special, HuffDecoder& dec) {
        int n = static_cast<int>(br_.get(nbit));
        if (n == 0) {
            int c = static_cast<int>(br_.get(nbit));
            if (c >= nn) return false;
            dec.set_single(c);
            return true;
        }
        if (n > nn) return false;
        uint8_t len[32] = {};  // nn is at most 19
        int i = 0;
        while (i < n) {
            int c = static_cast<int>(br_.peek(3));
            if (c == 7) {
                br_.skip(3);
                while (br_.get(1)) {
                    if (++c > kMaxCodeLen) return false;
                }
            } else {
                br_.skip(3);
            }
            len[i++] = static_cast<uint8_t>(c);
            if (i == i_special) {
                // Up to three zero lengths follow; other encoders may send
                // zeros beyond n here, which are harmless within the table.
                int z = static_cast<int>(br_.get(2));
                if (i + z > nn) return false;
                while (z-- > 0) len[i++] = 0;
            }
        }
        return dec.build(len, nn) && !br_.overrun();
    }

    bool read_c_len() {
        int n = static_cast<int>(br_.get(kCBit));
        if (n == 0) {
            int c = static_cast<int>(br_.get(kCBit));
            if (c >= kNC) return false;
            c_.set_single(c);
            return true;
        }
        if (n > kNC) return false;
        uint8_t len[kNC] = {};
        int i = 0;
        while (i < n) {
            int c = t_.decode(br_);
            if (c < 0) return false;
            if (c <= 2) {
                int z;
                if (c == 0) z = 1;
                else if (c == 1) z = static_cast<int>(br_.get(4)) + 3;
                else z = static_cast<int>(br_.get(kCBit)) + 20;
                if (i + z > kNC) return false;
                while (z-- > 0) len[i++] = 0;
            } else {
                len[i++] = static_cast<uint8_t>(c - 2);
            }
        }
        return c_.build(len, kNC) && !br_.overrun();
    }

    bool read_block_header() {
        block_left_ = br_.get(16);
        if (block_left_ == 0) return false;
        if (!read_pt_len(kNT, kTBit, 3, t_)) return false;
        if (!read_c_len()) return false;
        if (!read_pt_len(p_.np, p_.pbit, -1, p_dec_)) return false;
        return true;
    }

    LzhParams p_;
    BitReader br_;
    uint32_t block_left_ = 0;
    HuffDecoder t_, c_, p_dec_;
};

class CrcOut {
public:
    CrcOut(OutStream& out) : out_(out) {}
    bool write(const uint8_t* p, size_t n) {
        crc_ = crc16_update(crc_, p, n);
        produced_ += n;
        return out_.write(p, n);
    }
    uint16_t crc() const { return crc_; }
    uint64_t produced() const { return produced_; }

private:
    OutStream& out_;
    uint16_t crc_ = 0;
    uint64_t produced_ = 0;
};

DecodeResult decode_stored(InStream& in, uint64_t packed, uint64_t orig, OutStream& out) {
    DecodeResult r;
    CrcOut co(out);
    if (packed != orig) {
        r.status = Status::BadData;
        return r;
    }
    std::vector<uint8_t> buf(65536);
    uint64_t left = orig;
    while (left > 0) {
        size_t want = left < buf.size() ? static_cast<size_t>(left) : buf.size();
        size_t got = in.read(buf.data(), want);
        if (got == 0) {
            r.status = in.failed() ? Status::ReadError : Status::Truncated;
            break;
        }
        if (!co.write(buf.data(), got)) {
            r.status = Status::WriteError;
            break;
        }
        left -= got;
    }
    r.crc = co.crc();
    r.produced = co.produced();
    return r;
}

DecodeResult decode_lzh(const LzhParams& p, InStream& in, uint64_t packed, uint64_t orig,
                        OutStream& out) {
    DecodeResult r;
    CrcOut co(out);
    const uint32_t dsize = 1u << p.dict_bits;
    const uint32_t mask = dsize - 1;
    std::vector<uint8_t> dict(dsize, 0);
    auto dec = std::make_unique<BlockDecoder>(p, in, packed);
    uint32_t pos = 0;       // write position in the dictionary ring
    uint32_t pending = 0;   // bytes in the ring not yet written out
    uint64_t left = orig;

    auto flush = [&]() -> bool {
        if (pending == 0) return true;
        uint32_t start = (pos - pending) & mask;
        bool ok;
        if (start + pending <= dsize) {
            ok = co.write(&dict[start], pending);
        } else {
            uint32_t first = dsize - start;
            ok = co.write(&dict[start], first) && co.write(&dict[0], pending - first);
        }
        pending = 0;
        return ok;
    };

    while (left > 0) {
        int c = dec->next_code();
        if (c < 0) {
            r.status = dec->overrun() ? Status::Truncated : Status::BadData;
            break;
        }
        if (c < 256) {
            dict[pos] = static_cast<uint8_t>(c);
            pos = (pos + 1) & mask;
            ++pending;
            --left;
        } else {
            uint32_t len = static_cast<uint32_t>(c - 256 + 3);
            int d = dec->next_position();
            if (d < 0) {
                r.status = Status::BadData;
                break;
            }
            if (static_cast<uint32_t>(d) >= dsize) {
                r.status = Status::BadData;
                break;
            }
            if (len > left) len = static_cast<uint32_t>(left);
            uint32_t from = (pos - static_cast<uint32_t>(d) - 1) & mask;
            for (uint32_t k = 0; k < len; ++k) {
                dict[pos] = dict[from];
                pos = (pos + 1) & mask;
                from = (from + 1) & mask;
            }
            pending += len;
            left -= len;
        }
        if (dec->overrun()) {
            r.status = Status::Truncated;
            break;
        }
        if (pending >= dsize / 2 && !flush()) {
            r.status = Status::WriteError;
            break;
        }
    }
    if (r.status == Status::Ok && !flush()) r.status = Status::WriteError;
    if (r.status != Status::Ok && dec->read_failed()) r.status = Status::ReadError;
    r.crc = co.crc();
    r.produced = co.produced();
    return r;
}

}  // namespace

DecodeResult decode_member(Method m, InStream& in, uint64_t packed_size, uint64_t orig_size,
                           OutStream& out) {
    if (m == Method::Lh0) return decode_stored(in, packed_size, orig_size, out);
    if (m == Method::Lhd) {
        DecodeResult r;
        if (orig_size != 0) r.status = Status::BadData;
        return r;
    }
    LzhParams p;
    if (!lzh_params(m, p)) {
        DecodeResult r;
        r.status = Status::Unsupported;
        return r;
    }
    return decode_lzh(p, in, packed_size, orig_size, out);
}

}  // namespace lzh
