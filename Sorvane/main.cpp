// Sorvane.exe: the filtered copy, move, delete and compress program.
#include <windows.h>

#include "core/Startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return sorvane::runApplication(instance);
}
