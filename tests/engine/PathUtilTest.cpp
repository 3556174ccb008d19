// Path helpers that touch the disk: the long form made in place within a
// buffer, kinds of paths and folder chains, on real folders.
#include <gtest/gtest.h>

#include "engine/PathForms.h"
#include "engine/PathUtil.h"
#include "TestSupport.h"

#include <vector>

using namespace sorvane;

namespace {

std::wstring longForm(const wchar_t* path, size_t capacity = 32768)
{
    std::vector<wchar_t> buffer(capacity);
    wcsncpy(buffer.data(), path, capacity - 1);
    if (!toLongPath(buffer.data(), capacity)) return L"<refused>";
    return buffer.data();
}

TEST(LongPath, Forms)
{
    EXPECT_EQ(longForm(L"C:\\Data"), L"\\\\?\\C:\\Data");
    EXPECT_EQ(longForm(L"\\\\srv\\share\\x"), L"\\\\?\\UNC\\srv\\share\\x");
    EXPECT_EQ(longForm(L"\\\\?\\C:\\Data"), L"\\\\?\\C:\\Data");
    EXPECT_EQ(longForm(L""), L"\\\\?\\");
    EXPECT_EQ(longForm(L"rel\\x"), L"\\\\?\\rel\\x");
    EXPECT_EQ(longForm(L"\\\\.\\C:\\Data"), L"\\\\.\\C:\\Data") << "a device form is kept";
    EXPECT_EQ(longForm(L"\\\\?\\unc\\s\\x"), L"\\\\?\\unc\\s\\x");
}

TEST(LongPath, TooLongIsRefusedNotCut)
{
    // "C:\" + 8 characters = 11; the long form needs 15 + terminator.
    EXPECT_EQ(longForm(L"C:\\abcdefgh", 16), L"\\\\?\\C:\\abcdefgh");
    EXPECT_EQ(longForm(L"C:\\abcdefgh", 15), L"<refused>");
    // A network path grows by six: "\\s\x" (5) needs 11 + terminator.
    EXPECT_EQ(longForm(L"\\\\s\\x", 12), L"\\\\?\\UNC\\s\\x");
    EXPECT_EQ(longForm(L"\\\\s\\x", 11), L"<refused>");
    wchar_t buffer[8] = L"C:\\abcd";
    EXPECT_FALSE(toLongPath(buffer, 8));
    EXPECT_STREQ(buffer, L"C:\\abcd") << "a refused path is left as it was";
}

TEST(PathKind, MissingFileFolder)
{
    test::TempFolder folder;
    ASSERT_TRUE(test::writeBytes(folder / L"f.txt", "x"));
    EXPECT_EQ(pathKind(nullptr), kPathMissing);
    EXPECT_EQ(pathKind(L""), kPathMissing);
    EXPECT_EQ(pathKind((folder / L"nothing").c_str()), kPathMissing);
    EXPECT_EQ(pathKind((folder / L"f.txt").c_str()), kPathFile);
    EXPECT_EQ(pathKind(folder.path().c_str()), kPathFolder);
    EXPECT_EQ(pathKind((folder.path() + L"\\").c_str()), kPathFolder);
    EXPECT_EQ(pathKind(L"C:\\windows\\"), kPathFolder);
    EXPECT_EQ(pathKind((L"\\\\?\\" + folder.path()).c_str()), kPathFolder);
}

TEST(EnsureFolderPath, CreatesTheChain)
{
    test::TempFolder folder;
    const std::wstring deep = L"\\\\?\\" + folder.path() + L"\\Out\\a\\b";
    EXPECT_EQ(ensureFolderPath(deep.c_str(), false, true), 0u);
    EXPECT_EQ(pathKind((folder / L"Out\\a\\b").c_str()), kPathFolder);
    // Again: everything exists, still success.
    EXPECT_EQ(ensureFolderPath(deep.c_str(), false, false), 0u);

    // A file leaf: only the folders above it are made.
    const std::wstring file = folder.path() + L"\\F1\\F2\\leaf.txt";
    EXPECT_EQ(ensureFolderPath(file.c_str(), true, false), 0u);
    EXPECT_EQ(pathKind((folder / L"F1\\F2").c_str()), kPathFolder);
    EXPECT_EQ(pathKind(file.c_str()), kPathMissing);

    // A double backslash is stepped over: the folder before it is not
    // looked at, the system reads the pair as one separator.
    ASSERT_TRUE(::CreateDirectoryW((folder / L"D1").c_str(), nullptr));
    const std::wstring doubled = folder.path() + L"\\D1\\\\D2\\D3";
    EXPECT_EQ(ensureFolderPath(doubled.c_str(), false, false), 0u);
    EXPECT_EQ(pathKind((folder / L"D1\\D2\\D3").c_str()), kPathFolder);
}

TEST(EnsureFolderPath, ReportsTheFailingCreation)
{
    test::TempFolder folder;
    ASSERT_TRUE(test::writeBytes(folder / L"blocker", "file in the way"));
    const std::wstring path = folder.path() + L"\\blocker\\sub\\leaf";
    EXPECT_NE(ensureFolderPath(path.c_str(), false, false), 0u);
    EXPECT_EQ(pathKind((folder / L"blocker").c_str()), kPathFile) << "the file is untouched";
}

} // namespace
