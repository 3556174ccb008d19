#include "ExplorerCommandList.h"

#include "ExplorerCommand.h"
#include "Identifiers.h"
#include "Module.h"

#include <new>

namespace sorvane::shellext {

HRESULT CExplorerCommandList::Create(IUnknown* site, IEnumExplorerCommand** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    auto* created = new (std::nothrow) CExplorerCommandList(site, 0);
    if (!created) return E_OUTOFMEMORY;
    *list = created; // takes the creation's reference
    return S_OK;
}

CExplorerCommandList::CExplorerCommandList(IUnknown* site, UINT position) noexcept : position_(position)
{
    module::lock();
    if (site) {
        site->AddRef();
        *site_.put() = site;
    }
}

CExplorerCommandList::~CExplorerCommandList()
{
    site_.reset();
    module::unlock();
}

STDMETHODIMP CExplorerCommandList::QueryInterface(REFIID riid, void** object) noexcept
{
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumExplorerCommand) {
        *object = static_cast<IEnumExplorerCommand*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CExplorerCommandList::AddRef() noexcept
{
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) CExplorerCommandList::Release() noexcept
{
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CExplorerCommandList::Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) noexcept
{
    if (fetched) *fetched = 0;
    if (!commands) return E_POINTER;
    // Without a place for the number handed out, only one may be asked for.
    if (!fetched && count != 1) return E_INVALIDARG;
    ULONG handed = 0;
    while (handed < count && position_ < kFlyoutCommandCount) {
        const HRESULT hr = CExplorerCommand::CreateCommand(position_, site_.get(), &commands[handed]);
        if (FAILED(hr)) {
            // Nothing half done: what was handed out in this call is taken back.
            while (handed > 0) {
                commands[--handed]->Release();
                commands[handed] = nullptr;
            }
            return hr;
        }
        ++handed;
        ++position_;
    }
    if (fetched) *fetched = handed;
    return handed == count ? S_OK : S_FALSE;
}

STDMETHODIMP CExplorerCommandList::Skip(ULONG count) noexcept
{
    const UINT left = kFlyoutCommandCount - position_;
    const UINT skipped = count < left ? static_cast<UINT>(count) : left;
    position_ += skipped;
    return skipped == count ? S_OK : S_FALSE;
}

STDMETHODIMP CExplorerCommandList::Reset() noexcept
{
    position_ = 0;
    return S_OK;
}

STDMETHODIMP CExplorerCommandList::Clone(IEnumExplorerCommand** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    auto* created = new (std::nothrow) CExplorerCommandList(site_.get(), position_);
    if (!created) return E_OUTOFMEMORY;
    *list = created;
    return S_OK;
}

} // namespace sorvane::shellext
