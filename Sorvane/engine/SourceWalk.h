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

namespace sorvane {

class FILE_TREE_SETTING;

// One pass over the source list. Leaves `sources` as it found it and
// `target` in its long-path form with a trailing backslash. Returns 1.
int processSourceList(FILE_TREE_SETTING& settings);

// With `listContents`, processes the content of the folder in `sources`
// (ending with a backslash), recursively as the settings say; without it,
// `sources` holds one file's full path and that file alone is processed.
// Returns 1.
int walkFolder(FILE_TREE_SETTING& settings, bool listContents);

// Filters the file described by `currentItem` (in the folder of `sources`)
// and, when it qualifies, makes the target folder exist when
// `targetFolderPending` and applies the operation. Returns 0 when the file
// did not qualify or failed, else applyOperation's result.
int processFile(FILE_TREE_SETTING& settings, bool targetFolderPending);

} // namespace sorvane
