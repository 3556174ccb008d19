// The menu items' pieces linked in directly, with the extension's own
// resources: what the platform here cannot show through the library (other
// display densities, a shell too old for pictures), and the pictures as the
// menu manager measures and draws them.
#include <gtest/gtest.h>

#include "Identifiers.h"
#include "MenuItems.h"
#include "MenuPictures.h"
#include "common/Raii.h"
#include "common/ui/GdiRaii.h"

#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::shellext;

namespace {

HMODULE ownModule() { return ::GetModuleHandleW(nullptr); }

const UINT kDensities[] = {96, 120, 144, 168, 192, 240};

// The pixels of a 32-bit DIB section, rows from the top, as 0xAARRGGBB.
struct PicturePixels {
    int width = 0;
    int height = 0;
    int bits = 0;
    std::vector<DWORD> pixels;
    DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

PicturePixels readPicture(HBITMAP bitmap)
{
    PicturePixels result;
    DIBSECTION section = {};
    if (!bitmap || ::GetObjectW(bitmap, sizeof(section), &section) != sizeof(section)) return result;
    result.width = section.dsBm.bmWidth;
    result.height = section.dsBm.bmHeight;
    result.bits = section.dsBm.bmBitsPixel;
    if (result.bits != 32 || !section.dsBm.bmBits) return result;
    const bool bottomUp = section.dsBmih.biHeight > 0;
    const auto* bits = static_cast<const DWORD*>(section.dsBm.bmBits);
    for (int y = 0; y < result.height; ++y) {
        const int row = bottomUp ? result.height - 1 - y : y;
        for (int x = 0; x < result.width; ++x) result.pixels.push_back(bits[static_cast<size_t>(row) * result.width + x]);
    }
    return result;
}

int alphaOf(DWORD p) { return static_cast<int>(p >> 24); }
int redOf(DWORD p) { return static_cast<int>((p >> 16) & 0xFF); }
int greenOf(DWORD p) { return static_cast<int>((p >> 8) & 0xFF); }
int blueOf(DWORD p) { return static_cast<int>(p & 0xFF); }

TEST(ShellExtUnit, ItemsAreTextsWithoutPicturesWhenTheShellCannotDrawThem)
{
    // The strings are the extension's own, linked into this program.
    HMENU menu = ::CreatePopupMenu();
    ASSERT_EQ(menu::insertItems(menu, 0, 40, 60, false, ownModule(), nullptr), 3u);
    ASSERT_EQ(::GetMenuItemCount(menu), 5);
    const wchar_t* const texts[] = {L"", L"Filter Copy...(&C)", L"Filter Move...(&M)", L"Filter Delete...(&D)", L""};
    for (int i = 0; i < 5; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_BITMAP;
        ASSERT_TRUE(::GetMenuItemInfoW(menu, i, TRUE, &info));
        wchar_t text[128] = {};
        ::GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        const bool separator = i == 0 || i == 4;
        EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, separator) << i;
        EXPECT_EQ(info.fType & MFT_OWNERDRAW, 0u) << i;
        EXPECT_EQ(info.hbmpItem, nullptr) << i;
        if (!separator) {
            EXPECT_EQ(info.wID, 40u + i - 1);
        }
        EXPECT_STREQ(text, texts[i]);
    }
    ::DestroyMenu(menu);
}

TEST(ShellExtUnit, AccessKeysOfMenuTexts)
{
    EXPECT_EQ(menu::accessKey(L"Filter Copy...(&C)"), L'C');
    EXPECT_EQ(menu::accessKey(L"\x30D5\x30A3\x30EB\x30BF\x30EA\x30F3\x30B0 \x79FB\x52D5...(&M)"), L'M');
    EXPECT_EQ(menu::accessKey(L"&delete"), L'D') << "compared in upper case";
    EXPECT_EQ(menu::accessKey(L"R&&D &files"), L'F') << "\"&&\" is a plain ampersand";
    EXPECT_EQ(menu::accessKey(L"R&&D"), 0);
    EXPECT_EQ(menu::accessKey(L"trailing &"), 0);
    EXPECT_EQ(menu::accessKey(L""), 0);
    EXPECT_EQ(menu::accessKey(nullptr), 0);
}

// Windows 11's menu shows texts without access keys.
TEST(ShellExtUnit, TextsWithoutTheirAccessKeys)
{
    const struct {
        const wchar_t* text;
        const wchar_t* plain;
    } cases[] = {
        {L"Filter Copy...(&C)", L"Filter Copy..."},
        {L"Filter Compress...(&L)", L"Filter Compress..."},
        {L"\x30D5\x30A3\x30EB\x30BF \x30B3\x30D4\x30FC...(&C)", L"\x30D5\x30A3\x30EB\x30BF \x30B3\x30D4\x30FC..."},
        {L"Copy (&C)...", L"Copy..."},
        {L"\x30B3\x30D4\x30FC\xFF08&C\xFF09", L"\x30B3\x30D4\x30FC"}, // full-width parentheses
        {L"&Filtering Copy", L"Filtering Copy"},
        {L"R&&D (&R)", L"R&D"},
        {L"Save && Quit", L"Save & Quit"},
        {L"Trailing &", L"Trailing "},
        {L"(&&) stays", L"(&) stays"},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(menu::withoutAccessKey(c.text), c.plain) << testing::PrintToString(c.text);
    EXPECT_EQ(menu::withoutAccessKey(nullptr), L"");
}

// The Explorer command's class identifier, written once as text (for the
// registry and the package's manifest), is the identifier the library serves.
TEST(ShellExtUnit, ExplorerCommandClassIdentifierTextMatchesTheIdentifier)
{
    wchar_t text[40] = {};
    ASSERT_EQ(::StringFromGUID2(kExplorerCommandClassId, text, 40), 39);
    EXPECT_STREQ(text, kExplorerCommandClassIdText);
    EXPECT_NE(kExplorerCommandClassId, kClassId);
}

TEST(ShellExtUnit, PictureSizesFollowTheDensity)
{
    const int expected[] = {16, 20, 24, 28, 32, 40};
    for (size_t i = 0; i < std::size(kDensities); ++i) EXPECT_EQ(menu::pictureSize(kDensities[i]), expected[i]);
    EXPECT_EQ(menu::pictureSize(0), 16) << "unknown counts as 96";
}

TEST(ShellExtUnit, PicturesArePremultipliedAlphaAtEveryDensity)
{
    double coverageAt96[3] = {};
    for (UINT dpi : kDensities) {
        for (UINT offset = 0; offset < 3; ++offset) {
            SCOPED_TRACE(testing::Message() << "dpi " << dpi << " picture " << offset);
            UniqueGdiObject bitmap(menu::makePicture(ownModule(), offset, dpi));
            ASSERT_TRUE(bitmap);
            const PicturePixels picture = readPicture(static_cast<HBITMAP>(bitmap.get()));
            const int side = menu::pictureSize(dpi);
            ASSERT_EQ(picture.width, side);
            ASSERT_EQ(picture.height, side);
            ASSERT_EQ(picture.bits, 32);

            int clear = 0, solid = 0, overflowing = 0;
            double coverage = 0;
            int green = 0, red = 0;
            double greenY = 0, redX = 0, redY = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const DWORD p = picture.at(x, y);
                    const int a = alphaOf(p);
                    clear += a == 0;
                    solid += a == 255;
                    coverage += a / 255.0;
                    overflowing += redOf(p) > a || greenOf(p) > a || blueOf(p) > a;
                    if (a < 200) continue;
                    if (greenOf(p) > redOf(p) + 60 && greenOf(p) > blueOf(p) + 60) {
                        ++green;
                        greenY += y + 0.5;
                    }
                    if (redOf(p) > greenOf(p) + 80 && redOf(p) > blueOf(p) + 80) {
                        ++red;
                        redX += x + 0.5;
                        redY += y + 0.5;
                    }
                }
            }
            EXPECT_EQ(overflowing, 0) << "premultiplied: no colour part above the alpha";
            EXPECT_GT(clear, side * side / 10) << "transparent around the picture";
            EXPECT_GT(solid, side * side / 4) << "an opaque picture";
            // Which picture, and the right way up: the arrow of Move stands
            // in the lower half, the cross of Delete in the lower right.
            if (offset == 0) {
                EXPECT_EQ(green + red, 0);
            } else if (offset == 1) {
                ASSERT_GT(green, side / 2);
                EXPECT_GT(greenY / green, side * 0.7);
            } else {
                ASSERT_GT(red, side / 2);
                EXPECT_GT(redX / red, side * 0.6);
                EXPECT_GT(redY / red, side * 0.7);
            }
            // The same shape at every size: the share of the square it
            // covers stays within a few hundredths.
            const double share = coverage / (side * side);
            if (dpi == 96) {
                coverageAt96[offset] = share;
            } else {
                EXPECT_NEAR(share, coverageAt96[offset], 0.05);
            }
        }
    }
    EXPECT_EQ(menu::makePicture(ownModule(), 3, 96), nullptr) << "no fourth picture";
}

// A 32-bit canvas of one colour, for compositing pictures as a menu does.
class Canvas {
public:
    Canvas(int side, COLORREF colour) : side_(side)
    {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = ::CreateCompatibleDC(nullptr);
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = ::SelectObject(dc_, bitmap_);
        const DWORD fill = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        for (int i = 0; i < side * side; ++i) bits_[i] = fill;
    }
    ~Canvas()
    {
        ::SelectObject(dc_, old_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    DWORD at(int x, int y) const
    {
        ::GdiFlush();
        return bits_[y * side_ + x] & 0xFFFFFF;
    }

private:
    int side_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    DWORD* bits_ = nullptr;
};

int luminance(DWORD rgb) { return (299 * ((rgb >> 16) & 0xFF) + 587 * ((rgb >> 8) & 0xFF) + 114 * (rgb & 0xFF)) / 1000; }

TEST(ShellExtUnit, PicturesKeepTheMenuBackgroundAndStandOutOnDarkAndLightMenus)
{
    for (COLORREF background : {RGB(43, 43, 43), RGB(240, 240, 240)}) {
        for (UINT offset = 0; offset < 3; ++offset) {
            SCOPED_TRACE(testing::Message() << "background " << std::hex << background << " picture " << offset);
            UniqueGdiObject bitmap(menu::makePicture(ownModule(), offset, 144));
            ASSERT_TRUE(bitmap);
            const PicturePixels picture = readPicture(static_cast<HBITMAP>(bitmap.get()));
            const int side = picture.width;
            Canvas canvas(side, background);
            HDC source = ::CreateCompatibleDC(nullptr);
            HGDIOBJ old = ::SelectObject(source, bitmap.get());
            const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            ASSERT_TRUE(::GdiAlphaBlend(canvas.dc(), 0, 0, side, side, source, 0, 0, side, side, blend));
            ::SelectObject(source, old);
            ::DeleteDC(source);

            const DWORD plain = (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
            int untouched = 0, clear = 0, contrasting = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    if (alphaOf(picture.at(x, y)) == 0) {
                        ++clear;
                        untouched += canvas.at(x, y) == plain;
                    }
                    contrasting += std::abs(luminance(canvas.at(x, y)) - luminance(plain)) > 60;
                }
            }
            EXPECT_EQ(untouched, clear) << "no box of another colour behind the picture";
            EXPECT_GT(contrasting, side * side / 10) << "parts of the picture stand out from the menu";
        }
    }
}

// The rectangles the menu manager gives our items once the menu is shown.
struct ShownMenu {
    HMENU menu;
    HWND owner;
    std::vector<RECT> items;
};
ShownMenu* g_shown = nullptr;

void CALLBACK measureShownMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    for (int i = 0; i < ::GetMenuItemCount(g_shown->menu); ++i) {
        RECT r = {};
        ::GetMenuItemRect(g_shown->owner, g_shown->menu, static_cast<UINT>(i), &r);
        g_shown->items.push_back(r);
    }
    ::EndMenu();
}

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

TEST(ShellExtUnit, TheMenuManagerSizesItemsByTheirPictures)
{
    MenuOwner owner;
    ASSERT_TRUE(owner.get()) << "needs a display";
    std::vector<int> heights;
    for (UINT dpi : kDensities) {
        SCOPED_TRACE(testing::Message() << "dpi " << dpi);
        menu::Pictures pictures;
        pictures.prepare(ownModule(), dpi);
        pictures.prepare(ownModule(), 96); // kept: a shown menu may refer to them
        EXPECT_EQ(pictures.dpi(), dpi);
        HMENU popup = ::CreatePopupMenu();
        ASSERT_EQ(menu::insertItems(popup, 0, 100, 200, false, ownModule(), &pictures), 3u);
        for (UINT k = 0; k < 3; ++k) {
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_BITMAP | MIIM_FTYPE;
            ASSERT_TRUE(::GetMenuItemInfoW(popup, 100 + k, FALSE, &info));
            EXPECT_EQ(info.hbmpItem, pictures.get(k));
            EXPECT_EQ(info.fType & MFT_OWNERDRAW, 0u) << "the shell draws the text";
        }

        ShownMenu shown = {popup, owner.get(), {}};
        g_shown = &shown;
        ::SetTimer(nullptr, 0, 200, measureShownMenu);
        ::TrackPopupMenuEx(popup, TPM_RETURNCMD, 20, 20, owner.get(), nullptr);
        g_shown = nullptr;
        ::DestroyMenu(popup);
        ASSERT_EQ(shown.items.size(), 5u);
        const int side = menu::pictureSize(dpi);
        int height = 0;
        for (int i = 1; i <= 3; ++i) {
            const RECT& r = shown.items[static_cast<size_t>(i)];
            EXPECT_GE(r.bottom - r.top, side) << "item " << i;
            EXPECT_GT(r.right - r.left, side + 60) << "the picture and the text side by side";
            height = r.bottom - r.top;
        }
        std::cout << "[ measured ] " << dpi << " dpi: picture " << side << " px, item "
                  << shown.items[1].right - shown.items[1].left << " x " << height << " px\n";
        if (!heights.empty()) {
            EXPECT_GE(height, heights.back());
        }
        heights.push_back(height);
    }
    EXPECT_GT(heights.back(), heights.front()) << "larger pictures make taller items";
}

} // namespace
