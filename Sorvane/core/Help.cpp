#include "Help.h"

#include "AppState.h"

namespace sorvane {

namespace {

constexpr UINT kHelpContext = 0x000F; // HH_HELP_CONTEXT
using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

// The viewer stays loaded once found: help windows outlive the call.
HtmlHelpFn htmlHelp()
{
    static HtmlHelpFn function = [] {
        HMODULE viewer = ::LoadLibraryW(L"hhctrl.ocx");
        return viewer ? reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(::GetProcAddress(viewer, "HtmlHelpW")))
                      : nullptr;
    }();
    return function;
}

} // namespace

bool showContextHelp(HWND owner, DWORD context)
{
    HtmlHelpFn function = htmlHelp();
    if (!function || !app().helpFilePath[0]) return false;
    return function(owner, app().helpFilePath, kHelpContext, context) != nullptr;
}

} // namespace sorvane
