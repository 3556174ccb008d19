// Filter Compress through the real Sorvane.exe and our UnLha32.dll, as a
// user runs it: the program started with the selection, its dialog filled
// and started, its message read. Every archive is then tested, listed and
// extracted by lhasa and 7zz, and its members must be exactly the files the
// test works out on its own from the tree and the filter, byte for byte.
// Needs a display (Xvfb), lhasa and 7zz.
#include <gtest/gtest.h>

#include "CompressModel.h"
#include "Driver.h"
#include "common/HandOff.h"
#include "LhaCheck.h"
#include "common/Raii.h"
#include "TestSupport.h"
#include "UnixSide.h"
#include "res/SorvaneRes.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr DWORD kWait = 60000;
enum CompressDialogControl : int { kTimeRange = IDC_TIME_RANGE, kTimeFrom = IDC_TIME_FROM, kTimeTo = IDC_TIME_TO };
enum Text : UINT {
    kFailed = IDS_COMPRESS_FAILED,
    kCompleted = IDS_COMPRESS_COMPLETED,
    kNothingExists = IDS_COMPRESS_NOTHING_EXISTS,
    kNothingQualifies = IDS_COMPRESS_NOTHING_QUALIFIES,
    kItemsMissing = IDS_COMPRESS_ITEMS_MISSING,
    kNoAnsiName = IDS_COMPRESS_NO_ANSI_NAME,
    kReadOnly = IDS_COMPRESS_ARCHIVE_READ_ONLY,
    kLibraryReported = IDS_COMPRESS_LIBRARY_FAILED,
};

std::string narrow(const std::wstring& text)
{
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 1), '\0');
    if (needed > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], needed, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// A text of the program in the language it shows: from the Japanese
// library when the interface is Japanese, else from the program itself.
std::wstring programText(UINT id)
{
    const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
    const std::wstring file = test::distFolder() + (japanese ? L"Sorvane.0411" : L"Sorvane.exe");
    HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return L"<no " + file + L">";
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    std::wstring result = length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
    ::FreeLibrary(module);
    return result;
}
std::wstring programText(UINT id, const std::wstring& argument)
{
    std::wstring text = programText(id);
    for (const wchar_t* mark : {L"%s", L"%d"}) {
        const size_t at = text.find(mark);
        if (at != std::wstring::npos) text.replace(at, 2, argument);
    }
    return text;
}

// What the dialog is given before Start.
struct Choices {
    std::wstring archive;
    std::wstring patterns = L"*.*";
    bool subfolders = true;
    bool exclude = false;
    int mode = 0; // 0 new archive, 1 add only newer, 2 add
    const SYSTEMTIME* from = nullptr; // both set: a time range
    const SYSTEMTIME* to = nullptr;
};

struct ProgramRun {
    bool dialog = false;
    std::wstring message;
    DWORD exitCode = STILL_ACTIVE;
};

// A date-and-time picker of another process set to `time`: the structure
// is put into that process, where the control reads it.
bool setPicker(DWORD processId, HWND picker, const SYSTEMTIME& time)
{
    UniqueHandle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ, FALSE, processId));
    if (!process) return false;
    void* remote = ::VirtualAllocEx(process.get(), nullptr, sizeof(time), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) return false;
    SIZE_T written = 0;
    bool set = ::WriteProcessMemory(process.get(), remote, &time, sizeof(time), &written) && written == sizeof(time) &&
               ::SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(remote)) != 0;
    // Read back: the picker must show that very time.
    SYSTEMTIME shown = {};
    SIZE_T read = 0;
    set = set && ::SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(remote)) == GDT_VALID &&
          ::ReadProcessMemory(process.get(), remote, &shown, sizeof(shown), &read) && read == sizeof(shown) &&
          shown.wYear == time.wYear && shown.wMonth == time.wMonth && shown.wDay == time.wDay &&
          shown.wHour == time.wHour && shown.wMinute == time.wMinute;
    ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return set;
}

// The patterns as typed: the text, and the notice typing sends (the dialog
// lets the Exclude box follow it).
void typePatterns(HWND dialog, const std::wstring& text)
{
    setControlText(dialog, kPatterns, text);
    HWND combo = ::GetDlgItem(dialog, kPatterns);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kPatterns, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(combo));
}

// Starts the program with `arguments`, fills its compress dialog, presses
// Start and reads the message it ends with.
ProgramRun compressWithProgram(const std::wstring& arguments, const Choices& choices)
{
    ProgramRun run;
    test::ChildProcess process;
    if (!process.start(test::distFolder() + L"Sorvane.exe", arguments)) return run;
    HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
    if (!dialog) return run;
    run.dialog = true;
    setControlText(dialog, kTarget, choices.archive);
    typePatterns(dialog, choices.patterns);
    setChecked(dialog, kIncludeSubfolders, choices.subfolders);
    setChecked(dialog, kExclude, choices.exclude);
    click(dialog, kOverwriteFirst + choices.mode);
    if (choices.from && choices.to) {
        click(dialog, kTimeRange);
        if (!setPicker(process.id(), ::GetDlgItem(dialog, kTimeFrom), *choices.from) ||
            !setPicker(process.id(), ::GetDlgItem(dialog, kTimeTo), *choices.to)) {
            run.message = L"<the time range could not be set>";
            return run;
        }
    }
    press(dialog, kStart);
    HWND box = waitForMessageBox(process.id(), kWait);
    if (!box) return run;
    run.message = messageBoxText(box);
    press(box, IDOK);
    run.exitCode = process.wait(kWait);
    return run;
}

std::wstring listArguments(const std::vector<std::wstring>& paths)
{
    return handoff::buildCommandText(L"/L:", nullptr, paths);
}

std::vector<std::string> sorted(std::vector<std::string> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

class CompressEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(test::distFolder() + L"Sorvane.exe")) << "build the program first";
        ASSERT_TRUE(test::exists(test::distFolder() + L"UnLha32.dll")) << "build the library first";
        ASSERT_TRUE(test::exists(L"Z:\\usr\\bin\\lhasa")) << "lhasa must be installed";
        ASSERT_TRUE(test::exists(L"Z:\\usr\\bin\\7zz")) << "7zz must be installed";
        ::DeleteFileW((dataFolder() + L"Sorvane.ini").c_str());
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    }

    // The archive holds exactly `expectation`'s members, each with the
    // bytes of its file in `tree` (under `base`, relative to the tree).
    void expectArchive(const std::wstring& archive, const Tree& tree, const std::wstring& base,
                       const Expectation& expectation)
    {
        SCOPED_TRACE(narrow(archive));
        ASSERT_TRUE(test::exists(archive)) << "no archive";
        const ArchiveCheck check = checkArchive(archive);
        ASSERT_TRUE(check.ran) << check.output;
        EXPECT_EQ(check.lhasaTest, 0) << check.output;
        EXPECT_EQ(check.sevenTest, 0) << check.output;
        EXPECT_EQ(check.lhasaExtract, 0) << check.output;
        std::vector<std::string> paths, shown;
        for (const std::wstring& member : expectation.members) {
            paths.push_back(memberPath(member));
            shown.push_back(lhasaShown(memberPath(member)));
        }
        EXPECT_EQ(sorted(check.lhasaNames), sorted(shown)) << check.output;
        std::vector<std::string> sevenPaths;
        for (const auto& path : paths) sevenPaths.push_back(sevenShown(path));
        EXPECT_EQ(sorted(check.sevenNames), sorted(sevenPaths)) << check.output;
        std::vector<std::string> extracted;
        std::vector<std::string> lhasaPaths;
        for (const auto& path : paths) lhasaPaths.push_back(lhasaCase(path));
        for (const auto& entry : check.extracted) extracted.push_back(entry.first);
        EXPECT_EQ(sorted(extracted), sorted(lhasaPaths));
        for (const std::wstring& member : expectation.members) {
            const Tree::File* file = tree.findFile(base.empty() ? member : base + L"\\" + member);
            ASSERT_NE(file, nullptr) << narrow(member);
            const auto found = check.extracted.find(lhasaCase(memberPath(member)));
            if (found == check.extracted.end()) continue;
            EXPECT_EQ(found->second, file->bytes) << "content of " << narrow(member);
        }
    }
    // The paths of the selected items of `parent` (relative to src).
    std::vector<std::wstring> items(const std::wstring& parent, const std::vector<std::wstring>& names) const
    {
        std::vector<std::wstring> paths;
        for (const auto& name : names) paths.push_back((parent.empty() ? src : src + L"\\" + parent) + L"\\" + name);
        return paths;
    }
    ProgramRun run(const Tree& tree, const Selection& selection, const Choices& choices)
    {
        EXPECT_TRUE(tree.write(src));
        const std::wstring parent = selection.parent.empty() ? src : src + L"\\" + selection.parent;
        const std::wstring arguments =
            selection.wholeFolder ? L"/L:" + parent : listArguments(items(selection.parent, selection.names));
        return compressWithProgram(arguments, choices);
    }
    void expectCompleted(const ProgramRun& result, unsigned missing = 0)
    {
        EXPECT_TRUE(result.dialog) << "the operation dialog did not open";
        std::wstring expected = programText(kCompleted);
        if (missing > 0) expected += programText(kItemsMissing, std::to_wstring(missing));
        EXPECT_EQ(result.message, expected) << narrow(result.message);
        EXPECT_EQ(result.exitCode, 0u) << "a compress ends the process";
    }
    void expectFailed(const ProgramRun& result, const std::wstring& reason)
    {
        EXPECT_TRUE(result.dialog) << "the operation dialog did not open";
        EXPECT_EQ(result.message, programText(kFailed) + reason) << narrow(result.message);
        EXPECT_EQ(result.exitCode, 0u);
    }

    test::TempFolder root;
    std::wstring src = root / L"src";
    std::wstring out = root / L"out";
    std::wstring archive = out + L"\\arc.lzh";
};

// The case of the issue: a folder and a file with blanks in their names, a
// plain file, and another file of that plain name in a folder that was not
// selected.
TEST_F(CompressEndToEnd, TheIssueCase)
{
    Tree tree;
    tree.addFile(L"My Docs\\a b.txt", "a b text");
    tree.addFile(L"My Docs\\sub\\c.txt", "c text");
    tree.addFile(L"plain.txt", "the selected plain");
    tree.addFile(L"x y.txt", "x y text");
    tree.addFile(L"other\\plain.txt", "the other plain, not selected");
    Selection selection{L"", {L"My Docs", L"plain.txt", L"x y.txt"}};
    Choices choices;
    choices.archive = archive;
    const ProgramRun result = run(tree, selection, choices);
    expectCompleted(result);
    const Expectation expectation = expectedMembers(tree, selection, Filter());
    ASSERT_EQ(expectation.members.size(), 4u);
    expectArchive(archive, tree, L"", expectation);
}

TEST_F(CompressEndToEnd, NestedFoldersWithBlanks)
{
    Tree tree;
    tree.addFile(L"New Folder\\My Documents\\deep er\\file one.txt", "one");
    tree.addFile(L"New Folder\\My Documents\\two.txt", "two");
    tree.addFile(L"New Folder\\My Documents\\three.doc", "three, not text");
    tree.addFile(L"New Folder\\a.b c.txt", "dots and blanks");
    tree.addFolder(L"New Folder\\empty folder");
    tree.addFile(L"loose file.txt", "loose");
    tree.addFile(L"not selected.txt", "no");
    Selection selection{L"", {L"New Folder", L"loose file.txt"}};
    Filter filter;
    filter.patterns = L"*.txt";
    Choices choices;
    choices.archive = out + L"\\with blanks.lzh";
    choices.patterns = filter.patterns;
    expectCompleted(run(tree, selection, choices));
    expectArchive(choices.archive, tree, L"", expectedMembers(tree, selection, filter));
}

TEST_F(CompressEndToEnd, SameNameInSelectedAndUnselectedFolders)
{
    Tree tree;
    tree.addFile(L"same.txt", "top, selected");
    tree.addFile(L"A\\same.txt", "in A, selected");
    tree.addFile(L"A\\B\\same.txt", "in A\\B, selected when subfolders count");
    tree.addFile(L"B\\same.txt", "in B, never");
    tree.addFile(L"B\\A\\same.txt", "in B\\A, never");
    const Selection selection{L"", {L"same.txt", L"A"}};
    for (bool subfolders : {true, false}) {
        SCOPED_TRACE(subfolders);
        ::DeleteFileW(archive.c_str());
        Filter filter;
        filter.subfolders = subfolders;
        Choices choices;
        choices.archive = archive;
        choices.subfolders = subfolders;
        expectCompleted(run(tree, selection, choices));
        const Expectation expectation = expectedMembers(tree, selection, filter);
        EXPECT_EQ(expectation.members.size(), subfolders ? 3u : 2u);
        expectArchive(archive, tree, L"", expectation);
    }
}

TEST_F(CompressEndToEnd, PatternsWithExclusion)
{
    Tree tree;
    tree.addFile(L"Proj\\main.cpp", "int main() {}");
    tree.addFile(L"Proj\\main.h", "#pragma once");
    tree.addFile(L"Proj\\main.obj", "object");
    tree.addFile(L"Proj\\build\\out.obj", "object");
    tree.addFile(L"Proj\\build\\log.tmp", "temporary");
    tree.addFile(L"Proj\\build\\notes.md", "notes");
    tree.addFile(L"Proj\\lib\\util.cpp", "util");
    tree.addFile(L"x.tmp", "a selected file the exclusion drops");
    tree.addFile(L"keep.txt", "a selected file it keeps");
    const Selection selection{L"", {L"Proj", L"x.tmp", L"keep.txt"}};
    {
        Filter filter;
        filter.patterns = L"*.obj;*.tmp";
        filter.exclude = true;
        Choices choices;
        choices.archive = archive;
        choices.patterns = filter.patterns;
        choices.exclude = true;
        expectCompleted(run(tree, selection, choices));
        expectArchive(archive, tree, L"", expectedMembers(tree, selection, filter));
    }
    {
        ::DeleteFileW(archive.c_str());
        Filter filter;
        filter.patterns = L"*.cpp;*.h";
        filter.subfolders = false;
        Choices choices;
        choices.archive = archive;
        choices.patterns = L"C++|" + filter.patterns;
        choices.subfolders = false;
        expectCompleted(run(tree, selection, choices));
        const Expectation expectation = expectedMembers(tree, selection, filter);
        EXPECT_EQ(expectation.members.size(), 2u);
        expectArchive(archive, tree, L"", expectation);
    }
}

// Runs in its own ctest entry with TZ=Europe/Berlin: the range is local
// time, and a file's time is taken to local time by the rules of its own
// date (summer time in July, whatever the season of the run).
TEST_F(CompressEndToEnd, TimeRangeInAnotherZone)
{
    TIME_ZONE_INFORMATION zone = {};
    ::GetTimeZoneInformation(&zone);
    ASSERT_EQ(zone.Bias, -60) << "this test runs with TZ=Europe/Berlin (UTC+1, summer UTC+2)";
    ASSERT_EQ(zone.DaylightBias, -60);

    struct Stamp {
        const wchar_t* name;
        WORD month, day, hour, minute, second; // UTC
        int offsetMinutes;                     // Berlin's offset on that date
    } stamps[] = {
        {L"zone only.txt", 7, 10, 8, 30, 0, 120},   // 10:30 local: in; 08:30 UTC would be out
        {L"utc only.txt", 7, 10, 11, 30, 0, 120},   // 13:30 local: out; 11:30 UTC would be in
        {L"summer.txt", 7, 10, 10, 30, 0, 120},     // 12:30 local: out; today's winter offset would say 11:30
        {L"first second.txt", 7, 10, 8, 0, 0, 120}, // 10:00:00 local: in
        {L"too early.txt", 7, 10, 7, 59, 59, 120},  // 09:59:59 local: out
        {L"last minute.txt", 7, 10, 10, 0, 59, 120}, // 12:00:59 local: in, the whole last minute
        {L"too late.txt", 7, 10, 10, 1, 0, 120},    // 12:01:00 local: out
        {L"winter.txt", 1, 10, 9, 30, 0, 60},       // January: 10:30 local on 10 Jan, out of July's range
    };
    Tree tree;
    for (const Stamp& s : stamps) tree.addFile(std::wstring(L"Times\\") + s.name, narrow(s.name));
    ASSERT_TRUE(tree.write(src));
    for (const Stamp& s : stamps) {
        SYSTEMTIME utc = {2024, s.month, 0, s.day, s.hour, s.minute, s.second, 0};
        FILETIME time = {};
        ASSERT_TRUE(::SystemTimeToFileTime(&utc, &time));
        UniqueFile file(::CreateFileW((src + L"\\Times\\" + s.name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &time));
    }
    // 2024-07-10 10:00 to 12:00 local, as the user picks it.
    const SYSTEMTIME from = {2024, 7, 0, 10, 10, 0, 0, 0};
    const SYSTEMTIME to = {2024, 7, 0, 10, 12, 0, 0, 0};
    Filter filter;
    filter.inTimeRange = [&](const Tree::File& file) {
        for (const Stamp& s : stamps) {
            if (file.path != std::wstring(L"Times\\") + s.name) continue;
            // Local minutes since 2024-07-10 00:00, by the test's own arithmetic.
            const int dayShift = s.month == 7 ? (s.day - 10) * 24 * 60 : -1000000;
            const int local = dayShift + s.hour * 60 + s.minute + s.offsetMinutes;
            return local >= 10 * 60 && local <= 12 * 60;
        }
        return false;
    };
    const Selection selection{L"", {L"Times"}};
    Choices choices;
    choices.archive = archive;
    choices.from = &from;
    choices.to = &to;
    // The tree as it is, with its times (run() would write it anew).
    expectCompleted(compressWithProgram(listArguments(items(L"", selection.names)), choices));
    const Expectation expectation = expectedMembers(tree, selection, filter);
    EXPECT_EQ(expectation.members,
              (std::vector<std::wstring>{L"Times\\first second.txt", L"Times\\last minute.txt", L"Times\\zone only.txt"}));
    expectArchive(archive, tree, L"", expectation);
}

// The whole of a drive, mapped for the test: its root is the base folder,
// and the archive on that root is never put into itself.
TEST_F(CompressEndToEnd, DriveRoot)
{
    test::ScratchDrive drive;
    ASSERT_TRUE(drive.ready()) << "a spare drive letter must be mapped for this test: " << drive.failure();
    Tree tree;
    tree.addFile(L"top.txt", "top");
    tree.addFile(L"dir one\\in.txt", "in");
    tree.addFile(L"dir one\\deeper\\deep.doc", "deep");
    ASSERT_TRUE(tree.write(drive.folder()));
    const std::wstring onRoot = drive.root() + L"NewFile.lzh";
    const Selection selection{L"", {}, true};
    const Expectation expectation = expectedMembers(tree, selection, Filter(), L"NewFile.lzh");
    ASSERT_EQ(expectation.members.size(), 3u);
    for (int mode : {0, 2, 0}) {
        SCOPED_TRACE(mode);
        Choices choices;
        choices.archive = onRoot;
        choices.mode = mode;
        const ProgramRun result = compressWithProgram(listArguments({drive.root()}), choices);
        expectCompleted(result);
        expectArchive(drive.folder() + L"\\NewFile.lzh", tree, L"", expectation);
    }
    EXPECT_EQ(test::listFolder(drive.folder()), (std::vector<std::wstring>{L"NewFile.lzh", L"dir one", L"top.txt"}))
        << "no temporary left on the drive";
}

TEST_F(CompressEndToEnd, AllMissingAllFilteredOutPartlyMissing)
{
    ASSERT_TRUE(test::writeBytes(archive, "an archive the failed runs must not touch"));
    Tree tree;
    tree.addFile(L"here.doc", "here");
    tree.addFile(L"Folder\\in.doc", "in");

    Choices choices;
    choices.archive = archive;
    expectFailed(run(tree, Selection{L"", {L"gone.txt", L"gone folder"}}, choices), programText(kNothingExists));

    choices.patterns = L"*.txt";
    const Selection mixed{L"", {L"here.doc", L"Folder", L"gone.txt"}};
    expectFailed(run(tree, mixed, choices), programText(kNothingQualifies) + L"\n" + programText(kItemsMissing, L"1"));
    EXPECT_EQ(test::readBytes(archive), "an archive the failed runs must not touch");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));

    choices.patterns = L"*.*";
    const Selection partly{L"", {L"here.doc", L"gone 1.txt", L"Folder", L"gone 2"}};
    const ProgramRun result = run(tree, partly, choices);
    expectCompleted(result, 2);
    const Expectation expectation = expectedMembers(tree, partly, Filter());
    EXPECT_EQ(expectation.missing, 2u);
    expectArchive(archive, tree, L"", expectation);
}

// Names the ANSI code page spells (code page 1252 here, 932 in the
// Japanese entry) travel in that form; the tools read them back.
TEST_F(CompressEndToEnd, UnicodeNamesInsideTheCodePage)
{
    const bool japanese = ::GetACP() == 932;
    Tree tree;
    if (japanese) {
        // U+8868 and U+30BD end in the byte 0x5C, a backslash in ASCII.
        tree.addFile(L"\u8868\u30c6\u30b9\u30c8.txt", "hyou");
        tree.addFile(L"\u30d5\u30a9\u30eb\u30c0\\\u30bd\u30fc\u30b9 \u8868.txt", "source");
    } else {
        tree.addFile(L"caf\u00e9 cr\u00e8me.txt", "cafe");
        tree.addFile(L"\u00c4rger\\\u00d6l und \u00dfahne.txt", "oel");
    }
    tree.addFile(L"plain.txt", "plain");
    Selection selection{L"", {}, true};
    for (const auto& file : tree.files) {
        ASSERT_TRUE(ansiSpells(file.path)) << "the test's names must lie inside the code page";
    }
    Choices choices;
    choices.archive = archive;
    expectCompleted(run(tree, selection, choices));
    expectArchive(archive, tree, L"", expectedMembers(tree, selection, Filter()));
}

TEST_F(CompressEndToEnd, UnicodeNameOutsideTheCodePageFailsAndNamesIt)
{
    ASSERT_TRUE(test::writeBytes(archive, "old archive"));
    const bool japanese = ::GetACP() == 932;
    const std::wstring outside = japanese ? L"caf\u00e9.txt" : L"\u65e5\u672c \u2603.txt";
    ASSERT_FALSE(ansiSpells(outside));
    // Deep enough that the message must carry a long path to name it.
    const std::wstring deep = L"Sel\\" + std::wstring(120, L'd') + L"\\" + outside;
    Tree tree;
    tree.addFile(L"Sel\\fine.txt", "fine");
    tree.addFile(deep, "outside");
    const Selection selection{L"", {L"Sel"}};
    Choices choices;
    choices.archive = archive;
    for (int mode : {0, 2}) {
        choices.mode = mode;
        expectFailed(run(tree, selection, choices), programText(kNoAnsiName, src + L"\\" + deep));
    }
    EXPECT_EQ(test::readBytes(archive), "old archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));
    // Filtered out, the name is no obstacle.
    choices.patterns = L"fine.*";
    choices.mode = 0;
    const ProgramRun result = run(tree, selection, choices);
    expectCompleted(result);
    Filter filter;
    filter.patterns = choices.patterns;
    expectArchive(archive, tree, L"", expectedMembers(tree, selection, filter));
}

// "Create as a new Archive." replaces the old archive as a whole; "Add"
// keeps its other members.
TEST_F(CompressEndToEnd, NewArchiveReplacesTheOldOneAddKeepsIt)
{
    Tree first;
    first.addFile(L"a.txt", "a, first");
    first.addFile(L"b.txt", "b, only in the first run");
    const Selection selection{L"", {}, true};
    Choices choices;
    choices.archive = archive;
    expectCompleted(run(first, selection, choices));
    expectArchive(archive, first, L"", expectedMembers(first, selection, Filter()));

    ASSERT_TRUE(::DeleteFileW((src + L"\\b.txt").c_str()));
    Tree second;
    second.addFile(L"a.txt", "a, second");
    second.addFile(L"c.txt", "c, new");
    choices.mode = 2; // "Add source files to Archive."
    expectCompleted(run(second, selection, choices));
    Tree both = second;
    both.addFile(L"b.txt", "b, only in the first run");
    Expectation added = expectedMembers(both, selection, Filter());
    expectArchive(archive, both, L"", added);

    choices.mode = 0;
    expectCompleted(run(second, selection, choices));
    expectArchive(archive, second, L"", expectedMembers(second, selection, Filter()));
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"})) << "no temporary, no .old file";
}

// A file the library cannot read: its own account reaches the user, and
// the old archive stays as it was.
TEST_F(CompressEndToEnd, LibraryFailureReachesTheUser)
{
    ASSERT_TRUE(test::writeBytes(archive, "old archive"));
    Tree tree;
    tree.addFile(L"free.txt", "free");
    tree.addFile(L"locked.txt", "locked");
    ASSERT_TRUE(tree.write(src));
    UniqueFile lock(::CreateFileW((src + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    Choices choices;
    choices.archive = archive;
    const ProgramRun result = compressWithProgram(L"/L:" + src, choices);
    EXPECT_EQ(result.message.rfind(programText(kFailed) + programText(kLibraryReported, L""), 0), 0u)
        << narrow(result.message);
    EXPECT_NE(result.message.find(L"locked.txt"), std::wstring::npos) << narrow(result.message);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(test::readBytes(archive), "old archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));
}

// The program killed at moments spread over a run of "Create as a new
// Archive.": the archive is always the old one or the complete new one,
// never gone, never half written, and no ".old" file appears.
TEST_F(CompressEndToEnd, KilledAtAnyMomentTheArchiveIsOldOrNew)
{
    Tree before;
    before.addFile(L"old member.txt", "the old archive's member");
    const Selection whole{L"", {}, true};
    Choices choices;
    choices.archive = archive;
    expectCompleted(run(before, whole, choices));
    const std::string oldBytes = test::readBytes(archive);
    ASSERT_FALSE(oldBytes.empty());
    ASSERT_TRUE(::DeleteFileW((src + L"\\old member.txt").c_str()));

    Tree big;
    std::string noise;
    unsigned value = 12345;
    for (int file = 0; file < 4; ++file) {
        noise.clear();
        for (int i = 0; i < 1500000; ++i) {
            value = value * 1103515245u + 12345u;
            noise += static_cast<char>(value >> 24);
        }
        big.addFile(L"big " + std::to_wstring(file) + L".bin", noise);
    }
    ASSERT_TRUE(big.write(src));
    const Expectation expectation = expectedMembers(big, whole, Filter());
    int keptOld = 0;
    int madeNew = 0;
    for (DWORD delay : {0u, 100u, 300u, 600u, 1000u, 1600u, 2500u, 4000u, 8000u}) {
        SCOPED_TRACE(delay);
        {
            test::ChildProcess process;
            ASSERT_TRUE(process.start(test::distFolder() + L"Sorvane.exe", L"/L:" + src));
            HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
            ASSERT_NE(dialog, nullptr);
            setControlText(dialog, kTarget, archive);
            typePatterns(dialog, L"*.*");
            click(dialog, kOverwriteFirst);
            press(dialog, kStart);
            ::Sleep(delay);
        } // killed here, wherever it is
        ASSERT_TRUE(test::exists(archive)) << "the archive is gone";
        if (test::readBytes(archive) == oldBytes) {
            ++keptOld;
        } else {
            ++madeNew;
            expectArchive(archive, big, L"", expectation);
            ASSERT_TRUE(test::writeBytes(archive, oldBytes));
        }
        for (const std::wstring& name : test::listFolder(out)) {
            EXPECT_EQ(name.find(L".old"), std::wstring::npos) << narrow(name);
        }
    }
    std::printf("killed runs: %d kept the old archive, %d left the new one\n", keptOld, madeNew);
    EXPECT_GT(keptOld, 0) << "some kill must fall within a run";
}

// The names in the archive's folder that are no archive: temporaries of
// the program ("~sorvane-*") and of the archiver library ("lzh-*").
std::vector<std::wstring> temporariesIn(const std::wstring& folder)
{
    std::vector<std::wstring> found;
    for (const std::wstring& name : test::listFolder(folder)) {
        if (name.rfind(L"~sorvane-", 0) == 0 || name.rfind(L"lzh-", 0) == 0) found.push_back(name);
    }
    return found;
}

// Killed at a moment when the archiver library's own temporary is there:
// the archive is the old or the complete new one, and the next run, which
// goes to its end, leaves no temporary of either kind behind.
TEST_F(CompressEndToEnd, AKillWhileTheLibraryWritesLeavesNoTemporaryForTheNextRun)
{
    Tree before;
    before.addFile(L"old member.txt", "the old archive's member");
    const Selection whole{L"", {}, true};
    Choices choices;
    choices.archive = archive;
    expectCompleted(run(before, whole, choices));
    const std::string oldBytes = test::readBytes(archive);
    ASSERT_TRUE(::DeleteFileW((src + L"\\old member.txt").c_str()));

    Tree big;
    std::string noise;
    unsigned value = 777;
    for (int file = 0; file < 6; ++file) {
        noise.clear();
        for (int i = 0; i < 1500000; ++i) {
            value = value * 1103515245u + 12345u;
            noise += static_cast<char>(value >> 24);
        }
        big.addFile(L"big " + std::to_wstring(file) + L".bin", noise);
    }
    ASSERT_TRUE(big.write(src));
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        {
            test::ChildProcess process;
            ASSERT_TRUE(process.start(test::distFolder() + L"Sorvane.exe", L"/L:" + src));
            HWND dialog = waitForDialog(process.id(), kPatterns, kWait);
            ASSERT_NE(dialog, nullptr);
            setControlText(dialog, kTarget, archive);
            typePatterns(dialog, L"*.*");
            click(dialog, kOverwriteFirst);
            press(dialog, kStart);
            WIN32_FIND_DATAW found;
            for (DWORD waited = 0; waited < kWait && process.wait(0) == STILL_ACTIVE; ++waited) {
                UniqueFind find(::FindFirstFileW((out + L"\\lzh-*.tmp").c_str(), &found));
                if (find) break;
                ::Sleep(1);
            }
        } // killed here, while the library writes (or after the run, when it was too quick)
        const std::vector<std::wstring> left = temporariesIn(out);
        caught = std::any_of(left.begin(), left.end(), [](const std::wstring& name) { return name.rfind(L"lzh-", 0) == 0; });
        ASSERT_TRUE(test::exists(archive)) << "the archive is gone";
        if (test::readBytes(archive) != oldBytes) {
            expectArchive(archive, big, L"", expectedMembers(big, whole, Filter()));
            ASSERT_TRUE(test::writeBytes(archive, oldBytes));
        }
    }
    ASSERT_TRUE(caught) << "no kill fell while the library's temporary was there";

    // The next run sweeps what the killed one left, and leaves nothing itself.
    expectCompleted(compressWithProgram(L"/L:" + src, choices));
    EXPECT_EQ(temporariesIn(out), std::vector<std::wstring>{});
    EXPECT_EQ(test::listFolder(out), std::vector<std::wstring>{L"arc.lzh"});
    expectArchive(archive, big, L"", expectedMembers(big, whole, Filter()));
}

TEST_F(CompressEndToEnd, ReadOnlyArchiveIsLeftAlone)
{
    ASSERT_TRUE(test::writeBytes(archive, "read-only archive"));
    ASSERT_TRUE(::SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_READONLY));
    Tree tree;
    tree.addFile(L"a.txt", "a");
    Choices choices;
    choices.archive = archive;
    expectFailed(run(tree, Selection{L"", {L"a.txt"}}, choices), programText(kReadOnly, archive));
    EXPECT_EQ(test::readBytes(archive), "read-only archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));
    ::SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
