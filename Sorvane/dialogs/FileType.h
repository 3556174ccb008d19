// File extensions as the extension browser keeps them: one record per
// extension, a collection sorted by extension ignoring case, and the lookup
// of an extension's registered description and small icon.
#pragma once

#include <windows.h>

#include "common/Raii.h"

#include <cstdint>
#include <memory>

namespace sorvane {

struct IconTraits {
    static HICON invalid() noexcept { return nullptr; }
    static void close(HICON icon) noexcept { ::DestroyIcon(icon); }
};
using UniqueIcon = UniqueResource<HICON, IconTraits>;

class CFileType {
public:
    static constexpr size_t kInlineLength = 5; // longer extensions get their own allocation

    // Copies `extension` (with its leading "."); valid() tells whether the
    // copy could be made.
    CFileType(const wchar_t* extension, bool ticked, bool typed, uint32_t mark);
    virtual ~CFileType();
    CFileType(const CFileType&) = delete;
    CFileType& operator=(const CFileType&) = delete;

    bool valid() const noexcept { return extension_ != nullptr; }
    const wchar_t* extension() const noexcept { return extension_; }

    int32_t imageIndex = -1; // in the browser's image list; −1 until known
    uint8_t ticked = 0;
    uint8_t typed = 0;       // came from text the user typed
    uint32_t mark = 0;       // scratch of the browser's synchronisation

private:
    const wchar_t* extension_ = nullptr;
    wchar_t inline_[kInlineLength + 1] = {};
    std::unique_ptr<wchar_t[]> separate_;
};

// Owns its records, sorted by extension ignoring case, one per extension.
// Slots grow and shrink in steps of 16.
class CFileTypeArray {
public:
    static constexpr int kSlotStep = 16;

    enum AddResult : int { kAddFailed = 0, kAdded = 1, kExisting = 2 };

    CFileTypeArray() = default;
    ~CFileTypeArray() = default;
    CFileTypeArray(const CFileTypeArray&) = delete;
    CFileTypeArray& operator=(const CFileTypeArray&) = delete;

    CFileType* Find(const wchar_t* extension) const;
    // The index of the record for `extension`, or −1.
    int IndexOf(const wchar_t* extension) const;
    // An existing record only takes the new mark (result 2); otherwise a new
    // record is inserted at its sorted place (result 1). Result 0 when no
    // record could be made. `record` receives the record in question.
    int Add(const wchar_t* extension, bool ticked, bool typed, uint32_t mark, CFileType** record = nullptr);
    // Takes the record at `index` out of the collection and hands it over;
    // null when there is no such index.
    std::unique_ptr<CFileType> RemoveAt(int index);
    void RemoveAll();

    int Count() const noexcept { return count_; }
    int Capacity() const noexcept { return capacity_; }
    CFileType* At(int index) const noexcept { return index >= 0 && index < count_ ? slots_[index].get() : nullptr; }

private:
    // The first index whose extension is not less than `extension`.
    int lowerBound(const wchar_t* extension) const;
    bool resize(int capacity);

    std::unique_ptr<std::unique_ptr<CFileType>[]> slots_;
    int count_ = 0;
    int capacity_ = 0;
};

// Compares extensions ignoring case: below, equal to or above zero.
int compareExtensions(const wchar_t* a, const wchar_t* b);

// Describes the extension of `text` (an extension starting with ".", or a
// file name) from the file-type registration, the user's classes merged
// value by value over the machine's: its description (at most
// capacity − 1 characters; empty when unregistered) and, when one is found,
// its small icon, which the caller then owns. False when the extension has
// no registered class (a name without extension gives false at once).
bool Describe(const wchar_t* text, wchar_t* description, int capacity, HICON* smallIcon);

} // namespace sorvane
