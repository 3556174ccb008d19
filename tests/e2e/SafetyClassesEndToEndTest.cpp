// The real Sorvane.exe against the trees that once cost a file or left one
// out without a row, each built by the test: a selected folder whose own
// target is the folder of the selection (refused at Start, in the list and
// the one-folder form); names that differ only by case; a target that is
// the source itself under another name; a source edited (or held open by
// an editor) while a move runs; links and an unlistable folder inside the
// selection. In each, the hazardous file is kept with its row and every
// other file of the tree is processed. Needs a display (Xvfb).
#include <gtest/gtest.h>

#include "Driver.h"
#include "EngineFakes.h"
#include "common/HandOff.h"
#include "common/Raii.h"
#include "TestSupport.h"

#include <algorithm>
#include <string>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool makeUnixLink(const std::wstring& to, const std::wstring& link)
{
    const std::wstring folder = link.substr(0, link.rfind(L'\\'));
    const std::string at = test::unixPathOf(folder) + "/" + narrow(link.substr(link.rfind(L'\\') + 1));
    test::runUnix(L"Z:\\bin\\ln", L"ln -s " + widen(test::unixPathOf(to)) + L" " + widen(at));
    for (int i = 0; i < 250 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(20);
    return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class SafetyClasses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        reportNumber = nextReportNumber();
    }

    HWND start(const std::wstring& arguments)
    {
        EXPECT_TRUE(process.start(exe, arguments));
        HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
        EXPECT_NE(dialog, nullptr) << "the operation dialog did not open";
        return dialog;
    }
    // Fills target, patterns and policy, presses Start, lets the run end.
    void run(HWND dialog, const std::wstring& target, int policy)
    {
        setControlText(dialog, kTarget, target);
        setControlText(dialog, kPatterns, L"*.*");
        click(dialog, kOverwriteFirst + policy);
        press(dialog, kStart);
        EXPECT_TRUE(finishProgressDialog(process.id(), kWait)) << "the progress dialog did not finish";
        EXPECT_EQ(process.wait(kWait), 0u);
    }
    std::string report() const
    {
        return test::readBytes(dataFolder() + L"SorvaneLog" + std::to_wstring(reportNumber) + L".htm");
    }
    // The report's row of `path`: its status cell, or empty.
    std::string rowOf(const std::wstring& path) const
    {
        const std::string page = report();
        const std::string cell = narrow(path) + "</font></td>";
        size_t at = page.find(cell);
        if (at == std::string::npos) {
            at = page.find(narrow(path) + "</td><td>");
            if (at == std::string::npos) return {};
        }
        const size_t end = page.find("</tr>", at);
        return page.substr(at, end - at);
    }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    std::wstring src = root / L"src";
    std::wstring out = root / L"out";
    test::ChildProcess process;
    int reportNumber = 0;
};

TEST_F(SafetyClasses, AFolderWhoseOwnTargetIsTheFolderOfTheSelectionIsRefusedInBothForms)
{
    // src\Foo holds a folder "Foo" and README.txt; copied into src, the
    // inner Foo's target is the outer one.
    const std::wstring foo = src + L"\\Foo";
    ASSERT_TRUE(::CreateDirectoryW(foo.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((foo + L"\\Foo").c_str(), nullptr));
    ASSERT_TRUE(test::writeBytes(foo + L"\\README.txt", "outer"));
    ASSERT_TRUE(test::writeBytes(foo + L"\\Foo\\README.txt", "inner"));
    const std::wstring expected = L"The copy of \"" + foo + L"\\Foo\" would land on \"" + foo +
                                  L"\", which is a selected item, lies inside one, or holds the selection. "
                                  L"Choose another target.";
    for (const std::wstring& command :
         {handoff::buildCommandText(handoff::Operation::Copy, nullptr, {foo + L"\\Foo", foo + L"\\README.txt"}),
          L"/C:" + foo}) {
        SCOPED_TRACE(narrow(command));
        test::ChildProcess program;
        ASSERT_TRUE(program.start(exe, command));
        HWND dialog = waitForDialog(program.id(), kPatterns, kWait);
        ASSERT_NE(dialog, nullptr);
        setControlText(dialog, kTarget, src);
        setControlText(dialog, kPatterns, L"*.*");
        press(dialog, kStart);
        HWND box = waitForMessageBox(program.id(), kWait);
        ASSERT_NE(box, nullptr) << "no message refused the run";
        EXPECT_EQ(messageBoxText(box), expected) << narrow(messageBoxText(box));
        press(box, IDOK);
        ::Sleep(300);
        EXPECT_EQ(waitForDialog(program.id(), kFolderField, 500), nullptr) << "no run started";
        press(dialog, kCancel);
        EXPECT_EQ(program.wait(kWait), 0u);
        EXPECT_EQ(test::readBytes(foo + L"\\README.txt"), "outer");
        EXPECT_EQ(test::readBytes(foo + L"\\Foo\\README.txt"), "inner");
    }
}

TEST_F(SafetyClasses, NamesThatDifferOnlyByCaseAreNeverMovedOntoEachOther)
{
    ASSERT_TRUE(test::writeBytes(src + L"\\a.txt", "lower"));
    ASSERT_TRUE(test::writeBytes(src + L"\\staged", "upper"));
    const std::string unix = test::unixPathOf(src);
    test::runUnix(L"Z:\\bin\\mv", L"mv " + widen(unix) + L"/staged " + widen(unix) + L"/A.txt");
    for (int i = 0; i < 250 && test::exists(src + L"\\staged"); ++i) ::Sleep(20);
    ASSERT_EQ(test::listFolder(src), (std::vector<std::wstring>{L"A.txt", L"a.txt"})) << "the Unix side made twins";
    ASSERT_TRUE(test::writeBytes(src + L"\\b.txt", "another"));

    run(start(handoff::buildCommandText(handoff::Operation::Move, nullptr, {src + L"\\a.txt", src + L"\\A.txt",
                                                                            src + L"\\b.txt"})),
        out, 0);
    const std::string landed = test::readBytes(out + L"\\a.txt");
    ASSERT_TRUE(landed == "lower" || landed == "upper");
    const std::wstring kept = landed == "lower" ? L"A.txt" : L"a.txt";
    EXPECT_EQ(test::listFolder(src), std::vector<std::wstring>{kept}) << "the second twin stayed";
    EXPECT_EQ(test::readBytes(src + L"\\" + kept), landed == "lower" ? "upper" : "lower");
    EXPECT_EQ(test::readBytes(out + L"\\b.txt"), "another");
    const std::string row = rowOf(src + L"\\" + kept);
    EXPECT_NE(row.find("Failed--This run already wrote a file of this name here, from "), std::string::npos) << row;
}

TEST_F(SafetyClasses, ATargetThatIsTheSourceUnderAnotherNameNeverCostsTheSource)
{
    ASSERT_TRUE(test::writeBytes(src + L"\\a.txt", "the only real file"));
    ASSERT_TRUE(test::writeBytes(src + L"\\h.txt", "linked hard"));
    ASSERT_TRUE(test::writeBytes(src + L"\\b.txt", "another"));
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    ASSERT_TRUE(makeUnixLink(src + L"\\a.txt", out + L"\\a.txt")) << "a file link in the target back to the source";
    ASSERT_TRUE(::CreateHardLinkW((out + L"\\h.txt").c_str(), (src + L"\\h.txt").c_str(), nullptr));

    // "If the source is newer.": the link has the source's own time, so the
    // move would delete its source as outdated.
    run(start(L"/M:" + src), out, 1);
    EXPECT_EQ(test::readBytes(src + L"\\a.txt"), "the only real file");
    EXPECT_EQ(test::readBytes(src + L"\\h.txt"), "linked hard");
    EXPECT_EQ(test::readBytes(out + L"\\b.txt"), "another");
    EXPECT_FALSE(test::exists(src + L"\\b.txt"));
    for (const wchar_t* name : {L"\\a.txt", L"\\h.txt"}) {
        const std::string row = rowOf(src + name);
        EXPECT_NE(row.find("Failed--The source and the target are the same file"), std::string::npos) << row;
    }
    test::removeUnixLink(out + L"\\a.txt");
}

TEST_F(SafetyClasses, ASourceEditedOrHeldByAnEditorDuringAMoveIsKept)
{
    test::OtherVolumeFolder other;
    ASSERT_TRUE(other.valid()) << "no Z:\\dev\\shm here";
    // Subfolders come before the files of a folder: the large file in
    // "first" is moved while the files of src wait, listed already.
    ASSERT_TRUE(::CreateDirectoryW((src + L"\\first").c_str(), nullptr));
    std::string large(160u << 20, '\0');
    for (size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<char>(i >> 12);
    ASSERT_TRUE(test::writeBytes(src + L"\\first\\large.bin", large));
    ASSERT_TRUE(test::writeBytes(src + L"\\edited.txt", "as listed"));
    ASSERT_TRUE(test::writeBytes(src + L"\\open.txt", "held by an editor"));
    ASSERT_TRUE(test::writeBytes(src + L"\\plain.txt", "plain"));
    // An editor keeps open.txt open for writing for the whole run.
    UniqueFile editor(::CreateFileW((src + L"\\open.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    ASSERT_TRUE(editor);

    HWND dialog = start(L"/M:" + src);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kTarget, other.path());
    setControlText(dialog, kPatterns, L"*.*");
    click(dialog, kOverwriteFirst);
    press(dialog, kStart);
    // While the large file is in hand, another program saves edited.txt.
    bool edited = false;
    for (DWORD waited = 0; waited < kWait && !edited; waited += 2) {
        HWND progress = waitForDialog(process.id(), kFolderField, 0);
        if (progress && controlText(progress, kFileField) == L"large.bin") {
            edited = test::writeBytes(src + L"\\edited.txt", "the latest edit, saved during the run");
        } else {
            ::Sleep(2);
        }
    }
    ASSERT_TRUE(edited) << "the large file was never seen in hand";
    EXPECT_TRUE(finishProgressDialog(process.id(), kWait));
    EXPECT_EQ(process.wait(kWait), 0u);
    editor.reset();

    EXPECT_EQ(test::readBytes(src + L"\\edited.txt"), "the latest edit, saved during the run");
    EXPECT_FALSE(test::exists(other / L"edited.txt")) << "nothing of it was written";
    EXPECT_NE(rowOf(src + L"\\edited.txt").find("Failed--The source changed after it was listed"), std::string::npos)
        << rowOf(src + L"\\edited.txt");
    EXPECT_EQ(test::readBytes(src + L"\\open.txt"), "held by an editor");
    EXPECT_NE(rowOf(src + L"\\open.txt").find("Failed--The source is in use by another program"), std::string::npos)
        << rowOf(src + L"\\open.txt");
    EXPECT_EQ(test::readBytes(other / L"plain.txt"), "plain");
    EXPECT_FALSE(test::exists(src + L"\\plain.txt"));
    EXPECT_EQ(test::readBytes(other / L"first\\large.bin").size(), large.size());
    EXPECT_FALSE(test::exists(src + L"\\first\\large.bin"));
}

TEST_F(SafetyClasses, LinksAndAnUnlistableFolderInsideTheSelectionEachGetARow)
{
    test::TempFolder elsewhere;
    ASSERT_TRUE(test::writeBytes(elsewhere / L"precious.txt", "never reached"));
    ASSERT_TRUE(::CreateDirectoryW((src + L"\\docs").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((src + L"\\closed").c_str(), nullptr));
    ASSERT_TRUE(test::writeBytes(src + L"\\docs\\a.txt", "a"));
    ASSERT_TRUE(test::writeBytes(src + L"\\closed\\inside.txt", "unseen"));
    ASSERT_TRUE(test::writeBytes(src + L"\\b.txt", "b"));
    ASSERT_TRUE(makeUnixLink(elsewhere.path(), src + L"\\docs\\away"));
    // Held open without sharing: no one else can list it.
    UniqueFile holder(::CreateFileW((src + L"\\closed").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(holder);
    WIN32_FIND_DATAW found;
    ASSERT_EQ(::FindFirstFileW((src + L"\\closed\\*").c_str(), &found), INVALID_HANDLE_VALUE) << "listing it fails";

    run(start(L"/C:" + src), out, 0);
    holder.reset();
    EXPECT_EQ(test::readBytes(out + L"\\docs\\a.txt"), "a");
    EXPECT_EQ(test::readBytes(out + L"\\b.txt"), "b");
    EXPECT_FALSE(test::exists(out + L"\\docs\\away"));
    EXPECT_EQ(test::listFolder(elsewhere.path()), std::vector<std::wstring>{L"precious.txt"});
    EXPECT_NE(rowOf(src + L"\\docs\\away").find("Skipped--A junction or symbolic link inside a selected folder"),
              std::string::npos)
        << rowOf(src + L"\\docs\\away");
    EXPECT_NE(rowOf(src + L"\\closed").find("Failed(Folder)--"), std::string::npos) << rowOf(src + L"\\closed");
    const std::string page = report();
    EXPECT_NE(page.find("Links Skipped</font></td>\r\n<td><font color=\"#FF0000\">1</font>"), std::string::npos)
        << page;
    EXPECT_NE(page.find("Failed Folders</font></td>\r\n<td><font color=\"#FF0000\">1</font>"), std::string::npos);
    test::removeUnixLink(src + L"\\docs\\away");
}

} // namespace
