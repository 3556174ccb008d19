// The main window: the anchor of the process. Hidden when the program was
// started with an operation, shown with its menu and hint text otherwise.
#pragma once

#include <windows.h>

#include "res/SorvaneRes.h"

namespace sorvane {

constexpr UINT kCommandFirstOperation = IDM_FILTER_COPY; // 400 + operation kind
constexpr UINT kCommandRetryAsAdministrator = IDM_RETRY_AS_ADMINISTRATOR; // the files of "/R:", without the dialog
constexpr UINT kCommandAbout = IDM_ABOUT;
constexpr UINT kCommandExit = IDM_EXIT;
constexpr int kMainMenu = IDR_MAIN_MENU;
constexpr int kProgramIcon = IDI_SORVANE;

bool registerMainWindowClass(HINSTANCE instance);
HWND createMainWindow(HINSTANCE instance);

} // namespace sorvane
