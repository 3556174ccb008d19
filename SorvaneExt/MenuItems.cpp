#include "MenuItems.h"

#include "Identifiers.h"
#include "MenuPictures.h"

#include <vector>

namespace sorvane::shellext::menu {

namespace {

wchar_t upper(wchar_t c) noexcept
{
    // One character through the system's case mapping (any script).
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

} // namespace

int loadText(HMODULE module, UINT id, wchar_t (&text)[kTextCapacity]) noexcept
{
    text[0] = L'\0';
    const int length = ::LoadStringW(module, id, text, kTextCapacity);
    if (length <= 0) {
        text[0] = L'\0';
        return 0;
    }
    return length;
}

UINT insertItems(HMENU menu, UINT index, UINT firstId, UINT lastId, bool dragMenu, HMODULE resources,
                 const Pictures* pictures) noexcept
{
    const UINT items = dragMenu ? 2 : kCommandCount;
    // Identifiers beyond the range belong to other handlers of the menu.
    if (lastId < firstId || lastId - firstId < items - 1) return 0;

    UINT position = index;
    if (!dragMenu) ::InsertMenuW(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    for (UINT offset = 0; offset < items; ++offset) {
        wchar_t text[kTextCapacity];
        loadText(resources, kMenuTextFirst + offset, text);
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.fType = MFT_STRING;
        item.wID = firstId + offset;
        item.dwTypeData = text;
        if (HBITMAP picture = pictures ? pictures->get(offset) : nullptr) {
            item.fMask |= MIIM_BITMAP;
            item.hbmpItem = picture;
        }
        ::InsertMenuItemW(menu, position++, TRUE, &item);
    }
    ::InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return items;
}

wchar_t accessKey(const wchar_t* text) noexcept
{
    if (!text) return 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p != L'&') continue;
        if (p[1] == L'&') {
            ++p; // "&&" is an ampersand shown as it is
            continue;
        }
        return p[1] ? upper(p[1]) : 0;
    }
    return 0;
}

std::wstring withoutAccessKey(const wchar_t* text)
{
    std::wstring plain;
    if (!text) return plain;
    for (const wchar_t* p = text; *p; ++p) {
        // "(&C)", also in full-width parentheses as Japanese texts may write it.
        const bool open = *p == L'(' || *p == L'\uFF08';
        if (open && p[1] == L'&' && p[2] && p[2] != L'&' && (p[3] == L')' || p[3] == L'\uFF09')) {
            while (!plain.empty() && (plain.back() == L' ' || plain.back() == L'\u3000')) plain.pop_back();
            p += 3;
            continue;
        }
        if (*p == L'&') {
            if (p[1] == L'&') plain.push_back(L'&');
            if (p[1]) ++p;
            if (*p != L'&') plain.push_back(*p);
            continue;
        }
        plain.push_back(*p);
    }
    return plain;
}

bool answerMenuChar(HMENU menu, wchar_t key, UINT firstId, UINT count, LRESULT& answer) noexcept
{
    answer = 0;
    if (!menu || !key || count == 0) return false;
    const wchar_t wanted = upper(key);
    const int total = ::GetMenuItemCount(menu);
    std::vector<int> matches;
    int highlighted = -1;
    try {
        for (int position = 0; position < total; ++position) {
            const UINT state = ::GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION);
            if (state != static_cast<UINT>(-1) && (state & MF_HILITE)) highlighted = position;
            const UINT id = ::GetMenuItemID(menu, position);
            if (id == static_cast<UINT>(-1) || id < firstId || id - firstId >= count) continue;
            wchar_t text[kTextCapacity] = {};
            ::GetMenuStringW(menu, static_cast<UINT>(position), text, kTextCapacity, MF_BYPOSITION);
            if (accessKey(text) == wanted) matches.push_back(position);
        }
    } catch (...) {
        return false;
    }
    if (matches.empty()) return false;
    if (matches.size() == 1) {
        answer = MAKELRESULT(matches.front(), MNC_EXECUTE);
        return true;
    }
    int next = matches.front();
    for (int position : matches) {
        if (position > highlighted) {
            next = position;
            break;
        }
    }
    answer = MAKELRESULT(next, MNC_SELECT);
    return true;
}

} // namespace sorvane::shellext::menu
