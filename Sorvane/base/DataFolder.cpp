#include "base/DataFolder.h"

#include <shlobj.h>

#include <cwchar>

namespace sorvane {

namespace {

using GetSpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);

bool appendText(wchar_t* buffer, size_t capacity, const wchar_t* text)
{
    const size_t length = std::wcslen(buffer);
    if (length + std::wcslen(text) + 1 > capacity) return false;
    std::wcscpy(buffer + length, text);
    return true;
}

bool createFolder(const wchar_t* path)
{
    return ::CreateDirectoryW(path, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

} // namespace

void initAppDataFolder(wchar_t* folder, size_t capacity)
{
    folder[0] = L'\0';
    HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
    HMODULE loaded = nullptr;
    if (!shell) shell = loaded = ::LoadLibraryW(L"shell32.dll");
    if (!shell) return;
    auto getPath = reinterpret_cast<GetSpecialFolderPathFn>(
        reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetSpecialFolderPathW")));
    wchar_t path[MAX_PATH] = {};
    const bool got = getPath && getPath(nullptr, path, CSIDL_APPDATA | CSIDL_FLAG_CREATE, FALSE) && path[0];
    if (loaded) ::FreeLibrary(loaded);
    if (!got) return;
    if (!appendText(path, MAX_PATH, L"\\Brenmoor")) return;
    createFolder(path);
    if (!appendText(path, MAX_PATH, L"\\Sorvane")) return;
    createFolder(path);
    if (!appendText(path, MAX_PATH, L"\\")) return;
    if (std::wcslen(path) + 1 > capacity) return;
    std::wcscpy(folder, path);
}

} // namespace sorvane
