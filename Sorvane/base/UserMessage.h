// Every message box of the main program goes through here, so that tests
// can record what would be shown instead of blocking on a window.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane {

using MessageHook = int (*)(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);

// Shows a message box with the application name as caption.
int showMessage(HWND owner, const std::wstring& text, UINT flags);
// The same with a caption of its own (a dialog's title, say).
int showMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);

// Replaces the message box (null restores it); returns the previous hook.
MessageHook setMessageHook(MessageHook hook);

} // namespace sorvane
