// The narrow interfaces through which the engine reports: the progress
// display, the log of each item's outcome and, for a compress run, the
// collector of the files the walk selected. The progress dialog and the
// HTML report implement the first two, the compress operation the third;
// tests use recording fakes.
#pragma once

#include "engine/Outcome.h"

#include <windows.h>

namespace sorvane {

struct ListingRecord;

class IProgressSink {
public:
    virtual void SetFolderText(const wchar_t* text) = 0;
    virtual void SetFileText(const wchar_t* text) = 0;
    // The run state changed (a file counted or done, or bytes of the file
    // in hand: `duringCopy`). A display that reads the run state on a
    // timer of its own, as the progress dialog does, has nothing to do.
    virtual void UpdateCounters(bool duringCopy) { (void)duringCopy; }

protected:
    ~IProgressSink() = default;
};

class ILogSink {
public:
    // One item's outcome; `path` is the item the outcome concerns.
    virtual void WriteOutcome(const wchar_t* path, const Outcome& outcome) = 0;

protected:
    ~ILogSink() = default;
};

// Takes the qualifying files of a compress run: the walk selects them as
// for any operation, and hands each one here instead of copying it.
class IFileCollector {
public:
    // `path` is the file's full path as the walk holds it, `item` its
    // listing record. True when the file was taken.
    virtual bool CollectFile(const wchar_t* path, const ListingRecord& item) = 0;

protected:
    ~IFileCollector() = default;
};

} // namespace sorvane
