#include "base/Shell.h"

#include <shellapi.h>

namespace sorvane {

namespace {
OpenDocumentHook g_hook = nullptr;
} // namespace

bool openDocument(HWND owner, const wchar_t* path)
{
    if (!path || !*path) return false;
    if (g_hook) return g_hook(owner, path);
    const HINSTANCE result = ::ShellExecuteW(owner, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

OpenDocumentHook setOpenDocumentHook(OpenDocumentHook hook)
{
    OpenDocumentHook previous = g_hook;
    g_hook = hook;
    return previous;
}

} // namespace sorvane
