// Shows the custom controls and the pictures for the screenshots of the
// guide: `controls_gallery buttons|classic|icons|agreement <rect file>
// [seconds] [menu bitmap file]`.
// The window's (or the viewer's) screen rectangle is written to the rect
// file as "x y width height" once it is on screen; the program ends by
// itself after the given seconds (default 8).
#include <windows.h>

#include <shellapi.h>
#include <uxtheme.h>

#include <cstdio>
#include <string>
#include <thread>

#include "common/ui/AgreementDlg.h"
#include "common/ui/GdiRaii.h"
#include "common/ui/PictureButton.h"
#include "res/SorvaneRes.h"
#include "common/Raii.h"

using namespace sorvane;
using namespace sorvane::ui;

namespace {

std::wstring g_mode;
std::wstring g_rectFile;
std::wstring g_menuBitmap;
HFONT g_font = nullptr;

void writeRect(HWND window)
{
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    FILE* file = _wfopen(g_rectFile.c_str(), L"w");
    if (!file) return;
    std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(file);
}

void text(HDC dc, int x, int y, const wchar_t* label)
{
    ::TextOutW(dc, x, y, label, static_cast<int>(wcslen(label)));
}

struct Row {
    int id;
    int value;
    const wchar_t* label;
};

void paintButtons(HWND window, HDC dc)
{
    const Row rows[] = {
        {IDC_ADVANCE, 0, L"Advance (2006), state 0"},
        {IDC_ADVANCE, 1, L"Advance (2006), state 1"},
        {IDC_BROWSE_TARGET, 0, L"Browse \"&>>\" (2003)"},
        {IDC_BROWSE_EXTENSIONS, 0, L"Extensions \">>\" (2019)"},
        {IDC_PICTURE_TWO_STATE, 0, L"Two-state (2236), state 0"},
        {IDC_PICTURE_TWO_STATE, 1, L"Two-state (2236), state 1"},
        {IDC_PICTURE_UP, 0, L"Up (1032)"},
        {IDC_PICTURE_DOWN, 0, L"Down (1033)"},
        {IDC_EXTENSIONS_SEARCH, 0, L"Search (2055), frame 0"},
        {IDC_EXTENSIONS_SEARCH, 1, L"Search (2055), frame 1"},
        {IDC_EXTENSIONS_SEARCH, 2, L"Search (2055), frame 2"},
        {IDC_EXTENSIONS_SEARCH, 3, L"Search (2055), frame 3"},
        {IDC_EXTENSIONS_SEARCH, 4, L"Search (2055), idle (4)"},
        {IDOK, 0, L"OK (1)"},
    };
    const struct {
        UINT state;
        const wchar_t* label;
    } columns[] = {{0, L"normal"}, {ODS_SELECTED, L"pressed"}, {ODS_FOCUS | ODS_DEFAULT, L"focus, default"},
                   {ODS_HOTLIGHT, L"hot"}, {ODS_DISABLED, L"disabled"}};
    ::SetBkMode(dc, TRANSPARENT);
    for (int c = 0; c < 5; ++c) text(dc, 190 + c * 104, 8, columns[c].label);
    int y = 30;
    for (const Row& row : rows) {
        text(dc, 10, y + 6, row.label);
        SetButtonState(window, row.id, row.value, false);
        for (int c = 0; c < 5; ++c) {
            const bool wide = findPictureButton(row.id)->kind & kPictureWithText;
            RECT rect = {190 + c * 104, y, 190 + c * 104 + (wide ? 96 : 40), y + 26};
            DrawButton(window, dc, row.id, rect, columns[c].state);
        }
        y += 30;
    }
}

// Draws an icon at its own size, enlarged `factor` times, on the face colour.
void drawIconEnlarged(HDC dc, int x, int y, HICON icon, int size, int factor)
{
    MemoryDc memory(dc);
    UniqueGdiObject bitmap(::CreateCompatibleBitmap(dc, size, size));
    if (!memory || !bitmap) return;
    SelectObjectGuard selected(memory.get(), bitmap.get());
    RECT all = {0, 0, size, size};
    ::FillRect(memory.get(), &all, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawIconEx(memory.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, x, y, size * factor, size * factor, memory.get(), 0, 0, size, size, SRCCOPY);
}

void paintIcons(HDC dc)
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    const struct {
        int id;
        const wchar_t* label;
    } icons[] = {{IDI_SORVANE, L"101 program"},      {IDI_FORM_COPY, L"310 copy, move"},
                 {IDI_FORM_COMPRESS, L"311 compress"}, {IDI_FORM_ERASE, L"312 delete"},
                 {IDI_FORM_RECYCLE, L"313 to the bin"}};
    ::SetBkMode(dc, TRANSPARENT);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    for (int i = 0; i < 5; ++i) {
        const int x = 14 + i * 150;
        text(dc, x, 8, icons[i].label);
        for (int size : {32, 16}) {
            auto* icon = static_cast<HICON>(::LoadImageW(self, MAKEINTRESOURCEW(icons[i].id), IMAGE_ICON, size, size, 0));
            if (!icon) continue;
            // Actual size first, then enlarged three times.
            if (size == 32) {
                ::DrawIconEx(dc, x, 32, icon, 32, 32, 0, nullptr, DI_NORMAL);
                drawIconEnlarged(dc, x, 76, icon, 32, 3);
            } else {
                ::DrawIconEx(dc, x + 48, 40, icon, 16, 16, 0, nullptr, DI_NORMAL);
                drawIconEnlarged(dc, x + 76, 180, icon, 16, 3);
            }
            ::DestroyIcon(icon);
        }
    }

    // Bitmap 334 the way the extension browser's list shows it, and enlarged.
    text(dc, 14, 246, L"334 generic file, program file");
    UniqueGdiObject files(::LoadBitmapW(self, MAKEINTRESOURCEW(IDB_FILE_TYPES)));
    if (files) {
        MemoryDc source(dc);
        SelectObjectGuard selected(source.get(), files.get());
        ::TransparentBlt(dc, 14, 276, 32, 16, source.get(), 0, 0, 32, 16, ::GetPixel(source.get(), 0, 0));
        ::StretchBlt(dc, 60, 268, 128, 64, source.get(), 0, 0, 32, 16, SRCCOPY);
    }

    // Bitmap 139 drawn as the context menu draws it (mask, then picture),
    // and the raw bitmap enlarged.
    text(dc, 230, 246, L"139 menu pictures: Copy, Move, Delete");
    if (!g_menuBitmap.empty()) {
        UniqueGdiObject menu(::LoadImageW(nullptr, g_menuBitmap.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        if (menu) {
            MemoryDc source(dc);
            SelectObjectGuard selected(source.get(), menu.get());
            RECT back = {230, 270, 380, 296};
            ::FillRect(dc, &back, ::GetSysColorBrush(COLOR_MENU));
            for (int k = 0; k < 3; ++k) {
                ::BitBlt(dc, 236 + k * 50, 273, 16, 20, source.get(), 16, 20 * k, SRCAND);
                ::BitBlt(dc, 236 + k * 50, 273, 16, 20, source.get(), 0, 20 * k, SRCPAINT);
            }
            ::StretchBlt(dc, 560, 246, 96, 180, source.get(), 0, 0, 32, 60, SRCCOPY);
        }
    }

    // The button strip, twice its size.
    text(dc, 14, 340, L"330 picture strip of the buttons (cells 0-19)");
    UniqueGdiObject strip(::LoadBitmapW(self, MAKEINTRESOURCEW(IDB_BUTTONS)));
    if (strip) {
        MemoryDc source(dc);
        SelectObjectGuard selected(source.get(), strip.get());
        ::StretchBlt(dc, 14, 362, 320, 64, source.get(), 0, 0, 160, 32, SRCCOPY);
    }
}

LRESULT CALLBACK galleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        ::SelectObject(dc, g_font);
        if (g_mode == L"buttons" || g_mode == L"classic") paintButtons(window, dc);
        if (g_mode == L"icons") paintIcons(dc);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
        if (wParam == 1) {
            writeRect(window);
            ::KillTimer(window, 1);
        } else {
            ::DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

BOOL CALLBACK findViewer(HWND window, LPARAM found)
{
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    if (::IsWindowVisible(window) && std::wstring(caption) == L"Sorvane shell extension") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments || count < 3) return 2;
    g_mode = arguments[1];
    g_rectFile = arguments[2];
    const int seconds = count > 3 ? _wtoi(arguments[3]) : 8;
    if (count > 4) g_menuBitmap = arguments[4];
    ::LocalFree(arguments);

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    UniqueGdiObject font(::CreateFontIndirectW(&metrics.lfMessageFont));
    g_font = static_cast<HFONT>(font.get());

    if (g_mode == L"agreement") {
        const DWORD thread = ::GetCurrentThreadId();
        std::thread watcher([thread, seconds] {
            HWND viewer = nullptr;
            for (int i = 0; i < 200 && !viewer; ++i) {
                ::Sleep(50);
                ::EnumThreadWindows(thread, findViewer, reinterpret_cast<LPARAM>(&viewer));
            }
            if (!viewer) return;
            ::Sleep(1000);
            writeRect(viewer);
            ::Sleep(static_cast<DWORD>(seconds) * 1000);
            ::PostMessageW(viewer, WM_COMMAND, IDOK, 0);
        });
        ShowAgreement(nullptr);
        watcher.join();
        return 0;
    }

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = galleryProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"SorvaneGallery";
    ::RegisterClassExW(&windowClass);
    const bool classic = g_mode == L"classic";
    const bool buttons = g_mode == L"buttons" || classic;
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, classic ? L"Picture buttons, classic look" : buttons ? L"Picture buttons" : L"Icons and pictures",
                                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 60, 60, buttons ? 740 : 770,
                                    buttons ? 490 : 470, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    // Hidden buttons give the drawing their texts and states.
    const struct {
        int id;
        const wchar_t* text;
    } controls[] = {{IDC_ADVANCE, L"Advance(&A)"},
                    {IDC_BROWSE_TARGET, L"&>>"},
                    {IDC_BROWSE_EXTENSIONS, L">>"},
                    {IDC_PICTURE_TWO_STATE, L""},
                    {IDC_PICTURE_UP, L""},
                    {IDC_PICTURE_DOWN, L""},
                    {IDC_EXTENSIONS_SEARCH, L"Search"},
                    {IDOK, L"OK"}};
    for (const auto& control : controls) {
        HWND button = ::CreateWindowExW(0, L"BUTTON", control.text, WS_CHILD | BS_OWNERDRAW, 0, 0, 10, 10, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        // No visual style has this class: the buttons are drawn classically.
        if (classic) ::SetWindowTheme(button, nullptr, L"NoSuchThemeClass");
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::UpdateWindow(window);
    ::SetTimer(window, 1, 1000, nullptr);
    ::SetTimer(window, 2, static_cast<UINT>(seconds) * 1000 + 1000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
