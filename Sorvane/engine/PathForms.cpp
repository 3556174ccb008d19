#include "engine/PathForms.h"

#include <cwchar>

namespace sorvane {

namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";    // \\?\ (four units)
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";  // \\.\ (four units)
constexpr wchar_t kUncPrefix[] = L"\\\\";        // \\ (two units)
constexpr size_t kPrefixLength = 4;

bool hasPrefix(const wchar_t* path, const wchar_t* prefix, size_t length) noexcept
{
    return std::wcsncmp(path, prefix, length) == 0;
}

bool isSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

// "UNC\" at `at`, in any case.
bool isUncMark(const wchar_t* at) noexcept
{
    return (at[0] | 0x20) == L'u' && (at[1] | 0x20) == L'n' && (at[2] | 0x20) == L'c' && at[3] == L'\\';
}

// A drive letter and its colon at `at`, ending there or followed by a backslash.
bool isDriveMark(const wchar_t* at) noexcept
{
    return isDriveLetter(at[0]) && at[1] == L':' && (at[2] == L'\0' || at[2] == L'\\');
}

// The end of "server\share" starting at `at` (the backslash after the
// share, or the end of the text); null when either name is missing.
const wchar_t* shareEnd(const wchar_t* at) noexcept
{
    const wchar_t* server = std::wcschr(at, L'\\');
    if (!server || server == at || server[1] == L'\0' || server[1] == L'\\') return nullptr;
    const wchar_t* share = std::wcschr(server + 1, L'\\');
    return share ? share : server + 1 + std::wcslen(server + 1);
}

} // namespace

bool isDriveLetter(wchar_t c) noexcept { return (c | 0x20) >= L'a' && (c | 0x20) <= L'z'; }

bool isMissing(DWORD error) noexcept { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

PathForm pathFormOf(const wchar_t* path) noexcept
{
    if (!path || !*path) return PathForm::Empty;
    const bool isLong = hasPrefix(path, kLongPrefix, kPrefixLength);
    if (isLong || hasPrefix(path, kDevicePrefix, kPrefixLength)) {
        const wchar_t* rest = path + kPrefixLength;
        if (isDriveMark(rest)) return isLong ? PathForm::LongDrive : PathForm::DeviceDrive;
        if (isUncMark(rest)) return isLong ? PathForm::LongShare : PathForm::DeviceShare;
        return isLong ? PathForm::LongOther : PathForm::DeviceOther;
    }
    if (hasPrefix(path, kUncPrefix, 2)) return PathForm::Share;
    if (isDriveLetter(path[0]) && path[1] == L':') return isSeparator(path[2]) ? PathForm::Drive : PathForm::DriveRelative;
    if (isSeparator(path[0])) return PathForm::Rooted;
    return PathForm::Relative;
}

bool hasLongPrefix(const wchar_t* path) noexcept { return path && hasPrefix(path, kLongPrefix, kPrefixLength); }

bool isBarePrefix(const wchar_t* path) noexcept
{
    if (!path || !*path) return true;
    if (std::wcscmp(path, kUncPrefix) == 0) return true;
    if (!hasPrefix(path, kLongPrefix, kPrefixLength) && !hasPrefix(path, kDevicePrefix, kPrefixLength)) return false;
    const wchar_t* rest = path + kPrefixLength;
    return *rest == L'\0' || (isUncMark(rest) && rest[4] == L'\0');
}

bool isDriveRoot(const wchar_t* path, size_t length) noexcept
{
    if (!path) return false;
    if (length == 3) return isDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
    if (length == 7) return hasPrefix(path, kLongPrefix, kPrefixLength) && isDriveRoot(path + kPrefixLength, 3);
    return false;
}

bool isDriveRootList(const wchar_t* list) noexcept
{
    if (!list || !isDriveLetter(list[0]) || list[1] != L':' || list[2] != L'\\' || list[3] != L';') return false;
    return list[4] == L'\0' || (list[4] == L';' && list[5] == L'\0');
}

SourceListParts splitSourceList(const std::wstring& list)
{
    SourceListParts parts;
    const size_t separator = list.find(L';');
    parts.folder = list.substr(0, separator);
    if (separator == std::wstring::npos) return parts;
    parts.oneFolder = false;
    for (size_t start = separator + 1; start <= list.size();) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos) end = list.size();
        if (end > start) parts.names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

size_t rootLength(const wchar_t* path) noexcept
{
    switch (pathFormOf(path)) {
    case PathForm::Drive: return 3;
    case PathForm::Share: {
        const wchar_t* end = shareEnd(path + 2);
        return end ? static_cast<size_t>(end - path) : 0;
    }
    case PathForm::LongDrive:
    case PathForm::DeviceDrive: return path[6] == L'\\' ? 7 : 6;
    case PathForm::LongShare:
    case PathForm::DeviceShare: {
        const wchar_t* end = shareEnd(path + 8);
        return end ? static_cast<size_t>(end - path) : 0;
    }
    case PathForm::LongOther:
    case PathForm::DeviceOther: {
        // "\\?\Volume{...}\": through the name and its backslash.
        const wchar_t* slash = std::wcschr(path + kPrefixLength, L'\\');
        return slash ? static_cast<size_t>(slash - path) + 1 : std::wcslen(path);
    }
    default: return 0;
    }
}

OrdinaryPrefix ordinaryPrefix(const wchar_t* path) noexcept
{
    switch (pathFormOf(path)) {
    case PathForm::LongDrive:
    case PathForm::DeviceDrive: return {kPrefixLength, L""};
    case PathForm::LongShare:
    case PathForm::DeviceShare: return {kPrefixLength + 4, kUncPrefix};
    default: return {0, L""};
    }
}

std::wstring ordinaryFormOf(const wchar_t* path)
{
    if (!path) return {};
    const OrdinaryPrefix prefix = ordinaryPrefix(path);
    std::wstring out(prefix.lead);
    out.append(path + prefix.skipped);
    return out;
}

std::wstring ordinaryFormOf(const std::wstring& path) { return ordinaryFormOf(path.c_str()); }

DWORD ordinaryPathForm(const wchar_t* path, wchar_t* out, size_t capacity) noexcept
{
    if (!path || !out || capacity == 0) return ERROR_INVALID_PARAMETER;
    const PathForm form = pathFormOf(path);
    if (form == PathForm::LongOther || form == PathForm::DeviceOther) return ERROR_BAD_PATHNAME;
    const OrdinaryPrefix prefix = ordinaryPrefix(path);
    const size_t leadLength = std::wcslen(prefix.lead);
    const size_t restLength = std::wcslen(path + prefix.skipped);
    if (leadLength + restLength + 1 > capacity) return ERROR_FILENAME_EXCED_RANGE;
    std::wmemcpy(out, prefix.lead, leadLength);
    std::wmemcpy(out + leadLength, path + prefix.skipped, restLength + 1);
    return 0;
}

std::wstring longFormOf(const std::wstring& path)
{
    switch (pathFormOf(path.c_str())) {
    case PathForm::Drive: return kLongPrefix + path;
    case PathForm::Share: return std::wstring(kLongPrefix) + L"UNC\\" + path.substr(2);
    default: return path;
    }
}

bool toLongPath(wchar_t* path, size_t capacity) noexcept
{
    if (!path || capacity == 0) return false;
    const PathForm form = pathFormOf(path);
    if (form == PathForm::LongDrive || form == PathForm::LongShare || form == PathForm::LongOther ||
        form == PathForm::DeviceDrive || form == PathForm::DeviceShare || form == PathForm::DeviceOther) {
        return true;
    }
    // "\\server\share" becomes "\\?\UNC\server\share": the two leading
    // backslashes give way to the prefix and "UNC\" (six more units);
    // anything else takes the prefix in front.
    const bool share = form == PathForm::Share;
    const size_t length = std::wcslen(path);
    const size_t grown = length + (share ? 6 : kPrefixLength);
    if (grown + 1 > capacity) return false;
    if (share) {
        std::wmemmove(path + 8, path + 2, length - 2 + 1);
        std::wmemcpy(path, L"\\\\?\\UNC\\", 8);
    } else {
        std::wmemmove(path + kPrefixLength, path, length + 1);
        std::wmemcpy(path, kLongPrefix, kPrefixLength);
    }
    return true;
}

std::wstring fullPathOf(const std::wstring& path)
{
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (written == 0 || written >= needed) return {};
    full.resize(written);
    return full;
}

const wchar_t* lastSeparator(const wchar_t* path) noexcept
{
    const wchar_t* found = nullptr;
    if (path) {
        for (const wchar_t* p = path; *p; ++p) {
            if (*p == L'\\' || *p == L'/' || *p == L':') found = p;
        }
    }
    return found;
}

const wchar_t* fileNamePart(const wchar_t* path) noexcept
{
    const wchar_t* separator = lastSeparator(path);
    return separator ? separator + 1 : path;
}

const wchar_t* extensionDot(const wchar_t* path) noexcept
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

} // namespace sorvane
