// Shows one window of the program in the user's interface language, for a
// screenshot, and writes its screen rectangle ("x y width height") to a
// file once it is on screen; ends by itself after the given seconds.
//
//   jpn_showcase <window> <rect file> [seconds]
//
//   main        Sorvane.exe started without a command: its main window
//   agreement   the same, with the agreement viewer opened from its menu
//   copy        Sorvane.exe started with a copy: the operation dialog
//   browser     the same, with the extension browser opened from it
//   progress    the progress dialog of a copy under way, made here
//
// The program windows are those of the real Sorvane.exe of the
// deliverables folder; the progress dialog is the program's own class,
// made in this process, which takes its resources as the program does:
// from the language library beside it ("Sorvane.0411") when the interface
// language is Japanese.
#include "TestSupport.h"
#include "base/AppState.h"
#include "res/SorvaneRes.h"
#include "run/DlgProgress.h"
#include "run/OperationJob.h"
#include "common/ui/Window.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace sorvane;

namespace {

constexpr DWORD kWindowWait = 20000;
constexpr UINT kCommandAgreement = IDM_ABOUT;
constexpr UINT kCommandExit = IDM_EXIT;
constexpr int kPatternBrowseButton = IDC_BROWSE_EXTENSIONS;

std::wstring g_rectFile;

std::wstring wide(const char* text)
{
    std::wstring out;
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size > 1) {
        out.resize(static_cast<size_t>(size - 1));
        ::MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), size);
    }
    return out;
}

void pumpFor(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(20);
    }
}

bool writeRect(HWND window)
{
    RECT rect = {};
    if (!window || !::GetWindowRect(window, &rect)) return false;
    FILE* file = _wfopen(g_rectFile.c_str(), L"wb");
    if (!file) return false;
    std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(file);
    return true;
}

// A visible dialog box of the process other than `except`.
HWND findDialog(DWORD processId, HWND except, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        for (HWND window = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window;
             window = ::FindWindowExW(nullptr, window, L"#32770", nullptr)) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == processId && window != except && ::IsWindowVisible(window)) return window;
        }
        if (::GetTickCount() - start > ms) return nullptr;
        ::Sleep(50);
    }
}

// A copy of 1,234 files, a little more than half done.
int showProgress(DWORD ms)
{
    app().instance = ::GetModuleHandleW(nullptr);
    app().resLang.Load(app().instance, 0, L"Sorvane");
    ui::setResourceInstance(resourceModule());
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FF};
    ::InitCommonControlsEx(&controls);

    FILE_TREE_SETTING settings;
    settings.operation = kOperationCopy;
    settings.setSources(L"C:\\users\\Public\\Documents\\;Reports;Photos;notes.txt;");
    settings.setTarget(L"D:\\Backup");
    OperationJob job(settings, L"");
    auto* dialog = new CDlgProgress(job);
    job.ownedDialog = dialog;
    job.progress = dialog;
    if (!dialog->Create(nullptr)) {
        std::fprintf(stderr, "the progress dialog could not be created\n");
        return 1;
    }
    dialog->SetPhase(CDlgProgress::kScanning);
    job.scannedFiles = 1234;
    job.totalFiles = 1234;
    job.totalBytes = 734003200;
    dialog->UpdateCounters(false);
    dialog->SetPhase(CDlgProgress::kRunning);
    // Under way for 75 seconds.
    ULARGE_INTEGER start;
    start.LowPart = job.startTime.dwLowDateTime;
    start.HighPart = job.startTime.dwHighDateTime;
    start.QuadPart -= 75ull * 10000000ull;
    job.startTime.dwLowDateTime = start.LowPart;
    job.startTime.dwHighDateTime = start.HighPart;
    dialog->SetFolderText(L"C:\\users\\Public\\Documents\\Photos\\2024\\");
    dialog->SetFileText(L"C:\\users\\Public\\Documents\\Photos\\2024\\IMG_0815.jpg");
    job.completedFiles = 702;
    job.failedFiles = 1;
    job.doneBytes = 421527552;
    dialog->UpdateCounters(false);
    pumpFor(300);
    writeRect(dialog->m_hWnd);
    pumpFor(ms);
    ReleaseProgressDialog(job);
    app().resLang.Unload();
    return 0;
}

// The real program: its main window, or a dialog it opens.
int showProgram(const std::string& window, DWORD ms)
{
    const bool fromMenu = window == "main" || window == "agreement";
    test::TempFolder sources;
    test::writeBytes(sources / L"report.txt", "report");
    test::writeBytes(sources / L"photo.jpg", "photo");
    const std::wstring arguments =
        fromMenu ? L"" : L"/T:C:\\users\\Public\\Backup /C:" + sources.path() + L"\\;report.txt;photo.jpg;";
    test::ChildProcess program;
    if (!program.start(test::distFolder() + L"Sorvane.exe", arguments)) {
        std::fprintf(stderr, "Sorvane.exe could not be started\n");
        return 1;
    }
    HWND shown = nullptr;
    HWND mainWindow = nullptr;
    if (fromMenu) {
        mainWindow = test::findProcessWindow(program.id(), L"_KVT_Sorvane_Class", kWindowWait);
        shown = mainWindow;
        if (mainWindow && window == "agreement") {
            ::PostMessageW(mainWindow, WM_COMMAND, kCommandAgreement, 0);
            shown = findDialog(program.id(), nullptr, kWindowWait);
        }
    } else {
        HWND form = findDialog(program.id(), nullptr, kWindowWait);
        shown = form;
        if (form && window == "browser") {
            ::PostMessageW(form, WM_COMMAND, MAKEWPARAM(kPatternBrowseButton, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(form, kPatternBrowseButton)));
            shown = findDialog(program.id(), form, kWindowWait);
        }
    }
    if (!shown) {
        std::fprintf(stderr, "no %s window\n", window.c_str());
        return 1;
    }
    ::Sleep(500);
    writeRect(shown);
    ::Sleep(ms);
    if (mainWindow) ::PostMessageW(mainWindow, WM_COMMAND, kCommandExit, 0);
    program.wait(2000); // ended by the destructor otherwise
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: jpn_showcase main|agreement|copy|browser|progress <rect file> [seconds]\n");
        return 2;
    }
    const std::string window = argv[1];
    g_rectFile = wide(argv[2]);
    const DWORD ms = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) * 1000u : 6000u;
    if (window == "progress") return showProgress(ms);
    if (window == "main" || window == "agreement" || window == "copy" || window == "browser")
        return showProgram(window, ms);
    std::fprintf(stderr, "unknown window %s\n", window.c_str());
    return 2;
}
