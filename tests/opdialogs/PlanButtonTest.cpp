// "Plan" in the operation dialog, run in this process: it plans the very
// job Start would hand over (the page's console command line is the one of
// the settings Start then confirms), writes the page into the data folder
// and opens it, and leaves the dialog open; a form Start would refuse
// writes no page and puts the focus on the field at fault; the delete form
// has no Plan.
#include "OpDialogFixture.h"

#include "base/AppState.h"
#include "base/Shell.h"
#include "dialogs/FileTreeDlg.h"
#include "run/ConsoleCommand.h"

#include <cwchar>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::filetree;
using namespace sorvane::test;

namespace {

std::vector<std::wstring>& opened()
{
    static std::vector<std::wstring> paths;
    return paths;
}

bool recordOpen(HWND, const wchar_t* path)
{
    opened().push_back(path);
    return true;
}

std::string utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    return out;
}

// The escaped form of a text, as the page holds it.
std::string escaped(const std::wstring& text)
{
    std::string out;
    for (char c : utf8(text)) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

class PlanButton : public OpDialogTest {
protected:
    void SetUp() override
    {
        OpDialogTest::SetUp();
        std::wcscpy(previousFolder, app().appDataFolder);
        const std::wstring folder = data.path() + L"\\";
        std::wcscpy(app().appDataFolder, folder.c_str());
        previousHook = setOpenDocumentHook(recordOpen);
        opened().clear();
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        ASSERT_TRUE(writeBytes(src + L"\\a.txt", "alpha"));
    }
    void TearDown() override
    {
        setOpenDocumentHook(previousHook);
        std::wcscpy(app().appDataFolder, previousFolder);
        OpDialogTest::TearDown();
    }
    INT_PTR run(CFileTreeDlg& form, uint32_t kind, ModalDriver::Script script)
    {
        form.settings.operation = kind;
        driver.onNextDialog(std::move(script));
        return form.Run(owner, kind, true);
    }
    static int focusedId(HWND dialog)
    {
        HWND focus = ::GetFocus();
        HWND parent = focus ? ::GetParent(focus) : nullptr;
        if (parent && parent != dialog) focus = parent;
        return focus ? ::GetDlgCtrlID(focus) : 0;
    }

    TempFolder data;
    TempFolder trees;
    std::wstring src = trees / L"src";
    wchar_t previousFolder[MAX_PATH] = {};
    OpenDocumentHook previousHook = nullptr;
};

TEST_F(PlanButton, PlansTheJobStartConfirmsAndLeavesTheDialogOpen)
{
    struct Case {
        uint32_t kind;
        std::wstring target;
        int policy;  // the radio of the policy group: overwrite policy or archive mode
        bool option; // protect read-only (copy, move), self-extract (compress)
    } cases[] = {
        {kOperationCopy, trees / L"out", kPolicyLast, true},
        {kOperationMove, trees / L"moved", kPolicyFirst, false},
        {kOperationCompress, trees / L"pack.lzh", kPolicyFirst + 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        opened().clear();
        CFileTreeDlg form;
        form.settings.setSources((src + L"\\;a.txt;").c_str());
        std::string page;
        const INT_PTR result = run(form, c.kind, [&](HWND window) {
            ASSERT_NE(::GetDlgItem(window, kPlan), nullptr);
            setText(window, kTarget, c.target);
            setText(window, kPatterns, L"Text|*.txt;<b>");
            click(window, c.policy);
            if (c.kind != kOperationCompress) {
                if (checked(window, kProtectReadOnly) != c.option) click(window, kProtectReadOnly);
            }
            command(window, kPlan);
            EXPECT_TRUE(::IsWindowVisible(window)) << "the dialog stays open";
            ASSERT_EQ(opened().size(), 1u) << "the page is opened";
            EXPECT_EQ(opened()[0].rfind(data.path() + L"\\SorvanePlan", 0), 0u) << "in the data folder";
            page = readBytes(opened()[0]);
            command(window, kStart);
        });
        EXPECT_EQ(result, 1) << "Start still ends the dialog";
        // The page's settings are those Start confirmed, to the console
        // command line that repeats them.
        EXPECT_NE(page.find("<td>" + escaped(consoleCommandLine(form.settings)) + "</td>"), std::string::npos)
            << page;
        EXPECT_NE(page.find("*.txt; &lt;b&gt;"), std::string::npos) << "the patterns without their label";
    }
}

TEST_F(PlanButton, AFormStartWouldRefuseWritesNoPage)
{
    struct Case {
        std::wstring target;
        const wchar_t* patterns;
        int focus;      // where the focus goes
        size_t messages; // message boxes shown
    } cases[] = {
        {L"", L"*.txt", kTarget, 0},
        {trees / L"out", L"", kPatterns, 0},
        {src, L"*.txt", kTarget, 1}, // the folder that holds the selection
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        opened().clear();
        messages.clear();
        CFileTreeDlg form;
        form.settings.setSources((src + L"\\;a.txt;").c_str());
        run(form, kOperationCopy, [&](HWND window) {
            setText(window, kTarget, c.target);
            setText(window, kPatterns, c.patterns);
            command(window, kPlan);
            EXPECT_TRUE(::IsWindowVisible(window));
            EXPECT_EQ(focusedId(window), c.focus);
            command(window, kCancel);
        });
        EXPECT_EQ(messages.messages().size(), c.messages);
        EXPECT_TRUE(opened().empty()) << "no page";
        EXPECT_TRUE(listFolder(data.path()).empty()) << "nothing written";
    }
}

TEST_F(PlanButton, TheDeleteFormHasNone)
{
    CFileTreeDlg form;
    form.settings.setSources((src + L"\\;a.txt;").c_str());
    run(form, kOperationDelete, [&](HWND window) {
        EXPECT_EQ(::GetDlgItem(window, kPlan), nullptr) << "a delete has \"Test only\"";
        command(window, kPlan);
        EXPECT_TRUE(::IsWindowVisible(window));
        command(window, kCancel);
    });
    EXPECT_TRUE(opened().empty());
    EXPECT_TRUE(exists(src + L"\\a.txt"));
}

} // namespace
