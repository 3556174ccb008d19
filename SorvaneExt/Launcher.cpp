#include "Launcher.h"

#include "common/HandOff.h"
#include "Identifiers.h"
#include "Selection.h"

#include <shellapi.h>

#include <new>

namespace sorvane::shellext {

namespace {

constexpr int kMessageCapacity = 512;

// A text from the language resources when they carry it, else from the
// extension's own.
void loadMessageText(const LaunchRequest& request, UINT id, wchar_t (&text)[kMessageCapacity])
{
    text[0] = L'\0';
    if (::LoadStringW(request.resources, id, text, kMessageCapacity) > 0) return;
    if (::LoadStringW(request.ownModule, id, text, kMessageCapacity) <= 0) text[0] = L'\0';
}

// The extension's messages to the user.
void showMessage(const LaunchRequest& request, UINT textId) noexcept
{
    wchar_t text[kMessageCapacity];
    wchar_t caption[kMessageCapacity];
    loadMessageText(request, textId, text);
    loadMessageText(request, kMessageCaption, caption);
    ::MessageBoxW(request.owner, text, caption, MB_TOPMOST | MB_ICONINFORMATION);
}

const wchar_t* commandSwitch(UINT command) noexcept
{
    switch (command) {
    case kCommandCopy: return L"/C:";
    case kCommandMove: return L"/M:";
    case kCommandDelete: return L"/D:";
    case kCommandCompress: return L"/L:";
    default: return L"";
    }
}

// The full paths of the selection; empty when the data object holds none.
std::vector<std::wstring> selectedPaths(const LaunchRequest& request)
{
    DropFiles drop(request.data);
    if (!drop.available()) return {};
    return drop.paths();
}

} // namespace

void launch(const LaunchRequest& request, std::wstring& selectionList) noexcept
{
    selectionList.clear();
    std::vector<std::wstring> paths;
    try {
        paths = selectedPaths(request);
    } catch (...) {
        paths.clear(); // memory exhausted: no selection, as the user is told
    }
    launch(request, paths, selectionList);
}

void launch(const LaunchRequest& request, const std::vector<std::wstring>& paths, std::wstring& selectionList) noexcept
{
    selectionList.clear();
    std::wstring program;
    std::wstring parameters;
    try {
        if (paths.empty()) {
            showMessage(request, kNoSelectionText);
            return;
        }
        // The list names one folder for all items: items of several folders
        // (search results, a library) would be looked for in the first
        // one's, where a same-named file may be another one.
        if (!handoff::oneParentFolder(paths)) {
            showMessage(request, kSeveralFoldersText);
            return;
        }
        selectionList = handoff::buildCommandText(commandSwitch(request.command), request.targetFolder, paths);
        if (selectionList.empty()) {
            showMessage(request, kNoSelectionText);
            return;
        }
        program = std::wstring(request.folder) + kProgramFileName;
        parameters = handoff::programParameters(request.folder, selectionList);
    } catch (const std::bad_alloc&) {
        selectionList.clear();
        showMessage(request, kNoSelectionText);
        return;
    } catch (...) {
        showMessage(request, kStartFailedText);
        return;
    }
    if (parameters.empty()) {
        showMessage(request, kStartFailedText);
        return;
    }

    // Every command, delete included, runs in the user's own account: its
    // files go to the user's own Recycle Bin and its report into the user's
    // profile. Files the user may not delete are offered for a run as
    // administrator at the end of the delete.
    const HINSTANCE started = ::ShellExecuteW(nullptr, L"open", program.c_str(), parameters.c_str(), request.folder,
                                              SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
        // No program will read the hand-off file: do not leave it behind.
        if (selectionList.size() > handoff::kMaxCommandLineText && parameters.compare(0, 3, L"/F:") == 0)
            ::DeleteFileW(parameters.c_str() + 3);
        showMessage(request, kStartFailedText);
    }
}

} // namespace sorvane::shellext
