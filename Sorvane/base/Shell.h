// Opening documents with the shell ("open" verb), routed through one place
// so that tests can record what would be opened.
#pragma once

#include <windows.h>

namespace sorvane {

using OpenDocumentHook = bool (*)(HWND owner, const wchar_t* path);

bool openDocument(HWND owner, const wchar_t* path);
OpenDocumentHook setOpenDocumentHook(OpenDocumentHook hook);

} // namespace sorvane
