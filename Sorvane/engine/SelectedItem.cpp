#include "engine/SelectedItem.h"

#include "common/Raii.h"
#include "engine/Listing.h"

#include <cwchar>

namespace sorvane {

SelectedKind selectedItemKind(DWORD attributes, DWORD reparseTag)
{
    if (attributes == INVALID_FILE_ATTRIBUTES) return SelectedKind::Missing;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A reparse point whose tag is unknown (0: Wine shows a Unix symbolic
    // link to a folder so) is taken for a link too: never followed.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag))) {
        return folder ? SelectedKind::FolderLink : SelectedKind::FileLink;
    }
    return folder ? SelectedKind::Folder : SelectedKind::File;
}

SelectedKind listedKind(const ListingRecord& record)
{
    return selectedItemKind(record.attributes, record.reparseTag);
}

SelectedKind foundKind(const WIN32_FIND_DATAW& found, bool tagRead)
{
    if (!tagRead && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? SelectedKind::FolderLink : SelectedKind::FileLink;
    }
    return selectedItemKind(found.dwFileAttributes, found.dwReserved0);
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

DWORD removeLink(const wchar_t* path)
{
    // Opened as the link itself, not what it leads to; what was opened must
    // be the reparse point, or the platform has followed the link (Wine
    // does so for Unix symbolic links) and nothing is removed.
    UniqueFile link(::CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link) return ::GetLastError();
    FILE_ATTRIBUTE_TAG_INFO information = {};
    if (!::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &information, sizeof(information))) {
        return ::GetLastError();
    }
    if (!(information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return ERROR_NOT_A_REPARSE_POINT;
    if (information.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic = {};
        basic.FileAttributes = information.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (!::SetFileInformationByHandle(link.get(), FileBasicInfo, &basic, sizeof(basic))) return ::GetLastError();
    }
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
        return ::GetLastError();
    }
    return 0;
}

} // namespace sorvane
