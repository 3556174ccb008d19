#include "common/ui/AgreementDlg.h"

#include <richedit.h>
#include <shellapi.h>

#include <htmlhelp.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/ui/HtmlHelp.h"

namespace sorvane::ui {

namespace {

constexpr LONG kLongestLink = 4096;

// Hands a block of memory to EM_STREAMIN piece by piece.
struct MemoryReader {
    const BYTE* data;
    DWORD size;
    DWORD offset;
};

DWORD CALLBACK readMemory(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) noexcept
{
    auto* reader = reinterpret_cast<MemoryReader*>(cookie);
    const DWORD left = reader->size - reader->offset;
    const DWORD count = wanted > 0 && static_cast<DWORD>(wanted) < left ? static_cast<DWORD>(wanted) : left;
    if (count) std::memcpy(buffer, reader->data + reader->offset, count);
    reader->offset += count;
    *got = static_cast<LONG>(count);
    return 0;
}

bool shellOpen(const std::wstring& target) noexcept
{
    if (target.empty()) return false;
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

} // namespace

CAgreementDlg::CAgreementDlg(const wchar_t* helpFile, int agreementId)
    : helpFile_(helpFile ? helpFile : L""), agreementId_(agreementId)
{
}

CAgreementDlg::~CAgreementDlg()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

int CAgreementDlg::Show(HWND owner)
{
    const INT_PTR result = DoModal(owner);
    richEdit_.reset();
    richEditClass_ = L"";
    return result == 1 ? 1 : 0;
}

bool CAgreementDlg::LoadTextLibrary() noexcept
{
    if (richEdit_) return true;
    // The viewer asks for the narrow-character class of either library.
    richEdit_.reset(::LoadLibraryW(L"RichEd20.Dll"));
    if (richEdit_) {
        richEditClass_ = L"RICHEDIT20A";
        return true;
    }
    richEdit_.reset(::LoadLibraryW(L"RichEd32.Dll"));
    if (richEdit_) {
        richEditClass_ = L"RICHEDIT";
        return true;
    }
    richEditClass_ = L"";
    return false;
}

BOOL CAgreementDlg::OnInitDialog(HWND, LPARAM)
{
    CentreInWorkArea();
    if (HWND placeholder = GetDlgItem(kPlaceholderId)) ::ShowWindow(placeholder, SW_HIDE);
    if (LoadTextLibrary()) {
        if (HWND box = CreateTextBox()) {
            ::SendMessageW(box, EM_SETEVENTMASK, 0, ENM_LINK);
            ::SendMessageW(box, EM_AUTOURLDETECT, TRUE, 0);
            RECT client = {};
            ::GetClientRect(box, &client);
            ::SendMessageW(box, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&client));
            if (!StreamAgreement(box)) ::SetWindowTextW(box, kMissingText);
            ::SendMessageW(box, EM_SETREADONLY, TRUE, 0);
            ::SendMessageW(box, EM_SETSEL, 0, 0);
        }
    }
    if (HWND ok = GetDlgItem(IDOK)) {
        ::SetFocus(ok);
        return FALSE;
    }
    return TRUE;
}

void CAgreementDlg::CentreInWorkArea() noexcept
{
    RECT area = {};
    RECT mine = {};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) || !GetWindowRect(&mine)) return;
    const int x = area.left + ((area.right - area.left) - (mine.right - mine.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (mine.bottom - mine.top)) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CAgreementDlg::CreateTextBox() noexcept
{
    HWND placeholder = GetDlgItem(kPlaceholderId);
    RECT rect = {};
    if (placeholder) {
        rect = ChildRect(kPlaceholderId);
    } else {
        GetClientRect(&rect);
    }
    HWND box = ::CreateWindowExW(0, richEditClass_, L"",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER | WS_TABSTOP | ES_MULTILINE,
                                 rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextBoxId)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (!box) return nullptr;
    // In the placeholder's place in the tab order, with the dialog's font.
    if (placeholder) ::SetWindowPos(box, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SendMessageW(box, WM_SETFONT, static_cast<WPARAM>(SendMessage(WM_GETFONT)), FALSE);
    return box;
}

bool CAgreementDlg::StreamAgreement(HWND box) noexcept
{
    HINSTANCE module = resourceInstance();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(agreementId_), kAgreementType);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const auto* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    if (!data || size == 0) return false;

    MemoryReader reader = {data, size, 0};
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&reader);
    stream.pfnCallback = readMemory;
    const LRESULT read = ::SendMessageW(box, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    return stream.dwError == 0 && read > 0;
}

bool CAgreementDlg::OnCommand(WORD id, WORD, HWND)
{
    if (id == IDOK) {
        EndDialog(1);
        return true;
    }
    if (id == IDCANCEL) {
        EndDialog(0);
        return true;
    }
    return false;
}

bool CAgreementDlg::OnNotify(int id, NMHDR* header, LRESULT& result)
{
    if (id != kTextBoxId || !header || header->code != EN_LINK) return false;
    const auto* link = reinterpret_cast<const ENLINK*>(header);
    if (link->msg != WM_LBUTTONDOWN) return false;
    OpenLink(TextRange(header->hwndFrom, link->chrg.cpMin, link->chrg.cpMax));
    result = 1; // the click is taken: no caret moves
    return true;
}

std::wstring CAgreementDlg::TextRange(HWND box, LONG first, LONG last) const
{
    if (!box || first < 0 || last <= first) return {};
    if (last - first > kLongestLink) last = first + kLongestLink;
    const size_t count = static_cast<size_t>(last - first);
    if (::IsWindowUnicode(box)) {
        std::vector<wchar_t> buffer(count + 1, L'\0');
        TEXTRANGEW range = {{first, last}, buffer.data()};
        const LRESULT got = ::SendMessageW(box, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        return std::wstring(buffer.data(), got > 0 ? std::min(static_cast<size_t>(got), count) : 0);
    }
    // The narrow-character box answers in the system code page.
    std::vector<char> buffer(count * 2 + 1, '\0');
    TEXTRANGEA range = {{first, last}, buffer.data()};
    const LRESULT got = ::SendMessageW(box, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    const int bytes = got > 0 ? static_cast<int>(std::strlen(buffer.data())) : 0;
    if (bytes == 0) return {};
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, buffer.data(), bytes, nullptr, 0);
    std::wstring text(static_cast<size_t>(wide > 0 ? wide : 0), L'\0');
    if (wide > 0) ::MultiByteToWideChar(CP_ACP, 0, buffer.data(), bytes, &text[0], wide);
    return text;
}

void CAgreementDlg::OpenLink(const std::wstring& text) const
{
    if (text.empty()) return;
    if (::_wcsnicmp(text.c_str(), L"file:", 5) != 0) {
        shellOpen(text);
        return;
    }
    const std::wstring rest = text.substr(5);
    const bool bareName = !rest.empty() && rest.find_first_of(L"\\:") == std::wstring::npos;
    // A bare file name that is not in the current folder may be one of the
    // files beside the program. (Asking the shell first is no test: some
    // shells start the document's program even for a missing file.)
    if (bareName && ::GetFileAttributesW(rest.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const std::wstring besideProgram = programFolder() + rest;
        if (besideProgram.size() > rest.size() &&
            ::GetFileAttributesW(besideProgram.c_str()) != INVALID_FILE_ATTRIBUTES) {
            shellOpen(besideProgram);
            return;
        }
    }
    shellOpen(rest);
}

bool CAgreementDlg::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result)
{
    if (message != WM_HELP) return false;
    if (lParam) OnHelp(*reinterpret_cast<const HELPINFO*>(lParam));
    result = TRUE;
    return true;
}

void CAgreementDlg::OnHelp(const HELPINFO& info) const noexcept
{
    // Help asked for a menu has nothing to show.
    if (info.iContextType != HELPINFO_WINDOW || helpFile_.empty()) return;
    if (info.iCtrlId == kTextBoxId || info.iCtrlId == IDOK) {
        static const DWORD popups[] = {kTextBoxId, kTextBoxHelp, IDOK, kOkHelp, 0, 0};
        htmlHelp(static_cast<HWND>(info.hItemHandle), helpFile_.c_str(), HH_TP_HELP_WM_HELP,
                 reinterpret_cast<DWORD_PTR>(popups));
    } else {
        htmlHelp(m_hWnd, helpFile_.c_str(), HH_HELP_CONTEXT, kHelpTopic);
    }
}

int ShowAgreement(HWND owner, const wchar_t* helpFile)
{
    CAgreementDlg dialog(helpFile);
    return dialog.Show(owner);
}

} // namespace sorvane::ui
