#include "SourceWalk.h"

#include "EngineSinks.h"
#include "FileOperations.h"
#include "FileTreeSetting.h"
#include "Listing.h"
#include "PathUtil.h"

#include <shlobj.h>

#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

namespace {

constexpr size_t kElementCapacity = 259; // a NAME of the source list
constexpr DWORD kExcludedAttributes = FILE_ATTRIBUTE_REPARSE_POINT;

bool isCopyOrMove(uint32_t kind) { return kind == kOperationCopy || kind == kOperationMove; }
bool removesSources(uint32_t kind) { return kind == kOperationMove || kind == kOperationDelete; }

// True when `extra` more units (and the terminator) fit behind `length`.
bool fits(size_t length, size_t extra) { return length + extra < kRunPathCapacity; }

void refreshProgress(FILE_TREE_SETTING& settings)
{
    if (settings.progress) settings.progress->UpdateCounters(false);
}

// The pattern handed to the file system. With one plain pattern, no
// subfolders and no exclusion, the file system pre-selects by its own
// wildcard rules before the matcher checks each name; a pattern that could
// reach another folder is never handed over.
const wchar_t* searchPattern(const FILE_TREE_SETTING& settings)
{
    if (!settings.includeSubfolders && !settings.excludePatterns && settings.patterns[0] &&
        !std::wcspbrk(settings.patterns, L";\\/:")) {
        return settings.patterns;
    }
    return L"*.*";
}

// An item whose path would outgrow its working buffer. It is counted like
// any item in the counting pass and reported as failed in the executing
// pass, never dropped in silence.
void reportTooLong(FILE_TREE_SETTING& settings, const wchar_t* folder, const wchar_t* name, size_t nameLength,
                   uint64_t size)
{
    if (settings.isCountingPass()) {
        ++settings.totalFiles;
        settings.totalBytes += size;
    } else {
        ++settings.failedFiles;
        settings.doneBytes += size;
        if (settings.log) {
            // The row shows the whole path, however long; without memory
            // for it, the folder stands for the item.
            const size_t folderLength = std::wcslen(folder);
            std::unique_ptr<wchar_t[]> full(new (std::nothrow) wchar_t[folderLength + nameLength + 1]);
            if (full) {
                std::wmemcpy(full.get(), folder, folderLength);
                std::wmemcpy(full.get() + folderLength, name, nameLength);
                full[folderLength + nameLength] = L'\0';
            }
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            settings.log->WriteErrorRow(full ? full.get() : folder, kStatusFailed, ERROR_FILENAME_EXCED_RANGE,
                                        kColourNone);
        }
    }
    refreshProgress(settings);
}

void notifyFolderCreated(const wchar_t* folder)
{
    wchar_t shown[MAX_PATH];
    const wchar_t* notified = ordinaryPathForm(folder, shown, MAX_PATH) == 0 ? shown : folder;
    ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, notified, nullptr);
}

void appendUnits(wchar_t* path, size_t length, const wchar_t* text, size_t count)
{
    std::wmemcpy(path + length, text, count);
    path[length + count] = L'\0';
}

// A subfolder met by walkFolder: entered, recursed into, and for a move or
// delete counted or removed afterwards.
void walkSubfolder(FILE_TREE_SETTING& settings, const ListingRecord* record, size_t sourceEnd, size_t targetEnd,
                   size_t patternLength)
{
    wchar_t* const sources = settings.sources;
    wchar_t* const target = settings.target;
    const uint32_t kind = settings.kind();
    const bool appendTarget = kind != kOperationDelete;

    wchar_t name[kListingNameCapacity];
    const size_t nameLength = copyRecordName(record, name);
    if (!fits(sourceEnd, nameLength + 1 + patternLength) ||
        (appendTarget && !fits(targetEnd, nameLength + 1 + patternLength))) {
        reportTooLong(settings, sources, name, nameLength, 0);
        return;
    }

    settings.currentItem = record;
    appendUnits(sources, sourceEnd, name, nameLength);
    appendUnits(sources, sourceEnd + nameLength, L"\\", 1);
    if (appendTarget) {
        appendUnits(target, targetEnd, name, nameLength);
        // A long-form path is taken literally: the folder is named without
        // its trailing separator.
        if (settings.cloneTree && isCopyOrMove(kind) && ::CreateDirectoryW(target, nullptr)) {
            notifyFolderCreated(target);
        }
        appendUnits(target, targetEnd + nameLength, L"\\", 1);
    }

    walkFolder(settings, true);

    if (removesSources(kind)) {
        sources[sourceEnd + nameLength] = L'\0';
        if (kind == kOperationDelete && settings.progress) settings.progress->SetFolderText(sources);
        if (settings.isCountingPass()) {
            ++settings.countedFolders;
        } else if (!(kind == kOperationDelete && settings.testOnly)) {
            // A test run removes nothing, not even folders that were empty.
            removeEmptiedFolder(settings);
        }
    }
    sources[sourceEnd] = L'\0';
    target[targetEnd] = L'\0';
}

bool isDriveRootForm(const wchar_t* list)
{
    const wchar_t letter = static_cast<wchar_t>(list[0] | 0x20);
    if (letter < L'a' || letter > L'z' || list[1] != L':' || list[2] != L'\\' || list[3] != L';') return false;
    return list[4] == L'\0' || (list[4] == L';' && list[5] == L'\0');
}

// One element of the source list, appended to PARENT in `sources`. An empty
// name with `driveRoot` stands for PARENT, the root folder, itself.
void processElement(FILE_TREE_SETTING& settings, const wchar_t* name, size_t nameLength, bool driveRoot)
{
    wchar_t* const sources = settings.sources;
    wchar_t* const target = settings.target;
    const uint32_t kind = settings.kind();
    const size_t parentLength = std::wcslen(sources);
    const size_t targetLength = std::wcslen(target);
    const size_t patternLength = std::wcslen(searchPattern(settings));

    if (!fits(parentLength, nameLength + 1 + patternLength)) {
        reportTooLong(settings, sources, name, nameLength, 0);
        return;
    }
    appendUnits(sources, parentLength, name, nameLength);

    int pathType;
    if (driveRoot) {
        // "\\?\X:" names the volume, not its root folder: ask with the backslash.
        const DWORD attributes = ::GetFileAttributesW(sources);
        pathType = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ? kPathFolder
                                                                                                     : kPathMissing;
    } else {
        pathType = pathKind(sources);
    }

    settings.currentItem = nullptr;
    if (pathType == kPathFolder) {
        if (!driveRoot) {
            if (isCopyOrMove(kind) && !fits(targetLength, nameLength + 1 + patternLength)) {
                sources[parentLength] = L'\0';
                reportTooLong(settings, sources, name, nameLength, 0);
                return;
            }
            appendUnits(sources, parentLength + nameLength, L"\\", 1);
            if (isCopyOrMove(kind)) {
                appendUnits(target, targetLength, name, nameLength);
                appendUnits(target, targetLength + nameLength, L"\\", 1);
            }
        }
        if (settings.cloneTree && isCopyOrMove(kind)) ensureFolderPath(target, false, true);
        walkFolder(settings, true);
        // A drive's root folder cannot be removed; a test run removes nothing.
        if (removesSources(kind) && !settings.isCountingPass() && !driveRoot &&
            !(kind == kOperationDelete && settings.testOnly)) {
            sources[parentLength + nameLength] = L'\0';
            settings.currentItem = nullptr;
            removeEmptiedFolder(settings);
        }
    } else if (pathType == kPathFile) {
        walkFolder(settings, false);
    } else {
        if (settings.isCountingPass()) {
            ++settings.totalFiles;
        } else {
            ++settings.failedFiles;
            if (settings.log) settings.log->WriteItemRow(sources, kStatusNotExist, kColourRed);
        }
        refreshProgress(settings);
    }
}

} // namespace

int processSourceList(FILE_TREE_SETTING& settings)
{
    if (!settings.sources || !settings.target) return 1;
    std::unique_ptr<wchar_t[]> list(new (std::nothrow) wchar_t[kRunPathCapacity]);
    if (!list) return 1;
    boundedCopy(list.get(), settings.sources, kRunPathCapacity);

    // The target in its long form, ending with a backslash. A target too long
    // for its long form stays as it is; its files then fail one by one.
    wchar_t* const target = settings.target;
    toLongPath(target, kRunPathCapacity);
    size_t targetLength = std::wcslen(target);
    if (targetLength > 0 && target[targetLength - 1] != L'\\' && fits(targetLength, 1)) {
        appendUnits(target, targetLength++, L"\\", 1);
    }

    // Nothing selected: nothing to do (never the root of the current drive).
    if (list[0] == L'\0') return 1;

    wchar_t* const sources = settings.sources;
    const uint32_t kind = settings.kind();
    const wchar_t* firstSeparator = std::wcschr(list.get(), L';');
    if (!firstSeparator) {
        // One folder: its content, never the folder itself.
        const size_t length = std::wcslen(sources);
        if (sources[length - 1] != L'\\') {
            if (!fits(length, 1)) return 1;
            appendUnits(sources, length, L"\\", 1);
        }
        if (settings.cloneTree && isCopyOrMove(kind)) ensureFolderPath(target, false, true);
        walkFolder(settings, true);
    } else {
        const size_t parentLength = static_cast<size_t>(firstSeparator - list.get());
        appendUnits(sources, 0, list.get(), parentLength);
        if (parentLength > 0) {
            toLongPath(sources, kRunPathCapacity);
            const size_t length = std::wcslen(sources);
            if (sources[length - 1] != L'\\' && fits(length, 1)) appendUnits(sources, length, L"\\", 1);
        }
        const size_t sourceLength = std::wcslen(sources);
        settings.sameVolume = isSameVolume(sources, target) ? 1 : 0;

        const bool driveRoot = isDriveRootForm(list.get());
        bool rootDone = false;
        const wchar_t* element = firstSeparator + 1;
        while (!settings.cancel) {
            const wchar_t* end = std::wcschr(element, L';');
            const size_t elementLength = end ? static_cast<size_t>(end - element) : std::wcslen(element);
            if (elementLength > 0) {
                processElement(settings, element, elementLength < kElementCapacity ? elementLength : kElementCapacity,
                               false);
            } else if (driveRoot && !rootDone) {
                rootDone = true;
                processElement(settings, L"", 0, true);
            }
            sources[sourceLength] = L'\0';
            target[targetLength] = L'\0';
            if (!end) break;
            element = end + 1;
        }
    }

    settings.currentItem = nullptr;
    settings.existingTarget = nullptr;
    target[targetLength] = L'\0';
    boundedCopy(sources, list.get(), kRunPathCapacity);
    return 1;
}

int walkFolder(FILE_TREE_SETTING& settings, bool listContents)
{
    wchar_t* const sources = settings.sources;
    wchar_t* const target = settings.target;
    const size_t sourceEnd = std::wcslen(sources);
    const size_t targetEnd = std::wcslen(target);
    const ListingRecord* const savedItem = settings.currentItem;
    const uint32_t kind = settings.kind();
    const bool copyOrMove = isCopyOrMove(kind);
    const wchar_t* const pattern = searchPattern(settings);
    const size_t patternLength = std::wcslen(pattern);

    // Without listContents, `sources` is one file's path: its folder part is
    // where the file's name goes, and its name part is put back at the end.
    size_t folderEnd = sourceEnd;
    wchar_t savedName[kElementCapacity + 1] = {};
    if (!listContents) {
        const wchar_t* slash = std::wcsrchr(sources, L'\\');
        folderEnd = slash ? static_cast<size_t>(slash - sources) + 1 : 0;
        boundedCopy(savedName, sources + folderEnd, kElementCapacity + 1);
    }

    Listing sourceListing;
    if (listContents) {
        if (!fits(sourceEnd, patternLength)) return 1;
        appendUnits(sources, sourceEnd, pattern, patternLength);
    }
    const bool listed = listDirectory(sources, sourceListing, kExcludedAttributes);
    sources[sourceEnd] = L'\0';
    if (!listed) return 1;

    // A lone file's target folder is made when the file qualifies, even when
    // the tree is cloned: nothing else would make it.
    bool targetFolderPending = !listContents || !(settings.cloneTree && copyOrMove);

    Listing targetListing;
    if (copyOrMove) {
        const wchar_t* targetPattern = pattern;
        size_t targetPatternLength = patternLength;
        wchar_t fileName[kListingNameCapacity];
        if (!listContents) {
            const ListingRecord* only = sourceListing.first();
            targetPatternLength = only ? copyRecordName(only, fileName) : 0;
            targetPattern = fileName;
        }
        if (targetPatternLength > 0 && fits(targetEnd, targetPatternLength)) {
            appendUnits(target, targetEnd, targetPattern, targetPatternLength);
            if (!listDirectory(target, targetListing, kExcludedAttributes)) targetListing.reset();
            target[targetEnd] = L'\0';
        }
    }

    for (const ListingRecord* record = sourceListing.first(); record && !settings.cancel;
         record = sourceListing.next(record)) {
        if (record->kind == kListingFile) {
            sources[folderEnd] = L'\0';
            target[targetEnd] = L'\0';
            wchar_t name[kListingNameCapacity];
            copyRecordName(record, name);
            settings.existingTarget =
                targetListing.data() ? findInListing(name, targetListing.data(), targetListing.bytes()) : nullptr;
            settings.currentItem = record;
            if (processFile(settings, targetFolderPending) != 0) targetFolderPending = false;
        } else if (settings.includeSubfolders) {
            walkSubfolder(settings, record, folderEnd, targetEnd, patternLength);
        }
    }

    // The records die with the listings: no pointer into them survives.
    settings.existingTarget = nullptr;
    settings.currentItem = savedItem;
    if (!listContents) appendUnits(sources, folderEnd, savedName, std::wcslen(savedName));
    sources[sourceEnd] = L'\0';
    target[targetEnd] = L'\0';
    return 1;
}

int processFile(FILE_TREE_SETTING& settings, bool targetFolderPending)
{
    const ListingRecord* item = settings.currentItem;
    if (!item) return 0;
    const bool counting = settings.isCountingPass();
    if (counting) {
        ++settings.scannedFiles;
        refreshProgress(settings);
    }

    const FILETIME lastWrite = item->lastWrite;
    if (!passesTimeFilter(settings, lastWrite) || !passesSizeFilter(settings, item->size)) return 0;
    wchar_t name[kListingNameCapacity];
    const size_t nameLength = copyRecordName(item, name);
    if (!passesPatternFilter(settings, name)) return 0;

    wchar_t* const sources = settings.sources;
    wchar_t* const target = settings.target;
    const uint32_t kind = settings.kind();
    if (targetFolderPending && isCopyOrMove(kind)) {
        // A failure here shows when the file itself fails.
        if (!counting) ensureFolderPath(target, false, true);
        if (settings.progress) settings.progress->SetFolderText(target);
    }

    const size_t sourceEnd = std::wcslen(sources);
    const size_t targetEnd = std::wcslen(target);
    const bool appendTarget = kind != kOperationDelete;
    if (!fits(sourceEnd, nameLength) || (appendTarget && !fits(targetEnd, nameLength))) {
        reportTooLong(settings, sources, name, nameLength, item->size);
        return counting ? 1 : 0;
    }
    appendUnits(sources, sourceEnd, name, nameLength);
    if (appendTarget) appendUnits(target, targetEnd, name, nameLength);
    const int result = applyOperation(settings);
    sources[sourceEnd] = L'\0';
    target[targetEnd] = L'\0';
    return result;
}

} // namespace sorvane
