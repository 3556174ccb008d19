// CSorveneShellExt: the object Explorer creates for the context menu of
// selected files and folders and for the menu of a right-button drag onto a
// folder. It adds the Filter Copy, Move and Delete items and starts the main
// program with the selection when one is chosen.
#pragma once

#include "Identifiers.h"
#include "MenuPictures.h"
#include "common/Raii.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace sorvane::shellext {

class CSorveneShellExt final : public ISorveneShellExt, public IContextMenu3, public IShellExtInit {
public:
    // Creates an object and queries it for `riid` (the class factory's work).
    static HRESULT Create(REFIID riid, void** object) noexcept;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IDispatch, served from the type library in the library's resources
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) noexcept override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) noexcept override;

    // IContextMenu, IContextMenu2, IContextMenu3
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) noexcept override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) noexcept override;
    STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name, UINT capacity) noexcept override;
    STDMETHODIMP HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
    STDMETHODIMP HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept override;

private:
    CSorveneShellExt() noexcept;
    ~CSorveneShellExt();
    CSorveneShellExt(const CSorveneShellExt&) = delete;
    CSorveneShellExt& operator=(const CSorveneShellExt&) = delete;

    HRESULT typeInfo(ITypeInfo** info) noexcept;
    // The drop folder's path, or empty for an ordinary context menu.
    bool targetFolderPath(wchar_t (&path)[MAX_PATH]) const noexcept;

    volatile LONG references_ = 1;
    HMODULE resources_ = nullptr;
    PIDLIST_ABSOLUTE targetFolder_ = nullptr; // our own copy
    ComPtr<IDataObject> data_;
    std::wstring selectionList_;
    UINT firstCommand_ = 0;
    UINT itemCount_ = 0;          // items of the last QueryContextMenu
    menu::Pictures pictures_;     // the menu refers to them while it lives
    ComPtr<ITypeInfo> typeInfo_;
};

} // namespace sorvane::shellext
