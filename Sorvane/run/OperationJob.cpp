#include "run/OperationJob.h"

#include "run/LogHtml.h"

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

} // namespace sorvane
