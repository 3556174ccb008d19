// The extension's menu items: inserting them, and measuring and drawing them
// when the shell lets us draw them ourselves.
#pragma once

#include <windows.h>

namespace sorvane::shellext::menu {

constexpr int kTextCapacity = 128;
constexpr int kPictureWidth = 16;
constexpr int kPictureHeight = 20;
constexpr UINT kItemHeight = 20;

// Inserts the items by position from `index`: for an ordinary context menu a
// separator, Copy, Move and Delete (owner-drawn when `ownerDraw`); for a
// right-drag menu Copy and Move as plain strings; then a separator. Item
// identifiers are `firstId` + command offset. Returns the number of items.
UINT insertItems(HMENU menu, UINT index, UINT firstId, bool dragMenu, bool ownerDraw, HMODULE resources) noexcept;

// WM_MEASUREITEM for one of our owner-drawn items.
void measureItem(MEASUREITEMSTRUCT& item, UINT firstId, HMODULE resources) noexcept;

// WM_DRAWITEM for one of our owner-drawn items: the picture from `pictures`
// (bitmap 139 of the extension itself), the text from `resources`.
void drawItem(const DRAWITEMSTRUCT& item, UINT firstId, HMODULE resources, HMODULE pictures) noexcept;

// Loads string `id` into `text` (empty when missing); returns its length.
int loadText(HMODULE module, UINT id, wchar_t (&text)[kTextCapacity]) noexcept;

} // namespace sorvane::shellext::menu
