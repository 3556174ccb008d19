// The selection hand-off between the shell extension and the program: the
// command text, the 1024-character rule, the file and its reading.
#include <gtest/gtest.h>

#include "HandOff.h"
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
    // A drive root alone, and an item from another folder (named only).
    EXPECT_EQ(buildCommandText(Operation::Copy, nullptr, {L"C:\\"}), L"/C:C:\\;;");
    EXPECT_EQ(buildCommandText(Operation::Copy, nullptr, {L"C:\\a\\x", L"D:\\b\\y"}), L"/C:C:\\a\\;x;y;");
}

class HandOffFile : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::wstring folderWithSlash() const { return folder.path() + L"\\"; }
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

    CommandText read = obtainCommandText((L"\"C:\\Apps\\Sorvane.exe\" " + parameters).c_str());
    ASSERT_TRUE(read);
    EXPECT_EQ(std::wstring(read.get()), text);
    EXPECT_FALSE(test::exists(file));
}

TEST_F(HandOffFile, EmptyOrUnreadableFilesGiveNoTextAndAreDeleted)
{
    const std::wstring empty = folder / L"empty.tmp";
    ASSERT_TRUE(test::writeBytes(empty, ""));
    EXPECT_FALSE(obtainCommandText((L"x.exe /F:" + empty).c_str()));
    EXPECT_FALSE(test::exists(empty));

    // A folder cannot be read as a file.
    const std::wstring sub = folder / L"sub";
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    EXPECT_FALSE(obtainCommandText((L"x.exe /F:" + sub).c_str()));

    // Held open without sharing by someone else: not readable.
    const std::wstring locked = folder / L"locked.tmp";
    ASSERT_TRUE(test::writeText(locked, L"/C:a"));
    HANDLE holder = ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(obtainCommandText((L"x.exe /F:" + locked).c_str()));
    ::CloseHandle(holder);
}

TEST_F(HandOffFile, MissingFileGivesNoTextAndDeletesNothing)
{
    const std::wstring other = folder / L"other.tmp";
    ASSERT_TRUE(test::writeText(other, L"/C:a"));
    EXPECT_FALSE(obtainCommandText((L"x.exe /F:" + (folder / L"missing.tmp")).c_str()));
    EXPECT_TRUE(test::exists(other));
}

TEST_F(HandOffFile, TextWithoutTerminatorOrOfOddLengthIsTerminated)
{
    const std::wstring file = folder / L"odd.tmp";
    ASSERT_TRUE(test::writeBytes(file, std::string("/\0C\0:\0a\0b", 9)));
    CommandText read = obtainCommandText((L"x.exe /F:" + file).c_str());
    ASSERT_TRUE(read);
    EXPECT_EQ(std::wstring(read.get()), L"/C:ab"); // the lone last byte becomes a character
}

TEST_F(HandOffFile, EverythingAfterTheSwitchIsTheFileName)
{
    // A further switch after "/F:" belongs to the file name, which then names
    // no file (':' and '/' cannot stand in one): no text, nothing deleted.
    const std::wstring file = folder / L"h.tmp";
    ASSERT_TRUE(test::writeText(file, std::wstring(L"/M:c") + L'\0'));
    EXPECT_FALSE(obtainCommandText((L"x.exe /F:" + file + L" /C:C:\\x\\;a;").c_str()));
    EXPECT_TRUE(test::exists(file));
    // Blanks inside the name are kept.
    const std::wstring spaced = folder / L"with blank.tmp";
    ASSERT_TRUE(test::writeText(spaced, std::wstring(L"/M:d") + L'\0'));
    CommandText read = obtainCommandText((L"x.exe /F:" + spaced).c_str());
    ASSERT_TRUE(read);
    EXPECT_STREQ(read.get(), L"/M:d");
    EXPECT_FALSE(test::exists(spaced));
}

TEST(HandOffCommandLine, PlainCommandLineIsCopied)
{
    CommandText read = obtainCommandText(L"Sorvane.exe /C:C:\\x\\;a;");
    ASSERT_TRUE(read);
    EXPECT_STREQ(read.get(), L"Sorvane.exe /C:C:\\x\\;a;");
    EXPECT_FALSE(obtainCommandText(L""));
}

} // namespace
