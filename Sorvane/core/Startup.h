// The program's entry: prepares the process, reads and applies the command
// line, creates the main window and runs the message loop.
#pragma once

#include <windows.h>

#include "base/DataFolder.h"

namespace sorvane {

// Steps of the start-up that tests call on their own (and
// initAppDataFolder, base/DataFolder.h).
// "<exe folder>Sorvane.<LANGID>.chm" when it exists, else "<exe folder>Sorvane.chm".
void initHelpFilePath(const wchar_t* exePath, WORD language, wchar_t* out, size_t capacity);

// The whole run; returns the process exit code.
int runApplication(HINSTANCE instance);

} // namespace sorvane
