// Every outcome the engine reports reads and looks as the report has always
// shown it: the string id of each status and reason, and the row colours.
#include "base/Strings.h"
#include "res/SorvaneRes.h"
#include "run/OutcomeTexts.h"

#include <gtest/gtest.h>

#include <set>

namespace sorvane {
namespace {

struct StatusCase {
    ItemStatus status;
    UINT textId;
    COLORREF colour; // of a row without a reason
};

const StatusCase kStatuses[] = {
    {kStatusSuccess, IDS_STATUS_SUCCESS, kColourNone},
    {kStatusVerified, IDS_STATUS_VERIFIED, kColourNone},
    {kStatusSkipped, IDS_STATUS_SKIPPED, kColourNone},
    {kStatusReadOnly, IDS_STATUS_READ_ONLY, kColourMagenta},
    {kStatusFolderReadOnly, IDS_STATUS_FOLDER_READ_ONLY, kColourOrange},
    {kStatusNotExist, IDS_STATUS_NOT_EXIST, kColourRed},
    {kStatusTestOnly, IDS_STATUS_TEST_ONLY, kColourNone},
    {kStatusFailed, IDS_STATUS_FAILED, kColourNone},
    {kStatusFolderFailed, IDS_STATUS_FOLDER_FAILED, kColourOrange},
};

struct ReasonCase {
    ItemReason reason;
    UINT textId;
    COLORREF failedColour; // of a "Failed" row for this reason
};

const ReasonCase kReasons[] = {
    {kRefusalTargetIsSelected, IDS_REFUSAL_TARGET_IS_SELECTED, kColourRed},
    {kRefusalTargetInsideSelection, IDS_REFUSAL_TARGET_INSIDE_SELECTION, kColourRed},
    {kRefusalTargetIsSourceFolder, IDS_REFUSAL_TARGET_IS_SOURCE_FOLDER, kColourRed},
    {kRefusalTargetInvalid, IDS_REFUSAL_TARGET_INVALID, kColourRed},
    {kRefusalTargetUnreachable, IDS_REFUSAL_TARGET_UNREACHABLE, kColourRed},
    {kRefusalTargetIsFile, IDS_REFUSAL_TARGET_IS_FILE, kColourRed},
    {kRefusalUndecidable, IDS_REFUSAL_UNDECIDABLE, kColourRed},
    {kRefusalLandsOnSelection, IDS_REFUSAL_LANDS_ON_SELECTION, kColourRed},
    {kReasonSameFile, IDS_REASON_SAME_FILE, kColourNone},
    {kReasonFolderInTheWay, IDS_REASON_FOLDER_IN_THE_WAY, kColourNone},
    {kReasonTargetUnreadable, IDS_REASON_TARGET_UNREADABLE, kColourNone},
    {kReasonTargetAppeared, IDS_REASON_TARGET_APPEARED, kColourNone},
    {kReasonTargetChanged, IDS_REASON_TARGET_CHANGED, kColourNone},
    {kReasonSourceKept, IDS_REASON_SOURCE_KEPT, kColourNone},
    {kReasonLinkSkipped, IDS_REASON_LINK_SKIPPED, kColourNone},
    {kReasonLinkRemoved, IDS_REASON_LINK_REMOVED, kColourNone},
    {kReasonNotAName, IDS_REASON_NOT_A_NAME, kColourNone},
    {kReasonNotRecycled, IDS_REASON_NOT_RECYCLED, kColourNone},
    {kReasonTargetFolderSkipped, IDS_REASON_TARGET_FOLDER_SKIPPED, kColourNone},
    {kReasonVerifyFailed, IDS_REASON_VERIFY_FAILED, kColourNone},
    {kReasonReadBackFailed, IDS_REASON_READ_BACK_FAILED, kColourNone},
    {kReasonPossiblySameFile, IDS_REASON_POSSIBLY_SAME_FILE, kColourNone},
    {kReasonNameWritten, IDS_REASON_NAME_WRITTEN, kColourNone},
    {kReasonSourceInUse, IDS_REASON_SOURCE_IN_USE, kColourNone},
    {kReasonSourceChanged, IDS_REASON_SOURCE_CHANGED, kColourNone},
    {kReasonSourceChangedInCopy, IDS_REASON_SOURCE_CHANGED_IN_COPY, kColourNone},
    {kReasonLinkInTheWay, IDS_REASON_LINK_IN_THE_WAY, kColourNone},
    {kReasonLinkInside, IDS_REASON_LINK_INSIDE, kColourNone},
    {kReasonTargetFolderIsLink, IDS_REASON_TARGET_FOLDER_IS_LINK, kColourNone},
    {kReasonCaseTwinNotRecycled, IDS_REASON_CASE_TWIN_NOT_RECYCLED, kColourNone},
    {kReasonNowAFolder, IDS_REASON_NOW_A_FOLDER, kColourNone},
    {kReasonFileInTheWay, IDS_REASON_FILE_IN_THE_WAY, kColourNone},
};

TEST(OutcomeTexts, EveryOutcomeMapsToItsTextAndColour)
{
    // Each table covers its whole enum once, so that an outcome added to
    // the engine without a text here fails.
    ASSERT_EQ(std::size(kStatuses), static_cast<size_t>(kStatusCount));
    ASSERT_EQ(std::size(kReasons) + 1, static_cast<size_t>(kReasonCount));
    std::set<UINT> ids;
    for (const StatusCase& c : kStatuses) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(statusTextId(c.status), c.textId);
        EXPECT_EQ(outcomeColour({c.status}), c.colour);
        EXPECT_FALSE(loadString(statusTextId(c.status)).empty()) << "the text is in the string table";
        EXPECT_TRUE(ids.insert(c.textId).second) << "two statuses read alike";
    }
    EXPECT_EQ(reasonTextId(kReasonNone), 0u);
    for (const ReasonCase& c : kReasons) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(reasonTextId(c.reason), c.textId);
        EXPECT_EQ(outcomeColour({kStatusFailed, c.reason}), c.failedColour);
        // The status decides the colour of every other row.
        EXPECT_EQ(outcomeColour({kStatusSkipped, c.reason}), kColourNone);
        EXPECT_EQ(outcomeColour({kStatusFolderFailed, c.reason}), kColourOrange);
        EXPECT_FALSE(loadString(reasonTextId(c.reason)).empty());
        EXPECT_TRUE(ids.insert(c.textId).second) << "two outcomes read alike";
    }
}

} // namespace
} // namespace sorvane
