// Files of a delete on their way to the Recycle Bin, sent a few at a time.
// One shell call per file costs a round trip through the shell each; the
// shell takes a list at once. A list stops at its first failure and says
// little of each file, so every file is checked afterwards: a file that is
// gone went to the bin, and a file that is still there is sent again on
// its own, so that it gets the single-file treatment, the user's word
// included. Nothing here ever deletes a file for good.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sorvane {

// What became of a file sent to the Recycle Bin.
struct RecycleResult {
    bool recycled;  // gone from its place
    bool kept;      // the bin did not take it (the user declined, or it is still there)
    DWORD error;
};

// Sends one file to the Recycle Bin. The shell takes neither the long form
// nor paths of MAX_PATH units or more: such a file is refused, never
// deleted for good instead. A file the shell reports as taken but that is
// still in its place was not taken.
RecycleResult recycleFile(const wchar_t* path);

class RecycleBatch {
public:
    // Files per shell call.
    static constexpr size_t kLimit = 50;

    struct Entry {
        std::wstring path;   // as the walk holds it (long form)
        std::wstring shown;  // the ordinary form the shell takes
        DWORD attributes;    // the listing's attributes
        bool readOnlyCleared;
        bool sent;           // in the list the shell was given
        RecycleResult result;
    };

    // True when `path` can travel in a list (it has an ordinary form short
    // enough for the shell); otherwise it must be sent on its own.
    static bool canBatch(const wchar_t* path);

    // Queues a file (canBatch must hold). Returns false when memory runs out.
    bool add(const wchar_t* path, DWORD attributes, bool readOnlyCleared) noexcept;
    bool full() const noexcept { return entries_.size() >= kLimit; }
    bool empty() const noexcept { return entries_.empty(); }

    // Sends the queued files and fills in each one's result; the entries
    // stay until clear().
    void send();
    std::vector<Entry>& entries() noexcept { return entries_; }
    void clear() noexcept { entries_.clear(); }
    // Drops the queued files without sending them (a walk that stopped on
    // an error): each gets back the read-only mark it was found with.
    void abandon() noexcept;

private:
    std::vector<Entry> entries_;
};

} // namespace sorvane
