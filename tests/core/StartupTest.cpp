// Start-up steps that tests can run on their own: the data folder and the
// help file name.
#include <gtest/gtest.h>

#include "core/Startup.h"
#include "TestSupport.h"

#include <shlobj.h>

using namespace sorvane;

namespace {

TEST(Startup, DataFolderIsCreatedUnderAppData)
{
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    wchar_t folder[MAX_PATH] = {};
    initAppDataFolder(folder, MAX_PATH);
    EXPECT_EQ(std::wstring(folder), std::wstring(appData) + L"\\Brenmoor\\Sorvane\\");
    DWORD attributes = ::GetFileAttributesW(folder);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // A second start finds the folders in place.
    wchar_t again[MAX_PATH] = {};
    initAppDataFolder(again, MAX_PATH);
    EXPECT_STREQ(again, folder);
    // A buffer too small for the path leaves it empty rather than cut.
    wchar_t tiny[8] = L"x";
    initAppDataFolder(tiny, 8);
    EXPECT_STREQ(tiny, L"");
}

TEST(Startup, HelpFileByLanguageElsePlain)
{
    test::TempFolder folder;
    const std::wstring exe = folder / L"Sorvane.exe";
    wchar_t help[MAX_PATH] = {};
    initHelpFilePath(exe.c_str(), 0x0411, help, MAX_PATH);
    EXPECT_EQ(std::wstring(help), folder / L"Sorvane.chm");

    ASSERT_TRUE(test::writeBytes(folder / L"Sorvane.0411.chm", "x"));
    initHelpFilePath(exe.c_str(), 0x0411, help, MAX_PATH);
    EXPECT_EQ(std::wstring(help), folder / L"Sorvane.0411.chm");
    initHelpFilePath(exe.c_str(), 0x0409, help, MAX_PATH);
    EXPECT_EQ(std::wstring(help), folder / L"Sorvane.chm");
    initHelpFilePath(exe.c_str(), 0x0C04, help, MAX_PATH);
    EXPECT_EQ(std::wstring(help), folder / L"Sorvane.chm");
}

} // namespace
