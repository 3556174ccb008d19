#include "engine/FileOperations.h"

#include "engine/Decision.h"
#include "engine/EngineSinks.h"
#include "engine/FileTreeSetting.h"
#include "engine/HeldSource.h"
#include "engine/Listing.h"
#include "engine/PathForms.h"
#include "engine/RecycleBatch.h"
#include "engine/SameFile.h"
#include "engine/SelectedItem.h"
#include "engine/Temporaries.h"
#include "engine/VerifiedCopy.h"
#include "engine/WrittenNames.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

namespace {

// Attributes that SetFileAttributesW accepts.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::atomic<const FileCopyRoutines*> g_routineOverride{nullptr};

const FileCopyRoutines& activeRoutines()
{
    const FileCopyRoutines* routines = g_routineOverride.load();
    return routines ? *routines : systemCopyRoutines();
}

DWORD settable(DWORD attributes)
{
    attributes &= kSettableAttributes;
    if (attributes != FILE_ATTRIBUTE_NORMAL) attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Clears the read-only bit of `path`, whose attributes are `attributes`.
bool clearReadOnly(const wchar_t* path, DWORD attributes)
{
    return ::SetFileAttributesW(path, settable(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) != 0;
}

void restoreAttributes(const wchar_t* path, DWORD attributes) { ::SetFileAttributesW(path, settable(attributes)); }

void showFileName(FILE_TREE_SETTING& settings)
{
    if (!settings.progress) return;
    const wchar_t* slash = std::wcsrchr(settings.sources, L'\\');
    settings.progress->SetFileText(slash ? slash + 1 : settings.sources);
}

void refreshProgress(FILE_TREE_SETTING& settings)
{
    if (settings.progress) settings.progress->UpdateCounters(false);
}

void logItem(FILE_TREE_SETTING& settings, const wchar_t* path, ItemStatus status)
{
    if (settings.log) settings.log->WriteOutcome(path, {status});
}

void logError(FILE_TREE_SETTING& settings, const wchar_t* path, ItemStatus status, DWORD error)
{
    if (!settings.log) return;
    ::SetLastError(error);
    settings.log->WriteOutcome(path, {status, kReasonNone, error});
}

void countOutcome(FILE_TREE_SETTING& settings, bool success)
{
    if (success) ++settings.completedFiles;
    else ++settings.failedFiles;
}

void logReason(FILE_TREE_SETTING& settings, const wchar_t* path, ItemStatus status, ItemReason reason, DWORD error)
{
    if (settings.log) settings.log->WriteOutcome(path, {status, reason, error});
}

// The row of a source that was held for deletion and could not be: in use
// by another program, not what its listing showed, or not to be opened.
void logHoldFailure(FILE_TREE_SETTING& settings, const wchar_t* source, HoldResult result, DWORD error)
{
    switch (result) {
    case HoldResult::InUse: logReason(settings, source, kStatusFailed, kReasonSourceInUse, error); break;
    case HoldResult::Changed: logReason(settings, source, kStatusFailed, kReasonSourceChanged, 0); break;
    default: logError(settings, source, kStatusFailed, error); break;
    }
}

// The record of the names this run wrote in the target folder in hand,
// looked up when its first file is about to be written (the folder exists
// by then). Null outside an executing pass of a copy or move.
WrittenFolder* targetFolderRecord(FILE_TREE_SETTING& settings)
{
    if (!settings.writtenNames) return nullptr;
    if (!settings.targetFolderLooked) {
        const wchar_t* slash = std::wcsrchr(settings.target, L'\\');
        if (!slash) return nullptr;
        const std::wstring folder(settings.target, static_cast<size_t>(slash - settings.target) + 1);
        settings.targetFolderNames = settings.writtenNames->folder(folder.c_str());
        // A folder that cannot be opened is asked again for the next file.
        settings.targetFolderLooked = settings.targetFolderNames != nullptr;
    }
    return settings.targetFolderNames;
}

const wchar_t* targetFileName(const FILE_TREE_SETTING& settings)
{
    const wchar_t* slash = std::wcsrchr(settings.target, L'\\');
    return slash ? slash + 1 : settings.target;
}

// The source that this run already wrote the target's name with, in the
// target folder in hand, or null.
const std::wstring* nameWriter(FILE_TREE_SETTING& settings)
{
    WrittenFolder* folder = targetFolderRecord(settings);
    return folder ? folder->writer(targetFileName(settings)) : nullptr;
}

// The row of a second source refused because this run already wrote the
// target's name (by `writer`): the second source stays where it is.
void logNameWritten(FILE_TREE_SETTING& settings, const std::wstring& writer)
{
    wchar_t shown[MAX_PATH];
    const wchar_t* other = ordinaryPathForm(writer.c_str(), shown, MAX_PATH) == 0 ? shown : writer.c_str();
    if (settings.log) settings.log->WriteOutcome(settings.sources, {kStatusFailed, kReasonNameWritten, 0, other, nullptr});
}

void recordWrittenName(FILE_TREE_SETTING& settings)
{
    if (WrittenFolder* folder = targetFolderRecord(settings)) folder->add(targetFileName(settings), settings.sources);
}

// A temporary file name beside the target. Its text lives in the object
// itself for any folder of ordinary length: a file costs no allocation for
// it; only a deep folder's path goes to the heap.
class TemporaryPath {
public:
    TemporaryPath() = default;
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;

    // A fresh name in the folder of `target`, short enough for any folder
    // whose files fit there, so that a copy never lands half-written under
    // the real name. Returns 0 or the error.
    DWORD makeBeside(const wchar_t* target)
    {
        const wchar_t* slash = std::wcsrchr(target, L'\\');
        const size_t folderLength = slash ? static_cast<size_t>(slash - target) + 1 : 0;
        if (folderLength + kTemporaryNameCapacity > kRunPathCapacity) return ERROR_FILENAME_EXCED_RANGE;
        const size_t needed = folderLength + kTemporaryNameCapacity;
        text_ = inline_;
        if (needed > kInlineCapacity) {
            heap_.reset(new (std::nothrow) wchar_t[needed]);
            if (!heap_) return ERROR_NOT_ENOUGH_MEMORY;
            text_ = heap_.get();
        }
        std::wmemcpy(text_, target, folderLength);
        makeTemporaryName(text_ + folderLength);
        return 0;
    }
    const wchar_t* get() const { return text_; }
    void remove() const
    {
        if (!text_) return;
        ::SetFileAttributesW(text_, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(text_);
    }

private:
    static constexpr size_t kInlineCapacity = MAX_PATH + kTemporaryNameCapacity;
    wchar_t inline_[kInlineCapacity];
    std::unique_ptr<wchar_t[]> heap_;
    wchar_t* text_ = nullptr;
};

// What became of the write of one file.
enum class Written {
    Done,
    Failed,          // nothing changed at the target; `error` says why
    TargetAppeared,  // a target the listing did not show is there now: kept
    TargetChanged,   // the target is not the file the policy judged: kept
    SourceKept,      // the target holds the file, its source could not be deleted
    VerifyFailed,    // the copy read back differed from its source, twice: nothing changed
    ReadBackFailed,  // the copy could not be read back (`error`), twice: nothing changed
    SourceInUse,     // another program holds the source (`error`): nothing written
    SourceChanged,   // the source is not what its listing showed: nothing written
    SourceChangedInCopy, // the target holds the copy; the source changed meanwhile and was kept
};
struct WriteResult {
    Written outcome;
    DWORD error;
    bool verified = false; // the copy was read back and found equal to its source
    Digest128 digest{};    // its hash, when verified
};

// How the target may be written, decided just before it is: "Without
// condition." replaces whatever is there; the other policies may replace
// only the very file they judged (same size, same last-write time), and
// where they saw none, only create.
enum class Placement { Replace, Create, Changed };

Placement placementFor(const FILE_TREE_SETTING& settings, const ListingRecord* judged)
{
    if (settings.overwritePolicy() == OverwritePolicy::Always) return Placement::Replace;
    if (!judged) return Placement::Create;
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!::GetFileAttributesExW(settings.target, GetFileExInfoStandard, &now)) {
        return isMissing(::GetLastError()) ? Placement::Create : Placement::Changed;
    }
    const uint64_t size = (static_cast<uint64_t>(now.nFileSizeHigh) << 32) | now.nFileSizeLow;
    const FILETIME judgedTime = judged->lastWrite;
    if ((now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || size != judged->size ||
        ::CompareFileTime(&now.ftLastWriteTime, &judgedTime) != 0) {
        return Placement::Changed;
    }
    return Placement::Replace;
}

bool alreadyExists(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

// Runs `copy` (0 or an error) onto fresh temporary names beside `target`
// until it finds one that nobody else has taken. Only a file this call
// created is ever removed again: after any other failure, what the attempt
// left. kNeedsSystemCopy passes through (nothing was made then).
template <class Copy>
DWORD ontoFreshTemporary(FILE_TREE_SETTING& settings, TemporaryPath& temporary, Copy copy)
{
    for (int name = 0; name < 16; ++name) {
        if (settings.cancel) return ERROR_REQUEST_ABORTED;
        if (const DWORD error = temporary.makeBeside(settings.target)) return error;
        const DWORD error = copy();
        if (error == 0 || error == kNeedsSystemCopy) return error;
        if (alreadyExists(error)) continue; // not ours: another name
        temporary.remove();
        return error;
    }
    return ERROR_FILE_EXISTS;
}

// Copies the source to a fresh temporary file beside `target` through the
// system copy routine (or CopyFileW when it is missing). A cancel reaches
// the routine through the progress routine's PROGRESS_CANCEL. Returns 0 or
// the error.
DWORD copyToTemporary(FILE_TREE_SETTING& settings, uint64_t size, TemporaryPath& temporary)
{
    const FileCopyRoutines& routines = activeRoutines();
    return ontoFreshTemporary(settings, temporary, [&]() -> DWORD {
        BOOL copied;
        if (routines.copyFileEx) {
            copied = routines.copyFileEx(settings.sources, temporary.get(), copyProgressCallback, &settings, nullptr,
                                         COPY_FILE_FAIL_IF_EXISTS);
        } else {
            if (settings.currentFileBytes < size) {
                settings.doneBytes += size - settings.currentFileBytes;
                settings.currentFileBytes = size;
            }
            copied = ::CopyFileW(settings.sources, temporary.get(), TRUE);
        }
        return copied ? 0 : ::GetLastError();
    });
}

// A verified copy made and read back by the engine's own loop, into a fresh
// temporary beside `target`. kNeedsSystemCopy when the file is not one for
// the loop (nothing was made then). Returns 0 (with the verdict in
// `result`) or the error.
DWORD copyVerifiedToTemporary(FILE_TREE_SETTING& settings, uint64_t size, uint64_t allowance, unsigned attempt,
                              TemporaryPath& temporary, VerifyResult& result)
{
    const VerifiedCopyFunction copyVerified = activeRoutines().copyVerified;
    if (!copyVerified) return kNeedsSystemCopy;
    return ontoFreshTemporary(settings, temporary, [&] {
        return copyVerified(settings, settings.sources, temporary.get(), size, allowance, attempt, result);
    });
}

// One verified copy into a fresh temporary, read back: by the engine's own
// loop where it carries the file, else by the copy routine.
VerifyResult makeAndCompare(FILE_TREE_SETTING& settings, uint64_t size, uint64_t allowance, unsigned attempt,
                            TemporaryPath& temporary, DWORD& copyError)
{
    VerifyResult result = {Verdict::Failed, 0};
    copyError = copyVerifiedToTemporary(settings, size, allowance, attempt, temporary, result);
    if (copyError != kNeedsSystemCopy) return result;
    copyError = copyToTemporary(settings, size, temporary);
    if (copyError) return result;
    // The copy routine need not have reported every chunk.
    if (settings.currentFileBytes < size) accountFileBytes(settings, size - settings.currentFileBytes, allowance);
    runReadBackFaultHook(temporary.get(), attempt);
    return compareWithSource(settings, settings.sources, temporary.get(), size, allowance);
}

// The temporary copy of the source, read back and compared with its source
// when the run verifies copies. A copy that differs from its source, or
// cannot be read back, is discarded and made once more; when that one
// fails too, so does the file, and nothing has changed at the target.
WriteResult makeTemporaryCopy(FILE_TREE_SETTING& settings, uint64_t size, TemporaryPath& temporary)
{
    if (!settings.verifyCopies) {
        const DWORD error = copyToTemporary(settings, size, temporary);
        return {error ? Written::Failed : Written::Done, error};
    }
    const uint64_t allowance = progressAllowance(settings, size);
    for (unsigned attempt = 0;; ++attempt) {
        DWORD copyError = 0;
        const VerifyResult result = makeAndCompare(settings, size, allowance, attempt, temporary, copyError);
        if (copyError) return {Written::Failed, copyError};
        if (result.verdict == Verdict::Equal) return {Written::Done, 0, true, result.digest};
        temporary.remove();
        if (result.error == ERROR_REQUEST_ABORTED || settings.cancel) return {Written::Failed, ERROR_REQUEST_ABORTED};
        if (attempt >= 1) {
            if (result.verdict == Verdict::Different) return {Written::VerifyFailed, 0};
            return {Written::ReadBackFailed, result.error};
        }
        // Made once more: the bytes of the discarded copy join the total.
        settings.totalBytes += settings.currentFileBytes;
        settings.currentFileBytes = 0;
    }
}

// Puts a complete temporary copy in place of the target in one rename
// within the folder: the target is either its old self or the new copy.
// The policy is asked once more right before.
WriteResult placeTemporary(const FILE_TREE_SETTING& settings, const TemporaryPath& temporary,
                           const ListingRecord* judged)
{
    const Placement placement = placementFor(settings, judged);
    if (placement == Placement::Changed) {
        temporary.remove();
        return {Written::TargetChanged, 0};
    }
    const DWORD flags = placement == Placement::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (::MoveFileExW(temporary.get(), settings.target, flags)) return {Written::Done, 0};
    const DWORD error = ::GetLastError();
    temporary.remove();
    if (placement == Placement::Create && alreadyExists(error)) return {Written::TargetAppeared, 0};
    return {Written::Failed, error};
}

WriteResult copyFile(FILE_TREE_SETTING& settings, uint64_t size, const ListingRecord* judged)
{
    // No one writes the source while it is copied.
    HeldSource locked;
    switch (locked.lockForCopy(settings.sources)) {
    case HoldResult::Held: break;
    case HoldResult::InUse: return {Written::SourceInUse, locked.error()};
    default: return {Written::Failed, locked.error()};
    }
    TemporaryPath temporary;
    const WriteResult copied = makeTemporaryCopy(settings, size, temporary);
    if (copied.outcome != Written::Done) return copied;
    WriteResult placed = placeTemporary(settings, temporary, judged);
    placed.verified = copied.verified && placed.outcome == Written::Done;
    placed.digest = copied.digest;
    return placed;
}

WriteResult moveFile(FILE_TREE_SETTING& settings, uint64_t size, const ListingRecord* judged)
{
    // On one volume a move is a rename: atomic, nothing is copied.
    const Placement placement = placementFor(settings, judged);
    if (placement == Placement::Changed) return {Written::TargetChanged, 0};
    const DWORD flags = placement == Placement::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    const FileCopyRoutines& routines = activeRoutines();
    BOOL moved;
    if (routines.moveFileWithProgress) {
        moved = routines.moveFileWithProgress(settings.sources, settings.target, copyProgressCallback, &settings, flags);
    } else {
        moved = ::MoveFileExW(settings.sources, settings.target, flags);
    }
    if (moved) return {Written::Done, 0};
    const DWORD error = ::GetLastError();
    if (error != ERROR_NOT_SAME_DEVICE) {
        if (placement == Placement::Create && alreadyExists(error)) return {Written::TargetAppeared, 0};
        return {Written::Failed, error};
    }

    // Another volume: hold the source, copy it, put the copy in place, and
    // only then delete the source through the handle that was held all
    // along. A cancel or failure before that point leaves the source
    // untouched and the target as it was; a source another program holds,
    // or one that is not what its listing showed, is neither copied nor
    // deleted.
    if (settings.cancel) return {Written::Failed, ERROR_REQUEST_ABORTED};
    HeldSource held;
    switch (held.hold(settings.sources, *settings.currentItem)) {
    case HoldResult::Held: break;
    case HoldResult::InUse: return {Written::SourceInUse, held.error()};
    case HoldResult::Changed: return {Written::SourceChanged, 0};
    case HoldResult::Failed: return {Written::Failed, held.error()};
    }
    TemporaryPath temporary;
    const WriteResult copied = makeTemporaryCopy(settings, size, temporary);
    if (copied.outcome != Written::Done) return copied;
    const WriteResult placed = placeTemporary(settings, temporary, judged);
    if (placed.outcome != Written::Done) return placed;
    // The copy holds what the source held when it was copied; a source
    // written since (by a writer that ignores sharing) keeps its newer
    // content.
    if (!held.unchanged()) return {Written::SourceChangedInCopy, 0, copied.verified, copied.digest};
    const DWORD removeError = held.remove();
    if (removeError == 0) return {Written::Done, 0, copied.verified, copied.digest};
    // The file is whole at both places; the row says so.
    return {Written::SourceKept, removeError};
}

// Writes the row and the count of one deleted (or kept) file.
void recordDelete(FILE_TREE_SETTING& settings, const wchar_t* source, DWORD attributes, bool cleared, bool success,
                  bool kept, DWORD error)
{
    if (success) {
        logItem(settings, source, kStatusSuccess);
    } else {
        if (cleared) restoreAttributes(source, attributes);
        if (kept) logReason(settings, source, kStatusFailed, kReasonNotRecycled, error);
        else logError(settings, source, kStatusFailed, error);
    }
    countOutcome(settings, success);
    refreshProgress(settings);
}

int applyDelete(FILE_TREE_SETTING& settings)
{
    const ListingRecord* item = settings.currentItem;
    const uint64_t size = item->size;
    const FileDecision decision = decideFile(settings, false, true);
    if (settings.isCountingPass()) {
        notePlanned(settings, settings.sources, nullptr, decision, size);
        settings.totalBytes += size;
        ++settings.totalFiles;
        return kOperationDone;
    }

    settings.doneBytes += size;
    showFileName(settings);
    const wchar_t* source = settings.sources;
    const DWORD attributes = item->attributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (decision.action == FileAction::Skip) {
        // Read-only protection, or a test run, which changes nothing on
        // disk, not even an attribute.
        logItem(settings, source, decision.status);
        countOutcome(settings, false);
        refreshProgress(settings);
        return kOperationFailed;
    }
    if (decision.action == FileAction::Delete) {
        // Deleted for good only while it is the file that was judged: held
        // so that no one writes it meanwhile, and deleted through that
        // handle.
        HeldSource held;
        const HoldResult result = held.hold(source, *item);
        DWORD error = held.error();
        if (result == HoldResult::Held) {
            error = held.remove();
            recordDelete(settings, source, attributes, false, error == 0, false, error);
            return error == 0 ? kOperationDone : kOperationFailed;
        }
        logHoldFailure(settings, source, result, error);
        countOutcome(settings, false);
        refreshProgress(settings);
        return kOperationFailed;
    }
    const bool cleared = readOnly && clearReadOnly(source, attributes);
    {
        // In a walk, the file joins the folder's batch for the Recycle Bin;
        // its row is written when the batch has gone (flushRecycleBatch).
        RecycleBatch* batch = settings.recycleBatch;
        if (batch && RecycleBatch::canBatch(source) && batch->add(source, attributes, cleared)) {
            if (batch->full()) flushRecycleBatch(settings);
            return kOperationDone;
        }
        const RecycleResult recycled = recycleFile(source);
        recordDelete(settings, source, attributes, cleared, recycled.recycled, recycled.kept, recycled.error);
        return recycled.recycled ? kOperationDone : kOperationFailed;
    }
}

// A move whose target is not older than its source: the target stays and
// the source is deleted, but only while the target is still the file that
// was judged; otherwise both stay. `decision` is the file's judgement
// (DropSource, or a refusal of the source).
int deleteOutdatedSource(FILE_TREE_SETTING& settings, const FileDecision& decision)
{
    const ListingRecord* item = settings.currentItem;
    const wchar_t* source = settings.sources;
    showFileName(settings);
    bool deleted = false;
    if (placementFor(settings, settings.existingTarget) != Placement::Replace) {
        logReason(settings, settings.target, kStatusFailed, kReasonTargetChanged, 0);
    } else if (decision.action == FileAction::Skip) {
        logItem(settings, source, decision.status);
    } else if (decision.action == FileAction::Fail) {
        logReason(settings, source, kStatusFailed, decision.reason, decision.error);
    } else {
        // The source goes only while it is the file that was judged, and
        // only when the target that stays is another file.
        HeldSource held;
        const HoldResult result = held.hold(source, *item);
        if (result != HoldResult::Held) {
            logHoldFailure(settings, source, result, held.error());
        } else if (const ItemReason same = sameFileReason(held.facts(), settings.target)) {
            logReason(settings, source, kStatusFailed, same, 0);
        } else if (const DWORD error = held.remove()) {
            logError(settings, source, kStatusFailed, error);
        } else {
            logItem(settings, source, kStatusSuccess);
            deleted = true;
            // The target now stands for the source that went: no later
            // source of this run may write over it.
            recordWrittenName(settings);
        }
    }
    countOutcome(settings, deleted);
    settings.doneBytes += item->size;
    refreshProgress(settings);
    return kOperationSkipped;
}

// Counts a copy or move in the counting pass as its executing pass will
// treat it (bytes to move, room needed on the target), by its decision.
int countCopyOrMove(FILE_TREE_SETTING& settings, const FileDecision& decision)
{
    const ListingRecord* existing = settings.existingTarget;
    const uint64_t size = settings.currentItem->size;
    if (decision.action == FileAction::Fail &&
        (decision.reason == kReasonLinkInTheWay || decision.reason == kReasonFolderInTheWay)) {
        return refuseFile(settings, decision.reason, 0);
    }
    if (decision.action == FileAction::KeepTarget) return kOperationSkipped;
    if (decision.targetStays) {
        // The source goes and frees its room where it leaves the target's volume.
        settings.totalBytes += size;
        if (settings.sameVolume) settings.neededBytes -= static_cast<int64_t>(size);
        ++settings.totalFiles;
        return kOperationSkipped;
    }
    // A verified copy is read back after it is written: twice the bytes.
    settings.totalBytes += progressAllowance(settings, size);
    const int64_t growth = static_cast<int64_t>(size) - static_cast<int64_t>(existing ? existing->size : 0);
    // A move within one volume only renames: it needs room only where it
    // replaces a target. Anything else is written in full beside the old
    // target before the rename lets that go.
    const bool renames = settings.kind() == kOperationMove && settings.sameVolume;
    const int64_t during = settings.neededBytes + (renames ? 0 : static_cast<int64_t>(size));
    if (!renames || existing) settings.neededBytes += growth;
    settings.neededPeakBytes = std::max({settings.neededPeakBytes, during, settings.neededBytes});
    ++settings.totalFiles;
    return kOperationDone;
}

// Whether a decision puts something at the target's name (or keeps the
// target there in place of a source that goes): later sources of the run
// may not write that name again.
bool claimsTargetName(const FileDecision& decision)
{
    switch (decision.action) {
    case FileAction::Copy:
    case FileAction::Replace:
    case FileAction::MoveRename:
    case FileAction::MoveCopy:
    case FileAction::DropSource: return true;
    default: return false;
    }
}

int applyCopyOrMove(FILE_TREE_SETTING& settings)
{
    const ListingRecord* item = settings.currentItem;
    const ListingRecord* existing = settings.existingTarget;
    const bool move = settings.kind() == kOperationMove;
    const bool counting = settings.isCountingPass();
    const bool planning = settings.plan != nullptr;
    const uint64_t size = item->size;

    // The names this run wrote are known to the executing pass and to a
    // plan (which records what the run would write); the counting pass
    // judges without them and without opening targets.
    const std::wstring* writer = counting && !planning ? nullptr : nameWriter(settings);
    const FileDecision decision = decideFile(settings, writer != nullptr, !counting || planning);
    if (planning) {
        notePlanned(settings, settings.sources, settings.target, decision, size);
        if (claimsTargetName(decision)) recordWrittenName(settings);
    }
    if (counting) return countCopyOrMove(settings, decision);

    if (decision.action == FileAction::Fail &&
        (decision.reason == kReasonLinkInTheWay || decision.reason == kReasonFolderInTheWay)) {
        return refuseFile(settings, decision.reason, 0);
    }
    if (decision.action == FileAction::KeepTarget) return kOperationSkipped;
    if (decision.targetStays) return deleteOutdatedSource(settings, decision);

    showFileName(settings);
    const wchar_t* target = settings.target;
    if (decision.action == FileAction::Fail || decision.action == FileAction::Skip) {
        // A name this run already wrote here, a target that is the source
        // itself under another name, or a protected read-only target:
        // nothing is written, both files stay.
        if (decision.reason == kReasonNameWritten && writer) logNameWritten(settings, *writer);
        else if (decision.action == FileAction::Skip) logItem(settings, settings.sources, decision.status);
        else logReason(settings, settings.sources, kStatusFailed, decision.reason, decision.error);
        settings.doneBytes += progressAllowance(settings, size);
        ++settings.failedFiles;
        refreshProgress(settings);
        return kOperationFailed;
    }
    const DWORD targetAttributes = existing ? existing->attributes : 0;
    const bool targetReadOnly = (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const bool cleared = targetReadOnly && clearReadOnly(target, targetAttributes);

    settings.currentFileBytes = 0;
    const WriteResult written =
        move ? moveFile(settings, size, existing) : copyFile(settings, size, existing);
    // Whatever the system routine reported, the file's bytes are now handled
    // (a verified copy's twice: written and read back).
    const uint64_t allowance = progressAllowance(settings, size);
    if (settings.currentFileBytes < allowance) settings.doneBytes += allowance - settings.currentFileBytes;
    settings.currentFileBytes = allowance;

    // The old target's attributes go back only where the old target stayed.
    if (cleared && written.outcome != Written::Done && written.outcome != Written::SourceKept &&
        written.outcome != Written::SourceChangedInCopy) {
        restoreAttributes(target, targetAttributes);
    }
    switch (written.outcome) {
    case Written::Done:
        if (written.verified) {
            ++settings.verifiedFiles;
            // The hash the verification computed goes with the row.
            if (settings.log) {
                Outcome verified;
                verified.status = kStatusVerified;
                verified.digest = &written.digest;
                settings.log->WriteOutcome(target, verified);
            }
        } else {
            logItem(settings, target, kStatusSuccess);
        }
        break;
    case Written::Failed: logError(settings, target, kStatusFailed, written.error); break;
    case Written::TargetAppeared: logReason(settings, target, kStatusFailed, kReasonTargetAppeared, 0); break;
    case Written::TargetChanged: logReason(settings, target, kStatusFailed, kReasonTargetChanged, 0); break;
    case Written::SourceKept:
        logReason(settings, settings.sources, kStatusFailed, kReasonSourceKept, written.error);
        break;
    case Written::VerifyFailed: logReason(settings, target, kStatusFailed, kReasonVerifyFailed, 0); break;
    case Written::ReadBackFailed:
        logReason(settings, target, kStatusFailed, kReasonReadBackFailed, written.error);
        break;
    case Written::SourceInUse:
        logReason(settings, settings.sources, kStatusFailed, kReasonSourceInUse, written.error);
        break;
    case Written::SourceChanged: logReason(settings, settings.sources, kStatusFailed, kReasonSourceChanged, 0); break;
    case Written::SourceChangedInCopy:
        logReason(settings, settings.sources, kStatusFailed, kReasonSourceChangedInCopy, 0);
        break;
    }
    // The target's name now holds what this run wrote.
    if (written.outcome == Written::Done || written.outcome == Written::SourceKept ||
        written.outcome == Written::SourceChangedInCopy) {
        recordWrittenName(settings);
    }
    const bool success = written.outcome == Written::Done;
    countOutcome(settings, success);
    refreshProgress(settings);
    return success ? kOperationDone : kOperationFailed;
}

} // namespace

const FileCopyRoutines& systemCopyRoutines()
{
    static const FileCopyRoutines routines = [] {
        FileCopyRoutines found = {};
        if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
            found.copyFileEx = reinterpret_cast<CopyFileExFunction>(
                reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "CopyFileExW")));
            found.moveFileWithProgress = reinterpret_cast<MoveFileWithProgressFunction>(
                reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "MoveFileWithProgressW")));
        }
        found.copyVerified = copyVerified;
        return found;
    }();
    return routines;
}

void overrideCopyRoutines(const FileCopyRoutines* routines) { g_routineOverride.store(routines); }

DWORD CALLBACK copyProgressCallback(LARGE_INTEGER, LARGE_INTEGER totalBytesTransferred, LARGE_INTEGER,
                                    LARGE_INTEGER, DWORD, DWORD callbackReason, HANDLE, HANDLE,
                                    LPVOID data) noexcept
{
    auto* settings = static_cast<FILE_TREE_SETTING*>(data);
    if (!settings) return PROGRESS_CONTINUE;
    if (callbackReason == CALLBACK_CHUNK_FINISHED) {
        const uint64_t transferred = static_cast<uint64_t>(totalBytesTransferred.QuadPart);
        if (transferred > settings->currentFileBytes) settings->doneBytes += transferred - settings->currentFileBytes;
        settings->currentFileBytes = transferred;
        if (settings->progress) {
            // No exception may cross the system's copy routine: a display
            // that cannot be refreshed leaves the copy going.
            try {
                settings->progress->UpdateCounters(true);
            } catch (...) {
            }
        }
    }
    return settings->cancel ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

int refuseFile(FILE_TREE_SETTING& settings, ItemReason reason, DWORD error)
{
    const ListingRecord* item = settings.currentItem;
    const uint64_t size = item ? item->size : 0;
    if (settings.isCountingPass()) {
        notePlanned(settings, settings.sources, settings.target, refusalDecision(kStatusFailed, reason, error), size);
        // Counted as the executing pass will treat it: one failed file.
        settings.totalBytes += size;
        ++settings.totalFiles;
        return kOperationDone;
    }
    settings.doneBytes += size;
    showFileName(settings);
    logReason(settings, settings.sources, kStatusFailed, reason, error);
    ++settings.failedFiles;
    refreshProgress(settings);
    return kOperationFailed;
}

int applyOperation(FILE_TREE_SETTING& settings)
{
    if (!settings.currentItem || !settings.sources || !settings.target) return kOperationFailed;
    switch (settings.kind()) {
    case kOperationCopy:
    case kOperationMove: return applyCopyOrMove(settings);
    case kOperationDelete: return applyDelete(settings);
    case kOperationCompress:
        if (settings.plan) {
            notePlanned(settings, settings.sources, nullptr, decideFile(settings, false, false),
                        settings.currentItem->size);
            return kOperationDone;
        }
        // The archive takes the file later; the walk only hands it over.
        return settings.collector && settings.collector->CollectFile(settings.sources, *settings.currentItem)
                   ? kOperationDone
                   : kOperationFailed;
    default: return kOperationFailed;
    }
}

void flushRecycleBatch(FILE_TREE_SETTING& settings)
{
    RecycleBatch* batch = settings.recycleBatch;
    if (!batch || batch->empty()) return;
    batch->send();
    for (RecycleBatch::Entry& entry : batch->entries()) {
        recordDelete(settings, entry.path.c_str(), entry.attributes, entry.readOnlyCleared, entry.result.recycled,
                     entry.result.kept, entry.result.error);
    }
    batch->clear();
}

bool removeEmptiedFolder(FILE_TREE_SETTING& settings)
{
    const wchar_t* folder = settings.sources;
    if (!folder || !*folder) return false;
    const DWORD attributes =
        settings.currentItem ? settings.currentItem->attributes : ::GetFileAttributesW(folder);
    bool cleared = false;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        if (settings.protectReadOnly) {
            logItem(settings, folder, kStatusFolderReadOnly);
            ++settings.failedFolders;
            return false;
        }
        cleared = clearReadOnly(folder, attributes);
    }
    if (::RemoveDirectoryW(folder)) {
        wchar_t shown[MAX_PATH];
        const wchar_t* notified = ordinaryPathForm(folder, shown, MAX_PATH) == 0 ? shown : folder;
        ::SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, notified, nullptr);
        return true;
    }
    const DWORD error = ::GetLastError();
    // A folder that stays keeps its attributes.
    if (cleared) restoreAttributes(folder, attributes);
    if (error == ERROR_DIR_NOT_EMPTY) return false;
    logError(settings, folder, kStatusFolderFailed, error);
    ++settings.failedFolders;
    return false;
}

} // namespace sorvane
