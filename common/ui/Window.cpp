#include "common/ui/Window.h"

#include <vector>

namespace sorvane::ui {

namespace {
HINSTANCE g_resourceInstance = nullptr;
} // namespace

HINSTANCE resourceInstance()
{
    return g_resourceInstance ? g_resourceInstance : ::GetModuleHandleW(nullptr);
}

void setResourceInstance(HINSTANCE instance) { g_resourceInstance = instance; }

std::wstring CWindow::GetWindowText() const
{
    const int length = ::GetWindowTextLengthW(m_hWnd);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int got = ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::wstring CWindow::GetDlgItemText(int id) const
{
    HWND item = GetDlgItem(id);
    return item ? CWindow(item).GetWindowText() : std::wstring();
}

RECT CWindow::ChildRect(int id) const noexcept
{
    RECT rect = {};
    if (HWND child = GetDlgItem(id)) {
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

void CWindow::CenterWindow(HWND over) const noexcept
{
    if (!over) over = ::GetWindow(m_hWnd, GW_OWNER);
    RECT mine = {};
    ::GetWindowRect(m_hWnd, &mine);
    RECT area = {};
    HMONITOR monitor = ::MonitorFromWindow(over ? over : m_hWnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(monitor, &info);
    area = info.rcWork;
    RECT centre = area;
    if (over && ::IsWindowVisible(over) && !::IsIconic(over)) ::GetWindowRect(over, &centre);
    const int width = mine.right - mine.left;
    const int height = mine.bottom - mine.top;
    int x = (centre.left + centre.right - width) / 2;
    int y = (centre.top + centre.bottom - height) / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace sorvane::ui
