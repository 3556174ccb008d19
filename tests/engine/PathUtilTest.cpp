// Path helpers: long-path forms, kinds, folder chains, roots and volumes,
// and the name and text helpers, on real folders where they touch the disk.
#include <gtest/gtest.h>

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

TEST(Roots, DrivesNetworkAndLongForms)
{
    const wchar_t* p = L"C:\\x";
    EXPECT_EQ(pathRoot(p), p + 1);
    const wchar_t* l = L"\\\\?\\C:\\x";
    EXPECT_EQ(pathRoot(l), l + 7);
    const wchar_t* u = L"\\\\?\\UNC\\srv\\share\\x";
    EXPECT_EQ(pathRoot(u), u + 8);
    const wchar_t* n = L"\\\\srv";
    EXPECT_EQ(pathRoot(n), nullptr);
    const wchar_t* r = L"relative\\x";
    EXPECT_EQ(pathRoot(r), r);

    EXPECT_TRUE(isSameVolume(L"\\\\?\\C:\\a", L"\\\\?\\c:\\b"));
    EXPECT_FALSE(isSameVolume(L"\\\\?\\C:\\a", L"\\\\?\\D:\\a"));
    EXPECT_TRUE(isSameVolume(L"\\\\?\\UNC\\s1\\a", L"\\\\?\\UNC\\s2\\b")) << "network paths compare as one volume";
    EXPECT_FALSE(isSameVolume(L"\\\\?\\UNC\\s1\\a", L"\\\\?\\C:\\a"));
    EXPECT_FALSE(isSameVolume(L"\\\\srv", L"\\\\srv"));
}

TEST(NameHelpers, PartsAndExtensions)
{
    EXPECT_STREQ(fileNamePart(L"C:\\a\\b.txt"), L"b.txt");
    EXPECT_STREQ(fileNamePart(L"C:b.txt"), L"b.txt");
    EXPECT_STREQ(fileNamePart(L"x/y"), L"y");
    EXPECT_STREQ(fileNamePart(L"plain"), L"plain");
    EXPECT_EQ(lastSeparator(L"plain"), nullptr);
    EXPECT_STREQ(extensionDot(L"C:\\a.b\\c.txt"), L".txt");
    EXPECT_EQ(extensionDot(L"C:\\a.b\\c"), nullptr);
    EXPECT_STREQ(extensionDot(L"a.tar.gz"), L".gz");

    wchar_t path[64] = L"C:\\x\\file.txt";
    ASSERT_TRUE(replaceExtension(path, 64, L".bak"));
    EXPECT_STREQ(path, L"C:\\x\\file.bak");
    wcscpy(path, L"C:\\x.y\\file");
    ASSERT_TRUE(replaceExtension(path, 64, L".bak"));
    EXPECT_STREQ(path, L"C:\\x.y\\file.bak");
    ASSERT_TRUE(replaceExtension(path, 64, nullptr));
    EXPECT_STREQ(path, L"C:\\x.y\\file");
    wcscpy(path, L"name");
    ASSERT_TRUE(replaceExtension(path, 64, L".exe"));
    EXPECT_STREQ(path, L"name.exe");
    wchar_t small[10] = L"abc.d";
    EXPECT_FALSE(replaceExtension(small, 10, L".longer"));
    EXPECT_STREQ(small, L"abc.d");

    wchar_t out[16];
    trimBlanks(L"  a b \t ", out, 16);
    EXPECT_STREQ(out, L"a b \t");
    wchar_t inPlace[16] = L"   x  ";
    trimBlanks(inPlace, inPlace, 16);
    EXPECT_STREQ(inPlace, L"x");
}

TEST(DeleteMatchingFiles, FilesOnlyAndResult)
{
    test::TempFolder folder;
    ASSERT_TRUE(test::writeBytes(folder / L"a.tmp", "1"));
    ASSERT_TRUE(test::writeBytes(folder / L"b.tmp", "2"));
    ASSERT_TRUE(test::writeBytes(folder / L"keep.txt", "3"));
    ASSERT_TRUE(::CreateDirectoryW((folder / L"dir.tmp").c_str(), nullptr));
    EXPECT_TRUE(deleteMatchingFiles((folder / L"*.tmp").c_str()));
    EXPECT_FALSE(test::exists(folder / L"a.tmp"));
    EXPECT_FALSE(test::exists(folder / L"b.tmp"));
    EXPECT_TRUE(test::exists(folder / L"keep.txt"));
    EXPECT_TRUE(test::exists(folder / L"dir.tmp"));
    EXPECT_TRUE(deleteMatchingFiles((folder / L"*.none").c_str())) << "nothing found is success";

    // A read-only file refuses deletion: the result says so.
    ASSERT_TRUE(test::writeBytes(folder / L"ro.tmp", "4"));
    ASSERT_TRUE(::SetFileAttributesW((folder / L"ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(deleteMatchingFiles((folder / L"*.tmp").c_str()));
    EXPECT_TRUE(test::exists(folder / L"ro.tmp"));
}

} // namespace
