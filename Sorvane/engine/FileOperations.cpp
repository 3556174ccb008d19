#include "FileOperations.h"

#include "EngineSinks.h"
#include "FileTreeSetting.h"
#include "Listing.h"

#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

namespace {

// No questions, no error boxes, undo kept, and never the "connected"
// companions of a file (the "x_files" folder of "x.htm"): only the file the
// filter chose goes to the Recycle Bin.
constexpr DWORD kRecycleFlags =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_FILESONLY | FOF_NOERRORUI | FOF_NO_CONNECTED_ELEMENTS;

// Attributes that SetFileAttributesW accepts.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::atomic<const FileCopyRoutines*> g_routineOverride{nullptr};
std::atomic<unsigned> g_temporaryCounter{0};

const FileCopyRoutines& activeRoutines()
{
    const FileCopyRoutines* routines = g_routineOverride.load();
    return routines ? *routines : systemCopyRoutines();
}

DWORD settable(DWORD attributes)
{
    attributes &= kSettableAttributes;
    if (attributes != FILE_ATTRIBUTE_NORMAL) attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Clears the read-only bit of `path`, whose attributes are `attributes`.
bool clearReadOnly(const wchar_t* path, DWORD attributes)
{
    return ::SetFileAttributesW(path, settable(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) != 0;
}

void restoreAttributes(const wchar_t* path, DWORD attributes) { ::SetFileAttributesW(path, settable(attributes)); }

void showFileName(FILE_TREE_SETTING& settings)
{
    if (!settings.progress) return;
    const wchar_t* slash = std::wcsrchr(settings.sources, L'\\');
    settings.progress->SetFileText(slash ? slash + 1 : settings.sources);
}

void refreshProgress(FILE_TREE_SETTING& settings)
{
    if (settings.progress) settings.progress->UpdateCounters(false);
}

void logItem(FILE_TREE_SETTING& settings, const wchar_t* path, UINT status, COLORREF colour)
{
    if (settings.log) settings.log->WriteItemRow(path, status, colour);
}

void logError(FILE_TREE_SETTING& settings, const wchar_t* path, UINT status, DWORD error, COLORREF colour)
{
    if (!settings.log) return;
    ::SetLastError(error);
    settings.log->WriteErrorRow(path, status, error, colour);
}

void countOutcome(FILE_TREE_SETTING& settings, bool success)
{
    if (success) ++settings.completedFiles;
    else ++settings.failedFiles;
}

BOOL* cancelFlag(FILE_TREE_SETTING& settings)
{
    // The run's cancel flag is also the one the system copy routine polls.
    static_assert(sizeof(settings.cancel) == sizeof(BOOL), "cancel doubles as the copy routine's flag");
    return reinterpret_cast<BOOL*>(const_cast<uint32_t*>(&settings.cancel));
}

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

// Sends one file to the Recycle Bin. The shell takes neither the long form
// nor paths of MAX_PATH units or more: such a file is refused, never
// deleted for good instead. Returns 0 or the error.
DWORD recycleFile(const wchar_t* path)
{
    wchar_t list[MAX_PATH + 1];
    const DWORD formError = ordinaryPathForm(path, list, MAX_PATH);
    if (formError) return formError;
    list[std::wcslen(list) + 1] = L'\0'; // a list of one, ended by a second terminator
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    operation.pTo = nullptr;
    operation.fFlags = static_cast<FILEOP_FLAGS>(kRecycleFlags);
    const int result = ::SHFileOperationW(&operation);
    if (result != 0) return shellOperationError(result);
    return operation.fAnyOperationsAborted ? ERROR_CANCELLED : 0;
}

// A temporary file name beside the target (heap text, never throws).
class TemporaryPath {
public:
    // A fresh name in the folder of `target`, short enough for any folder
    // whose files fit there, so that a copy never lands half-written under
    // the real name. Returns 0 or the error.
    DWORD makeBeside(const wchar_t* target)
    {
        const wchar_t* slash = std::wcsrchr(target, L'\\');
        const size_t folderLength = slash ? static_cast<size_t>(slash - target) + 1 : 0;
        constexpr size_t kNameCapacity = 64;
        if (folderLength + kNameCapacity > kRunPathCapacity) return ERROR_FILENAME_EXCED_RANGE;
        text_.reset(new (std::nothrow) wchar_t[folderLength + kNameCapacity]);
        if (!text_) return ERROR_NOT_ENOUGH_MEMORY;
        std::wmemcpy(text_.get(), target, folderLength);
        std::swprintf(text_.get() + folderLength, kNameCapacity, L"~sorvane-%lx-%x.tmp",
                      static_cast<unsigned long>(::GetCurrentProcessId()), g_temporaryCounter.fetch_add(1));
        return 0;
    }
    const wchar_t* get() const { return text_.get(); }
    void remove() const
    {
        if (!text_) return;
        ::SetFileAttributesW(text_.get(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(text_.get());
    }

private:
    std::unique_ptr<wchar_t[]> text_;
};

// Copies the source to a fresh temporary file beside `target` through the
// system copy routine (or CopyFileW when it is missing). Only a file this
// call created is ever removed again. Returns 0 or the error.
DWORD copyToTemporary(FILE_TREE_SETTING& settings, uint64_t size, TemporaryPath& temporary)
{
    const FileCopyRoutines& routines = activeRoutines();
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (const DWORD error = temporary.makeBeside(settings.target)) return error;
        BOOL copied;
        if (routines.copyFileEx) {
            copied = routines.copyFileEx(settings.sources, temporary.get(), copyProgressCallback, &settings,
                                         cancelFlag(settings), COPY_FILE_FAIL_IF_EXISTS);
        } else {
            if (settings.currentFileBytes < size) {
                settings.doneBytes += size - settings.currentFileBytes;
                settings.currentFileBytes = size;
            }
            copied = ::CopyFileW(settings.sources, temporary.get(), TRUE);
        }
        if (copied) return 0;
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue; // not ours: another name
        temporary.remove();
        return error;
    }
    return ERROR_FILE_EXISTS;
}

// Puts a complete temporary copy in place of the target in one rename
// within the folder: the target is either its old self or the new copy.
DWORD replaceWithTemporary(const TemporaryPath& temporary, const wchar_t* target)
{
    if (::MoveFileExW(temporary.get(), target, MOVEFILE_REPLACE_EXISTING)) return 0;
    const DWORD error = ::GetLastError();
    temporary.remove();
    return error;
}

DWORD copyFile(FILE_TREE_SETTING& settings, uint64_t size)
{
    TemporaryPath temporary;
    DWORD error = copyToTemporary(settings, size, temporary);
    if (!error) error = replaceWithTemporary(temporary, settings.target);
    return error;
}

DWORD moveFile(FILE_TREE_SETTING& settings, uint64_t size, DWORD sourceAttributes)
{
    // On one volume a move is a rename: atomic, nothing is copied.
    const FileCopyRoutines& routines = activeRoutines();
    BOOL moved;
    if (routines.moveFileWithProgress) {
        moved = routines.moveFileWithProgress(settings.sources, settings.target, copyProgressCallback, &settings,
                                              MOVEFILE_REPLACE_EXISTING);
    } else {
        moved = ::MoveFileExW(settings.sources, settings.target, MOVEFILE_REPLACE_EXISTING);
    }
    if (moved) return 0;
    DWORD error = ::GetLastError();
    if (error != ERROR_NOT_SAME_DEVICE) return error;

    // Another volume: copy, put the copy in place, and only then let the
    // source go. A cancel or failure before that point leaves the source
    // untouched and the target as it was.
    if (settings.cancel) return ERROR_REQUEST_ABORTED;
    TemporaryPath temporary;
    error = copyToTemporary(settings, size, temporary);
    if (!error) error = replaceWithTemporary(temporary, settings.target);
    if (error) return error;
    if (::DeleteFileW(settings.sources)) return 0;
    error = ::GetLastError();
    if ((sourceAttributes & FILE_ATTRIBUTE_READONLY) && clearReadOnly(settings.sources, sourceAttributes)) {
        // The file moves with its attributes; the copy at the target keeps them.
        if (::DeleteFileW(settings.sources)) return 0;
        error = ::GetLastError();
        restoreAttributes(settings.sources, sourceAttributes);
    }
    // The file is whole at both places; the run reports the failure.
    return error;
}

int applyDelete(FILE_TREE_SETTING& settings)
{
    const ListingRecord* item = settings.currentItem;
    const uint64_t size = item->size;
    if (settings.isCountingPass()) {
        settings.totalBytes += size;
        ++settings.totalFiles;
        return kOperationDone;
    }

    settings.doneBytes += size;
    showFileName(settings);
    const wchar_t* source = settings.sources;
    const DWORD attributes = item->attributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    bool success = false;
    if (readOnly && settings.protectReadOnly) {
        logItem(settings, source, kStatusReadOnly, kColourMagenta);
    } else if (settings.testOnly) {
        // A test run changes nothing on disk, not even an attribute.
        logItem(settings, source, kStatusTestOnly, kColourNone);
    } else {
        const bool cleared = readOnly && clearReadOnly(source, attributes);
        DWORD error = 0;
        if (settings.overwrite == 1) {
            error = recycleFile(source);
        } else if (!::DeleteFileW(source)) {
            error = ::GetLastError();
        }
        success = error == 0;
        if (success) {
            logItem(settings, source, kStatusSuccess, kColourNone);
        } else {
            if (cleared) restoreAttributes(source, attributes);
            logError(settings, source, kStatusFailed, error, kColourNone);
        }
    }
    countOutcome(settings, success);
    refreshProgress(settings);
    return success ? kOperationDone : kOperationFailed;
}

// A move whose target is not older than its source: the target stays and
// the source is deleted.
int deleteOutdatedSource(FILE_TREE_SETTING& settings)
{
    const ListingRecord* item = settings.currentItem;
    const wchar_t* source = settings.sources;
    const DWORD attributes = item->attributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && settings.protectReadOnly) {
        logItem(settings, source, kStatusReadOnly, kColourMagenta);
        ++settings.failedFiles;
    } else {
        const bool cleared = readOnly && clearReadOnly(source, attributes);
        if (::DeleteFileW(source)) {
            logItem(settings, source, kStatusSuccess, kColourNone);
            ++settings.completedFiles;
        } else {
            const DWORD error = ::GetLastError();
            if (cleared) restoreAttributes(source, attributes);
            logError(settings, source, kStatusFailed, error, kColourNone);
            ++settings.failedFiles;
        }
    }
    settings.doneBytes += item->size;
    showFileName(settings);
    refreshProgress(settings);
    return kOperationSkipped;
}

int applyCopyOrMove(FILE_TREE_SETTING& settings)
{
    const ListingRecord* item = settings.currentItem;
    const ListingRecord* existing = settings.existingTarget;
    const bool move = settings.kind() == kOperationMove;
    const bool counting = settings.isCountingPass();
    const uint64_t size = item->size;

    if (existing) {
        if (settings.overwrite == 2) return kOperationSkipped;
        if (settings.overwrite == 1) {
            const FILETIME sourceTime = item->lastWrite;
            const FILETIME targetTime = existing->lastWrite;
            if (::CompareFileTime(&sourceTime, &targetTime) <= 0) {
                if (!move) return kOperationSkipped;
                if (!counting) return deleteOutdatedSource(settings);
                settings.totalBytes += size;
                if (settings.sameVolume) settings.neededBytes -= static_cast<int64_t>(size);
                ++settings.totalFiles;
                return kOperationSkipped;
            }
        }
    }

    if (counting) {
        settings.totalBytes += size;
        const int64_t growth = static_cast<int64_t>(size) - static_cast<int64_t>(existing ? existing->size : 0);
        // A move within one volume only renames: it needs room only where it
        // replaces a target.
        if (!(move && settings.sameVolume) || existing) settings.neededBytes += growth;
        ++settings.totalFiles;
        return kOperationDone;
    }

    showFileName(settings);
    const wchar_t* target = settings.target;
    const DWORD targetAttributes = existing ? existing->attributes : 0;
    const bool targetReadOnly = (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (targetReadOnly && settings.protectReadOnly) {
        logItem(settings, settings.sources, kStatusReadOnly, kColourMagenta);
        settings.doneBytes += size;
        ++settings.failedFiles;
        refreshProgress(settings);
        return kOperationFailed;
    }
    const bool cleared = targetReadOnly && clearReadOnly(target, targetAttributes);

    settings.currentFileBytes = 0;
    const DWORD error = move ? moveFile(settings, size, item->attributes) : copyFile(settings, size);
    // Whatever the system routine reported, the file's bytes are now handled.
    if (settings.currentFileBytes < size) settings.doneBytes += size - settings.currentFileBytes;
    settings.currentFileBytes = size;

    const bool success = error == 0;
    if (success) {
        logItem(settings, target, kStatusSuccess, kColourNone);
    } else {
        if (cleared) restoreAttributes(target, targetAttributes);
        logError(settings, target, kStatusFailed, error, kColourNone);
    }
    countOutcome(settings, success);
    refreshProgress(settings);
    return success ? kOperationDone : kOperationFailed;
}

} // namespace

const FileCopyRoutines& systemCopyRoutines()
{
    static const FileCopyRoutines routines = [] {
        FileCopyRoutines found = {};
        if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
            found.copyFileEx = reinterpret_cast<CopyFileExFunction>(
                reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "CopyFileExW")));
            found.moveFileWithProgress = reinterpret_cast<MoveFileWithProgressFunction>(
                reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "MoveFileWithProgressW")));
        }
        return found;
    }();
    return routines;
}

void overrideCopyRoutines(const FileCopyRoutines* routines) { g_routineOverride.store(routines); }

DWORD ordinaryPathForm(const wchar_t* path, wchar_t* out, size_t capacity)
{
    if (!path || !out || capacity == 0) return ERROR_INVALID_PARAMETER;
    const wchar_t* rest = path;
    const wchar_t* lead = L"";
    if (std::wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
        rest = path + 8;
        lead = L"\\\\";
    } else if (std::wcsncmp(path, L"\\\\?\\", 4) == 0) {
        rest = path + 4;
        const bool drive = ((rest[0] | 0x20) >= L'a' && (rest[0] | 0x20) <= L'z') && rest[1] == L':';
        if (!drive) return ERROR_BAD_PATHNAME;
    }
    const size_t leadLength = std::wcslen(lead);
    const size_t restLength = std::wcslen(rest);
    if (leadLength + restLength + 1 > capacity) return ERROR_FILENAME_EXCED_RANGE;
    std::wmemcpy(out, lead, leadLength);
    std::wmemcpy(out + leadLength, rest, restLength + 1);
    return 0;
}

DWORD CALLBACK copyProgressCallback(LARGE_INTEGER, LARGE_INTEGER totalBytesTransferred, LARGE_INTEGER,
                                    LARGE_INTEGER, DWORD, DWORD callbackReason, HANDLE, HANDLE,
                                    LPVOID data) noexcept
{
    auto* settings = static_cast<FILE_TREE_SETTING*>(data);
    if (!settings) return PROGRESS_CONTINUE;
    if (callbackReason == CALLBACK_CHUNK_FINISHED) {
        const uint64_t transferred = static_cast<uint64_t>(totalBytesTransferred.QuadPart);
        if (transferred > settings->currentFileBytes) settings->doneBytes += transferred - settings->currentFileBytes;
        settings->currentFileBytes = transferred;
        if (settings->progress) settings->progress->UpdateCounters(true);
    }
    return settings->cancel ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

int applyOperation(FILE_TREE_SETTING& settings)
{
    if (!settings.currentItem || !settings.sources || !settings.target) return kOperationFailed;
    switch (settings.kind()) {
    case kOperationCopy:
    case kOperationMove: return applyCopyOrMove(settings);
    case kOperationDelete: return applyDelete(settings);
    case kOperationCompress:
        // The archive takes the file later; the walk only hands it over.
        return settings.collector && settings.collector->CollectFile(settings.sources, *settings.currentItem)
                   ? kOperationDone
                   : kOperationFailed;
    default: return kOperationFailed;
    }
}

bool removeEmptiedFolder(FILE_TREE_SETTING& settings)
{
    const wchar_t* folder = settings.sources;
    if (!folder || !*folder) return false;
    const DWORD attributes =
        settings.currentItem ? settings.currentItem->attributes : ::GetFileAttributesW(folder);
    bool cleared = false;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        if (settings.protectReadOnly) {
            logItem(settings, folder, kStatusFolderReadOnly, kColourOrange);
            ++settings.failedFolders;
            return false;
        }
        cleared = clearReadOnly(folder, attributes);
    }
    if (::RemoveDirectoryW(folder)) {
        wchar_t shown[MAX_PATH];
        const wchar_t* notified = ordinaryPathForm(folder, shown, MAX_PATH) == 0 ? shown : folder;
        ::SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, notified, nullptr);
        return true;
    }
    const DWORD error = ::GetLastError();
    // A folder that stays keeps its attributes.
    if (cleared) restoreAttributes(folder, attributes);
    if (error == ERROR_DIR_NOT_EMPTY) return false;
    logError(settings, folder, kStatusFolderFailed, error, kColourOrange);
    ++settings.failedFolders;
    return false;
}

} // namespace sorvane
