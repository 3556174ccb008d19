// Context help from the help file beside the program, through the HTML
// Help viewer bound at run time.
#pragma once

#include <windows.h>

namespace sorvane {

// Opens the help file at `context`; false when the viewer is missing.
bool showContextHelp(HWND owner, DWORD context);

} // namespace sorvane
