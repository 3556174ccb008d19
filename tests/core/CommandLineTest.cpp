// The command-line parser and the seeding of the settings from it: results,
// the exact message texts, and what ends up in the settings.
#include <gtest/gtest.h>

#include "base/AppState.h"
#include "core/CommandLine.h"
#include "engine/FileTreeSetting.h"
#include "base/Strings.h"
#include "res/SorvaneRes.h"
#include "common/HandOff.h"
#include "TestSupport.h"

#include <string>

using namespace sorvane;

namespace {

struct ParseOutcome {
    int result;
    std::vector<test::RecordedMessage> messages;
    CommandTable table;
    std::wstring text; // the text after parsing, kept alive for the parameters
};

ParseOutcome parse(const std::wstring& line)
{
    ParseOutcome outcome;
    outcome.text = line;
    test::MessageRecorder recorder;
    outcome.result = parseCommandLine(outcome.text.data(), outcome.table);
    outcome.messages = recorder.messages();
    return outcome;
}

std::wstring param(const ParseOutcome& outcome, CommandIndex index)
{
    const wchar_t* p = outcome.table[index].parameter;
    return p ? p : L"<null>";
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { loadString(IDS_APP_NAME, app().appName, 50); }
};

TEST_F(CommandLine, NoCommandYieldsTwo)
{
    EXPECT_EQ(parse(L"").result, kParseNoCommand);
    EXPECT_EQ(parse(L"\"C:\\Program Files\\Sorvane\\Sorvane.exe\"").result, kParseNoCommand);
    CommandTable table;
    EXPECT_EQ(parseCommandLine(nullptr, table), kParseNoCommand);
}

TEST_F(CommandLine, AcceptedCommandsAndParameters)
{
    auto copy = parse(L"Sorvane.exe /c:C:\\Docs\\;a.txt;");
    ASSERT_EQ(copy.result, kParseAccepted);
    EXPECT_TRUE(copy.messages.empty());
    EXPECT_TRUE(copy.table[kCmdCopy].seen);
    EXPECT_EQ(param(copy, kCmdCopy), L"C:\\Docs\\;a.txt;");

    auto withTarget = parse(L"/T:D:\\Out /C:C:\\a b\\;c d;");
    ASSERT_EQ(withTarget.result, kParseAccepted);
    EXPECT_EQ(param(withTarget, kCmdTarget), L"D:\\Out");
    EXPECT_EQ(param(withTarget, kCmdCopy), L"C:\\a b\\;c d;");

    // Several blanks between commands; trailing text without '/' ignored.
    auto spaced = parse(L"x.exe /m:A   /t:B   trailing words");
    ASSERT_EQ(spaced.result, kParseAccepted);
    EXPECT_EQ(param(spaced, kCmdMove), L"A  ");
    EXPECT_EQ(param(spaced, kCmdTarget), L"B   trailing words");

    auto help = parse(L"/H   rest");
    ASSERT_EQ(help.result, kParseAccepted);
    EXPECT_TRUE(help.table[kCmdHelp].seen);
    EXPECT_EQ(help.table[kCmdHelp].parameter, nullptr);

    // A path in front of the first '/' is skipped, even with blanks.
    auto path = parse(L"C:\\My Apps\\Sorvane.exe /L:C:\\x\\;y;");
    ASSERT_EQ(path.result, kParseAccepted);
    EXPECT_EQ(param(path, kCmdCompress), L"C:\\x\\;y;");
}

TEST_F(CommandLine, ProgramPathWithForwardSlashesIsNoCommand)
{
    // As the process command line reaches the parser: the program path is
    // taken off first, so "/Tools" in "C:/Tools/Sorvane.exe" is no switch.
    for (const wchar_t* line : {L"C:/Tools/Sorvane.exe /c:C:\\Docs\\;a.txt;",
                                L"\"C:/My Tools/Sorvane.exe\" /c:C:\\Docs\\;a.txt;",
                                L"C:/My Tools/Sorvane.exe /c:C:\\Docs\\;a.txt;"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
        handoff::CommandText text = handoff::obtainCommandText(line);
        ASSERT_TRUE(text);
        auto outcome = parse(text.get());
        EXPECT_EQ(outcome.result, kParseAccepted);
        EXPECT_TRUE(outcome.messages.empty());
        EXPECT_EQ(param(outcome, kCmdCopy), L"C:\\Docs\\;a.txt;");
    }
    handoff::CommandText alone = handoff::obtainCommandText(L"C:/Tools/Sorvane.exe");
    EXPECT_EQ(parse(alone ? alone.get() : L"").result, kParseNoCommand) << "the main window, no error";
}

TEST_F(CommandLine, OnlySourceSwitchesNameAnOperation)
{
    const struct {
        const wchar_t* line;
        bool operation;
    } cases[] = {
        {L"/H", false},          {L"/T:D:\\Out", false},  {L"/H /T:D:\\Out", false},
        {L"/H /C:C:\\x\\;a;", true}, {L"/T:D:\\Out /M:C:\\x\\;a;", true}, {L"/D:x", true},
        {L"/L:x", true},
    };
    for (const auto& c : cases) {
        auto outcome = parse(c.line);
        ASSERT_EQ(outcome.result, kParseAccepted);
        EXPECT_EQ(namesOperation(outcome.table), c.operation) << testing::PrintToString(std::wstring(c.line));
    }
}

struct ErrorCase {
    const wchar_t* line;
    const wchar_t* message;
};

TEST_F(CommandLine, ErrorsShowTheExactMessage)
{
    const ErrorCase cases[] = {
        {L"/C:X /C:Y", L"Error:Command [C] is set more than one times.\n"},
        {L"/c:X /C:Y", L"Error:Command [C] is set more than one times.\n"},
        {L"/C:XY/M:Z", L"Error:No blank separator between two commands!\n"},
        {L"/C:X/M:Y", L"Error:Command need parameter![C]."},
        {L"/C", L"Error:Command need parameter![C]."},
        {L"/C /M:x", L"Error:Command need parameter![C]."},
        {L"/C:/M:x", L"Error:Command need parameter![C]."},
        {L"/Cx", L"Error:Command [/Cx].\n"},
        {L"/Cxyz more", L"Error:Command [/Cxyz].\n"},
        {L"/G", L"Error:Command [/G].\n"},
        {L"/A /C:x", L"Error:Command [/A].\n"},
        {L"/", L"Error:Command [/].\n"},
        {L"/H:", L"Error:No blank separator between two commands!\n"},
        {L"/C-x", L"Error:Command [/C-x].\n"},
        {L"/T=x", L"Error:Command [/T=x].\n"},
        {L"/T;x /C:y", L"Error:Command [/T;x].\n"},
        {L"/C:a /H /H", L"Error:Command [H] is set more than one times.\n"},
        {L"/T /C:x", L"Error:Command need parameter![T]."},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "line: " << std::string(c.line, c.line + std::wcslen(c.line)));
        auto outcome = parse(c.line);
        EXPECT_EQ(outcome.result, kParseError);
        ASSERT_EQ(outcome.messages.size(), 1u);
        EXPECT_EQ(outcome.messages[0].text, c.message);
        EXPECT_EQ(outcome.messages[0].caption, L"Sorvane");
        EXPECT_EQ(outcome.messages[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
    }
}

class ApplyCommands : public CommandLine {
protected:
    FILE_TREE_SETTING settings;
    uint32_t pending = kOperationCopy;

    int apply(const std::wstring& line, std::vector<test::RecordedMessage>* shown = nullptr)
    {
        outcome_ = parse(line);
        EXPECT_EQ(outcome_.result, kParseAccepted);
        test::MessageRecorder recorder;
        const int result = applyCommands(outcome_.table, settings, pending);
        if (shown) *shown = recorder.messages();
        return result;
    }

private:
    ParseOutcome outcome_;
};

TEST_F(ApplyCommands, CopySeedsPoliciesAndSources)
{
    settings.cloneTree = 1;
    ASSERT_EQ(apply(L"/c:C:\\Docs\\;a.txt;"), 1);
    EXPECT_EQ(pending, kOperationCopy);
    EXPECT_STREQ(settings.sources, L"C:\\Docs\\;a.txt;");
    EXPECT_STREQ(settings.target, L"");
    EXPECT_EQ(settings.overwrite, 1u);
    EXPECT_EQ(settings.protectReadOnly, 1u);
    EXPECT_EQ(settings.cloneTree, 0u);
}

TEST_F(ApplyCommands, MoveKeepsOverwriteAndTargetIsSet)
{
    settings.overwrite = 2;
    ASSERT_EQ(apply(L"/T:D:\\Out /M:C:\\a\\;b;"), 1);
    EXPECT_EQ(pending, kOperationMove);
    EXPECT_EQ(settings.overwrite, 2u);
    EXPECT_STREQ(settings.target, L"D:\\Out");
}

TEST_F(ApplyCommands, FirstOperationInTableOrderWins)
{
    ASSERT_EQ(apply(L"/M:b /C:a"), 1);
    EXPECT_EQ(pending, kOperationCopy);
    EXPECT_STREQ(settings.sources, L"a");

    pending = kOperationCopy;
    ASSERT_EQ(apply(L"/L:z /D:y"), 1);
    EXPECT_EQ(pending, kOperationDelete);
    EXPECT_STREQ(settings.sources, L"y");
}

TEST_F(ApplyCommands, DeleteAndCompressSetOverwrite)
{
    ASSERT_EQ(apply(L"/D:C:\\x\\;y;"), 1);
    EXPECT_EQ(pending, kOperationDelete);
    EXPECT_EQ(settings.overwrite, 1u);
    settings.overwrite = 0;
    ASSERT_EQ(apply(L"/L:C:\\x\\;y;"), 1);
    EXPECT_EQ(pending, kOperationCompress);
    EXPECT_EQ(settings.overwrite, 1u);
}

TEST_F(ApplyCommands, DriveRootLosesOneSeparator)
{
    ASSERT_EQ(apply(L"/C:C:\\;;"), 1);
    EXPECT_STREQ(settings.sources, L"C:\\;");
    ASSERT_EQ(apply(L"/C:C:\\;a;;"), 1);
    EXPECT_STREQ(settings.sources, L"C:\\;a;;");
}

TEST_F(ApplyCommands, HelpShowsUsageThenDefaultsToCopy)
{
    settings.setSources(L"left over");
    std::vector<test::RecordedMessage> shown;
    ASSERT_EQ(apply(L"/H", &shown), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(shown[0].text.rfind(L" Command Line Usage:\n /H        :Help Message. \n", 0), 0u);
    EXPECT_NE(shown[0].text.find(L" /D:folder :Filtering Delete Tree. "), std::wstring::npos);
    EXPECT_EQ(pending, kOperationCopy);
    EXPECT_STREQ(settings.sources, L"left over"); // no source list given: untouched
}

TEST_F(ApplyCommands, LongParametersAreCutAtTheBuffer)
{
    const std::wstring longList = L"/C:" + std::wstring(40000, L'a');
    ASSERT_EQ(apply(longList), 1);
    EXPECT_EQ(std::wcslen(settings.sources), kRunPathCapacity - 1);
}

} // namespace
