#include "PathUtil.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>

#include "FileTreeSetting.h"

namespace sorvane {

namespace {

bool startsWith(const wchar_t* text, const wchar_t* prefix)
{
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// Moves the path right by `shift` units and writes `prefix` in front.
bool prependPrefix(wchar_t* path, size_t capacity, const wchar_t* prefix, size_t keep, size_t shift)
{
    const size_t length = std::wcslen(path);
    const size_t prefixLength = std::wcslen(prefix);
    const size_t newLength = length - keep + prefixLength;
    if (newLength + 1 > capacity) return false;
    std::wmemmove(path + shift, path, length + 1);
    std::wmemcpy(path, prefix, prefixLength);
    return true;
}

} // namespace

bool toLongPath(wchar_t* path, size_t capacity)
{
    if (!path || capacity == 0) return false;
    if (startsWith(path, L"\\\\?\\")) return true;
    if (path[0] == L'\\' && path[1] == L'\\') {
        // "\\server\share" becomes "\\?\UNC\server\share": the first of the
        // two backslashes becomes the 'C' of "UNC".
        return prependPrefix(path, capacity, L"\\\\?\\UNC", 1, 6);
    }
    return prependPrefix(path, capacity, L"\\\\?\\", 0, 4);
}

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

    // Skip "\\?\UNC\server\share" or "\\?\": they are no folders to make.
    wchar_t* walk = text;
    if (startsWith(text, L"\\\\?\\UNC\\")) {
        walk = text + 8;
        for (int separators = 0; *walk; ++walk) {
            if (*walk == L'\\' && ++separators == 2) break;
        }
        // Without a backslash after the share there is nothing to create.
        if (!*walk) return 0;
        // The backslash after the share ends the root; go on behind it.
        ++walk;
    } else if (startsWith(text, L"\\\\?\\")) {
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

const wchar_t* pathRoot(const wchar_t* path)
{
    if (!path || !path[0]) return path;
    if (path[1] == L':') return path + 1;
    if (path[1] == L'\\') {
        // Network and long forms: up to and including the second backslash
        // after the leading two.
        int found = 0;
        for (const wchar_t* p = path + 2; *p; ++p) {
            if (*p == L'\\' && ++found == 2) return p + 1;
        }
        return nullptr;
    }
    return path;
}

bool isSameVolume(const wchar_t* a, const wchar_t* b)
{
    const wchar_t* rootA = pathRoot(a);
    const wchar_t* rootB = pathRoot(b);
    if (!rootA || !rootB) return false;
    const size_t lengthA = static_cast<size_t>(rootA - a);
    const size_t lengthB = static_cast<size_t>(rootB - b);
    if (lengthA != lengthB) return false;
    for (size_t i = 0; i < lengthA; ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    }
    return true;
}

const wchar_t* lastSeparator(const wchar_t* path)
{
    const wchar_t* found = nullptr;
    if (path) {
        for (const wchar_t* p = path; *p; ++p) {
            if (*p == L'\\' || *p == L'/' || *p == L':') found = p;
        }
    }
    return found;
}

const wchar_t* fileNamePart(const wchar_t* path)
{
    const wchar_t* separator = lastSeparator(path);
    return separator ? separator + 1 : path;
}

const wchar_t* extensionDot(const wchar_t* path)
{
    const wchar_t* dot = nullptr;
    if (path) {
        for (const wchar_t* p = path; *p; ++p) {
            if (*p == L'\\' || *p == L'/') dot = nullptr;
            else if (*p == L'.') dot = p;
        }
    }
    return dot;
}

bool replaceExtension(wchar_t* path, size_t capacity, const wchar_t* extension)
{
    if (!path) return false;
    const size_t length = std::wcslen(path);
    size_t stem = length;
    for (size_t i = length; i > 0; --i) {
        if (path[i - 1] == L'\\') break;
        if (path[i - 1] == L'.') {
            stem = i - 1;
            break;
        }
    }
    const size_t extensionLength = extension ? std::wcslen(extension) : 0;
    if (stem + extensionLength + 1 > capacity) return false;
    if (extension) std::wmemcpy(path + stem, extension, extensionLength);
    path[stem + extensionLength] = L'\0';
    return true;
}

bool deleteMatchingFiles(const wchar_t* pattern)
{
    if (!pattern) return false;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    const wchar_t* separator = std::wcsrchr(pattern, L'\\');
    const size_t folderLength = separator ? static_cast<size_t>(separator - pattern + 1) : 0;
    bool allDeleted = true;
    do {
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
        if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue; // never a folder, whatever else it carries
        const size_t nameLength = std::wcslen(found.cFileName);
        std::unique_ptr<wchar_t[]> full(new (std::nothrow) wchar_t[folderLength + nameLength + 1]);
        if (!full) {
            allDeleted = false;
            continue;
        }
        std::wmemcpy(full.get(), pattern, folderLength);
        std::wmemcpy(full.get() + folderLength, found.cFileName, nameLength + 1);
        if (!::DeleteFileW(full.get())) allDeleted = false;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return allDeleted;
}

void trimBlanks(const wchar_t* text, wchar_t* output, size_t capacity)
{
    if (!output || capacity == 0) return;
    if (!text) {
        output[0] = L'\0';
        return;
    }
    while (*text == L' ') ++text;
    size_t length = std::wcslen(text);
    while (length > 0 && text[length - 1] == L' ') --length;
    if (length > capacity - 1) length = capacity - 1;
    std::wmemmove(output, text, length);
    output[length] = L'\0';
}

} // namespace sorvane
