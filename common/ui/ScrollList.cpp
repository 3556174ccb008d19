#include "common/ui/ScrollList.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "common/ui/GdiRaii.h"

namespace sorvane::ui {

namespace {

bool isComboBox(HWND window) noexcept
{
    wchar_t name[32] = {};
    return ::GetClassNameW(window, name, 32) > 0 && ::_wcsicmp(name, L"COMBOBOX") == 0;
}

// The text of entry `index`, or an empty text when there is none.
std::wstring entryText(HWND combo, WPARAM index)
{
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 2, L'\0');
    const LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got == CB_ERR || got < 0 ? 0 : std::min(static_cast<size_t>(got), text.size()));
    return text;
}

} // namespace

CToolTip& scrollListToolTip() noexcept
{
    static CToolTip tip;
    if (!tip || !::IsWindow(tip.handle())) {
        tip.Create(nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX, WS_EX_TOPMOST | WS_EX_TRANSPARENT);
    }
    return tip;
}

CWndScrollList::~CWndScrollList() { Detach(); }

bool CWndScrollList::Attach(HWND comboBox)
{
    Detach();
    if (!comboBox || !::IsWindow(comboBox) || !isComboBox(comboBox)) return false;
    COMBOBOXINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetComboBoxInfo(comboBox, &info)) return false;

    CWindow::Attach(comboBox);
    // A drop-down list without an edit field reports itself, or nothing.
    edit_ = info.hwndItem && info.hwndItem != comboBox ? info.hwndItem : nullptr;
    list_ = info.hwndList;
    dropped_ = ::SendMessageW(comboBox, CB_GETDROPPEDSTATE, 0, 0) != 0;
    tipIndex_ = -1;
    widths_.clear();

    const auto self = reinterpret_cast<DWORD_PTR>(this);
    if (!::SetWindowSubclass(comboBox, SubclassProc, kComboMap, self)) {
        CWindow::Detach();
        edit_ = list_ = nullptr;
        return false;
    }
    if (edit_ && !::SetWindowSubclass(edit_, SubclassProc, kEditMap, self)) edit_ = nullptr;
    if (list_ && !::SetWindowSubclass(list_, SubclassProc, kListMap, self)) list_ = nullptr;

    // Entries already there count for the width.
    const LRESULT count = ::SendMessageW(comboBox, CB_GETCOUNT, 0, 0);
    if (KeepsStrings()) {
        for (LRESULT i = 0; i < count; ++i) AddWidth(EntryWidth(entryText(comboBox, static_cast<WPARAM>(i)).c_str()));
        if (!widths_.empty()) SetExtent(widestEntry());
    }

    CToolTip& tip = scrollListToolTip();
    if (edit_) tip.AddTool(edit_, L"", true, true, comboBox);
    if (list_) tip.AddTool(list_, L"", true, true, comboBox);
    return true;
}

void CWndScrollList::Unsubclass(HWND window, DWORD mapId) noexcept
{
    if (window && ::IsWindow(window)) ::RemoveWindowSubclass(window, SubclassProc, mapId);
}

HWND CWndScrollList::Detach() noexcept
{
    HWND combo = m_hWnd;
    if (!combo) return nullptr;
    CToolTip& tip = scrollListToolTip();
    if (edit_) tip.DelTool(edit_, combo);
    if (list_) tip.DelTool(list_, combo);
    Unsubclass(edit_, kEditMap);
    Unsubclass(list_, kListMap);
    Unsubclass(combo, kComboMap);
    edit_ = list_ = nullptr;
    widths_.clear();
    dropped_ = false;
    tipIndex_ = -1;
    CWindow::Detach();
    return combo;
}

LRESULT CALLBACK CWndScrollList::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR mapId, DWORD_PTR selfData) noexcept
{
    auto* self = reinterpret_cast<CWndScrollList*>(selfData);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, SubclassProc, mapId);
        if (mapId == kEditMap) {
            self->edit_ = nullptr;
        } else if (mapId == kListMap) {
            self->list_ = nullptr;
        } else if (self->m_hWnd == window) {
            self->Detach();
            try {
                self->OnFinalMessage(window);
            } catch (...) {
            }
        }
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    BOOL handled = FALSE;
    try {
        handled = self->ProcessWindowMessage(window, message, wParam, lParam, result, static_cast<DWORD>(mapId));
    } catch (...) {
        // A failed update of the widths leaves the control working as usual.
        handled = FALSE;
    }
    return handled ? result : ::DefSubclassProc(window, message, wParam, lParam);
}

BOOL CWndScrollList::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          LRESULT& result, DWORD mapId)
{
    switch (mapId) {
    case kComboMap:
        switch (message) {
        case CB_ADDSTRING:
        case CB_INSERTSTRING: {
            // Counted once the combo box has taken the entry.
            result = ::DefSubclassProc(window, message, wParam, lParam);
            if (result >= 0 && lParam && KeepsStrings()) {
                const int width = EntryWidth(reinterpret_cast<const wchar_t*>(lParam));
                const int widest = widestEntry();
                AddWidth(width);
                if (width > widest) SetExtent(width);
            }
            return TRUE;
        }
        case CB_DELETESTRING: {
            const bool counted = KeepsStrings();
            const std::wstring text = counted ? entryText(window, wParam) : std::wstring();
            result = ::DefSubclassProc(window, message, wParam, lParam);
            if (result != CB_ERR && counted) {
                const int widest = widestEntry();
                RemoveWidth(EntryWidth(text.c_str()));
                if (widestEntry() != widest) SetExtent(widestEntry());
            }
            if (tipIndex_ >= 0) tipIndex_ = -1;
            return TRUE;
        }
        case CB_RESETCONTENT:
            result = ::DefSubclassProc(window, message, wParam, lParam);
            if (!widths_.empty()) {
                widths_.clear();
                SetExtent(0);
            }
            tipIndex_ = -1;
            return TRUE;
        case WM_COMMAND:
            // Notifications that a parent passes back to the control.
            if (HIWORD(wParam) == CBN_DROPDOWN) dropped_ = true;
            if (HIWORD(wParam) == CBN_CLOSEUP) {
                dropped_ = false;
                if (edit_) ::SetFocus(edit_);
            }
            return FALSE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header && header->code == TTN_SHOW && list_ &&
                header->idFrom == reinterpret_cast<UINT_PTR>(list_) && tipIndex_ >= 0) {
                scrollListToolTip().MoveTo(tipRect_);
                result = TRUE;
                return TRUE;
            }
            return FALSE;
        }
        case WM_KEYDOWN:
            // A drop-down list without an edit field takes the keys itself.
            if (!edit_ && wParam == VK_DELETE && IsDropped()) {
                DeleteHighlighted();
                result = 0;
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
        }
    case kEditMap:
        if (message == WM_KEYDOWN && wParam == VK_DELETE && IsDropped()) {
            DeleteHighlighted();
            result = 0;
            return TRUE;
        }
        return FALSE;
    case kListMap:
        if (message == WM_MOUSEMOVE) {
            ShowEntryTip();
        } else if (message == WM_WINDOWPOSCHANGED && lParam) {
            const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (position->flags & SWP_SHOWWINDOW) dropped_ = true;
            if (position->flags & SWP_HIDEWINDOW) ListHidden();
        }
        return FALSE;
    default:
        return FALSE;
    }
}

bool CWndScrollList::KeepsStrings() const noexcept
{
    const LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    const bool ownerDrawn = (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
    return !ownerDrawn || (style & CBS_HASSTRINGS);
}

int CWndScrollList::EntryWidth(const wchar_t* text) const noexcept
{
    WindowDc dc(m_hWnd);
    if (!dc) return 0;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    SelectObjectGuard selected(dc.get(), font);
    SIZE extent = {};
    const size_t length = text ? std::wcslen(text) : 0;
    if (length) ::GetTextExtentPoint32W(dc.get(), text, static_cast<int>(std::min<size_t>(length, 0x7FFFFFF)), &extent);
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc.get(), &metrics);
    return extent.cx + 2 * metrics.tmAveCharWidth;
}

void CWndScrollList::AddWidth(int width)
{
    auto at = std::lower_bound(widths_.begin(), widths_.end(), std::make_pair(width, 0));
    if (at != widths_.end() && at->first == width) {
        ++at->second;
    } else {
        widths_.insert(at, std::make_pair(width, 1));
    }
}

void CWndScrollList::RemoveWidth(int width)
{
    auto at = std::lower_bound(widths_.begin(), widths_.end(), std::make_pair(width, 0));
    if (at == widths_.end() || at->first != width) return;
    if (--at->second <= 0) widths_.erase(at);
}

void CWndScrollList::SetExtent(int width) noexcept
{
    ::SendMessageW(m_hWnd, CB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
}

bool CWndScrollList::IsDropped() const noexcept
{
    return dropped_ || ::SendMessageW(m_hWnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

bool CWndScrollList::DeleteHighlighted() noexcept
{
    HWND combo = m_hWnd;
    const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR && index >= 0) {
        ::SendMessageW(::GetParent(combo), kEntryDeletedMessage, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(combo));
        // The parent may have let the combo box go meanwhile.
        if (!::IsWindow(combo) || m_hWnd != combo) return false;
        ::SendMessageW(combo, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
        const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
        const LRESULT select = std::min<LRESULT>(index, count - 1);
        if (select >= 0) ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
    }
    if (list_) ::SetFocus(list_);
    return true;
}

void CWndScrollList::ShowEntryTip() noexcept
{
    HWND combo = m_hWnd;
    const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index < 0 || index == tipIndex_ || !list_) return;
    std::wstring text;
    try {
        text = entryText(combo, static_cast<WPARAM>(index));
    } catch (...) {
        return;
    }
    RECT listWindow = {};
    ::GetWindowRect(list_, &listWindow);
    POINT origin = {0, 0};
    ::ClientToScreen(list_, &origin);
    const LRESULT top = ::SendMessageW(combo, CB_GETTOPINDEX, 0, 0);
    LRESULT height = ::SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0);
    if (height == CB_ERR || height <= 0) height = 16;

    tipRect_.left = listWindow.left + 2;
    tipRect_.top = origin.y + static_cast<LONG>((index - (top < 0 ? 0 : top)) * height);
    tipRect_.right = tipRect_.left + EntryWidth(text.c_str());
    tipRect_.bottom = tipRect_.top + static_cast<LONG>(height);

    CToolTip& tip = scrollListToolTip();
    tip.Activate(false);
    tip.UpdateTipText(list_, text.c_str(), combo);
    tip.MoveTo(tipRect_);
    tip.Activate(true);
    tipIndex_ = static_cast<int>(index);
}

void CWndScrollList::ListHidden() noexcept
{
    dropped_ = false;
    tipIndex_ = -1;
    if (HWND tip = scrollListToolTip().handle()) ::SendMessageW(tip, TTM_POP, 0, 0);
    // Focus left in the closed list (after a deletion) goes back to the edit field.
    if (edit_ && list_ && ::GetFocus() == list_) ::SetFocus(edit_);
}

} // namespace sorvane::ui
