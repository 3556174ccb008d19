// The profile file reader and writer on real files: how sections, keys and
// values are found, how writes land in the text byte for byte, and how the
// file is written back (only when changed, read-only or not, never damaged).
#include <gtest/gtest.h>

#include "dialogs/ProfileFile.h"
#include "common/Raii.h"
#include "TestSupport.h"

#include <string>

using namespace sorvane;
using sorvane::test::readBytes;
using sorvane::test::writeBytes;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::wstring path = folder / L"Sorvane.ini";

    // Opens a file holding `bytes`.
    void openWith(CProfileFile& file, const std::string& bytes)
    {
        ASSERT_TRUE(writeBytes(path, bytes));
        ASSERT_TRUE(file.Open(path.c_str()));
    }
    std::string value(CProfileFile& file, const char* section, const char* key)
    {
        std::string text;
        return file.ReadValue(section, key, text) ? text : std::string("<missing>");
    }
};

TEST_F(ProfileFile, FindsSectionsAndKeysExactly)
{
    CProfileFile file;
    openWith(file,
             "top=outside\r\n"
             "[Destines]\r\n"
             "; Num=99 is a comment\r\n"
             "no equals sign here\r\n"
             "\r\n"
             "\t  Num \t=7\r\n"
             "  Item1=  two blanks before, one after \r\n"
             "  item1=lower case key\r\n"
             "  Item2=a=b\n"
             "  Item3=lf only\rItem4=after a lone CR\r\n"
             "  \t[Archieve]\r\n"
             "  Num=3\r\n"
             "[destines]\r\n"
             "  Item9=lower case section\r\n"
             "[Types\r\n"
             "  Num=5");
    EXPECT_EQ(value(file, "Destines", "Num"), "7");
    EXPECT_EQ(value(file, "Destines", "Item1"), "  two blanks before, one after ");
    EXPECT_EQ(value(file, "Destines", "item1"), "lower case key");
    EXPECT_EQ(value(file, "Destines", "Item2"), "a=b");
    EXPECT_EQ(value(file, "Destines", "Item3"), "lf only");
    EXPECT_EQ(value(file, "Destines", "Item4"), "after a lone CR");
    EXPECT_EQ(value(file, "Destines", "Item9"), "<missing>") << "keys stop at the next header";
    EXPECT_EQ(value(file, "Destines", "top"), "<missing>") << "keys above the first header belong to none";
    EXPECT_EQ(value(file, "Archieve", "Num"), "3") << "an indented header is a header";
    EXPECT_EQ(value(file, "destines", "Item9"), "lower case section");
    EXPECT_EQ(value(file, "DESTINES", "Num"), "<missing>");
    EXPECT_EQ(value(file, "Types", "Num"), "5") << "a header without ']' runs to the line end; the last line needs no break";
    EXPECT_EQ(value(file, "", "Num"), "<missing>");
}

TEST_F(ProfileFile, ReadsIntegersAndBoundedTexts)
{
    CProfileFile file;
    openWith(file,
             "[S]\r\n"
             "dec=42\r\nneg=-17\r\nhex=0x1F\r\nHEX=0XfF\r\nhexneg=0xFFFFFFFF\r\n"
             "lead= \t+12abc\r\nnone=abc\r\nempty=\r\nbare0x=0x\r\n"
             "late=" + std::string(30, ' ') + "7\r\n"
             "toolate=" + std::string(31, ' ') + "7\r\n"
             "hexlate=0x" + std::string(29, '0') + "F\r\n"
             "huge=99999999999999999999\r\n"
             "text=abcdef\r\n");
    EXPECT_EQ(file.ReadInt("S", "dec", -1), 42);
    EXPECT_EQ(file.ReadInt("S", "neg", -1), -17);
    EXPECT_EQ(file.ReadInt("S", "hex", -1), 31);
    EXPECT_EQ(file.ReadInt("S", "HEX", -1), 255);
    EXPECT_EQ(file.ReadInt("S", "hexneg", 0), -1);
    EXPECT_EQ(file.ReadInt("S", "lead", -1), 12);
    EXPECT_EQ(file.ReadInt("S", "none", -1), 0);
    EXPECT_EQ(file.ReadInt("S", "empty", -1), 0);
    EXPECT_EQ(file.ReadInt("S", "bare0x", -1), 0);
    EXPECT_EQ(file.ReadInt("S", "late", -1), 7) << "the 31st character still counts";
    EXPECT_EQ(file.ReadInt("S", "toolate", -1), 0) << "the 32nd does not";
    EXPECT_EQ(file.ReadInt("S", "hexlate", -1), 0);
    EXPECT_EQ(file.ReadInt("S", "huge", -1), 2147483647L);
    EXPECT_EQ(file.ReadInt("S", "missing", 32), 32);
    EXPECT_EQ(file.ReadInt("Other", "dec", 5), 5);

    char buffer[4];
    EXPECT_EQ(file.ReadText("S", "text", "dflt", buffer, sizeof(buffer)), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(file.ReadText("S", "missing", "xy", buffer, sizeof(buffer)), 2u);
    EXPECT_STREQ(buffer, "xy");
    EXPECT_EQ(file.ReadText("S", "empty", "xy", buffer, sizeof(buffer)), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST_F(ProfileFile, WritesInPlaceInsertsAndAppends)
{
    const std::string before = "; notes\r\n"
                               "[Destines]\r\n"
                               "  Item1 = old\r\n"
                               "  Num=10\r\n"
                               "  Stale=kept\r\n"
                               "\r\n"
                               "  [Other]\r\n"
                               "  Key=v\r\n";
    CProfileFile file;
    openWith(file, before);
    EXPECT_TRUE(file.WriteInt("Destines", "Num", 2));
    EXPECT_TRUE(file.WriteText("Destines", "Item1", "a much longer value than before"));
    EXPECT_TRUE(file.WriteText("Destines", "Item2", "new"));
    EXPECT_TRUE(file.WriteText("Other", "Key", ""));
    EXPECT_TRUE(file.WriteText("Types", "Num", "0"));
    EXPECT_TRUE(file.WriteText("Types", "Item1", "x"));
    EXPECT_FALSE(file.WriteText("", "Num", "1"));
    const std::string expected = "; notes\r\n"
                                 "[Destines]\r\n"
                                 "  Item1 =a much longer value than before\r\n"
                                 "  Num=2\r\n"
                                 "  Stale=kept\r\n"
                                 "\r\n"
                                 "  Item2=new\r\n"
                                 "  [Other]\r\n"
                                 "  Key=\r\n"
                                 "[Types]\r\n"
                                 "  Num=0\r\n"
                                 "  Item1=x\r\n";
    EXPECT_EQ(file.content(), expected);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(readBytes(path), expected);
}

TEST_F(ProfileFile, KeepsLineStructureAtTheEdges)
{
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"empty file", "", "[S]\r\n  K=v\r\n"},
        {"last line unterminated", "x=1", "x=1\r\n[S]\r\n  K=v\r\n"},
        {"section body unterminated", "[S]\r\n  A=1", "[S]\r\n  A=1\r\n  K=v\r\n"},
        {"header at the end", "[S]", "[S]\r\n  K=v\r\n"},
        {"header without bracket at the end", "[S", "[S\r\n  K=v\r\n"},
        {"empty body before a header", "[S]\r\n[T]\r\n", "[S]\r\n  K=v\r\n[T]\r\n"},
        {"lone LF lines", "[S]\n  A=1\n", "[S]\n  A=1\n  K=v\r\n"},
        {"value to the end", "[S]\r\n  K=old", "[S]\r\n  K=v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CProfileFile file;
        openWith(file, c.before);
        EXPECT_TRUE(file.WriteText("S", "K", "v"));
        EXPECT_EQ(file.content(), c.after);
        EXPECT_EQ(value(file, "S", "K"), "v") << "written keys read back";
        ASSERT_TRUE(file.Close());
    }

    // A line break inside a value would start a line of its own.
    CProfileFile file;
    openWith(file, "");
    EXPECT_TRUE(file.WriteText("S", "K", "one\r\n[Evil]\ntwo"));
    EXPECT_EQ(file.content(), "[S]\r\n  K=one  [Evil] two\r\n");
}

TEST_F(ProfileFile, NonTextContentStaysAndStaysReadable)
{
    // NUL bytes are ordinary bytes: they neither end the content nor a line.
    const std::string before = std::string("\0\0garbage[S]\0\r\n", 15) + std::string("[S]\r\n  K=ab\0cd\r\n", 16) +
                               std::string("\xff\xfe\x00\x01", 4);
    CProfileFile file;
    openWith(file, before);
    EXPECT_EQ(value(file, "S", "K"), std::string("ab\0cd", 5));
    EXPECT_TRUE(file.WriteText("S", "L", "new"));
    EXPECT_TRUE(file.WriteText("S", "K", "x"));
    const std::string expected = std::string("\0\0garbage[S]\0\r\n", 15) + "[S]\r\n  K=x\r\n" +
                                 std::string("\xff\xfe\x00\x01", 4) + "\r\n  L=new\r\n";
    EXPECT_EQ(file.content(), expected);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(readBytes(path), expected);
}

TEST_F(ProfileFile, OpeningCreatesAMissingFile)
{
    CProfileFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_TRUE(test::exists(path));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(readBytes(path), "") << "nothing changed, nothing written";
}

TEST_F(ProfileFile, ClosingWritesOnlyChangesAndOverwritesReadOnly)
{
    const std::string before = "[S]\r\n  K=v\r\n";
    ASSERT_TRUE(writeBytes(path, before));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        CProfileFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        EXPECT_TRUE(file.WriteText("S", "K", "v")) << "the same value again";
        EXPECT_FALSE(file.changed());
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY))
            << "an unchanged file is not rewritten";
    }
    CProfileFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_TRUE(file.WriteText("S", "K", "w"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(readBytes(path), "[S]\r\n  K=w\r\n");
    EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(test::listFolder(folder.path()), std::vector<std::wstring>{L"Sorvane.ini"}) << "no temporary file left";
}

TEST_F(ProfileFile, AFailedWriteLeavesTheFileAsItWas)
{
    const std::string before = "[S]\r\n  K=v\r\n";
    ASSERT_TRUE(writeBytes(path, before));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    CProfileFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_TRUE(file.WriteText("S", "K", "changed"));
    {
        // Held open by someone who does not share deletion: it cannot be replaced.
        UniqueFile holder(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(file.Close());
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY))
        << "the attributes are put back";
    EXPECT_EQ(test::listFolder(folder.path()), std::vector<std::wstring>{L"Sorvane.ini"});
}

TEST_F(ProfileFile, AnUnreadableFileReadsEmptyAndIsNotReplaced)
{
    const std::string before = "[Other]\r\n  Keep=me\r\n";
    ASSERT_TRUE(writeBytes(path, before));
    UniqueFile locker(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locker);
    CProfileFile file;
    ASSERT_TRUE(file.Open(path.c_str())) << "a file that cannot be opened reads as empty";
    EXPECT_EQ(file.content(), "");
    EXPECT_TRUE(file.WriteText("S", "K", "v"));
    EXPECT_FALSE(file.Close()) << "writing our one section over it would lose the rest";
    locker.reset();
    EXPECT_EQ(readBytes(path), before);

    // A folder that does not exist: nothing to read, nothing can be written.
    const std::wstring nowhere = folder / L"missing\\Sorvane.ini";
    CProfileFile other;
    ASSERT_TRUE(other.Open(nowhere.c_str()));
    EXPECT_TRUE(other.WriteText("S", "K", "v"));
    EXPECT_FALSE(other.Close());
    EXPECT_FALSE(test::exists(nowhere));
}

} // namespace
