// What became of one item of a run, as the engine reports it: a status, the
// reason behind it where there is one, the system error where one caused
// it, and the names a reason speaks of. The engine decides outcomes only;
// how they read and look (texts, colours, codes for other tools) is the
// business of whoever receives them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sorvane {

struct Digest128;

enum ItemStatus : uint8_t {
    kStatusSuccess,        // done
    kStatusVerified,       // done, and the copy read back equal to its source
    kStatusSkipped,        // left alone on purpose (a link, the run's own target folder)
    kStatusReadOnly,       // a read-only file kept by the protection policy
    kStatusFolderReadOnly, // a read-only folder kept by the protection policy
    kStatusNotExist,       // a selected item that is not there
    kStatusTestOnly,       // a delete's test run: would have been deleted
    kStatusFailed,         // not done, for the reason or the system error given
    kStatusFolderFailed,   // a folder that could not be listed, made or removed
    kStatusCount
};

enum ItemReason : uint8_t {
    kReasonNone,
    // Why a run may not start at all (the target as a whole).
    kRefusalTargetIsSelected,      // the target is a selected item
    kRefusalTargetInsideSelection, // the target lies inside a selected folder
    kRefusalTargetIsSourceFolder,  // the target is the folder that holds the selection
    kRefusalTargetInvalid,         // not a usable folder path
    kRefusalTargetUnreachable,     // its drive or share is not there
    kRefusalTargetIsFile,          // a file, or a file lies in its path
    kRefusalUndecidable,           // cannot be told apart from the selection
    kRefusalLandsOnSelection,      // an item's own target is, holds or lies in the selection (names which)
    // Why one item was not done, or was done otherwise.
    kReasonSameFile,             // source and target are one file
    kReasonFolderInTheWay,       // a folder of the file's name in the target
    kReasonTargetUnreadable,     // the target folder could not be listed
    kReasonTargetAppeared,       // a target came after the listing
    kReasonTargetChanged,        // the target is not the file that was judged
    kReasonSourceKept,           // written to the target, the source could not go
    kReasonLinkSkipped,          // a selected link is not followed
    kReasonLinkRemoved,          // the link itself was deleted
    kReasonNotAName,             // a source-list element that names no item
    kReasonNotRecycled,          // the Recycle Bin did not take the file
    kReasonTargetFolderSkipped,  // the walk met the run's own target folder
    kReasonVerifyFailed,         // the copy read back differed from its source, twice
    kReasonReadBackFailed,       // the copy could not be read back
    kReasonPossiblySameFile,     // same id, size and time on volumes that cannot be told apart
    kReasonNameWritten,          // this run already wrote the name here (first: from which source)
    kReasonSourceInUse,          // another program holds the source
    kReasonSourceChanged,        // the source is not what its listing showed
    kReasonSourceChangedInCopy,  // the source changed while it was copied; the copy stays
    kReasonLinkInTheWay,         // a link of the file's name in the target
    kReasonLinkInside,           // a link inside a selected folder, left alone
    kReasonTargetFolderIsLink,   // the file's target folder is a link
    kReasonCaseTwinNotRecycled,  // the Recycle Bin cannot tell the file from its case twin
    kReasonNowAFolder,           // a file handed over to delete is a folder now
    kReasonFileInTheWay,         // a file of the folder's name in the target: nothing can be written below it
    kReasonCount
};

// True for the reasons that refuse a whole run's target.
constexpr bool isRunRefusal(ItemReason reason) noexcept
{
    return reason >= kRefusalTargetIsSelected && reason <= kRefusalLandsOnSelection;
}

struct Outcome {
    ItemStatus status = kStatusSuccess;
    ItemReason reason = kReasonNone;
    // The system error behind a failure; 0 when there is none. A failure
    // without a reason always shows its error, even 0.
    DWORD error = 0;
    // What a reason speaks of (null: nothing), such as the other file of a
    // conflict or where an item's copy would land.
    const wchar_t* first = nullptr;
    const wchar_t* second = nullptr;
    // kStatusVerified: the XXH3-128 hash of the copy's bytes as its
    // verification read them back; null otherwise.
    const Digest128* digest = nullptr;
};

} // namespace sorvane
