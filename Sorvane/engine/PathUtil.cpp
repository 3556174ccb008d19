#include "engine/PathUtil.h"

#include <windows.h>
#include <shlobj.h>

#include "engine/PathForms.h"

#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

int pathKind(const wchar_t* path)
{
    if (!path || !*path) return kPathMissing;
    const size_t length = std::wcslen(path);
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length + 1]);
    if (!copy) return kPathMissing;
    std::wmemcpy(copy.get(), path, length + 1);
    if (copy[length - 1] == L'\\') copy[length - 1] = L'\0';
    const DWORD attributes = ::GetFileAttributesW(copy.get());
    if (attributes == INVALID_FILE_ATTRIBUTES) return kPathMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kPathFolder : kPathFile;
}

namespace {

// True when the folder that ensureFolderPath makes for `path` is there
// already: the whole path, or its parent when the leaf is a file.
bool folderExists(const wchar_t* path, size_t length, bool leafIsFile)
{
    size_t end = length;
    if (leafIsFile) {
        while (end > 0 && path[end - 1] != L'\\') --end;
    }
    while (end > 0 && path[end - 1] == L'\\') --end;
    if (end == 0 || end >= MAX_PATH + 64) return false;
    wchar_t folder[MAX_PATH + 64];
    std::wmemcpy(folder, path, end);
    folder[end] = L'\0';
    // A drive ("C:", "\\?\C:") is asked with its backslash: without it
    // the name means the drive's current folder or the volume itself.
    if (folder[end - 1] == L':') return false;
    const DWORD attributes = ::GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

unsigned long ensureFolderPath(const wchar_t* path, bool leafIsFile, bool notify)
{
    if (!path) return ERROR_INVALID_PARAMETER;
    const size_t length = std::wcslen(path);
    if (folderExists(path, length, leafIsFile)) return 0; // one question, not one per level
    std::unique_ptr<wchar_t[]> work(new (std::nothrow) wchar_t[length + 1]);
    if (!work) return static_cast<unsigned long>(E_INVALIDARG);
    std::wmemcpy(work.get(), path, length + 1);
    wchar_t* const text = work.get();

    // Skip the share of "\\?\UNC\server\share" or the prefix of a long
    // form: they are no folders to make.
    wchar_t* walk = text;
    const PathForm form = pathFormOf(text);
    if (form == PathForm::LongShare || form == PathForm::DeviceShare) {
        walk = text + rootLength(text);
        // Without a backslash after the share there is nothing to create.
        if (walk == text || !*walk) return 0;
        // The backslash after the share ends the root; go on behind it.
        ++walk;
    } else if (hasLongPrefix(text)) {
        walk = text + 4;
    }

    unsigned long result = 0;
    bool anyExisted = false;
    for (wchar_t* p = walk; *p; ++p) {
        if (*p != L'\\') continue;
        if (p[1] == L'\\') {
            // A double backslash is stepped over to the next backslash.
            wchar_t* next = std::wcschr(p + 2, L'\\');
            if (!next) return 0;
            p = next - 1;
            continue;
        }
        *p = L'\0';
        const size_t prefixLength = static_cast<size_t>(p - text);
        const bool isDrive = prefixLength >= 3 && p[-1] == L':';
        if (isDrive || prefixLength == 0) {
            // "\\?\C:" or "C:" is a drive, not a folder to make.
        } else if (pathKind(text) != kPathMissing) {
            anyExisted = true;
        } else if (!::CreateDirectoryW(text, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_ALREADY_EXISTS) {
                *p = L'\\';
                return error;
            }
        }
        *p = L'\\';
    }

    if (!leafIsFile && pathKind(text) == kPathMissing) {
        if (!::CreateDirectoryW(text, nullptr)) {
            const DWORD error = ::GetLastError();
            result = error == ERROR_ALREADY_EXISTS ? 0 : error;
        } else if (notify && anyExisted) {
            ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, text, nullptr);
        }
    }
    return result;
}

} // namespace sorvane
