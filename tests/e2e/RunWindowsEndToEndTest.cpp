// The windows of a run in the real Sorvane.exe: a run started from the
// shell has a hidden main window, so the progress dialog and the box that
// ends a compress must each stand in the taskbar and in Alt+Tab on their
// own; and a second operation asked for while one runs is refused with a
// message that says why. Needs a display (Xvfb).
#include <gtest/gtest.h>

#include "Driver.h"
#include "common/HandOff.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#include <string>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// True when the shell gives `window` a taskbar button and an Alt+Tab entry
// of its own: a visible top-level window that is no tool window and either
// asks for one (WS_EX_APPWINDOW) or has no owner. An owned window without
// WS_EX_APPWINDOW shares its owner's button, and a hidden owner has none.
bool standsInTheTaskbar(HWND window)
{
    if (!::IsWindowVisible(window)) return false;
    const LONG_PTR extended = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    if (extended & WS_EX_TOOLWINDOW) return false;
    if (extended & WS_EX_APPWINDOW) return true;
    return ::GetWindow(window, GW_OWNER) == nullptr;
}

// The main window of the process, hidden or not.
struct MainSearch {
    DWORD processId;
    HWND found;
};
BOOL CALLBACK matchMainWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<MainSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    if (owner == search->processId && std::wstring(name) == L"_KVT_Sorvane_Class") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
HWND findMainWindow(DWORD processId)
{
    for (DWORD waited = 0; waited < kWait; waited += 50) {
        MainSearch search = {processId, nullptr};
        ::EnumWindows(matchMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(50);
    }
    return nullptr;
}

class RunWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(test::writeBytes(src + L"\\f" + std::to_wstring(i) + L".txt", "some text"));
        }
    }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    std::wstring src = root / L"src";
    std::wstring out = root / L"out";
    test::ChildProcess process;
};

TEST_F(RunWindows, StartedFromTheShellTheProgressDialogHasItsOwnTaskbarButton)
{
    const std::wstring command = handoff::buildCommandText(handoff::Operation::Copy, nullptr, {src});
    ASSERT_TRUE(process.start(exe, command));
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    HWND main = findMainWindow(process.id());
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(::IsWindowVisible(main)) << "a run from the shell hides the main window";
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"*.*");
    press(dialog, kStart);
    HWND progress = waitForDialog(process.id(), kFolderField, kWait);
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(standsInTheTaskbar(progress))
        << "exstyle " << std::hex << ::GetWindowLongPtrW(progress, GWL_EXSTYLE) << " owner "
        << ::GetWindow(progress, GW_OWNER);
    EXPECT_TRUE(finishProgressDialog(process.id(), kWait));
    EXPECT_EQ(process.wait(kWait), 0u);
    EXPECT_EQ(test::readBytes(out + L"\\src\\f7.txt"), "some text");
}

TEST_F(RunWindows, StartedFromTheShellTheCompressResultBoxHasItsOwnTaskbarButton)
{
    const std::wstring archive = root / L"arc.lzh";
    ASSERT_TRUE(process.start(exe, L"/L:" + src + L"\\;f1.txt;f2.txt;"));
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    HWND main = findMainWindow(process.id());
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(::IsWindowVisible(main));
    setControlText(dialog, kTarget, archive);
    setControlText(dialog, kPatterns, L"*.*");
    press(dialog, kStart);
    HWND box = waitForMessageBox(process.id(), kWait);
    ASSERT_NE(box, nullptr) << "a compress ends with its message";
    EXPECT_TRUE(standsInTheTaskbar(box))
        << "exstyle " << std::hex << ::GetWindowLongPtrW(box, GWL_EXSTYLE) << " owner " << ::GetWindow(box, GW_OWNER);
    EXPECT_NE(::GetWindow(box, GW_OWNER), main) << "never owned by the hidden main window";
    press(box, IDOK);
    EXPECT_EQ(process.wait(kWait), 0u);
}

TEST_F(RunWindows, ASecondOperationWhileOneRunsIsRefusedWithAMessage)
{
    ASSERT_TRUE(process.start(exe, L""));
    HWND main = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWait);
    ASSERT_NE(main, nullptr);
    ::PostMessageW(main, WM_COMMAND, IDM_FILTER_COPY, 0); // "&Filtering Copy"
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kSources, src + L"\\;f1.txt;f2.txt;");
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"*.*");
    press(dialog, kStart);
    HWND progress = waitForDialog(process.id(), kFolderField, kWait);
    ASSERT_NE(progress, nullptr);

    // The job is the window's from the moment its progress dialog exists:
    // a second one is asked for.
    ::PostMessageW(main, WM_COMMAND, IDM_FILTER_COMPRESS, 0);
    HWND box = waitForMessageBox(process.id(), kWait);
    ASSERT_NE(box, nullptr) << "the refusal is said, not only beeped";
    EXPECT_EQ(messageBoxText(box), L"Another operation is still running. Start the next one when it has finished.")
        << narrow(messageBoxText(box));
    press(box, IDOK);
    EXPECT_EQ(waitForDialog(process.id(), kPatterns, 1000), nullptr) << "no second operation dialog opened";

    EXPECT_TRUE(finishProgressDialog(process.id(), kWait));
    EXPECT_EQ(test::readBytes(out + L"\\f2.txt"), "some text") << "the first run went on";
    ::PostMessageW(main, WM_COMMAND, IDM_EXIT, 0); // Exit
    EXPECT_EQ(process.wait(kWait), 0u);
}

} // namespace
