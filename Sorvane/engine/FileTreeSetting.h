// The record of one filter operation: which operation, which sources, which
// target, which files qualify and how existing targets are treated, plus the
// run state that the engine and the worker fill while it runs.
#pragma once

#include <windows.h>

#include "engine/FileIdentity.h"

#include <atomic>
#include <cstdint>

namespace sorvane {

class IProgressSink;
class ILogSink;
class RecycleBatch;
class WrittenNames;
class WrittenFolder;
class IFileCollector;
class IPlanSink;
struct ListingRecord;

// Operation kinds (low seven bits of FILE_TREE_SETTING::operation).
enum OperationKind : uint32_t {
    kOperationCopy = 0,
    kOperationMove = 1,
    kOperationCompress = 2,
    kOperationDelete = 3,
};
// Set in `operation` by the worker while it makes its counting pass.
constexpr uint32_t kCountingPassFlag = 0x80;

constexpr size_t kRunPathCapacity = 32768;   // sources and target buffers
constexpr size_t kPatternCapacity = 520;     // pattern list (519 + terminator)

// Size classes of the size filter.
enum SizeClass : uint32_t {
    kSizeAny = 0,
    kSizeSmall = 1,    // under 100 KB
    kSizeMiddle = 2,   // under 1 MB (small files included)
    kSizeLarge = 3,    // 1 MB and more
    kSizeSpecified = 4 // against sizeLimitKB, as a minimum or a maximum
};

// What a copy or move does with a target that is there already.
enum class OverwritePolicy : uint32_t {
    Always = 0,   // "Without condition."
    IfNewer = 1,  // "If the source is newer."
    Never = 2,    // "Never."
};

// How a compress run writes its archive.
enum class ArchiveMode : uint32_t {
    New = 0,       // made anew, taking the old one's place when complete
    AddNewer = 1,  // files newer than their members are added
    Add = 2,       // every file is added
};

// The self-extracting archive a compress run makes of its archive.
struct SelfExtractor {
    bool make = false;
    bool noSetupDialog = false; // extracts without asking where
    bool english = false;       // its texts in English
};

// The size filter: a class, and for kSizeSpecified its limit.
struct SizeFilter {
    SizeClass sizeClass = kSizeAny;
    bool limitIsMaximum = false; // the limit is a maximum, else a minimum
    uint32_t limitKB = 0;
};

// One record serves every operation, and some of its fields mean different
// things for each (the overwrite field is the policy of a copy or move,
// the Recycle Bin of a delete, the archive mode of a compress; the size
// class holds the self-extractor's flags of a compress). The fields keep
// their values, which the command line and the hand-off rely on; code
// reads and writes them through the accessors for its operation only.
class FILE_TREE_SETTING {
public:
    FILE_TREE_SETTING();
    FILE_TREE_SETTING(const FILE_TREE_SETTING& other);
    FILE_TREE_SETTING& operator=(const FILE_TREE_SETTING& other);
    virtual ~FILE_TREE_SETTING();

    uint32_t kind() const noexcept { return operation & 0x7F; }
    bool isCountingPass() const noexcept { return (operation & kCountingPassFlag) != 0; }

    // Copies text into sources/target (at most 32767 characters; a missing
    // buffer is left alone) and patterns (at most 519).
    void setSources(const wchar_t* text);
    void setTarget(const wchar_t* text);
    void setPatterns(const wchar_t* text);

    // Copy and move.
    OverwritePolicy overwritePolicy() const noexcept;
    void setOverwritePolicy(OverwritePolicy policy) noexcept;
    // Delete.
    bool deleteToRecycleBin() const noexcept { return overwrite == 1; }
    void setDeleteToRecycleBin(bool recycle) noexcept { overwrite = recycle ? 1 : 0; }
    // Compress.
    ArchiveMode archiveMode() const noexcept;
    void setArchiveMode(ArchiveMode mode) noexcept { overwrite = static_cast<uint32_t>(mode); }
    SelfExtractor selfExtractor() const noexcept;
    void setSelfExtractor(const SelfExtractor& extractor) noexcept;
    // Copy, move and delete (a compress run's size class holds its
    // self-extractor's flags).
    SizeFilter sizeFilter() const noexcept;
    void setSizeFilter(const SizeFilter& filter) noexcept;

    // User settings. `operation` carries the counting-pass flag, which the
    // user-interface thread reads (context help) while the worker sets it.
    std::atomic<uint32_t> operation{0};
    wchar_t* sources = nullptr;       // owned, kRunPathCapacity units
    wchar_t* target = nullptr;        // owned, kRunPathCapacity units
    wchar_t patterns[kPatternCapacity] = {};
    uint32_t includeSubfolders = 1;
    uint32_t excludePatterns = 0;
    uint32_t timeMode = 0;
    FILETIME timeFrom = {};
    FILETIME timeTo = {};
    uint32_t sizeClass = 0;
    uint32_t sizeLimitIsMaximum = 0;
    uint32_t sizeLimitKB = 0;
    uint32_t overwrite = 0;
    uint32_t protectReadOnly = 0;
    uint32_t testOnly = 0;
    uint32_t cloneTree = 0;
    // Copies are read back from the disk and compared with their sources
    // before they take the target's name (and before a move lets its
    // source go). The dialog proposes it for a move, not for a copy.
    uint32_t verifyCopies = 0;
    // With verified copies: the run writes a checksum file of them into the
    // target folder (the dialog's choice; the console names its own file).
    uint32_t writeChecksums = 0;

    // Run state. The worker writes the counters and byte totals while the
    // user-interface thread reads them, and the user-interface thread sets
    // `cancel` while the worker polls it: these are atomics, so that the
    // two threads never race on them.
    IProgressSink* progress = nullptr;
    ILogSink* log = nullptr;
    IFileCollector* collector = nullptr; // compress: takes the qualifying files
    // Set by planSourceList for its walk: a counting pass that also tells
    // each decision here and makes nothing (no cloned folder either).
    IPlanSink* plan = nullptr;
    std::atomic<uint32_t> cancel{0};
    uint32_t sameVolume = 0;
    uint32_t movesByRename = 0; // a move's files are renamed, as far as a plan can tell (see movesByRename)
    // The counting pass judged `sameVolume`; its executing pass keeps it.
    // Never copied: it belongs to the run that judged it.
    bool volumesJudged = false;
    std::atomic<uint32_t> scannedFiles{0};
    std::atomic<uint32_t> totalFiles{0};
    std::atomic<uint32_t> completedFiles{0};
    std::atomic<uint32_t> failedFiles{0};
    std::atomic<uint32_t> countedFolders{0};
    std::atomic<uint32_t> failedFolders{0};
    std::atomic<uint32_t> verifiedFiles{0}; // completed files whose copy was read back and found equal
    std::atomic<uint32_t> skippedLinks{0};  // links met inside selected folders and left alone
    std::atomic<uint64_t> totalBytes{0};
    std::atomic<uint64_t> doneBytes{0};
    uint64_t currentFileBytes = 0;
    int64_t neededBytes = 0;
    // The most room the run needs at any moment of the executing pass: a
    // replacement is written beside the old target, so both exist at once.
    int64_t neededPeakBytes = 0;
    FILETIME startTime = {};
    const ListingRecord* currentItem = nullptr;
    const ListingRecord* existingTarget = nullptr;
    // The run's target folder as a pass found it: its length in `target`
    // (with the trailing backslash) and its identity (unknown while it does
    // not exist), so that the walk never enters it as a source.
    uint32_t targetRootLength = 0;
    FileIdentity targetRoot;
    // The files of a delete to the Recycle Bin that wait to be sent
    // together, while the executing pass walks a folder; null otherwise.
    // Never copied: it belongs to the pass that made it.
    RecycleBatch* recycleBatch = nullptr;
    // The names the executing pass of a copy or move has written, per
    // target folder, and the record of the target folder in hand (looked
    // up when its first file is written). Never copied, as the batch.
    WrittenNames* writtenNames = nullptr;
    WrittenFolder* targetFolderNames = nullptr;
    bool targetFolderLooked = false;

private:
    void allocateBuffers();
    void copyFrom(const FILE_TREE_SETTING& other);
};

// The filter predicates, applied to files only, in this order.
// Time: with timeMode 1, the last-write time must lie in [timeFrom, timeTo].
bool passesTimeFilter(const FILE_TREE_SETTING& settings, const FILETIME& lastWrite);
// Size: by the size class (see SizeClass); KB is the size shifted right by 10.
bool passesSizeFilter(const FILE_TREE_SETTING& settings, uint64_t sizeBytes);
// Pattern list: kept when the match result differs from excludePatterns.
bool passesPatternFilter(const FILE_TREE_SETTING& settings, const wchar_t* fileName);

// Copies at most capacity - 1 units of `source` and terminates (capacity > 0).
void boundedCopy(wchar_t* destination, const wchar_t* source, size_t capacity);

} // namespace sorvane
