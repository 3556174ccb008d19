// The plan page: what Start would do with the settings of the operation
// dialog, before anything runs. CPlanReport collects the items a plan
// reports and writes them as an HTML page in the style of the run's
// report: the same head and settings table, then a summary (files per
// action, bytes to copy, source files that go) and one row per item.
#pragma once

#include "engine/Decision.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

// What a plan adds up to.
struct PlanSummary {
    std::array<uint64_t, static_cast<size_t>(FileAction::Count)> files{}; // items per action
    uint64_t bytesToCopy = 0;   // the sizes of copies: Copy, Replace, MoveCopy
    uint64_t filesToDelete = 0; // sources that go: Delete, Recycle, DropSource, MoveRename, MoveCopy
    uint64_t items = 0;         // every row
};

class CPlanReport final : public IPlanSink {
public:
    struct Row {
        std::wstring source;
        std::wstring target; // empty where the plan names none
        FileDecision decision;
        uint64_t size = 0;
    };

    void Planned(const wchar_t* source, const wchar_t* target, const FileDecision& decision,
                 uint64_t size) override;

    const std::vector<Row>& rows() const noexcept { return rows_; }
    PlanSummary summary() const noexcept;

    // Writes the page for `job` to `path` (created or replaced); false when
    // the file could not be made.
    bool Write(const wchar_t* path, const FILE_TREE_SETTING& job) const;

private:
    std::vector<Row> rows_;
};

// The string-table id of an action's text on the plan page.
UINT actionTextId(FileAction action) noexcept;
// Whether the source of an item planned so is gone after the run.
bool sourceGoes(FileAction action) noexcept;
// Whether the run copies the item's bytes.
bool copiesBytes(FileAction action) noexcept;

// Reads "PlanFileNo", returns "<folder>SorvanePlan<n>.htm" and stores the
// next number of a ring of sixteen, as the run's reports are numbered.
std::wstring choosePlanPath(const wchar_t* dataFolder);

// Plans `job` as Start would run it (nothing on disk changes) and writes
// the page into `dataFolder`. The page's path, or empty when it could not
// be written (`error` then holds the system's error).
std::wstring writePlanPage(FILE_TREE_SETTING& job, const wchar_t* dataFolder, DWORD& error);

} // namespace sorvane
