#include "core/Startup.h"

#include "common/HandOff.h"
#include "common/ui/Window.h"
#include "archive/LhaLibrary.h"
#include "base/AppState.h"
#include "core/CurrentRun.h"
#include "core/CommandLine.h"
#include "core/MainWindow.h"
#include "base/Strings.h"
#include "res/SorvaneRes.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>

namespace sorvane {

namespace {

constexpr UINT kIdsAppName = IDS_APP_NAME;
constexpr UINT kIdsClassName = IDS_CLASS_NAME;
constexpr UINT kIdsVersion = IDS_VERSION;
constexpr int kAcceleratorTable = IDR_ACCELERATORS;

} // namespace

void initHelpFilePath(const wchar_t* exePath, WORD language, wchar_t* out, size_t capacity)
{
    const wchar_t* slash = std::wcsrchr(exePath, L'\\');
    const size_t folderLength = slash ? static_cast<size_t>(slash - exePath + 1) : 0;
    wchar_t folder[MAX_PATH] = {};
    std::wmemcpy(folder, exePath, folderLength < MAX_PATH ? folderLength : MAX_PATH - 1);
    std::swprintf(out, capacity, L"%ls%ls.%04X.chm", folder, L"Sorvane", language);
    if (::GetFileAttributesW(out) == INVALID_FILE_ATTRIBUTES) {
        std::swprintf(out, capacity, L"%ls%ls.chm", folder, L"Sorvane");
    }
}

int runApplication(HINSTANCE instance)
{
    AppState& state = app();
    CurrentRun& run = currentRun();

    // 1-2. COM and the resource module of the user's language.
    state.instance = instance;
    const HRESULT com = ::CoInitialize(nullptr);
    state.resLang.Load(instance, 0, nullptr);
    ui::setResourceInstance(state.resLang.resourceModule());

    // 3. The per-user data folder.
    initAppDataFolder(state.appDataFolder, kShortPathCapacity);

    // 4. Common controls: the Windows 95 classes and the date classes.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FF};
    ::InitCommonControlsEx(&controls);

    // 5. Names.
    loadString(kIdsAppName, state.appName, 50);
    loadString(kIdsClassName, state.className, 64);
    loadString(kIdsVersion, state.versionText, 20);

    // A missing archiver library is offered for download.
    LhaLibrary::setDownloadPrompt(showDownloadDialog);

    // 6. The help file beside the program.
    wchar_t exePath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    initHelpFilePath(exePath, static_cast<WORD>(state.resLang.currentLanguage() & 0xFFFF), state.helpFilePath,
                     kShortPathCapacity);

    auto finish = [&](int code) {
        if (SUCCEEDED(com)) ::CoUninitialize();
        state.resLang.Unload();
        return code;
    };

    // 7. The command text, parsed and applied.
    handoff::CommandText commandText = handoff::obtainCommandText();
    CommandTable table;
    int result = parseCommandLine(commandText.get(), table);
    const bool retry = result == kParseAccepted && table[kCmdRetry].seen;
    if (retry) {
        // A refused list has been explained to the user; nothing runs.
        if (!applyRetryList(table, run.settings, run.retryPaths)) return finish(-1);
        run.pendingOperation = kOperationDelete;
    } else if (result == kParseAccepted) {
        result = applyCommands(table, run.settings, run.pendingOperation);
    }

    // 8. Rejected, or nothing to run. A command line that names no
    // operation ("/H" or "/T:" alone) gives no sources either: the user
    // types them, as when the program is started by hand, in the copy
    // dialog that opens at once (with the target, when one was given).
    if (result == kParseError) return finish(-1);
    const bool typedSources = result == kParseAccepted && !namesOperation(table);
    if (result == kParseNoCommand || typedSources) {
        if (!run.settings.sources) return finish(-1);
        run.settings.sources[0] = L'\0';
        state.interactiveMode = true;
    }

    // 9-11. The main window: shown with its menu, or hidden with the
    // operation posted to it.
    if (!registerMainWindowClass(instance)) return finish(0);
    HWND window = createMainWindow(instance);
    if (!window) return finish(0);
    if (state.interactiveMode) {
        ::ShowWindow(window, SW_SHOWNORMAL);
        ::UpdateWindow(window);
        if (typedSources) ::PostMessageW(window, WM_COMMAND, kCommandFirstOperation + run.pendingOperation, 0);
    } else {
        const UINT command = retry ? kCommandRetryAsAdministrator : kCommandFirstOperation + run.pendingOperation;
        ::PostMessageW(window, WM_COMMAND, command, 0);
    }

    // 12. The message loop.
    HACCEL accelerators = ::LoadAcceleratorsW(resourceModule(), MAKEINTRESOURCEW(kAcceleratorTable));
    if (!accelerators) accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(kAcceleratorTable));
    MSG message;
    int quitCode = 0;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            quitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got == -1) break;
        if (accelerators && state.mainWindow &&
            ::TranslateAcceleratorW(state.mainWindow, accelerators, &message)) {
            continue;
        }
        if (state.activeDialog && ::IsDialogMessageW(state.activeDialog, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }

    // 13. Release COM and the language resources.
    return finish(quitCode);
}

} // namespace sorvane
