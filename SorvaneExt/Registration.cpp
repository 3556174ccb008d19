#include "Registration.h"

#include "Identifiers.h"
#include "common/Raii.h"

#include <oleauto.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace sorvane::shellext::registration {

namespace {

#define SORVANE_CLSID_KEY L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}"
#define SORVANE_COMMAND_KEY L"CLSID\\" SORVANE_EXPLORER_COMMAND_CLSID

const KeyEntry kKeys[] = {
    {L"SorvaneExt.SorveneShellExt.1", nullptr, L"Sorvane Shell Extension", Mark::Plain},
    {L"SorvaneExt.SorveneShellExt.1\\CLSID", nullptr, kClassIdText, Mark::Plain},
    {L"SorvaneExt.SorveneShellExt", nullptr, L"Sorvane Shell Extension", Mark::Plain},
    {L"SorvaneExt.SorveneShellExt\\CLSID", nullptr, kClassIdText, Mark::Plain},
    {L"SorvaneExt.SorveneShellExt\\CurVer", nullptr, L"SorvaneExt.SorveneShellExt.1", Mark::Plain},
    {L"CLSID", nullptr, nullptr, Mark::Keep},
    {SORVANE_CLSID_KEY, nullptr, L"Sorvane Shell Extension", Mark::Replace},
    {SORVANE_CLSID_KEY L"\\ProgID", nullptr, L"SorvaneExt.SorveneShellExt.1", Mark::Plain},
    {SORVANE_CLSID_KEY L"\\VersionIndependentProgID", nullptr, L"SorvaneExt.SorveneShellExt", Mark::Plain},
    {SORVANE_CLSID_KEY L"\\Programmable", nullptr, nullptr, Mark::Replace},
    {SORVANE_CLSID_KEY L"\\InprocServer32", nullptr, L"%MODULE%", Mark::Plain},
    {SORVANE_CLSID_KEY L"\\InprocServer32", L"ThreadingModel", L"Apartment", Mark::Plain},
    {SORVANE_CLSID_KEY L"\\TypeLib", nullptr, kTypeLibraryIdText, Mark::Plain},
    // The Explorer command: creatable like any in-process class. No shell key
    // names it: Windows 11 finds it through the package's manifest.
    {SORVANE_COMMAND_KEY, nullptr, kExplorerCommandDescription, Mark::Replace},
    {SORVANE_COMMAND_KEY L"\\InprocServer32", nullptr, L"%MODULE%", Mark::Plain},
    {SORVANE_COMMAND_KEY L"\\InprocServer32", L"ThreadingModel", L"Apartment", Mark::Plain},
    {L"Folder", nullptr, nullptr, Mark::Keep},
    {L"Folder\\ShellEx", nullptr, nullptr, Mark::Keep},
    {L"Folder\\ShellEx\\ContextMenuHandlers", nullptr, nullptr, Mark::Keep},
    {L"Folder\\ShellEx\\ContextMenuHandlers\\SorvaneMenu", nullptr, kClassIdText, Mark::Replace},
    {L"Folder\\ShellEx\\DragDropHandlers", nullptr, nullptr, Mark::Keep},
    {L"Folder\\ShellEx\\DragDropHandlers\\SorvaneMenu", nullptr, kClassIdText, Mark::Replace},
    {L"*", nullptr, nullptr, Mark::Keep},
    {L"*\\ShellEx", nullptr, nullptr, Mark::Keep},
    {L"*\\ShellEx\\ContextMenuHandlers", nullptr, nullptr, Mark::Keep},
    {L"*\\ShellEx\\ContextMenuHandlers\\SorvaneMenu", nullptr, kClassIdText, Mark::Replace},
};

#undef SORVANE_CLSID_KEY
#undef SORVANE_COMMAND_KEY

constexpr wchar_t kApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

HRESULT fromWin32(LONG error) noexcept { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

bool gone(LONG error) noexcept { return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// True when a key of the table lies inside another of its entries that is ours
// (marked Plain or Replace): removing that one removes it too.
bool insideOurKey(size_t index) noexcept
{
    const wchar_t* key = kKeys[index].key;
    for (size_t i = 0; i < index; ++i) {
        if (kKeys[i].mark == Mark::Keep) continue;
        const size_t length = std::wcslen(kKeys[i].key);
        if (std::wcsncmp(key, kKeys[i].key, length) == 0 && key[length] == L'\\') return true;
    }
    return false;
}

} // namespace

const KeyEntry* keyTable(size_t& count) noexcept
{
    count = sizeof(kKeys) / sizeof(kKeys[0]);
    return kKeys;
}

HRESULT writeKeys(const wchar_t* modulePath) noexcept
{
    try {
        const size_t count = sizeof(kKeys) / sizeof(kKeys[0]);
        for (size_t i = 0; i < count; ++i) {
            const KeyEntry& entry = kKeys[i];
            // A key written again (a second value) is not replaced a second time.
            const bool firstOfKey = i == 0 || std::wcscmp(kKeys[i - 1].key, entry.key) != 0;
            if (entry.mark == Mark::Replace && firstOfKey) {
                const LONG removed = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, entry.key);
                if (!gone(removed)) return fromWin32(removed);
            }
            UniqueRegKey key;
            const LONG created = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                   KEY_SET_VALUE, nullptr, key.put(), nullptr);
            if (created != ERROR_SUCCESS) return fromWin32(created);
            if (!entry.data) continue;
            const std::wstring data = std::wcscmp(entry.data, L"%MODULE%") == 0 ? std::wstring(modulePath)
                                                                                : std::wstring(entry.data);
            const LONG set = ::RegSetValueExW(key.get(), entry.valueName, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(data.c_str()),
                                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
            if (set != ERROR_SUCCESS) return fromWin32(set);
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT removeKeys() noexcept
{
    HRESULT result = S_OK;
    const size_t count = sizeof(kKeys) / sizeof(kKeys[0]);
    // Children before parents, so that a failure leaves the parents intact.
    for (size_t i = count; i-- > 0;) {
        const KeyEntry& entry = kKeys[i];
        if (entry.mark == Mark::Keep || insideOurKey(i)) continue;
        const LONG removed = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, entry.key);
        if (!gone(removed) && SUCCEEDED(result)) result = fromWin32(removed);
    }
    return result;
}

HRESULT registerTypeLibrary(const wchar_t* modulePath) noexcept
{
    ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(modulePath, REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    return ::RegisterTypeLib(library.get(), const_cast<OLECHAR*>(modulePath), nullptr);
}

HRESULT unregisterTypeLibrary(const wchar_t* modulePath) noexcept
{
    ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(modulePath, REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    TLIBATTR* attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);

    // Nothing to do when it is not registered (unregistering twice).
    wchar_t versionKey[128];
    std::swprintf(versionKey, 128, L"TypeLib\\%ls\\%u.%u", kTypeLibraryIdText, copy.wMajorVerNum,
                  copy.wMinorVerNum);
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, versionKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return S_OK;
    key.reset();
    return ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

void approve(bool approved) noexcept
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    if (approved) {
        // The text without its terminating null, as the shell reads it.
        ::RegSetValueExW(key.get(), kClassIdText, 0, REG_SZ, reinterpret_cast<const BYTE*>(kClassDescription),
                         static_cast<DWORD>(std::wcslen(kClassDescription) * sizeof(wchar_t)));
    } else {
        ::RegDeleteValueW(key.get(), kClassIdText);
    }
}

void notifyShell() noexcept { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

HRESULT registerServer(const wchar_t* modulePath) noexcept
{
    HRESULT hr = writeKeys(modulePath);
    if (SUCCEEDED(hr)) hr = registerTypeLibrary(modulePath);
    approve(true);
    notifyShell();
    return hr;
}

HRESULT unregisterServer(const wchar_t* modulePath) noexcept
{
    HRESULT hr = unregisterTypeLibrary(modulePath);
    const HRESULT keys = removeKeys();
    if (SUCCEEDED(hr)) hr = keys;
    approve(false);
    notifyShell();
    return hr;
}

} // namespace sorvane::shellext::registration
