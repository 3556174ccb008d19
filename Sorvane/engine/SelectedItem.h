// What a selected item of the source list, or an entry of a listed folder,
// is before the walk touches it: missing, a file, a folder, or a link (a
// junction, a symbolic link, a mount point). A link is never followed or
// written through: copy and move skip it, delete removes the link itself.
// Every other reparse point (a cloud file's placeholder, a deduplicated or
// compressed file) is the file or folder it holds. And whether an element
// of the list can name an item of its folder at all.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sorvane {

struct ListingRecord;

enum class SelectedKind { Missing, File, Folder, FileLink, FolderLink };

// Decides from the attributes (INVALID_FILE_ATTRIBUTES: missing) and, for a
// reparse point, its tag. Junctions and symbolic links (name surrogates)
// are links, and so is a reparse point of unknown tag (0); other reparse
// points (placeholders of cloud or deduplicated files) are the files and
// folders they hold.
SelectedKind selectedItemKind(DWORD attributes, DWORD reparseTag);

// The same decision for an entry a folder's listing recorded, and for an
// entry as the enumeration returns it. A tag that could not be read
// (`tagRead` false) makes a reparse point a link.
SelectedKind listedKind(const ListingRecord& record);
SelectedKind foundKind(const WIN32_FIND_DATAW& found, bool tagRead = true);
inline bool isLink(SelectedKind kind) { return kind == SelectedKind::FileLink || kind == SelectedKind::FolderLink; }
inline bool isLinkRecord(const ListingRecord& record) { return isLink(listedKind(record)); }

// Reads the attributes (and the tag) of `path`, which has no trailing
// backslash, and decides.
SelectedKind readSelectedItemKind(const wchar_t* path);

// True when `name` (`length` units) can be the name of an item in a
// folder: not empty, not "." or "..", no separator, no wildcard, no colon.
// Anything else would reach outside the folder of the source list.
bool isItemName(const wchar_t* name, size_t length);

// Removes a link itself, never what it leads to: the link is opened as a
// reparse point (FILE_FLAG_OPEN_REPARSE_POINT) and deleted through that
// handle, which is what RemoveDirectoryW and DeleteFileW do to a junction
// or a symbolic link. When what opens is no reparse point, the platform has
// followed the link, and nothing is removed (ERROR_NOT_A_REPARSE_POINT).
// A read-only link is made writable first. Returns 0 or the error.
DWORD removeLink(const wchar_t* path);

} // namespace sorvane
