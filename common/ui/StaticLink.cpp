#include "common/ui/StaticLink.h"

#include <cwchar>

namespace sorvane::ui {

namespace {

constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr COLORREF kVisitedColour = RGB(128, 0, 128);
constexpr int kHelpHandCursor = 106; // the hand of the Windows help program

void copyText(wchar_t* target, size_t capacity, const wchar_t* text) noexcept
{
    size_t i = 0;
    for (; text && text[i] && i + 1 < capacity; ++i) target[i] = text[i];
    target[i] = L'\0';
}

// The hand cursor, made once per process and kept until it ends.
class HandCursor {
public:
    HandCursor() noexcept
    {
        wchar_t path[MAX_PATH + 20] = {};
        const UINT length = ::GetWindowsDirectoryW(path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            std::wcscat(path, L"\\winhlp32.exe");
            UniqueModule help(::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
            if (help) {
                if (HCURSOR cursor = ::LoadCursorW(help.get(), MAKEINTRESOURCEW(kHelpHandCursor))) {
                    cursor_ = reinterpret_cast<HCURSOR>(::CopyIcon(reinterpret_cast<HICON>(cursor)));
                }
            }
        }
        if (!cursor_) {
            // Systems without the help program's cursor have their own hand.
            if (HCURSOR shared = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */)) {
                cursor_ = reinterpret_cast<HCURSOR>(::CopyIcon(reinterpret_cast<HICON>(shared)));
            }
        }
    }
    ~HandCursor()
    {
        if (cursor_) ::DestroyCursor(cursor_);
    }
    HandCursor(const HandCursor&) = delete;
    HandCursor& operator=(const HandCursor&) = delete;
    HCURSOR get() const noexcept { return cursor_; }

private:
    HCURSOR cursor_ = nullptr;
};

HCURSOR handCursor() noexcept
{
    static HandCursor cursor;
    return cursor.get();
}

// The static control's own procedure, for a window whose link object has
// gone while a later subclass kept ours in its chain.
LRESULT callStaticClass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    WNDCLASSEXW staticClass = {};
    staticClass.cbSize = sizeof(staticClass);
    if (::GetClassInfoExW(nullptr, L"Static", &staticClass) && staticClass.lpfnWndProc) {
        return ::CallWindowProcW(staticClass.lpfnWndProc, window, message, wParam, lParam);
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

CStaticLink::~CStaticLink() { Detach(); }

void CStaticLink::SetTexts(const wchar_t* link, const wchar_t* shownText, DWORD flags) noexcept
{
    flags_ = flags;
    textCount_ = 0;
    if (link) ++textCount_;
    if (shownText) ++textCount_;
    copyText(link_, kTextCapacity, link);
    copyText(shown_, kTextCapacity, shownText);
}

bool CStaticLink::Attach(HWND window) noexcept
{
    Detach();
    if (!window) return true;
    if (!::IsWindow(window)) return false;
    window_ = window;
    hover_ = -1;
    if (textCount_ > 0) {
        const wchar_t* text = shown_[0] ? shown_ : link_;
        if (text[0]) ::SetWindowTextW(window_, text);
    }
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previous_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CStaticLink::StaticProc)));
    if (!previous_) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        window_ = nullptr;
        return false;
    }
    return true;
}

void CStaticLink::Detach() noexcept
{
    if (!window_) return;
    if (::IsWindow(window_)) {
        // Put the previous procedure back only while ours is the current one;
        // a later subclass keeps calling through us otherwise.
        if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window_, GWLP_WNDPROC)) == &CStaticLink::StaticProc) {
            ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        }
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    }
    window_ = nullptr;
}

LRESULT CStaticLink::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    return previous_ ? ::CallWindowProcW(previous_, window_, message, wParam, lParam)
                     : ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK CStaticLink::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    auto* self = reinterpret_cast<CStaticLink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->window_ != window) return callStaticClass(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        WNDPROC previous = self->previous_;
        self->Detach();
        return previous ? ::CallWindowProcW(previous, window, message, wParam, lParam)
                        : ::DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->WindowProc(message, wParam, lParam);
    } catch (...) {
        return self->CallPrevious(message, wParam, lParam);
    }
}

LRESULT CStaticLink::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool swaps = (flags_ & kSwapTextOnHover) && textCount_ == 2;
    switch (message) {
    case WM_MOUSEMOVE:
        if (swaps && hover_ != 1) {
            hover_ = 1;
            ::SetWindowTextW(window_, link_);
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = window_;
            ::TrackMouseEvent(&track);
        }
        break;
    case WM_MOUSELEAVE:
        if (swaps) {
            if (hover_ == 1) {
                hover_ = 0;
                ::SetWindowTextW(window_, shown_);
            }
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (HCURSOR cursor = handCursor()) {
            ::SetCursor(cursor);
            return 0;
        }
        break;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam)));
    case WM_LBUTTONDOWN: {
        bool done = false;
        if (flags_ & kOpenLink) {
            done = OpenLink();
        } else {
            done = ::SendMessageW(::GetParent(window_), kClickMessage, WM_LBUTTONDOWN,
                                  reinterpret_cast<LPARAM>(window_)) != 0;
        }
        if (done) {
            visited_ = 1;
            ::InvalidateRect(window_, nullptr, TRUE);
            ::UpdateWindow(window_);
        }
        return 0;
    }
    default:
        break;
    }
    return CallPrevious(message, wParam, lParam);
}

HBRUSH CStaticLink::OnCtlColor(HDC dc) noexcept
{
    if (!underlineFont_) {
        HFONT font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
        if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
        LOGFONTW description = {};
        if (font && ::GetObjectW(font, sizeof(description), &description)) {
            description.lfUnderline = TRUE;
            underlineFont_.reset(::CreateFontIndirectW(&description));
        }
    }
    if (dc) {
        if (underlineFont_) ::SelectObject(dc, underlineFont_.get());
        ::SetTextColor(dc, visited_ ? kVisitedColour : kLinkColour);
        ::SetBkMode(dc, TRANSPARENT);
    }
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

bool CStaticLink::OpenLink() noexcept
{
    if (!link_[0]) return false;
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, const wchar_t*, const wchar_t*, const wchar_t*,
                                              const wchar_t*, int);
    UniqueModule shell(::LoadLibraryW(L"Shell32.dll"));
    if (!shell) return false;
    auto shellExecute = reinterpret_cast<ShellExecuteFn>(
        reinterpret_cast<void*>(::GetProcAddress(shell.get(), "ShellExecuteW")));
    if (!shellExecute) return false;
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(shellExecute(nullptr, L"open", link_, nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

} // namespace sorvane::ui
