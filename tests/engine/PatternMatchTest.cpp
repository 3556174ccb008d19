// The "Name|Types" split and the wildcard matcher, with its quirks: the
// terminators take part outside a star, only the literal head and the last
// segment after a star decide, and '#' stands for a digit or itself.
#include <gtest/gtest.h>

#include "engine/PatternMatch.h"

#include <string>

using namespace sorvane;

namespace {

std::string narrow(const wchar_t* text)
{
    std::string out;
    for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

struct Pair {
    const wchar_t* name;
    const wchar_t* patterns; // already upper-cased, as the worker hands them
    bool matches;
};

void checkAll(const Pair* begin, const Pair* end)
{
    for (const Pair* p = begin; p != end; ++p) {
        EXPECT_EQ(matchPatternList(p->name, p->patterns), p->matches)
            << "name \"" << narrow(p->name) << "\" patterns \"" << narrow(p->patterns) << "\"";
    }
}

TEST(PatternMatch, DocumentedExamples)
{
    const Pair pairs[] = {
        {L"notes.txt", L"*.TXT", true},
        {L"A.TXT", L"*.TXT", true},
        {L"notes.txt.bak", L"*.TXT", false},
        {L"notes", L"*.TXT", false},
        {L"README", L"*", true},
        {L"notes.txt", L"*", false},
        {L"README", L"*.*", true},
        {L"notes.txt", L"*.*", true},
        {L"database", L"DATA*", true},
        {L"data.bin", L"DATA*", false},
        {L"database", L"DATA*.*", true},
        {L"data.bin", L"DATA*.*", true},
        {L"log7.txt", L"LOG#.TXT", true},
        {L"log#.txt", L"LOG#.TXT", true},
        {L"logA.txt", L"LOG#.TXT", false},
        {L"log12.txt", L"LOG#.TXT", false},
        {L"a.c", L"*.C; *.H", true},
        {L"a.h", L"*.C; *.H", false},       // the second base pattern is " *"
        {L" a.h", L"*.C; *.H", true},
        {L"x.txt", L"", false},             // an empty list matches nothing
        {L".profile", L"*.PROFILE", true},
        {L".profile", L".PROFILE", true},
        {L"archive.", L"ARCHIVE", true},
        {L"archive.", L"*.", true},
        {L"README", L"*.", true},
        {L"a.txt", L"*.", false},
        {L"\u00e9cole.txt", L"\u00c9*.*", false}, // only a-z are upper-cased
    };
    checkAll(std::begin(pairs), std::end(pairs));
}

TEST(PatternMatch, OwnTable)
{
    const Pair pairs[] = {
        // Paths: only the part after the last '\', '/' or ':' is the name.
        {L"C:\\dir.d\\file", L"FILE", true},
        {L"C:\\dir.d\\file", L"*.D", false},
        {L"C:/x/y.TXT", L"*.TXT", true},
        {L"C:name.txt", L"NAME.TXT", true},
        // '?' needs a character; '#' a digit or '#'.
        {L"ab.txt", L"A?.TXT", true},
        {L"a.txt", L"A?.TXT", false},
        {L"abc.txt", L"A?.TXT", false},
        {L"a1b2.c", L"A#B#.C", true},
        {L"a1bb.c", L"A#B#.C", false},
        {L"v10.dat", L"V##.DAT", true},
        {L"v1.dat", L"V##.DAT", false},
        {L"file.c1", L"*.C#", true},
        {L"file.cx", L"*.C#", false},
        // Several stars: the head before the first star and the last segment
        // decide; a segment between stars is not compared.
        {L"abcxyz.txt", L"A*Q*Z.TXT", true},
        {L"abcxyz.txt", L"A*Q*Y.TXT", false},
        {L"bcz.txt", L"A*Q*Z.TXT", false},
        {L"report-2024.doc", L"*2024*.DOC", true},   // "*seg*" at the end: found anywhere
        {L"report-2023.doc", L"*2024*.DOC", false},
        {L"x2024.doc", L"*2024*.DOC", true},
        {L"2024", L"*2024*", true},
        {L"202", L"*2024*", false},
        // "*?x" acts as "*x".
        {L"x.txt", L"*?X.TXT", true},
        {L"ax.txt", L"*?X.TXT", true},
        {L"a.txt", L"**.TXT", true},
        {L"a.txt", L"*?.TXT", true},
        // Empty base or extension patterns.
        {L".hidden", L".*", true},
        {L"a.hidden", L".*", false},
        {L"name", L"NAME.", true},
        {L"name.", L"NAME.", true},
        {L"name.x", L"NAME.", false},
        {L"name", L"NAME.*", true},
        // Case: names are upper-cased a-z only.
        {L"MiXeD.TxT", L"MIXED.TXT", true},
        {L"mixed.txt", L"mixed.txt", false},         // the worker upper-cases lists
        {L"\u00fcber.txt", L"\u00fcBER.TXT", true},
        {L"\u00fcber.txt", L"\u00dcBER.TXT", false},
        {L"\u3042.txt", L"?.TXT", true},
        // Lists: empty elements skipped, first match wins, blanks belong.
        {L"a.h", L";;*.H;", true},
        {L"a.h", L"*.C ;*.H", true},
        {L"a.c", L"*.C ;*.H", false},                // extension pattern "C "
        {L"a.c ", L"*.C ;*.H", true},
        {L"make", L"*.MK;MAKE*", true},
        {L"makefile.am", L"*.MK;MAKE*", false},
        // Trailing dots and multiple dots.
        {L"a.b.c", L"A.B.C", true},
        {L"a.b.c", L"*.C", true},
        {L"a.b.c", L"A.*", false},                   // base is "A.B"
        {L"a.b.c", L"A.B.*", true},
        {L"archive..", L"ARCHIVE.", false},          // base is "ARCHIVE."
        {L"archive..", L"ARCHIVE..", true},
        // The literal part outside a star must end with the text.
        {L"abc", L"AB", false},
        {L"ab", L"ABC", false},
        {L"abc.txt", L"ABC*", false},
    };
    checkAll(std::begin(pairs), std::end(pairs));
}

TEST(PatternMatch, MatchPatternDirectCases)
{
    EXPECT_TRUE(matchPattern(nullptr, nullptr));
    EXPECT_TRUE(matchPattern(L"", L""));
    EXPECT_FALSE(matchPattern(L"X", L""));
    EXPECT_TRUE(matchPattern(nullptr, L"*"));
    EXPECT_FALSE(matchPattern(nullptr, L"A"));
    EXPECT_FALSE(matchPattern(L"", L"?"));
    EXPECT_TRUE(matchPattern(L"ABC", L"A*C"));
    EXPECT_FALSE(matchPattern(L"AC", L"A*BC"));
    EXPECT_TRUE(matchPattern(L"ABC", L"*BC"));
    EXPECT_FALSE(matchPattern(L"BC", L"*ABC"));
}

TEST(PatternMatch, OverlongSegmentMatchesNothing)
{
    const std::wstring pattern = L"*" + std::wstring(300, L'A') + L".TXT";
    const std::wstring name = std::wstring(300, L'a') + L".txt";
    EXPECT_FALSE(matchPatternList(name.c_str(), pattern.c_str()));
}

TEST(SplitNameAndPatterns, LabelsAndLists)
{
    wchar_t name[kDisplayNameCapacity];
    wchar_t list[kPatternTextCapacity];
    splitNameAndPatterns(L"  Sources | *.c;*.h  ", name, list);
    EXPECT_STREQ(name, L"Sources");
    EXPECT_STREQ(list, L"*.c;*.h");
    splitNameAndPatterns(L"*.txt", name, list);
    EXPECT_STREQ(name, L"");
    EXPECT_STREQ(list, L"*.txt");
    splitNameAndPatterns(L"A|B|C", name, list);
    EXPECT_STREQ(name, L"A");
    EXPECT_STREQ(list, L"B|C");
    splitNameAndPatterns(L"\tTab |\t*.x\t", name, list);
    EXPECT_STREQ(name, L"\tTab");
    EXPECT_STREQ(list, L"\t*.x\t");
    splitNameAndPatterns(L"only name|", nullptr, list);
    EXPECT_STREQ(list, L"");
    // Long texts are cut: 519 characters read, 259 kept for the name.
    const std::wstring longName = std::wstring(400, L'n') + L"|*.a";
    splitNameAndPatterns(longName.c_str(), name, list);
    EXPECT_EQ(std::wcslen(name), 259u);
    EXPECT_STREQ(list, L"*.a");
    const std::wstring longList = L"x|" + std::wstring(600, L'p');
    splitNameAndPatterns(longList.c_str(), name, list);
    EXPECT_EQ(std::wcslen(list), 517u);
}

} // namespace
