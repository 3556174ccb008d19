// Process-wide state of the main program: the resource module, the data
// and help paths, the mode it was started in and its windows. The current
// filter settings belong to the main window (core/CurrentRun.h).
#pragma once

#include <windows.h>

#include "common/ResLang.h"

namespace sorvane {

constexpr size_t kShortPathCapacity = MAX_PATH; // 260 units

struct AppState {
    HINSTANCE instance = nullptr;
    CResLang resLang;
    wchar_t appDataFolder[kShortPathCapacity] = {}; // ends with '\', or empty
    wchar_t helpFilePath[kShortPathCapacity] = {};
    bool interactiveMode = false;
    HWND activeDialog = nullptr;
    HWND mainWindow = nullptr;
    HWND tooltip = nullptr;       // the shared balloon tooltip of the main window
    wchar_t appName[50] = {};     // string 1100
    wchar_t className[64] = {};   // string 1101
    wchar_t versionText[20] = {}; // string 1102
};

// The one instance of the process.
AppState& app();

// The module every dialog, menu, string and picture is loaded from: the
// language library when one is in use, else the program itself.
HMODULE resourceModule();

} // namespace sorvane
