#include "Launcher.h"

#include "HandOff.h"
#include "Identifiers.h"
#include "MenuItems.h"
#include "Selection.h"

#include <shellapi.h>

#include <new>

namespace sorvane::shellext {

namespace {

// The extension's message texts: from the language resources when they
// carry them, else from the extension's own.
void showMessage(const LaunchRequest& request, UINT textId) noexcept
{
    wchar_t text[menu::kTextCapacity];
    wchar_t caption[menu::kTextCapacity];
    if (menu::loadText(request.resources, textId, text) == 0) menu::loadText(request.ownModule, textId, text);
    if (menu::loadText(request.resources, kMessageCaption, caption) == 0)
        menu::loadText(request.ownModule, kMessageCaption, caption);
    ::MessageBoxW(request.owner, text, caption, MB_TOPMOST | MB_ICONINFORMATION);
}

const wchar_t* commandSwitch(UINT command) noexcept
{
    switch (command) {
    case kCommandCopy: return L"/C:";
    case kCommandMove: return L"/M:";
    case kCommandDelete: return L"/D:";
    default: return L"";
    }
}

// The command text for the selection, or empty when there is none.
std::wstring selectionText(const LaunchRequest& request)
{
    DropFiles drop(request.data);
    if (!drop.available()) return {};
    const std::vector<std::wstring> paths = drop.paths();
    if (paths.empty()) return {};
    return handoff::buildCommandText(commandSwitch(request.command), request.targetFolder, paths);
}

} // namespace

const wchar_t* startVerb(UINT command) noexcept { return command == kCommandDelete ? L"runas" : L"open"; }

void launch(const LaunchRequest& request, std::wstring& selectionList) noexcept
{
    selectionList.clear();
    std::wstring program;
    std::wstring parameters;
    try {
        selectionList = selectionText(request);
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

    const HINSTANCE started = ::ShellExecuteW(nullptr, startVerb(request.command), program.c_str(),
                                              parameters.c_str(), request.folder, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
        // No program will read the hand-off file: do not leave it behind.
        if (selectionList.size() > handoff::kMaxCommandLineText && parameters.compare(0, 3, L"/F:") == 0)
            ::DeleteFileW(parameters.c_str() + 3);
        showMessage(request, kStartFailedText);
    }
}

} // namespace sorvane::shellext
