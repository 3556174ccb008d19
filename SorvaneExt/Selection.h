// The Explorer selection as the data object carries it: a CF_HDROP list of
// full paths.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shellapi.h>

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

} // namespace sorvane::shellext
