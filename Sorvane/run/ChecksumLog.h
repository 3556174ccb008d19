// The checksum file of a run: every verified copy's XXH3-128 hash, as its
// verification read the copy back, written to one file that xxhsum -H2 -c
// and "SorvaneCmd.exe check" read later. It sits in front of the run's log
// (the report, or the console's results) and hands every row on unchanged,
// so that both programs write their checksum files from here alone.
#pragma once

#include "engine/Checksums.h"
#include "engine/EngineSinks.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace sorvane {

class CLogHtml;

class ChecksumLog final : public ILogSink {
public:
    ChecksumLog() = default;
    ChecksumLog(const ChecksumLog&) = delete;
    ChecksumLog& operator=(const ChecksumLog&) = delete;
    ~ChecksumLog();

    // Creates (or replaces) the checksum file at `path` (full); 0 or the
    // system's error.
    DWORD open(const std::wstring& path);
    bool isOpen() const noexcept { return writer_.isOpen(); }
    const std::wstring& path() const noexcept { return path_; }

    // The log the engine is given: this one in front of `next` while the
    // file is open, else `next` itself. With a report, the report gets a
    // row that links the checksum file.
    ILogSink* wrap(ILogSink* next, CLogHtml* report);

    // Hands the row on; a verified copy's hash goes to the checksum file.
    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override;

    // Writes what is held and closes. 0 when every verified copy has its
    // line; else the system's error, or ERROR_WRITE_FAULT when copies were
    // left out (`missed`).
    DWORD close();
    uint64_t lines() const noexcept { return writer_.lines(); }
    uint64_t missed() const noexcept { return missed_; }

private:
    ChecksumWriter writer_;
    std::wstring path_;
    ILogSink* next_ = nullptr;
    uint64_t missed_ = 0;
    DWORD writeError_ = 0;
};

// The checksum file a dialog run writes into its target folder:
// "<target>\Sorvane-<yyyymmdd>-<hhmmss>.xxh128", the local time `start`.
std::wstring dialogChecksumPath(const std::wstring& targetFolder, const SYSTEMTIME& start);

// "file:///C:/a%20b/x.xxh128": a link to a full path, with the characters
// that a URL reads otherwise ('%', '#', '?', blanks) escaped. Not yet
// HTML-escaped.
std::wstring fileUrlOf(const std::wstring& path);

} // namespace sorvane
