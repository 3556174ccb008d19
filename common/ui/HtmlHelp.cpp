#include "common/ui/HtmlHelp.h"

#include "common/Raii.h"

namespace sorvane::ui {

namespace {

HtmlHelpHook g_hook = nullptr;

using HtmlHelpFn = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);

// The viewer's library, loaded on first use and kept until the process ends.
class HelpViewer {
public:
    HelpViewer() noexcept : module_(::LoadLibraryW(L"hhctrl.ocx"))
    {
        if (module_) {
            entry_ = reinterpret_cast<HtmlHelpFn>(
                reinterpret_cast<void*>(::GetProcAddress(module_.get(), "HtmlHelpW")));
        }
    }
    HtmlHelpFn entry() const noexcept { return entry_; }

private:
    UniqueModule module_;
    HtmlHelpFn entry_ = nullptr;
};

} // namespace

HWND htmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) noexcept
{
    if (g_hook) return g_hook(caller, file, command, data);
    static const HelpViewer viewer;
    return viewer.entry() ? viewer.entry()(caller, file, command, data) : nullptr;
}

HtmlHelpHook setHtmlHelpHook(HtmlHelpHook hook) noexcept
{
    HtmlHelpHook previous = g_hook;
    g_hook = hook;
    return previous;
}

} // namespace sorvane::ui
