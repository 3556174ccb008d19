// Name lookups in a target folder's listing in logarithmic time. A copy
// looks every source file up in the listing of its target folder; a linear
// search makes a folder of n files cost n * n comparisons (40,000 files
// onto a folder that already held them: 19 s of counting alone).
//
// The index is sorted by the very comparison the platform uses for names,
// CompareStringOrdinal ignoring case, and searched with it, so it finds
// exactly what a linear search with that comparison finds: "é.txt" finds
// "É.TXT", while "ß.txt" never finds "SS.txt". Among names that compare
// equal (a case-sensitive folder may hold both "a.txt" and "A.TXT") the
// first in listing order is found, folders before files.
#pragma once

#include "engine/Listing.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvane {

// Upper-cases `length` units of `name` in place by the rule of names that
// compare without regard to case (the invariant locale's simple case
// mapping, which CompareStringOrdinal ignoring case also applies), so that
// two names that compare equal fold to the same key.
void foldNameCase(wchar_t* name, size_t length) noexcept;

class ListingIndex {
public:
    // Listings smaller than this are searched linearly: the index would
    // cost more than it saves.
    static constexpr uint32_t kMinimumEntries = 16;

    // Indexes `listing`, which must stay alive and unchanged while the
    // index is used. Without an index (a small listing, no memory), find()
    // searches the listing linearly; the answers are the same.
    void build(const Listing& listing) noexcept;
    void clear() noexcept;
    bool indexed() const noexcept { return !entries_.empty(); }

    // The first record whose name equals `name` without regard to case,
    // or null: what findInListing answers.
    const ListingRecord* find(const wchar_t* name) const noexcept;

private:
    struct Entry {
        uint32_t nameAt;   // offset of the name in names_
        uint32_t length;   // units
        uint32_t recordAt; // offset of the record in the listing block
    };

    const Listing* listing_ = nullptr;
    std::vector<wchar_t> names_; // every name, aligned, one after the other
    std::vector<Entry> entries_; // sorted by name, then listing order
};

} // namespace sorvane
