// What the extension tests share: a private copy of SorvaneExt.dll (with the
// stand-in Sorvane.exe beside it) loaded through its exports, a data object
// that carries CF_HDROP, and the redirection of a function the extension
// imports.
#pragma once

#include "common/Raii.h"
#include "TestSupport.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace sorvane::test {

// SorvaneExt.dll copied from the deliverables into a fresh folder and loaded
// from there, so that its folder is ours: the stand-in program lies there as
// Sorvane.exe, and the hand-off files are made there.
class ExtensionCopy {
public:
    explicit ExtensionCopy(bool withProgram = true, const std::wstring& languageLibrary = L"");
    ~ExtensionCopy();

    HMODULE module() const { return module_; }
    std::wstring folder() const { return folder_.path() + L"\\"; }
    std::wstring dllPath() const { return folder_ / L"SorvaneExt.dll"; }

    HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** object) const;
    HRESULT canUnloadNow() const;
    HRESULT install(BOOL install, const wchar_t* commandLine) const;
    // A new handler through the class factory, initialised with `data` and
    // the drop folder `target` (empty: an ordinary context menu).
    ComPtr<IContextMenu3> createHandler(IDataObject* data, const std::wstring& target = L"") const;

    // The record the stand-in left of its start ("" when it did not start
    // within `ms`): its command line and its working folder.
    struct Launch {
        std::wstring commandLine;
        std::wstring folder;
    };
    bool waitForLaunch(Launch& launch, DWORD ms = 15000) const;
    // The hand-off files (Sor*.tmp) in a folder.
    static std::vector<std::wstring> handOffFiles(const std::wstring& folder);

private:
    TempFolder folder_;
    HMODULE module_ = nullptr;
};

extern const CLSID kExtensionClassId;
extern const IID kExtensionDispatchId;

// A data object with a CF_HDROP list of `paths` (none at all when
// `withDrop` is false). Counts the media it hands out that are not yet
// released, and its own references.
class DropData : public IDataObject {
public:
    static ComPtr<DropData> make(const std::vector<std::wstring>& paths, bool withDrop = true);
    LONG references() const { return references_; }
    static LONG outstandingMedia();

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    DropData() = default;
    virtual ~DropData() = default;
    std::vector<std::wstring> paths_;
    bool withDrop_ = true;
    LONG references_ = 1;
};

// Records the extension's starts of the program (ShellExecuteW, which still
// runs) and its messages to the user (MessageBoxW, which shows nothing)
// while it lives. One at a time.
class LaunchRecorder {
public:
    struct Start {
        HWND owner;
        std::wstring verb, file, parameters, folder;
        int show;
        INT_PTR result;
    };
    struct Message {
        HWND owner;
        std::wstring text, caption;
        UINT flags;
    };
    explicit LaunchRecorder(HMODULE module);
    ~LaunchRecorder();
    LaunchRecorder(const LaunchRecorder&) = delete;
    LaunchRecorder& operator=(const LaunchRecorder&) = delete;
    bool active() const { return shell_.active() && message_.active(); }
    void clear();
    std::vector<Start> starts;
    std::vector<Message> messages;

private:
    ImportHook shell_;
    ImportHook message_;
};

// A shell item array of existing paths, made from their identifier lists as
// the shell makes it (null when a path cannot be parsed), plus the items of
// `extra` (absolute identifier lists, borrowed).
ComPtr<IShellItemArray> shellItems(const std::vector<std::wstring>& paths,
                                   const std::vector<PCIDLIST_ABSOLUTE>& extra = {});

// The shell's own data object for existing items `names` of `folder`, as
// Explorer hands it to the extension.
ComPtr<IDataObject> shellDataObject(const std::wstring& folder, const std::vector<std::wstring>& names);

// A COM apartment for the test's thread.
struct ComApartment {
    ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { ::CoUninitialize(); }
};

// An identifier list for a file-system folder.
struct FolderId {
    explicit FolderId(const std::wstring& path);
    ~FolderId();
    PIDLIST_ABSOLUTE id = nullptr;
};

} // namespace sorvane::test
