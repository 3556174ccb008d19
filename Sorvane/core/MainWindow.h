// The main window: the anchor of the process. Hidden when the program was
// started with an operation, shown with its menu and hint text otherwise.
#pragma once

#include <windows.h>

namespace sorvane {

constexpr UINT kCommandFirstOperation = 400; // 400 + operation kind
constexpr UINT kCommandRetryAsAdministrator = 405; // the files of "/R:", without the dialog
constexpr UINT kCommandAbout = 410;
constexpr UINT kCommandExit = 411;
constexpr int kMainMenu = 100;
constexpr int kProgramIcon = 101;

bool registerMainWindowClass(HINSTANCE instance);
HWND createMainWindow(HINSTANCE instance);

} // namespace sorvane
