// The worker thread of a dialog run and its start: the run sequence, with
// the progress dialog showing its phases and message boxes asking what it
// cannot decide alone.
#include "run/OperationJob.h"

#include "base/Strings.h"
#include "base/UserMessage.h"
#include "engine/PathForms.h"
#include "engine/SourceWalk.h"
#include "res/SorvaneRes.h"
#include "run/ChecksumLog.h"
#include "run/DlgProgress.h"
#include "run/ElevatedRetry.h"
#include "run/LogHtml.h"
#include "run/ProgressText.h"
#include "run/RunSequence.h"

#include <objbase.h>

#include <new>

namespace sorvane {

namespace {

enum : UINT {
    kIdsDiskSpace = IDS_DISK_SPACE,
    kIdsSumsNotWritten = IDS_SUMS_NOT_WRITTEN,
};

// The progress dialog's side of the run sequence.
class DialogHost final : public IRunHost {
public:
    explicit DialogHost(OperationJob& job) : job_(job) {}

    void OnPhase(RunPhase phase) override
    {
        if (phase == RunPhase::Finished) closeChecksums();
        CDlgProgress* dialog = job_.ownedDialog;
        if (!dialog) return;
        switch (phase) {
        case RunPhase::Counting: dialog->SetPhase(CDlgProgress::kScanning); break;
        case RunPhase::Executing: dialog->SetPhase(CDlgProgress::kRunning); break;
        case RunPhase::Finished: dialog->SetPhase(CDlgProgress::kFinished); break;
        }
    }

    void OnRefusal(const std::wstring& message) override
    {
        CDlgProgress* dialog = job_.ownedDialog;
        if (dialog) dialog->StopAnimation();
        showMessage(dialog ? dialog->m_hWnd : nullptr, message, MB_OK | MB_ICONERROR);
    }

    bool OnShortage(int64_t shortfall) override
    {
        CDlgProgress* dialog = job_.ownedDialog;
        if (dialog) dialog->StopAnimation();
        std::wstring text;
        FormatSize(shortfall, text);
        const HWND owner = dialog ? dialog->m_hWnd : nullptr;
        if (showMessage(owner, formatString(kIdsDiskSpace, text.c_str()), MB_YESNO | MB_ICONQUESTION) == IDYES) {
            return true;
        }
        // As the Cancel button: the flag and the short countdown.
        if (owner && ::IsWindow(owner)) ::SendMessageW(owner, WM_COMMAND, IDCANCEL, 0);
        return false;
    }

    ILogSink* EngineLog(CLogHtml* report) override
    {
        const uint32_t kind = job_.kind();
        if (kind == kOperationDelete && job_.retryPaths.empty()) {
            // The files the account is denied are noted on their way to
            // the report.
            job_.deniedFiles.attach(report);
            return &job_.deniedFiles;
        }
        if ((kind == kOperationCopy || kind == kOperationMove) && job_.verifyCopies && job_.writeChecksums) {
            openChecksums(report);
        }
        return job_.checksums.wrap(report, report);
    }

    // The source list, or the files of a run as administrator.
    void ProcessSelection(FILE_TREE_SETTING&) override
    {
        if (job_.retryPaths.empty()) processSourceList(job_);
        else processRetryPaths(job_, job_.retryPaths);
    }

private:
    // The checksum file, named by the local time of the run's start.
    void openChecksums(CLogHtml* report)
    {
        SYSTEMTIME start = {};
        ::GetLocalTime(&start);
        const std::wstring path = dialogChecksumPath(ordinaryFormOf(job_.target), start);
        if (const DWORD error = job_.checksums.open(path)) {
            const std::wstring message = formatString(kIdsSumsNotWritten, path.c_str(), systemMessage(error).c_str());
            if (report) report->WriteParagraph(message.c_str(), kColourRed);
            sumsProblem_ = message;
        }
    }

    // A verified copy without its line is said, as the run ends.
    void closeChecksums()
    {
        if (job_.checksums.isOpen()) {
            const uint64_t lines = job_.checksums.lines();
            const DWORD error = job_.checksums.close();
            if (error != 0) {
                sumsProblem_ = formatString(kIdsSumsNotWritten, job_.checksums.path().c_str(),
                                            systemMessage(error).c_str());
            } else if (lines == 0 && job_.cancel) {
                // A run stopped before any copy: no empty checksum file.
                ::DeleteFileW(longFormOf(job_.checksums.path()).c_str());
            }
        }
        if (sumsProblem_.empty()) return;
        CDlgProgress* dialog = job_.ownedDialog;
        showMessage(dialog ? dialog->m_hWnd : nullptr, sumsProblem_, MB_OK | MB_ICONERROR);
        sumsProblem_.clear();
    }

    OperationJob& job_;
    std::wstring sumsProblem_;
};

DWORD WINAPI workerMain(void* parameter)
{
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto& job = *static_cast<OperationJob*>(parameter);
    try {
        RunOperation(job);
    } catch (...) {
        // The run sequence ends its report and its dialog itself; should
        // even that fail, the dialog still reaches its end and nothing
        // leaves the thread.
        try {
            job.log = nullptr;
            if (job.ownedDialog) job.ownedDialog->SetPhase(CDlgProgress::kFinished);
        } catch (...) {
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}

} // namespace

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
    DialogHost host(job);
    // The report lives as long as the worker writes it.
    job.ownedReport = new (std::nothrow) CLogHtml;
    runSequence(job, job.ownedReport, job.reportPath, host);
    delete job.ownedReport;
    job.ownedReport = nullptr;
}

} // namespace sorvane
