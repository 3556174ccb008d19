// What registering the extension writes for Explorer: the class, its ProgIDs,
// the handler entries under the file, folder and drag-and-drop keys of
// HKEY_CLASSES_ROOT, the type library and the approval value.
#pragma once

#include <windows.h>

namespace sorvane::shellext::registration {

// How an entry of the key table is treated.
enum class Mark {
    Keep,    // shared key: created when missing, never removed
    Replace, // ours: deleted with its subkeys before it is written, removed on unregistration
    Plain,   // ours: written; removed with its subkeys on unregistration
};

struct KeyEntry {
    const wchar_t* key;       // under HKEY_CLASSES_ROOT, parents listed before children
    const wchar_t* valueName; // null: the default value
    const wchar_t* data;      // null: key only; "%MODULE%" stands for the library's path
    Mark mark;
};

// The table, in the order it is written.
const KeyEntry* keyTable(size_t& count) noexcept;

// Writes or removes the keys of the table. On failure the Win32 error as an
// HRESULT; unregistering keys that are not there is no failure.
HRESULT writeKeys(const wchar_t* modulePath) noexcept;
HRESULT removeKeys() noexcept;

// Registers or unregisters the type library held in the library's resources.
HRESULT registerTypeLibrary(const wchar_t* modulePath) noexcept;
HRESULT unregisterTypeLibrary(const wchar_t* modulePath) noexcept;

// The approval value under HKLM\...\Shell Extensions\Approved. Nothing is
// done when that key cannot be opened.
void approve(bool approved) noexcept;

// Tells the shell that associations have changed.
void notifyShell() noexcept;

// The whole of DllRegisterServer and DllUnregisterServer.
HRESULT registerServer(const wchar_t* modulePath) noexcept;
HRESULT unregisterServer(const wchar_t* modulePath) noexcept;

} // namespace sorvane::shellext::registration
