// The walk over source lists and folder trees, on real trees under Wine:
// list, single-folder and drive-root forms, subfolders on and off, cloned
// trees, the file system's pre-selection, both passes' counters and byte
// totals, vanished and missing items, long and Unicode paths, and working
// paths that would outgrow their buffers.
#include <gtest/gtest.h>

#include "EngineFakes.h"

#include <algorithm>
#include <set>

using namespace sorvane;
using namespace sorvane::test;

namespace {

// Relative paths of every file (and, with a trailing '\', folder) below a folder.
void collect(const std::wstring& folder, const std::wstring& prefix, std::set<std::wstring>& out)
{
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.insert(prefix + name + L"\\");
            collect(folder + L"\\" + name, prefix + name + L"\\", out);
        } else {
            out.insert(prefix + name);
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}
std::set<std::wstring> treeOf(const std::wstring& folder)
{
    std::set<std::wstring> out;
    collect(L"\\\\?\\" + folder, L"", out);
    return out;
}

void makeFolder(const std::wstring& path) { ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr)); }
void makeFile(const std::wstring& path, const std::string& bytes) { ASSERT_TRUE(writeBytes(L"\\\\?\\" + path, bytes)); }

class Walk : public ::testing::Test {
protected:
    void SetUp() override
    {
        makeFolder(src());
        makeFolder(dst());
    }
    std::wstring src(const std::wstring& rest = L"") const { return rest.empty() ? root / L"src" : root / (L"src\\" + rest); }
    std::wstring dst(const std::wstring& rest = L"") const { return rest.empty() ? root / L"dst" : root / (L"dst\\" + rest); }
    // src: a.txt, b.log, sub\c.txt, sub\deep\d.txt, other\e.txt
    void standardTree()
    {
        makeFile(src(L"a.txt"), "aa");
        makeFile(src(L"b.log"), "bbb");
        makeFolder(src(L"sub"));
        makeFile(src(L"sub\\c.txt"), "cccc");
        makeFolder(src(L"sub\\deep"));
        makeFile(src(L"sub\\deep\\d.txt"), "ddddd");
        makeFolder(src(L"other"));
        makeFile(src(L"other\\e.txt"), "eeeeee");
    }
    TempFolder root;
};

TEST_F(Walk, ListFormProcessesOnlyTheNamedItemsAndRestoresTheList)
{
    standardTree();
    EngineRun run(kOperationCopy);
    const std::wstring list = sourceList(src(), {L"a.txt", L"sub"});
    run.settings.setSources(list.c_str());
    run.settings.setTarget(dst().c_str());
    run.counting();
    EXPECT_EQ(run.settings.sources, list) << "the list is put back after a pass";
    EXPECT_EQ(std::wstring(run.settings.target), L"\\\\?\\" + dst() + L"\\") << "the target is normalised";
    EXPECT_EQ(run.settings.scannedFiles, 3u);
    EXPECT_EQ(run.settings.totalFiles, 3u);
    EXPECT_EQ(run.settings.totalBytes, 2u + 4u + 5u);
    EXPECT_EQ(treeOf(dst()), std::set<std::wstring>{}) << "the counting pass creates nothing";
    run.executing();
    EXPECT_EQ(run.settings.sources, list);
    EXPECT_EQ(treeOf(dst()), (std::set<std::wstring>{L"a.txt", L"sub\\", L"sub\\c.txt", L"sub\\deep\\",
                                                      L"sub\\deep\\d.txt"}));
    EXPECT_EQ(run.settings.completedFiles, 3u);
    EXPECT_EQ(run.settings.doneBytes, run.settings.totalBytes);
    EXPECT_EQ(readBytes(dst(L"sub\\deep\\d.txt")), "ddddd");
    // Depth first, subfolders before the files of their folder.
    ASSERT_EQ(run.progress.files.size(), 3u);
    EXPECT_EQ(run.progress.files[0], L"a.txt");
    EXPECT_EQ(run.progress.files[1], L"d.txt");
    EXPECT_EQ(run.progress.files[2], L"c.txt");
}

TEST_F(Walk, SingleFolderFormTakesTheContentAndNeverRemovesTheFolder)
{
    standardTree();
    EngineRun run(kOperationMove);
    run.settings.setSources(src().c_str());
    run.settings.setTarget(dst().c_str());
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 5u);
    EXPECT_EQ(run.settings.countedFolders, 3u);
    EXPECT_EQ(run.settings.sameVolume, 1u) << "told by the volume's serial number in both forms of the list";
    EXPECT_EQ(run.settings.neededBytes, 0) << "a move within one volume only renames: it needs no room";
    run.executing();
    EXPECT_EQ(run.settings.sources, src());
    EXPECT_EQ(run.settings.completedFiles, 5u);
    EXPECT_EQ(treeOf(src()), std::set<std::wstring>{}) << "emptied subfolders are removed";
    EXPECT_TRUE(exists(src())) << "the selected folder itself stays";
    EXPECT_EQ(treeOf(dst()).size(), 8u);
    EXPECT_EQ(run.settings.failedFolders, 0u);
}

TEST_F(Walk, IncludeSubfoldersOffIgnoresSubfoldersButEntersSelectedOnes)
{
    standardTree();
    {
        EngineRun run(kOperationCopy);
        run.settings.includeSubfolders = 0;
        run.settings.setSources(src().c_str());
        run.settings.setTarget(dst().c_str());
        run.both();
        EXPECT_EQ(treeOf(dst()), (std::set<std::wstring>{L"a.txt", L"b.log"}));
    }
    EngineRun run(kOperationDelete);
    run.settings.includeSubfolders = 0;
    run.settings.setSources(sourceList(src(), {L"sub"}).c_str());
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 1u);
    EXPECT_EQ(run.settings.countedFolders, 0u);
    run.executing();
    EXPECT_FALSE(exists(src(L"sub\\c.txt"))) << "the selected folder is entered";
    EXPECT_TRUE(exists(src(L"sub\\deep\\d.txt"))) << "its subfolders are not";
    EXPECT_TRUE(exists(src(L"sub"))) << "not empty, so not removed, silently";
    EXPECT_EQ(run.log.rows.size(), 1u);
}

TEST_F(Walk, CloneTreeMakesTheFoldersAlreadyInTheCountingPass)
{
    standardTree();
    for (bool listForm : {true, false}) {
        TempFolder target;
        EngineRun run(kOperationCopy);
        run.settings.cloneTree = 1;
        run.settings.setPatterns(L"*.NOTHING");
        run.settings.setSources(listForm ? sourceList(src(), {L"sub", L"other"}).c_str() : src().c_str());
        const std::wstring out = target.path() + L"\\new\\out";
        run.settings.setTarget(out.c_str());
        run.counting();
        EXPECT_EQ(run.settings.totalFiles, 0u);
        const std::set<std::wstring> expected = {L"sub\\", L"sub\\deep\\", L"other\\"};
        EXPECT_EQ(treeOf(out), expected) << listForm;
        run.executing();
        EXPECT_EQ(treeOf(out), expected) << "no file qualifies, the structure is there";
    }
    // Without cloning, a copy makes only the folders that receive files.
    EngineRun run(kOperationCopy);
    run.settings.setPatterns(L"D.TXT");
    run.settings.setSources(src().c_str());
    run.settings.setTarget(dst().c_str());
    run.counting();
    EXPECT_TRUE(treeOf(dst()).empty());
    run.executing();
    EXPECT_EQ(treeOf(dst()), (std::set<std::wstring>{L"sub\\", L"sub\\deep\\", L"sub\\deep\\d.txt"}));
}

TEST_F(Walk, CloneTreeStillMakesTheTargetOfALoneSelectedFile)
{
    makeFile(src(L"lone.txt"), "lone");
    EngineRun run(kOperationCopy);
    run.settings.cloneTree = 1;
    run.settings.setSources(sourceList(src(), {L"lone.txt"}).c_str());
    const std::wstring out = dst(L"not\\yet");
    run.settings.setTarget(out.c_str());
    run.both();
    EXPECT_EQ(readBytes(out + L"\\lone.txt"), "lone");
    EXPECT_EQ(run.settings.failedFiles, 0u);
}

TEST_F(Walk, SinglePatternIsPreselectedByTheFileSystemOnlyWithoutSubfolders)
{
    makeFile(src(L"log7.txt"), "7");
    makeFile(src(L"LOG#.TXT"), "#");
    makeFile(src(L"notes.txtx"), "x");
    makeFile(src(L"notes.txt"), "n");
    struct Case {
        const wchar_t* pattern;
        uint32_t subfolders;
        std::set<std::wstring> copied;
    } cases[] = {
        {L"LOG#.TXT", 0, {L"LOG#.TXT"}},              // '#' is literal to the file system
        {L"LOG#.TXT", 1, {L"LOG#.TXT", L"log7.txt"}}, // the matcher's '#' is a digit
        {L"*.TXT", 0, {L"LOG#.TXT", L"log7.txt", L"notes.txt"}},
        {L"*.TXT", 1, {L"LOG#.TXT", L"log7.txt", L"notes.txt"}},
    };
    for (const auto& c : cases) {
        TempFolder target;
        EngineRun run(kOperationCopy);
        run.settings.setPatterns(c.pattern);
        run.settings.includeSubfolders = c.subfolders;
        run.settings.setSources(src().c_str());
        run.settings.setTarget(target.path().c_str());
        run.both();
        EXPECT_EQ(treeOf(target.path()), c.copied) << c.pattern << " " << c.subfolders;
    }
}

TEST_F(Walk, FiltersAsIntendedIncludingTheOddOnes)
{
    makeFile(src(L"a.c"), "c");
    makeFile(src(L"a.h"), "h");
    makeFile(src(L"tiny.bin"), std::string(10, 't'));
    makeFile(src(L"huge.bin"), std::string(1 << 20, 'h'));
    struct Case {
        const wchar_t* pattern;
        uint32_t sizeClass;
        uint32_t exclude;
        std::set<std::wstring> copied;
    } cases[] = {
        {L"*.C; *.H", 0, 0, {L"a.c"}},                  // " *.H" wants a blank first
        {L"*.C;*.H", 0, 0, {L"a.c", L"a.h"}},
        {L"*.BIN", 2, 0, {L"tiny.bin"}},                 // "Middle" includes small files
        {L"*.BIN", 3, 0, {L"huge.bin"}},
        {L"*.BIN", 0, 1, {L"a.c", L"a.h"}},              // excluded patterns
    };
    for (const auto& c : cases) {
        TempFolder target;
        EngineRun run(kOperationCopy);
        run.settings.setPatterns(c.pattern);
        run.settings.sizeClass = c.sizeClass;
        run.settings.excludePatterns = c.exclude;
        run.settings.setSources(src().c_str());
        run.settings.setTarget(target.path().c_str());
        run.both();
        EXPECT_EQ(treeOf(target.path()), c.copied) << c.pattern;
        EXPECT_EQ(run.settings.scannedFiles, 4u);
    }
}

TEST_F(Walk, CountersAndByteTotalsOfBothPasses)
{
    // Sizes 1..12 in three folders; a time window that drops four of them.
    uint64_t expectedBytes = 0;
    uint32_t expectedFiles = 0;
    for (int folder = 0; folder < 3; ++folder) {
        const std::wstring name = L"f" + std::to_wstring(folder);
        makeFolder(src(name));
        for (int i = 1; i <= 4; ++i) {
            const int size = folder * 4 + i;
            const std::wstring file = src(name + L"\\x" + std::to_wstring(i) + L".dat");
            makeFile(file, std::string(static_cast<size_t>(size), 'z'));
            const bool inWindow = i != 2;
            ASSERT_TRUE(setWriteTime(file, inWindow ? fileTimeOf(2020, 6, 1) : fileTimeOf(2010, 1, 1)));
            if (inWindow && folder != 1) {
                expectedBytes += static_cast<uint64_t>(size);
                ++expectedFiles;
            }
        }
    }
    EngineRun run(kOperationDelete);
    run.settings.timeMode = 1;
    run.settings.timeFrom = fileTimeOf(2020, 1, 1);
    run.settings.timeTo = fileTimeOf(2020, 12, 31);
    run.settings.setSources(sourceList(src(), {L"f0", L"f2"}).c_str());
    run.counting();
    EXPECT_EQ(run.settings.scannedFiles, 8u);
    EXPECT_EQ(run.settings.totalFiles, expectedFiles);
    EXPECT_EQ(run.settings.totalBytes, expectedBytes);
    EXPECT_EQ(run.settings.countedFolders, 0u) << "selected folders are not counted, only subfolders";
    EXPECT_EQ(run.settings.completedFiles + run.settings.failedFiles, 0u);
    EXPECT_GE(run.progress.updates, 8u);
    run.executing();
    EXPECT_EQ(run.settings.completedFiles, expectedFiles);
    EXPECT_EQ(run.settings.failedFiles, 0u);
    EXPECT_EQ(run.settings.doneBytes, expectedBytes);
    EXPECT_EQ(run.settings.scannedFiles, 8u) << "only the counting pass scans";
    EXPECT_EQ(run.log.count(kStatusSuccess), expectedFiles);
    EXPECT_TRUE(exists(src(L"f0\\x2.dat"))) << "outside the time window";
    EXPECT_TRUE(exists(src(L"f0"))) << "still holds a file";
    EXPECT_TRUE(exists(src(L"f1\\x1.dat"))) << "not selected";
}

TEST_F(Walk, AFileThatVanishesBetweenThePassesIsNeitherProcessedNorReported)
{
    makeFile(src(L"stays.txt"), "s");
    makeFile(src(L"goes.txt"), "g");
    EngineRun run(kOperationCopy);
    run.settings.setSources(src().c_str());
    run.settings.setTarget(dst().c_str());
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 2u);
    ASSERT_TRUE(::DeleteFileW(src(L"goes.txt").c_str()));
    run.executing();
    EXPECT_EQ(run.settings.completedFiles, 1u);
    EXPECT_EQ(run.settings.failedFiles, 0u);
    EXPECT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(treeOf(dst()), std::set<std::wstring>{L"stays.txt"});
}

TEST_F(Walk, AMissingSelectedItemIsOneFileNotExisting)
{
    makeFile(src(L"real.txt"), "r");
    EngineRun run(kOperationMove);
    run.settings.setSources(sourceList(src(), {L"ghost.txt", L"real.txt"}).c_str());
    run.settings.setTarget(dst().c_str());
    run.counting();
    EXPECT_EQ(run.settings.totalFiles, 2u);
    run.executing();
    EXPECT_EQ(run.settings.failedFiles, 1u);
    EXPECT_EQ(run.settings.completedFiles, 1u);
    ASSERT_EQ(run.log.rows.size(), 2u);
    EXPECT_EQ(run.log.rows[0].status, kStatusNotExist);
    EXPECT_EQ(run.log.rows[0].path, L"\\\\?\\" + src(L"ghost.txt"));
}

TEST_F(Walk, LongPathsAndUnicodeNamesCopyAndMoveWhole)
{
    // Folders of 70 characters, five deep: every file path passes 400.
    std::wstring rel = L"\u30c7\u30fc\u30bf";   // "データ"
    makeFolder(src(rel));
    for (int level = 0; level < 5; ++level) {
        rel += L"\\" + std::wstring(66, static_cast<wchar_t>(L'a' + level)) + L"\u00e9\u00df\u4e2d";
        makeFolder(src(rel));
    }
    const std::wstring names[] = {L"\u65e5\u672c\u8a9e.txt", L"\U0001F600.bin", L"plain.txt"};
    for (const auto& name : names) makeFile(src(rel + L"\\" + name), contentFor(name, 3000));
    ASSERT_GT(src(rel + L"\\plain.txt").size(), 400u);

    EngineRun copy(kOperationCopy);
    copy.settings.setSources(sourceList(src(), {L"\u30c7\u30fc\u30bf"}).c_str());
    copy.settings.setTarget(dst().c_str());
    copy.both();
    EXPECT_EQ(copy.settings.completedFiles, 3u);
    EXPECT_EQ(copy.settings.failedFiles, 0u);
    for (const auto& name : names) {
        EXPECT_EQ(readBytes(L"\\\\?\\" + dst(rel + L"\\" + name)), contentFor(name, 3000));
    }

    TempFolder moved;
    EngineRun move(kOperationMove);
    move.settings.setSources(sourceList(src(), {L"\u30c7\u30fc\u30bf"}).c_str());
    move.settings.setTarget(moved.path().c_str());
    move.both();
    EXPECT_EQ(move.settings.completedFiles, 3u);
    EXPECT_EQ(move.settings.failedFolders, 0u);
    EXPECT_TRUE(treeOf(src()).empty()) << "the long folders were emptied and removed";
    EXPECT_EQ(readBytes(L"\\\\?\\" + moved.path() + L"\\" + rel + L"\\plain.txt"), contentFor(L"plain.txt", 3000));
}

TEST_F(Walk, PathsThatWouldOutgrowTheWorkingBuffersFailWithTheReason)
{
    makeFile(src(L"s.txt"), "short name");
    makeFile(src(L"a-long-file-name-of-forty-characters.txt"), "long name");
    makeFolder(src(L"a-folder-name-of-thirty-chars"));
    makeFile(src(L"a-folder-name-of-thirty-chars\\inner.txt"), "inner");
    // A target so long that, in its long form with a backslash (32745
    // units), a 40-character name or a 30-character folder with its search
    // pattern cannot follow within 32767. Its names keep within the 255
    // units a name may have, or the target would be refused as a whole.
    std::wstring target = L"C:";
    while (target.size() < 32740) {
        const size_t room = 32740 - target.size() - 1;
        target += L"\\" + std::wstring(room < 200 ? room : 200, L'x');
    }
    ASSERT_EQ(target.size(), 32740u);
    const std::wstring list = sourceList(src(), {L"s.txt", L"a-long-file-name-of-forty-characters.txt",
                                                 L"a-folder-name-of-thirty-chars"});
    EngineRun run(kOperationCopy);
    run.settings.setSources(list.c_str());
    run.settings.setTarget(target.c_str());
    run.counting();
    EXPECT_EQ(std::wcslen(run.settings.target), 32745u);
    EXPECT_EQ(run.settings.totalFiles, 3u) << "every item is counted, none dropped";
    run.executing();
    EXPECT_EQ(run.settings.sources, list);
    EXPECT_EQ(std::wcslen(run.settings.target), 32745u);
    EXPECT_EQ(run.settings.failedFiles, 3u);
    EXPECT_EQ(run.settings.completedFiles, 0u);
    ASSERT_EQ(run.log.rows.size(), 3u);
    size_t tooLong = 0;
    for (const auto& row : run.log.rows) {
        EXPECT_EQ(row.status, kStatusFailed);
        EXPECT_TRUE(row.errorRow);
        tooLong += row.error == ERROR_FILENAME_EXCED_RANGE;
    }
    EXPECT_GE(tooLong, 2u) << "the long name and the folder are refused for their length";
    EXPECT_NE(run.log.find(L"a-long-file-name-of-forty-characters.txt"), nullptr);
    EXPECT_NE(run.log.find(L"a-folder-name-of-thirty-chars"), nullptr);
    EXPECT_EQ(readBytes(src(L"s.txt")), "short name");
}

TEST_F(Walk, NothingSelectedAndCancelledRunsDoNothing)
{
    // An empty list never stands for the current drive's root.
    makeFile(src(L"keep.txt"), "k");
    const std::wstring here = src();
    ASSERT_TRUE(::SetCurrentDirectoryW(here.c_str()));
    {
        EngineRun run(kOperationDelete);
        run.settings.setSources(L"");
        run.both();
        EXPECT_EQ(run.settings.totalFiles, 0u);
        EXPECT_TRUE(exists(src(L"keep.txt")));
    }
    ::SetCurrentDirectoryW(L"C:\\"); // let the folder go at the end
    EngineRun run(kOperationDelete);
    run.settings.setSources(sourceList(src(), {L"keep.txt"}).c_str());
    run.settings.cancel = 1;
    run.both();
    EXPECT_EQ(run.settings.totalFiles, 0u);
    EXPECT_TRUE(exists(src(L"keep.txt")));
    EXPECT_TRUE(run.log.rows.empty());
}

TEST_F(Walk, DriveRootFormsProcessTheWholeDriveOnce)
{
    TestDrive drive;
    if (!drive.ready()) GTEST_FAIL() << "could not map a test drive through dosdevices";
    const std::wstring top = drive.folder();
    ASSERT_TRUE(writeBytes(top + L"\\root.txt", "r"));
    ASSERT_TRUE(::CreateDirectoryW((top + L"\\dir").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(top + L"\\dir\\inner.txt", "in"));

    for (const std::wstring suffix : {L";", L";;"}) {
        TempFolder target;
        EngineRun run(kOperationCopy);
        const std::wstring list = drive.root() + suffix;
        run.settings.setSources(list.c_str());
        run.settings.setTarget(target.path().c_str());
        run.counting();
        EXPECT_EQ(run.settings.totalFiles, 2u) << "the root once, whatever the form: " << list.c_str();
        EXPECT_EQ(run.settings.totalBytes, 3u);
        run.executing();
        EXPECT_EQ(run.settings.sources, list);
        EXPECT_EQ(treeOf(target.path()), (std::set<std::wstring>{L"root.txt", L"dir\\", L"dir\\inner.txt"}));
    }
    // Deleting a whole drive empties it and never tries to remove its root.
    EngineRun run(kOperationDelete);
    run.settings.setSources((drive.root() + L";").c_str());
    run.both();
    EXPECT_EQ(run.settings.completedFiles, 2u);
    EXPECT_EQ(run.settings.failedFolders, 0u);
    EXPECT_EQ(run.log.count(kStatusFolderFailed), 0u);
    EXPECT_TRUE(treeOf(top).empty());
    EXPECT_TRUE(exists(drive.root()));
}

} // namespace
