#include "MenuPictures.h"

#include "Identifiers.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace sorvane::shellext::menu {

namespace {

constexpr UINT kDefaultDpi = 96;
constexpr int kLargeArtSize = 32;

// One colour with premultiplied alpha, each part 0..255.
struct Pixel {
    double b = 0, g = 0, r = 0, a = 0;
};

// A square picture of the art, premultiplied, rows from the top.
struct Square {
    int side = 0;
    std::vector<Pixel> pixels;
    const Pixel& at(int x, int y) const { return pixels[static_cast<size_t>(y) * side + x]; }
};

// Reads picture `offset` of an art strip (a bottom-up 32-bit bitmap whose
// fourth byte is the straight alpha, one square a row) from the module's
// resources. The resource is read as it is stored, so that no conversion
// of the platform's bitmap loader can lose the alpha.
bool readSquare(HMODULE module, UINT id, UINT offset, Square& square)
{
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    if (!found) return false;
    const DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const BYTE*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!bytes || size < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof(header));
    const int side = header.biWidth;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biBitCount != 32 || header.biCompression != BI_RGB ||
        side <= 0 || side > 256 || header.biHeight != side * static_cast<LONG>(kCommandCount) || offset >= kCommandCount)
        return false;
    const size_t stride = static_cast<size_t>(side) * 4;
    const size_t bitsStart = header.biSize + header.biClrUsed * sizeof(RGBQUAD);
    if (size < bitsStart + stride * static_cast<size_t>(header.biHeight)) return false;
    const BYTE* bits = bytes + bitsStart;

    square.side = side;
    square.pixels.assign(static_cast<size_t>(side) * side, Pixel());
    for (int y = 0; y < side; ++y) {
        // Bottom-up: the strip's top row is stored last.
        const int stripRow = static_cast<int>(offset) * side + y;
        const BYTE* row = bits + stride * static_cast<size_t>(header.biHeight - 1 - stripRow);
        for (int x = 0; x < side; ++x) {
            const BYTE* p = row + x * 4;
            const double alpha = p[3];
            Pixel& out = square.pixels[static_cast<size_t>(y) * side + x];
            out.b = p[0] * alpha / 255.0;
            out.g = p[1] * alpha / 255.0;
            out.r = p[2] * alpha / 255.0;
            out.a = alpha;
        }
    }
    return true;
}

// Each pixel of the result is the average of the source area it covers
// (premultiplied, so that transparent pixels add no colour).
Square scaled(const Square& source, int side)
{
    if (source.side == side) return source;
    Square out;
    out.side = side;
    out.pixels.assign(static_cast<size_t>(side) * side, Pixel());
    const double step = static_cast<double>(source.side) / side;
    for (int y = 0; y < side; ++y) {
        const double y0 = y * step, y1 = (y + 1) * step;
        for (int x = 0; x < side; ++x) {
            const double x0 = x * step, x1 = (x + 1) * step;
            Pixel sum;
            double area = 0;
            for (int sy = static_cast<int>(std::floor(y0)); sy < source.side && sy < y1; ++sy) {
                const double wy = std::fmin(y1, sy + 1.0) - std::fmax(y0, static_cast<double>(sy));
                if (wy <= 0) continue;
                for (int sx = static_cast<int>(std::floor(x0)); sx < source.side && sx < x1; ++sx) {
                    const double wx = std::fmin(x1, sx + 1.0) - std::fmax(x0, static_cast<double>(sx));
                    if (wx <= 0) continue;
                    const Pixel& p = source.at(sx, sy);
                    const double w = wx * wy;
                    sum.b += p.b * w;
                    sum.g += p.g * w;
                    sum.r += p.r * w;
                    sum.a += p.a * w;
                    area += w;
                }
            }
            if (area > 0) {
                Pixel& target = out.pixels[static_cast<size_t>(y) * side + x];
                target.b = sum.b / area;
                target.g = sum.g / area;
                target.r = sum.r / area;
                target.a = sum.a / area;
            }
        }
    }
    return out;
}

BYTE toByte(double value, double limit)
{
    const double rounded = std::floor(value + 0.5);
    return static_cast<BYTE>(rounded < 0 ? 0 : rounded > limit ? limit : rounded);
}

using ThreadContextFunction = HANDLE(WINAPI*)();
using AwarenessFunction = int(WINAPI*)(HANDLE);
using MonitorDpiFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kPerMonitorAware = 2; // DPI_AWARENESS_PER_MONITOR_AWARE
constexpr int kEffectiveDpi = 0;    // MDT_EFFECTIVE_DPI

template <typename F>
F entry(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

bool threadIsPerMonitorAware()
{
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    auto context = entry<ThreadContextFunction>(user, "GetThreadDpiAwarenessContext");
    auto awareness = entry<AwarenessFunction>(user, "GetAwarenessFromDpiAwarenessContext");
    return context && awareness && awareness(context()) == kPerMonitorAware;
}

UINT cursorMonitorDpi()
{
    POINT cursor = {};
    if (!::GetCursorPos(&cursor)) return 0;
    HMONITOR monitor = ::MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
    UniqueModule shcore(::LoadLibraryW(L"shcore.dll"));
    auto monitorDpi = entry<MonitorDpiFunction>(shcore.get(), "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (!monitor || !monitorDpi || FAILED(monitorDpi(monitor, kEffectiveDpi, &x, &y))) return 0;
    return y;
}

UINT systemDpi()
{
    HDC screen = ::GetDC(nullptr);
    if (!screen) return 0;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 0;
}

} // namespace

int pictureSize(UINT dpi) noexcept
{
    if (dpi == 0) dpi = kDefaultDpi;
    return ::MulDiv(kPictureSize, static_cast<int>(dpi), kDefaultDpi);
}

UINT menuDpi() noexcept
{
    UINT dpi = threadIsPerMonitorAware() ? cursorMonitorDpi() : 0;
    if (dpi == 0) dpi = systemDpi();
    return dpi ? dpi : kDefaultDpi;
}

HBITMAP makePicture(HMODULE module, UINT offset, UINT dpi) noexcept
{
    try {
        const int side = pictureSize(dpi);
        if (side <= 0 || side > 256) return nullptr;
        // The small art as it was drawn for 16 pixels and less; above that
        // the large art, scaled down or up.
        Square art;
        if (!readSquare(module, side <= kPictureSize ? kMenuPicturesSmall : kMenuPicturesLarge, offset, art))
            return nullptr;
        const Square picture = scaled(art, side);

        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = side;
        info.bmiHeader.biHeight = side; // bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap || !bits) {
            if (bitmap) ::DeleteObject(bitmap);
            return nullptr;
        }
        auto* out = static_cast<BYTE*>(bits);
        for (int y = 0; y < side; ++y) {
            BYTE* row = out + static_cast<size_t>(side - 1 - y) * side * 4;
            for (int x = 0; x < side; ++x) {
                const Pixel& p = picture.at(x, y);
                const BYTE alpha = toByte(p.a, 255);
                // Premultiplied: no colour part may exceed the alpha.
                row[x * 4 + 0] = toByte(p.b, alpha);
                row[x * 4 + 1] = toByte(p.g, alpha);
                row[x * 4 + 2] = toByte(p.r, alpha);
                row[x * 4 + 3] = alpha;
            }
        }
        ::GdiFlush();
        return bitmap;
    } catch (...) {
        return nullptr;
    }
}

void Pictures::prepare(HMODULE module, UINT dpi) noexcept
{
    if (dpi_ != 0) return;
    dpi_ = dpi ? dpi : kDefaultDpi;
    for (UINT offset = 0; offset < kCount; ++offset) bitmaps_[offset].reset(makePicture(module, offset, dpi_));
}

HBITMAP Pictures::get(UINT offset) const noexcept
{
    return offset < kCount ? static_cast<HBITMAP>(bitmaps_[offset].get()) : nullptr;
}

} // namespace sorvane::shellext::menu
