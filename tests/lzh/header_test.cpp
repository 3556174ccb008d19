// Header reading and writing, and the archive helpers built on them.
#include <gtest/gtest.h>

#include <cstring>

#include "crc16.h"
#include "lzh_archive.h"
#include "lzh_header.h"
#include "test_data.h"

using namespace lzh;

namespace {

HeaderRead read_bytes(const std::vector<uint8_t>& v) {
    MemoryIn in(v);
    return read_header(in);
}

MemberHeader file_header(const std::string& path) {
    MemberHeader h;
    std::memcpy(h.method_id, "-lh7-", 5);
    h.method = Method::Lh7;
    h.path = path;
    h.packed_size = 1234;
    h.orig_size = 5678;
    h.crc = 0xBEEF;
    h.unix_time = 1700000000;
    h.attr = 0x21;
    return h;
}

// Builds a level 0 or level 1 header by hand, as DOS-era programs wrote them.
std::vector<uint8_t> old_header(int level, const std::string& name, uint32_t packed,
                                const std::vector<uint8_t>& ext = {}, uint8_t first_ext = 0) {
    std::vector<uint8_t> v = {0, 0, '-', 'l', 'h', '5', '-'};
    auto p32 = [&](uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    p32(packed + static_cast<uint32_t>(ext.size()));
    p32(999);
    p32(0x5821A000);  // DOS time
    v.push_back(0x20);
    v.push_back(static_cast<uint8_t>(level));
    v.push_back(static_cast<uint8_t>(name.size()));
    v.insert(v.end(), name.begin(), name.end());
    v.push_back(0x34);
    v.push_back(0x12);  // CRC 0x1234
    if (level == 1) {
        v.push_back('M');
        v.push_back(first_ext);
        v.push_back(0);
    }
    v[0] = static_cast<uint8_t>(v.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < v.size(); ++i) sum = static_cast<uint8_t>(sum + v[i]);
    v[1] = sum;
    v.insert(v.end(), ext.begin(), ext.end());
    return v;
}

TEST(Level2Header, RoundTripsPathTimesAndSizes) {
    MemberHeader h = file_header("dir one\\sub\\file name.txt");
    std::vector<uint8_t> raw = write_level2_header(h);
    ASSERT_FALSE(raw.empty());
    EXPECT_NE(raw.size() & 0xFF, 0u);
    EXPECT_EQ(raw[0] | (raw[1] << 8), static_cast<int>(raw.size()));
    HeaderRead r = read_bytes(raw);
    ASSERT_EQ(r.result, HeaderResult::Ok);
    EXPECT_EQ(r.header.level, 2);
    EXPECT_EQ(r.header.method, Method::Lh7);
    EXPECT_EQ(r.header.path, h.path);
    EXPECT_EQ(r.header.packed_size, 1234u);
    EXPECT_EQ(r.header.orig_size, 5678u);
    EXPECT_EQ(r.header.crc, 0xBEEF);
    EXPECT_EQ(r.header.unix_time, 1700000000);
    EXPECT_EQ(r.header.attr, 0x21);
    EXPECT_FALSE(r.header.is_dir);
    EXPECT_TRUE(r.raw == raw);
    // The directory travels in its own extension with 0xFF separators.
    const std::vector<uint8_t> dir = {'d', 'i', 'r', ' ', 'o', 'n', 'e', 0xFF, 's', 'u', 'b', 0xFF};
    EXPECT_NE(std::search(raw.begin(), raw.end(), dir.begin(), dir.end()), raw.end());
}

TEST(Level2Header, DirectoryEntriesAndLargeSizes) {
    MemberHeader d = file_header("a\\b");
    d.is_dir = true;
    std::memcpy(d.method_id, "-lhd-", 5);
    d.method = Method::Lhd;
    d.packed_size = d.orig_size = 0;
    HeaderRead r = read_bytes(write_level2_header(d));
    ASSERT_EQ(r.result, HeaderResult::Ok);
    EXPECT_TRUE(r.header.is_dir);
    EXPECT_EQ(r.header.path, "a\\b");

    MemberHeader big = file_header("big.bin");
    big.orig_size = 5000000000ull;
    big.packed_size = 4300000000ull;
    r = read_bytes(write_level2_header(big));
    ASSERT_EQ(r.result, HeaderResult::Ok);
    EXPECT_EQ(r.header.orig_size, 5000000000ull);
    EXPECT_EQ(r.header.packed_size, 4300000000ull);
}

TEST(Level2Header, SizeWithZeroLowByteIsPadded) {
    // Find a name length that would give a total size of 256 and check the
    // header grows by one byte instead.
    for (size_t n = 1; n < 300; ++n) {
        std::vector<uint8_t> raw = write_level2_header(file_header(std::string(n, 'x')));
        ASSERT_NE(raw.size() & 0xFF, 0u) << n;
        HeaderRead r = read_bytes(raw);
        ASSERT_EQ(r.result, HeaderResult::Ok) << n;
        EXPECT_EQ(r.header.path.size(), n);
    }
}

TEST(Level2Header, DoubleByteTrailBackslashIsNotASeparator) {
    // In code page 932 the character 0x95 0x5C ends in a backslash byte.
    bool lead[256] = {};
    for (int c = 0x81; c <= 0x9F; ++c) lead[c] = true;
    for (int c = 0xE0; c <= 0xFC; ++c) lead[c] = true;
    MemberHeader h = file_header("dir\\\x95\\name.txt");  // folder "dir", file "\x95\\name.txt"
    h.lead_bytes = lead;
    std::vector<uint8_t> raw = write_level2_header(h);
    const std::vector<uint8_t> name = {0x01, 0x95, '\\', 'n', 'a', 'm', 'e', '.', 't', 'x', 't'};
    const std::vector<uint8_t> dir = {0x02, 'd', 'i', 'r', 0xFF};
    EXPECT_NE(std::search(raw.begin(), raw.end(), name.begin(), name.end()), raw.end());
    EXPECT_NE(std::search(raw.begin(), raw.end(), dir.begin(), dir.end()), raw.end());
    // Without the table the same bytes split at the trail byte.
    h.lead_bytes = nullptr;
    std::vector<uint8_t> naive = write_level2_header(h);
    EXPECT_EQ(std::search(naive.begin(), naive.end(), name.begin(), name.end()), naive.end());
}

TEST(Level2Header, TooLongPathIsRefused) {
    EXPECT_TRUE(write_level2_header(file_header(std::string(70000, 'y'))).empty());
}

TEST(Level2Header, EveryCorruptedByteIsNoticedOrHarmless) {
    std::vector<uint8_t> raw = write_level2_header(file_header("x\\y.txt"));
    for (size_t i = 0; i < raw.size(); ++i) {
        std::vector<uint8_t> bad = raw;
        bad[i] ^= 0x10;
        HeaderRead r = read_bytes(bad);
        // Bytes 0 and 1 change the size (then the data is short or the CRC
        // covers different bytes); everything else is under the header CRC,
        // except the CRC extension's own type byte (26): changed, the header
        // simply has no CRC, and it must still read the same.
        if (i == 26 && r.result == HeaderResult::Ok) {
            EXPECT_EQ(r.header.path, "x\\y.txt");
            EXPECT_EQ(r.header.packed_size, 1234u);
            continue;
        }
        EXPECT_NE(r.result, HeaderResult::Ok) << "byte " << i;
    }
}

TEST(HeaderReader, EndMarkerAndCleanEnd) {
    EXPECT_EQ(read_bytes({0}).result, HeaderResult::End);
    EXPECT_EQ(read_bytes({}).result, HeaderResult::End);
}

TEST(HeaderReader, TruncatedHeadersFail) {
    std::vector<uint8_t> raw = write_level2_header(file_header("name.txt"));
    for (size_t cut = 1; cut < raw.size(); ++cut) {
        std::vector<uint8_t> part(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(read_bytes(part).result, HeaderResult::Error) << cut;
    }
}

TEST(HeaderReader, Level0NameChecksumAndSeparators) {
    std::vector<uint8_t> raw = old_header(0, "SUB/FILE.TXT", 100);
    HeaderRead r = read_bytes(raw);
    ASSERT_EQ(r.result, HeaderResult::Ok);
    EXPECT_EQ(r.header.level, 0);
    EXPECT_EQ(r.header.path, "SUB\\FILE.TXT");
    EXPECT_EQ(r.header.packed_size, 100u);
    EXPECT_EQ(r.header.crc, 0x1234);
    EXPECT_EQ(r.header.dos_time, 0x5821A000u);
    EXPECT_FALSE(r.header.has_unix_time);
    raw[10] ^= 1;  // checksum no longer matches
    EXPECT_EQ(read_bytes(raw).result, HeaderResult::Error);
}

TEST(HeaderReader, Level1ExtensionsAreNotMemberData) {
    // Two extensions of 7 bytes each: directory "dir" (0xFF-terminated) and
    // the Unix time 0x12345678; each ends with the size of the next one.
    const std::vector<uint8_t> chain = {0x02, 'd', 'i', 'r', 0xFF, 7, 0,
                                        0x54, 0x78, 0x56, 0x34, 0x12, 0, 0};
    std::vector<uint8_t> raw = old_header(1, "f.c", 50, chain, 7);
    MemoryIn in(raw);
    HeaderRead r = read_header(in);
    ASSERT_EQ(r.result, HeaderResult::Ok) << status_text(r.error);
    EXPECT_EQ(r.header.level, 1);
    EXPECT_EQ(r.header.path, "dir\\f.c");
    EXPECT_EQ(r.header.packed_size, 50u) << "extensions count as packed size in level 1";
    EXPECT_TRUE(r.header.has_unix_time);
    EXPECT_EQ(r.header.unix_time, 0x12345678);
    EXPECT_EQ(in.position(), raw.size());
    // A chain that claims more bytes than the archive holds is an error.
    std::vector<uint8_t> cut(raw.begin(), raw.end() - 3);
    EXPECT_EQ(read_bytes(cut).result, HeaderResult::Error);
}

TEST(HeaderReader, UnknownLevelIsUnsupported) {
    std::vector<uint8_t> raw = write_level2_header(file_header("x"));
    raw[20] = 3;
    HeaderRead r = read_bytes(raw);
    EXPECT_EQ(r.result, HeaderResult::Error);
    EXPECT_EQ(r.error, Status::Unsupported);
}

// The archive helpers: members written, listed back and extracted.
TEST(ArchiveHelpers, WriteListExtract) {
    std::vector<uint8_t> text = lzhtest::wordy_text(30000, 1);
    std::vector<uint8_t> noise = lzhtest::random_bytes(5000, 2);
    std::vector<uint8_t> arc;
    VectorOut out(arc);
    MemberHeader h;
    h.path = "docs";
    ASSERT_EQ(write_dir_member(out, h), Status::Ok);
    h.path = "docs\\text.txt";
    h.orig_size = text.size();
    MemoryIn tin(text);
    MemberHeader written;
    ASSERT_EQ(write_file_member(out, h, tin, Method::Lh5, EncodeOptions(), &written), Status::Ok);
    EXPECT_EQ(written.method, Method::Lh5);
    h.path = "noise.bin";
    h.orig_size = noise.size();
    MemoryIn nin(noise);
    ASSERT_EQ(write_file_member(out, h, nin, Method::Lh7, EncodeOptions(), &written), Status::Ok);
    EXPECT_EQ(written.method, Method::Lh0) << "random data must be stored";
    h.path = "empty";
    h.orig_size = 0;
    std::vector<uint8_t> none;
    MemoryIn ein(none);
    ASSERT_EQ(write_file_member(out, h, ein, Method::Lh7), Status::Ok);
    ASSERT_EQ(write_archive_end(out), Status::Ok);
    ASSERT_TRUE(out.truncate());

    std::vector<ListedMember> ms;
    MemoryIn ain(arc);
    ASSERT_EQ(list_archive(ain, ms), Status::Ok);
    ASSERT_EQ(ms.size(), 4u);
    EXPECT_TRUE(ms[0].header.is_dir);
    EXPECT_EQ(ms[1].header.path, "docs\\text.txt");
    EXPECT_EQ(ms[2].header.packed_size, noise.size());
    EXPECT_EQ(std::memcmp(ms[3].header.method_id, "-lh0-", 5), 0);
    const std::vector<uint8_t>* expect[] = {nullptr, &text, &noise, &none};
    for (size_t i = 1; i < 4; ++i) {
        MemoryIn din(arc);
        ASSERT_TRUE(din.skip(ms[i].data_offset));
        std::vector<uint8_t> got;
        VectorOut gout(got);
        ASSERT_EQ(extract_member(ms[i].header, din, gout), Status::Ok);
        EXPECT_TRUE(got == *expect[i]) << i;
    }
    // A changed byte in the member data is caught by the CRC.
    std::vector<uint8_t> bad = arc;
    bad[ms[2].data_offset + 100] ^= 0x40;
    MemoryIn bin(bad);
    ASSERT_TRUE(bin.skip(ms[2].data_offset));
    NullOut nout;
    EXPECT_EQ(extract_member(ms[2].header, bin, nout), Status::CrcMismatch);
    // An archive cut inside member data is reported.
    std::vector<uint8_t> cut(arc.begin(), arc.begin() + static_cast<std::ptrdiff_t>(ms[2].data_offset + 10));
    std::vector<ListedMember> ms2;
    MemoryIn cin(cut);
    EXPECT_EQ(list_archive(cin, ms2), Status::Truncated);
}

}  // namespace
