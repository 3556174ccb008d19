#include "OperationJob.h"

#include "DlgProgress.h"
#include "LogHtml.h"

namespace sorvane {

OperationJob::OperationJob(const FILE_TREE_SETTING& settings, const std::wstring& report)
    : FILE_TREE_SETTING(settings), reportPath(report)
{
    addTargetSeparator(*this);
    jobState = kReady;
}

OperationJob::~OperationJob()
{
    ReleaseProgressDialog(*this);
    delete ownedReport;
    ownedReport = nullptr;
    log = nullptr;
    if (workerThread) ::CloseHandle(workerThread);
}

void ReleaseProgressDialog(OperationJob& job)
{
    if (CDlgProgress* dialog = job.ownedDialog) {
        if (dialog->m_hWnd && ::IsWindow(dialog->m_hWnd)) ::DestroyWindow(dialog->m_hWnd);
        delete dialog;
    }
    job.ownedDialog = nullptr;
    job.progress = nullptr;
}

} // namespace sorvane
