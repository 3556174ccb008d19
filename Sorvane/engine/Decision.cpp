#include "engine/Decision.h"

#include "engine/FileTreeSetting.h"
#include "engine/Listing.h"
#include "engine/SameFile.h"
#include "engine/SelectedItem.h"

namespace sorvane {

namespace {

FileDecision failed(ItemReason reason)
{
    FileDecision decision;
    decision.action = FileAction::Fail;
    decision.reason = reason;
    return decision;
}

FileDecision skipped(ItemStatus status)
{
    FileDecision decision;
    decision.action = FileAction::Skip;
    decision.status = status;
    return decision;
}

FileDecision doing(FileAction action, bool replaces = false)
{
    FileDecision decision;
    decision.action = action;
    decision.status = kStatusSuccess;
    decision.replaces = replaces;
    return decision;
}

FileDecision keepTarget()
{
    FileDecision decision = doing(FileAction::KeepTarget);
    decision.targetStays = true;
    return decision;
}

bool isReadOnly(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_READONLY) != 0; }

// A move or copy onto a target of the file's name that the policy lets go
// ahead: refused where the target is the source under another name or a
// protected read-only file, else written.
FileDecision decideWrite(const FILE_TREE_SETTING& settings, const ListingRecord* existing, bool lookCloser)
{
    const bool move = settings.kind() == kOperationMove;
    if (existing && lookCloser) {
        DWORD error = 0;
        if (const ItemReason same = sameFileReason(readFileFacts(settings.sources, error), settings.target)) {
            return failed(same);
        }
    }
    if (existing && isReadOnly(existing->attributes) && settings.protectReadOnly) return skipped(kStatusReadOnly);
    if (!move) return doing(existing ? FileAction::Replace : FileAction::Copy, existing != nullptr);
    const bool renames = settings.sameVolume || settings.movesByRename;
    return doing(renames ? FileAction::MoveRename : FileAction::MoveCopy, existing != nullptr);
}

FileDecision decideCopyOrMove(const FILE_TREE_SETTING& settings, bool written, bool lookCloser)
{
    const ListingRecord* item = settings.currentItem;
    const ListingRecord* existing = settings.existingTarget;
    // A link or a folder of the file's name in the target is no older or
    // newer file: nothing is written over it, whatever the policy.
    if (existing && isLinkRecord(*existing)) return failed(kReasonLinkInTheWay);
    if (existing && existing->kind == kListingFolder) return failed(kReasonFolderInTheWay);
    // A name this run wrote (from another source whose name differs only by
    // case, or another folder landing in the same one) is no old target for
    // the policy to judge: a conflict under every policy.
    if (written) return failed(kReasonNameWritten);
    if (existing) {
        const OverwritePolicy policy = settings.overwritePolicy();
        if (policy == OverwritePolicy::Never) return keepTarget();
        if (policy == OverwritePolicy::IfNewer) {
            const FILETIME sourceTime = item->lastWrite;
            const FILETIME targetTime = existing->lastWrite;
            if (::CompareFileTime(&sourceTime, &targetTime) <= 0) {
                if (settings.kind() != kOperationMove) return keepTarget();
                // The newer target stays; the source goes, unless it is
                // protected or is that very target under another name.
                FileDecision decision = doing(FileAction::DropSource);
                if (isReadOnly(item->attributes) && settings.protectReadOnly) {
                    decision = skipped(kStatusReadOnly);
                } else if (lookCloser) {
                    DWORD error = 0;
                    if (const ItemReason same =
                            sameFileReason(readFileFacts(settings.sources, error), settings.target)) {
                        decision = failed(same);
                    }
                }
                decision.targetStays = true;
                return decision;
            }
        }
    }
    return decideWrite(settings, existing, lookCloser);
}

FileDecision decideDelete(const FILE_TREE_SETTING& settings)
{
    if (isReadOnly(settings.currentItem->attributes) && settings.protectReadOnly) return skipped(kStatusReadOnly);
    // A test run changes nothing on disk, not even an attribute.
    if (settings.testOnly) return skipped(kStatusTestOnly);
    return doing(settings.deleteToRecycleBin() ? FileAction::Recycle : FileAction::Delete);
}

} // namespace

ItemReason sameFileReason(const FileFacts& source, const wchar_t* target)
{
    DWORD error = 0;
    const FileFacts there = readFileFacts(target, error);
    switch (judgeSameFile(source, there)) {
    case SameFile::Yes: return kReasonSameFile;
    case SameFile::Possibly: return kReasonPossiblySameFile;
    case SameFile::No: break;
    }
    return kReasonNone;
}

FileDecision decideFile(const FILE_TREE_SETTING& settings, bool written, bool lookCloser)
{
    if (!settings.currentItem) return failed(kReasonNotAName);
    switch (settings.kind()) {
    case kOperationCopy:
    case kOperationMove: return decideCopyOrMove(settings, written, lookCloser);
    case kOperationDelete: return decideDelete(settings);
    case kOperationCompress: return doing(FileAction::Archive);
    default: return failed(kReasonNone);
    }
}

void notePlanned(const FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* target,
                 const FileDecision& decision, uint64_t size)
{
    if (!settings.plan) return;
    const uint32_t kind = settings.kind();
    const bool hasTarget = kind == kOperationCopy || kind == kOperationMove;
    settings.plan->Planned(source, hasTarget ? target : nullptr, decision, size);
}

FileDecision refusalDecision(ItemStatus status, ItemReason reason, DWORD error)
{
    FileDecision decision;
    decision.action = status == kStatusFailed || status == kStatusFolderFailed || status == kStatusNotExist
                          ? FileAction::Fail
                          : FileAction::Skip;
    decision.status = status;
    decision.reason = reason;
    decision.error = error;
    return decision;
}

const char* actionName(FileAction action) noexcept
{
    switch (action) {
    case FileAction::Copy: return "copy";
    case FileAction::Replace: return "replace";
    case FileAction::KeepTarget: return "keep_target";
    case FileAction::MoveRename: return "move_rename";
    case FileAction::MoveCopy: return "move_copy";
    case FileAction::DropSource: return "drop_source";
    case FileAction::Delete: return "delete";
    case FileAction::Recycle: return "recycle";
    case FileAction::Archive: return "archive";
    case FileAction::Skip: return "skip";
    case FileAction::Fail: return "fail";
    case FileAction::Count: break;
    }
    return "?";
}

} // namespace sorvane
