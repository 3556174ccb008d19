// What holds at the moment a file is written, on real trees under Wine:
// "Never." and "If the source is newer." replace only the very file they
// judged and create only where they saw none; a folder of a file's name in
// the target is a conflict; a target folder that cannot be listed is never
// taken for an empty one; a file is never its own target and the walk
// never enters the run's target folder; a cross-volume move that cannot
// delete its source says so and leaves the source's attributes on the
// target; a cross-volume move holds its source from its judgement to its
// deletion; the space check counts a replacement written beside its target.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "common/Raii.h"
#include "engine/FileIdentity.h"
#include "engine/HeldSource.h"
#include "engine/Listing.h"
#include "engine/TargetPath.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

const FILETIME kOld = fileTimeOf(2019, 1, 1);
const FILETIME kNew = fileTimeOf(2021, 1, 1);

// What a copy or move routine does besides its work, as another program
// writing into the target folder at that moment would.
std::function<void()> g_meanwhile;

BOOL WINAPI copyWhileSomeoneWrites(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data,
                                   LPBOOL cancel, DWORD flags)
{
    const BOOL copied = systemCopyRoutines().copyFileEx(source, target, progress, data, cancel, flags);
    if (g_meanwhile) g_meanwhile();
    return copied;
}

BOOL WINAPI moveWhileSomeoneWrites(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data,
                                   DWORD flags)
{
    if (g_meanwhile) g_meanwhile();
    return systemCopyRoutines().moveFileWithProgress(source, target, progress, data, flags);
}

class WriteTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(src().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(dst().c_str(), nullptr));
        g_meanwhile = nullptr;
    }
    void TearDown() override { g_meanwhile = nullptr; }
    std::wstring src(const std::wstring& rest = L"") const { return rest.empty() ? root / L"src" : root / (L"src\\" + rest); }
    std::wstring dst(const std::wstring& rest = L"") const { return rest.empty() ? root / L"dst" : root / (L"dst\\" + rest); }
    void select(EngineRun& run, const std::vector<std::wstring>& names, const std::wstring& target)
    {
        run.settings.setSources(sourceList(src(), names).c_str());
        run.settings.setTarget(target.c_str());
    }
    TempFolder root;
};

TEST_F(WriteTime, AFolderOfTheFilesNameInTheTargetIsAConflictUnderEveryPolicy)
{
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        for (uint32_t policy : {0u, 1u, 2u}) {
            SCOPED_TRACE(std::to_string(kind) + " policy " + std::to_string(policy));
            ASSERT_TRUE(writeBytes(src(L"a.txt"), "source a"));
            ASSERT_TRUE(setWriteTime(src(L"a.txt"), policy == 1 ? kOld : kNew));
            ::CreateDirectoryW(dst(L"A.TXT").c_str(), nullptr);
            ASSERT_TRUE(writeBytes(dst(L"A.TXT\\inside.txt"), "inside"));
            EngineRun run(kind);
            run.settings.overwrite = policy;
            select(run, {L"a.txt"}, dst());
            run.counting();
            EXPECT_EQ(run.settings.totalFiles, 1u) << "counted as what it will be: a failed file";
            run.executing();
            EXPECT_EQ(run.settings.failedFiles, 1u);
            EXPECT_EQ(run.settings.completedFiles, 0u);
            ASSERT_EQ(run.log.rows.size(), 1u);
            EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
            EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kReasonFolderInTheWay));
            EXPECT_EQ(readBytes(src(L"a.txt")), "source a") << "the source is kept";
            EXPECT_EQ(readBytes(dst(L"A.TXT\\inside.txt")), "inside");
            EXPECT_EQ(countTemporaries(dst()), 0u);
        }
    }
}

TEST_F(WriteTime, TargetsThatAppearAfterTheListingAreKeptByNeverAndIfNewer)
{
    RoutineOverride routines({copyWhileSomeoneWrites, moveWhileSomeoneWrites});
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid()) << "no Z:\\dev\\shm here";
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        for (const std::wstring& target : {dst(), other.path()}) {
            for (uint32_t policy : {1u, 2u, 0u}) {
                SCOPED_TRACE(std::to_string(kind) + " policy " + std::to_string(policy) + " " +
                             std::string(target.begin(), target.end()));
                const std::wstring targetFile = target + L"\\a.txt";
                ::SetFileAttributesW(targetFile.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(targetFile.c_str());
                ASSERT_TRUE(writeBytes(src(L"a.txt"), "source a"));
                ASSERT_TRUE(setWriteTime(src(L"a.txt"), kNew));
                EngineRun run(kind);
                run.settings.overwrite = policy;
                select(run, {L"a.txt"}, target);
                run.counting();
                ASSERT_EQ(run.settings.totalFiles, 1u);
                // Another program writes the file while the run copies it.
                g_meanwhile = [&] {
                    if (!exists(targetFile)) writeBytes(targetFile, "written meanwhile");
                };
                run.executing();
                g_meanwhile = nullptr;
                ASSERT_EQ(run.log.rows.size(), 1u);
                if (policy == 0) {
                    // "Without condition." replaces whatever is there.
                    EXPECT_EQ(run.log.rows[0].status, kStatusSuccess);
                    EXPECT_EQ(readBytes(targetFile), "source a");
                } else {
                    EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
                    EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kReasonTargetAppeared));
                    EXPECT_EQ(readBytes(targetFile), "written meanwhile") << "a file the policy never saw stays";
                    EXPECT_EQ(readBytes(src(L"a.txt")), "source a") << "and so does the source";
                    EXPECT_EQ(run.settings.failedFiles, 1u);
                }
                EXPECT_EQ(countTemporaries(target), 0u);
            }
        }
    }
}

TEST_F(WriteTime, AJudgedTargetThatChangesBeforeTheWriteIsKept)
{
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid()) << "no Z:\\dev\\shm here";
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        for (const std::wstring& target : {dst(), other.path()}) {
            SCOPED_TRACE(std::to_string(kind) + " " + std::string(target.begin(), target.end()));
            const std::wstring targetFile = target + L"\\a.txt";
            ASSERT_TRUE(writeBytes(src(L"a.txt"), "newer source"));
            ASSERT_TRUE(setWriteTime(src(L"a.txt"), kNew));
            ASSERT_TRUE(writeBytes(targetFile, "older target"));
            ASSERT_TRUE(setWriteTime(targetFile, kOld));
            EngineRun run(kind);
            run.settings.overwrite = 1;
            select(run, {L"a.txt"}, target);
            run.counting();
            // The target is judged older; then someone else saves it anew.
            run.progress.onFileText = [&](const std::wstring&) {
                writeBytes(targetFile, "saved again by someone else");
            };
            run.executing();
            ASSERT_EQ(run.log.rows.size(), 1u);
            EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
            EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kReasonTargetChanged));
            EXPECT_EQ(readBytes(targetFile), "saved again by someone else");
            EXPECT_EQ(readBytes(src(L"a.txt")), "newer source");
            EXPECT_EQ(countTemporaries(target), 0u);

            // Unchanged, the judged older target is replaced.
            EngineRun again(kind);
            again.settings.overwrite = 1;
            ASSERT_TRUE(setWriteTime(targetFile, kOld));
            select(again, {L"a.txt"}, target);
            again.both();
            EXPECT_EQ(again.settings.completedFiles, 1u);
            EXPECT_EQ(readBytes(targetFile), "newer source");
            ::SetFileAttributesW(targetFile.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(targetFile.c_str());
        }
    }
}

TEST_F(WriteTime, AMoveKeepsItsSourceWhenTheNewerTargetItReliedOnGoes)
{
    // "If the source is newer." with a newer target deletes the source; not
    // when that target is gone or changed by then.
    for (bool removed : {true, false}) {
        ASSERT_TRUE(writeBytes(src(L"a.txt"), "older source"));
        ASSERT_TRUE(setWriteTime(src(L"a.txt"), kOld));
        ASSERT_TRUE(writeBytes(dst(L"a.txt"), "newer target"));
        ASSERT_TRUE(setWriteTime(dst(L"a.txt"), kNew));
        EngineRun run(kOperationMove);
        run.settings.overwrite = 1;
        select(run, {L"a.txt"}, dst());
        run.counting();
        run.progress.onFileText = [&](const std::wstring&) {
            if (removed) ::DeleteFileW(dst(L"a.txt").c_str());
            else writeBytes(dst(L"a.txt"), "different now");
        };
        run.executing();
        EXPECT_EQ(readBytes(src(L"a.txt")), "older source") << "the only copy left is never deleted";
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kReasonTargetChanged));
        EXPECT_EQ(run.settings.failedFiles, 1u);
    }
}

TEST_F(WriteTime, AFileWhereATargetFolderWouldGoRefusesItsFilesEachWithItsRow)
{
    // The target holds a file where the folder "sub" would go: nothing can
    // be written below it, and each file says why (before anything is
    // tried, so that a plan says the same).
    ASSERT_TRUE(::CreateDirectoryW(src(L"sub").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"sub\\one.txt"), "one"));
    ASSERT_TRUE(writeBytes(src(L"sub\\two.txt"), "two"));
    ASSERT_TRUE(writeBytes(dst(L"sub"), "a file named sub"));
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        EngineRun run(kind);
        run.settings.overwrite = 2;
        select(run, {L"sub"}, dst());
        run.counting();
        EXPECT_EQ(run.settings.totalFiles, 2u);
        run.executing();
        EXPECT_EQ(run.settings.failedFiles, 2u);
        EXPECT_EQ(run.log.countReason(kReasonFileInTheWay), 2u);
        EXPECT_EQ(readBytes(src(L"sub\\one.txt")), "one");
        EXPECT_EQ(readBytes(src(L"sub\\two.txt")), "two");
        EXPECT_EQ(readBytes(dst(L"sub")), "a file named sub");
    }
}

TEST_F(WriteTime, AFolderThatIsItsOwnTargetFailsEveryFileAndTouchesNone)
{
    // Past the check of the whole run (a caller of walkFolder), the walk
    // itself still never writes a file onto itself, in any spelling.
    ASSERT_TRUE(writeBytes(src(L"a.txt"), "alpha"));
    ASSERT_TRUE(writeBytes(src(L"b.txt"), "bravo"));
    const std::string unix = unixPathOf(src());
    std::wstring zSpelling = L"Z:" + std::wstring(unix.begin(), unix.end());
    for (auto& c : zSpelling) c = c == L'/' ? L'\\' : c;
    for (const std::wstring& target : {src() + L"\\", L"\\\\?\\" + src() + L"\\", zSpelling + L"\\"}) {
        for (uint32_t kind : {kOperationCopy, kOperationMove}) {
            for (uint32_t policy : {0u, 1u, 2u}) {
                EngineRun run(kind);
                run.settings.overwrite = policy;
                run.settings.setSources((src() + L"\\").c_str());
                run.settings.setTarget(target.c_str());
                run.settings.operation = kind | kCountingPassFlag;
                walkFolder(run.settings, true);
                EXPECT_EQ(run.settings.totalFiles, 2u);
                run.settings.operation = kind;
                walkFolder(run.settings, true);
                EXPECT_EQ(run.settings.failedFiles, 2u);
                EXPECT_EQ(run.log.countReason(kReasonSameFile), 2u);
                EXPECT_EQ(readBytes(src(L"a.txt")), "alpha");
                EXPECT_EQ(readBytes(src(L"b.txt")), "bravo");
                EXPECT_EQ(countTemporaries(src()), 0u);
            }
        }
    }
}

TEST_F(WriteTime, TheWalkNeverEntersTheRunsTargetFolder)
{
    // Docs holds the run's target folder "backup": copying Docs into it
    // would copy the copies again, ever deeper.
    ASSERT_TRUE(::CreateDirectoryW(src(L"Docs").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(src(L"Docs\\backup").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(src(L"Docs\\keep").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"Docs\\d.txt"), "doc"));
    ASSERT_TRUE(writeBytes(src(L"Docs\\keep\\k.txt"), "kept"));
    ASSERT_TRUE(writeBytes(src(L"Docs\\backup\\earlier.txt"), "an earlier copy"));
    EngineRun run(kOperationCopy);
    run.settings.cloneTree = 1;
    run.settings.setSources(src(L"Docs\\").c_str());
    const std::wstring target = L"\\\\?\\" + src(L"Docs\\backup\\");
    run.settings.setTarget(target.c_str());
    run.settings.targetRootLength = static_cast<uint32_t>(target.size());
    ASSERT_TRUE(readIdentity(target.c_str(), run.settings.targetRoot));
    for (bool counting : {true, false}) {
        run.settings.operation = kOperationCopy | (counting ? kCountingPassFlag : 0);
        walkFolder(run.settings, true);
    }
    EXPECT_EQ(run.settings.totalFiles, 2u) << "the target's own files are not counted";
    EXPECT_EQ(run.settings.completedFiles, 2u);
    EXPECT_EQ(readBytes(src(L"Docs\\backup\\d.txt")), "doc");
    EXPECT_EQ(readBytes(src(L"Docs\\backup\\keep\\k.txt")), "kept");
    EXPECT_FALSE(exists(src(L"Docs\\backup\\backup"))) << "no copy of the target inside itself";
    EXPECT_EQ(run.log.countReason(kReasonTargetFolderSkipped), 1u);
    EXPECT_EQ(listFolder(src(L"Docs\\backup")), (std::vector<std::wstring>{L"d.txt", L"earlier.txt", L"keep"}));
}

TEST_F(WriteTime, TheIssuesOverlappingRunsAreRefusedAndChangeNothing)
{
    // Move of "A\;Photos;" into A with "If the source is newer.": once every
    // file found itself as its newer target and was deleted.
    ASSERT_TRUE(::CreateDirectoryW(src(L"Photos").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"Photos\\p1.jpg"), "photo one"));
    ASSERT_TRUE(writeBytes(src(L"Photos\\p2.jpg"), "photo two"));
    {
        EngineRun run(kOperationMove);
        run.settings.overwrite = 1;
        select(run, {L"Photos"}, src());
        run.both();
        EXPECT_EQ(run.settings.completedFiles, 0u);
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kRefusalTargetIsSourceFolder));
        EXPECT_EQ(readBytes(src(L"Photos\\p1.jpg")), "photo one");
        EXPECT_EQ(readBytes(src(L"Photos\\p2.jpg")), "photo two");
    }
    // Copy of "A\;Docs;" into A\Docs\backup with the tree cloned: once ever
    // deeper copies until the stack gave out.
    ASSERT_TRUE(::CreateDirectoryW(src(L"Docs").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src(L"Docs\\d.txt"), "doc"));
    {
        EngineRun run(kOperationCopy);
        run.settings.cloneTree = 1;
        select(run, {L"Docs"}, src(L"Docs\\backup"));
        run.both();
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kRefusalTargetInsideSelection));
        EXPECT_FALSE(exists(src(L"Docs\\backup"))) << "not even the cloned tree is made";
    }
}

BOOL WINAPI refusedDisposition(HANDLE, DWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI refusedClassicDisposition(HANDLE)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(WriteTime, AMoveToAnotherVolumeHoldsItsSourceAndSaysSoWhenItCannotDeleteIt)
{
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid()) << "no Z:\\dev\\shm here";
    ASSERT_TRUE(writeBytes(src(L"a.txt"), "the source"));
    ASSERT_TRUE(::SetFileAttributesW(src(L"a.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(writeBytes(other / L"a.txt", "an old read-only target"));
    ASSERT_TRUE(makeReadOnly(other / L"a.txt"));
    // While the file is copied, another program tries to open the source
    // in a way that would keep it from being deleted (or to write it): the
    // source is held, so it cannot.
    RoutineOverride routines({copyWhileSomeoneWrites, systemCopyRoutines().moveFileWithProgress});
    DWORD refusedWith = 0;
    size_t attempts = 0;
    g_meanwhile = [&] {
        ++attempts;
        UniqueFile reader(::CreateFileW(src(L"a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        0, nullptr));
        UniqueFile writer(::CreateFileW(src(L"a.txt").c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
        if (!reader && !writer) refusedWith = ::GetLastError();
    };
    {
        EngineRun run(kOperationMove);
        select(run, {L"a.txt"}, other.path());
        run.both();
        EXPECT_EQ(attempts, 1u);
        EXPECT_EQ(refusedWith, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "the held source kept both out";
        ASSERT_EQ(run.log.rows.size(), 1u);
        EXPECT_EQ(run.log.rows[0].status, kStatusSuccess);
        EXPECT_FALSE(exists(src(L"a.txt")));
        EXPECT_EQ(readBytes(other / L"a.txt"), "the source");
    }

    // A source whose deletion the system refuses (both ways of deleting
    // through the handle fail): the file is whole at both places and the
    // row names the source that stayed.
    g_meanwhile = nullptr;
    ASSERT_TRUE(writeBytes(src(L"b.txt"), "the second source"));
    ASSERT_TRUE(::SetFileAttributesW(src(L"b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(writeBytes(other / L"b.txt", "an old read-only target"));
    ASSERT_TRUE(makeReadOnly(other / L"b.txt"));
    const DispositionCalls refused = {refusedDisposition, refusedClassicDisposition};
    overrideDispositionCalls(&refused);
    EngineRun run(kOperationMove);
    select(run, {L"b.txt"}, other.path());
    run.both();
    overrideDispositionCalls(nullptr);
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
    EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kReasonSourceKept));
    EXPECT_EQ(run.log.rows[0].error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + src(L"b.txt")) << "the row names the source that stayed";
    EXPECT_EQ(readBytes(src(L"b.txt")), "the second source");
    EXPECT_EQ(readBytes(other / L"b.txt"), "the second source");
    const DWORD attributes = attributesOf(other / L"b.txt");
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << "the target has the source's attributes";
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY) << "never the old target's";
    EXPECT_EQ(countTemporaries(other.path()), 0u);
}

TEST_F(WriteTime, TheSpaceCheckCountsAReplacementBesideItsTarget)
{
    ASSERT_TRUE(writeBytes(src(L"big.bin"), std::string(100000, 'n')));
    ASSERT_TRUE(writeBytes(dst(L"big.bin"), std::string(90000, 'o')));
    ASSERT_TRUE(writeBytes(src(L"small.bin"), std::string(1000, 's')));
    EngineRun copy(kOperationCopy);
    select(copy, {L"big.bin", L"small.bin"}, dst());
    copy.counting();
    EXPECT_EQ(copy.settings.neededBytes, 10000 + 1000) << "what the run adds in the end";
    EXPECT_GE(copy.settings.neededPeakBytes, 100000) << "the new copy exists beside the old one for a while";
    EngineRun move(kOperationMove);
    select(move, {L"big.bin", L"small.bin"}, dst());
    move.counting();
    EXPECT_EQ(move.settings.neededBytes, 10000) << "on one volume only replacing grows";
    EXPECT_EQ(move.settings.neededPeakBytes, 10000) << "a rename needs no room beside";
}

} // namespace
