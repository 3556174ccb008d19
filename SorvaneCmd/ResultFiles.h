// The results of a run for other tools: one row per item in JSON Lines
// ("/log:") and in CSV ("/csv:", RFC 4180, UTF-8 with a byte-order mark),
// and in JSON Lines a closing object with the totals and the exit code.
//
// Names are written as they are. A name may hold a lone surrogate (NTFS
// keeps any 16-bit units), which UTF-8 cannot carry and JSON libraries
// replace: our own writer writes it as the six characters "\uDC80", an
// escape JSON readers give back as that unit; CSV has no escapes and holds
// the same six characters.
#pragma once

#include "engine/Outcome.h"
#include "engine/VerifiedCopy.h"
#include "common/Raii.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace sorvane {

struct ResultRow {
    std::wstring source;
    std::wstring target;       // empty: none (a delete, a folder, a missing item)
    const char* action = "";   // copy, move, delete, recycle, compress; a plan's rows: the planned action
    bool planned = false;      // a plan's row: status "planned"
    Outcome outcome;
    std::wstring reasonText;   // the reason (or the system's error) as the report words it
    bool hasFacts = false;     // size and mtime known (from the item's listing)
    uint64_t size = 0;
    FILETIME lastWrite = {};   // UTC
};

// The totals of a run, for the closing object.
struct ResultTotals {
    uint32_t files = 0;      // qualifying files counted
    uint32_t completed = 0;
    uint32_t verified = 0;
    uint32_t failed = 0;     // the engine's count (kept read-only files among them)
    uint32_t failedFolders = 0;
    uint32_t linksSkipped = 0;
    uint64_t bytes = 0;      // of the qualifying files (verified copies twice)
    uint64_t doneBytes = 0;
    const char* end = "";    // completed, refused, no_room, cancelled, stopped
    int exitCode = 0;
};

namespace results {

// `text` as a JSON string with its quotes; a lone surrogate as "\uDXXX".
std::string jsonString(const std::wstring& text);
// `text` in UTF-8, a lone surrogate as the six characters "\uDXXX".
std::string utf8Text(const std::wstring& text);
// One CSV field: quoted (quotes doubled) when it holds a comma, a quote,
// a line break or a blank at either end.
std::string csvField(const std::wstring& text);

std::string jsonLine(const ResultRow& row);    // ends with "\n"
std::string jsonClosing(const ResultTotals& totals);
std::string csvHeader();                       // byte-order mark and the header line
std::string csvLine(const ResultRow& row);     // ends with CR LF

} // namespace results

// A results file, written row by row so that a reader sees every row the
// moment it is done, also when the run is cut short.
class ResultFile {
public:
    // Creates (or truncates) the file; 0 or the system's error.
    DWORD open(const std::wstring& path);
    bool isOpen() const noexcept { return static_cast<bool>(file_); }
    // Appends `bytes`; false when they could not all be written.
    bool write(const std::string& bytes);
    const std::wstring& path() const noexcept { return path_; }

private:
    UniqueFile file_;
    std::wstring path_;
};

} // namespace sorvane
