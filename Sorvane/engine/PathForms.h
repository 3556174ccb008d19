// The one home of path forms: every conversion between the ways a path is
// written, the tests for drives and roots, and the test for a path that is
// not there. Nothing else in the program spells a "\\?\" prefix.
//
// The forms, and what becomes of each:
//   "C:\dir\x"                 an ordinary full path on a drive;
//   "\\server\share\dir\x"     an ordinary full path on a share (UNC);
//   "\\?\C:\dir\x"             the long form of a drive path: its ordinary
//                              form drops the prefix;
//   "\\?\UNC\server\share\x"   the long form of a share path ("UNC" in any
//                              case): its ordinary form is "\\server\share\x";
//   "\\?\Volume{GUID}\x"       a volume name, and any other "\\?\" path:
//                              no ordinary form, kept as it is;
//   "\\.\C:\x", "\\.\UNC\..."  the device form of a drive or share path:
//                              its ordinary form as for "\\?\";
//   "\\.\PhysicalDrive0" ...   other device names: no ordinary form;
//   "dir\x", "\x", "C:x"       relative, rooted without a drive, and
//                              drive-relative paths: not full, no long form;
//   "X:\;" and "X:\;;"         a source list that stands for a drive's root.
// Prefixes are compared without regard to case.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvane {

enum class PathForm {
    Empty,
    Drive,         // C:\x
    Share,         // \\server\share\x
    LongDrive,     // \\?\C:\x
    LongShare,     // \\?\UNC\server\share\x
    LongOther,     // \\?\Volume{...}\x, any other \\?\ form
    DeviceDrive,   // \\.\C:\x
    DeviceShare,   // \\.\UNC\server\share\x
    DeviceOther,   // \\.\PhysicalDrive0 and other devices
    DriveRelative, // C:x
    Rooted,        // \x
    Relative,      // x, dir\x, .\x
};

PathForm pathFormOf(const wchar_t* path) noexcept;

// True for the letters a path may carry before its colon.
bool isDriveLetter(wchar_t c) noexcept;

// True for an error that says a path is not there (file or folder not found).
bool isMissing(DWORD error) noexcept;

// True for "C:\" and "\\?\C:\" (the first `length` units of `path`): roots
// whose backslash belongs to them.
bool isDriveRoot(const wchar_t* path, size_t length) noexcept;

// True for a path in one of the long forms ("\\?\...").
bool hasLongPrefix(const wchar_t* path) noexcept;

// True for a prefix alone, which names no place: "", "\\", "\\?\", "\\.\",
// "\\?\UNC\", "\\.\UNC\".
bool isBarePrefix(const wchar_t* path) noexcept;

// True for a source list that stands for a drive's root folder: "X:\;" or
// "X:\;;", any drive letter.
bool isDriveRootList(const wchar_t* list) noexcept;

// A source list taken apart: "FOLDER;NAME;NAME;" gives the folder as written
// and each name in order (empty elements left out; text after the last ';'
// is a name too, as the walk takes it); a list without ';' is one folder
// whose content is the selection (`oneFolder`, no names).
struct SourceListParts {
    std::wstring folder;
    std::vector<std::wstring> names;
    bool oneFolder = true;
};
SourceListParts splitSourceList(const std::wstring& list);

// The units that end the root of a full path, in any of its forms: "C:\"
// (3), "\\server\share" (through the share's name), "\\?\C:\" (7),
// "\\?\UNC\server\share", "\\?\Volume{...}\" and other long or device
// names (through their first name). 0 for a path that is not full.
size_t rootLength(const wchar_t* path) noexcept;

// The units an ordinary form leaves out at the start of `path`, and the
// lead that takes their place: {4, ""} for "\\?\C:..." and "\\.\C:...",
// {8, "\\"} for "\\?\UNC\...", {0, ""} for any path that is ordinary
// already or has no ordinary form (shown as it is).
struct OrdinaryPrefix {
    size_t skipped;
    const wchar_t* lead;
};
OrdinaryPrefix ordinaryPrefix(const wchar_t* path) noexcept;

// The ordinary form of a path; a path without one (a volume name) as it is.
std::wstring ordinaryFormOf(const std::wstring& path);
std::wstring ordinaryFormOf(const wchar_t* path);

// The ordinary form into a caller's buffer, for the shell functions that
// do not take the long form. Returns 0, ERROR_FILENAME_EXCED_RANGE when it
// does not fit in `capacity` units, or ERROR_BAD_PATHNAME when the path has
// no ordinary form (a volume name).
DWORD ordinaryPathForm(const wchar_t* path, wchar_t* out, size_t capacity) noexcept;

// The long form of an ordinary full path ("C:\x" -> "\\?\C:\x",
// "\\srv\share" -> "\\?\UNC\srv\share"); a long or device path, and a path
// that is not full, as it is.
std::wstring longFormOf(const std::wstring& path);

// The long form in place, in a buffer of `capacity` units. A path already
// in a long or device form is kept. False, with the path unchanged, when
// the long form would not fit: the end of a path is never cut off.
bool toLongPath(wchar_t* path, size_t capacity) noexcept;

// GetFullPathNameW of any length; empty when the system cannot form one.
std::wstring fullPathOf(const std::wstring& path);

// The name part of a path (after its last '\', '/' or ':'), the last such
// separator (or null), and the last '.' after the last '\' or '/' (or null).
const wchar_t* fileNamePart(const wchar_t* path) noexcept;
const wchar_t* lastSeparator(const wchar_t* path) noexcept;
const wchar_t* extensionDot(const wchar_t* path) noexcept;

} // namespace sorvane
