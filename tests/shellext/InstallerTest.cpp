// Sorvane-Setup.exe installed and uninstalled silently: every deliverable and
// key is there in between, and nothing of ours is left afterwards. Run by
// ctest only when the installer was made; its path comes in SORVANE_SETUP.
#include <gtest/gtest.h>

#include "TestSupport.h"

#include <shlobj.h>

#include <cstdlib>

using namespace sorvane;

namespace {

const std::wstring kClassKey = L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}";
const std::wstring kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sorvane";
const wchar_t* const kOurKeys[] = {L"SorvaneExt.SorveneShellExt.1", L"SorvaneExt.SorveneShellExt",
                                   L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}",
                                   L"Folder\\ShellEx\\ContextMenuHandlers\\SorvaneMenu",
                                   L"Folder\\ShellEx\\DragDropHandlers\\SorvaneMenu",
                                   L"*\\ShellEx\\ContextMenuHandlers\\SorvaneMenu",
                                   L"TypeLib\\{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}"};

std::wstring value(HKEY root, const std::wstring& key, const wchar_t* name = nullptr)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return L"(none)";
    return data;
}

bool keyExists(HKEY root, const std::wstring& key)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

std::vector<std::wstring> filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}

TEST(Installer, SilentInstallAndUninstallLeaveNothingOfOurs)
{
    const wchar_t* setup = _wgetenv(L"SORVANE_SETUP");
    ASSERT_TRUE(setup && test::exists(setup)) << "no installer";
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles), S_OK);
    const std::wstring installed = std::wstring(programFiles) + L"\\Sorvane\\";
    ASSERT_FALSE(test::exists(installed)) << "an earlier installation is in the way";
    for (const wchar_t* key : kOurKeys) ASSERT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;

    test::ChildProcess install;
    ASSERT_TRUE(install.start(setup, L"/S"));
    ASSERT_EQ(install.wait(120000), 0u);

    const std::vector<std::wstring> deliverables = filesIn(test::distFolder());
    ASSERT_FALSE(deliverables.empty());
    for (const std::wstring& name : deliverables)
        EXPECT_EQ(test::readBytes(installed + name), test::readBytes(test::distFolder() + name)) << name;
    EXPECT_TRUE(test::exists(installed + L"Uninstall.exe"));
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), installed + L"SorvaneExt.dll");
    for (const wchar_t* key : kOurKeys) EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Sorvane");
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), L"\"" + installed + L"Uninstall.exe\"");

    // The uninstaller runs from a copy of itself and ends once it has
    // removed the folder: wait for that.
    test::ChildProcess uninstall;
    ASSERT_TRUE(uninstall.start(installed + L"Uninstall.exe", L"/S"));
    ASSERT_EQ(uninstall.wait(60000), 0u);
    for (int waited = 0; waited < 60000 && test::exists(installed); waited += 200) ::Sleep(200);
    EXPECT_FALSE(test::exists(installed)) << "left: " << testing::PrintToString(filesIn(installed));
    for (const wchar_t* key : kOurKeys) EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"Interface\\{4F0901A4-0E8E-4726-843E-BEEFB01224B4}"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // Shared keys stay.
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"*\\ShellEx\\ContextMenuHandlers"));
}

} // namespace
