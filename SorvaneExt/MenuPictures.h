// The pictures beside the extension's menu items: 32-bit bitmaps with
// premultiplied alpha that the shell draws itself next to the item texts,
// made at the size the display's density asks for.
#pragma once

#include "common/Raii.h"
#include "common/ui/GdiRaii.h"

#include <windows.h>

namespace sorvane::shellext::menu {

constexpr int kPictureSize = 16; // at 96 dots per inch

// The side of a picture in pixels at `dpi`: 16 at 96, 20 at 120, 24 at 144,
// 28 at 168, 32 at 192. A density of 0 counts as 96.
int pictureSize(UINT dpi) noexcept;

// The density the menu is about to be shown at: the monitor under the
// cursor for a thread that is aware of each monitor's density, else the
// system's (which the platform scales for the others). 96 when unknown.
UINT menuDpi() noexcept;

// Picture `offset` (0 Copy, 1 Move, 2 Delete) at `dpi`, drawn from the art
// in `module` (bitmaps 140 and 141): a bottom-up 32-bit DIB section with
// premultiplied alpha, transparent around the picture. Null when the art is
// missing; the caller owns the bitmap.
HBITMAP makePicture(HMODULE module, UINT offset, UINT dpi) noexcept;

// The three pictures of one handler. The menu refers to them without owning
// them, so they live as long as the handler.
class Pictures {
public:
    Pictures() = default;
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // Makes the pictures for `dpi` on the first call. Later calls keep
    // them: a menu built earlier may still refer to them.
    void prepare(HMODULE module, UINT dpi) noexcept;
    // Picture `offset`, or null.
    HBITMAP get(UINT offset) const noexcept;
    UINT dpi() const noexcept { return dpi_; }

private:
    static constexpr UINT kCount = 3;
    UniqueGdiObject bitmaps_[kCount];
    UINT dpi_ = 0;
};

} // namespace sorvane::shellext::menu
