#include "archive/DlgDownload.h"

#include "base/Shell.h"
#include "res/SorvaneRes.h"
#include "archive/LhaLibrary.h"

#include <new>

namespace sorvane {

namespace {
constexpr int kIdJapaneseLink = IDC_DOWNLOAD_JAPANESE;
constexpr int kIdEnglishLink = IDC_DOWNLOAD_ENGLISH;
constexpr int kIdText = IDC_DOWNLOAD_TEXT;
constexpr COLORREF kTextColour = 0xFF8000;
} // namespace

void showDownloadDialog()
{
    CDlgDownload dialog;
    dialog.DoModal(nullptr);
}

BOOL CDlgDownload::OnInitDialog(HWND, LPARAM)
{
    // Centred in the work area of the primary screen, size kept.
    RECT area = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT mine = {};
    GetWindowRect(&mine);
    const int width = mine.right - mine.left;
    const int height = mine.bottom - mine.top;
    ::SetWindowPos(m_hWnd, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    japanese_.reset(new (std::nothrow) ui::CStaticLink);
    english_.reset(new (std::nothrow) ui::CStaticLink);
    if (japanese_) {
        japanese_->SetTexts(kJapanesePage, L"\u65e5\u672c\u8a9e", 0);
        japanese_->Attach(GetDlgItem(kIdJapaneseLink));
    }
    if (english_) {
        english_->SetTexts(kEnglishPage, L"English", 0);
        english_->Attach(GetDlgItem(kIdEnglishLink));
    }
    return TRUE;
}

bool CDlgDownload::OnCommand(WORD id, WORD, HWND)
{
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(0);
        return true;
    }
    return false;
}

bool CDlgDownload::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_CTLCOLORSTATIC) {
        const HWND control = reinterpret_cast<HWND>(lParam);
        if (control == GetDlgItem(kIdText)) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, kTextColour);
            ::SetBkMode(dc, TRANSPARENT);
            result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            return true;
        }
        // The links colour themselves.
        for (const auto* link : {japanese_.get(), english_.get()}) {
            if (link && control == link->window()) {
                result = ::SendMessageW(control, message, wParam, lParam);
                return true;
            }
        }
        return false;
    }
    if (message == ui::CStaticLink::kClickMessage && wParam == WM_LBUTTONDOWN) {
        // A link asks us to act on its click: open its address.
        for (const auto* link : {japanese_.get(), english_.get()}) {
            if (link && reinterpret_cast<HWND>(lParam) == link->window()) openDocument(m_hWnd, link->link());
        }
        result = 0;
        return true;
    }
    return false;
}

void CDlgDownload::OnDestroy()
{
    if (japanese_) japanese_->Attach(nullptr);
    if (english_) english_->Attach(nullptr);
    japanese_.reset();
    english_.reset();
}

} // namespace sorvane
