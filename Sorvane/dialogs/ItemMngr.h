// A most-recently-used list of up to 32 texts, kept in one section of the
// history's profile file: the target folders, archive files and pattern
// texts that the operation dialog offers again.
//
// An entry is a value, or a label and a value joined by "|". Two entries are
// the same entry when both have a label and the labels are equal ignoring
// case, or when their values are equal ignoring case; adding a text that is
// already there updates that entry instead of adding a second one.
#pragma once

#include <windows.h>

namespace sorvane {

class CItemMngr {
public:
    static constexpr int kMaxEntries = 32;
    static constexpr int kEntryCapacity = 520; // 519 characters and the terminator

    CItemMngr();
    virtual ~CItemMngr();
    CItemMngr(const CItemMngr&) = delete;
    CItemMngr& operator=(const CItemMngr&) = delete;

    // Adds `text` (cut to 519 characters). An existing same entry is
    // updated and, with `toFront`, moved to the front. A new text goes to
    // the front (the 32nd entry falling off a full list) with `toFront`, else
    // to the end while there is room.
    void Add(const wchar_t* text, bool toFront);
    // False when `index` is not an entry.
    bool RemoveAt(int index);
    // The first entry whose value is the value of `text` (ignoring case) or
    // continues it with `separator` and a rest without a further separator;
    // with separator 0 every continuation counts. −1 when there is none.
    int FindInFolder(const wchar_t* text, wchar_t separator) const;
    // The entry's text, or null when `index` is not an entry.
    const wchar_t* At(int index) const;
    int Count() const noexcept { return count_; }
    void Clear();

    // Appends every entry, in order, to the combo box `controlId` of
    // `dialog`; false when there is no such control.
    bool FillCombo(HWND dialog, int controlId) const;

    // Reads and writes the list's section of the profile file `profilePath`
    // (the history file names it: History.h). Load empties the list first
    // and returns false when the file could not be loaded; Save returns
    // false when the file could not be loaded or written back. Without a
    // path, both return false.
    bool Load(const wchar_t* section, const wchar_t* profilePath);
    bool Save(const wchar_t* section, const wchar_t* profilePath) const;

private:
    int count_ = 0;
    wchar_t entries_[kMaxEntries][kEntryCapacity];
};

} // namespace sorvane
