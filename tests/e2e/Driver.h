// Drives the real Sorvane.exe from another process, as a user would: finds
// its dialogs by their controls, fills them, presses their buttons, and
// waits for the run to end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "../../Sorvane/res/SorvaneRes.h"

namespace sorvane::e2e {

// A dialog (class "#32770") of the process that holds control `controlId`,
// visible, waited for up to `ms`; null when none came.
HWND waitForDialog(DWORD processId, int controlId, DWORD ms);
// A message box of the process (a dialog with the static text 0xFFFF).
HWND waitForMessageBox(DWORD processId, DWORD ms);
std::wstring messageBoxText(HWND box);

void setControlText(HWND dialog, int id, const std::wstring& text);
std::wstring controlText(HWND dialog, int id);
// Clicks a button (radio, check box, push button) the way a user does.
void click(HWND dialog, int id);
bool isChecked(HWND dialog, int id);
void setChecked(HWND dialog, int id, bool checked);
// Posts a button's command to its dialog (for the buttons that end it).
void press(HWND dialog, int id);

// The operation dialog's controls.
enum OperationDialogControl : int {
    kStart = IDOK,
    kCancel = IDCANCEL,
    kSources = IDC_SOURCES,
    kTarget = IDC_TARGET,
    kPatterns = IDC_PATTERNS,
    kIncludeSubfolders = IDC_SUBFOLDERS,
    kExclude = IDC_EXCLUDE,
    kOverwriteFirst = IDC_OVERWRITE_ALWAYS,
    kRecycle = IDC_RECYCLE,
    kProtectReadOnly = IDC_PROTECT_READONLY,
    kCloneOrTestOnly = IDC_CLONE_TREE,
    kSelfExtract = IDC_SELF_EXTRACT,
};
// The progress dialog's controls.
enum ProgressDialogControl : int {
    kCompleted = IDOK,
    kFolderField = IDC_PROGRESS_FOLDER,
    kFileField = IDC_PROGRESS_FILE,
};

// Waits for the progress dialog to reach its end and closes it with
// "Completed" (instead of waiting for the countdown); true when it did.
bool finishProgressDialog(DWORD processId, DWORD ms);

// The per-user data folder of the program ("...\Brenmoor\Sorvane\").
std::wstring dataFolder();
// The report number the next run will use.
int nextReportNumber();

} // namespace sorvane::e2e
