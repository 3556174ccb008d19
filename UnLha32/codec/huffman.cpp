#include "huffman.h"

#include <algorithm>

namespace lzh {

int build_code_lengths(const uint32_t* freq, int n, int max_len, uint8_t* len) {
    // Fixed-size work arrays: n is at most 510 for every LZH table.
    constexpr int kMaxSyms = 512;
    if (n > kMaxSyms || max_len > kMaxCodeLen) return -2;
    std::fill(len, len + n, 0);
    // Sort symbols by (frequency, symbol), then build the tree with the
    // two-queue method.
    uint64_t keys[kMaxSyms];
    int m = 0;
    for (int i = 0; i < n; ++i)
        if (freq[i]) keys[m++] = (static_cast<uint64_t>(freq[i]) << 16) | static_cast<unsigned>(i);
    if (m < 2) return m == 0 ? 0 : static_cast<int>(keys[0] & 0xFFFF);
    // Small counts (the common case when blocks are being sized) are sorted
    // by counting; the order is the same: by frequency, then symbol.
    uint32_t maxf = 0;
    for (int i = 0; i < m; ++i) maxf = std::max(maxf, static_cast<uint32_t>(keys[i] >> 16));
    if (maxf < 1024) {
        uint16_t start[1025] = {};
        for (int i = 0; i < m; ++i) start[(keys[i] >> 16) + 1]++;
        for (uint32_t f = 1; f <= maxf; ++f) start[f] = static_cast<uint16_t>(start[f] + start[f - 1]);
        uint64_t sorted[kMaxSyms];
        for (int i = 0; i < m; ++i) sorted[start[keys[i] >> 16]++] = keys[i];
        std::copy(sorted, sorted + m, keys);
    } else {
        std::sort(keys, keys + m);
    }
    uint64_t weight[2 * kMaxSyms];
    int parent[2 * kMaxSyms];
    for (int i = 0; i < m; ++i) weight[i] = keys[i] >> 16;
    int leaf = 0, node = m, next = m;
    auto pick = [&]() {
        if (leaf < m && (node >= next || weight[leaf] <= weight[node])) return leaf++;
        return node++;
    };
    for (; next < 2 * m - 1; ++next) {
        int a = pick();
        int b = pick();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
    }
    // Depths: the root is node 2m-2; parents always have higher indices.
    int depth[2 * kMaxSyms];
    depth[2 * m - 2] = 0;
    for (int i = 2 * m - 3; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

    // Count leaves per length, clipping to max_len, then repair the Kraft sum.
    int count[kMaxCodeLen + 2] = {};
    for (int i = 0; i < m; ++i) count[std::min(depth[i], max_len)]++;
    uint64_t kraft = 0;
    for (int l = 1; l <= max_len; ++l) kraft += static_cast<uint64_t>(count[l]) << (max_len - l);
    const uint64_t full = 1ull << max_len;
    while (kraft > full) {
        // Remove one leaf at max_len and split a shorter leaf into two one
        // level deeper: the code space used drops by one unit each time.
        count[max_len]--;
        kraft -= 1;
        for (int l = max_len - 1; l > 0; --l) {
            if (count[l]) {
                count[l]--;
                count[l + 1] += 2;
                break;
            }
        }
    }
    // Assign lengths: the most frequent symbols get the shortest codes; keys
    // are in ascending frequency order, so walk them from the end.
    int idx = m - 1;
    for (int l = 1; l <= max_len; ++l)
        for (int k = 0; k < count[l]; ++k) len[keys[idx--] & 0xFFFF] = static_cast<uint8_t>(l);
    return -1;
}

void build_codes(const uint8_t* len, int n, uint16_t* code) {
    uint32_t count[kMaxCodeLen + 1] = {};
    for (int i = 0; i < n; ++i) count[len[i]]++;
    uint32_t start[kMaxCodeLen + 2] = {};
    count[0] = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) start[l + 1] = (start[l] + count[l]) << 1;
    for (int i = 0; i < n; ++i)
        code[i] = len[i] ? static_cast<uint16_t>(start[len[i]]++) : 0;
}

void HuffDecoder::set_single(int symbol) { single_ = symbol; }

bool HuffDecoder::build(const uint8_t* len, int n) {
    single_ = -1;
    std::fill(std::begin(count_), std::end(count_), 0u);
    for (int i = 0; i < n; ++i) {
        if (len[i] > kMaxCodeLen) return false;
        count_[len[i]]++;
    }
    count_[0] = 0;
    uint64_t kraft = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) kraft += static_cast<uint64_t>(count_[l]) << (kMaxCodeLen - l);
    if (kraft > (1ull << kMaxCodeLen)) return false;

    uint32_t code = 0, index = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) {
        first_code_[l] = code;
        first_index_[l] = index;
        code = (code + count_[l]) << 1;
        index += count_[l];
    }
    sorted_.assign(index, 0);
    uint32_t fill[kMaxCodeLen + 1];
    std::copy(std::begin(first_index_), std::end(first_index_), fill);
    for (int i = 0; i < n; ++i)
        if (len[i]) sorted_[fill[len[i]]++] = static_cast<uint16_t>(i);

    fast_.assign(1u << kFastBits, 0xFFFFFFFFu);
    for (int l = 1; l <= kFastBits; ++l) {
        for (uint32_t k = 0; k < count_[l]; ++k) {
            uint32_t c = first_code_[l] + k;
            uint32_t sym = sorted_[first_index_[l] + k];
            uint32_t lo = c << (kFastBits - l), hi = (c + 1) << (kFastBits - l);
            for (uint32_t j = lo; j < hi; ++j) fast_[j] = (static_cast<uint32_t>(l) << 16) | sym;
        }
    }
    return true;
}

int HuffDecoder::decode_slow(BitReader& br, uint32_t bits) const {
    for (int l = kFastBits + 1; l <= kMaxCodeLen; ++l) {
        uint32_t c = bits >> (16 - l);
        if (c - first_code_[l] < count_[l]) {
            br.skip(l);
            return sorted_[first_index_[l] + (c - first_code_[l])];
        }
    }
    return -1;
}

}  // namespace lzh
