// Pieces of the extension that the platform here cannot drive through the
// library: the items of a shell too old to draw them, and the hand-off file
// when the extension's folder refuses it.
#include <gtest/gtest.h>

#include "HandOff.h"
#include "MenuItems.h"
#include "TestSupport.h"

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

TEST(ShellExtUnit, HandOffFileFallsBackToTheUsersTempFolder)
{
    const std::wstring text = L"/D:C:\\x\\;" + std::wstring(1100, L'z') + L";";
    const std::wstring parameters = handoff::programParameters(L"C:\\no\\such\\folder\\", text);
    const std::wstring temp = handoff::userTempFolder();
    ASSERT_FALSE(temp.empty());
    ASSERT_EQ(parameters.rfind(L"/F:" + temp + L"Sor", 0), 0u) << parameters;
    const std::string bytes = test::readBytes(parameters.substr(3));
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2));
    // The program reads and deletes it there as anywhere else.
    handoff::CommandText read = handoff::obtainCommandText((L"Sorvane.exe " + parameters).c_str());
    ASSERT_TRUE(read);
    EXPECT_EQ(std::wstring(read.get()), text);
    EXPECT_FALSE(test::exists(parameters.substr(3)));
}

} // namespace
