#include "run/PlanReport.h"

#include "base/Strings.h"
#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "res/SorvaneRes.h"
#include "run/LogHtml.h"
#include "run/OutcomeTexts.h"
#include "run/RunSequence.h"

namespace sorvane {

namespace {

constexpr const wchar_t* kPlanStem = L"SorvanePlan";
constexpr const wchar_t* kPlanNumberValue = L"PlanFileNo";

size_t indexOf(FileAction action) noexcept { return static_cast<size_t>(action); }

// The action's cell: its text, and for a move that replaces a target of
// its name, that it does.
std::wstring actionCell(const FileDecision& decision)
{
    const std::wstring text = loadString(actionTextId(decision.action));
    const bool move = decision.action == FileAction::MoveRename || decision.action == FileAction::MoveCopy;
    return move && decision.replaces ? formatString(IDS_PLAN_REPLACING, text.c_str()) : text;
}

// The reason's cell of an item left alone or refused: its status as the
// run's row shows it, then, after "--", the run's reason text (its "%s"
// marks filled from the item's source and target) and the system's
// message for an error. Empty for an item the run acts on.
std::wstring reasonCell(const CPlanReport::Row& row)
{
    const FileDecision& decision = row.decision;
    if (decision.action != FileAction::Skip && decision.action != FileAction::Fail) return {};
    const ItemStatus status = decision.action == FileAction::Fail ? kStatusFailed : decision.status;
    std::wstring cell = loadString(statusTextId(status));
    if (decision.reason != kReasonNone) {
        cell += L"--" + formatString(reasonTextId(decision.reason), row.source.c_str(), row.target.c_str());
    }
    if (decision.error != 0) {
        cell += decision.reason != kReasonNone ? L" " : L"--";
        cell += systemMessage(decision.error);
    }
    return cell;
}

// The colour the run's report gives the item's row.
COLORREF rowColour(const FileDecision& decision) noexcept
{
    Outcome outcome;
    outcome.status = decision.action == FileAction::Fail ? kStatusFailed
                     : decision.action == FileAction::Skip ? decision.status
                                                           : kStatusSuccess;
    outcome.reason = decision.reason;
    outcome.error = decision.error;
    return outcomeColour(outcome);
}

void writeCountRow(CLogHtml& page, const std::wstring& label, uint64_t count)
{
    const std::wstring number = std::to_wstring(count);
    const wchar_t* cells[] = {label.c_str(), number.c_str()};
    page.WriteRow(cells, 2, kColourGreen);
}

} // namespace

UINT actionTextId(FileAction action) noexcept
{
    switch (action) {
    case FileAction::Copy: return IDS_PLAN_ACTION_COPY;
    case FileAction::Replace: return IDS_PLAN_ACTION_REPLACE;
    case FileAction::KeepTarget: return IDS_PLAN_ACTION_KEEP_TARGET;
    case FileAction::MoveRename: return IDS_PLAN_ACTION_MOVE_RENAME;
    case FileAction::MoveCopy: return IDS_PLAN_ACTION_MOVE_COPY;
    case FileAction::DropSource: return IDS_PLAN_ACTION_DROP_SOURCE;
    case FileAction::Delete: return IDS_PLAN_ACTION_DELETE;
    case FileAction::Recycle: return IDS_PLAN_ACTION_RECYCLE;
    case FileAction::Archive: return IDS_PLAN_ACTION_ARCHIVE;
    case FileAction::Skip: return IDS_PLAN_ACTION_SKIP;
    case FileAction::Fail:
    case FileAction::Count: break;
    }
    return IDS_PLAN_ACTION_FAIL;
}

bool sourceGoes(FileAction action) noexcept
{
    switch (action) {
    case FileAction::MoveRename:
    case FileAction::MoveCopy:
    case FileAction::DropSource:
    case FileAction::Delete:
    case FileAction::Recycle: return true;
    default: return false;
    }
}

bool copiesBytes(FileAction action) noexcept
{
    return action == FileAction::Copy || action == FileAction::Replace || action == FileAction::MoveCopy;
}

void CPlanReport::Planned(const wchar_t* source, const wchar_t* target, const FileDecision& decision, uint64_t size)
{
    Row row;
    row.source = source ? source : L"";
    row.target = target ? target : L"";
    row.decision = decision;
    row.size = size;
    rows_.push_back(std::move(row));
}

PlanSummary CPlanReport::summary() const noexcept
{
    PlanSummary summary;
    for (const Row& row : rows_) {
        const FileAction action = row.decision.action < FileAction::Count ? row.decision.action : FileAction::Fail;
        ++summary.files[indexOf(action)];
        if (copiesBytes(action)) summary.bytesToCopy += row.size;
        if (sourceGoes(action)) ++summary.filesToDelete;
        ++summary.items;
    }
    return summary;
}

bool CPlanReport::Write(const wchar_t* path, const FILE_TREE_SETTING& job) const
{
    CLogHtml page;
    if (!page.Open(path)) return false;
    page.WriteHead(loadString(IDS_APP_NAME).c_str(), loadString(IDS_PLAN_TITLE).c_str());
    page.WriteParagraph(IDS_PLAN_HEADING, kColourNone);
    page.WriteSettingsTable(job);

    // The summary: every action that occurs, in the order of the actions,
    // then the bytes the run copies and the source files it removes.
    const PlanSummary totals = summary();
    page.BeginTable();
    for (size_t i = 0; i < totals.files.size(); ++i) {
        if (totals.files[i] == 0) continue;
        writeCountRow(page, loadString(actionTextId(static_cast<FileAction>(i))), totals.files[i]);
    }
    writeCountRow(page, loadString(IDS_PLAN_BYTES_TO_COPY), totals.bytesToCopy);
    writeCountRow(page, loadString(IDS_PLAN_FILES_TO_DELETE), totals.filesToDelete);
    writeCountRow(page, loadString(IDS_PLAN_ITEMS), totals.items);
    page.EndTable();

    if (rows_.empty()) {
        page.WriteParagraph(IDS_PLAN_NOTHING, kColourNone);
    } else {
        page.BeginTable();
        const std::wstring heads[] = {loadString(IDS_PLAN_COLUMN_SOURCE), loadString(IDS_PLAN_COLUMN_TARGET),
                                      loadString(IDS_PLAN_COLUMN_ACTION), loadString(IDS_PLAN_COLUMN_REASON),
                                      loadString(IDS_PLAN_COLUMN_SIZE)};
        const wchar_t* headCells[] = {heads[0].c_str(), heads[1].c_str(), heads[2].c_str(), heads[3].c_str(),
                                      heads[4].c_str()};
        page.WriteRow(headCells, 5, kColourNone);
        for (const Row& row : rows_) {
            // Paths as the user knows them, without the long-path prefix.
            const std::wstring source = ordinaryFormOf(row.source);
            const std::wstring target = row.target.empty() ? std::wstring() : ordinaryFormOf(row.target);
            const std::wstring action = actionCell(row.decision);
            const std::wstring reason = reasonCell(row);
            const std::wstring size = std::to_wstring(row.size);
            const wchar_t* cells[] = {source.c_str(), target.c_str(), action.c_str(), reason.c_str(), size.c_str()};
            page.WriteRow(cells, 5, rowColour(row.decision));
        }
        page.EndTable();
    }
    page.WriteFooter();
    page.Close();
    return true;
}

std::wstring choosePlanPath(const wchar_t* dataFolder)
{
    return report::chooseNumberedPath(dataFolder, kPlanStem, kPlanNumberValue);
}

std::wstring writePlanPage(FILE_TREE_SETTING& job, const wchar_t* dataFolder, DWORD& error)
{
    error = 0;
    // The settings as the dialog confirmed them: the walk may change the
    // record's working fields.
    const FILE_TREE_SETTING shown(job);
    CPlanReport plan;
    planSequence(job, plan);
    const std::wstring path = choosePlanPath(dataFolder);
    if (!plan.Write(path.c_str(), shown)) {
        error = ::GetLastError();
        if (error == 0) error = ERROR_PATH_NOT_FOUND;
        return {};
    }
    return path;
}

} // namespace sorvane
