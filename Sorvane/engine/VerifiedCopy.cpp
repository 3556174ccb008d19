#include "VerifiedCopy.h"

#include "AlignedReader.h"
#include "EngineSinks.h"
#include "FileTreeSetting.h"

#include "../../common/Raii.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <memory>

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

VerifyResult compareWithSource(FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* copy, uint64_t size,
                               uint64_t allowance)
{
    UnbufferedReader back;
    if (const DWORD error = back.open(copy, size, kChunkBytes)) return {Verdict::Failed, error};
    UniqueFile original(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!original) return {Verdict::Failed, ::GetLastError()};
    const DWORD chunk = back.chunkSize();
    AlignedBuffer sourceBuffer(chunk);
    if (!sourceBuffer) return {Verdict::Failed, ERROR_NOT_ENOUGH_MEMORY};

    HashState sourceState(XXH3_createState());
    HashState copyState(XXH3_createState());
    if (!sourceState || !copyState) return {Verdict::Failed, ERROR_NOT_ENOUGH_MEMORY};
    XXH3_128bits_reset(sourceState.get());
    XXH3_128bits_reset(copyState.get());
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
    return {digestOf(copyState) == digestOf(sourceState) ? Verdict::Equal : Verdict::Different, 0};
}

void setReadBackFaultHook(ReadBackFaultHook hook) { g_faultHook.store(hook); }

void runReadBackFaultHook(const wchar_t* temporary, unsigned attempt)
{
    if (const ReadBackFaultHook hook = g_faultHook.load()) hook(temporary, attempt);
}

} // namespace sorvane
