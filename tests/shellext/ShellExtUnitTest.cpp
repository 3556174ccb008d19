// What the platform here cannot show through the library: the items of a
// shell too old to draw them.
#include <gtest/gtest.h>

#include "MenuItems.h"

using namespace sorvane;

namespace {

TEST(ShellExtUnit, ItemsArePlainStringsWhenTheShellCannotDrawThem)
{
    // The strings are the extension's own, linked into this program.
    HMENU menu = ::CreatePopupMenu();
    ASSERT_EQ(shellext::menu::insertItems(menu, 0, 40, false, false, ::GetModuleHandleW(nullptr)), 3u);
    ASSERT_EQ(::GetMenuItemCount(menu), 5);
    const wchar_t* const texts[] = {L"", L"Filter Copy...(&C)", L"Filter Move...(&M)", L"Filter Delete...(&D)", L""};
    for (int i = 0; i < 5; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID;
        ASSERT_TRUE(::GetMenuItemInfoW(menu, i, TRUE, &info));
        wchar_t text[128] = {};
        ::GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        const bool separator = i == 0 || i == 4;
        EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, separator) << i;
        EXPECT_EQ(info.fType & MFT_OWNERDRAW, 0u) << i;
        if (!separator) {
            EXPECT_EQ(info.wID, 40u + i - 1);
        }
        EXPECT_STREQ(text, texts[i]);
    }
    ::DestroyMenu(menu);
}

} // namespace
