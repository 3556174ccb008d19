#include "engine/AlignedReader.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace sorvane {

namespace {

// GetFileInformationByHandleEx's class and record for the sector sizes
// (Windows 8 and later; older systems refuse the class).
constexpr int kFileStorageInfoClass = 16;
struct StorageInfo {
    ULONG logicalBytesPerSector;
    ULONG physicalBytesPerSectorForAtomicity;
    ULONG physicalBytesPerSectorForPerformance;
    ULONG fileSystemEffectivePhysicalBytesPerSectorForAtomicity;
    ULONG flags;
    ULONG byteOffsetForSectorAlignment;
    ULONG byteOffsetForPartitionAlignment;
};

std::atomic<uint64_t> g_violations{0};

bool isPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

bool plausibleSector(DWORD size) { return isPowerOfTwo(size) && size >= 512 && size <= 65536; }

// The last folder whose volume was asked for its sector size, and the
// answer. A verified run reads back one copy after another from the same
// target folder, and finding a path's volume and asking it costs more than
// reading a small file (about 70 microseconds a file under Wine).
struct FolderSector {
    std::mutex lock;
    std::wstring folder;
    DWORD size = 0;
};
FolderSector g_lastFolder;

// The folder part of `path` (up to its last backslash), or empty.
std::wstring folderOf(const wchar_t* path)
{
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash ? std::wstring(path, static_cast<size_t>(slash - path)) : std::wstring();
}

// The bytes per sector of the volume that holds `path`, or 0.
DWORD volumeSectorSize(const wchar_t* path)
{
    if (!path || !*path) return 0;
    const size_t length = std::wcslen(path) + 1;
    std::unique_ptr<wchar_t[]> root(new (std::nothrow) wchar_t[length]);
    if (!root || !::GetVolumePathNameW(path, root.get(), static_cast<DWORD>(length))) return 0;
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!::GetDiskFreeSpaceW(root.get(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return 0;
    return bytesPerSector;
}

uint64_t roundUp(uint64_t value, uint64_t multiple) { return (value + multiple - 1) / multiple * multiple; }

} // namespace

DWORD sectorSizeOf(HANDLE file, const wchar_t* path)
{
    StorageInfo storage = {};
    if (file && file != INVALID_HANDLE_VALUE &&
        ::GetFileInformationByHandleEx(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileStorageInfoClass), &storage,
                                       sizeof(storage)) &&
        plausibleSector(storage.logicalBytesPerSector)) {
        return storage.logicalBytesPerSector;
    }
    // The volume's answer, taken once for each folder in turn.
    const std::wstring folder = path ? folderOf(path) : std::wstring();
    if (!folder.empty()) {
        std::lock_guard<std::mutex> hold(g_lastFolder.lock);
        if (g_lastFolder.size != 0 && ::CompareStringOrdinal(folder.c_str(), static_cast<int>(folder.size()),
                                                             g_lastFolder.folder.c_str(),
                                                             static_cast<int>(g_lastFolder.folder.size()),
                                                             TRUE) == CSTR_EQUAL) {
            return g_lastFolder.size;
        }
    }
    const DWORD fromVolume = volumeSectorSize(path);
    const DWORD size = plausibleSector(fromVolume) ? fromVolume : kFallbackSectorSize;
    if (!folder.empty() && plausibleSector(fromVolume)) {
        std::lock_guard<std::mutex> hold(g_lastFolder.lock);
        g_lastFolder.folder = folder;
        g_lastFolder.size = size;
    }
    return size;
}

AlignedBuffer::AlignedBuffer(size_t bytes) { allocate(bytes); }

AlignedBuffer::~AlignedBuffer()
{
    if (data_) ::VirtualFree(data_, 0, MEM_RELEASE);
}

bool AlignedBuffer::allocate(size_t bytes)
{
    if (data_) ::VirtualFree(data_, 0, MEM_RELEASE);
    data_ = bytes ? ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) : nullptr;
    size_ = data_ ? bytes : 0;
    return data_ != nullptr;
}

namespace {

// True (after counting and telling the debugger) when a transfer breaks
// the alignment rule: Windows would fail it with ERROR_INVALID_PARAMETER,
// Wine would let it pass. It is a fault of the caller, never of the disk.
bool alignmentRefused(const void* buffer, uint64_t offset, DWORD length, DWORD sectorSize, const wchar_t* what)
{
    const uint64_t address = reinterpret_cast<uintptr_t>(buffer);
    if (isPowerOfTwo(sectorSize) && length != 0 && address % sectorSize == 0 && offset % sectorSize == 0 &&
        length % sectorSize == 0) {
        return false;
    }
    ++g_violations;
    wchar_t message[160];
    std::swprintf(message, 160,
                  L"Sorvane: unaligned unbuffered %ls refused (buffer %p, offset %llu, length %lu, sector %lu)\n", what,
                  buffer, static_cast<unsigned long long>(offset), static_cast<unsigned long>(length),
                  static_cast<unsigned long>(sectorSize));
    ::OutputDebugStringW(message);
    return true;
}

OVERLAPPED at(uint64_t offset)
{
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

} // namespace

DWORD readAligned(HANDLE file, void* buffer, uint64_t offset, DWORD length, DWORD sectorSize, DWORD& read)
{
    read = 0;
    if (alignmentRefused(buffer, offset, length, sectorSize, L"read")) return kAlignmentViolation;
    OVERLAPPED position = at(offset);
    DWORD got = 0;
    if (!::ReadFile(file, buffer, length, &got, &position)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF) return 0;
        return error;
    }
    read = got;
    return 0;
}

DWORD writeAligned(HANDLE file, const void* buffer, uint64_t offset, DWORD length, DWORD sectorSize)
{
    if (alignmentRefused(buffer, offset, length, sectorSize, L"write")) return kAlignmentViolation;
    OVERLAPPED position = at(offset);
    DWORD written = 0;
    if (!::WriteFile(file, buffer, length, &written, &position)) return ::GetLastError();
    return written == length ? 0 : ERROR_WRITE_FAULT;
}

uint64_t alignmentViolations() { return g_violations.load(); }

DWORD UnbufferedReader::open(const wchar_t* path, uint64_t expectedSize, size_t chunkBytes)
{
    file_.reset(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file_) return ::GetLastError();
    sectorSize_ = sectorSizeOf(file_.get(), path);
    const uint64_t largest = roundUp(chunkBytes ? chunkBytes : sectorSize_, sectorSize_);
    const uint64_t wanted = roundUp(expectedSize + 1, sectorSize_);
    chunk_ = static_cast<DWORD>(wanted < largest ? wanted : largest);
    if (!buffer_.allocate(chunk_)) return ERROR_NOT_ENOUGH_MEMORY;
    offset_ = 0;
    ended_ = false;
    return 0;
}

DWORD UnbufferedReader::next(const void*& data, DWORD& length)
{
    data = buffer_.data();
    length = 0;
    if (ended_) return 0;
    if (!file_ || !buffer_) return ERROR_INVALID_HANDLE;
    DWORD got = 0;
    // A whole chunk is asked for, also at the end: the read returns the
    // short count of the file's last, partial sector.
    const DWORD error = readAligned(file_.get(), buffer_.data(), offset_, chunk_, sectorSize_, got);
    if (error) return error;
    if (got < chunk_) ended_ = true;
    offset_ += got;
    length = got;
    return 0;
}

} // namespace sorvane
