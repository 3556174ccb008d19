// One copy, move or delete run: its own copy of the settings, the worker
// thread, the progress dialog and the report.
#pragma once

#include "engine/FileTreeSetting.h"
#include "run/ChecksumLog.h"
#include "run/ElevatedRetry.h"
#include "run/RunSequence.h"

#include <string>
#include <vector>

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
    // A delete notes here the files the account was denied, as their rows
    // go to the report.
    DeniedFilesLog deniedFiles;
    // A run as administrator deletes these files alone (empty for any
    // other run).
    std::vector<std::wstring> retryPaths;
    // The checksum file of the verified copies, when the dialog asked for
    // one: "<target>\Sorvane-<yyyymmdd>-<hhmmss>.xxh128".
    ChecksumLog checksums;

    // True when the run's end offers a run as administrator: a delete in
    // the user's own run that was denied files and not cancelled.
    bool offersElevatedRetry() const;
    // The list such a run is started with.
    RetryList elevatedRetryList() const;
};

// Creates the progress dialog (owned by `owner`) and the worker thread.
// Returns the dialog window, or null when nothing could be started.
HWND StartOperation(OperationJob& job, HWND owner);
// Destroys the dialog window if it still exists and deletes the dialog.
void ReleaseProgressDialog(OperationJob& job);
// The worker thread's body: the run sequence (run/RunSequence.h) under
// the progress dialog.
void RunOperation(OperationJob& job);

} // namespace sorvane
