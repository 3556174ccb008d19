// SorvaneCmd.exe: the console program. It reads its arguments as
// CommandLineToArgvW splits them (the rules its repeat command lines are
// quoted by), loads the texts of the user's language and runs one command.
#include "console/ConsoleOutput.h"
#include "console/ConsoleRun.h"
#include "console/ResultCodes.h"
#include "base/AppState.h"
#include "base/Strings.h"
#include "res/SorvaneRes.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> argumentsAfterProgram()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!list) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(list[i]);
    ::LocalFree(list);
    return arguments;
}

} // namespace

int wmain()
{
    using namespace sorvane;
    ConsoleOutput out;
    int code = kExitInternal;
    // The Japanese texts come from the main program's language library
    // beside this program ("Sorvane.0411"), the English ones from our own.
    app().instance = ::GetModuleHandleW(nullptr);
    app().resLang.Load(app().instance, 0, L"Sorvane");
    installCancelHandler();
    try {
        code = runConsole(argumentsAfterProgram(), out);
    } catch (...) {
        out.error(formatString(IDS_CMD_INTERNAL_ERROR, loadString(IDS_RUN_STOPPED).c_str()));
        code = kExitInternal;
    }
    app().resLang.Unload();
    return code;
}
