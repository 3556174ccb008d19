#include "engine/VolumeIdentity.h"

#include "engine/FileIdentity.h"
#include "engine/PathForms.h"

#include <string>

namespace sorvane {

bool readVolumeSerial(const wchar_t* path, uint32_t& serial)
{
    serial = 0;
    if (!path || !*path) return false;
    std::wstring place = path;
    for (;;) {
        FileIdentity identity;
        if (readIdentity(place.c_str(), identity)) {
            // A serial number of 0 is no answer: Wine gives it for places
            // its mount manager does not know (a drive letter linked in
            // after it started, or a file system found through one). Two
            // such places would look like one volume; unknown counts as
            // another volume instead, which copies and asks for more room.
            if (identity.volume == 0) return false;
            serial = identity.volume;
            return true;
        }
        // Only a place that is not there is told by the folder above it; one
        // that is there but gives no answer stays unknown.
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
        // One folder up: "C:\a\b" -> "C:\a\" -> "C:\", "\\?\C:\a" -> "\\?\C:\".
        size_t end = place.size();
        while (end > 0 && place[end - 1] == L'\\') --end;
        if (end == 0) return false;
        const size_t slash = place.rfind(L'\\', end - 1);
        if (slash == std::wstring::npos || slash + 1 >= place.size()) return false;
        place.resize(slash + 1);
        // A prefix alone ("\\", "\\?\", "\\?\UNC\") names no place.
        if (isBarePrefix(place.c_str())) return false;
    }
}

bool onSameVolume(const wchar_t* a, const wchar_t* b)
{
    uint32_t first = 0;
    uint32_t second = 0;
    return readVolumeSerial(a, first) && readVolumeSerial(b, second) && first == second;
}

bool movesByRename(const wchar_t* a, const wchar_t* b)
{
    uint32_t first = 0;
    uint32_t second = 0;
    const bool firstKnown = readVolumeSerial(a, first);
    const bool secondKnown = readVolumeSerial(b, second);
    if (firstKnown && secondKnown) return first == second;
    const std::wstring left = ordinaryFormOf(a);
    const std::wstring right = ordinaryFormOf(b);
    const size_t root = rootLength(left.c_str());
    return root > 0 && root == rootLength(right.c_str()) &&
           ::CompareStringOrdinal(left.c_str(), static_cast<int>(root), right.c_str(), static_cast<int>(root), TRUE) ==
               CSTR_EQUAL;
}

} // namespace sorvane
