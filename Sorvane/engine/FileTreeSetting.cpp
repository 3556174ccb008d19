#include "engine/FileTreeSetting.h"

#include "engine/FileTimes.h"
#include "engine/PatternMatch.h"

#include <cwchar>
#include <new>

namespace sorvane {

namespace {

wchar_t* allocatePathBuffer()
{
    auto* buffer = new (std::nothrow) wchar_t[kRunPathCapacity];
    if (buffer) buffer[0] = L'\0';
    return buffer;
}

} // namespace

void boundedCopy(wchar_t* destination, const wchar_t* source, size_t capacity)
{
    if (!destination || capacity == 0) return;
    size_t i = 0;
    if (source) {
        for (; i + 1 < capacity && source[i]; ++i) destination[i] = source[i];
    }
    destination[i] = L'\0';
}

FILE_TREE_SETTING::FILE_TREE_SETTING() { allocateBuffers(); }

FILE_TREE_SETTING::FILE_TREE_SETTING(const FILE_TREE_SETTING& other)
{
    allocateBuffers();
    copyFrom(other);
}

FILE_TREE_SETTING& FILE_TREE_SETTING::operator=(const FILE_TREE_SETTING& other)
{
    if (this != &other) {
        allocateBuffers();
        copyFrom(other);
    }
    return *this;
}

FILE_TREE_SETTING::~FILE_TREE_SETTING()
{
    delete[] sources;
    delete[] target;
}

void FILE_TREE_SETTING::allocateBuffers()
{
    if (!sources) sources = allocatePathBuffer();
    if (!target) target = allocatePathBuffer();
}

void FILE_TREE_SETTING::setSources(const wchar_t* text) { boundedCopy(sources, text, kRunPathCapacity); }
void FILE_TREE_SETTING::setTarget(const wchar_t* text) { boundedCopy(target, text, kRunPathCapacity); }
void FILE_TREE_SETTING::setPatterns(const wchar_t* text) { boundedCopy(patterns, text, kPatternCapacity); }

void FILE_TREE_SETTING::copyFrom(const FILE_TREE_SETTING& other)
{
    setSources(other.sources); // a null source buffer copies as an empty text
    setTarget(other.target);
    operation = other.operation.load();
    setPatterns(other.patterns);
    includeSubfolders = other.includeSubfolders;
    excludePatterns = other.excludePatterns;
    timeMode = other.timeMode;
    timeFrom = other.timeFrom;
    timeTo = other.timeTo;
    sizeClass = other.sizeClass;
    sizeLimitIsMaximum = other.sizeLimitIsMaximum;
    sizeLimitKB = other.sizeLimitKB;
    overwrite = other.overwrite;
    protectReadOnly = other.protectReadOnly;
    testOnly = other.testOnly;
    cloneTree = other.cloneTree;
    verifyCopies = other.verifyCopies;
    writeChecksums = other.writeChecksums;
    progress = other.progress;
    log = other.log;
    collector = other.collector;
    cancel = other.cancel.load();
    sameVolume = other.sameVolume;
    movesByRename = other.movesByRename;
    volumesJudged = false; // the copy's run judges its volumes itself
    scannedFiles = other.scannedFiles.load();
    totalFiles = other.totalFiles.load();
    completedFiles = other.completedFiles.load();
    failedFiles = other.failedFiles.load();
    countedFolders = other.countedFolders.load();
    failedFolders = other.failedFolders.load();
    verifiedFiles = other.verifiedFiles.load();
    skippedLinks = other.skippedLinks.load();
    totalBytes = other.totalBytes.load();
    doneBytes = other.doneBytes.load();
    currentFileBytes = other.currentFileBytes;
    neededBytes = other.neededBytes;
    neededPeakBytes = other.neededPeakBytes;
    startTime = other.startTime;
    currentItem = other.currentItem;
    existingTarget = other.existingTarget;
    targetRootLength = other.targetRootLength;
    targetRoot = other.targetRoot;
}

OverwritePolicy FILE_TREE_SETTING::overwritePolicy() const noexcept
{
    // A value no dialog writes replaces nothing it was not asked to.
    return overwrite <= 2 ? static_cast<OverwritePolicy>(overwrite) : OverwritePolicy::Never;
}

void FILE_TREE_SETTING::setOverwritePolicy(OverwritePolicy policy) noexcept { overwrite = static_cast<uint32_t>(policy); }

ArchiveMode FILE_TREE_SETTING::archiveMode() const noexcept
{
    return overwrite <= 2 ? static_cast<ArchiveMode>(overwrite) : ArchiveMode::AddNewer;
}

SelfExtractor FILE_TREE_SETTING::selfExtractor() const noexcept
{
    SelfExtractor extractor;
    extractor.make = sizeLimitIsMaximum != 0;
    extractor.noSetupDialog = (sizeClass & 1) != 0;
    extractor.english = (sizeClass & 2) != 0;
    return extractor;
}

void FILE_TREE_SETTING::setSelfExtractor(const SelfExtractor& extractor) noexcept
{
    sizeLimitIsMaximum = extractor.make ? 1 : 0;
    sizeClass = (extractor.noSetupDialog ? 1u : 0u) | (extractor.english ? 2u : 0u);
}

SizeFilter FILE_TREE_SETTING::sizeFilter() const noexcept
{
    SizeFilter filter;
    filter.sizeClass = sizeClass <= kSizeSpecified ? static_cast<SizeClass>(sizeClass) : kSizeAny;
    filter.limitIsMaximum = sizeLimitIsMaximum == 1;
    filter.limitKB = sizeLimitKB;
    return filter;
}

void FILE_TREE_SETTING::setSizeFilter(const SizeFilter& filter) noexcept
{
    sizeClass = filter.sizeClass;
    sizeLimitIsMaximum = filter.limitIsMaximum ? 1 : 0;
    sizeLimitKB = filter.limitKB;
}

bool passesTimeFilter(const FILE_TREE_SETTING& settings, const FILETIME& lastWrite)
{
    if (settings.timeMode != 1) return true;
    const uint64_t t = fileTimeValue(lastWrite);
    return t >= fileTimeValue(settings.timeFrom) && t <= fileTimeValue(settings.timeTo);
}

bool passesSizeFilter(const FILE_TREE_SETTING& settings, uint64_t sizeBytes)
{
    const uint64_t kb = sizeBytes >> 10;
    const SizeFilter filter = settings.sizeFilter();
    switch (filter.sizeClass) {
    case kSizeAny: return true;
    case kSizeSmall: return kb < 100;
    case kSizeMiddle: return kb < 1024;
    case kSizeLarge: return kb >= 1024;
    case kSizeSpecified: return filter.limitIsMaximum ? kb < filter.limitKB : kb >= filter.limitKB;
    }
    return true;
}

bool passesPatternFilter(const FILE_TREE_SETTING& settings, const wchar_t* fileName)
{
    const bool matches = matchPatternList(fileName, settings.patterns);
    return static_cast<uint32_t>(matches) != settings.excludePatterns;
}

} // namespace sorvane
