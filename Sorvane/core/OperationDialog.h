// The operation dialog as the main window runs it: modal, on a copy of the
// settings, handing back the confirmed settings on "Start".
#pragma once

#include <windows.h>

#include <cstdint>

namespace sorvane {

class FILE_TREE_SETTING;

// Runs the dialog of `kind` for `settings` (the caller's copy); returns 1
// for "Start" with the confirmed settings in `settings`, else 0.
INT_PTR runOperationDialog(HWND owner, FILE_TREE_SETTING& settings, uint32_t kind);

// Tests stand in for the dialog (null restores it).
using OperationDialogRunner = INT_PTR (*)(HWND owner, FILE_TREE_SETTING& settings, uint32_t kind);
OperationDialogRunner setOperationDialogRunner(OperationDialogRunner runner);

} // namespace sorvane
