// The archiver's command language: the command lines and response files
// that the compress operation builds, and the name checks used when
// extracting.
#include <gtest/gtest.h>

#include <map>

#include "lha_command.h"

using namespace unlha;

namespace {

// Response files served from memory.
struct FakeFiles {
    std::map<std::string, std::string> files;
    ResponseReader reader() {
        return [this](const std::string& path, std::string& content) {
            auto it = files.find(path);
            if (it == files.end()) return false;
            content = it->second;
            return true;
        };
    }
};

TEST(Tokenize, BlanksQuotesAndLineEnds) {
    EXPECT_EQ(tokenize("a  b\tc\r\nd "), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(tokenize("\"C:\\My Data\\\" x"), (std::vector<std::string>{"C:\\My Data\\", "x"}));
    EXPECT_EQ(tokenize("pre\"fix mid\"post"), (std::vector<std::string>{"prefix midpost"}));
    EXPECT_EQ(tokenize("\"\""), (std::vector<std::string>{""}));
    EXPECT_TRUE(tokenize("   ").empty());
}

TEST(ParseCommand, CompressExampleWithResponseFile) {
    FakeFiles ff;
    ff.files["C:\\Temp\\Lha1A.tmp"] = "a.txt Sub\\*.txt Sub\\*.doc ";
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("a D:\\Out\\Data.lzh C:\\Data\\ -x1 -r1 @C:\\Temp\\Lha1A.tmp", ff.reader(), c, err))
        << err;
    EXPECT_EQ(c.verb, 'a');
    EXPECT_EQ(c.archive, "D:\\Out\\Data.lzh");
    EXPECT_EQ(c.base_dir, "C:\\Data\\");
    EXPECT_TRUE(c.store_paths);
    EXPECT_TRUE(c.recurse);
    EXPECT_EQ(c.names, (std::vector<std::string>{"a.txt", "Sub\\*.txt", "Sub\\*.doc"}));
    EXPECT_EQ(c.method, lzh::Method::Lh7);
    EXPECT_FALSE(c.has_newer);
}

TEST(ParseCommand, QuotedNamesTimesAndExclusions) {
    FakeFiles ff;
    ff.files["r.tmp"] = "*.* -jx*.tmp -jx*.bak \"two words.txt\" ";
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("u \"D:\\My Out\\Data.lzh\" \"C:\\My Data\\\" -x1 -jol202403050807 "
                              "-jobl202403060900 @r.tmp",
                              ff.reader(), c, err))
        << err;
    EXPECT_EQ(c.verb, 'u');
    EXPECT_EQ(c.archive, "D:\\My Out\\Data.lzh");
    EXPECT_EQ(c.base_dir, "C:\\My Data\\");
    EXPECT_FALSE(c.recurse);
    ASSERT_TRUE(c.has_newer);
    EXPECT_EQ(c.newer.year, 2024);
    EXPECT_EQ(c.newer.month, 3);
    EXPECT_EQ(c.newer.day, 5);
    EXPECT_EQ(c.newer.hour, 8);
    EXPECT_EQ(c.newer.minute, 7);
    ASSERT_TRUE(c.has_older);
    EXPECT_EQ(c.older.day, 6);
    EXPECT_EQ(c.older.hour, 9);
    EXPECT_EQ(c.older.minute, 0);
    EXPECT_EQ(c.excludes, (std::vector<std::string>{"*.tmp", "*.bak"}));
    EXPECT_EQ(c.names, (std::vector<std::string>{"*.*", "two words.txt"}));
}

TEST(ParseCommand, SelfExtractorOptions) {
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("s -gwe2 \"D:\\Out\\My Data.lzh\" D:\\Out\\", nullptr, c, err)) << err;
    EXPECT_EQ(c.verb, 's');
    EXPECT_TRUE(c.sfx_gui);
    EXPECT_TRUE(c.sfx_english);
    EXPECT_TRUE(c.sfx_no_dialog);
    EXPECT_EQ(c.archive, "D:\\Out\\My Data.lzh");
    EXPECT_EQ(c.output_dir, "D:\\Out\\");
    ASSERT_TRUE(parse_command("s -gw x.lzh", nullptr, c, err)) << err;
    EXPECT_FALSE(c.sfx_english);
    EXPECT_FALSE(c.sfx_no_dialog);
    EXPECT_TRUE(c.output_dir.empty());
}

// The compress operation quotes neither the response file's path nor the
// self-extractor's output folder; both may hold blanks.
TEST(ParseCommand, UnquotedPathsWithBlanksAtTheEnd) {
    FakeFiles ff;
    ff.files["C:\\Users\\John Smith\\Temp\\Lha1.tmp"] = "\"a b.txt\" c.txt ";
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("a \"D:\\Out Dir\\x.lzh\" C:\\Data\\ -x1 @C:\\Users\\John Smith\\Temp\\Lha1.tmp",
                              ff.reader(), c, err))
        << err;
    EXPECT_EQ(c.names, (std::vector<std::string>{"a b.txt", "c.txt"}));
    EXPECT_EQ(c.archive, "D:\\Out Dir\\x.lzh");
    ASSERT_TRUE(parse_command("s -gwe2 \"D:\\My Out\\Data.lzh\" D:\\My Out\\", nullptr, c, err)) << err;
    EXPECT_EQ(c.archive, "D:\\My Out\\Data.lzh");
    EXPECT_EQ(c.output_dir, "D:\\My Out\\");
    EXPECT_TRUE(c.sfx_no_dialog);
}

// The compress operation lists files by name; a name in quotes is a name
// even when it starts like a switch or a response file.
TEST(ParseCommand, QuotedNamesAreNeverSwitches) {
    FakeFiles ff;
    ff.files["r.tmp"] = "\"-r1.txt\" \"@list.txt\" \"-x0 two.txt\" \"sub\\-jxy\" plain.txt ";
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("a x.lzh C:\\Base\\ -x1 @r.tmp", ff.reader(), c, err)) << err;
    EXPECT_EQ(c.names, (std::vector<std::string>{"-r1.txt", "@list.txt", "-x0 two.txt", "sub\\-jxy", "plain.txt"}));
    EXPECT_FALSE(c.recurse);
    EXPECT_TRUE(c.excludes.empty());
    // Unquoted, the same text is a switch.
    ff.files["s.tmp"] = "-r1 a.txt ";
    ASSERT_TRUE(parse_command("a x.lzh C:\\Base\\ @s.tmp", ff.reader(), c, err)) << err;
    EXPECT_TRUE(c.recurse);
    EXPECT_EQ(c.names, (std::vector<std::string>{"a.txt"}));
}

// A long list of names, all kept in order.
TEST(ParseCommand, LongResponseFiles) {
    FakeFiles ff;
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = (i % 3 == 0 ? "dir " + std::to_string(i % 7) + "\\f " : "f") + std::to_string(i) + ".txt";
        expected.push_back(name);
        text += (name.find(' ') != std::string::npos ? "\"" + name + "\"" : name) + " ";
    }
    ff.files["long.tmp"] = text;
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("a x.lzh C:\\Base\\ -x1 @long.tmp", ff.reader(), c, err)) << err;
    EXPECT_EQ(c.names, expected);
}

TEST(ParseCommand, MethodSwitches) {
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("a x.lzh -o5", nullptr, c, err));
    EXPECT_EQ(c.method, lzh::Method::Lh5);
    ASSERT_TRUE(parse_command("a x.lzh -jm6 -jp2", nullptr, c, err));
    EXPECT_EQ(c.method, lzh::Method::Lh6);
    EXPECT_TRUE(c.thorough);
}

TEST(ParseCommand, RejectsWhatItDoesNotUnderstand) {
    Command c;
    std::string err;
    FakeFiles ff;
    EXPECT_FALSE(parse_command("", nullptr, c, err));
    EXPECT_FALSE(parse_command("x a.lzh", nullptr, c, err));
    EXPECT_FALSE(parse_command("a", nullptr, c, err));
    EXPECT_FALSE(parse_command("a a.lzh -q9", nullptr, c, err));
    EXPECT_NE(err.find("-q9"), std::string::npos);
    EXPECT_FALSE(parse_command("a a.lzh -jol2024030508", nullptr, c, err));  // minutes missing
    EXPECT_FALSE(parse_command("a a.lzh -jol202413050807", nullptr, c, err));  // month 13
    EXPECT_FALSE(parse_command("a a.lzh -jx", nullptr, c, err));
    EXPECT_FALSE(parse_command("a a.lzh @missing.tmp", ff.reader(), c, err));
    EXPECT_FALSE(parse_command("s x.lzh", nullptr, c, err));  // no -gw
    EXPECT_FALSE(parse_command("s -gwz x.lzh", nullptr, c, err));
}

TEST(ParseCommand, EmptyResponseFileLeavesNoNames) {
    FakeFiles ff;
    ff.files["e.tmp"] = "";
    Command c;
    std::string err;
    ASSERT_TRUE(parse_command("a x.lzh C:\\Base\\ -x1 @e.tmp", ff.reader(), c, err));
    EXPECT_TRUE(c.names.empty());
    EXPECT_EQ(c.base_dir, "C:\\Base\\");
}

TEST(Wildcards, ShellRules) {
    auto m = [](const char* p, const char* n) { return wildcard_match(std::string(p), std::string(n)); };
    EXPECT_TRUE(m("*.*", "README"));
    EXPECT_TRUE(m("*.txt", "notes.TXT"));
    EXPECT_FALSE(m("*.txt", "notes.txt.bak"));
    EXPECT_TRUE(m("a?c.*", "abc.d"));
    EXPECT_FALSE(m("a?c.*", "ac.d"));
    EXPECT_TRUE(m("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(m("*a*b", "xxbxxa"));
    EXPECT_TRUE(m("Makefile.", "Makefile"));
    EXPECT_FALSE(m("Makefile.", "Makefile.am"));
    EXPECT_TRUE(wildcard_match(std::wstring(L"*.TMP"), std::wstring(L"x.tmp")));
}

TEST(SafePaths, RefusesEscapes) {
    EXPECT_TRUE(is_safe_relative_path("a.txt"));
    EXPECT_TRUE(is_safe_relative_path("dir\\sub\\a.txt"));
    EXPECT_TRUE(is_safe_relative_path(".\\a.txt"));
    EXPECT_FALSE(is_safe_relative_path(""));
    EXPECT_FALSE(is_safe_relative_path("..\\a.txt"));
    EXPECT_FALSE(is_safe_relative_path("dir\\..\\..\\a.txt"));
    EXPECT_FALSE(is_safe_relative_path("dir/../a.txt"));
    EXPECT_FALSE(is_safe_relative_path("\\Windows\\a.txt"));
    EXPECT_FALSE(is_safe_relative_path("C:\\a.txt"));
    EXPECT_FALSE(is_safe_relative_path("C:a.txt"));
    EXPECT_FALSE(is_safe_relative_path("\\\\server\\share\\a.txt"));
    EXPECT_FALSE(is_safe_relative_path("."));
}

}  // namespace
