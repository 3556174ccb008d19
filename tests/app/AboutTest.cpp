// The real Sorvane.exe: Alt+"?" and Alt+"/" open the about box (the
// agreement viewer) from the main window, also without the rich-text 2.0
// library, and the program file carries its
// manifest, version record, icons and pictures.
#include <gtest/gtest.h>

#include "ControlHost.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#include <string>
#include <vector>

using namespace sorvane;

namespace {

constexpr DWORD kWindowWait = 20000;
constexpr wchar_t kAboutCaption[] = L"Sorvane shell extension";

std::wstring sorvaneExe() { return test::distFolder() + L"Sorvane.exe"; }

// Alt held while the keys of `character` go to the focused window.
void typeWithAlt(wchar_t character)
{
    const SHORT scan = ::VkKeyScanW(character);
    ASSERT_NE(scan, -1) << "the keyboard layout has no key for it";
    const WORD key = LOBYTE(scan);
    const bool shift = (HIBYTE(scan) & 1) != 0;
    std::vector<INPUT> inputs;
    auto push = [&](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    push(VK_MENU, false);
    if (shift) push(VK_SHIFT, false);
    push(key, false);
    push(key, true);
    if (shift) push(VK_SHIFT, true);
    push(VK_MENU, true);
    ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}

HWND findAboutBox(DWORD processId, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    do {
        HWND box = test::findProcessWindow(processId, L"#32770", 100);
        if (box && test::windowText(box) == kAboutCaption) return box;
    } while (::GetTickCount() - start < ms);
    return nullptr;
}

// The text of a control of another process, asked from the control itself.
std::wstring controlText(HWND control)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                          5000, &got);
    text.resize(got);
    return text;
}

TEST(AboutBox, AltQuestionMarkAndAltSlashOpenItFromTheMainWindow)
{
    ASSERT_TRUE(test::exists(sorvaneExe())) << "build the program first";
    test::ChildProcess process;
    ASSERT_TRUE(process.start(sorvaneExe(), L""));
    HWND main = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWindowWait);
    ASSERT_NE(main, nullptr) << "main window not shown";

    for (wchar_t key : {L'?', L'/'}) {
        // Keys go to the foreground window, which a test running beside
        // this one may take for a moment: type again until the box shows.
        HWND about = nullptr;
        for (int attempt = 0; attempt < 5 && !about; ++attempt) {
            ::SetForegroundWindow(main);
            for (int i = 0; i < 20 && ::GetForegroundWindow() != main; ++i) ::Sleep(50);
            typeWithAlt(key);
            about = findAboutBox(process.id(), 3000);
        }
        ASSERT_NE(about, nullptr) << "Alt+" << static_cast<char>(key) << " opened no about box";
        EXPECT_EQ(::GetWindow(about, GW_OWNER), main);
        HWND box = ::GetDlgItem(about, 2161);
        ASSERT_NE(box, nullptr) << "the agreement's text box";
        EXPECT_EQ(controlText(box).rfind(L"Sorvane Software Licence", 0), 0u);

        ::PostMessageW(about, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 100 && ::IsWindow(about); ++i) ::Sleep(50);
        EXPECT_FALSE(::IsWindow(about));
        EXPECT_TRUE(::IsWindow(main)) << "the main window stays";
    }
    ::PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(process.wait(10000), 0u);
}

// The program file, opened as data.
class AboutProgramFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(sorvaneExe())) << "build the program first";
        image = ::LoadLibraryExW(sorvaneExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(image, nullptr);
    }
    void TearDown() override
    {
        if (image) ::FreeLibrary(image);
    }
    std::string resource(const wchar_t* type, int id) const
    {
        HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(id), type);
        if (!found) return {};
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(image, found)));
        return data ? std::string(data, ::SizeofResource(image, found)) : std::string();
    }
    HMODULE image = nullptr;
};

TEST_F(AboutProgramFile, ManifestAsksForCommonControlsSixAsInvokerAndDpiAware)
{
    const std::string manifest = resource(MAKEINTRESOURCEW(24), 1);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    EXPECT_EQ(manifest.rfind("<?xml", 0), 0u);
    EXPECT_NE(manifest.find("</assembly>"), std::string::npos);
}

TEST_F(AboutProgramFile, VersionRecordSaysVersionTwoPointFour)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(sorvaneExe().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(sorvaneExe().c_str(), 0, size, data.data()));
    auto value = [&](const wchar_t* name) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        wchar_t* text = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text) return std::wstring();
        return std::wstring(text);
    };
    EXPECT_EQ(value(L"ProductVersion"), L"Version 2.4");
    EXPECT_EQ(value(L"FileVersion"), L"Version 2.4");
    EXPECT_EQ(value(L"ProductName"), L"Sorvane");
    EXPECT_FALSE(value(L"FileDescription").empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(4, 2));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST_F(AboutProgramFile, IconsComeAtSixteenAndThirtyTwoPixels)
{
    std::vector<std::string> pictures;
    for (int id : {IDI_SORVANE, IDI_FORM_COPY, IDI_FORM_COMPRESS, IDI_FORM_ERASE, IDI_FORM_RECYCLE}) {
        const std::string group = resource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, id);
        ASSERT_GE(group.size(), 6u) << "icon " << id;
        const auto count = static_cast<unsigned char>(group[4]);
        std::vector<int> sizes;
        for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
            sizes.push_back(static_cast<unsigned char>(group[6 + 14 * i]));
            const auto bits = static_cast<unsigned char>(group[6 + 14 * i + 6]);
            EXPECT_EQ(bits, 32) << "icon " << id << " has alpha";
        }
        EXPECT_EQ(sizes, (std::vector<int>{32, 16})) << "icon " << id;
        for (int size : {16, 32}) {
            HICON icon = static_cast<HICON>(::LoadImageW(image, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr) << id << " at " << size;
            ICONINFO info = {};
            ASSERT_TRUE(::GetIconInfo(icon, &info));
            test::Canvas canvas(size, size, RGB(255, 0, 255));
            ::DrawIconEx(canvas.dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
            std::string drawn;
            int covered = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    const COLORREF pixel = canvas.pixel(x, y);
                    covered += pixel != RGB(255, 0, 255);
                    drawn += std::to_string(pixel) + ",";
                }
            }
            EXPECT_GT(covered, size * size / 3) << "icon " << id << " at " << size << " draws a picture";
            pictures.push_back(drawn);
            if (info.hbmColor) ::DeleteObject(info.hbmColor);
            if (info.hbmMask) ::DeleteObject(info.hbmMask);
            ::DestroyIcon(icon);
        }
    }
    for (size_t i = 0; i < pictures.size(); ++i) {
        for (size_t j = i + 1; j < pictures.size(); ++j) EXPECT_NE(pictures[i], pictures[j]) << i << " and " << j;
    }
}

TEST_F(AboutProgramFile, ButtonStripAndFilePicturesKeepTheirLayout)
{
    const test::Picture strip = test::loadBitmapPixels(image, IDB_BUTTONS);
    ASSERT_EQ(strip.width, 160);
    ASSERT_EQ(strip.height, 32);
    const COLORREF key = strip.at(0, 0);
    // Every cell a button uses has a picture; the cells of one button differ.
    auto cell = [&](int index) {
        std::vector<COLORREF> pixels;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) pixels.push_back(strip.at((index % 10) * 16 + x, (index / 10) * 16 + y));
        }
        return pixels;
    };
    for (int index : {1, 2, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16}) {
        int opaque = 0;
        for (COLORREF pixel : cell(index)) opaque += pixel != key;
        EXPECT_GT(opaque, 20) << "cell " << index;
    }
    for (auto pair : {std::make_pair(1, 2), std::make_pair(5, 6), std::make_pair(10, 11), std::make_pair(11, 12),
                      std::make_pair(12, 13), std::make_pair(13, 14)}) {
        EXPECT_NE(cell(pair.first), cell(pair.second)) << pair.first << " and " << pair.second;
    }

    const test::Picture files = test::loadBitmapPixels(image, IDB_FILE_TYPES);
    ASSERT_EQ(files.width, 32);
    ASSERT_EQ(files.height, 16);
    int generic = 0;
    int program = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            generic += files.at(x, y) != files.at(0, 0);
            program += files.at(16 + x, y) != files.at(0, 0);
        }
    }
    EXPECT_GT(generic, 60);
    EXPECT_GT(program, 60);
}

TEST(AboutShellExtensionArt, MenuPicturesHaveTheirMasksBeside)
{
    const std::wstring path = std::wstring(SORVANE_SOURCE_DIR) + L"\\SorvaneExt\\res\\art\\menu.bmp";
    const std::string file = test::readBytes(path);
    ASSERT_GE(file.size(), 54u) << "missing " << std::string(path.begin(), path.end());
    auto u16 = [&](size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(file[at]) | static_cast<unsigned char>(file[at + 1]) << 8); };
    auto s32 = [&](size_t at) { return static_cast<int>(u16(at) | u16(at + 2) << 16); };
    EXPECT_EQ(file.compare(0, 2, "BM"), 0);
    EXPECT_EQ(s32(18), 32);
    EXPECT_EQ(s32(22), 60);
    EXPECT_EQ(u16(28), 8u) << "8 bits per pixel";

    const test::Picture picture = test::readBitmapFile(path);
    ASSERT_EQ(picture.width, 32);
    ASSERT_EQ(picture.height, 60);
    for (int row = 0; row < 3; ++row) {
        int shown = 0;
        for (int y = row * 20; y < row * 20 + 20; ++y) {
            for (int x = 0; x < 16; ++x) {
                const COLORREF mask = picture.at(16 + x, y);
                ASSERT_TRUE(mask == RGB(0, 0, 0) || mask == RGB(255, 255, 255)) << x << "," << y;
                if (mask == RGB(255, 255, 255)) {
                    EXPECT_EQ(picture.at(x, y), RGB(0, 0, 0)) << "black around the picture at " << x << "," << y;
                } else {
                    ++shown;
                }
            }
        }
        EXPECT_GT(shown, 60) << "row " << row;
    }
}

} // namespace

namespace {

TEST(AboutBox, WithoutRichEditTwoShowsTheOlderControlOrNoBox)
{
    ASSERT_TRUE(test::exists(sorvaneExe())) << "build the program first";
    // A copy of the program under a name of its own, for which Wine is told
    // that the rich-text 2.0 library does not exist.
    test::TempFolder folder;
    const std::wstring name = L"SorvaneNoRichEdit" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    const std::wstring copy = folder / name;
    ASSERT_TRUE(::CopyFileW(sorvaneExe().c_str(), copy.c_str(), FALSE));
    const std::wstring appKey = L"Software\\Wine\\AppDefaults\\" + name;
    HKEY overrides = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (appKey + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &overrides, nullptr),
              ERROR_SUCCESS);
    const wchar_t disabled[] = L"";
    ::RegSetValueExW(overrides, L"riched20", 0, REG_SZ, reinterpret_cast<const BYTE*>(disabled), sizeof(disabled));
    ::RegCloseKey(overrides);

    test::ChildProcess process;
    ASSERT_TRUE(process.start(copy, L""));
    HWND main = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWindowWait);
    ASSERT_NE(main, nullptr);
    ::PostMessageW(main, WM_COMMAND, IDM_ABOUT, 0);
    HWND about = findAboutBox(process.id(), 10000);
    ASSERT_NE(about, nullptr) << "the viewer shows, with or without its box";
    HWND box = ::GetDlgItem(about, 2161);
    wchar_t className[64] = {};
    if (box) ::GetClassNameW(box, className, 64);
    if (box) {
        // The older control where it stands on its own.
        EXPECT_EQ(::_wcsicmp(className, L"RICHEDIT"), 0) << className;
        EXPECT_EQ(controlText(box).rfind(L"Sorvane Software Licence", 0), 0u);
    } else {
        // Wine's RichEd32 rests on RichEd20: neither loads, and the viewer
        // shows without its box.
        EXPECT_NE(::GetDlgItem(about, IDOK), nullptr);
    }
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
    ::PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(process.wait(10000), 0u);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str());
}

} // namespace
