#include "SelectedItem.h"

#include "../../common/Raii.h"

#include <cwchar>

namespace sorvane {

SelectedKind selectedItemKind(DWORD attributes, DWORD reparseTag)
{
    if (attributes == INVALID_FILE_ATTRIBUTES) return SelectedKind::Missing;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparseTag)) {
        return folder ? SelectedKind::FolderLink : SelectedKind::FileLink;
    }
    return folder ? SelectedKind::Folder : SelectedKind::File;
}

SelectedKind readSelectedItemKind(const wchar_t* path)
{
    if (!path || !*path) return SelectedKind::Missing;
    const DWORD attributes = ::GetFileAttributesW(path);
    DWORD tag = 0;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found;
        UniqueFind find(::FindFirstFileW(path, &found));
        // A tag that cannot be read leaves the item a link: never followed.
        tag = find ? found.dwReserved0 : IO_REPARSE_TAG_SYMLINK;
    }
    return selectedItemKind(attributes, tag);
}

bool isItemName(const wchar_t* name, size_t length)
{
    if (!name || length == 0) return false;
    if (name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'))) return false;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = name[i];
        if (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return true;
}

DWORD removeLink(const wchar_t* path, bool folderLink)
{
    const BOOL removed = folderLink ? ::RemoveDirectoryW(path) : ::DeleteFileW(path);
    return removed ? 0 : ::GetLastError();
}

} // namespace sorvane
