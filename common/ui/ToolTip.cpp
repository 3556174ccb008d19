#include "common/ui/ToolTip.h"

#include "common/ui/Window.h"

namespace sorvane::ui {

bool CToolTip::Create(HWND owner, DWORD styles, DWORD exStyles) noexcept
{
    borrowed_ = nullptr;
    owned_.reset(::CreateWindowExW(exStyles, TOOLTIPS_CLASSW, nullptr, styles | WS_POPUP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr));
    if (!owned_) return false;
    BringToTop();
    return true;
}

void CToolTip::Attach(HWND tooltip) noexcept
{
    owned_.reset();
    borrowed_ = tooltip;
}

void CToolTip::BringToTop() noexcept
{
    if (HWND tip = handle()) {
        ::SetWindowPos(tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

TOOLINFOW CToolTip::ToolInfo(HWND tool, HWND notify) const noexcept
{
    TOOLINFOW info = {};
    // The size every version of the control accepts.
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = notify ? notify : ::GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    return info;
}

bool CToolTip::AddTool(HWND tool, const wchar_t* text, bool subclass, bool transparent, HWND notify) noexcept
{
    HWND tip = handle();
    if (!tip || !tool) return false;
    TOOLINFOW info = ToolInfo(tool, notify);
    if (subclass) info.uFlags |= TTF_SUBCLASS;
    if (transparent) info.uFlags |= TTF_TRANSPARENT;
    info.lpszText = const_cast<wchar_t*>(text ? text : L"");
    return ::SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

bool CToolTip::AddTool(HWND tool, UINT stringId, bool subclass, bool transparent, HWND notify) noexcept
{
    wchar_t text[kMaxStringText + 1] = {};
    ::LoadStringW(resourceInstance(), stringId, text, kMaxStringText + 1);
    return AddTool(tool, text, subclass, transparent, notify);
}

void CToolTip::DelTool(HWND tool, HWND notify) noexcept
{
    HWND tip = handle();
    if (!tip || !tool) return;
    TOOLINFOW info = ToolInfo(tool, notify);
    ::SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTip::UpdateTipText(HWND tool, const wchar_t* text, HWND notify) noexcept
{
    HWND tip = handle();
    if (!tip || !tool) return;
    TOOLINFOW info = ToolInfo(tool, notify);
    info.lpszText = const_cast<wchar_t*>(text ? text : L"");
    ::SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    BringToTop();
}

void CToolTip::Activate(bool active) noexcept
{
    if (HWND tip = handle()) ::SendMessageW(tip, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
}

void CToolTip::SetDelayTime(DWORD which, int milliseconds) noexcept
{
    HWND tip = handle();
    if (!tip) return;
    // A negative time brings back the control's default.
    const LPARAM time = milliseconds < 0 ? -1 : MAKELPARAM(milliseconds > 0x7FFF ? 0x7FFF : milliseconds, 0);
    ::SendMessageW(tip, TTM_SETDELAYTIME, which, time);
}

void CToolTip::SetMaxTipWidth(int pixels) noexcept
{
    if (HWND tip = handle()) ::SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, pixels);
}

void CToolTip::MoveTo(const RECT& textRect) noexcept
{
    HWND tip = handle();
    if (!tip) return;
    RECT rect = textRect;
    ::SendMessageW(tip, TTM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
    ::SetWindowPos(tip, HWND_TOPMOST, rect.left, rect.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

} // namespace sorvane::ui
