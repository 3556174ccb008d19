// A visible top-level window to put controls on, recording what its
// children send it, and a 32-bit bitmap to draw into and read back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sorvane::test {

struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class ControlHost {
public:
    ControlHost(int width = 400, int height = 300);
    ~ControlHost();
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    HWND window() const { return window_; }
    // A child control of a system class.
    HWND addControl(const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y, int width,
                    int height);

    // Messages of the WM_USER range received so far.
    const std::vector<HostMessage>& userMessages() const { return userMessages_; }
    // The reply to WM_USER (the hyperlink's click question).
    LRESULT clickReply = 0;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::vector<HostMessage> userMessages_;
};

// Dispatches the messages waiting for this thread.
void pumpMessages();

// A top-down 32-bit bitmap selected into a memory device context.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF pixel(int x, int y) const; // RGB(), after GdiFlush

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const DWORD* bits_ = nullptr;
    int width_;
    int height_;
};

// The pixels of a bitmap resource, as RGB() values, rows top-down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Picture loadBitmapPixels(HINSTANCE module, int id);
Picture readBitmapFile(const std::wstring& path);

} // namespace sorvane::test
