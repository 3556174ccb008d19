#include "console/ConsoleRun.h"

#include "console/ConsoleOutput.h"
#include "console/ResultCodes.h"
#include "console/ResultFiles.h"
#include "archive/ArchiverCommand.h"
#include "archive/CompressFiles.h"
#include "base/AppState.h"
#include "base/DataFolder.h"
#include "base/Strings.h"
#include "engine/Decision.h"
#include "engine/EngineSinks.h"
#include "engine/FileTimes.h"
#include "engine/FileTreeSetting.h"
#include "engine/Listing.h"
#include "engine/OverlapGuard.h"
#include "engine/PathForms.h"
#include "engine/PathUtil.h"
#include "engine/SelectedItem.h"
#include "res/SorvaneRes.h"
#include "run/ChecksumLog.h"
#include "run/ConsoleCommand.h"
#include "run/LogHtml.h"
#include "run/OutcomeTexts.h"
#include "run/ProgressText.h"
#include "run/RunSequence.h"

#include <objbase.h>

#include <atomic>
#include <cwchar>
#include <memory>

namespace sorvane {

namespace {

constexpr ULONGLONG kRowInterval = 200;   // milliseconds between two progress rows
constexpr DWORD kCloseWait = 4500;         // the console closing: time for the file in hand
constexpr LONGLONG kJobFileLimit = 1 << 20; // a job file is a few lines

// The run in hand, for the console's control handler, which runs on a
// thread of its own and only sets flags.
std::atomic<FILE_TREE_SETTING*> g_running{nullptr};
std::atomic<bool> g_cancelAsked{false};
HANDLE g_runEnded = nullptr; // set once the run has ended (the closing of the console waits for it)

BOOL WINAPI onConsoleControl(DWORD event) noexcept
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        g_cancelAsked = true;
        if (FILE_TREE_SETTING* job = g_running.load()) job->cancel = 1;
        // The process ends when this returns from a closing: give the file
        // in hand the time to finish or roll back.
        if (event == CTRL_CLOSE_EVENT && g_runEnded) ::WaitForSingleObject(g_runEnded, kCloseWait);
        return TRUE;
    default: return FALSE;
    }
}

// Marks the run as the one a cancel reaches while it lives.
class RunningJob {
public:
    explicit RunningJob(FILE_TREE_SETTING& job)
    {
        g_running = &job;
        if (g_cancelAsked) job.cancel = 1; // asked before the run began
    }
    ~RunningJob()
    {
        g_running = nullptr;
        if (g_runEnded) ::SetEvent(g_runEnded);
    }
    RunningJob(const RunningJob&) = delete;
    RunningJob& operator=(const RunningJob&) = delete;
};

// A single-threaded COM apartment for the life of the object, when asked.
class ComApartment {
public:
    explicit ComApartment(bool enter) : entered_(enter && SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment()
    {
        if (entered_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool entered_;
};

std::wstring text(const CommandProblem& problem)
{
    return formatString(problem.id, problem.first.c_str(), problem.second.c_str());
}

std::wstring sizeText(uint64_t bytes)
{
    std::wstring out;
    FormatSize(static_cast<int64_t>(bytes), out);
    return out;
}

const char* actionOf(const FILE_TREE_SETTING& settings)
{
    switch (settings.kind()) {
    case kOperationCopy: return "copy";
    case kOperationMove: return "move";
    case kOperationCompress: return "compress";
    default: return settings.deleteToRecycleBin() ? "recycle" : "delete";
    }
}

const char* endWord(RunEnd end)
{
    switch (end) {
    case RunEnd::Completed: return "completed";
    case RunEnd::Refused: return "refused";
    case RunEnd::NoRoom: return "no_room";
    case RunEnd::Cancelled: return "cancelled";
    case RunEnd::Stopped: return "stopped";
    }
    return "stopped";
}

// The reason of a row as the report words it, and the system's message
// for the error behind it.
std::wstring reasonTextOf(const Outcome& outcome)
{
    std::wstring words;
    if (outcome.reason != kReasonNone) words = formatString(reasonTextId(outcome.reason), outcome.first, outcome.second);
    const bool failed = outcome.status == kStatusFailed || outcome.status == kStatusFolderFailed;
    if (outcome.error != 0 || (failed && outcome.reason == kReasonNone)) {
        if (!words.empty()) words += L' ';
        words += systemMessage(outcome.error);
    }
    return words;
}

// The size and time of the listing, when the record in hand is the file
// in `job.sources`.
void addListingFacts(const FILE_TREE_SETTING& job, ResultRow& row)
{
    const ListingRecord* item = job.currentItem;
    if (!item || item->kind != kListingFile || !job.sources) return;
    wchar_t name[kListingNameCapacity];
    const size_t length = copyRecordName(item, name);
    const wchar_t* last = fileNamePart(job.sources);
    if (std::wcslen(last) != length || std::wmemcmp(last, name, length) != 0) return;
    row.hasFacts = true;
    row.size = item->size;
    row.lastWrite = item->lastWrite;
}

// The results files of a run and the rows' tally; also the engine's log,
// handing each row on to the report.
class ResultSink final : public ILogSink {
public:
    ResultSink(FILE_TREE_SETTING& job, ResultFile* json, ResultFile* csv)
        : job_(job), json_(json), csv_(csv), action_(actionOf(job))
    {
    }

    void setReport(CLogHtml* report) noexcept { report_ = report; }

    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override
    {
        if (report_) report_->WriteOutcome(path, outcome);
        tally_.add(outcome);
        if (!json_ && !csv_) return;
        ResultRow row;
        describe(path, outcome, row);
        write(row);
    }

    void write(const ResultRow& row)
    {
        try {
            if (json_ && !json_->write(results::jsonLine(row))) failed_ = true;
            if (csv_ && !csv_->write(results::csvLine(row))) failed_ = true;
        } catch (...) {
            // A row that cannot be written fails the results, not the run.
            failed_ = true;
        }
    }

    void close(const ResultTotals& totals)
    {
        try {
            if (json_ && !json_->write(results::jsonClosing(totals))) failed_ = true;
        } catch (...) {
            failed_ = true;
        }
    }

    const RowTally& tally() const noexcept { return tally_; }
    bool failed() const noexcept { return failed_; }
    const char* action() const noexcept { return action_; }

private:
    // The row of `path`: the file in hand with its target and listing,
    // or an item on its own (a folder, a missing item, a file of a batch).
    void describe(const wchar_t* path, const Outcome& outcome, ResultRow& row) const
    {
        row.action = action_;
        row.outcome = outcome;
        row.reasonText = reasonTextOf(outcome);
        const uint32_t kind = job_.kind();
        const bool inHand = path && job_.sources && (path == job_.sources || (job_.target && path == job_.target));
        if (!inHand) {
            row.source = ordinaryFormOf(path ? path : L"");
            return;
        }
        row.source = ordinaryFormOf(job_.sources);
        if (kind == kOperationCopy || kind == kOperationMove) row.target = ordinaryFormOf(job_.target);
        addListingFacts(job_, row);
    }

    FILE_TREE_SETTING& job_;
    ResultFile* json_;
    ResultFile* csv_;
    const char* action_;
    CLogHtml* report_ = nullptr;
    RowTally tally_;
    bool failed_ = false;
};

// A plan's rows, written to the results files as a run's rows are (status
// "planned", the planned action), and a count and the bytes per action.
class PlanRows final : public IPlanSink {
public:
    PlanRows(const FILE_TREE_SETTING& job, ResultSink& sink) : job_(job), sink_(sink) {}

    void Planned(const wchar_t* source, const wchar_t* target, const FileDecision& decision, uint64_t size) override
    {
        const size_t index = static_cast<size_t>(decision.action);
        ++counts_[index];
        bytes_[index] += size;
        // As for a run: a failure, or a skip for another reason than a
        // policy (a link, read-only protection), is a problem.
        if (decision.action == FileAction::Fail ||
            (decision.action == FileAction::Skip && decision.status != kStatusTestOnly)) {
            problems_ = true;
        }
        ResultRow row;
        row.statusWord = "planned";
        row.action = actionName(decision.action);
        row.source = ordinaryFormOf(source ? source : L"");
        if (target) row.target = ordinaryFormOf(target);
        row.outcome.status = decision.status;
        row.outcome.reason = decision.reason;
        row.outcome.error = decision.error;
        row.reasonText = reasonTextOf(row.outcome);
        if (source == job_.sources) addListingFacts(job_, row);
        if (!row.hasFacts && size != 0) {
            row.hasFacts = true;
            row.size = size;
        }
        sink_.write(row);
    }

    uint32_t count(FileAction action) const noexcept { return counts_[static_cast<size_t>(action)]; }
    uint64_t bytes(FileAction action) const noexcept { return bytes_[static_cast<size_t>(action)]; }
    bool problems() const noexcept { return problems_; }

private:
    const FILE_TREE_SETTING& job_;
    ResultSink& sink_;
    uint32_t counts_[static_cast<size_t>(FileAction::Count)] = {};
    uint64_t bytes_[static_cast<size_t>(FileAction::Count)] = {};
    bool problems_ = false;
};

// The progress on the console: one row in place, redrawn at most five
// times a second; nothing when redirected.
class ConsoleProgress final : public IProgressSink {
public:
    ConsoleProgress(FILE_TREE_SETTING& job, ConsoleOutput& out) : job_(job), out_(out) {}

    void SetFolderText(const wchar_t* text) override { folder_ = text ? text : L""; }
    void SetFileText(const wchar_t* text) override { file_ = text ? text : L""; }

    void UpdateCounters(bool) noexcept override
    {
        // Called from the system's copy routine too: nothing may leave.
        try {
            noteCancel();
            const ULONGLONG now = ::GetTickCount64();
            if (now - lastRow_ < kRowInterval) return;
            lastRow_ = now;
            draw();
        } catch (...) {
        }
    }

    void setExecuting(bool executing) noexcept
    {
        executing_ = executing;
        lastRow_ = 0;
    }

    void draw()
    {
        if (!out_.onConsole() || out_.quiet()) return;
        if (!executing_) {
            out_.showRow(formatNumber(IDS_SCANNING, job_.scannedFiles));
            return;
        }
        const uint64_t done = job_.doneBytes;
        const uint64_t total = job_.totalBytes;
        FILETIME now = {};
        ::GetSystemTimeAsFileTime(&now);
        const int64_t elapsed = static_cast<int64_t>(fileTimeValue(now) - fileTimeValue(job_.startTime));
        const int64_t milliseconds = elapsed / 10000;
        const uint64_t rate = milliseconds > 0 ? done * 1000 / static_cast<uint64_t>(milliseconds) : 0;
        int64_t left = done != 0 ? remainingSeconds(elapsed, done, total) : 0;
        if (left < 0) left = 0;
        const std::wstring counters = formatStrings(
            IDS_CMD_PROGRESS_ROW, {std::to_wstring(job_.completedFiles + job_.failedFiles), std::to_wstring(job_.totalFiles),
                                   sizeText(done), sizeText(total), sizeText(rate), FormatRemaining(left)});
        // The file in hand takes what the counters leave of the row.
        std::wstring name = ordinaryFormOf(folder_);
        if (!name.empty() && name.back() != L'\\' && !file_.empty()) name += L'\\';
        name += file_;
        const int room = out_.rowColumns() - console::columns(counters);
        out_.showRow(counters + console::cutFromStart(name, room > 0 ? room : 0));
    }

private:
    void noteCancel()
    {
        if (cancelNoted_ || !job_.cancel || !g_cancelAsked) return;
        cancelNoted_ = true;
        out_.say(loadString(IDS_CMD_CANCEL_REQUESTED));
    }

    FILE_TREE_SETTING& job_;
    ConsoleOutput& out_;
    std::wstring folder_;
    std::wstring file_;
    ULONGLONG lastRow_ = 0;
    bool executing_ = false;
    bool cancelNoted_ = false;
};

// The console's side of the run sequence.
class ConsoleHost final : public IRunHost {
public:
    ConsoleHost(FILE_TREE_SETTING& job, ConsoleOutput& out, ConsoleProgress& progress, ResultSink& sink,
                ChecksumLog& sums)
        : job_(job), out_(out), progress_(progress), sink_(sink), sums_(sums)
    {
    }

    void OnPhase(RunPhase phase) override
    {
        switch (phase) {
        case RunPhase::Counting:
            out_.say(loadString(IDS_CMD_PHASE_COUNTING));
            progress_.setExecuting(false);
            break;
        case RunPhase::Executing:
            ::GetSystemTimeAsFileTime(&job_.startTime);
            out_.say(formatStrings(IDS_CMD_PHASE_RUNNING, {std::to_wstring(job_.totalFiles), sizeText(job_.totalBytes)}));
            progress_.setExecuting(true);
            progress_.draw();
            break;
        case RunPhase::Finished:
            progress_.draw(); // the row as the run left it
            out_.endRow();
            break;
        }
    }

    void OnRefusal(const std::wstring& message) override { out_.error(message); }

    bool OnShortage(int64_t shortfall) override
    {
        // No one to ask: a script's run does not start without room.
        out_.error(formatString(IDS_CMD_NO_ROOM, sizeText(static_cast<uint64_t>(shortfall)).c_str()));
        return false;
    }

    ILogSink* EngineLog(CLogHtml* report) override
    {
        sink_.setReport(report);
        return sums_.wrap(&sink_, report);
    }

private:
    FILE_TREE_SETTING& job_;
    ConsoleOutput& out_;
    ConsoleProgress& progress_;
    ResultSink& sink_;
    ChecksumLog& sums_;
};

// ---------------------------------------------------------------------------
// Checks before anything is touched. Each returns an empty text, or the
// line that says why the run is refused.

std::wstring readJobFile(const std::wstring& path, CommandKeys& keys)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return formatString(IDS_CMD_JOB_UNREADABLE, path.c_str(), systemMessage(::GetLastError()).c_str());
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) {
        return formatString(IDS_CMD_JOB_UNREADABLE, path.c_str(), systemMessage(::GetLastError()).c_str());
    }
    if (size.QuadPart > kJobFileLimit) {
        return formatString(IDS_CMD_JOB_UNREADABLE, path.c_str(), systemMessage(ERROR_FILE_TOO_LARGE).c_str());
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size())) {
        return formatString(IDS_CMD_JOB_UNREADABLE, path.c_str(), systemMessage(::GetLastError()).c_str());
    }
    if (const CommandProblem problem = keys.readJobText(bytes, path)) return text(problem);
    return {};
}

// The source list with its folder in its full form (relative to the
// current folder), every named item there.
std::wstring checkSources(FILE_TREE_SETTING& settings)
{
    const std::wstring list = settings.sources;
    const size_t separator = list.find(L';');
    const std::wstring folder = list.substr(0, separator);
    if (folder.find_first_not_of(L' ') == std::wstring::npos) return formatString(IDS_CMD_SOURCE_NO_FOLDER, list.c_str());
    std::wstring full = fullPathOf(folder);
    if (full.empty()) return formatString(IDS_CMD_SOURCE_MISSING, folder.c_str());
    if (pathKind(full.c_str()) != kPathFolder) {
        return formatString(pathKind(full.c_str()) == kPathMissing ? IDS_CMD_SOURCE_MISSING : IDS_CMD_SOURCE_NO_FOLDER,
                            folder.c_str());
    }
    if (separator == std::wstring::npos) {
        if (full.size() >= kRunPathCapacity) return formatString(IDS_CMD_TOO_LONG, L"source");
        settings.setSources(full.c_str());
        return {};
    }
    if (full.back() != L'\\') full += L'\\';
    const std::wstring rebuilt = full + list.substr(separator);
    if (rebuilt.size() >= kRunPathCapacity) return formatString(IDS_CMD_TOO_LONG, L"source");
    size_t named = 0;
    for (const std::wstring& name : splitSourceList(list).names) {
        if (!isItemName(name.c_str(), name.size())) return formatString(IDS_CMD_SOURCE_NOT_A_NAME, name.c_str());
        if (readSelectedItemKind((full + name).c_str()) == SelectedKind::Missing) {
            return formatString(IDS_CMD_SOURCE_MISSING, (full + name).c_str());
        }
        ++named;
    }
    // Only a drive's root may stand without a name ("C:\;").
    if (named == 0 && !isDriveRootList(rebuilt.c_str())) return formatString(IDS_CMD_SOURCE_NO_FOLDER, list.c_str());
    settings.setSources(rebuilt.c_str());
    return {};
}

// The target in its full form (relative to the current folder), checked
// against the selection as the run will check it.
std::wstring checkTarget(FILE_TREE_SETTING& settings)
{
    const uint32_t kind = settings.kind();
    if (kind == kOperationDelete) return {};
    const std::wstring given = settings.target;
    const std::wstring full = fullPathOf(given);
    if (full.empty()) return formatString(reasonTextId(kRefusalTargetInvalid), given.c_str(), L"");
    if (full.size() + 1 >= kRunPathCapacity) return formatString(IDS_CMD_TOO_LONG, L"target");
    if (kind == kOperationCompress) {
        const std::wstring archive = ordinaryFormOf(fullPathOf(compress::archiveName(full.c_str())));
        const DWORD attributes = ::GetFileAttributesW(archive.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return formatString(IDS_COMPRESS_ARCHIVE_IS_FOLDER, archive.c_str());
        }
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            return formatString(IDS_COMPRESS_ARCHIVE_READ_ONLY, archive.c_str());
        }
        settings.setTarget(full.c_str());
        return {};
    }
    settings.setTarget(full.c_str());
    OverlapDetail detail;
    const ItemReason refusal = prepareRunTarget(settings, true, &detail);
    if (refusal != kReasonNone) return formatString(reasonTextId(refusal), detail.item.c_str(), detail.landing.c_str());
    return {};
}

std::wstring openOutputs(const ConsoleOptions& options, ResultFile& json, ResultFile& csv)
{
    const std::wstring jsonPath = options.logPath.empty() ? std::wstring() : fullPathOf(options.logPath);
    const std::wstring csvPath = options.csvPath.empty() ? std::wstring() : fullPathOf(options.csvPath);
    if (!jsonPath.empty() && !csvPath.empty() &&
        ::CompareStringOrdinal(jsonPath.c_str(), -1, csvPath.c_str(), -1, TRUE) == CSTR_EQUAL) {
        return formatString(IDS_CMD_SAME_OUTPUT, options.logPath.c_str());
    }
    if (!options.logPath.empty()) {
        if (const DWORD error = json.open(jsonPath.empty() ? options.logPath : jsonPath)) {
            return formatString(IDS_CMD_OUTPUT_UNWRITABLE, options.logPath.c_str(), systemMessage(error).c_str());
        }
    }
    if (!options.csvPath.empty()) {
        if (const DWORD error = csv.open(csvPath.empty() ? options.csvPath : csvPath)) {
            return formatString(IDS_CMD_OUTPUT_UNWRITABLE, options.csvPath.c_str(), systemMessage(error).c_str());
        }
        if (!csv.write(results::csvHeader())) {
            return formatString(IDS_CMD_OUTPUT_UNWRITABLE, options.csvPath.c_str(), systemMessage(::GetLastError()).c_str());
        }
    }
    return {};
}

void sayTotal(ConsoleOutput& out, UINT label, uint32_t value)
{
    out.say(loadString(label) + L": " + std::to_wstring(value));
}

ResultTotals totalsOf(const FILE_TREE_SETTING& job)
{
    ResultTotals totals;
    totals.files = job.totalFiles;
    totals.completed = job.completedFiles;
    totals.verified = job.verifiedFiles;
    totals.failed = job.failedFiles;
    totals.failedFolders = job.failedFolders;
    totals.linksSkipped = job.skippedLinks;
    totals.bytes = job.totalBytes;
    totals.doneBytes = job.doneBytes;
    return totals;
}

// The checksum file of "/sums:": where it may lie, checked before anything
// is touched, and that it is none of the results files.
std::wstring checkSumsPath(const FILE_TREE_SETTING& job, const ConsoleOptions& options, std::wstring& full)
{
    full = fullPathOf(options.sumsPath);
    if (full.empty() || !checksumFileFitsTarget(full.c_str(), job.target)) {
        return formatString(IDS_CMD_SUMS_OUTSIDE_TARGET, options.sumsPath.c_str(), job.target);
    }
    for (const std::wstring* other : {&options.logPath, &options.csvPath}) {
        if (other->empty()) continue;
        const std::wstring path = fullPathOf(*other);
        if (::CompareStringOrdinal(path.c_str(), -1, full.c_str(), -1, TRUE) == CSTR_EQUAL) {
            return formatString(IDS_CMD_SUMS_SAME_OUTPUT, options.sumsPath.c_str());
        }
    }
    // Lying in the target or above it, the file can be a source only as an
    // item named in the list (a selected folder holding it would hold the
    // target too, which is refused).
    const SourceListParts parts = splitSourceList(job.sources);
    for (const std::wstring& name : parts.names) {
        const std::wstring item = fullPathOf(parts.folder + name);
        if (::CompareStringOrdinal(item.c_str(), -1, full.c_str(), -1, TRUE) == CSTR_EQUAL) {
            return formatString(IDS_CMD_SUMS_IS_SOURCE, options.sumsPath.c_str());
        }
    }
    return {};
}

int runCopyMoveDelete(FILE_TREE_SETTING& job, ConsoleOutput& out, ResultSink& sink, ChecksumLog& sums)
{
    ConsoleProgress progress(job, out);
    ConsoleHost host(job, out, progress, sink, sums);
    job.progress = &progress;
    const std::wstring reportPath = report::chooseReportPath(app().appDataFolder);
    CLogHtml report;
    RunOutcome outcome;
    {
        RunningJob running(job);
        outcome = runSequence(job, &report, reportPath, host);
    }
    job.progress = nullptr;

    int code = exitCodeFor(outcome.end, sink.tally(), job.failedFiles, sink.failed());
    if (sums.isOpen()) {
        const uint64_t lines = sums.lines();
        const DWORD error = sums.close();
        if (outcome.end == RunEnd::Refused || outcome.end == RunEnd::NoRoom) {
            // Nothing ran: no checksum file is left behind.
            if (lines == 0) ::DeleteFileW(longFormOf(sums.path()).c_str());
        } else if (error != 0) {
            // A verified copy without its line: the checksum file is not
            // what it says it is.
            out.error(formatString(IDS_SUMS_NOT_WRITTEN, sums.path().c_str(), systemMessage(error).c_str()));
            if (code == kExitDone || code == kExitProblems) code = kExitInternal;
        } else {
            out.say(formatString(IDS_CMD_SUMS_WRITTEN, sums.path().c_str(), std::to_wstring(lines).c_str()));
        }
    }
    ResultTotals totals = totalsOf(job);
    totals.end = endWord(outcome.end);
    totals.exitCode = code;
    sink.close(totals);

    if (outcome.end == RunEnd::Refused || outcome.end == RunEnd::NoRoom) return code;
    if (outcome.end == RunEnd::Stopped) out.error(formatString(IDS_CMD_INTERNAL_ERROR, loadString(IDS_RUN_STOPPED).c_str()));
    if (outcome.nothingQualified) out.say(loadString(IDS_CMD_NOTHING_QUALIFIED));
    sayTotal(out, IDS_REPORT_TOTAL_FILES, job.totalFiles);
    sayTotal(out, IDS_REPORT_COMPLETED_FILES, job.completedFiles);
    if (job.verifyCopies && job.kind() != kOperationDelete) sayTotal(out, IDS_REPORT_VERIFIED_FILES, job.verifiedFiles);
    sayTotal(out, IDS_REPORT_FAILED_FILES, job.failedFiles);
    if (job.failedFolders != 0) sayTotal(out, IDS_REPORT_FAILED_FOLDERS, job.failedFolders);
    if (job.skippedLinks != 0) sayTotal(out, IDS_REPORT_LINKS_SKIPPED, job.skippedLinks);
    out.say(formatString(IDS_CMD_REPORT_PATH, reportPath.c_str()));
    if (outcome.end == RunEnd::Cancelled) out.error(loadString(IDS_CANCELED));
    return code;
}

// The plan of `job`: every item judged as the run would judge it, nothing
// changed, no report; one line per action that occurs on the console.
int runPlan(FILE_TREE_SETTING& job, ConsoleOutput& out, ResultSink& sink)
{
    PlanRows rows(job, sink);
    {
        RunningJob running(job);
        out.say(loadString(IDS_CMD_PHASE_COUNTING));
        planSequence(job, rows);
    }
    const bool cancelled = job.cancel != 0;
    const int code = cancelled ? kExitCancelled : sink.failed() ? kExitInternal : rows.problems() ? kExitProblems : kExitDone;
    uint32_t items = 0;
    for (size_t action = 0; action < static_cast<size_t>(FileAction::Count); ++action) {
        const FileAction which = static_cast<FileAction>(action);
        items += rows.count(which);
        if (rows.count(which) == 0) continue;
        const std::string word = actionName(which);
        out.say(formatStrings(IDS_CMD_PLAN_ACTION, {std::wstring(word.begin(), word.end()),
                                                    std::to_wstring(rows.count(which)), sizeText(rows.bytes(which))}));
    }
    ResultTotals totals = totalsOf(job);
    totals.completed = 0;
    totals.doneBytes = 0;
    totals.end = cancelled ? "cancelled" : "planned";
    totals.exitCode = code;
    sink.close(totals);
    out.say(formatString(IDS_CMD_PLAN_DONE, std::to_wstring(items).c_str()));
    if (cancelled) out.error(loadString(IDS_CANCELED));
    return code;
}

int runCompress(FILE_TREE_SETTING& job, ConsoleOutput& out, ResultSink& sink)
{
    RunEnd end = RunEnd::Completed;
    CompressedFiles files;
    constexpr size_t kMessageCapacity = 1024;
    wchar_t message[kMessageCapacity] = {};
    bool written = false;
    {
        // The archiver cannot be stopped once it runs; a cancel before it
        // starts keeps everything as it is, one after it lets it finish
        // (the archive is made beside the old one and takes its place whole).
        RunningJob running(job);
        if (job.cancel) {
            end = RunEnd::Cancelled;
        } else {
            out.say(loadString(IDS_CMD_PHASE_COUNTING));
            written = CompressFiles(job, message, kMessageCapacity, &files) != 0;
        }
    }
    int code = kExitDone;
    if (end == RunEnd::Cancelled) {
        code = kExitCancelled;
        out.error(loadString(IDS_CANCELED));
    } else if (written) {
        for (const std::wstring& name : files.names) {
            ResultRow row;
            row.source = files.base + name;
            row.target = files.archive;
            row.action = sink.action();
            row.outcome.status = kStatusSuccess;
            WIN32_FILE_ATTRIBUTE_DATA facts = {};
            if (::GetFileAttributesExW(row.source.c_str(), GetFileExInfoStandard, &facts)) {
                row.hasFacts = true;
                row.size = (static_cast<uint64_t>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow;
                row.lastWrite = facts.ftLastWriteTime;
            }
            sink.write(row);
            ++job.completedFiles;
            job.doneBytes += row.size;
        }
        job.totalFiles = job.completedFiles.load();
        job.totalBytes = job.doneBytes.load();
        out.say(formatString(IDS_CMD_COMPRESS_DONE, files.archive.c_str()));
        if (message[0]) out.say(message);
        code = sink.failed() ? kExitInternal : kExitDone;
    } else if (files.nothingQualified) {
        out.say(loadString(IDS_CMD_NOTHING_QUALIFIED));
        if (message[0]) out.say(message);
    } else {
        out.error(formatString(IDS_CMD_COMPRESS_FAILED, message));
        code = kExitProblems;
    }
    ResultTotals totals = totalsOf(job);
    totals.end = endWord(end);
    totals.exitCode = code;
    sink.close(totals);
    if (end != RunEnd::Cancelled) sayTotal(out, IDS_REPORT_TOTAL_FILES, job.totalFiles);
    return code;
}

// ---------------------------------------------------------------------------
// "check": every file a checksum file names, read again.

class CheckReport final : public ISumCheckSink {
public:
    CheckReport(ConsoleOutput& out, ResultFile* json, ResultFile* csv) : out_(out), json_(json), csv_(csv) {}

    void CheckedLine(uint64_t line, const std::wstring& path, SumState state, DWORD error) override
    {
        counts_.add(state);
        try {
            ResultRow row;
            row.action = "check";
            row.source = state == SumState::Damaged ? path : ordinaryFormOf(path);
            row.statusWord = sumStateCode(state);
            // Only a file that is there but cannot be read has an error to tell.
            const bool unread = state == SumState::Unread;
            row.reasonWord = unread ? "system_error" : "none";
            row.outcome.error = unread ? error : 0;
            if (state == SumState::Damaged) row.reasonText = formatString(IDS_CHECK_DAMAGED, std::to_wstring(line).c_str());
            else if (unread) row.reasonText = systemMessage(error);
            // The row on the console, as the report has it: the file, then
            // what became of it. A file that is not good is an error.
            std::wstring shown = row.source + L": " + (state == SumState::Damaged ? row.reasonText : loadString(textOf(state)));
            if (state == SumState::Unread) shown += L" -- " + row.reasonText;
            if (state == SumState::Good) out_.say(shown);
            else out_.error(shown);
            if (json_ && !json_->write(results::jsonLine(row))) failed_ = true;
            if (csv_ && !csv_->write(results::csvLine(row))) failed_ = true;
        } catch (...) {
            failed_ = true;
        }
    }

    bool Cancelled() override { return cancelRequested(); }

    const CheckCounts& counts() const noexcept { return counts_; }
    bool failed() const noexcept { return failed_; }

private:
    static UINT textOf(SumState state)
    {
        switch (state) {
        case SumState::Good: return IDS_CHECK_GOOD;
        case SumState::Changed: return IDS_CHECK_CHANGED;
        case SumState::Missing: return IDS_CHECK_MISSING;
        case SumState::Unread: return IDS_CHECK_UNREAD;
        case SumState::Damaged: break;
        }
        return IDS_CHECK_DAMAGED;
    }

    ConsoleOutput& out_;
    ResultFile* json_;
    ResultFile* csv_;
    CheckCounts counts_;
    bool failed_ = false;
};

int runCheck(const std::vector<std::wstring>& arguments, ConsoleOutput& out)
{
    CheckOptions options;
    if (const CommandProblem problem = readCheckArguments(arguments, options)) {
        out.error(text(problem));
        return kExitRefused;
    }
    if (options.help) {
        out.say(formatString(IDS_CMD_USAGE, kConsoleProgramName, kConsoleProgramName));
        return kExitDone;
    }
    out.setQuiet(options.quiet);
    const std::wstring sumsPath = fullPathOf(options.sumsPath);
    {
        // Unreadable before anything is written: refused.
        UniqueFile file(::CreateFileW(longFormOf(sumsPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD attributes = ::GetFileAttributesW(longFormOf(sumsPath).c_str());
        if (!file || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
            const DWORD error = file ? ERROR_DIRECTORY : ::GetLastError();
            out.error(formatString(IDS_CMD_CHECK_UNREADABLE, options.sumsPath.c_str(), systemMessage(error).c_str()));
            return kExitRefused;
        }
    }
    ConsoleOptions outputs;
    outputs.logPath = options.logPath;
    outputs.csvPath = options.csvPath;
    // A results file never replaces the checksum file it reports on.
    std::wstring problem;
    for (const std::wstring* other : {&outputs.logPath, &outputs.csvPath}) {
        if (problem.empty() && !other->empty() &&
            ::CompareStringOrdinal(fullPathOf(*other).c_str(), -1, sumsPath.c_str(), -1, TRUE) == CSTR_EQUAL) {
            problem = formatString(IDS_CMD_SUMS_SAME_OUTPUT, other->c_str());
        }
    }
    ResultFile json;
    ResultFile csv;
    if (problem.empty()) problem = openOutputs(outputs, json, csv);
    if (!problem.empty()) {
        out.error(problem);
        return kExitRefused;
    }

    CheckReport report(out, json.isOpen() ? &json : nullptr, csv.isOpen() ? &csv : nullptr);
    const DWORD error = checkChecksumFile(sumsPath.c_str(), report);
    if (error != 0) {
        out.error(formatString(IDS_CMD_CHECK_UNREADABLE, options.sumsPath.c_str(), systemMessage(error).c_str()));
        return kExitRefused;
    }
    const bool cancelled = cancelRequested();
    CheckTotals totals;
    totals.counts = report.counts();
    totals.end = cancelled ? "cancelled" : "completed";
    totals.exitCode = checkExitCode(report.counts(), cancelled, report.failed());
    if (json.isOpen() && !json.write(results::jsonCheckClosing(totals))) totals.exitCode = kExitInternal;
    const CheckCounts& c = report.counts();
    out.say(formatStrings(IDS_CMD_CHECK_TOTALS, {std::to_wstring(c.good), std::to_wstring(c.changed),
                                                 std::to_wstring(c.missing), std::to_wstring(c.unread),
                                                 std::to_wstring(c.damaged)}));
    if (cancelled) out.error(loadString(IDS_CANCELED));
    return totals.exitCode;
}

} // namespace

void installCancelHandler()
{
    if (!g_runEnded) g_runEnded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool cancelRequested() noexcept { return g_cancelAsked; }

int runConsole(const std::vector<std::wstring>& arguments, ConsoleOutput& out)
{
    if (isCheckCommand(arguments)) return runCheck(arguments, out);
    CommandKeys given;
    if (const CommandProblem problem = given.readArguments(arguments)) {
        out.error(text(problem));
        return kExitRefused;
    }
    if (given.helpAsked()) {
        out.say(formatString(IDS_CMD_USAGE, kConsoleProgramName, kConsoleProgramName));
        return kExitDone;
    }
    // The job file's settings, and the command line's over them.
    CommandKeys keys;
    if (!given.jobFile().empty()) {
        const std::wstring problem = readJobFile(given.jobFile(), keys);
        if (!problem.empty()) {
            out.error(problem);
            return kExitRefused;
        }
    }
    keys.overrideWith(given);

    FILE_TREE_SETTING job;
    ConsoleOptions options;
    if (const CommandProblem problem = applyCommandKeys(keys, job, options)) {
        out.error(text(problem));
        return kExitRefused;
    }
    out.setQuiet(options.quiet);

    std::wstring problem = checkSources(job);
    if (problem.empty()) problem = checkTarget(job);
    std::wstring sumsPath;
    if (problem.empty() && !options.sumsPath.empty()) problem = checkSumsPath(job, options, sumsPath);
    ResultFile json;
    ResultFile csv;
    if (problem.empty()) problem = openOutputs(options, json, csv);
    ChecksumLog sums;
    if (problem.empty() && !sumsPath.empty()) {
        if (const DWORD error = sums.open(sumsPath)) {
            problem = formatString(IDS_CMD_OUTPUT_UNWRITABLE, options.sumsPath.c_str(), systemMessage(error).c_str());
        }
    }
    if (!problem.empty()) {
        out.error(problem);
        return kExitRefused;
    }

    ResultSink sink(job, json.isOpen() ? &json : nullptr, csv.isOpen() ? &csv : nullptr);
    if (options.plan) {
        if (job.kind() != kOperationCompress) addTargetSeparator(job);
        return runPlan(job, out, sink);
    }
    if (job.kind() == kOperationCompress) return runCompress(job, out, sink);
    addTargetSeparator(job);
    initAppDataFolder(app().appDataFolder, kShortPathCapacity);
    // The shell's Recycle Bin wants a single-threaded apartment; nothing
    // else here uses COM, and an apartment costs a hidden window, so only
    // a delete to the Recycle Bin enters one.
    ComApartment apartment(job.kind() == kOperationDelete && job.deleteToRecycleBin());
    return runCopyMoveDelete(job, out, sink, sums);
}

} // namespace sorvane
