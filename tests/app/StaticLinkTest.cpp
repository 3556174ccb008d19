// The hyperlink text on a real static control: the texts it shows while the
// mouse comes and goes, its colours and font, and what a click does.
#include <gtest/gtest.h>

#include "ControlHost.h"
#include "TestSupport.h"
#include "common/ui/StaticLink.h"

#include <string>

using namespace sorvane;
using sorvane::ui::CStaticLink;

namespace {

constexpr wchar_t kLink[] = L"https://sorvane.example.org/";
constexpr wchar_t kShown[] = L"Sorvane on the web";

class StaticLinkWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.window(), nullptr) << "needs a display";
        label = host.addControl(L"STATIC", L"before", SS_LEFT, 100, 10, 10, 200, 20);
        ASSERT_NE(label, nullptr);
    }
    test::ControlHost host;
    HWND label = nullptr;
};

TEST_F(StaticLinkWindow, ShowsTheLinkWhileHoveredAndItsTextAfterLeaving)
{
    CStaticLink link;
    link.SetTexts(kLink, kShown, CStaticLink::kSwapTextOnHover);
    ASSERT_TRUE(link.Attach(label));
    EXPECT_EQ(test::windowText(label), kShown);
    EXPECT_EQ(link.hoverState(), -1);

    ::SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(test::windowText(label), kLink);
    EXPECT_EQ(link.hoverState(), 1);
    // Moving on inside keeps the link.
    ::SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(6, 5));
    EXPECT_EQ(test::windowText(label), kLink);

    EXPECT_EQ(::SendMessageW(label, WM_MOUSELEAVE, 0, 0), 0);
    EXPECT_EQ(test::windowText(label), kShown);
    EXPECT_EQ(link.hoverState(), 0);

    // And again on the next visit.
    ::SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(test::windowText(label), kLink);
    ::SendMessageW(label, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(test::windowText(label), kShown);
}

TEST_F(StaticLinkWindow, KeepsItsTextWithoutTheSwapFlagOrWithOneText)
{
    {
        CStaticLink link;
        link.SetTexts(kLink, kShown, 0);
        ASSERT_TRUE(link.Attach(label));
        ::SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(test::windowText(label), kShown);
        EXPECT_EQ(link.hoverState(), -1);
    }
    {
        CStaticLink link;
        link.SetTexts(kLink, nullptr, CStaticLink::kSwapTextOnHover);
        ASSERT_TRUE(link.Attach(label));
        EXPECT_EQ(test::windowText(label), kLink) << "no shown text: the link is shown";
        ::SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        ::SendMessageW(label, WM_MOUSELEAVE, 0, 0);
        EXPECT_EQ(test::windowText(label), kLink);
    }
}

TEST_F(StaticLinkWindow, AttachSetsTheTextOnlyWhenOneWasGiven)
{
    {
        CStaticLink link;
        ASSERT_TRUE(link.Attach(label));
        EXPECT_EQ(test::windowText(label), L"before");
    }
    {
        CStaticLink link;
        link.SetTexts(kLink, L"", 0);
        ASSERT_TRUE(link.Attach(label));
        EXPECT_EQ(test::windowText(label), kLink) << "an empty shown text gives way to the link";
    }
    {
        // Texts are cut at 259 characters.
        CStaticLink link;
        const std::wstring longText(400, L'x');
        link.SetTexts(longText.c_str(), longText.c_str(), 0);
        EXPECT_EQ(std::wstring(link.link()).size(), 259u);
        EXPECT_EQ(std::wstring(link.shownText()).size(), 259u);
    }
}

TEST_F(StaticLinkWindow, ClickAsksTheParentAndIsVisitedOnlyOnItsYes)
{
    CStaticLink link;
    link.SetTexts(kLink, kShown, 0);
    ASSERT_TRUE(link.Attach(label));

    // The static control takes clicks now.
    EXPECT_EQ(::SendMessageW(label, WM_NCHITTEST, 0, 0), HTCLIENT);
    host.clickReply = 0;
    EXPECT_EQ(::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3)), 0);
    ASSERT_EQ(host.userMessages().size(), 1u);
    EXPECT_EQ(host.userMessages()[0].message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(host.userMessages()[0].wParam, static_cast<WPARAM>(WM_LBUTTONDOWN));
    EXPECT_EQ(host.userMessages()[0].lParam, reinterpret_cast<LPARAM>(label));
    EXPECT_FALSE(link.visited());

    host.clickReply = 1;
    ::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(host.userMessages().size(), 2u);
    EXPECT_TRUE(link.visited());
}

TEST_F(StaticLinkWindow, ColoursBlueUnderlinedThenPurpleOnceVisited)
{
    CStaticLink link;
    link.SetTexts(kLink, kShown, 0);
    ASSERT_TRUE(link.Attach(label));
    test::Canvas canvas(8, 8, RGB(0, 0, 0));

    const LRESULT brush = ::SendMessageW(label, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()),
                                         reinterpret_cast<LPARAM>(label));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), ::GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(::GetTextColor(canvas.dc()), RGB(0, 0, 255));
    EXPECT_EQ(::GetBkMode(canvas.dc()), TRANSPARENT);
    LOGFONTW font = {};
    ASSERT_TRUE(::GetObjectW(::GetCurrentObject(canvas.dc(), OBJ_FONT), sizeof(font), &font));
    EXPECT_TRUE(font.lfUnderline);

    host.clickReply = 1;
    ::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::SendMessageW(label, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()), reinterpret_cast<LPARAM>(label));
    EXPECT_EQ(::GetTextColor(canvas.dc()), RGB(128, 0, 128));
}

TEST_F(StaticLinkWindow, OpensItsLinkItselfAndStaysUnvisitedWhenThatFails)
{
    test::TempFolder folder;
    const std::wstring marker = folder / L"opened.txt";
    const std::wstring script = folder / L"open-me.cmd";
    ASSERT_TRUE(test::writeBytes(script, "@echo opened> \"" + std::string(marker.begin(), marker.end()) + "\"\r\n"));

    CStaticLink missing;
    const std::wstring nowhere = folder / L"no-such-file.cmd";
    missing.SetTexts(nowhere.c_str(), kShown, CStaticLink::kOpenLink);
    ASSERT_TRUE(missing.Attach(label));
    ::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_FALSE(missing.visited());
    EXPECT_TRUE(host.userMessages().empty()) << "the parent is not asked";
    missing.Attach(nullptr);

    CStaticLink link;
    link.SetTexts(script.c_str(), kShown, CStaticLink::kOpenLink);
    ASSERT_TRUE(link.Attach(label));
    ::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_TRUE(link.visited());
    for (int i = 0; i < 100 && !test::exists(marker); ++i) ::Sleep(100);
    EXPECT_TRUE(test::exists(marker)) << "the linked script ran";
}

TEST_F(StaticLinkWindow, LetsGoOfItsWindowWhenEitherEnds)
{
    {
        CStaticLink link;
        link.SetTexts(kLink, kShown, CStaticLink::kSwapTextOnHover);
        ASSERT_TRUE(link.Attach(label));
        ::DestroyWindow(label);
        EXPECT_EQ(link.window(), nullptr);
    }
    HWND other = host.addControl(L"STATIC", L"plain", SS_LEFT, 101, 10, 40, 200, 20);
    ASSERT_NE(other, nullptr);
    {
        CStaticLink link;
        link.SetTexts(kLink, kShown, CStaticLink::kSwapTextOnHover);
        ASSERT_TRUE(link.Attach(other));
    }
    // The static control works on its own again.
    ::SendMessageW(other, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(test::windowText(other), kShown);
    EXPECT_EQ(::SendMessageW(other, WM_NCHITTEST, 0, MAKELPARAM(50, 50)), HTTRANSPARENT)
        << "a static control without SS_NOTIFY lets clicks through";
    EXPECT_FALSE(CStaticLink().Attach(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234))));
}

} // namespace
