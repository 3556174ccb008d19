// Shows one window of the program in the user's interface language, the
// way the program shows it, for a screenshot; ends by itself.
//
//   jpn_showcase progress [seconds]   the progress dialog of a copy under way
//
// Like the program, it takes its resources from the language library
// beside it ("Sorvane.0411") when the interface language is Japanese.
#include "core/AppState.h"
#include "run/DlgProgress.h"
#include "run/OperationJob.h"
#include "ui/Window.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace sorvane;

namespace {

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

// A copy of 1,234 files, a little more than half done.
int showProgress(DWORD ms)
{
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
    pumpFor(ms);
    ReleaseProgressDialog(job);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: jpn_showcase progress [seconds]\n");
        return 2;
    }
    const DWORD ms = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) * 1000u : 8000u;

    // The program's start-up: the resource module of the user's language,
    // the common controls.
    app().instance = ::GetModuleHandleW(nullptr);
    app().resLang.Load(app().instance, 0, L"Sorvane");
    ui::setResourceInstance(resourceModule());
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FF};
    ::InitCommonControlsEx(&controls);

    int result = 2;
    if (std::strcmp(argv[1], "progress") == 0) result = showProgress(ms);
    app().resLang.Unload();
    return result;
}
