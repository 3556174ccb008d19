// The Explorer selection: as the classic handler's data object carries it (a
// CF_HDROP list of full paths), or as the shell items Windows 11's menu
// hands the Explorer command; and the rules both menus share about it.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace sorvane::shellext {

// The CF_HDROP medium of a data object, released with the object.
class DropFiles {
public:
    explicit DropFiles(IDataObject* data) noexcept;
    ~DropFiles();
    DropFiles(const DropFiles&) = delete;
    DropFiles& operator=(const DropFiles&) = delete;

    // False when the data object is missing or cannot deliver CF_HDROP.
    bool available() const noexcept { return drop_ != nullptr; }
    UINT count() const noexcept;
    // The full path of item `index`, whatever its length.
    std::wstring path(UINT index) const;
    // Every path of the list; empty entries are left out.
    std::vector<std::wstring> paths() const;

private:
    STGMEDIUM medium_ = {};
    HDROP drop_ = nullptr;
};

// The text of `path` before its last backslash (the whole text when there is
// none), as the folder that holds the item.
std::wstring folderPart(const std::wstring& path);

// Case-insensitive comparison of two paths, as the file system compares names.
bool samePath(const std::wstring& a, const std::wstring& b) noexcept;

// The file-system paths of the items of `items`, in order. False (and no
// paths) when the array is missing or empty, or when any item has no
// file-system path (the Control Panel, a phone, This PC): the main program
// can only take files, folders and drives.
bool shellItemPaths(IShellItemArray* items, std::vector<std::wstring>& paths);

// True when `path` is the user's Start Menu folder: neither menu offers its
// commands there.
bool isStartMenuFolder(const std::wstring& path) noexcept;

} // namespace sorvane::shellext
