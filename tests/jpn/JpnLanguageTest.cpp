// Which resources the program takes under a Japanese and under an English
// user interface, with Sorvane.0411 beside it. Each suite runs in its own
// process under the locale named in CMakeLists.txt: JpnJapanese* under
// ja_JP.UTF-8 (interface language 0x0411), JpnEnglish* under en_US.UTF-8.
//
// In this process the program's start-up choice is made the way the
// program makes it (CResLang over the running module, language 0) with the
// base name "Sorvane", so that the library copied beside this test program
// is the one looked for. The real Sorvane.exe from the deliverables folder
// is started as well, and the real SorvaneExt.dll is loaded from a copy with
// the library beside it.
#include <gtest/gtest.h>

#include "Driver.h"
#include "ExtensionHost.h"
#include "ResourceImage.h"
#include "TestSupport.h"
#include "base/AppState.h"
#include "base/Strings.h"
#include "dialogs/History.h"
#include "res/SorvaneRes.h"
#include "common/ui/Window.h"

#include <commctrl.h>

#include <cstddef>
#include <set>

using namespace sorvane;

namespace {

constexpr LANGID kJapaneseUi = 0x0411;
constexpr DWORD kExitRejected = static_cast<DWORD>(-1);
constexpr DWORD kWindowWait = 20000;

std::wstring thisProgram()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}
std::wstring libraryBesideTests() { return test::programFolder() + L"Sorvane.0411"; }
std::wstring distLibrary() { return test::distFolder() + L"Sorvane.0411"; }
std::wstring distProgram() { return test::distFolder() + L"Sorvane.exe"; }

std::string narrow(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring moduleName(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

bool samePath(const std::wstring& a, const std::wstring& b)
{
    wchar_t longA[MAX_PATH] = {};
    wchar_t longB[MAX_PATH] = {};
    if (!::GetLongPathNameW(a.c_str(), longA, MAX_PATH)) ::lstrcpynW(longA, a.c_str(), MAX_PATH);
    if (!::GetLongPathNameW(b.c_str(), longB, MAX_PATH)) ::lstrcpynW(longB, b.c_str(), MAX_PATH);
    return ::lstrcmpiW(longA, longB) == 0;
}

bool holdsModule(const std::vector<std::wstring>& modules, const std::wstring& path)
{
    for (const std::wstring& module : modules) {
        if (samePath(module, path)) return true;
    }
    return false;
}

// The start-up's choice of the resource module, undone afterwards.
class ResourceChoice {
public:
    ResourceChoice()
    {
        chosen = app().resLang.Load(::GetModuleHandleW(nullptr), 0, L"Sorvane");
        ui::setResourceInstance(resourceModule());
    }
    ~ResourceChoice()
    {
        app().resLang.Unload();
        ui::setResourceInstance(::GetModuleHandleW(nullptr));
    }
    bool chosen = false;
};

INT_PTR CALLBACK plainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Every string the resource module hands out is the expected binary's.
void expectStringsOf(const test::ResourceImage& expected, const test::ResourceImage& other)
{
    std::map<UINT, std::wstring> table = expected.strings();
    ASSERT_FALSE(table.empty());
    std::set<UINT> ids;
    for (const auto& entry : table) ids.insert(entry.first);
    for (const auto& entry : other.strings()) ids.insert(entry.first);
    for (UINT id : ids) {
        const auto found = table.find(id);
        EXPECT_EQ(loadString(id), found == table.end() ? std::wstring() : found->second) << "string " << id;
    }
}

// Every dialog, created from the resource module, shows the expected
// binary's caption and control texts; the menu is the expected one.
void expectDialogsAndMenuOf(const test::ResourceImage& expected)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FF};
    ::InitCommonControlsEx(&controls);
    int shown = 0;
    for (WORD id : {IDD_AGREEMENT, IDD_FILTER_COPY, IDD_FILTER_DELETE, IDD_FILTER_COMPRESS, IDD_PROGRESS, IDD_DOWNLOAD,
                    IDD_BROWSE_EXTENSIONS}) {
        const std::optional<test::DialogTemplate> layout = expected.dialog(id);
        if (!layout) continue; // not built yet
        SCOPED_TRACE(id);
        HWND dialog = ::CreateDialogParamW(ui::resourceInstance(), MAKEINTRESOURCEW(id), nullptr, plainDialog, 0);
        ASSERT_NE(dialog, nullptr) << "needs a display";
        ++shown;
        EXPECT_EQ(test::windowText(dialog), layout->caption);
        for (const test::DialogControl& control : layout->controls) {
            if (control.text.empty() || control.id == 0xFFFF || control.id == static_cast<DWORD>(-1)) continue;
            if (control.className == L"Edit" || control.className == L"ComboBox") continue;
            EXPECT_EQ(test::windowText(::GetDlgItem(dialog, static_cast<int>(control.id))), control.text)
                << "control " << control.id;
        }
        ::DestroyWindow(dialog);
    }
    EXPECT_GT(shown, 0);

    HMENU menu = ::LoadMenuW(resourceModule(), MAKEINTRESOURCEW(IDR_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    const std::vector<test::MenuItem> items = test::readMenu(menu);
    ::DestroyMenu(menu);
    const std::vector<test::MenuItem> wanted = expected.menu(IDR_MAIN_MENU);
    ASSERT_EQ(items.size(), wanted.size());
    ASSERT_FALSE(items.empty());
    ASSERT_EQ(items[0].popup.size(), wanted[0].popup.size());
    EXPECT_EQ(items[0].text, wanted[0].text);
    for (size_t i = 0; i < items[0].popup.size(); ++i) EXPECT_EQ(items[0].popup[i].text, wanted[0].popup[i].text);
}

struct FirstRun {
    std::vector<std::wstring> patterns;
    std::wstring cdBurningEntry;
};

// The history lists as the first run finds them: no profile file yet.
FirstRun firstRun()
{
    test::TempFolder folder;
    HistoryLists lists;
    LoadAll(lists, (folder / L"Sorvane.ini").c_str());
    FirstRun run;
    for (int i = 0; i < lists.types.Count(); ++i) run.patterns.push_back(lists.types.At(i));
    const std::wstring suffix = L"\\Microsoft\\CD Burning";
    for (int i = 0; i < lists.destines.Count(); ++i) {
        const std::wstring entry = lists.destines.At(i);
        if (entry.size() > suffix.size() && entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) == 0)
            run.cdBurningEntry = entry;
    }
    return run;
}

// The message box of a rejected command line, answered.
struct Rejection {
    std::wstring caption;
    std::wstring text;
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::wstring> modules;
};
Rejection rejectCommandLine(const wchar_t* arguments)
{
    Rejection seen;
    test::ChildProcess process;
    if (!process.start(distProgram(), arguments)) return seen;
    if (HWND box = test::findProcessWindow(process.id(), L"#32770", kWindowWait)) {
        seen.modules = test::processModules(process.id());
        seen.caption = test::windowText(box);
        wchar_t text[2048] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
        seen.text = text;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    seen.exitCode = process.wait(10000);
    return seen;
}

struct MainWindowSeen {
    std::wstring title;
    std::vector<std::wstring> modules;
    DWORD exitCode = STILL_ACTIVE;
};
MainWindowSeen startWithoutCommand()
{
    MainWindowSeen seen;
    test::ChildProcess process;
    if (!process.start(distProgram(), L"")) return seen;
    if (HWND window = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWindowWait)) {
        seen.title = test::windowText(window);
        seen.modules = test::processModules(process.id());
        ::PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
    }
    seen.exitCode = process.wait(10000);
    return seen;
}

// What the Explorer extension shows: the items of its right-drag menu
// (plain strings), the width it asks for its owner-drawn Delete item, and
// its help texts; and whether the library was loaded meanwhile.
struct ExtensionTexts {
    std::vector<std::wstring> dragItems;
    std::wstring deleteItem;    // when the ordinary menu has plain strings
    UINT deleteItemWidth = 0;   // when it is owner-drawn
    std::vector<std::wstring> help;
    bool libraryLoaded = false;
    bool libraryLoadedAfter = true;
};

ExtensionTexts extensionTexts()
{
    ExtensionTexts seen;
    test::ComApartment apartment;
    test::ExtensionCopy extension(false, distLibrary());
    if (!extension.module()) return seen;
    const std::wstring library = extension.folder() + L"Sorvane.0411";
    test::TempFolder place;
    const std::wstring source = place / L"source";
    const std::wstring target = place / L"target";
    ::CreateDirectoryW(source.c_str(), nullptr);
    ::CreateDirectoryW(target.c_str(), nullptr);
    ComPtr<test::DropData> data = test::DropData::make({source + L"\\a.txt"});
    {
        ComPtr<IContextMenu3> drag = extension.createHandler(data.get(), target);
        ComPtr<IContextMenu3> plain = extension.createHandler(data.get());
        if (!drag || !plain) return seen;
        seen.libraryLoaded = ::GetModuleHandleW(library.c_str()) != nullptr;

        HMENU menu = ::CreatePopupMenu();
        drag->QueryContextMenu(menu, 0, 100, 150, CMF_NORMAL);
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            wchar_t text[128] = {};
            if (::GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION) > 0)
                seen.dragItems.push_back(text);
        }
        ::DestroyMenu(menu);

        menu = ::CreatePopupMenu();
        plain->QueryContextMenu(menu, 0, 100, 150, CMF_NORMAL);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE;
        ::GetMenuItemInfoW(menu, 102, FALSE, &info);
        if (info.fType & MFT_OWNERDRAW) {
            MEASUREITEMSTRUCT measure = {};
            measure.CtlType = ODT_MENU;
            measure.itemID = 102;
            plain->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), nullptr);
            seen.deleteItemWidth = measure.itemWidth;
        } else {
            wchar_t text[128] = {};
            ::GetMenuStringW(menu, 102, text, 128, MF_BYCOMMAND);
            seen.deleteItem = text;
        }
        ::DestroyMenu(menu);

        for (UINT k = 0; k < 3; ++k) {
            wchar_t text[128] = {};
            plain->GetCommandString(k, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(text), 128);
            seen.help.push_back(text);
        }
    }
    // The last handler gone, the library is let go.
    seen.libraryLoadedAfter = ::GetModuleHandleW(library.c_str()) != nullptr;
    return seen;
}

// The width the extension asks for an owner-drawn item with `text`: the
// text in the menu font, beside its picture.
UINT ownerDrawnItemWidth(const std::wstring& text)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfMenuFont);
    HDC screen = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(screen, font);
    RECT box = {0, 0, 0, 0};
    ::DrawTextW(screen, text.c_str(), -1, &box, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(font);
    return static_cast<UINT>(box.right - box.left + 38 - ::GetSystemMetrics(SM_CXMENUCHECK));
}

// Checks the extension's texts against the expected binary's strings.
void expectExtensionTexts(const ExtensionTexts& seen, const std::map<UINT, std::wstring>& table,
                          const std::map<UINT, std::wstring>& other)
{
    EXPECT_EQ(seen.dragItems, (std::vector<std::wstring>{table.at(51), table.at(52)}));
    if (seen.deleteItemWidth) {
        EXPECT_EQ(seen.deleteItemWidth, ownerDrawnItemWidth(table.at(53)));
        EXPECT_NE(ownerDrawnItemWidth(table.at(53)), ownerDrawnItemWidth(other.at(53))) << "the widths tell the texts apart";
    } else {
        EXPECT_EQ(seen.deleteItem, table.at(53));
    }
    EXPECT_EQ(seen.help, (std::vector<std::wstring>{table.at(60), table.at(61), table.at(62)}));
    EXPECT_FALSE(seen.libraryLoadedAfter);
}

// The lists the operation dialog of the real program offers at its first
// run (no history file yet), and the history file it leaves after Cancel.
// The data folder is the prefix's own: the history file found there is put
// back afterwards.
struct ProgramFirstRun {
    std::vector<std::wstring> patterns;
    std::wstring cdBurningEntry;
    std::string historyFile;
    DWORD exitCode = STILL_ACTIVE;
};

std::vector<std::wstring> comboEntries(HWND dialog, int id)
{
    std::vector<std::wstring> entries;
    HWND combo = ::GetDlgItem(dialog, id);
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[1024] = {};
        if (::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 1024) continue;
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

ProgramFirstRun programFirstRun()
{
    ProgramFirstRun run;
    const std::wstring history = e2e::dataFolder() + L"Sorvane.ini";
    const bool hadHistory = test::exists(history);
    const std::string kept = hadHistory ? test::readBytes(history) : std::string();
    ::DeleteFileW(history.c_str());
    {
        test::TempFolder sources;
        test::writeBytes(sources / L"a.txt", "a");
        test::ChildProcess program;
        if (program.start(distProgram(), L"/C:" + sources.path() + L"\\;a.txt;")) {
            if (HWND dialog = e2e::waitForDialog(program.id(), e2e::kPatterns, kWindowWait)) {
                run.patterns = comboEntries(dialog, e2e::kPatterns);
                const std::wstring suffix = L"\\Microsoft\\CD Burning";
                for (const std::wstring& entry : comboEntries(dialog, e2e::kTarget)) {
                    if (entry.size() > suffix.size() &&
                        entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) == 0)
                        run.cdBurningEntry = entry;
                }
                e2e::press(dialog, e2e::kCancel);
            }
            run.exitCode = program.wait(kWindowWait);
        }
    }
    run.historyFile = test::readBytes(history);
    ::DeleteFileW(history.c_str());
    if (hadHistory) test::writeBytes(history, kept);
    return run;
}

// A text in the ANSI code page, as the history file holds it.
std::string ansi(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

// A message box drops a trailing line feed of its text.
std::wstring shownAs(std::wstring text)
{
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    return text;
}

// ---------------------------------------------------------------------------

class JpnJapanese : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::GetUserDefaultUILanguage(), kJapaneseUi) << "run under LC_ALL=ja_JP.UTF-8";
        ASSERT_TRUE(test::exists(libraryBesideTests()));
        ASSERT_TRUE(library.loaded());
    }
    test::ResourceImage library{libraryBesideTests()};
    test::ResourceImage own{thisProgram()};
};

TEST_F(JpnJapanese, ProgramTakesItsStringsFromTheLibrary)
{
    ResourceChoice choice;
    ASSERT_TRUE(choice.chosen);
    EXPECT_TRUE(samePath(moduleName(resourceModule()), libraryBesideTests())) << narrow(moduleName(resourceModule()));
    EXPECT_EQ(app().resLang.currentLanguage(), kJapaneseUi);
    expectStringsOf(library, own);
    EXPECT_EQ(loadString(IDS_CD_BURNING), L"CDを焼く");
}

TEST_F(JpnJapanese, DialogWindowsAndMenuComeFromTheLibrary)
{
    ResourceChoice choice;
    ASSERT_TRUE(choice.chosen);
    expectDialogsAndMenuOf(library);
}

TEST_F(JpnJapanese, FirstRunSeedsJapanesePatternsAndLabelsTheCdBurningFolder)
{
    ResourceChoice choice;
    ASSERT_TRUE(choice.chosen);
    const FirstRun run = firstRun();
    const std::map<UINT, std::wstring> table = library.strings();
    ASSERT_EQ(run.patterns.size(), 14u);
    for (UINT i = 0; i < 14; ++i) {
        EXPECT_EQ(run.patterns[i], table.at(IDS_PATTERNS_ALL_FILES + i));
        EXPECT_TRUE(test::hasJapanese(run.patterns[i].substr(0, run.patterns[i].find(L'|')))) << i;
    }
    ASSERT_FALSE(run.cdBurningEntry.empty());
    EXPECT_EQ(run.cdBurningEntry.substr(0, run.cdBurningEntry.find(L'|')), table.at(IDS_CD_BURNING));
}

TEST_F(JpnJapanese, RunningProgramShowsTheLibrarysTitleAndMessages)
{
    ASSERT_TRUE(test::exists(distProgram()) && test::exists(distLibrary()));
    test::ResourceImage dist(distLibrary());
    const std::map<UINT, std::wstring> table = dist.strings();

    const MainWindowSeen main = startWithoutCommand();
    EXPECT_EQ(main.title, table.at(IDS_APP_NAME));
    EXPECT_TRUE(holdsModule(main.modules, distLibrary())) << "the library is loaded";
    EXPECT_EQ(main.exitCode, 0u);

    const Rejection rejected = rejectCommandLine(L"/Cx");
    EXPECT_EQ(rejected.caption, table.at(IDS_APP_NAME));
    std::wstring expected = table.at(IDS_UNKNOWN_COMMAND);
    expected.replace(expected.find(L"%s"), 2, L"/Cx");
    EXPECT_EQ(shownAs(rejected.text), shownAs(expected));
    EXPECT_EQ(rejected.exitCode, kExitRejected);
}

TEST_F(JpnJapanese, ProgramsFirstRunOffersJapanesePatternsAndKeepsThem)
{
    ASSERT_TRUE(test::exists(distProgram()) && test::exists(distLibrary()));
    test::ResourceImage dist(distLibrary());
    const std::map<UINT, std::wstring> table = dist.strings();
    const ProgramFirstRun run = programFirstRun();
    ASSERT_EQ(run.patterns.size(), 14u) << "the operation dialog's pattern list";
    for (UINT i = 0; i < 14; ++i) EXPECT_EQ(run.patterns[i], table.at(IDS_PATTERNS_ALL_FILES + i));
    ASSERT_FALSE(run.cdBurningEntry.empty());
    EXPECT_EQ(run.cdBurningEntry.substr(0, run.cdBurningEntry.find(L'|')), table.at(IDS_CD_BURNING));
    EXPECT_EQ(run.exitCode, 0u);
    // Saved at the end of the run, in the system's code page (932).
    EXPECT_EQ(::GetACP(), 932u);
    EXPECT_NE(run.historyFile.find("[Types]"), std::string::npos);
    for (UINT id = IDS_PATTERNS_ALL_FILES; id <= IDS_PATTERNS_WEB; ++id) {
        EXPECT_NE(run.historyFile.find(ansi(table.at(id))), std::string::npos) << id;
    }
}

TEST_F(JpnJapanese, ExplorerExtensionTakesItsMenuAndHelpTextsFromTheLibrary)
{
    ASSERT_TRUE(test::exists(test::distFolder() + L"SorvaneExt.dll") && test::exists(distLibrary()));
    const ExtensionTexts seen = extensionTexts();
    EXPECT_TRUE(seen.libraryLoaded);
    test::ResourceImage dist(distLibrary());
    test::ResourceImage english(test::distFolder() + L"SorvaneExt.dll");
    expectExtensionTexts(seen, dist.strings(), english.strings());
}

// ---------------------------------------------------------------------------

class JpnEnglish : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(PRIMARYLANGID(::GetUserDefaultUILanguage()), LANG_ENGLISH) << "run under LC_ALL=en_US.UTF-8";
        // The library lies beside the program all the same.
        ASSERT_TRUE(test::exists(libraryBesideTests()));
    }
    test::ResourceImage own{thisProgram()};
};

TEST_F(JpnEnglish, LibraryIsNotLoadedAndStringsAreTheProgramsOwn)
{
    test::ResourceImage library(libraryBesideTests());
    ResourceChoice choice;
    EXPECT_FALSE(choice.chosen);
    EXPECT_EQ(resourceModule(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(::GetModuleHandleW(libraryBesideTests().c_str()), nullptr) << "no module of that name in the process";
    expectStringsOf(own, library);
    EXPECT_EQ(loadString(IDS_CD_BURNING), L"CD Burning") << "the CD-burning label in English";
}

TEST_F(JpnEnglish, DialogWindowsAndMenuAreTheProgramsOwn)
{
    ResourceChoice choice;
    EXPECT_FALSE(choice.chosen);
    expectDialogsAndMenuOf(own);
}

TEST_F(JpnEnglish, FirstRunSeedsEnglishPatternsAndAnEnglishCdBurningLabel)
{
    ResourceChoice choice;
    const FirstRun run = firstRun();
    ASSERT_EQ(run.patterns.size(), 14u);
    EXPECT_EQ(run.patterns.front(), L"All Files|*.*");
    ASSERT_FALSE(run.cdBurningEntry.empty());
    EXPECT_EQ(run.cdBurningEntry.substr(0, run.cdBurningEntry.find(L'|')), L"CD Burning");
}

TEST_F(JpnEnglish, RunningProgramNeverLoadsTheLibrary)
{
    ASSERT_TRUE(test::exists(distProgram()) && test::exists(distLibrary()));
    test::ResourceImage program(distProgram());
    const std::map<UINT, std::wstring> table = program.strings();

    const MainWindowSeen main = startWithoutCommand();
    EXPECT_EQ(main.title, table.at(IDS_APP_NAME));
    EXPECT_FALSE(main.modules.empty());
    EXPECT_TRUE(holdsModule(main.modules, distProgram())) << "the module list is readable";
    EXPECT_FALSE(holdsModule(main.modules, distLibrary()));
    EXPECT_EQ(main.exitCode, 0u);

    const Rejection rejected = rejectCommandLine(L"/Cx");
    EXPECT_EQ(rejected.caption, table.at(IDS_APP_NAME));
    EXPECT_EQ(shownAs(rejected.text), L"Error:Command [/Cx].");
    EXPECT_FALSE(holdsModule(rejected.modules, distLibrary()));
}

TEST_F(JpnEnglish, ExplorerExtensionNeverLoadsTheLibrary)
{
    ASSERT_TRUE(test::exists(test::distFolder() + L"SorvaneExt.dll") && test::exists(distLibrary()));
    const ExtensionTexts seen = extensionTexts();
    EXPECT_FALSE(seen.libraryLoaded);
    test::ResourceImage own(test::distFolder() + L"SorvaneExt.dll");
    test::ResourceImage library(distLibrary());
    expectExtensionTexts(seen, own.strings(), library.strings());
}

TEST_F(JpnEnglish, ProgramsFirstRunOffersEnglishPatterns)
{
    ASSERT_TRUE(test::exists(distProgram()) && test::exists(distLibrary()));
    test::ResourceImage program(distProgram());
    const std::map<UINT, std::wstring> table = program.strings();
    const ProgramFirstRun run = programFirstRun();
    ASSERT_EQ(run.patterns.size(), 14u);
    for (UINT i = 0; i < 14; ++i) EXPECT_EQ(run.patterns[i], table.at(IDS_PATTERNS_ALL_FILES + i));
    ASSERT_FALSE(run.cdBurningEntry.empty());
    EXPECT_EQ(run.cdBurningEntry.substr(0, run.cdBurningEntry.find(L'|')), table.at(IDS_CD_BURNING))
        << "the program's label";
    EXPECT_EQ(run.exitCode, 0u);
}

} // namespace
