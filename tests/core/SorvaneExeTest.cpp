// The real Sorvane.exe from the deliverables folder, started as a user or
// the shell extension would start it. Needs a display (Xvfb under Wine).
#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace sorvane;

namespace {

constexpr DWORD kExitRejected = static_cast<DWORD>(-1);
constexpr DWORD kWindowWait = 20000;

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
        HMENU menu = ::LoadMenuW(image, MAKEINTRESOURCEW(100));
        ASSERT_NE(menu, nullptr);
        HMENU file = ::GetSubMenu(menu, 0);
        ASSERT_NE(file, nullptr);
        const UINT expectedIds[] = {400, 401, 403, 0, 410, 0, 411};
        ASSERT_EQ(::GetMenuItemCount(file), 7);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(::GetMenuItemID(file, i), expectedIds[i]) << "item " << i;
        ::DestroyMenu(menu);
        ::FreeLibrary(image);
        // Exit ends the process normally.
        ::PostMessageW(window, WM_COMMAND, 411, 0);
        EXPECT_EQ(process.wait(10000), 0u);
    }
}

} // namespace
