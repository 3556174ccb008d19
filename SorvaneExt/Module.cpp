#include "Module.h"

#include "Identifiers.h"
#include "common/Raii.h"
#include "common/ResLang.h"

#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace sorvane::shellext::module {

namespace {

HINSTANCE g_instance = nullptr;
wchar_t g_path[MAX_PATH] = {};
wchar_t g_folder[MAX_PATH] = {};
volatile LONG g_locks = 0;
volatile LONG g_pictures = 0;

// Guards the shared resource module: handlers may live on several threads.
SRWLOCK g_resourceLock = SRWLOCK_INIT;
CResLang* g_resLang = nullptr;
LONG g_resourceUsers = 0;

} // namespace

void attach(HINSTANCE instance) noexcept
{
    g_instance = instance;
    const DWORD got = ::GetModuleFileNameW(instance, g_path, MAX_PATH);
    if (got == 0 || got >= MAX_PATH) {
        g_path[0] = L'\0';
        g_folder[0] = L'\0';
        return;
    }
    std::wcscpy(g_folder, g_path);
    if (wchar_t* slash = std::wcsrchr(g_folder, L'\\')) slash[1] = L'\0';
    else g_folder[0] = L'\0';
}

HINSTANCE instance() noexcept { return g_instance; }
const wchar_t* path() noexcept { return g_path; }
const wchar_t* folder() noexcept { return g_folder; }

void lock() noexcept { ::InterlockedIncrement(&g_locks); }
void unlock() noexcept { ::InterlockedDecrement(&g_locks); }
LONG lockCount() noexcept { return ::InterlockedCompareExchange(&g_locks, 0, 0); }

HMODULE acquireResources() noexcept
{
    ::AcquireSRWLockExclusive(&g_resourceLock);
    if (g_resourceUsers++ == 0) {
        g_resLang = new (std::nothrow) CResLang();
        if (g_resLang) g_resLang->Load(g_instance, 0, kLanguageBaseName);
    }
    HMODULE resources = g_resLang && g_resLang->resourceModule() ? g_resLang->resourceModule() : g_instance;
    ::ReleaseSRWLockExclusive(&g_resourceLock);
    return resources;
}

void releaseResources() noexcept
{
    ::AcquireSRWLockExclusive(&g_resourceLock);
    if (g_resourceUsers > 0 && --g_resourceUsers == 0) {
        delete g_resLang; // frees a language library
        g_resLang = nullptr;
    }
    ::ReleaseSRWLockExclusive(&g_resourceLock);
}

DWORD shellVersion() noexcept
{
    UniqueModule shell(::LoadLibraryW(L"Shell32.dll"));
    if (!shell) return 0;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(::GetProcAddress(shell.get(), "DllGetVersion")));
    if (!getVersion) return 0;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (FAILED(getVersion(&info))) return 0;
    return ((info.dwMajorVersion & 0xFFFF) << 16) | (info.dwMinorVersion & 0xFFFF);
}

void setPictures(bool pictures) noexcept { ::InterlockedExchange(&g_pictures, pictures ? 1 : 0); }
bool pictures() noexcept { return ::InterlockedCompareExchange(&g_pictures, 0, 0) != 0; }

} // namespace sorvane::shellext::module
