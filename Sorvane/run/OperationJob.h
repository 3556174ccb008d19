// One copy, move or delete run: its own copy of the settings, the worker
// thread, the progress dialog and the report.
#pragma once

#include "../engine/FileTreeSetting.h"
#include "RunSequence.h"

#include <string>

namespace sorvane {

class CDlgProgress;
class CLogHtml;

struct OperationJob : FILE_TREE_SETTING {
    enum State : uint32_t { kReady = 1, kStarted = 2 };

    // Copies the settings; the target of a copy or move gets a trailing
    // backslash. `reportPath` is the report of this run (may be empty).
    OperationJob(const FILE_TREE_SETTING& settings, const std::wstring& reportPath);
    ~OperationJob() override;
    OperationJob(const OperationJob&) = delete;
    OperationJob& operator=(const OperationJob&) = delete;

    HANDLE workerThread = nullptr;
    uint32_t jobState = kReady;
    CDlgProgress* ownedDialog = nullptr;
    CLogHtml* ownedReport = nullptr; // the report while the worker writes it
    std::wstring reportPath;
};

// Creates the progress dialog (owned by `owner`) and the worker thread.
// Returns the dialog window, or null when nothing could be started.
HWND StartOperation(OperationJob& job, HWND owner);
// Destroys the dialog window if it still exists and deletes the dialog.
void ReleaseProgressDialog(OperationJob& job);
// The worker thread's body: the run sequence (RunSequence.h) under the
// progress dialog.
void RunOperation(OperationJob& job);

} // namespace sorvane
