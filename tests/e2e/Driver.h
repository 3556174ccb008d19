// Drives the real Sorvane.exe from another process, as a user would: finds
// its dialogs by their controls, fills them, presses their buttons, and
// waits for the run to end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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
    kStart = 1,
    kCancel = 2,
    kSources = 2001,
    kTarget = 2002,
    kPatterns = 2004,
    kIncludeSubfolders = 2005,
    kExclude = 2007,
    kOverwriteFirst = 2040,
    kRecycle = 2051,
    kProtectReadOnly = 2226,
    kCloneOrTestOnly = 2227,
    kSelfExtract = 2009,
};
// The progress dialog's controls.
enum ProgressDialogControl : int { kCompleted = 1, kFolderField = 2052, kFileField = 2053 };

// Waits for the progress dialog to reach its end and closes it with
// "Completed" (instead of waiting for the countdown); true when it did.
bool finishProgressDialog(DWORD processId, DWORD ms);

// The per-user data folder of the program ("...\Brenmoor\Sorvane\").
std::wstring dataFolder();
// The report number the next run will use.
int nextReportNumber();

} // namespace sorvane::e2e
