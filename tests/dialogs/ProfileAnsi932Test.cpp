// The profile file in the Japanese ANSI code page (932), run by ctest with
// LC_ALL=ja_JP.UTF-8: double-byte texts are written as Shift-JIS, even with
// a trail byte that is a backslash or "[", and read back whole.
#include <gtest/gtest.h>

#include "dialogs/ItemMngr.h"
#include "TestSupport.h"

#include <string>

using namespace sorvane;

namespace {

TEST(ProfileAnsi932, DoubleByteTextsRoundTrip)
{
    ASSERT_EQ(::GetACP(), 932u) << "runs in the Japanese code page only: its ctest entry sets LC_ALL=ja_JP.UTF-8";
    test::TempFolder folder;
    const std::wstring path = folder / L"Sorvane.ini";

    CItemMngr list;
    // 文書|C:\データ\表ソ: 表 and ソ end in 0x5C, ー in 0x5B.
    const std::wstring text = L"\u6587\u66f8|C:\\\u30c7\u30fc\u30bf\\\u8868\u30bd";
    list.Add(text.c_str(), true);
    list.Add(std::wstring(600, L'\u8868').c_str(), false);
    ASSERT_TRUE(list.Save(L"Destines", path.c_str()));

    std::string table519;
    for (int i = 0; i < 519; ++i) table519 += "\x95\x5c";
    EXPECT_EQ(test::readBytes(path), "[Destines]\r\n  Num=2\r\n"
                                     "  Item1=\x95\xb6\x8f\x91|C:\\\x83\x66\x81\x5b\x83\x5e\\\x95\x5c\x83\x5c\r\n"
                                     "  Item2=" + table519 + "\r\n");

    CItemMngr again;
    ASSERT_TRUE(again.Load(L"Destines", path.c_str()));
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(std::wstring(again.At(0)), text);
    EXPECT_EQ(std::wstring(again.At(1)), std::wstring(519, L'\u8868'));

    // A hand-edited value of more than 519 characters is cut by characters,
    // not by bytes.
    ASSERT_TRUE(test::writeBytes(path, "[Destines]\r\n  Item1=" + table519 + "\x95\x5c\x95\x5c\r\n"));
    ASSERT_TRUE(again.Load(L"Destines", path.c_str()));
    EXPECT_EQ(std::wstring(again.At(0)), std::wstring(519, L'\u8868'));
}

} // namespace
