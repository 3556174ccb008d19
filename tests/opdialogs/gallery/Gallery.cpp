// Shows the operation dialog and the extension browser for the screenshots
// of docs/: `opdialogs_gallery copy|move|delete|compress expanded|collapsed
// <rect file> [seconds [ja]]`, or `opdialogs_gallery browser <folder> <rect
// file> [seconds [ja]]` (the browser after a search of that folder has
// ended). With "ja" the dialogs come from the Japanese library beside the
// program (Sorvane.0411). The dialog's screen rectangle is written to the
// rect file as "x y width height" once it is ready; the program ends by
// itself after the seconds (default 6).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/AppState.h"
#include "dialogs/DlgBrowseFileExt.h"
#include "dialogs/FileTreeDlg.h"
#include "dialogs/History.h"
#include "common/ui/Window.h"

using namespace sorvane;

namespace {

std::wstring g_rectFile;
DWORD g_seconds = 6;
CDlgBrowseFileExt* g_browser = nullptr;
HWND g_dialog = nullptr;
DWORD g_readySince = 0;

void writeRect(HWND window)
{
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    FILE* file = _wfopen(g_rectFile.c_str(), L"w");
    if (!file) return;
    std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(file);
}

BOOL CALLBACK findDialog(HWND window, LPARAM)
{
    wchar_t name[16] = {};
    if (::IsWindowVisible(window) && ::GetClassNameW(window, name, 16) && std::wcscmp(name, L"#32770") == 0) {
        g_dialog = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) noexcept
{
    if (!g_dialog) ::EnumThreadWindows(::GetCurrentThreadId(), findDialog, 0);
    if (!g_dialog) return;
    if (!g_readySince) {
        if (g_browser && g_browser->IsSearching()) return;
        ::RedrawWindow(g_dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        writeRect(g_dialog);
        g_readySince = ::GetTickCount();
    } else if (::GetTickCount() - g_readySince > g_seconds * 1000) {
        ::PostMessageW(g_dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

uint32_t kindOf(const std::wstring& name)
{
    if (name == L"move") return kOperationMove;
    if (name == L"compress") return kOperationCompress;
    if (name == L"delete") return kOperationDelete;
    return kOperationCopy;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments || count < 4) return 2;
    const std::wstring mode = arguments[1];
    const std::wstring detail = arguments[2];
    g_rectFile = arguments[3];
    if (count > 4) g_seconds = static_cast<DWORD>(_wtoi(arguments[4]));
    if (count > 5 && std::wcscmp(arguments[5], L"ja") == 0) {
        if (!app().resLang.Load(::GetModuleHandleW(nullptr), 0x0411, L"Sorvane")) return 3;
        ui::setResourceInstance(app().resLang.resourceModule());
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::SetTimer(nullptr, 0, 50, tick);

    if (mode == L"browser") {
        wchar_t text[CDlgBrowseFileExt::kTextCapacity] = L"Settings|*.ini;*.inf;";
        CDlgBrowseFileExt browser(detail.c_str(), text);
        g_browser = &browser;
        browser.Run(nullptr);
        g_browser = nullptr;
    } else {
        addStandardFolders(history().destines);
        history().archives.Add(L"Weekly|D:\\Archives\\weekly.lzh", false);
        seedPatterns(history().types);
        CFileTreeDlg dialog;
        const uint32_t kind = kindOf(mode);
        dialog.settings.operation = kind;
        dialog.settings.setSources(L"C:\\Users\\ann\\Documents\\;Reports;Budget 2024.xlsx;notes.txt;");
        dialog.settings.includeSubfolders = 1;
        if (kind == kOperationCopy || kind == kOperationMove) dialog.settings.setTarget(L"Backup|D:\\Backup");
        if (kind == kOperationDelete) dialog.settings.setPatterns(L"Temporary|*.tmp;*.bak;~*.*");
        dialog.Run(nullptr, kind, detail == L"expanded");
    }
    ::LocalFree(arguments);
    ::CoUninitialize();
    return 0;
}
