#include "engine/VerifiedCopy.h"

#include "engine/AlignedReader.h"
#include "engine/EngineSinks.h"
#include "engine/FileTreeSetting.h"

#include "common/Raii.h"

#include <winternl.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

namespace {

// Read a megabyte at a time: large enough for the disk to stream, small
// enough for the display and a cancel request to follow.
constexpr size_t kChunkBytes = 1024 * 1024;

std::atomic<ReadBackFaultHook> g_faultHook{nullptr};

// A hashing state on the heap: the library aligns it to 64 bytes itself,
// which a local variable is not on every compiler for this platform.
struct StateDeleter {
    void operator()(XXH3_state_t* state) const noexcept { XXH3_freeState(state); }
};
using HashState = std::unique_ptr<XXH3_state_t, StateDeleter>;

Digest128 digestOf(const HashState& state)
{
    const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
    return {hash.low64, hash.high64};
}

HashState newHashState()
{
    HashState state(XXH3_createState());
    if (state) XXH3_128bits_reset(state.get());
    return state;
}

// Files whose content is more than a plain run of bytes, which only the
// system's copy routine copies as they are (recall-on-access files would be
// fetched from their store by our read).
constexpr DWORD kRecallOnOpen = 0x00040000;
constexpr DWORD kRecallOnDataAccess = 0x00400000;
constexpr DWORD kNotForTheLoop = FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED |
                                 FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen |
                                 kRecallOnDataAccess;
// The largest file the loop copies. What the loop saves is an open of the
// source, which only counts for small files; larger ones go to the copy
// routine, which under Wine on ext4 wrote large files steadily where the
// loop's runs were at times twice as slow (cause not found).
constexpr uint64_t kLoopLargestFile = 4 * 1024 * 1024;
// The attributes a copy takes from its source.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD orNormal(DWORD attributes) { return attributes ? attributes : FILE_ATTRIBUTE_NORMAL; }

// True when the open file has a stream besides its unnamed data stream. A
// file system that cannot list a file's streams has none that the system's
// copy routine could list and carry either.
bool hasNamedStreams(HANDLE file)
{
    alignas(8) unsigned char buffer[1024];
    if (!::GetFileInformationByHandleEx(file, FileStreamInfo, buffer, sizeof(buffer))) {
        return ::GetLastError() == ERROR_MORE_DATA; // a list this long has more than one stream
    }
    static const wchar_t kDataStream[] = L"::$DATA";
    const unsigned char* at = buffer;
    for (;;) {
        const auto* entry = reinterpret_cast<const FILE_STREAM_INFO*>(at);
        const size_t length = entry->StreamNameLength / sizeof(wchar_t);
        if (length != 0 && !(length == 7 && std::wmemcmp(entry->StreamName, kDataStream, 7) == 0)) return true;
        if (entry->NextEntryOffset == 0 || entry->NextEntryOffset > sizeof(buffer) - (at - buffer)) return false;
        at += entry->NextEntryOffset;
    }
}

// True when the open file carries extended attributes (which the system's
// copy routine copies and Win32 offers no other way to read).
bool hasExtendedAttributes(HANDLE file)
{
    using QueryFunction = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
    static const QueryFunction query = [] {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll ? reinterpret_cast<QueryFunction>(
                           reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "NtQueryInformationFile")))
                     : nullptr;
    }();
    if (!query) return false;
    constexpr int kFileEaInformation = 7;
    IO_STATUS_BLOCK status = {};
    ULONG eaSize = 0;
    return query(file, &status, &eaSize, sizeof(eaSize), kFileEaInformation) >= 0 && eaSize != 0;
}

// The buffer for a file of `size` bytes: the whole file and one byte more
// (so that the end is seen in one read), at most a chunk.
size_t bufferFor(uint64_t size)
{
    const uint64_t wanted = (size + 1 + 4095) / 4096 * 4096;
    return static_cast<size_t>(wanted < kChunkBytes ? wanted : kChunkBytes);
}

} // namespace

bool verifiesCopy(const FILE_TREE_SETTING& settings)
{
    if (!settings.verifyCopies) return false;
    const uint32_t kind = settings.kind();
    return kind == kOperationCopy || (kind == kOperationMove && !settings.sameVolume);
}

uint64_t progressAllowance(const FILE_TREE_SETTING& settings, uint64_t size)
{
    return verifiesCopy(settings) ? 2 * size : size;
}

void accountFileBytes(FILE_TREE_SETTING& settings, uint64_t bytes, uint64_t allowance)
{
    if (settings.currentFileBytes >= allowance) return;
    const uint64_t room = allowance - settings.currentFileBytes;
    const uint64_t added = bytes < room ? bytes : room;
    settings.doneBytes += added;
    settings.currentFileBytes += added;
}

Digest128 hashBytes(const void* data, size_t length)
{
    const XXH128_hash_t hash = XXH3_128bits(data, length);
    return {hash.low64, hash.high64};
}

namespace {

// The copy's bytes read back through its own unbuffered handle and hashed;
// Equal when they are the `length` bytes whose hash is `expected`.
VerifyResult readBack(FILE_TREE_SETTING& settings, HANDLE copy, const AlignedBuffer& buffer, DWORD chunk,
                      DWORD sectorSize, const Digest128& expected, uint64_t length, uint64_t allowance)
{
    HashState state = newHashState();
    if (!state) return {Verdict::Failed, ERROR_NOT_ENOUGH_MEMORY};
    uint64_t offset = 0;
    for (;;) {
        if (settings.cancel) return {Verdict::Failed, ERROR_REQUEST_ABORTED};
        DWORD got = 0;
        if (const DWORD error = readAligned(copy, buffer.data(), offset, chunk, sectorSize, got)) {
            return {Verdict::Failed, error};
        }
        XXH3_128bits_update(state.get(), buffer.data(), got);
        offset += got;
        accountFileBytes(settings, got, allowance);
        if (settings.progress) settings.progress->UpdateCounters(true);
        // The copy ends with its first short chunk; one longer than its
        // source differs whatever follows.
        if (got < chunk || offset > length) break;
    }
    const Digest128 digest = digestOf(state);
    return {offset == length && digest == expected ? Verdict::Equal : Verdict::Different, 0, digest};
}

// Fills `buffer` from `file` up to `capacity` bytes or its end; `filled`
// gets the count (short only at the end).
DWORD fill(HANDLE file, unsigned char* buffer, DWORD capacity, DWORD& filled)
{
    filled = 0;
    while (filled < capacity) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer + filled, capacity - filled, &got, nullptr)) return ::GetLastError();
        if (got == 0) break;
        filled += got;
    }
    return 0;
}

} // namespace

DWORD copyVerified(FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* copy, uint64_t size,
                   uint64_t allowance, unsigned attempt, VerifyResult& result)
{
    result = {Verdict::Failed, 0};
    if (size > kLoopLargestFile) return kNeedsSystemCopy;
    // Shared as Windows' own copy routine shares a source: readers and a
    // later deletion (a held source of a move) may be there, writers not.
    UniqueFile from(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from) return ::GetLastError();
    FILE_BASIC_INFO basic = {};
    if (!::GetFileInformationByHandleEx(from.get(), FileBasicInfo, &basic, sizeof(basic))) return ::GetLastError();
    if ((basic.FileAttributes & kNotForTheLoop) || hasNamedStreams(from.get()) || hasExtendedAttributes(from.get())) {
        return kNeedsSystemCopy;
    }
    // Written and read back through one handle that bypasses the cache: the
    // bytes read back are the bytes the disk holds. Made writable; the
    // source's attributes, read-only among them, and its times are given to
    // the copy once its bytes are written. Others may open it to read or
    // change it (a change is what the read-back would find).
    const DWORD attributes = basic.FileAttributes & kCopiedAttributes;
    UniqueFile to(::CreateFileW(copy, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_NEW,
                                orNormal(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) |
                                    FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!to) return ::GetLastError();
    const DWORD sectorSize = sectorSizeOf(to.get(), copy);
    const DWORD chunk = static_cast<DWORD>((bufferFor(size) + sectorSize - 1) / sectorSize * sectorSize);
    AlignedBuffer buffer(chunk);
    HashState state = newHashState();
    if (!buffer || !state) return ERROR_NOT_ENOUGH_MEMORY;

    auto* bytes = static_cast<unsigned char*>(buffer.data());
    uint64_t length = 0;
    bool padded = false;
    for (;;) {
        if (settings.cancel) return ERROR_REQUEST_ABORTED;
        DWORD filled = 0;
        if (const DWORD error = fill(from.get(), bytes, chunk, filled)) return error;
        if (filled == 0) break;
        XXH3_128bits_update(state.get(), bytes, filled);
        // The last, partial sector is written whole and cut back to the
        // file's length afterwards.
        const DWORD whole = (filled + sectorSize - 1) / sectorSize * sectorSize;
        std::memset(bytes + filled, 0, whole - filled);
        padded = whole != filled;
        if (const DWORD error = writeAligned(to.get(), bytes, length, whole, sectorSize)) return error;
        length += filled;
        accountFileBytes(settings, filled, allowance);
        if (settings.progress) settings.progress->UpdateCounters(true);
        if (filled < chunk) break;
    }
    if (padded) {
        FILE_END_OF_FILE_INFO end = {};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
        if (!::SetFileInformationByHandle(to.get(), FileEndOfFileInfo, &end, sizeof(end))) return ::GetLastError();
    }
    FILE_BASIC_INFO finished = {};
    finished.CreationTime = basic.CreationTime;
    finished.LastWriteTime = basic.LastWriteTime;
    finished.FileAttributes = orNormal(attributes);
    if (!::SetFileInformationByHandle(to.get(), FileBasicInfo, &finished, sizeof(finished))) return ::GetLastError();

    runReadBackFaultHook(copy, attempt);
    result = readBack(settings, to.get(), buffer, chunk, sectorSize, digestOf(state), length, allowance);
    return 0;
}

VerifyResult compareWithSource(FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* copy, uint64_t size,
                               uint64_t allowance)
{
    UnbufferedReader back;
    if (const DWORD error = back.open(copy, size, kChunkBytes)) return {Verdict::Failed, error};
    UniqueFile original(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!original) return {Verdict::Failed, ::GetLastError()};
    const DWORD chunk = back.chunkSize();
    AlignedBuffer sourceBuffer(chunk);
    if (!sourceBuffer) return {Verdict::Failed, ERROR_NOT_ENOUGH_MEMORY};

    HashState sourceState = newHashState();
    HashState copyState = newHashState();
    if (!sourceState || !copyState) return {Verdict::Failed, ERROR_NOT_ENOUGH_MEMORY};
    for (;;) {
        if (settings.cancel) return {Verdict::Failed, ERROR_REQUEST_ABORTED};
        const void* copyData = nullptr;
        DWORD copyLength = 0;
        if (const DWORD error = back.next(copyData, copyLength)) return {Verdict::Failed, error};
        DWORD sourceLength = 0;
        if (!::ReadFile(original.get(), sourceBuffer.data(), chunk, &sourceLength, nullptr)) {
            return {Verdict::Failed, ::GetLastError()};
        }
        XXH3_128bits_update(copyState.get(), copyData, copyLength);
        XXH3_128bits_update(sourceState.get(), sourceBuffer.data(), sourceLength);
        accountFileBytes(settings, copyLength, allowance);
        if (settings.progress) settings.progress->UpdateCounters(true);
        // Both end with their first short chunk; one ending before the
        // other is a difference in length.
        if (copyLength != sourceLength) return {Verdict::Different, 0};
        if (copyLength < chunk) break;
    }
    const Digest128 digest = digestOf(copyState);
    return {digest == digestOf(sourceState) ? Verdict::Equal : Verdict::Different, 0, digest};
}

void setReadBackFaultHook(ReadBackFaultHook hook) { g_faultHook.store(hook); }

void runReadBackFaultHook(const wchar_t* temporary, unsigned attempt)
{
    if (const ReadBackFaultHook hook = g_faultHook.load()) hook(temporary, attempt);
}

} // namespace sorvane
