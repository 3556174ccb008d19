// The check that a copy or move never writes into what it reads: the target
// may not be a selected item, lie inside a selected folder, or be the folder
// that holds the selection; and each selected item X has its own target
// T\X, which may not be, contain or lie inside a selected item, and may not
// be or contain the folder that holds the selection (a folder "Foo" that
// holds a "Foo" of its own, copied into the folder above it: the inner
// one's target would be the outer one). Places are compared by file identity, so that
// every spelling of one place is seen as that place; where identity cannot
// be had, by their full long paths, and where in doubt a place counts as
// the same. The operation dialog runs it at Start, and the engine again
// before each pass.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

#include <string>

namespace sorvane {

class FILE_TREE_SETTING;

// Which item a refusal of its own target concerns, and where its copy
// would land (both in their ordinary full form); empty for the refusals
// of the target as a whole.
struct OverlapDetail {
    std::wstring item;
    std::wstring landing;
};

// `sourceList` in the grammar of the walk; `target` a full folder path (as
// normaliseTarget makes it). Returns kReasonNone, or the refusal that says
// how the two overlap; `detail`, when given, names the item for
// kRefusalLandsOnSelection.
ItemReason checkOverlap(const wchar_t* sourceList, const wchar_t* target, OverlapDetail* detail = nullptr);

// For a copy or move: puts `settings.target` into its full form
// (normaliseTarget, relative to the folder of the selection) and checks it
// against the selection. Delete and compress runs pass unchanged. Without
// `requireReachable`, a drive or share that is not there (yet) is left to
// the run's own check when it starts. Returns kReasonNone, or the
// refusal, with the target then left as it was.
ItemReason prepareRunTarget(FILE_TREE_SETTING& settings, bool requireReachable = true, OverlapDetail* detail = nullptr);

} // namespace sorvane
