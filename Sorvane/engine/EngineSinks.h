// The narrow interfaces through which the engine reports: the progress
// display, the log of processed items and, for a compress run, the
// collector of the files the walk selected. The progress dialog and the
// HTML report implement the first two, the compress operation the third;
// tests use recording fakes.
#pragma once

#include <windows.h>

namespace sorvane {

struct ListingRecord;

// Colours of log rows, laid out 0x00BBGGRR; kColourNone means uncoloured.
constexpr COLORREF kColourNone = 0xFFFFFFFF;
constexpr COLORREF kColourRed = 0x0000FF;
constexpr COLORREF kColourGreen = 0x008000;
constexpr COLORREF kColourMagenta = 0xFF00FF;
constexpr COLORREF kColourOrange = 0x0080FF;

// Status texts of item rows (string-table ids).
enum ItemStatus : UINT {
    kStatusReadOnly = 1360,        // "Filed, ReadOnly"
    kStatusNotExist = 1361,        // "Not Exist"
    kStatusFailed = 1362,          // "Failed"
    kStatusSuccess = 1363,         // "Success"
    kStatusFolderReadOnly = 1364,  // "Filed(Folder), ReadOnly"
    kStatusFolderFailed = 1365,    // "Failed(Folder)"
    kStatusTestOnly = 1366,        // "Test Only"
    kStatusSkipped = 1814,         // "Skipped"
    kStatusVerified = 1871,        // "Success (verified)"
};

// Reasons written after the status of a row (string-table ids).
enum ItemReason : UINT {
    kReasonSameFile = 1807,          // source and target are one file
    kReasonFolderInTheWay = 1808,    // a folder of the file's name in the target
    kReasonTargetUnreadable = 1809,  // the target folder could not be listed
    kReasonTargetAppeared = 1810,    // a target came after the listing
    kReasonTargetChanged = 1811,     // the target is not the file that was judged
    kReasonSourceKept = 1812,        // written to the target, the source could not go
    kReasonLinkSkipped = 1813,       // a selected link is not followed
    kReasonLinkRemoved = 1815,       // the link itself was deleted
    kReasonNotAName = 1816,          // a source-list element that names no item
    kReasonNotRecycled = 1817,       // the Recycle Bin did not take the file
    kReasonTargetFolderSkipped = 1818, // the walk met the run's own target folder
    kReasonVerifyFailed = 1872,      // the copy read back differed from its source, twice
    kReasonReadBackFailed = 1873,    // the copy could not be read back
    kReasonPossiblySameFile = 1881,  // same id, size and time on volumes that cannot be told apart
    kReasonNameWritten = 1882,       // this run already wrote the name here (detail: from which source)
    kReasonSourceInUse = 1883,       // another program holds the source
    kReasonSourceChanged = 1884,     // the source is not what its listing showed
    kReasonSourceChangedInCopy = 1885, // the source changed while it was copied; the copy stays
    kReasonLinkInTheWay = 1886,      // a link of the file's name in the target
    kReasonLinkInside = 1887,        // a link inside a selected folder, left alone
    kReasonTargetFolderIsLink = 1889, // the file's target folder is a link
    kReasonCaseTwinNotRecycled = 1890, // the Recycle Bin cannot tell the file from its case twin
};

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
    // A row: the path and the status text.
    virtual void WriteItemRow(const wchar_t* path, UINT statusId, COLORREF colour) = 0;
    // A failure row: the status text followed by "--" and the system's
    // message for `error` (0: the calling thread's last error).
    virtual void WriteErrorRow(const wchar_t* path, UINT statusId, DWORD error, COLORREF colour) = 0;
    // A row that says why: the status text followed by "--", the reason
    // text and, when `error` is not 0, the system's message for it. A sink
    // that keeps no reasons writes the plain row.
    virtual void WriteReasonRow(const wchar_t* path, UINT statusId, UINT reasonId, DWORD error, COLORREF colour)
    {
        (void)reasonId;
        (void)error;
        WriteItemRow(path, statusId, colour);
    }

    // A reason row whose reason text takes "%s" marks: `first` and
    // `second` (null: none) in their place, such as the other file of a
    // conflict. A sink that keeps no details writes the plain reason row.
    virtual void WriteDetailRow(const wchar_t* path, UINT statusId, UINT reasonId, const wchar_t* first,
                                const wchar_t* second, COLORREF colour)
    {
        (void)first;
        (void)second;
        WriteReasonRow(path, statusId, reasonId, 0, colour);
    }

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
