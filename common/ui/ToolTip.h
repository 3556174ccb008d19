// A thin wrapper of one tooltip window: tools for controls with a text or
// a string of the resource module, delays, width, and placing the tip.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "common/Raii.h"
#include "common/ui/GdiRaii.h"

namespace sorvane::ui {

class CToolTip {
public:
    static constexpr int kMaxStringText = 1024; // longest text taken from a string resource

    CToolTip() noexcept = default;
    ~CToolTip() = default; // destroys a window it created
    CToolTip(const CToolTip&) = delete;
    CToolTip& operator=(const CToolTip&) = delete;

    // Creates a topmost tooltip window ("tooltips_class32" with `styles`
    // plus WS_POPUP) owned by `owner` (may be null). Replaces a window
    // made earlier.
    bool Create(HWND owner, DWORD styles, DWORD exStyles) noexcept;
    // Wraps a tooltip window that someone else owns (null: none).
    void Attach(HWND tooltip) noexcept;
    HWND handle() const noexcept { return owned_ ? owned_.get() : borrowed_; }
    explicit operator bool() const noexcept { return handle() != nullptr; }

    // A tool for the window `tool` (TTF_IDISHWND) whose notifications go to
    // `notify` (null: the tool's parent).
    bool AddTool(HWND tool, const wchar_t* text, bool subclass, bool transparent, HWND notify = nullptr) noexcept;
    bool AddTool(HWND tool, UINT stringId, bool subclass, bool transparent, HWND notify = nullptr) noexcept;
    void DelTool(HWND tool, HWND notify = nullptr) noexcept;
    // New text for a tool; the tip stays on top.
    void UpdateTipText(HWND tool, const wchar_t* text, HWND notify = nullptr) noexcept;
    void Activate(bool active) noexcept;
    // `which`: TTDT_AUTOPOP, TTDT_INITIAL, TTDT_RESHOW or TTDT_AUTOMATIC.
    void SetDelayTime(DWORD which, int milliseconds) noexcept;
    void SetMaxTipWidth(int pixels) noexcept;
    // Places the tip so that its text lies in `textRect` (screen coordinates).
    void MoveTo(const RECT& textRect) noexcept;
    // Puts the tip above other topmost windows again.
    void BringToTop() noexcept;

private:
    TOOLINFOW ToolInfo(HWND tool, HWND notify) const noexcept;

    UniqueWindow owned_;
    HWND borrowed_ = nullptr;
};

} // namespace sorvane::ui
