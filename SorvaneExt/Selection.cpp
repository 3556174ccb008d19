#include "Selection.h"

#include "common/Raii.h"

#include <shellapi.h>
#include <shfolder.h>
#include <shlobj.h>

namespace sorvane::shellext {

DropFiles::DropFiles(IDataObject* data) noexcept
{
    if (!data) return;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (FAILED(data->GetData(&format, &medium_))) {
        medium_ = {};
        return;
    }
    if (medium_.tymed == TYMED_HGLOBAL && medium_.hGlobal) drop_ = static_cast<HDROP>(medium_.hGlobal);
}

DropFiles::~DropFiles()
{
    if (medium_.tymed != TYMED_NULL) ::ReleaseStgMedium(&medium_);
}

UINT DropFiles::count() const noexcept
{
    return drop_ ? ::DragQueryFileW(drop_, 0xFFFFFFFF, nullptr, 0) : 0;
}

std::wstring DropFiles::path(UINT index) const
{
    if (!drop_) return {};
    const UINT length = ::DragQueryFileW(drop_, index, nullptr, 0);
    if (length == 0) return {};
    std::wstring text(length, L'\0');
    const UINT got = ::DragQueryFileW(drop_, index, text.data(), length + 1);
    text.resize(got < length ? got : length);
    return text;
}

std::vector<std::wstring> DropFiles::paths() const
{
    std::vector<std::wstring> list;
    const UINT n = count();
    list.reserve(n);
    for (UINT i = 0; i < n; ++i) {
        // An empty entry names nothing (some shells count one in an empty list).
        std::wstring item = path(i);
        if (!item.empty()) list.push_back(std::move(item));
    }
    return list;
}

std::wstring folderPart(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

bool samePath(const std::wstring& a, const std::wstring& b) noexcept
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool shellItemPaths(IShellItemArray* items, std::vector<std::wstring>& paths)
{
    paths.clear();
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count)) || count == 0) return false;
    paths.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        if (FAILED(items->GetItemAt(i, item.put())) || !item) break;
        // Only items that lie in the file system have such a path.
        CoTaskMemPtr<wchar_t*> path;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path || !path.get()[0]) break;
        paths.emplace_back(path.get());
    }
    if (paths.size() == count) return true;
    paths.clear();
    return false;
}

namespace {

using GetFolderPathFunction = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

} // namespace

bool isStartMenuFolder(const std::wstring& path) noexcept
{
    UniqueModule library(::LoadLibraryW(L"ShFolder.dll"));
    if (!library) return false;
    auto getFolderPath = reinterpret_cast<GetFolderPathFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "SHGetFolderPathW")));
    if (!getFolderPath) return false;
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) token.reset();
    wchar_t startMenu[MAX_PATH] = {};
    if (FAILED(getFolderPath(nullptr, CSIDL_STARTMENU, token.get(), SHGFP_TYPE_CURRENT, startMenu))) return false;
    return samePath(startMenu, path);
}

} // namespace sorvane::shellext
