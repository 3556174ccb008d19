#include "ExplorerCommand.h"

#include "ExplorerCommandList.h"
#include "common/HandOff.h"
#include "Identifiers.h"
#include "Launcher.h"
#include "MenuItems.h"
#include "Module.h"
#include "Selection.h"

#include <shlwapi.h>

#include <new>
#include <string>
#include <vector>

namespace sorvane::shellext {

namespace {

// Selections of more items than this are looked at only when the shell
// allows a slow answer (off its user-interface thread).
constexpr DWORD kQuickItems = 256;

// A text from the language resources when they carry it, else from the
// extension's own (a language library older than a text lacks it).
std::wstring loadString(HMODULE resources, UINT id)
{
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(resources, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) length = ::LoadStringW(module::instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}

// Hands `text` to the caller in memory of the COM task allocator.
HRESULT duplicate(const std::wstring& text, LPWSTR* out) noexcept
{
    if (text.empty()) return E_FAIL;
    return ::SHStrDupW(text.c_str(), out);
}

// The entry is offered for what the main program can take: files, folders
// and drives of one folder. Items without a file-system path, items of
// several folders (search results, libraries; the command text names one
// folder for all) and the Start Menu folder get no entry.
bool offered(IShellItemArray* items)
{
    std::vector<std::wstring> paths;
    if (!shellItemPaths(items, paths)) return false;
    if (!handoff::oneParentFolder(paths)) return false;
    return !isStartMenuFolder(paths.front());
}

} // namespace

HRESULT CExplorerCommand::Create(REFIID riid, void** object) noexcept
{
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) CExplorerCommand(kEntry, nullptr);
    if (!created) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release(); // the query's reference keeps it, or it goes now
    return hr;
}

HRESULT CExplorerCommand::CreateCommand(UINT command, IUnknown* site, IExplorerCommand** object) noexcept
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (command >= kFlyoutCommandCount) return E_INVALIDARG;
    auto* created = new (std::nothrow) CExplorerCommand(command, site);
    if (!created) return E_OUTOFMEMORY;
    *object = created; // takes the creation's reference
    return S_OK;
}

CExplorerCommand::CExplorerCommand(UINT command, IUnknown* site) noexcept : command_(command)
{
    module::lock();
    resources_ = module::acquireResources();
    if (site) {
        site->AddRef();
        *site_.put() = site;
    }
}

CExplorerCommand::~CExplorerCommand()
{
    site_.reset();
    module::releaseResources();
    module::unlock();
}

STDMETHODIMP CExplorerCommand::QueryInterface(REFIID riid, void** object) noexcept
{
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IExplorerCommand) {
        *object = static_cast<IExplorerCommand*>(this);
    } else if (riid == IID_IObjectWithSite) {
        *object = static_cast<IObjectWithSite*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CExplorerCommand::AddRef() noexcept
{
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) CExplorerCommand::Release() noexcept
{
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// --- IExplorerCommand ---

STDMETHODIMP CExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) noexcept
{
    if (!name) return E_POINTER;
    *name = nullptr;
    try {
        if (isEntry()) return duplicate(loadString(resources_, kMessageCaption), name);
        const std::wstring text = loadString(resources_, kMenuTextFirst + command_);
        return duplicate(menu::withoutAccessKey(text.c_str()), name);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    if (!icon) return E_POINTER;
    *icon = nullptr;
    try {
        // An icon resource of the extension's own file, as "<path>,-<id>".
        const UINT id = isEntry() ? kEntryIcon : kCommandIconFirst + command_;
        return duplicate(std::wstring(module::path()) + L",-" + std::to_wstring(id), icon);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip) noexcept
{
    if (!tip) return E_POINTER;
    *tip = nullptr;
    if (isEntry()) return E_NOTIMPL;
    try {
        return duplicate(loadString(resources_, kHelpTextFirst + command_), tip);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CExplorerCommand::GetCanonicalName(GUID* name) noexcept
{
    if (!name) return E_POINTER;
    *name = isEntry() ? kExplorerCommandClassId : GUID_NULL;
    return isEntry() ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CExplorerCommand::GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) noexcept
{
    if (!state) return E_POINTER;
    *state = ECS_HIDDEN;
    // The entry decides for its flyout: nothing below it is shown when it is
    // hidden.
    if (!isEntry()) {
        *state = ECS_ENABLED;
        return S_OK;
    }
    // Every item's path is looked at; for a large selection that waits for
    // the call that may take its time, as the shell's contract asks.
    DWORD count = 0;
    if (!okToBeSlow && items && SUCCEEDED(items->GetCount(&count)) && count > kQuickItems) return E_PENDING;
    try {
        *state = offered(items) ? ECS_ENABLED : ECS_HIDDEN;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CExplorerCommand::GetFlags(EXPCMDFLAGS* flags) noexcept
{
    if (!flags) return E_POINTER;
    *flags = isEntry() ? ECF_HASSUBCOMMANDS : ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) noexcept
{
    if (!commands) return E_POINTER;
    *commands = nullptr;
    if (!isEntry()) return E_NOTIMPL;
    return CExplorerCommandList::Create(site_.get(), commands);
}

HWND CExplorerCommand::ownerWindow() const noexcept
{
    HWND window = nullptr;
    if (site_ && FAILED(::IUnknown_GetWindow(site_.get(), &window))) window = nullptr;
    return window;
}

STDMETHODIMP CExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) noexcept
{
    // The entry only opens its flyout.
    if (isEntry()) return E_NOTIMPL;
    std::vector<std::wstring> paths;
    try {
        shellItemPaths(items, paths); // none when any item is not a file-system item
    } catch (...) {
        paths.clear();
    }
    LaunchRequest request;
    request.owner = ownerWindow();
    request.command = command_;
    request.folder = module::folder();
    request.resources = resources_;
    request.ownModule = module::instance();
    std::wstring selectionList;
    launch(request, paths, selectionList); // failures are shown to the user
    return S_OK;
}

// --- IObjectWithSite ---

STDMETHODIMP CExplorerCommand::SetSite(IUnknown* site) noexcept
{
    if (site) site->AddRef();
    site_.reset();
    if (site) *site_.put() = site;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::GetSite(REFIID riid, void** site) noexcept
{
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(riid, site);
}

} // namespace sorvane::shellext
