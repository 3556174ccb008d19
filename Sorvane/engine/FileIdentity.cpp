#include "engine/FileIdentity.h"

#include "common/Raii.h"

#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

namespace {

// The long names of `longForm` (a "\\?\" path that exists), or empty.
std::wstring longNamesOf(const std::wstring& longForm)
{
    const DWORD needed = ::GetLongPathNameW(longForm.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring result(needed, L'\0');
    const DWORD written = ::GetLongPathNameW(longForm.c_str(), &result[0], needed);
    if (written == 0 || written >= needed) return {};
    result.resize(written);
    return result;
}

} // namespace

bool readIdentity(const wchar_t* path, FileIdentity& out)
{
    out = FileIdentity();
    if (!path || !*path) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const size_t length = std::wcslen(path);
    const wchar_t* name = path;
    std::unique_ptr<wchar_t[]> trimmed;
    if (length > 1 && path[length - 1] == L'\\' && !isDriveRoot(path, length)) {
        trimmed.reset(new (std::nothrow) wchar_t[length]);
        if (!trimmed) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        std::wmemcpy(trimmed.get(), path, length - 1);
        trimmed[length - 1] = L'\0';
        name = trimmed.get();
    }
    UniqueFile file(::CreateFileW(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(file.get(), &information)) return false;
    out.volume = information.dwVolumeSerialNumber;
    out.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    out.known = true;
    return true;
}

bool comparablePath(const wchar_t* path, std::wstring& out)
{
    out.clear();
    if (!path || !*path) return false;
    std::wstring full = fullPathOf(ordinaryFormOf(path));
    if (full.empty()) return false;
    full = ordinaryFormOf(full);
    const size_t root = rootLength(full.c_str());
    if (root == 0) return false;
    while (full.size() > root && full.back() == L'\\') full.pop_back();

    // Long names for the longest part that exists; the rest as it is.
    std::wstring existing = full;
    std::wstring rest;
    for (;;) {
        const std::wstring named = longNamesOf(longFormOf(existing));
        if (!named.empty()) {
            existing = ordinaryFormOf(named);
            break;
        }
        if (existing.size() <= root) break;
        const size_t slash = existing.rfind(L'\\');
        if (slash == std::wstring::npos || slash < root - 1) break;
        rest.insert(0, existing.substr(slash));
        existing.resize(slash < root ? root : slash);
    }
    out = existing;
    if (!rest.empty()) out += (!out.empty() && out.back() == L'\\') ? rest.substr(1) : rest;
    while (out.size() > root && out.back() == L'\\') out.pop_back();
    return true;
}

bool samePathText(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool samePlace(const wchar_t* a, const wchar_t* b)
{
    FileIdentity first;
    FileIdentity second;
    const bool firstKnown = readIdentity(a, first);
    const DWORD firstError = firstKnown ? 0 : ::GetLastError();
    const bool secondKnown = readIdentity(b, second);
    const DWORD secondError = secondKnown ? 0 : ::GetLastError();
    if (firstKnown && secondKnown) {
        if (sameIdentity(first, second)) return true;
    } else {
        // One that does not exist is no place the other, existing one can be.
        if ((firstKnown && isMissing(secondError)) || (secondKnown && isMissing(firstError))) return false;
    }
    std::wstring textA;
    std::wstring textB;
    if (!comparablePath(a, textA) || !comparablePath(b, textB)) return !(firstKnown && secondKnown);
    return samePathText(textA, textB);
}

} // namespace sorvane
