// Archives written by other LHA programs: every header level and method they
// produced must list and decode with matching CRCs, and the sample texts in
// them serve as compression benchmarks that guard against regressions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "crc16.h"
#include "lzh_archive.h"
#include "lzh_decoder.h"
#include "test_data.h"

using namespace lzh;
namespace fs = std::filesystem;

namespace {

#ifdef SORVANE_TESTDATA_DIR
const char* const kTestData = SORVANE_TESTDATA_DIR;
#else
const char* const kTestData = nullptr;
#endif

std::vector<uint8_t> load(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> reference_archives() {
    std::vector<fs::path> out;
    if (!kTestData) return out;
    fs::path root = fs::path(kTestData) / "lzh";
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->path().extension() == ".lzh") out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

// Decodes every member; returns member path -> content.
std::map<std::string, std::vector<uint8_t>> decode_all(const std::vector<uint8_t>& arc,
                                                       std::vector<ListedMember>& ms, int* unsupported) {
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& m : ms) {
        if (m.header.is_dir) continue;
        MemoryIn in(arc);
        EXPECT_TRUE(in.skip(m.data_offset));
        std::vector<uint8_t> data;
        VectorOut vo(data);
        Status st = extract_member(m.header, in, vo);
        if (st == Status::Unsupported) {
            ++*unsupported;
            continue;
        }
        EXPECT_EQ(st, Status::Ok) << m.header.path << ": " << status_text(st);
        out[m.header.path] = data;
    }
    return out;
}

const std::vector<uint8_t>& sample(const char* member) {
    static std::map<std::string, std::vector<uint8_t>> cache;
    auto it = cache.find(member);
    if (it != cache.end()) return it->second;
    std::vector<uint8_t>& v = cache[member];
    const char* from = std::string(member) == "gpl-2" ? "lha_unix114i/h2_lh5.lzh" : "lha_unix114i/lh7_long.lzh";
    std::vector<uint8_t> arc = load(fs::path(kTestData) / "lzh" / from);
    std::vector<ListedMember> ms;
    MemoryIn in(arc);
    if (list_archive(in, ms) == Status::Ok && !ms.empty()) {
        int unsupported = 0;
        auto all = decode_all(arc, ms, &unsupported);
        v = all[member];
    }
    return v;
}

class ReferenceArchives : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kTestData) GTEST_FAIL() << "no test data folder configured";
        archives_ = reference_archives();
        if (archives_.empty()) GTEST_FAIL() << "reference archives not found under " << kTestData;
    }
    std::vector<fs::path> archives_;
};

TEST_F(ReferenceArchives, EveryArchiveListsAndDecodes) {
    int members = 0, unsupported = 0;
    std::vector<uint8_t> gpl;
    for (const auto& p : archives_) {
        SCOPED_TRACE(p.string());
        std::vector<uint8_t> arc = load(p);
        ASSERT_FALSE(arc.empty());
        std::vector<ListedMember> ms;
        MemoryIn in(arc);
        ASSERT_EQ(list_archive(in, ms), Status::Ok);
        ASSERT_FALSE(ms.empty());
        const std::string name = p.filename().string();
        if (name.size() > 2 && name[0] == 'h' && name[2] == '_') {
            for (const auto& m : ms) EXPECT_EQ(m.header.level, name[1] - '0') << m.header.path;
        }
        auto contents = decode_all(arc, ms, &unsupported);
        members += static_cast<int>(contents.size());
        // Every program compressed the same text: all copies must agree.
        auto it = contents.find("gpl-2");
        if (it != contents.end()) {
            EXPECT_EQ(it->second.size(), 18092u);
            if (gpl.empty()) gpl = it->second;
            EXPECT_TRUE(it->second == gpl);
        }
        auto hello = contents.find("subdir\\subdir2\\hello.txt");
        if (hello == contents.end()) hello = contents.find("\\subdir\\subdir2\\hello.txt");
        if (name.find("subdir") != std::string::npos && name != "h0_subdir.lzh") {
            EXPECT_NE(hello, contents.end()) << "nested path not found";
        }
    }
    EXPECT_GT(members, 40);
    // Only the -lh1- samples use a method this codec does not decode.
    EXPECT_LE(unsupported, 3);
}

TEST_F(ReferenceArchives, Lh5BeatsTheBestReferenceOnGpl2) {
    const std::vector<uint8_t>& text = sample("gpl-2");
    ASSERT_EQ(text.size(), 18092u);
    lzhtest::RoundTrip r = lzhtest::round_trip(Method::Lh5, text);
    ASSERT_EQ(r.dec.status, Status::Ok);
    EXPECT_TRUE(r.output == text);
    // The best of the reference programs needed 6,992 bytes.
    EXPECT_LE(r.packed.size(), 6980u);
}

TEST_F(ReferenceArchives, Lh7BeatsTheBestReferenceOnLongText) {
    const std::vector<uint8_t>& text = sample("long.txt");
    ASSERT_EQ(text.size(), 1241658u);
    // The best of the reference programs needed 76,488 bytes.
    lzhtest::RoundTrip r = lzhtest::round_trip(Method::Lh7, text);
    ASSERT_EQ(r.dec.status, Status::Ok);
    EXPECT_TRUE(r.output == text);
    EXPECT_LE(r.packed.size(), 75000u);
    lzhtest::RoundTrip t = lzhtest::round_trip(Method::Lh7, text, EncodeOptions::thorough());
    ASSERT_EQ(t.dec.status, Status::Ok);
    EXPECT_TRUE(t.output == text);
    EXPECT_LE(t.packed.size(), 73000u);
}

TEST_F(ReferenceArchives, ThoroughParseRoundTripsGpl2InEveryMethod) {
    const std::vector<uint8_t>& text = sample("gpl-2");
    for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        lzhtest::RoundTrip t = lzhtest::round_trip(m, text, EncodeOptions::thorough());
        ASSERT_EQ(t.dec.status, Status::Ok);
        EXPECT_TRUE(t.output == text);
        EXPECT_LE(t.packed.size(), 6900u);
    }
}

TEST_F(ReferenceArchives, TruncatedReferenceArchivesFailCleanly) {
    for (const auto& p : archives_) {
        std::vector<uint8_t> arc = load(p);
        for (size_t cut : {arc.size() / 3, arc.size() / 2, arc.size() - 2}) {
            std::vector<uint8_t> part(arc.begin(), arc.begin() + static_cast<std::ptrdiff_t>(cut));
            std::vector<ListedMember> ms;
            MemoryIn in(part);
            Status st = list_archive(in, ms);
            if (st != Status::Ok) continue;  // cut inside a header or data: reported
            // Cut exactly after a member (only the end marker lost): every
            // member listed must still lie completely inside the bytes.
            for (const auto& m : ms) EXPECT_LE(m.data_offset + m.header.packed_size, part.size());
        }
    }
}

}  // namespace
