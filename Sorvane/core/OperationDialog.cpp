#include "core/OperationDialog.h"

#include "dialogs/FileTreeDlg.h"

#include <memory>
#include <new>

namespace sorvane {

namespace {

INT_PTR runFileTreeDialog(HWND owner, FILE_TREE_SETTING& settings, uint32_t kind)
{
    // The dialog holds a whole settings record: keep it off the stack.
    std::unique_ptr<CFileTreeDlg> dialog(new (std::nothrow) CFileTreeDlg);
    if (!dialog) return 0;
    dialog->settings = settings;
    // The main window always runs the dialog expanded.
    const INT_PTR result = dialog->Run(owner, kind, true);
    if (result == 1) settings = dialog->settings;
    return result;
}

OperationDialogRunner& runner()
{
    static OperationDialogRunner current = runFileTreeDialog;
    return current;
}

} // namespace

INT_PTR runOperationDialog(HWND owner, FILE_TREE_SETTING& settings, uint32_t kind)
{
    return runner()(owner, settings, kind);
}

OperationDialogRunner setOperationDialogRunner(OperationDialogRunner replacement)
{
    OperationDialogRunner previous = runner();
    runner() = replacement ? replacement : runFileTreeDialog;
    return previous;
}

} // namespace sorvane
