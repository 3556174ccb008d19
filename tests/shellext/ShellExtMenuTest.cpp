// The handler in a menu: which items it inserts for which flags and
// selections, their help texts, and how it measures and draws them.
#include <gtest/gtest.h>

#include "ExtensionHost.h"

#include <cstddef>
#include <string>

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr UINT kFirst = 100;
const wchar_t* const kTexts[] = {L"Filter Copy...(&C)", L"Filter Move...(&M)", L"Filter Delete...(&D)"};

// The menu as text: "-" for a separator, "owner <id>" for an owner-drawn
// item, "<text> <id>" for a string.
std::vector<std::wstring> describe(HMENU menu)
{
    std::vector<std::wstring> items;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID;
        ::GetMenuItemInfoW(menu, i, TRUE, &info);
        wchar_t text[128] = {};
        ::GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        if (info.fType & MFT_SEPARATOR) items.push_back(L"-");
        else if (info.fType & MFT_OWNERDRAW) items.push_back(L"owner " + std::to_wstring(info.wID));
        else items.push_back(std::wstring(text) + L" " + std::to_wstring(info.wID));
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
const std::vector<std::wstring> kContextItems = {L"Head 1", L"-", L"owner 100", L"owner 101", L"owner 102", L"-",
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

TEST_F(ShellExtMenu, RightDragOffersCopyAndMovePlainExceptOntoTheItemsOwnFolder)
{
    const std::wstring source = place / L"source";
    const std::wstring target = place / L"target";
    ASSERT_TRUE(::CreateDirectoryW(source.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ComPtr<DropData> data = DropData::make({source + L"\\a.txt", source + L"\\b.txt"});

    UINT count = 0;
    EXPECT_EQ(query(data.get(), CMF_NORMAL, count, target),
              (std::vector<std::wstring>{L"Head 1", L"Filter Copy...(&C) 100", L"Filter Move...(&M) 101", L"-", L"Tail 2"}));
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
    // Verbs, validation and an empty buffer are refused.
    for (UINT type : {GCS_VERBA, GCS_VERBW, GCS_VALIDATEA, GCS_VALIDATEW})
        EXPECT_EQ(handler->GetCommandString(0, type, nullptr, narrow, 12), E_INVALIDARG) << type;
    EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, narrow, 0), E_INVALIDARG);
}

// The width of a text in the menu font, measured here with GDI directly.
int menuTextWidth(const wchar_t* text)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfMenuFont);
    HDC screen = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(screen, font);
    std::wstring shown(text);
    shown.erase(shown.find(L'&'), 1); // the prefix mark is not drawn
    SIZE size = {};
    ::GetTextExtentPoint32W(screen, shown.c_str(), static_cast<int>(shown.size()), &size);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(font);
    return size.cx;
}

TEST_F(ShellExtMenu, MeasuresItemsInTheMenuFont)
{
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a"}).get());
    ASSERT_TRUE(handler);
    UINT count = 0;
    HMENU menu = ::CreatePopupMenu();
    count = HRESULT_CODE(handler->QueryContextMenu(menu, 0, kFirst, kFirst + 9, CMF_NORMAL));
    ::DestroyMenu(menu);
    ASSERT_EQ(count, 3u);
    for (UINT k = 0; k < 3; ++k) {
        MEASUREITEMSTRUCT item = {ODT_MENU, 0, kFirst + k, 7, 7, 0};
        LRESULT result = 0;
        EXPECT_EQ(handler->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item), &result), S_OK);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(item.itemHeight, 20u);
        EXPECT_EQ(static_cast<int>(item.itemWidth), menuTextWidth(kTexts[k]) + 38 - ::GetSystemMetrics(SM_CXMENUCHECK));
    }
    // Not a menu item, or not one of ours: untouched.
    for (MEASUREITEMSTRUCT item : {MEASUREITEMSTRUCT{ODT_LISTBOX, 0, kFirst, 7, 7, 0},
                                   MEASUREITEMSTRUCT{ODT_MENU, 0, kFirst + 3, 7, 7, 0}}) {
        EXPECT_EQ(handler->HandleMenuMsg(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item)), S_OK);
        EXPECT_EQ(item.itemWidth, 7u);
        EXPECT_EQ(item.itemHeight, 7u);
    }
}

// A 32-bit memory canvas filled with a colour no system colour has.
class Canvas {
public:
    static constexpr COLORREF kBlank = RGB(1, 2, 3);
    Canvas(int width, int height) : width_(width)
    {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = ::CreateCompatibleDC(nullptr);
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = ::SelectObject(dc_, bitmap_);
        for (int i = 0; i < width * height; ++i) bits_[i] = 0x00010203; // kBlank as 0x00RRGGBB
    }
    ~Canvas()
    {
        ::SelectObject(dc_, old_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const
    {
        ::GdiFlush();
        const DWORD p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int count(COLORREF colour, int left, int right, int top, int bottom) const
    {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) n += at(x, y) == colour;
        return n;
    }

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    DWORD* bits_ = nullptr;
};

TEST_F(ShellExtMenu, DrawsMaskedPictureAndTextByItemState)
{
    ComPtr<IContextMenu3> handler = extension.createHandler(DropData::make({L"C:\\x\\a"}).get());
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    handler->QueryContextMenu(menu, 0, kFirst, kFirst + 9, CMF_NORMAL);
    ::DestroyMenu(menu);

    // The pictures as the library holds them: picture left, mask right.
    HBITMAP pictures = static_cast<HBITMAP>(
        ::LoadImageW(extension.module(), MAKEINTRESOURCEW(139), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(pictures);
    HDC art = ::CreateCompatibleDC(nullptr);
    HGDIOBJ oldArt = ::SelectObject(art, pictures);

    constexpr int kWidth = 220, kHeight = 24, kTop = 2; // the picture is centred: (0 + 24 - 20) / 2
    const COLORREF menuColour = ::GetSysColor(COLOR_MENU);
    const struct {
        UINT command;
        UINT state;
        COLORREF pictureBackground; // kBlank: no picture drawn
        COLORREF text;
    } cases[] = {
        {0, 0, menuColour, ::GetSysColor(COLOR_MENUTEXT)},
        {2, ODS_SELECTED, menuColour, ::GetSysColor(COLOR_HIGHLIGHTTEXT)},
        {1, ODS_CHECKED, ::GetSysColor(COLOR_3DLIGHT), ::GetSysColor(COLOR_MENUTEXT)},
        {1, ODS_GRAYED, Canvas::kBlank, ::GetSysColor(COLOR_GRAYTEXT)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << c.command << " state " << c.state);
        Canvas canvas(kWidth, kHeight);
        DRAWITEMSTRUCT item = {ODT_MENU, 0, kFirst + c.command, ODA_DRAWENTIRE, c.state, nullptr, canvas.dc(),
                               {0, 0, kWidth, kHeight}, 0};
        LRESULT result = 0;
        EXPECT_EQ(handler->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item), &result), S_OK);
        EXPECT_EQ(result, 1);

        // Picture: the mask keeps the background, the picture fills the rest.
        int wrong = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int row = static_cast<int>(c.command) * 20 + y;
                const COLORREF expected = c.pictureBackground == Canvas::kBlank
                                              ? Canvas::kBlank
                                              : ((c.pictureBackground & ::GetPixel(art, 16 + x, row)) | ::GetPixel(art, x, row));
                wrong += canvas.at(x, kTop + y) != expected;
            }
        }
        EXPECT_EQ(wrong, 0);

        // The band behind the text is filled only for a selected item.
        const bool selected = (c.state & ODS_SELECTED) != 0;
        EXPECT_EQ(canvas.at(17, 0), selected ? ::GetSysColor(COLOR_HIGHLIGHT) : Canvas::kBlank);
        EXPECT_EQ(canvas.at(16, 0), Canvas::kBlank);
        // Text in its colour inside (L+19, T)-(R-16, B) and nowhere else.
        EXPECT_GT(canvas.count(c.text, 19, kWidth - 16, 0, kHeight), 10);
        EXPECT_EQ(canvas.count(c.text, 16, 19, 0, kHeight) + canvas.count(c.text, kWidth - 16, kWidth, 0, kHeight), 0);
        if (c.state & ODS_GRAYED) {
            EXPECT_GT(canvas.count(::GetSysColor(COLOR_BTNHIGHLIGHT), 20, kWidth - 15, 1, kHeight), 10) << "embossed";
        }
    }
    ::SelectObject(art, oldArt);
    ::DeleteDC(art);
    ::DeleteObject(pictures);
}

} // namespace
