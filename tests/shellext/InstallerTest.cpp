// Sorvane-Setup.exe installed and uninstalled: every deliverable and key is
// there in between, and nothing of ours is left afterwards; installed again
// over a copy whose extension another process holds, silently and through
// its pages, it finishes at the next restart (here: wineboot -r). Run by
// ctest only when the installer was made; its path comes in SORVANE_SETUP.
#include <gtest/gtest.h>

#include "Raii.h"
#include "TestSupport.h"

#include <shlobj.h>

#include <cstdlib>
#include <functional>

using namespace sorvane;

namespace {

const std::wstring kClassKey = L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}";
const std::wstring kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sorvane";
const std::wstring kRunOnceKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::wstring kSessionManagerKey = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t* const kOurKeys[] = {L"SorvaneExt.SorveneShellExt.1", L"SorvaneExt.SorveneShellExt",
                                   L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}",
                                   L"CLSID\\{54C7C6BE-6F7C-4885-AE96-CD301C434569}",
                                   L"Folder\\ShellEx\\ContextMenuHandlers\\SorvaneMenu",
                                   L"Folder\\ShellEx\\DragDropHandlers\\SorvaneMenu",
                                   L"*\\ShellEx\\ContextMenuHandlers\\SorvaneMenu",
                                   L"TypeLib\\{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}"};
constexpr DWORD kExitRestartNeeded = 3010;
constexpr DWORD kSetupWait = 120000;

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

const wchar_t* setupPath()
{
    const wchar_t* setup = _wgetenv(L"SORVANE_SETUP");
    return setup && test::exists(setup) ? setup : nullptr;
}

std::wstring installFolder()
{
    wchar_t programFiles[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    return std::wstring(programFiles) + L"\\Sorvane\\";
}

// The pairs of PendingFileRenameOperations: source, then target ("" for a
// deletion; a leading "!" means "replace").
std::vector<std::wstring> pendingRenames()
{
    std::vector<std::wstring> entries;
    DWORD type = 0, size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey.c_str(), L"PendingFileRenameOperations",
                       RRF_RT_REG_MULTI_SZ, &type, nullptr, &size) != ERROR_SUCCESS)
        return entries;
    std::wstring data(size / sizeof(wchar_t) + 2, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey.c_str(), L"PendingFileRenameOperations",
                       RRF_RT_REG_MULTI_SZ, &type, data.data(), &size) != ERROR_SUCCESS)
        return entries;
    data.resize(size / sizeof(wchar_t));
    // Pairs may hold empty targets, so the list is read pair by pair.
    size_t at = 0;
    while (at < data.size()) {
        const size_t end = data.find(L'\0', at);
        if (end == std::wstring::npos) break;
        entries.push_back(data.substr(at, end - at));
        at = end + 1;
        if (entries.size() % 2 == 1 && entries.back().empty()) {
            entries.pop_back(); // the list's closing terminator
            break;
        }
    }
    return entries;
}

// Leaves the other entries and takes ours (those naming the install folder)
// out, so that a failed run does not change a later restart.
void forgetOurPendingRenames()
{
    const std::vector<std::wstring> entries = pendingRenames();
    std::wstring kept;
    bool ours = false;
    const std::wstring folder = installFolder();
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i].find(folder) != std::wstring::npos) {
            ours = true;
            continue;
        }
        kept += entries[i] + L'\0' + entries[i + 1] + L'\0';
    }
    if (!ours) return;
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    if (kept.empty()) {
        ::RegDeleteValueW(key.get(), L"PendingFileRenameOperations");
    } else {
        kept += L'\0';
        ::RegSetValueExW(key.get(), L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                         reinterpret_cast<const BYTE*>(kept.data()), static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
}

DWORD runSetup(const std::wstring& program, const std::wstring& arguments, DWORD ms = kSetupWait)
{
    test::ChildProcess process;
    if (!process.start(program, arguments)) return static_cast<DWORD>(-2);
    return process.wait(ms);
}

// The uninstaller runs from a copy of itself and ends once it has removed
// the folder: waits for that.
DWORD uninstall(const std::wstring& installed)
{
    const DWORD code = runSetup(installed + L"Uninstall.exe", L"/S", 60000);
    for (int waited = 0; waited < 60000 && test::exists(installed); waited += 200) ::Sleep(200);
    return code;
}

// Wine's restart: pending renames, then the RunOnce entries.
DWORD restartPrefix()
{
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return runSetup(std::wstring(system) + L"\\wineboot.exe", L"-r", 60000);
}

TEST(Installer, SilentInstallAndUninstallLeaveNothingOfOurs)
{
    const wchar_t* setup = setupPath();
    ASSERT_TRUE(setup) << "no installer";
    const std::wstring installed = installFolder();
    ASSERT_FALSE(test::exists(installed)) << "an earlier installation is in the way";
    for (const wchar_t* key : kOurKeys) ASSERT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;

    ASSERT_EQ(runSetup(setup, L"/S"), 0u);

    const std::vector<std::wstring> deliverables = filesIn(test::distFolder());
    ASSERT_FALSE(deliverables.empty());
    for (const std::wstring& name : deliverables)
        EXPECT_EQ(test::readBytes(installed + name), test::readBytes(test::distFolder() + name)) << name;
    EXPECT_TRUE(test::exists(installed + L"Uninstall.exe"));
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), installed + L"SorvaneExt.dll");
    for (const wchar_t* key : kOurKeys) EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Sorvane");
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), L"\"" + installed + L"Uninstall.exe\"");
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SorvaneRegister"), L"(none)") << "nothing waits for a restart";

    ASSERT_EQ(uninstall(installed), 0u);
    EXPECT_FALSE(test::exists(installed)) << "left: " << testing::PrintToString(filesIn(installed));
    for (const wchar_t* key : kOurKeys) EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"Interface\\{4F0901A4-0E8E-4726-843E-BEEFB01224B4}"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // Shared keys stay.
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"*\\ShellEx\\ContextMenuHandlers"));
}

// An installed copy whose extension another process holds open, as Explorer
// does, without write or delete sharing.
class InstallerOverHeldExtension : public ::testing::Test {
protected:
    const std::wstring installed = installFolder();
    const std::wstring extension = installed + L"SorvaneExt.dll";
    const std::wstring staged = extension + L".update";
    std::string newBytes;
    std::string oldBytes;
    UniqueFile holder;

    void SetUp() override
    {
        setup_ = setupPath();
        ASSERT_TRUE(setup_) << "no installer";
        ASSERT_FALSE(test::exists(installed)) << "an earlier installation is in the way";
        ASSERT_EQ(runSetup(setup_, L"/S"), 0u);
        // The installed extension stands for an earlier version: the same
        // library with bytes after its end, which the loader ignores.
        newBytes = test::readBytes(test::distFolder() + L"SorvaneExt.dll");
        ASSERT_FALSE(newBytes.empty());
        oldBytes = newBytes + "earlier version of the extension";
        ASSERT_TRUE(test::writeBytes(extension, oldBytes));
        holder.reset(::CreateFileW(extension.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        // Held as Explorer holds it: it can be neither replaced nor deleted.
        ASSERT_FALSE(::DeleteFileW(extension.c_str()));
        ASSERT_FALSE(test::writeBytes(extension, "x"));
    }

    void TearDown() override
    {
        holder.reset();
        forgetOurPendingRenames();
        UniqueRegKey runOnce;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey.c_str(), 0, KEY_SET_VALUE, runOnce.put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(runOnce.get(), L"SorvaneRegister");
        if (test::exists(installed + L"Uninstall.exe")) uninstall(installed);
        if (test::exists(installed)) test::removeTree(installed);
    }

    const wchar_t* setup() const { return setup_; }

    // What the installer left for the restart, checked while the file is
    // still held.
    void expectStagedForTheRestart()
    {
        EXPECT_EQ(test::readBytes(extension), oldBytes) << "the held file stays until the restart";
        EXPECT_EQ(test::readBytes(staged), newBytes) << "the new one waits beside it";
        for (const std::wstring& name : filesIn(test::distFolder())) {
            if (name == L"SorvaneExt.dll") continue;
            EXPECT_EQ(test::readBytes(installed + name), test::readBytes(test::distFolder() + name)) << name;
        }
        EXPECT_TRUE(test::exists(installed + L"Uninstall.exe"));
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), extension) << "registered meanwhile";
        EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Sorvane");

        const std::vector<std::wstring> pending = pendingRenames();
        bool found = false;
        for (size_t i = 0; i + 1 < pending.size(); i += 2) {
            if (pending[i] == L"\\??\\" + staged) {
                found = true;
                EXPECT_EQ(pending[i + 1], L"!\\??\\" + extension) << "renamed over the held file";
            }
        }
        EXPECT_TRUE(found) << "pending: " << testing::PrintToString(pending);
        EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SorvaneRegister"),
                  L"\"" + systemFolder() + L"\\regsvr32.exe\" /s \"" + extension + L"\"");
    }

    // After the restart: the new file in place, nothing left waiting.
    void expectFinishedAfterTheRestart()
    {
        holder.reset();
        ASSERT_EQ(restartPrefix(), 0u);
        EXPECT_EQ(test::readBytes(extension), newBytes) << "the new extension is in place";
        EXPECT_FALSE(test::exists(staged));
        for (const std::wstring& entry : pendingRenames()) EXPECT_EQ(entry.find(installed), std::wstring::npos) << entry;
        EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SorvaneRegister"), L"(none)") << "the new one registered";
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), extension);
        for (const wchar_t* key : kOurKeys) EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
        EXPECT_EQ(uninstall(installed), 0u);
        EXPECT_FALSE(test::exists(installed)) << "left: " << testing::PrintToString(filesIn(installed));
    }

    static std::wstring systemFolder()
    {
        wchar_t system[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        return system;
    }

private:
    const wchar_t* setup_ = nullptr;
};

TEST_F(InstallerOverHeldExtension, SilentInstallSaysRestartInItsExitCode)
{
    EXPECT_EQ(runSetup(setup(), L"/S"), kExitRestartNeeded);
    expectStagedForTheRestart();
    // Installed once more before the restart: still no abort, the same
    // outcome.
    EXPECT_EQ(runSetup(setup(), L"/S"), kExitRestartNeeded);
    expectStagedForTheRestart();
    expectFinishedAfterTheRestart();
}

// --- Windows 11's own menu ------------------------------------------------
//
// A test build of the installer (SORVANE_SETUP_TEST) carries the unsigned
// package and writes each package command to %TEMP%\SorvanePackageCommands.txt
// instead of running it; SORVANE_TEST_WINDOWS_BUILD stands for the Windows
// build it sees and SORVANE_TEST_PACKAGE_EXIT for the command's exit code.
// Wine itself reports Windows 10.

std::wstring capturedCommands()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::string bytes = test::readBytes(std::wstring(temp) + L"SorvanePackageCommands.txt");
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

void forgetCapturedCommands()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::DeleteFileW((std::wstring(temp) + L"SorvanePackageCommands.txt").c_str());
}

// Sets an environment variable for the processes the test starts, and
// takes it away again.
struct ScopedVariable {
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) { ::SetEnvironmentVariableW(name, value); }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, nullptr); }
    const wchar_t* name_;
};

TEST(InstallerPackage, RegistersThePackageOnlyWhereWindowsReportsBuild22000OrLater)
{
    const wchar_t* setup = _wgetenv(L"SORVANE_SETUP_TEST");
    ASSERT_TRUE(setup && test::exists(setup)) << "no test installer";
    const std::wstring installed = installFolder();
    ASSERT_FALSE(test::exists(installed)) << "an earlier installation is in the way";
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring powershell = L"\"" + std::wstring(system) +
                                    L"\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -NonInteractive "
                                    L"-ExecutionPolicy Bypass -File \"" + installed + L"SorvanePackage.ps1\"";
    const std::wstring folder = installed.substr(0, installed.size() - 1);
    const std::wstring registerCommand = powershell + L" -Register -Package \"" + installed + L"Sorvane.msix\" -Location \"" +
                                         folder + L"\"\r\n";
    const std::wstring unregisterCommand = powershell + L" -Unregister\r\n";

    const struct {
        const wchar_t* build;    // null: what Wine reports
        const wchar_t* exitCode; // of the package command
        bool registers;
    } cases[] = {
        {nullptr, nullptr, false},
        {L"19045", nullptr, false},
        {L"21999", nullptr, false},
        {L"22000", nullptr, true},
        {L"22621", L"1", true}, // the registration fails: the install still succeeds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "build " << (c.build ? c.build : L"of Wine") << ", exit "
                                        << (c.exitCode ? c.exitCode : L"0"));
        ScopedVariable build(L"SORVANE_TEST_WINDOWS_BUILD", c.build);
        ScopedVariable exitCode(L"SORVANE_TEST_PACKAGE_EXIT", c.exitCode);
        forgetCapturedCommands();
        ASSERT_EQ(runSetup(setup, L"/S"), 0u) << "the same exit code whatever becomes of the package";
        EXPECT_EQ(capturedCommands(), c.registers ? registerCommand : L"");
        // The package and its script lie in the installation folder, which
        // is the package's external location; the classic menu is there too.
        EXPECT_EQ(test::readBytes(installed + L"Sorvane.msix"), test::readBytes(test::distFolder() + L"..\\package\\Sorvane.msix"));
        EXPECT_TRUE(test::exists(installed + L"SorvanePackage.ps1"));
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), installed + L"SorvaneExt.dll");
        EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"*\\ShellEx\\ContextMenuHandlers\\SorvaneMenu"));

        forgetCapturedCommands();
        ASSERT_EQ(uninstall(installed), 0u);
        EXPECT_EQ(capturedCommands(), c.registers ? unregisterCommand : L"") << "the uninstaller takes the package back";
        EXPECT_FALSE(test::exists(installed)) << "left: " << testing::PrintToString(filesIn(installed));
        for (const wchar_t* key : kOurKeys) EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    forgetCapturedCommands();
}

// --- The interactive installer -------------------------------------------

struct ChildSearch {
    std::function<bool(HWND)> match;
    HWND found = nullptr;
};
BOOL CALLBACK matchChild(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (!search->match(window)) return TRUE;
    search->found = window;
    return FALSE;
}
// A visible descendant of `top` that `match` accepts.
HWND findChild(HWND top, std::function<bool(HWND)> match)
{
    ChildSearch search{std::move(match)};
    ::EnumChildWindows(top, matchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
HWND waitForChild(HWND top, const std::function<bool(HWND)>& match, DWORD ms = 60000)
{
    for (DWORD waited = 0; waited < ms; waited += 100) {
        if (HWND found = findChild(top, match)) return found;
        ::Sleep(100);
    }
    return nullptr;
}
std::function<bool(HWND)> textContains(const std::wstring& part)
{
    return [part](HWND window) {
        return ::IsWindowVisible(window) && test::windowText(window).find(part) != std::wstring::npos;
    };
}

TEST_F(InstallerOverHeldExtension, InteractiveInstallSaysRestartOnItsLastPage)
{
    test::ChildProcess process;
    ASSERT_TRUE(process.start(setup(), L""));
    HWND window = test::findProcessWindow(process.id(), L"#32770", 30000);
    ASSERT_NE(window, nullptr) << "the installer's window";
    // The folder page: "Install".
    HWND install = waitForChild(window, textContains(L"Install"));
    ASSERT_NE(install, nullptr);
    ASSERT_EQ(::GetDlgCtrlID(install), IDOK);
    ::PostMessageW(install, BM_CLICK, 0, 0);
    // The progress page stays with its details until "Next".
    HWND next = waitForChild(window, [](HWND w) {
        return ::GetDlgCtrlID(w) == IDOK && ::IsWindowVisible(w) && ::IsWindowEnabled(w) &&
               test::windowText(w).find(L"Next") != std::wstring::npos;
    });
    ASSERT_NE(next, nullptr) << "the installation did not end";
    ::PostMessageW(next, BM_CLICK, 0, 0);

    // The last page says that a restart finishes it, and proposes a later
    // restart: a restart now is only ever the user's choice.
    HWND text = waitForChild(window, textContains(L"replaced when Windows restarts"));
    ASSERT_NE(text, nullptr) << "the last page's text";
    EXPECT_NE(test::windowText(text).find(L"Restart Windows to finish"), std::wstring::npos);
    HWND now = findChild(window, textContains(L"Reboot now"));
    HWND later = findChild(window, textContains(L"reboot later"));
    ASSERT_TRUE(now && later);
    const bool restartsNow = ::SendMessageW(now, BM_GETCHECK, 0, 0) == BST_CHECKED;
    EXPECT_FALSE(restartsNow);
    EXPECT_EQ(::SendMessageW(later, BM_GETCHECK, 0, 0), BST_CHECKED);
    if (restartsNow) return; // never let it restart the session; the child is ended
    HWND finish = findChild(window, [](HWND w) { return ::GetDlgCtrlID(w) == IDOK && ::IsWindowVisible(w); });
    ASSERT_NE(finish, nullptr);
    ::PostMessageW(finish, BM_CLICK, 0, 0);
    EXPECT_EQ(process.wait(30000), kExitRestartNeeded);

    expectStagedForTheRestart();
    expectFinishedAfterTheRestart();
}

} // namespace
