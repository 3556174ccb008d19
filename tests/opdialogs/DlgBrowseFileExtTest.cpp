// The extension browser on real folder trees: ticks and text kept in step,
// the ".*" rule, typed rows, the length limit, and the background search
// (stopped, restarted, outliving the dialog, on long paths).
#include "OpDialogFixture.h"

#include <atomic>
#include <cwchar>
#include <mutex>
#include <thread>

#include "dialogs/DlgBrowseFileExt.h"
#include "dialogs/FileTreeDlg.h"
#include "dialogs/LabelledText.h"
#include "common/ui/PictureButton.h"

using namespace sorvane;
using namespace sorvane::browseext;
using namespace sorvane::test;

namespace {

struct Row {
    std::wstring extension;
    bool ticked;
    std::wstring description;
    // Found extensions are spelled as first met: "a.TXT" or "b.txt" may give the row.
    bool operator==(const Row& other) const { return equalNoCase(extension, other.extension) && ticked == other.ticked; }
};
std::ostream& operator<<(std::ostream& out, const Row& row)
{
    std::string narrow;
    for (wchar_t c : row.extension) narrow += static_cast<char>(c < 128 ? c : '?');
    return out << narrow << (row.ticked ? "+" : "-");
}

// Holds the search before it lists a folder while closed, and records what
// the search does.
class SearchGate {
public:
    SearchGate() : open_(::CreateEventW(nullptr, TRUE, TRUE, nullptr))
    {
        current() = this;
        ExtensionSearch::SetProbe(probe);
    }
    ~SearchGate()
    {
        ExtensionSearch::SetProbe(nullptr);
        Open();
        current() = nullptr;
    }
    void Close() { ::ResetEvent(open_.get()); }
    void Open() { ::SetEvent(open_.get()); }
    std::vector<std::wstring> folders()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return folders_;
    }
    int ended() const { return ended_.load(); }
    int waiting() const { return waiting_.load(); }

private:
    static std::atomic<SearchGate*>& current()
    {
        static std::atomic<SearchGate*> gate{nullptr};
        return gate;
    }
    static void probe(const wchar_t* folder)
    {
        SearchGate* gate = current().load();
        if (!gate) return;
        if (!folder) {
            ++gate->ended_;
            return;
        }
        {
            std::lock_guard<std::mutex> guard(gate->lock_);
            gate->folders_.push_back(folder);
        }
        ++gate->waiting_;
        ::WaitForSingleObject(gate->open_.get(), 15000);
        --gate->waiting_;
    }

    UniqueHandle open_;
    std::mutex lock_;
    std::vector<std::wstring> folders_;
    std::atomic<int> ended_{0};
    std::atomic<int> waiting_{0};
};

class BrowseExtDialogWindow : public OpDialogTest {
protected:
    void SetUp() override
    {
        OpDialogTest::SetUp();
        // The tree: a.TXT and b.txt are one extension; README has none.
        for (const wchar_t* name : {L"a.TXT", L"b.txt", L"README", L"c.cpp"}) writeText(tree / name, L"x");
        ::CreateDirectoryW((tree / L"sub").c_str(), nullptr);
        writeText(tree / L"sub\\d.h", L"x");
        writeText(tree / L"sub\\e.doc", L"x");
        sources = tree.path();
    }

    INT_PTR run(const std::wstring& entry, ModalDriver::Script script)
    {
        boundedCopy(buffer, entry.c_str(), CDlgBrowseFileExt::kTextCapacity);
        browser = std::make_unique<CDlgBrowseFileExt>(sources.c_str(), buffer);
        driver.onNextDialog(std::move(script));
        return browser->Run(owner);
    }
    bool searchEnds(DWORD ms = 10000)
    {
        return pumpMessages(ms, [&] { return !browser->IsSearching(); }) && (pumpMessages(30), true);
    }
    static std::vector<Row> rows(HWND dialog)
    {
        HWND list = ::GetDlgItem(dialog, kList);
        std::vector<Row> result;
        const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t extension[300] = {};
            wchar_t description[300] = {};
            LVITEMW item = {};
            item.pszText = extension;
            item.cchTextMax = 300;
            ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            item.iSubItem = 1;
            item.pszText = description;
            ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            const UINT state = static_cast<UINT>(::SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK));
            result.push_back({extension, state == INDEXTOSTATEIMAGEMASK(2), description});
        }
        return result;
    }
    static int rowOf(HWND dialog, const wchar_t* extension)
    {
        LVFINDINFOW find = {};
        find.flags = LVFI_STRING;
        find.psz = extension;
        return static_cast<int>(::SendDlgItemMessageW(dialog, kList, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>(&find)));
    }
    // Ticks or unticks a row as a click on its check box does.
    static void tick(HWND dialog, const wchar_t* extension, bool ticked)
    {
        LVITEMW state = {};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
        ::SendDlgItemMessageW(dialog, kList, LVM_SETITEMSTATE, rowOf(dialog, extension), reinterpret_cast<LPARAM>(&state));
        pumpMessages(30); // the list is sorted once the change is done
    }

    TempFolder tree;
    std::wstring sources;
    wchar_t buffer[CDlgBrowseFileExt::kTextCapacity] = {};
    std::unique_ptr<CDlgBrowseFileExt> browser;
};

TEST_F(BrowseExtDialogWindow, TextExtensionsComeFirstAndFoundOnesFollowUnticked)
{
    SearchGate gate;
    gate.Close();
    const INT_PTR result = run(L"Docs|*.doc;*.txt", [&](HWND window) {
        EXPECT_EQ(windowText(window), L"Select Extensions");
        EXPECT_EQ(text(window, kText), L"Docs|*.doc;*.txt");
        EXPECT_EQ(::SendDlgItemMessageW(window, kText, EM_GETLIMITTEXT, 0, 0), 520);
        EXPECT_TRUE(browser->IsSearching());
        EXPECT_LT(ui::GetButtonState(window, kSearch), 4) << "an animation frame while searching";
        EXPECT_EQ(rows(window), (std::vector<Row>{{L".doc", true, L""}, {L".txt", true, L""}}));

        HWND list = ::GetDlgItem(window, kList);
        RECT client = {};
        ::GetClientRect(list, &client);
        const int width = client.right - ::GetSystemMetrics(SM_CXVSCROLL);
        EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), width * 30 / 100 - 1);
        EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), width * 70 / 100 - 1);
        EXPECT_TRUE(::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES);

        gate.Open();
        ASSERT_TRUE(searchEnds());
        EXPECT_EQ(ui::GetButtonState(window, kSearch), 4) << "idle";
        // README adds nothing; a.TXT and b.txt share the ".txt" row.
        EXPECT_EQ(rows(window), (std::vector<Row>{{L".doc", true, L""},
                                                  {L".txt", true, L""},
                                                  {L".cpp", false, L""},
                                                  {L".h", false, L""}}));
        wchar_t description[64] = {};
        HICON found = nullptr;
        Describe(L".txt", description, 64, &found);
        const UniqueIcon icon(found);
        EXPECT_EQ(rows(window)[1].description, description) << "the registered description";
        command(window, kClose);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, L"Docs|*.doc;*.txt");
    EXPECT_EQ(gate.ended(), 1);
}

TEST_F(BrowseExtDialogWindow, AllFilesTickExcludesEveryOtherTick)
{
    const INT_PTR result = run(L"*.*", [&](HWND window) {
        ASSERT_TRUE(searchEnds());
        ASSERT_FALSE(rows(window).empty());
        EXPECT_EQ(rows(window)[0], (Row{L".*", true, L""}));

        tick(window, L".h", true);
        EXPECT_EQ(text(window, kText), L"*.h;");
        EXPECT_EQ(rows(window)[0], (Row{L".h", true, L""})) << "ticked rows first";
        EXPECT_FALSE(rows(window)[rowOf(window, L".*")].ticked);

        tick(window, L".cpp", true);
        EXPECT_EQ(text(window, kText), L"*.h;*.cpp;");
        EXPECT_EQ(rows(window)[0], (Row{L".cpp", true, L""}));
        tick(window, L".*", true);
        EXPECT_EQ(text(window, kText), L"*.*;");
        for (const Row& row : rows(window)) EXPECT_EQ(row.ticked, row.extension == L".*") << row;

        tick(window, L".*", false);
        EXPECT_EQ(text(window, kText), L"");
        command(window, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(buffer, L"*.*") << "Esc leaves the caller's text alone";
}

TEST_F(BrowseExtDialogWindow, TypedExtensionsComeAndGoWithTheText)
{
    const INT_PTR result = run(L"", [&](HWND window) {
        ASSERT_TRUE(searchEnds());
        HWND edit = ::GetDlgItem(window, kText);
        type(edit, L"Mine|*.xyz;*.doc;notes;");
        EXPECT_EQ(rows(window), (std::vector<Row>{{L".doc", true, L""},
                                                  {L".xyz", true, L""},
                                                  {L"notes", true, L""},
                                                  {L".cpp", false, L""},
                                                  {L".h", false, L""},
                                                  {L".txt", false, L""}}));
        type(edit, L"Mine|*.cpp;");
        // Typed rows leave with their text; found ones stay unticked.
        EXPECT_EQ(rows(window), (std::vector<Row>{{L".cpp", true, L""},
                                                  {L".doc", false, L""},
                                                  {L".h", false, L""},
                                                  {L".txt", false, L""}}));
        // Unticking takes the extension out of the text, label kept.
        tick(window, L".cpp", false);
        EXPECT_EQ(text(window, kText), L"Mine|");
        tick(window, L".h", true);
        EXPECT_EQ(text(window, kText), L"Mine|*.h;");
        // And typed again, the row follows the text once more.
        type(edit, L"Mine|*.H;*.cpp");
        EXPECT_TRUE(rows(window)[rowOf(window, L".cpp")].ticked);
        EXPECT_TRUE(rows(window)[rowOf(window, L".h")].ticked);
        command(window, kClose);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, L"Mine|*.H;*.cpp");
}

TEST_F(BrowseExtDialogWindow, TickThatWouldOverfillTheTextIsRefused)
{
    std::wstring entry = L"Long|";
    for (int i = 0; i < 72; ++i) {
        wchar_t item[16];
        std::swprintf(item, 16, L"*.e%03d;", i);
        entry += item;
    }
    entry += L"*.abc;";
    ASSERT_EQ(entry.size(), 515u);
    const INT_PTR result = run(entry, [&](HWND window) {
        ASSERT_TRUE(searchEnds());
        tick(window, L".cpp", true); // "*.cpp;" would make 521
        EXPECT_EQ(text(window, kText), entry);
        EXPECT_FALSE(rows(window)[rowOf(window, L".cpp")].ticked);
        tick(window, L".h", true); // "*.h;" just fits into 519
        EXPECT_EQ(text(window, kText).size(), 519u);
        EXPECT_TRUE(rows(window)[rowOf(window, L".h")].ticked);
        command(window, kClose);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::wcslen(buffer), 519u);
}

TEST_F(BrowseExtDialogWindow, TicksChangedDuringASearchBecomeTextChanges)
{
    SearchGate gate;
    gate.Close();
    const INT_PTR result = run(L"*.doc", [&](HWND window) {
        ASSERT_TRUE(pumpMessages(5000, [&] { return gate.waiting() > 0; }));
        EXPECT_TRUE(browser->IsSearching());
        tick(window, L".doc", false);
        EXPECT_EQ(text(window, kText), L"");
        tick(window, L".doc", true);
        EXPECT_EQ(text(window, kText), L"*.doc;");
        gate.Open();
        ASSERT_TRUE(searchEnds());
        command(window, kClose);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, L"*.doc;");
}

TEST_F(BrowseExtDialogWindow, SearchButtonStopsAndRestartsTheSearch)
{
    SearchGate gate;
    gate.Close();
    const INT_PTR result = run(L"*.txt", [&](HWND window) {
        ASSERT_TRUE(pumpMessages(5000, [&] { return gate.waiting() > 0; }));
        // The gate opens while the stop waits for the thread.
        std::thread opener([&] {
            ::Sleep(300);
            gate.Open();
        });
        const DWORD start = ::GetTickCount();
        click(window, kSearch);
        const DWORD waited = ::GetTickCount() - start;
        opener.join();
        EXPECT_FALSE(browser->IsSearching());
        EXPECT_LT(waited, 2500u) << "the thread ended soon after the stop";
        EXPECT_EQ(ui::GetButtonState(window, kSearch), 4);
        EXPECT_EQ(rows(window).size(), 1u) << "stopped before the first folder was listed";

        click(window, kSearch);
        EXPECT_TRUE(browser->IsSearching());
        ASSERT_TRUE(searchEnds());
        std::vector<std::wstring> extensions;
        for (const Row& row : rows(window)) extensions.push_back(row.extension);
        EXPECT_EQ(extensions, (std::vector<std::wstring>{L".txt", L".cpp", L".doc", L".h"}));
        command(window, kClose);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(gate.ended(), 2);
}

TEST_F(BrowseExtDialogWindow, SearchOutlivingTheStopWaitFinishesOnItsOwn)
{
    SearchGate gate;
    gate.Close();
    DWORD closing = 0;
    const INT_PTR result = run(L"*.txt", [&](HWND window) {
        ASSERT_TRUE(pumpMessages(5000, [&] { return gate.waiting() > 0; }));
        tick(window, L".txt", false);
        closing = ::GetTickCount();
        command(window, kClose);
    });
    const DWORD waited = ::GetTickCount() - closing;
    EXPECT_EQ(result, 1);
    EXPECT_GE(waited, 2900u) << "the dialog waited for the stopped search";
    EXPECT_LT(waited, 6000u) << "and then went on without it";
    EXPECT_STREQ(buffer, L"");
    browser.reset(); // the dialog and its records are gone

    EXPECT_EQ(gate.ended(), 0) << "the search is still held";
    gate.Open();
    ASSERT_TRUE(pumpMessages(10000, [&] { return gate.ended() == 1; })) << "the search finished by itself";
    pumpMessages(100);
    EXPECT_EQ(gate.folders().size(), 1u) << "and, asked to stop, listed nothing more";
}

TEST_F(BrowseExtDialogWindow, EveryItemOfTheSourceListIsSearched)
{
    // A name without extension is no trouble: the items after it are searched.
    writeText(tree / L"other.rtf", L"x");
    sources = tree.path() + L"\\;README;sub;a.TXT;missing;";
    run(L"", [&](HWND window) {
        ASSERT_TRUE(searchEnds());
        std::vector<std::wstring> extensions;
        for (const Row& row : rows(window)) extensions.push_back(row.extension);
        EXPECT_EQ(extensions, (std::vector<std::wstring>{L".doc", L".h", L".TXT"}))
            << "only the named items: not c.cpp or other.rtf beside them";
        command(window, kClose);
    });

    // Without ";" the list is one folder, searched whole.
    sources = tree / L"sub";
    run(L"", [&](HWND window) {
        ASSERT_TRUE(searchEnds());
        EXPECT_EQ(rows(window).size(), 2u);
        command(window, kClose);
    });
}

TEST_F(BrowseExtDialogWindow, FoldersBeyondTheShortPathLimitAreSearched)
{
    std::wstring deep = L"\\\\?\\" + tree.path();
    for (int level = 0; deep.size() < 330; ++level) {
        deep += L"\\a-folder-name-of-forty-characters-" + std::to_wstring(level);
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << level;
    }
    ASSERT_TRUE(writeText(deep + L"\\far.lng", L"x"));
    ASSERT_TRUE(writeText(deep + L"\\README", L"x"));
    sources = tree.path() + L"\\;a-folder-name-of-forty-characters-0;";
    run(L"", [&](HWND window) {
        ASSERT_TRUE(searchEnds());
        ASSERT_EQ(rows(window).size(), 1u);
        EXPECT_EQ(rows(window)[0].extension, L".lng");
        command(window, kClose);
    });
}

TEST_F(BrowseExtDialogWindow, DriveRootListSearchesTheRootFolder)
{
    SearchGate gate;
    for (const wchar_t* list : {L"C:\\;;", L"C:\\;"}) {
        gate.Close();
        sources = list;
        run(L"", [&](HWND window) {
            ASSERT_TRUE(pumpMessages(5000, [&] { return gate.waiting() > 0; }));
            EXPECT_EQ(gate.folders().back(), L"\\\\?\\C:\\") << list;
            gate.Open();
            command(window, kClose);
        });
    }
}

TEST_F(BrowseExtDialogWindow, HelpOpensItsTopic)
{
    run(L"", [&](HWND window) {
        HELPINFO help = {sizeof(HELPINFO), HELPINFO_WINDOW, kList, ::GetDlgItem(window, kList), 0, {0, 0}};
        ::SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        command(window, IDCANCEL);
    });
    ASSERT_EQ(helpRequests().size(), 1u);
    EXPECT_EQ(helpRequests()[0].data, 0x20810u);
    EXPECT_EQ(helpRequests()[0].command, 0x000Fu);
}

// The browser opened from the operation dialog's ">>" button.
TEST_F(BrowseExtDialogWindow, OperationDialogTakesTheTextOnCloseOnly)
{
    fill(history().types, {L"All Files|*.*", L"Text|*.txt"});
    CFileTreeDlg operation;
    operation.settings.setSources(sources.c_str());
    operation.settings.setPatterns(L"Docs|*.doc");
    driver.onNextDialog([&](HWND window) {
        HWND patterns = ::GetDlgItem(window, filetree::kPatterns);
        // Esc: nothing changes.
        driver.onNextDialog([&](HWND inner) {
            EXPECT_EQ(text(inner, kText), L"Docs|*.doc");
            type(::GetDlgItem(inner, kText), L"Docs|*.doc;*.rtf;");
            command(inner, IDCANCEL);
        });
        click(window, filetree::kBrowseExtensions);
        EXPECT_EQ(text(window, filetree::kPatterns), L"Docs|*.doc");
        EXPECT_EQ(entries(history().types), (std::vector<std::wstring>{L"All Files|*.*", L"Text|*.txt"}));

        // Close: the text goes to the front of the history and is selected.
        driver.onNextDialog([&](HWND inner) {
            ASSERT_TRUE(pumpMessages(10000, [&] { return threadDialogs().size() == 2 && rowOf(inner, L".h") >= 0; }));
            tick(inner, L".h", true);
            command(inner, kClose);
        });
        click(window, filetree::kBrowseExtensions);
        EXPECT_EQ(entries(history().types),
                  (std::vector<std::wstring>{L"Docs|*.doc;*.h;", L"All Files|*.*", L"Text|*.txt"}));
        EXPECT_EQ(comboEntries(patterns), entries(history().types));
        EXPECT_EQ(::SendMessageW(patterns, CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(text(window, filetree::kPatterns), L"Docs|*.doc;*.h;");
        EXPECT_EQ(tipText(comboEdit(patterns)), L"Docs|*.doc; *.h; ");
        command(window, filetree::kCancel);
    });
    EXPECT_EQ(operation.Run(owner, kOperationDelete, true), 0);
    EXPECT_EQ(driver.scriptsRun(), 3);
}

} // namespace
