// "Filter Compress": chooses the files with the engine's walk and filter,
// hands the archiver library an explicit list of them (a response file of
// paths relative to the base folder), calls it once (twice for a
// self-extracting archive) and reports success or failure.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sorvane {

class FILE_TREE_SETTING;

// 1 on success, 0 on failure. `message` (capacity units, zeroed by the
// caller) receives the reason of a failure, or on success a note such as
// the number of selected items that were missing; it may stay empty.
int CompressFiles(const FILE_TREE_SETTING& settings, wchar_t* message, size_t messageCapacity);

} // namespace sorvane
