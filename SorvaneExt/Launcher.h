// Starting the main program with the selection: the command text, the
// hand-off file for a long one, ShellExecuteW, and the messages the user
// sees when that cannot be done.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace sorvane::shellext {

struct LaunchRequest {
    HWND owner = nullptr;               // owner of the messages
    UINT command = 0;                   // command offset (0 copy, 1 move, 2 delete, 3 compress)
    const wchar_t* targetFolder = nullptr; // drop folder of a right-drag, or null
    IDataObject* data = nullptr;        // the selection (CF_HDROP), for launch() without paths
    const wchar_t* folder = nullptr;    // the extension's folder, ending with '\'
    HMODULE resources = nullptr;        // language resources
    HMODULE ownModule = nullptr;        // the extension's own resources
};

// Builds the command text into `selectionList` (empty when the selection
// cannot be read) and starts the program. Failures are shown to the user.
// The selection is the CF_HDROP list of `request.data`.
void launch(const LaunchRequest& request, std::wstring& selectionList) noexcept;

// The same for a selection given as full paths (the Explorer command's
// items); `request.data` is not read. An empty list is no selection.
void launch(const LaunchRequest& request, const std::vector<std::wstring>& paths, std::wstring& selectionList) noexcept;

} // namespace sorvane::shellext
