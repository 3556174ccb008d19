// Choosing the resource module: real resource-only libraries named as
// language libraries beside a stand-in program module, under interface
// languages set for the whole test process (see CMakeLists.txt).
#include <gtest/gtest.h>

#include "common/ResLang.h"
#include "TestSupport.h"

using namespace sorvane;

namespace {

std::wstring moduleFileName(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(module, path, MAX_PATH);
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// A folder with the stand-in program "Sorvane.dll" and the given files,
// each a copy of the language library (or a folder when named with a
// trailing backslash).
class LanguageFolder {
public:
    explicit LanguageFolder(std::initializer_list<const wchar_t*> names)
    {
        const std::wstring built = test::programFolder();
        EXPECT_TRUE(::CopyFileW((built + L"reslang_host.dll").c_str(), (folder_ / L"Sorvane.dll").c_str(), FALSE));
        for (const wchar_t* name : names) {
            std::wstring n = name;
            if (!n.empty() && n.back() == L'\\') {
                n.pop_back();
                EXPECT_TRUE(::CreateDirectoryW((folder_ / n).c_str(), nullptr));
            } else {
                EXPECT_TRUE(::CopyFileW((built + L"reslang_library.dll").c_str(), (folder_ / n).c_str(), FALSE));
            }
        }
        host_ = ::LoadLibraryW((folder_ / L"Sorvane.dll").c_str());
        EXPECT_NE(host_, nullptr);
    }
    ~LanguageFolder()
    {
        resLang.Unload();
        if (host_) ::FreeLibrary(host_);
    }
    bool load(DWORD requested = 0, const wchar_t* baseName = nullptr) { return resLang.Load(host_, requested, baseName); }
    std::wstring chosen() const { return moduleFileName(resLang.resourceModule()); }
    HMODULE host() const { return host_; }
    const test::TempFolder& folder() const { return folder_; }

    CResLang resLang;

private:
    test::TempFolder folder_;
    HMODULE host_ = nullptr;
};

std::wstring loadMarker(HMODULE module)
{
    wchar_t text[32] = {};
    ::LoadStringW(module, 1, text, 32);
    return text;
}

TEST(ResLangParsing, HexadecimalAndNames)
{
    EXPECT_EQ(reslang::parseHex(L"0411", 4), 0x0411u);
    EXPECT_EQ(reslang::parseHex(L"  0x0c04", 4), 0x0C04u);
    EXPECT_EQ(reslang::parseHex(L"04g1", 4), 0x04u);
    EXPECT_EQ(reslang::parseHex(L"", 4), 0u);
    EXPECT_EQ(reslang::parseHex(L"1A", 2), 0x1Au);
    wchar_t out[MAX_PATH];
    ASSERT_TRUE(reslang::languageLibraryPath(L"C:\\Apps\\Sorvane.exe", 0x0411, out, MAX_PATH));
    EXPECT_STREQ(out, L"C:\\Apps\\Sorvane.0411");
    ASSERT_TRUE(reslang::languageLibraryPath(L"C:\\Apps\\Sorvane.exe", 0x00010411, out, MAX_PATH));
    EXPECT_STREQ(out, L"C:\\Apps\\Sorvane.04111");
    ASSERT_TRUE(reslang::languageLibraryPath(L"C:\\A.b\\Sorvane", 0x0c04, out, MAX_PATH));
    EXPECT_STREQ(out, L"C:\\A.b\\Sorvane.0C04");
    EXPECT_FALSE(reslang::languageLibraryPath(L"C:\\Apps\\Sorvane.exe", 0x0411, out, 12));
}

TEST(ResLangAnyLanguage, OwnLanguageComesFromDialog200)
{
    LanguageFolder folder({});
    folder.load();
    EXPECT_EQ(folder.resLang.ownLanguage(), 0x0409);
    EXPECT_EQ(folder.chosen(), L"Sorvane.dll");
}

TEST(ResLangAnyLanguage, RequestedLanguageWithAndWithoutVariant)
{
    LanguageFolder folder({L"Sorvane.0412"});
    EXPECT_TRUE(folder.load(0x0412));
    EXPECT_EQ(folder.chosen(), L"Sorvane.0412");
    EXPECT_EQ(folder.resLang.currentLanguage(), 0x0412u);
    folder.resLang.Unload();
    // With a variant that has no file of its own, the plain one is taken and
    // the variant kept in the current language.
    EXPECT_TRUE(folder.load(0x00030412));
    EXPECT_EQ(folder.chosen(), L"Sorvane.0412");
    EXPECT_EQ(folder.resLang.currentLanguage(), 0x00030412u);
}

TEST(ResLangAnyLanguage, UnloadReturnsToTheOwnModule)
{
    LanguageFolder folder({L"Sorvane.0412"});
    ASSERT_TRUE(folder.load(0x0412));
    EXPECT_EQ(loadMarker(folder.resLang.resourceModule()), L"library");
    EXPECT_TRUE(folder.resLang.Unload());
    EXPECT_EQ(folder.resLang.resourceModule(), folder.host());
    EXPECT_EQ(loadMarker(folder.resLang.resourceModule()), L"host");
}

TEST(ResLangJapanese, InterfaceIsJapanese)
{
    ASSERT_EQ(::GetUserDefaultUILanguage(), 0x0411) << "run with LC_ALL=ja_JP.UTF-8";
}

TEST(ResLangJapanese, ExactLibraryIsLoaded)
{
    LanguageFolder folder({L"Sorvane.0411", L"Sorvane.exe", L"Sorvane.ini"});
    EXPECT_TRUE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.0411");
    EXPECT_EQ(folder.resLang.currentLanguage(), 0x0411u);
    EXPECT_EQ(loadMarker(folder.resLang.resourceModule()), L"library");
}

TEST(ResLangJapanese, BaseNameNamesTheLibrary)
{
    // The shell extension's module is "SorvaneExt.dll"; with the base name
    // "Sorvane" it finds the program's library.
    LanguageFolder folder({L"Sorvane.0411"});
    ASSERT_TRUE(::CopyFileW((folder.folder() / L"Sorvane.dll").c_str(), (folder.folder() / L"SorvaneExt.dll").c_str(),
                            FALSE));
    HMODULE ext = ::LoadLibraryW((folder.folder() / L"SorvaneExt.dll").c_str());
    ASSERT_NE(ext, nullptr);
    CResLang resLang;
    EXPECT_TRUE(resLang.Load(ext, 0, L"Sorvane"));
    EXPECT_EQ(moduleFileName(resLang.resourceModule()), L"Sorvane.0411");
    EXPECT_STREQ(resLang.baseName(), L"Sorvane");
    resLang.Unload();
    ::FreeLibrary(ext);
}

TEST(ResLangJapanese, VariantFileFoundBySearch)
{
    LanguageFolder folder({L"Sorvane.04111"});
    EXPECT_TRUE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.04111");
    EXPECT_EQ(folder.resLang.currentLanguage(), 0x00010411u);
}

TEST(ResLangJapanese, FolderNamedLikeTheLibraryFallsBack)
{
    LanguageFolder folder({L"Sorvane.0411\\"});
    EXPECT_FALSE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.dll");
    EXPECT_EQ(folder.resLang.currentLanguage(), 0x0409u);
}

TEST(ResLangJapanese, NoLibraryMeansOwnModule)
{
    LanguageFolder folder({L"Sorvane.0412", L"Sorvane.txt", L"Sorvane.04"});
    EXPECT_FALSE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.dll");
}

TEST(ResLangChinese, InterfaceIsSimplifiedChinese)
{
    ASSERT_EQ(::GetUserDefaultUILanguage(), 0x0804) << "run with LC_ALL=zh_CN.UTF-8";
}

TEST(ResLangChinese, SmallestSublanguageWinsWithOneEndingTheSearch)
{
    LanguageFolder folder({L"Sorvane.0C04", L"Sorvane.0404"});
    EXPECT_TRUE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.0404");
    EXPECT_EQ(folder.resLang.currentLanguage(), 0x0404u);
}

TEST(ResLangChinese, OtherSublanguagesCompareBySublanguage)
{
    LanguageFolder folder({L"Sorvane.1404", L"Sorvane.0C04", L"Sorvane.0411"});
    EXPECT_TRUE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.0C04");
}

TEST(ResLangEnglish, InterfaceIsEnglish)
{
    ASSERT_EQ(::GetUserDefaultUILanguage() & 0x3FF, 0x09) << "run with LC_ALL=en_US.UTF-8";
}

TEST(ResLangEnglish, LibraryIsNeverLoaded)
{
    LanguageFolder folder({L"Sorvane.0409", L"Sorvane.0411"});
    EXPECT_FALSE(folder.load());
    EXPECT_EQ(folder.chosen(), L"Sorvane.dll");
    EXPECT_EQ(::GetModuleHandleW((folder.folder() / L"Sorvane.0411").c_str()), nullptr);
    EXPECT_EQ(::GetModuleHandleW((folder.folder() / L"Sorvane.0409").c_str()), nullptr);
}

} // namespace
