#include "ShellExt.h"

#include "Launcher.h"
#include "MenuItems.h"
#include "Module.h"
#include "Selection.h"

#include <oleauto.h>

#include <new>

namespace sorvane::shellext {

namespace {

HRESULT itemCount(UINT count) noexcept { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, count); }

} // namespace

HRESULT CSorveneShellExt::Create(REFIID riid, void** object) noexcept
{
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) CSorveneShellExt();
    if (!created) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release(); // the query's reference keeps it, or it goes now
    return hr;
}

CSorveneShellExt::CSorveneShellExt() noexcept
{
    module::lock();
    module::setPictures(module::shellVersion() >= module::kPictureShellVersion);
    resources_ = module::acquireResources();
}

CSorveneShellExt::~CSorveneShellExt()
{
    if (targetFolder_) ::ILFree(targetFolder_);
    data_.reset();
    typeInfo_.reset();
    module::releaseResources();
    module::unlock();
}

STDMETHODIMP CSorveneShellExt::QueryInterface(REFIID riid, void** object) noexcept
{
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kDispatchInterfaceId) {
        *object = static_cast<ISorveneShellExt*>(this);
    } else if (riid == IID_IContextMenu || riid == IID_IContextMenu2 || riid == IID_IContextMenu3) {
        *object = static_cast<IContextMenu3*>(this);
    } else if (riid == IID_IShellExtInit) {
        *object = static_cast<IShellExtInit*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CSorveneShellExt::AddRef() noexcept
{
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) CSorveneShellExt::Release() noexcept
{
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// --- IDispatch ---

HRESULT CSorveneShellExt::typeInfo(ITypeInfo** info) noexcept
{
    if (!typeInfo_) {
        // From the library's own file, so that it works unregistered.
        ComPtr<ITypeLib> library;
        const HRESULT hr = ::LoadTypeLibEx(module::path(), REGKIND_NONE, library.put());
        if (FAILED(hr)) return hr;
        const HRESULT found = library->GetTypeInfoOfGuid(kDispatchInterfaceId, typeInfo_.put());
        if (FAILED(found)) return found;
    }
    *info = typeInfo_.get();
    (*info)->AddRef();
    return S_OK;
}

STDMETHODIMP CSorveneShellExt::GetTypeInfoCount(UINT* count) noexcept
{
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CSorveneShellExt::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return typeInfo(info);
}

STDMETHODIMP CSorveneShellExt::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    const HRESULT hr = typeInfo(info.put());
    if (FAILED(hr)) return hr;
    return ::DispGetIDsOfNames(info.get(), names, count, ids);
}

STDMETHODIMP CSorveneShellExt::Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* parameters,
                                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    const HRESULT hr = typeInfo(info.put());
    if (FAILED(hr)) return hr;
    return ::DispInvoke(static_cast<ISorveneShellExt*>(this), info.get(), member, flags, parameters, result,
                        exception, argumentError);
}

// --- IShellExtInit ---

STDMETHODIMP CSorveneShellExt::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY) noexcept
{
    if (targetFolder_) {
        ::ILFree(targetFolder_);
        targetFolder_ = nullptr;
    }
    data_.reset();
    if (folder) {
        targetFolder_ = reinterpret_cast<PIDLIST_ABSOLUTE>(::ILClone(reinterpret_cast<PCUIDLIST_RELATIVE>(folder)));
        if (!targetFolder_) return E_OUTOFMEMORY;
    }
    if (data) {
        data->AddRef();
        *data_.put() = data;
    }
    return S_OK;
}

// --- IContextMenu ---

bool CSorveneShellExt::targetFolderPath(wchar_t (&path)[MAX_PATH]) const noexcept
{
    path[0] = L'\0';
    return targetFolder_ && ::SHGetPathFromIDListW(targetFolder_, path) && path[0];
}

STDMETHODIMP CSorveneShellExt::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) noexcept
{
    try {
        firstCommand_ = firstId;
        itemCount_ = 0;
        // Defaults only, or no verbs at all: nothing of ours, unless the
        // shell asks for verbs or builds an Explorer window's menu.
        if ((flags & 0x0F) != 0 && (flags & (CMF_VERBSONLY | CMF_EXPLORE)) == 0) return itemCount(0);
        if (!menu) return E_INVALIDARG;

        DropFiles drop(data_.get());
        if (!drop.available() || drop.count() == 0) return itemCount(0);
        const std::wstring first = drop.path(0);
        if (first.empty()) return itemCount(0);
        if (isStartMenuFolder(first)) return itemCount(0);

        wchar_t target[MAX_PATH];
        const bool dragMenu = targetFolder_ != nullptr;
        if (dragMenu) {
            // A drop folder outside the file system takes nothing; a drop
            // onto the items' own folder would do nothing.
            if (!targetFolderPath(target)) return itemCount(0);
            if (samePath(target, folderPart(first))) return itemCount(0);
        }
        if (module::pictures()) pictures_.prepare(module::instance(), menu::menuDpi());
        itemCount_ = menu::insertItems(menu, index, firstId, lastId, dragMenu, resources_,
                                       module::pictures() ? &pictures_ : nullptr);
        return itemCount(itemCount_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

STDMETHODIMP CSorveneShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) noexcept
{
    if (!info) return E_INVALIDARG;
    // A verb given as text is not one of ours.
    if (!IS_INTRESOURCE(info->lpVerb)) return E_INVALIDARG;
    // Only the identifiers of our own items.
    if (LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb)) >= kCommandCount) return E_INVALIDARG;
    wchar_t target[MAX_PATH];
    LaunchRequest request;
    request.owner = info->hwnd;
    request.command = LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb));
    request.targetFolder = targetFolderPath(target) ? target : nullptr;
    request.data = data_.get();
    request.folder = module::folder();
    request.resources = resources_;
    request.ownModule = module::instance();
    launch(request, selectionList_);
    return S_OK;
}

STDMETHODIMP CSorveneShellExt::GetCommandString(UINT_PTR command, UINT type, UINT*, CHAR* name, UINT capacity) noexcept
{
    if (command >= kCommandCount) return E_INVALIDARG;
    const UINT textId = static_cast<UINT>(command) + kHelpTextFirst;
    if (type == GCS_HELPTEXTW) {
        if (!name || capacity == 0) return E_INVALIDARG;
        auto* wide = reinterpret_cast<wchar_t*>(name);
        wide[0] = L'\0';
        if (::LoadStringW(resources_, textId, wide, static_cast<int>(capacity)) <= 0) wide[0] = L'\0';
        return S_OK;
    }
    if (type == GCS_HELPTEXTA) {
        if (!name || capacity == 0) return E_INVALIDARG;
        wchar_t text[menu::kTextCapacity];
        menu::loadText(resources_, textId, text);
        if (::WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, text, -1, name, static_cast<int>(capacity), nullptr,
                                  nullptr) == 0)
            name[capacity - 1] = '\0'; // too small: keep what fitted, terminated
        return S_OK;
    }
    return E_INVALIDARG;
}

STDMETHODIMP CSorveneShellExt::HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    return HandleMenuMsg2(message, wParam, lParam, nullptr);
}

STDMETHODIMP CSorveneShellExt::HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept
{
    // The shell draws our items itself and finds them by their access keys;
    // a shell that still asks about a key gets the same answer.
    if (message == WM_MENUCHAR) {
        LRESULT answer = 0;
        if (menu::answerMenuChar(reinterpret_cast<HMENU>(lParam), static_cast<wchar_t>(LOWORD(wParam)), firstCommand_,
                                 itemCount_, answer)) {
            if (result) *result = answer;
            return S_OK;
        }
        if (result) *result = MAKELRESULT(0, MNC_IGNORE);
    }
    return S_FALSE;
}

} // namespace sorvane::shellext
