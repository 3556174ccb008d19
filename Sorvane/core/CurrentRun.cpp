#include "core/CurrentRun.h"

namespace sorvane {

CurrentRun& currentRun()
{
    static CurrentRun run;
    return run;
}

} // namespace sorvane
