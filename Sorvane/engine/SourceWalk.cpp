#include "engine/SourceWalk.h"

#include "engine/Decision.h"
#include "engine/EngineSinks.h"
#include "engine/FileIdentity.h"
#include "engine/FileOperations.h"
#include "engine/FileTreeSetting.h"
#include "engine/Listing.h"
#include "engine/ListingIndex.h"
#include "engine/OverlapGuard.h"
#include "engine/PathForms.h"
#include "engine/PathUtil.h"
#include "engine/RecycleBatch.h"
#include "engine/SelectedItem.h"
#include "engine/Temporaries.h"
#include "engine/VolumeIdentity.h"
#include "engine/WrittenNames.h"

#include <shlobj.h>

#include <cwchar>
#include <memory>
#include <new>
#include <set>
#include <string>

namespace sorvane {

namespace {

constexpr size_t kElementCapacity = 259; // a NAME of the source list
// Every entry is listed, links and other reparse points among them: each
// is classified as a selected item is (listedKind), never dropped.
constexpr DWORD kExcludedAttributes = 0;

bool isCopyOrMove(uint32_t kind) { return kind == kOperationCopy || kind == kOperationMove; }
bool removesSources(uint32_t kind) { return kind == kOperationMove || kind == kOperationDelete; }

// True when `extra` more units (and the terminator) fit behind `length`.
bool fits(size_t length, size_t extra) { return length + extra < kRunPathCapacity; }

void refreshProgress(FILE_TREE_SETTING& settings)
{
    if (settings.progress) settings.progress->UpdateCounters(false);
}

// The identity of the folder whose path (ending with a backslash) takes the
// first `length` units of `path`; the buffer is cut for the call and put
// back.
bool folderIdentity(wchar_t* path, size_t length, FileIdentity& out)
{
    if (length == 0) {
        out = FileIdentity();
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    size_t end = length;
    if (path[end - 1] == L'\\' && !isDriveRoot(path, end)) --end;
    const wchar_t kept = path[end];
    path[end] = L'\0';
    const bool read = readIdentity(path, out);
    const DWORD error = ::GetLastError();
    path[end] = kept;
    ::SetLastError(error);
    return read;
}

// True when the folder of `sources` (first `sourceLength` units, `source`
// its identity when already read) is the folder of `target`: every file
// there would be its own target. Where identities cannot be had, the full
// paths decide, and in doubt the folders count as the same.
bool isTargetFolder(FILE_TREE_SETTING& settings, size_t sourceLength, const FileIdentity* source, size_t targetLength)
{
    FileIdentity sourceId;
    DWORD sourceError = 0;
    if (source && source->known) {
        sourceId = *source;
    } else if (!folderIdentity(settings.sources, sourceLength, sourceId)) {
        sourceError = ::GetLastError();
    }
    FileIdentity targetId;
    DWORD targetError = 0;
    if (!folderIdentity(settings.target, targetLength, targetId)) targetError = ::GetLastError();
    if (sourceId.known && targetId.known) return sameIdentity(sourceId, targetId);
    // A target folder that does not exist yet is no existing source folder.
    if (sourceId.known && isMissing(targetError)) return false;
    if (isMissing(sourceError)) return false;

    const wchar_t keptSource = settings.sources[sourceLength];
    const wchar_t keptTarget = settings.target[targetLength];
    settings.sources[sourceLength] = L'\0';
    settings.target[targetLength] = L'\0';
    const bool same = samePlace(settings.sources, settings.target);
    settings.sources[sourceLength] = keptSource;
    settings.target[targetLength] = keptTarget;
    return same;
}

// True when the subfolder in `sources` (first `length` units) is the run's
// own target folder; `identity` receives the subfolder's identity.
bool isRunTargetFolder(FILE_TREE_SETTING& settings, size_t length, FileIdentity& identity)
{
    if (settings.targetRootLength == 0) return false;
    if (!settings.targetRoot.known) {
        // Not there when the pass began; it may have been made since.
        folderIdentity(settings.target, settings.targetRootLength, settings.targetRoot);
    }
    if (folderIdentity(settings.sources, length, identity)) {
        if (settings.targetRoot.known) return sameIdentity(identity, settings.targetRoot);
        return false;
    }
    if (isMissing(::GetLastError())) return false;
    const wchar_t keptSource = settings.sources[length];
    const wchar_t keptTarget = settings.target[settings.targetRootLength];
    settings.sources[length] = L'\0';
    settings.target[settings.targetRootLength] = L'\0';
    const bool same = samePlace(settings.sources, settings.target);
    settings.sources[length] = keptSource;
    settings.target[settings.targetRootLength] = keptTarget;
    return same;
}

// A selected item refused as a whole: counted as one file in the counting
// pass, one failed file with a row that says why in the executing pass.
void refuseItem(FILE_TREE_SETTING& settings, const wchar_t* path, ItemStatus status, ItemReason reason)
{
    if (settings.isCountingPass()) {
        notePlanned(settings, path, nullptr, refusalDecision(status, reason), 0);
        ++settings.totalFiles;
    } else {
        ++settings.failedFiles;
        if (settings.log) settings.log->WriteOutcome(path, {status, reason, 0});
    }
    refreshProgress(settings);
}

// A selected link of a delete: the link itself goes, never what it leads
// to. Read-only protection and test runs hold as for files.
void deleteSelectedLink(FILE_TREE_SETTING& settings, const wchar_t* path)
{
    const DWORD attributes = ::GetFileAttributesW(path);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    // Read-only protection and test runs hold as for files; otherwise the
    // link itself is deleted, whatever the Recycle Bin setting.
    FileDecision decision = refusalDecision(kStatusSuccess, kReasonLinkRemoved);
    decision.action = FileAction::Delete;
    if (readOnly && settings.protectReadOnly) decision = refusalDecision(kStatusReadOnly, kReasonNone);
    else if (settings.testOnly) decision = refusalDecision(kStatusTestOnly, kReasonNone);
    if (settings.isCountingPass()) {
        notePlanned(settings, path, nullptr, decision, 0);
        ++settings.totalFiles;
        refreshProgress(settings);
        return;
    }
    bool removed = false;
    if (decision.action == FileAction::Skip) {
        if (settings.log) settings.log->WriteOutcome(path, {decision.status});
    } else {
        const DWORD error = removeLink(path);
        removed = error == 0;
        if (removed) {
            if (settings.log) settings.log->WriteOutcome(path, {kStatusSuccess, kReasonLinkRemoved, 0});
        } else if (settings.log) {
            settings.log->WriteOutcome(path, {kStatusFailed, kReasonNone, error});
        }
    }
    if (removed) ++settings.completedFiles;
    else ++settings.failedFiles;
    refreshProgress(settings);
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
    const bool counting = settings.isCountingPass();
    if (counting) {
        ++settings.totalFiles;
        settings.totalBytes += size;
    } else {
        ++settings.failedFiles;
        settings.doneBytes += size;
    }
    if (counting ? settings.plan != nullptr : settings.log != nullptr) {
        // The row shows the whole path, however long; without memory
        // for it, the folder stands for the item.
        const size_t folderLength = std::wcslen(folder);
        std::unique_ptr<wchar_t[]> full(new (std::nothrow) wchar_t[folderLength + nameLength + 1]);
        if (full) {
            std::wmemcpy(full.get(), folder, folderLength);
            std::wmemcpy(full.get() + folderLength, name, nameLength);
            full[folderLength + nameLength] = L'\0';
        }
        const wchar_t* item = full ? full.get() : folder;
        if (counting) {
            notePlanned(settings, item, nullptr, refusalDecision(kStatusFailed, kReasonNone, ERROR_FILENAME_EXCED_RANGE),
                        size);
        } else {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            settings.log->WriteOutcome(item, {kStatusFailed, kReasonNone, ERROR_FILENAME_EXCED_RANGE});
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

bool walkFolderWith(FILE_TREE_SETTING& settings, bool listContents, const FileIdentity* sourceFolder,
                    const TargetRefusal* inherited = nullptr);

// A link met inside a selected folder: never entered, read or written
// through. A delete removes the link itself; copy and move leave it where
// it is with a row that says so, counted as a failed file and among the
// links skipped. A file link is filtered as the file it stands for would
// be; a folder link is met only when subfolders are included.
void handleListedLink(FILE_TREE_SETTING& settings, const ListingRecord* record, size_t sourceEnd, size_t targetEnd)
{
    wchar_t* const sources = settings.sources;
    const uint32_t kind = settings.kind();
    wchar_t name[kListingNameCapacity];
    const size_t nameLength = copyRecordName(record, name);
    if (record->kind == kListingFile) {
        const FILETIME lastWrite = record->lastWrite;
        if (!passesTimeFilter(settings, lastWrite) || !passesSizeFilter(settings, record->size) ||
            !passesPatternFilter(settings, name)) {
            return;
        }
    }
    if (!fits(sourceEnd, nameLength)) {
        reportTooLong(settings, sources, name, nameLength, 0);
        return;
    }
    settings.target[targetEnd] = L'\0';
    appendUnits(sources, sourceEnd, name, nameLength);
    if (kind == kOperationDelete) {
        deleteSelectedLink(settings, sources);
    } else if (settings.isCountingPass()) {
        notePlanned(settings, sources, nullptr, refusalDecision(kStatusSkipped, kReasonLinkInside), 0);
        ++settings.totalFiles;
        refreshProgress(settings);
    } else {
        ++settings.failedFiles;
        ++settings.skippedLinks;
        if (settings.log) settings.log->WriteOutcome(sources, {kStatusSkipped, kReasonLinkInside, 0});
        refreshProgress(settings);
    }
    sources[sourceEnd] = L'\0';
}

// A folder whose entries could not be listed: nothing in it is processed,
// and that is said in one row, so that nothing is left out without a row.
// The counting pass counts it, so that a run of nothing else still reaches
// its executing pass and its row.
void reportUnlistedFolder(FILE_TREE_SETTING& settings, size_t folderEnd, DWORD error)
{
    wchar_t* const sources = settings.sources;
    size_t end = folderEnd;
    if (end > 0 && sources[end - 1] == L'\\' && !isDriveRoot(sources, end)) --end;
    const wchar_t kept = sources[end];
    sources[end] = L'\0';
    if (settings.isCountingPass()) {
        notePlanned(settings, sources, nullptr, refusalDecision(kStatusFolderFailed, kReasonNone, error), 0);
        sources[end] = kept;
        ++settings.countedFolders;
        return;
    }
    ++settings.failedFolders;
    if (settings.log) {
        ::SetLastError(error);
        settings.log->WriteOutcome(sources, {kStatusFolderFailed, kReasonNone, error});
    }
    sources[end] = kept;
    refreshProgress(settings);
}

// A subfolder met by walkFolder: entered, recursed into, and for a move or
// delete counted or removed afterwards.
void walkSubfolder(FILE_TREE_SETTING& settings, const ListingRecord* record, size_t sourceEnd, size_t targetEnd,
                   size_t patternLength, const ListingRecord* targetEntry, const TargetRefusal* inherited)
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

    // A copy or move never walks into its own target folder: that would
    // copy the copies again, ever deeper.
    FileIdentity identity;
    if (isCopyOrMove(kind) && isRunTargetFolder(settings, sourceEnd + nameLength + 1, identity)) {
        sources[sourceEnd + nameLength] = L'\0';
        if (settings.isCountingPass()) {
            notePlanned(settings, sources, nullptr, refusalDecision(kStatusSkipped, kReasonTargetFolderSkipped), 0);
        } else if (settings.log) {
            settings.log->WriteOutcome(sources, {kStatusSkipped, kReasonTargetFolderSkipped, 0});
        }
        sources[sourceEnd] = L'\0';
        return;
    }
    if (appendTarget) {
        appendUnits(target, targetEnd, name, nameLength);
        // A long-form path is taken literally: the folder is named without
        // its trailing separator.
        if (settings.cloneTree && isCopyOrMove(kind) && !settings.plan && !inherited &&
            ::CreateDirectoryW(target, nullptr)) {
            notifyFolderCreated(target);
        }
        appendUnits(target, targetEnd + nameLength, L"\\", 1);
    }

    // Nothing is written through a link in the target, nor below a file
    // of the folder's name: the folder's files are refused, each with its
    // row, and so are those of its subfolders (a refusal of the folders
    // above holds below them too).
    const TargetRefusal* refusal = inherited;
    const TargetRefusal throughLink = {kReasonTargetFolderIsLink, 0};
    const TargetRefusal belowFile = {kReasonFileInTheWay, 0};
    if (!refusal && appendTarget && targetEntry) {
        if (isLinkRecord(*targetEntry)) refusal = &throughLink;
        else if (targetEntry->kind == kListingFile) refusal = &belowFile;
    }
    const bool listed = walkFolderWith(settings, true, identity.known ? &identity : nullptr, refusal);

    if (listed && removesSources(kind)) {
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

    SelectedKind selected;
    if (driveRoot) {
        // "\\?\X:" names the volume, not its root folder: ask with the backslash.
        const DWORD attributes = ::GetFileAttributesW(sources);
        selected = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                       ? SelectedKind::Folder
                       : SelectedKind::Missing;
    } else if (!isItemName(name, nameLength)) {
        // "..\x", "a\b", "*": no item of this folder; nothing outside it is touched.
        refuseItem(settings, sources, kStatusFailed, kReasonNotAName);
        return;
    } else {
        selected = readSelectedItemKind(sources);
    }

    settings.currentItem = nullptr;
    if (selected == SelectedKind::FileLink || selected == SelectedKind::FolderLink) {
        // A junction or symbolic link is never entered: copy and move skip
        // it, delete removes the link itself.
        if (kind == kOperationDelete) deleteSelectedLink(settings, sources);
        else refuseItem(settings, sources, kStatusSkipped, kReasonLinkSkipped);
    } else if (selected == SelectedKind::Folder) {
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
        // The item's own target folder may be a link (T\X leading elsewhere)
        // or a file: nothing is written through or below it.
        const TargetRefusal throughLink = {kReasonTargetFolderIsLink, 0};
        const TargetRefusal belowFile = {kReasonFileInTheWay, 0};
        const TargetRefusal* refusal = nullptr;
        if (isCopyOrMove(kind) && !driveRoot) {
            target[targetLength + nameLength] = L'\0';
            const SelectedKind there = readSelectedItemKind(target);
            target[targetLength + nameLength] = L'\\';
            if (isLink(there)) refusal = &throughLink;
            else if (there == SelectedKind::File) refusal = &belowFile;
        }
        if (settings.cloneTree && isCopyOrMove(kind) && !refusal && !settings.plan) {
            ensureFolderPath(target, false, true);
        }
        const bool listed = walkFolderWith(settings, true, nullptr, refusal);
        // A drive's root folder cannot be removed; a test run removes nothing.
        if (listed && removesSources(kind) && !settings.isCountingPass() && !driveRoot &&
            !(kind == kOperationDelete && settings.testOnly)) {
            sources[parentLength + nameLength] = L'\0';
            settings.currentItem = nullptr;
            removeEmptiedFolder(settings);
        }
    } else if (selected == SelectedKind::File) {
        walkFolder(settings, false);
    } else {
        if (settings.isCountingPass()) {
            notePlanned(settings, sources, nullptr, refusalDecision(kStatusNotExist, kReasonNone), 0);
            ++settings.totalFiles;
        } else {
            ++settings.failedFiles;
            if (settings.log) settings.log->WriteOutcome(sources, {kStatusNotExist});
        }
        refreshProgress(settings);
    }
}

// Whether the sources and the target lie on one volume, judged once per
// run: the executing pass keeps what its counting pass found. Wine answers
// a volume's serial number with 0 at some moments and not at others, and
// two passes that disagreed would count a verified move's read-back in
// one and not in the other.
void judgeVolumes(FILE_TREE_SETTING& settings, const wchar_t* sources, const wchar_t* target)
{
    if (!settings.isCountingPass() && settings.volumesJudged) return;
    settings.sameVolume = onSameVolume(sources, target) ? 1 : 0;
    settings.movesByRename = settings.plan && movesByRename(sources, target) ? 1 : 0;
    // A plan is no counting pass of a run that follows.
    settings.volumesJudged = settings.isCountingPass() && !settings.plan;
}

// Makes the target's full form and checks the run against the selection.
// A refused run touches nothing; its executing pass says why in one row.
bool runRefused(FILE_TREE_SETTING& settings)
{
    OverlapDetail detail;
    const ItemReason refusal = prepareRunTarget(settings, true, &detail);
    if (refusal == 0) return false;
    if (settings.isCountingPass()) {
        const wchar_t* item = detail.item.empty() ? settings.target : detail.item.c_str();
        notePlanned(settings, item, detail.landing.empty() ? nullptr : detail.landing.c_str(),
                    refusalDecision(kStatusFailed, refusal), 0);
    } else {
        ++settings.failedFiles;
        if (settings.log) {
            if (detail.item.empty()) {
                settings.log->WriteOutcome(settings.target, {kStatusFailed, refusal, 0});
            } else {
                settings.log->WriteOutcome(detail.item.c_str(), {kStatusFailed, refusal, 0, detail.item.c_str(), detail.landing.c_str()});
            }
        }
        refreshProgress(settings);
    }
    return true;
}

} // namespace

namespace {

// The batch of a delete to the Recycle Bin, for the executing pass of one
// walk; whatever still waits in it is sent when the pass ends.
class RecycleBatchScope {
public:
    explicit RecycleBatchScope(FILE_TREE_SETTING& settings) : settings_(settings)
    {
        if (settings.kind() == kOperationDelete && settings.deleteToRecycleBin() && !settings.testOnly &&
            !settings.isCountingPass()) {
            settings.recycleBatch = &batch_;
        }
    }
    ~RecycleBatchScope()
    {
        // Sent by finish() on every ordinary end; what still waits here was
        // left by an error and is not sent.
        batch_.abandon();
        settings_.recycleBatch = nullptr;
    }
    RecycleBatchScope(const RecycleBatchScope&) = delete;
    RecycleBatchScope& operator=(const RecycleBatchScope&) = delete;
    void finish() { flushRecycleBatch(settings_); }

private:
    FILE_TREE_SETTING& settings_;
    RecycleBatch batch_;
};

// The names the executing pass of a copy or move writes, for that pass.
class WrittenNamesScope {
public:
    explicit WrittenNamesScope(FILE_TREE_SETTING& settings) : settings_(settings)
    {
        const uint32_t kind = settings.kind();
        // A plan records the names the run would write, in folders that
        // may not be there yet.
        if ((kind == kOperationCopy || kind == kOperationMove) && (!settings.isCountingPass() || settings.plan)) {
            names_.setKeyByPathWhenMissing(settings.plan != nullptr);
            settings.writtenNames = &names_;
        }
        settings.targetFolderNames = nullptr;
        settings.targetFolderLooked = false;
    }
    ~WrittenNamesScope()
    {
        settings_.writtenNames = nullptr;
        settings_.targetFolderNames = nullptr;
        settings_.targetFolderLooked = false;
    }
    WrittenNamesScope(const WrittenNamesScope&) = delete;
    WrittenNamesScope& operator=(const WrittenNamesScope&) = delete;

private:
    FILE_TREE_SETTING& settings_;
    WrittenNames names_;
};

} // namespace

int processSourceList(FILE_TREE_SETTING& settings)
{
    if (!settings.sources || !settings.target) return 1;
    RecycleBatchScope recycling(settings);
    WrittenNamesScope written(settings);
    settings.targetRootLength = 0;
    settings.targetRoot = FileIdentity();
    if (settings.sources[0] == L'\0') return 1; // nothing selected: nothing to do
    if (isCopyOrMove(settings.kind()) && runRefused(settings)) return 1;
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

    wchar_t* const sources = settings.sources;
    const uint32_t kind = settings.kind();
    if (isCopyOrMove(kind)) {
        settings.targetRootLength = static_cast<uint32_t>(targetLength);
        folderIdentity(target, targetLength, settings.targetRoot);
    }
    const wchar_t* firstSeparator = std::wcschr(list.get(), L';');
    if (!firstSeparator) {
        // One folder: its content, never the folder itself, and never what
        // a link leads to.
        size_t length = std::wcslen(sources);
        while (length > 1 && sources[length - 1] == L'\\' && !isDriveRoot(sources, length)) --length;
        sources[length] = L'\0';
        const SelectedKind selected = readSelectedItemKind(sources);
        if (selected == SelectedKind::FolderLink || selected == SelectedKind::FileLink) {
            refuseItem(settings, sources, kStatusSkipped, kReasonLinkSkipped);
        } else {
            if (sources[length - 1] != L'\\') {
                if (!fits(length, 1)) {
                    boundedCopy(sources, list.get(), kRunPathCapacity);
                    return 1;
                }
                appendUnits(sources, length, L"\\", 1);
            }
            if (settings.cloneTree && isCopyOrMove(kind) && !settings.plan) ensureFolderPath(target, false, true);
            judgeVolumes(settings, sources, target);
            walkFolder(settings, true);
        }
    } else {
        const size_t parentLength = static_cast<size_t>(firstSeparator - list.get());
        appendUnits(sources, 0, list.get(), parentLength);
        if (parentLength > 0) {
            // The folder as the check against the target saw it: full, with
            // "." and ".." resolved ("C:" is the drive's root, never its
            // current folder).
            if (parentLength == 2 && sources[1] == L':') appendUnits(sources, 2, L"\\", 1);
            if (!hasLongPrefix(sources)) {
                std::unique_ptr<wchar_t[]> full(new (std::nothrow) wchar_t[kRunPathCapacity]);
                const DWORD length = full ? ::GetFullPathNameW(sources, kRunPathCapacity, full.get(), nullptr) : 0;
                if (length > 0 && length < kRunPathCapacity) boundedCopy(sources, full.get(), kRunPathCapacity);
            }
            toLongPath(sources, kRunPathCapacity);
            const size_t length = std::wcslen(sources);
            if (sources[length - 1] != L'\\' && fits(length, 1)) appendUnits(sources, length, L"\\", 1);
        }
        const size_t sourceLength = std::wcslen(sources);
        judgeVolumes(settings, sources, target);
        const bool driveRoot = isDriveRootList(list.get());
        bool rootDone = false;
        // A name listed twice is one item, handled once.
        std::set<std::wstring> handled;
        const wchar_t* element = firstSeparator + 1;
        while (!settings.cancel) {
            const wchar_t* end = std::wcschr(element, L';');
            const size_t elementLength = end ? static_cast<size_t>(end - element) : std::wcslen(element);
            if (elementLength > 0 && !handled.insert(std::wstring(element, elementLength)).second) {
                // handled before
            } else if (elementLength > 0) {
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

    recycling.finish();
    // The next run judges its volumes anew.
    if (!settings.isCountingPass()) settings.volumesJudged = false;
    settings.currentItem = nullptr;
    settings.existingTarget = nullptr;
    target[targetLength] = L'\0';
    boundedCopy(sources, list.get(), kRunPathCapacity);
    return 1;
}

void planSourceList(FILE_TREE_SETTING& settings, IPlanSink& sink)
{
    // A counting pass that tells each decision to the plan; the settings
    // are a run's again however the walk ends.
    class PlanPass {
    public:
        PlanPass(FILE_TREE_SETTING& settings, IPlanSink& sink) : settings_(settings), kind_(settings.kind())
        {
            settings.plan = &sink;
            settings.operation = kind_ | kCountingPassFlag;
        }
        ~PlanPass()
        {
            settings_.operation = kind_;
            settings_.plan = nullptr;
        }
        PlanPass(const PlanPass&) = delete;
        PlanPass& operator=(const PlanPass&) = delete;

    private:
        FILE_TREE_SETTING& settings_;
        uint32_t kind_;
    } pass(settings, sink);
    processSourceList(settings);
}

int walkFolder(FILE_TREE_SETTING& settings, bool listContents)
{
    walkFolderWith(settings, listContents, nullptr);
    return 1;
}

namespace {

// The record of names written in the target folder in hand belongs to the
// folder being walked: a walk of a subfolder looks up its own, and the
// folder's is back when it returns.
class TargetFolderNamesScope {
public:
    explicit TargetFolderNamesScope(FILE_TREE_SETTING& settings)
        : settings_(settings), names_(settings.targetFolderNames), looked_(settings.targetFolderLooked)
    {
        settings.targetFolderNames = nullptr;
        settings.targetFolderLooked = false;
    }
    ~TargetFolderNamesScope()
    {
        settings_.targetFolderNames = names_;
        settings_.targetFolderLooked = looked_;
    }
    TargetFolderNamesScope(const TargetFolderNamesScope&) = delete;
    TargetFolderNamesScope& operator=(const TargetFolderNamesScope&) = delete;

private:
    FILE_TREE_SETTING& settings_;
    WrittenFolder* names_;
    bool looked_;
};

// walkFolder, with the identity of the source folder when the caller has
// already read it, and a refusal for every qualifying file when the
// caller knows the target may not be written (a link). False when the
// source folder could not be listed (its row is written).
bool walkFolderWith(FILE_TREE_SETTING& settings, bool listContents, const FileIdentity* sourceFolder,
                    const TargetRefusal* inherited)
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
        if (!fits(sourceEnd, patternLength)) return true;
        appendUnits(sources, sourceEnd, pattern, patternLength);
    }
    DWORD listError = 0;
    const bool listed = listDirectory(sources, sourceListing, kExcludedAttributes, &listError);
    sources[sourceEnd] = L'\0';
    if (!listed) {
        if (listContents) {
            reportUnlistedFolder(settings, sourceEnd, listError);
        } else if (settings.isCountingPass()) {
            notePlanned(settings, sources, nullptr, refusalDecision(kStatusFailed, kReasonNone, listError), 0);
            ++settings.totalFiles;
        } else {
            ++settings.failedFiles;
            if (settings.log) settings.log->WriteOutcome(sources, {kStatusFailed, kReasonNone, listError});
        }
        return false;
    }
    TargetFolderNamesScope namesScope(settings);

    // A lone file's target folder is made when the file qualifies, even when
    // the tree is cloned: nothing else would make it.
    bool targetFolderPending = !listContents || !(settings.cloneTree && copyOrMove);

    Listing targetListing;
    ListingIndex targetIndex; // looks the names of the source files up in targetListing
    TargetRefusal refusal = {kReasonNone, 0};
    if (copyOrMove) {
        const bool allNames = listContents && std::wcscmp(pattern, L"*.*") == 0;
        const wchar_t* targetPattern = pattern;
        size_t targetPatternLength = patternLength;
        wchar_t fileName[kListingNameCapacity];
        if (!listContents) {
            const ListingRecord* only = sourceListing.first();
            targetPatternLength = only ? copyRecordName(only, fileName) : 0;
            targetPattern = fileName;
        }
        bool targetListed = false;
        if (targetPatternLength > 0 && fits(targetEnd, targetPatternLength)) {
            appendUnits(target, targetEnd, targetPattern, targetPatternLength);
            DWORD error = 0;
            targetListed = listDirectory(target, targetListing, kExcludedAttributes, &error);
            target[targetEnd] = L'\0';
            if (targetListed) targetIndex.build(targetListing);
            // A target folder that cannot be read is not an empty one: what
            // it holds is unknown, so nothing is written into it.
            if (!targetListed) refusal = {kReasonTargetUnreadable, error};
        }
        if (isTargetFolder(settings, folderEnd, listContents ? sourceFolder : nullptr, targetEnd)) {
            refusal = {kReasonSameFile, 0};
        } else if (inherited) {
            refusal = *inherited;
        } else if (targetListed && !settings.isCountingPass()) {
            // Copies a process left here when it died go before new ones come.
            sweepTemporaries(target, kRunPathCapacity, allNames ? &targetListing : nullptr);
        }
    }

    // A lone selected file is that one file: where its folder holds another
    // whose name differs only by case (a case-sensitive folder), the
    // enumeration of its name finds both, and only the one of its exact
    // name is taken (the first found, when none is spelled exactly so).
    const ListingRecord* loneFile = nullptr;
    if (!listContents) {
        for (const ListingRecord* record = sourceListing.first(); record; record = sourceListing.next(record)) {
            wchar_t name[kListingNameCapacity];
            copyRecordName(record, name);
            if (std::wcscmp(name, savedName) == 0) {
                loneFile = record;
                break;
            }
        }
        if (!loneFile) loneFile = sourceListing.first();
    }

    // The Recycle Bin finds a file by its name without regard to case: where
    // a folder holds names that differ only by case, it could take the other
    // file, or both. Such files are kept, each with its row.
    std::set<std::wstring> caseTwins;
    if (settings.kind() == kOperationDelete && settings.deleteToRecycleBin() && !settings.testOnly) {
        std::set<std::wstring> seen;
        for (const ListingRecord* record = sourceListing.first(); record; record = sourceListing.next(record)) {
            if (record->kind != kListingFile) continue;
            wchar_t name[kListingNameCapacity];
            const size_t length = copyRecordName(record, name);
            foldNameCase(name, length);
            if (!seen.insert(name).second) caseTwins.insert(name);
        }
    }
    const TargetRefusal twinRefusal = {kReasonCaseTwinNotRecycled, 0};
    if (loneFile && settings.kind() == kOperationDelete && settings.deleteToRecycleBin() && !settings.testOnly &&
        fits(sourceEnd, 1)) {
        // A lone selected file: its own name finds only itself, its name
        // followed by a wildcard finds every name it shares without regard
        // to case.
        appendUnits(sources, sourceEnd, L"*", 1);
        Listing alike;
        const bool listedAlike = listDirectory(sources, alike, kExcludedAttributes);
        sources[sourceEnd] = L'\0';
        for (const ListingRecord* record = listedAlike ? alike.first() : nullptr; record; record = alike.next(record)) {
            wchar_t name[kListingNameCapacity];
            const size_t length = copyRecordName(record, name);
            if (length == std::wcslen(savedName) && std::wcscmp(name, savedName) != 0 &&
                ::CompareStringOrdinal(name, static_cast<int>(length), savedName, static_cast<int>(length), TRUE) ==
                    CSTR_EQUAL) {
                foldNameCase(name, length);
                caseTwins.insert(name);
            }
        }
    }

    for (const ListingRecord* record = sourceListing.first(); record && !settings.cancel;
         record = sourceListing.next(record)) {
        if (!listContents && record != loneFile) continue;
        if (isLinkRecord(*record)) {
            // A link of a lone selected file is handled as the selected item it is.
            if (listContents && (record->kind == kListingFile || settings.includeSubfolders)) {
                handleListedLink(settings, record, folderEnd, targetEnd);
            }
        } else if (record->kind == kListingFile) {
            sources[folderEnd] = L'\0';
            target[targetEnd] = L'\0';
            wchar_t name[kListingNameCapacity];
            copyRecordName(record, name);
            // Folders come first in a listing: a folder of the file's name is
            // what is found, and it is never taken for an older or newer file.
            settings.existingTarget = targetListing.data() ? targetIndex.find(name) : nullptr;
            settings.currentItem = record;
            const TargetRefusal* fileRefusal = refusal.reason ? &refusal : nullptr;
            if (!caseTwins.empty()) {
                wchar_t folded[kListingNameCapacity];
                const size_t length = copyRecordName(record, folded);
                foldNameCase(folded, length);
                if (caseTwins.count(folded)) fileRefusal = &twinRefusal;
            }
            if (processFile(settings, targetFolderPending, fileRefusal) != 0) {
                targetFolderPending = false;
            }
        } else if (settings.includeSubfolders) {
            const ListingRecord* targetEntry = nullptr;
            if (targetListing.data()) {
                wchar_t name[kListingNameCapacity];
                copyRecordName(record, name);
                targetEntry = targetIndex.find(name);
            }
            walkSubfolder(settings, record, folderEnd, targetEnd, patternLength, targetEntry, inherited);
        }
    }

    // The folder's files that wait for the Recycle Bin go before the folder
    // itself may be removed.
    flushRecycleBatch(settings);

    // The records die with the listings: no pointer into them survives.
    settings.existingTarget = nullptr;
    settings.currentItem = savedItem;
    if (!listContents) appendUnits(sources, folderEnd, savedName, std::wcslen(savedName));
    sources[sourceEnd] = L'\0';
    target[targetEnd] = L'\0';
    return true;
}

} // namespace

int processFile(FILE_TREE_SETTING& settings, bool targetFolderPending, const TargetRefusal* refusal)
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
    if (refusal) targetFolderPending = false; // nothing is written for it
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
    const int result = refusal ? refuseFile(settings, refusal->reason, refusal->error) : applyOperation(settings);
    sources[sourceEnd] = L'\0';
    target[targetEnd] = L'\0';
    return result;
}

} // namespace sorvane
