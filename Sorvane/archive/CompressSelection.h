// The files a compress run puts into its archive. The engine's own walk and
// filter choose them, exactly as for a copy (patterns, exclusion, "Include
// subfolders", selected files and folders, the drive-root forms); the time
// range of a compress run holds local time and the size filter does not
// apply. The result is a list of paths relative to the base folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

struct CompressSelection {
    std::wstring base;               // the base folder, full, ending with a backslash
    std::vector<std::wstring> names; // the chosen files relative to `base`, in walk order
    unsigned selectedItems = 0;      // items the source list names
    unsigned missing = 0;            // selected items that did not exist
    unsigned skippedLinks = 0;       // selected links, never followed (as a copy skips them)
    // Why the selection cannot be archived (a CompressText id, 0 when it
    // can), the path concerned and the system's error, when there is one.
    UINT problem = 0;
    std::wstring problemPath;
    DWORD problemError = 0;
};

// Walks the sources of the compress `settings` and fills `out`. `archive`
// (a full path) is never chosen, even where the selection holds it.
void selectFilesToCompress(const FILE_TREE_SETTING& settings, const std::wstring& archive, CompressSelection& out);

namespace compress {

// True when a file last written at `utc` lies in the local-time range of a
// compress run: from the start of the minute of `localFrom` to the end of
// the minute of `localTo`. The file's time is taken to local time by the
// rules of the time zone in force at that date.
bool inLocalTimeRange(const FILETIME& utc, const FILETIME& localFrom, const FILETIME& localTo);

} // namespace compress

} // namespace sorvane
