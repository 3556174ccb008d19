#include "base/AppState.h"

namespace sorvane {

AppState& app()
{
    static AppState state;
    return state;
}

HMODULE resourceModule()
{
    HMODULE module = app().resLang.resourceModule();
    return module ? module : ::GetModuleHandleW(nullptr);
}

} // namespace sorvane
