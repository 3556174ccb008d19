// The extension's menu items: inserting them within the identifiers the
// shell allows, and finding them by their access keys.
//
// The items are text items that the shell draws itself, each with a 32-bit
// picture beside its text (MenuPictures.h). So the menu manager handles
// their access keys, screen readers read their texts, the text takes the
// menu's font and colours at every display density and in dark menus, and
// only the picture is ours to scale.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane::shellext::menu {

class Pictures;

constexpr int kTextCapacity = 128;

// Inserts the items by position from `index`: for an ordinary context menu a
// separator, Copy, Move and Delete; for a right-drag menu Copy and Move;
// then a separator. Item identifiers are `firstId` + command offset. When
// the identifiers from `firstId` to `lastId` (both included) cannot hold
// every item, nothing is inserted. `pictures` may be null (no pictures).
// Returns the number of items inserted.
UINT insertItems(HMENU menu, UINT index, UINT firstId, UINT lastId, bool dragMenu, HMODULE resources,
                 const Pictures* pictures) noexcept;

// The access key of a menu text: the character after a single "&" (upper
// case), or 0 when it has none.
wchar_t accessKey(const wchar_t* text) noexcept;

// A menu text as a menu without access keys shows it (Windows 11's own
// context menu): an access-key group such as "(&C)" is left out (with the
// blanks before it), any other single "&" is dropped and "&&" becomes "&".
// "Filter Copy...(&C)" gives "Filter Copy...".
std::wstring withoutAccessKey(const wchar_t* text);

// WM_MENUCHAR for `key` in `menu`: among our items there (identifiers
// `firstId` to `firstId` + `count` − 1), the one whose access key it is
// (MNC_EXECUTE), or, when several share it, the next after the highlighted
// one (MNC_SELECT). False when no item of ours has that key.
bool answerMenuChar(HMENU menu, wchar_t key, UINT firstId, UINT count, LRESULT& answer) noexcept;

// Loads string `id` into `text` (empty when missing); returns its length.
int loadText(HMODULE module, UINT id, wchar_t (&text)[kTextCapacity]) noexcept;

} // namespace sorvane::shellext::menu
