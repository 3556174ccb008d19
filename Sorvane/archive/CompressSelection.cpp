#include "archive/CompressSelection.h"

#include "common/Raii.h"
#include "engine/EngineSinks.h"
#include "engine/FileIdentity.h"
#include "engine/FileTreeSetting.h"
#include "engine/PatternMatch.h"
#include "engine/Listing.h"
#include "engine/FileTimes.h"
#include "engine/PathForms.h"
#include "engine/PathUtil.h"
#include "engine/SelectedItem.h"
#include "engine/SourceWalk.h"
#include "engine/Temporaries.h"
#include "archive/CompressTexts.h"

#include <cwchar>
#include <set>

namespace sorvane {

namespace compress {

namespace {

constexpr uint64_t kMinute = 60ull * 10000000ull; // in FILETIME units

} // namespace

bool inLocalTimeRange(const FILETIME& utc, const FILETIME& localFrom, const FILETIME& localTo)
{
    SYSTEMTIME utcTime = {};
    SYSTEMTIME localTime = {};
    FILETIME local = {};
    // The bias of the date itself (summer or winter time), not today's.
    if (!::FileTimeToSystemTime(&utc, &utcTime) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &localTime) ||
        !::SystemTimeToFileTime(&localTime, &local)) {
        return false;
    }
    const uint64_t from = fileTimeValue(localFrom) / kMinute * kMinute;
    const uint64_t toEnd = fileTimeValue(localTo) / kMinute * kMinute + kMinute;
    const uint64_t t = fileTimeValue(local);
    return t >= from && t < toEnd;
}

} // namespace compress

namespace {

bool equalNoCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength)
{
    return ::CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) == CSTR_EQUAL;
}

bool startsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && equalNoCase(text.c_str(), prefix.size(), prefix.c_str(), prefix.size());
}

FileIdentity identityOf(const std::wstring& path)
{
    FileIdentity id;
    readIdentity(path.c_str(), id);
    return id;
}

// Takes the files the walk hands over, and reads its log: a selected item
// that does not exist is counted, anything else the walk could not handle
// stops the selection.
class Collector final : public IFileCollector, public ILogSink {
public:
    Collector(const FILE_TREE_SETTING& settings, FILE_TREE_SETTING& walk, const std::wstring& archive,
              CompressSelection& out)
        : settings_(settings), walk_(walk), archive_(archive), archiveId_(identityOf(archive)), out_(out)
    {
        archiveName_ = fileNamePart(archive_.c_str());
    }

    bool CollectFile(const wchar_t* path, const ListingRecord& item) override
    {
        if (settings_.timeMode == 1 &&
            !compress::inLocalTimeRange(item.lastWrite, settings_.timeFrom, settings_.timeTo)) {
            return false;
        }
        const std::wstring full = ordinaryFormOf(path);
        if (isArchive(full)) return false;
        // A temporary of ours or of the archiver library (a run that is
        // still going, in this folder) is no file of the user's.
        if (isTemporaryName(fileNamePart(full.c_str()))) return false;
        if (!startsWithNoCase(full, out_.base) || full.size() == out_.base.size()) {
            stop(kIdsItemNotRead, full, ERROR_BAD_PATHNAME);
            return false;
        }
        std::wstring relative = full.substr(out_.base.size());
        // A name given twice is archived once; names that differ only by
        // case are two files (a case-sensitive folder) and both go in.
        if (!seen_.insert(relative).second) return false;
        out_.names.push_back(std::move(relative));
        return true;
    }

    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override
    {
        // A selected junction or symbolic link is skipped as a copy skips
        // it: what lies behind it is not part of the selection's tree.
        if (outcome.status == kStatusSkipped && outcome.reason == kReasonLinkSkipped) {
            ++out_.skippedLinks;
            return;
        }
        // A link inside a selected folder: the folder's tree is not what
        // an archive would hold, so none is made; the message says where.
        if (outcome.reason == kReasonLinkInside) {
            stop(kIdsLinkInside, ordinaryFormOf(path), 0);
            return;
        }
        if (outcome.status == kStatusNotExist) {
            ++out_.missing;
            return;
        }
        // A folder that could not be listed would leave its files out of
        // the archive without a word: the archive is not made.
        stop(outcome.status == kStatusFolderFailed ? kIdsFolderNotListed : kIdsItemNotRead, ordinaryFormOf(path),
             outcome.error);
    }

private:
    bool isArchive(const std::wstring& full) const
    {
        if (equalNoCase(full.c_str(), full.size(), archive_.c_str(), archive_.size())) return true;
        // The same file reached through another path (a short folder name,
        // another drive letter for the same folder) bears the archive's
        // name: such a file is compared by identity.
        if (!archiveId_.known) return false;
        const wchar_t* name = fileNamePart(full.c_str());
        const size_t nameLength = std::wcslen(name);
        if (!equalNoCase(name, nameLength, archiveName_.c_str(), archiveName_.size())) return false;
        return sameIdentity(identityOf(full), archiveId_);
    }

    void stop(UINT problem, const std::wstring& path, DWORD error)
    {
        if (out_.problem == 0) {
            out_.problem = problem;
            out_.problemPath = path;
            out_.problemError = error;
        }
        walk_.cancel = 1;
    }

    const FILE_TREE_SETTING& settings_;
    FILE_TREE_SETTING& walk_;
    std::wstring archive_;
    std::wstring archiveName_;
    FileIdentity archiveId_;
    CompressSelection& out_;
    std::set<std::wstring> seen_;
};

} // namespace

void selectFilesToCompress(const FILE_TREE_SETTING& settings, const std::wstring& archive, CompressSelection& out)
{
    out = CompressSelection();
    const std::wstring list = settings.sources ? settings.sources : L"";
    const size_t separator = list.find(L';');
    const std::wstring parent = list.substr(0, separator);
    if (parent.find_first_not_of(L' ') == std::wstring::npos) {
        // No folder: names alone would be taken from wherever the program
        // happens to run.
        out.problem = kIdsNothingSelected;
        return;
    }
    std::wstring base = ordinaryFormOf(fullPathOf(parent));
    if (base.empty()) {
        out.problem = kIdsItemNotRead;
        out.problemPath = parent;
        out.problemError = ::GetLastError();
        return;
    }
    if (base.back() != L'\\') base += L'\\';
    out.base = base;

    std::wstring walkList;
    if (separator == std::wstring::npos) {
        // One folder: its content.
        out.selectedItems = 1;
        if (pathKind(base.c_str()) != kPathFolder) {
            out.missing = 1;
            return;
        }
        walkList = base;
    } else {
        std::set<std::wstring> named; // a name listed twice is one item, as the walk takes it
        for (const std::wstring& name : splitSourceList(list).names) {
            if (!isItemName(name.c_str(), name.size())) {
                out.problem = kIdsNotAName;
                out.problemPath = base + name;
                return;
            }
            if (named.insert(name).second) ++out.selectedItems;
        }
        // The parent in its full form; the drive-root forms stay as they are.
        walkList = base + list.substr(separator);
        if (out.selectedItems == 0) {
            // Only "X:\;" and "X:\;;" select a folder (the root) without a name.
            if (!isDriveRootList(walkList.c_str())) {
                out.problem = kIdsNothingSelected;
                return;
            }
            out.selectedItems = 1;
        }
    }
    if (walkList.size() >= kRunPathCapacity) {
        out.problem = kIdsItemNotRead;
        out.problemPath = base;
        out.problemError = ERROR_FILENAME_EXCED_RANGE;
        return;
    }

    // The walk of an executing pass, with nothing to copy to: every
    // qualifying file goes to the collector. Its time test is the
    // collector's (local time); sizes do not count.
    FILE_TREE_SETTING walk(settings);
    walk.operation = kOperationCompress;
    walk.setSources(walkList.c_str());
    walk.setTarget(L"");
    upperCasePatternList(walk.patterns);
    walk.timeMode = 0;
    walk.setSizeFilter(SizeFilter());
    walk.cloneTree = 0;
    walk.progress = nullptr;
    walk.cancel = 0;
    Collector collector(settings, walk, archive, out);
    walk.log = &collector;
    walk.collector = &collector;
    processSourceList(walk);
    if (out.problem != 0) out.names.clear();
}

} // namespace sorvane
