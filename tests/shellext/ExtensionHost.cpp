#include "ExtensionHost.h"

#include <shellapi.h>

#include <cstring>
#include <memory>

namespace sorvane::test {

const CLSID kExtensionClassId = {0xD45DFED4, 0xF312, 0x4286, {0xA3, 0xC5, 0xF9, 0x76, 0xC6, 0xD1, 0x6E, 0x2D}};
const IID kExtensionDispatchId = {0x4F0901A4, 0x0E8E, 0x4726, {0x84, 0x3E, 0xBE, 0xEF, 0xB0, 0x12, 0x24, 0xB4}};

namespace {

template <typename F>
F exported(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

volatile LONG g_outstandingMedia = 0;

// Frees an HGLOBAL handed out in a medium when the receiver releases it.
class MediumOwner : public IUnknown {
public:
    explicit MediumOwner(HGLOBAL memory) : memory_(memory) { ::InterlockedIncrement(&g_outstandingMedia); }
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (riid != IID_IUnknown) return *object = nullptr, E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        if (--references_ > 0) return references_;
        ::GlobalFree(memory_);
        ::InterlockedDecrement(&g_outstandingMedia);
        delete this;
        return 0;
    }

private:
    virtual ~MediumOwner() = default;
    HGLOBAL memory_;
    ULONG references_ = 1;
};

} // namespace

ExtensionCopy::ExtensionCopy(bool withProgram, const std::wstring& languageLibrary)
{
    ::CopyFileW((distFolder() + L"SorvaneExt.dll").c_str(), dllPath().c_str(), FALSE);
    if (withProgram) ::CopyFileW((programFolder() + L"shellext_standin.exe").c_str(), (folder_ / L"Sorvane.exe").c_str(), FALSE);
    if (!languageLibrary.empty()) ::CopyFileW(languageLibrary.c_str(), (folder_ / L"Sorvane.0411").c_str(), FALSE);
    module_ = ::LoadLibraryW(dllPath().c_str());
}

ExtensionCopy::~ExtensionCopy()
{
    if (module_) ::FreeLibrary(module_);
    // A stand-in that has just written its record may still be ending, with
    // the folder as its working folder: give it a moment to let go.
    for (int tries = 0; tries < 50 && exists(folder_.path()); ++tries) {
        removeTree(folder_.path());
        if (exists(folder_.path())) ::Sleep(100);
    }
}

HRESULT ExtensionCopy::getClassObject(REFCLSID clsid, REFIID riid, void** object) const
{
    return exported<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(module_, "DllGetClassObject")(clsid, riid, object);
}

HRESULT ExtensionCopy::canUnloadNow() const
{
    return exported<HRESULT(WINAPI*)()>(module_, "DllCanUnloadNow")();
}

HRESULT ExtensionCopy::install(BOOL install, const wchar_t* commandLine) const
{
    return exported<HRESULT(WINAPI*)(BOOL, const wchar_t*)>(module_, "DllInstall")(install, commandLine);
}

ComPtr<IContextMenu3> ExtensionCopy::createHandler(IDataObject* data, const std::wstring& target) const
{
    ComPtr<IContextMenu3> handler;
    ComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(kExtensionClassId, IID_IClassFactory, factory.putVoid()))) return handler;
    if (FAILED(factory->CreateInstance(nullptr, IID_IContextMenu3, handler.putVoid()))) return handler;
    ComPtr<IShellExtInit> init;
    handler->QueryInterface(IID_IShellExtInit, init.putVoid());
    FolderId folder(target);
    if (!init || FAILED(init->Initialize(target.empty() ? nullptr : folder.id, data, nullptr))) handler.reset();
    return handler;
}

bool ExtensionCopy::waitForLaunch(Launch& launch, DWORD ms) const
{
    const std::wstring record = folder_ / L"launch.txt";
    // The record appears whole (the stand-in renames it into place), but a
    // read can still meet it while the rename settles on a busy machine:
    // an empty read is read again, as long as the wait allows.
    std::string bytes;
    for (DWORD waited = 0; bytes.empty(); waited += 50) {
        if (exists(record)) bytes = readBytes(record);
        if (!bytes.empty()) break;
        if (waited >= ms) return false;
        ::Sleep(50);
    }
    ::DeleteFileW(record.c_str());
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    const size_t newline = text.find(L'\n');
    launch.commandLine = text.substr(0, newline);
    launch.folder = newline == std::wstring::npos ? L"" : text.substr(newline + 1);
    return true;
}

std::vector<std::wstring> ExtensionCopy::handOffFiles(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"Sor*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return files;
    do files.push_back(folder + found.cFileName);
    while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return files;
}

ComPtr<DropData> DropData::make(const std::vector<std::wstring>& paths, bool withDrop)
{
    ComPtr<DropData> data;
    auto* created = new DropData();
    created->paths_ = paths;
    created->withDrop_ = withDrop;
    *data.put() = created;
    return data;
}

LONG DropData::outstandingMedia() { return g_outstandingMedia; }

STDMETHODIMP DropData::QueryInterface(REFIID riid, void** object)
{
    if (riid != IID_IUnknown && riid != IID_IDataObject) return *object = nullptr, E_NOINTERFACE;
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) DropData::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) DropData::Release()
{
    if (--references_ > 0) return references_;
    delete this;
    return 0;
}

STDMETHODIMP DropData::QueryGetData(FORMATETC* format)
{
    return withDrop_ && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP DropData::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    // DROPFILES, then every path and its terminator, then one more (two for
    // an empty list).
    size_t units = paths_.empty() ? 2 : 1;
    for (const std::wstring& path : paths_) units += path.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& path : paths_) {
        std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        text += path.size() + 1;
    }
    ::GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = new MediumOwner(memory);
    return S_OK;
}

namespace {

LaunchRecorder* g_recorder = nullptr;

HINSTANCE WINAPI recordStart(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show)
{
    const HINSTANCE result = ::ShellExecuteW(owner, verb, file, parameters, folder, show);
    g_recorder->starts.push_back({owner, verb ? verb : L"(null)", file ? file : L"", parameters ? parameters : L"",
                                  folder ? folder : L"", show, reinterpret_cast<INT_PTR>(result)});
    return result;
}

int WINAPI recordMessage(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags)
{
    g_recorder->messages.push_back({owner, text ? text : L"", caption ? caption : L"", flags});
    return IDOK;
}

} // namespace

LaunchRecorder::LaunchRecorder(HMODULE module)
    : shell_(module, "shell32.dll", "ShellExecuteW", reinterpret_cast<const void*>(&recordStart)),
      message_(module, "user32.dll", "MessageBoxW", reinterpret_cast<const void*>(&recordMessage))
{
    g_recorder = this;
}

LaunchRecorder::~LaunchRecorder() { g_recorder = nullptr; }

void LaunchRecorder::clear()
{
    starts.clear();
    messages.clear();
}

ComPtr<IShellItemArray> shellItems(const std::vector<std::wstring>& paths, const std::vector<PCIDLIST_ABSOLUTE>& extra)
{
    ComPtr<IShellItemArray> items;
    std::vector<std::unique_ptr<FolderId>> owned;
    std::vector<PCIDLIST_ABSOLUTE> ids;
    for (const std::wstring& path : paths) {
        owned.push_back(std::make_unique<FolderId>(path));
        if (!owned.back()->id) return items;
        ids.push_back(owned.back()->id);
    }
    ids.insert(ids.end(), extra.begin(), extra.end());
    if (ids.empty()) return items;
    if (FAILED(::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(ids.size()), ids.data(), items.put()))) items.reset();
    return items;
}

ComPtr<IDataObject> shellDataObject(const std::wstring& folder, const std::vector<std::wstring>& names)
{
    ComPtr<IDataObject> data;
    FolderId parent(folder);
    ComPtr<IShellFolder> shellFolder;
    if (!parent.id || FAILED(::SHBindToObject(nullptr, parent.id, nullptr, IID_IShellFolder, shellFolder.putVoid())))
        return data;
    std::vector<PITEMID_CHILD> children;
    for (const std::wstring& name : names) {
        PIDLIST_RELATIVE child = nullptr;
        std::wstring display = name;
        if (SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, display.data(), nullptr, &child, nullptr)))
            children.push_back(reinterpret_cast<PITEMID_CHILD>(child));
    }
    if (children.size() == names.size())
        shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                                   const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), IID_IDataObject, nullptr,
                                   data.putVoid());
    for (PITEMID_CHILD child : children) ::ILFree(reinterpret_cast<PIDLIST_RELATIVE>(child));
    return data;
}

FolderId::FolderId(const std::wstring& path)
{
    if (!path.empty()) id = ::ILCreateFromPathW(path.c_str());
}

FolderId::~FolderId()
{
    if (id) ::ILFree(id);
}

} // namespace sorvane::test
