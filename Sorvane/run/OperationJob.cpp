#include "run/OperationJob.h"

#include "engine/PathForms.h"
#include "run/LogHtml.h"

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

bool OperationJob::offersElevatedRetry() const
{
    return kind() == kOperationDelete && retryPaths.empty() && !testOnly && !cancel && deniedFiles.any();
}

RetryList OperationJob::elevatedRetryList() const
{
    RetryList list;
    list.paths = deniedFiles.files();
    list.recycle = deleteToRecycleBin();
    list.protectReadOnly = protectReadOnly != 0;
    return list;
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

} // namespace sorvane
