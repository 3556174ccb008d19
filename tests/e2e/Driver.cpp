#include "Driver.h"

#include <shlobj.h>

#include <cwchar>

namespace sorvane::e2e {

namespace {

struct Search {
    DWORD processId;
    int controlId;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    if (std::wcscmp(name, L"#32770") != 0) return TRUE;
    if (!::GetDlgItem(window, search->controlId)) return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND waitForDialog(DWORD processId, int controlId, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        Search search = {processId, controlId, nullptr};
        ::EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (::GetTickCount() - start >= ms) return nullptr;
        ::Sleep(50);
    }
}

HWND waitForMessageBox(DWORD processId, DWORD ms) { return waitForDialog(processId, 0xFFFF, ms); }

std::wstring messageBoxText(HWND box) { return controlText(box, 0xFFFF); }

void setControlText(HWND dialog, int id, const std::wstring& text)
{
    ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring controlText(HWND dialog, int id)
{
    wchar_t text[4096] = {};
    ::SendMessageW(::GetDlgItem(dialog, id), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

void click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool isChecked(HWND dialog, int id)
{
    return ::SendMessageW(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void setChecked(HWND dialog, int id, bool checked)
{
    if (isChecked(dialog, id) != checked) click(dialog, id);
}

void press(HWND dialog, int id)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

bool finishProgressDialog(DWORD processId, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    HWND progress = waitForDialog(processId, kFolderField, ms);
    if (!progress) return false;
    while (::GetTickCount() - start < ms) {
        if (!::IsWindow(progress)) return true; // closed by its countdown
        if (::IsWindowVisible(::GetDlgItem(progress, kCompleted))) {
            press(progress, kCompleted);
            return true;
        }
        ::Sleep(50);
    }
    return false;
}

std::wstring dataFolder()
{
    wchar_t appData[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE);
    return std::wstring(appData) + L"\\Brenmoor\\Sorvane\\";
}

int nextReportNumber()
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Brenmoor\\Sorvane", L"LogFileNo", RRF_RT_REG_DWORD, nullptr,
                       &value, &size) != ERROR_SUCCESS) {
        return 0;
    }
    return static_cast<int>(value);
}

} // namespace sorvane::e2e
