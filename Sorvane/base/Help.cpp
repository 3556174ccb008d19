#include "base/Help.h"

#include "common/ui/HtmlHelp.h"
#include "base/AppState.h"

namespace sorvane {

namespace {
constexpr UINT kHelpContext = 0x000F; // HH_HELP_CONTEXT
} // namespace

bool showContextHelp(HWND owner, DWORD context)
{
    // Through the one binding of the viewer, which tests can redirect.
    if (!app().helpFilePath[0]) return false;
    return ui::htmlHelp(owner, app().helpFilePath, kHelpContext, context) != nullptr;
}

} // namespace sorvane
