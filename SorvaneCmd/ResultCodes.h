// The fixed codes SorvaneCmd.exe writes for other tools: each row's status
// and reason as a word (the README lists them), how a row counts towards
// the exit code, and the exit code of a run.
#pragma once

#include "engine/Checksums.h"
#include "engine/Outcome.h"
#include "run/RunSequence.h"

#include <cstdint>

namespace sorvane {

// "success", "verified", ... for each status; "none" and "system_error"
// besides the reasons' own words.
const char* statusCode(ItemStatus status) noexcept;
const char* reasonCode(const Outcome& outcome) noexcept;
// "good", "changed", "missing", "unread", "damaged": a check's row.
const char* sumStateCode(SumState state) noexcept;

// What a row means for the exit code.
enum class RowWeight {
    Done,     // done as asked (a test run's "would delete" included)
    Policy,   // kept by a policy the user chose (read-only protection)
    Problem,  // failed, missing, or skipped for another reason
};
RowWeight rowWeight(const Outcome& outcome) noexcept;

// The rows of a run, counted by weight.
struct RowTally {
    uint32_t done = 0;
    uint32_t policy = 0;
    uint32_t problems = 0;
    uint32_t testOnly = 0; // of the done rows, a test run's
    void add(const Outcome& outcome) noexcept;
};

// The lines of a check, by state.
struct CheckCounts {
    uint64_t good = 0;
    uint64_t changed = 0;
    uint64_t missing = 0;
    uint64_t unread = 0;
    uint64_t damaged = 0;
    void add(SumState state) noexcept;
};

enum ExitCode : int {
    kExitDone = 0,      // every qualifying file done, or none qualified
    kExitProblems = 1,  // some files failed or were skipped for a reason other than a policy
    kExitRefused = 2,   // refused before the start: nothing was touched
    kExitCancelled = 3, // Ctrl+C or Ctrl+Break
    kExitInternal = 4,  // an internal error
};

// The exit code of a run that ended as `end`, with `tally` of its rows and
// `engineFailures` the engine's own count of files it did not do (which
// counts kept read-only files and a test run's files too). Never 0 when a
// file failed: a failure the rows did not show still makes it 1.
// `outputFailed`: the results files could not be written in full.
// The exit code of a check: 0 when every line was good, 1 otherwise,
// 3 when it was cancelled.
int checkExitCode(const CheckCounts& counts, bool cancelled, bool outputFailed) noexcept;

int exitCodeFor(RunEnd end, const RowTally& tally, uint32_t engineFailures, bool outputFailed) noexcept;

} // namespace sorvane
