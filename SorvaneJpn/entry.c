/* Entry of the Japanese resource library. It carries resources only: the
 * programs load it and take their dialogs, menu and texts from it, so it
 * asks for no thread notifications and has nothing else to set up. */
#include <windows.h>

BOOL WINAPI SorvaneJpnEntry(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
