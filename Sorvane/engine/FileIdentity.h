// Where a path leads on disk. The file system identifies a file or folder
// by its volume's serial number and its index on that volume, whatever the
// spelling that reached it: case, a trailing separator or dot, a short 8.3
// name, the "\\?\" form, a second drive letter or a share mapped onto the
// same folder. Where no identity can be had, paths are compared in one full,
// ordinary, long-named form instead.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/PathForms.h"

namespace sorvane {

struct FileIdentity {
    uint32_t volume = 0;
    uint64_t index = 0;
    bool known = false;
};

inline bool sameIdentity(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

// For a guard that must not miss an overlap: the same identity, or the same
// index where one side's volume gave no serial number (0). Wine answers 0
// at busy moments and for drive letters linked in after it started, some
// network servers always; the index alone then decides, since refusing a
// run costs a retry and copying into the selection costs files.
inline bool mayBeSameIdentity(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.index == b.index && (a.volume == b.volume || a.volume == 0 || b.volume == 0);
}

// Opens `path` (a file or a folder; links are followed to what they lead
// to) without keeping anyone else out, and reads its identity. A path that
// ends with a backslash is read without it, unless it is a root ("C:\",
// "\\?\C:\"). Returns false, with the system's error left as the last
// error, when the path cannot be opened.
bool readIdentity(const wchar_t* path, FileIdentity& out);

// The form in which two spellings of one place compare equal as text:
// full (GetFullPathNameW), ordinary (no "\\?\" prefix), with the long names
// of the part that exists, without a trailing backslash unless it is a
// root. False when the path has no such form.
bool comparablePath(const wchar_t* path, std::wstring& out);

// Equal comparable paths, without regard to case.
bool samePathText(const std::wstring& a, const std::wstring& b);

// True when both paths lead to the same place: by identity where both can
// be opened, else by their comparable paths. Where neither is available
// the answer is true: a place that cannot be told apart counts as the same.
bool samePlace(const wchar_t* a, const wchar_t* b);

} // namespace sorvane
