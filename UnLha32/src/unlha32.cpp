// Exports of UnLha32.dll: Unlha() runs one archiver command given as text,
// UnlhaGetVersion() tells the interface version.
#include <windows.h>

#include <cstring>
#include <new>
#include <string>

#include "archiver.h"

namespace {
HMODULE g_self = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

// Version 1.00 of this library's interface; callers require at least 0.65.
extern "C" __declspec(dllexport) WORD WINAPI UnlhaGetVersion(void) { return 100; }

extern "C" __declspec(dllexport) int WINAPI Unlha(HWND, LPCSTR command, LPSTR output, DWORD output_size) {
    std::string message;
    int result;
    try {
        result = command ? unlha::run_command_line(g_self, command, message) : unlha::kErrCommand;
    } catch (const std::bad_alloc&) {
        result = unlha::kErrInternal;
        message = "out of memory";
    } catch (...) {
        result = unlha::kErrInternal;
        message = "internal error";
    }
    if (output && output_size > 0) {
        size_t n = message.size() < output_size - 1 ? message.size() : output_size - 1;
        std::memcpy(output, message.data(), n);
        output[n] = '\0';
    }
    return result;
}
