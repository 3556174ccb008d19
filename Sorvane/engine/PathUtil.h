// Path helpers that touch the file system: the kind of a path and the
// making of folder chains. The forms of paths themselves live in
// PathForms.h.
#pragma once

#include <cstddef>

namespace sorvane {

enum PathKind : int { kPathMissing = 0, kPathFile = 1, kPathFolder = 2 };

// 0 missing (or empty), 1 file, 2 folder; one trailing backslash ignored.
int pathKind(const wchar_t* path);

// Creates every missing folder of `path` (of its parent when `leafIsFile`).
// With `notify`, the shell is told of a created leaf folder. Returns 0 or
// the last creation error (ERROR_ALREADY_EXISTS counts as 0).
unsigned long ensureFolderPath(const wchar_t* path, bool leafIsFile, bool notify);

} // namespace sorvane
