// Owner drawing of the operation dialog: the picture buttons, and the
// history entries of the two combo boxes, whose label stands in red before
// a blue bar.
#include "dialogs/FileTreeDlg.h"

#include "common/ui/GdiRaii.h"
#include "common/ui/PictureButton.h"
#include "dialogs/LabelledText.h"

namespace sorvane {

using namespace filetree;

namespace {

constexpr COLORREF kLabelColour = RGB(255, 0, 0);
constexpr COLORREF kBarColour = RGB(0, 0, 255);
constexpr int kLabelIndent = 2;
constexpr int kBarOffset = 4;  // from the label's end
constexpr int kRestOffset = 8; // from the label's end
constexpr int kPlainIndent = 2;

std::wstring itemText(HWND combo, UINT index)
{
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

int textWidth(HDC dc, const std::wstring& text)
{
    SIZE size = {};
    if (!text.empty()) ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void drawText(HDC dc, int x, const RECT& item, const std::wstring& text, COLORREF colour)
{
    ::SetTextColor(dc, colour);
    RECT area = item;
    area.left = x;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

} // namespace

bool CFileTreeDlg::onDrawItem(const DRAWITEMSTRUCT& draw)
{
    const int id = static_cast<int>(draw.CtlID);
    if (draw.CtlType == ODT_BUTTON &&
        (id == kBrowseTarget || id == kAdvance || id == kBrowseExtensions)) {
        ui::DrawButton(m_hWnd, draw.hDC, id, draw.rcItem, draw.itemState);
        return true;
    }
    if (draw.CtlType == ODT_COMBOBOX && (id == kTarget || id == kPatterns)) {
        drawComboItem(draw);
        return true;
    }
    return false;
}

void CFileTreeDlg::drawComboItem(const DRAWITEMSTRUCT& draw)
{
    HDC dc = draw.hDC;
    if (!dc) return;
    ui::SavedDcState saved(dc);
    const RECT& item = draw.rcItem;
    ::SetBkMode(dc, TRANSPARENT);

    std::wstring rest;
    int x = item.left;
    if (draw.itemID != static_cast<UINT>(-1)) {
        const std::wstring text = itemText(draw.hwndItem, draw.itemID);
        const size_t bar = text.find(L'|');
        if (bar == std::wstring::npos) {
            rest = text;
        } else {
            // The label part never takes the selection colours.
            const LabelledText parts = splitLabelled(text);
            const int labelWidth = textWidth(dc, parts.label);
            RECT labelArea = item;
            labelArea.right = item.left + labelWidth + kRestOffset;
            ::FillRect(dc, &labelArea, ::GetSysColorBrush(COLOR_WINDOW));
            drawText(dc, item.left + kLabelIndent, item, parts.label, kLabelColour);
            drawText(dc, item.left + labelWidth + kBarOffset, item, L"|", kBarColour);
            rest = parts.value;
            x = labelArea.right;
        }
    }

    RECT restArea = item;
    restArea.left = x;
    if (draw.itemState & ODS_SELECTED) {
        ::FillRect(dc, &restArea, ::GetSysColorBrush(COLOR_HIGHLIGHT));
        drawText(dc, x, item, rest, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else {
        ::FillRect(dc, &restArea, ::GetSysColorBrush(COLOR_WINDOW));
        drawText(dc, x + kPlainIndent, item, rest, ::GetSysColor(COLOR_WINDOWTEXT));
    }
    if (draw.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &item);
}

} // namespace sorvane
