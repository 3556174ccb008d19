// A thin wrapper of a window handle: the handful of calls the dialogs make,
// without owning the window.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane::ui {

// The module dialogs, menus, strings and pictures are loaded from (the
// program's own module, or its language library). Set once at start-up.
HINSTANCE resourceInstance();
void setResourceInstance(HINSTANCE instance);

class CWindow {
public:
    CWindow() noexcept = default;
    explicit CWindow(HWND window) noexcept : m_hWnd(window) {}
    virtual ~CWindow() = default;

    operator HWND() const noexcept { return m_hWnd; }
    HWND handle() const noexcept { return m_hWnd; }
    void Attach(HWND window) noexcept { m_hWnd = window; }
    HWND Detach() noexcept
    {
        HWND window = m_hWnd;
        m_hWnd = nullptr;
        return window;
    }

    bool IsWindow() const noexcept { return m_hWnd && ::IsWindow(m_hWnd); }
    HWND GetDlgItem(int id) const noexcept { return ::GetDlgItem(m_hWnd, id); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::SendDlgItemMessageW(m_hWnd, id, message, wParam, lParam);
    }
    BOOL SetWindowText(const wchar_t* text) const noexcept { return ::SetWindowTextW(m_hWnd, text); }
    std::wstring GetWindowText() const;
    BOOL SetDlgItemText(int id, const wchar_t* text) const noexcept { return ::SetDlgItemTextW(m_hWnd, id, text); }
    std::wstring GetDlgItemText(int id) const;
    BOOL SetDlgItemInt(int id, UINT value, bool isSigned) const noexcept
    {
        return ::SetDlgItemInt(m_hWnd, id, value, isSigned);
    }
    UINT IsDlgButtonChecked(int id) const noexcept { return ::IsDlgButtonChecked(m_hWnd, id); }
    BOOL CheckDlgButton(int id, UINT check) const noexcept { return ::CheckDlgButton(m_hWnd, id, check); }
    BOOL ShowWindow(int command) const noexcept { return ::ShowWindow(m_hWnd, command); }
    BOOL EnableWindow(bool enable) const noexcept { return ::EnableWindow(m_hWnd, enable); }
    BOOL DestroyWindow() noexcept { return ::DestroyWindow(m_hWnd); }
    BOOL GetClientRect(RECT* rect) const noexcept { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(RECT* rect) const noexcept { return ::GetWindowRect(m_hWnd, rect); }
    HWND SetFocus() const noexcept { return ::SetFocus(m_hWnd); }
    HWND GetParent() const noexcept { return ::GetParent(m_hWnd); }
    // The rectangle of a child control in this window's client coordinates.
    RECT ChildRect(int id) const noexcept;
    // Centres the window over `over` (its owner when null), kept on screen.
    void CenterWindow(HWND over = nullptr) const noexcept;

    HWND m_hWnd = nullptr;
};

} // namespace sorvane::ui
