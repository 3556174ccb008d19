#include "base/UserMessage.h"

#include "base/AppState.h"

namespace sorvane {

namespace {
MessageHook g_hook = nullptr;
} // namespace

int showMessage(HWND owner, const std::wstring& text, UINT flags)
{
    return showMessage(owner, text, app().appName, flags);
}

int showMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags)
{
    if (g_hook) return g_hook(owner, text, caption, flags);
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

MessageHook setMessageHook(MessageHook hook)
{
    MessageHook previous = g_hook;
    g_hook = hook;
    return previous;
}

} // namespace sorvane
