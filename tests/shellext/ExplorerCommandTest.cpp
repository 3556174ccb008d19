// The entry of Windows 11's own context menu, through COM as Explorer drives
// it: its title, icon and flyout, whether it shows for a selection, and the
// program it starts for each command (shell item arrays made from real
// paths; the starts are recorded through the extension's ShellExecuteW).
#include <gtest/gtest.h>

#include "ExtensionHost.h"
#include "../../SorvaneExt/res/SorvaneExtRes.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::test;

namespace {

// {54C7C6BE-6F7C-4885-AE96-CD301C434569}
const CLSID kCommandClassId = {0x54C7C6BE, 0x6F7C, 0x4885, {0xAE, 0x96, 0xCD, 0x30, 0x1C, 0x43, 0x45, 0x69}};

const wchar_t* const kEnglishTitles[] = {L"Filter Copy...", L"Filter Move...", L"Filter Delete...",
                                         L"Filter Compress..."};
const wchar_t* const kJapaneseTitles[] = {
    L"\x30D5\x30A3\x30EB\x30BF\x30EA\x30F3\x30B0 \x30B3\x30D4\x30FC...", // フィルタリング コピー...
    L"\x30D5\x30A3\x30EB\x30BF\x30EA\x30F3\x30B0 \x79FB\x52D5...",       // フィルタリング 移動...
    L"\x30D5\x30A3\x30EB\x30BF\x30EA\x30F3\x30B0 \x524A\x9664...",       // フィルタリング 削除...
    L"\x30D5\x30A3\x30EB\x30BF\x30EA\x30F3\x30B0 \x5727\x7E2E...",       // フィルタリング 圧縮...
};
const wchar_t* const kSeveralFolders = L"The selected items lie in different folders, as in search results or a "
                                       L"library. Select the items of one folder at a time.";

// A text a command hands out in COM task memory, taken over.
enum class Text { Title, Icon, Tip };
std::wstring text(IExplorerCommand* command, Text which)
{
    LPWSTR got = nullptr;
    const HRESULT hr = which == Text::Title ? command->GetTitle(nullptr, &got)
                       : which == Text::Icon ? command->GetIcon(nullptr, &got)
                                             : command->GetToolTip(nullptr, &got);
    std::wstring value = SUCCEEDED(hr) && got ? got : L"(failed)";
    ::CoTaskMemFree(got);
    return value;
}

// An identifier list of a shell folder that is no file-system folder.
struct SpecialFolder {
    explicit SpecialFolder(int csidl) { ::SHGetSpecialFolderLocation(nullptr, csidl, &id); }
    ~SpecialFolder() { ::CoTaskMemFree(id); }
    SpecialFolder(const SpecialFolder&) = delete;
    SpecialFolder& operator=(const SpecialFolder&) = delete;
    PIDLIST_ABSOLUTE id = nullptr;
};

// A site that is a window, as Explorer's is.
class WindowSite : public IOleWindow {
public:
    explicit WindowSite(HWND window) : window_(window) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (riid != IID_IUnknown && riid != IID_IOleWindow) return *object = nullptr, E_NOINTERFACE;
        *object = static_cast<IOleWindow*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP GetWindow(HWND* window) override { return *window = window_, S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    ULONG references = 1; // the test's own; it lives on the stack

private:
    HWND window_;
};

class ExplorerCommandTest : public ::testing::Test {
protected:
    ComApartment apartment;
    ExtensionCopy extension;
    TempFolder place;

    void SetUp() override { ASSERT_TRUE(extension.module()) << "build SorvaneExt first"; }

    ComPtr<IExplorerCommand> entry()
    {
        ComPtr<IExplorerCommand> command;
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(extension.getClassObject(kCommandClassId, IID_IClassFactory, factory.putVoid()), S_OK);
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExplorerCommand, command.putVoid()), S_OK);
        }
        return command;
    }

    // The flyout's commands, all of them, in order.
    std::vector<ComPtr<IExplorerCommand>> flyout(IExplorerCommand* entry)
    {
        std::vector<ComPtr<IExplorerCommand>> commands;
        ComPtr<IEnumExplorerCommand> list;
        EXPECT_EQ(entry->EnumSubCommands(list.put()), S_OK);
        if (!list) return commands;
        for (;;) {
            ComPtr<IExplorerCommand> command;
            ULONG fetched = 0;
            const HRESULT hr = list->Next(1, command.put(), &fetched);
            if (hr != S_OK) {
                EXPECT_EQ(hr, S_FALSE);
                EXPECT_EQ(fetched, 0u);
                break;
            }
            EXPECT_EQ(fetched, 1u);
            commands.push_back(command);
        }
        return commands;
    }

    EXPCMDSTATE state(IExplorerCommand* command, IShellItemArray* items)
    {
        EXPCMDSTATE got = static_cast<EXPCMDSTATE>(0x7F);
        EXPECT_EQ(command->GetState(items, FALSE, &got), S_OK);
        return got;
    }
};

TEST_F(ExplorerCommandTest, EntryHoldsTheFourCommandsWithTheirIconsAndTips)
{
    ComPtr<IExplorerCommand> command = entry();
    ASSERT_TRUE(command);
    EXPECT_EQ(text(command.get(), Text::Title), L"Sorvane");
    EXPCMDFLAGS flags = 0;
    EXPECT_EQ(command->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS));
    EXPECT_EQ(text(command.get(), Text::Icon), extension.dllPath() + L",-" + std::to_wstring(IDI_COMMAND_ENTRY));
    LPWSTR tip = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(command->GetToolTip(nullptr, &tip), E_NOTIMPL);
    EXPECT_EQ(tip, nullptr);
    GUID name = GUID_NULL;
    EXPECT_EQ(command->GetCanonicalName(&name), S_OK);
    EXPECT_EQ(name, kCommandClassId);
    EXPECT_EQ(command->Invoke(nullptr, nullptr), E_NOTIMPL) << "the entry only opens its flyout";
    ComPtr<IObjectWithSite> withSite;
    EXPECT_EQ(command->QueryInterface(IID_IObjectWithSite, withSite.putVoid()), S_OK);

    std::vector<ComPtr<IExplorerCommand>> commands = flyout(command.get());
    ASSERT_EQ(commands.size(), 4u);
    const wchar_t* const tips[] = {L"Copy selected folders/files by filtering condition.",
                                   L"Move selected folders/files by filtering condition",
                                   L"Delete selected folders/files by filtering condition.",
                                   L"Compress selected folders/files by filtering condition."};
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        IExplorerCommand* sub = commands[i].get();
        EXPECT_EQ(text(sub, Text::Title), kEnglishTitles[i]);
        EXPECT_EQ(text(sub, Text::Tip), tips[i]);
        const std::wstring icon = text(sub, Text::Icon);
        EXPECT_EQ(icon, extension.dllPath() + L",-" + std::to_wstring(IDI_COMMAND_COPY + i));
        // The icon the text names is there, as the shell loads it.
        HICON loaded = nullptr;
        EXPECT_EQ(::PrivateExtractIconsW(extension.dllPath().c_str(), -static_cast<int>(IDI_COMMAND_COPY + i), 16, 16,
                                         &loaded, nullptr, 1, 0),
                  1u);
        EXPECT_NE(loaded, nullptr);
        if (loaded) ::DestroyIcon(loaded);
        EXPECT_EQ(sub->GetFlags(&flags), S_OK);
        EXPECT_EQ(flags, static_cast<EXPCMDFLAGS>(ECF_DEFAULT));
        ComPtr<IEnumExplorerCommand> none;
        EXPECT_EQ(sub->EnumSubCommands(none.put()), E_NOTIMPL);
        EXPECT_FALSE(none);
        EXPECT_EQ(state(sub, nullptr), ECS_ENABLED) << "the entry decides for its flyout";
    }
    HICON entryIcon = nullptr;
    EXPECT_EQ(::PrivateExtractIconsW(extension.dllPath().c_str(), -IDI_COMMAND_ENTRY, 32, 32, &entryIcon, nullptr, 1, 0),
              1u);
    if (entryIcon) ::DestroyIcon(entryIcon);

    // The enumerator: several at once, skipping, cloning, starting again.
    ComPtr<IEnumExplorerCommand> list;
    ASSERT_EQ(command->EnumSubCommands(list.put()), S_OK);
    IExplorerCommand* got[6] = {};
    ULONG fetched = 0;
    EXPECT_EQ(list->Skip(1), S_OK);
    EXPECT_EQ(list->Next(6, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(text(got[0], Text::Title), kEnglishTitles[1]);
    for (ULONG i = 0; i < fetched; ++i) got[i]->Release();
    EXPECT_EQ(list->Next(2, got, nullptr), E_INVALIDARG) << "more than one needs a count";
    EXPECT_EQ(list->Skip(1), S_FALSE);
    EXPECT_EQ(list->Reset(), S_OK);
    ComPtr<IEnumExplorerCommand> copy;
    EXPECT_EQ(list->Skip(3), S_OK);
    ASSERT_EQ(list->Clone(copy.put()), S_OK);
    ComPtr<IExplorerCommand> last;
    EXPECT_EQ(copy->Next(1, last.put(), nullptr), S_OK);
    EXPECT_EQ(text(last.get(), Text::Title), kEnglishTitles[3]);

    // Every object counts: the library stays until the last is gone.
    EXPECT_EQ(extension.canUnloadNow(), S_FALSE);
    last.reset();
    copy.reset();
    list.reset();
    withSite.reset();
    command.reset();
    EXPECT_EQ(extension.canUnloadNow(), S_FALSE) << "the flyout's commands still live";
    commands.clear();
    EXPECT_EQ(extension.canUnloadNow(), S_OK);
}

TEST_F(ExplorerCommandTest, ShowsForFilesFoldersAndDrivesOfOneFolderOnly)
{
    const std::wstring a = place / L"a", b = place / L"b";
    ASSERT_TRUE(::CreateDirectoryW(a.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(b.c_str(), nullptr));
    ASSERT_TRUE(writeBytes(a + L"\\one.txt", "1"));
    ASSERT_TRUE(writeBytes(b + L"\\two.txt", "2"));
    wchar_t startMenu[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_STARTMENU, nullptr, SHGFP_TYPE_CURRENT, startMenu), S_OK);
    ::CreateDirectoryW(startMenu, nullptr);
    SpecialFolder computer(CSIDL_DRIVES), controls(CSIDL_CONTROLS);
    ASSERT_TRUE(computer.id && controls.id);

    const struct {
        const char* what;
        std::vector<std::wstring> paths;
        std::vector<PCIDLIST_ABSOLUTE> other;
        EXPCMDSTATE expected;
    } cases[] = {
        {"a file", {a + L"\\one.txt"}, {}, ECS_ENABLED},
        {"a folder", {a}, {}, ECS_ENABLED},
        {"a file and a folder of one folder", {place / L"a", place / L"b"}, {}, ECS_ENABLED},
        {"a drive", {L"C:\\"}, {}, ECS_ENABLED},
        {"This PC", {}, {computer.id}, ECS_HIDDEN},
        {"the Control Panel", {}, {controls.id}, ECS_HIDDEN},
        {"a file and This PC", {a + L"\\one.txt"}, {computer.id}, ECS_HIDDEN},
        {"files of two folders", {a + L"\\one.txt", b + L"\\two.txt"}, {}, ECS_HIDDEN},
        {"a file and its own folder", {a + L"\\one.txt", a}, {}, ECS_HIDDEN},
        {"two drives", {L"C:\\", L"Z:\\"}, {}, ECS_HIDDEN},
        {"the Start Menu folder", {startMenu}, {}, ECS_HIDDEN},
    };
    ComPtr<IExplorerCommand> command = entry();
    ASSERT_TRUE(command);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IShellItemArray> items = shellItems(c.paths, c.other);
        ASSERT_TRUE(items);
        EXPECT_EQ(state(command.get(), items.get()), c.expected);
        EXPCMDSTATE slow = static_cast<EXPCMDSTATE>(0x7F);
        EXPECT_EQ(command->GetState(items.get(), TRUE, &slow), S_OK);
        EXPECT_EQ(slow, c.expected);
    }
    EXPECT_EQ(state(command.get(), nullptr), ECS_HIDDEN) << "no selection";
    EXPECT_EQ(command->GetState(nullptr, FALSE, nullptr), E_POINTER);

    // A large selection is looked at only when the shell allows it to take
    // its time; then it shows as a small one does.
    std::vector<std::wstring> many;
    for (int i = 0; i < 300; ++i) {
        many.push_back(a + L"\\" + std::to_wstring(i) + L".txt");
        ASSERT_TRUE(writeBytes(many.back(), "m"));
    }
    ComPtr<IShellItemArray> items = shellItems(many);
    ASSERT_TRUE(items);
    EXPCMDSTATE got = ECS_ENABLED;
    EXPECT_EQ(command->GetState(items.get(), FALSE, &got), E_PENDING);
    EXPECT_EQ(got, ECS_HIDDEN);
    EXPECT_EQ(command->GetState(items.get(), TRUE, &got), S_OK);
    EXPECT_EQ(got, ECS_ENABLED);
    many.push_back(b + L"\\two.txt");
    items = shellItems(many);
    ASSERT_TRUE(items);
    EXPECT_EQ(command->GetState(items.get(), TRUE, &got), S_OK);
    EXPECT_EQ(got, ECS_HIDDEN) << "the last of many items lies elsewhere";
}

TEST_F(ExplorerCommandTest, CommandsStartTheProgramAsTheClassicMenuDoes)
{
    LaunchRecorder recorder(extension.module());
    ASSERT_TRUE(recorder.active());
    ASSERT_TRUE(writeBytes(place / L"a.txt", "a"));
    ASSERT_TRUE(::CreateDirectoryW((place / L"sub").c_str(), nullptr));
    // Names long enough that the list passes 1,024 characters.
    std::vector<std::wstring> longPaths;
    std::wstring longList = L"/C:" + place.path() + L"\\;";
    for (int i = 0; i < 8; ++i) {
        const std::wstring name = std::to_wstring(i) + L"-" + std::wstring(140, L'n') + L".txt";
        ASSERT_TRUE(writeBytes(place / name, "n"));
        longPaths.push_back(place / name);
        longList += name + L";";
    }
    ASSERT_GT(longList.size(), 1024u);

    ComPtr<IExplorerCommand> command = entry();
    ASSERT_TRUE(command);
    std::vector<ComPtr<IExplorerCommand>> commands = flyout(command.get());
    ASSERT_EQ(commands.size(), 4u);
    const std::wstring dir = place.path();
    const struct {
        size_t command;
        std::vector<std::wstring> paths;
        std::wstring parameters; // empty: through a hand-off file holding `handOff`
        std::wstring handOff;
    } cases[] = {
        {0, {place / L"a.txt", place / L"sub"}, L"/C:" + dir + L"\\;a.txt;sub;", L""},
        {1, {place / L"a.txt", place / L"sub"}, L"/M:" + dir + L"\\;a.txt;sub;", L""},
        {2, {place / L"sub"}, L"/D:" + dir + L"\\;sub;", L""},
        {3, {place / L"a.txt"}, L"/L:" + dir + L"\\;a.txt;", L""},
        {0, {L"C:\\"}, L"/C:C:\\;;", L""},
        {0, longPaths, L"", longList},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << c.command << ", " << testing::PrintToString(c.paths[0]));
        recorder.clear();
        ComPtr<IShellItemArray> items = shellItems(c.paths);
        ASSERT_TRUE(items);
        EXPECT_EQ(commands[c.command]->Invoke(items.get(), nullptr), S_OK);
        ASSERT_EQ(recorder.starts.size(), 1u);
        EXPECT_TRUE(recorder.messages.empty());
        const LaunchRecorder::Start& start = recorder.starts[0];
        EXPECT_EQ(start.verb, L"open") << "every command runs in the user's own account";
        EXPECT_EQ(start.file, extension.folder() + L"Sorvane.exe");
        EXPECT_EQ(start.folder, extension.folder());
        EXPECT_EQ(start.show, SW_SHOWNORMAL);
        if (!c.parameters.empty()) {
            EXPECT_EQ(start.parameters, c.parameters);
        } else {
            ASSERT_EQ(start.parameters.rfind(L"/F:" + extension.folder() + L"Sor", 0), 0u) << start.parameters;
            const std::string bytes = readBytes(start.parameters.substr(3));
            EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(c.handOff.c_str()), (c.handOff.size() + 1) * 2));
            ::DeleteFileW(start.parameters.substr(3).c_str());
        }
        // The stand-in program was started with exactly those parameters.
        ExtensionCopy::Launch launch;
        ASSERT_TRUE(extension.waitForLaunch(launch)) << "the program was not started";
        ASSERT_GT(launch.commandLine.size(), start.parameters.size()) << launch.commandLine;
        EXPECT_EQ(launch.commandLine.substr(launch.commandLine.size() - start.parameters.size() - 1),
                  L" " + start.parameters);
    }
}

TEST_F(ExplorerCommandTest, RefusedSelectionsAreToldToTheSiteWindowAndStartNothing)
{
    LaunchRecorder recorder(extension.module());
    ASSERT_TRUE(recorder.active());
    const std::wstring a = place / L"a", b = place / L"b";
    ASSERT_TRUE(::CreateDirectoryW(a.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(b.c_str(), nullptr));
    SpecialFolder computer(CSIDL_DRIVES);
    ASSERT_TRUE(computer.id);

    // The entry's site reaches the commands of its flyout.
    const HWND window = reinterpret_cast<HWND>(0x4567);
    WindowSite site(window);
    ComPtr<IExplorerCommand> command = entry();
    ASSERT_TRUE(command);
    ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(command->QueryInterface(IID_IObjectWithSite, withSite.putVoid()), S_OK);
    ASSERT_EQ(withSite->SetSite(&site), S_OK);
    ComPtr<IOleWindow> back;
    EXPECT_EQ(withSite->GetSite(IID_IOleWindow, back.putVoid()), S_OK);
    back.reset();
    std::vector<ComPtr<IExplorerCommand>> commands = flyout(command.get());
    ASSERT_EQ(commands.size(), 4u);

    const struct {
        const char* what;
        ComPtr<IShellItemArray> items;
        const wchar_t* message;
    } cases[] = {
        {"This PC", shellItems({}, {computer.id}), L"No file is selected."},
        {"a folder and an item of another", shellItems({a, place.path()}), kSeveralFolders},
        {"no items", ComPtr<IShellItemArray>(), L"No file is selected."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& sub : commands) {
            recorder.clear();
            EXPECT_EQ(sub->Invoke(c.items.get(), nullptr), S_OK);
            EXPECT_TRUE(recorder.starts.empty());
            ASSERT_EQ(recorder.messages.size(), 1u);
            EXPECT_EQ(recorder.messages[0].text, c.message);
            EXPECT_EQ(recorder.messages[0].caption, L"Sorvane");
            EXPECT_EQ(recorder.messages[0].owner, window);
        }
    }
    // Without a site the messages have no owner.
    ASSERT_EQ(withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, back.putVoid()), E_FAIL);
    recorder.clear();
    ComPtr<IExplorerCommand> fresh = flyout(command.get())[0];
    EXPECT_EQ(fresh->Invoke(nullptr, nullptr), S_OK);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].owner, nullptr);
    commands.clear();
    fresh.reset();
    withSite.reset();
    command.reset();
    EXPECT_EQ(site.references, 1u) << "every reference on the site is given back";
}

// The titles in the user's language, from the Japanese resource library
// beside the extension. The Japanese run of this test sets
// SORVANE_EXPECT_LANGUAGE=ja, so that it cannot pass in English.
TEST(ExplorerCommandLanguage, TitlesComeFromTheLanguageLibraryWithoutAccessKeys)
{
    ComApartment apartment;
    ExtensionCopy extension(true, distFolder() + L"Sorvane.0411");
    ASSERT_TRUE(extension.module());
    const char* expected = std::getenv("SORVANE_EXPECT_LANGUAGE");
    const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
    EXPECT_EQ(japanese, expected && std::string(expected) == "ja");

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(extension.getClassObject(kCommandClassId, IID_IClassFactory, factory.putVoid()), S_OK);
    ComPtr<IExplorerCommand> command;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IExplorerCommand, command.putVoid()), S_OK);
    EXPECT_EQ(text(command.get(), Text::Title), L"Sorvane");
    ComPtr<IEnumExplorerCommand> list;
    ASSERT_EQ(command->EnumSubCommands(list.put()), S_OK);
    IExplorerCommand* got[4] = {};
    ULONG fetched = 0;
    ASSERT_EQ(list->Next(4, got, &fetched), S_OK);
    ASSERT_EQ(fetched, 4u);
    for (ULONG i = 0; i < fetched; ++i) {
        EXPECT_EQ(text(got[i], Text::Title), japanese ? kJapaneseTitles[i] : kEnglishTitles[i]);
        got[i]->Release();
    }
}

} // namespace
