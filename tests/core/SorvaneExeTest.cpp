// The real Sorvane.exe from the deliverables folder, started as a user or
// the shell extension would start it. Needs a display (Xvfb under Wine).
#include <gtest/gtest.h>

#include "common/HandOff.h"
#include "common/Raii.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#include <algorithm>

using namespace sorvane;

namespace {

constexpr DWORD kExitRejected = static_cast<DWORD>(-1);
constexpr DWORD kWindowWait = 20000;
constexpr int kSourcesField = IDC_SOURCES;
constexpr int kTargetField = IDC_TARGET;
constexpr UINT kExitCommand = IDM_EXIT;

std::wstring sorvaneExe() { return test::distFolder() + L"Sorvane.exe"; }

struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
    int count = 0;
};

// Reads every message box the process shows (class "#32770") and presses
// its OK button, until the process ends.
MessageBoxSeen answerMessageBoxes(test::ChildProcess& process, DWORD& exitCode)
{
    MessageBoxSeen seen;
    for (int round = 0; round < 400; ++round) {
        exitCode = process.wait(0);
        if (exitCode != STILL_ACTIVE) return seen;
        if (HWND box = test::findProcessWindow(process.id(), L"#32770", 50)) {
            ++seen.count;
            seen.caption = test::windowText(box);
            wchar_t text[2048] = {};
            ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
            seen.text = text;
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            ::Sleep(300);
        }
    }
    exitCode = process.wait(5000);
    return seen;
}

// The operation dialog of the process: a visible dialog with the sources
// field (control 2001).
struct DialogSearch {
    DWORD processId;
    HWND found;
};
BOOL CALLBACK matchOperationDialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window) && ::GetDlgItem(window, kSourcesField)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
HWND waitForOperationDialog(DWORD processId, DWORD ms = kWindowWait)
{
    for (DWORD waited = 0; waited < ms; waited += 50) {
        DialogSearch search = {processId, nullptr};
        ::EnumWindows(matchOperationDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(50);
    }
    return nullptr;
}

std::wstring controlText(HWND dialog, int id)
{
    wchar_t text[4096] = {};
    ::GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

bool readOnly(HWND dialog, int id)
{
    return (::GetWindowLongW(::GetDlgItem(dialog, id), GWL_STYLE) & ES_READONLY) != 0;
}

// Starts the program with exactly `commandLine` (its own program path
// included), as a shell or a user may write it.
bool startWithCommandLine(PROCESS_INFORMATION& info, std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return ::CreateProcessW(sorvaneExe().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info) != 0;
}

class SorvaneExe : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(sorvaneExe())) << "build the program first";
    }
};

TEST_F(SorvaneExe, RejectedCommandLineShowsOneMessageAndExitsMinusOne)
{
    struct Case {
        const wchar_t* arguments;
        const wchar_t* text;
    } cases[] = {
        {L"/Cx", L"Error:Command [/Cx].\n"},
        {L"/C:X /C:Y", L"Error:Command [C] is set more than one times.\n"},
    };
    for (const Case& c : cases) {
        test::ChildProcess process;
        ASSERT_TRUE(process.start(sorvaneExe(), c.arguments));
        DWORD exitCode = STILL_ACTIVE;
        const MessageBoxSeen seen = answerMessageBoxes(process, exitCode);
        EXPECT_EQ(seen.count, 1);
        EXPECT_EQ(seen.caption, L"Sorvane");
        // The message box shows the text; a trailing line feed may be
        // dropped by the static control.
        std::wstring expected = c.text;
        if (seen.text.size() + 1 == expected.size()) expected.pop_back();
        EXPECT_EQ(seen.text, expected);
        EXPECT_EQ(exitCode, kExitRejected);
    }
}

TEST_F(SorvaneExe, WithoutCommandShowsTheMainWindowWithItsMenu)
{
    for (const wchar_t* arguments : {L"", L"/F:C:\\no\\such\\handoff.tmp"}) {
        test::ChildProcess process;
        ASSERT_TRUE(process.start(sorvaneExe(), arguments));
        HWND window = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWindowWait);
        ASSERT_NE(window, nullptr) << "main window not shown";
        EXPECT_EQ(test::windowText(window), L"Sorvane");
        // Menus belong to their process under Wine, so the menu's items are
        // read from the program's resources and its presence from the window.
        EXPECT_NE(::GetMenu(window), nullptr);
        HMODULE image = ::LoadLibraryExW(sorvaneExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(image, nullptr);
        HMENU menu = ::LoadMenuW(image, MAKEINTRESOURCEW(IDR_MAIN_MENU));
        ASSERT_NE(menu, nullptr);
        HMENU file = ::GetSubMenu(menu, 0);
        ASSERT_NE(file, nullptr);
        const UINT expectedIds[] = {IDM_FILTER_COPY, IDM_FILTER_MOVE, IDM_FILTER_DELETE, 0, IDM_ABOUT, 0, IDM_EXIT};
        ASSERT_EQ(::GetMenuItemCount(file), 7);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(::GetMenuItemID(file, i), expectedIds[i]) << "item " << i;
        ::DestroyMenu(menu);
        ::FreeLibrary(image);
        // Exit ends the process normally.
        ::PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
        EXPECT_EQ(process.wait(10000), 0u);
    }
}

// "/H" or "/T:" alone name no sources: the copy dialog opens with a sources
// field the user can type into, over the main window with its menu, which
// stays when the dialog is cancelled.
TEST_F(SorvaneExe, HelpOrTargetAloneOpensTheCopyDialogForTypedSources)
{
    test::TempFolder place;
    for (const std::wstring& arguments : {std::wstring(L"/H"), L"/T:" + place.path(), L"/h /t:" + place.path()}) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        test::ChildProcess process;
        ASSERT_TRUE(process.start(sorvaneExe(), arguments));
        if (arguments.find(L'H') != std::wstring::npos || arguments.find(L'h') != std::wstring::npos) {
            HWND box = test::findProcessWindow(process.id(), L"#32770", kWindowWait);
            ASSERT_NE(box, nullptr);
            wchar_t text[2048] = {};
            ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
            EXPECT_EQ(std::wstring(text).rfind(L" Command Line Usage:", 0), 0u) << "the usage first";
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        HWND dialog = waitForOperationDialog(process.id());
        ASSERT_NE(dialog, nullptr) << "the copy dialog";
        EXPECT_FALSE(readOnly(dialog, kSourcesField)) << "the sources can be typed";
        EXPECT_EQ(controlText(dialog, kSourcesField), L"");
        if (arguments.find(L":") != std::wstring::npos) {
            EXPECT_EQ(controlText(dialog, kTargetField), place.path());
        }
        HWND window = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWindowWait);
        ASSERT_NE(window, nullptr) << "the main window is shown";

        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        for (int waited = 0; waited < 10000 && ::IsWindow(dialog); waited += 50) ::Sleep(50);
        EXPECT_EQ(process.wait(500), static_cast<DWORD>(STILL_ACTIVE)) << "the main window stays";
        ::PostMessageW(window, WM_COMMAND, kExitCommand, 0);
        EXPECT_EQ(process.wait(10000), 0u);
    }
}

// A program path written with forward slashes is the program's path, not
// a row of switches.
TEST_F(SorvaneExe, ProgramPathWithForwardSlashes)
{
    test::TempFolder place;
    std::wstring slashed = sorvaneExe();
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    const std::wstring sources = place.path() + L"\\;a.txt;";
    for (const std::wstring& line : {slashed + L" /D:" + sources, L"\"" + slashed + L"\" /D:" + sources}) {
        SCOPED_TRACE(testing::PrintToString(line));
        PROCESS_INFORMATION info = {};
        ASSERT_TRUE(startWithCommandLine(info, line));
        UniqueHandle process(info.hProcess), thread(info.hThread);
        HWND dialog = waitForOperationDialog(info.dwProcessId);
        if (!dialog) ::TerminateProcess(process.get(), 1);
        ASSERT_NE(dialog, nullptr) << "the delete dialog, not an error about \"/Tools\"";
        EXPECT_NE(controlText(dialog, kSourcesField).find(L"a.txt"), std::wstring::npos);
        EXPECT_TRUE(readOnly(dialog, kSourcesField));
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
        DWORD code = 1;
        ::GetExitCodeProcess(process.get(), &code);
        EXPECT_EQ(code, 0u);
    }

    // The path alone opens the main window; it is no unknown switch.
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(startWithCommandLine(info, slashed));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    HWND window = test::findProcessWindow(info.dwProcessId, L"_KVT_Sorvane_Class", kWindowWait);
    if (!window) ::TerminateProcess(process.get(), 1);
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, kExitCommand, 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
}

// "/F:" and "/f:" read the file they name; the program deletes it only when
// it is a hand-off file where the extension writes them.
TEST_F(SorvaneExe, HandOffSwitchDeletesOnlyHandOffFiles)
{
    test::TempFolder place;
    const std::wstring text = L"/D:" + place.path() + L"\\;a.txt;";
    const std::wstring handOff = handoff::writeHandOffFile(test::distFolder().c_str(), text);
    ASSERT_FALSE(handOff.empty());
    const std::wstring ordinary = place / L"selection.txt";
    ASSERT_TRUE(test::writeText(ordinary, text + L'\0'));
    const std::wstring tempHandOff = handoff::writeHandOffFile(handoff::userTempFolder().c_str(), text);
    ASSERT_FALSE(tempHandOff.empty());
    const struct {
        std::wstring arguments, file;
        bool deleted;
    } cases[] = {
        {L"/f:" + handOff, handOff, true},
        {L"/F:" + tempHandOff, tempHandOff, true},
        {L"/F:" + ordinary, ordinary, false},
        {L"/f:" + ordinary, ordinary, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        test::ChildProcess process;
        ASSERT_TRUE(process.start(sorvaneExe(), c.arguments));
        HWND dialog = waitForOperationDialog(process.id());
        ASSERT_NE(dialog, nullptr) << "the selection was read";
        EXPECT_NE(controlText(dialog, kSourcesField).find(L"a.txt"), std::wstring::npos);
        EXPECT_EQ(test::exists(c.file), !c.deleted);
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(process.wait(10000), 0u);
    }
    EXPECT_EQ(test::readBytes(ordinary).size(), (text.size() + 1) * 2) << "left as it was";
}

} // namespace
