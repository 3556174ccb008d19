// The scrolling list on real combo boxes: the horizontal extent that follows
// the widest entry, Delete on the dropped and the closed list, and the tip
// with the full text of the highlighted entry.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "ControlHost.h"
#include "TestSupport.h"
#include "common/ui/ScrollList.h"

#include <string>
#include <vector>

using namespace sorvane;
using sorvane::ui::CWndScrollList;

namespace {

constexpr int kComboId = 300;

// Every horizontal extent the combo box is given, seen from outside.
std::vector<int> g_extents;

LRESULT CALLBACK recordExtents(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == CB_SETHORIZONTALEXTENT) g_extents.push_back(static_cast<int>(wParam));
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// The rule the list follows: the text's extent in the control's font plus
// two average character widths.
int expectedWidth(HWND combo, const std::wstring& text)
{
    HDC dc = ::GetDC(combo);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(combo, WM_GETFONT, 0, 0)));
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(combo, dc);
    return size.cx + 2 * metrics.tmAveCharWidth;
}

std::wstring entry(HWND combo, int index)
{
    wchar_t text[512] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

LRESULT add(HWND combo, const wchar_t* text)
{
    return ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

class ScrollListWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.window(), nullptr) << "needs a display";
        combo = host.addControl(L"COMBOBOX", L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
                                kComboId, 10, 10, 120, 200);
        ASSERT_NE(combo, nullptr);
        g_extents.clear();
    }
    void watchExtents() { ASSERT_TRUE(::SetWindowSubclass(combo, recordExtents, 1, 0)); }
    void TearDown() override
    {
        if (::IsWindow(combo)) ::RemoveWindowSubclass(combo, recordExtents, 1);
    }

    test::ControlHost host;
    HWND combo = nullptr;
};

TEST_F(ScrollListWindow, ExtentFollowsTheWidestEntry)
{
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    watchExtents();
    const wchar_t* narrow = L"C:\\Data";
    const wchar_t* wide = L"C:\\Data\\Projects\\Sorvane\\Backups\\Weekly";
    const int narrowWidth = expectedWidth(combo, narrow);
    const int wideWidth = expectedWidth(combo, wide);
    ASSERT_LT(narrowWidth, wideWidth);

    add(combo, narrow);
    add(combo, wide);
    EXPECT_EQ(g_extents, (std::vector<int>{narrowWidth, wideWidth})) << "set twice";
    EXPECT_EQ(::SendMessageW(combo, CB_GETHORIZONTALEXTENT, 0, 0), wideWidth);

    // A narrower entry, or one as wide as the widest, changes nothing.
    add(combo, L"C:");
    ::SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(wide));
    EXPECT_EQ(g_extents.size(), 2u);

    // Deleting one of the two widest changes nothing; the last one goes
    // back to the next width.
    const LRESULT first = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide));
    ::SendMessageW(combo, CB_DELETESTRING, first, 0);
    EXPECT_EQ(g_extents.size(), 2u);
    const LRESULT second = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide));
    ::SendMessageW(combo, CB_DELETESTRING, second, 0);
    EXPECT_EQ(g_extents, (std::vector<int>{narrowWidth, wideWidth, narrowWidth})) << "set back after the delete";
    EXPECT_EQ(::SendMessageW(combo, CB_GETHORIZONTALEXTENT, 0, 0), narrowWidth);
    EXPECT_EQ(list.widestEntry(), narrowWidth);

    // Emptying the list brings the extent to 0; a bad index is left alone.
    EXPECT_EQ(::SendMessageW(combo, CB_DELETESTRING, 99, 0), CB_ERR);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(g_extents.back(), 0);
    EXPECT_EQ(list.widestEntry(), 0);
}

TEST_F(ScrollListWindow, DeletingOneOfTwoEqualWidthsChangesNothing)
{
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    watchExtents();
    add(combo, L"*.txt;*.doc");
    add(combo, L"*.txt;*.doc");
    ASSERT_EQ(g_extents.size(), 1u);
    ::SendMessageW(combo, CB_DELETESTRING, 0, 0);
    EXPECT_EQ(g_extents.size(), 1u);
    EXPECT_EQ(::SendMessageW(combo, CB_GETHORIZONTALEXTENT, 0, 0), expectedWidth(combo, L"*.txt;*.doc"));
    ::SendMessageW(combo, CB_DELETESTRING, 0, 0);
    EXPECT_EQ(g_extents, (std::vector<int>{expectedWidth(combo, L"*.txt;*.doc"), 0}));
}

TEST_F(ScrollListWindow, EntriesPresentBeforeAttachCount)
{
    add(combo, L"short");
    add(combo, L"a somewhat longer history entry");
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    EXPECT_EQ(::SendMessageW(combo, CB_GETHORIZONTALEXTENT, 0, 0), expectedWidth(combo, L"a somewhat longer history entry"));
}

TEST_F(ScrollListWindow, AttachesToComboBoxesOnly)
{
    HWND listBox = host.addControl(L"LISTBOX", L"", 0, 301, 150, 10, 100, 80);
    HWND edit = host.addControl(L"EDIT", L"", 0, 302, 150, 100, 100, 20);
    CWndScrollList list;
    EXPECT_FALSE(list.Attach(listBox));
    EXPECT_FALSE(list.Attach(edit));
    EXPECT_FALSE(list.Attach(nullptr));
    EXPECT_EQ(list.m_hWnd, nullptr);
    ASSERT_TRUE(list.Attach(combo));
    EXPECT_EQ(list.m_hWnd, combo);
    EXPECT_NE(list.edit(), nullptr);
    EXPECT_NE(list.list(), nullptr);
    // The edit field and the list are tools of the shared tooltip.
    EXPECT_EQ(::SendMessageW(ui::scrollListToolTip().handle(), TTM_GETTOOLCOUNT, 0, 0), 2);
    EXPECT_EQ(list.Detach(), combo);
    EXPECT_EQ(::SendMessageW(ui::scrollListToolTip().handle(), TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST_F(ScrollListWindow, DeleteWhileDroppedRemovesTheHighlightedEntryAndTellsTheParent)
{
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    for (const wchar_t* text : {L"alpha", L"bravo", L"charlie"}) add(combo, text);
    ::SetFocus(list.edit());
    ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    ::SendMessageW(combo, CB_SETCURSEL, 1, 0);

    ::SendMessageW(list.edit(), WM_KEYDOWN, VK_DELETE, 0);
    ASSERT_EQ(host.userMessages().size(), 1u);
    EXPECT_EQ(host.userMessages()[0].message, WM_USER + 1);
    EXPECT_EQ(host.userMessages()[0].wParam, 1u);
    EXPECT_EQ(host.userMessages()[0].lParam, reinterpret_cast<LPARAM>(combo));
    ASSERT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(entry(combo, 0), L"alpha");
    EXPECT_EQ(entry(combo, 1), L"charlie");
    EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 1) << "the next entry takes its place";
    // The focus goes to the list where the system lets it (Wine keeps
    // the dropped list a child of the desktop, which takes no focus); it
    // never leaves the combo box, and the list stays down.
    EXPECT_TRUE(::GetFocus() == list.list() || ::GetFocus() == list.edit());
    EXPECT_TRUE(::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));

    // The last entry: the one before it is selected.
    ::SendMessageW(list.edit(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(host.userMessages().back().wParam, 1u);
    EXPECT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);

    ::SendMessageW(list.edit(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(host.userMessages().size(), 3u);

    // Nothing highlighted in an empty list: nothing to tell.
    ::SendMessageW(list.edit(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(host.userMessages().size(), 3u);
    ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    test::pumpMessages();
    EXPECT_NE(::GetFocus(), list.list()) << "the closed list gives the focus back";
}

TEST_F(ScrollListWindow, DeleteWhileClosedEditsTheText)
{
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    add(combo, L"alpha");
    add(combo, L"bravo");
    ASSERT_FALSE(::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    ::SetWindowTextW(list.edit(), L"delta");
    ::SetFocus(list.edit());
    ::SendMessageW(list.edit(), EM_SETSEL, 0, 0);
    ::SendMessageW(list.edit(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(test::windowText(list.edit()), L"elta");
    EXPECT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    EXPECT_TRUE(host.userMessages().empty());
}

TEST_F(ScrollListWindow, HighlightedEntryShowsItsFullTextInTheTip)
{
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    const wchar_t* longEntry = L"C:\\Users\\Someone\\Documents\\A folder with a very long name indeed";
    add(combo, L"short");
    add(combo, longEntry);
    ::SetFocus(list.edit());
    ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    ::SendMessageW(combo, CB_SETCURSEL, 1, 0);
    ::SendMessageW(list.list(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(list.tipEntry(), 1);

    HWND tip = ui::scrollListToolTip().handle();
    wchar_t text[256] = {};
    TOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = combo;
    info.uId = reinterpret_cast<UINT_PTR>(list.list());
    info.lpszText = text;
    ::SendMessageW(tip, TTM_GETTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(text, longEntry);

    // The tip lies over the entry's row.
    RECT listRect = {};
    ::GetWindowRect(list.list(), &listRect);
    const LRESULT itemHeight = ::SendMessageW(combo, CB_GETITEMHEIGHT, 1, 0);
    RECT tipRect = {};
    ::GetWindowRect(tip, &tipRect);
    EXPECT_NEAR(tipRect.left, listRect.left, 12);
    EXPECT_NEAR(tipRect.top, listRect.top + itemHeight, 12);

    // Another entry changes the text; the same one leaves it alone.
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    ::SendMessageW(list.list(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(list.tipEntry(), 0);
    ::SendMessageW(tip, TTM_GETTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(text, L"short");

    ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(list.tipEntry(), -1);
}

TEST_F(ScrollListWindow, SurvivesOwnerDrawnListsAndItsComboBoxGoing)
{
    HWND ownerDrawn = host.addControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED, 310, 150, 10, 120, 200);
    ASSERT_NE(ownerDrawn, nullptr);
    {
        CWndScrollList list;
        ASSERT_TRUE(list.Attach(ownerDrawn));
        // Item data, not text: no width is taken from it.
        ::SendMessageW(ownerDrawn, CB_ADDSTRING, 0, 0x1234);
        ::SendMessageW(ownerDrawn, CB_ADDSTRING, 0, 0);
        EXPECT_EQ(list.widestEntry(), 0);
        ::SendMessageW(ownerDrawn, CB_DELETESTRING, 0, 0);
    }
    CWndScrollList list;
    ASSERT_TRUE(list.Attach(combo));
    add(combo, L"entry");
    ::DestroyWindow(combo);
    EXPECT_EQ(list.m_hWnd, nullptr);
    EXPECT_EQ(list.edit(), nullptr);
}

} // namespace
