#include "run/ProgressText.h"

#include "base/Strings.h"
#include "res/SorvaneRes.h"

#include <cstdio>

namespace sorvane {

namespace {
constexpr unsigned kIdsBytes = IDS_BYTES;   // "Bytes"
constexpr unsigned kIdsKBytes = IDS_KBYTES; // "K Bytes"
constexpr unsigned kIdsMBytes = IDS_MBYTES; // "M Bytes"
constexpr unsigned kIdsGBytes = IDS_GBYTES; // "G Bytes"
constexpr unsigned kIdsSec = IDS_SEC;       // "Sec"
constexpr unsigned kIdsMin = IDS_MIN;       // "Min"
} // namespace

uint32_t FormatSize(int64_t bytes, std::wstring& text)
{
    wchar_t buffer[96];
    if (bytes < 1024) {
        std::swprintf(buffer, 96, L"%lld %ls", static_cast<long long>(bytes), loadString(kIdsBytes).c_str());
        text = buffer;
        return static_cast<uint32_t>(bytes) << 2;
    }
    int64_t unit = 1024;
    unsigned unitId = kIdsKBytes;
    uint32_t unitKey = 1;
    if (bytes >= 1073741824) {
        unit = 1073741824;
        unitId = kIdsGBytes;
        unitKey = 3;
    } else if (bytes >= 1048576) {
        unit = 1048576;
        unitId = kIdsMBytes;
        unitKey = 2;
    }
    const int64_t whole = bytes / unit;
    const int64_t decimals = (bytes % unit) * 100 / unit;
    std::swprintf(buffer, 96, L"%lld.%02lld %ls", static_cast<long long>(whole), static_cast<long long>(decimals),
                  loadString(unitId).c_str());
    text = buffer;
    return unitKey | (static_cast<uint32_t>(decimals) << 2) | (static_cast<uint32_t>(whole) << 9);
}

std::wstring FormatRemaining(int64_t seconds)
{
    wchar_t buffer[96];
    const std::wstring sec = loadString(kIdsSec);
    if (seconds < 60) {
        std::swprintf(buffer, 96, L"%02d%ls", static_cast<int>(seconds), sec.c_str());
    } else {
        std::swprintf(buffer, 96, L"%d%ls%02d%ls", static_cast<int>(seconds / 60), loadString(kIdsMin).c_str(),
                      static_cast<int>(seconds % 60), sec.c_str());
    }
    return buffer;
}

int barPosition(uint64_t done, uint64_t total)
{
    if (total >= 1073676290ULL) return static_cast<int>(done / (total / 32767));
    if (total != 0) return static_cast<int>(done * 32767 / total);
    return 0;
}

int64_t remainingSeconds(int64_t elapsed100ns, uint64_t done, uint64_t total)
{
    const int64_t elapsedMs = elapsed100ns / 10000;
    // The product outgrows 64 bits for long runs over terabytes: widen it.
    const unsigned __int128 product = static_cast<unsigned __int128>(elapsedMs < 0 ? 0 : elapsedMs) * total;
    const int64_t estimatedTotal = static_cast<int64_t>(product / done) / 1000;
    const int64_t elapsedSeconds = elapsed100ns / 10000000;
    return estimatedTotal - elapsedSeconds;
}

} // namespace sorvane
