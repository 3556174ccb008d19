#include "console/ResultCodes.h"

namespace sorvane {

namespace {

const char* const kStatusCodes[] = {
    "success", "verified", "skipped", "read_only", "folder_read_only", "not_exist", "test_only", "failed", "folder_failed",
};
static_assert(sizeof(kStatusCodes) / sizeof(kStatusCodes[0]) == kStatusCount, "a code for every status");

const char* const kReasonCodes[] = {
    "none",
    "target_is_selected",
    "target_inside_selection",
    "target_is_source_folder",
    "target_invalid",
    "target_unreachable",
    "target_is_file",
    "undecidable",
    "lands_on_selection",
    "same_file",
    "folder_in_the_way",
    "target_unreadable",
    "target_appeared",
    "target_changed",
    "source_kept",
    "link_skipped",
    "link_removed",
    "not_a_name",
    "not_recycled",
    "target_folder_skipped",
    "verify_failed",
    "read_back_failed",
    "possibly_same_file",
    "name_written",
    "source_in_use",
    "source_changed",
    "source_changed_in_copy",
    "link_in_the_way",
    "link_inside",
    "target_folder_is_link",
    "case_twin_not_recycled",
    "now_a_folder",
    "file_in_the_way",
};
static_assert(sizeof(kReasonCodes) / sizeof(kReasonCodes[0]) == kReasonCount, "a code for every reason");

} // namespace

const char* statusCode(ItemStatus status) noexcept
{
    return status < kStatusCount ? kStatusCodes[status] : "unknown";
}

const char* reasonCode(const Outcome& outcome) noexcept
{
    // A failure without a reason of its own is the system's error.
    if (outcome.reason == kReasonNone && (outcome.status == kStatusFailed || outcome.status == kStatusFolderFailed)) {
        return "system_error";
    }
    return outcome.reason < kReasonCount ? kReasonCodes[outcome.reason] : "unknown";
}

RowWeight rowWeight(const Outcome& outcome) noexcept
{
    switch (outcome.status) {
    case kStatusSuccess:
    case kStatusVerified:
    case kStatusTestOnly: return RowWeight::Done;
    case kStatusReadOnly:
    case kStatusFolderReadOnly: return RowWeight::Policy;
    default: return RowWeight::Problem;
    }
}

void RowTally::add(const Outcome& outcome) noexcept
{
    switch (rowWeight(outcome)) {
    case RowWeight::Done:
        ++done;
        if (outcome.status == kStatusTestOnly) ++testOnly;
        break;
    case RowWeight::Policy: ++policy; break;
    case RowWeight::Problem: ++problems; break;
    }
}

int exitCodeFor(RunEnd end, const RowTally& tally, uint32_t engineFailures, bool outputFailed) noexcept
{
    switch (end) {
    case RunEnd::Refused:
    case RunEnd::NoRoom: return kExitRefused;
    case RunEnd::Cancelled: return kExitCancelled;
    case RunEnd::Stopped: return kExitInternal;
    case RunEnd::Completed: break;
    }
    if (outputFailed) return kExitInternal;
    if (tally.problems > 0) return kExitProblems;
    // The engine counts among its failures the files a policy kept and a
    // test run's files, which are rows of their own: any beyond them is a
    // failure no row showed.
    const uint64_t explained = static_cast<uint64_t>(tally.policy) + tally.testOnly;
    if (engineFailures > explained) return kExitProblems;
    return kExitDone;
}

} // namespace sorvane
