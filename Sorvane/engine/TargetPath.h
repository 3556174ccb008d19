// The target folder of a copy or move as the user typed it ("D:/Backup",
// "..\Out", "Out. ", a "\\?\" form) put into the one full form the run
// uses, or refused with the reason, so that no run starts in which every
// file would fail or land somewhere the user did not mean.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

#include <cstddef>

namespace sorvane {

// Puts `typed` into its full form: blanks around it trimmed, '/' read as
// '\', a "\\?\" prefix dropped, a relative path ("Out", "..\Out", "\Out")
// taken from `base` (the folder of the selection; null or empty: relative
// paths are refused), "." and ".." resolved, blanks and dots at the end of
// every name removed, no trailing backslash but for a drive root. Neither
// the target nor any folder above it may be a file, and with
// `requireReachable` its drive or share must be there. Writes the result
// into `out` (`capacity` units) and returns kReasonNone, or returns the
// refusal and leaves `out` empty.
ItemReason normaliseTarget(const wchar_t* typed, const wchar_t* base, wchar_t* out, size_t capacity,
                     bool requireReachable = true);

// The folder a source list names: PARENT of "PARENT;NAME;...", or the one
// folder of a list without ';'. Written into `out` (`capacity` units).
void sourceListFolder(const wchar_t* list, wchar_t* out, size_t capacity);

} // namespace sorvane
