// An engine file that includes an operation dialog's header: the engine's
// include root does not reach dialogs/, so this must not compile.
#include "dialogs/FileTreeDlg.h"
