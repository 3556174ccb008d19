// The handler in a menu: which items it inserts for which flags, selections
// and identifier ranges, their texts, pictures and help texts, and how the
// menu finds them by their access keys.
#include <gtest/gtest.h>

#include "ExtensionHost.h"

#include <cstddef>
#include <iostream>
#include <iterator>
#include <string>

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr UINT kFirst = 100;
const wchar_t* const kTexts[] = {L"Filter Copy...(&C)", L"Filter Move...(&M)", L"Filter Delete...(&D)"};

// The menu as text: "-" for a separator, "owner <id>" for an owner-drawn
// item, "<text> <id>" for a string (with "+picture" when it has one).
std::vector<std::wstring> describe(HMENU menu)
{
    std::vector<std::wstring> items;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_BITMAP;
        ::GetMenuItemInfoW(menu, i, TRUE, &info);
        wchar_t text[128] = {};
        ::GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        if (info.fType & MFT_SEPARATOR) items.push_back(L"-");
        else if (info.fType & MFT_OWNERDRAW) items.push_back(L"owner " + std::to_wstring(info.wID));
        else items.push_back(std::wstring(text) + L" " + std::to_wstring(info.wID) + (info.hbmpItem ? L" +picture" : L""));
    }
    return items;
}

class ShellExtMenu : public ::testing::Test {
protected:
    ComApartment apartment;
    ExtensionCopy extension;
    TempFolder place; // real folders for drop targets and the shell's data object

    void SetUp() override { ASSERT_TRUE(extension.module()) << "build SorvaneExt first"; }

    // Items inserted into "Head, Tail" at position 1, and the count returned.
    std::vector<std::wstring> query(IDataObject* data, UINT flags, UINT& count, const std::wstring& target = L"")
    {
        ComPtr<IContextMenu3> handler = extension.createHandler(data, target);
        EXPECT_TRUE(handler);
        if (!handler) return {};
        HMENU menu = ::CreatePopupMenu();
        ::AppendMenuW(menu, MF_STRING, 1, L"Head");
        ::AppendMenuW(menu, MF_STRING, 2, L"Tail");
        const HRESULT hr = handler->QueryContextMenu(menu, 1, kFirst, kFirst + 50, flags);
        EXPECT_EQ(HRESULT_SEVERITY(hr), SEVERITY_SUCCESS);
        count = HRESULT_CODE(hr);
        std::vector<std::wstring> items = describe(menu);
        ::DestroyMenu(menu);
        return items;
    }
};

const std::vector<std::wstring> kUntouched = {L"Head 1", L"Tail 2"};
const std::vector<std::wstring> kContextItems = {L"Head 1",
                                                 L"-",
                                                 L"Filter Copy...(&C) 100 +picture",
                                                 L"Filter Move...(&M) 101 +picture",
                                                 L"Filter Delete...(&D) 102 +picture",
                                                 L"-",
                                                 L"Tail 2"};

TEST_F(ShellExtMenu, FlagsDecideWhetherItemsAreAdded)
{
    ComPtr<DropData> data = DropData::make({L"C:\\Users\\me\\Docs\\a.txt"});
    const struct {
        UINT flags;
        bool items;
    } cases[] = {
        {CMF_NORMAL, true},           {CMF_DEFAULTONLY, false},
        {CMF_VERBSONLY, true},        {CMF_EXPLORE, true},
        {CMF_NOVERBS, false},         {CMF_DEFAULTONLY | CMF_EXPLORE, true},
        {CMF_NOVERBS | CMF_VERBSONLY, true}, {CMF_DEFAULTONLY | CMF_NOVERBS, false},
        {CMF_CANRENAME, true},        {CMF_EXTENDEDVERBS | CMF_EXPLORE, true},
    };
    for (const auto& c : cases) {
        UINT count = 99;
        const std::vector<std::wstring> items = query(data.get(), c.flags, count);
        EXPECT_EQ(count, c.items ? 3u : 0u) << "flags " << c.flags;
        EXPECT_EQ(items, c.items ? kContextItems : kUntouched) << "flags " << c.flags;
    }
    EXPECT_EQ(DropData::outstandingMedia(), 0);
}

TEST_F(ShellExtMenu, EverySelectionFormGetsTheThreeItems)
{
    ASSERT_TRUE(writeBytes(place / L"a.txt", "a"));
    ASSERT_TRUE(::CreateDirectoryW((place / L"sub").c_str(), nullptr));
    const std::vector<std::vector<std::wstring>> selections = {
        {L"C:\\Users\\me\\Docs\\a.txt"},
        {L"C:\\Users\\me\\Docs\\a.txt", L"C:\\Users\\me\\Docs\\sub", L"C:\\Users\\me\\Docs\\b c;d.txt"},
        {L"C:\\"},
    };
    for (const auto& paths : selections) {
        UINT count = 0;
        EXPECT_EQ(query(DropData::make(paths).get(), CMF_NORMAL, count), kContextItems) << paths[0];
    }
    // The shell's own data object for real files.
    ComPtr<IDataObject> shellData = shellDataObject(place.path(), {L"a.txt", L"sub"});
    ASSERT_TRUE(shellData);
    UINT count = 0;
    EXPECT_EQ(query(shellData.get(), CMF_NORMAL, count), kContextItems);
    EXPECT_EQ(DropData::outstandingMedia(), 0);
}

TEST_F(ShellExtMenu, NothingForAnEmptyOrUnreadableSelectionOrTheStartMenu)
{
    wchar_t startMenu[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_STARTMENU, nullptr, SHGFP_TYPE_CURRENT, startMenu), S_OK);
    const struct {
        ComPtr<DropData> data;
        UINT count;
    } cases[] = {
        {DropData::make({}), 0},
        {DropData::make({L"C:\\x\\a.txt"}, false), 0}, // no CF_HDROP at all
        {DropData::make({startMenu, L"C:\\x\\a.txt"}), 0},
        {DropData::make({L"C:\\x\\a.txt", startMenu}), 3}, // only the first item is compared
    };
    int index = 0;
    for (const auto& c : cases) {
        UINT count = 99;
        query(c.data.get(), CMF_NORMAL, count);
        EXPECT_EQ(count, c.count) << "case " << index++;
    }
    UINT count = 99;
    EXPECT_EQ(query(nullptr, CMF_NORMAL, count), kUntouched);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(DropData::outstandingMedia(), 0);
}

TEST_F(ShellExtMenu, RightDragOffersCopyAndMoveExceptOntoTheItemsOwnFolder)
{
    const std::wstring source = place / L"source";
    const std::wstring target = place / L"target";
    ASSERT_TRUE(::CreateDirectoryW(source.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ComPtr<DropData> data = DropData::make({source + L"\\a.txt", source + L"\\b.txt"});

    UINT count = 0;
    EXPECT_EQ(query(data.get(), CMF_NORMAL, count, target),
              (std::vector<std::wstring>{L"Head 1", L"Filter Copy...(&C) 100 +picture",
                                         L"Filter Move...(&M) 101 +picture", L"-", L"Tail 2"}));
    EXPECT_EQ(count, 2u);
    // The same folder, written in other letter case.
    EXPECT_EQ(query(data.get(), CMF_NORMAL, count, place.path() + L"\\SOURCE"), kUntouched);
    EXPECT_EQ(count, 0u);
}

TEST_F(ShellExtMenu, HelpTextsWideAndNarrow)
{
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a"}).get());
    ASSERT_TRUE(handler);
    const wchar_t* const help[] = {L"Copy selected folders/files by filtering condition.",
                                   L"Move selected folders/files by filtering condition",
                                   L"Delete selected folders/files by filtering condition."};
    for (UINT k = 0; k < 3; ++k) {
        wchar_t wide[128] = {};
        EXPECT_EQ(handler->GetCommandString(k, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(wide), 128), S_OK);
        EXPECT_STREQ(wide, help[k]);
        char narrow[128] = {};
        EXPECT_EQ(handler->GetCommandString(k, GCS_HELPTEXTA, nullptr, narrow, 128), S_OK);
        EXPECT_EQ(std::string(narrow), std::string(help[k], help[k] + std::wcslen(help[k])));
    }
    // Too small a buffer: cut and terminated, never overrun.
    wchar_t wide[12];
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(wide), 10), S_OK);
    EXPECT_STREQ(wide, L"Copy sele");
    EXPECT_EQ(wide[10], L'#');
    char narrow[12];
    std::fill(std::begin(narrow), std::end(narrow), '#');
    EXPECT_EQ(handler->GetCommandString(1, GCS_HELPTEXTA, nullptr, narrow, 10), S_OK);
    EXPECT_EQ(narrow[9], '\0');
    EXPECT_EQ(narrow[10], '#');
    // Verbs, validation, an empty buffer and commands not ours are refused.
    for (UINT type : {GCS_VERBA, GCS_VERBW, GCS_VALIDATEA, GCS_VALIDATEW})
        EXPECT_EQ(handler->GetCommandString(0, type, nullptr, narrow, 12), E_INVALIDARG) << type;
    EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, narrow, 0), E_INVALIDARG);
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(handler->GetCommandString(3, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(wide), 12), E_INVALIDARG);
    EXPECT_EQ(handler->GetCommandString(40, GCS_HELPTEXTA, nullptr, narrow, 12), E_INVALIDARG);
    EXPECT_EQ(wide[0], L'#');
}

TEST_F(ShellExtMenu, IdentifiersStayWithinTheRangeExplorerGives)
{
    ComPtr<DropData> data = DropData::make({L"C:\\x\\a.txt"});
    const std::wstring target = place / L"target";
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    const struct {
        UINT first, last;
        bool drag;
        UINT count;
    } cases[] = {
        {100, 102, false, 3},        {100, 101, false, 0},        {100, 100, false, 0}, {100, 99, false, 0},
        {100, 101, true, 2},         {100, 100, true, 0},         {0, 2, false, 3},
        {0xFFFFFFFE, 0xFFFFFFFF, false, 0}, {0xFFFFFFFD, 0xFFFFFFFF, false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << ".." << c.last << (c.drag ? " drag" : ""));
        ComPtr<IContextMenu3> handler = extension.createHandler(data.get(), c.drag ? target : L"");
        ASSERT_TRUE(handler);
        HMENU menu = ::CreatePopupMenu();
        ::AppendMenuW(menu, MF_STRING, 1, L"Head");
        const HRESULT hr = handler->QueryContextMenu(menu, 1, c.first, c.last, CMF_NORMAL);
        EXPECT_EQ(hr, MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, c.count));
        // Nothing at all when they do not fit: no separators either.
        const int expectedItems = c.count == 0 ? 1 : 1 + static_cast<int>(c.count) + (c.drag ? 1 : 2);
        EXPECT_EQ(::GetMenuItemCount(menu), expectedItems);
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            const UINT id = ::GetMenuItemID(menu, i);
            if (id == 1 || id == 0) continue; // ours are neither "Head" nor separators
            EXPECT_GE(id, c.first);
            EXPECT_LE(id, c.last);
        }
        ::DestroyMenu(menu);
    }
}

// The pixels' size and depth of an item's picture.
struct PictureShape {
    int width = 0, height = 0, bits = 0;
    bool section = false;
};
PictureShape shapeOf(HBITMAP bitmap)
{
    PictureShape shape;
    DIBSECTION dib = {};
    const int got = ::GetObjectW(bitmap, sizeof(dib), &dib);
    if (got == 0) return shape;
    shape.width = dib.dsBm.bmWidth;
    shape.height = dib.dsBm.bmHeight;
    shape.bits = dib.dsBm.bmBitsPixel;
    shape.section = got == sizeof(dib) && dib.dsBm.bmBits != nullptr;
    return shape;
}

TEST_F(ShellExtMenu, ItemsAreShellDrawnTextsWithPicturesOfTheDisplaysDensity)
{
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a"}).get());
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    ASSERT_EQ(HRESULT_CODE(handler->QueryContextMenu(menu, 0, kFirst, kFirst + 9, CMF_NORMAL)), 3);

    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    const int side = ::MulDiv(16, dpi, 96);
    std::cout << "[ note ] the display here has " << dpi << " dpi: pictures of " << side << " px\n";
    for (UINT k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        wchar_t text[128] = {};
        info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_BITMAP | MIIM_DATA;
        info.dwTypeData = text;
        info.cch = 128;
        ASSERT_TRUE(::GetMenuItemInfoW(menu, kFirst + k, FALSE, &info));
        // A text item: the text screen readers read and the menu draws in
        // its own font and colours.
        EXPECT_EQ(info.fType & (MFT_OWNERDRAW | MFT_BITMAP | MFT_SEPARATOR), 0u);
        EXPECT_STREQ(text, kTexts[k]);
        EXPECT_EQ(info.dwItemData, 0u);
        const PictureShape shape = shapeOf(info.hbmpItem);
        EXPECT_TRUE(shape.section) << "a DIB section";
        EXPECT_EQ(shape.bits, 32);
        EXPECT_EQ(shape.width, side);
        EXPECT_EQ(shape.height, side);
    }
    ::DestroyMenu(menu);
    // The pictures belong to the handler and go with it.
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_BITMAP;
    HMENU again = ::CreatePopupMenu();
    handler->QueryContextMenu(again, 0, kFirst, kFirst + 9, CMF_NORMAL);
    ASSERT_TRUE(::GetMenuItemInfoW(again, kFirst, FALSE, &info));
    const HBITMAP picture = info.hbmpItem;
    EXPECT_NE(::GetObjectType(picture), 0u);
    handler.reset();
    EXPECT_EQ(::GetObjectType(picture), 0u) << "deleted with the handler";
    ::DestroyMenu(again);
}

// A window to own the menus the tests show.
class MenuOwner {
public:
    MenuOwner()
    {
        window_ = ::CreateWindowExW(0, L"STATIC", L"menu owner", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, nullptr,
                                    nullptr, nullptr, nullptr);
        if (window_) ::SetForegroundWindow(window_);
    }
    ~MenuOwner()
    {
        if (window_) ::DestroyWindow(window_);
    }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// The command the menu manager returns when the key `key` is typed into the
// shown menu, or 0.
UINT chooseByKey(HMENU menu, HWND owner, wchar_t key)
{
    // Queued before the menu opens; its loop reads them like typed keys.
    ::PostMessageW(owner, WM_CHAR, key, 1);
    const BOOL chosen = ::TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY, 20, 20, owner, nullptr);
    MSG leftover;
    while (::PeekMessageW(&leftover, owner, WM_CHAR, WM_CHAR, PM_REMOVE)) {
    }
    return static_cast<UINT>(chosen);
}

// Access keys through the real menu manager and through WM_MENUCHAR, in the
// language of the interface (run once more under a Japanese one).
TEST(ShellExtLanguage, AccessKeysChooseTheItems)
{
    ComApartment apartment;
    ExtensionCopy extension(true, programFolder() + L"shellext_langlib.dll");
    ASSERT_TRUE(extension.module());
    MenuOwner owner;
    ASSERT_TRUE(owner.get()) << "needs a display";
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a.txt"}).get());
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, 1, L"&Open");
    ::AppendMenuW(menu, MF_STRING, 2, L"Co&ntinue");
    ASSERT_EQ(HRESULT_CODE(handler->QueryContextMenu(menu, 1, kFirst, kFirst + 9, CMF_NORMAL)), 3);
    // Open, -, Copy, Move, Delete, -, Continue
    const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, kFirst + 1, text, 128, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(text), japanese ? L"\x30D5\x30A3\x30EB\x30BF\x30EA\x30F3\x30B0 \x79FB\x52D5...(&M)"
                                           : L"Filter Move...(&M)");

    EXPECT_EQ(chooseByKey(menu, owner.get(), L'c'), kFirst);
    EXPECT_EQ(chooseByKey(menu, owner.get(), L'M'), kFirst + 1);
    EXPECT_EQ(chooseByKey(menu, owner.get(), L'd'), kFirst + 2);
    EXPECT_EQ(chooseByKey(menu, owner.get(), L'o'), 1u) << "the other items keep their keys";

    // A shell that forwards WM_MENUCHAR gets the item's position.
    const struct {
        wchar_t key;
        LRESULT answer;
        HRESULT hr;
    } cases[] = {
        {L'c', MAKELRESULT(2, MNC_EXECUTE), S_OK},
        {L'M', MAKELRESULT(3, MNC_EXECUTE), S_OK},
        {L'd', MAKELRESULT(4, MNC_EXECUTE), S_OK},
        {L'o', MAKELRESULT(0, MNC_IGNORE), S_FALSE}, // not one of ours
        {L'x', MAKELRESULT(0, MNC_IGNORE), S_FALSE},
    };
    for (const auto& c : cases) {
        LRESULT answer = 99;
        EXPECT_EQ(handler->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(c.key, MF_POPUP), reinterpret_cast<LPARAM>(menu), &answer),
                  c.hr)
            << static_cast<char>(c.key);
        EXPECT_EQ(answer, c.answer) << static_cast<char>(c.key);
    }
    // Without a result pointer, and for messages it does not take.
    EXPECT_EQ(handler->HandleMenuMsg(WM_MENUCHAR, MAKEWPARAM(L'm', MF_POPUP), reinterpret_cast<LPARAM>(menu)), S_OK);
    MEASUREITEMSTRUCT measure = {ODT_MENU, 0, kFirst, 7, 7, 0};
    LRESULT untouched = 5;
    EXPECT_EQ(handler->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &untouched), S_FALSE);
    EXPECT_EQ(untouched, 5);
    EXPECT_EQ(measure.itemHeight, 7u) << "nothing of ours is owner-drawn";
    ::DestroyMenu(menu);
}

TEST_F(ShellExtMenu, SeveralItemsWithOneKeyAreSelectedInTurn)
{
    // Items of ours that share a key (a translation may do that) are
    // selected one after the other instead of one being run.
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a.txt"}).get());
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    ASSERT_EQ(HRESULT_CODE(handler->QueryContextMenu(menu, 0, kFirst, kFirst + 9, CMF_NORMAL)), 3);
    ::ModifyMenuW(menu, kFirst + 2, MF_BYCOMMAND | MF_STRING, kFirst + 2, L"Filter &Copy again");
    LRESULT answer = 0;
    EXPECT_EQ(handler->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(L'c', MF_POPUP), reinterpret_cast<LPARAM>(menu), &answer), S_OK);
    EXPECT_EQ(answer, MAKELRESULT(1, MNC_SELECT));
    MENUITEMINFOW state = {};
    state.cbSize = sizeof(state);
    state.fMask = MIIM_STATE;
    state.fState = MFS_HILITE;
    ASSERT_TRUE(::SetMenuItemInfoW(menu, 1, TRUE, &state)); // Copy is highlighted
    ASSERT_NE(::GetMenuState(menu, 1, MF_BYPOSITION) & MF_HILITE, 0u);
    EXPECT_EQ(handler->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(L'c', MF_POPUP), reinterpret_cast<LPARAM>(menu), &answer), S_OK);
    EXPECT_EQ(answer, MAKELRESULT(3, MNC_SELECT));
    ::DestroyMenu(menu);
}

} // namespace
