// Copy, move and delete of single files with every policy, on real trees
// under Wine, run through both passes as the worker runs them: overwrite
// policies, read-only protection, test-only runs, the Recycle Bin, the
// space estimate, the copy routines and their fallbacks, other volumes,
// targets held open, cancel and faults halfway.
#include <gtest/gtest.h>

#include "engine/Listing.h"
#include "EngineFakes.h"
#include "common/Raii.h"

#include <cstring>

using namespace sorvane;
using namespace sorvane::test;

namespace {

class FileOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(src().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(dst().c_str(), nullptr));
    }
    std::wstring src() const { return root / L"src"; }
    std::wstring dst() const { return root / L"dst"; }
    std::wstring src(const std::wstring& name) const { return src() + L"\\" + name; }
    std::wstring dst(const std::wstring& name) const { return dst() + L"\\" + name; }
    // A source file and optionally a target file of the same name, with times.
    void pair(const std::wstring& name, const std::string& source, const FILETIME& sourceTime,
              const std::string* target = nullptr, const FILETIME* targetTime = nullptr)
    {
        ASSERT_TRUE(writeBytes(src(name), source));
        ASSERT_TRUE(setWriteTime(src(name), sourceTime));
        if (target) {
            ASSERT_TRUE(writeBytes(dst(name), *target));
            ASSERT_TRUE(setWriteTime(dst(name), *targetTime));
        }
    }
    void select(EngineRun& run, const std::vector<std::wstring>& names, const std::wstring& target)
    {
        run.settings.setSources(sourceList(src(), names).c_str());
        run.settings.setTarget(target.c_str());
    }
    TempFolder root;
};

const FILETIME kOld = fileTimeOf(2019, 1, 1);
const FILETIME kNew = fileTimeOf(2021, 1, 1);

TEST_F(FileOps, CopyIfNewerSkipsSameAndOlderSourcesWithoutCountingOrLogging)
{
    const std::string oldText = "old target";
    pair(L"same.txt", "source same", kOld, &oldText, &kOld);
    pair(L"older.txt", "source older", kOld, &oldText, &kNew);
    pair(L"newer.txt", "source newer", kNew, &oldText, &kOld);
    EngineRun run(kOperationCopy);
    run.settings.overwrite = 1;
    select(run, {L"same.txt", L"older.txt", L"newer.txt"}, dst());
    run.counting();
    EXPECT_EQ(run.settings.scannedFiles, 3u);
    EXPECT_EQ(run.settings.totalFiles, 1u);
    EXPECT_EQ(run.settings.totalBytes, 12u);
    run.executing();
    EXPECT_EQ(readBytes(dst(L"same.txt")), oldText);
    EXPECT_EQ(readBytes(dst(L"older.txt")), oldText);
    EXPECT_EQ(readBytes(dst(L"newer.txt")), "source newer");
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusSuccess);
    EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + dst(L"newer.txt")) << "a copy logs the target path";
    EXPECT_EQ(run.settings.completedFiles, 1u);
    EXPECT_EQ(run.settings.failedFiles, 0u);
    EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
}

TEST_F(FileOps, MoveIfNewerWithNewerTargetDeletesTheSourceAndKeepsTheTarget)
{
    const std::string kept = "newer target";
    pair(L"a.txt", "older source", kOld, &kept, &kNew);
    EngineRun run(kOperationMove);
    run.settings.overwrite = 1;
    select(run, {L"a.txt"}, dst());
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 1u);
    EXPECT_EQ(run.settings.totalBytes, 12u);
    EXPECT_EQ(run.settings.sameVolume, 1u);
    EXPECT_EQ(run.settings.neededBytes, -12) << "within one volume the deleted source frees its room";
    run.executing();
    EXPECT_EQ(readBytes(dst(L"a.txt")), kept);
    EXPECT_FALSE(exists(src(L"a.txt")));
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusSuccess);
    EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + src(L"a.txt")) << "the source path is logged";
    EXPECT_EQ(run.settings.completedFiles, 1u);
    EXPECT_EQ(run.settings.doneBytes, 12u);
}

TEST_F(FileOps, MoveIfNewerProtectsAReadOnlySourceThatWouldBeDeleted)
{
    const std::string kept = "newer target";
    pair(L"ro.txt", "older source", kOld, &kept, &kNew);
    ASSERT_TRUE(makeReadOnly(src(L"ro.txt")));
    {
        EngineRun run(kOperationMove);
        run.settings.overwrite = 1;
        run.settings.protectReadOnly = 1;
        select(run, {L"ro.txt"}, dst());
        run.both();
        EXPECT_TRUE(exists(src(L"ro.txt")));
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].status, kStatusReadOnly);
        EXPECT_EQ(run.settings.failedFiles, 1u);
    }
    EngineRun run(kOperationMove);
    run.settings.overwrite = 1;
    select(run, {L"ro.txt"}, dst());
    run.both();
    EXPECT_FALSE(exists(src(L"ro.txt"))) << "unprotected, its read-only bit is cleared and it goes";
    EXPECT_EQ(readBytes(dst(L"ro.txt")), kept);
    EXPECT_EQ(run.settings.completedFiles, 1u);
}

TEST_F(FileOps, MoveNeverLeavesSourceAndItsFolderWithoutALogLine)
{
    ASSERT_TRUE(::CreateDirectoryW(src(L"box").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(dst(L"box").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"box\\taken.txt"), "taken"));
    ASSERT_TRUE(writeBytes(src(L"box\\clash.txt"), "source"));
    ASSERT_TRUE(writeBytes(dst(L"box\\clash.txt"), "target"));
    EngineRun run(kOperationMove);
    run.settings.overwrite = 2;
    select(run, {L"box"}, dst());
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 1u);
    run.executing();
    EXPECT_EQ(readBytes(src(L"box\\clash.txt")), "source");
    EXPECT_EQ(readBytes(dst(L"box\\clash.txt")), "target");
    EXPECT_EQ(readBytes(dst(L"box\\taken.txt")), "taken");
    EXPECT_TRUE(exists(src(L"box"))) << "the folder still holds the skipped file";
    ASSERT_EQ(run.log.rows.size(), 1u) << "only the moved file is logged; no folder failure";
    EXPECT_EQ(run.log.rows[0].status, kStatusSuccess);
    EXPECT_EQ(run.settings.failedFolders, 0u);
}

TEST_F(FileOps, CopyOverwritesWithoutConditionAndNeverNever)
{
    const std::string oldText = "old";
    pair(L"a.txt", "brand new content", kOld, &oldText, &kNew);
    {
        EngineRun run(kOperationCopy);
        run.settings.overwrite = 2;
        select(run, {L"a.txt"}, dst());
        run.both();
        EXPECT_EQ(readBytes(dst(L"a.txt")), oldText);
        EXPECT_EQ(run.settings.totalFiles, 0u);
        EXPECT_TRUE(run.log.rows.empty());
    }
    EngineRun run(kOperationCopy);
    select(run, {L"a.txt"}, dst());
    run.counting();
    EXPECT_EQ(run.settings.neededBytes, 17 - 3) << "the replaced target's size is subtracted";
    run.executing();
    EXPECT_EQ(readBytes(dst(L"a.txt")), "brand new content");
    EXPECT_EQ(readBytes(src(L"a.txt")), "brand new content");
    EXPECT_EQ(countTemporaries(dst()), 0u);
}

TEST_F(FileOps, CopyOntoReadOnlyTargetReplacesItOnlyWhenUnprotected)
{
    const std::string oldText = "read-only target";
    pair(L"a.txt", "new", kNew, &oldText, &kOld);
    ASSERT_TRUE(makeReadOnly(dst(L"a.txt")));
    {
        EngineRun run(kOperationCopy);
        run.settings.protectReadOnly = 1;
        select(run, {L"a.txt"}, dst());
        run.both();
        EXPECT_EQ(readBytes(dst(L"a.txt")), oldText);
        EXPECT_TRUE(isReadOnly(dst(L"a.txt")));
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].status, kStatusReadOnly);
        EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + src(L"a.txt")) << "the source path is logged";
        EXPECT_EQ(run.settings.failedFiles, 1u);
    }
    EngineRun run(kOperationCopy);
    select(run, {L"a.txt"}, dst());
    run.both();
    EXPECT_EQ(readBytes(dst(L"a.txt")), "new");
    EXPECT_FALSE(isReadOnly(dst(L"a.txt")));
    EXPECT_EQ(run.settings.completedFiles, 1u);
}

TEST_F(FileOps, DeleteOfReadOnlyFilesWithAndWithoutProtection)
{
    ASSERT_TRUE(writeBytes(src(L"ro.txt"), "ro"));
    ASSERT_TRUE(makeReadOnly(src(L"ro.txt")));
    {
        EngineRun run(kOperationDelete);
        run.settings.protectReadOnly = 1;
        select(run, {L"ro.txt"}, L"");
        run.both();
        EXPECT_TRUE(exists(src(L"ro.txt")));
        EXPECT_TRUE(isReadOnly(src(L"ro.txt")));
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].status, kStatusReadOnly);
        EXPECT_EQ(run.settings.failedFiles, 1u);
        EXPECT_EQ(run.settings.completedFiles, 0u);
    }
    EngineRun run(kOperationDelete);
    select(run, {L"ro.txt"}, L"");
    run.both();
    EXPECT_FALSE(exists(src(L"ro.txt")));
    EXPECT_EQ(run.settings.completedFiles, 1u);
    EXPECT_EQ(run.log.count(kStatusSuccess), 1u);
}

TEST_F(FileOps, TestOnlyDeleteChangesNothingOnDisk)
{
    ASSERT_TRUE(::CreateDirectoryW(src(L"tree").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(src(L"tree\\empty").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(src(L"tree\\full").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"tree\\a.txt"), "a"));
    ASSERT_TRUE(writeBytes(src(L"tree\\full\\b.txt"), "bb"));
    ASSERT_TRUE(writeBytes(src(L"tree\\ro.txt"), "ccc"));
    ASSERT_TRUE(makeReadOnly(src(L"tree\\ro.txt")));
    EngineRun run(kOperationDelete);
    run.settings.testOnly = 1;
    select(run, {L"tree"}, L"");
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 3u);
    EXPECT_EQ(run.settings.countedFolders, 2u);
    run.executing();
    EXPECT_EQ(run.log.count(kStatusTestOnly), 3u);
    EXPECT_EQ(run.log.rows.size(), 3u);
    EXPECT_EQ(run.settings.failedFiles, 3u);
    EXPECT_EQ(run.settings.completedFiles, 0u);
    EXPECT_TRUE(exists(src(L"tree\\a.txt")));
    EXPECT_TRUE(exists(src(L"tree\\full\\b.txt")));
    EXPECT_TRUE(isReadOnly(src(L"tree\\ro.txt"))) << "no attribute is cleared in a test run";
    EXPECT_TRUE(exists(src(L"tree\\empty"))) << "no folder is removed in a test run";
    EXPECT_TRUE(exists(src(L"tree")));
}

TEST_F(FileOps, CancelDuringALargeCopyFailsThatFileAndStartsNoOther)
{
    ASSERT_TRUE(writeBytes(src(L"big1.bin"), contentFor(L"big1", 1 << 20)));
    ASSERT_TRUE(writeBytes(src(L"big2.bin"), contentFor(L"big2", 1 << 20)));
    ASSERT_TRUE(writeBytes(src(L"small.txt"), "small"));
    // Wine's CopyFileExW neither reports progress nor polls the cancel
    // flag: a routine that does, as Windows' does, stands in for it.
    RoutineOverride routines({chunkedCopyFileEx, systemCopyRoutines().moveFileWithProgress});
    g_chunkedCopyCalls = 0;
    EngineRun run(kOperationCopy);
    select(run, {L"big1.bin", L"big2.bin", L"small.txt"}, dst());
    run.counting();
    ASSERT_EQ(run.settings.totalFiles, 3u);
    run.progress.onUpdate = [&](bool duringCopy) {
        if (duringCopy && run.progress.copyUpdates == 3) run.settings.cancel = 1;
    };
    run.executing();
    EXPECT_EQ(g_chunkedCopyCalls, 1u) << "no further file is started";
    EXPECT_EQ(run.settings.failedFiles, 1u);
    EXPECT_EQ(run.settings.completedFiles, 0u);
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
    EXPECT_EQ(run.log.rows[0].error, static_cast<DWORD>(ERROR_REQUEST_ABORTED));
    EXPECT_FALSE(exists(dst(L"big1.bin")));
    EXPECT_EQ(countTemporaries(dst()), 0u);
    EXPECT_EQ(readBytes(src(L"big1.bin")), contentFor(L"big1", 1 << 20));
}

TEST_F(FileOps, ProgressRoutineAddsChunksAndTheBarReachesTheTotal)
{
    ASSERT_TRUE(writeBytes(src(L"a.bin"), contentFor(L"a", 300000)));
    ASSERT_TRUE(writeBytes(src(L"b.bin"), contentFor(L"b", 70000)));
    RoutineOverride routines({chunkedCopyFileEx, systemCopyRoutines().moveFileWithProgress});
    EngineRun run(kOperationCopy);
    select(run, {L"a.bin", L"b.bin"}, dst());
    run.counting();
    std::vector<uint64_t> seen;
    run.progress.onUpdate = [&](bool duringCopy) {
        if (duringCopy) seen.push_back(run.settings.doneBytes);
    };
    run.executing();
    // 300000 bytes are five chunks of 64 KB, 70000 are two.
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[0], 65536u);
    EXPECT_EQ(seen[4], 300000u);
    EXPECT_EQ(seen[5], 300000u + 65536u);
    EXPECT_EQ(run.settings.doneBytes, 370000u);
    EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
    EXPECT_EQ(readBytes(dst(L"a.bin")), contentFor(L"a", 300000));
}

TEST_F(FileOps, FallbacksWithoutTheProgressRoutinesStillCopyAndMove)
{
    ASSERT_TRUE(writeBytes(src(L"c.txt"), "copied"));
    ASSERT_TRUE(writeBytes(src(L"m.txt"), "moved!"));
    ASSERT_TRUE(writeBytes(dst(L"m.txt"), "older"));
    RoutineOverride routines({nullptr, nullptr});
    {
        EngineRun run(kOperationCopy);
        select(run, {L"c.txt"}, dst());
        run.both();
        EXPECT_EQ(readBytes(dst(L"c.txt")), "copied");
        EXPECT_EQ(run.settings.doneBytes, 6u);
        EXPECT_EQ(run.settings.completedFiles, 1u);
    }
    EngineRun run(kOperationMove);
    select(run, {L"m.txt"}, dst());
    run.both();
    EXPECT_EQ(readBytes(dst(L"m.txt")), "moved!");
    EXPECT_FALSE(exists(src(L"m.txt")));
    EXPECT_EQ(run.settings.doneBytes, 6u);
    EXPECT_EQ(run.settings.completedFiles, 1u);
}

TEST_F(FileOps, NeededBytesWithinAndAcrossVolumes)
{
    OtherVolumeFolder other;
    if (!other.valid()) GTEST_FAIL() << "no Z:\\dev\\shm here";
    ASSERT_TRUE(writeBytes(src(L"a.bin"), std::string(100, 'a')));
    ASSERT_TRUE(writeBytes(src(L"b.bin"), std::string(200, 'b')));
    ASSERT_TRUE(writeBytes(dst(L"b.bin"), std::string(50, 'x')));
    ASSERT_TRUE(writeBytes(other / L"b.bin", std::string(50, 'x')));

    struct Case {
        uint32_t kind;
        std::wstring target;
        uint32_t sameVolume;
        int64_t needed;
    } cases[] = {
        {kOperationMove, dst(), 1, 200 - 50},                 // only the replaced target counts
        {kOperationMove, other.path(), 0, 100 + 200 - 50},   // C: to Z:, both copied
        {kOperationCopy, dst(), 1, 100 + 200 - 50},
        {kOperationCopy, other.path(), 0, 100 + 200 - 50},
    };
    for (const auto& c : cases) {
        EngineRun run(c.kind);
        select(run, {L"a.bin", L"b.bin"}, c.target);
        run.counting();
        EXPECT_EQ(run.settings.sameVolume, c.sameVolume) << c.kind << " " << c.target.c_str();
        EXPECT_EQ(run.settings.neededBytes, c.needed) << c.kind << " " << c.target.c_str();
        EXPECT_EQ(run.settings.totalBytes, 300u);
        EXPECT_EQ(run.settings.totalFiles, 2u);
        EXPECT_TRUE(run.log.rows.empty()) << "the counting pass logs nothing";
    }
    EXPECT_EQ(readBytes(dst(L"b.bin")), std::string(50, 'x')) << "the counting pass changes nothing";
    EXPECT_TRUE(exists(src(L"a.bin")));
}

TEST_F(FileOps, MovesToAnotherVolumeCopyThenDeleteAndKeepAttributes)
{
    OtherVolumeFolder other;
    if (!other.valid()) GTEST_FAIL() << "no Z:\\dev\\shm here";
    ASSERT_TRUE(writeBytes(src(L"plain.bin"), contentFor(L"plain", 200000)));
    ASSERT_TRUE(writeBytes(src(L"ro.txt"), "read-only source"));
    ASSERT_TRUE(makeReadOnly(src(L"ro.txt")));
    EngineRun run(kOperationMove);
    select(run, {L"plain.bin", L"ro.txt"}, other.path());
    run.both();
    EXPECT_EQ(run.settings.completedFiles, 2u);
    EXPECT_EQ(run.settings.failedFiles, 0u);
    EXPECT_FALSE(exists(src(L"plain.bin")));
    EXPECT_FALSE(exists(src(L"ro.txt")));
    EXPECT_EQ(readBytes(other / L"plain.bin"), contentFor(L"plain", 200000));
    EXPECT_EQ(readBytes(other / L"ro.txt"), "read-only source");
    EXPECT_TRUE(isReadOnly(other / L"ro.txt")) << "a moved file keeps its attributes";
    EXPECT_EQ(countTemporaries(other.path()), 0u);
    EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
}

TEST_F(FileOps, TargetsHeldOpenFailAndKeepBothFilesWhole)
{
    OtherVolumeFolder other;
    const std::string oldText = "held target";
    pair(L"a.txt", "source a", kNew, &oldText, &kOld);
    std::vector<std::wstring> targets = {dst()};
    if (other.valid()) {
        ASSERT_TRUE(writeBytes(other / L"a.txt", oldText));
        targets.push_back(other.path());
    }
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        for (const auto& target : targets) {
            const std::wstring held = target + L"\\a.txt";
            UniqueFile handle(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                            nullptr));
            ASSERT_TRUE(handle);
            EngineRun run(kind);
            select(run, {L"a.txt"}, target);
            run.both();
            EXPECT_EQ(run.settings.failedFiles, 1u) << kind << " " << target.c_str();
            ASSERT_EQ(run.log.rows.size(), 1u);
            EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
            EXPECT_TRUE(run.log.rows[0].errorRow);
            EXPECT_NE(run.log.rows[0].error, 0u);
            handle.reset();
            EXPECT_EQ(readBytes(held), oldText);
            EXPECT_EQ(readBytes(src(L"a.txt")), "source a");
            EXPECT_EQ(countTemporaries(target), 0u);
        }
    }
}

TEST_F(FileOps, AFaultHalfwayNeverTouchesTheTargetName)
{
    OtherVolumeFolder other;
    const std::string oldText = "previous version";
    pair(L"a.bin", contentFor(L"a", 300000), kNew, &oldText, &kOld);
    RoutineOverride routines({chunkedCopyFileEx, systemCopyRoutines().moveFileWithProgress});
    g_chunkedCopyFailAfterBytes = 100000;
    std::vector<std::pair<uint32_t, std::wstring>> runs = {{kOperationCopy, dst()}};
    if (other.valid()) {
        ASSERT_TRUE(writeBytes(other / L"a.bin", oldText));
        runs.push_back({kOperationMove, other.path()});
    }
    for (const auto& [kind, target] : runs) {
        EngineRun run(kind);
        select(run, {L"a.bin"}, target);
        run.both();
        EXPECT_EQ(run.settings.failedFiles, 1u);
        EXPECT_EQ(run.log.count(kStatusFailed), 1u);
        EXPECT_EQ(readBytes(target + L"\\a.bin"), oldText) << "the old target stays whole";
        EXPECT_EQ(readBytes(src(L"a.bin")), contentFor(L"a", 300000));
        EXPECT_EQ(countTemporaries(target), 0u) << "the half-written copy is removed";
    }
    g_chunkedCopyFailAfterBytes = 0;
}

// The desktop trash that Wine's Recycle Bin fills: $XDG_DATA_HOME/Trash,
// else ~/.local/share/Trash (Wine hands the home folder over as
// WINEHOMEDIR, "\??\Z:\home\user").
std::wstring trashFolder()
{
    wchar_t value[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"XDG_DATA_HOME", value, MAX_PATH) && value[0] == L'/') {
        std::wstring path = L"Z:" + std::wstring(value) + L"/Trash";
        for (auto& c : path) c = c == L'/' ? L'\\' : c;
        return path;
    }
    if (!::GetEnvironmentVariableW(L"WINEHOMEDIR", value, MAX_PATH)) return L"";
    std::wstring home = value;
    if (home.rfind(L"\\??\\", 0) == 0) home.erase(0, 4);
    return home + L"\\.local\\share\\Trash";
}

TEST_F(FileOps, RecycleSendsToTheTrashAndRefusesPathsTooLongForTheShell)
{
    const std::wstring name = L"sorvane-recycle-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount()) + L".txt";
    ASSERT_TRUE(writeBytes(src(name), "to the bin"));
    // A path of more than MAX_PATH units: the shell cannot take it.
    std::wstring deep = src();
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    const std::wstring deepFile = L"\\\\?\\" + deep + L"\\deep.txt";
    ASSERT_TRUE(writeBytes(deepFile, "stays"));

    EngineRun run(kOperationDelete);
    run.settings.overwrite = 1;
    select(run, {name}, L"");
    run.both();
    EXPECT_FALSE(exists(src(name)));
    EXPECT_EQ(run.settings.completedFiles, 1u);
    const std::wstring trash = trashFolder();
    const std::wstring inTrash = trash + L"\\files\\" + name;
    EXPECT_EQ(readBytes(inTrash), "to the bin") << "Wine puts recycled files into the desktop trash";
    ::DeleteFileW(inTrash.c_str());
    ::DeleteFileW((trash + L"\\info\\" + name + L".trashinfo").c_str());

    EngineRun deepRun(kOperationDelete);
    deepRun.settings.overwrite = 1;
    deepRun.settings.setSources((deep + L"\\;deep.txt;").c_str());
    deepRun.both();
    EXPECT_EQ(readBytes(deepFile), "stays") << "never deleted for good instead";
    EXPECT_EQ(deepRun.settings.failedFiles, 1u);
    ASSERT_EQ(deepRun.log.rows.size(), 1u);
    EXPECT_EQ(deepRun.log.rows[0].status, kStatusFailed);
    EXPECT_EQ(deepRun.log.rows[0].error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

// A folder of more files than one shell call takes: they go to the bin a
// list at a time, each is checked afterwards, and each gets exactly one row
// and one count. A file removed by someone else after the folder was
// listed, while it waits in a list, is a missing file, never a success; a
// read-only file goes too (its mark cleared only for the trip).
TEST_F(FileOps, RecycleInListsChecksEveryFileAndCountsEachOnce)
{
    const std::wstring folder = L"bin-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(::GetTickCount());
    ASSERT_TRUE(::CreateDirectoryW(src(folder).c_str(), nullptr));
    constexpr int kFiles = 130; // three lists
    auto nameOf = [&](int i) { return folder + L"-" + std::to_wstring(i) + L".txt"; };
    for (int i = 0; i < kFiles; ++i) {
        ASSERT_TRUE(writeBytes(src(folder + L"\\" + nameOf(i)), "file " + std::to_string(i)));
    }
    ASSERT_TRUE(::SetFileAttributesW(src(folder + L"\\" + nameOf(7)).c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring vanishing = src(folder + L"\\" + nameOf(44));

    EngineRun run(kOperationDelete);
    run.settings.overwrite = 1;
    run.settings.protectReadOnly = 0;
    select(run, {folder}, L"");
    run.counting();
    // While the executing pass is at an early file of the first list, a
    // later file of the same list disappears.
    bool removed = false;
    run.progress.onFileText = [&](const std::wstring& text) {
        if (!removed && text.find(nameOf(3)) != std::wstring::npos) {
            removed = true;
            ::DeleteFileW(vanishing.c_str());
        }
    };
    run.executing();
    ASSERT_TRUE(removed) << "the engine shows each file's name before it handles it";

    EXPECT_EQ(run.settings.completedFiles, static_cast<uint32_t>(kFiles - 1));
    EXPECT_EQ(run.settings.failedFiles, 1u);
    size_t fileRows = 0;
    for (const LogRow& row : run.log.rows) fileRows += row.path.find(L".txt") != std::wstring::npos;
    EXPECT_EQ(fileRows, static_cast<size_t>(kFiles)) << "one row per file";
    const LogRow* missing = run.log.find(nameOf(44));
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->status, kStatusFailed);
    EXPECT_EQ(missing->error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    const std::wstring trash = trashFolder();
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring name = nameOf(i);
        const std::wstring inTrash = trash + L"\\files\\" + name;
        EXPECT_FALSE(exists(src(folder + L"\\" + name))) << i;
        if (i == 44) {
            EXPECT_FALSE(exists(inTrash));
        } else {
            EXPECT_EQ(readBytes(inTrash), "file " + std::to_string(i)) << "file " << i << " in the bin, whole";
            const LogRow* row = run.log.find(name);
            ASSERT_NE(row, nullptr) << i;
            EXPECT_EQ(row->status, kStatusSuccess) << i;
        }
        ::SetFileAttributesW(inTrash.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(inTrash.c_str());
        ::DeleteFileW((trash + L"\\info\\" + name + L".trashinfo").c_str());
    }
}

// A listing record of a folder with the given attributes, as the walk
// hands it to removeEmptiedFolder.
std::vector<uint8_t> folderRecord(const std::wstring& name, DWORD attributes)
{
    std::vector<uint8_t> bytes(sizeof(ListingRecord) + listingNameBytes(name.size()), 0);
    ListingRecord record = {};
    record.kind = kListingFolder;
    record.nameBytes = listingNameBytes(name.size());
    record.attributes = attributes;
    std::memcpy(bytes.data(), &record, sizeof(record));
    std::memcpy(bytes.data() + sizeof(record), name.data(), name.size() * sizeof(wchar_t));
    return bytes;
}

TEST_F(FileOps, EmptiedFolderRemovalHonoursReadOnlyAndReportsRealFailures)
{
    // Wine keeps no read-only bit on folders, so the folder's record carries
    // it, as a listing on Windows would.
    ASSERT_TRUE(::CreateDirectoryW(src(L"ro").c_str(), nullptr));
    const auto roRecord = folderRecord(L"ro", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
    {
        EngineRun run(kOperationMove);
        run.settings.protectReadOnly = 1;
        run.settings.setSources((L"\\\\?\\" + src(L"ro")).c_str());
        run.settings.currentItem = reinterpret_cast<const ListingRecord*>(roRecord.data());
        EXPECT_FALSE(removeEmptiedFolder(run.settings));
        EXPECT_TRUE(exists(src(L"ro")));
        EXPECT_EQ(run.settings.failedFolders, 1u);
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].status, kStatusFolderReadOnly);
        EXPECT_FALSE(run.log.rows[0].errorRow);
        EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + src(L"ro"));
    }
    {
        EngineRun run(kOperationMove);
        run.settings.setSources((L"\\\\?\\" + src(L"ro")).c_str());
        run.settings.currentItem = reinterpret_cast<const ListingRecord*>(roRecord.data());
        EXPECT_TRUE(removeEmptiedFolder(run.settings)) << "unprotected, the bit is cleared and the folder goes";
        EXPECT_FALSE(exists(src(L"ro")));
        EXPECT_TRUE(run.log.rows.empty());
    }
    // A folder that vanished: a real failure, reported in orange.
    EngineRun run(kOperationDelete);
    run.settings.setSources((L"\\\\?\\" + src(L"gone")).c_str());
    EXPECT_FALSE(removeEmptiedFolder(run.settings));
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusFolderFailed);
    EXPECT_TRUE(run.log.rows[0].errorRow);
    EXPECT_EQ(run.log.rows[0].error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(run.settings.failedFolders, 1u);
    // A folder still holding files: silent, not counted.
    ASSERT_TRUE(::CreateDirectoryW(src(L"kept").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"kept\\x"), "x"));
    run.settings.setSources((L"\\\\?\\" + src(L"kept")).c_str());
    EXPECT_FALSE(removeEmptiedFolder(run.settings));
    EXPECT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.settings.failedFolders, 1u);
    EXPECT_TRUE(exists(src(L"kept\\x")));
}

} // namespace
