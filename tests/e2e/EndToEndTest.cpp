// The real Sorvane.exe from build/dist, started with the command lines the
// shell extension builds, its dialogs driven from this process by their
// control ids, and the results checked on disk: files, report, history and
// exit code. Needs a display (Xvfb).
#include <gtest/gtest.h>

#include "Driver.h"
#include "common/HandOff.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 30000;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

void setWriteTime(const std::wstring& path, int daysAgo)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(daysAgo) * 24 * 3600 * 10000000ULL;
    FILETIME when = {t.LowPart, t.HighPart};
    ::SetFileTime(file, nullptr, nullptr, &when);
    ::CloseHandle(file);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(exe)) << "build the program first";
        ::DeleteFileW((dataFolder() + L"Sorvane.ini").c_str());
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((src + L"\\docs").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((src + L"\\docs\\deep").c_str(), nullptr));
        ASSERT_TRUE(test::writeBytes(src + L"\\a.txt", "alpha text"));
        ASSERT_TRUE(test::writeBytes(src + L"\\b.doc", "bravo document"));
        ASSERT_TRUE(test::writeBytes(src + L"\\docs\\c.txt", "charlie text"));
        ASSERT_TRUE(test::writeBytes(src + L"\\docs\\deep\\d.txt", "delta text"));
        reportNumber = nextReportNumber();
    }

    // Starts the program, waits for its operation dialog.
    HWND start(const std::wstring& arguments)
    {
        EXPECT_TRUE(process.start(exe, arguments));
        HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
        EXPECT_NE(dialog, nullptr) << "the operation dialog did not open";
        return dialog;
    }
    // Presses Start, lets the run end, returns the exit code.
    DWORD runToEnd(HWND dialog)
    {
        press(dialog, kStart);
        EXPECT_TRUE(finishProgressDialog(process.id(), kWait)) << "the progress dialog did not finish";
        return process.wait(kWait);
    }
    std::string report() const
    {
        return test::readBytes(dataFolder() + L"SorvaneLog" + std::to_wstring(reportNumber) + L".htm");
    }
    std::string history() const { return test::readBytes(dataFolder() + L"Sorvane.ini"); }

    std::wstring exe = test::distFolder() + L"Sorvane.exe";
    test::TempFolder root;
    std::wstring src = root / L"src";
    std::wstring out = root / L"out";
    test::ChildProcess process;
    int reportNumber = 0;
};

TEST_F(EndToEnd, CopyFromTheContextMenuWithItsReportAndHistory)
{
    const std::wstring command = handoff::buildCommandText(handoff::Operation::Copy, nullptr,
                                                           {src + L"\\a.txt", src + L"\\b.doc", src + L"\\docs"});
    HWND dialog = start(command);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(controlText(dialog, kSources), src + L"\\;a.txt;b.doc;docs;");
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"Text|*.txt");
    EXPECT_EQ(runToEnd(dialog), 0u);

    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha text");
    EXPECT_EQ(test::readBytes(out + L"\\docs\\deep\\d.txt"), "delta text");
    EXPECT_FALSE(test::exists(out + L"\\b.doc"));
    EXPECT_TRUE(test::exists(src + L"\\a.txt")) << "a copy leaves the source";

    const std::string page = report();
    EXPECT_NE(page.find("<tr><td>Copy To</td><td>" + narrow(out) + "\\</td></tr>"), std::string::npos) << page;
    EXPECT_NE(page.find("<tr><td>Name | Types</td><td>*.txt</td></tr>"), std::string::npos);
    EXPECT_NE(page.find(narrow(out) + "\\docs\\deep\\d.txt</td><td>Success</td>"), std::string::npos);
    EXPECT_NE(page.find("<font color=\"#008000\">Total Files</font></td>\r\n<td><font color=\"#008000\">3</font>"),
              std::string::npos);
    const std::string ini = history();
    EXPECT_NE(ini.find("[Destines]"), std::string::npos);
    EXPECT_NE(ini.find("=" + narrow(out)), std::string::npos) << ini;
    EXPECT_NE(ini.find("=Text|*.txt"), std::string::npos);
}

// The XXH3-128 of `bytes` as xxhsum -H2 prints it.
std::string xxh128Text(const std::string& bytes)
{
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    return text;
}

std::string stamp(const SYSTEMTIME& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

TEST_F(EndToEnd, VerifiedCopyWritesItsChecksumFileAndTheReportLinksIt)
{
    ASSERT_TRUE(test::writeBytes(src + L"\\docs\\with blanks.txt", "echo with blanks"));
    const std::wstring command =
        handoff::buildCommandText(handoff::Operation::Copy, nullptr, {src + L"\\a.txt", src + L"\\docs"});
    HWND dialog = start(command);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kTarget, out);
    HWND box = ::GetDlgItem(dialog, IDC_WRITE_CHECKSUMS);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(box)) << "a copy opens without verification";
    click(dialog, IDC_VERIFY_COPIES);
    EXPECT_TRUE(::IsWindowEnabled(box));
    click(dialog, IDC_WRITE_CHECKSUMS);
    EXPECT_TRUE(isChecked(dialog, IDC_WRITE_CHECKSUMS));
    SYSTEMTIME before = {};
    ::GetLocalTime(&before);
    EXPECT_EQ(runToEnd(dialog), 0u);
    SYSTEMTIME after = {};
    ::GetLocalTime(&after);

    // One checksum file in the target, named by the run's start.
    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW((out + L"\\Sorvane-*.xxh128").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << "no checksum file in the target";
    const std::wstring name = found.cFileName;
    EXPECT_FALSE(::FindNextFileW(search, &found)) << "one checksum file";
    ::FindClose(search);
    const std::string stamped = narrow(name.substr(8, 15));
    EXPECT_EQ(name.size(), 8u + 15u + 7u);
    EXPECT_LE(stamp(before), stamped);
    EXPECT_GE(stamp(after), stamped);

    const std::string expected = xxh128Text("alpha text") + "  a.txt\n" +
                                 xxh128Text("charlie text") + "  docs/c.txt\n" +
                                 xxh128Text("delta text") + "  docs/deep/d.txt\n" +
                                 xxh128Text("echo with blanks") + "  docs/with blanks.txt\n";
    std::string written = test::readBytes(out + L"\\" + name);
    // The walk's order is its own: compare the lines as a set.
    const auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    EXPECT_EQ(sortedLines(written), sortedLines(expected)) << written;

    std::string url = "file:///" + narrow(out) + "/" + narrow(name);
    for (char& c : url) {
        if (c == '\\') c = '/';
    }
    const std::string page = report();
    EXPECT_NE(page.find("<tr><td>Checksum file</td><td><a href=\"" + url + "\">" + narrow(out) + "\\" + narrow(name) +
                        "</a></td></tr>"),
              std::string::npos)
        << page;
}

TEST_F(EndToEnd, OverwritePolicies)
{
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    struct Case {
        int policy;
        bool targetNewer;
        const char* expected;
    } cases[] = {
        {0, true, "alpha text"},   // without condition: replaced
        {1, true, "old target"},   // newer only, target newer: kept
        {1, false, "alpha text"},  // newer only, source newer: replaced
        {2, false, "old target"},  // never: kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        ASSERT_TRUE(test::writeBytes(out + L"\\a.txt", "old target"));
        setWriteTime(src + L"\\a.txt", c.targetNewer ? 3 : 0);
        setWriteTime(out + L"\\a.txt", c.targetNewer ? 0 : 3);
        test::ChildProcess run;
        ASSERT_TRUE(run.start(exe, L"/T:" + out + L" /C:" + src + L"\\;a.txt;"));
        HWND dialog = waitForDialog(run.id(), kPatterns, kWait);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(controlText(dialog, kTarget), out) << "a right-drag target";
        EXPECT_EQ(controlText(dialog, kPatterns), L"*.*") << "a given target brings *.*";
        click(dialog, kOverwriteFirst + c.policy);
        press(dialog, kStart);
        EXPECT_TRUE(finishProgressDialog(run.id(), kWait));
        EXPECT_EQ(run.wait(kWait), 0u);
        EXPECT_EQ(test::readBytes(out + L"\\a.txt"), c.expected);
    }
}

TEST_F(EndToEnd, MoveRemovesEmptiedFoldersButKeepsTheSelectedFolder)
{
    HWND dialog = start(L"/M:" + src);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"*.txt");
    EXPECT_EQ(runToEnd(dialog), 0u);
    EXPECT_EQ(test::readBytes(out + L"\\docs\\deep\\d.txt"), "delta text");
    EXPECT_FALSE(test::exists(src + L"\\a.txt"));
    EXPECT_FALSE(test::exists(src + L"\\docs")) << "emptied folders are removed";
    EXPECT_TRUE(test::exists(src + L"\\b.doc")) << "what did not qualify stays";
    EXPECT_TRUE(test::exists(src)) << "the single folder of the list is kept";
}

TEST_F(EndToEnd, DeletePermanentTestOnlyAndRecycled)
{
    // Test only: nothing changes.
    HWND dialog = start(L"/D:" + src + L"\\;a.txt;b.doc;");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(isChecked(dialog, kRecycle)) << "the recycle box starts checked";
    setControlText(dialog, kPatterns, L"*.*");
    setChecked(dialog, kCloneOrTestOnly, true);
    EXPECT_EQ(runToEnd(dialog), 0u);
    EXPECT_TRUE(test::exists(src + L"\\a.txt"));
    EXPECT_NE(report().find("a.txt</td><td>Test Only</td>"), std::string::npos);

    // Permanent.
    reportNumber = nextReportNumber();
    test::ChildProcess second;
    ASSERT_TRUE(second.start(exe, L"/D:" + src + L"\\;a.txt;"));
    dialog = waitForDialog(second.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kPatterns, L"*.*");
    setChecked(dialog, kRecycle, false);
    press(dialog, kStart);
    EXPECT_TRUE(finishProgressDialog(second.id(), kWait));
    EXPECT_EQ(second.wait(kWait), 0u);
    EXPECT_FALSE(test::exists(src + L"\\a.txt"));

    // To the Recycle Bin (Wine moves the file to the desktop trash).
    test::ChildProcess third;
    ASSERT_TRUE(third.start(exe, L"/D:" + src + L"\\;b.doc;"));
    dialog = waitForDialog(third.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kPatterns, L"*.*");
    press(dialog, kStart);
    EXPECT_TRUE(finishProgressDialog(third.id(), kWait));
    EXPECT_EQ(third.wait(kWait), 0u);
    EXPECT_FALSE(test::exists(src + L"\\b.doc"));
}

TEST_F(EndToEnd, LongSelectionTravelsThroughTheHandOffFile)
{
    std::vector<std::wstring> paths = {src + L"\\a.txt"};
    for (int i = 0; i < 120; ++i) paths.push_back(src + L"\\missing-item-with-a-long-name-" + std::to_wstring(i));
    const std::wstring command = handoff::buildCommandText(handoff::Operation::Copy, nullptr, paths);
    ASSERT_GT(command.size(), handoff::kMaxCommandLineText);
    // Where the extension writes it when its own folder refuses it.
    const std::wstring file = handoff::writeHandOffFile(handoff::userTempFolder().c_str(), command);
    ASSERT_FALSE(file.empty());
    HWND dialog = start(L"/F:" + file);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(test::exists(file)) << "the program deletes the hand-off file";
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"*.*");
    EXPECT_EQ(runToEnd(dialog), 0u);
    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha text");
    const std::string page = report();
    EXPECT_NE(page.find("missing-item-with-a-long-name-119</font></td>\r\n<td><font color=\"#FF0000\">Not Exist"),
              std::string::npos);
}

TEST_F(EndToEnd, CancelledDialogEndsWithZeroAndSavesTheHistory)
{
    HWND dialog = start(L"/C:" + src + L"\\;a.txt;");
    ASSERT_NE(dialog, nullptr);
    press(dialog, kCancel);
    EXPECT_EQ(process.wait(kWait), 0u);
    EXPECT_NE(history().find("[Types]"), std::string::npos) << "the history is saved on the way out";
    EXPECT_FALSE(test::exists(out));
}

// The archive stays where check_compress.sh reads it with lhasa.
std::wstring compressOutput([[maybe_unused]] const test::TempFolder& fallback)
{
#ifdef SORVANE_E2E_COMPRESS_DIR
    const std::wstring folder = L"" SORVANE_E2E_COMPRESS_DIR;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
#else
    return fallback.path();
#endif
}

TEST_F(EndToEnd, CompressWithOurLibraryEndsWithItsMessage)
{
    const std::wstring folder = compressOutput(root);
    const std::wstring archive = folder + L"\\arc.lzh";
    ::DeleteFileW(archive.c_str());
    // Inside the selected folder the patterns choose; a.txt is selected by name.
    ASSERT_TRUE(test::writeBytes(src + L"\\docs\\e.doc", "echo document"));
    HWND dialog = start(L"/L:" + src + L"\\;a.txt;docs;");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(controlText(dialog, kTarget), src + L"\\src.lzh") << "the archive name proposed from the folder";
    setControlText(dialog, kTarget, archive);
    setControlText(dialog, kPatterns, L"*.txt");
    press(dialog, kStart);
    HWND box = waitForMessageBox(process.id(), kWait);
    ASSERT_NE(box, nullptr) << "the compress operation ends with a message";
    const std::wstring text = messageBoxText(box);
    EXPECT_EQ(text.rfind(L"Filter Compress Completed.", 0), 0u) << narrow(text);
    press(box, IDOK);
    EXPECT_EQ(process.wait(kWait), 0u) << "a compress ends the process";
    ASSERT_TRUE(test::exists(archive));
    EXPECT_GT(test::readBytes(archive).size(), 40u);
}

TEST_F(EndToEnd, CompressEndsTheProcessEvenWhenStartedWithoutCommand)
{
    ASSERT_TRUE(process.start(exe, L""));
    HWND window = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWait);
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, IDM_FILTER_COMPRESS, 0); // compress has no menu item but is handled
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kSources, src + L"\\;a.txt;");
    setControlText(dialog, kTarget, root / L"menu.lzh");
    setControlText(dialog, kPatterns, L"*.*");
    press(dialog, kStart);
    HWND box = waitForMessageBox(process.id(), kWait);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box).rfind(L"Filter Compress Completed.", 0), 0u);
    press(box, IDOK);
    EXPECT_EQ(process.wait(kWait), 0u) << "the window closes after a compress";
    EXPECT_TRUE(test::exists(root / L"menu.lzh"));
}

TEST_F(EndToEnd, WithoutCommandTheWindowStaysAfterTheJob)
{
    ASSERT_TRUE(process.start(exe, L""));
    HWND window = test::findProcessWindow(process.id(), L"_KVT_Sorvane_Class", kWait);
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, IDM_FILTER_COPY, 0); // "&Filtering Copy"
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kSources, src + L"\\;a.txt;");
    setControlText(dialog, kTarget, out);
    setControlText(dialog, kPatterns, L"*.*");
    press(dialog, kStart);
    EXPECT_TRUE(finishProgressDialog(process.id(), kWait));
    ::Sleep(1000);
    EXPECT_EQ(process.wait(0), static_cast<DWORD>(STILL_ACTIVE)) << "the main window stays";
    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha text");
    ::PostMessageW(window, WM_COMMAND, IDM_EXIT, 0); // Exit
    EXPECT_EQ(process.wait(kWait), 0u);
}

} // namespace
