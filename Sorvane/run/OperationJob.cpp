#include "OperationJob.h"

#include "../engine/PathUtil.h"
#include "DlgProgress.h"
#include "LogHtml.h"

#include <cwchar>

namespace sorvane {

OperationJob::OperationJob(const FILE_TREE_SETTING& settings, const std::wstring& report)
    : FILE_TREE_SETTING(settings), reportPath(report)
{
    if (kind() != kOperationDelete && target) {
        const size_t length = std::wcslen(target);
        // An empty target stays empty: it must never turn into a drive root.
        if (length != 0 && target[length - 1] != L'\\' && length + 1 < kRunPathCapacity) {
            target[length] = L'\\';
            target[length + 1] = L'\0';
        }
    }
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

std::wstring diskSpaceQueryPath(const wchar_t* target)
{
    if (!target) return {};
    const wchar_t* root = pathRoot(target);
    if (root && root - target >= 2) return std::wstring(target, static_cast<size_t>(root - target));
    return target;
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
