// One folder's entries read into one packed heap block: a 32-bit count,
// then the records back to back, all folders first and then all files, in
// the order the file system enumerated them. The walk keeps nothing else per
// folder.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace sorvane {

enum ListingKind : uint8_t { kListingFile = 0, kListingFolder = 1 };

#pragma pack(push, 1)
// One entry. The name (UTF-16, terminated, zero-padded to `nameBytes`)
// follows the fixed part directly; the next record starts right after it.
// Records are packed, so the name is usually not 2-byte aligned: read it
// only through the helpers below, never as a `const wchar_t*`.
struct ListingRecord {
    uint8_t kind;          // ListingKind
    uint32_t nameBytes;    // (2 * characters + 5) with the two low bits cleared
    FILETIME lastWrite;    // UTC
    uint32_t attributes;   // a file without attribute bits is FILE_ATTRIBUTE_NORMAL
    uint64_t size;         // 0 for folders
    uint32_t reparseTag;   // the enumeration's first reserved word
};
#pragma pack(pop)

constexpr size_t kListingHeaderBytes = sizeof(uint32_t);
constexpr size_t kListingRecordFixedBytes = sizeof(ListingRecord);
static_assert(kListingRecordFixedBytes == 29, "listing records are packed");

// Longest name a record holds (a directory entry's name is at most 259).
constexpr size_t kListingNameCapacity = MAX_PATH;

// Name bytes of a record for a name of `characters` units.
constexpr uint32_t listingNameBytes(size_t characters)
{
    return static_cast<uint32_t>((2 * characters + 5) & ~static_cast<size_t>(3));
}

// Characters of the record's name (without the terminator).
size_t recordNameLength(const ListingRecord* record);
// Copies the record's name into `out` (at least kListingNameCapacity units)
// and returns its length.
size_t copyRecordName(const ListingRecord* record, wchar_t* out);
// Copies the name's units (no terminator) to `out`, which may be unaligned
// in neither direction: used to append names to working paths.
void copyRecordNameUnits(const ListingRecord* record, wchar_t* out, size_t characters);

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// Owner of one listing block.
class Listing {
public:
    Listing() = default;
    Listing(Listing&&) noexcept = default;
    Listing& operator=(Listing&&) noexcept = default;

    const uint8_t* data() const noexcept { return block_.get(); }
    size_t bytes() const noexcept { return bytes_; }   // header and records in use
    uint32_t count() const noexcept;
    bool empty() const noexcept { return count() == 0; }

    // The first record, or null; the record after `record`, or null at the end.
    const ListingRecord* first() const noexcept;
    const ListingRecord* next(const ListingRecord* record) const noexcept;

    void reset() noexcept
    {
        block_.reset();
        bytes_ = 0;
    }
    // Takes over a block built elsewhere (`bytes` in use, count included).
    void adopt(uint8_t* block, size_t bytes) noexcept
    {
        block_.reset(block);
        bytes_ = bytes;
    }

private:
    std::unique_ptr<uint8_t, FreeDeleter> block_;
    size_t bytes_ = 0;
};

// Enumerates what matches `searchPath` (a folder followed by a wildcard
// pattern, or one file path) into `out`. "." and ".." and every entry with
// any bit of `excludedAttributes` are left out. A missing folder or no match
// gives an empty listing. Returns false, with `out` emptied, when the
// enumeration cannot be opened or does not run to its end, or memory runs
// out; `error`, when given, then receives the reason (0 on success).
bool listDirectory(const wchar_t* searchPath, Listing& out, DWORD excludedAttributes, DWORD* error = nullptr);

// The first record of the block whose name equals `name` without regard to
// case, or null; nothing beyond `listingBytes` is read.
const ListingRecord* findInListing(const wchar_t* name, const uint8_t* listing, size_t listingBytes);

} // namespace sorvane
