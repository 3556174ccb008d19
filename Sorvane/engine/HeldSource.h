// A source file held from the moment it is judged until it is deleted, so
// that what is deleted is exactly what was judged (and copied). It is
// opened with DELETE access and shared for reading only: while it is held,
// no other program can write it, rename it or delete it. Its size and
// last-write time, read through the handle, are compared with the listing
// that judged it, and it is deleted through the same handle, never again by
// its path (a path may name another file by then).
#pragma once

#include <windows.h>

#include "common/Raii.h"
#include "engine/SameFile.h"

#include <cstdint>

namespace sorvane {

struct ListingRecord;

// The platform calls that delete an open file, replaceable so that tests
// can drive each fallback with an injected result: the extended
// disposition (which can ignore the read-only attribute and remove the name
// at once) where the system has it, the classic one otherwise.
struct DispositionCalls {
    BOOL(WINAPI* extended)(HANDLE, DWORD flags);
    BOOL(WINAPI* classic)(HANDLE);
};
const DispositionCalls& systemDispositionCalls();
void overrideDispositionCalls(const DispositionCalls* calls);

// Why a held source may not be deleted.
enum class HoldResult {
    Held,       // opened, and still the file the listing showed
    InUse,      // another program has it open in a way that excludes us
    Changed,    // its size or last-write time is not the listing's
    Failed,     // it could not be opened (`error`)
};

class HeldSource {
public:
    HeldSource() = default;
    HeldSource(const HeldSource&) = delete;
    HeldSource& operator=(const HeldSource&) = delete;

    // Opens `path` and compares it with `listed` (size and last-write time).
    HoldResult hold(const wchar_t* path, const ListingRecord& listed);
    // For a copy, which leaves its source: opens `path` to read, shared for
    // reading and deleting only, so that no one writes it while it is
    // copied (Windows' own copy routine opens a source so; Wine's lets
    // writers in, and a copy could then take half of one save and half of
    // the next). Held (no comparison), InUse or Failed.
    HoldResult lockForCopy(const wchar_t* path);
    bool held() const noexcept { return static_cast<bool>(file_); }
    DWORD error() const noexcept { return error_; }
    HANDLE handle() const noexcept { return file_.get(); }
    // The facts read when it was held (identity, size, time, attributes).
    const FileFacts& facts() const noexcept { return facts_; }

    // True while the file is still as it was when held: the same size and
    // last-write time read through the handle now. (Writers are kept out by
    // the handle on Windows; a writer that ignores sharing, such as a Unix
    // program under Wine, is caught here.)
    bool unchanged();

    // Deletes the held file through the handle: a read-only file is made
    // writable first and given its attribute back when the deletion fails.
    // The file is gone when the handle closes, which this does. Returns 0
    // or the error.
    DWORD remove();

    void release() noexcept { file_.reset(); }

private:
    UniqueFile file_;
    FileFacts facts_;
    DWORD error_ = 0;
};

} // namespace sorvane
