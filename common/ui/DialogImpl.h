// The dialog class template of the program, in the spirit of a
// CDialogImpl<T, CWindow>: modal or modeless dialogs from a template in the
// resource module, messages dispatched to member hooks, the object reachable
// from its window. A derived class names its template with `enum { IDD = n }`.
#pragma once

#include "common/ui/Window.h"

namespace sorvane::ui {

template <class T, class TBase = CWindow>
class CDialogImpl : public TBase {
public:
    CDialogImpl() = default;
    CDialogImpl(const CDialogImpl&) = delete;
    CDialogImpl& operator=(const CDialogImpl&) = delete;

    // The message dispatch: true when the message was handled; `result` is
    // the dialog procedure's answer for it.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    ~CDialogImpl() override
    {
        // A modeless window must not outlive its object.
        if (this->m_hWnd && ::IsWindow(this->m_hWnd)) {
            ::SetWindowLongPtrW(this->m_hWnd, DWLP_USER, 0);
            ::DestroyWindow(this->m_hWnd);
        }
    }

    INT_PTR DoModal(HWND owner = ::GetActiveWindow(), LPARAM initParam = 0)
    {
        initParam_ = initParam;
        modal_ = true;
        return ::DialogBoxParamW(resourceInstance(), MAKEINTRESOURCEW(T::IDD), owner, StartDialogProc,
                                 reinterpret_cast<LPARAM>(this));
    }
    HWND Create(HWND owner, LPARAM initParam = 0)
    {
        initParam_ = initParam;
        modal_ = false;
        return ::CreateDialogParamW(resourceInstance(), MAKEINTRESOURCEW(T::IDD), owner, StartDialogProc,
                                    reinterpret_cast<LPARAM>(this));
    }
    BOOL EndDialog(int result)
    {
        return modal_ ? ::EndDialog(this->m_hWnd, result) : ::DestroyWindow(this->m_hWnd);
    }
    bool IsModal() const noexcept { return modal_; }

    // The object behind a dialog window made by this template, or null.
    static T* FromWindow(HWND window) noexcept
    {
        return window ? reinterpret_cast<T*>(::GetWindowLongPtrW(window, DWLP_USER)) : nullptr;
    }

protected:
    // Hooks of the default dispatch.
    virtual BOOL OnInitDialog(HWND /*focus*/, LPARAM /*initParam*/) { return TRUE; }
    virtual bool OnCommand(WORD /*id*/, WORD /*code*/, HWND /*control*/) { return false; }
    virtual bool OnNotify(int /*id*/, NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
    virtual bool OnTimer(UINT_PTR /*timer*/) { return false; }
    virtual void OnDestroy() {}
    // Any other message; true when handled.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& /*result*/) { return false; }
    // After the last message of the window.
    virtual void OnFinalMessage(HWND /*window*/) {}

private:
    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
    {
        CDialogImpl* self = nullptr;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<CDialogImpl*>(lParam);
            self->m_hWnd = window;
            ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(static_cast<T*>(self)));
            lParam = self->initParam_;
        } else {
            self = static_cast<CDialogImpl*>(FromWindow(window));
        }
        if (!self) return FALSE;

        LRESULT result = 0;
        BOOL handled = FALSE;
        try {
            handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);
        } catch (...) {
            // Nothing may cross the system's callback; the message counts as
            // not handled.
            handled = FALSE;
        }
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(window, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            try {
                self->OnFinalMessage(window);
            } catch (...) {
            }
            return FALSE;
        }
        if (!handled) return FALSE;
        switch (message) {
        // These return their value directly rather than through DWLP_MSGRESULT.
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }

    LPARAM initParam_ = 0;
    bool modal_ = false;
};

template <class T, class TBase>
BOOL CDialogImpl<T, TBase>::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog(reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) {
            result = 0;
            return TRUE;
        }
        break;
    case WM_NOTIFY:
        if (OnNotify(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), result)) return TRUE;
        break;
    case WM_TIMER:
        if (OnTimer(static_cast<UINT_PTR>(wParam))) {
            result = 0;
            return TRUE;
        }
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    default:
        break;
    }
    return OnMessage(message, wParam, lParam, result) ? TRUE : FALSE;
}

} // namespace sorvane::ui
