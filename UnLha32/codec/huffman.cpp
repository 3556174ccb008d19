#include "huffman.h"

#include <algorithm>
#include <numeric>

namespace lzh {

int build_code_lengths(const uint32_t* freq, int n, int max_len, uint8_t* len) {
    std::fill(len, len + n, 0);
    std::vector<int> syms;
    syms.reserve(n);
    for (int i = 0; i < n; ++i)
        if (freq[i]) syms.push_back(i);
    if (syms.size() < 2) return syms.empty() ? 0 : syms[0];

    // Sort by frequency, then build the tree with the two-queue method.
    std::stable_sort(syms.begin(), syms.end(),
                     [&](int a, int b) { return freq[a] < freq[b]; });
    const int m = static_cast<int>(syms.size());
    std::vector<uint64_t> weight(2 * m);
    std::vector<int> parent(2 * m, -1);
    for (int i = 0; i < m; ++i) weight[i] = freq[syms[i]];
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
    std::vector<int> depth(2 * m - 1, 0);
    for (int i = 2 * m - 3; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

    // Count leaves per length, clipping to max_len, then repair the Kraft sum.
    std::vector<int> count(max_len + 1, 0);
    for (int i = 0; i < m; ++i) count[std::min(depth[i], max_len)]++;
    uint64_t kraft = 0;
    for (int l = 1; l <= max_len; ++l) kraft += static_cast<uint64_t>(count[l]) << (max_len - l);
    const uint64_t full = 1ull << max_len;
    while (kraft > full) {
        // Move one leaf from the deepest level up... by splitting a shallower
        // leaf: a leaf at length l < max_len becomes two leaves at l+1, which
        // frees room for one leaf at max_len to be removed.
        count[max_len]--;
        kraft -= 1;
        for (int l = max_len - 1; l > 0; --l) {
            if (count[l]) {
                count[l]--;
                count[l + 1] += 2;
                kraft += (1ull << (max_len - l - 1)) * 2 - (1ull << (max_len - l));
                break;
            }
        }
    }
    // Assign lengths: the most frequent symbols get the shortest codes. syms
    // is in ascending frequency order, so walk it from the end.
    int idx = m - 1;
    for (int l = 1; l <= max_len; ++l)
        for (int k = 0; k < count[l]; ++k) len[syms[idx--]] = static_cast<uint8_t>(l);
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
