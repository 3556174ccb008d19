#include "ControlHost.h"

namespace sorvane::test {

namespace {

const wchar_t kHostClass[] = L"SorvaneControlHost";

void registerHostClass(WNDPROC proc)
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHostClass;
    registered = ::RegisterClassExW(&windowClass) != 0;
}

Picture picturePixels(HBITMAP bitmap)
{
    Picture picture;
    BITMAP info = {};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return picture;
    picture.width = info.bmWidth;
    picture.height = info.bmHeight;
    BITMAPINFO request = {};
    request.bmiHeader.biSize = sizeof(request.bmiHeader);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> raw(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, info.bmHeight, raw.data(), &request, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    picture.pixels.reserve(raw.size());
    for (DWORD value : raw) {
        picture.pixels.push_back(RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF));
    }
    return picture;
}

} // namespace

ControlHost::ControlHost(int width, int height)
{
    registerHostClass(Proc);
    window_ = ::CreateWindowExW(0, kHostClass, L"Control host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, width,
                                height, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    if (window_) {
        ::ShowWindow(window_, SW_SHOWNORMAL);
        ::UpdateWindow(window_);
        ::SetForegroundWindow(window_);
        pumpMessages();
    }
}

ControlHost::~ControlHost()
{
    if (window_ && ::IsWindow(window_)) ::DestroyWindow(window_);
    pumpMessages();
}

HWND ControlHost::addControl(const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y,
                             int width, int height)
{
    HWND control = ::CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                     window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return control;
}

LRESULT CALLBACK ControlHost::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ControlHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
        if (message >= WM_USER && message < WM_USER + 0x100) {
            self->userMessages_.push_back({message, wParam, lParam});
            return message == WM_USER ? self->clickReply : 0;
        }
        if (message == WM_CTLCOLORSTATIC && lParam) {
            // Hyperlinks colour themselves.
            return ::SendMessageW(reinterpret_cast<HWND>(lParam), WM_CTLCOLORSTATIC, wParam, lParam);
        }
        if (message == WM_NCDESTROY) self->window_ = nullptr;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void pumpMessages()
{
    MSG message;
    for (int i = 0; i < 1000 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    dc_ = ::CreateCompatibleDC(screen);
    bitmap_ = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    bits_ = static_cast<const DWORD*>(bits);
    if (dc_ && bitmap_) {
        previous_ = ::SelectObject(dc_, bitmap_);
        HBRUSH brush = ::CreateSolidBrush(fill);
        RECT all = {0, 0, width, height};
        ::FillRect(dc_, &all, brush);
        ::DeleteObject(brush);
        ::SelectObject(dc_, ::GetStockObject(DEFAULT_GUI_FONT));
    }
}

Canvas::~Canvas()
{
    if (dc_ && previous_) ::SelectObject(dc_, previous_);
    if (bitmap_) ::DeleteObject(bitmap_);
    if (dc_) ::DeleteDC(dc_);
}

COLORREF Canvas::pixel(int x, int y) const
{
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    ::GdiFlush();
    const DWORD value = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

Picture loadBitmapPixels(HINSTANCE module, int id)
{
    HBITMAP bitmap = ::LoadBitmapW(module, MAKEINTRESOURCEW(id));
    Picture picture = picturePixels(bitmap);
    if (bitmap) ::DeleteObject(bitmap);
    return picture;
}

Picture readBitmapFile(const std::wstring& path)
{
    auto* bitmap = static_cast<HBITMAP>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    Picture picture = picturePixels(bitmap);
    if (bitmap) ::DeleteObject(bitmap);
    return picture;
}

} // namespace sorvane::test
