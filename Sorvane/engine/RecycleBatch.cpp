#include "engine/RecycleBatch.h"

#include "engine/PathForms.h"

#include <shellapi.h>

#include <cwchar>

namespace sorvane {

namespace {

// No questions, no error boxes, undo kept, and never the "connected"
// companions of a file (the "x_files" folder of "x.htm"): only the files the
// filter chose go to the Recycle Bin. A file that cannot go there (no bin
// on its volume, too large for it) would then be deleted for good without a
// word: the system's own warning asks the user first (FOF_WANTNUKEWARNING
// overrides FOF_NOCONFIRMATION for exactly that case).
constexpr DWORD kRecycleFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_FILESONLY | FOF_NOERRORUI |
                                FOF_NO_CONNECTED_ELEMENTS | FOF_WANTNUKEWARNING;

// Win32 error for a failed SHFileOperationW: its results below 0x71 are
// Win32 codes, the rest are the shell's own and are mapped here.
DWORD shellOperationError(int result)
{
    switch (result) {
    case 0x75: return ERROR_CANCELLED;                 // DE_OPCANCELLED
    case 0x78: return ERROR_ACCESS_DENIED;             // DE_ACCESSDENIEDSRC
    case 0x79:                                         // DE_PATHTOODEEP
    case 0x81: return ERROR_FILENAME_EXCED_RANGE;      // DE_FILENAMETOOLONG
    case 0x7C: return ERROR_FILE_NOT_FOUND;            // DE_INVALIDFILES
    case 0x86:                                         // DE_SRC_IS_CDROM
    case 0x87: return ERROR_WRITE_PROTECT;             // DE_SRC_IS_DVD
    default: break;
    }
    if (result > 0 && result < 0x71) return static_cast<DWORD>(result);
    return ERROR_GEN_FAILURE;
}

// Sends a list of files ("a\0b\0\0") to the bin; the shell's result.
int sendList(const wchar_t* list, bool& aborted)
{
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    operation.pTo = nullptr;
    operation.fFlags = static_cast<FILEOP_FLAGS>(kRecycleFlags);
    const int result = ::SHFileOperationW(&operation);
    aborted = operation.fAnyOperationsAborted != FALSE;
    return result;
}

// True when `path` is gone from its place; false, with the error left,
// when it is there or cannot be asked about.
bool gone(const wchar_t* path) { return ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && isMissing(::GetLastError()); }

} // namespace

RecycleResult recycleFile(const wchar_t* path)
{
    wchar_t list[MAX_PATH + 1];
    const DWORD formError = ordinaryPathForm(path, list, MAX_PATH);
    if (formError) return {false, false, formError};
    list[std::wcslen(list) + 1] = L'\0'; // a list of one, ended by a second terminator
    bool aborted = false;
    const int result = sendList(list, aborted);
    if (result != 0) return {false, false, shellOperationError(result)};
    if (aborted) return {false, true, ERROR_CANCELLED};
    if (!gone(path)) return {false, true, 0};
    return {true, false, 0};
}

bool RecycleBatch::canBatch(const wchar_t* path)
{
    wchar_t shown[MAX_PATH];
    return path && ordinaryPathForm(path, shown, MAX_PATH) == 0;
}

bool RecycleBatch::add(const wchar_t* path, DWORD attributes, bool readOnlyCleared) noexcept
{
    try {
        wchar_t shown[MAX_PATH];
        if (ordinaryPathForm(path, shown, MAX_PATH) != 0) return false;
        entries_.push_back({path, shown, attributes, readOnlyCleared, false, {false, false, 0}});
        return true;
    } catch (...) {
        return false;
    }
}

void RecycleBatch::send()
{
    if (entries_.empty()) return;
    // A file that is gone before the list is sent (removed by someone else
    // since the folder was listed) is not in the bin: it fails as missing,
    // as a file sent on its own would, and stays out of the list, so that
    // "gone afterwards" means "taken by the bin" for every file in it.
    std::wstring list;
    bool any = false;
    for (Entry& entry : entries_) {
        entry.sent = !gone(entry.path.c_str());
        if (!entry.sent) {
            entry.result = {false, false, ERROR_FILE_NOT_FOUND};
            continue;
        }
        list += entry.shown;
        list += L'\0';
        any = true;
    }
    if (!any) return;
    list += L'\0';
    bool aborted = false;
    sendList(list.c_str(), aborted);
    // The list's result speaks for the list as a whole: each file is asked
    // where it is. When the user declined to delete a file for good (the
    // bin could not take it) or cancelled, every file that stayed is kept:
    // the user is never asked twice about one file, and nothing goes for
    // good without a yes. Otherwise a file that stayed (the shell stops a
    // list at its first failure) is sent again alone, which says why.
    for (Entry& entry : entries_) {
        if (!entry.sent) continue;
        if (gone(entry.path.c_str())) entry.result = {true, false, 0};
        else if (aborted) entry.result = {false, true, ERROR_CANCELLED};
        else entry.result = recycleFile(entry.path.c_str());
    }
}

void RecycleBatch::abandon() noexcept
{
    // Nothing was sent: each file is left as it was found, its read-only
    // mark included.
    for (const Entry& entry : entries_) {
        if (entry.readOnlyCleared) ::SetFileAttributesW(entry.path.c_str(), entry.attributes);
    }
    entries_.clear();
}

} // namespace sorvane
