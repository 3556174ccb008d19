// CExplorerCommand: Sorvane in Windows 11's own context menu. Explorer
// creates the entry "Sorvane" through the class factory (the sparse
// package's manifest names its class); the entry holds a flyout of Filter
// Copy, Move, Delete and Compress, each a command object of the same class.
// Choosing one starts the main program through the classic handler's
// launcher.
//
// Explorer calls these methods on its user-interface thread: none of them
// may throw, block on the network or keep anything the selection lends.
#pragma once

#include "common/Raii.h"

#include <windows.h>
#include <shobjidl.h>

namespace sorvane::shellext {

class CExplorerCommand final : public IExplorerCommand, public IObjectWithSite {
public:
    // The entry that holds the flyout (the class factory's object).
    static HRESULT Create(REFIID riid, void** object) noexcept;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IExplorerCommand
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) noexcept override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) noexcept override;
    STDMETHODIMP GetCanonicalName(GUID* name) noexcept override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) noexcept override;
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) noexcept override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) noexcept override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) noexcept override;
    STDMETHODIMP GetSite(REFIID riid, void** site) noexcept override;

    // The entry has no command offset.
    static constexpr UINT kEntry = 0xFFFFFFFF;

private:
    // A flyout command (offset 0..3) or the entry (kEntry); `site` is the
    // entry's site, handed on to the commands of its flyout.
    CExplorerCommand(UINT command, IUnknown* site) noexcept;
    ~CExplorerCommand();
    CExplorerCommand(const CExplorerCommand&) = delete;
    CExplorerCommand& operator=(const CExplorerCommand&) = delete;

    friend class CExplorerCommandList;
    static HRESULT CreateCommand(UINT command, IUnknown* site, IExplorerCommand** object) noexcept;

    bool isEntry() const noexcept { return command_ == kEntry; }
    HWND ownerWindow() const noexcept;

    volatile LONG references_ = 1;
    const UINT command_;
    HMODULE resources_ = nullptr;
    ComPtr<IUnknown> site_;
};

} // namespace sorvane::shellext
