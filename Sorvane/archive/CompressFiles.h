// "Filter Compress": chooses the files with the engine's walk and filter,
// hands the archiver library an explicit list of them (a response file of
// paths relative to the base folder), calls it once (twice for a
// self-extracting archive) and reports success or failure.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

// What a compress run put into its archive, for a caller that lists it.
struct CompressedFiles {
    std::wstring archive;            // the archive's full path
    std::wstring base;               // the base folder, ending with a backslash
    std::vector<std::wstring> names; // the archived files, relative to `base`
    bool nothingQualified = false;   // no file qualified: nothing was written
};

// 1 on success, 0 on failure. `message` (capacity units, zeroed by the
// caller) receives the reason of a failure, or on success a note such as
// the number of selected items that were missing; it may stay empty.
// `files`, when given, receives the archived files on success.
int CompressFiles(const FILE_TREE_SETTING& settings, wchar_t* message, size_t messageCapacity,
                  CompressedFiles* files = nullptr);

} // namespace sorvane
