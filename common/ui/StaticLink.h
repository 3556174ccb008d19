// A static text control that behaves as a hyperlink: underlined, blue (or
// purple once visited), a hand cursor, and a click that opens the link or
// asks the parent window to act on it.
#pragma once

#include <windows.h>

#include "common/Raii.h"
#include "common/ui/GdiRaii.h"

namespace sorvane::ui {

class CStaticLink {
public:
    // Flag bits of SetTexts.
    static constexpr DWORD kSwapTextOnHover = 1; // show the link while the mouse is over the control
    static constexpr DWORD kOpenLink = 2;        // a click opens the link itself (else the parent is asked)
    static constexpr size_t kTextCapacity = 260; // 259 characters and the terminator

    CStaticLink() noexcept = default;
    virtual ~CStaticLink();
    CStaticLink(const CStaticLink&) = delete;
    CStaticLink& operator=(const CStaticLink&) = delete;

    // Stores the flags and copies each text given (null: not given),
    // truncated to 259 characters.
    void SetTexts(const wchar_t* link, const wchar_t* shownText, DWORD flags) noexcept;
    // Takes over a static control (null: lets the current one go).
    bool Attach(HWND window) noexcept;

    HWND window() const noexcept { return window_; }
    bool visited() const noexcept { return visited_ != 0; }
    // -1 before the mouse first came, 1 while it is over the control, 0 after it left.
    int hoverState() const noexcept { return hover_; }
    const wchar_t* link() const noexcept { return link_; }
    const wchar_t* shownText() const noexcept { return shown_; }

    // The reply of a parent that was asked to act on a click.
    static constexpr UINT kClickMessage = WM_USER; // wParam WM_LBUTTONDOWN, lParam the control

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void Detach() noexcept;
    HBRUSH OnCtlColor(HDC dc) noexcept;
    bool OpenLink() noexcept;

    HWND window_ = nullptr;
    WNDPROC previous_ = nullptr;
    UniqueGdiObject underlineFont_;
    DWORD flags_ = 0;
    int visited_ = 0;
    int textCount_ = 0;
    int hover_ = -1;
    wchar_t shown_[kTextCapacity] = {};
    wchar_t link_[kTextCapacity] = {};
};

} // namespace sorvane::ui
