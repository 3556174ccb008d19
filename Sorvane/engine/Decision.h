// The judgement of one item of a run: what the run will do with it. The
// counting pass, the executing pass and a plan all reach their verdict for
// a file through decideFile, so that a plan says what the run then does;
// the executing pass acts on the decision, a plan only records it.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

#include <cstdint>

namespace sorvane {

class FILE_TREE_SETTING;
struct FileFacts;

enum class FileAction : uint8_t {
    Copy,       // copied; no target of its name is there
    Replace,    // copied over the target of its name
    KeepTarget, // the target of its name stays, and so does the source (overwrite policy)
    MoveRename, // moved within one volume by a rename (over the target when `replaces`)
    MoveCopy,   // moved to another volume: copied, then the source deleted
    DropSource, // a move whose target is not older: the target stays, the source is deleted
    Delete,     // deleted for good
    Recycle,    // sent to the Recycle Bin
    Archive,    // taken into the archive
    Skip,       // left alone on purpose, for `reason` (a link, read-only protection, a test run)
    Fail,       // not done, for a reason known before the run
    Count
};

struct FileDecision {
    FileAction action = FileAction::Fail;
    // Skip and Fail: why, as the run's row will say it; kReasonNone with an
    // `error` for a failure the system names (a name too long).
    ItemReason reason = kReasonNone;
    // The status of the run's row for Skip (skipped, read-only, test only).
    ItemStatus status = kStatusFailed;
    DWORD error = 0;
    bool replaces = false; // a move or copy that replaces a target of its name
    // A move's source judged not newer than its target: the target stays,
    // whatever becomes of the source (DropSource, or its refusals).
    bool targetStays = false;
};

// The decision for the qualifying file in `settings.sources` (described by
// `currentItem`, with `existingTarget` the target folder's entry of its
// name, or null), before anything is written. `written` says whether this
// run has already written (or, in a plan, would already have written) the
// target's name: then the file is refused. With `lookCloser`, an existing
// target is opened to tell whether it is the source itself under another
// name (the executing pass and a plan); the counting pass does without.
FileDecision decideFile(const FILE_TREE_SETTING& settings, bool written, bool lookCloser);

// Whether the file at `target` is the source (whose facts are `source`)
// under another name: kReasonNone for two files, else the reason of the row
// that keeps both.
ItemReason sameFileReason(const FileFacts& source, const wchar_t* target);

// Receives a plan: every item a run would report, with its decision, and
// nothing changed on disk.
class IPlanSink {
public:
    // `source` is the item (a file, or a selected item refused as a
    // whole); `target` where it would go (null for a delete, a compress,
    // and for items refused before a target is known); `size` its bytes.
    virtual void Planned(const wchar_t* source, const wchar_t* target, const FileDecision& decision,
                         uint64_t size) = 0;

protected:
    ~IPlanSink() = default;
};

// Plans `settings` (a copy, move, delete or compress, with its sources,
// target and filter set as for a run): one walk judges every item as the
// run's passes do and tells `sink`, from the target's check against the
// selection (a refused run: one Fail row with the refusal) to the last
// file. Nothing on disk changes, not even the folders a cloned tree would
// make. The run counters are left as a counting pass leaves them.
void planSourceList(FILE_TREE_SETTING& settings, IPlanSink& sink);

// Tells the plan of `settings`, when it has one, about an item; `target`
// counts only for a copy or move (null: none known yet).
void notePlanned(const FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* target,
                 const FileDecision& decision, uint64_t size);

// The decision of an item refused as a run's row will say: `status`,
// `reason` and the system's `error`.
FileDecision refusalDecision(ItemStatus status, ItemReason reason, DWORD error = 0);

// A short English name of each action, for machine-read output (JSON
// Lines, CSV, the plan's summary keys): "copy", "replace", ...
const char* actionName(FileAction action) noexcept;

} // namespace sorvane
