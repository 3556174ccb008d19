#include "engine/TargetPath.h"

#include "engine/FileIdentity.h"
#include "engine/PathForms.h"
#include "engine/FileTreeSetting.h"

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace sorvane {

namespace {

constexpr size_t kNameLimit = 255; // units of one name

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == 0x3000; }

bool hasBadCharacter(const std::wstring& path)
{
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c < 0x20 || std::wcschr(L"<>\"|?*", c)) return true;
        // A colon only after the drive letter.
        if (c == L':' && !(i == 1 && isDriveLetter(path[0]))) return true;
    }
    return false;
}

// "C:" of "C:\..." or "\\srv\share" of a network path; empty for others.
std::wstring rootOf(const std::wstring& path)
{
    const PathForm form = pathFormOf(path.c_str());
    if (form != PathForm::Drive && form != PathForm::Share) return {};
    const size_t root = rootLength(path.c_str());
    if (root == 0) return {};
    return path.substr(0, form == PathForm::Drive ? root - 1 : root);
}

// The typed text as an absolute path (not yet resolved), or empty.
std::wstring absoluteForm(std::wstring path, const wchar_t* base)
{
    // A long or device form: its ordinary form, where it has one and names
    // a folder of a drive or share (a volume name is no target to type).
    const PathForm form = pathFormOf(path.c_str());
    if (form == PathForm::LongOther || form == PathForm::DeviceOther) return {};
    if ((form == PathForm::LongDrive || form == PathForm::DeviceDrive) && path.size() < 7) return {};
    path = ordinaryFormOf(path);
    if (hasBadCharacter(path)) return {};
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == L':') {
        // "C:Out" means a folder below the drive's current folder: not a full path.
        return path.size() >= 3 && path[2] == L'\\' ? path : std::wstring();
    }
    if (path.compare(0, 2, L"\\\\") == 0) return rootOf(path).empty() ? std::wstring() : path;

    // Relative to the folder of the selection.
    std::wstring folder = base ? ordinaryFormOf(base) : std::wstring();
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    for (auto& c : folder) {
        if (c == L'/') c = L'\\';
    }
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    const std::wstring root = rootOf(folder + L"\\");
    if (root.empty() || hasBadCharacter(folder)) return {};
    if (path[0] == L'\\') return root + path;
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + path;
}

} // namespace

void sourceListFolder(const wchar_t* list, wchar_t* out, size_t capacity)
{
    if (!out || capacity == 0) return;
    out[0] = L'\0';
    if (!list) return;
    const wchar_t* separator = std::wcschr(list, L';');
    size_t length = separator ? static_cast<size_t>(separator - list) : std::wcslen(list);
    if (length > capacity - 1) length = capacity - 1;
    std::wmemcpy(out, list, length);
    out[length] = L'\0';
}

ItemReason normaliseTarget(const wchar_t* typed, const wchar_t* base, wchar_t* out, size_t capacity, bool requireReachable)
{
    if (out && capacity) out[0] = L'\0';
    if (!typed || !out || capacity == 0) return kRefusalTargetInvalid;

    std::wstring path = typed;
    size_t first = 0;
    while (first < path.size() && isBlank(path[first])) ++first;
    size_t last = path.size();
    while (last > first && isBlank(path[last - 1])) --last;
    path = path.substr(first, last - first);
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (path.empty()) return kRefusalTargetInvalid;

    path = absoluteForm(path, base);
    if (path.empty()) return kRefusalTargetInvalid;
    path = fullPathOf(path);
    const std::wstring root = rootOf(path);
    if (root.empty()) return kRefusalTargetInvalid;

    // Every name without the blanks and dots at its end, as the shell
    // shows it; a name made only of them names nothing.
    std::wstring result = root;
    size_t at = root.size();
    while (at < path.size()) {
        while (at < path.size() && path[at] == L'\\') ++at;
        if (at >= path.size()) break;
        size_t end = path.find(L'\\', at);
        if (end == std::wstring::npos) end = path.size();
        std::wstring name = path.substr(at, end - at);
        while (!name.empty() && (name.back() == L' ' || name.back() == L'.')) name.pop_back();
        if (name.empty() || name.size() > kNameLimit) return kRefusalTargetInvalid;
        result += L'\\';
        result += name;
        at = end;
    }
    if (result.size() == 2) result += L'\\'; // a drive root keeps its backslash

    // The long form with a trailing backslash must fit the run's buffers.
    const std::wstring longForm = longFormOf(result);
    if (longForm.size() + 2 > kRunPathCapacity || result.size() + 1 > capacity) return kRefusalTargetInvalid;

    // The drive or share must be there.
    const std::wstring rootFolder = longFormOf(root + L"\\");
    const DWORD rootAttributes = ::GetFileAttributesW(rootFolder.c_str());
    const bool rootThere = rootAttributes != INVALID_FILE_ATTRIBUTES && (rootAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!rootThere && requireReachable) return kRefusalTargetUnreachable;
    // The target, or the nearest folder above it that exists, is a folder.
    std::wstring probe = longForm;
    const size_t rootEnd = longFormOf(root).size();
    while (rootThere && probe.size() > rootEnd) {
        const DWORD attributes = ::GetFileAttributesW(probe.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kRefusalTargetIsFile;
            break;
        }
        if (!isMissing(::GetLastError())) break; // unreadable: the run reports what fails
        const size_t slash = probe.rfind(L'\\');
        if (slash == std::wstring::npos || slash < rootEnd) break;
        probe.resize(slash);
    }

    std::wmemcpy(out, result.c_str(), result.size() + 1);
    return kReasonNone;
}

} // namespace sorvane
