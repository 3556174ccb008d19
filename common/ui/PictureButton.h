// Owner-drawn push buttons with a small picture from the program's button
// strip (bitmap 330: 16 x 16 cells, ten a row, the top-left pixel's colour
// transparent). A button's state, a small integer kept in a window property,
// can choose its picture.
#pragma once

#include <windows.h>

namespace sorvane::ui {

constexpr int kButtonStripBitmap = 330;
constexpr int kButtonCellSize = 16;
constexpr int kButtonCellsPerRow = 10;
extern const wchar_t kButtonStateProperty[]; // "KVT_MyData"

// Kind flags of a picture button.
enum PictureButtonKind : unsigned {
    kPictureWithText = 1, // the button's text beside the picture
    kPictureTwoState = 16, // base cell, or the next one when the state is non-zero
    kPictureByState = 32,  // base cell + state
};

struct PictureButton {
    int controlId;
    int baseCell;
    unsigned kind;
};

// The picture button with this control identifier, or null.
const PictureButton* findPictureButton(int controlId) noexcept;
// The cell a button shows for a state value.
int pictureCell(const PictureButton& button, int value) noexcept;

int GetButtonState(HWND dialog, int controlId) noexcept;
// Stores the value when it differs from the one held; with `repaint` the
// button is drawn again at once.
void SetButtonState(HWND dialog, int controlId, int value, bool repaint) noexcept;
void RemoveButtonState(HWND dialog, int controlId) noexcept;

// Draws the button `controlId` of `dialog` into `dc` (a dialog hands over
// its DRAWITEMSTRUCT: hDC, rcItem and itemState as they are).
void DrawButton(HWND dialog, HDC dc, int controlId, const RECT& rect, UINT state) noexcept;

// Whether buttons are drawn with the visual style of `button` (UxTheme
// present and a theme open for it).
bool buttonUsesTheme(HWND button) noexcept;

} // namespace sorvane::ui
