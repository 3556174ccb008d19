// The operation dialog in its three forms, run modally under Wine and
// driven with messages from inside its own message loop.
#include "OpDialogFixture.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/Strings.h"
#include "dialogs/FileTreeDlg.h"
#include "res/SorvaneRes.h"
#include "common/ui/GdiRaii.h"
#include "common/ui/PictureButton.h"

using namespace sorvane;
using namespace sorvane::filetree;
using namespace sorvane::test;

namespace {

class FileTreeDialogWindow : public OpDialogTest {
protected:
    // Runs the form of `kind` with `script` and returns the end code.
    INT_PTR run(uint32_t kind, ModalDriver::Script script, bool expanded = true)
    {
        dialog.settings.operation = kind;
        driver.onNextDialog(std::move(script));
        return dialog.Run(owner, kind, expanded);
    }
    static HWND focusedControl(HWND dialog)
    {
        // The focus of a combo box with an edit field lies in the edit field.
        HWND focus = ::GetFocus();
        HWND parent = focus ? ::GetParent(focus) : nullptr;
        return parent && parent != dialog ? parent : focus;
    }
    static RECT screenRect(HWND window)
    {
        RECT rect = {};
        ::GetWindowRect(window, &rect);
        return rect;
    }

    CFileTreeDlg dialog;
};

TEST_F(FileTreeDialogWindow, SecondRunWhileRunningIsRefusedAtOnce)
{
    INT_PTR nested = -1;
    size_t dialogsDuring = 0;
    const INT_PTR result = run(kOperationCopy, [&](HWND window) {
        EXPECT_TRUE(dialog.IsRunning());
        nested = dialog.Run(owner, kOperationDelete, true);
        dialogsDuring = threadDialogs().size();
        command(window, kCancel);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(dialogsDuring, 1u);
    EXPECT_FALSE(dialog.IsRunning());
    EXPECT_EQ(dialog.Run(owner, 7, true), 0) << "an unknown kind shows nothing";
}


TEST_F(FileTreeDialogWindow, OpeningFillsTheControlsFromTheSettings)
{
    fill(history().destines, {L"Documents|C:\\Users\\ann\\Documents", L"D:\\Backup"});
    fill(history().types, {L"All Files|*.*", L"Text|*.txt"});
    dialog.settings.setSources(L"C:\\Data\\;a.txt;sub;");
    dialog.settings.includeSubfolders = 0;
    dialog.settings.excludePatterns = 1;
    dialog.settings.timeMode = 0;
    dialog.settings.timeFrom = {1, 2};
    dialog.settings.sizeClass = kSizeSpecified;
    dialog.settings.sizeLimitIsMaximum = 1;
    dialog.settings.sizeLimitKB = 7;
    dialog.settings.overwrite = 2;
    dialog.settings.protectReadOnly = 1;
    dialog.settings.cloneTree = 1;
    run(kOperationMove, [&](HWND window) {
        EXPECT_EQ(text(window, kSources), L"C:\\Data\\;a.txt;sub;");
        EXPECT_EQ(tipText(::GetDlgItem(window, kSources)), L"C:\\Data\\; a.txt; sub; ");
        EXPECT_EQ(tipText(::GetDlgItem(window, kSourcesLabel)), loadString(IDS_SOURCES_TIP_MOVE));
        EXPECT_EQ(tipText(::GetDlgItem(window, kTargetLabel)), loadString(IDS_TARGET_TIP_MOVE));
        EXPECT_EQ(tipText(::GetDlgItem(window, kBrowseTarget)), loadString(IDS_BROWSE_FOLDER_TIP));
        EXPECT_EQ(tipText(::GetDlgItem(window, kPatternsLabel)), loadString(IDS_PATTERNS_TIP));
        EXPECT_EQ(tipText(::GetDlgItem(window, kBrowseExtensions)), loadString(IDS_EXTENSIONS_TIP));
        RECT sources = screenRect(::GetDlgItem(window, kSources));
        EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETMAXTIPWIDTH, 0, 0), sources.right - sources.left);
        EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
        EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 30000);
        EXPECT_TRUE(::SendMessageW(::GetDlgItem(window, kSources), EM_GETLIMITTEXT, 0, 0) > 0);
        EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window, kSources), GWL_STYLE) & ES_READONLY);

        // Without a target the first history entry is taken, as if picked.
        EXPECT_EQ(text(window, kTarget), L"Documents|C:\\Users\\ann\\Documents");
        EXPECT_EQ(tipText(comboEdit(::GetDlgItem(window, kTarget))), L"Documents|C:\\Users\\ann\\Documents");
        EXPECT_EQ(comboEntries(::GetDlgItem(window, kTarget)), entries(history().destines));
        EXPECT_EQ(text(window, kPatterns), L"All Files|*.*");
        EXPECT_FALSE(enabled(window, kExclude)) << "\"*.*\" takes every file: nothing to exclude";
        EXPECT_EQ(::SendMessageW(comboEdit(::GetDlgItem(window, kPatterns)), EM_GETLIMITTEXT, 0, 0), 520);
        EXPECT_EQ(::SendMessageW(comboEdit(::GetDlgItem(window, kTarget)), EM_GETLIMITTEXT, 0, 0), 520);

        EXPECT_FALSE(checked(window, kSubfolders));
        EXPECT_FALSE(checked(window, kExclude)) << "unticked while \"*.*\" leaves nothing to exclude";
        EXPECT_TRUE(checked(window, kTimeAny));
        EXPECT_FALSE(enabled(window, kTimeFrom));
        EXPECT_FALSE(enabled(window, kTimeTo));
        SYSTEMTIME from = {}, to = {}, now = {};
        ::GetLocalTime(&now);
        ::SendMessageW(::GetDlgItem(window, kTimeFrom), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&from));
        ::SendMessageW(::GetDlgItem(window, kTimeTo), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(from.wYear, now.wYear);
        EXPECT_EQ(from.wDay, now.wDay);
        EXPECT_EQ(from.wHour + from.wMinute + from.wSecond, 0);
        FILETIME fromTime = {}, toTime = {};
        ::SystemTimeToFileTime(&from, &fromTime);
        ::SystemTimeToFileTime(&to, &toTime);
        const ULONGLONG day = (ULARGE_INTEGER{{toTime.dwLowDateTime, toTime.dwHighDateTime}}.QuadPart -
                               ULARGE_INTEGER{{fromTime.dwLowDateTime, fromTime.dwHighDateTime}}.QuadPart);
        EXPECT_EQ(day, 864000000000ULL) << "\"To\" is tomorrow at midnight";

        EXPECT_TRUE(checked(window, kSizeLast));
        EXPECT_EQ(::SendDlgItemMessageW(window, kLimitKind, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(text(window, kLimitKind), L"Maxmum");
        EXPECT_EQ(text(window, kLimit), L"7");
        EXPECT_TRUE(enabled(window, kLimit));
        EXPECT_TRUE(checked(window, kPolicyLast));
        EXPECT_TRUE(checked(window, kProtectReadOnly));
        EXPECT_TRUE(checked(window, kOption));

        click(window, kSizeFirst);
        EXPECT_FALSE(enabled(window, kLimitKind));
        EXPECT_FALSE(enabled(window, kLimitSpin));
        click(window, kTimeRange);
        EXPECT_TRUE(enabled(window, kTimeFrom));
        EXPECT_TRUE(enabled(window, kTimeTo));
        command(window, kCancel);
    });
    EXPECT_EQ(::SendMessageW(tip.handle(), TTM_GETTOOLCOUNT, 0, 0), 0) << "the shared tip keeps no tools of ours";
}

TEST_F(FileTreeDialogWindow, CopyOrMoveWithATargetTakesEveryFile)
{
    fill(history().types, {L"Text|*.txt"});
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget(L"D:\\Out");
    dialog.settings.setPatterns(L"*.doc");
    const INT_PTR result = run(kOperationCopy, [&](HWND window) {
        EXPECT_EQ(text(window, kTarget), L"D:\\Out");
        EXPECT_EQ(tipText(comboEdit(::GetDlgItem(window, kTarget))), L"D:\\Out");
        EXPECT_EQ(text(window, kPatterns), L"*.*");
        EXPECT_FALSE(enabled(window, kExclude));
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(dialog.settings.patterns, L"*.*");
    EXPECT_STREQ(dialog.settings.target, L"D:\\Out");
    EXPECT_EQ(entries(history().destines), std::vector<std::wstring>{L"D:\\Out"});
    EXPECT_EQ(entries(history().types), (std::vector<std::wstring>{L"*.*", L"Text|*.txt"}));

    // Without a target the patterns stay as they were.
    CFileTreeDlg second;
    second.settings.setSources(L"C:\\Data\\;a.txt;");
    second.settings.setPatterns(L"*.doc");
    driver.onNextDialog([&](HWND window) {
        EXPECT_EQ(text(window, kPatterns), L"*.doc");
        EXPECT_TRUE(enabled(window, kExclude));
        command(window, kCancel);
    });
    EXPECT_EQ(second.Run(owner, kOperationMove, true), 0);
}

TEST_F(FileTreeDialogWindow, CompressProposesAnArchiveName)
{
    struct Case {
        const wchar_t* sources;
        const wchar_t* target;
        std::vector<std::wstring> archives;
        const wchar_t* proposal;
        const wchar_t* patterns;
        bool selfExtract;
    } const cases[] = {
        {L"C:\\Data\\;a.txt;", L"", {}, L"C:\\Data\\Data.lzh", L"*.doc", false},
        {L"C:\\Data\\;a.txt;", L"D:\\Out\\", {}, L"D:\\Out\\Data.lzh", L"*.*", false},
        {L"C:\\Data\\;a.txt;", L"D:\\Out\\", {L"D:\\Out\\sub\\x.lzh", L"D:\\Out\\old.lzh"}, L"D:\\Out\\old.lzh", L"*.*",
         false},
        {L"C:\\Data\\;a.txt;", L"D:\\Out", {L"D:\\Out\\sub\\x.lzh"}, L"D:\\Out\\Data.lzh", L"*.*", false},
        {L"C:\\Data\\;a.txt;", L"D:\\Out", {L"Weekly|d:\\out\\week.EXE"}, L"Weekly|d:\\out\\week.EXE", L"*.*", true},
        {L"C:\\;;", L"", {}, L"C:\\NewFile.lzh", L"*.doc", false},
        {L"C:\\;;", L"D:\\Out\\", {}, L"D:\\Out\\NewFile.lzh", L"*.*", false},
    };
    for (const Case& c : cases) {
        fill(history().archives, c.archives);
        CFileTreeDlg compress;
        compress.settings.setSources(c.sources);
        compress.settings.setTarget(c.target);
        compress.settings.setPatterns(L"*.doc");
        compress.settings.operation = kOperationCompress;
        driver.onNextDialog([&](HWND window) {
            EXPECT_EQ(text(window, kTarget), c.proposal) << c.sources << L" to " << c.target;
            EXPECT_EQ(text(window, kPatterns), c.patterns) << c.target;
            EXPECT_EQ(checked(window, kSelfExtract), c.selfExtract) << c.proposal;
            EXPECT_EQ(enabled(window, kNoSetupDialog), c.selfExtract) << c.proposal;
            EXPECT_EQ(enabled(window, kEnglish), c.selfExtract) << c.proposal;
            EXPECT_EQ(tipText(::GetDlgItem(window, kBrowseTarget)), loadString(IDS_BROWSE_ARCHIVE_TIP));
            command(window, kCancel);
        });
        EXPECT_EQ(compress.Run(owner, kOperationCompress, true), 0);
    }
    EXPECT_EQ(driver.scriptsRun(), 7);
}

TEST_F(FileTreeDialogWindow, SelfExtractBoxRewritesTheArchiveExtension)
{
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setPatterns(L"*.txt");
    const INT_PTR result = run(kOperationCompress, [&](HWND window) {
        HWND target = ::GetDlgItem(window, kTarget);
        EXPECT_FALSE(checked(window, kSelfExtract));
        ::SetWindowTextW(target, L"Backup|D:\\a.lzh");
        click(window, kSelfExtract);
        EXPECT_EQ(text(window, kTarget), L"Backup|D:\\a.exe");
        EXPECT_TRUE(enabled(window, kNoSetupDialog));
        EXPECT_TRUE(enabled(window, kEnglish));

        ::SetWindowTextW(target, L"D:\\a");
        click(window, kSelfExtract);
        EXPECT_EQ(text(window, kTarget), L"D:\\a.lzh");
        EXPECT_FALSE(enabled(window, kNoSetupDialog));

        ::SetWindowTextW(target, L"D:\\a.EXE");
        click(window, kSelfExtract);
        EXPECT_EQ(text(window, kTarget), L"D:\\a.EXE") << "already a program: left as it is";

        // Typing the name decides the box as well.
        type(comboEdit(target), L"E:\\b.lzh");
        EXPECT_FALSE(checked(window, kSelfExtract));
        type(comboEdit(target), L"E:\\b.Exe");
        EXPECT_TRUE(checked(window, kSelfExtract));
        click(window, kEnglish);
        click(window, kPolicyLast);
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(dialog.settings.target, L"E:\\b.Exe");
    EXPECT_EQ(dialog.settings.sizeLimitIsMaximum, 1u) << "self-extracting";
    EXPECT_EQ(dialog.settings.sizeClass, 2u) << "\"Use English.\" only";
    EXPECT_EQ(dialog.settings.overwrite, 2u);
    EXPECT_EQ(entries(history().archives), std::vector<std::wstring>{L"E:\\b.Exe"});
}

TEST_F(FileTreeDialogWindow, PatternTextIsNormalisedAndDecidesTheExcludeSwitch)
{
    fill(history().types, {L"  Padded |  *.c;*.h ", L"Text|*.txt"});
    dialog.settings.setSources(L"C:\\Data");
    const INT_PTR result = run(kOperationDelete, [&](HWND window) {
        HWND combo = ::GetDlgItem(window, kPatterns);
        HWND edit = comboEdit(combo);
        // Opened without patterns: entry 0, normalised as it is taken.
        EXPECT_EQ(text(window, kPatterns), L"Padded|*.c;*.h");
        EXPECT_EQ(tipText(edit), L"Padded|*.c; *.h");

        // Typed blanks stay while the field is being typed in; leaving it
        // takes them from either end and around the "|".
        const auto leaveField = [&] {
            ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE);
            ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(window, kSubfolders)), TRUE);
        };
        type(edit, L" *.txt ");
        EXPECT_EQ(text(window, kPatterns), L" *.txt ");
        leaveField();
        EXPECT_EQ(text(window, kPatterns), L"*.txt");
        type(edit, L" Docs | *.doc;*.txt ");
        EXPECT_EQ(tipText(edit), L"Docs|*.doc; *.txt") << "the tip shows the normalised text at once";
        leaveField();
        EXPECT_EQ(text(window, kPatterns), L"Docs|*.doc;*.txt");
        EXPECT_EQ(tipText(edit), L"Docs|*.doc; *.txt");

        struct Exclude {
            const wchar_t* typed;
            bool enabled;
        } const excludes[] = {
            {L"*.*", false}, {L"*.txt;*.*", false}, {L"All|*.*;", false}, {L"*.*x;*.*", true},
            {L"a*.*", true}, {L"*.txt", true},      {L"", true},          {L" *.* ", false},
        };
        for (const Exclude& e : excludes) {
            type(edit, e.typed);
            EXPECT_EQ(enabled(window, kExclude), e.enabled) << e.typed;
        }

        ::SendMessageW(combo, CB_SETCURSEL, 1, 0);
        command(window, kPatterns, CBN_SELCHANGE);
        EXPECT_EQ(tipText(edit), L"Text|*.txt");
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(dialog.settings.patterns, L"*.txt");
    EXPECT_EQ(entries(history().types).front(), L"Text|*.txt");
}

TEST_F(FileTreeDialogWindow, BlanksCanBeTypedInsideALabelAndAPattern)
{
    dialog.settings.setSources(L"C:\\Data");
    const INT_PTR result = run(kOperationDelete, [&](HWND window) {
        HWND edit = comboEdit(::GetDlgItem(window, kPatterns));
        ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(window, kPatterns)), TRUE);
        // Key by key, as the user types: every blank stays where it was typed.
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        std::wstring typed;
        for (wchar_t c : std::wstring(L"  My Docs | *.txt;my notes*.doc ")) {
            ::SendMessageW(edit, WM_CHAR, c, 1);
            typed += c;
            ASSERT_EQ(text(window, kPatterns), typed);
        }
        // Start without leaving the field normalises it first.
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(dialog.settings.patterns, L"*.txt;my notes*.doc");
    EXPECT_EQ(entries(history().types), std::vector<std::wstring>{L"My Docs|*.txt;my notes*.doc"});
}

TEST_F(FileTreeDialogWindow, ExcludeSwitchIsClearWhileItCannotBeChanged)
{
    dialog.settings.setSources(L"C:\\Data");
    dialog.settings.setPatterns(L"*.*");
    dialog.settings.excludePatterns = 1;
    INT_PTR result = run(kOperationDelete, [&](HWND window) {
        HWND edit = comboEdit(::GetDlgItem(window, kPatterns));
        EXPECT_FALSE(enabled(window, kExclude));
        EXPECT_FALSE(checked(window, kExclude)) << "\"*.*\" with Exclude would select nothing";
        // Patterns that leave something to exclude bring the tick back.
        type(edit, L"*.tmp");
        EXPECT_TRUE(enabled(window, kExclude));
        EXPECT_TRUE(checked(window, kExclude));
        type(edit, L"*.tmp;*.*");
        EXPECT_FALSE(checked(window, kExclude));
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.settings.excludePatterns, 0u);

    // A tick the user takes away stays away; a tick set on the disabled box
    // by anyone else is ignored at Start.
    dialog.settings.setPatterns(L"*.tmp");
    dialog.settings.excludePatterns = 1;
    result = run(kOperationDelete, [&](HWND window) {
        HWND edit = comboEdit(::GetDlgItem(window, kPatterns));
        EXPECT_TRUE(checked(window, kExclude));
        click(window, kExclude);
        type(edit, L"*.*");
        type(edit, L"*.log");
        EXPECT_FALSE(checked(window, kExclude));
        type(edit, L"*.*");
        ::CheckDlgButton(window, kExclude, BST_CHECKED);
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.settings.excludePatterns, 0u) << "a disabled box counts as clear";

    // Patterns from the extension browser decide the box as typed ones do.
    TempFolder folder;
    dialog.settings.setSources((folder.path() + L"\\").c_str());
    dialog.settings.setPatterns(L"*.tmp");
    dialog.settings.excludePatterns = 1;
    result = run(kOperationDelete, [&](HWND window) {
        EXPECT_TRUE(checked(window, kExclude));
        driver.onNextDialog([&](HWND browser) {
            ::SetDlgItemTextW(browser, IDC_EXTENSIONS_TEXT, L"All|*.*;");
            command(browser, IDOK);
        });
        click(window, kBrowseExtensions);
        EXPECT_EQ(text(window, kPatterns), L"All|*.*;");
        EXPECT_FALSE(enabled(window, kExclude));
        EXPECT_FALSE(checked(window, kExclude));
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(dialog.settings.patterns, L"*.*;");
    EXPECT_EQ(dialog.settings.excludePatterns, 0u);
}

TEST_F(FileTreeDialogWindow, TimeRangeMustRunForwards)
{
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget(L"D:\\Out");
    SYSTEMTIME from = {2024, 3, 0, 14, 9, 30, 0, 0};
    SYSTEMTIME to = from;
    const INT_PTR result = run(kOperationCopy, [&](HWND window) {
        click(window, kTimeRange);
        ::SendDlgItemMessageW(window, kTimeFrom, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&from));
        ::SendDlgItemMessageW(window, kTimeTo, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&to));
        command(window, kStart);
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].text, L"File time range is error.");
        EXPECT_EQ(messages.messages()[0].caption, L"Filtering Copy");
        EXPECT_EQ(messages.messages()[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        EXPECT_TRUE(::IsWindowVisible(window));
        EXPECT_EQ(focusedControl(window), ::GetDlgItem(window, kTimeTo));
        EXPECT_EQ(dialog.settings.timeMode, 0u) << "nothing taken yet";
        EXPECT_EQ(history().destines.Count(), 0);

        to.wSecond = 31;
        ::SendDlgItemMessageW(window, kTimeTo, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&to));
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(dialog.settings.timeMode, 1u);
    // Copy keeps the times in UTC.
    FILETIME localFrom = {}, localTo = {}, utcFrom = {}, utcTo = {};
    ::SystemTimeToFileTime(&from, &localFrom);
    ::SystemTimeToFileTime(&to, &localTo);
    ::LocalFileTimeToFileTime(&localFrom, &utcFrom);
    ::LocalFileTimeToFileTime(&localTo, &utcTo);
    EXPECT_EQ(::CompareFileTime(&dialog.settings.timeFrom, &utcFrom), 0);
    EXPECT_EQ(::CompareFileTime(&dialog.settings.timeTo, &utcTo), 0);

    // Compress keeps the local times themselves.
    CFileTreeDlg compress;
    compress.settings.setSources(L"C:\\Data\\;a.txt;");
    driver.onNextDialog([&](HWND window) {
        click(window, kTimeRange);
        ::SendDlgItemMessageW(window, kTimeFrom, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&from));
        ::SendDlgItemMessageW(window, kTimeTo, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&to));
        command(window, kStart);
    });
    EXPECT_EQ(compress.Run(owner, kOperationCompress, true), 1);
    EXPECT_EQ(::CompareFileTime(&compress.settings.timeFrom, &localFrom), 0);
    EXPECT_EQ(::CompareFileTime(&compress.settings.timeTo, &localTo), 0);
}

TEST_F(FileTreeDialogWindow, SpinCountsFromItsOwnPositionWithinItsRange)
{
    dialog.settings.setSources(L"C:\\Data");
    dialog.settings.sizeClass = kSizeSpecified;
    dialog.settings.sizeLimitKB = 7;
    run(kOperationDelete, [&](HWND window) {
        HWND spin = ::GetDlgItem(window, kLimitSpin);
        EXPECT_EQ(text(window, kLimit), L"7");
        EXPECT_EQ(::SendMessageW(spin, UDM_GETPOS32, 0, 0), 100);
        int low = -1, high = -1;
        ::SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(low, 0);
        EXPECT_EQ(high, 0x3FFFFF);
        EXPECT_EQ(::SendMessageW(spin, UDM_GETBUDDY, 0, 0), reinterpret_cast<LRESULT>(::GetDlgItem(window, kLimit)));

        // A step from the keyboard starts at the spin's 100, not at the 7 shown.
        HWND limit = ::GetDlgItem(window, kLimit);
        ::SendMessageW(limit, WM_KEYDOWN, VK_UP, 0);
        ::SendMessageW(limit, WM_KEYUP, VK_UP, 0);
        EXPECT_EQ(text(window, kLimit), L"200");

        ::SendMessageW(spin, UDM_SETPOS32, 0, 0x3FFFFF - 30);
        ::SendMessageW(limit, WM_KEYDOWN, VK_UP, 0);
        ::SendMessageW(limit, WM_KEYUP, VK_UP, 0);
        EXPECT_EQ(text(window, kLimit), L"4194303");
        ::SendMessageW(spin, UDM_SETPOS32, 0, 30);
        ::SendMessageW(limit, WM_KEYDOWN, VK_DOWN, 0);
        ::SendMessageW(limit, WM_KEYUP, VK_DOWN, 0);
        EXPECT_EQ(text(window, kLimit), L"0");
        command(window, kCancel);
    });
}

TEST_F(FileTreeDialogWindow, LongSourceListIsShownCutAndKeptWhole)
{
    std::wstring sources = L"C:\\Base\\;";
    for (int i = 0; sources.size() < 40000; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"file%05d.txt;", i);
        sources += name;
    }
    sources.resize(40000);
    const size_t cut = sources.find(L';', 32508);
    ASSERT_NE(cut, std::wstring::npos);
    dialog.settings.setSources(sources.c_str());
    dialog.settings.setTarget(L"D:\\Out");
    const INT_PTR result = run(kOperationCopy, [&](HWND window) {
        const std::wstring shown = text(window, kSources);
        ASSERT_EQ(shown.size(), cut + 3);
        EXPECT_TRUE(shown == sources.substr(0, cut) + L"...") << "cut at the first \";\" from 32508 on";
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    // The settings hold what their buffer takes, and keep it.
    EXPECT_TRUE(std::wstring(dialog.settings.sources) == sources.substr(0, kRunPathCapacity - 1));
}

TEST_F(FileTreeDialogWindow, DeleteKeyOnAHistoryEntryRemovesItFromItsList)
{
    const std::vector<std::wstring> types = {L"All Files|*.*", L"Text|*.txt", L"C|*.c", L"Web|*.htm", L"Data|*.csv"};
    const std::vector<std::wstring> archives = {L"D:\\a.lzh", L"D:\\b.lzh", L"D:\\c.lzh"};
    fill(history().types, types);
    fill(history().archives, archives);
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget(L"D:\\Out");
    run(kOperationCompress, [&](HWND window) {
        for (int id : {kPatterns, kTarget}) {
            HWND combo = ::GetDlgItem(window, id);
            const int index = id == kPatterns ? 3 : 1;
            ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
            ::SendMessageW(combo, CB_SETCURSEL, index, 0);
            ::SendMessageW(comboEdit(combo), WM_KEYDOWN, VK_DELETE, 0);
            ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
        }
        EXPECT_EQ(comboEntries(::GetDlgItem(window, kPatterns)), entries(history().types));
        EXPECT_EQ(comboEntries(::GetDlgItem(window, kTarget)), entries(history().archives));
        command(window, kCancel);
    });
    std::vector<std::wstring> expectedTypes = types;
    expectedTypes.erase(expectedTypes.begin() + 3);
    EXPECT_EQ(entries(history().types), expectedTypes);
    EXPECT_EQ(entries(history().archives), (std::vector<std::wstring>{L"D:\\a.lzh", L"D:\\c.lzh"}));
}

TEST_F(FileTreeDialogWindow, AdvanceTogglesTheLowerPart)
{
    for (uint32_t kind : {kOperationCopy, kOperationCompress, kOperationDelete}) {
        CFileTreeDlg form;
        form.settings.setSources(L"C:\\Data\\;a.txt;");
        const ControlId policy = kind == kOperationDelete ? kRecycle : kPolicyFirst;
        driver.onNextDialog([&](HWND window) {
            const RECT collapsed = screenRect(window);
            EXPECT_EQ(collapsed.bottom, screenRect(::GetDlgItem(window, kUpperGroup)).bottom + 6) << kind;
            for (int id : {kTimeGroup, kTimeFrom, kPolicyGroup, policy}) EXPECT_FALSE(visible(window, id)) << id;
            EXPECT_EQ(ui::GetButtonState(window, kAdvance), 0);
            EXPECT_FALSE(form.IsExpanded());

            click(window, kAdvance);
            const RECT expanded = screenRect(window);
            EXPECT_EQ(expanded.bottom, screenRect(::GetDlgItem(window, kTimeGroup)).bottom + 6) << kind;
            EXPECT_EQ(expanded.top, collapsed.top);
            EXPECT_EQ(expanded.left, collapsed.left);
            EXPECT_EQ(expanded.right, collapsed.right);
            for (int id : {kTimeGroup, kTimeFrom, kPolicyGroup, policy}) EXPECT_TRUE(visible(window, id)) << id;
            EXPECT_TRUE(visible(window, kSizeGroup)) << "size group, or the self-extract box";
            EXPECT_EQ(ui::GetButtonState(window, kAdvance), 1);
            EXPECT_TRUE(form.IsExpanded());

            click(window, kAdvance);
            EXPECT_EQ(screenRect(window).bottom, collapsed.bottom);
            command(window, kCancel);
        });
        EXPECT_EQ(form.Run(owner, kind, false), 0);
    }
}

TEST_F(FileTreeDialogWindow, StartMovesTheFocusToWhatIsMissing)
{
    app().interactiveMode = true;
    fill(history().types, {L"Text|*.txt"});
    const INT_PTR result = run(kOperationMove, [&](HWND window) {
        const auto refused = [&](int id) {
            command(window, kStart);
            EXPECT_TRUE(::IsWindowVisible(window)) << id;
            EXPECT_EQ(focusedControl(window), ::GetDlgItem(window, id)) << id;
            EXPECT_EQ(dialog.settings.sources[0], L'\0') << id;
            EXPECT_EQ(history().destines.Count() + history().types.Count(), 1) << id;
        };
        setText(window, kTarget, L"D:\\Out");
        EXPECT_FALSE(::GetWindowLongPtrW(::GetDlgItem(window, kSources), GWL_STYLE) & ES_READONLY);
        refused(kSources);
        setText(window, kSources, L"C:\\Data");
        setText(window, kTarget, L"Label|  ");
        refused(kTarget);
        setText(window, kTarget, L"Same|c:\\data\\");
        refused(kTarget);
        setText(window, kTarget, L"Out|D:\\Out\\");
        setText(window, kPatterns, L"Empty|");
        refused(kPatterns);
        // Only the target that is the selected folder itself was refused
        // with a message, the others by the focus alone.
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].text,
                  L"The target folder is one of the selected items. Choose a target outside the selection.");
        setText(window, kPatterns, L"*.txt");
        // A drive root with one ";" stands for the whole drive.
        setText(window, kSources, L"C:\\;");
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(dialog.settings.sources, L"C:\\;;");
    EXPECT_STREQ(dialog.settings.target, L"D:\\Out") << "one trailing backslash removed";
    EXPECT_EQ(entries(history().destines), std::vector<std::wstring>{L"Out|D:\\Out\\"}) << "the whole text";
    // "*.txt" is the stored "Text|*.txt": that entry comes to the front.
    EXPECT_EQ(entries(history().types), std::vector<std::wstring>{L"Text|*.txt"});
}

TEST_F(FileTreeDialogWindow, StartHandsBackTheSettingsAndCancelLeavesThemAlone)
{
    const auto edit = [&](HWND window) {
        setText(window, kTarget, L"Out|D:\\Out\\");
        click(window, kSubfolders);
        click(window, kExclude);
        click(window, kSizeLast);
        ::SendDlgItemMessageW(window, kLimitKind, CB_SETCURSEL, 1, 0);
        setText(window, kLimit, L"512");
        click(window, kPolicyFirst + 1);
        click(window, kProtectReadOnly);
        click(window, kOption);
    };
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setPatterns(L"Text|*.txt");
    dialog.settings.timeFrom = {11, 12};
    const FILE_TREE_SETTING before(dialog.settings);

    EXPECT_EQ(run(kOperationCopy, [&](HWND window) {
                  edit(window);
                  command(window, kCancel);
              }),
              0);
    EXPECT_STREQ(dialog.settings.target, before.target);
    EXPECT_STREQ(dialog.settings.patterns, before.patterns);
    EXPECT_EQ(dialog.settings.includeSubfolders, before.includeSubfolders);
    EXPECT_EQ(dialog.settings.excludePatterns, before.excludePatterns);
    EXPECT_EQ(dialog.settings.sizeClass, before.sizeClass);
    EXPECT_EQ(dialog.settings.sizeLimitKB, before.sizeLimitKB);
    EXPECT_EQ(dialog.settings.overwrite, before.overwrite);
    EXPECT_EQ(dialog.settings.protectReadOnly, before.protectReadOnly);
    EXPECT_EQ(dialog.settings.cloneTree, before.cloneTree);
    EXPECT_EQ(history().destines.Count() + history().archives.Count() + history().types.Count(), 0);

    EXPECT_EQ(run(kOperationCopy, [&](HWND window) {
                  edit(window);
                  command(window, kStart);
              }),
              1);
    EXPECT_STREQ(dialog.settings.target, L"D:\\Out");
    EXPECT_STREQ(dialog.settings.patterns, L"*.txt") << "the value only";
    EXPECT_EQ(dialog.settings.includeSubfolders, 0u);
    EXPECT_EQ(dialog.settings.excludePatterns, 1u);
    EXPECT_EQ(dialog.settings.timeMode, 0u);
    EXPECT_EQ(dialog.settings.timeFrom.dwLowDateTime, 11u) << "times are kept without a range";
    EXPECT_EQ(dialog.settings.sizeClass, 4u);
    EXPECT_EQ(dialog.settings.sizeLimitIsMaximum, 1u);
    EXPECT_EQ(dialog.settings.sizeLimitKB, 512u);
    EXPECT_EQ(dialog.settings.overwrite, 1u);
    EXPECT_EQ(dialog.settings.protectReadOnly, 1u);
    EXPECT_EQ(dialog.settings.cloneTree, 1u);
    EXPECT_STREQ(dialog.settings.sources, L"C:\\Data\\;a.txt;");
    EXPECT_EQ(entries(history().destines), std::vector<std::wstring>{L"Out|D:\\Out\\"}) << "the whole text";
    EXPECT_EQ(entries(history().types), std::vector<std::wstring>{L"Text|*.txt"});
}

TEST_F(FileTreeDialogWindow, VerifyCopiesIsProposedForAMoveNotForACopyAtEveryOpening)
{
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget(L"D:\\Out");
    for (uint32_t kind : {kOperationCopy, kOperationMove}) {
        SCOPED_TRACE(kind);
        const bool proposed = kind == kOperationMove;
        for (int round = 0; round < 2; ++round) {
            // The last confirmed choice is not what the next opening shows.
            dialog.settings.verifyCopies = proposed ? 0 : 1;
            EXPECT_EQ(run(kind, [&](HWND window) {
                          HWND box = ::GetDlgItem(window, kVerifyCopies);
                          ASSERT_NE(box, nullptr);
                          EXPECT_EQ(checked(window, kVerifyCopies), proposed);
                          EXPECT_EQ(text(window, kVerifyCopies), L"Verify copies(&V)");
                          // Below "Clone the folder tree", inside the form.
                          const RECT clone = screenRect(::GetDlgItem(window, kOption));
                          const RECT verify = screenRect(box);
                          EXPECT_GE(verify.top, clone.bottom);
                          EXPECT_EQ(verify.left, clone.left);
                          RECT client = {};
                          ::GetClientRect(window, &client);
                          ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
                          EXPECT_LE(verify.bottom, client.bottom);
                          if (round == 1) click(window, kVerifyCopies);
                          command(window, kStart);
                      }),
                      1);
            EXPECT_EQ(dialog.settings.verifyCopies, (round == 1) != proposed ? 1u : 0u) << "round " << round;
        }
    }
    // The other forms have no such box, and a delete never verifies.
    dialog.settings.verifyCopies = 1;
    EXPECT_EQ(run(kOperationDelete, [&](HWND window) {
                  EXPECT_EQ(::GetDlgItem(window, kVerifyCopies), nullptr);
                  command(window, kStart);
              }),
              1);
    EXPECT_EQ(dialog.settings.verifyCopies, 0u);
    EXPECT_EQ(run(kOperationCompress, [&](HWND window) {
                  EXPECT_EQ(::GetDlgItem(window, kVerifyCopies), nullptr);
                  command(window, kCancel);
              }),
              0);
}

// "Write a checksum file" can be chosen only while copies are verified,
// opens unticked whatever the last run chose, and is the next Tab stop
// after "Verify copies".
TEST_F(FileTreeDialogWindow, ChecksumBoxFollowsVerifyCopiesAndOpensUnticked)
{
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget(L"D:\\Out");
    const struct {
        uint32_t kind;
        std::vector<int> clicks; // in order, after the opening
        bool enabledAfter;
        bool tickedAfter;
        uint32_t verify;         // the settings handed back
        uint32_t writeChecksums;
    } cases[] = {
        {kOperationCopy, {}, false, false, 0, 0},
        {kOperationCopy, {kVerifyCopies, kWriteChecksums}, true, true, 1, 1},
        {kOperationCopy, {kVerifyCopies, kWriteChecksums, kVerifyCopies}, false, false, 0, 0},
        {kOperationCopy, {kVerifyCopies, kWriteChecksums, kVerifyCopies, kVerifyCopies}, true, false, 1, 0},
        {kOperationMove, {}, true, false, 1, 0},
        {kOperationMove, {kWriteChecksums}, true, true, 1, 1},
        {kOperationMove, {kWriteChecksums, kVerifyCopies}, false, false, 0, 0},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(index++);
        dialog.settings.writeChecksums = 1; // the last run's choice is not proposed
        EXPECT_EQ(run(c.kind, [&](HWND window) {
                      HWND box = ::GetDlgItem(window, kWriteChecksums);
                      ASSERT_NE(box, nullptr);
                      EXPECT_EQ(text(window, kWriteChecksums), L"Write a checksum file(&K)");
                      EXPECT_FALSE(checked(window, kWriteChecksums)) << "unticked at the opening";
                      EXPECT_EQ(::IsWindowEnabled(box) != FALSE, checked(window, kVerifyCopies));
                      const RECT verify = screenRect(::GetDlgItem(window, kVerifyCopies));
                      EXPECT_GE(screenRect(box).top, verify.bottom);
                      for (int id : c.clicks) click(window, id);
                      EXPECT_EQ(::IsWindowEnabled(box) != FALSE, c.enabledAfter);
                      EXPECT_EQ(checked(window, kWriteChecksums), c.tickedAfter);
                      if (c.enabledAfter) {
                          EXPECT_EQ(::GetNextDlgTabItem(window, ::GetDlgItem(window, kVerifyCopies), FALSE), box);
                      }
                      command(window, kStart);
                  }),
                  1);
        EXPECT_EQ(dialog.settings.verifyCopies, c.verify);
        EXPECT_EQ(dialog.settings.writeChecksums, c.writeChecksums);
    }
    // Delete and compress have no such box; a delete writes none.
    dialog.settings.writeChecksums = 1;
    EXPECT_EQ(run(kOperationDelete, [&](HWND window) {
                  EXPECT_EQ(::GetDlgItem(window, kWriteChecksums), nullptr);
                  command(window, kStart);
              }),
              1);
    EXPECT_EQ(dialog.settings.writeChecksums, 0u);
    EXPECT_EQ(run(kOperationCompress, [&](HWND window) {
                  EXPECT_EQ(::GetDlgItem(window, kWriteChecksums), nullptr);
                  command(window, kCancel);
              }),
              0);
}

TEST_F(FileTreeDialogWindow, DeleteFormAlwaysOpensWithTheRecycleBin)
{
    dialog.settings.setSources(L"C:\\Data\\;old;");
    dialog.settings.setPatterns(L"*.tmp");
    dialog.settings.overwrite = 0;
    dialog.settings.cloneTree = 1;
    const INT_PTR result = run(kOperationDelete, [&](HWND window) {
        EXPECT_TRUE(checked(window, kRecycle));
        HWND icon = ::GetDlgItem(window, kFormIcon);
        const LRESULT recycle = ::SendMessageW(icon, STM_GETICON, 0, 0);
        click(window, kRecycle);
        EXPECT_FALSE(checked(window, kRecycle));
        EXPECT_NE(::SendMessageW(icon, STM_GETICON, 0, 0), recycle) << "the form shows the erasing picture";
        click(window, kRecycle);
        EXPECT_EQ(::SendMessageW(icon, STM_GETICON, 0, 0), recycle);
        click(window, kRecycle);
        click(window, kOption);
        command(window, kStart);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.settings.overwrite, 0u);
    EXPECT_EQ(dialog.settings.testOnly, 1u);
    EXPECT_EQ(dialog.settings.cloneTree, 0u);
    EXPECT_EQ(history().destines.Count() + history().archives.Count(), 0) << "delete has no target";

    EXPECT_EQ(run(kOperationDelete, [&](HWND window) {
                  EXPECT_TRUE(checked(window, kRecycle)) << "again, after a run without it";
                  command(window, kCancel);
              }),
              0);
}

TEST_F(FileTreeDialogWindow, DroppedPathLandsOnTheTargetComboOnly)
{
    const auto drop = [](HWND window, int onId, const std::wstring& path) {
        RECT rect = {};
        ::GetWindowRect(::GetDlgItem(window, onId), &rect);
        POINT point = {rect.left + 5, (rect.top + rect.bottom) / 2};
        ::ScreenToClient(window, &point);
        const size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
        HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
        auto* files = static_cast<DROPFILES*>(::GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->pt = point;
        files->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        ::GlobalUnlock(memory);
        ::SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    };
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget(L"D:\\Out");
    run(kOperationCopy, [&](HWND window) {
        drop(window, kTarget, L"E:\\Dropped Folder");
        EXPECT_EQ(text(window, kTarget), L"E:\\Dropped Folder");
        EXPECT_EQ(tipText(comboEdit(::GetDlgItem(window, kTarget))), L"E:\\Dropped Folder");
        drop(window, kPatterns, L"F:\\elsewhere");
        EXPECT_EQ(text(window, kTarget), L"E:\\Dropped Folder");
        EXPECT_EQ(text(window, kPatterns), L"*.*");
        command(window, kCancel);
    });
    // On the compress form a dropped program file asks for a self-extracting
    // archive, as typing its name does.
    CFileTreeDlg compress;
    compress.settings.setSources(L"C:\\Data\\;a.txt;");
    compress.settings.setTarget(L"D:\\Out\\a.lzh");
    driver.onNextDialog([&](HWND window) {
        EXPECT_FALSE(checked(window, kSelfExtract));
        drop(window, kTarget, L"E:\\Setup.EXE");
        EXPECT_EQ(text(window, kTarget), L"E:\\Setup.EXE");
        EXPECT_TRUE(checked(window, kSelfExtract));
        EXPECT_TRUE(enabled(window, kNoSetupDialog));
        EXPECT_EQ(tipText(comboEdit(::GetDlgItem(window, kTarget))), L"E:\\Setup.EXE");
        drop(window, kTarget, L"E:\\Backup.lzh");
        EXPECT_FALSE(checked(window, kSelfExtract));
        EXPECT_FALSE(enabled(window, kEnglish));
        command(window, kCancel);
    });
    compress.Run(owner, kOperationCompress, true);

    CFileTreeDlg remove;
    remove.settings.setSources(L"C:\\Data\\;a.txt;");
    remove.settings.setPatterns(L"*.tmp");
    driver.onNextDialog([&](HWND window) {
        drop(window, kPatterns, L"F:\\elsewhere");
        EXPECT_EQ(text(window, kPatterns), L"*.tmp");
        command(window, kCancel);
    });
    remove.Run(owner, kOperationDelete, true);
}

TEST_F(FileTreeDialogWindow, HistoryEntriesAreDrawnWithARedLabelAndABlueBar)
{
    fill(history().types, {L"Docs|*.doc", L"*.txt"});
    dialog.settings.setSources(L"C:\\Data");
    run(kOperationDelete, [&](HWND window) {
        HWND combo = ::GetDlgItem(window, kPatterns);
        const int width = 300, height = 20;
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        ui::WindowDc screen(nullptr);
        ui::MemoryDc memory(screen.get());
        UniqueGdiObject bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        ASSERT_TRUE(memory && bitmap);
        HDC dc = memory.get();
        ui::SelectObjectGuard selectedBitmap(dc, bitmap.get());
        ui::SelectObjectGuard selectedFont(dc, reinterpret_cast<HFONT>(::SendMessageW(combo, WM_GETFONT, 0, 0)));
        SIZE label = {};
        ::GetTextExtentPoint32W(dc, L"Docs", 4, &label);

        const auto drawEntry = [&](UINT index, UINT state) {
            ::PatBlt(dc, 0, 0, width, height, BLACKNESS);
            DRAWITEMSTRUCT draw = {ODT_COMBOBOX, kPatterns, index, ODA_DRAWENTIRE, state, combo, dc, {0, 0, width, height}, 0};
            ::SendMessageW(window, WM_DRAWITEM, kPatterns, reinterpret_cast<LPARAM>(&draw));
            ::GdiFlush();
        };
        const auto pixel = [&](int x, int y) {
            const DWORD bgrx = static_cast<const DWORD*>(bits)[y * width + x];
            return RGB((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
        };
        // Text is smoothed: a pure red or blue counts where its channel
        // clearly leads; any other colour must be met exactly.
        const auto resembles = [](COLORREF a, COLORREF b) {
            const int r = GetRValue(a), g = GetGValue(a), bl = GetBValue(a);
            if (b == RGB(255, 0, 0)) return r - std::max(g, bl) > 60;
            if (b == RGB(0, 0, 255)) return bl - std::max(r, g) > 60;
            return a == b;
        };
        const auto columnsWith = [&](COLORREF colour, int from, int to) {
            int found = 0;
            from = std::max(from, 1);
            // The edges hold the focus rectangle, drawn inverted: not looked at.
            for (int x = from; x < to - 1; ++x) {
                for (int y = 1; y < height - 1; ++y) {
                    if (resembles(pixel(x, y), colour)) {
                        ++found;
                        break;
                    }
                }
            }
            return found;
        };

        drawEntry(0, ODS_SELECTED | ODS_FOCUS);
        const int restStart = label.cx + 8;
        EXPECT_GT(columnsWith(RGB(255, 0, 0), 2, label.cx + 3), label.cx / 3) << "the label in red";
        EXPECT_EQ(columnsWith(RGB(255, 0, 0), restStart, width), 0);
        EXPECT_GT(columnsWith(RGB(0, 0, 255), label.cx + 4, restStart), 0) << "the bar in blue";
        EXPECT_EQ(pixel(label.cx + 6, 1), ::GetSysColor(COLOR_WINDOW)) << "the label part never takes the selection";
        EXPECT_GT(columnsWith(::GetSysColor(COLOR_HIGHLIGHT), restStart, width), width - restStart - 4);

        drawEntry(1, 0);
        EXPECT_EQ(columnsWith(RGB(255, 0, 0), 0, width), 0) << "no label, nothing red";
        EXPECT_EQ(columnsWith(::GetSysColor(COLOR_HIGHLIGHT), 0, width), 0);
        EXPECT_EQ(pixel(width - 2, height / 2), ::GetSysColor(COLOR_WINDOW));


        MEASUREITEMSTRUCT measure = {ODT_COMBOBOX, kPatterns, 0, 0, 0, 0};
        ::SendMessageW(window, WM_MEASUREITEM, kPatterns, reinterpret_cast<LPARAM>(&measure));
        EXPECT_EQ(static_cast<LRESULT>(measure.itemHeight), ::SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
        RECT rect = screenRect(combo);
        EXPECT_EQ(static_cast<LONG>(measure.itemWidth), rect.right - rect.left);
        command(window, kCancel);
    });
}

TEST_F(FileTreeDialogWindow, HelpOpensTheTopicOfTheKind)
{
    for (uint32_t kind : {kOperationCopy, kOperationMove, kOperationCompress, kOperationDelete}) {
        CFileTreeDlg form;
        form.settings.setSources(L"C:\\Data\\;a.txt;");
        driver.onNextDialog([&](HWND window) {
            HELPINFO help = {sizeof(HELPINFO), HELPINFO_WINDOW, kPatterns, ::GetDlgItem(window, kPatterns), 0, {0, 0}};
            ::SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
            command(window, kCancel);
        });
        form.Run(owner, kind, true);
    }
    ASSERT_EQ(helpRequests().size(), 4u);
    for (uint32_t kind = 0; kind < 4; ++kind) {
        EXPECT_EQ(helpRequests()[kind].command, 0x000Fu) << "HH_HELP_CONTEXT";
        EXPECT_EQ(helpRequests()[kind].data, 0x20200u + kind);
        EXPECT_EQ(helpRequests()[kind].file, app().helpFilePath);
    }
}


TEST_F(FileTreeDialogWindow, BrowsingForAFolderStartsAtTheTargetAndTakesTheChoice)
{
    TempFolder start;
    ::CreateDirectoryW((start / L"Chosen").c_str(), nullptr);
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget((L"Label|" + (start / L"Chosen")).c_str());
    dialog.settings.setPatterns(L"*.txt");
    std::wstring title;
    run(kOperationCopy, [&](HWND window) {
        driver.onNextDialog([&](HWND picker) {
            // The picker opens on the starting folder, and its status line
            // follows the selection.
            const std::wstring chosen = start / L"Chosen";
            const auto statusShows = [&] {
                for (HWND child = ::GetWindow(picker, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                    if (windowText(child) == chosen) return true;
                }
                return false;
            };
            EXPECT_TRUE(pumpMessages(10000, statusShows));
            title = windowText(picker);
            command(picker, IDOK);
        });
        click(window, kBrowseTarget);
        EXPECT_EQ(text(window, kTarget), start / L"Chosen") << "the chosen folder, without the label";
        EXPECT_EQ(tipText(comboEdit(::GetDlgItem(window, kTarget))), start / L"Chosen");

        // Cancelled, nothing changes.
        setText(window, kTarget, L"Kept|" + start.path());
        driver.onNextDialog([&](HWND picker) { command(picker, IDCANCEL); });
        click(window, kBrowseTarget);
        EXPECT_EQ(text(window, kTarget), L"Kept|" + start.path());
        command(window, kCancel);
    });
    EXPECT_EQ(driver.scriptsRun(), 3);
    EXPECT_FALSE(title.empty());
}

TEST_F(FileTreeDialogWindow, BrowsingForAnArchiveTakesTheFileAndFollowsItsExtension)
{
    TempFolder start;
    dialog.settings.setSources(L"C:\\Data\\;a.txt;");
    dialog.settings.setTarget((start / L"Backup.lzh").c_str());
    dialog.settings.setPatterns(L"*.txt");
    run(kOperationCompress, [&](HWND window) {
        EXPECT_FALSE(checked(window, kSelfExtract));
        driver.onNextDialog([&](HWND picker) {
            pumpMessages(300);
            EXPECT_EQ(windowText(picker), L"Browse LZH");
            // The file name field of the file dialog, then OK.
            HWND name = ::GetDlgItem(picker, 0x47C) ? ::GetDlgItem(picker, 0x47C) : ::GetDlgItem(picker, 0x480);
            ASSERT_NE(name, nullptr);
            ::SetWindowTextW(name, (start / L"Backup.exe").c_str());
            command(picker, IDOK);
        });
        click(window, kBrowseTarget);
        EXPECT_EQ(text(window, kTarget), start / L"Backup.exe");
        EXPECT_TRUE(checked(window, kSelfExtract)) << "acts as an edit of the name";
        EXPECT_TRUE(enabled(window, kEnglish));
        command(window, kCancel);
    });
    EXPECT_EQ(driver.scriptsRun(), 2);
}

} // namespace
