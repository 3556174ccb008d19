// Choosing an item: the command text, the hand-off file, the start of the
// program (a stand-in that records how it was started) and the messages.
#include <gtest/gtest.h>

#include "ExtensionHost.h"
#include "common/HandOff.h"

#include <shellapi.h>

#include <string>

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct ShellCall {
    HWND owner;
    std::wstring verb, file, parameters, folder;
    int show;
    INT_PTR result;
};
struct MessageCall {
    HWND owner;
    std::wstring text, caption;
    UINT flags;
};
std::vector<ShellCall> g_shellCalls;
std::vector<MessageCall> g_messages;
std::wstring g_refusedFolder; // GetTempFileNameW fails there; "*": everywhere
ImportHook* g_shellHook = nullptr;
ImportHook* g_tempHook = nullptr;

HINSTANCE WINAPI recordShellExecute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show)
{
    const HINSTANCE result = g_shellHook->original<decltype(&::ShellExecuteW)>()(owner, verb, file, parameters, folder, show);
    g_shellCalls.push_back({owner, verb ? verb : L"(null)", file, parameters ? parameters : L"", folder ? folder : L"",
                            show, reinterpret_cast<INT_PTR>(result)});
    return result;
}

int WINAPI recordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags)
{
    g_messages.push_back({owner, text, caption, flags});
    return IDOK;
}

UINT WINAPI refusingTempFileName(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name)
{
    if (g_refusedFolder == L"*" || g_refusedFolder == folder) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return g_tempHook->original<decltype(&::GetTempFileNameW)>()(folder, prefix, unique, name);
}

class ShellExtLaunch : public ::testing::Test {
protected:
    ComApartment apartment;
    ExtensionCopy extension;
    TempFolder place;
    ImportHook shellHook{extension.module(), "shell32.dll", "ShellExecuteW", reinterpret_cast<const void*>(&recordShellExecute)};
    ImportHook messageHook{extension.module(), "user32.dll", "MessageBoxW", reinterpret_cast<const void*>(&recordMessageBox)};
    ImportHook tempHook{extension.module(), "kernel32.dll", "GetTempFileNameW", reinterpret_cast<const void*>(&refusingTempFileName)};

    void SetUp() override
    {
        ASSERT_TRUE(extension.module()) << "build SorvaneExt first";
        ASSERT_TRUE(shellHook.active() && messageHook.active() && tempHook.active());
        g_shellHook = &shellHook;
        g_tempHook = &tempHook;
        g_shellCalls.clear();
        g_messages.clear();
        g_refusedFolder.clear();
    }

    // Invokes `command` on a fresh handler for `paths` (dropped on `target`).
    HRESULT invoke(const std::vector<std::wstring>& paths, UINT command, const std::wstring& target = L"",
                   HWND owner = nullptr, bool withDrop = true)
    {
        return invokeWith(DropData::make(paths, withDrop).get(), command, target, owner);
    }
    HRESULT invokeWith(IDataObject* data, UINT command, const std::wstring& target = L"", HWND owner = nullptr)
    {
        ComPtr<IContextMenu3> handler = extension.createHandler(data, target);
        EXPECT_TRUE(handler);
        if (!handler) return E_FAIL;
        CMINVOKECOMMANDINFO info = {sizeof(info), 0, owner, MAKEINTRESOURCEA(command), nullptr, nullptr, SW_SHOWNORMAL, 0, nullptr};
        return handler->InvokeCommand(&info);
    }

    // The start that was asked for and the one the stand-in saw agree.
    void expectStarted(const std::wstring& parameters, const wchar_t* verb)
    {
        ASSERT_EQ(g_shellCalls.size(), 1u);
        const ShellCall& call = g_shellCalls[0];
        EXPECT_EQ(call.owner, nullptr);
        EXPECT_EQ(call.verb, verb);
        EXPECT_EQ(call.file, extension.folder() + L"Sorvane.exe");
        EXPECT_EQ(call.parameters, parameters);
        EXPECT_EQ(call.folder, extension.folder());
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        EXPECT_TRUE(g_messages.empty());
        ExtensionCopy::Launch launch;
        ASSERT_TRUE(extension.waitForLaunch(launch)) << "the program was not started";
        EXPECT_EQ(launch.commandLine.substr(launch.commandLine.size() - parameters.size() - 1), L" " + parameters);
        EXPECT_EQ(launch.folder + L"\\", extension.folder());
    }

    void expectMessage(const wchar_t* text, HWND owner)
    {
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_EQ(g_messages[0].text, text);
        EXPECT_EQ(g_messages[0].caption, L"Sorvane");
        EXPECT_EQ(g_messages[0].flags, static_cast<UINT>(MB_TOPMOST | MB_ICONINFORMATION));
        EXPECT_EQ(g_messages[0].owner, owner);
    }

    // A hand-off file: its bytes are the text in UTF-16LE and a terminator.
    void expectHandOffFile(const std::wstring& parameters, const std::wstring& folder, const std::wstring& text)
    {
        ASSERT_EQ(parameters.rfind(L"/F:" + folder + L"Sor", 0), 0u) << parameters;
        const std::wstring file = parameters.substr(3);
        const std::string bytes = readBytes(file);
        EXPECT_EQ(bytes.size(), (text.size() + 1) * 2);
        EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2));
        ::DeleteFileW(file.c_str()); // the stand-in leaves it; the program deletes it
    }
};

TEST_F(ShellExtLaunch, ShortSelectionsTravelOnTheCommandLine)
{
    const std::wstring target = place / L"Out";
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    // Every command, delete included, starts the program in the user's own
    // account ("open"): nothing asks for an administrator up front.
    const struct {
        std::vector<std::wstring> paths;
        UINT command;
        std::wstring target, parameters;
    } cases[] = {
        {{L"C:\\Users\\me\\Docs\\a.txt"}, 0, L"", L"/C:C:\\Users\\me\\Docs\\;a.txt;"},
        {{L"C:\\Users\\me\\Docs\\a.txt", L"C:\\Users\\me\\Docs\\sub"}, 1, L"", L"/M:C:\\Users\\me\\Docs\\;a.txt;sub;"},
        {{L"C:\\"}, 0, L"", L"/C:C:\\;;"},
        {{L"C:\\Users\\me\\Docs\\a.txt", L"C:\\Users\\me\\Docs\\sub"}, 1, target,
         L"/T:" + target + L" /M:C:\\Users\\me\\Docs\\;a.txt;sub;"},
        {{L"C:\\x\\a b;c.txt", L"c:\\X\\z"}, 2, L"", L"/D:C:\\x\\;a b;c.txt;z;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameters);
        g_shellCalls.clear();
        EXPECT_EQ(invoke(c.paths, c.command, c.target), S_OK);
        expectStarted(c.parameters, L"open");
    }

    // The shell's own data object for real items.
    ASSERT_TRUE(writeBytes(place / L"a.txt", "a"));
    ComPtr<IDataObject> shellData = shellDataObject(place.path(), {L"a.txt", L"Out"});
    ASSERT_TRUE(shellData);
    g_shellCalls.clear();
    EXPECT_EQ(invokeWith(shellData.get(), 0), S_OK);
    expectStarted(L"/C:" + place.path() + L"\\;a.txt;Out;", L"open");
}

TEST_F(ShellExtLaunch, LongSelectionsTravelInAHandOffFile)
{
    const std::wstring dir = L"C:\\Data";
    // "/C:" + dir + "\;" + name + ";" is 1024 characters, then 1025.
    const size_t nameLength = handoff::kMaxCommandLineText - (3 + dir.size() + 2 + 1);
    const std::wstring name1024(nameLength, L'n');
    EXPECT_EQ(invoke({dir + L"\\" + name1024}, 0), S_OK);
    const std::wstring text1024 = L"/C:" + dir + L"\\;" + name1024 + L";";
    ASSERT_EQ(text1024.size(), 1024u);
    expectStarted(text1024, L"open");

    g_shellCalls.clear();
    const std::wstring text1025 = L"/C:" + dir + L"\\;" + name1024 + L"m;";
    EXPECT_EQ(invoke({dir + L"\\" + name1024 + L"m"}, 0), S_OK);
    ASSERT_EQ(g_shellCalls.size(), 1u);
    const std::wstring parameters = g_shellCalls[0].parameters;
    EXPECT_EQ(readBytes(parameters.substr(3)).size(), 2052u);
    expectStarted(parameters, L"open");
    expectHandOffFile(parameters, extension.folder(), text1025);

    // Hundreds of items whose paths have exactly 259 characters.
    g_shellCalls.clear();
    const std::wstring longDir = L"C:\\" + std::wstring(96, L'd');
    std::vector<std::wstring> paths;
    std::wstring expected = L"/M:" + longDir + L"\\;";
    for (int i = 0; i < 400; ++i) {
        std::wstring leaf = std::to_wstring(1000 + i) + std::wstring(259 - longDir.size() - 1 - 4, L'x');
        paths.push_back(longDir + L"\\" + leaf);
        ASSERT_EQ(paths.back().size(), 259u);
        expected += leaf + L";";
    }
    EXPECT_EQ(invoke(paths, 1), S_OK);
    ASSERT_EQ(g_shellCalls.size(), 1u);
    expectStarted(g_shellCalls[0].parameters, L"open");
    expectHandOffFile(g_shellCalls[0].parameters, extension.folder(), expected);
    EXPECT_EQ(DropData::outstandingMedia(), 0);
}

TEST_F(ShellExtLaunch, HandOffFileGoesToTheTempFolderWhenTheOwnFolderRefusesIt)
{
    const std::wstring path = L"C:\\Data\\" + std::wstring(1100, L'q');
    g_refusedFolder = extension.folder();
    EXPECT_EQ(invoke({path}, 1), S_OK);
    ASSERT_EQ(g_shellCalls.size(), 1u);
    const std::wstring parameters = g_shellCalls[0].parameters;
    expectStarted(parameters, L"open");
    expectHandOffFile(parameters, handoff::userTempFolder(), L"/M:C:\\Data\\;" + std::wstring(1100, L'q') + L";");
    EXPECT_TRUE(ExtensionCopy::handOffFiles(extension.folder()).empty());

    // Neither folder takes it: nothing started, the user is told.
    g_shellCalls.clear();
    g_refusedFolder = L"*";
    const HWND owner = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(invoke({path}, 1, L"", owner), S_OK);
    EXPECT_TRUE(g_shellCalls.empty());
    expectMessage(L"Start Sorvane Failed!", owner);
}

TEST_F(ShellExtLaunch, SelectionsFromSeveralFoldersAreRefused)
{
    // Search results or a library hand over items of different folders. The
    // list names one folder, so "b\\same.txt" would be looked for as
    // "a\\same.txt": nothing is started, the user is told why.
    const std::wstring a = place / L"a", b = place / L"b";
    ASSERT_TRUE(::CreateDirectoryW(a.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(b.c_str(), nullptr));
    ASSERT_TRUE(writeBytes(a + L"\\same.txt", "in a"));
    ASSERT_TRUE(writeBytes(b + L"\\same.txt", "in b"));
    ASSERT_TRUE(writeBytes(a + L"\\only.txt", "only"));
    const HWND owner = reinterpret_cast<HWND>(0x4321);
    const std::vector<std::vector<std::wstring>> selections = {
        {a + L"\\only.txt", b + L"\\same.txt"},
        {a + L"\\same.txt", a + L"\\only.txt", b + L"\\same.txt"},
        {b + L"\\same.txt", a + L"\\same.txt"},
        {a + L"\\only.txt", a},          // an item and the folder that holds it
        {L"C:\\", L"D:\\"},             // two drives
    };
    for (const auto& paths : selections) {
        for (UINT command : {0u, 1u, 2u}) {
            SCOPED_TRACE(testing::Message() << "command " << command << ", first " << testing::PrintToString(paths[0]));
            g_messages.clear();
            g_shellCalls.clear();
            EXPECT_EQ(invoke(paths, command, L"", owner), S_OK);
            EXPECT_TRUE(g_shellCalls.empty()) << "nothing started";
            expectMessage(L"The selected items lie in different folders, as in search results or a library. "
                          L"Select the items of one folder at a time.",
                          owner);
        }
    }
    // Also onto a drop folder, and from the shell's own data object.
    g_messages.clear();
    EXPECT_EQ(invoke({a + L"\\only.txt", b + L"\\same.txt"}, 1, place.path(), owner), S_OK);
    EXPECT_TRUE(g_shellCalls.empty());
    expectMessage(L"The selected items lie in different folders, as in search results or a library. "
                  L"Select the items of one folder at a time.",
                  owner);
    EXPECT_EQ(readBytes(a + L"\\same.txt"), "in a");
    EXPECT_EQ(readBytes(b + L"\\same.txt"), "in b");
    EXPECT_TRUE(ExtensionCopy::handOffFiles(extension.folder()).empty());
    EXPECT_EQ(DropData::outstandingMedia(), 0);
}

TEST_F(ShellExtLaunch, FailuresAreShownAndNeverReturned)
{
    const HWND owner = reinterpret_cast<HWND>(0x5678);
    // No CF_HDROP in the data object, or an empty list.
    for (bool withDrop : {false, true}) {
        g_messages.clear();
        EXPECT_EQ(invoke(withDrop ? std::vector<std::wstring>{} : std::vector<std::wstring>{L"C:\\x\\a"}, 0, L"",
                         owner, withDrop),
                  S_OK);
        EXPECT_TRUE(g_shellCalls.empty());
        expectMessage(L"No file is selected.", owner);
    }

    // The program is missing: the start fails, and no hand-off file stays.
    ASSERT_TRUE(::DeleteFileW((extension.folder() + L"Sorvane.exe").c_str()));
    for (const std::wstring& path : {std::wstring(L"C:\\x\\a"), L"C:\\x\\" + std::wstring(1100, L'a')}) {
        g_messages.clear();
        g_shellCalls.clear();
        EXPECT_EQ(invoke({path}, 2, L"", owner), S_OK);
        ASSERT_EQ(g_shellCalls.size(), 1u);
        EXPECT_LE(g_shellCalls[0].result, 32);
        expectMessage(L"Start Sorvane Failed!", owner);
    }
    EXPECT_TRUE(ExtensionCopy::handOffFiles(extension.folder()).empty());

    // A verb given as text is not ours.
    g_messages.clear();
    g_shellCalls.clear();
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a"}).get());
    ASSERT_TRUE(handler);
    CMINVOKECOMMANDINFO info = {sizeof(info), 0, nullptr, "copy", nullptr, nullptr, SW_SHOWNORMAL, 0, nullptr};
    EXPECT_EQ(handler->InvokeCommand(&info), E_INVALIDARG);
    EXPECT_EQ(handler->InvokeCommand(nullptr), E_INVALIDARG);
    // So is a command beyond our items.
    CMINVOKECOMMANDINFO beyond = {sizeof(beyond), 0, nullptr, MAKEINTRESOURCEA(3), nullptr, nullptr, SW_SHOWNORMAL, 0, nullptr};
    EXPECT_EQ(handler->InvokeCommand(&beyond), E_INVALIDARG);
    EXPECT_TRUE(g_shellCalls.empty());
    EXPECT_TRUE(g_messages.empty());
}

} // namespace
