#include "run/RunSequence.h"

#include "base/Strings.h"
#include "engine/Decision.h"
#include "engine/OverlapGuard.h"
#include "engine/PathForms.h"
#include "engine/PatternMatch.h"
#include "engine/SourceWalk.h"
#include "res/SorvaneRes.h"
#include "run/LogHtml.h"
#include "run/OutcomeTexts.h"

#include <cwchar>

namespace sorvane {

namespace {

enum : UINT {
    kIdsAppName = IDS_APP_NAME,
    kIdsCanceled = IDS_CANCELED,
    kIdsTotalFiles = IDS_REPORT_TOTAL_FILES,
    kIdsCompletedFiles = IDS_REPORT_COMPLETED_FILES,
    kIdsFailedFiles = IDS_REPORT_FAILED_FILES,
    kIdsFailedFolders = IDS_REPORT_FAILED_FOLDERS,
    kIdsRunStopped = IDS_RUN_STOPPED,
    kIdsVerifiedFiles = IDS_REPORT_VERIFIED_FILES,
    kIdsLinksSkipped = IDS_REPORT_LINKS_SKIPPED,
    kIdsLockGivenUp = IDS_REPORT_LOCK_GIVEN_UP,
};
constexpr const wchar_t* kReportTitle = L"Sorvane Log File";

bool systemFreeSpace(const wchar_t* path, uint64_t* freeBytes)
{
    ULARGE_INTEGER available = {};
    ULARGE_INTEGER total = {};
    ULARGE_INTEGER free = {};
    if (!::GetDiskFreeSpaceExW(path, &available, &total, &free)) return false;
    *freeBytes = free.QuadPart; // the volume's free bytes, not the caller's share
    return true;
}

FreeSpaceQuery& freeSpaceQuery()
{
    static FreeSpaceQuery query = systemFreeSpace;
    return query;
}

void writeTotal(CLogHtml& report, UINT labelId, uint32_t value, COLORREF colour)
{
    report.WriteLabelRow(labelId, std::to_wstring(static_cast<int32_t>(value)).c_str(), colour);
}

// The bytes the target's volume lacks for the run, 0 when it has room or
// cannot tell. Only a copy or move writes anything.
int64_t shortfallOf(const FILE_TREE_SETTING& job)
{
    const uint32_t kind = job.kind();
    if (kind != kOperationCopy && kind != kOperationMove) return 0;
    const std::wstring path = diskSpaceQueryPath(job.target);
    uint64_t freeBytes = 0;
    if (!freeSpaceQuery()(path.c_str(), &freeBytes)) return 0;
    // The most the run needs at any moment: a replacement is written in
    // full beside the old target before the old one goes.
    const int64_t needed = job.neededPeakBytes > job.neededBytes ? job.neededPeakBytes : job.neededBytes;
    if (static_cast<int64_t>(freeBytes) >= needed) return 0;
    return needed - static_cast<int64_t>(freeBytes);
}

void writeTotals(CLogHtml& report, const FILE_TREE_SETTING& job)
{
    report.BeginTable();
    writeTotal(report, kIdsTotalFiles, job.totalFiles, kColourGreen);
    writeTotal(report, kIdsCompletedFiles, job.completedFiles, kColourGreen);
    // Of the completed files, those whose copies were read back and found
    // equal to their sources.
    if (job.verifyCopies && (job.kind() == kOperationCopy || job.kind() == kOperationMove)) {
        writeTotal(report, kIdsVerifiedFiles, job.verifiedFiles, kColourGreen);
    }
    writeTotal(report, kIdsFailedFiles, job.failedFiles, kColourRed);
    if (job.failedFolders != 0) writeTotal(report, kIdsFailedFolders, job.failedFolders, kColourRed);
    // Links met inside the selected folders, left alone (among the failed files).
    if (job.skippedLinks != 0) writeTotal(report, kIdsLinksSkipped, job.skippedLinks, kColourRed);
    report.EndTable();
}

} // namespace

ILogSink* IRunHost::EngineLog(CLogHtml* report) { return report; }

void IRunHost::ProcessSelection(FILE_TREE_SETTING& job) { processSourceList(job); }

FreeSpaceQuery setFreeSpaceQuery(FreeSpaceQuery query)
{
    FreeSpaceQuery previous = freeSpaceQuery();
    freeSpaceQuery() = query ? query : systemFreeSpace;
    return previous;
}

void planSequence(FILE_TREE_SETTING& job, IPlanSink& sink)
{
    // The walk matches names against the pattern list in upper case, as
    // the run's counting pass gets it.
    upperCasePatternList(job.patterns);
    planSourceList(job, sink);
}

void addTargetSeparator(FILE_TREE_SETTING& job)
{
    if (job.kind() == kOperationDelete || !job.target) return;
    const size_t length = std::wcslen(job.target);
    if (length != 0 && job.target[length - 1] != L'\\' && length + 1 < kRunPathCapacity) {
        job.target[length] = L'\\';
        job.target[length + 1] = L'\0';
    }
}

std::wstring diskSpaceQueryPath(const wchar_t* target)
{
    if (!target) return {};
    const size_t root = rootLength(target);
    if (root == 0) return target;
    std::wstring path(target, root);
    const PathForm form = pathFormOf(target);
    if (form == PathForm::Share || form == PathForm::LongShare || form == PathForm::DeviceShare) {
        // A share is asked at its root, "\\server\share\": the long form of a
        // share is no place the free-space query takes.
        path = ordinaryFormOf(path);
        if (path.back() != L'\\') path += L'\\';
    }
    return path;
}

RunOutcome runSequence(FILE_TREE_SETTING& job, CLogHtml* report, const std::wstring& reportPath, IRunHost& host)
{
    RunOutcome outcome;
    bool tableOpen = false;
    bool stopped = false;
    bool refused = false;
    bool noRoom = false;

    try {
        // The counting-pass flag; the report with its head and settings.
        job.operation |= kCountingPassFlag;
        if (report) {
            report->Open(reportPath.c_str());
            report->WriteHead(loadString(kIdsAppName).c_str(), kReportTitle);
            report->WriteSettingsTable(job);
        }
        job.log = host.EngineLog(report);

        // The target in its full form, checked against the selection once
        // more: a target given on a command line has seen no dialog.
        OverlapDetail detail;
        const ItemReason refusal = prepareRunTarget(job, true, &detail);
        if (refusal != kReasonNone) {
            const std::wstring message =
                formatString(reasonTextId(refusal), detail.item.c_str(), detail.landing.c_str());
            if (report) report->WriteParagraph(message.c_str(), kColourRed);
            refused = true;
            host.OnRefusal(message);
            job.cancel = 1;
        }

        // Count what qualifies.
        host.OnPhase(RunPhase::Counting);
        upperCasePatternList(job.patterns);
        if (!job.cancel) host.ProcessSelection(job);
        job.operation &= ~kCountingPassFlag;
        outcome.nothingQualified = !job.cancel && job.totalFiles == 0 && job.countedFolders == 0;

        // Execute when there is something to do and room for it.
        if (!job.cancel) {
            outcome.shortfall = shortfallOf(job);
            if (outcome.shortfall > 0 && !host.OnShortage(outcome.shortfall)) {
                noRoom = true;
                job.cancel = 1;
            }
        }
        if (!job.cancel && !outcome.nothingQualified) {
            host.OnPhase(RunPhase::Executing);
            if (report) {
                report->BeginTable();
                tableOpen = true;
            }
            host.ProcessSelection(job);
            if (report) report->EndTable();
            tableOpen = false;
        }
    } catch (...) {
        // The run stops here; what it did is reported as far as it got.
        stopped = true;
        job.cancel = 1;
    }

    // Totals, the cancel note, and the end of the report.
    try {
        if (report) {
            if (stopped) {
                if (!tableOpen) report->BeginTable();
                report->WriteLabelRow(kIdsRunStopped, L"", kColourRed);
                tableOpen = true;
            }
            if (tableOpen) report->EndTable();
            writeTotals(*report, job);
            // Another process held the report's lock too long: the run wrote
            // on without it, and says so.
            report->Flush();
            if (report->lockGivenUp()) {
                const long long seconds = (report->lockWaitMilliseconds() + 999) / 1000;
                report->WriteParagraph(formatNumber(kIdsLockGivenUp, seconds).c_str(), kColourRed);
            }
            if (job.cancel) report->WriteParagraph(kIdsCanceled, kColourRed);
            report->WriteFooter();
            report->Close();
        }
    } catch (...) {
        stopped = true;
        if (report) report->Close();
    }
    job.log = nullptr;
    job.operation &= ~kCountingPassFlag;

    if (stopped) outcome.end = RunEnd::Stopped;
    else if (refused) outcome.end = RunEnd::Refused;
    else if (noRoom) outcome.end = RunEnd::NoRoom;
    else if (job.cancel) outcome.end = RunEnd::Cancelled;
    else outcome.end = RunEnd::Completed;

    // The end, shown once the report is complete on disk.
    try {
        host.OnPhase(RunPhase::Finished);
    } catch (...) {
        outcome.end = RunEnd::Stopped;
    }
    return outcome;
}

} // namespace sorvane
