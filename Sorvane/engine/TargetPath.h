// The target folder of a copy or move as the user typed it ("D:/Backup",
// "..\Out", "Out. ", a "\\?\" form) put into the one full form the run
// uses, or refused with the reason, so that no run starts in which every
// file would fail or land somewhere the user did not mean.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sorvane {

// Why a run may not start (string-table ids of the messages that say so).
enum RunRefusal : UINT {
    kRefusalNone = 0,
    kRefusalTargetIsSelected = 1800,     // the target is a selected item
    kRefusalTargetInsideSelection = 1801, // the target lies inside a selected folder
    kRefusalTargetIsSourceFolder = 1802, // the target is the folder that holds the selection
    kRefusalTargetInvalid = 1803,        // not a usable folder path
    kRefusalTargetUnreachable = 1804,    // its drive or share is not there
    kRefusalTargetIsFile = 1805,         // a file, or a file lies in its path
    kRefusalUndecidable = 1806,          // cannot be told apart from the selection
    kRefusalLandsOnSelection = 1880,     // an item's own target is, holds or lies in the selection (says which)
};

// Puts `typed` into its full form: blanks around it trimmed, '/' read as
// '\', a "\\?\" prefix dropped, a relative path ("Out", "..\Out", "\Out")
// taken from `base` (the folder of the selection; null or empty: relative
// paths are refused), "." and ".." resolved, blanks and dots at the end of
// every name removed, no trailing backslash but for a drive root. Neither
// the target nor any folder above it may be a file, and with
// `requireReachable` its drive or share must be there. Writes the result
// into `out` (`capacity` units) and returns kRefusalNone, or returns the
// refusal and leaves `out` empty.
UINT normaliseTarget(const wchar_t* typed, const wchar_t* base, wchar_t* out, size_t capacity,
                     bool requireReachable = true);

// The folder a source list names: PARENT of "PARENT;NAME;...", or the one
// folder of a list without ';'. Written into `out` (`capacity` units).
void sourceListFolder(const wchar_t* list, wchar_t* out, size_t capacity);

} // namespace sorvane
