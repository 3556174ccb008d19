#include "MainWindow.h"

#include "AppState.h"
#include "Strings.h"
#include "ui/AgreementDlg.h"

namespace sorvane {

namespace {

constexpr UINT kIdsHint = 1110;

void paintHint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    if (!dc) return;
    RECT client;
    ::GetClientRect(window, &client);
    const std::wstring hint = loadString(kIdsHint);
    ::SetTextColor(dc, RGB(255, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, hint.c_str(), static_cast<int>(hint.size()), &client, DT_CENTER | DT_WORDBREAK);
    ::EndPaint(window, &paint);
}

LRESULT onCommand(HWND window, UINT command)
{
    if (command >= kCommandFirstOperation && command <= kCommandFirstOperation + 3) {
        // The operation dialog and the run are not part of this build yet:
        // a program started for an operation has nothing to show and ends.
        if (!app().interactiveMode) ::DestroyWindow(window);
        return 0;
    }
    if (command == kCommandAbout) {
        ui::ShowAgreement(window, app().helpFilePath);
        return 0;
    }
    if (command == kCommandExit) {
        ::DestroyWindow(window);
        return 0;
    }
    return ::DefWindowProcW(window, WM_COMMAND, command, 0);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        app().mainWindow = window;
        app().settings.includeSubfolders = 1;
        return 0;
    case WM_PAINT:
        paintHint(window);
        return 0;
    case WM_COMMAND:
        return onCommand(window, LOWORD(wParam));
    case WM_DESTROY:
        app().mainWindow = nullptr;
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

bool registerMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
    windowClass.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON,
                                                          16, 16, LR_DEFAULTCOLOR | LR_SHARED));
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(kMainMenu);
    windowClass.lpszClassName = app().className;
    return ::RegisterClassExW(&windowClass) != 0;
}

HWND createMainWindow(HINSTANCE instance)
{
    HWND window = ::CreateWindowExW(0, app().className, app().appName, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                    nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    // The menu comes from the resource module, so that it speaks the
    // user's language.
    if (HMENU menu = ::LoadMenuW(resourceModule(), MAKEINTRESOURCEW(kMainMenu))) {
        HMENU old = ::GetMenu(window);
        ::SetMenu(window, menu);
        if (old) ::DestroyMenu(old);
    }
    return window;
}

} // namespace sorvane
