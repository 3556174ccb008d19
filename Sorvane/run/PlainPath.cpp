#include "PlainPath.h"

#include <cwchar>

namespace sorvane {

PlainPrefix plainPrefix(const wchar_t* path) noexcept
{
    if (!path || std::wcsncmp(path, L"\\\\?\\", 4) != 0) return {0, L""};
    if ((path[4] == L'U' || path[4] == L'u') && (path[5] == L'N' || path[5] == L'n') &&
        (path[6] == L'C' || path[6] == L'c') && path[7] == L'\\') {
        return {8, L"\\\\"};
    }
    // A drive: "\\?\C:..." is "C:...". Other long forms (volume names)
    // have no plain form and are shown as they are.
    const wchar_t letter = static_cast<wchar_t>(path[4] | 0x20);
    if (letter >= L'a' && letter <= L'z' && path[5] == L':') return {4, L""};
    return {0, L""};
}

std::wstring plainPath(const wchar_t* path)
{
    if (!path) return {};
    const PlainPrefix prefix = plainPrefix(path);
    std::wstring out(prefix.lead);
    out.append(path + prefix.skipped);
    return out;
}

} // namespace sorvane
