// Paths as the user knows them. The run works on the long "\\?\" forms of
// its paths; what it shows the user (the report, the progress dialog)
// drops that prefix: "\\?\C:\Data" is shown as "C:\Data" and
// "\\?\UNC\server\share\x" as "\\server\share\x". A source list
// ("PARENT;NAME;...") is shown the same way, its first element being a path.
#pragma once

#include <cstddef>
#include <string>

namespace sorvane {

// The leading units of `path` that its plain form leaves out (4 of
// "\\?\C:", all 8 of "\\?\UNC\") and the lead that takes their place
// ("", or "\\" for a share).
struct PlainPrefix {
    size_t skipped;
    const wchar_t* lead;
};
PlainPrefix plainPrefix(const wchar_t* path) noexcept;

// The plain form of `path` (null gives an empty text).
std::wstring plainPath(const wchar_t* path);

} // namespace sorvane
