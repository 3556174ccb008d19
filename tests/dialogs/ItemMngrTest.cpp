// The history list: the same-entry and update rules of Add, full lists,
// RemoveAt, FindInFolder, FillCombo, and Load and Save against real profile
// files compared byte for byte.
#include <gtest/gtest.h>

#include "dialogs/ItemMngr.h"
#include "common/Raii.h"
#include "common/ui/GdiRaii.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#include <memory>
#include <string>
#include <vector>

using namespace sorvane;
using sorvane::test::readBytes;
using sorvane::test::writeBytes;

namespace {

std::vector<std::wstring> entries(const CItemMngr& list)
{
    std::vector<std::wstring> result;
    for (int i = 0; i < list.Count(); ++i) result.push_back(list.At(i));
    return result;
}

std::unique_ptr<CItemMngr> listOf(const std::vector<std::wstring>& texts)
{
    auto list = std::make_unique<CItemMngr>();
    for (const auto& text : texts) list->Add(text.c_str(), false);
    return list;
}

// The bytes of a literal, NULs included.
template <size_t N>
std::string bytesOf(const char (&text)[N])
{
    return std::string(text, N - 1);
}

std::wstring numbered(const wchar_t* prefix, int n) { return prefix + std::to_wstring(n); }

using Texts = std::vector<std::wstring>;

TEST(ItemMngr, SameEntryAndUpdateRules)
{
    struct Case {
        const char* name;
        Texts stored;
        const wchar_t* added;
        Texts after;
    };
    const Case cases[] = {
        {"same value, other case: spelling kept", {L"C:\\Data"}, L"c:\\data", {L"C:\\Data"}},
        {"same value and label, other case", {L"Docs|C:\\Data"}, L"DOCS|c:\\DATA", {L"Docs|C:\\Data"}},
        {"same label, new value: replaced", {L"Desktop|C:\\Users\\ann\\Desktop"}, L"Desktop|D:\\Desk",
         {L"Desktop|D:\\Desk"}},
        {"label equal ignoring case", {L"Desktop|C:\\A"}, L"DESKTOP|D:\\B", {L"DESKTOP|D:\\B"}},
        {"bare value keeps the stored label", {L"Desktop|C:\\Users\\ann\\Desktop"}, L"C:\\Users\\ann\\Desktop",
         {L"Desktop|C:\\Users\\ann\\Desktop"}},
        {"bare value in other case: stored label, new spelling", {L" Desk |C:\\X "}, L" c:\\x ", {L"Desk|c:\\x"}},
        {"labelled value replaces a bare one", {L"C:\\X"}, L"Mine|c:\\x", {L"Mine|c:\\x"}},
        {"other label, same value: new text", {L"A|C:\\X"}, L"B|C:\\X", {L"B|C:\\X"}},
        {"blanks around the parts do not count", {L"C:\\X"}, L"  C:\\X  ", {L"C:\\X"}},
        {"two empty labels are no match by label", {L"C:\\A"}, L"C:\\B", {L"C:\\A", L"C:\\B"}},
        {"the first same entry is the one updated", {L"A|C:\\1", L"B|C:\\2"}, L"B|C:\\1",
         {L"B|C:\\1", L"B|C:\\2"}},
        {"different labels and values: new", {L"A|C:\\1"}, L"B|C:\\2", {L"A|C:\\1", L"B|C:\\2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto list = listOf(c.stored);
        list->Add(c.added, false);
        EXPECT_EQ(entries(*list), c.after);
    }
}

TEST(ItemMngr, ToFrontMovesTheSameEntry)
{
    auto list = listOf({L"D:\\One", L"C:\\Data", L"Desktop|C:\\Users\\ann\\Desktop"});
    list->Add(L"c:\\data", true);
    EXPECT_EQ(entries(*list), (Texts{L"C:\\Data", L"D:\\One", L"Desktop|C:\\Users\\ann\\Desktop"}));
    list->Add(L"C:\\Users\\ann\\Desktop", true);
    EXPECT_EQ(entries(*list), (Texts{L"Desktop|C:\\Users\\ann\\Desktop", L"C:\\Data", L"D:\\One"}));
    list->Add(L"Desktop|D:\\Desk", true);
    EXPECT_EQ(entries(*list), (Texts{L"Desktop|D:\\Desk", L"C:\\Data", L"D:\\One"})) << "already at the front";
    list->Add(L"E:\\New", true);
    EXPECT_EQ(entries(*list), (Texts{L"E:\\New", L"Desktop|D:\\Desk", L"C:\\Data", L"D:\\One"}));
}

TEST(ItemMngr, FullListsDropTheOldestOrTheNewcomer)
{
    CItemMngr list;
    for (int i = 1; i <= 32; ++i) list.Add(numbered(L"F:\\", i).c_str(), false);
    ASSERT_EQ(list.Count(), 32);
    list.Add(L"G:\\appended", false);
    EXPECT_EQ(list.Count(), 32);
    EXPECT_EQ(list.FindInFolder(L"G:\\appended", 0), -1) << "appending to a full list changes nothing";
    EXPECT_STREQ(list.At(31), L"F:\\32");
    EXPECT_EQ(list.At(32), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);

    list.Add(L"G:\\front", true);
    EXPECT_EQ(list.Count(), 32);
    EXPECT_STREQ(list.At(0), L"G:\\front");
    EXPECT_STREQ(list.At(1), L"F:\\1");
    EXPECT_STREQ(list.At(31), L"F:\\31") << "F:\\32 fell off";

    // A same entry in a full list is moved, nothing falls off.
    list.Add(L"f:\\31", true);
    EXPECT_EQ(list.Count(), 32);
    EXPECT_STREQ(list.At(0), L"F:\\31");
    EXPECT_STREQ(list.At(1), L"G:\\front");
    EXPECT_STREQ(list.At(31), L"F:\\30");
    // ...and without toFront it is updated in place, even when full.
    list.Add(L"Label|F:\\5", false);
    EXPECT_STREQ(list.At(6), L"Label|F:\\5");
}

TEST(ItemMngr, TextsAreCutTo519Characters)
{
    CItemMngr list;
    const std::wstring longText(600, L'x');
    list.Add(longText.c_str(), true);
    EXPECT_EQ(std::wstring(list.At(0)), std::wstring(519, L'x'));
    list.Add((std::wstring(519, L'X') + L"ignored tail").c_str(), false);
    EXPECT_EQ(list.Count(), 1) << "the same entry once cut";
    EXPECT_EQ(std::wstring(list.At(0)), std::wstring(519, L'x')) << "and its spelling is kept";
}

TEST(ItemMngr, FindInFolder)
{
    auto list = listOf({L"D:\\Outer\\d.lzh", L"D:\\Out\\sub\\c.lzh", L"Label|D:\\out\\b.exe", L"D:\\Out\\a.lzh",
                        L"D:\\Out"});
    EXPECT_EQ(list->FindInFolder(L"D:\\Out", L'\\'), 2) << "the labelled file directly in the folder comes first";
    EXPECT_EQ(list->FindInFolder(L"Any label|d:\\OUT", L'\\'), 2) << "the value of the text is what counts";

    auto onlyNested = listOf({L"D:\\Out\\sub\\c.lzh", L"D:\\Outer\\d.lzh", L"D:\\Out"});
    EXPECT_EQ(onlyNested->FindInFolder(L"D:\\Out", L'\\'), 2) << "the folder itself";
    EXPECT_EQ(onlyNested->FindInFolder(L"D:\\Out", 0), 0) << "without separator any continuation counts";
    auto none = listOf({L"D:\\Out\\sub\\c.lzh", L"D:\\Outer\\d.lzh", L"C:\\Out\\a.lzh", L"D:\\Ou"});
    EXPECT_EQ(none->FindInFolder(L"D:\\Out", L'\\'), -1);
    EXPECT_EQ(none->FindInFolder(L"D:\\Out\\sub\\c.lzh\\more", 0), -1) << "longer than every entry";
    EXPECT_EQ(CItemMngr().FindInFolder(L"D:\\Out", L'\\'), -1);
}

// A combo box in a window of its own, as the operation dialog has them.
class ItemMngrWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent.reset(::CreateWindowExW(0, L"STATIC", L"history", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(parent) << "windows need a display";
        combo = ::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWN, 0, 0, 200, 100, parent.get(),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TARGET)),
                                  ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(combo, nullptr);
    }
    Texts items() const
    {
        Texts result;
        const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[600] = {};
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            result.push_back(text);
        }
        return result;
    }
    UniqueWindow parent;
    HWND combo = nullptr;
};

TEST_F(ItemMngrWindow, FillComboAppendsEveryEntryInOrder)
{
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"already there"));
    auto list = listOf({L"Z:\\last in name", L"Docs|A:\\first in name", std::wstring(519, L'w')});
    EXPECT_TRUE(list->FillCombo(parent.get(), IDC_TARGET));
    EXPECT_EQ(items(), (Texts{L"already there", L"Z:\\last in name", L"Docs|A:\\first in name",
                              std::wstring(519, L'w')}));
    EXPECT_FALSE(list->FillCombo(parent.get(), IDC_PATTERNS)) << "no such control";
    EXPECT_TRUE(CItemMngr().FillCombo(parent.get(), IDC_TARGET));
    EXPECT_EQ(items().size(), 4u);
}

// Load and Save of one section against a real profile file.
class ItemMngrFile : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::wstring path = folder / L"Sorvane.ini";
    CItemMngr list;

    bool load(const std::string& bytes, const wchar_t* section = L"Destines")
    {
        EXPECT_TRUE(writeBytes(path, bytes));
        return list.Load(section, path.c_str());
    }
    bool save(const wchar_t* section = L"Destines") { return list.Save(section, path.c_str()); }
};

TEST_F(ItemMngrFile, NumFivePlusAnEmptyItemLeavesTheOldFifth)
{
    ASSERT_TRUE(load("[Destines]\r\n"
                     "  Num=5\r\n"
                     "  Item1=D:\\Backup\r\n"
                     "  Item2=\r\n"
                     "  Item3=Documents|C:\\Users\\ann\\Documents\r\n"
                     "  Item4=  E:\\blanks kept  \r\n"
                     "  Item5=F:\\Five\r\n"
                     "[Archieve]\r\n"
                     "  Num=0\r\n"));
    EXPECT_EQ(entries(list),
              (Texts{L"D:\\Backup", L"Documents|C:\\Users\\ann\\Documents", L"  E:\\blanks kept  ", L"F:\\Five"}));
    ASSERT_TRUE(save());
    EXPECT_EQ(readBytes(path), "[Destines]\r\n"
                               "  Num=4\r\n"
                               "  Item1=D:\\Backup\r\n"
                               "  Item2=Documents|C:\\Users\\ann\\Documents\r\n"
                               "  Item3=  E:\\blanks kept  \r\n"
                               "  Item4=F:\\Five\r\n"
                               "  Item5=F:\\Five\r\n"
                               "[Archieve]\r\n"
                               "  Num=0\r\n");
    CItemMngr again;
    ASSERT_TRUE(again.Load(L"Destines", path.c_str()));
    EXPECT_EQ(entries(again), entries(list)) << "the stale Item5 is not read";
}

TEST_F(ItemMngrFile, MissingNumReadsThirtyTwoKeys)
{
    std::string bytes = "[Types]\r\n";
    for (int k : {33, 32, 3, 1}) bytes += "  Item" + std::to_string(k) + "=t" + std::to_string(k) + "\r\n";
    ASSERT_TRUE(load(bytes, L"Types"));
    EXPECT_EQ(entries(list), (Texts{L"t1", L"t3", L"t32"}));
}

TEST_F(ItemMngrFile, NumAboveThirtyTwoReadsTheFirstThirtyTwoKeys)
{
    std::string bytes = "[Destines]\r\n  Num=40\r\n";
    for (int k = 1; k <= 40; ++k) bytes += "  Item" + std::to_string(k) + "=p" + std::to_string(k) + "\r\n";
    ASSERT_TRUE(load(bytes));
    ASSERT_EQ(list.Count(), 32);
    EXPECT_STREQ(list.At(0), L"p1");
    EXPECT_STREQ(list.At(31), L"p32");

    // With a gap, Item33 does not move up to fill it.
    const size_t item3 = bytes.find("  Item3=p3\r\n");
    bytes.replace(item3, 12, "  Item3=\r\n");
    ASSERT_TRUE(load(bytes));
    ASSERT_EQ(list.Count(), 31);
    EXPECT_STREQ(list.At(1), L"p2");
    EXPECT_STREQ(list.At(2), L"p4");
    EXPECT_STREQ(list.At(30), L"p32");

    ASSERT_TRUE(load("[Destines]\r\n  Num=-3\r\n  Item1=x\r\n"));
    EXPECT_EQ(list.Count(), 0);
    ASSERT_TRUE(load("[Destines]\r\n  Num=many\r\n  Item1=x\r\n"));
    EXPECT_EQ(list.Count(), 0) << "no digits read as 0";
    ASSERT_TRUE(load("[Destines]\r\n  Num=0x2\r\n  Item1=x\r\n  Item2=y\r\n  Item3=z\r\n"));
    EXPECT_EQ(entries(list), (Texts{L"x", L"y"}));
    ASSERT_TRUE(load("[Destines]\r\n  Num=2147483647\r\n  Item1=x\r\n"));
    EXPECT_EQ(entries(list), (Texts{L"x"})) << "and does not walk billions of missing keys";
}

TEST_F(ItemMngrFile, LongItemsAreCutTo519Characters)
{
    ASSERT_TRUE(load("[Destines]\r\n  Num=2\r\n  Item1=" + std::string(700, 'L') + "\r\n  Item2=" +
                     std::string(519, 'e') + "\r\n"));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(std::wstring(list.At(0)), std::wstring(519, L'L'));
    EXPECT_EQ(std::wstring(list.At(1)), std::wstring(519, L'e'));
    ASSERT_TRUE(save());
    EXPECT_EQ(readBytes(path), "[Destines]\r\n  Num=2\r\n  Item1=" + std::string(519, 'L') + "\r\n  Item2=" +
                                   std::string(519, 'e') + "\r\n");
}

TEST_F(ItemMngrFile, SectionNamesCountCase)
{
    const std::string before = "[destines]\r\n  Num=1\r\n  Item1=lower\r\n";
    ASSERT_TRUE(load(before));
    EXPECT_EQ(list.Count(), 0);
    list.Add(L"D:\\New", true);
    ASSERT_TRUE(save());
    EXPECT_EQ(readBytes(path), before + "[Destines]\r\n  Num=1\r\n  Item1=D:\\New\r\n");
}

TEST_F(ItemMngrFile, TextsTheCodePageLacksAndLineBreaks)
{
    list.Add(L"Caf\u00e9|C:\\\u6587\u66f8", true); // é is in code page 1252, the ideographs are not
    list.Add(L"two\r\nlines", false);
    if (::GetACP() != 1252) GTEST_FAIL() << "written for the Western code page";
    ASSERT_TRUE(save());
    EXPECT_EQ(readBytes(path), "[Destines]\r\n  Num=2\r\n  Item1=Caf\xe9|C:\\??\r\n  Item2=two  lines\r\n");
    ASSERT_TRUE(list.Load(L"Destines", path.c_str()));
    EXPECT_EQ(entries(list), (Texts{L"Caf\u00e9|C:\\??", L"two  lines"}));
}

TEST_F(ItemMngrFile, TooLargeFilesAreNeitherReadNorWritten)
{
    {
        UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        const std::string head = "[Destines]\r\n  Num=1\r\n  Item1=x\r\n";
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(f.get(), head.data(), static_cast<DWORD>(head.size()), &written, nullptr));
        LARGE_INTEGER at;
        at.QuadPart = 0xFFFFFF;
        ASSERT_TRUE(::SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(f.get()));
    }
    list.Add(L"kept in memory", false);
    EXPECT_FALSE(list.Load(L"Destines", path.c_str()));
    EXPECT_EQ(list.Count(), 0) << "the list is emptied all the same";
    list.Add(L"y", false);
    EXPECT_FALSE(save());
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 0xFFFFFFu);
    EXPECT_EQ(readBytes(path).substr(0, 12), "[Destines]\r\n");
}

// Files that are not text: whatever they hold, Load does not fail on them,
// the user's bytes stay, and what Save wrote reads back as it was.
TEST_F(ItemMngrFile, NonTextFilesNeverBreakLoadOrSave)
{
    std::vector<std::string> files = {
        std::string(4096, '\0'),
        bytesOf("no line ends at all [Destines] Num=3 Item1=x"),
        bytesOf("[Destines"),
        bytesOf("[Destines\r\n  Num=2\r\n  Item1=a\0b\r\n  Item2=c"),
        bytesOf("\r\r\n\n[Destines]]\r\n  Num\0=1\r\n  Num=1\r\n  Item1=one"),
    };
    unsigned seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<unsigned char>(seed >> 16);
    };
    for (int n = 0; n < 40; ++n) {
        std::string garbage(static_cast<size_t>(next()) * 8 + 1, '\0');
        for (char& c : garbage) {
            const unsigned char r = next();
            // Favour the bytes that structure a profile file.
            c = r < 40 ? "[]=\r\n; \tDestinesNumItem1"[r % 24] : static_cast<char>(r);
        }
        files.push_back(garbage);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        ASSERT_TRUE(writeBytes(path, files[i]));
        ASSERT_TRUE(list.Load(L"Destines", path.c_str()));
        const Texts loaded = entries(list);
        EXPECT_LE(list.Count(), 32);
        // Saving what was read changes nothing of substance.
        ASSERT_TRUE(save());
        CItemMngr reread;
        ASSERT_TRUE(reread.Load(L"Destines", path.c_str()));
        EXPECT_EQ(entries(reread), loaded);

        list.Add(L"D:\\Target", true);
        list.Add(L"Label|E:\\Other", false);
        const Texts expected = entries(list);
        ASSERT_TRUE(save());
        ASSERT_TRUE(reread.Load(L"Destines", path.c_str()));
        EXPECT_EQ(entries(reread), expected);
        // Only our section changed: whatever ran before the file's first
        // section header is still there byte for byte.
        const std::string after = readBytes(path);
        const size_t header = files[i].find("[Destines");
        const size_t kept = header == std::string::npos ? files[i].size() : header;
        EXPECT_EQ(after.substr(0, kept), files[i].substr(0, kept));
    }
}

} // namespace
