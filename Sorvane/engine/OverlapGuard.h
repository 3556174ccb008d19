// The check that a copy or move never writes into what it reads: the target
// may not be a selected item, lie inside a selected folder, or be the folder
// that holds the selection. Places are compared by file identity, so that
// every spelling of one place is seen as that place; where identity cannot
// be had, by their full long paths, and where in doubt a place counts as
// the same. The operation dialog runs it at Start, and the engine again
// before each pass.
#pragma once

#include <windows.h>

namespace sorvane {

class FILE_TREE_SETTING;

// `sourceList` in the grammar of the walk; `target` a full folder path (as
// normaliseTarget makes it). Returns kRefusalNone, or the refusal that says
// how the two overlap.
UINT checkOverlap(const wchar_t* sourceList, const wchar_t* target);

// For a copy or move: puts `settings.target` into its full form
// (normaliseTarget, relative to the folder of the selection) and checks it
// against the selection. Delete and compress runs pass unchanged. Without
// `requireReachable`, a drive or share that is not there (yet) is left to
// the run's own check when it starts. Returns kRefusalNone, or the
// refusal, with the target then left as it was.
UINT prepareRunTarget(FILE_TREE_SETTING& settings, bool requireReachable = true);

} // namespace sorvane
