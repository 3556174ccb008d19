// The flyout of the Explorer command's entry: an enumerator over its four
// commands (Filter Copy, Move, Delete and Compress), each made afresh when
// it is handed out.
#pragma once

#include "common/Raii.h"

#include <windows.h>
#include <shobjidl.h>

namespace sorvane::shellext {

class CExplorerCommandList final : public IEnumExplorerCommand {
public:
    // An enumerator at the first command; the commands it makes get `site`.
    static HRESULT Create(IUnknown* site, IEnumExplorerCommand** list) noexcept;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IEnumExplorerCommand
    STDMETHODIMP Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) noexcept override;
    STDMETHODIMP Skip(ULONG count) noexcept override;
    STDMETHODIMP Reset() noexcept override;
    STDMETHODIMP Clone(IEnumExplorerCommand** list) noexcept override;

private:
    CExplorerCommandList(IUnknown* site, UINT position) noexcept;
    ~CExplorerCommandList();
    CExplorerCommandList(const CExplorerCommandList&) = delete;
    CExplorerCommandList& operator=(const CExplorerCommandList&) = delete;

    volatile LONG references_ = 1;
    UINT position_ = 0;
    ComPtr<IUnknown> site_;
};

} // namespace sorvane::shellext
