// The sequence of one copy, move or delete run, without any window: the
// report's head and settings, the target checked once more, the counting
// pass, the free-space check, the executing pass, and the report's totals
// and end. The progress dialog's worker and the console program both run
// it; what the user must see or decide goes through IRunHost, which the
// dialog answers with its phases and message boxes and the console program
// with its own output.
#pragma once

#include "engine/FileTreeSetting.h"

#include <cstdint>
#include <string>

namespace sorvane {

class CLogHtml;
class ILogSink;
class IPlanSink;

enum class RunPhase : uint32_t {
    Counting,  // the counting pass
    Executing, // the executing pass
    Finished,  // the report is complete on disk
};

// How a run ended.
enum class RunEnd : uint32_t {
    Completed, // both passes ran, or nothing qualified
    Refused,   // the target overlaps the selection or cannot be used: nothing ran
    NoRoom,    // the target's volume lacks room and the host did not go on: nothing ran
    Cancelled, // the cancel flag stopped the run
    Stopped,   // an unexpected error stopped the run
};

struct RunOutcome {
    RunEnd end = RunEnd::Completed;
    bool nothingQualified = false; // the counting pass found no file and no folder
    int64_t shortfall = 0;         // bytes missing on the target's volume (NoRoom)
};

class IRunHost {
public:
    // The run enters `phase`. Finished comes once the report is closed.
    virtual void OnPhase(RunPhase phase) = 0;
    // The target was refused before anything ran; `message` says why (it
    // is also in the report).
    virtual void OnRefusal(const std::wstring& message) = 0;
    // The target's volume lacks `shortfall` bytes; true to run anyway.
    virtual bool OnShortage(int64_t shortfall) = 0;
    // The engine's log for the run: the report itself, or a sink that
    // writes each row to the report and elsewhere too.
    virtual ILogSink* EngineLog(CLogHtml* report);
    // One pass over what the run processes (each pass calls it once): the
    // source list, unless the host has another selection.
    virtual void ProcessSelection(FILE_TREE_SETTING& job);

protected:
    ~IRunHost() = default;
};

// Runs `job` (a copy, move or delete) to its end and writes its report into
// `report` (opened at `reportPath`; null: no report). Nothing leaves it.
RunOutcome runSequence(FILE_TREE_SETTING& job, CLogHtml* report, const std::wstring& reportPath, IRunHost& host);

// Plans `job` (a copy, move, delete or compress) as runSequence would run
// it: the same preparation of the filter, then every item judged and told
// to `sink`; nothing on disk changes and no report is written.
void planSequence(FILE_TREE_SETTING& job, IPlanSink& sink);

// Gives the target of a copy or move its trailing backslash, as the run
// expects it; an empty target stays empty (it must never become a root).
void addTargetSeparator(FILE_TREE_SETTING& job);

// The path whose volume is asked for its free space: the target's root, or
// the whole target when it has none of at least two characters.
std::wstring diskSpaceQueryPath(const wchar_t* target);

// The total free bytes of the volume of `path`; false when unknown. Tests
// replace it to stand for a full disk (null restores the system's).
using FreeSpaceQuery = bool (*)(const wchar_t* path, uint64_t* freeBytes);
FreeSpaceQuery setFreeSpaceQuery(FreeSpaceQuery query);

} // namespace sorvane
