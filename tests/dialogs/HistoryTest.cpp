// The three history lists as the main window loads and saves them: the
// standard folders from the shell, the CD-burning entry, the seed patterns,
// and the profile file after a first run.
#include <gtest/gtest.h>

#include "base/AppState.h"
#include "dialogs/History.h"
#include "common/Raii.h"
#include "TestSupport.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace sorvane;
using sorvane::test::readBytes;
using sorvane::test::writeBytes;

namespace {

using Texts = std::vector<std::wstring>;

const Texts kSeeds = {
    L"All Files|*.*",
    L"C++ Source|*.c;*.cpp;*.h;*.hpp",
    L"VC Source|*.c;*.cpp;*.h;*.hpp;*.def;*.rc;*.rc2;*.bmp;*.ico;*.cur;*.avi;*.txt",
    L"VC Resource|*.rc;*.rc2;*.h;*.bmp;*.ico;*.cur;*.avi",
    L"VC Intermediate File|*.obj;*.res;*.aps;*.map;*.pch;*.sbr;*.idb;*.pdb;*.plg;*.ncb;*.scc;*.opt;*.clw;*.log;*.tlog;*.pdb;*.idb",
    L"VC Project|*.dsw;*.dsp;*.mak",
    L"Executive File|*.exe;*.com;*.dll;*.ocx",
    L"Graphics|*.bmp;*.emf;*.eps;*.gif;*.jpg;*.pict;*.png;*.psd;*.raw;*.tif;*.wmf",
    L"Video|*.mpg;*.avi;*.wmv;*.rm;*.mov",
    L"Audio|*.mp3;*.wav;*.wma;*.ra;*.mid;*.ogg",
    L"Document|*.doc;*.dot;*.pdf;*.ppt;*.rtf;*.txt;*.xls;*.xlw;*.vsd;*.mdb",
    L"Data|*.csv;*.xml;*.xsl;*.xslt",
    L"Compressed File|*.bz2;*.cab;*.gz;*.lzh;*.sit;*.tar;*tgz;*.z;*.zip",
    L"WEB |*.asp;*.cgi;*.css;*.dtd;*.dxr;*.fla;*.htm;*.html;*.jsp;*.mht;*.sgml;*.swf;*.htx;*.alx;*.stm;*.shtml",
};

Texts entries(const CItemMngr& list)
{
    Texts result;
    for (int i = 0; i < list.Count(); ++i) result.push_back(list.At(i));
    return result;
}

// The path of a standard folder by the shell's older call; empty when the
// call fails (whatever it left in the buffer).
std::wstring shellFolderPath(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    return ::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? path : L"";
}

std::wstring withoutTrailingSlash(std::wstring path)
{
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring lastComponent(const std::wstring& path)
{
    const std::wstring trimmed = withoutTrailingSlash(path);
    return trimmed.substr(trimmed.rfind(L'\\') + 1);
}

std::string ansi(const std::wstring& text)
{
    std::string result;
    for (wchar_t c : text) result += static_cast<char>(c); // the texts here are ASCII
    return result;
}

class ProfileHistory : public ::testing::Test {
protected:
    void SetUp() override { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { ::CoUninitialize(); }

    test::TempFolder folder;
    std::wstring path = folder / L"Sorvane.ini";
    std::unique_ptr<HistoryLists> lists = std::make_unique<HistoryLists>();
    std::wstring cdBurningPath = shellFolderPath(CSIDL_LOCAL_APPDATA) + L"\\Microsoft\\CD Burning";
    // String 1600 labels it in the interface language.
    std::wstring cdBurning = L"CD Burning|" + cdBurningPath;
};

// What Wine's shell answers for the standard folders: the public ones carry
// the same display names as the user's own (Documents, Music, Pictures), so
// by the same-label rule they take over those entries; the CD-burning area
// does not exist in a fresh prefix, has no path and is skipped.
TEST_F(ProfileHistory, StandardFoldersFromTheShell)
{
    ASSERT_EQ(shellFolderPath(CSIDL_CDBURN_AREA), L"");
    addStandardFolders(lists->destines);
    const Texts got = entries(lists->destines);
    const int expected[] = {CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_MUSIC, CSIDL_COMMON_PICTURES,
                            CSIDL_MYVIDEO,          CSIDL_DESKTOPDIRECTORY, CSIDL_FAVORITES,
                            CSIDL_LOCAL_APPDATA,    CSIDL_APPDATA};
    ASSERT_EQ(got.size(), std::size(expected) + 1) << ::testing::PrintToString(got);
    for (size_t i = 0; i < std::size(expected); ++i) {
        const std::wstring path = shellFolderPath(expected[i]);
        ASSERT_FALSE(path.empty());
        const size_t bar = got[i].find(L'|');
        ASSERT_NE(bar, std::wstring::npos) << i;
        EXPECT_EQ(withoutTrailingSlash(got[i].substr(bar + 1)), path) << i;
        EXPECT_EQ(got[i].substr(0, bar), lastComponent(path)) << "the display name";
    }
    EXPECT_EQ(got.back(), cdBurning) << "labelled in English too";

    // A second time changes nothing: every entry is found again.
    addStandardFolders(lists->destines);
    EXPECT_EQ(entries(lists->destines), got);
}

TEST_F(ProfileHistory, FirstRunCreatesTheFileAndWritesThreeSections)
{
    ASSERT_FALSE(test::exists(path));
    LoadAll(*lists, path.c_str());
    EXPECT_TRUE(test::exists(path));
    EXPECT_EQ(readBytes(path), "") << "loading only creates the file";
    EXPECT_EQ(lists->archives.Count(), 0);
    EXPECT_EQ(entries(lists->types), kSeeds);
    ASSERT_GE(lists->destines.Count(), 2);
    EXPECT_EQ(std::wstring(lists->destines.At(lists->destines.Count() - 1)), cdBurning);

    // The user confirms one copy.
    lists->destines.Add(L"D:\\Backup", true);
    lists->types.Add(L"*.txt;*.log", true);
    ASSERT_TRUE(SaveAll(*lists, path.c_str()));

    std::string expected = "[Destines]\r\n  Num=" + std::to_string(lists->destines.Count()) + "\r\n";
    for (int i = 0; i < lists->destines.Count(); ++i)
        expected += "  Item" + std::to_string(i + 1) + "=" + ansi(lists->destines.At(i)) + "\r\n";
    expected += "[Archieve]\r\n  Num=0\r\n[Types]\r\n  Num=15\r\n  Item1=*.txt;*.log\r\n";
    for (size_t i = 0; i < kSeeds.size(); ++i)
        expected += "  Item" + std::to_string(i + 2) + "=" + ansi(kSeeds[i]) + "\r\n";
    EXPECT_EQ(readBytes(path), expected);
    const std::string head = "[Destines]\r\n  Num=" + std::to_string(lists->destines.Count()) + "\r\n  Item1=D:\\Backup\r\n";
    EXPECT_EQ(readBytes(path).compare(0, head.size(), head), 0);

    // The next run reads the same lists back; nothing is added twice.
    auto next = std::make_unique<HistoryLists>();
    LoadAll(*next, path.c_str());
    EXPECT_EQ(entries(next->destines), entries(lists->destines));
    EXPECT_EQ(entries(next->types), entries(lists->types));
    ASSERT_TRUE(SaveAll(*next, path.c_str()));
    EXPECT_EQ(readBytes(path), expected);
}

TEST_F(ProfileHistory, StoredEntriesKeepTheirPlaces)
{
    const std::wstring desktop = shellFolderPath(CSIDL_DESKTOPDIRECTORY);
    std::string bytes = "[Destines]\r\n  Num=3\r\n  Item1=D:\\Backup\r\n  Item2=Mine|" + ansi(desktop) +
                        "\r\n  Item3=" + ansi(cdBurningPath) + "\r\n[Types]\r\n  Num=1\r\n  Item1=Mine|*.x\r\n";
    ASSERT_TRUE(writeBytes(path, bytes));
    LoadAll(*lists, path.c_str());
    const Texts got = entries(lists->destines);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0], L"D:\\Backup");
    EXPECT_EQ(got[1], L"Desktop|" + desktop) << "the shell's label replaces the user's";
    EXPECT_EQ(got[2], cdBurning) << "a stored entry without label gets the label, in its place";
    EXPECT_EQ(std::count(got.begin(), got.end(), L"Desktop|" + desktop), 1);
    EXPECT_EQ(entries(lists->types), (Texts{L"Mine|*.x"})) << "no seeds for a list that has entries";

    // A full list only has its standard entries updated.
    bytes = "[Destines]\r\n  Num=32\r\n";
    for (int k = 1; k <= 32; ++k)
        bytes += "  Item" + std::to_string(k) + "=" + (k == 7 ? ansi(desktop) : "F:\\" + std::to_string(k)) + "\r\n";
    ASSERT_TRUE(writeBytes(path, bytes + "[Types]\r\n  Num=0\r\n  Item1=not read\r\n"));
    auto full = std::make_unique<HistoryLists>();
    LoadAll(*full, path.c_str());
    ASSERT_EQ(full->destines.Count(), 32);
    EXPECT_STREQ(full->destines.At(0), L"F:\\1");
    EXPECT_EQ(std::wstring(full->destines.At(6)), L"Desktop|" + desktop);
    EXPECT_STREQ(full->destines.At(31), L"F:\\32");
    EXPECT_EQ(entries(full->types), kSeeds) << "Num=0 is an empty list";
}

TEST_F(ProfileHistory, AnUnloadableFileStillGetsFoldersAndSeeds)
{
    {
        UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        LARGE_INTEGER at;
        at.QuadPart = 0x1000000;
        ASSERT_TRUE(::SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(f.get()));
    }
    LoadAll(*lists, path.c_str());
    EXPECT_EQ(entries(lists->types), kSeeds);
    EXPECT_GE(lists->destines.Count(), 2);
    EXPECT_FALSE(SaveAll(*lists, path.c_str()));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 0x1000000u) << "left as it was";
}

TEST_F(ProfileHistory, TheProcessListsUseTheDataFolder)
{
    AppState& state = app();
    const std::wstring saved = state.appDataFolder;
    const std::wstring dataFolder = folder.path() + L"\\";
    wcsncpy(state.appDataFolder, dataFolder.c_str(), MAX_PATH - 1);
    EXPECT_EQ(historyProfilePath(), path);
    LoadAll();
    EXPECT_EQ(entries(history().types), kSeeds);
    history().archives.Add(L"D:\\Out\\a.lzh", true);
    EXPECT_TRUE(SaveAll());
    EXPECT_NE(readBytes(path).find("[Archieve]\r\n  Num=1\r\n  Item1=D:\\Out\\a.lzh\r\n"), std::string::npos);

    // Without a data folder nothing is read or written anywhere.
    state.appDataFolder[0] = L'\0';
    EXPECT_EQ(historyProfilePath(), L"");
    EXPECT_FALSE(SaveAll());
    wcsncpy(state.appDataFolder, saved.c_str(), MAX_PATH - 1);
}

} // namespace
