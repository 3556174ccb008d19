// Registering the extension as regsvr32 and DllInstall do it, read back from
// the registry, and unregistering it again; and the handler's interfaces and
// type information, which need no registration. These tests share the registry
// of the build's Wine prefix and run one at a time.
#include <gtest/gtest.h>

#include "ExtensionHost.h"

#include <oleauto.h>

#include <algorithm>

using namespace sorvane;
using namespace sorvane::test;

namespace {

const std::wstring kClsid = L"{D45DFED4-F312-4286-A3C5-F976C6D16E2D}";
const std::wstring kClassKey = L"CLSID\\" + kClsid;
// The entry of Windows 11's own menu: a class of its own, named by no shell key.
const std::wstring kCommandKey = L"CLSID\\{54C7C6BE-6F7C-4885-AE96-CD301C434569}";
const std::wstring kApproved = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

bool keyExists(HKEY root, const std::wstring& key)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

// A string value, or "(none)" when the key or the value is missing.
std::wstring value(HKEY root, const std::wstring& key, const wchar_t* name = nullptr)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t), type = 0;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return L"(none)";
    const LONG got = ::RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(opened);
    if (got != ERROR_SUCCESS) return L"(none)";
    return type == REG_SZ ? std::wstring(data) : L"(not a string)";
}

// Names of the subkeys and of the values of a key.
std::vector<std::wstring> contents(const std::wstring& key)
{
    std::vector<std::wstring> names;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0, length = 256; ::RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i, length = 256)
        names.push_back(name + std::wstring(L"\\"));
    for (DWORD i = 0, length = 256; ::RegEnumValueW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i, length = 256)
        names.push_back(*name ? name : L"(default)");
    ::RegCloseKey(opened);
    std::sort(names.begin(), names.end());
    return names;
}

class Registration : public ::testing::Test {
protected:
    ComApartment apartment;
    ExtensionCopy extension{false};

    void SetUp() override { ASSERT_TRUE(extension.module()) << "build SorvaneExt first"; }
    void TearDown() override { extension.install(FALSE, nullptr); }

    DWORD regsvr32(const std::wstring& options)
    {
        wchar_t system[MAX_PATH];
        ::GetSystemDirectoryW(system, MAX_PATH);
        ChildProcess process;
        if (!process.start(std::wstring(system) + L"\\regsvr32.exe", options + L" \"" + extension.dllPath() + L"\"")) return 999;
        return process.wait(60000);
    }

    // Every key and value of the registration, as the shell reads them.
    void expectRegistered()
    {
        const std::wstring description = L"Sorvane Shell Extension";
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"SorvaneExt.SorveneShellExt.1"), description);
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"SorvaneExt.SorveneShellExt.1\\CLSID"), kClsid);
        EXPECT_EQ(contents(L"SorvaneExt.SorveneShellExt.1"), (std::vector<std::wstring>{L"(default)", L"CLSID\\"}));
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"SorvaneExt.SorveneShellExt"), description);
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"SorvaneExt.SorveneShellExt\\CLSID"), kClsid);
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"SorvaneExt.SorveneShellExt\\CurVer"), L"SorvaneExt.SorveneShellExt.1");
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey), description);
        EXPECT_EQ(contents(kClassKey), (std::vector<std::wstring>{L"(default)", L"InprocServer32\\", L"ProgID\\", L"Programmable\\",
                                                                  L"TypeLib\\", L"VersionIndependentProgID\\"}));
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\ProgID"), L"SorvaneExt.SorveneShellExt.1");
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\VersionIndependentProgID"), L"SorvaneExt.SorveneShellExt");
        EXPECT_TRUE(contents(kClassKey + L"\\Programmable").empty());
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"), extension.dllPath());
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + L"\\TypeLib"), L"{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}");
        for (const wchar_t* key : {L"Folder\\ShellEx\\ContextMenuHandlers\\SorvaneMenu",
                                   L"Folder\\ShellEx\\DragDropHandlers\\SorvaneMenu",
                                   L"*\\ShellEx\\ContextMenuHandlers\\SorvaneMenu"}) {
            EXPECT_EQ(value(HKEY_CLASSES_ROOT, key), kClsid) << key;
            EXPECT_EQ(contents(key), std::vector<std::wstring>{L"(default)"}) << key;
        }
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kCommandKey), L"Sorvane Explorer Command");
        EXPECT_EQ(contents(kCommandKey), (std::vector<std::wstring>{L"(default)", L"InprocServer32\\"}));
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kCommandKey + L"\\InprocServer32"), extension.dllPath());
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, kCommandKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
        // The type library, registered from the library's file.
        EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"TypeLib\\{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}\\2.0\\409\\win64"), extension.dllPath());
        EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"Interface\\{4F0901A4-0E8E-4726-843E-BEEFB01224B4}"));
        if (keyExists(HKEY_LOCAL_MACHINE, kApproved)) {
            EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kApproved, kClsid.c_str()), description);
        }
    }

    void expectUnregistered()
    {
        for (const std::wstring& key : {std::wstring(L"SorvaneExt.SorveneShellExt.1"), std::wstring(L"SorvaneExt.SorveneShellExt"), kClassKey, kCommandKey,
                                        std::wstring(L"Folder\\ShellEx\\ContextMenuHandlers\\SorvaneMenu"),
                                        std::wstring(L"Folder\\ShellEx\\DragDropHandlers\\SorvaneMenu"),
                                        std::wstring(L"*\\ShellEx\\ContextMenuHandlers\\SorvaneMenu"),
                                        std::wstring(L"TypeLib\\{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}"),
                                        std::wstring(L"Interface\\{4F0901A4-0E8E-4726-843E-BEEFB01224B4}")})
            EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
        for (const wchar_t* key : {L"CLSID", L"Folder\\ShellEx\\ContextMenuHandlers", L"Folder\\ShellEx\\DragDropHandlers",
                                   L"*\\ShellEx\\ContextMenuHandlers"})
            EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, key)) << key << " is shared and stays";
        EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kApproved, kClsid.c_str()), L"(none)");
    }
};

TEST_F(Registration, Regsvr32WritesTheTableAndUnregisteringRemovesIt)
{
    // Left-overs under keys that registration replaces go; a neighbour stays.
    HKEY key = nullptr;
    for (const wchar_t* stray : {L"Folder\\ShellEx\\ContextMenuHandlers\\SorvaneMenu\\Stray",
                                 L"CLSID\\{D45DFED4-F312-4286-A3C5-F976C6D16E2D}\\Programmable\\Stray",
                                 L"Folder\\ShellEx\\ContextMenuHandlers\\Neighbour"}) {
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, stray, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    ASSERT_EQ(regsvr32(L"/s"), 0u);
    expectRegistered();
    ASSERT_EQ(regsvr32(L"/s"), 0u); // twice leaves the same keys
    expectRegistered();

    ASSERT_EQ(regsvr32(L"/s /u"), 0u);
    expectUnregistered();
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"Folder\\ShellEx\\ContextMenuHandlers\\Neighbour"));
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Folder\\ShellEx\\ContextMenuHandlers\\Neighbour");
    EXPECT_EQ(regsvr32(L"/s /u"), 0u) << "unregistering twice is no failure";
}

TEST_F(Registration, DllInstallRegistersMachineWideWhateverItsCommandLine)
{
    ASSERT_EQ(extension.install(TRUE, L"user"), S_OK);
    expectRegistered();
    ASSERT_EQ(extension.install(FALSE, L"user"), S_OK);
    expectUnregistered();
}

// Here, where nothing else registers meanwhile: the type information comes
// from the library's own file.
TEST_F(Registration, HandlerAnswersItsInterfacesAndServesTypeInformationUnregistered)
{
    ComPtr<IContextMenu3> handler = extension.createHandler(nullptr);
    ASSERT_TRUE(handler);
    auto same = [&](REFIID a, REFIID b) {
        ComPtr<IUnknown> first, second;
        if (FAILED(handler->QueryInterface(a, first.putVoid())) || FAILED(handler->QueryInterface(b, second.putVoid())))
            return false;
        return first.get() == second.get();
    };
    EXPECT_TRUE(same(IID_IDispatch, kExtensionDispatchId));
    EXPECT_TRUE(same(IID_IUnknown, IID_IDispatch)); // the first of the map
    EXPECT_TRUE(same(IID_IContextMenu, IID_IContextMenu2));
    EXPECT_TRUE(same(IID_IContextMenu2, IID_IContextMenu3));
    EXPECT_TRUE(same(IID_IShellExtInit, IID_IShellExtInit));
    ComPtr<IUnknown> other;
    EXPECT_EQ(handler->QueryInterface(IID_IPersistFolder, other.putVoid()), E_NOINTERFACE);

    // Served from the library's own resources, though nothing is registered.
    wchar_t value[64];
    LONG size = sizeof(value);
    ASSERT_NE(::RegQueryValueW(HKEY_CLASSES_ROOT, L"TypeLib\\{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}", value, &size), ERROR_SUCCESS);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(handler->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, kExtensionDispatchId);
    info->ReleaseTypeAttr(attributes);
    wchar_t name[] = L"Anything";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

} // namespace
