// The operation dialog's forms and the extension browser in English and in
// Japanese: used from the keyboard (the keys go through the dialog manager
// as the dialog's own message loop hands them on, IsDialogMessage, so Tab,
// the arrows, Enter and the access keys do what they do for a user), and
// the text the date pickers show.
#include "OpDialogFixture.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <sstream>

#include "base/AppState.h"
#include "dialogs/DlgBrowseFileExt.h"
#include "dialogs/FileTreeDlg.h"
#include "common/ui/PictureButton.h"
#include "common/ui/Window.h"

using namespace sorvane;
using namespace sorvane::filetree;
using namespace sorvane::test;

namespace {

enum class Language { English, Japanese };

std::string describe(const std::vector<int>& ids)
{
    std::ostringstream out;
    for (int id : ids) out << id << ' ';
    return out.str();
}

class FormsByLanguage : public OpDialogTest, public ::testing::WithParamInterface<Language> {
protected:
    void SetUp() override
    {
        OpDialogTest::SetUp();
        if (GetParam() == Language::Japanese) {
            // The library lies beside this program as beside Sorvane.exe.
            ASSERT_TRUE(app().resLang.Load(::GetModuleHandleW(nullptr), 0x0411, L"Sorvane"))
                << "Sorvane.0411 beside the test program";
            ui::setResourceInstance(app().resLang.resourceModule());
        }
    }
    void TearDown() override
    {
        if (GetParam() == Language::Japanese) {
            ui::setResourceInstance(nullptr);
            app().resLang.Unload();
        }
        OpDialogTest::TearDown();
    }

    INT_PTR run(CFileTreeDlg& form, uint32_t kind, ModalDriver::Script script, bool expanded = true)
    {
        form.settings.operation = kind;
        if (!form.settings.sources || !form.settings.sources[0]) form.settings.setSources(L"C:\\Data\\;a.txt;");
        if (kind != kOperationDelete && !form.settings.target[0]) form.settings.setTarget(L"D:\\Out");
        driver.onNextDialog(std::move(script));
        return form.Run(owner, kind, expanded);
    }

    // The control that has the focus; for a combo box with an edit field,
    // the combo box.
    static int focusedId(HWND dialog)
    {
        HWND focus = ::GetFocus();
        HWND parent = focus ? ::GetParent(focus) : nullptr;
        if (parent && parent != dialog) focus = parent;
        return focus && ::GetParent(focus) == dialog ? ::GetDlgCtrlID(focus) : 0;
    }
    static void focus(HWND dialog, int id)
    {
        ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE);
    }

    // One key, down and up, as the message loop of the dialog hands it on.
    static void pressKey(HWND dialog, UINT key, bool shift = false)
    {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        const BYTE wasShift = keys[VK_SHIFT];
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        ::SetKeyboardState(keys);
        const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
            MSG msg = {::GetFocus(), message, key, scan | (message == WM_KEYUP ? 0xC0000001 : 1), static_cast<DWORD>(::GetMessageTime()), {}};
            if (!::IsDialogMessageW(dialog, &msg)) ::DispatchMessageW(&msg);
        }
        keys[VK_SHIFT] = wasShift;
        ::SetKeyboardState(keys);
    }
    // A letter typed while a push button has the focus: the dialog
    // manager takes it as an access key.
    static void typeLetter(HWND dialog, wchar_t letter)
    {
        MSG msg = {::GetFocus(), WM_CHAR, letter, 1, static_cast<DWORD>(::GetMessageTime()), {}};
        ::IsDialogMessageW(dialog, &msg);
    }

    // The controls Tab visits, from Start round to Start.
    static std::vector<int> tabCycle(HWND dialog, bool backwards = false)
    {
        focus(dialog, kStart);
        std::vector<int> seen;
        for (int i = 0; i < 60; ++i) {
            pressKey(dialog, VK_TAB, backwards);
            const int id = focusedId(dialog);
            if (id == kStart) break;
            seen.push_back(id);
        }
        return seen;
    }
};

// Tab stops of the expanded forms, from Start on: one per radio group (the
// checked button's), none on a disabled control.
const std::map<uint32_t, std::vector<int>> kExpandedCycles = {
    {kOperationCopy,
     {kPlan, kCancel, kAdvance, kTimeAny, kSizeFirst, kPolicyFirst + 1, kProtectReadOnly, kOption, kVerifyCopies, kSources,
      kTarget, kBrowseTarget, kPatterns, kBrowseExtensions, kSubfolders, kExclude}},
    {kOperationDelete,
     {kCancel, kAdvance, kTimeAny, kSizeFirst, kRecycle, kProtectReadOnly, kOption, kSources, kPatterns,
      kBrowseExtensions, kSubfolders, kExclude}},
    {kOperationCompress,
     {kPlan, kCancel, kAdvance, kTimeAny, kPolicyFirst + 1, kSelfExtract, kSources, kTarget, kBrowseTarget, kPatterns,
      kBrowseExtensions, kSubfolders, kExclude}},
};

TEST_P(FormsByLanguage, TabStopsOncePerRadioGroupAndArrowsMoveWithinIt)
{
    for (const auto& [kind, expected] : kExpandedCycles) {
        SCOPED_TRACE(kind);
        CFileTreeDlg form;
        form.settings.setPatterns(L"*.txt");
        form.settings.overwrite = 1;
        run(form, kind, [&](HWND window) {
            // A given target brings "*.*", which leaves nothing to exclude.
            setText(window, kPatterns, L"*.txt");
            command(window, kPatterns, CBN_EDITCHANGE);
            ASSERT_TRUE(enabled(window, kExclude));
            const std::vector<int> forwards = tabCycle(window);
            EXPECT_EQ(forwards, expected) << describe(forwards);
            std::vector<int> backwards = tabCycle(window, true);
            std::reverse(backwards.begin(), backwards.end());
            EXPECT_EQ(backwards, expected) << "Shift+Tab: " << describe(backwards);

            // The arrows move the choice within the group, round at its end.
            if (kind != kOperationDelete) {
                focus(window, kPolicyFirst + 1);
                pressKey(window, VK_DOWN);
                EXPECT_EQ(focusedId(window), kPolicyLast);
                EXPECT_TRUE(checked(window, kPolicyLast));
                pressKey(window, VK_DOWN);
                EXPECT_EQ(focusedId(window), kPolicyFirst) << "round to the group's first button";
                EXPECT_TRUE(checked(window, kPolicyFirst));
                EXPECT_FALSE(checked(window, kPolicyLast));
                pressKey(window, VK_UP);
                EXPECT_EQ(focusedId(window), kPolicyLast);
            }
            focus(window, kTimeAny);
            pressKey(window, VK_DOWN);
            EXPECT_EQ(focusedId(window), kTimeRange);
            EXPECT_TRUE(checked(window, kTimeRange));
            EXPECT_TRUE(enabled(window, kTimeFrom)) << "the range's pickers come with it";
            pressKey(window, VK_DOWN);
            EXPECT_EQ(focusedId(window), kTimeAny) << "the labels of the pickers are not in the group";
            pressKey(window, VK_UP);
            EXPECT_EQ(focusedId(window), kTimeRange);
            if (kind != kOperationCompress) {
                focus(window, kSizeFirst);
                pressKey(window, VK_UP);
                EXPECT_EQ(focusedId(window), kSizeLast);
                EXPECT_TRUE(enabled(window, kLimit)) << "\"Specify Size\" brings its fields";
            }

            // A radio group is still one stop after the choice moved, now
            // at the chosen button.
            const std::vector<int> after = tabCycle(window);
            EXPECT_EQ(std::count(after.begin(), after.end(), kTimeAny) + std::count(after.begin(), after.end(), kTimeRange), 1)
                << describe(after);
            EXPECT_NE(std::find(after.begin(), after.end(), kTimeRange), after.end()) << describe(after);
            EXPECT_NE(std::find(after.begin(), after.end(), kTimeFrom), after.end()) << "now enabled";
            command(window, kCancel);
        });
    }
    EXPECT_EQ(driver.scriptsRun(), 3);
}

TEST_P(FormsByLanguage, EnterOnAFocusedPictureButtonPressesItNeverStart)
{
    for (uint32_t kind : {kOperationCopy, kOperationDelete, kOperationCompress}) {
        SCOPED_TRACE(kind);
        CFileTreeDlg form;
        form.settings.setPatterns(L"*.txt");
        int browsers = 0;
        const INT_PTR result = run(form, kind, [&](HWND window) {
            // ">>" of the patterns, reached with Tab: Enter opens the extension
            // browser (closed again by its own script).
            focus(window, kPatterns);
            pressKey(window, VK_TAB);
            ASSERT_EQ(focusedId(window), kBrowseExtensions);
            HWND browse = ::GetDlgItem(window, kBrowseExtensions);
            EXPECT_EQ(::GetWindowLongPtrW(browse, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << "still owner-drawn";
            EXPECT_TRUE(::SendMessageW(browse, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) << "the default while focused";
            EXPECT_TRUE(ui::IsDefaultPushButton(browse));
            EXPECT_FALSE(::SendMessageW(::GetDlgItem(window, kStart), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
            driver.onNextDialog([&](HWND browser) {
                ++browsers;
                EXPECT_NE(::GetDlgItem(browser, browseext::kList), nullptr) << "the extension browser";
                ::SendMessageW(browser, WM_COMMAND, IDCANCEL, 0);
            });
            pressKey(window, VK_RETURN);
            EXPECT_EQ(browsers, 1);
            EXPECT_TRUE(::IsWindowVisible(window)) << "Start was not pressed";

            // "Advance": Enter folds the form and unfolds it again.
            focus(window, kAdvance);
            EXPECT_TRUE(ui::IsDefaultPushButton(::GetDlgItem(window, kAdvance)));
            EXPECT_FALSE(ui::IsDefaultPushButton(browse)) << "one default at a time";
            pressKey(window, VK_RETURN);
            EXPECT_FALSE(form.IsExpanded());
            EXPECT_EQ(focusedId(window), kAdvance);
            pressKey(window, VK_RETURN);
            EXPECT_TRUE(form.IsExpanded());

            // The browse button of the target (not on the delete form).
            if (kind != kOperationDelete) {
                focus(window, kBrowseTarget);
                EXPECT_TRUE(ui::IsDefaultPushButton(::GetDlgItem(window, kBrowseTarget)));
                EXPECT_EQ(::GetWindowLongPtrW(::GetDlgItem(window, kBrowseTarget), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
            }

            // Elsewhere Enter is Start's again.
            focus(window, kSubfolders);
            EXPECT_FALSE(ui::IsDefaultPushButton(::GetDlgItem(window, kAdvance)));
            pressKey(window, VK_RETURN);
            EXPECT_FALSE(::IsWindowVisible(window)) << "Enter on a check box starts";
        });
        EXPECT_EQ(result, 1) << "ended by Start";
        EXPECT_EQ(browsers, 1);
    }
}

TEST_P(FormsByLanguage, CollapsedFormHasNothingHiddenWithinReach)
{
    for (uint32_t kind : {kOperationCopy, kOperationDelete, kOperationCompress}) {
        SCOPED_TRACE(kind);
        CFileTreeDlg form;
        form.settings.setPatterns(L"*.txt");
        run(
            form, kind,
            [&](HWND window) {
                // Every control below the upper part is hidden, whatever it is.
                RECT upper = {};
                ::GetWindowRect(::GetDlgItem(window, kUpperGroup), &upper);
                int below = 0;
                for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                    RECT rect = {};
                    ::GetWindowRect(child, &rect);
                    if (rect.top < upper.bottom) continue;
                    ++below;
                    EXPECT_FALSE(::GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) << ::GetDlgCtrlID(child);
                }
                EXPECT_GE(below, 10);

                const std::vector<int> cycle = tabCycle(window);
                for (int id : cycle) {
                    RECT rect = {};
                    ::GetWindowRect(::GetDlgItem(window, id), &rect);
                    EXPECT_LT(rect.top, upper.bottom) << "Tab reaches " << id;
                }
                EXPECT_NE(std::find(cycle.begin(), cycle.end(), kAdvance), cycle.end()) << describe(cycle);

                // The access key of "Modified Time(&M)" leads nowhere while
                // it is folded away, and to its first choice when shown.
                focus(window, kCancel);
                typeLetter(window, L'm');
                EXPECT_EQ(focusedId(window), kCancel);
                typeLetter(window, L'w');
                EXPECT_EQ(focusedId(window), kCancel) << "Overwrite Target / Recycle";

                if (kind == kOperationCopy) {
                    typeLetter(window, L'v');
                    EXPECT_EQ(focusedId(window), kCancel) << "Verify copies";
                    EXPECT_FALSE(checked(window, kVerifyCopies));
                }

                // Unfolded, the same key reaches the group.
                ::SendMessageW(::GetDlgItem(window, kAdvance), BM_CLICK, 0, 0);
                focus(window, kCancel);
                typeLetter(window, L'm');
                EXPECT_EQ(focusedId(window), kTimeAny);
                if (kind == kOperationCopy) {
                    focus(window, kCancel);
                    typeLetter(window, L'v');
                    EXPECT_EQ(focusedId(window), kVerifyCopies);
                    EXPECT_TRUE(checked(window, kVerifyCopies)) << "its access key ticks it";
                }

                // Folded again with the focus inside: the focus comes out.
                focus(window, kTimeAny);
                ::SendMessageW(::GetDlgItem(window, kAdvance), BM_CLICK, 0, 0);
                EXPECT_EQ(focusedId(window), kAdvance);
                EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(window, kTimeAny)));
                command(window, kCancel);
            },
            false);
    }
    EXPECT_EQ(driver.scriptsRun(), 3);
}

TEST_P(FormsByLanguage, ExtensionBrowserSearchAnswersEnterItself)
{
    TempFolder folder;
    ASSERT_TRUE(writeBytes(folder / L"a.txt", "a"));
    wchar_t text[CDlgBrowseFileExt::kTextCapacity] = L"*.txt;";
    CDlgBrowseFileExt browser((folder.path() + L"\\").c_str(), text);
    bool stillOpen = false;
    int stateAfter = -1;
    driver.onNextDialog([&](HWND window) {
        EXPECT_TRUE(pumpMessages(10000, [&] { return !browser.IsSearching(); })) << "the first search ends";
        HWND search = ::GetDlgItem(window, browseext::kSearch);
        ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search), TRUE);
        EXPECT_TRUE(ui::IsDefaultPushButton(search));
        EXPECT_EQ(::GetWindowLongPtrW(search, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        // Enter starts a search (the button's picture turns to its frames),
        // and "Close" is not pressed.
        pressKey(window, VK_RETURN);
        stillOpen = ::IsWindowVisible(window) != FALSE;
        stateAfter = ui::GetButtonState(window, browseext::kSearch);
        pumpMessages(10000, [&] { return !browser.IsSearching(); });
        ::SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(browser.Run(owner), 0);
    EXPECT_TRUE(stillOpen) << "Enter on \"Search\" did not close the browser";
    EXPECT_NE(stateAfter, browseext::kIdleFrame) << "a search was started";
}

TEST_P(FormsByLanguage, DatePickersShowTheDateAndTimeReadably)
{
    // English: numeric, year first; Japanese: the usual year/month/day.
    const wchar_t separator = GetParam() == Language::English ? L'-' : L'/';
    CFileTreeDlg form;
    std::wstring from;
    std::wstring to;
    run(form, kOperationCopy, [&](HWND window) {
        SYSTEMTIME shown = {2026, 12, 0, 7, 9, 5, 3, 0};
        ::SendDlgItemMessageW(window, kTimeTo, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&shown));
        from = text(window, kTimeFrom);
        to = text(window, kTimeTo);
        command(window, kCancel);
    });
    SYSTEMTIME today = {};
    ::GetLocalTime(&today);
    wchar_t expected[32] = {};
    std::swprintf(expected, 32, L"%04u%c%02u%c%02u 00:00:00", today.wYear, separator, today.wMonth, separator, today.wDay);
    EXPECT_EQ(from, expected) << "today at midnight";
    std::swprintf(expected, 32, L"2026%c12%c07 09:05:03", separator, separator);
    EXPECT_EQ(to, expected);
}

INSTANTIATE_TEST_SUITE_P(Languages, FormsByLanguage, ::testing::Values(Language::English, Language::Japanese),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return info.param == Language::English ? "English" : "Japanese";
                         });

} // namespace
