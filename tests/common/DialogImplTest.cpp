// The dialog template wrapper: creation from the resource module, the
// object behind the window, dispatch to the hooks, modal ends, and that an
// exception in a hook never crosses the dialog procedure.
#include <gtest/gtest.h>

#include "common/ui/DialogImpl.h"

#include <stdexcept>
#include <string>
#include <vector>

using namespace sorvane::ui;

namespace {

class TestDialog : public CDialogImpl<TestDialog> {
public:
    enum { IDD = 900 };
    std::vector<std::string> events;
    bool throwOnCommand = false;
    bool endOnInit = false;
    bool deleted = false;

protected:
    BOOL OnInitDialog(HWND, LPARAM initParam) override
    {
        events.push_back("init:" + std::to_string(initParam));
        SetDlgItemText(1001, L"from init");
        if (endOnInit) ::PostMessageW(m_hWnd, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    bool OnCommand(WORD id, WORD, HWND) override
    {
        if (id == 1001) return false; // the edit box's own notifications
        events.push_back("command:" + std::to_string(id));
        if (throwOnCommand) throw std::runtime_error("hook failed");
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(id);
            return true;
        }
        return id == 42;
    }
    bool OnTimer(UINT_PTR timer) override
    {
        events.push_back("timer:" + std::to_string(timer));
        return true;
    }
    void OnDestroy() override { events.push_back("destroy"); }
    void OnFinalMessage(HWND) override { events.push_back("final"); }
};

TEST(DialogImplWindow, ModelessDialogDispatchesToItsObject)
{
    TestDialog dialog;
    HWND window = dialog.Create(nullptr, 7);
    ASSERT_NE(window, nullptr) << "needs a display";
    EXPECT_EQ(dialog.m_hWnd, window);
    EXPECT_EQ(TestDialog::FromWindow(window), &dialog);
    EXPECT_EQ(dialog.GetDlgItemText(1001), L"from init");
    EXPECT_EQ(dialog.GetWindowText(), L"Wrapper");

    ::SendMessageW(window, WM_COMMAND, 42, 0);
    ::SendMessageW(window, WM_TIMER, 5, 0);
    ::DestroyWindow(window);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_EQ(TestDialog::FromWindow(window), nullptr);
    const std::vector<std::string> expected = {"init:7", "command:42", "timer:5", "destroy", "final"};
    EXPECT_EQ(dialog.events, expected);
}

TEST(DialogImplWindow, ModalDialogReturnsItsResult)
{
    TestDialog dialog;
    dialog.endOnInit = true;
    EXPECT_EQ(dialog.DoModal(nullptr, 3), IDOK);
    ASSERT_GE(dialog.events.size(), 2u);
    EXPECT_EQ(dialog.events[0], "init:3");
    EXPECT_EQ(dialog.events[1], "command:1");
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(DialogImplWindow, ExceptionInAHookStaysInside)
{
    TestDialog dialog;
    dialog.throwOnCommand = true;
    HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    ::SendMessageW(window, WM_COMMAND, 42, 0);
    EXPECT_TRUE(::IsWindow(window)) << "the dialog goes on after a failed hook";
    EXPECT_EQ(dialog.events.back(), "command:42");
}

TEST(DialogImplWindow, DestroyingTheObjectDestroysItsWindow)
{
    HWND window = nullptr;
    {
        TestDialog dialog;
        window = dialog.Create(nullptr);
        ASSERT_NE(window, nullptr);
    }
    EXPECT_FALSE(::IsWindow(window));
}

} // namespace
