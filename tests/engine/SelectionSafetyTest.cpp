// Selected items that must not lead the run elsewhere: links (junctions and
// symbolic links) are never followed, also when selected; elements of the
// source list that name no item of its folder ("..\x", "a\b", "*") touch
// nothing. Wine 8 cannot make junctions or NT symbolic links: the decision
// is tested on injected attributes and tags, and on the one link Wine does
// show, a Unix symbolic link to a folder (a reparse point of tag 0).
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "engine/SelectedItem.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr DWORD kDedupTag = 0x80000013;      // IO_REPARSE_TAG_DEDUP: a plain file underneath
constexpr DWORD kCloudTag = 0x9000001A;      // IO_REPARSE_TAG_CLOUD_6: a placeholder folder

TEST(SelectedItem, WhatASelectedItemIsDecidesWhetherItIsFollowed)
{
    const DWORD folder = FILE_ATTRIBUTE_DIRECTORY;
    const DWORD reparse = FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_EQ(selectedItemKind(INVALID_FILE_ATTRIBUTES, 0), SelectedKind::Missing);
    EXPECT_EQ(selectedItemKind(FILE_ATTRIBUTE_ARCHIVE, 0), SelectedKind::File);
    EXPECT_EQ(selectedItemKind(folder, 0), SelectedKind::Folder);
    EXPECT_EQ(selectedItemKind(folder | reparse, IO_REPARSE_TAG_MOUNT_POINT), SelectedKind::FolderLink) << "a junction";
    EXPECT_EQ(selectedItemKind(folder | reparse, IO_REPARSE_TAG_SYMLINK), SelectedKind::FolderLink);
    EXPECT_EQ(selectedItemKind(FILE_ATTRIBUTE_ARCHIVE | reparse, IO_REPARSE_TAG_SYMLINK), SelectedKind::FileLink);
    EXPECT_EQ(selectedItemKind(folder | reparse, 0), SelectedKind::FolderLink) << "an unknown tag is no safe folder";
    // Reparse points that are no links hold the user's files.
    EXPECT_EQ(selectedItemKind(FILE_ATTRIBUTE_ARCHIVE | reparse, kDedupTag), SelectedKind::File);
    EXPECT_EQ(selectedItemKind(folder | reparse, kCloudTag), SelectedKind::Folder);
}

TEST(SelectedItem, OnlyNamesOfItemsInTheFolderAreItemNames)
{
    const auto name = [](const std::wstring& text) { return isItemName(text.c_str(), text.size()); };
    EXPECT_TRUE(name(L"Photos"));
    EXPECT_TRUE(name(L"a.txt"));
    EXPECT_TRUE(name(L"...hidden"));
    EXPECT_TRUE(name(L"\x65e5\x672c"));
    const std::vector<std::wstring> bad = {L"",    L".",   L"..",  L"..\\Other", L"sub\\file", L"sub/file", L"C:\\x",
                                           L"x:y", L"*",   L"a?.txt", L"<x>",     L"a|b",       L"\"q\""};
    for (const std::wstring& text : bad) {
        EXPECT_FALSE(name(text)) << std::string(text.begin(), text.end());
    }
}

class Selection : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(src().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(dst().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((root / L"elsewhere").c_str(), nullptr));
        ASSERT_TRUE(writeBytes(root / L"elsewhere\\precious.txt", "precious"));
        ASSERT_TRUE(writeBytes(src() + L"\\a.txt", "alpha"));
    }
    // The link goes first, while what it leads to is still there.
    void TearDown() override
    {
        if (exists(src() + L"\\link")) removeUnixLink(src() + L"\\link");
    }
    std::wstring src() const { return root / L"src"; }
    std::wstring dst() const { return root / L"dst"; }
    // A Unix symbolic link "src\link" to the folder "elsewhere".
    bool makeFolderLink()
    {
        const std::string from = unixPathOf(root / L"elsewhere");
        const std::string to = unixPathOf(src()) + "/link";
        if (from.empty() || to.size() <= 5) return false;
        runUnix(L"Z:\\bin\\ln", L"ln -sT " + std::wstring(from.begin(), from.end()) + L" " +
                                    std::wstring(to.begin(), to.end()));
        for (int i = 0; i < 100 && !exists(src() + L"\\link"); ++i) ::Sleep(20);
        return selectedItemKind(attributesOf(src() + L"\\link"), 0) == SelectedKind::FolderLink;
    }
    TempFolder root;
};

TEST_F(Selection, ASelectedLinkIsNeverFollowed)
{
    ASSERT_TRUE(makeFolderLink()) << "Wine shows a Unix link to a folder as a reparse point";
    EXPECT_EQ(readSelectedItemKind((src() + L"\\link").c_str()), SelectedKind::FolderLink);
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        EngineRun run(kind);
        run.settings.cloneTree = 1;
        run.settings.setSources(sourceList(src(), {L"link", L"a.txt"}).c_str());
        run.settings.setTarget(dst().c_str());
        run.counting();
        EXPECT_EQ(run.settings.totalFiles, 2u) << "the link is counted, never entered";
        run.executing();
        EXPECT_EQ(run.log.countReason(kReasonLinkSkipped), 1u);
        const LogRow* row = run.log.find(L"\\link");
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->status, kStatusSkipped);
        EXPECT_FALSE(exists(dst() + L"\\link")) << "nothing behind the link is copied or made";
        EXPECT_EQ(readBytes(root / L"elsewhere\\precious.txt"), "precious");
        EXPECT_TRUE(exists(src() + L"\\link"));
        if (kind == kOperationMove) {
            ASSERT_TRUE(writeBytes(src() + L"\\a.txt", "alpha"));
            ::DeleteFileW((dst() + L"\\a.txt").c_str());
        }
    }
    // The one-folder form: a folder that is a link is not entered either.
    EngineRun whole(kOperationMove);
    whole.settings.setSources((src() + L"\\link").c_str());
    whole.settings.setTarget(dst().c_str());
    whole.both();
    EXPECT_EQ(whole.log.countReason(kReasonLinkSkipped), 1u);
    EXPECT_EQ(readBytes(root / L"elsewhere\\precious.txt"), "precious");
}

TEST_F(Selection, ADeleteOfASelectedLinkNeverReachesWhatItLeadsTo)
{
    ASSERT_TRUE(makeFolderLink()) << "Wine shows a Unix link to a folder as a reparse point";
    for (bool testOnly : {true, false}) {
        EngineRun run(kOperationDelete);
        run.settings.testOnly = testOnly ? 1 : 0;
        run.settings.setSources(sourceList(src(), {L"link"}).c_str());
        run.both();
        EXPECT_EQ(run.settings.totalFiles, 1u);
        ASSERT_EQ(run.log.rows.size(), 1u);
        if (testOnly) {
            EXPECT_EQ(run.log.rows[0].status, kStatusTestOnly);
        } else {
            // Wine opens what a Unix link leads to even when asked for the
            // link itself: the engine sees that and removes nothing. (On
            // Windows the link is removed, through a handle on the link.)
            EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
            EXPECT_EQ(run.log.rows[0].error, static_cast<DWORD>(ERROR_NOT_A_REPARSE_POINT));
        }
        EXPECT_EQ(readBytes(root / L"elsewhere\\precious.txt"), "precious") << "never what the link leads to";
        EXPECT_TRUE(exists(root / L"elsewhere"));
    }
    // Removing a link refuses anything that is no reparse point.
    EXPECT_EQ(removeLink((root / L"elsewhere").c_str()), static_cast<DWORD>(ERROR_NOT_A_REPARSE_POINT));
    EXPECT_EQ(removeLink((root / L"elsewhere\\precious.txt").c_str()), static_cast<DWORD>(ERROR_NOT_A_REPARSE_POINT));
    EXPECT_EQ(readBytes(root / L"elsewhere\\precious.txt"), "precious");
    EXPECT_NE(removeLink((root / L"nothing").c_str()), 0u);
    // The walk lists no reparse point: a link inside a selected folder is
    // neither entered nor removed.
    ASSERT_TRUE(::CreateDirectoryW((root / L"outer").c_str(), nullptr));
    EngineRun walk(kOperationDelete);
    walk.settings.setSources(sourceList(root.path(), {L"src"}).c_str());
    walk.both();
    EXPECT_EQ(readBytes(root / L"elsewhere\\precious.txt"), "precious");
    EXPECT_FALSE(exists(src() + L"\\a.txt"));
    EXPECT_TRUE(exists(src())) << "the folder holding the link stays";
}

TEST_F(Selection, ElementsThatNameNoItemOfTheFolderTouchNothing)
{
    ASSERT_TRUE(::CreateDirectoryW((src() + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(src() + L"\\sub\\inner.txt", "inner"));
    for (uint32_t kind : {kOperationDelete, kOperationMove, kOperationCopy}) {
        EngineRun run(kind);
        run.settings.setSources(
            (src() + L"\\;..\\elsewhere;..\\elsewhere\\precious.txt;sub\\inner.txt;*;..;.;a.txt;").c_str());
        run.settings.setTarget(dst().c_str());
        run.counting();
        EXPECT_EQ(run.settings.totalFiles, 7u) << "each refused element is counted as one file";
        run.executing();
        EXPECT_EQ(run.log.countReason(kReasonNotAName), 6u);
        EXPECT_EQ(run.settings.failedFiles, 6u);
        EXPECT_EQ(run.settings.completedFiles, 1u) << "a.txt, a real name, is handled";
        EXPECT_EQ(readBytes(root / L"elsewhere\\precious.txt"), "precious") << "nothing outside the folder";
        EXPECT_EQ(readBytes(src() + L"\\sub\\inner.txt"), "inner") << "nor below it, by a path in a name";
        EXPECT_FALSE(exists(dst() + L"\\precious.txt"));
        EXPECT_FALSE(exists(dst() + L"\\inner.txt"));
        ASSERT_TRUE(writeBytes(src() + L"\\a.txt", "alpha"));
    }
}

TEST_F(Selection, AFileTheRecycleBinDidNotTakeIsKeptAndSaysSo)
{
    // Wine's bin cannot make the record of a file whose name leaves no room
    // for ".trashinfo" (255 bytes at most), yet reports the file taken: the
    // file is still in its place, and that is what the row must say.
    // The whole path must stay below MAX_PATH for the shell: a short folder
    // at the root of C:.
    const std::wstring folder = L"C:\\s" + std::to_wstring(::GetCurrentProcessId() % 10000);
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring name = std::wstring(MAX_PATH - 2 - folder.size(), L'n');
    ASSERT_GT(name.size() + 10, 255u) << "no room for the bin's record";
    ASSERT_TRUE(writeBytes(folder + L"\\" + name, "stays"));
    EngineRun run(kOperationDelete);
    run.settings.overwrite = 1;
    run.settings.setSources(sourceList(folder, {name}).c_str());
    run.both();
    EXPECT_EQ(readBytes(folder + L"\\" + name), "stays");
    removeTree(folder);
    EXPECT_EQ(run.settings.completedFiles, 0u);
    EXPECT_EQ(run.settings.failedFiles, 1u);
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].status, kStatusFailed);
    EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kReasonNotRecycled));
}

} // namespace
