// The listing block: packed records in the stated layout, folders before
// files, growth past the first 2048 bytes, what is left out, and the
// case-insensitive lookup, on real folders.
#include <gtest/gtest.h>

#include "engine/Listing.h"
#include "EngineFakes.h"

#include <cstring>
#include <set>

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct Entry {
    std::wstring name;
    uint8_t kind;
    uint64_t size;
    uint32_t attributes;
    FILETIME lastWrite;
    uint32_t nameBytes;
    size_t offset;
};

// Reads the block field by field at the documented offsets, independently
// of the record struct, so that a layout change shows.
std::vector<Entry> decode(const Listing& listing)
{
    std::vector<Entry> entries;
    const uint8_t* block = listing.data();
    uint32_t count;
    std::memcpy(&count, block, 4);
    size_t offset = 4;
    for (uint32_t i = 0; i < count; ++i) {
        Entry e;
        e.offset = offset;
        e.kind = block[offset];
        std::memcpy(&e.nameBytes, block + offset + 1, 4);
        std::memcpy(&e.lastWrite, block + offset + 5, 8);
        std::memcpy(&e.attributes, block + offset + 13, 4);
        std::memcpy(&e.size, block + offset + 17, 8);
        std::vector<wchar_t> name(e.nameBytes / 2);
        std::memcpy(name.data(), block + offset + 29, e.nameBytes);
        e.name = name.data();
        entries.push_back(e);
        offset += 29 + e.nameBytes;
    }
    EXPECT_EQ(offset, listing.bytes()) << "the records fill the block exactly";
    return entries;
}

TEST(Listing, RecordLayoutAndOrder)
{
    TempFolder folder;
    // Names of odd and even lengths: the padding differs.
    ASSERT_TRUE(writeBytes(folder / L"a.txt", "12345"));           // 5 characters
    ASSERT_TRUE(writeBytes(folder / L"bb.txt", std::string(2048, 'x')));
    ASSERT_TRUE(::CreateDirectoryW((folder / L"sub1").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(folder / L"c", ""));
    ASSERT_TRUE(::CreateDirectoryW((folder / L"sub22").c_str(), nullptr));
    const FILETIME stamp = fileTimeOf(2020, 5, 6);
    ASSERT_TRUE(setWriteTime(folder / L"a.txt", stamp));
    ASSERT_TRUE(makeReadOnly(folder / L"c"));

    Listing listing;
    ASSERT_TRUE(listDirectory((folder.path() + L"\\*.*").c_str(), listing, FILE_ATTRIBUTE_REPARSE_POINT));
    const auto entries = decode(listing);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(listing.count(), 5u);

    // Folders first, then files; never "." or "..".
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[1].kind, 1);
    std::set<std::wstring> folders = {entries[0].name, entries[1].name};
    EXPECT_EQ(folders, (std::set<std::wstring>{L"sub1", L"sub22"}));
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(entries[i].kind, 0) << i;

    for (const auto& e : entries) {
        EXPECT_EQ(e.nameBytes, (2 * e.name.size() + 5) & ~size_t(3)) << e.name.c_str();
        EXPECT_EQ(e.nameBytes % 4, 0u);
        if (e.kind == 1) {
            EXPECT_EQ(e.size, 0u);
            EXPECT_TRUE(e.attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        if (e.name == L"a.txt") {
            EXPECT_EQ(e.size, 5u);
            EXPECT_EQ(::CompareFileTime(&e.lastWrite, &stamp), 0);
        }
        if (e.name == L"bb.txt") {
            EXPECT_EQ(e.size, 2048u);
        }
        if (e.name == L"c") {
            EXPECT_EQ(e.size, 0u);
            EXPECT_TRUE(e.attributes & FILE_ATTRIBUTE_READONLY);
        }
        EXPECT_NE(e.attributes, 0u) << "no record is without attributes";
    }
    // The accessors agree with the raw layout.
    size_t seen = 0;
    for (const ListingRecord* r = listing.first(); r; r = listing.next(r), ++seen) {
        wchar_t name[kListingNameCapacity];
        EXPECT_EQ(copyRecordName(r, name), entries[seen].name.size());
        EXPECT_EQ(std::wstring(name), entries[seen].name);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(r) - listing.data(), static_cast<ptrdiff_t>(entries[seen].offset));
    }
    EXPECT_EQ(seen, 5u);
}

TEST(Listing, GrowsPastTheFirstBlocksAndKeepsEveryEntry)
{
    TempFolder folder;
    // 120 files and 60 folders with names of up to 250 characters: both
    // blocks pass their 2048 bytes many times, at irregular places.
    std::set<std::wstring> files, folders;
    for (int i = 0; i < 120; ++i) {
        std::wstring name = L"file-" + std::to_wstring(i) + std::wstring(static_cast<size_t>(i % 7) * 30 + 1, L'x');
        files.insert(name);
        ASSERT_TRUE(writeBytes(folder / name, std::string(static_cast<size_t>(i), 'a')));
    }
    for (int i = 0; i < 60; ++i) {
        std::wstring name = L"dir-" + std::to_wstring(i) + std::wstring(i % 2 ? 250 - 7 : 3, L'y');
        folders.insert(name);
        ASSERT_TRUE(::CreateDirectoryW((folder / name).c_str(), nullptr));
    }
    Listing listing;
    ASSERT_TRUE(listDirectory((folder.path() + L"\\*.*").c_str(), listing, FILE_ATTRIBUTE_REPARSE_POINT));
    const auto entries = decode(listing);
    ASSERT_EQ(entries.size(), 180u);
    EXPECT_GT(listing.bytes(), 4u * 2048u);
    std::set<std::wstring> gotFiles, gotFolders;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i < 60) {
            EXPECT_EQ(entries[i].kind, 1) << i;
            gotFolders.insert(entries[i].name);
        } else {
            EXPECT_EQ(entries[i].kind, 0) << i;
            gotFiles.insert(entries[i].name);
        }
    }
    EXPECT_EQ(gotFiles, files);
    EXPECT_EQ(gotFolders, folders);
}

TEST(Listing, LeavesOutMaskedEntriesAndHandlesMissingAndBadPaths)
{
    TempFolder folder;
    ASSERT_TRUE(writeBytes(folder / L"shown.txt", "1"));
    ASSERT_TRUE(writeBytes(folder / L"hidden.txt", "1"));
    ASSERT_TRUE(::SetFileAttributesW((folder / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    // Reparse points cannot be made under Wine; the mask works on any bit,
    // so a hidden file stands in for one.
    Listing listing;
    ASSERT_TRUE(listDirectory((folder.path() + L"\\*").c_str(), listing, FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(listing.count(), 1u);
    wchar_t name[kListingNameCapacity];
    copyRecordName(listing.first(), name);
    EXPECT_STREQ(name, L"shown.txt");

    // A folder that does not exist lists as empty (a target not made yet).
    ASSERT_TRUE(listDirectory((folder.path() + L"\\nowhere\\*.*").c_str(), listing, 0));
    EXPECT_EQ(listing.count(), 0u);
    EXPECT_EQ(listing.first(), nullptr);
    // No match in an existing folder: empty too.
    ASSERT_TRUE(listDirectory((folder.path() + L"\\*.none").c_str(), listing, 0));
    EXPECT_EQ(listing.count(), 0u);
    // A path the enumeration rejects fails the listing and returns no block.
    EXPECT_FALSE(listDirectory(L"\\\\?\\C:\\bad<>|name\\*", listing, 0));
    EXPECT_EQ(listing.data(), nullptr);

    // One file's path lists that file alone.
    ASSERT_TRUE(listDirectory((folder / L"shown.txt").c_str(), listing, 0));
    ASSERT_EQ(listing.count(), 1u);
    EXPECT_EQ(listing.first()->size, 1u);
}

TEST(Listing, UnicodeAndLongNamesSurviveTheUnalignedRecords)
{
    TempFolder folder;
    const std::wstring names[] = {
        L"\u65e5\u672c\u8a9e.txt",                       // Japanese
        L"\u00e9t\u00e9 \u00c6",                         // accents, blank
        L"\U0001F600 smile",                             // a surrogate pair
        std::wstring(255, L'n'),                         // longest component
    };
    for (const auto& name : names) ASSERT_TRUE(writeBytes(folder / name, "z")) << name.size();
    Listing listing;
    ASSERT_TRUE(listDirectory((folder.path() + L"\\*").c_str(), listing, 0));
    std::set<std::wstring> got;
    for (const ListingRecord* r = listing.first(); r; r = listing.next(r)) {
        wchar_t name[kListingNameCapacity];
        copyRecordName(r, name);
        got.insert(name);
    }
    EXPECT_EQ(got, std::set<std::wstring>(std::begin(names), std::end(names)));
}

TEST(FindInListing, CaseInsensitiveFirstMatchWithinTheGivenBytes)
{
    TempFolder folder;
    ASSERT_TRUE(::CreateDirectoryW((folder / L"Docs").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(folder / L"Readme.TXT", "1"));
    ASSERT_TRUE(writeBytes(folder / L"\u00c9t\u00e9.txt", "22"));
    ASSERT_TRUE(writeBytes(folder / L"zz", "333"));
    Listing listing;
    ASSERT_TRUE(listDirectory((folder.path() + L"\\*").c_str(), listing, 0));

    const ListingRecord* r = findInListing(L"readme.txt", listing.data(), listing.bytes());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->size, 1u);
    r = findInListing(L"DOCS", listing.data(), listing.bytes());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->kind, kListingFolder);
    // Case folding beyond a to z, as the file system does it.
    r = findInListing(L"\u00e9T\u00c9.TXT", listing.data(), listing.bytes());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->size, 2u);
    EXPECT_EQ(findInListing(L"readme.tx", listing.data(), listing.bytes()), nullptr);
    EXPECT_EQ(findInListing(L"readme.txt ", listing.data(), listing.bytes()), nullptr);
    EXPECT_EQ(findInListing(L"", listing.data(), listing.bytes()), nullptr);

    // Records beyond the given byte count are not read.
    const auto entries = decode(listing);
    const auto last = entries.back();
    EXPECT_NE(findInListing(last.name.c_str(), listing.data(), listing.bytes()), nullptr);
    EXPECT_EQ(findInListing(last.name.c_str(), listing.data(), last.offset + 29), nullptr);
    EXPECT_EQ(findInListing(last.name.c_str(), listing.data(), last.offset), nullptr);
}

} // namespace
