#include "run/OutcomeTexts.h"

#include "res/SorvaneRes.h"

namespace sorvane {

UINT statusTextId(ItemStatus status) noexcept
{
    switch (status) {
    case kStatusSuccess: return IDS_STATUS_SUCCESS;
    case kStatusVerified: return IDS_STATUS_VERIFIED;
    case kStatusSkipped: return IDS_STATUS_SKIPPED;
    case kStatusReadOnly: return IDS_STATUS_READ_ONLY;
    case kStatusFolderReadOnly: return IDS_STATUS_FOLDER_READ_ONLY;
    case kStatusNotExist: return IDS_STATUS_NOT_EXIST;
    case kStatusTestOnly: return IDS_STATUS_TEST_ONLY;
    case kStatusFailed: return IDS_STATUS_FAILED;
    case kStatusFolderFailed: return IDS_STATUS_FOLDER_FAILED;
    case kStatusCount: break;
    }
    return IDS_STATUS_FAILED;
}

UINT reasonTextId(ItemReason reason) noexcept
{
    switch (reason) {
    case kReasonNone: return 0;
    case kRefusalTargetIsSelected: return IDS_REFUSAL_TARGET_IS_SELECTED;
    case kRefusalTargetInsideSelection: return IDS_REFUSAL_TARGET_INSIDE_SELECTION;
    case kRefusalTargetIsSourceFolder: return IDS_REFUSAL_TARGET_IS_SOURCE_FOLDER;
    case kRefusalTargetInvalid: return IDS_REFUSAL_TARGET_INVALID;
    case kRefusalTargetUnreachable: return IDS_REFUSAL_TARGET_UNREACHABLE;
    case kRefusalTargetIsFile: return IDS_REFUSAL_TARGET_IS_FILE;
    case kRefusalUndecidable: return IDS_REFUSAL_UNDECIDABLE;
    case kRefusalLandsOnSelection: return IDS_REFUSAL_LANDS_ON_SELECTION;
    case kReasonSameFile: return IDS_REASON_SAME_FILE;
    case kReasonFolderInTheWay: return IDS_REASON_FOLDER_IN_THE_WAY;
    case kReasonTargetUnreadable: return IDS_REASON_TARGET_UNREADABLE;
    case kReasonTargetAppeared: return IDS_REASON_TARGET_APPEARED;
    case kReasonTargetChanged: return IDS_REASON_TARGET_CHANGED;
    case kReasonSourceKept: return IDS_REASON_SOURCE_KEPT;
    case kReasonLinkSkipped: return IDS_REASON_LINK_SKIPPED;
    case kReasonLinkRemoved: return IDS_REASON_LINK_REMOVED;
    case kReasonNotAName: return IDS_REASON_NOT_A_NAME;
    case kReasonNotRecycled: return IDS_REASON_NOT_RECYCLED;
    case kReasonTargetFolderSkipped: return IDS_REASON_TARGET_FOLDER_SKIPPED;
    case kReasonVerifyFailed: return IDS_REASON_VERIFY_FAILED;
    case kReasonReadBackFailed: return IDS_REASON_READ_BACK_FAILED;
    case kReasonPossiblySameFile: return IDS_REASON_POSSIBLY_SAME_FILE;
    case kReasonNameWritten: return IDS_REASON_NAME_WRITTEN;
    case kReasonSourceInUse: return IDS_REASON_SOURCE_IN_USE;
    case kReasonSourceChanged: return IDS_REASON_SOURCE_CHANGED;
    case kReasonSourceChangedInCopy: return IDS_REASON_SOURCE_CHANGED_IN_COPY;
    case kReasonLinkInTheWay: return IDS_REASON_LINK_IN_THE_WAY;
    case kReasonLinkInside: return IDS_REASON_LINK_INSIDE;
    case kReasonTargetFolderIsLink: return IDS_REASON_TARGET_FOLDER_IS_LINK;
    case kReasonCaseTwinNotRecycled: return IDS_REASON_CASE_TWIN_NOT_RECYCLED;
    case kReasonNowAFolder: return IDS_REASON_NOW_A_FOLDER;
    case kReasonFileInTheWay: return IDS_REASON_FILE_IN_THE_WAY;
    case kReasonCount: break;
    }
    return 0;
}

COLORREF outcomeColour(const Outcome& outcome) noexcept
{
    switch (outcome.status) {
    case kStatusReadOnly: return kColourMagenta;
    case kStatusFolderReadOnly:
    case kStatusFolderFailed: return kColourOrange;
    case kStatusNotExist: return kColourRed;
    // A refused run stands out: nothing of it was done.
    case kStatusFailed: return isRunRefusal(outcome.reason) ? kColourRed : kColourNone;
    default: return kColourNone;
    }
}

} // namespace sorvane
