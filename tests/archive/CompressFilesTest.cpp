// The compress operation against a recording stand-in of the archiver
// library: the list of files it hands over (chosen by the engine's walk,
// relative to the base folder, quoted where needed), the command lines,
// the archive modes with the new archive put in place only when complete,
// the self-extract step, acquiring the library, and every outcome that
// calls no library at all.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UnixSide.h"
#include "archive/ArchiverCommand.h"
#include "archive/CompressFiles.h"
#include "archive/CompressSelection.h"
#include "archive/LhaLibrary.h"
#include "base/Strings.h"
#include "engine/FileTreeSetting.h"
#include "engine/Temporaries.h"
#include "res/SorvaneRes.h"
#include "common/Raii.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

int g_prompts = 0;
void countPrompt() { ++g_prompts; }

std::string ansi(const std::wstring& text) { return compress::toAnsi(text); }
bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The words of a command line or response file as written, quotes kept.
std::vector<std::string> rawWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == ' ' && !quoted) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}
std::multiset<std::string> wordSet(const std::string& text)
{
    const auto words = rawWords(text);
    return std::multiset<std::string>(words.begin(), words.end());
}
std::string unquoted(const std::string& word)
{
    return word.size() >= 2 && word.front() == '"' && word.back() == '"' ? word.substr(1, word.size() - 2) : word;
}

void setLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
    SYSTEMTIME utc = {};
    ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    FILETIME time = {};
    ASSERT_TRUE(::SystemTimeToFileTime(&utc, &time));
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &time));
    ::CloseHandle(file);
}

struct Call {
    std::string command;
    std::string response;
    std::string archiveSeen; // "1" or "0" when watched
};

class Compress : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_prompts = 0;
        previousPrompt = LhaLibrary::setDownloadPrompt(countPrompt);
        ASSERT_TRUE(::CreateDirectoryW(libraryFolder.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
        ASSERT_TRUE(::CopyFileW((test::programFolder() + L"unlha_recorder.dll").c_str(),
                                (libraryFolder + L"\\UnLha32.dll").c_str(), FALSE));
        LhaLibrary::setSearchFolder((libraryFolder + L"\\").c_str());
        for (const char* name : {"SORVANE_RECORDER_VERSION", "SORVANE_RECORDER_RESULT", "SORVANE_RECORDER_WATCH",
                                 "SORVANE_RECORDER_LITTER", "SORVANE_RECORDER_WRITE", "SORVANE_RECORDER_OUTPUT"}) {
            ::SetEnvironmentVariableA(name, nullptr);
        }
        // A library that reports success has written what it was told to.
        ::SetEnvironmentVariableA("SORVANE_RECORDER_WRITE", "1");
        settings.operation = kOperationCompress;
        settings.includeSubfolders = 1;
        settings.setPatterns(L"*.*");
        settings.setTarget(archive.c_str());
    }
    void TearDown() override
    {
        LhaLibrary::setSearchFolder(nullptr);
        LhaLibrary::setDownloadPrompt(previousPrompt);
    }

    void file(const std::wstring& relative, const std::string& bytes = "x")
    {
        const std::wstring path = data / relative;
        for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1)) {
            ::CreateDirectoryW((data / relative.substr(0, slash)).c_str(), nullptr);
        }
        ASSERT_TRUE(test::writeBytes(path, bytes)) << ansi(path);
    }
    // "data\;a;b;" for names in the data folder.
    void select(const std::vector<std::wstring>& names)
    {
        std::wstring list = data.path() + L"\\;";
        for (const auto& name : names) list += name + L";";
        settings.setSources(list.c_str());
    }

    int run(std::wstring* messageOut = nullptr)
    {
        wchar_t message[256] = {};
        const int result = CompressFiles(settings, message, 256);
        if (messageOut) *messageOut = message;
        return result;
    }
    // The calls the stand-in saw, in order.
    std::vector<Call> calls() const
    {
        std::vector<Call> list;
        const std::string text = test::readBytes(libraryFolder + L"\\calls.log");
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = text.substr(start, end - start);
            if (startsWith(line, "CMD:")) list.push_back({line.substr(4), "", ""});
            else if (startsWith(line, "RSP:") && !list.empty()) list.back().response = line.substr(4);
            else if (startsWith(line, "ARCHIVE:") && !list.empty()) list.back().archiveSeen = line.substr(8);
        }
        return list;
    }
    void forgetCalls() const { ::DeleteFileW((libraryFolder + L"\\calls.log").c_str()); }
    // The archive the first word after the command word names.
    static std::string archiveOf(const Call& call) { return unquoted(rawWords(call.command).at(1)); }

    test::TempFolder root;
    std::wstring libraryFolder = root / L"lib";
    std::wstring out = root / L"Out Dir";
    std::wstring archive = out + L"\\arc.lzh";
    test::TempFolder data;
    FILE_TREE_SETTING settings;
    LhaLibrary::DownloadPrompt previousPrompt = nullptr;
};

// The case of the issue: a folder and two files with blanks, a plain file,
// and the same plain name in a folder that was not selected.
TEST_F(Compress, SelectedItemsWithBlanksAndNothingElse)
{
    file(L"My Docs\\a b.txt");
    file(L"My Docs\\sub\\c.txt");
    file(L"plain.txt");
    file(L"x y.txt");
    file(L"other\\plain.txt");
    file(L"not selected.txt");
    select({L"My Docs", L"plain.txt", L"x y.txt"});
    std::wstring message;
    ASSERT_EQ(run(&message), 1) << ansi(message);
    EXPECT_EQ(message, L"");

    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    const auto words = rawWords(list[0].command);
    ASSERT_EQ(words.size(), 5u) << list[0].command;
    EXPECT_EQ(words[0], "a");
    // The new archive is made beside the old place, under a name of its own.
    const std::string made = unquoted(words[1]);
    EXPECT_TRUE(startsWith(made, ansi(out) + "\\~sorvane-")) << made;
    EXPECT_EQ(words[2], ansi(data.path()) + "\\") << "the folder that holds the selection";
    EXPECT_EQ(words[3], "-x1") << "no -r1, no patterns, no time switches";
    EXPECT_TRUE(startsWith(words[4], "@"));
    EXPECT_EQ(wordSet(list[0].response),
              (std::multiset<std::string>{"\"My Docs\\a b.txt\"", "\"My Docs\\sub\\c.txt\"", "plain.txt", "\"x y.txt\""}))
        << list[0].response;
    EXPECT_EQ(list[0].response.back(), ' ');

    EXPECT_EQ(test::readBytes(archive), "new archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"})) << "no temporary, no .old file";
    const std::string response = words[4].substr(1);
    EXPECT_FALSE(test::exists(std::wstring(response.begin(), response.end()))) << "the response file is removed";
}

// The walk's filter decides, exactly as for a copy: patterns, exclusion,
// "Include subfolders", and selected files named by themselves.
TEST_F(Compress, PatternsExclusionAndSubfolders)
{
    file(L"Sel\\keep.txt");
    file(L"Sel\\drop.doc");
    file(L"Sel\\deep\\inner.txt");
    file(L"Sel\\deep\\inner.doc");
    file(L"top.doc");
    file(L"top.txt");
    struct Case {
        const wchar_t* patterns;
        bool exclude;
        bool subfolders;
        std::multiset<std::string> expected;
    } cases[] = {
        {L"*.txt", false, true, {"Sel\\keep.txt", "Sel\\deep\\inner.txt", "top.txt"}},
        {L"*.txt", true, true, {"Sel\\drop.doc", "Sel\\deep\\inner.doc", "top.doc"}},
        {L"*.txt", false, false, {"Sel\\keep.txt", "top.txt"}},
        {L"*.doc;*.txt", false, false, {"Sel\\keep.txt", "Sel\\drop.doc", "top.doc", "top.txt"}},
        {L"INNER.*", false, true, {"Sel\\deep\\inner.txt", "Sel\\deep\\inner.doc"}},
    };
    select({L"Sel", L"top.doc", L"top.txt"});
    for (const Case& c : cases) {
        SCOPED_TRACE(ansi(c.patterns));
        forgetCalls();
        settings.setPatterns(c.patterns);
        settings.excludePatterns = c.exclude ? 1 : 0;
        settings.includeSubfolders = c.subfolders ? 1 : 0;
        ASSERT_EQ(run(), 1);
        const auto list = calls();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(wordSet(list[0].response), c.expected) << list[0].response;
        EXPECT_EQ(list[0].command.find("-r1"), std::string::npos);
        EXPECT_EQ(list[0].command.find("-jx"), std::string::npos);
    }
}

TEST_F(Compress, NamesThatLookLikeSwitchesOrResponseFilesAreQuoted)
{
    file(L"-r1.txt");
    file(L"@list.txt");
    file(L"dir\\-x0 two.txt");
    settings.setSources(data.path().c_str()); // the folder alone: its content
    ASSERT_EQ(run(), 1);
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(wordSet(list[0].response),
              (std::multiset<std::string>{"\"-r1.txt\"", "\"@list.txt\"", "\"dir\\-x0 two.txt\""}));
    EXPECT_EQ(rawWords(list[0].command).at(2), ansi(data.path()) + "\\");
}

TEST_F(Compress, NothingToCompressCallsNoLibraryAndLeavesTheArchive)
{
    ASSERT_TRUE(test::writeBytes(archive, "old archive"));
    file(L"a.doc");
    std::wstring message;

    select({L"gone1", L"gone2"});
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, loadString(IDS_COMPRESS_NOTHING_EXISTS));

    settings.setSources((data / L"no such folder").c_str());
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, loadString(IDS_COMPRESS_NOTHING_EXISTS));

    select({L"a.doc", L"gone"});
    settings.setPatterns(L"*.txt");
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message,
              loadString(IDS_COMPRESS_NOTHING_QUALIFIES) + L"\n" + formatNumber(IDS_COMPRESS_ITEMS_MISSING, 1));

    settings.excludePatterns = 1;
    settings.setPatterns(L"*.doc");
    settings.setSources(data.path().c_str());
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, loadString(IDS_COMPRESS_NOTHING_QUALIFIES));

    EXPECT_TRUE(calls().empty()) << "the library was never called";
    EXPECT_EQ(test::readBytes(archive), "old archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));
}

TEST_F(Compress, PartlyMissingSelectionArchivesWhatExistsAndSaysSo)
{
    file(L"here.txt");
    file(L"Folder\\in.txt");
    select({L"gone.txt", L"here.txt", L"Folder", L"gone folder"});
    std::wstring message;
    ASSERT_EQ(run(&message), 1);
    EXPECT_EQ(message, formatNumber(IDS_COMPRESS_ITEMS_MISSING, 2));
    EXPECT_EQ(message, L"2 of the selected items did not exist; they are not in the archive.");
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(wordSet(list[0].response), (std::multiset<std::string>{"here.txt", "Folder\\in.txt"}));
}

// A selected link (Wine shows a Unix link to a folder as a reparse point) is
// skipped as a copy skips it: nothing behind it is archived, the run goes on
// and the message says so.
TEST_F(Compress, SelectedLinksAreSkippedAndNamedInTheMessage)
{
    file(L"here.txt");
    test::TempFolder elsewhere;
    ASSERT_TRUE(test::writeBytes(elsewhere / L"behind.txt", "not selected"));
    const std::string from = test::unixPathOf(elsewhere.path());
    const std::string to = test::unixPathOf(data.path()) + "/link";
    ASSERT_FALSE(from.empty());
    test::ShellResult made;
    ASSERT_TRUE(test::runShell("ln -sT " + test::shellQuoted(from) + " " + test::shellQuoted(to), made));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const DWORD attributes = ::GetFileAttributesW((data / L"link").c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the link must look like one";

    select({L"link", L"here.txt"});
    std::wstring message;
    const int result = run(&message);
    test::ShellResult removed;
    test::runShell("rm -f " + test::shellQuoted(to), removed); // the link goes first, the folders after
    ASSERT_EQ(result, 1) << ansi(message);
    EXPECT_EQ(message, formatNumber(IDS_COMPRESS_LINKS_SKIPPED, 1));
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(wordSet(list[0].response), (std::multiset<std::string>{"here.txt"}));

    // Only links: nothing to compress, and the message says why.
    forgetCalls();
    ASSERT_TRUE(test::runShell("ln -sT " + test::shellQuoted(from) + " " + test::shellQuoted(to), made));
    select({L"link"});
    const int onlyLinks = run(&message);
    test::runShell("rm -f " + test::shellQuoted(to), removed);
    EXPECT_EQ(onlyLinks, 0);
    EXPECT_NE(message.find(formatNumber(IDS_COMPRESS_LINKS_SKIPPED, 1)), std::wstring::npos) << ansi(message);
    EXPECT_TRUE(calls().empty()) << "no library call";
}

// What a folder of the selection holds but an archive would not: a link
// inside it, a subfolder that cannot be listed. The archive is not made,
// the old one stays, and the message names the first such item; the
// library is not even loaded. A name listed twice is archived once.
TEST_F(Compress, LinksAndUnlistableFoldersInsideTheSelectionLeaveTheArchiveAsItIs)
{
    ASSERT_TRUE(test::writeBytes(archive, "old archive"));
    file(L"docs\\a.txt");
    file(L"docs\\closed\\b.txt");
    file(L"top.txt");
    test::TempFolder elsewhere;
    const std::string to = test::unixPathOf(data / L"docs") + "/away";
    test::ShellResult made;
    ASSERT_TRUE(test::runShell("ln -sT " + test::shellQuoted(test::unixPathOf(elsewhere.path())) + " " +
                               test::shellQuoted(to), made));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    select({L"docs", L"top.txt"});
    std::wstring message;
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, formatString(IDS_COMPRESS_LINK_INSIDE, (data / L"docs\\away").c_str())) << ansi(message);
    test::ShellResult removed;
    test::runShell("rm -f " + test::shellQuoted(to), removed);

    {
        UniqueFile holder(::CreateFileW((data / L"docs\\closed").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(run(&message), 0);
    }
    EXPECT_EQ(message.rfind(formatString(IDS_COMPRESS_FOLDER_NOT_LISTED, (data / L"docs\\closed").c_str()) + L"\n", 0), 0u)
        << ansi(message);
    EXPECT_TRUE(calls().empty()) << "the library was never called";
    EXPECT_EQ(test::readBytes(archive), "old archive");

    select({L"top.txt", L"top.txt", L"docs"});
    ASSERT_EQ(run(&message), 1) << ansi(message);
    EXPECT_EQ(message, L"") << "nothing missing: one item named twice";
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(wordSet(list[0].response), (std::multiset<std::string>{"top.txt", "docs\\a.txt", "docs\\closed\\b.txt"}));
}

TEST_F(Compress, ElementsThatAreNoItemNamesAndEmptySelections)
{
    file(L"a.txt");
    std::wstring message;
    select({L"a.txt", L"..\\escape"});
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, formatString(IDS_COMPRESS_NOT_A_NAME, (data / L"..\\escape").c_str()));
    select({L"a.txt", L"*.txt"});
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, formatString(IDS_COMPRESS_NOT_A_NAME, (data / L"*.txt").c_str()));
    for (const std::wstring& list : {std::wstring(), std::wstring(L";a.txt;"), data.path() + L"\\;;"}) {
        settings.setSources(list.c_str());
        EXPECT_EQ(run(&message), 0) << ansi(list);
        EXPECT_EQ(message, loadString(IDS_COMPRESS_NOTHING_SELECTED));
    }
    settings.setSources(data.path().c_str());
    settings.setTarget(L"  ");
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, loadString(IDS_COMPRESS_NO_ARCHIVE_NAME));
    // An archive name without its drive would land wherever the program runs.
    for (const wchar_t* name : {L"\\NewFile.lzh", L"Data.lzh", L"C:Data.lzh"}) {
        settings.setTarget(name);
        EXPECT_EQ(run(&message), 0);
        EXPECT_EQ(message, formatString(IDS_COMPRESS_ARCHIVE_NOT_FULL_PATH, name));
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(Compress, NewArchiveTakesTheOldOnesPlaceOnlyWhenComplete)
{
    file(L"a.txt");
    select({L"a.txt"});
    ASSERT_TRUE(test::writeBytes(archive, "precious old archive"));
    ::SetEnvironmentVariableW(L"SORVANE_RECORDER_WATCH", archive.c_str());

    // The library fails after writing part of what it was told to write.
    ::SetEnvironmentVariableA("SORVANE_RECORDER_RESULT", "32773");
    ::SetEnvironmentVariableA("SORVANE_RECORDER_LITTER", "1");
    ::SetEnvironmentVariableA("SORVANE_RECORDER_OUTPUT", "cannot write the archive");
    std::wstring message;
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"The archiver library reported: cannot write the archive");
    auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].archiveSeen, "1") << "the old archive stays while the library works";
    EXPECT_NE(archiveOf(list[0]), ansi(archive));
    EXPECT_EQ(test::readBytes(archive), "precious old archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"})) << "the half-made archive is gone";

    // Without words from the library, its code.
    ::SetEnvironmentVariableA("SORVANE_RECORDER_OUTPUT", nullptr);
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"The archiver library failed with error 32773.");

    // A library that says it succeeded but made nothing.
    ::SetEnvironmentVariableA("SORVANE_RECORDER_RESULT", nullptr);
    ::SetEnvironmentVariableA("SORVANE_RECORDER_LITTER", nullptr);
    ::SetEnvironmentVariableA("SORVANE_RECORDER_WRITE", nullptr);
    EXPECT_EQ(run(&message), 0);
    EXPECT_TRUE(startsWith(ansi(message), ansi(formatString(IDS_COMPRESS_ARCHIVE_NOT_REPLACED, archive.c_str()))))
        << ansi(message);
    EXPECT_EQ(test::readBytes(archive), "precious old archive");

    // Success: the new one in place, nothing else left.
    ::SetEnvironmentVariableA("SORVANE_RECORDER_WRITE", "1");
    forgetCalls();
    EXPECT_EQ(run(&message), 1);
    list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].archiveSeen, "1");
    EXPECT_EQ(test::readBytes(archive), "new archive");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));
}

// A killed run leaves its temporary beside the archive; the next run clears
// it (its process is gone) before it chooses the files, so it never enters
// an archive of that folder. A name that only looks similar is a user's file.
TEST_F(Compress, TemporariesOfKilledRunsBesideTheArchiveAreClearedFirst)
{
    file(L"a.txt");
    file(L"~sorvane-7ffffff0-1-0.tmp", "half an archive"); // no process has that id
    file(L"lzh-7ffffff0-1-0.tmp", "half an archive of the library's");
    file(L"~sorvane-notours.tmp", "a user's file");
    file(L"lzh12.tmp", "a user's file of an old name");
    // The library's temporary of a run that is still going (this process).
    wchar_t live[64];
    std::swprintf(live, 64, L"lzh-%lx-%llx-5.tmp", static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long long>(currentProcessStartTime()));
    file(live, "being written");
    settings.setSources(data.path().c_str());
    const std::wstring inside = data / L"arc.lzh";
    settings.setTarget(inside.c_str());
    std::wstring message;
    ASSERT_EQ(run(&message), 1) << ansi(message);
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(wordSet(list[0].response),
              (std::multiset<std::string>{"a.txt", "~sorvane-notours.tmp", "lzh12.tmp"}))
        << "temporaries, dead or alive, never go into an archive";
    EXPECT_FALSE(test::exists(data / L"~sorvane-7ffffff0-1-0.tmp"));
    EXPECT_FALSE(test::exists(data / L"lzh-7ffffff0-1-0.tmp"));
    EXPECT_EQ(test::readBytes(data / live), "being written") << "a live run's temporary stays";
    EXPECT_EQ(test::readBytes(data / L"~sorvane-notours.tmp"), "a user's file");
    EXPECT_EQ(test::readBytes(data / L"lzh12.tmp"), "a user's file of an old name");
}

TEST_F(Compress, ReadOnlyArchiveAndFolderOfItsNameAreLeftAlone)
{
    file(L"a.txt");
    select({L"a.txt"});
    ASSERT_TRUE(test::writeBytes(archive, "read-only archive"));
    ASSERT_TRUE(::SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring message;
    for (unsigned mode : {0u, 1u, 2u}) {
        settings.overwrite = mode;
        EXPECT_EQ(run(&message), 0);
        EXPECT_EQ(message, formatString(IDS_COMPRESS_ARCHIVE_READ_ONLY, archive.c_str()));
    }
    EXPECT_EQ(test::readBytes(archive), "read-only archive");
    ::SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(::DeleteFileW(archive.c_str()));

    ASSERT_TRUE(::CreateDirectoryW(archive.c_str(), nullptr));
    settings.overwrite = 0;
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, formatString(IDS_COMPRESS_ARCHIVE_IS_FOLDER, archive.c_str()));
    EXPECT_TRUE(test::listFolder(archive).empty());
    EXPECT_TRUE(calls().empty());
}

TEST_F(Compress, AddModesUpdateTheArchiveItself)
{
    file(L"a.txt");
    select({L"a.txt"});
    settings.overwrite = 1; // newer only, archive missing: "a"
    ASSERT_EQ(run(), 1);
    ASSERT_TRUE(test::writeBytes(archive, "old archive"));
    ASSERT_EQ(run(), 1); // now it exists: "u"
    settings.overwrite = 2; // add: always "a"
    ASSERT_EQ(run(), 1);
    const auto list = calls();
    ASSERT_EQ(list.size(), 3u);
    const char* words[] = {"a", "u", "a"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rawWords(list[i].command).at(0), words[i]);
        EXPECT_EQ(archiveOf(list[i]), ansi(archive)) << "updated where it is";
    }
    EXPECT_EQ(test::listFolder(out), (std::vector<std::wstring>{L"arc.lzh"}));
}

TEST_F(Compress, TheArchiveInsideTheSelectionIsNeverInIt)
{
    file(L"a.txt");
    file(L"sub\\b.txt");
    archive = data / L"sub\\inside.lzh";
    settings.setTarget(archive.c_str());
    ASSERT_TRUE(test::writeBytes(archive, "old"));
    settings.setSources(data.path().c_str());
    for (unsigned mode : {0u, 1u, 2u}) {
        forgetCalls();
        settings.overwrite = mode;
        ASSERT_EQ(run(), 1);
        const auto list = calls();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(wordSet(list[0].response), (std::multiset<std::string>{"a.txt", "sub\\b.txt"})) << mode;
    }
    // Selected by name, it is still left out.
    forgetCalls();
    select({L"a.txt", L"sub"});
    settings.setTarget((data.path() + L"\\sub\\..\\sub\\INSIDE.LZH").c_str());
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(wordSet(calls().at(0).response), (std::multiset<std::string>{"a.txt", "sub\\b.txt"}));
}

TEST_F(Compress, TimeRangeIsLocalTimeToTheMinute)
{
    // From 08:07:33 to 09:00:00 local: the whole minutes 08:07 to 09:00.
    const struct {
        const wchar_t* name;
        WORD day, hour, minute, second;
        bool in;
    } files[] = {
        {L"before.txt", 5, 8, 6, 59, false}, {L"first.txt", 5, 8, 7, 0, true},  {L"middle.txt", 5, 20, 0, 0, true},
        {L"last.txt", 6, 9, 0, 59, true},    {L"after.txt", 6, 9, 1, 0, false},
    };
    std::multiset<std::string> expected;
    for (const auto& f : files) {
        file(f.name);
        setLocalWriteTime(data / f.name, 2024, 3, f.day, f.hour, f.minute, f.second);
        if (f.in) expected.insert(ansi(f.name));
    }
    settings.setSources(data.path().c_str());
    settings.timeMode = 1;
    SYSTEMTIME from = {2024, 3, 0, 5, 8, 7, 33, 0};
    SYSTEMTIME to = {2024, 3, 0, 6, 9, 0, 0, 0};
    ASSERT_TRUE(::SystemTimeToFileTime(&from, &settings.timeFrom));
    ASSERT_TRUE(::SystemTimeToFileTime(&to, &settings.timeTo));
    settings.sizeClass = 3; // the archive option bits; as a size class ("1 MB and more") it would drop every file
    ASSERT_EQ(run(), 1);
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(wordSet(list[0].response), expected);
    EXPECT_EQ(list[0].command.find("-jo"), std::string::npos);
}

TEST_F(Compress, DriveRootIsTheBaseAndItsArchiveStaysOut)
{
    test::ScratchDrive drive;
    ASSERT_TRUE(drive.ready()) << "a drive letter must be mapped for this test: " << drive.failure();
    ASSERT_TRUE(test::writeBytes(drive.folder() + L"\\top.txt", "t"));
    ASSERT_TRUE(::CreateDirectoryW((drive.folder() + L"\\dir").c_str(), nullptr));
    ASSERT_TRUE(test::writeBytes(drive.folder() + L"\\dir\\in.txt", "i"));
    // The archive proposed for a drive root lies on that root.
    archive = drive.root() + L"drive.lzh";
    ASSERT_TRUE(test::writeBytes(archive, "old"));
    settings.setTarget(archive.c_str());
    settings.overwrite = 2;
    for (const std::wstring suffix : {L";", L";;"}) {
        forgetCalls();
        settings.setSources((drive.root() + suffix).c_str());
        ASSERT_EQ(run(), 1) << ansi(suffix);
        const auto list = calls();
        ASSERT_EQ(list.size(), 1u);
        const auto words = rawWords(list[0].command);
        EXPECT_EQ(words.at(2), ansi(drive.root())) << "the root itself is the base";
        EXPECT_EQ(wordSet(list[0].response), (std::multiset<std::string>{"top.txt", "dir\\in.txt"}));
    }
}

TEST_F(Compress, SelfExtractFromAnExeTarget)
{
    file(L"a.txt");
    select({L"a.txt"});
    settings.setTarget((out + L"\\Data.EXE").c_str());
    settings.sizeLimitIsMaximum = 1;
    settings.sizeClass = 3; // English, no dialog
    settings.overwrite = 2;
    ASSERT_EQ(run(), 1);
    auto list = calls();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(archiveOf(list[0]), ansi(out) + "\\Data.lzh");
    EXPECT_EQ(list[1].command, "s -gwe2 \"" + ansi(out) + "\\Data.lzh\" " + ansi(out) + "\\");

    // A failed archive step makes no self-extractor.
    forgetCalls();
    ::SetEnvironmentVariableA("SORVANE_RECORDER_RESULT", "3");
    settings.sizeClass = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(calls().size(), 1u);
}

TEST_F(Compress, AcquiringTheLibrary)
{
    file(L"a.txt");
    settings.setSources(data.path().c_str());
    std::wstring message;
    ::SetEnvironmentVariableA("SORVANE_RECORDER_VERSION", "64");
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"The version of the unlha32.dll is too old!");
    ::SetEnvironmentVariableA("SORVANE_RECORDER_VERSION", "65");
    EXPECT_EQ(run(&message), 1);
    EXPECT_EQ(message, L"");
    EXPECT_EQ(g_prompts, 0);

    ::DeleteFileW((libraryFolder + L"\\UnLha32.dll").c_str());
    EXPECT_EQ(run(&message), 0);
    EXPECT_EQ(message, L"Please install the unlha32.dll in your system!");
    EXPECT_EQ(g_prompts, 1) << "the download dialog once per operation";

    settings.operation = kOperationCopy;
    EXPECT_EQ(run(&message), 0) << "only a compress operation compresses";
    EXPECT_EQ(g_prompts, 1);
}

// Names in and out of the ANSI code page (1252 here, 932 in the Japanese
// entry of this program).
class CompressNames : public Compress {};

TEST_F(CompressNames, NameOutsideTheCodePageFailsAndNamesTheFile)
{
    const bool japanese = ::GetACP() == 932;
    // A snowman has no form in either; a full-width letter in 1252 and an
    // accented one in 932 only a best-fit look-alike.
    std::vector<std::wstring> outside = {L"snow\u2603.txt", japanese ? L"caf\u00e9.txt" : L"\uFF41wide.txt"};
    file(L"plain.txt");
    for (const std::wstring& name : outside) {
        SCOPED_TRACE(ansi(name));
        forgetCalls();
        file(L"Sel\\" + name);
        select({L"plain.txt", L"Sel"});
        std::wstring message;
        EXPECT_EQ(run(&message), 0);
        EXPECT_EQ(message, formatString(IDS_COMPRESS_NO_ANSI_NAME, (data / L"Sel\\" + name).c_str()));
        EXPECT_TRUE(calls().empty()) << "never a wildcard, never a skipped file";
        ASSERT_TRUE(::DeleteFileW((data / L"Sel\\" + name).c_str()));
    }
}

TEST_F(CompressNames, NameInsideTheCodePageTravelsInItsAnsiForm)
{
    const bool japanese = ::GetACP() == 932;
    // In 932 the second character of U+8868 is the byte 0x5C, a backslash.
    const std::wstring name = japanese ? L"\u8868\u30c6 \u30b9\u30c8.txt" : L"caf\u00e9 cr\u00e8me.txt";
    const std::string expected = japanese ? "\"\x95\x5c\x83\x65 \x83\x58\x83\x67.txt\"" : "\"caf\xe9 cr\xe8me.txt\"";
    file(name);
    select({name});
    ASSERT_EQ(run(), 1);
    const auto list = calls();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].response, expected + " ");
}

TEST(CompressTexts, ArchiveNamesAndQuoting)
{
    EXPECT_EQ(compress::archiveName(L"D:\\Out\\Data"), L"D:\\Out\\Data.lzh");
    EXPECT_EQ(compress::archiveName(L"D:\\Out\\Data.EXE"), L"D:\\Out\\Data.lzh");
    EXPECT_EQ(compress::archiveName(L"D:\\Out\\Data.lha"), L"D:\\Out\\Data.lha");
    EXPECT_EQ(compress::archiveName(L"D:\\Out.d\\Data"), L"D:\\Out.d\\Data.lzh");
    EXPECT_EQ(compress::quotedName("a b"), "\"a b\"");
    EXPECT_EQ(compress::quotedName("-a"), "\"-a\"");
    EXPECT_EQ(compress::quotedName("@a"), "\"@a\"");
    EXPECT_EQ(compress::quotedName("a-@"), "a-@");
    EXPECT_EQ(compress::commandLine(true, "C:\\My Out\\a.lzh", "C:\\Data\\", "C:\\T\\Lha1.tmp"),
              "u \"C:\\My Out\\a.lzh\" C:\\Data\\ -x1 @C:\\T\\Lha1.tmp");
}

} // namespace
