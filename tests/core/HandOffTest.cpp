// The selection hand-off between the shell extension and the program: the
// command text, the 1024-character rule, the file and its reading, which
// files the program may delete, and the program path in front of the
// switches.
#include <gtest/gtest.h>

#include "common/HandOff.h"
#include "TestSupport.h"

using namespace sorvane;
using namespace sorvane::handoff;

namespace {

TEST(HandOffText, SelectionListForms)
{
    EXPECT_EQ(buildCommandText(Operation::Copy, nullptr, {L"C:\\Users\\me\\Docs\\a.txt", L"C:\\Users\\me\\Docs\\sub"}),
              L"/C:C:\\Users\\me\\Docs\\;a.txt;sub;");
    EXPECT_EQ(buildCommandText(Operation::Move, L"D:\\Out", {L"C:\\Users\\me\\Docs\\a.txt"}),
              L"/T:D:\\Out /M:C:\\Users\\me\\Docs\\;a.txt;");
    EXPECT_EQ(buildCommandText(Operation::Delete, L"", {L"C:\\x\\a b;c.txt"}), L"/D:C:\\x\\;a b;c.txt;");
    // A drive root alone; items whose folder is spelled in other letter case.
    EXPECT_EQ(buildCommandText(Operation::Copy, nullptr, {L"C:\\"}), L"/C:C:\\;;");
    EXPECT_EQ(buildCommandText(Operation::Copy, nullptr, {L"C:\\a\\x", L"c:\\A\\y"}), L"/C:C:\\a\\;x;y;");
}

TEST(HandOffText, ItemsOfSeveralFoldersMakeNoList)
{
    // The list names one folder: "y" would be looked for in "C:\a", where a
    // file of that name may be another one.
    EXPECT_EQ(buildCommandText(Operation::Copy, nullptr, {L"C:\\a\\x", L"D:\\b\\y"}), L"");
    EXPECT_EQ(buildCommandText(Operation::Delete, nullptr, {L"C:\\a\\x", L"C:\\a\\b\\y"}), L"");
    EXPECT_EQ(buildCommandText(Operation::Move, L"D:\\Out", {L"C:\\", L"D:\\"}), L"");

    EXPECT_TRUE(oneParentFolder({}));
    EXPECT_TRUE(oneParentFolder({L"C:\\a\\x"}));
    EXPECT_TRUE(oneParentFolder({L"C:\\a\\x", L"C:\\A\\y", L"c:\\a\\z"}));
    EXPECT_TRUE(oneParentFolder({L"C:\\", L"C:\\x"})) << "the root and an item in it";
    EXPECT_FALSE(oneParentFolder({L"C:\\a\\x", L"C:\\ab\\x"}));
    EXPECT_FALSE(oneParentFolder({L"C:\\a\\x", L"C:\\a"}));
    EXPECT_EQ(parentFolder(L"C:\\a\\b.txt"), L"C:\\a");
    EXPECT_EQ(parentFolder(L"C:\\"), L"C:");
    EXPECT_EQ(parentFolder(L"name"), L"");
}

// The scratch folder stands for the folders the extension writes to.
class HandOffFile : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::wstring folderWithSlash() const { return folder.path() + L"\\"; }
    std::vector<std::wstring> ours() const { return {folderWithSlash()}; }
    CommandText read(const std::wstring& commandLine) const { return obtainCommandText(commandLine.c_str(), ours()); }
    // A new hand-off file in the scratch folder, named as the extension names them.
    std::wstring handOffName() const
    {
        wchar_t name[MAX_PATH] = {};
        EXPECT_NE(::GetTempFileNameW(folderWithSlash().c_str(), L"Sorvane", 0, name), 0u);
        return name;
    }
};

TEST_F(HandOffFile, ShortTextTravelsOnTheCommandLine)
{
    const std::wstring text = L"/C:" + std::wstring(1021, L'x');
    ASSERT_EQ(text.size(), 1024u);
    EXPECT_EQ(programParameters(folderWithSlash().c_str(), text), text);
}

TEST_F(HandOffFile, LongTextTravelsInAFileTheProgramReadsAndDeletes)
{
    const std::wstring text = L"/C:" + std::wstring(1022, L'y');
    ASSERT_EQ(text.size(), 1025u);
    const std::wstring parameters = programParameters(folderWithSlash().c_str(), text);
    ASSERT_EQ(parameters.rfind(L"/F:", 0), 0u);
    const std::wstring file = parameters.substr(3);
    EXPECT_EQ(file.rfind(folderWithSlash(), 0), 0u) << "made in the extension's folder";

    const std::string bytes = test::readBytes(file);
    ASSERT_EQ(bytes.size(), 2052u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("/\0C\0:\0", 6)) << "UTF-16LE without byte-order mark";
    EXPECT_EQ(bytes.substr(2050), std::string("\0\0", 2));

    CommandText got = read(L"\"C:\\Apps\\Sorvane.exe\" " + parameters);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::wstring(got.get()), text);
    EXPECT_FALSE(test::exists(file));
}

TEST_F(HandOffFile, EmptyOrUnreadableFilesGiveNoTextAndAreDeleted)
{
    const std::wstring empty = handOffName();
    ASSERT_TRUE(test::exists(empty));
    EXPECT_FALSE(read(L"x.exe /F:" + empty));
    EXPECT_FALSE(test::exists(empty));

    // A folder cannot be read as a file.
    const std::wstring sub = folder / L"Sor1.tmp";
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    EXPECT_FALSE(read(L"x.exe /F:" + sub));
    EXPECT_TRUE(test::exists(sub));

    // Held open without sharing by someone else: not readable.
    const std::wstring locked = handOffName();
    ASSERT_TRUE(test::writeText(locked, L"/C:a"));
    HANDLE holder = ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(read(L"x.exe /F:" + locked));
    ::CloseHandle(holder);
}

TEST_F(HandOffFile, MissingFileGivesNoTextAndDeletesNothing)
{
    const std::wstring other = handOffName();
    ASSERT_TRUE(test::writeText(other, L"/C:a"));
    EXPECT_FALSE(read(L"x.exe /F:" + (folder / L"Sor0.tmp")));
    EXPECT_TRUE(test::exists(other));
}

TEST_F(HandOffFile, TextWithoutTerminatorOrOfOddLengthIsTerminated)
{
    const std::wstring file = handOffName();
    ASSERT_TRUE(test::writeBytes(file, std::string("/\0C\0:\0a\0b", 9)));
    CommandText got = read(L"x.exe /F:" + file);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::wstring(got.get()), L"/C:ab"); // the lone last byte becomes a character
    EXPECT_FALSE(test::exists(file));
}

TEST_F(HandOffFile, EverythingAfterTheSwitchIsTheFileName)
{
    // A further switch after "/F:" belongs to the file name, which then names
    // no file (':' and '/' cannot stand in one): no text, nothing deleted.
    const std::wstring file = handOffName();
    ASSERT_TRUE(test::writeText(file, std::wstring(L"/M:c") + L'\0'));
    EXPECT_FALSE(read(L"x.exe /F:" + file + L" /C:C:\\x\\;a;"));
    EXPECT_TRUE(test::exists(file));
    // Blanks inside the name are kept.
    const std::wstring spaced = folder / L"with blank";
    ASSERT_TRUE(::CreateDirectoryW(spaced.c_str(), nullptr));
    wchar_t name[MAX_PATH] = {};
    ASSERT_NE(::GetTempFileNameW(spaced.c_str(), L"Sorvane", 0, name), 0u);
    ASSERT_TRUE(test::writeText(name, std::wstring(L"/M:d") + L'\0'));
    CommandText got = obtainCommandText((L"x.exe /F:" + std::wstring(name)).c_str(), {spaced});
    ASSERT_TRUE(got);
    EXPECT_STREQ(got.get(), L"/M:d");
    EXPECT_FALSE(test::exists(name));
}

TEST_F(HandOffFile, OrdinaryFilesAreReadAndLeftAlone)
{
    // "/F:" names the user's own file: it is read, never deleted.
    const std::wstring text = std::wstring(L"/C:C:\\x\\;a;") + L'\0';
    const std::wstring other = folder / L"elsewhere";
    ASSERT_TRUE(::CreateDirectoryW(other.c_str(), nullptr));
    const std::wstring kept[] = {
        folder / L"selection.txt",  // not a hand-off name
        folder / L"Sor12345.tmp",   // five digits: GetTempFileNameW writes at most four
        folder / L"Sorx.tmp",       // not hexadecimal
        folder / L"Sor1.tmp.txt",
        folder / L"Sorvane1.tmp",
        other + L"\\Sor1A2B.tmp", // the right name in another folder
    };
    for (const std::wstring& file : kept) {
        SCOPED_TRACE(testing::PrintToString(file));
        ASSERT_TRUE(test::writeText(file, text));
        for (const wchar_t* sw : {L" /F:", L" /f:"}) {
            CommandText got = read(L"x.exe" + std::wstring(sw) + file);
            ASSERT_TRUE(got);
            EXPECT_STREQ(got.get(), L"/C:C:\\x\\;a;");
            EXPECT_TRUE(test::exists(file));
        }
        EXPECT_EQ(test::readBytes(file).size(), text.size() * 2) << "unchanged";
    }
}

TEST_F(HandOffFile, HandOffFilesInEverySpellingAreDeleted)
{
    // Lower-case "/f:", other letter case in the name, a folder written
    // another way, and a name relative to the current folder.
    const std::wstring text = std::wstring(L"/M:C:\\y\\;b;") + L'\0';
    const std::wstring upper = folder / L"SOR1F.TMP";
    const std::wstring dotted = folder.path() + L"\\.\\sub\\..\\Sor2.tmp";
    const std::wstring plain = folder / L"Sor2.tmp";
    ASSERT_TRUE(::CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    struct Case {
        std::wstring line, file;
    } cases[] = {
        {L"x.exe /f:" + upper, upper},
        {L"x.exe /F:" + dotted, plain},
        {L"x.exe /f:Sor3ab.tmp", folder / L"Sor3ab.tmp"},
    };
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.path().c_str()));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        ASSERT_TRUE(test::writeText(c.file, text));
        CommandText got = read(c.line);
        ASSERT_TRUE(got);
        EXPECT_STREQ(got.get(), L"/M:C:\\y\\;b;");
        EXPECT_FALSE(test::exists(c.file));
    }
    ::SetCurrentDirectoryW(previous);
}

TEST(HandOffFolders, TheProgramsFolderAndTheTempFolder)
{
    const std::vector<std::wstring> folders = handOffFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], test::programFolder());
    EXPECT_EQ(folders[1], userTempFolder());

    // What the extension writes into the temp folder is ours; the user's own
    // file there is not.
    const std::wstring text = std::wstring(L"/C:C:\\x\\;a;") + L'\0';
    const std::wstring handOff = writeHandOffFile(userTempFolder().c_str(), text.substr(0, text.size() - 1));
    ASSERT_FALSE(handOff.empty());
    const std::wstring own = userTempFolder() + L"sorvane-notes-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(test::writeText(own, text));
    CommandText first = obtainCommandText((L"Sorvane.exe /F:" + handOff).c_str());
    CommandText second = obtainCommandText((L"Sorvane.exe /F:" + own).c_str());
    ASSERT_TRUE(first && second);
    EXPECT_STREQ(first.get(), L"/C:C:\\x\\;a;");
    EXPECT_STREQ(second.get(), L"/C:C:\\x\\;a;");
    EXPECT_FALSE(test::exists(handOff));
    EXPECT_TRUE(test::exists(own));
    ::DeleteFileW(own.c_str());
}

TEST(HandOffCommandLine, ProgramPathIsSkipped)
{
    const struct {
        const wchar_t* line;
        const wchar_t* arguments;
    } cases[] = {
        {L"\"C:\\Program Files\\Sorvane\\Sorvane.exe\" /C:C:\\x\\;a;", L"/C:C:\\x\\;a;"},
        {L"C:/Tools/Sorvane.exe /C:C:\\x\\;a;", L"/C:C:\\x\\;a;"},
        {L"C:/Tools/Sorvane.exe", L""},
        {L"\"C:/Tools/Sorvane.exe\"", L""},
        {L"\"C:/My Tools/Sorvane.exe\"/T:D:\\Out /M:C:\\x\\;a;", L"/T:D:\\Out /M:C:\\x\\;a;"},
        {L"C:/My Tools/Sorvane.exe  \t /D:C:\\x\\;a;", L"/D:C:\\x\\;a;"},
        {L"C:\\My Apps\\Sorvane.exe /L:C:\\x\\;y;", L"/L:C:\\x\\;y;"},
        {L"Sorvane.exe", L""},
        {L"  /C:C:\\x\\;a;", L"/C:C:\\x\\;a;"},
        {L"\"C:/unterminated /C:x", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        EXPECT_STREQ(skipProgramPath(c.line), c.arguments);
    }
    EXPECT_EQ(skipProgramPath(nullptr), nullptr);
}

TEST(HandOffCommandLine, TheArgumentsAreCopied)
{
    CommandText read = obtainCommandText(L"Sorvane.exe /C:C:\\x\\;a;");
    ASSERT_TRUE(read);
    EXPECT_STREQ(read.get(), L"/C:C:\\x\\;a;");
    CommandText slashes = obtainCommandText(L"C:/Tools/Sorvane.exe /C:C:\\x\\;a;");
    ASSERT_TRUE(slashes);
    EXPECT_STREQ(slashes.get(), L"/C:C:\\x\\;a;");
    EXPECT_FALSE(obtainCommandText(L"C:/Tools/Sorvane.exe")) << "no arguments, no text";
    EXPECT_FALSE(obtainCommandText(L""));
    EXPECT_FALSE(obtainCommandText(L"x.exe /F:"));
}

} // namespace
