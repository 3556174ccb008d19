// The tooltip wrapper on real tooltip windows: its styles, tools given by
// text or by string number, the times and width it sets, and placing a tip.
#include <gtest/gtest.h>

#include "ControlHost.h"
#include "common/ui/ToolTip.h"

#include <string>

using namespace sorvane;
using sorvane::ui::CToolTip;

namespace {

struct ToolState {
    std::wstring text;
    UINT flags = 0;
    HWND notify = nullptr;
    bool found = false;
};

ToolState readTool(HWND tip, HWND notify, HWND tool)
{
    ToolState state;
    wchar_t text[1100] = {};
    TOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = notify;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = text;
    state.found = ::SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
    state.flags = info.uFlags;
    state.notify = info.hwnd;
    info.lpszText = text;
    ::SendMessageW(tip, TTM_GETTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    state.text = text;
    return state;
}

class TooltipWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.window(), nullptr) << "needs a display";
        edit = host.addControl(L"EDIT", L"", WS_BORDER, 200, 10, 10, 150, 22);
        button = host.addControl(L"BUTTON", L"Go", BS_PUSHBUTTON, 201, 10, 40, 80, 24);
        ASSERT_TRUE(edit && button);
    }
    test::ControlHost host;
    HWND edit = nullptr;
    HWND button = nullptr;
};

TEST_F(TooltipWindow, ToolsByTextAndByStringNumber)
{
    CToolTip tip;
    ASSERT_TRUE(tip.Create(host.window(), TTS_ALWAYSTIP | TTS_NOPREFIX, WS_EX_TOPMOST));
    ASSERT_TRUE(tip.AddTool(edit, L"Where the files go", true, false));
    ASSERT_TRUE(tip.AddTool(button, 1100u, false, true)); // the application name
    EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETTOOLCOUNT, 0, 0), 2);

    ToolState first = readTool(tip.handle(), host.window(), edit);
    ASSERT_TRUE(first.found) << "tools answer to their parent window";
    EXPECT_EQ(first.text, L"Where the files go");
    EXPECT_EQ(first.flags & (TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT), UINT(TTF_IDISHWND | TTF_SUBCLASS));

    ToolState second = readTool(tip.handle(), host.window(), button);
    ASSERT_TRUE(second.found);
    EXPECT_EQ(second.text, L"Sorvane");
    EXPECT_EQ(second.flags & (TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT), UINT(TTF_IDISHWND | TTF_TRANSPARENT));

    tip.UpdateTipText(edit, L"Another text");
    EXPECT_EQ(readTool(tip.handle(), host.window(), edit).text, L"Another text");

    tip.DelTool(button);
    EXPECT_FALSE(readTool(tip.handle(), host.window(), button).found);
    // A string the resources lack gives an empty tip, not a failure.
    EXPECT_TRUE(tip.AddTool(button, 59999u, false, false));
    EXPECT_EQ(readTool(tip.handle(), host.window(), button).text, L"");
}

TEST_F(TooltipWindow, BalloonWithDelaysAndMaximumWidth)
{
    CToolTip tip;
    ASSERT_TRUE(tip.Create(host.window(), TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON, WS_EX_TOPMOST));
    const LONG_PTR style = ::GetWindowLongPtrW(tip.handle(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | TTS_BALLOON | TTS_NOPREFIX), LONG_PTR(WS_POPUP | TTS_BALLOON | TTS_NOPREFIX));
    EXPECT_TRUE(::GetWindowLongPtrW(tip.handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(::GetWindow(tip.handle(), GW_OWNER), host.window());
    tip.SetDelayTime(TTDT_AUTOPOP, 30000);
    tip.SetDelayTime(TTDT_INITIAL, 500);
    EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 30000);
    EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
    tip.SetMaxTipWidth(320);
    EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETMAXTIPWIDTH, 0, 0), 320);

    // A negative time restores the default, which is not what was set.
    tip.SetDelayTime(TTDT_INITIAL, -1);
    EXPECT_NE(::SendMessageW(tip.handle(), TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
}

TEST_F(TooltipWindow, MovedTipFramesTheGivenTextRectangle)
{
    CToolTip tip;
    ASSERT_TRUE(tip.Create(nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX, WS_EX_TOPMOST | WS_EX_TRANSPARENT));
    ASSERT_TRUE(tip.AddTool(edit, L"A rather long entry of a history list", true, true));
    const RECT text = {300, 200, 500, 216};
    tip.MoveTo(text);
    RECT placed = {};
    ::GetWindowRect(tip.handle(), &placed);
    // The window's border and margins lie around the text, not far off.
    EXPECT_LE(placed.left, text.left);
    EXPECT_LE(placed.top, text.top);
    EXPECT_GE(placed.left, text.left - 12);
    EXPECT_GE(placed.top, text.top - 12);
    EXPECT_TRUE(::GetWindowLongPtrW(tip.handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(TooltipWindow, DestroysOnlyTheWindowItMade)
{
    HWND made = nullptr;
    {
        CToolTip tip;
        ASSERT_TRUE(tip.Create(host.window(), TTS_ALWAYSTIP, 0));
        made = tip.handle();
    }
    EXPECT_FALSE(::IsWindow(made));

    CToolTip owner;
    ASSERT_TRUE(owner.Create(host.window(), TTS_ALWAYSTIP, 0));
    {
        CToolTip borrowed;
        borrowed.Attach(owner.handle());
        EXPECT_TRUE(borrowed.AddTool(edit, L"shared", false, false));
    }
    EXPECT_TRUE(::IsWindow(owner.handle()));
    EXPECT_EQ(::SendMessageW(owner.handle(), TTM_GETTOOLCOUNT, 0, 0), 1);

    CToolTip none;
    EXPECT_FALSE(none.AddTool(edit, L"no window", false, false));
}

} // namespace
