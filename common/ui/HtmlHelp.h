// The HTML Help viewer, bound at run time from hhctrl.ocx, behind one
// function that tests can redirect.
#pragma once

#include <windows.h>

namespace sorvane::ui {

// HtmlHelpW(caller, file, command, data); null when the viewer is missing.
HWND htmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) noexcept;

using HtmlHelpHook = HWND (*)(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data);
// Replaces the viewer (null restores it); returns the previous hook.
HtmlHelpHook setHtmlHelpHook(HtmlHelpHook hook) noexcept;

} // namespace sorvane::ui
