// Path and text helpers of the engine: long-path forms, the kind of a path,
// creating folder chains, roots and the same-volume test, and the small text
// functions for names, extensions and blanks. All work in caller buffers.
#pragma once

#include <cstddef>

namespace sorvane {

enum PathKind : int { kPathMissing = 0, kPathFile = 1, kPathFolder = 2 };

// Rewrites `path` in place into its long-path form: "\\?\C:\x" for local
// paths, "\\?\UNC\server\share" for network paths; a path already starting
// with "\\?\" is kept. Returns false, and leaves the path unchanged, when
// the long form would not fit in `capacity` units: the end of a path is
// never cut off.
bool toLongPath(wchar_t* path, size_t capacity);

// 0 missing (or empty), 1 file, 2 folder; one trailing backslash ignored.
int pathKind(const wchar_t* path);

// Creates every missing folder of `path` (of its parent when `leafIsFile`).
// With `notify`, the shell is told of a created leaf folder. Returns 0 or
// the last creation error (ERROR_ALREADY_EXISTS counts as 0).
unsigned long ensureFolderPath(const wchar_t* path, bool leafIsFile, bool notify);

// Pointer into `path` just after its root: the drive letter's colon for
// "C:\..", the part through the second backslash after the leading two for
// "\\?\C:\x" or "\\server\share", the start for anything else. Null when a
// network or long form has no such backslash (no root).
const wchar_t* pathRoot(const wchar_t* path);

// True when both paths have equal roots (ignoring case); false when either
// has none.
bool isSameVolume(const wchar_t* a, const wchar_t* b);

const wchar_t* fileNamePart(const wchar_t* path);   // after the last '\', '/' or ':'
const wchar_t* lastSeparator(const wchar_t* path);  // last '\', '/' or ':', or null
const wchar_t* extensionDot(const wchar_t* path);   // last '.' after the last '\' or '/', or null

// Replaces (or appends, or with null removes) the extension of `path`.
// `capacity` bounds the result; a result that does not fit leaves the path
// unchanged and returns false.
bool replaceExtension(wchar_t* path, size_t capacity, const wchar_t* extension);

// Deletes every file (not folder) matching "folder\wildcard". True when
// nothing matched or every deletion succeeded.
bool deleteMatchingFiles(const wchar_t* pattern);

// Writes `text` without leading and trailing U+0020 blanks into `output`
// (which may be `text` itself); `capacity` bounds the output.
void trimBlanks(const wchar_t* text, wchar_t* output, size_t capacity);

} // namespace sorvane
