// Verified copies through the real engine: the unbuffered reads and the
// check of their alignment, the engine's own copy loop (what it carries,
// and the copy routine for what it does not), copies and moves of trees
// read back and compared (rows, totals, the bytes the progress display
// counts), copies damaged on disk between the copy and the read-back (a
// retry, then a "Failed" row with the old target and the source
// untouched), a cancel during the read-back, and "same volume" told by the
// volumes' serial numbers rather than by the drive letter.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "common/Raii.h"
#include "engine/AlignedReader.h"
#include "engine/Listing.h"
#include "engine/VerifiedCopy.h"
#include "engine/VolumeIdentity.h"

#include <atomic>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>

using namespace sorvane;
using namespace sorvane::test;

namespace {

// ------------------------------------------------------------ unbuffered reads

// The options a handle was opened with, as the system keeps them
// (NtQueryInformationFile, FileModeInformation).
constexpr ULONG kSequentialOnly = 0x4;          // FILE_SEQUENTIAL_ONLY
constexpr ULONG kNoIntermediateBuffering = 0x8; // FILE_NO_INTERMEDIATE_BUFFERING
ULONG openModeOf(HANDLE file)
{
    struct IoStatus {
        LONG_PTR status;
        ULONG_PTR information;
    };
    using Query = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    IoStatus io = {};
    ULONG mode = 0;
    if (!query || query(file, &io, &mode, sizeof(mode), 16 /* FileModeInformation */) != 0) return 0;
    return mode;
}

TEST(AlignedRead, EveryBreachOfTheAlignmentIsRefusedBeforeAnythingIsReadOrWritten)
{
    TempFolder root;
    const std::wstring path = root / L"data.bin";
    ASSERT_TRUE(writeBytes(path, contentFor(L"data", 20000)));
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_NO_BUFFERING, nullptr));
    ASSERT_TRUE(file);
    AlignedBuffer buffer(3 * 4096);
    ASSERT_TRUE(buffer);
    auto* bytes = static_cast<unsigned char*>(buffer.data());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 4096, 0u) << "page-aligned";

    struct Breach {
        const char* what;
        void* buffer;
        uint64_t offset;
        DWORD length;
        DWORD sector;
    } breaches[] = {
        {"buffer one byte off", bytes + 1, 0, 4096, 4096},
        {"buffer off by half a sector", bytes + 2048, 0, 4096, 4096},
        {"offset not a multiple", bytes, 512, 4096, 4096},
        {"length not a multiple", bytes, 0, 5000, 4096},
        {"tail asked for by its exact length", bytes, 16384, 20000 - 16384, 4096},
        {"zero length", bytes, 0, 0, 4096},
        {"sector size no power of two", bytes, 0, 3000, 3000},
        {"sector size zero", bytes, 0, 4096, 0},
        {"512-byte sectors, offset off", bytes, 100, 512, 512},
    };
    for (const auto& breach : breaches) {
        SCOPED_TRACE(breach.what);
        std::memset(bytes, 0xAB, buffer.size());
        const uint64_t before = alignmentViolations();
        DWORD read = 12345;
        EXPECT_EQ(readAligned(file.get(), breach.buffer, breach.offset, breach.length, breach.sector, read),
                  kAlignmentViolation);
        EXPECT_EQ(read, 0u);
        EXPECT_EQ(alignmentViolations(), before + 1) << "each refusal is counted";
        for (size_t i = 0; i < buffer.size(); ++i) {
            if (bytes[i] != 0xAB) {
                ADD_FAILURE() << "the buffer was written at " << i;
                break;
            }
        }
    }

    // Unbuffered writes are held to the same rule: nothing of a refused one
    // reaches the file.
    const std::wstring written = root / L"written.bin";
    UniqueFile out(::CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_NO_BUFFERING, nullptr));
    ASSERT_TRUE(out);
    for (const auto& breach : breaches) {
        SCOPED_TRACE(breach.what);
        const uint64_t before = alignmentViolations();
        EXPECT_EQ(writeAligned(out.get(), breach.buffer, breach.offset, breach.length, breach.sector),
                  kAlignmentViolation);
        EXPECT_EQ(alignmentViolations(), before + 1);
    }
    ASSERT_EQ(writeAligned(out.get(), bytes, 4096, 8192, 4096), 0u) << "an aligned write goes through";
    out.reset();
    EXPECT_EQ(readBytes(written).size(), 3u * 4096) << "only the aligned write reached the file";

    // Aligned reads go through, also the whole last block of a file whose
    // end is not a sector's: the read returns the short count.
    const std::string content = contentFor(L"data", 20000);
    const uint64_t before = alignmentViolations();
    DWORD read = 0;
    ASSERT_EQ(readAligned(file.get(), bytes, 0, 8192, 4096, read), 0u);
    EXPECT_EQ(read, 8192u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), read), content.substr(0, 8192));
    ASSERT_EQ(readAligned(file.get(), bytes, 16384, 3 * 4096, 4096, read), 0u);
    EXPECT_EQ(read, 20000u - 16384u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), read), content.substr(16384));
    ASSERT_EQ(readAligned(file.get(), bytes, 24576, 4096, 4096, read), 0u);
    EXPECT_EQ(read, 0u) << "past the end: nothing, and no error";
    EXPECT_EQ(alignmentViolations(), before);
}

TEST(AlignedRead, ReaderReadsWholeFilesInAlignedChunksOfTheSectorSize)
{
    TempFolder root;
    const DWORD sector = [&] {
        UniqueFile probe(::CreateFileW(root.path().c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return sectorSizeOf(probe.get(), root.path().c_str());
    }();
    EXPECT_TRUE(sector >= 512 && sector <= 65536 && (sector & (sector - 1)) == 0) << sector;

    const uint64_t before = alignmentViolations();
    for (size_t size : {size_t{0}, size_t{1}, size_t{511}, size_t{4096}, size_t{4097}, size_t{1024 * 1024},
                        size_t{3 * 1024 * 1024 + 5}}) {
        SCOPED_TRACE(size);
        const std::wstring path = root / (L"f" + std::to_wstring(size));
        const std::string content = contentFor(path, size);
        ASSERT_TRUE(writeBytes(path, content));
        // Everything the reader gives, with every chunk's address checked.
        const auto readAll = [&](std::string& got) {
            UnbufferedReader reader;
            ASSERT_EQ(reader.open(path.c_str(), size, 1024 * 1024), 0u);
            EXPECT_EQ(openModeOf(reader.handle()) & (kNoIntermediateBuffering | kSequentialOnly),
                      kNoIntermediateBuffering | kSequentialOnly)
                << "the system cache is bypassed";
            EXPECT_EQ(reader.chunkSize() % reader.sectorSize(), 0u);
            EXPECT_GT(reader.chunkSize(), size < 1024 * 1024 ? size : 0) << "a small file ends in its first read";
            for (int reads = 0;; ++reads) {
                const void* data = nullptr;
                DWORD length = 0;
                ASSERT_EQ(reader.next(data, length), 0u);
                EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % reader.sectorSize(), 0u);
                if (length == 0) break;
                got.append(static_cast<const char*>(data), length);
                ASSERT_LT(reads, 10);
            }
        };
        std::string got;
        readAll(got);
        EXPECT_EQ(got, content);
        // The size is only a hint: a longer file is read to its end.
        ASSERT_TRUE(writeBytes(path, content + "more"));
        got.clear();
        readAll(got);
        EXPECT_EQ(got, content + "more");
    }
    EXPECT_EQ(alignmentViolations(), before) << "the reader never breaks the rule";
}

TEST(AlignedRead, HashIsXxh3Of128Bits)
{
    // The reference value of XXH3-128 (seed 0) of no bytes.
    const Digest128 empty = hashBytes("", 0);
    EXPECT_EQ(empty.high, 0x99AA06D3014798D8ull);
    EXPECT_EQ(empty.low, 0x6001C324468D497Full);
    EXPECT_NE(hashBytes("a", 1), hashBytes("b", 1));
}

// ------------------------------------------------------------ the engine

// A fault between the copy and its read-back: the hook changes the
// temporary copy on disk through a handle of its own.
enum class Damage { None, FlipByte, Truncate, Append, Delete };
std::atomic<int> g_damageFirstAttempts{0}; // how many attempts (from 0) are damaged
std::atomic<Damage> g_damage{Damage::None};
std::atomic<int> g_hookCalls{0};
std::atomic<int> g_deletesRefused{0};
std::wstring g_lastTemporary;

void damageCopy(const wchar_t* temporary, unsigned attempt)
{
    ++g_hookCalls;
    g_lastTemporary = temporary;
    if (static_cast<int>(attempt) >= g_damageFirstAttempts) return;
    if (g_damage == Damage::Delete) {
        if (!::DeleteFileW(temporary)) ++g_deletesRefused;
        return;
    }
    // Shared for the engine's own loop, which holds its copy open for the
    // read-back.
    UniqueFile file(::CreateFileW(temporary, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file) return;
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file.get(), &size);
    DWORD done = 0;
    switch (g_damage.load()) {
    case Damage::FlipByte: {
        LARGE_INTEGER at;
        at.QuadPart = size.QuadPart / 2;
        unsigned char byte = 0;
        ::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
        ::ReadFile(file.get(), &byte, 1, &done, nullptr);
        byte ^= 0x10;
        ::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
        ::WriteFile(file.get(), &byte, 1, &done, nullptr);
        break;
    }
    case Damage::Truncate: {
        LARGE_INTEGER at;
        at.QuadPart = size.QuadPart - 1;
        ::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file.get());
        break;
    }
    case Damage::Append: {
        LARGE_INTEGER end = {};
        ::SetFilePointerEx(file.get(), end, nullptr, FILE_END);
        ::WriteFile(file.get(), "x", 1, &done, nullptr);
        break;
    }
    default: break;
    }
}

// The system's routines without the engine's own loop: every verified copy
// is made by the copy routine.
FileCopyRoutines routineWithoutTheLoop()
{
    return {systemCopyRoutines().copyFileEx, systemCopyRoutines().moveFileWithProgress, nullptr};
}

class Verified : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(src().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(dst().c_str(), nullptr));
        g_damage = Damage::None;
        g_damageFirstAttempts = 0;
        g_hookCalls = 0;
        setReadBackFaultHook(damageCopy);
    }
    void TearDown() override { setReadBackFaultHook(nullptr); }
    std::wstring src() const { return root / L"src"; }
    std::wstring dst() const { return root / L"dst"; }
    std::wstring src(const std::wstring& name) const { return src() + L"\\" + name; }
    std::wstring dst(const std::wstring& name) const { return dst() + L"\\" + name; }

    // A tree of files of many sizes (across the read-back's chunks) below `folder`.
    std::map<std::wstring, std::string> tree(const std::wstring& folder)
    {
        std::map<std::wstring, std::string> files = {
            {L"empty.txt", ""},
            {L"small.txt", contentFor(L"small", 17)},
            {L"sector.bin", contentFor(L"sector", 4096)},
            {L"sub\\odd.bin", contentFor(L"odd", 70001)},
            {L"sub\\deep\\large.bin", contentFor(L"large", 2 * 1024 * 1024 + 3)},
        };
        ::CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
        ::CreateDirectoryW((folder + L"\\sub\\deep").c_str(), nullptr);
        for (const auto& [name, bytes] : files) EXPECT_TRUE(writeBytes(folder + L"\\" + name, bytes));
        return files;
    }
    static uint64_t bytesOf(const std::map<std::wstring, std::string>& files)
    {
        uint64_t total = 0;
        for (const auto& [name, bytes] : files) total += bytes.size();
        return total;
    }

    TempFolder root;
};

TEST_F(Verified, CopyOfATreeIsReadBackAndSaysSoInEveryRowAndTheTotals)
{
    const auto files = tree(src());
    EngineRun run(kOperationCopy);
    run.settings.verifyCopies = 1;
    run.settings.setSources(sourceList(src(), {L"empty.txt", L"small.txt", L"sector.bin", L"sub"}).c_str());
    run.settings.setTarget(dst().c_str());
    uint64_t seenDuringReadBack = 0;
    run.progress.onUpdate = [&](bool duringCopy) {
        // Bytes beyond a file's size are its read-back.
        if (duringCopy && run.settings.currentFileBytes > 0 && run.settings.currentItem &&
            run.settings.currentFileBytes > run.settings.currentItem->size) {
            ++seenDuringReadBack;
        }
    };
    run.counting();
    EXPECT_EQ(run.settings.totalBytes, 2 * bytesOf(files)) << "written once, read back once";
    run.executing();

    for (const auto& [name, bytes] : files) EXPECT_EQ(readBytes(dst(name)), bytes) << name.c_str();
    EXPECT_EQ(run.settings.completedFiles, files.size());
    EXPECT_EQ(run.settings.verifiedFiles, files.size());
    EXPECT_EQ(run.settings.failedFiles, 0u);
    EXPECT_EQ(run.log.count(kStatusVerified), files.size());
    EXPECT_EQ(run.log.count(kStatusSuccess), 0u) << "a verified file's row says so";
    EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes) << "the bar ends full, never beyond";
    EXPECT_GT(seenDuringReadBack, 0u) << "the display follows the read-back";
    EXPECT_EQ(g_hookCalls, static_cast<int>(files.size())) << "one read-back per file";
    EXPECT_EQ(countTemporaries(dst()), 0u);
}

TEST_F(Verified, WithoutTheSettingNothingIsReadBack)
{
    const auto files = tree(src());
    EngineRun run(kOperationCopy);
    run.settings.setSources(sourceList(src(), {L"small.txt", L"sub"}).c_str());
    run.settings.setTarget(dst().c_str());
    run.both();
    EXPECT_EQ(run.settings.completedFiles, 3u);
    EXPECT_EQ(run.settings.verifiedFiles, 0u);
    EXPECT_EQ(run.log.count(kStatusSuccess), 3u);
    EXPECT_EQ(run.log.count(kStatusVerified), 0u);
    EXPECT_EQ(g_hookCalls, 0);
    EXPECT_EQ(run.settings.totalBytes, run.settings.doneBytes);
    EXPECT_EQ(run.settings.totalBytes, 17u + 70001u + 2 * 1024 * 1024 + 3);
}

TEST_F(Verified, MoveToAnotherVolumeIsVerifiedAndAMoveWithinOneIsARename)
{
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid()) << "Z:\\dev\\shm is not there";
    const auto files = tree(src());

    EngineRun across(kOperationMove);
    across.settings.verifyCopies = 1;
    across.settings.setSources(sourceList(src(), {L"small.txt", L"sector.bin", L"sub"}).c_str());
    across.settings.setTarget(other.path().c_str());
    across.counting();
    EXPECT_EQ(across.settings.sameVolume, 0u);
    const uint64_t moved = 17 + 4096 + 70001 + 2 * 1024 * 1024 + 3;
    EXPECT_EQ(across.settings.totalBytes, 2 * moved);
    across.executing();
    EXPECT_EQ(across.settings.verifiedFiles, 4u);
    EXPECT_EQ(across.log.count(kStatusVerified), 4u);
    EXPECT_EQ(readBytes(other / L"sub\\deep\\large.bin"), files.at(L"sub\\deep\\large.bin"));
    EXPECT_FALSE(exists(src(L"sub\\deep\\large.bin"))) << "the source goes once its copy is proven";
    EXPECT_FALSE(exists(src(L"small.txt")));
    EXPECT_EQ(across.settings.doneBytes, across.settings.totalBytes);

    // Within one volume the file is renamed: nothing to read back.
    g_hookCalls = 0;
    ASSERT_TRUE(writeBytes(src(L"here.txt"), "here"));
    EngineRun within(kOperationMove);
    within.settings.verifyCopies = 1;
    within.settings.setSources(sourceList(src(), {L"here.txt", L"empty.txt"}).c_str());
    within.settings.setTarget(dst().c_str());
    within.counting();
    EXPECT_EQ(within.settings.sameVolume, 1u);
    EXPECT_EQ(within.settings.totalBytes, 4u) << "not doubled for a rename";
    within.executing();
    EXPECT_EQ(within.settings.completedFiles, 2u);
    EXPECT_EQ(within.settings.verifiedFiles, 0u);
    EXPECT_EQ(within.log.count(kStatusSuccess), 2u);
    EXPECT_EQ(g_hookCalls, 0);
    EXPECT_EQ(readBytes(dst(L"here.txt")), "here");
    EXPECT_EQ(within.settings.doneBytes, within.settings.totalBytes);
}

TEST_F(Verified, ACopyDamagedOnceIsMadeAgainAndPassesTheSecondTime)
{
    const std::string content = contentFor(L"once", 300000);
    for (Damage damage : {Damage::FlipByte, Damage::Truncate, Damage::Append, Damage::Delete}) {
        SCOPED_TRACE(static_cast<int>(damage));
        ASSERT_TRUE(writeBytes(src(L"a.bin"), content));
        ASSERT_TRUE(writeBytes(dst(L"a.bin"), "old target"));
        g_damage = damage;
        g_damageFirstAttempts = 1;
        g_hookCalls = 0;
        // Only a copy made by the copy routine can vanish before its
        // read-back: the engine's own loop holds its copy open until then.
        std::optional<RoutineOverride> routineOnly;
        if (damage == Damage::Delete) routineOnly.emplace(routineWithoutTheLoop());
        EngineRun run(kOperationCopy);
        run.settings.verifyCopies = 1;
        run.settings.setSources(sourceList(src(), {L"a.bin"}).c_str());
        run.settings.setTarget(dst().c_str());
        run.both();
        EXPECT_EQ(g_hookCalls, 2) << "the copy was made twice";
        EXPECT_EQ(readBytes(dst(L"a.bin")), content);
        EXPECT_EQ(run.settings.verifiedFiles, 1u);
        EXPECT_EQ(run.log.count(kStatusVerified), 1u);
        EXPECT_EQ(run.settings.failedFiles, 0u);
        EXPECT_FALSE(exists(g_lastTemporary));
        EXPECT_EQ(countTemporaries(dst()), 0u);
        // The discarded copy's bytes join the total: the bar still ends full.
        EXPECT_GT(run.settings.totalBytes, 2u * content.size());
        EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
    }
}

TEST_F(Verified, ACopyDamagedTwiceFailsAndLeavesTheTargetAndTheMovedSourceAsTheyWere)
{
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid());
    const std::string content = contentFor(L"twice", 150000);
    struct Case {
        uint32_t kind;
        bool otherVolume;
        Damage damage;
        UINT reason;
    } cases[] = {
        {kOperationCopy, false, Damage::FlipByte, kReasonVerifyFailed},
        {kOperationCopy, false, Damage::Truncate, kReasonVerifyFailed},
        {kOperationMove, true, Damage::FlipByte, kReasonVerifyFailed},
        {kOperationMove, true, Damage::Append, kReasonVerifyFailed},
        {kOperationMove, true, Damage::Delete, kReasonReadBackFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " damage " + std::to_string(static_cast<int>(c.damage)));
        const std::wstring target = c.otherVolume ? other.path() : dst();
        ASSERT_TRUE(writeBytes(src(L"a.bin"), content));
        ASSERT_TRUE(writeBytes(target + L"\\a.bin", "the old target"));
        g_damage = c.damage;
        g_damageFirstAttempts = 2;
        g_hookCalls = 0;
        std::optional<RoutineOverride> routineOnly;
        if (c.damage == Damage::Delete) routineOnly.emplace(routineWithoutTheLoop());
        EngineRun run(c.kind);
        run.settings.verifyCopies = 1;
        run.settings.setSources(sourceList(src(), {L"a.bin"}).c_str());
        run.settings.setTarget(target.c_str());
        run.both();
        EXPECT_EQ(g_hookCalls, 2) << "one retry, no more";
        EXPECT_EQ(readBytes(target + L"\\a.bin"), "the old target") << "the target's old content is intact";
        EXPECT_EQ(readBytes(src(L"a.bin")), content) << "the source is kept";
        EXPECT_EQ(countTemporaries(target), 0u);
        EXPECT_EQ(run.settings.failedFiles, 1u);
        EXPECT_EQ(run.settings.completedFiles, 0u);
        EXPECT_EQ(run.settings.verifiedFiles, 0u);
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
        EXPECT_EQ(run.log.rows[0].reason, c.reason);
        EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + target + L"\\a.bin");
        if (c.reason == kReasonReadBackFailed) {
            EXPECT_NE(run.log.rows[0].error, 0u) << "with the system's error";
        }
        EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
    }
}

TEST_F(Verified, CancelDuringTheReadBackFailsTheFileAndKeepsEverything)
{
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid());
    const std::string content = contentFor(L"big", 3 * 1024 * 1024 + 100);
    ASSERT_TRUE(writeBytes(src(L"big.bin"), content));
    ASSERT_TRUE(writeBytes(src(L"next.bin"), "next"));
    EngineRun run(kOperationMove);
    run.settings.verifyCopies = 1;
    run.settings.setSources(sourceList(src(), {L"big.bin", L"next.bin"}).c_str());
    run.settings.setTarget(other.path().c_str());
    run.counting();
    run.progress.onUpdate = [&](bool duringCopy) {
        if (duringCopy && run.settings.currentFileBytes > content.size() + 1024 * 1024) run.settings.cancel = 1;
    };
    run.executing();
    EXPECT_EQ(readBytes(src(L"big.bin")), content) << "the source stays";
    EXPECT_EQ(readBytes(src(L"next.bin")), "next") << "no further file starts";
    EXPECT_FALSE(exists(other / L"big.bin"));
    EXPECT_EQ(countTemporaries(other.path()), 0u);
    EXPECT_EQ(run.settings.failedFiles, 1u);
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
    EXPECT_EQ(run.log.rows[0].error, static_cast<DWORD>(ERROR_REQUEST_ABORTED));
}

// ------------------------------------------------------------ the engine's own copy loop

FILETIME lastWriteOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool sameTime(const FILETIME& a, const FILETIME& b) { return ::CompareFileTime(&a, &b) == 0; }

TEST(OwnCopyLoop, CarriesBytesAttributesAndLastWriteTimeAndHashesWhatItRead)
{
    TempFolder root;
    const std::map<std::wstring, std::string> files = {
        {L"empty", ""},
        {L"small", contentFor(L"small", 17)},
        {L"chunk", contentFor(L"chunk", 1024 * 1024)},
        {L"large", contentFor(L"large", 2 * 1024 * 1024 + 3)},
    };
    // (A Unix file system under Wine keeps no creation time of its own: only
    // the last-write time can be checked here.)
    const FILETIME created = fileTimeOf(2011, 3, 4);
    const FILETIME written = fileTimeOf(2012, 5, 6);
    for (const auto& [name, bytes] : files) {
        const std::wstring source = root / name;
        ASSERT_TRUE(writeBytes(source, bytes));
        UniqueFile file(::CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(::SetFileTime(file.get(), &created, nullptr, &written));
    }
    ASSERT_TRUE(::SetFileAttributesW((root / L"small").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    for (const auto& [name, bytes] : files) {
        EngineRun run(kOperationCopy);
        const std::wstring source = root / name;
        const std::wstring copy = root / (name + L".copy");
        VerifyResult result = {Verdict::Failed, 0};
        ASSERT_EQ(copyVerified(run.settings, source.c_str(), copy.c_str(), bytes.size(), 2 * bytes.size(), 0, result),
                  0u)
            << name.c_str();
        EXPECT_EQ(result.verdict, Verdict::Equal) << name.c_str();
        EXPECT_EQ(readBytes(copy), bytes) << name.c_str() << ": the last sector cut back to the length";
        EXPECT_EQ(run.settings.doneBytes, 2 * bytes.size()) << "written once and read back once";
        EXPECT_TRUE(sameTime(lastWriteOf(copy), written)) << name.c_str();
        EXPECT_EQ(::GetFileAttributesW(copy.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                  ::GetFileAttributesW(source.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
            << name.c_str();
    }
}

TEST(OwnCopyLoop, NeverWritesOverAFileLeavesLargeFilesToTheRoutineAndStopsOnCancel)
{
    TempFolder root;
    const std::string content = contentFor(L"source", 3 * 1024 * 1024);
    ASSERT_TRUE(writeBytes(root / L"source", content));
    ASSERT_TRUE(writeBytes(root / L"there", "already there"));
    EngineRun run(kOperationCopy);
    VerifyResult result = {Verdict::Failed, 0};
    const DWORD onto = copyVerified(run.settings, (root / L"source").c_str(), (root / L"there").c_str(),
                                    content.size(), 2 * content.size(), 0, result);
    EXPECT_TRUE(onto == ERROR_FILE_EXISTS || onto == ERROR_ALREADY_EXISTS) << onto;
    EXPECT_EQ(readBytes(root / L"there"), "already there");

    // A large file is left to the copy routine, before anything is made.
    EXPECT_EQ(copyVerified(run.settings, (root / L"source").c_str(), (root / L"large").c_str(), 64 * 1024 * 1024,
                           128 * 1024 * 1024, 0, result),
              kNeedsSystemCopy);
    EXPECT_FALSE(exists(root / L"large"));

    run.progress.onUpdate = [&](bool) { run.settings.cancel = 1; };
    EXPECT_EQ(copyVerified(run.settings, (root / L"source").c_str(), (root / L"partial").c_str(), content.size(),
                           2 * content.size(), 0, result),
              static_cast<DWORD>(ERROR_REQUEST_ABORTED));
    EXPECT_LT(run.settings.doneBytes, content.size()) << "stopped after the first chunk";
}

// Counts the verified copies made by each way.
std::atomic<int> g_systemCopies{0};
std::atomic<int> g_loopCopies{0};
BOOL WINAPI countedSystemCopy(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                              DWORD flags)
{
    ++g_systemCopies;
    return systemCopyRoutines().copyFileEx(source, target, progress, data, cancel, flags);
}
DWORD countedLoop(FILE_TREE_SETTING& settings, const wchar_t* source, const wchar_t* copy, uint64_t size,
                  uint64_t allowance, unsigned attempt, VerifyResult& result)
{
    ++g_loopCopies;
    return systemCopyRoutines().copyVerified(settings, source, copy, size, allowance, attempt, result);
}
// As the loop answers for a file with named streams or extended attributes.
DWORD loopDeclines(FILE_TREE_SETTING&, const wchar_t*, const wchar_t*, uint64_t, uint64_t, unsigned, VerifyResult&)
{
    ++g_loopCopies;
    return kNeedsSystemCopy;
}

TEST_F(Verified, PlainFilesGoThroughTheOwnLoopOthersThroughTheCopyRoutineAndAllAreReadBack)
{
    const auto files = tree(src());
    const std::wstring sources = sourceList(src(), {L"empty.txt", L"small.txt", L"sector.bin", L"sub"});
    for (const bool declined : {false, true}) {
        removeTree(dst());
        ASSERT_TRUE(::CreateDirectoryW(dst().c_str(), nullptr));
        g_systemCopies = g_loopCopies = g_hookCalls = 0;
        // A copy damaged once is made again the same way.
        g_damage = Damage::FlipByte;
        g_damageFirstAttempts = 1;
        RoutineOverride routines(
            {countedSystemCopy, systemCopyRoutines().moveFileWithProgress, declined ? loopDeclines : countedLoop});
        EngineRun run(kOperationCopy);
        run.settings.verifyCopies = 1;
        run.settings.setSources(sources.c_str());
        run.settings.setTarget(dst().c_str());
        run.both();
        const int count = static_cast<int>(files.size());
        // Every first copy is damaged (the empty one gains a byte): two of each.
        EXPECT_EQ(g_loopCopies, 2 * count) << (declined ? "asked, and declined" : "made by the loop");
        EXPECT_EQ(g_systemCopies, declined ? 2 * count : 0);
        EXPECT_EQ(g_hookCalls, 2 * count);
        for (const auto& [name, bytes] : files) EXPECT_EQ(readBytes(dst(name)), bytes) << name.c_str();
        EXPECT_EQ(run.settings.verifiedFiles, files.size());
        EXPECT_EQ(run.log.count(kStatusVerified), files.size());
        EXPECT_EQ(countTemporaries(dst()), 0u);
    }
}

TEST_F(Verified, TheOwnLoopHoldsItsCopyOpenSoItCannotVanishBeforeItsReadBack)
{
    const std::string content = contentFor(L"held", 5000);
    ASSERT_TRUE(writeBytes(src(L"a.bin"), content));
    g_damage = Damage::Delete;
    g_damageFirstAttempts = 1;
    g_deletesRefused = 0;
    EngineRun run(kOperationCopy);
    run.settings.verifyCopies = 1;
    run.settings.setSources(sourceList(src(), {L"a.bin"}).c_str());
    run.settings.setTarget(dst().c_str());
    run.both();
    EXPECT_EQ(g_deletesRefused, 1) << "the delete was refused";
    EXPECT_EQ(g_hookCalls, 1) << "so the first copy was read back and kept";
    EXPECT_EQ(readBytes(dst(L"a.bin")), content);
    EXPECT_EQ(run.settings.verifiedFiles, 1u);
}

// ------------------------------------------------------------ same volume

// A scratch folder in Z:\tmp, reached through Wine's Z: drive only. No
// drive letter is mapped onto it: Wine's mount manager answers a volume
// serial number of 0 for a while after a mapping changes, which would make
// this test about the mapping rather than about the volumes.
class UnixTmpFolder {
public:
    UnixTmpFolder() : folder_(L"Z:\\tmp\\" + uniqueScratchName(L"volume"))
    {
        if (!::CreateDirectoryW(folder_.c_str(), nullptr)) folder_.clear();
    }
    ~UnixTmpFolder()
    {
        if (!folder_.empty()) removeTree(folder_);
    }
    UnixTmpFolder(const UnixTmpFolder&) = delete;
    UnixTmpFolder& operator=(const UnixTmpFolder&) = delete;
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_;
};

TEST(SameVolume, ToldByTheVolumeSerialNumberNotByTheDriveLetter)
{
    // Z:\tmp and Z:\dev\shm: one drive letter, two file systems.
    UnixTmpFolder tmp;
    OtherVolumeFolder shm;
    ASSERT_FALSE(tmp.folder().empty());
    ASSERT_TRUE(shm.valid());
    ASSERT_EQ(tmp.folder().rfind(L"Z:\\tmp\\", 0), 0u);
    // Wine answers some volumes' serial numbers with 0 (no answer) at some
    // times and not at others (its mount manager); such a volume is unknown
    // and must count as another volume. What the test can rely on is
    // checked always; the rest where Wine gave the serial numbers.
    uint32_t tmpSerial = 0;
    uint32_t shmSerial = 0;
    const bool tmpKnown = readVolumeSerial(tmp.folder().c_str(), tmpSerial);
    const bool shmKnown = readVolumeSerial(shm.path().c_str(), shmSerial);
    ::testing::Test::RecordProperty("tmp_serial_known", tmpKnown ? "yes" : "no");
    ::testing::Test::RecordProperty("shm_serial_known", shmKnown ? "yes" : "no");
    if (tmpKnown) {
        EXPECT_NE(tmpSerial, 0u) << "0 is no answer";
    }
    if (tmpKnown && shmKnown) {
        EXPECT_NE(tmpSerial, shmSerial);
    }
    EXPECT_FALSE(onSameVolume(tmp.folder().c_str(), shm.path().c_str()));
    // Other spellings of the same places give the same serial numbers.
    uint32_t other = 0;
    if (tmpKnown && readVolumeSerial(L"Z:\\tmp", other)) {
        EXPECT_EQ(other, tmpSerial);
    }
    if (tmpKnown && readVolumeSerial((L"\\\\?\\" + tmp.folder()).c_str(), other)) {
        EXPECT_EQ(other, tmpSerial);
    }
    // A place still to be made is on the volume of the folder above it.
    if (shmKnown && readVolumeSerial((shm.path() + L"\\not\\there\\yet\\").c_str(), other)) {
        EXPECT_EQ(other, shmSerial);
    }
    EXPECT_FALSE(onSameVolume(L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\x", tmp.folder().c_str()))
        << "unknown counts as another volume";

    // The counting pass of a move from Z:\tmp to Z:\dev\shm: the moved
    // bytes need room there, and with verification they are read back.
    ASSERT_TRUE(::CreateDirectoryW((tmp.folder() + L"\\src").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(tmp.folder() + L"\\src\\a.bin", std::string(1000, 'a')));
    ASSERT_TRUE(writeBytes(tmp.folder() + L"\\src\\b.bin", std::string(300, 'b')));
    for (const bool listForm : {true, false}) {
        SCOPED_TRACE(listForm ? "list form" : "one folder");
        EngineRun run(kOperationMove);
        run.settings.verifyCopies = 1;
        run.settings.setSources(listForm ? sourceList(tmp.folder() + L"\\src", {L"a.bin", L"b.bin"}).c_str()
                                         : (tmp.folder() + L"\\src").c_str());
        run.settings.setTarget((shm.path() + L"\\fresh").c_str());
        run.counting();
        EXPECT_EQ(run.settings.sameVolume, 0u);
        EXPECT_EQ(run.settings.neededBytes, 1300);
        EXPECT_EQ(run.settings.totalBytes, 2600u);

        EngineRun same(kOperationMove);
        same.settings.verifyCopies = 1;
        same.settings.setSources(listForm ? sourceList(tmp.folder() + L"\\src", {L"a.bin", L"b.bin"}).c_str()
                                          : (tmp.folder() + L"\\src").c_str());
        same.settings.setTarget((tmp.folder() + L"\\elsewhere").c_str());
        same.counting();
        if (tmpKnown) {
            EXPECT_EQ(same.settings.sameVolume, 1u);
            EXPECT_EQ(same.settings.neededBytes, 0);
            EXPECT_EQ(same.settings.totalBytes, 1300u);
        } else {
            // An unknown volume is taken as another one: copied and verified.
            EXPECT_EQ(same.settings.sameVolume, 0u);
            EXPECT_EQ(same.settings.totalBytes, 2600u);
        }
    }
}

} // namespace
