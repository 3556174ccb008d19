#include "MenuItems.h"

#include "Identifiers.h"
#include "Raii.h"

#include <cstddef>
#include <cwchar>

namespace sorvane::shellext::menu {

namespace {

struct MemoryDcTraits {
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC dc) noexcept { ::DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueResource<HDC, MemoryDcTraits>;

// The screen's device context for as long as the scope lasts.
class ScreenDc {
public:
    ScreenDc() noexcept : dc_(::GetDC(nullptr)) {}
    ~ScreenDc() { if (dc_) ::ReleaseDC(nullptr, dc_); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a device context and puts the old one back.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~Selected() { if (old_) ::SelectObject(dc_, old_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// The command offset of an item, or kCommandCount when it is not ours.
UINT commandOffset(UINT itemId, UINT firstId) noexcept
{
    const UINT offset = itemId - firstId;
    return itemId >= firstId && offset < kCommandCount ? offset : kCommandCount;
}

void fill(HDC dc, const RECT& box, int colourIndex) noexcept
{
    UniqueGdiObject brush(::CreateSolidBrush(::GetSysColor(colourIndex)));
    if (brush) ::FillRect(dc, &box, static_cast<HBRUSH>(brush.get()));
}

// Draws the text split at its first tab: the part before it left-aligned,
// the part after it right-aligned.
void drawText(HDC dc, const wchar_t* text, RECT box, COLORREF colour) noexcept
{
    wchar_t buffer[kTextCapacity];
    std::wcsncpy(buffer, text, kTextCapacity - 1);
    buffer[kTextCapacity - 1] = L'\0';
    wchar_t* tab = std::wcschr(buffer, L'\t');
    if (tab) *tab = L'\0';

    const COLORREF old = ::SetTextColor(dc, colour);
    ::DrawTextW(dc, buffer, -1, &box, DT_SINGLELINE | DT_VCENTER);
    ::SetTextColor(dc, old);
    if (tab) {
        const COLORREF before = ::SetTextColor(dc, colour);
        ::DrawTextW(dc, tab + 1, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        ::SetTextColor(dc, before);
    }
}

} // namespace

int loadText(HMODULE module, UINT id, wchar_t (&text)[kTextCapacity]) noexcept
{
    text[0] = L'\0';
    const int length = ::LoadStringW(module, id, text, kTextCapacity);
    if (length <= 0) {
        text[0] = L'\0';
        return 0;
    }
    return length;
}

UINT insertItems(HMENU menu, UINT index, UINT firstId, bool dragMenu, bool ownerDraw, HMODULE resources) noexcept
{
    const UINT items = dragMenu ? 2 : kCommandCount;
    const bool drawn = ownerDraw && !dragMenu;
    UINT position = index;
    if (!dragMenu) ::InsertMenuW(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    for (UINT offset = 0; offset < items; ++offset) {
        wchar_t text[kTextCapacity];
        loadText(resources, kMenuTextFirst + offset, text);
        if (drawn) {
            // The item data is not read by anyone; the text comes from the
            // resources when the item is measured and drawn.
            ::InsertMenuW(menu, position++, MF_BYPOSITION | MF_OWNERDRAW, firstId + offset,
                          reinterpret_cast<const wchar_t*>(static_cast<ULONG_PTR>(offset)));
        } else {
            ::InsertMenuW(menu, position++, MF_BYPOSITION | MF_STRING, firstId + offset, text);
        }
    }
    ::InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return items;
}

void measureItem(MEASUREITEMSTRUCT& item, UINT firstId, HMODULE resources) noexcept
{
    if (item.CtlType != ODT_MENU) return;
    const UINT offset = commandOffset(item.itemID, firstId);
    if (offset == kCommandCount) return;
    wchar_t text[kTextCapacity];
    loadText(resources, kMenuTextFirst + offset, text);

    // The record as it was before the padded border width joined it: every
    // version of the system fills it.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
    UniqueGdiObject font;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        font.reset(::CreateFontIndirectW(&metrics.lfMenuFont));

    RECT box = {0, 0, 0, 0};
    ScreenDc screen;
    if (screen.get()) {
        Selected selected(screen.get(), font.get());
        ::DrawTextW(screen.get(), text, -1, &box, DT_CALCRECT | DT_SINGLELINE);
    }
    item.itemHeight = kItemHeight;
    const int width = (box.right - box.left) + 38 - ::GetSystemMetrics(SM_CXMENUCHECK);
    item.itemWidth = width > 0 ? static_cast<UINT>(width) : 0;
}

void drawItem(const DRAWITEMSTRUCT& item, UINT firstId, HMODULE resources, HMODULE pictures) noexcept
{
    if (item.CtlType != ODT_MENU || !item.hDC) return;
    const UINT offset = commandOffset(item.itemID, firstId);
    if (offset == kCommandCount) return;
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    const int y = (r.top + r.bottom - kPictureHeight) / 2;
    const bool grayed = (item.itemState & ODS_GRAYED) != 0;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool checked = (item.itemState & ODS_CHECKED) != 0;

    UniqueGdiObject bitmap(::LoadBitmapW(pictures, MAKEINTRESOURCEW(kMenuPictures)));
    wchar_t text[kTextCapacity];
    loadText(resources, kMenuTextFirst + offset, text);

    // The picture: the mask cuts its shape out of the background, the
    // picture fills it in.
    if (!grayed) {
        const RECT box = {r.left, y, r.left + kPictureWidth, y + kPictureHeight};
        fill(dc, box, checked && !selected ? COLOR_3DLIGHT : COLOR_MENU);
        UniqueMemoryDc memory(::CreateCompatibleDC(dc));
        if (memory && bitmap) {
            Selected held(memory.get(), bitmap.get());
            const int row = static_cast<int>(offset) * kPictureHeight;
            ::BitBlt(dc, r.left, y, kPictureWidth, kPictureHeight, memory.get(), kPictureWidth, row, SRCAND);
            ::BitBlt(dc, r.left, y, kPictureWidth, kPictureHeight, memory.get(), 0, row, SRCPAINT);
        }
    }

    const COLORREF background = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    if (selected || item.itemAction == ODA_SELECT) {
        const RECT band = {r.left + 17, r.top, r.right, r.bottom};
        fill(dc, band, selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    }

    RECT textBox = {r.left + 19, r.top, r.right - 16, r.bottom};
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF colour = ::GetSysColor(grayed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    if (grayed && (!selected || colour == background)) {
        // Embossed: a light copy one pixel down and right under the grey text.
        RECT shifted = textBox;
        ::OffsetRect(&shifted, 1, 1);
        drawText(dc, text, shifted, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    }
    drawText(dc, text, textBox, colour);
    ::SetBkMode(dc, oldMode);
}

} // namespace sorvane::shellext::menu
