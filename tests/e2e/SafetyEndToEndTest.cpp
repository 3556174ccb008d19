// The real Sorvane.exe refusing what would endanger the user's files: a
// move onto the folder its selection lives in and a copy into a folder
// inside its own selection are refused at Start with a message, and a file
// that the Recycle Bin cannot take is deleted only when the user says so in
// the system's own question. Needs a display (Xvfb).
#include <gtest/gtest.h>

#include "Driver.h"
#include "common/HandOff.h"
#include "TestSupport.h"

#include <string>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class SafetyEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((src + L"\\Photos").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((src + L"\\Docs").c_str(), nullptr));
        ASSERT_TRUE(test::writeBytes(src + L"\\Photos\\p1.jpg", "photo one"));
        ASSERT_TRUE(test::writeBytes(src + L"\\Photos\\p2.jpg", "photo two"));
        ASSERT_TRUE(test::writeBytes(src + L"\\Docs\\d.txt", "a document"));
    }

    // Starts the program with an Explorer selection, waits for its dialog.
    HWND start(handoff::Operation operation, const std::vector<std::wstring>& paths)
    {
        EXPECT_TRUE(process.start(exe, handoff::buildCommandText(operation, nullptr, paths)));
        HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
        EXPECT_NE(dialog, nullptr) << "the operation dialog did not open";
        return dialog;
    }

    // Presses Start and expects the refusal: a message box, the dialog still
    // open afterwards, and nothing run. Returns the message's text.
    std::wstring startIsRefused(HWND dialog)
    {
        press(dialog, kStart);
        HWND box = waitForMessageBox(process.id(), kWait);
        EXPECT_NE(box, nullptr) << "no message refused the run";
        if (!box) return {};
        const std::wstring text = messageBoxText(box);
        press(box, IDOK);
        ::Sleep(300);
        EXPECT_TRUE(::IsWindow(dialog)) << "the dialog stays for another target";
        EXPECT_EQ(waitForDialog(process.id(), kFolderField, 500), nullptr) << "no run started";
        press(dialog, kCancel);
        EXPECT_EQ(process.wait(kWait), 0u);
        return text;
    }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    std::wstring src = root / L"A";
    test::ChildProcess process;
};

TEST_F(SafetyEndToEnd, AMoveOntoTheFolderOfItsSelectionIsRefused)
{
    // Filter Move of "A\;Photos;" into A with "If the source is newer.":
    // every photo would find itself as its own newer target.
    HWND dialog = start(handoff::Operation::Move, {src + L"\\Photos"});
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kTarget, src);
    setControlText(dialog, kPatterns, L"*.*");
    click(dialog, kOverwriteFirst + 1);
    const std::wstring message = startIsRefused(dialog);
    EXPECT_EQ(message, L"The target folder is the folder that holds the selection. Choose another target.")
        << narrow(message);
    EXPECT_EQ(test::readBytes(src + L"\\Photos\\p1.jpg"), "photo one");
    EXPECT_EQ(test::readBytes(src + L"\\Photos\\p2.jpg"), "photo two");
}

TEST_F(SafetyEndToEnd, ACopyIntoAFolderInsideItsSelectionIsRefused)
{
    // Filter Copy of "A\;Docs;" into A\Docs\backup with the tree cloned:
    // the copies would be copied again, ever deeper.
    HWND dialog = start(handoff::Operation::Copy, {src + L"\\Docs"});
    ASSERT_NE(dialog, nullptr);
    for (const std::wstring& target : {src + L"\\Docs\\backup", src + L"/docs/BACKUP/", src + L"\\Photos\\..\\Docs"}) {
        setControlText(dialog, kTarget, target);
        setControlText(dialog, kPatterns, L"*.*");
        setChecked(dialog, kCloneOrTestOnly, true);
        press(dialog, kStart);
        HWND box = waitForMessageBox(process.id(), kWait);
        ASSERT_NE(box, nullptr) << "no message refused " << narrow(target);
        const std::wstring text = messageBoxText(box);
        EXPECT_TRUE(text == L"The target folder lies inside a selected folder. Choose a target outside the selection." ||
                    text == L"The target folder is one of the selected items. Choose a target outside the selection.")
            << narrow(text);
        press(box, IDOK);
        ::Sleep(300);
    }
    EXPECT_EQ(waitForDialog(process.id(), kFolderField, 500), nullptr) << "no run started";
    press(dialog, kCancel);
    EXPECT_EQ(process.wait(kWait), 0u);
    EXPECT_FALSE(test::exists(src + L"\\Docs\\backup")) << "not even the cloned tree was made";
    EXPECT_EQ(test::listFolder(src + L"\\Docs"), std::vector<std::wstring>{L"d.txt"});
}

TEST_F(SafetyEndToEnd, AFileTheRecycleBinCannotTakeGoesOnlyWhenTheUserSaysSo)
{
    // Without a Recycle Bin (Wine has none when its trash folder cannot be
    // made), deleting "to the Recycle Bin" would delete for good: the
    // system asks first, and "No" keeps the file.
    wchar_t saved[MAX_PATH] = {};
    const bool had = ::GetEnvironmentVariableW(L"XDG_DATA_HOME", saved, MAX_PATH) != 0;
    ::SetEnvironmentVariableW(L"XDG_DATA_HOME", L"/proc/sorvane-no-trash");
    HWND dialog = start(handoff::Operation::Delete, {src + L"\\Docs\\d.txt"});
    ::SetEnvironmentVariableW(L"XDG_DATA_HOME", had ? saved : nullptr);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kPatterns, L"*.*");
    ASSERT_TRUE(isChecked(dialog, kRecycle));
    const int reportNumber = nextReportNumber();
    press(dialog, kStart);
    HWND question = waitForDialog(process.id(), IDNO, kWait);
    ASSERT_NE(question, nullptr) << "the system did not ask before deleting for good";
    press(question, IDNO);
    EXPECT_TRUE(finishProgressDialog(process.id(), kWait));
    EXPECT_EQ(process.wait(kWait), 0u);
    EXPECT_EQ(test::readBytes(src + L"\\Docs\\d.txt"), "a document");
    const std::string report =
        test::readBytes(dataFolder() + L"SorvaneLog" + std::to_wstring(reportNumber) + L".htm");
    EXPECT_NE(report.find("d.txt</td><td>Failed--The file could not be sent to the Recycle Bin; it was kept."),
              std::string::npos)
        << report;
}

} // namespace
