// What the main window owns for the next run: the current filter settings
// and the operation the command line asked for.
#pragma once

#include "engine/FileTreeSetting.h"

#include <cstdint>

namespace sorvane {

struct CurrentRun {
    uint32_t pendingOperation = kOperationCopy;
    FILE_TREE_SETTING settings;
};

// The one instance of the process.
CurrentRun& currentRun();

} // namespace sorvane
