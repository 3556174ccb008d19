// Owner-drawn push buttons with a small picture from the program's button
// strip (bitmap 330: 16 x 16 cells, ten a row, the top-left pixel's colour
// transparent). A button's state, a small integer kept in a window property,
// can choose its picture.
#pragma once

#include <windows.h>

#include "res/SorvaneRes.h"

namespace sorvane::ui {

constexpr int kButtonStripBitmap = IDB_BUTTONS;
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
// its DRAWITEMSTRUCT: hDC, rcItem and itemState as they are). A button that
// is the dialog's default button at the moment is drawn as one (ODS_DEFAULT
// added), since the system does not tell owner-drawn buttons.
void DrawButton(HWND dialog, HDC dc, int controlId, const RECT& rect, UINT state) noexcept;

// Makes every owner-drawn button of `dialog` a push button for the dialog
// manager: it answers WM_GETDLGCODE as a push button does, so that Tab to
// it makes it the default button and Enter presses it (never the dialog's
// own default button, such as "Start"); it keeps BS_OWNERDRAW when the
// dialog manager gives it or takes from it the default style
// (BM_SETSTYLE), and remembers whether it is the default for drawing.
// Call once from WM_INITDIALOG; undone when the buttons are destroyed.
void AttachPushButtonKeys(HWND dialog) noexcept;
// Whether an owner-drawn button attached above is the default button now.
bool IsDefaultPushButton(HWND button) noexcept;

// Whether buttons are drawn with the visual style of `button` (UxTheme
// present and a theme open for it).
bool buttonUsesTheme(HWND button) noexcept;

} // namespace sorvane::ui
