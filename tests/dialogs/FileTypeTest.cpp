// File-type records, their sorted collection, and descriptions and small
// icons read from the registry: Wine's own ".txt", an unregistered
// extension, and classes this test registers under HKCU\Software\Classes
// and HKLM\Software\Classes, read value by value as Windows merges them.
#include <gtest/gtest.h>

#include "dialogs/FileType.h"
#include "common/Raii.h"
#include "common/ui/GdiRaii.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

std::wstring upper(std::wstring s)
{
    for (wchar_t& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

std::vector<std::wstring> extensions(const CFileTypeArray& types)
{
    std::vector<std::wstring> result;
    for (int i = 0; i < types.Count(); ++i) result.push_back(types.At(i)->extension());
    return result;
}

TEST(FileTypeCollection, OneRecordPerExtensionIgnoringCase)
{
    CFileTypeArray types;
    CFileType* record = nullptr;
    EXPECT_EQ(types.Add(L".txt", true, false, 1, &record), 1);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->imageIndex, -1);

    CFileType* again = nullptr;
    EXPECT_EQ(types.Add(L".TXT", false, true, 2, &again), 2);
    EXPECT_EQ(again, record);
    EXPECT_EQ(types.Count(), 1);
    EXPECT_STREQ(record->extension(), L".txt") << "the first spelling stays";
    EXPECT_EQ(record->mark, 2u) << "only the mark changes";
    EXPECT_EQ(record->ticked, 1);
    EXPECT_EQ(record->typed, 0);

    EXPECT_EQ(types.Find(L".Txt"), record);
    EXPECT_EQ(types.Find(L".tx"), nullptr);
    EXPECT_EQ(types.Find(L".txt2"), nullptr);
    EXPECT_EQ(types.Add(nullptr, false, false, 0, &again), 0);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(types.Count(), 1);
}

TEST(FileTypeCollection, ShortAndLongExtensionsAreCopied)
{
    std::wstring five = L".jpeg", six = L".jpeg2", many = L"." + std::wstring(300, L'x');
    CFileType a(five.c_str(), false, false, 0), b(six.c_str(), false, false, 0), c(many.c_str(), true, true, 7);
    five = six = L"changed";
    EXPECT_STREQ(a.extension(), L".jpeg");
    EXPECT_STREQ(b.extension(), L".jpeg2");
    EXPECT_EQ(std::wstring(c.extension()), L"." + std::wstring(300, L'x'));
    EXPECT_FALSE(CFileType(nullptr, false, false, 0).valid());
}

TEST(FileTypeCollection, SortedBisectionAgainstASet)
{
    std::mt19937 random(4711);
    const wchar_t letters[] = L"aBcDeFgH_1";
    CFileTypeArray types;
    std::set<std::wstring> model; // by upper-cased extension
    for (int n = 0; n < 3000; ++n) {
        std::wstring extension = L".";
        const int length = 1 + static_cast<int>(random() % 7);
        for (int i = 0; i < length; ++i) extension += letters[random() % 10];
        const bool known = model.count(upper(extension)) != 0;
        ASSERT_EQ(types.Add(extension.c_str(), false, false, 0), known ? 2 : 1) << ::testing::PrintToString(extension);
        model.insert(upper(extension));
        if (random() % 4 == 0 && types.Count() > 0) {
            const int index = static_cast<int>(random() % static_cast<unsigned>(types.Count()));
            std::unique_ptr<CFileType> removed = types.RemoveAt(index);
            ASSERT_TRUE(removed);
            EXPECT_EQ(model.erase(upper(removed->extension())), 1u);
        }
    }
    ASSERT_EQ(types.Count(), static_cast<int>(model.size()));
    std::vector<std::wstring> got;
    for (const auto& e : extensions(types)) got.push_back(upper(e));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), model.begin())) << "sorted ignoring case, no duplicates";
    for (const auto& e : model) {
        std::wstring lower = e;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
        const CFileType* found = types.Find(lower.c_str());
        ASSERT_NE(found, nullptr) << ::testing::PrintToString(e);
        EXPECT_EQ(upper(found->extension()), e);
    }
    EXPECT_FALSE(types.RemoveAt(-1));
    EXPECT_FALSE(types.RemoveAt(types.Count()));
}

TEST(FileTypeCollection, SlotsInStepsOfSixteen)
{
    CFileTypeArray types;
    EXPECT_EQ(types.Capacity(), 0);
    for (int i = 0; i < 16; ++i) {
        types.Add((L".e" + std::to_wstring(i)).c_str(), false, false, 0);
        EXPECT_EQ(types.Capacity(), 16);
    }
    types.Add(L".e16", false, false, 0);
    EXPECT_EQ(types.Capacity(), 32);
    types.Add(L".E16", false, false, 0);
    EXPECT_EQ(types.Capacity(), 32) << "an existing extension takes no slot";
    types.RemoveAt(0);
    EXPECT_EQ(types.Count(), 16);
    EXPECT_EQ(types.Capacity(), 16);
    while (types.Count() > 0) types.RemoveAt(types.Count() - 1);
    EXPECT_EQ(types.Capacity(), 0);
    EXPECT_EQ(types.Add(L".again", false, false, 0), 1);
    EXPECT_EQ(types.Capacity(), 16);
}

// --- Describe -------------------------------------------------------------

// Keys under Software\Classes of the user (or of the machine) made by a
// test and deleted afterwards.
class ClassKeys {
public:
    explicit ClassKeys(HKEY root = HKEY_CURRENT_USER) : root_(root) {}
    ClassKeys(const ClassKeys&) = delete;
    ClassKeys& operator=(const ClassKeys&) = delete;
    ~ClassKeys()
    {
        for (const auto& name : created_) ::RegDeleteTreeW(root_, (L"Software\\Classes\\" + name).c_str());
    }
    void set(const std::wstring& key, const wchar_t* valueName, const std::wstring& value, DWORD type = REG_SZ)
    {
        UniqueRegKey handle;
        ASSERT_EQ(::RegCreateKeyExW(root_, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, handle.put(), nullptr),
                  ERROR_SUCCESS);
        const std::wstring top = key.substr(0, key.find(L'\\'));
        if (std::find(created_.begin(), created_.end(), top) == created_.end()) created_.push_back(top);
        if (valueName || !value.empty()) {
            ASSERT_EQ(::RegSetValueExW(handle.get(), valueName, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                      ERROR_SUCCESS);
        }
    }

private:
    HKEY root_;
    std::vector<std::wstring> created_;
};

struct DcTraits {
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC dc) noexcept { ::DeleteDC(dc); }
};

// The colour pixels of an icon, with its width.
std::vector<uint32_t> pixelsOf(HICON icon, int& width)
{
    width = 0;
    ICONINFO info = {};
    if (!icon || !::GetIconInfo(icon, &info)) return {};
    UniqueGdiObject color(info.hbmColor);
    UniqueGdiObject mask(info.hbmMask);
    if (!color) return {};
    BITMAP bitmap = {};
    ::GetObjectW(color.get(), sizeof(bitmap), &bitmap);
    width = bitmap.bmWidth;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = bitmap.bmWidth;
    header.bmiHeader.biHeight = -bitmap.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(bitmap.bmWidth) * static_cast<size_t>(bitmap.bmHeight));
    UniqueResource<HDC, DcTraits> dc(::CreateCompatibleDC(nullptr));
    ::GetDIBits(dc.get(), static_cast<HBITMAP>(color.get()), 0, static_cast<UINT>(bitmap.bmHeight), pixels.data(),
                &header, DIB_RGB_COLORS);
    return pixels;
}

BOOL CALLBACK keepFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    auto* first = reinterpret_cast<std::wstring*>(param);
    *first = IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
    return FALSE;
}

// A small icon of shell32 loaded independently: the one with resource id
// `id`, or with id 0 the first icon group in resource order (index 0).
std::vector<uint32_t> shellIconPixels(int id)
{
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    UniqueModule shell(::LoadLibraryExW((std::wstring(system) + L"\\shell32.dll").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!shell) return {};
    std::wstring first;
    if (id == 0) {
        ::EnumResourceNamesW(shell.get(), RT_GROUP_ICON, keepFirstName, reinterpret_cast<LONG_PTR>(&first));
        if (first.empty()) return {};
    }
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    UniqueIcon icon(static_cast<HICON>(::LoadImageW(shell.get(), id ? MAKEINTRESOURCEW(id) : first.c_str(), IMAGE_ICON,
                                                    size, size, LR_DEFAULTCOLOR)));
    int width = 0;
    return pixelsOf(icon.get(), width);
}

struct Description {
    bool registered = false;
    std::wstring text;
    UniqueIcon icon;
};

Description describe(const wchar_t* text, int capacity = 64)
{
    Description result;
    std::vector<wchar_t> buffer(static_cast<size_t>(capacity), L'#');
    HICON icon = reinterpret_cast<HICON>(1); // must be overwritten
    result.registered = Describe(text, buffer.data(), capacity, &icon);
    result.text = buffer.data();
    result.icon.reset(icon);
    return result;
}

TEST(FileTypeDescribe, TextFilesUnderWinesRegistry)
{
    Description txt = describe(L".txt");
    EXPECT_TRUE(txt.registered);
    EXPECT_EQ(txt.text, L"Text Document");
    EXPECT_FALSE(txt.icon) << "Wine's txtfile class has no DefaultIcon";

    EXPECT_EQ(describe(L"C:\\some.dir\\README.TXT").text, L"Text Document") << "a file name gives its extension";
    EXPECT_EQ(describe(L"C:/some.dir/notes.txt").text, L"Text Document");

    Description none = describe(L"C:\\some.dir\\README");
    EXPECT_FALSE(none.registered) << "no extension after the last separator";
    EXPECT_EQ(none.text, L"");
    EXPECT_FALSE(none.icon);
    EXPECT_FALSE(Describe(nullptr, nullptr, 0, nullptr));
}

TEST(FileTypeDescribe, UnregisteredExtension)
{
    const std::wstring extension = L".sorvane-none-" + std::to_wstring(::GetCurrentProcessId());
    Description result = describe(extension.c_str());
    EXPECT_FALSE(result.registered);
    EXPECT_EQ(result.text, L"");
    EXPECT_FALSE(result.icon);
}

class FileTypeRegistered : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CopyFileW((test::programFolder() + L"filetype_res.dll").c_str(), (folder / L"types.dll").c_str(),
                                FALSE));
        ASSERT_TRUE(::SetEnvironmentVariableW(L"SORVANE_TYPE_DIR", folder.path().c_str()));
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"SORVANE_TYPE_DIR", nullptr); }

    std::wstring name(const wchar_t* stem) const { return stem + std::to_wstring(::GetCurrentProcessId()); }
    // An extension and its class in one go.
    void registerType(const std::wstring& extension, const std::wstring& className, const std::wstring& text)
    {
        keys.set(extension, nullptr, className);
        keys.set(className, nullptr, text);
    }

    test::TempFolder folder;
    ClassKeys keys;                        // the user's
    ClassKeys machine{HKEY_LOCAL_MACHINE}; // the machine's
};

TEST_F(FileTypeRegistered, FriendlyNamesFromAModuleAndIconsByResourceId)
{
    const std::wstring ext = name(L".svta"), cls = name(L"Sorvane.TestA.");
    registerType(ext, cls, L"Plain Description");
    keys.set(cls, L"FriendlyTypeName", L"@%SORVANE_TYPE_DIR%\\types.dll,-201", REG_EXPAND_SZ);
    keys.set(cls + L"\\DefaultIcon", nullptr, L"%SystemRoot%\\system32\\shell32.dll,-4", REG_EXPAND_SZ);

    Description a = describe(ext.c_str());
    EXPECT_TRUE(a.registered);
    EXPECT_EQ(a.text, L"Sorvane Test Document");
    ASSERT_TRUE(a.icon);
    int width = 0;
    const std::vector<uint32_t> got = pixelsOf(a.icon.get(), width);
    EXPECT_EQ(width, ::GetSystemMetrics(SM_CXSMICON)) << "the small icon";
    const std::vector<uint32_t> four = shellIconPixels(4);
    const std::vector<uint32_t> first = shellIconPixels(0);
    ASSERT_FALSE(four.empty());
    ASSERT_NE(four, first) << "the two icons must be told apart";
    EXPECT_EQ(got, four) << "resource id 4, not the icon at index 4";

    EXPECT_EQ(describe(ext.c_str(), 7).text, L"Sorvan") << "capacity − 1 characters";
    EXPECT_EQ(describe((L"D:\\x\\file" + ext).c_str()).text, L"Sorvane Test Document");

    // Without a comma the path names icon index 0; a positive string id
    // reads like a negative one.
    const std::wstring extB = name(L".svtb"), clsB = name(L"Sorvane.TestB.");
    registerType(extB, clsB, L"Second Plain");
    keys.set(clsB, L"FriendlyTypeName", L"@%SORVANE_TYPE_DIR%\\types.dll,202");
    keys.set(clsB + L"\\DefaultIcon", nullptr, L"%SystemRoot%\\system32\\shell32.dll");
    Description b = describe(extB.c_str());
    EXPECT_EQ(b.text, L"Second Test Type");
    ASSERT_TRUE(b.icon);
    EXPECT_EQ(pixelsOf(b.icon.get(), width), first);
}

TEST_F(FileTypeRegistered, WhatCannotBeReadKeepsThePreviousStep)
{
    struct Case {
        const wchar_t* stem;
        const wchar_t* friendly; // null: none
        const wchar_t* icon;     // null: no DefaultIcon key
        const wchar_t* text;
    };
    const Case cases[] = {
        {L".svtc", L"@%SORVANE_TYPE_DIR%\\missing.dll,-201", L"%SystemRoot%\\system32\\shell32.dll,-9999",
         L"Class Text"},
        {L".svtd", L"@%SORVANE_TYPE_DIR%\\types.dll,-999", L"C:\\nowhere\\none.dll,0", L"Class Text"},
        {L".svte", L"Not indirect", L"", L"Class Text"},
        {L".svtf", L"@%SORVANE_TYPE_DIR%\\types.dll", nullptr, L"Class Text"},
        {L".svtg", L"@%SORVANE_UNSET_VARIABLE%\\types.dll,-201", nullptr, L"Class Text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.stem)));
        const std::wstring ext = name(c.stem), cls = name(L"Sorvane.Keep") + c.stem;
        registerType(ext, cls, L"Class Text");
        if (c.friendly) keys.set(cls, L"FriendlyTypeName", c.friendly);
        if (c.icon) keys.set(cls + L"\\DefaultIcon", nullptr, c.icon);
        Description d = describe(ext.c_str());
        EXPECT_TRUE(d.registered);
        EXPECT_EQ(d.text, c.text);
        EXPECT_FALSE(d.icon);
    }

    // An extension key without a class names no type; a class that is not
    // there leaves the description empty.
    const std::wstring bare = name(L".svth");
    keys.set(bare, L"Content Type", L"text/plain");
    Description h = describe(bare.c_str());
    EXPECT_FALSE(h.registered);
    EXPECT_EQ(h.text, L"");
    const std::wstring orphan = name(L".svti");
    keys.set(orphan, nullptr, name(L"Sorvane.NoSuchClass."));
    Description i = describe(orphan.c_str());
    EXPECT_TRUE(i.registered);
    EXPECT_EQ(i.text, L"");
    EXPECT_FALSE(i.icon);

    // The class name is read to 63 characters.
    const std::wstring longClass = name(L"Sorvane.") + std::wstring(80, L'L');
    const std::wstring extJ = name(L".svtj");
    keys.set(extJ, nullptr, longClass);
    keys.set(longClass.substr(0, 63), nullptr, L"Cut Class");
    EXPECT_EQ(describe(extJ.c_str()).text, L"Cut Class");
}

TEST_F(FileTypeRegistered, TheModuleIsReleasedAndTheKeysGo)
{
    const std::wstring ext = name(L".svtk"), cls = name(L"Sorvane.TestK.");
    {
        ClassKeys scoped;
        scoped.set(ext, nullptr, cls);
        scoped.set(cls, nullptr, L"Plain");
        scoped.set(cls, L"FriendlyTypeName", L"@%SORVANE_TYPE_DIR%\\types.dll,-201");
        EXPECT_EQ(describe(ext.c_str()).text, L"Sorvane Test Document");
        EXPECT_EQ(describe(ext.c_str()).text, L"Sorvane Test Document") << "read afresh each time";

        // A module still loaded could not be deleted: show that this holds
        // here, then that Describe left none behind.
        const std::wstring probe = folder / L"probe.dll";
        ASSERT_TRUE(::CopyFileW((folder / L"types.dll").c_str(), probe.c_str(), FALSE));
        {
            UniqueModule held(::LoadLibraryExW(probe.c_str(), nullptr,
                                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
            ASSERT_TRUE(held);
            EXPECT_FALSE(::DeleteFileW(probe.c_str()));
        }
        EXPECT_TRUE(::DeleteFileW(probe.c_str()));
        EXPECT_TRUE(::DeleteFileW((folder / L"types.dll").c_str())) << "Describe released the module";
        EXPECT_EQ(describe(ext.c_str()).text, L"Plain") << "without the module the class's text stays";
    }
    UniqueRegKey gone;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + ext).c_str(), 0, KEY_READ, gone.put()),
              ERROR_SUCCESS);
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + cls).c_str(), 0, KEY_READ, gone.put()),
              ERROR_SUCCESS);
    EXPECT_FALSE(describe(ext.c_str()).registered);
}

TEST_F(FileTypeRegistered, UserKeysTakeWhatTheyLackFromTheMachineValueByValue)
{
    int width = 0;
    const std::vector<uint32_t> four = shellIconPixels(4);
    ASSERT_FALSE(four.empty());

    // The machine registers the type in full; the user's key of the
    // extension holds only what Explorer writes there, the programs it was
    // opened with, or a content type.
    const std::wstring cls = name(L"Sorvane.Machine.");
    machine.set(cls, nullptr, L"Machine Description");
    machine.set(cls + L"\\DefaultIcon", nullptr, L"%SystemRoot%\\system32\\shell32.dll,-4", REG_EXPAND_SZ);
    const std::wstring withProgids = name(L".svtm"), withType = name(L".svtn"), machineOnly = name(L".svto");
    for (const std::wstring& ext : {withProgids, withType, machineOnly}) machine.set(ext, nullptr, cls);
    keys.set(withProgids + L"\\OpenWithProgids", L"Some.Editor.1", L"", REG_NONE);
    keys.set(withType, L"Content Type", L"application/x-sorvane");
    for (const std::wstring& ext : {withProgids, withType, machineOnly}) {
        SCOPED_TRACE(testing::PrintToString(ext));
        Description d = describe(ext.c_str());
        EXPECT_TRUE(d.registered);
        EXPECT_EQ(d.text, L"Machine Description");
        ASSERT_TRUE(d.icon);
        EXPECT_EQ(pixelsOf(d.icon.get(), width), four);
    }

    // A user's class key with only an icon: the machine's description, the
    // user's icon.
    const std::vector<uint32_t> first = shellIconPixels(0);
    keys.set(cls + L"\\DefaultIcon", nullptr, L"%SystemRoot%\\system32\\shell32.dll");
    Description iconOnly = describe(withProgids.c_str());
    EXPECT_EQ(iconOnly.text, L"Machine Description");
    ASSERT_TRUE(iconOnly.icon);
    EXPECT_EQ(pixelsOf(iconOnly.icon.get(), width), first);

    // The user's own value wins where there is one: a description, a
    // friendly name, a class of the extension.
    keys.set(cls, nullptr, L"User Description");
    EXPECT_EQ(describe(withType.c_str()).text, L"User Description");
    machine.set(cls, L"FriendlyTypeName", L"@%SORVANE_TYPE_DIR%\\types.dll,-201");
    EXPECT_EQ(describe(withType.c_str()).text, L"Sorvane Test Document") << "the machine's friendly name";
    keys.set(cls, L"FriendlyTypeName", L"@%SORVANE_TYPE_DIR%\\types.dll,-202");
    EXPECT_EQ(describe(withType.c_str()).text, L"Second Test Type") << "the user's friendly name";

    const std::wstring otherClass = name(L"Sorvane.Other.");
    machine.set(otherClass, nullptr, L"Other Machine Class");
    keys.set(withType, nullptr, otherClass);
    Description redirected = describe(withType.c_str());
    EXPECT_TRUE(redirected.registered);
    EXPECT_EQ(redirected.text, L"Other Machine Class") << "the user's class, described by the machine";
    EXPECT_FALSE(redirected.icon);

    // Neither the user nor the machine knows it.
    EXPECT_FALSE(describe(name(L".svtp").c_str()).registered);
}

} // namespace
