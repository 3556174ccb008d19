// The worker thread of a run and its start.
#include "run/OperationJob.h"

#include "base/Strings.h"
#include "base/UserMessage.h"
#include "engine/OverlapGuard.h"
#include "engine/PatternMatch.h"
#include "engine/SourceWalk.h"
#include "res/SorvaneRes.h"
#include "run/DlgProgress.h"
#include "run/LogHtml.h"
#include "run/ProgressText.h"

#include <objbase.h>

#include <new>

namespace sorvane {

namespace {

enum : UINT {
    kIdsAppName = IDS_APP_NAME,
    kIdsDiskSpace = IDS_DISK_SPACE,
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

DWORD WINAPI workerMain(void* parameter)
{
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto& job = *static_cast<OperationJob*>(parameter);
    try {
        RunOperation(job);
    } catch (...) {
        // RunOperation ends its report and its dialog itself; should even
        // that fail, the dialog still reaches its end and nothing leaves the
        // thread.
        try {
            job.log = nullptr;
            if (job.ownedDialog) job.ownedDialog->SetPhase(CDlgProgress::kFinished);
        } catch (...) {
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}

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

// False when the user chose not to go on for lack of space.
bool checkDiskSpace(OperationJob& job)
{
    const uint32_t kind = job.kind();
    if (kind != kOperationCopy && kind != kOperationMove) return true;
    const std::wstring path = diskSpaceQueryPath(job.target);
    uint64_t freeBytes = 0;
    if (!freeSpaceQuery()(path.c_str(), &freeBytes)) return true;
    // The most the run needs at any moment: a replacement is written in
    // full beside the old target before the old one goes.
    const int64_t needed = job.neededPeakBytes > job.neededBytes ? job.neededPeakBytes : job.neededBytes;
    if (static_cast<int64_t>(freeBytes) >= needed) return true;

    CDlgProgress* dialog = job.ownedDialog;
    if (dialog) dialog->StopAnimation();
    std::wstring shortfall;
    FormatSize(needed - static_cast<int64_t>(freeBytes), shortfall);
    const HWND owner = dialog ? dialog->m_hWnd : nullptr;
    if (showMessage(owner, formatString(kIdsDiskSpace, shortfall.c_str()), MB_YESNO | MB_ICONQUESTION) == IDYES) {
        return true;
    }
    // As the Cancel button: the flag and the short countdown.
    if (owner && ::IsWindow(owner)) ::SendMessageW(owner, WM_COMMAND, IDCANCEL, 0);
    job.cancel = 1;
    return false;
}

// One pass over what the run is to process: the source list, or the files
// of a run as administrator.
void processSelection(OperationJob& job)
{
    if (job.retryPaths.empty()) processSourceList(job);
    else processRetryPaths(job, job.retryPaths);
}

} // namespace

FreeSpaceQuery setFreeSpaceQuery(FreeSpaceQuery query)
{
    FreeSpaceQuery previous = freeSpaceQuery();
    freeSpaceQuery() = query ? query : systemFreeSpace;
    return previous;
}

HWND StartOperation(OperationJob& job, HWND owner)
{
    if (job.jobState != OperationJob::kReady || job.kind() == kOperationCompress) return nullptr;
    job.cancel = 0;
    job.totalBytes = 0;
    job.neededBytes = 0;
    job.doneBytes = 0;
    job.scannedFiles = job.totalFiles = job.completedFiles = job.failedFiles = 0;
    job.countedFolders = job.failedFolders = 0;
    job.verifiedFiles = 0;
    job.skippedLinks = 0;

    job.ownedDialog = new (std::nothrow) CDlgProgress(job);
    if (!job.ownedDialog || !job.ownedDialog->Create(owner)) {
        ReleaseProgressDialog(job);
        return nullptr;
    }
    HWND window = job.ownedDialog->m_hWnd;
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::UpdateWindow(window);
    job.progress = job.ownedDialog;
    job.log = nullptr;

    job.workerThread = ::CreateThread(nullptr, 0, workerMain, &job, 0, nullptr);
    if (!job.workerThread) {
        ReleaseProgressDialog(job);
        return nullptr;
    }
    job.jobState = OperationJob::kStarted;
    return window;
}

void RunOperation(OperationJob& job)
{
    CDlgProgress* dialog = job.ownedDialog;
    bool tableOpen = false;
    bool stopped = false;

    try {
        // 1-2. Counting pass flag; the report with its head and settings.
        job.operation |= kCountingPassFlag;
        job.ownedReport = new (std::nothrow) CLogHtml;
        if (CLogHtml* report = job.ownedReport) {
            report->Open(job.reportPath.c_str());
            report->WriteHead(loadString(kIdsAppName).c_str(), kReportTitle);
            report->WriteSettingsTable(job);
        }
        job.log = job.ownedReport;
        if (job.kind() == kOperationDelete && job.retryPaths.empty()) {
            // The files the account is denied are noted on their way to the
            // report.
            job.deniedFiles.attach(job.ownedReport);
            job.log = &job.deniedFiles;
        }

        // The target in its full form, checked against the selection once
        // more: a target given on the command line has seen no dialog.
        OverlapDetail detail;
        const ItemReason refusal = prepareRunTarget(job, true, &detail);
        if (refusal != 0) {
            const std::wstring message = formatString(reasonTextId(refusal), detail.item.c_str(), detail.landing.c_str());
            if (job.ownedReport) job.ownedReport->WriteParagraph(message.c_str(), kColourRed);
            if (dialog) dialog->StopAnimation();
            showMessage(dialog ? dialog->m_hWnd : nullptr, message, MB_OK | MB_ICONERROR);
            job.cancel = 1;
        }

        // 3-5. Count what qualifies.
        if (dialog) dialog->SetPhase(CDlgProgress::kScanning);
        upperCasePatternList(job.patterns);
        if (!job.cancel) processSelection(job);
        job.operation &= ~kCountingPassFlag;

        // 6-9. Execute when there is something to do and space for it.
        if (!job.cancel && checkDiskSpace(job) && (job.totalFiles != 0 || job.countedFolders != 0) && !job.cancel) {
            if (dialog) dialog->SetPhase(CDlgProgress::kRunning);
            if (job.ownedReport) {
                job.ownedReport->BeginTable();
                tableOpen = true;
            }
            processSelection(job);
            if (job.ownedReport) job.ownedReport->EndTable();
            tableOpen = false;
        }
    } catch (...) {
        // The run stops here; what it did is reported as far as it got.
        stopped = true;
        job.cancel = 1;
    }

    // 10. Totals, the cancel note, and the end of the report.
    try {
        if (CLogHtml* report = job.ownedReport) {
            if (stopped) {
                if (!tableOpen) report->BeginTable();
                report->WriteLabelRow(kIdsRunStopped, L"", kColourRed);
                tableOpen = true;
            }
            if (tableOpen) report->EndTable();
            report->BeginTable();
            writeTotal(*report, kIdsTotalFiles, job.totalFiles, kColourGreen);
            writeTotal(*report, kIdsCompletedFiles, job.completedFiles, kColourGreen);
            // Of the completed files, those whose copies were read back and
            // found equal to their sources.
            if (job.verifyCopies && (job.kind() == kOperationCopy || job.kind() == kOperationMove)) {
                writeTotal(*report, kIdsVerifiedFiles, job.verifiedFiles, kColourGreen);
            }
            writeTotal(*report, kIdsFailedFiles, job.failedFiles, kColourRed);
            if (job.failedFolders != 0) writeTotal(*report, kIdsFailedFolders, job.failedFolders, kColourRed);
            // Links met inside the selected folders, left alone (among the failed files).
            if (job.skippedLinks != 0) writeTotal(*report, kIdsLinksSkipped, job.skippedLinks, kColourRed);
            report->EndTable();
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
        if (job.ownedReport) job.ownedReport->Close();
    }
    job.log = nullptr;
    delete job.ownedReport;
    job.ownedReport = nullptr;

    // 11. The end.
    job.operation &= ~kCountingPassFlag;
    if (dialog) dialog->SetPhase(CDlgProgress::kFinished);
}

} // namespace sorvane
