// Format-level checks: CRC-16, Huffman code construction and limits, and
// decoding of bit streams assembled by hand from the block layout.
#include <gtest/gtest.h>

#include <string>

#include "crc16.h"
#include "huffman.h"
#include "lzh_decoder.h"
#include "test_data.h"

using namespace lzh;

namespace {

// Packs a string of '0'/'1' characters (blanks ignored) MSB first.
std::vector<uint8_t> pack_bits(const std::string& s) {
    std::vector<uint8_t> v;
    int n = 0;
    uint8_t cur = 0;
    for (char c : s) {
        if (c != '0' && c != '1') continue;
        cur = static_cast<uint8_t>((cur << 1) | (c == '1'));
        if (++n == 8) {
            v.push_back(cur);
            n = 0;
            cur = 0;
        }
    }
    if (n) v.push_back(static_cast<uint8_t>(cur << (8 - n)));
    v.push_back(0);
    v.push_back(0);
    return v;
}

std::string decode_text(Method m, const std::vector<uint8_t>& packed, size_t n, Status* st = nullptr) {
    MemoryIn in(packed);
    std::vector<uint8_t> out;
    VectorOut vo(out);
    DecodeResult r = decode_member(m, in, packed.size(), n, vo);
    if (st) *st = r.status;
    return std::string(out.begin(), out.end());
}

TEST(Crc16, MatchesTheStandardCheckValue) {
    const char* s = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const uint8_t*>(s), 9), 0xBB3D);
    uint16_t part = crc16(reinterpret_cast<const uint8_t*>(s), 4);
    EXPECT_EQ(crc16_update(part, reinterpret_cast<const uint8_t*>(s) + 4, 5), 0xBB3D);
}

uint64_t kraft_sum(const uint8_t* len, int n) {
    uint64_t k = 0;
    for (int i = 0; i < n; ++i)
        if (len[i]) k += 1ull << (kMaxCodeLen - len[i]);
    return k;
}

TEST(HuffmanLengths, FibonacciFrequenciesAreLimitedTo16Bits) {
    uint32_t freq[30];
    freq[0] = freq[1] = 1;
    for (int i = 2; i < 30; ++i) freq[i] = freq[i - 1] + freq[i - 2];
    uint8_t len[30];
    ASSERT_EQ(build_code_lengths(freq, 30, 16, len), -1);
    for (int i = 0; i < 30; ++i) {
        EXPECT_GE(len[i], 1);
        EXPECT_LE(len[i], 16);
    }
    EXPECT_EQ(kraft_sum(len, 30), 1ull << 16) << "code must stay complete";
}

TEST(HuffmanLengths, CompleteAndOrderedByFrequency) {
    std::mt19937 rng(5);
    for (int round = 0; round < 50; ++round) {
        uint32_t freq[510] = {};
        int n = 2 + static_cast<int>(rng() % 509);
        for (int i = 0; i < n; ++i) freq[i] = (rng() % 4 == 0) ? 0 : 1 + rng() % (1u << (rng() % 20));
        freq[0] = freq[0] ? freq[0] : 1;
        freq[n - 1] = freq[n - 1] ? freq[n - 1] : 1;
        uint8_t len[510];
        ASSERT_EQ(build_code_lengths(freq, n, 16, len), -1);
        EXPECT_EQ(kraft_sum(len, n), 1ull << 16);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(freq[i] == 0, len[i] == 0);
            for (int j = 0; j < n; ++j)
                if (freq[i] && freq[j] && freq[i] > freq[j]) {
                    ASSERT_LE(len[i], len[j]);
                }
        }
    }
}

TEST(HuffmanLengths, SingleOrNoSymbolUsesTheSingleForm) {
    uint32_t freq[19] = {};
    uint8_t len[19];
    EXPECT_EQ(build_code_lengths(freq, 19, 16, len), 0);
    freq[7] = 42;
    EXPECT_EQ(build_code_lengths(freq, 19, 16, len), 7);
    for (uint8_t l : len) EXPECT_EQ(l, 0);
}

TEST(HuffmanCodes, CanonicalCodesDecodeToTheirSymbols) {
    const uint8_t len[8] = {3, 3, 3, 3, 3, 2, 4, 4};
    uint16_t code[8];
    build_codes(len, 8, code);
    // Shortest first, equal lengths in symbol order.
    EXPECT_EQ(code[5], 0b00);
    EXPECT_EQ(code[0], 0b010);
    EXPECT_EQ(code[4], 0b110);
    EXPECT_EQ(code[6], 0b1110);
    EXPECT_EQ(code[7], 0b1111);
    HuffDecoder dec;
    ASSERT_TRUE(dec.build(len, 8));
    std::vector<uint8_t> bytes;
    BitWriter bw(bytes);
    for (int s = 0; s < 8; ++s) bw.put(len[s], code[s]);
    bw.flush();
    MemoryIn in(bytes);
    BitReader br(in, bytes.size());
    for (int s = 0; s < 8; ++s) EXPECT_EQ(dec.decode(br), s);
}

TEST(HuffmanCodes, LongCodesUseTheSlowPath) {
    // Lengths 1..15 plus two of 16: codes longer than the fast table.
    uint8_t len[17];
    for (int i = 0; i < 15; ++i) len[i] = static_cast<uint8_t>(i + 1);
    len[15] = len[16] = 16;
    uint16_t code[17];
    build_codes(len, 17, code);
    HuffDecoder dec;
    ASSERT_TRUE(dec.build(len, 17));
    std::vector<uint8_t> bytes;
    BitWriter bw(bytes);
    for (int s = 16; s >= 0; --s) bw.put(len[s], code[s]);
    bw.flush();
    MemoryIn in(bytes);
    BitReader br(in, bytes.size());
    for (int s = 16; s >= 0; --s) EXPECT_EQ(dec.decode(br), s);
}

TEST(HuffmanCodes, DecoderRejectsImpossibleLengths) {
    HuffDecoder dec;
    const uint8_t over[3] = {1, 1, 1};
    EXPECT_FALSE(dec.build(over, 3));
    const uint8_t too_long[2] = {1, 17};
    EXPECT_FALSE(dec.build(too_long, 2));
    // An incomplete code is accepted, but its unused code reads as an error.
    const uint8_t partial[2] = {1, 0};
    ASSERT_TRUE(dec.build(partial, 2));
    std::vector<uint8_t> ones = {0xFF, 0xFF, 0xFF};
    MemoryIn in(ones);
    BitReader br(in, ones.size());
    EXPECT_EQ(dec.decode(br), -1);
}

// A block whose three tables are all in the single-symbol form: no bits per
// symbol at all.
TEST(HandBuiltStream, SingleSymbolTables) {
    auto packed = pack_bits(
        "0000000000000101"  // block of 5 codes
        "00000 00000"       // code-length code: single symbol 0
        "000000000 001000001"  // literal/length code: single symbol 'A'
        "0000 0000");          // position code: single symbol 0
    EXPECT_EQ(decode_text(Method::Lh5, packed, 5), "AAAAA");
}

// Two literals with one-bit codes; the code lengths travel through a
// code-length code that uses a 9-bit zero run and the three-entry special.
TEST(HandBuiltStream, CodeLengthTablesAndZeroRuns) {
    auto packed = pack_bits(
        "0000000000000100"         // block of 4 codes
        "00100 000 000 001 00 001"  // 4 code-length lengths: 0 0 1 (no zeros) 1
        "001100011"                 // 99 literal/length lengths follow
        "0 001001101"               // 97 zeros (20 + 77)
        "1 1"                       // 'a' and 'b' get length 1
        "0000 0000"                 // position code: single symbol 0
        "0 1 1 0");                 // a b b a
    EXPECT_EQ(decode_text(Method::Lh5, packed, 4), "abba");
    // -lh7- sends the position code count with 5 bits instead of 4.
    auto packed7 = pack_bits(
        "0000000000000100 00100 000 000 001 00 001 001100011 0 001001101 1 1"
        "00000 00000 0 1 1 0");
    EXPECT_EQ(decode_text(Method::Lh7, packed7, 4), "abba");
}

TEST(HandBuiltStream, RejectsOutOfRangeTableCounts) {
    Status st;
    // 20 code-length lengths announced, only 19 exist.
    decode_text(Method::Lh5, pack_bits("0000000000000001 10100 000"), 1, &st);
    EXPECT_EQ(st, Status::BadData);
    // Block of zero codes.
    decode_text(Method::Lh5, pack_bits("0000000000000000 00000 00000"), 1, &st);
    EXPECT_NE(st, Status::Ok);
    // Single literal/length symbol 510 does not exist.
    decode_text(Method::Lh5, pack_bits("0000000000000001 00000 00000 000000000 111111110 0000 0000"), 1,
                &st);
    EXPECT_EQ(st, Status::BadData);
}

TEST(HandBuiltStream, PositionSymbolBeyondTheMethodsRangeIsRefused) {
    // Single length code 256 (length 3) and the single position symbol 14,
    // which does not exist in -lh5- (13 is the largest).
    Status st;
    decode_text(Method::Lh5,
                pack_bits("0000000000000001 00000 00000 000000000 100000000 0000 1110"), 3, &st);
    EXPECT_EQ(st, Status::BadData);
}

}  // namespace
