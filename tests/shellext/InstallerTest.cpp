// Sorvane-Setup.exe installed and uninstalled: every deliverable and key is
// there in between, and nothing of ours is left afterwards; installed again
// over a copy whose extension another process holds, silently and through
// its pages, it finishes at the next restart (here: wineboot -r). Upgrades
// go where the installed copy lies; without administrator rights both
// refuse; the uninstaller removes the account's data only when asked, and
// leaves another copy's registration alone. Run by ctest only when the
// installer was made; its path comes in SORVANE_SETUP, the test build's in
// SORVANE_SETUP_TEST.
#include <gtest/gtest.h>

#include "common/Raii.h"
#include "TestSupport.h"

#include <shlobj.h>

#include <cstdlib>
#include <functional>

using namespace sorvane;

namespace {

const std::wstring kClassKey = L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}";
const std::wstring kCommandClassKey = L"CLSID\\{54C7C6BE-6F7C-4885-AE96-CD301C434569}";
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
constexpr DWORD kExitRefused = 2;
constexpr DWORD kExitNotAdministrator = 740;
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
DWORD uninstall(const std::wstring& installed, const std::wstring& arguments = L"/S")
{
    const DWORD code = runSetup(installed + L"Uninstall.exe", arguments, 60000);
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

// The command line that runs the package script installed in `folder`.
std::wstring powershellCommand(const std::wstring& folder)
{
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return L"\"" + std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -NonInteractive "
                                          L"-ExecutionPolicy Bypass -File \"" + folder + L"SorvanePackage.ps1\"";
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
    const std::wstring powershell = powershellCommand(installed);
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

// --- Upgrades, rights, user data, several copies ---------------------------

// The folder without its closing backslash, as /D= and the entry name it.
std::wstring bare(const std::wstring& folder) { return folder.substr(0, folder.size() - 1); }

// The view and InstallLocation of every uninstall entry named "Sorvane", in
// both views of the registry ("64-bit: <folder>").
std::vector<std::wstring> sorvaneEntries()
{
    std::vector<std::wstring> locations;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        UniqueRegKey list;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                            KEY_READ | view, list.put()) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        for (DWORD i = 0, length = 256;
             ::RegEnumKeyExW(list.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, length = 256) {
            if (value(list.get(), name, L"DisplayName") == L"Sorvane")
                locations.push_back((view == KEY_WOW64_64KEY ? L"64-bit: " : L"32-bit: ") +
                                    value(list.get(), name, L"InstallLocation"));
        }
    }
    return locations;
}

// The one entry sorvaneEntries() should find for a copy in `folder`.
std::vector<std::wstring> entryOf(const std::wstring& folder)
{
    return {L"64-bit: " + bare(folder)};
}

// A visible top-level dialog whose title contains `title`, of any process
// (the uninstaller runs from a copy of itself).
HWND waitForTopWindow(const std::wstring& title, DWORD ms = 60000)
{
    struct Search {
        std::wstring title;
        HWND found = nullptr;
    } search{title};
    for (DWORD waited = 0; waited < ms; waited += 100) {
        ::EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                auto* search = reinterpret_cast<Search*>(param);
                wchar_t className[64] = {};
                ::GetClassNameW(window, className, 64);
                if (!::IsWindowVisible(window) || std::wstring(className) != L"#32770" ||
                    test::windowText(window).find(search->title) == std::wstring::npos)
                    return TRUE;
                search->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(100);
    }
    return nullptr;
}

// The default folder and two of our own, which /D= names; whatever a test
// leaves installed or registered there is taken away afterwards.
class InstallerCopies : public ::testing::Test {
protected:
    const std::wstring programFiles = installFolder();
    const std::wstring elsewhere = L"C:\\Sorvane elsewhere\\";
    const std::wstring second = L"C:\\Sorvane second\\";
    const wchar_t* setup = nullptr;
    const wchar_t* setupTest = nullptr;

    void SetUp() override
    {
        setup = setupPath();
        ASSERT_TRUE(setup) << "no installer";
        setupTest = _wgetenv(L"SORVANE_SETUP_TEST");
        ASSERT_TRUE(setupTest && test::exists(setupTest)) << "no test installer";
        for (const std::wstring& folder : {programFiles, elsewhere, second})
            ASSERT_FALSE(test::exists(folder)) << "an earlier installation is in the way: " << folder;
        ASSERT_TRUE(sorvaneEntries().empty()) << "an earlier installation is in the way";
        forgetCapturedCommands();
    }

    void TearDown() override
    {
        for (const std::wstring& folder : {programFiles, elsewhere, second}) {
            if (test::exists(folder + L"Uninstall.exe")) uninstall(folder);
            if (test::exists(folder)) test::removeTree(bare(folder));
        }
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
        // What a failed test left registered, so that the next one starts clean.
        for (const wchar_t* key : kOurKeys) ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
        forgetCapturedCommands();
    }

    // The classes' libraries: the classic handler's and Windows 11's command's.
    static std::pair<std::wstring, std::wstring> registeredLibraries()
    {
        return {value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"),
                value(HKEY_CLASSES_ROOT, kCommandClassKey + L"\\InprocServer32")};
    }
    static std::pair<std::wstring, std::wstring> registeredTo(const std::wstring& folder)
    {
        return {folder + L"SorvaneExt.dll", folder + L"SorvaneExt.dll"};
    }
};

TEST_F(InstallerCopies, AnUpgradeGoesWhereTheInstalledCopyLies)
{
    ASSERT_EQ(runSetup(setup, L"/S /D=" + bare(elsewhere)), 0u);
    EXPECT_FALSE(test::exists(programFiles));
    EXPECT_EQ(sorvaneEntries(), entryOf(elsewhere));

    std::wstring upperCase = bare(elsewhere);
    ::CharUpperW(upperCase.data());
    const std::wstring program = elsewhere + L"Sorvane.exe";
    const std::string fresh = test::readBytes(test::distFolder() + L"Sorvane.exe");
    const std::string earlier = "an earlier Sorvane.exe";
    const struct {
        std::wstring arguments;
        DWORD exitCode;
    } cases[] = {
        {L"/S", 0},                                     // the folder from the entry
        {L"/S /D=" + upperCase, 0},                     // the same folder
        {L"/S /D=" + elsewhere, 0},                     // with its closing backslash
        {L"/S /D=" + bare(programFiles), kExitRefused}, // the default folder
        {L"/S /D=" + bare(second), kExitRefused},       // a folder of its own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Sorvane-Setup.exe " << c.arguments);
        ASSERT_TRUE(test::writeBytes(program, earlier));
        EXPECT_EQ(runSetup(setup, c.arguments), c.exitCode);
        EXPECT_EQ(test::readBytes(program), c.exitCode == 0 ? fresh : earlier)
            << (c.exitCode == 0 ? "upgraded in place" : "refused before anything was written");
        EXPECT_FALSE(test::exists(programFiles));
        EXPECT_FALSE(test::exists(second));
        EXPECT_EQ(sorvaneEntries(), entryOf(elsewhere)) << "one entry, the installed copy's";
        EXPECT_EQ(registeredLibraries(), registeredTo(elsewhere));
    }

    ASSERT_EQ(uninstall(elsewhere), 0u);
    EXPECT_FALSE(test::exists(elsewhere));
    EXPECT_TRUE(sorvaneEntries().empty());
    for (const wchar_t* key : kOurKeys) EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
}

// Wine's account is an administrator: the test build takes the account type
// from SORVANE_TEST_ACCOUNT_TYPE, the shipped installer never does.
TEST_F(InstallerCopies, RefusedWithoutAdministratorRights)
{
    const struct {
        const wchar_t* installer;
        const wchar_t* account;
        DWORD exitCode;
    } cases[] = {
        {setupTest, L"User", kExitNotAdministrator},
        {setupTest, L"Guest", kExitNotAdministrator},
        {setupTest, L"Power", kExitNotAdministrator},
        {setupTest, L"Admin", 0},
        {setup, L"User", 0}, // the shipped installer has no such switch
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.installer << " as " << c.account);
        ScopedVariable account(L"SORVANE_TEST_ACCOUNT_TYPE", c.account);
        EXPECT_EQ(runSetup(c.installer, L"/S"), c.exitCode);
        if (c.exitCode == kExitNotAdministrator) {
            EXPECT_FALSE(test::exists(programFiles)) << "nothing installed";
            EXPECT_TRUE(sorvaneEntries().empty());
            EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
        } else {
            EXPECT_TRUE(test::exists(programFiles + L"Sorvane.exe"));
            EXPECT_EQ(uninstall(programFiles), 0u);
            EXPECT_FALSE(test::exists(programFiles));
        }
    }

    // The test build's uninstaller, run in place (_?=) so that its exit code
    // is its own: refused without the rights, everything left; then done.
    ASSERT_EQ(runSetup(setupTest, L"/S"), 0u);
    const std::wstring inPlace = L"/S _?=" + bare(programFiles);
    {
        ScopedVariable account(L"SORVANE_TEST_ACCOUNT_TYPE", L"User");
        EXPECT_EQ(runSetup(programFiles + L"Uninstall.exe", inPlace), kExitNotAdministrator);
    }
    EXPECT_TRUE(test::exists(programFiles + L"Sorvane.exe"));
    EXPECT_EQ(sorvaneEntries(), entryOf(programFiles));
    EXPECT_EQ(registeredLibraries(), registeredTo(programFiles));
    EXPECT_EQ(runSetup(programFiles + L"Uninstall.exe", inPlace), 0u);
    EXPECT_FALSE(test::exists(programFiles + L"Sorvane.exe"));
    EXPECT_TRUE(sorvaneEntries().empty());
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
}

// What the user sees when the installer refuses, and the folder page of an
// upgrade.
TEST_F(InstallerCopies, RefusalsSayWhyAndTheUpgradeFolderIsFixed)
{
    ASSERT_EQ(runSetup(setup, L"/S /D=" + bare(elsewhere)), 0u);
    const struct {
        const wchar_t* installer;
        const wchar_t* account;
        std::wstring arguments;
        std::vector<std::wstring> said; // in the message box
        DWORD exitCode;
    } cases[] = {
        {setupTest, L"User", L"", {L"needs administrator rights", L"Run as administrator"}, kExitNotAdministrator},
        {setup, nullptr, L"/D=" + bare(second), {L"installed in " + bare(elsewhere), bare(second), L"uninstall it first"},
         kExitRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.installer << " " << c.arguments);
        ScopedVariable account(L"SORVANE_TEST_ACCOUNT_TYPE", c.account);
        test::ChildProcess process;
        ASSERT_TRUE(process.start(c.installer, c.arguments));
        HWND box = test::findProcessWindow(process.id(), L"#32770", 30000);
        ASSERT_NE(box, nullptr) << "the message";
        const std::wstring text = test::windowText(::GetDlgItem(box, 0xFFFF));
        for (const std::wstring& part : c.said) EXPECT_NE(text.find(part), std::wstring::npos) << part << " in: " << text;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(process.wait(30000), c.exitCode);
    }
    EXPECT_FALSE(test::exists(second));

    // Started without /D=: the folder page shows the installed copy's
    // folder and does not let it change.
    test::ChildProcess process;
    ASSERT_TRUE(process.start(setup, L""));
    HWND window = test::findProcessWindow(process.id(), L"#32770", 30000);
    ASSERT_NE(window, nullptr) << "the installer's window";
    HWND folder = waitForChild(window, [](HWND w) {
        wchar_t className[32] = {};
        ::GetClassNameW(w, className, 32);
        return ::IsWindowVisible(w) && std::wstring(className) == L"Edit";
    });
    ASSERT_NE(folder, nullptr) << "the folder page";
    // An edit control's text is its content, asked of its own process.
    wchar_t shown[MAX_PATH] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(folder, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(shown), SMTO_ABORTIFHUNG, 10000, &copied);
    EXPECT_EQ(std::wstring(shown), bare(elsewhere));
    EXPECT_FALSE(::IsWindowEnabled(folder));
    HWND browse = findChild(window, textContains(L"rowse")); // "B&rowse..."
    ASSERT_NE(browse, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(browse));
    EXPECT_NE(findChild(window, textContains(L"is upgraded there")), nullptr);
    ::PostMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(process.wait(30000), 1u) << "cancelled by the user";
}

// The data the program keeps for an account: the reports and Sorvane.ini in
// <AppData>\Brenmoor\Sorvane, the key HKCU\SOFTWARE\Brenmoor\Sorvane. What
// the prefix holds there is put aside for the test and brought back.
class InstallerUserData : public InstallerCopies {
protected:
    std::wstring appData;
    std::wstring maker; // the folder Brenmoor in <AppData>
    std::wstring data;  // the folder Sorvane in it
    std::wstring aside;
    const wchar_t* const makerKey = L"SOFTWARE\\Brenmoor";
    const wchar_t* const dataKey = L"SOFTWARE\\Brenmoor\\Sorvane";
    const wchar_t* const asideKey = L"SOFTWARE\\Brenmoor before the installer's test";

    void SetUp() override
    {
        InstallerCopies::SetUp();
        if (HasFatalFailure()) return;
        wchar_t folder[MAX_PATH] = {};
        ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE));
        appData = folder;
        maker = appData + L"\\Brenmoor\\";
        data = maker + L"Sorvane\\";
        aside = appData + L"\\Brenmoor before the installer's test";
        ASSERT_FALSE(test::exists(aside)) << "left by an earlier run: " << aside;
        ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, asideKey)) << "left by an earlier run";
        if (test::exists(maker)) {
            ASSERT_TRUE(::MoveFileW(bare(maker).c_str(), aside.c_str()));
        }
        if (keyExists(HKEY_CURRENT_USER, makerKey)) {
            UniqueRegKey from, to;
            ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, makerKey, 0, KEY_READ, from.put()), ERROR_SUCCESS);
            ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, asideKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, to.put(), nullptr),
                      ERROR_SUCCESS);
            ASSERT_EQ(::RegCopyTreeW(from.get(), nullptr, to.get()), ERROR_SUCCESS);
            ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, makerKey), ERROR_SUCCESS);
        }
    }

    void TearDown() override
    {
        InstallerCopies::TearDown();
        if (appData.empty()) return;
        if (test::exists(maker)) test::removeTree(bare(maker));
        if (test::exists(aside)) ::MoveFileW(aside.c_str(), bare(maker).c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, makerKey);
        if (keyExists(HKEY_CURRENT_USER, asideKey)) {
            UniqueRegKey from, to;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, asideKey, 0, KEY_READ, from.put()) == ERROR_SUCCESS &&
                ::RegCreateKeyExW(HKEY_CURRENT_USER, makerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, to.put(), nullptr) ==
                    ERROR_SUCCESS &&
                ::RegCopyTreeW(from.get(), nullptr, to.get()) == ERROR_SUCCESS) {
                from.reset();
                ::RegDeleteTreeW(HKEY_CURRENT_USER, asideKey);
            }
        }
    }

    // What a few runs of the program leave, a file of the user's among them
    // when asked, and a neighbour of the maker's that is not ours.
    void plantData(bool usersFile)
    {
        ASSERT_TRUE(::SHCreateDirectoryExW(nullptr, bare(data).c_str(), nullptr) == ERROR_SUCCESS ||
                    test::exists(data));
        ASSERT_TRUE(::SHCreateDirectoryExW(nullptr, (maker + L"Other").c_str(), nullptr) == ERROR_SUCCESS ||
                    test::exists(maker + L"Other"));
        for (const wchar_t* name : {L"Sorvane.ini", L"SorvaneLog0.htm", L"SorvaneLog15.htm"})
            ASSERT_TRUE(test::writeBytes(data + name, "of a run"));
        if (usersFile) {
            ASSERT_TRUE(test::writeBytes(data + L"notes.txt", "the user's"));
        }
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, dataKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const DWORD number = 2;
        ::RegSetValueExW(key.get(), L"LogFileNo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
        UniqueRegKey other;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Brenmoor\\Other", 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, other.put(), nullptr),
                  ERROR_SUCCESS);
    }

    // Runs the uninstaller through its pages: the data check box is
    // unticked, and ticked here when `tick`.
    void uninstallThroughPages(bool tick)
    {
        test::ChildProcess process;
        ASSERT_TRUE(process.start(programFiles + L"Uninstall.exe", L""));
        HWND window = waitForTopWindow(L"Sorvane Uninstall");
        ASSERT_NE(window, nullptr) << "the uninstaller's window";
        // The window is the copy's, which no handle of ours ends: a failed
        // step ends it here, or it would stay and hold the test's output.
        struct EndCopy {
            HWND window;
            ~EndCopy()
            {
                DWORD id = 0;
                if (!::IsWindow(window) || !::GetWindowThreadProcessId(window, &id)) return;
                UniqueHandle copy(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
                if (!copy) return;
                ::TerminateProcess(copy.get(), 1);
                ::WaitForSingleObject(copy.get(), 10000);
            }
        } endCopy{window};
        HWND box = waitForChild(window, textContains(L"my Sorvane data"));
        ASSERT_NE(box, nullptr) << "the data check box";
        EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "unticked unless asked";
        if (tick) {
            ::SendMessageW(box, BM_CLICK, 0, 0);
            ASSERT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
        }
        HWND start = findChild(window, [](HWND w) {
            return ::GetDlgCtrlID(w) == IDOK && ::IsWindowVisible(w) &&
                   test::windowText(w).find(L"Uninstall") != std::wstring::npos;
        });
        ASSERT_NE(start, nullptr) << "the Uninstall button";
        ::PostMessageW(start, BM_CLICK, 0, 0);
        HWND next = waitForChild(window, [](HWND w) {
            return ::GetDlgCtrlID(w) == IDOK && ::IsWindowVisible(w) && ::IsWindowEnabled(w) &&
                   test::windowText(w).find(L"Next") != std::wstring::npos;
        });
        ASSERT_NE(next, nullptr) << "the uninstallation did not end";
        ::PostMessageW(next, BM_CLICK, 0, 0);
        HWND finish = waitForChild(window, [](HWND w) {
            return ::GetDlgCtrlID(w) == IDOK && ::IsWindowVisible(w) &&
                   test::windowText(w).find(L"Finish") != std::wstring::npos;
        });
        ASSERT_NE(finish, nullptr) << "the last page";
        ::PostMessageW(finish, BM_CLICK, 0, 0);
        for (int waited = 0; waited < 60000 && (::IsWindow(window) || test::exists(programFiles)); waited += 200)
            ::Sleep(200);
    }
};

TEST_F(InstallerUserData, RemovedOnlyWhenAsked)
{
    const struct {
        const wchar_t* arguments; // null: through the pages
        bool tick;
        bool usersFile;
        bool removes;
    } cases[] = {
        {L"/S", false, false, false},
        {L"/S /REMOVEUSERDATA", false, false, true},
        {L"/REMOVEUSERDATA /S", false, true, true},
        {nullptr, false, false, false},
        {nullptr, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.arguments ? c.arguments : c.tick ? L"pages, ticked" : L"pages")
                                        << (c.usersFile ? ", a file of the user's" : ""));
        ASSERT_EQ(runSetup(setup, L"/S"), 0u);
        plantData(c.usersFile);
        if (c.arguments) {
            EXPECT_EQ(uninstall(programFiles, c.arguments), 0u);
        } else {
            uninstallThroughPages(c.tick);
            if (HasFatalFailure()) return;
        }
        EXPECT_FALSE(test::exists(programFiles)) << "uninstalled";
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

        for (const wchar_t* name : {L"Sorvane.ini", L"SorvaneLog0.htm", L"SorvaneLog15.htm"})
            EXPECT_EQ(test::exists(data + name), !c.removes) << name;
        EXPECT_EQ(keyExists(HKEY_CURRENT_USER, dataKey), !c.removes);
        if (c.usersFile) EXPECT_EQ(test::readBytes(data + L"notes.txt"), "the user's") << "not the program's: it stays";
        else EXPECT_EQ(test::exists(data), !c.removes) << "the data folder goes once empty";
        EXPECT_TRUE(test::exists(maker + L"Other")) << "the maker's folder holds more than Sorvane";
        EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, L"SOFTWARE\\Brenmoor\\Other"));
        test::removeTree(bare(maker));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, makerKey);
    }

    // Nothing but Sorvane's: the maker's folder and key go too.
    ASSERT_EQ(runSetup(setup, L"/S"), 0u);
    plantData(false);
    test::removeTree(maker + L"Other");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Brenmoor\\Other");
    EXPECT_EQ(runSetup(programFiles + L"Uninstall.exe", L"/S /REMOVEUSERDATA _?=" + bare(programFiles)), 0u);
    EXPECT_FALSE(test::exists(maker));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, makerKey));
}

// Two copies, as an installer that forgot where it had installed could
// leave them: the first one's entry gone, the second installed elsewhere
// and registered. The test build, told Windows 11, writes down its package
// commands.
TEST_F(InstallerCopies, UninstallingOneCopyLeavesTheOthersRegistration)
{
    ScopedVariable build(L"SORVANE_TEST_WINDOWS_BUILD", L"22000");
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring runOnceOfSecond =
        L"\"" + std::wstring(system) + L"\\regsvr32.exe\" /s \"" + second + L"SorvaneExt.dll\"";
    enum class Then { Nothing, SecondFolderGone, HandlerClassToFirst };
    const struct {
        Then then;
        bool unregisters; // the first copy's uninstaller
        const char* what;
    } cases[] = {
        {Then::Nothing, false, "the second copy is registered"},
        {Then::HandlerClassToFirst, false, "only the command's class names the second copy"},
        {Then::SecondFolderGone, true, "the registered library is gone: nothing to protect"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(runSetup(setupTest, L"/S /D=" + bare(elsewhere)), 0u);
        ASSERT_EQ(::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str()), ERROR_SUCCESS);
        ASSERT_EQ(runSetup(setupTest, L"/S /D=" + bare(second)), 0u);
        ASSERT_EQ(registeredLibraries(), registeredTo(second));
        ASSERT_EQ(sorvaneEntries(), entryOf(second));
        {
            UniqueRegKey runOnce;
            ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey.c_str(), 0, KEY_SET_VALUE, runOnce.put()), ERROR_SUCCESS);
            ::RegSetValueExW(runOnce.get(), L"SorvaneRegister", 0, REG_SZ, reinterpret_cast<const BYTE*>(runOnceOfSecond.c_str()),
                             static_cast<DWORD>((runOnceOfSecond.size() + 1) * sizeof(wchar_t)));
        }
        if (c.then == Then::SecondFolderGone) test::removeTree(bare(second));
        if (c.then == Then::HandlerClassToFirst) {
            UniqueRegKey key;
            ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, (kClassKey + L"\\InprocServer32").c_str(), 0, KEY_SET_VALUE, key.put()),
                      ERROR_SUCCESS);
            const std::wstring first = elsewhere + L"SorvaneExt.dll";
            ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(first.c_str()),
                             static_cast<DWORD>((first.size() + 1) * sizeof(wchar_t)));
        }
        const auto before = registeredLibraries();
        forgetCapturedCommands();

        EXPECT_EQ(uninstall(elsewhere), 0u);
        EXPECT_FALSE(test::exists(elsewhere)) << "the first copy is gone";
        if (c.unregisters) {
            for (const wchar_t* key : kOurKeys) EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
            EXPECT_EQ(capturedCommands(), powershellCommand(elsewhere) + L" -Unregister\r\n");
        } else {
            EXPECT_EQ(registeredLibraries(), before) << "the second copy's registration stays";
            for (const wchar_t* key : kOurKeys) EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
            EXPECT_EQ(capturedCommands(), L"") << "its package stays";
        }
        EXPECT_EQ(sorvaneEntries(), entryOf(second)) << "the second copy's entry stays";
        EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SorvaneRegister"), runOnceOfSecond);

        if (c.then == Then::SecondFolderGone) {
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
            UniqueRegKey runOnce;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey.c_str(), 0, KEY_SET_VALUE, runOnce.put()) == ERROR_SUCCESS)
                ::RegDeleteValueW(runOnce.get(), L"SorvaneRegister");
            continue;
        }
        // The second copy's own uninstaller takes all of it back.
        forgetCapturedCommands();
        EXPECT_EQ(uninstall(second), 0u);
        EXPECT_FALSE(test::exists(second));
        for (const wchar_t* key : kOurKeys) EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
        EXPECT_EQ(capturedCommands(), powershellCommand(second) + L" -Unregister\r\n");
        EXPECT_TRUE(sorvaneEntries().empty());
        EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SorvaneRegister"), L"(none)");
    }
}

} // namespace
