// Reads and writes that bypass the system cache, so that the bytes read are
// the bytes on the disk. Windows takes such transfers
// (FILE_FLAG_NO_BUFFERING) only with a buffer, an offset and a length that
// are all multiples of the volume's sector size, and fails any other with
// ERROR_INVALID_PARAMETER; Wine does not enforce the rule at all, so a wrong
// one would pass every test here. Every unbuffered read and write therefore
// goes through readAligned or writeAligned, which check the three in every
// build and refuse a transfer that breaks them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/Raii.h"

namespace sorvane {

// The error of a read that readAligned refused for its alignment.
#ifdef ERROR_OFFSET_ALIGNMENT_VIOLATION
constexpr DWORD kAlignmentViolation = ERROR_OFFSET_ALIGNMENT_VIOLATION;
#else
constexpr DWORD kAlignmentViolation = 327; // ERROR_OFFSET_ALIGNMENT_VIOLATION
#endif

// The sector size taken when the volume does not tell its own.
constexpr DWORD kFallbackSectorSize = 4096;

// The size that unbuffered reads of `file` (opened from `path`) must be
// aligned to: the volume's logical sector size as the file system reports
// it (FileStorageInfo, or the bytes per sector of its volume), and 4096 when
// neither says or the answer is no power of two between 512 and 65536.
// The volume's answer is kept for the folder last asked about, so that the
// copies read back one after another from one target folder ask it once.
DWORD sectorSizeOf(HANDLE file, const wchar_t* path);

// Page-aligned memory from VirtualAlloc, which every sector size up to the
// allocation granularity (64 KB) divides. Empty when it could not be had.
class AlignedBuffer {
public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(size_t bytes);
    ~AlignedBuffer();
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;

    // Lets go of what is held and takes `bytes` anew; false without memory.
    bool allocate(size_t bytes);

    void* data() const noexcept { return data_; }
    size_t size() const noexcept { return size_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    void* data_ = nullptr;
    size_t size_ = 0;
};

// One unbuffered read of `length` bytes at `offset` into `buffer`; `read`
// receives the count, short only at the end of the file (0 at or past it).
// A buffer address, offset or length that is not a multiple of
// `sectorSize`, a zero length, or a sector size that is no power of two is
// refused before anything is read: the result is kAlignmentViolation, and
// the refusal is counted (alignmentViolations) and written to the debugger.
// Otherwise 0, or the system's error.
DWORD readAligned(HANDLE file, void* buffer, uint64_t offset, DWORD length, DWORD sectorSize, DWORD& read);

// One unbuffered write of `length` bytes from `buffer` at `offset`, under
// the same rule and checks as readAligned; a write that is not whole is
// ERROR_WRITE_FAULT. Otherwise 0, or the system's error.
DWORD writeAligned(HANDLE file, const void* buffer, uint64_t offset, DWORD length, DWORD sectorSize);

// How many reads and writes readAligned and writeAligned have refused in
// this process.
uint64_t alignmentViolations();

// Reads a file from start to end with the system cache bypassed, a chunk
// at a time, through readAligned.
class UnbufferedReader {
public:
    // Opens `path` for reading with FILE_FLAG_NO_BUFFERING and
    // FILE_FLAG_SEQUENTIAL_SCAN and makes a buffer of at most `chunkBytes`
    // (rounded up to the sector size), smaller for a file of `expectedSize`
    // bytes: one sector more than the file, so that its end shows as a short
    // read. The size is only a hint; the reader reads whatever is there.
    // Returns 0 or the error.
    DWORD open(const wchar_t* path, uint64_t expectedSize, size_t chunkBytes);

    // The next chunk: `data` and `length` (0 at the end). Returns 0 or the
    // error.
    DWORD next(const void*& data, DWORD& length);

    DWORD sectorSize() const noexcept { return sectorSize_; }
    DWORD chunkSize() const noexcept { return chunk_; }
    HANDLE handle() const noexcept { return file_.get(); }

private:
    UniqueFile file_;
    AlignedBuffer buffer_;
    DWORD sectorSize_ = kFallbackSectorSize;
    DWORD chunk_ = 0;
    uint64_t offset_ = 0;
    bool ended_ = false;
};

} // namespace sorvane
