// Process-wide state of the extension library: its module handle and folder,
// the count of living objects and locks that decides whether it may be
// unloaded, the resource module shared by the living handlers, and whether
// the shell draws pictures beside our items.
#pragma once

#include <windows.h>

namespace sorvane::shellext::module {

// Called on process attach with the library's own handle.
void attach(HINSTANCE instance) noexcept;

HINSTANCE instance() noexcept;
// Full path of the library, and its folder with the trailing backslash.
const wchar_t* path() noexcept;
const wchar_t* folder() noexcept;

// Living objects, external references on the class factory and
// LockServer(TRUE) calls each hold one lock.
void lock() noexcept;
void unlock() noexcept;
LONG lockCount() noexcept;

// The module strings and menu texts are loaded from. The first handler that
// asks chooses it (a language library beside the extension, or the library
// itself); it stays loaded until the last handler has let it go.
HMODULE acquireResources() noexcept;
void releaseResources() noexcept;

// The shell draws 32-bit pictures with alpha beside menu texts from
// version 6.0 on; older shells get the texts alone.
constexpr DWORD kPictureShellVersion = 0x00060000;
// The shell's version as (major << 16) | minor, or 0 when it cannot be told.
DWORD shellVersion() noexcept;
void setPictures(bool pictures) noexcept;
bool pictures() noexcept;

} // namespace sorvane::shellext::module
