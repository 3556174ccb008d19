// The real Sorvane.exe started for a Filter Delete as the shell extension
// starts it, its operation dialog used with real keystrokes (SendInput to
// the foreground window, as a keyboard types them): Tab to an owner-drawn
// button and Enter presses that button, never "Start", and nothing is
// deleted. Needs a display (Xvfb).
#include <gtest/gtest.h>

#include "Driver.h"
#include "common/HandOff.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#include <functional>
#include <string>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;
constexpr int kAdvance = IDC_ADVANCE;
constexpr int kBrowseExtensions = IDC_BROWSE_EXTENSIONS;
constexpr int kSearch = IDC_EXTENSIONS_SEARCH;       // the extension browser's "Search"
constexpr int kProgressFolder = IDC_PROGRESS_FOLDER; // a field of the progress dialog

// The control of `dialog` that has the keyboard focus (a combo box for its
// edit field), or null.
HWND focusedControl(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) || !info.hwndFocus) return nullptr;
    HWND focus = info.hwndFocus;
    HWND parent = ::GetParent(focus);
    return parent && parent != dialog ? parent : focus;
}

// One key, down and up, typed into whatever window is in the foreground.
void typeKey(WORD key)
{
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, inputs, sizeof(INPUT));
}

bool waitFor(DWORD ms, const std::function<bool()>& done)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(30);
    }
    return true;
}

class KeyboardEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        for (const wchar_t* name : {L"a.txt", L"b.doc"}) ASSERT_TRUE(test::writeBytes(src + L"\\" + name, "keep me"));
        const std::wstring command =
            handoff::buildCommandText(handoff::Operation::Delete, nullptr, {src + L"\\a.txt", src + L"\\b.doc"});
        ASSERT_TRUE(process.start(exe, command));
        dialog = waitForDialog(process.id(), kBrowseExtensions, kWait);
        ASSERT_NE(dialog, nullptr) << "the Filter Delete dialog did not open";
        // Every file qualifies: a Start would delete both.
        setControlText(dialog, kPatterns, L"*.*");
        ASSERT_TRUE(waitFor(kWait, [&] { return focusedControl(dialog) == ::GetDlgItem(dialog, kStart); }))
            << "the dialog opens with the focus on Start";
    }

    // Real Tab keystrokes until `id` has the focus; false when it never does.
    bool tabTo(int id)
    {
        HWND wanted = ::GetDlgItem(dialog, id);
        for (int i = 0; i < 40; ++i) {
            if (focusedControl(dialog) == wanted) return true;
            ::SetForegroundWindow(dialog);
            if (!waitFor(5000, [&] { return ::GetForegroundWindow() == dialog; })) return false;
            HWND before = focusedControl(dialog);
            typeKey(VK_TAB);
            waitFor(5000, [&] { return focusedControl(dialog) != before; });
        }
        return focusedControl(dialog) == wanted;
    }

    // Both files are where they were, and no run began.
    void expectNothingDeleted()
    {
        EXPECT_EQ(test::readBytes(src + L"\\a.txt"), "keep me");
        EXPECT_EQ(test::readBytes(src + L"\\b.doc"), "keep me");
        EXPECT_EQ(waitForDialog(process.id(), kProgressFolder, 500), nullptr) << "a run was started";
    }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    std::wstring src = root / L"src";
    test::ChildProcess process;
    HWND dialog = nullptr;
};

TEST_F(KeyboardEndToEnd, EnterOnTheExtensionBrowserButtonOpensTheBrowserAndDeletesNothing)
{
    ASSERT_TRUE(tabTo(kBrowseExtensions)) << "Tab never reached \">>\"";
    typeKey(VK_RETURN);
    HWND browser = waitForDialog(process.id(), kSearch, kWait);
    EXPECT_NE(browser, nullptr) << "Enter on \">>\" did not open the extension browser";
    EXPECT_TRUE(::IsWindow(dialog)) << "the operation dialog is still open";
    expectNothingDeleted();
    ASSERT_NE(browser, nullptr);

    // Closed with Esc, typed as well: back in the operation dialog, still
    // nothing deleted; then the dialog is cancelled.
    ::SetForegroundWindow(browser);
    ASSERT_TRUE(waitFor(5000, [&] { return ::GetForegroundWindow() == browser; }));
    typeKey(VK_ESCAPE);
    EXPECT_TRUE(waitFor(kWait, [&] { return !::IsWindow(browser) || !::IsWindowVisible(browser); }));
    expectNothingDeleted();
    press(dialog, kCancel);
    EXPECT_EQ(process.wait(kWait), 0u);
    expectNothingDeleted();
}

TEST_F(KeyboardEndToEnd, EnterOnAdvanceFoldsTheFormAndDeletesNothing)
{
    // Folding changes the dialog's height. Its place is the window
    // manager's: it may move the dialog once it has framed it.
    const auto height = [&] {
        RECT rect = {};
        ::GetWindowRect(dialog, &rect);
        return rect.bottom - rect.top;
    };
    const LONG open = height();
    ASSERT_TRUE(tabTo(kAdvance)) << "Tab never reached \"Advance\"";
    typeKey(VK_RETURN);
    EXPECT_TRUE(waitFor(kWait, [&] { return height() < open; })) << "Enter on \"Advance\" did not fold the form";
    expectNothingDeleted();

    // Once more: the form unfolds, and the focus stayed on "Advance".
    typeKey(VK_RETURN);
    EXPECT_TRUE(waitFor(kWait, [&] { return height() == open; })) << "Enter on \"Advance\" did not unfold the form";
    EXPECT_EQ(focusedControl(dialog), ::GetDlgItem(dialog, kAdvance));
    expectNothingDeleted();
    press(dialog, kCancel);
    EXPECT_EQ(process.wait(kWait), 0u);
    expectNothingDeleted();
}

} // namespace
