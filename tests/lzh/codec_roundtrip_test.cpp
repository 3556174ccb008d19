// Encoder/decoder round trips over inputs chosen to reach the edges of the
// format: empty and tiny inputs, dictionary-sized distances, maximal match
// lengths, blocks that must be split, segment boundaries, incompressible data.
#include <gtest/gtest.h>

#include "crc16.h"
#include "test_data.h"

using namespace lzh;
using namespace lzhtest;

namespace {

class RoundTripTest : public ::testing::TestWithParam<std::tuple<Method, bool>> {
protected:
    Method method() const { return std::get<0>(GetParam()); }
    EncodeOptions options() const {
        return std::get<1>(GetParam()) ? EncodeOptions::thorough() : EncodeOptions();
    }
    void check(const std::vector<uint8_t>& data) {
        RoundTrip r = round_trip(method(), data, options());
        ASSERT_EQ(r.enc.status, Status::Ok);
        ASSERT_EQ(r.dec.status, Status::Ok) << status_text(r.dec.status);
        EXPECT_EQ(r.enc.orig_size, data.size());
        EXPECT_EQ(r.enc.packed_size, r.packed.size());
        EXPECT_EQ(r.enc.crc, crc16(data.data(), data.size()));
        EXPECT_EQ(r.dec.crc, r.enc.crc);
        ASSERT_EQ(r.output.size(), data.size());
        EXPECT_TRUE(r.output == data) << "decoded bytes differ";
    }
    int dict_size() const {
        LzhParams p;
        lzh_params(method(), p);
        return 1 << p.dict_bits;
    }
};

TEST_P(RoundTripTest, EmptyAndTinyInputs) {
    check({});
    check({0x41});
    check({0x00, 0x00});
    check({1, 2, 3});
    check({7, 7, 7, 7});
}

TEST_P(RoundTripTest, SingleRepeatedByteUsesMaximalMatches) {
    std::vector<uint8_t> data(300000, 0x5A);
    RoundTrip r = round_trip(method(), data, options());
    ASSERT_EQ(r.dec.status, Status::Ok);
    EXPECT_TRUE(r.output == data);
    // 300000 bytes in matches of 256 need well under a byte per match.
    EXPECT_LT(r.packed.size(), 600u);
}

TEST_P(RoundTripTest, TextAcrossSegmentBoundaries) {
    // Longer than the encoder's segment, so history carries over.
    check(wordy_text(1300000, 11));
}

TEST_P(RoundTripTest, IncompressibleDataIsReproduced) {
    // Random data forces literal-only blocks well beyond 65535 symbols.
    check(random_bytes(200000, 3));
}

TEST_P(RoundTripTest, IncompressibleSegmentsBetweenTextSegments) {
    // Segments of random bytes go out as literals without a search; the
    // text after them must still find its matches, also across the random
    // part (the text repeats an earlier piece).
    std::vector<uint8_t> data = wordy_text(600000, 4);
    std::vector<uint8_t> noise = random_bytes(1200000, 5);
    data.insert(data.end(), noise.begin(), noise.end());
    data.insert(data.end(), data.begin(), data.begin() + 400000);
    RoundTrip r = round_trip(method(), data, options());
    ASSERT_EQ(r.dec.status, Status::Ok);
    EXPECT_TRUE(r.output == data);
    EXPECT_LT(r.packed.size(), noise.size() + 300000u);
}

TEST_P(RoundTripTest, DistancesAtTheDictionaryLimit) {
    const int d = dict_size();
    // A random block repeated at distances just below, at and beyond the
    // dictionary size: only distances the format can express may be used.
    for (int gap : {d - 2, d - 1, d, d + 1}) {
        std::vector<uint8_t> unit = random_bytes(static_cast<size_t>(gap), static_cast<uint32_t>(gap));
        std::vector<uint8_t> data = unit;
        data.insert(data.end(), unit.begin(), unit.begin() + 1000);
        SCOPED_TRACE(gap);
        check(data);
    }
}

TEST_P(RoundTripTest, MixedContentWithShortAndLongMatches) {
    std::vector<uint8_t> data = wordy_text(50000, 5);
    std::vector<uint8_t> noise = random_bytes(20000, 9);
    data.insert(data.end(), noise.begin(), noise.end());
    data.insert(data.end(), data.begin(), data.begin() + 30000);
    data.insert(data.end(), 5000, 0);
    check(data);
}

TEST_P(RoundTripTest, StreamNeverEndsOnAByteBoundary) {
    // A run of newlines after one letter: tiny final codes, so the bit
    // length of the stream moves in small steps with the input length.
    for (size_t n = 990; n < 1030; ++n) {
        std::vector<uint8_t> data(n, '\n');
        data[0] = 'x';
        RoundTrip r = round_trip(method(), data, options());
        ASSERT_EQ(r.dec.status, Status::Ok);
        ASSERT_TRUE(r.output == data);
        EXPECT_NE(r.enc.code_bits % 8, 0u) << n;
        EXPECT_EQ(r.packed.size(), (r.enc.code_bits + 7) / 8) << "no padding byte after the last code";
    }
}

TEST_P(RoundTripTest, TinyBlocksThatCannotBeSplitStillEndOffTheBoundary) {
    // One literal, one long match, one literal: found by fuzzing, where no
    // split of the last block moved the end and the tables had to be sent
    // in a longer form.
    std::vector<uint8_t> data(78, 0xFF);
    data.push_back('#');
    EncodeOptions opt = options();
    opt.chain_depth = 2;
    RoundTrip r = round_trip(method(), data, opt);
    ASSERT_EQ(r.dec.status, Status::Ok);
    EXPECT_TRUE(r.output == data);
    EXPECT_NE(r.enc.code_bits % 8, 0u);
}

TEST_P(RoundTripTest, ShallowSearchStillRoundTrips) {
    EncodeOptions opt = options();
    opt.chain_depth = 1;
    opt.nice_length = 3;
    opt.passes = 1;
    std::vector<uint8_t> data = wordy_text(100000, 21);
    RoundTrip r = round_trip(method(), data, opt);
    ASSERT_EQ(r.dec.status, Status::Ok);
    EXPECT_TRUE(r.output == data);
}

INSTANTIATE_TEST_SUITE_P(Methods, RoundTripTest,
                         ::testing::Combine(::testing::Values(Method::Lh5, Method::Lh6, Method::Lh7),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(method_id(std::get<0>(info.param))).substr(1, 3) +
                                    (std::get<1>(info.param) ? "_optimal" : "_lazy");
                         });

TEST(EncoderLimit, StopsWhenOutputWouldExceedLimit) {
    std::vector<uint8_t> data = random_bytes(50000, 4);
    std::vector<uint8_t> packed;
    MemoryIn in(data);
    VectorOut out(packed);
    EncodeResult r = encode_member(Method::Lh5, in, out, data.size(), EncodeOptions());
    EXPECT_EQ(r.status, Status::TooLarge);
    EXPECT_LE(packed.size(), data.size());
}

TEST(EncoderLimit, RejectsMethodsWithoutEncoder) {
    std::vector<uint8_t> data(10, 1), packed;
    MemoryIn in(data);
    VectorOut out(packed);
    EXPECT_EQ(encode_member(Method::Lh4, in, out, UINT64_MAX).status, Status::Unsupported);
    EXPECT_EQ(encode_member(Method::Lh0, in, out, UINT64_MAX).status, Status::Unsupported);
}

TEST(EncoderQuality, LongerDictionaryHelpsDistantRepeats) {
    // A 20000-byte random block repeated: only -lh6-/-lh7- reach back far enough.
    std::vector<uint8_t> unit = random_bytes(20000, 8);
    std::vector<uint8_t> data = unit;
    data.insert(data.end(), unit.begin(), unit.end());
    RoundTrip r5 = round_trip(Method::Lh5, data);
    RoundTrip r7 = round_trip(Method::Lh7, data);
    ASSERT_EQ(r7.dec.status, Status::Ok);
    EXPECT_LT(r7.packed.size(), 20000u + 600u);
    EXPECT_GT(r5.packed.size(), 39000u);
}

// Corrupt input to the decoder must end in an error, never a crash; a
// decode that does finish has to produce exactly the requested length.
TEST(DecoderRobustness, TruncatedDataFails) {
    std::vector<uint8_t> data = wordy_text(40000, 2);
    for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        RoundTrip r = round_trip(m, data);
        for (size_t cut : {size_t(0), size_t(1), size_t(5), r.packed.size() / 2, r.packed.size() - 4}) {
            MemoryIn in(r.packed.data(), cut);
            std::vector<uint8_t> out;
            VectorOut vo(out);
            DecodeResult d = decode_member(m, in, cut, data.size(), vo);
            EXPECT_NE(d.status, Status::Ok) << "cut at " << cut;
            EXPECT_LE(out.size(), data.size());
        }
    }
}

TEST(DecoderRobustness, FlippedBitsAreDetected) {
    std::vector<uint8_t> data = wordy_text(30000, 6);
    RoundTrip r = round_trip(Method::Lh7, data);
    std::mt19937 rng(77);
    int detected = 0;
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> bad = r.packed;
        bad[rng() % bad.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        MemoryIn in(bad);
        std::vector<uint8_t> out;
        VectorOut vo(out);
        DecodeResult d = decode_member(Method::Lh7, in, bad.size(), data.size(), vo);
        ASSERT_LE(out.size(), data.size());
        if (d.status != Status::Ok || d.crc != r.enc.crc) {
            ++detected;
        }
    }
    // A flip in the zero padding after the last code changes nothing; every
    // other flip must be caught by the decoder or the CRC.
    EXPECT_GE(detected, 190);
}

TEST(DecoderRobustness, RandomGarbageNeverOverruns) {
    for (uint32_t seed = 0; seed < 300; ++seed) {
        std::vector<uint8_t> junk = random_bytes(1 + seed * 7, seed);
        for (Method m : {Method::Lh4, Method::Lh5, Method::Lh6, Method::Lh7}) {
            MemoryIn in(junk);
            std::vector<uint8_t> out;
            VectorOut vo(out);
            DecodeResult d = decode_member(m, in, junk.size(), 5000, vo);
            ASSERT_LE(out.size(), 5000u);
            if (d.status == Status::Ok) {
                EXPECT_EQ(out.size(), 5000u);
            }
        }
    }
}

TEST(DecoderStored, CopiesAndChecksSizes) {
    std::vector<uint8_t> data = random_bytes(70000, 12), out;
    MemoryIn in(data);
    VectorOut vo(out);
    DecodeResult d = decode_member(Method::Lh0, in, data.size(), data.size(), vo);
    EXPECT_EQ(d.status, Status::Ok);
    EXPECT_TRUE(out == data);
    EXPECT_EQ(d.crc, crc16(data.data(), data.size()));
    MemoryIn in2(data.data(), 100);
    std::vector<uint8_t> out2;
    VectorOut vo2(out2);
    EXPECT_EQ(decode_member(Method::Lh0, in2, 200, 200, vo2).status, Status::Truncated);
    EXPECT_EQ(decode_member(Method::Lh0, in2, 100, 200, vo2).status, Status::BadData);
}

}  // namespace
