// Checksum files of verified copies, in the format xxHash's own tool reads
// (`xxhsum -H2 -c`): one line per file, the XXH3-128 hash as 32 lower-case
// hex digits, two blanks, and the file's path relative to the checksum
// file's folder with forward slashes, in UTF-8. The hashes are the ones the
// verification computed from the copy read back with the cache bypassed;
// a check later reads every named file the same way.
#pragma once

#include "common/Raii.h"
#include "engine/VerifiedCopy.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace sorvane {

// The 32 hex digits xxhsum prints for a hash: its canonical form, the high
// half first, big-endian.
std::string digestText(const Digest128& digest);

// Reads 32 hex digits (either case) back into a hash; false for anything else.
bool parseDigest(const char* text, size_t length, Digest128& digest) noexcept;

// Whether a checksum file at `sumsPath` (full) may hold the copies written
// into `targetFolder` (full): it must lie in the target folder or in one of
// the folders above it, on the same volume, so that every copy's path is
// written relative to it without "..".
bool checksumFileFitsTarget(const wchar_t* sumsPath, const wchar_t* targetFolder);

// Writes a checksum file, a line per verified copy.
class ChecksumWriter {
public:
    // Creates (or replaces) the file; 0 or the system's error.
    DWORD open(const wchar_t* sumsPath);
    // One line for the file at `fullPath`, which must lie below the checksum
    // file's folder. False when it does not, or the line could not be
    // written (a name that is no valid UTF-16 has no UTF-8 form).
    bool add(const wchar_t* fullPath, const Digest128& digest);
    // Writes what is held and closes; 0 or the system's error.
    DWORD close();
    bool isOpen() const noexcept { return static_cast<bool>(file_); }
    uint64_t lines() const noexcept { return lines_; }

private:
    UniqueFile file_;
    std::wstring folder_; // the checksum file's folder, ordinary form, ending with '\'
    std::string pending_;
    uint64_t lines_ = 0;
};

// What a check found for one line of a checksum file.
enum class SumState {
    Good,     // the file's hash is the one written
    Changed,  // it differs
    Missing,  // no such file
    Unread,   // the file is there but could not be read (`error`)
    Damaged,  // the line is not a checksum line
};

class ISumCheckSink {
public:
    // `line` counts from 1; `path` is the full path of the named file (for
    // a damaged line, the line's text as far as it could be read).
    virtual void CheckedLine(uint64_t line, const std::wstring& path, SumState state, DWORD error) = 0;
    // True asks the check to stop before the next file.
    virtual bool Cancelled() { return false; }

protected:
    ~ISumCheckSink() = default;
};

// Rehashes every file the checksum file at `sumsPath` names, with the cache
// bypassed, and tells `sink` each line's state; a damaged line never stops
// the others. Returns 0, or the error that kept the checksum file itself
// from being read.
DWORD checkChecksumFile(const wchar_t* sumsPath, ISumCheckSink& sink);

// The XXH3-128 hash of a whole file read with the cache bypassed; 0 or the
// system's error.
DWORD hashFileUnbuffered(const wchar_t* path, Digest128& digest);

} // namespace sorvane
