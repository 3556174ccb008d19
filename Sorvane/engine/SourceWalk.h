// The walk over the source list and its folder trees. The worker runs it
// twice over the same settings: a counting pass (kCountingPassFlag set in
// `operation`) that changes nothing but counts files, bytes and needed
// space, then the executing pass that hands every qualifying file to
// applyOperation. The walk works in place on the two working paths of the
// settings, `sources` and `target`, appending the name in hand and cutting
// it off again.
//
// Source list: one folder path (its content is processed), or
// PARENT;NAME;NAME;... (each NAME a file or folder in PARENT, an optional
// ';' at the end). "X:\;" and "X:\;;" stand for the whole drive X.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

namespace sorvane {

class FILE_TREE_SETTING;

// One pass over the source list. A copy or move first puts its target into
// its full form and checks it against the selection (prepareRunTarget): a
// refused run does nothing at all, and its executing pass writes one
// "Failed" row with the reason. Leaves `sources` as it found it and
// `target` in its long-path form with a trailing backslash. Returns 1.
int processSourceList(FILE_TREE_SETTING& settings);

// With `listContents`, processes the content of the folder in `sources`
// (ending with a backslash), recursively as the settings say; without it,
// `sources` holds one file's full path and that file alone is processed.
// Returns 1.
int walkFolder(FILE_TREE_SETTING& settings, bool listContents);

// Why the files of one folder may not be written to their targets: a
// reason and, when not 0, the system error behind it.
struct TargetRefusal {
    ItemReason reason;
    DWORD error;
};

// Filters the file described by `currentItem` (in the folder of `sources`)
// and, when it qualifies, makes the target folder exist when
// `targetFolderPending` and applies the operation. With `refusal`, a
// qualifying file is refused for that reason instead (refuseFile) and
// nothing is written. Returns 0 when the file did not qualify or failed,
// else applyOperation's result.
int processFile(FILE_TREE_SETTING& settings, bool targetFolderPending, const TargetRefusal* refusal = nullptr);

} // namespace sorvane
