// What the main window owns for the next run: the current filter settings
// and the operation the command line asked for (or the files of a run as
// administrator).
#pragma once

#include "engine/FileTreeSetting.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane {

struct CurrentRun {
    uint32_t pendingOperation = kOperationCopy;
    FILE_TREE_SETTING settings;
    // The files of a run as administrator ("/R:"), which starts without the
    // operation dialog; empty otherwise.
    std::vector<std::wstring> retryPaths;
};

// The one instance of the process.
CurrentRun& currentRun();

} // namespace sorvane
