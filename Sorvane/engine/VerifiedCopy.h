// Verified copies: a copy is trusted only once it has been read back from
// the disk and found equal to its source. A file of up to 4 MB that has
// nothing beyond its bytes, attributes and times (no named streams, no
// extended attributes, not encrypted, sparse, compressed or a link) is
// copied by copyVerified, a loop of our own that hashes the source with
// XXH3-128 as it reads it for the copy, writes the copy with the cache
// bypassed and reads it back through the same handle. Any other file is
// copied by the system's copy routine, which carries all of that; then its
// source is read once more for its hash and the copy is read back with the
// cache bypassed (compareWithSource). Reads and writes that bypass the
// cache go through AlignedReader. Only equal hashes let the copy take the
// target's name, and only then may a move delete its source.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sorvane {

class FILE_TREE_SETTING;

// True when the counting pass must count the file in hand twice over: the
// run verifies its copies and this file will be copied (a copy, or a move
// to another volume), so its bytes are written once and read back once.
bool verifiesCopy(const FILE_TREE_SETTING& settings);

// The bytes the progress display counts for the file in hand: its size,
// twice over when verifiesCopy.
uint64_t progressAllowance(const FILE_TREE_SETTING& settings, uint64_t size);

// Adds `bytes` of the file in hand to `doneBytes`, never beyond
// `allowance` for that file (`currentFileBytes` holds what it has had).
void accountFileBytes(FILE_TREE_SETTING& settings, uint64_t bytes, uint64_t allowance);

// A hash of 128 bits (XXH3-128 of the bytes).
struct Digest128 {
    uint64_t low;
    uint64_t high;
};
inline bool operator==(const Digest128& a, const Digest128& b) { return a.low == b.low && a.high == b.high; }
inline bool operator!=(const Digest128& a, const Digest128& b) { return !(a == b); }
Digest128 hashBytes(const void* data, size_t length);

// What a comparison found.
enum class Verdict {
    Equal,      // the copy on disk holds the source's bytes
    Different,  // it does not
    Failed,     // it could not be told: `error` says why (ERROR_REQUEST_ABORTED on cancel)
};
struct VerifyResult {
    Verdict verdict;
    DWORD error;
    // Equal: the hash both hold, as the comparison computed it (the copy's
    // bytes read back), so that no one reads them again for it.
    Digest128 digest{};
};

// Reads `source` through the cache and `copy` with the cache bypassed and
// compares their XXH3-128 hashes (and lengths). `size` is the size the
// source was listed with, a hint for the buffers. The bytes read back are
// added to the progress (up to `allowance` for the file), the display is
// refreshed after each chunk, and a cancel request stops the reading.
VerifyResult compareWithSource(FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* copy, uint64_t size,
                               uint64_t allowance);

// Returned by copyVerified for a file that has more than the loop carries,
// or is larger than 4 MB (listed size); nothing was created, and the file
// goes to the system's copy routine.
constexpr DWORD kNeedsSystemCopy = 0xE0000001;

// Copies `source` to the new file `copy` (which must not exist) as the
// system's copy routine would for a file of bytes, attributes and times
// (the bytes, the attributes, the creation and last-write times), hashing
// the bytes as they are read; writes them with the cache bypassed, calls
// the read-back fault hook with `attempt`, and reads the copy back through
// the same handle, hashed, into `result`. Progress is counted up to
// `allowance` for the file and a cancel request stops the copy with
// ERROR_REQUEST_ABORTED. `size` is the size the source was listed with, a
// hint for the buffer. Returns 0 (then `result` holds the verdict),
// ERROR_FILE_EXISTS when `copy` exists, kNeedsSystemCopy, or the error;
// after a failure a partial `copy` may be left for the caller to remove.
DWORD copyVerified(FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* copy, uint64_t size,
                   uint64_t allowance, unsigned attempt, VerifyResult& result);

// The one point where tests may change a copy on disk: the hook is called
// between the copy and its read-back, with the temporary copy's path and
// the attempt (0 the first copy, 1 the copy made again). It is null in the
// program; tests set it to damage the copy through a handle of their own
// (copyVerified holds the copy open meanwhile, shared for reading and
// writing).
using ReadBackFaultHook = void (*)(const wchar_t* temporary, unsigned attempt);
void setReadBackFaultHook(ReadBackFaultHook hook);
void runReadBackFaultHook(const wchar_t* temporary, unsigned attempt);

} // namespace sorvane
