// The in-process server's entry points: DllMain, the class factories of its
// two classes and the five exports named in SorvaneExt.def.
#include "ExplorerCommand.h"
#include "Identifiers.h"
#include "Module.h"
#include "Registration.h"
#include "ShellExt.h"

#include <windows.h>
#include <unknwn.h>

namespace sorvane::shellext {

namespace {

using CreateFunction = HRESULT (*)(REFIID riid, void** object) noexcept;

// A class factory: one for each class. It lives as long as the library;
// every reference a client holds on it keeps the library loaded.
class ClassFactory final : public IClassFactory {
public:
    explicit constexpr ClassFactory(CreateFunction create) noexcept : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) noexcept override
    {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override
    {
        module::lock();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() noexcept override
    {
        module::unlock();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) noexcept override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) noexcept override
    {
        if (lock) module::lock();
        else module::unlock();
        return S_OK;
    }

private:
    CreateFunction create_;
};

// The classic context-menu handler, and the entry of Windows 11's own menu.
ClassFactory g_contextMenuFactory(&CSorveneShellExt::Create);
ClassFactory g_explorerCommandFactory(&CExplorerCommand::Create);

} // namespace

} // namespace sorvane::shellext

using namespace sorvane::shellext;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        module::attach(instance);
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return module::lockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid == kClassId) return g_contextMenuFactory.QueryInterface(riid, ppv);
    if (rclsid == kExplorerCommandClassId) return g_explorerCommandFactory.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer()
{
    return registration::registerServer(module::path());
}

STDAPI DllUnregisterServer()
{
    return registration::unregisterServer(module::path());
}

// There is no per-user registration: the command line is not read.
STDAPI DllInstall(BOOL install, LPCWSTR)
{
    return install ? DllRegisterServer() : DllUnregisterServer();
}
