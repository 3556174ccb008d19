#include "lzh_encoder.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstring>
#include <vector>

#include "bitio.h"
#include "crc16.h"
#include "huffman.h"

namespace lzh {

namespace {

constexpr int kNC = 510;
constexpr int kNT = 19;
constexpr int kCBit = 9;
constexpr int kTBit = 5;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;
constexpr int kMaxNP = 17;
constexpr size_t kSegment = 512 * 1024;
constexpr uint32_t kMaxBlockTokens = 65535;
constexpr int kHashBits = 16;

struct Token {
    uint16_t code;  // literal 0..255 or 256 + length - 3
    uint16_t pos;   // distance - 1, for matches
};

// Position code of a distance - 1: its bit length.
inline int pos_slot(uint32_t pos) { return pos ? 32 - __builtin_clz(pos) : 0; }

struct BitCounter {
    uint64_t bits = 0;
    void put(int n, uint32_t) { bits += static_cast<unsigned>(n); }
};

// Symbol statistics of a run of tokens.
struct BlockStats {
    uint32_t cf[kNC] = {};
    uint32_t pf[kMaxNP] = {};
    uint64_t extra = 0;  // extra position bits
    uint32_t tokens = 0;

    void add(const Token& t) {
        cf[t.code]++;
        ++tokens;
        if (t.code >= 256) {
            int s = pos_slot(t.pos);
            pf[s]++;
            if (s > 1) extra += static_cast<unsigned>(s - 1);
        }
    }
    void merge(const BlockStats& o) {
        for (int i = 0; i < kNC; ++i) cf[i] += o.cf[i];
        for (int i = 0; i < kMaxNP; ++i) pf[i] += o.pf[i];
        extra += o.extra;
        tokens += o.tokens;
    }
};

// Calls emit(t_symbol, extra_bit_count, extra_value) for the run-length
// coded form of the literal/length code lengths.
template <class F>
void c_len_symbols(const uint8_t* clen, int n, F emit) {
    int i = 0;
    while (i < n) {
        int k = clen[i++];
        if (k == 0) {
            int count = 1;
            while (i < n && clen[i] == 0) {
                ++i;
                ++count;
            }
            if (count <= 2) {
                for (int j = 0; j < count; ++j) emit(0, 0, 0);
            } else if (count <= 18) {
                emit(1, 4, count - 3);
            } else if (count == 19) {
                emit(0, 0, 0);
                emit(1, 4, 15);
            } else {
                emit(2, kCBit, count - 20);
            }
        } else {
            emit(k + 2, 0, 0);
        }
    }
}

// The Huffman tables of one block.
struct BlockTables {
    uint8_t clen[kNC];
    uint16_t ccode[kNC];
    int csingle;
    int cn;  // number of code lengths sent
    uint8_t tlen[kNT];
    uint16_t tcode[kNT];
    int tsingle;
    uint8_t plen[kMaxNP];
    uint16_t pcode[kMaxNP];
    int psingle;
    int np;
    int pbit;

    // Trailing zero lengths sent beyond the last used one, in the position
    // table (pad == 1) or the code-length table (pad == 2): a valid but
    // longer form, used to move the end of the stream off a byte boundary.
    int pad_p = 0, pad_t = 0;

    // With codes false only the code lengths are made: enough to count bits.
    BlockTables(const BlockStats& st, const LzhParams& p, int pad = 0, bool codes = true)
        : np(p.np), pbit(p.pbit) {
        pad_p = pad == 1 ? 1 : 0;
        pad_t = pad == 2 ? 1 : 0;
        csingle = build_code_lengths(st.cf, kNC, kMaxCodeLen, clen);
        if (codes) build_codes(clen, kNC, ccode);
        cn = kNC;
        while (cn > 0 && clen[cn - 1] == 0) --cn;
        tsingle = 0;
        std::memset(tlen, 0, sizeof tlen);
        std::memset(tcode, 0, sizeof tcode);
        if (csingle < 0) {
            uint32_t tf[kNT] = {};
            c_len_symbols(clen, cn, [&](int s, int, int) { tf[s]++; });
            tsingle = build_code_lengths(tf, kNT, kMaxCodeLen, tlen);
            if (codes) build_codes(tlen, kNT, tcode);
        }
        psingle = build_code_lengths(st.pf, np, kMaxCodeLen, plen);
        if (codes) build_codes(plen, np, pcode);
    }

    template <class Sink>
    static void write_pt_len(Sink& s, const uint8_t* len, int nn, int nbit, int i_special, int extra = 0) {
        int n = nn;
        while (n > 0 && len[n - 1] == 0) --n;
        n = std::min(nn, n + extra);
        s.put(nbit, static_cast<uint32_t>(n));
        int i = 0;
        while (i < n) {
            int k = len[i++];
            if (k <= 6) s.put(3, static_cast<uint32_t>(k));
            else s.put(k - 3, (1u << (k - 3)) - 2);
            if (i == i_special) {
                int j = i;
                while (j < 6 && j < n && len[j] == 0) ++j;
                s.put(2, static_cast<uint32_t>(j - i));
                i = j;
            }
        }
    }

    template <class Sink>
    void write_header(Sink& s, uint32_t ntokens) const {
        s.put(16, ntokens);
        if (csingle >= 0) {
            s.put(kTBit, 0);
            s.put(kTBit, 0);
            s.put(kCBit, 0);
            s.put(kCBit, static_cast<uint32_t>(csingle));
        } else {
            if (tsingle >= 0) {
                s.put(kTBit, 0);
                s.put(kTBit, static_cast<uint32_t>(tsingle));
            } else {
                write_pt_len(s, tlen, kNT, kTBit, 3, pad_t);
            }
            s.put(kCBit, static_cast<uint32_t>(cn));
            c_len_symbols(clen, cn, [&](int sym, int nb, int v) {
                s.put(tlen[sym], tcode[sym]);
                if (nb) s.put(nb, static_cast<uint32_t>(v));
            });
        }
        if (psingle >= 0) {
            s.put(pbit, 0);
            s.put(pbit, static_cast<uint32_t>(psingle));
        } else {
            write_pt_len(s, plen, np, pbit, -1, pad_p);
        }
    }

    uint64_t total_bits(const BlockStats& st) const {
        BitCounter bc;
        write_header(bc, st.tokens);
        uint64_t b = bc.bits + st.extra;
        for (int i = 0; i < kNC; ++i) b += static_cast<uint64_t>(st.cf[i]) * clen[i];
        for (int i = 0; i < np; ++i) b += static_cast<uint64_t>(st.pf[i]) * plen[i];
        return b;
    }

    template <class Sink>
    void write_tokens(Sink& s, const Token* t, size_t n) const {
        for (size_t i = 0; i < n; ++i) {
            s.put(clen[t[i].code], ccode[t[i].code]);
            if (t[i].code >= 256) {
                int sl = pos_slot(t[i].pos);
                s.put(plen[sl], pcode[sl]);
                if (sl > 1) s.put(sl - 1, t[i].pos & ((1u << (sl - 1)) - 1));
            }
        }
    }
};

uint64_t block_bits(const BlockStats& st, const LzhParams& p, int pad = 0) {
    BlockTables bt(st, p, pad, false);
    return bt.total_bits(st);
}

// Whether a block's tables can take the padding form `pad` (see BlockTables).
bool can_pad(const BlockStats& st, const LzhParams& p, int pad) {
    BlockTables bt(st, p);
    if (pad == 1) return bt.psingle < 0 && bt.plen[p.np - 1] == 0;
    return bt.csingle < 0 && bt.tsingle < 0 && bt.tlen[kNT - 1] == 0;
}

class Encoder {
public:
    Encoder(const LzhParams& p, OutStream& out, uint64_t limit, const EncodeOptions& opt)
        : p_(p), out_(out), limit_(limit), opt_(opt), bw_(bytes_) {
        dsize_ = 1u << p.dict_bits;
        max_dist_ = dsize_ - 1;
        opt_.chain_depth = std::max(1, opt_.chain_depth);
        opt_.nice_length = std::min(kMaxMatch, std::max(kMinMatch, opt_.nice_length));
        opt_.passes = std::max(1, opt_.passes);
    }

    // Sizes the window and the match finder for the input: small inputs
    // (one partial segment) get small tables, so archiving many small files
    // does not spend its time clearing memory.
    void size_tables(size_t first_segment, bool whole_input) {
        size_t cap = whole_input ? first_segment : dsize_ + kSegment;
        buf_.resize(cap + 1);
        prev_.resize(cap + 1);
        hash_bits_ = kHashBits;
        if (whole_input)
            while (hash_bits_ > 10 && (1u << (hash_bits_ - 1)) >= first_segment) --hash_bits_;
        head_.resize(1u << hash_bits_);
    }

    EncodeResult run(InStream& in) {
        EncodeResult r;
        size_t hist = 0;
        // The first segment is read into a staging buffer to learn whether
        // the input is small before any table is allocated.
        std::unique_ptr<uint8_t[]> first(new uint8_t[kSegment]);
        size_t first_got = 0;
        while (first_got < kSegment) {
            size_t k = in.read(first.get() + first_got, kSegment - first_got);
            if (k == 0) break;
            first_got += k;
        }
        if (in.failed()) {
            r.status = Status::ReadError;
            return r;
        }
        size_tables(first_got, first_got < kSegment);
        if (first_got) std::memcpy(buf_.data(), first.get(), first_got);
        first.reset();
        bool first_round = true;
        for (;;) {
            size_t got = 0;
            if (first_round) {
                got = first_got;
                first_round = false;
            } else {
                while (got < kSegment) {
                    size_t k = in.read(&buf_[hist + got], kSegment - got);
                    if (k == 0) break;
                    got += k;
                }
            }
            if (in.failed()) {
                r.status = Status::ReadError;
                return r;
            }
            if (got == 0) break;
            crc_ = crc16_update(crc_, &buf_[hist], got);
            orig_ += got;
            if (looks_incompressible(hist, hist + got)) {
                // Data that is already compressed: when it is all there is,
                // the caller stores it; otherwise its bytes go out as
                // literals without a search.
                if (orig_ == got && got < kSegment && limit_ <= got) {
                    r.status = Status::TooLarge;
                    return r;
                }
                for (size_t i = hist; i < hist + got; ++i) pending_.push_back(Token{buf_[i], 0});
            } else {
                process_segment(hist, hist + got);
            }
            Status st = emit_blocks(false);
            if (st != Status::Ok) {
                r.status = st;
                return r;
            }
            // Keep the last dictionary's worth of bytes as history.
            size_t end = hist + got;
            size_t keep = std::min<size_t>(end, dsize_);
            std::memmove(&buf_[0], &buf_[end - keep], keep);
            hist = keep;
            if (got < kSegment) break;
        }
        Status st = emit_blocks(true);
        if (st == Status::Ok) {
            r.code_bits = packed_ * 8 + bw_.bit_count();
            bw_.flush();
            st = drain();
        }
        r.status = st;
        r.crc = crc_;
        r.orig_size = orig_;
        r.packed_size = packed_;
        return r;
    }

private:
    uint32_t hash_at(size_t i) const {
        uint32_t v = (static_cast<uint32_t>(buf_[i]) << 16) | (static_cast<uint32_t>(buf_[i + 1]) << 8) |
                     buf_[i + 2];
        return (v * 2654435761u) >> (32 - hash_bits_);
    }
    // The lazy parser's tables: chains of positions with equal 4-byte hashes
    // (fewer useless candidates than 3 bytes would give) and the nearest
    // position for each 3-byte hash, for matches of exactly three bytes.
    uint32_t hash4_at(size_t i) const {
        uint32_t v = (static_cast<uint32_t>(buf_[i]) << 24) | (static_cast<uint32_t>(buf_[i + 1]) << 16) |
                     (static_cast<uint32_t>(buf_[i + 2]) << 8) | buf_[i + 3];
        return (v * 2654435761u) >> (32 - hash_bits_);
    }
    void insert(size_t i) {
        head3_[hash_at(i)] = static_cast<int32_t>(i);
        if (i + 4 <= lazy_end_) {
            uint32_t h = hash4_at(i);
            prev_[i] = head_[h];
            head_[h] = static_cast<int32_t>(i);
        }
    }

    // Binary-tree match finder: every position is the root of the tree of
    // earlier positions with the same hash, ordered by the bytes that follow
    // them. Walking down from the root meets the candidates in order of
    // growing common prefix, so all useful matches come out cheaply even in
    // long runs of repeated text. When `record` is false the position is
    // only inserted.
    int bt_insert(size_t i, size_t e, bool record) {
        const uint8_t* b = buf_.data();
        const uint8_t* cur = b + i;
        const int maxlen = static_cast<int>(std::min<size_t>(kMaxMatch, e - i));
        const size_t low = i > max_dist_ ? i - max_dist_ : 0;
        const uint32_t h = hash_at(i);
        int32_t cand = head_[h];
        head_[h] = static_cast<int32_t>(i);
        int32_t* left = &son_[2 * i];       // receives smaller suffixes
        int32_t* right = &son_[2 * i + 1];  // receives larger suffixes
        int len_left = 0, len_right = 0;
        int best = kMinMatch - 1;
        int depth = opt_.chain_depth;
        for (;;) {
            if (cand < 0 || static_cast<size_t>(cand) < low || depth-- <= 0) {
                *left = *right = -1;
                break;
            }
            const uint8_t* q = b + cand;
            int len = std::min(len_left, len_right);
            while (len < maxlen && q[len] == cur[len]) ++len;
            if (len > best) {
                best = len;
                if (record)
                    matches_.push_back((static_cast<uint32_t>(len) << 16) |
                                       static_cast<uint32_t>(i - static_cast<size_t>(cand) - 1));
            }
            if (len >= maxlen) {
                // Same bytes as far as we may look: cand is replaced by i.
                *left = son_[2 * static_cast<size_t>(cand)];
                *right = son_[2 * static_cast<size_t>(cand) + 1];
                break;
            }
            if (q[len] < cur[len]) {
                *left = cand;
                left = &son_[2 * static_cast<size_t>(cand) + 1];
                cand = *left;
                len_left = len;
            } else {
                *right = cand;
                right = &son_[2 * static_cast<size_t>(cand)];
                cand = *right;
                len_right = len;
            }
        }
        return best;
    }

    // Finds the matches at every position of buf_[s, e) and stores them as
    // (length << 16 | distance - 1), increasing in length, per position.
    void find_matches(size_t s, size_t e) {
        std::fill(head_.begin(), head_.end(), -1);
        if (son_.size() < 2 * buf_.size()) son_.resize(2 * buf_.size());
        for (size_t i = (s > dsize_ ? s - dsize_ : 0); i < s; ++i) bt_insert(i, e, false);
        const size_t n = e - s;
        moff_.assign(n + 1, 0);
        matches_.clear();
        size_t skip_until = s;
        for (size_t i = s; i < e; ++i) {
            moff_[i - s] = static_cast<uint32_t>(matches_.size());
            if (i + kMinMatch > e) continue;
            if (i < skip_until) {
                bt_insert(i, e, false);
                continue;
            }
            int best = bt_insert(i, e, true);
            if (best >= opt_.nice_length) skip_until = i + static_cast<size_t>(best);
        }
        moff_[n] = static_cast<uint32_t>(matches_.size());
    }

    // Prices in bits for the parse, from statistics or first estimates.
    void prices_from_stats(const BlockStats& st) {
        BlockTables bt(st, p_);
        for (int i = 0; i < kNC; ++i)
            cprice_[i] = bt.clen[i] ? bt.clen[i] : (bt.csingle == i ? 1 : 14);
        for (int i = 0; i < p_.np; ++i)
            pprice_[i] = (bt.plen[i] ? bt.plen[i] : (bt.psingle == i ? 1 : 8)) + (i > 1 ? i - 1 : 0);
    }
    void initial_prices(size_t s, size_t e) {
        uint32_t hist[256] = {};
        for (size_t i = s; i < e; ++i) hist[buf_[i]]++;
        const double total = static_cast<double>(e - s);
        for (int c = 0; c < 256; ++c) {
            double pr = hist[c] ? -std::log2(hist[c] / total) : 12.0;
            cprice_[c] = static_cast<uint32_t>(std::min(15.0, std::max(1.0, pr + 0.5)));
        }
        for (int l = kMinMatch; l <= kMaxMatch; ++l)
            cprice_[256 + l - kMinMatch] = 4 + static_cast<uint32_t>(std::log2(l - 1.0) * 1.5);
        for (int i = 0; i < p_.np; ++i) pprice_[i] = 3 + (i > 1 ? i - 1 : 0);
    }

    // Shortest path over the segment with the current prices.
    void parse(size_t s, size_t e, std::vector<Token>& out) {
        const size_t n = e - s;
        out.reserve(out.size() + n);
        cost_.assign(n + 1, UINT32_MAX);
        choice_.resize(n + 1);
        cost_[0] = 0;
        const uint8_t* b = buf_.data() + s;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t c0 = cost_[i];
            if (c0 == UINT32_MAX) continue;
            uint32_t c = c0 + cprice_[b[i]];
            if (c < cost_[i + 1]) {
                cost_[i + 1] = c;
                choice_[i + 1] = 0;
            }
            int from_len = kMinMatch;
            for (uint32_t k = moff_[i]; k < moff_[i + 1]; ++k) {
                const uint32_t m = matches_[k];
                const int len = static_cast<int>(m >> 16);
                const uint32_t pos = m & 0xFFFF;
                const uint32_t base = c0 + pprice_[pos_slot(pos)];
                for (int l = from_len; l <= len; ++l) {
                    uint32_t cl = base + cprice_[256 + l - kMinMatch];
                    if (cl < cost_[i + l]) {
                        cost_[i + l] = cl;
                        choice_[i + l] = (static_cast<uint32_t>(l) << 16) | pos;
                    }
                }
                from_len = len + 1;
            }
        }
        // Walk back from the end and emit the tokens in order.
        size_t start = out.size();
        size_t i = n;
        while (i > 0) {
            uint32_t ch = choice_[i];
            if (ch == 0) {
                out.push_back(Token{b[i - 1], 0});
                i -= 1;
            } else {
                uint32_t l = ch >> 16;
                out.push_back(Token{static_cast<uint16_t>(256 + l - kMinMatch),
                                    static_cast<uint16_t>(ch & 0xFFFF)});
                i -= l;
            }
        }
        std::reverse(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
    }

    // Longest match at i (nearest among equally long ones); inserts i.
    struct Match {
        int len;
        uint32_t pos;
    };
    uint32_t match_price(const Match& m) const {
        return cprice_[256 + m.len - kMinMatch] + pprice_[pos_slot(m.pos)];
    }

    Match longest_match(size_t i, size_t e) {
        Match m{0, 0};
        if (i + kMinMatch > e) return m;
        const uint8_t* b = buf_.data();
        const int maxlen = static_cast<int>(std::min<size_t>(kMaxMatch, e - i));
        const size_t low = i > max_dist_ ? i - max_dist_ : 0;
        const uint8_t* cur = b + i;
        int best = kMinMatch - 1;
        int32_t gain = 0;
        // The nearest position with the same three bytes first.
        const uint32_t h3 = hash_at(i);
        const int32_t c3 = head3_[h3];
        head3_[h3] = static_cast<int32_t>(i);
        if (c3 >= 0 && static_cast<size_t>(c3) >= low) {
            const uint8_t* q = b + c3;
            if (q[0] == cur[0] && q[1] == cur[1] && q[2] == cur[2]) {
                int len = 3;
                while (len < maxlen && q[len] == cur[len]) ++len;
                m = Match{len, static_cast<uint32_t>(i - static_cast<size_t>(c3) - 1)};
                best = len;
                gain = static_cast<int32_t>(litsum_[i + static_cast<size_t>(len) - base_] - litsum_[i - base_]) -
                       static_cast<int32_t>(match_price(m));
            }
        }
        if (i + 4 > e) return m;
        const uint32_t h = hash4_at(i);
        int32_t cand = head_[h];
        prev_[i] = cand;
        head_[h] = static_cast<int32_t>(i);
        int depth = opt_.chain_depth;
        const int nice = std::min(maxlen, opt_.nice_length);
        if (best >= nice) return m;
        while (cand >= 0 && static_cast<size_t>(cand) >= low && depth-- > 0) {
            const uint8_t* q = b + cand;
            if (q[best] == cur[best] && q[0] == cur[0] && q[1] == cur[1]) {
                int len = 2;
                while (len < maxlen && q[len] == cur[len]) ++len;
                if (len > best) {
                    // Farther matches cost more position bits: a longer one
                    // replaces a nearer one only when it saves more bits
                    // against sending the same bytes as literals.
                    Match c{len, static_cast<uint32_t>(i - static_cast<size_t>(cand) - 1)};
                    int32_t g = static_cast<int32_t>(litsum_[i + static_cast<size_t>(len) - base_] -
                                                     litsum_[i - base_]) -
                                static_cast<int32_t>(match_price(c));
                    if (m.len == 0 || g > gain) {
                        best = len;
                        m = c;
                        gain = g;
                        if (len >= nice) break;
                    }
                }
            }
            cand = prev_[cand];
        }
        return m;
    }

    // Lazy parse: a match is put off by one byte when the match found there
    // is longer (or as long and cheaper) and a literal followed by it costs
    // fewer bits over the bytes both choices cover. Deferring repeats, so a
    // run of ever longer matches is followed.
    void parse_lazy(size_t s, size_t e, std::vector<Token>& out) {
        out.reserve(e - s);
        std::fill(head_.begin(), head_.end(), -1);
        head3_.assign(head_.size(), -1);
        lazy_end_ = e;
        for (size_t i = (s > dsize_ ? s - dsize_ : 0); i < s; ++i)
            if (i + kMinMatch <= e) insert(i);
        const uint8_t* b = buf_.data();
        // Running sums of literal prices, so any span of bytes can be priced.
        base_ = s;
        litsum_.resize(e - s + 1);
        litsum_[0] = 0;
        for (size_t k = s; k < e; ++k) litsum_[k - s + 1] = litsum_[k - s] + cprice_[b[k]];
        size_t i = s;
        Match cur = longest_match(i, e);
        while (i < e) {
            if (cur.len >= kMinMatch) {
                // A short far match can cost more than its literals.
                uint32_t lits = litsum_[i + static_cast<size_t>(cur.len) - s] - litsum_[i - s];
                if (cur.len <= 4 && match_price(cur) >= lits) cur.len = 0;
            }
            if (cur.len < kMinMatch) {
                out.push_back(Token{b[i], 0});
                ++i;
                cur = longest_match(i, e);
                continue;
            }
            if (cur.len < opt_.nice_length && i + 1 < e) {
                Match next = longest_match(i + 1, e);
                if (next.len > cur.len ||
                    (next.len == cur.len && next.len >= kMinMatch && match_price(next) < match_price(cur))) {
                    // Cost of both choices over the longer span.
                    const size_t span = std::max<size_t>(static_cast<size_t>(cur.len),
                                                         static_cast<size_t>(next.len) + 1);
                    const uint32_t* ls = litsum_.data() - base_;
                    uint32_t a = match_price(cur) + ls[i + span] - ls[i + static_cast<size_t>(cur.len)];
                    uint32_t c = cprice_[b[i]] + match_price(next) + ls[i + span] -
                                 ls[i + 1 + static_cast<size_t>(next.len)];
                    if (c < a) {
                        out.push_back(Token{b[i], 0});
                        ++i;
                        cur = next;
                        continue;
                    }
                }
                // Two literals and a match at i + 2 may beat both.
                size_t inserted = i + 2;  // positions below are in the chains
                if (opt_.lazy2 && cur.len >= 3 && cur.len < 32 && i + 2 < e) {
                    Match far = longest_match(i + 2, e);
                    inserted = i + 3;
                    if (far.len > cur.len + 1) {
                        const size_t span = std::max<size_t>(static_cast<size_t>(cur.len),
                                                             static_cast<size_t>(far.len) + 2);
                        const uint32_t* ls = litsum_.data() - base_;
                        uint32_t a = match_price(cur) + ls[i + span] - ls[i + static_cast<size_t>(cur.len)];
                        uint32_t c = ls[i + 2] - ls[i] + match_price(far) + ls[i + span] -
                                     ls[i + 2 + static_cast<size_t>(far.len)];
                        if (c < a) {
                            out.push_back(Token{b[i], 0});
                            out.push_back(Token{b[i + 1], 0});
                            i += 2;
                            cur = far;
                            continue;
                        }
                    }
                }
                // Take cur; the positions up to `inserted` are in the chains.
                out.push_back(Token{static_cast<uint16_t>(256 + cur.len - kMinMatch),
                                    static_cast<uint16_t>(cur.pos)});
                for (size_t j = inserted; j < i + static_cast<size_t>(cur.len); ++j)
                    if (j + kMinMatch <= e) insert(j);
            } else {
                out.push_back(Token{static_cast<uint16_t>(256 + cur.len - kMinMatch),
                                    static_cast<uint16_t>(cur.pos)});
                for (size_t j = i + 1; j < i + static_cast<size_t>(cur.len); ++j)
                    if (j + kMinMatch <= e) insert(j);
            }
            i += static_cast<size_t>(cur.len);
            cur = longest_match(i, e);
        }
    }

    void update_prices(const std::vector<Token>& toks) {
        BlockStats st;
        for (const Token& t : toks) st.add(t);
        prices_from_stats(st);
    }

    // True when buf_[s, e) has nearly flat byte frequencies and hardly any
    // repeated four-byte strings: compressed or encrypted data, where
    // searching for matches is wasted time.
    bool looks_incompressible(size_t s, size_t e) const {
        const size_t n = e - s;
        if (n < 4096) return false;
        uint32_t hist[256] = {};
        for (size_t i = s; i < e; ++i) hist[buf_[i]]++;
        double bits = 0;
        for (uint32_t h : hist)
            if (h) bits -= h * std::log2(static_cast<double>(h) / n);
        if (bits < 7.9 * n) return false;
        // Repeats anywhere in the segment, through a small table of the
        // last string seen per hash.
        std::vector<uint32_t> seen(1u << 14, 0);
        size_t repeats = 0;
        for (size_t i = s; i + 4 <= e; ++i) {
            uint32_t v;
            std::memcpy(&v, &buf_[i], 4);
            uint32_t& slot = seen[(v * 2654435761u) >> 18];
            if (slot == v && v != 0) ++repeats;
            slot = v;
        }
        return repeats * 200 < n;
    }

    void process_segment(size_t s, size_t e) {
        std::vector<Token> toks;
        if (!opt_.optimal) {
            if (!have_prices_) initial_prices(s, e);
            // The first segment is parsed twice so that it, too, is priced
            // with real code lengths.
            int passes = have_prices_ ? 1 : opt_.lazy_first_passes;
            for (int pass = 0; pass < passes; ++pass) {
                toks.clear();
                parse_lazy(s, e, toks);
                update_prices(toks);
            }
            have_prices_ = true;
            pending_.insert(pending_.end(), toks.begin(), toks.end());
            return;
        }
        find_matches(s, e);
        // Later segments start from the code lengths of the one before.
        int passes = opt_.passes;
        if (have_prices_) passes = std::max(1, passes - opt_.carried_passes_saved);
        else initial_prices(s, e);
        for (int pass = 0; pass < passes; ++pass) {
            toks.clear();
            parse(s, e, toks);
            update_prices(toks);
        }
        have_prices_ = true;
        pending_.insert(pending_.end(), toks.begin(), toks.end());
    }

    // Cuts the pending tokens into blocks and writes them; the last block is
    // kept back unless this is the end, so it can grow with the next segment.
    Status emit_blocks(bool final) {
        if (pending_.empty()) return Status::Ok;
        // Literal-heavy data gives many tokens; coarser chunks keep the
        // number of trial table builds bounded.
        const size_t kChunk = std::max<size_t>(128, pending_.size() / 24);  // fine cuts pay off
        struct Part {
            size_t begin, end;
            BlockStats st;
            uint64_t bits;
            int pad = 0;  // table padding form, see BlockTables
        };
        std::vector<Part> parts;
        for (size_t b = 0; b < pending_.size(); b += kChunk) {
            Part pt;
            pt.begin = b;
            pt.end = std::min(pending_.size(), b + kChunk);
            for (size_t i = pt.begin; i < pt.end; ++i) pt.st.add(pending_[i]);
            pt.bits = block_bits(pt.st, p_);
            parts.push_back(pt);
        }
        // Merge neighbours while that saves bits, best saving first.
        std::vector<int64_t> gain(parts.size(), 0);
        // merged[k]: bits of parts k and k + 1 as one block (when allowed).
        std::vector<uint64_t> merged(parts.size(), 0);
        auto merged_gain = [&](size_t k) -> int64_t {
            const Part& a = parts[k];
            const Part& c = parts[k + 1];
            if (a.st.tokens + c.st.tokens > kMaxBlockTokens) return INT64_MIN;
            BlockStats m = a.st;
            m.merge(c.st);
            merged[k] = block_bits(m, p_);
            return static_cast<int64_t>(a.bits + c.bits) - static_cast<int64_t>(merged[k]);
        };
        for (size_t k = 0; k + 1 < parts.size(); ++k) gain[k] = merged_gain(k);
        while (parts.size() > 1) {
            size_t best = 0;
            for (size_t k = 1; k + 1 < parts.size(); ++k)
                if (gain[k] > gain[best]) best = k;
            if (gain[best] < 0) break;
            Part& a = parts[best];
            a.st.merge(parts[best + 1].st);
            a.end = parts[best + 1].end;
            a.bits = merged[best];
            parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(best) + 1);
            gain.erase(gain.begin() + static_cast<std::ptrdiff_t>(best) + 1);
            merged.erase(merged.begin() + static_cast<std::ptrdiff_t>(best) + 1);
            gain.resize(parts.size(), 0);
            merged.resize(parts.size(), 0);
            if (best + 1 < parts.size()) gain[best] = merged_gain(best);
            if (best > 0) gain[best - 1] = merged_gain(best - 1);
        }
        if (final) end_off_byte_boundary(parts);
        size_t count = final ? parts.size() : parts.size() - 1;
        for (size_t k = 0; k < count; ++k) {
            const Part& pt = parts[k];
            BlockTables bt(pt.st, p_, pt.pad);
            bt.write_header(bw_, pt.st.tokens);
            bt.write_tokens(bw_, &pending_[pt.begin], pt.end - pt.begin);
            Status st = drain();
            if (st != Status::Ok) return st;
        }
        size_t used = count ? parts[count - 1].end : 0;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
        return Status::Ok;
    }

    // Some decoders stop short of the last codes when the data ends exactly
    // on a byte boundary, while others refuse a byte of padding after the
    // last code. So the stream must end inside its last byte: when it would
    // not, the last block is split in two at a point where that changes the
    // length by a number of bits that is not a multiple of eight.
    template <class Parts>
    void end_off_byte_boundary(Parts& parts) {
        auto& last = parts.back();
        uint64_t lead = bw_.bit_count();
        for (size_t k = 0; k + 1 < parts.size(); ++k) lead += parts[k].bits;
        if ((lead + last.bits) % 8 != 0) return;
        BlockStats head = last.st, tail;
        const size_t tries = std::min<size_t>(64, last.end - last.begin - 1);
        for (size_t t = 1; t <= tries; ++t) {
            const Token& tok = pending_[last.end - t];
            // Move one token from the head of the split to its tail.
            BlockStats one;
            one.add(tok);
            tail.merge(one);
            for (int i = 0; i < kNC; ++i) head.cf[i] -= one.cf[i];
            for (int i = 0; i < kMaxNP; ++i) head.pf[i] -= one.pf[i];
            head.extra -= one.extra;
            head.tokens -= 1;
            uint64_t hb = block_bits(head, p_), tb = block_bits(tail, p_);
            if ((lead + hb + tb) % 8 != 0) {
                auto second = last;
                second.begin = last.end - t;
                second.st = tail;
                second.bits = tb;
                last.end = second.begin;
                last.st = head;
                last.bits = hb;
                parts.push_back(second);
                return;
            }
        }
        // No split helped: send the last block's tables in a longer form.
        for (int pad : {1, 2}) {
            if (!can_pad(last.st, p_, pad)) continue;
            const uint64_t pb = block_bits(last.st, p_, pad);
            if ((lead + pb) % 8 != 0) {
                last.pad = pad;
                last.bits = pb;
                return;
            }
        }
    }

    Status drain() {
        if (bytes_.empty()) return Status::Ok;
        packed_ += bytes_.size();
        if (packed_ > limit_) return Status::TooLarge;
        if (!out_.write(bytes_.data(), bytes_.size())) return Status::WriteError;
        bytes_.clear();
        return Status::Ok;
    }

    LzhParams p_;
    OutStream& out_;
    uint64_t limit_;
    EncodeOptions opt_;
    std::vector<uint8_t> bytes_;
    BitWriter bw_;
    uint32_t dsize_ = 0, max_dist_ = 0;
    std::vector<uint8_t> buf_;
    std::vector<int32_t> prev_, head_, son_;
    int hash_bits_ = kHashBits;
    std::vector<int32_t> head3_;  // lazy parser: nearest position per 3-byte hash
    size_t lazy_end_ = 0;         // lazy parser: end of the segment being parsed
    std::vector<uint32_t> moff_, matches_;
    std::vector<uint32_t> cost_, choice_;
    uint32_t cprice_[kNC] = {};
    uint32_t pprice_[kMaxNP] = {};
    bool have_prices_ = false;
    std::vector<uint32_t> litsum_;  // litsum_[k]: price of the literals buf_[base_, base_ + k)
    size_t base_ = 0;
    std::vector<Token> pending_;
    uint16_t crc_ = 0;
    uint64_t orig_ = 0, packed_ = 0;
};

}  // namespace

EncodeResult encode_member(Method m, InStream& in, OutStream& out, uint64_t limit,
                           const EncodeOptions& opt) {
    LzhParams p;
    if (!lzh_params(m, p) || m == Method::Lh4) {
        EncodeResult r;
        r.status = Status::Unsupported;
        return r;
    }
    auto enc = std::make_unique<Encoder>(p, out, limit, opt);
    return enc->run(in);
}

}  // namespace lzh
