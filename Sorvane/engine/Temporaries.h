// The temporary copies a run writes beside its targets before it renames
// them into place, and their removal when a process died before it could
// do so itself. A temporary's name tells which process made it and when
// that process started ("~sorvane-<process id>-<start time>-<n>.tmp", in
// hexadecimal), because process ids come round again: only a file whose
// name says so, whose process is gone, and which nobody else holds open is
// ever removed. The archiver library names the archives it writes beside
// the old one the same way ("lzh-<process id>-<start time>-<n>.tmp"); they
// are told and swept as ours are, and never taken into an archive.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace sorvane {

class Listing;

// Room for a temporary's name and its terminator.
constexpr size_t kTemporaryNameCapacity = 64;

// Writes a fresh temporary name of this process into `out`.
void makeTemporaryName(wchar_t* out);

// Reads the process id and start time from a temporary's name (ours or
// the archiver library's); false for any name that is not exactly of that
// form.
bool parseTemporaryName(const wchar_t* name, DWORD& processId, uint64_t& startTime);
inline bool isTemporaryName(const wchar_t* name)
{
    DWORD processId;
    uint64_t startTime;
    return parseTemporaryName(name, processId, startTime);
}

// The start time of this process (its creation time, 100 ns units).
uint64_t currentProcessStartTime();

// True when the process that named a temporary has ended: no process has
// that id, the one that has it started at another time, or it has exited.
// A process that exists but cannot be asked counts as alive.
bool temporaryOwnerGone(DWORD processId, uint64_t startTime);

// Removes the dead temporaries of the folder in `folder` (a path ending
// with a backslash, in a buffer of `capacity` units that names are
// appended to and cut off again). With `listing` (the folder's entries,
// all of them), its records are searched; without it, the folder is.
// Returns how many were removed.
size_t sweepTemporaries(wchar_t* folder, size_t capacity, const Listing* listing);

} // namespace sorvane
