// Typed targets put into the one full form a run uses, or refused with the
// reason: slashes, relative paths against the selection's folder, blanks
// and dots at the ends of names, "\\?\" forms, unreachable drives, files in
// the way, names and paths beyond the limits.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "engine/TargetPath.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct Normalised {
    UINT refusal;
    std::wstring path;
};

Normalised normalise(const std::wstring& typed, const wchar_t* base = nullptr)
{
    std::vector<wchar_t> out(kRunPathCapacity, L'?');
    const UINT refusal = normaliseTarget(typed.c_str(), base, out.data(), out.size());
    return {refusal, out.data()};
}

TEST(TargetPath, SpellingsOfAFullPathBecomeOneForm)
{
    TempFolder root;
    const std::wstring base = root.path();
    const std::wstring expected = base + L"\\Out\\Sub";
    for (const std::wstring& typed :
         {base + L"\\Out\\Sub", L"  " + base + L"/Out/Sub  ", base + L"\\Out\\Sub\\", base + L"\\Out.\\Sub. . ",
          base + L"\\Out \\Sub", base + L"\\\\Out\\\\Sub", base + L"\\x\\..\\Out\\.\\Sub", L"\\\\?\\" + base + L"\\Out\\Sub"}) {
        const Normalised result = normalise(typed);
        EXPECT_EQ(result.refusal, 0u) << std::string(typed.begin(), typed.end());
        EXPECT_EQ(result.path, expected) << std::string(typed.begin(), typed.end());
    }
    EXPECT_EQ(normalise(L"c:\\").path, L"c:\\") << "a drive root keeps its backslash";
    EXPECT_EQ(normalise(L"C:/").path, L"C:\\");
}

TEST(TargetPath, RelativePathsAreTakenFromTheFolderOfTheSelection)
{
    const wchar_t* base = L"C:\\users\\Public\\Docs";
    EXPECT_EQ(normalise(L"..\\Out", base).path, L"C:\\users\\Public\\Out");
    EXPECT_EQ(normalise(L"Out", base).path, L"C:\\users\\Public\\Docs\\Out");
    EXPECT_EQ(normalise(L"./Out/", base).path, L"C:\\users\\Public\\Docs\\Out");
    EXPECT_EQ(normalise(L"\\Out", base).path, L"C:\\Out") << "a rooted path is on the selection's drive";
    EXPECT_EQ(normalise(L"..\\Out", L"C:\\users\\Public\\Docs\\").path, L"C:\\users\\Public\\Out");
    EXPECT_EQ(normalise(L"Out", L"\\\\?\\C:\\users").path, L"C:\\users\\Out");
    // Without a folder to start from, a relative path is refused, never
    // taken from the process's current folder.
    EXPECT_EQ(normalise(L"..\\Out").refusal, static_cast<UINT>(kRefusalTargetInvalid));
    EXPECT_EQ(normalise(L"Out", L"").refusal, static_cast<UINT>(kRefusalTargetInvalid));
    EXPECT_TRUE(normalise(L"Out", L"").path.empty()) << "nothing is written on a refusal";
}

TEST(TargetPath, TextThatIsNoFolderPathIsRefused)
{
    const wchar_t* base = L"C:\\users";
    for (const std::wstring& typed : std::vector<std::wstring>{L"", L"   ", L"C:Out", L"c:", L"C:\\a|b", L"C:\\a*", L"C:\\a?b", L"C:\\a\"b",
                                      L"C:\\a<b", L"C:\\a:b", L"C:\\ok\\...\\x", L"C:\\ok\\. .\\x", L"\\\\?\\Volume{1}\\x",
                                      L"\\\\server", L"\\\\\\share", L"C:\\a\x01" L"b"}) {
        EXPECT_EQ(normalise(typed, base).refusal, static_cast<UINT>(kRefusalTargetInvalid))
            << std::string(typed.begin(), typed.end());
    }
    // Names of more than 255 units do not exist on Windows file systems.
    EXPECT_EQ(normalise(L"C:\\" + std::wstring(255, L'n')).refusal, 0u);
    EXPECT_EQ(normalise(L"C:\\" + std::wstring(256, L'n')).refusal, static_cast<UINT>(kRefusalTargetInvalid));
    // The long form and a backslash must fit the run's working buffer.
    std::wstring deep = L"C:";
    while (deep.size() < kRunPathCapacity - 4) deep += L"\\" + std::wstring(200, L'd');
    EXPECT_EQ(normalise(deep).refusal, static_cast<UINT>(kRefusalTargetInvalid));
    // Even a buffer too small for a good result gets nothing cut short.
    wchar_t small[8];
    EXPECT_EQ(normaliseTarget(L"C:\\users\\Public", nullptr, small, 8), static_cast<UINT>(kRefusalTargetInvalid));
    EXPECT_EQ(small[0], L'\0');
}

TEST(TargetPath, UnreachableDrivesAndFilesInTheWayAreRefused)
{
    TempFolder root;
    ASSERT_TRUE(writeBytes(root / L"file.txt", "a file"));
    wchar_t unused = 0;
    for (wchar_t letter = L'r'; letter >= L'g' && !unused; --letter) {
        const std::wstring drive = std::wstring(1, letter) + L":\\";
        if (::GetFileAttributesW(drive.c_str()) == INVALID_FILE_ATTRIBUTES) unused = letter;
    }
    ASSERT_NE(unused, 0);
    EXPECT_EQ(normalise(std::wstring(1, unused) + L":\\Backup").refusal, static_cast<UINT>(kRefusalTargetUnreachable));
    // Left to the run's own check when it starts (as the operation dialog
    // asks): the form is still made.
    std::vector<wchar_t> out(kRunPathCapacity);
    EXPECT_EQ(normaliseTarget((std::wstring(1, unused) + L":/Backup/").c_str(), nullptr, out.data(), out.size(), false),
              0u);
    EXPECT_EQ(std::wstring(out.data()), std::wstring(1, unused) + L":\\Backup");
    EXPECT_EQ(normalise(L"\\\\no-such-server\\share\\x").refusal, static_cast<UINT>(kRefusalTargetUnreachable));
    EXPECT_EQ(normalise(L"\\\\?\\UNC\\no-such-server\\share").refusal, static_cast<UINT>(kRefusalTargetUnreachable));
    EXPECT_EQ(normalise(root / L"file.txt").refusal, static_cast<UINT>(kRefusalTargetIsFile));
    EXPECT_EQ(normalise(root / L"file.txt\\below\\deeper").refusal, static_cast<UINT>(kRefusalTargetIsFile));
    // A folder that does not exist yet is fine: the run makes it.
    const Normalised fresh = normalise(root / L"new\\deeper");
    EXPECT_EQ(fresh.refusal, 0u);
    EXPECT_EQ(fresh.path, root / L"new\\deeper");
    EXPECT_FALSE(exists(root / L"new")) << "normalising creates nothing";
}

TEST(TargetPath, TheFolderOfASourceList)
{
    wchar_t out[64];
    sourceListFolder(L"C:\\Docs\\;a.txt;b;", out, 64);
    EXPECT_STREQ(out, L"C:\\Docs\\");
    sourceListFolder(L"C:\\Docs", out, 64);
    EXPECT_STREQ(out, L"C:\\Docs");
    sourceListFolder(L"C:\\;", out, 64);
    EXPECT_STREQ(out, L"C:\\");
    sourceListFolder(L"C:\\Docs\\;a;", out, 4);
    EXPECT_STREQ(out, L"C:\\");
}

} // namespace
