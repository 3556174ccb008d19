#include "common/ui/PictureButton.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "common/Raii.h"
#include "common/ui/GdiRaii.h"
#include "res/SorvaneRes.h"

namespace sorvane::ui {

const wchar_t kButtonStateProperty[] = L"KVT_MyData";

namespace {

// Set on an attached owner-drawn button while it is the default button.
constexpr wchar_t kDefaultProperty[] = L"Sorvane_DefaultButton";
constexpr UINT_PTR kPushButtonSubclass = 0x50425554; // "PBUT"

// The buttons of the dialogs that carry pictures.
constexpr PictureButton kButtons[] = {
    {IDC_ADVANCE, 1, kPictureWithText | kPictureTwoState},           // "Advance(&A)"
    {IDC_BROWSE_TARGET, 15, 0},                                      // "&>>", browse
    {IDC_BROWSE_EXTENSIONS, 16, 0},                                  // ">>", extension browser
    {IDC_PICTURE_TWO_STATE, 5, kPictureTwoState},
    {IDC_PICTURE_UP, 8, 0},
    {IDC_PICTURE_DOWN, 9, 0},
    {IDC_EXTENSIONS_SEARCH, 10, kPictureWithText | kPictureByState}, // "Search", frames while searching
    {IDOK, 14, kPictureWithText},                                    // "OK"
};

constexpr int kPictureGap = 18;   // picture and gap before the text
constexpr int kNarrowColumns = 9; // columns drawn on a button narrower than a cell
constexpr int kMaxText = 256;
constexpr DWORD kRopPaintBrushThroughMask = 0x00B8074A; // PSDPxax: brush where the mask is black
constexpr DWORD kRopClearUnderMask = 0x00220326;        // DSna: black where the mask is white

// Theme parts and states of a push button.
constexpr int kPushButtonPart = 1;
constexpr int kStateNormal = 1, kStateHot = 2, kStatePressed = 3, kStateDisabled = 4, kStateDefault = 5;

// The visual-styles library, bound once when first needed.
class ThemeLibrary {
public:
    using OpenFn = HTHEME(WINAPI*)(HWND, LPCWSTR);
    using CloseFn = HRESULT(WINAPI*)(HTHEME);
    using BackgroundFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*);
    using ContentRectFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, RECT*);
    using TextFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, DWORD, const RECT*);
    using TextExtentFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, const RECT*, RECT*);

    ThemeLibrary() noexcept : module_(::LoadLibraryW(L"UxTheme.dll"))
    {
        if (!module_) return;
        open = bind<OpenFn>("OpenThemeData");
        close = bind<CloseFn>("CloseThemeData");
        background = bind<BackgroundFn>("DrawThemeBackground");
        contentRect = bind<ContentRectFn>("GetThemeBackgroundContentRect");
        text = bind<TextFn>("DrawThemeText");
        textExtent = bind<TextExtentFn>("GetThemeTextExtent");
    }
    bool usable() const noexcept
    {
        return open && close && background && contentRect && text && textExtent;
    }

    OpenFn open = nullptr;
    CloseFn close = nullptr;
    BackgroundFn background = nullptr;
    ContentRectFn contentRect = nullptr;
    TextFn text = nullptr;
    TextExtentFn textExtent = nullptr;

private:
    template <typename F>
    F bind(const char* name) const noexcept
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    }
    UniqueModule module_;
};

const ThemeLibrary& themeLibrary() noexcept
{
    static const ThemeLibrary library;
    return library;
}

// The "Button" theme data of one window, closed when the drawing ends.
class ButtonTheme {
public:
    explicit ButtonTheme(HWND button) noexcept
    {
        const ThemeLibrary& library = themeLibrary();
        if (button && library.usable()) theme_ = library.open(button, L"Button");
    }
    ~ButtonTheme()
    {
        if (theme_) themeLibrary().close(theme_);
    }
    ButtonTheme(const ButtonTheme&) = delete;
    ButtonTheme& operator=(const ButtonTheme&) = delete;
    HTHEME get() const noexcept { return theme_; }
    explicit operator bool() const noexcept { return theme_ != nullptr; }

private:
    HTHEME theme_ = nullptr;
};

// A disabled or pressed button shows so even when it is the default one
// (the focused button is the default while it has the focus).
int themeState(UINT state) noexcept
{
    if (state & ODS_DISABLED) return kStateDisabled;
    if (state & ODS_SELECTED) return kStatePressed;
    if (state & ODS_HOTLIGHT) return kStateHot;
    if (state & ODS_DEFAULT) return kStateDefault;
    return kStateNormal;
}

LRESULT CALLBACK pushButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) noexcept
{
    switch (message) {
    case WM_GETDLGCODE:
        // As a push button: the dialog manager makes a focused one the
        // default, and Enter then presses it.
        return DLGC_BUTTON | (IsDefaultPushButton(button) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE: {
        // BS_DEFPUSHBUTTON or BS_PUSHBUTTON from the dialog manager: taken
        // as the default mark; the button stays owner-drawn.
        const bool isDefault = (wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        if (isDefault) {
            ::SetPropW(button, kDefaultProperty, reinterpret_cast<HANDLE>(1));
        } else {
            ::RemovePropW(button, kDefaultProperty);
        }
        const LONG_PTR style = ::GetWindowLongPtrW(button, GWL_STYLE);
        const WPARAM kept = (static_cast<WPARAM>(style) & 0xFFFF & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
        return ::DefSubclassProc(button, BM_SETSTYLE, kept, lParam);
    }
    case WM_NCDESTROY:
        ::RemovePropW(button, kDefaultProperty);
        ::RemoveWindowSubclass(button, pushButtonProc, kPushButtonSubclass);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(button, message, wParam, lParam);
}

BOOL CALLBACK attachOwnerDrawnButton(HWND child, LPARAM dialog) noexcept
{
    if (::GetParent(child) != reinterpret_cast<HWND>(dialog)) return TRUE;
    wchar_t className[16] = {};
    if (!::GetClassNameW(child, className, 16) ||
        ::CompareStringOrdinal(className, -1, L"Button", -1, TRUE) != CSTR_EQUAL) {
        return TRUE;
    }
    if ((::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) != BS_OWNERDRAW) return TRUE;
    ::SetWindowSubclass(child, pushButtonProc, kPushButtonSubclass, 0);
    return TRUE;
}

// Paints the black part of a monochrome mask in a system colour.
void paintMaskShape(HDC dc, int x, int y, int columns, HDC maskDc, int colourIndex) noexcept
{
    UniqueGdiObject brush(::CreateSolidBrush(::GetSysColor(colourIndex)));
    if (!brush) return;
    SelectObjectGuard selected(dc, brush.get());
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::BitBlt(dc, x, y, columns, kButtonCellSize, maskDc, 0, 0, kRopPaintBrushThroughMask);
}

// Copies one cell of the strip to (x, y), `columns` wide, with the strip's
// top-left colour left out; disabled buttons get the embossed shape.
void drawCell(HDC dc, HBITMAP strip, int cell, int x, int y, int columns, bool embossed) noexcept
{
    MemoryDc source(dc);
    MemoryDc maskDc(dc);
    UniqueGdiObject mask(::CreateBitmap(columns, kButtonCellSize, 1, 1, nullptr));
    if (!source || !maskDc || !mask) return;
    SelectObjectGuard sourceBitmap(source.get(), strip);
    SelectObjectGuard maskBitmap(maskDc.get(), mask.get());
    const int sx = (cell % kButtonCellsPerRow) * kButtonCellSize;
    const int sy = (cell / kButtonCellsPerRow) * kButtonCellSize;

    // The mask: white where the key colour is, black under the picture.
    const COLORREF key = ::GetPixel(source.get(), 0, 0);
    ::SetBkColor(source.get(), key);
    ::BitBlt(maskDc.get(), 0, 0, columns, kButtonCellSize, source.get(), sx, sy, SRCCOPY);

    SavedDcState saved(dc);
    if (embossed) {
        paintMaskShape(dc, x + 1, y + 1, columns, maskDc.get(), COLOR_BTNHIGHLIGHT);
        paintMaskShape(dc, x, y, columns, maskDc.get(), COLOR_BTNSHADOW);
        return;
    }

    // The picture with black where the key colour was.
    MemoryDc imageDc(dc);
    UniqueGdiObject image(::CreateCompatibleBitmap(dc, columns, kButtonCellSize));
    if (!imageDc || !image) return;
    SelectObjectGuard imageBitmap(imageDc.get(), image.get());
    ::BitBlt(imageDc.get(), 0, 0, columns, kButtonCellSize, source.get(), sx, sy, SRCCOPY);
    ::SetBkColor(imageDc.get(), RGB(255, 255, 255));
    ::SetTextColor(imageDc.get(), RGB(0, 0, 0));
    ::BitBlt(imageDc.get(), 0, 0, columns, kButtonCellSize, maskDc.get(), 0, 0, kRopClearUnderMask);

    // Clear the picture's pixels on the button, then add the picture.
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::BitBlt(dc, x, y, columns, kButtonCellSize, maskDc.get(), 0, 0, SRCAND);
    ::BitBlt(dc, x, y, columns, kButtonCellSize, imageDc.get(), 0, 0, SRCPAINT);
}

void drawText(HDC dc, const ButtonTheme& theme, int themeStateId, const wchar_t* text, RECT rect, UINT format,
              bool disabled) noexcept
{
    if (theme) {
        themeLibrary().text(theme.get(), dc, kPushButtonPart, themeStateId, text, -1, format, 0, &rect);
        return;
    }
    SavedDcState saved(dc);
    ::SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        RECT shadow = rect;
        ::OffsetRect(&shadow, 1, 1);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextW(dc, text, -1, &shadow, format);
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    } else {
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    }
    ::DrawTextW(dc, text, -1, &rect, format);
}

int textWidth(HDC dc, const ButtonTheme& theme, int themeStateId, const wchar_t* text) noexcept
{
    RECT extent = {};
    if (theme) {
        if (SUCCEEDED(themeLibrary().textExtent(theme.get(), dc, kPushButtonPart, themeStateId, text, -1,
                                                DT_SINGLELINE, nullptr, &extent))) {
            return extent.right - extent.left;
        }
    }
    ::DrawTextW(dc, text, -1, &extent, DT_SINGLELINE | DT_CALCRECT);
    return extent.right - extent.left;
}

} // namespace

const PictureButton* findPictureButton(int controlId) noexcept
{
    for (const PictureButton& button : kButtons) {
        if (button.controlId == controlId) return &button;
    }
    return nullptr;
}

int pictureCell(const PictureButton& button, int value) noexcept
{
    if (button.kind & kPictureByState) return button.baseCell + value;
    if (button.kind & kPictureTwoState) return button.baseCell + (value != 0 ? 1 : 0);
    return button.baseCell;
}

int GetButtonState(HWND dialog, int controlId) noexcept
{
    HWND button = ::GetDlgItem(dialog, controlId);
    if (!button) return 0;
    return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(button, kButtonStateProperty)));
}

void SetButtonState(HWND dialog, int controlId, int value, bool repaint) noexcept
{
    HWND button = ::GetDlgItem(dialog, controlId);
    if (!button) return;
    if (GetButtonState(dialog, controlId) != value) {
        ::SetPropW(button, kButtonStateProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)));
    }
    if (repaint) {
        ::InvalidateRect(button, nullptr, TRUE);
        ::UpdateWindow(button);
    }
}

void RemoveButtonState(HWND dialog, int controlId) noexcept
{
    if (HWND button = ::GetDlgItem(dialog, controlId)) ::RemovePropW(button, kButtonStateProperty);
}

bool buttonUsesTheme(HWND button) noexcept { return static_cast<bool>(ButtonTheme(button)); }

void AttachPushButtonKeys(HWND dialog) noexcept
{
    if (dialog) ::EnumChildWindows(dialog, attachOwnerDrawnButton, reinterpret_cast<LPARAM>(dialog));
}

bool IsDefaultPushButton(HWND button) noexcept
{
    return button && ::GetPropW(button, kDefaultProperty) != nullptr;
}

void DrawButton(HWND dialog, HDC dc, int controlId, const RECT& rect, UINT state) noexcept
{
    if (!dc) return;
    HWND button = dialog ? ::GetDlgItem(dialog, controlId) : nullptr;
    if (IsDefaultPushButton(button)) state |= ODS_DEFAULT;
    const PictureButton* picture = findPictureButton(controlId);
    const bool pressed = (state & ODS_SELECTED) != 0;
    const bool disabled = (state & ODS_DISABLED) != 0;
    SavedDcState saved(dc);

    const ButtonTheme theme(button);
    const int themeStateId = themeState(state);
    RECT content = rect;
    if (theme) {
        themeLibrary().background(theme.get(), dc, kPushButtonPart, themeStateId, &rect, nullptr);
        themeLibrary().contentRect(theme.get(), dc, kPushButtonPart, themeStateId, &rect, &content);
    } else {
        RECT frame = rect;
        if (state & ODS_DEFAULT) {
            // The default button's dark outline, the push button inside it.
            ::FrameRect(dc, &frame, ::GetSysColorBrush(COLOR_WINDOWFRAME));
            ::InflateRect(&frame, -1, -1);
        }
        ::DrawFrameControl(dc, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
        if (pressed) ::OffsetRect(&content, 2, 2);
    }

    if (picture) {
        const int cell = pictureCell(*picture, GetButtonState(dialog, controlId));
        UniqueGdiObject strip(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kButtonStripBitmap)));
        BITMAP stripInfo = {};
        const bool haveCell = strip && ::GetObjectW(strip.get(), sizeof(stripInfo), &stripInfo) &&
                              cell >= 0 && (cell % kButtonCellsPerRow + 1) * kButtonCellSize <= stripInfo.bmWidth &&
                              (cell / kButtonCellsPerRow + 1) * kButtonCellSize <= stripInfo.bmHeight;
        auto* bitmap = static_cast<HBITMAP>(strip.get());
        const int top = (content.top + content.bottom - kButtonCellSize) / 2;

        if (picture->kind & kPictureWithText) {
            wchar_t text[kMaxText + 1] = {};
            if (button) ::GetWindowTextW(button, text, kMaxText + 1);
            if (haveCell) {
                const int width = textWidth(dc, theme, themeStateId, text);
                const int left = (content.left - kPictureGap + content.right - width) / 2;
                drawCell(dc, bitmap, cell, left, top, kButtonCellSize, disabled);
                RECT textRect = {left + kPictureGap, content.top, content.right, content.bottom};
                drawText(dc, theme, themeStateId, text, textRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT, disabled);
            } else {
                drawText(dc, theme, themeStateId, text, content, DT_SINGLELINE | DT_VCENTER | DT_CENTER, disabled);
            }
        } else if (haveCell) {
            const int columns = rect.right - rect.left < kButtonCellSize ? kNarrowColumns : kButtonCellSize;
            const int left = (content.left + content.right - kButtonCellSize) / 2;
            drawCell(dc, bitmap, cell, left, top, columns, disabled);
        }
    }

    if (state & ODS_FOCUS) {
        RECT focus = rect;
        ::InflateRect(&focus, -3, -3);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        ::DrawFocusRect(dc, &focus);
    }
}

} // namespace sorvane::ui
