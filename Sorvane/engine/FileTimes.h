// FILETIME as one number: 100-nanosecond units since 1601, UTC (or local
// time, for the values that hold it), for comparing, adding and storing.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sorvane {

constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ull;

inline uint64_t fileTimeValue(const FILETIME& time) noexcept
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME fileTimeOfValue(uint64_t value) noexcept
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

} // namespace sorvane
