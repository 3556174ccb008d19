// The sorted index of a target listing: it must answer exactly what the
// linear search with the platform's comparison answers (the first record in
// listing order whose name equals the name ignoring case), for names whose
// case folds beyond A to Z and for names that only a wrong fold would take
// for equal; and a copy under "Never." must therefore never write over a
// target that the platform takes for the same name.
#include <gtest/gtest.h>

#include "engine/ListingIndex.h"
#include "EngineFakes.h"

#include <cstring>
#include <random>

using namespace sorvane;
using namespace sorvane::test;

namespace {

// A listing block built by hand in the documented layout, so that it can
// hold what no folder here can: names equal but for case, in any order.
Listing makeListing(const std::vector<std::pair<std::wstring, uint8_t>>& entries)
{
    std::vector<uint8_t> bytes(4, 0);
    uint32_t count = 0;
    for (const auto& [name, kind] : entries) {
        ListingRecord record = {};
        record.kind = kind;
        record.nameBytes = listingNameBytes(name.size());
        record.size = count; // tells the records apart
        record.attributes = kind == kListingFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        const size_t at = bytes.size();
        bytes.resize(at + kListingRecordFixedBytes + record.nameBytes, 0);
        std::memcpy(bytes.data() + at, &record, kListingRecordFixedBytes);
        std::memcpy(bytes.data() + at + kListingRecordFixedBytes, name.data(), name.size() * sizeof(wchar_t));
        ++count;
    }
    std::memcpy(bytes.data(), &count, 4);
    auto* block = static_cast<uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(block, bytes.data(), bytes.size());
    Listing listing;
    listing.adopt(block, bytes.size());
    return listing;
}

const ListingRecord* linear(const Listing& listing, const std::wstring& name)
{
    return findInListing(name.c_str(), listing.data(), listing.bytes());
}

// Pairs that decide whether a fold is the platform's: equal ignoring case
// (É/é, Σ/σ/ς, ǅ/ǆ, Ω/ω, Ж/ж) and never equal (ß/SS, the Kelvin sign K
// and k, ﬁ/FI, i with and without its dot where the platform keeps them
// apart): the index asks the platform, so each answer is CompareStringOrdinal's.
const wchar_t* const kTrickyNames[] = {
    L"\u00C9t\u00E9.txt", L"\u00E9T\u00C9.TXT", L"stra\u00DFe.txt", L"STRASSE.TXT", L"strasse.txt",
    L"\u03A3\u03BF\u03C6\u03AF\u03B1.txt", L"\u03C3\u03BF\u03C6\u03AF\u03B1.txt", L"\u03C2\u03BF\u03C6\u03AF\u03B1.txt",
    L"\u01C5.txt", L"\u01C6.txt", L"\u01C4.txt", L"\u212A.txt", L"k.txt", L"K.txt", L"\uFB01le.txt", L"FILE.txt",
    L"\u0130.txt", L"\u0131.txt", L"i.txt", L"I.txt", L"\u2126.txt", L"\u03C9.txt", L"\u0416.txt", L"\u0436.txt",
    L"a.txt", L"A.TXT", L"b", L"B", L"\U0001F600.txt", L"\u00FF.txt", L"\u0178.txt", L"x", L"xy", L"y",
};

TEST(ListingIndex, AnswersExactlyAsTheLinearSearchWithThePlatformComparison)
{
    std::vector<std::pair<std::wstring, uint8_t>> entries;
    for (const wchar_t* name : kTrickyNames) entries.push_back({name, kListingFile});
    // A folder and a file that compare equal: the folder comes first.
    entries.insert(entries.begin(), {L"Docs", kListingFolder});
    entries.push_back({L"docs", kListingFile});
    const Listing listing = makeListing(entries);
    ListingIndex index;
    index.build(listing);
    ASSERT_TRUE(index.indexed());

    std::vector<std::wstring> queries(std::begin(kTrickyNames), std::end(kTrickyNames));
    for (const wchar_t* extra : {L"DOCS", L"Docs", L"STRA\u00DFE.TXT", L"Strasse.Txt", L"\u00C9T\u00C9.txt", L"",
                                 L"missing.txt", L"a.tx", L"a.txt ", L"\u03A3\u039F\u03A6\u0399\u0391.TXT"}) {
        queries.push_back(extra);
    }
    for (const std::wstring& query : queries) {
        EXPECT_EQ(index.find(query.c_str()), linear(listing, query)) << "query of " << query.size() << " units";
    }

    // The two decisive pairs, stated: É/é are one name, ß/SS two.
    const ListingRecord* accented = index.find(L"\u00E9t\u00E9.TXT");
    ASSERT_NE(accented, nullptr);
    EXPECT_EQ(accented->size, 1u) << "the first of the two equal names in listing order";
    const ListingRecord* sharp = index.find(L"STRA\u00DFE.txt");
    ASSERT_NE(sharp, nullptr);
    EXPECT_EQ(sharp->size, 3u) << "straße.txt itself, never STRASSE.TXT";
    const ListingRecord* folder = index.find(L"DOCS");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->kind, kListingFolder);
}

TEST(ListingIndex, RandomListingsAgreeWithTheLinearSearch)
{
    const wchar_t alphabet[] = L"aAbB\u00E9\u00C9\u00DF\u03C3\u03A3\u03C2\u0131I\u212Ak._";
    std::mt19937 random(1515);
    for (int round = 0; round < 40; ++round) {
        std::vector<std::pair<std::wstring, uint8_t>> entries;
        const size_t count = 16 + random() % 200;
        for (size_t i = 0; i < count; ++i) {
            std::wstring name;
            const size_t length = 1 + random() % 4;
            for (size_t c = 0; c < length; ++c) name += alphabet[random() % (std::size(alphabet) - 1)];
            entries.push_back({name, static_cast<uint8_t>(random() % 5 == 0 ? kListingFolder : kListingFile)});
        }
        const Listing listing = makeListing(entries);
        ListingIndex index;
        index.build(listing);
        ASSERT_TRUE(index.indexed());
        for (int q = 0; q < 200; ++q) {
            std::wstring query;
            const size_t length = 1 + random() % 4;
            for (size_t c = 0; c < length; ++c) query += alphabet[random() % (std::size(alphabet) - 1)];
            ASSERT_EQ(index.find(query.c_str()), linear(listing, query)) << "round " << round << " query " << q;
        }
    }
}

TEST(ListingIndex, SmallListingsAreSearchedAsTheyAre)
{
    const Listing listing = makeListing({{L"One.txt", kListingFile}, {L"two.txt", kListingFile}});
    ListingIndex index;
    index.build(listing);
    EXPECT_FALSE(index.indexed());
    ASSERT_NE(index.find(L"ONE.TXT"), nullptr);
    EXPECT_EQ(index.find(L"three.txt"), nullptr);
    ListingIndex empty;
    EXPECT_EQ(empty.find(L"x"), nullptr) << "no listing, nothing found";
}

// A copy under "Never." onto a folder of many files: the target of the
// same name in the platform's sense is found and kept; a name that only a
// wrong fold would take for it is a new file. The folder is large enough
// that the index is used.
TEST(ListingIndex, NeverKeepsEveryTargetThePlatformTakesForTheSameName)
{
    TempFolder root;
    const std::wstring src = root / L"src";
    const std::wstring dst = root / L"dst";
    ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(dst.c_str(), nullptr));
    for (int i = 0; i < 40; ++i) {
        const std::wstring name = L"filler" + std::to_wstring(i) + L".txt";
        ASSERT_TRUE(writeBytes(dst + L"\\" + name, "old filler"));
        ASSERT_TRUE(writeBytes(src + L"\\" + name, "new filler"));
    }
    // Targets and their sources, equal for the platform.
    ASSERT_TRUE(writeBytes(dst + L"\\\u00C9t\u00E9.txt", "old accented"));
    ASSERT_TRUE(writeBytes(src + L"\\\u00E9T\u00C9.TXT", "new accented"));
    ASSERT_TRUE(writeBytes(dst + L"\\\u03A3\u039F\u03A6\u0399\u0391.txt", "old greek"));
    ASSERT_TRUE(writeBytes(src + L"\\\u03C3\u03BF\u03C6\u03B9\u03B1.txt", "new greek"));
    // Names that are different for the platform: both stay, both exist.
    ASSERT_TRUE(writeBytes(dst + L"\\STRASSE.txt", "old strasse"));
    ASSERT_TRUE(writeBytes(src + L"\\stra\u00DFe.txt", "new strasse"));

    EngineRun run(kOperationCopy);
    run.settings.overwrite = 2; // "Never."
    run.settings.setSources(src.c_str());
    run.settings.setTarget(dst.c_str());
    run.both();

    EXPECT_EQ(readBytes(dst + L"\\filler7.txt"), "old filler");
    EXPECT_EQ(readBytes(dst + L"\\\u00C9t\u00E9.txt"), "old accented");
    EXPECT_EQ(readBytes(dst + L"\\\u03A3\u039F\u03A6\u0399\u0391.txt"), "old greek");
    EXPECT_EQ(readBytes(dst + L"\\STRASSE.txt"), "old strasse");
    EXPECT_EQ(readBytes(dst + L"\\stra\u00DFe.txt"), "new strasse") << "a new name is copied";
    EXPECT_EQ(run.settings.completedFiles, 1u);
    EXPECT_EQ(run.settings.failedFiles, 0u);
    EXPECT_EQ(run.settings.totalFiles, 1u) << "skipped files are not counted";
}

} // namespace
