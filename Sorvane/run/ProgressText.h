// The texts of the progress display: sizes with their unit, and the
// remaining time.
#pragma once

#include <cstdint>
#include <string>

namespace sorvane {

// "512 Bytes", "1.50 K Bytes", "1023.99 K Bytes", "1.00 M Bytes", ...;
// the decimals are truncated. Returns a key that changes whenever the text
// changes, so that an unchanged field need not be rewritten.
uint32_t FormatSize(int64_t bytes, std::wstring& text);

// "07Sec" under a minute, otherwise "5Min07Sec" (no hour unit).
std::wstring FormatRemaining(int64_t seconds);

// Position of a bar of range 0..32767 for `done` of `total` bytes.
int barPosition(uint64_t done, uint64_t total);

// Estimated remaining seconds from the elapsed time (100 ns units) and the
// bytes done so far; `done` must not be 0.
int64_t remainingSeconds(int64_t elapsed100ns, uint64_t done, uint64_t total);

} // namespace sorvane
