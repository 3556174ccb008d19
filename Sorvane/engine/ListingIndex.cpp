#include "engine/ListingIndex.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <new>

namespace sorvane {

void foldNameCase(wchar_t* name, size_t length) noexcept
{
    // Folded in pieces of a buffer on the stack; a piece never ends between
    // the two halves of a surrogate pair.
    wchar_t folded[256];
    while (length != 0) {
        size_t piece = length < std::size(folded) ? length : std::size(folded);
        if (piece < length && piece > 1 && name[piece - 1] >= 0xD800 && name[piece - 1] <= 0xDBFF) --piece;
        const int made = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name, static_cast<int>(piece), folded,
                                         static_cast<int>(std::size(folded)), nullptr, nullptr, 0);
        // Upper-casing keeps the length; anything else leaves the piece as it is.
        if (made == static_cast<int>(piece)) std::wmemcpy(name, folded, piece);
        name += piece;
        length -= piece;
    }
}

namespace {

int compareNames(const wchar_t* a, uint32_t aLength, const wchar_t* b, uint32_t bLength) noexcept
{
    // CSTR_LESS_THAN 1, CSTR_EQUAL 2, CSTR_GREATER_THAN 3.
    return ::CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) - CSTR_EQUAL;
}

} // namespace

void ListingIndex::clear() noexcept
{
    listing_ = nullptr;
    names_.clear();
    entries_.clear();
}

void ListingIndex::build(const Listing& listing) noexcept
{
    clear();
    listing_ = &listing;
    if (listing.count() < kMinimumEntries) return;
    try {
        size_t units = 0;
        for (const ListingRecord* record = listing.first(); record; record = listing.next(record)) {
            units += recordNameLength(record);
        }
        names_.resize(units);
        entries_.reserve(listing.count());
        size_t at = 0;
        for (const ListingRecord* record = listing.first(); record; record = listing.next(record)) {
            const size_t length = recordNameLength(record);
            copyRecordNameUnits(record, names_.data() + at, length);
            const auto recordAt = static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(record) - listing.data());
            entries_.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(length), recordAt});
            at += length;
        }
        const wchar_t* names = names_.data();
        // Equal names keep their listing order (records lie in listing
        // order, so the offset of the record says which came first).
        std::sort(entries_.begin(), entries_.end(), [names](const Entry& a, const Entry& b) {
            const int order = compareNames(names + a.nameAt, a.length, names + b.nameAt, b.length);
            return order != 0 ? order < 0 : a.recordAt < b.recordAt;
        });
    } catch (...) {
        // No memory for the index: the linear search answers the same.
        names_.clear();
        entries_.clear();
    }
}

const ListingRecord* ListingIndex::find(const wchar_t* name) const noexcept
{
    if (!listing_ || !name) return nullptr;
    if (entries_.empty()) return findInListing(name, listing_->data(), listing_->bytes());
    const size_t length = std::wcslen(name);
    if (length >= kListingNameCapacity) return nullptr;
    const auto wanted = static_cast<uint32_t>(length);
    const wchar_t* names = names_.data();
    const auto first = std::lower_bound(entries_.begin(), entries_.end(), name, [&](const Entry& entry, const wchar_t* key) {
        return compareNames(names + entry.nameAt, entry.length, key, wanted) < 0;
    });
    if (first == entries_.end() || compareNames(names + first->nameAt, first->length, name, wanted) != 0) return nullptr;
    return reinterpret_cast<const ListingRecord*>(listing_->data() + first->recordAt);
}

} // namespace sorvane
