// The work for one qualifying file of a copy, move or delete, and the
// clean-up of one emptied source folder: overwrite policy, read-only
// protection, Recycle Bin, test-only runs, counters, byte totals and one
// log row per decision. In the counting pass nothing is changed; the file
// is only counted as the executing pass would treat it.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

#include <cstdint>

namespace sorvane {

class FILE_TREE_SETTING;
struct VerifyResult;

// Results of applyOperation.
enum OperationResult : int {
    kOperationFailed = 0,   // failed or refused
    kOperationDone = 1,     // done (executing pass) or counted (counting pass)
    kOperationSkipped = 2,  // skipped by the overwrite policy, or a move whose source was only deleted
};

// Applies the run's operation to the file whose full paths are in `sources`
// (and `target` for copy and move), described by `currentItem`, with
// `existingTarget` the same-named entry of the target folder or null. A
// compress run hands the file to the settings' collector.
int applyOperation(FILE_TREE_SETTING& settings);

// Refuses the file of `currentItem` (whose path is in `sources`) before
// anything is written: counted in the counting pass as the executing pass
// will treat it; there, a "Failed" row with the reason (and, when `error`
// is not 0, the system's message) and one failed file. Nothing on disk is
// touched. Returns what applyOperation would: 1 counted, 0 failed.
int refuseFile(FILE_TREE_SETTING& settings, ItemReason reason, DWORD error);

// Sends the files that wait in `settings.recycleBatch` to the Recycle Bin
// and writes their rows and counts. A walk that deletes to the Recycle Bin
// queues a folder's files there and calls this before it leaves the folder.
void flushRecycleBatch(FILE_TREE_SETTING& settings);

// Tries to remove the folder in `sources` (no trailing backslash) after its
// entries were handled; attributes from `currentItem` when set, else read
// from the file system. True when the folder was removed.
bool removeEmptiedFolder(FILE_TREE_SETTING& settings);

// Progress routine handed to CopyFileExW and MoveFileWithProgressW, with the
// settings as its context: adds the bytes of finished chunks to `doneBytes`
// and asks the system to stop when `cancel` is set.
DWORD CALLBACK copyProgressCallback(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                                    LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                                    DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                    HANDLE destinationFile, LPVOID data) noexcept;

// The system's copy and move routines with progress, looked up in
// Kernel32.dll once; either may be null, and the operations then fall back
// to CopyFileW and MoveFileExW. `copyVerified` makes and reads back the
// verified copies of the files it can carry (copyVerified of VerifiedCopy.h
// in the system's set); where it is null, every verified copy is made by the
// copy routine and its source read once more for the hash.
using CopyFileExFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD);
using MoveFileWithProgressFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPPROGRESS_ROUTINE, LPVOID, DWORD);
using VerifiedCopyFunction = DWORD (*)(FILE_TREE_SETTING&, const wchar_t*, const wchar_t*, uint64_t, uint64_t,
                                       unsigned, VerifyResult&);
struct FileCopyRoutines {
    CopyFileExFunction copyFileEx;
    MoveFileWithProgressFunction moveFileWithProgress;
    VerifiedCopyFunction copyVerified = nullptr;
};
const FileCopyRoutines& systemCopyRoutines();

// Replaces the routines used by applyOperation (null restores the system's).
// For tests: they stand in for platform behaviour that a test machine lacks,
// such as a copy routine that reports progress and honours a cancel request.
void overrideCopyRoutines(const FileCopyRoutines* routines);

} // namespace sorvane
