#include "core/MainWindow.h"

#include "archive/CompressFiles.h"
#include "dialogs/History.h"
#include "run/DlgProgress.h"
#include "run/LogHtml.h"
#include "run/OperationJob.h"
#include "base/AppState.h"
#include "core/CurrentRun.h"
#include "core/OperationDialog.h"
#include "base/Strings.h"
#include "base/UserMessage.h"
#include "res/SorvaneRes.h"
#include "common/ui/AgreementDlg.h"

#include <commctrl.h>

#include <cwchar>
#include <memory>
#include <new>

namespace sorvane {

namespace {

constexpr UINT kIdsHint = IDS_HINT;
constexpr UINT kIdsCompressFailed = IDS_COMPRESS_FAILED;
constexpr UINT kIdsCompressCompleted = IDS_COMPRESS_COMPLETED;
constexpr UINT kIdsOperationRunning = IDS_OPERATION_RUNNING;
constexpr DWORD kWorkerWait = 180000;
constexpr UINT_PTR kOrphanTimer = 1;
// Room for a failure that names a file by its full path, deep as it may be.
constexpr size_t kCompressMessageCapacity = 1024;

// The run of the main window: at most one job at a time.
struct MainWindowState {
    std::unique_ptr<OperationJob> currentJob;
    HWND tooltip = nullptr;
    bool exitRequested = false; // Exit while a job runs: leave once it ended
};

MainWindowState& state()
{
    static MainWindowState s;
    return s;
}

void paintHint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    if (!dc) return;
    RECT client;
    ::GetClientRect(window, &client);
    const std::wstring hint = loadString(kIdsHint);
    ::SetTextColor(dc, RGB(255, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, hint.c_str(), static_cast<int>(hint.size()), &client, DT_CENTER | DT_WORDBREAK);
    ::EndPaint(window, &paint);
}

HWND createBalloonTooltip(HWND owner)
{
    HWND tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (tooltip) ::SetWindowPos(tooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return tooltip;
}

// The owner and flags of the box that ends a compress run. A hidden main
// window (a run started from Explorer) would hide the box from the taskbar
// and Alt+Tab: the box then stands on its own, in front, task-modal.
HWND resultBoxOwner(HWND window, UINT& flags)
{
    flags |= MB_SETFOREGROUND;
    if (window && ::IsWindowVisible(window)) return window;
    flags |= MB_TASKMODAL;
    return nullptr;
}

void runCompress(HWND window)
{
    wchar_t message[kCompressMessageCapacity] = {};
    const bool ok = CompressFiles(currentRun().settings, message, kCompressMessageCapacity) != 0;
    std::wstring text = loadString(ok ? kIdsCompressCompleted : kIdsCompressFailed) + message;
    if (std::wcslen(message) >= kCompressMessageCapacity - 1) text += L". . . . . .";
    UINT flags = ok ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
    HWND owner = resultBoxOwner(window, flags);
    showMessage(owner, text, flags);
    ::DestroyWindow(window);
}

void startJob(HWND window, const FILE_TREE_SETTING& settings, const std::wstring& reportPath,
              std::vector<std::wstring> retryPaths)
{
    std::unique_ptr<OperationJob> job(new (std::nothrow) OperationJob(settings, reportPath));
    if (job) job->retryPaths = std::move(retryPaths);
    HWND dialog = job ? StartOperation(*job, window) : nullptr;
    if (!dialog) {
        // Nothing could be started; a program started for this operation ends.
        if (!app().interactiveMode) ::DestroyWindow(window);
        return;
    }
    state().currentJob = std::move(job);
    app().activeDialog = dialog;
}

void openOperation(HWND window, uint32_t kind)
{
    // One job at a time: a second one must never replace the first. The
    // user is told why nothing opens.
    if (state().currentJob) {
        HWND owner = ::IsWindowVisible(window) ? window : app().activeDialog;
        showMessage(owner, loadString(kIdsOperationRunning), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    AppState& a = app();
    FILE_TREE_SETTING& current = currentRun().settings;
    current.operation = kind;
    FILE_TREE_SETTING dialogSettings(current);
    if (runOperationDialog(window, dialogSettings, kind) != 1) {
        if (!a.interactiveMode) ::DestroyWindow(window);
        return;
    }
    const std::wstring reportPath = report::chooseReportPath(a.appDataFolder);
    current = dialogSettings;

    if (kind == kOperationCompress) {
        runCompress(window);
        return;
    }
    startJob(window, current, reportPath, {});
}

// The files a delete in the user's account was denied, handed over to this
// run as administrator: they run at once, without the operation dialog.
void startRetry(HWND window)
{
    CurrentRun& run = currentRun();
    if (state().currentJob) return;
    if (run.retryPaths.empty()) {
        ::DestroyWindow(window); // nothing to run: the program ends
        return;
    }
    run.settings.operation = kOperationDelete;
    startJob(window, run.settings, report::chooseReportPath(app().appDataFolder), std::move(run.retryPaths));
    run.retryPaths.clear();
}

// The job is freed only once its worker has ended.
bool releaseJobIfEnded()
{
    OperationJob* job = state().currentJob.get();
    if (!job) return true;
    if (job->workerThread && ::WaitForSingleObject(job->workerThread, 0) != WAIT_OBJECT_0) return false;
    ReleaseProgressDialog(*job);
    state().currentJob.reset();
    app().activeDialog = nullptr;
    return true;
}

void afterJob(HWND window)
{
    if (state().exitRequested || !(app().interactiveMode && ::IsWindowVisible(window))) ::DestroyWindow(window);
}

void onJobFinished(HWND window)
{
    OperationJob* job = state().currentJob.get();
    if (job && job->workerThread) ::WaitForSingleObject(job->workerThread, kWorkerWait);
    if (!releaseJobIfEnded()) {
        // The worker is still busy after the bounded wait: ask it to stop and
        // free the job when it has ended, polled once a second, so that the
        // window stays responsive and nothing the worker uses is freed.
        job->cancel = 1;
        ::SetTimer(window, kOrphanTimer, 1000, nullptr);
        return;
    }
    afterJob(window);
}

void requestExit(HWND window)
{
    if (OperationJob* job = state().currentJob.get()) {
        // Leaving in the middle of a job would cut a file in half: stop it
        // and leave when it has ended.
        state().exitRequested = true;
        job->cancel = 1;
        return;
    }
    ::DestroyWindow(window);
}

LRESULT onCommand(HWND window, UINT command)
{
    if (command >= kCommandFirstOperation && command <= kCommandFirstOperation + kOperationDelete) {
        openOperation(window, command - kCommandFirstOperation);
        return 0;
    }
    if (command == kCommandRetryAsAdministrator) {
        startRetry(window);
        return 0;
    }
    if (command == kCommandAbout) {
        ui::ShowAgreement(window, app().helpFilePath);
        return 0;
    }
    if (command == kCommandExit) {
        requestExit(window);
        return 0;
    }
    return ::DefWindowProcW(window, WM_COMMAND, command, 0);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    try {
        switch (message) {
        case WM_CREATE:
            app().mainWindow = window;
            LoadAll();
            currentRun().settings.includeSubfolders = 1;
            state().tooltip = createBalloonTooltip(window);
            app().tooltip = state().tooltip;
            return 0;
        case WM_PAINT:
            paintHint(window);
            return 0;
        case WM_COMMAND:
            return onCommand(window, LOWORD(wParam));
        case WM_USER:
            if (wParam == kDialogClosedNotice) onJobFinished(window);
            return 0;
        case WM_TIMER:
            if (wParam == kOrphanTimer && releaseJobIfEnded()) {
                ::KillTimer(window, kOrphanTimer);
                afterJob(window);
            }
            return 0;
        case WM_CLOSE:
            requestExit(window);
            return 0;
        case WM_DESTROY:
            if (state().tooltip) ::DestroyWindow(state().tooltip);
            state().tooltip = nullptr;
            app().tooltip = nullptr;
            SaveAll();
            app().mainWindow = nullptr;
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    } catch (...) {
        // Nothing may leave the window procedure.
        return 0;
    }
}

} // namespace

bool registerMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
    windowClass.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON,
                                                          16, 16, LR_DEFAULTCOLOR | LR_SHARED));
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(kMainMenu);
    windowClass.lpszClassName = app().className;
    return ::RegisterClassExW(&windowClass) != 0;
}

HWND createMainWindow(HINSTANCE instance)
{
    HWND window = ::CreateWindowExW(0, app().className, app().appName, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                    nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    // The menu comes from the resource module, so that it speaks the
    // user's language.
    if (HMENU menu = ::LoadMenuW(resourceModule(), MAKEINTRESOURCEW(kMainMenu))) {
        HMENU old = ::GetMenu(window);
        ::SetMenu(window, menu);
        if (old) ::DestroyMenu(old);
    }
    return window;
}

} // namespace sorvane
