#include "engine/Listing.h"

#include "common/Raii.h"

#include <cstring>
#include <cwchar>

namespace sorvane {

namespace {

constexpr size_t kBlockStep = 2048;

const uint8_t* nameStart(const ListingRecord* record)
{
    return reinterpret_cast<const uint8_t*>(record) + kListingRecordFixedBytes;
}

wchar_t unitAt(const uint8_t* name, size_t index)
{
    wchar_t unit;
    std::memcpy(&unit, name + index * sizeof(wchar_t), sizeof(wchar_t));
    return unit;
}

// A growing byte block: starts at 2048 bytes and grows by at least 2048
// (or by what the next entry needs when that is more). It grows by half
// its size at least, so that a folder of n entries costs a few copies of
// its listing, not n / 2048 of them.
class GrowBlock {
public:
    bool init(size_t reserveHeader)
    {
        block_.reset(static_cast<uint8_t*>(std::malloc(kBlockStep)));
        if (!block_) return false;
        capacity_ = kBlockStep;
        used_ = reserveHeader;
        return true;
    }
    uint8_t* reserve(size_t bytes)
    {
        if (used_ + bytes > capacity_) {
            size_t grow = capacity_ / 2;
            if (grow < kBlockStep) grow = kBlockStep;
            if (grow < bytes) grow = bytes;
            void* larger = std::realloc(block_.get(), capacity_ + grow);
            if (!larger) return nullptr;
            block_.release();
            block_.reset(static_cast<uint8_t*>(larger));
            capacity_ += grow;
        }
        uint8_t* at = block_.get() + used_;
        used_ += bytes;
        return at;
    }
    uint8_t* data() const { return block_.get(); }
    size_t used() const { return used_; }
    uint8_t* release() { return block_.release(); }

private:
    std::unique_ptr<uint8_t, FreeDeleter> block_;
    size_t capacity_ = 0;
    size_t used_ = 0;
};

bool appendRecord(GrowBlock& block, const WIN32_FIND_DATAW& found)
{
    const size_t characters = std::wcslen(found.cFileName);
    const uint32_t nameBytes = listingNameBytes(characters);
    uint8_t* at = block.reserve(kListingRecordFixedBytes + nameBytes);
    if (!at) return false;

    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ListingRecord record;
    record.kind = folder ? kListingFolder : kListingFile;
    record.nameBytes = nameBytes;
    record.lastWrite = found.ftLastWriteTime;
    record.attributes = (!folder && found.dwFileAttributes == 0) ? FILE_ATTRIBUTE_NORMAL : found.dwFileAttributes;
    record.size = folder ? 0 : ((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    record.reparseTag = found.dwReserved0;
    std::memcpy(at, &record, kListingRecordFixedBytes);

    uint8_t* name = at + kListingRecordFixedBytes;
    std::memcpy(name, found.cFileName, characters * sizeof(wchar_t));
    std::memset(name + characters * sizeof(wchar_t), 0, nameBytes - characters * sizeof(wchar_t));
    return true;
}

bool isDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

} // namespace

size_t recordNameLength(const ListingRecord* record)
{
    // The terminator and padding take two or four bytes: the name ends at the
    // last unit but one when that unit is zero, else at the last unit.
    const size_t units = record->nameBytes / sizeof(wchar_t);
    if (units < 2) return 0;
    const uint8_t* name = nameStart(record);
    return unitAt(name, units - 2) == L'\0' ? units - 2 : units - 1;
}

size_t copyRecordName(const ListingRecord* record, wchar_t* out)
{
    size_t length = recordNameLength(record);
    if (length > kListingNameCapacity - 1) length = kListingNameCapacity - 1;
    std::memcpy(out, nameStart(record), length * sizeof(wchar_t));
    out[length] = L'\0';
    return length;
}

void copyRecordNameUnits(const ListingRecord* record, wchar_t* out, size_t characters)
{
    std::memcpy(out, nameStart(record), characters * sizeof(wchar_t));
}

uint32_t Listing::count() const noexcept
{
    if (!block_ || bytes_ < kListingHeaderBytes) return 0;
    uint32_t n;
    std::memcpy(&n, block_.get(), sizeof(n));
    return n;
}

const ListingRecord* Listing::first() const noexcept
{
    if (count() == 0 || bytes_ < kListingHeaderBytes + kListingRecordFixedBytes) return nullptr;
    return reinterpret_cast<const ListingRecord*>(block_.get() + kListingHeaderBytes);
}

const ListingRecord* Listing::next(const ListingRecord* record) const noexcept
{
    const uint8_t* at = reinterpret_cast<const uint8_t*>(record) + kListingRecordFixedBytes + record->nameBytes;
    const size_t offset = static_cast<size_t>(at - block_.get());
    if (offset + kListingRecordFixedBytes > bytes_) return nullptr;
    return reinterpret_cast<const ListingRecord*>(at);
}

bool listDirectory(const wchar_t* searchPath, Listing& out, DWORD excludedAttributes, DWORD* error)
{
    out.reset();
    DWORD ignored;
    DWORD& reason = error ? *error : ignored;
    reason = 0;
    GrowBlock folders;
    GrowBlock files;
    if (!searchPath) {
        reason = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!folders.init(kListingHeaderBytes) || !files.init(0)) {
        reason = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }

    uint32_t count = 0;
    WIN32_FIND_DATAW found;
    UniqueFind find(::FindFirstFileExW(searchPath, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        const DWORD opened = ::GetLastError();
        if (opened != ERROR_FILE_NOT_FOUND && opened != ERROR_PATH_NOT_FOUND && opened != ERROR_NO_MORE_FILES) {
            reason = opened;
            return false;
        }
    } else {
        do {
            if (found.dwFileAttributes & excludedAttributes) continue;
            if (isDotEntry(found.cFileName)) continue;
            GrowBlock& block = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? folders : files;
            if (!appendRecord(block, found)) {
                reason = ERROR_NOT_ENOUGH_MEMORY;
                return false;
            }
            ++count;
        } while (::FindNextFileW(find.get(), &found));
        const DWORD ended = ::GetLastError();
        if (ended != ERROR_NO_MORE_FILES) {
            reason = ended ? ended : ERROR_GEN_FAILURE;
            return false;
        }
    }

    // The file records go behind the folder records.
    if (files.used() > 0) {
        uint8_t* tail = folders.reserve(files.used());
        if (!tail) {
            reason = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        std::memcpy(tail, files.data(), files.used());
    }
    std::memcpy(folders.data(), &count, sizeof(count));
    const size_t bytes = folders.used();
    out.adopt(folders.release(), bytes);
    return true;
}

const ListingRecord* findInListing(const wchar_t* name, const uint8_t* listing, size_t listingBytes)
{
    if (!name || !listing || listingBytes < kListingHeaderBytes) return nullptr;
    const size_t length = std::wcslen(name);
    if (length >= kListingNameCapacity) return nullptr;
    const uint32_t wantedBytes = listingNameBytes(length);
    uint32_t count;
    std::memcpy(&count, listing, sizeof(count));

    wchar_t candidate[kListingNameCapacity];
    size_t offset = kListingHeaderBytes;
    for (uint32_t i = 0; i < count && offset + kListingRecordFixedBytes <= listingBytes; ++i) {
        const auto* record = reinterpret_cast<const ListingRecord*>(listing + offset);
        const uint32_t nameBytes = record->nameBytes;
        if (offset + kListingRecordFixedBytes + nameBytes > listingBytes) break;
        // Names equal without regard to case have the same length, so the
        // padded length sorts out most records before any comparison.
        if (nameBytes == wantedBytes && copyRecordName(record, candidate) == length &&
            ::CompareStringOrdinal(candidate, static_cast<int>(length), name, static_cast<int>(length), TRUE) ==
                CSTR_EQUAL) {
            return record;
        }
        offset += kListingRecordFixedBytes + nameBytes;
    }
    return nullptr;
}

} // namespace sorvane
