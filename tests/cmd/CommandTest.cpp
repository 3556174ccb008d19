// SorvaneCmd.exe's command line: every switch and word read or refused as
// the table says, job files under the command line, and the command line
// a report shows read back (through CommandLineToArgvW) as the very
// settings it was written from.
#include <gtest/gtest.h>

#include "engine/FileTimes.h"
#include "engine/FileTreeSetting.h"
#include "res/SorvaneRes.h"
#include "run/ConsoleCommand.h"

#include <shellapi.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

using Args = std::vector<std::wstring>;
using Check = std::function<void(const FILE_TREE_SETTING&, const ConsoleOptions&)>;

struct Case {
    Args args;
    UINT problem; // 0: accepted
    Check check;
};

CommandProblem apply(const Args& args, FILE_TREE_SETTING& settings, ConsoleOptions& options)
{
    CommandKeys keys;
    if (CommandProblem problem = keys.readArguments(args)) return problem;
    return applyCommandKeys(keys, settings, options);
}

const std::wstring S = L"C:\\src";
const std::wstring T = L"D:\\out";

TEST(ConsoleCommand, EverySwitchReadOrRefusedAsTheTableSays)
{
    const Case cases[] = {
        {{L"copy", S, T}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions& o) {
             EXPECT_EQ(s.kind(), kOperationCopy);
             EXPECT_STREQ(s.patterns, L"*.*");
             EXPECT_EQ(s.overwritePolicy(), OverwritePolicy::IfNewer);
             EXPECT_EQ(s.verifyCopies, 0u);
             EXPECT_EQ(s.includeSubfolders, 1u);
             EXPECT_EQ(s.timeMode, 0u);
             EXPECT_FALSE(o.quiet);
         }},
        {{L"MOVE", L"C:\\src\\;a;b c", T, L"/Names:*.txt;*.md", L"/OVERWRITE:Always", L"/clone", L"/exclude", L"/nosub",
          L"/log:r.jsonl", L"/csv:r.csv", L"/quiet"},
         0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions& o) {
             EXPECT_EQ(s.kind(), kOperationMove);
             EXPECT_STREQ(s.sources, L"C:\\src\\;a;b c");
             EXPECT_STREQ(s.patterns, L"*.txt;*.md");
             EXPECT_EQ(s.overwritePolicy(), OverwritePolicy::Always);
             EXPECT_EQ(s.cloneTree, 1u);
             EXPECT_EQ(s.verifyCopies, 1u) << "a move verifies unless told not to";
             EXPECT_EQ(s.excludePatterns, 1u);
             EXPECT_EQ(s.includeSubfolders, 0u);
             EXPECT_EQ(o.logPath, L"r.jsonl");
             EXPECT_EQ(o.csvPath, L"r.csv");
             EXPECT_TRUE(o.quiet);
         }},
        {{L"move", S, T, L"/verify:no", L"/overwrite:never"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) {
             EXPECT_EQ(s.verifyCopies, 0u);
             EXPECT_EQ(s.overwritePolicy(), OverwritePolicy::Never);
         }},
        {{L"copy", S, T, L"/verify:YES"}, 0, [](const FILE_TREE_SETTING& s, const ConsoleOptions&) { EXPECT_EQ(s.verifyCopies, 1u); }},
        {{L"delete", S, L"/recycle", L"/test", L"/protect"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) {
             EXPECT_TRUE(s.deleteToRecycleBin());
             EXPECT_EQ(s.testOnly, 1u);
             EXPECT_EQ(s.protectReadOnly, 1u);
             EXPECT_STREQ(s.target, L"");
         }},
        {{L"delete", S}, 0, [](const FILE_TREE_SETTING& s, const ConsoleOptions&) { EXPECT_FALSE(s.deleteToRecycleBin()); }},
        {{L"compress", S, L"D:\\a.lzh", L"/archive:new", L"/sfx"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) {
             EXPECT_EQ(s.archiveMode(), ArchiveMode::New);
             EXPECT_TRUE(s.selfExtractor().make);
         }},
        {{L"compress", S, L"D:\\a.lzh"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) { EXPECT_EQ(s.archiveMode(), ArchiveMode::AddNewer); }},
        {{L"copy", S, T, L"/size:min:100"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) {
             EXPECT_EQ(s.sizeFilter().sizeClass, kSizeSpecified);
             EXPECT_FALSE(s.sizeFilter().limitIsMaximum);
             EXPECT_EQ(s.sizeFilter().limitKB, 100u);
         }},
        {{L"delete", S, L"/size:MAX:4294967295"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) {
             EXPECT_TRUE(s.sizeFilter().limitIsMaximum);
             EXPECT_EQ(s.sizeFilter().limitKB, 4294967295u);
         }},
        {{L"copy", S, T, L"/size:middle"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) { EXPECT_EQ(s.sizeFilter().sizeClass, kSizeMiddle); }},
        {{L"copy", S, T, L"/after:2024-01-31"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions&) {
             EXPECT_EQ(s.timeMode, 1u);
             EXPECT_EQ(fileTimeValue(s.timeTo), console::kOpenEnd) << "an open end";
         }},
        // Refused: one problem, named.
        {{}, IDS_CMD_NO_OPERATION, nullptr},
        {{L"copi", S, T}, IDS_CMD_UNKNOWN_OPERATION, nullptr},
        {{L"copy"}, IDS_CMD_NO_SOURCE, nullptr},
        {{L"copy", L"  "}, IDS_CMD_NO_SOURCE, nullptr},
        {{L"copy", S}, IDS_CMD_NO_TARGET, nullptr},
        {{L"delete", S, T}, IDS_CMD_TARGET_FOR_DELETE, nullptr},
        {{L"copy", S, T, L"/bogus"}, IDS_CMD_UNKNOWN_SWITCH, nullptr},
        {{L"copy", S, T, L"/source:x"}, IDS_CMD_UNKNOWN_SWITCH, nullptr},
        {{L"copy", S, T, L"/names"}, IDS_CMD_NEEDS_VALUE, nullptr},
        {{L"copy", S, T, L"/names:"}, IDS_CMD_NEEDS_VALUE, nullptr},
        {{L"copy", S, T, L"/exclude:maybe"}, IDS_CMD_FLAG_VALUE, nullptr},
        {{L"copy", S, T, L"/exclude:"}, IDS_CMD_FLAG_VALUE, nullptr},
        {{L"copy", S, T, L"extra"}, IDS_CMD_EXTRA_ARGUMENT, nullptr},
        {{L"copy", S, T, L"/recycle"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"copy", S, T, L"/test:no"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"delete", S, L"/overwrite:always"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"delete", S, L"/verify"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"compress", S, L"D:\\a.lzh", L"/size:small"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"compress", S, L"D:\\a.lzh", L"/protect"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"move", S, T, L"/archive:new"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"copy", S, T, L"/overwrite:sometimes"}, IDS_CMD_BAD_VALUE, nullptr},
        {{L"compress", S, L"D:\\a.lzh", L"/archive:older"}, IDS_CMD_BAD_VALUE, nullptr},
        {{L"copy", S, T, L"/size:huge"}, IDS_CMD_BAD_VALUE, nullptr},
        {{L"copy", S, T, L"/size:min:"}, IDS_CMD_BAD_VALUE, nullptr},
        {{L"copy", S, T, L"/size:min:12x"}, IDS_CMD_BAD_VALUE, nullptr},
        {{L"copy", S, T, L"/size:max:4294967296"}, IDS_CMD_BAD_VALUE, nullptr},
        {{L"copy", S, T, L"/after:2024-13-01"}, IDS_CMD_BAD_TIME, nullptr},
        {{L"copy", S, T, L"/after:2023-02-29"}, IDS_CMD_BAD_TIME, nullptr},
        {{L"copy", S, T, L"/before:2024-01-01T24:00"}, IDS_CMD_BAD_TIME, nullptr},
        {{L"copy", S, T, L"/before:2024-01-01T10:00:00.12345678"}, IDS_CMD_BAD_TIME, nullptr},
        {{L"copy", S, T, L"/before:24-01-01"}, IDS_CMD_BAD_TIME, nullptr},
        {{L"copy", S, T, L"/before:2024-01-01 10:00"}, IDS_CMD_BAD_TIME, nullptr},
        {{L"copy", S, T, L"/after:2024-02-01", L"/before:2024-01-01"}, IDS_CMD_TIME_ORDER, nullptr},
        {{L"copy", S, T, L"/after:2024-02-01", L"/before:2024-02-01"}, IDS_CMD_TIME_ORDER, nullptr},
        {{L"copy", S, T, L"/names:a", L"/NAMES:b"}, IDS_CMD_SWITCH_TWICE, nullptr},
        {{L"copy", S, T, L"/job:"}, IDS_CMD_NEEDS_VALUE, nullptr},
        {{L"copy", S, T, L"/job:a", L"/job:b"}, IDS_CMD_SWITCH_TWICE, nullptr},
        // "C:\My Files\" in quotes: CommandLineToArgvW reads the last
        // backslash as an escaped quote, and the target with it.
        {{L"copy", L"C:\\My Files\" D:\\out"}, IDS_CMD_QUOTE_INSIDE, nullptr},
        {{L"copy", S, L"D:\\o\"ut"}, IDS_CMD_QUOTE_INSIDE, nullptr},
        {{L"copy", S, T, L"/names:" + std::wstring(kPatternCapacity, L'a')}, IDS_CMD_TOO_LONG, nullptr},
        // A checksum file holds verified copies only.
        {{L"copy", S, T, L"/verify", L"/sums:D:\\out\\s.xxh128"}, 0,
         [](const FILE_TREE_SETTING& s, const ConsoleOptions& o) {
             EXPECT_EQ(s.verifyCopies, 1u);
             EXPECT_EQ(o.sumsPath, L"D:\\out\\s.xxh128");
         }},
        {{L"move", S, T, L"/SUMS:s.xxh128"}, 0,
         [](const FILE_TREE_SETTING&, const ConsoleOptions& o) { EXPECT_EQ(o.sumsPath, L"s.xxh128") << "a move verifies"; }},
        {{L"copy", S, T}, 0, [](const FILE_TREE_SETTING&, const ConsoleOptions& o) { EXPECT_TRUE(o.sumsPath.empty()); }},
        {{L"copy", S, T, L"/sums:D:\\out\\s.xxh128"}, IDS_CMD_SUMS_NEEDS_VERIFY, nullptr},
        {{L"copy", S, T, L"/verify:no", L"/sums:s.xxh128"}, IDS_CMD_SUMS_NEEDS_VERIFY, nullptr},
        {{L"move", S, T, L"/verify:no", L"/sums:s.xxh128"}, IDS_CMD_SUMS_NEEDS_VERIFY, nullptr},
        {{L"delete", S, L"/sums:s.xxh128"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"compress", S, L"D:\\a.lzh", L"/sums:s.xxh128"}, IDS_CMD_NOT_FOR_OPERATION, nullptr},
        {{L"copy", S, T, L"/verify", L"/sums"}, IDS_CMD_NEEDS_VALUE, nullptr},
        {{L"copy", S, T, L"/verify", L"/sums:a", L"/sums:b"}, IDS_CMD_SWITCH_TWICE, nullptr},
    };
    for (const Case& c : cases) {
        std::wstring joined;
        for (const std::wstring& a : c.args) joined += a + L" ";
        SCOPED_TRACE(std::string(joined.begin(), joined.end()));
        FILE_TREE_SETTING settings;
        ConsoleOptions options;
        const CommandProblem problem = apply(c.args, settings, options);
        EXPECT_EQ(problem.id, c.problem);
        if (c.problem == 0 && c.check) c.check(settings, options);
    }
}

TEST(ConsoleCommand, CheckTakesOneChecksumFileAndItsOwnSwitchesOnly)
{
    const struct {
        Args args;
        UINT problem;
        CheckOptions expected;
    } cases[] = {
        {{L"check", L"C:\\b\\s.xxh128"}, 0, {L"C:\\b\\s.xxh128", L"", L"", false, false}},
        {{L"CHECK", L"/Quiet", L"s.xxh128", L"/log:r.jsonl", L"/CSV:r.csv"}, 0, {L"s.xxh128", L"r.jsonl", L"r.csv", true, false}},
        {{L"check", L"s.xxh128", L"/quiet:no"}, 0, {L"s.xxh128", L"", L"", false, false}},
        {{L"check", L"/?"}, 0, {L"", L"", L"", false, true}},
        {{L"check"}, IDS_CMD_CHECK_NO_FILE, {}},
        {{L"check", L"  "}, IDS_CMD_CHECK_NO_FILE, {}},
        {{L"check", L"a.xxh128", L"b.xxh128"}, IDS_CMD_EXTRA_ARGUMENT, {}},
        {{L"check", L"a.xxh128", L"/verify"}, IDS_CMD_UNKNOWN_SWITCH, {}},
        {{L"check", L"a.xxh128", L"/sums:b"}, IDS_CMD_UNKNOWN_SWITCH, {}},
        {{L"check", L"a.xxh128", L"/log"}, IDS_CMD_NEEDS_VALUE, {}},
        {{L"check", L"a.xxh128", L"/log:x", L"/log:y"}, IDS_CMD_SWITCH_TWICE, {}},
        {{L"check", L"a.xxh128", L"/quiet:maybe"}, IDS_CMD_FLAG_VALUE, {}},
        {{L"check", L"a\"b.xxh128"}, IDS_CMD_QUOTE_INSIDE, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? std::string(c.args[1].begin(), c.args[1].end()) : std::string("(none)"));
        ASSERT_TRUE(isCheckCommand(c.args));
        CheckOptions options;
        EXPECT_EQ(readCheckArguments(c.args, options).id, c.problem);
        if (c.problem != 0) continue;
        EXPECT_EQ(options.sumsPath, c.expected.sumsPath);
        EXPECT_EQ(options.logPath, c.expected.logPath);
        EXPECT_EQ(options.csvPath, c.expected.csvPath);
        EXPECT_EQ(options.quiet, c.expected.quiet);
        EXPECT_EQ(options.help, c.expected.help);
    }
    // Only the first word makes a check; a copy's source named "check" does not.
    EXPECT_FALSE(isCheckCommand({L"copy", L"check", T}));
    EXPECT_FALSE(isCheckCommand({}));
}

TEST(ConsoleCommand, HelpIsSeenAnywhereAndNothingElseIsNeeded)
{
    CommandKeys keys;
    EXPECT_FALSE(keys.readArguments({L"copy", L"/?"}));
    EXPECT_TRUE(keys.helpAsked());
    CommandKeys none;
    EXPECT_FALSE(none.readArguments({}));
    EXPECT_FALSE(none.helpAsked());
}

TEST(ConsoleCommand, JobFileTakesEveryKeyAndTheCommandLineOverridesIt)
{
    const std::string job =
        "\xEF\xBB\xBF# nightly copy\r\n"
        "operation = copy\r\n"
        "; the sources\r\n"
        "source=C:\\Daten\\;Ber\xC3\xA4" "richte\r\n"
        "target=D:\\Sicherung\r\n"
        "names=*.txt\r\n"
        "overwrite=never\r\n"
        "verify=yes\r\n"
        "protect=yes\r\n"
        "\r\n";
    CommandKeys keys;
    ASSERT_FALSE(keys.readJobText(job, L"job.txt"));
    CommandKeys line;
    ASSERT_FALSE(line.readArguments({L"/overwrite:always", L"/protect:no", L"/job:job.txt"}));
    EXPECT_EQ(line.jobFile(), L"job.txt");
    keys.overrideWith(line);
    FILE_TREE_SETTING s;
    ConsoleOptions o;
    ASSERT_FALSE(applyCommandKeys(keys, s, o));
    EXPECT_EQ(s.kind(), kOperationCopy);
    EXPECT_STREQ(s.sources, L"C:\\Daten\\;Ber\u00E4richte");
    EXPECT_STREQ(s.target, L"D:\\Sicherung");
    EXPECT_STREQ(s.patterns, L"*.txt") << "kept from the job file";
    EXPECT_EQ(s.overwritePolicy(), OverwritePolicy::Always) << "the command line wins";
    EXPECT_EQ(s.protectReadOnly, 0u) << "a flag turned off on the command line";
    EXPECT_EQ(s.verifyCopies, 1u);

    // The command line's words override the job file's too.
    CommandKeys words;
    ASSERT_FALSE(words.readArguments({L"move", L"E:\\x"}));
    CommandKeys again;
    ASSERT_FALSE(again.readJobText(job, L"job.txt"));
    again.overrideWith(words);
    ASSERT_FALSE(applyCommandKeys(again, s, o));
    EXPECT_EQ(s.kind(), kOperationMove);
    EXPECT_STREQ(s.sources, L"E:\\x");
    EXPECT_STREQ(s.target, L"D:\\Sicherung");

    // "sums" is a job file's key as every switch is.
    CommandKeys sums;
    ASSERT_FALSE(sums.readJobText(job + "sums=D:\\Sicherung\\s.xxh128\n", L"job.txt"));
    ASSERT_FALSE(applyCommandKeys(sums, s, o));
    EXPECT_EQ(o.sumsPath, L"D:\\Sicherung\\s.xxh128");

    const struct {
        std::string text;
        UINT problem;
    } refused[] = {
        {"bogus=1\n", IDS_CMD_JOB_UNKNOWN_KEY},
        {"job=other.txt\n", IDS_CMD_JOB_UNKNOWN_KEY},
        {"names\n", IDS_CMD_JOB_BAD_LINE},
        {"names=a\nnames=b\n", IDS_CMD_JOB_KEY_TWICE},
        {"names=\n", IDS_CMD_NEEDS_VALUE},
        {"verify=perhaps\n", IDS_CMD_FLAG_VALUE},
        {"source=C:\\\xFF\xFE\n", IDS_CMD_JOB_NOT_UTF8},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.text);
        CommandKeys k;
        EXPECT_EQ(k.readJobText(r.text, L"job.txt").id, r.problem);
    }
}

// Random settings of every operation, written as the report writes them,
// split as the console program splits its command line, and read back.
TEST(ConsoleCommand, TheRepeatCommandLineReadsBackAsItsSettings)
{
    std::mt19937 random(24);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const wchar_t* const folders[] = {L"C:\\Data", L"C:\\My Files", L"\\\\server\\share\\a b", L"D:\\x\\y z\\",
                                      L"C:\\\u65E5\u672C"};
    const wchar_t* const patterns[] = {L"*.*", L"*.txt;*.md", L"a b*.doc", L"#*.log;*"};
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        FILE_TREE_SETTING s;
        const uint32_t kinds[] = {kOperationCopy, kOperationMove, kOperationDelete, kOperationCompress};
        s.operation = kinds[pick(4)];
        const std::wstring folder = folders[pick(5)];
        const std::wstring sources = pick(2) ? folder : folder + (folder.back() == L'\\' ? L"" : L"\\") + L";a;b c;";
        s.setSources(sources.c_str());
        s.setTarget(s.kind() == kOperationDelete ? L"" : (pick(2) ? L"E:\\out dir" : L"E:\\"));
        s.setPatterns(patterns[pick(4)]);
        s.excludePatterns = pick(2);
        s.includeSubfolders = pick(2);
        if (pick(2)) {
            s.timeMode = 1;
            // Whole seconds mostly, a fraction now and then; within this
            // century, the start before the end.
            const uint64_t base = 125911584000000000ull + static_cast<uint64_t>(random()) * 10000000ull;
            const uint64_t ticks = pick(4) == 0 ? static_cast<uint64_t>(pick(10000000)) : 0;
            s.timeFrom = fileTimeOfValue(pick(3) == 0 ? console::kOpenStart : base + ticks);
            s.timeTo = fileTimeOfValue(pick(3) == 0 ? console::kOpenEnd : base + 86400ull * 10000000ull * (1 + pick(400)));
        }
        s.protectReadOnly = s.kind() == kOperationCompress ? 0 : pick(2);
        if (s.kind() == kOperationCompress) {
            s.setArchiveMode(static_cast<ArchiveMode>(pick(3)));
            SelfExtractor sfx;
            sfx.make = pick(2) != 0;
            s.setSelfExtractor(sfx);
        } else {
            SizeFilter size;
            size.sizeClass = static_cast<SizeClass>(pick(5));
            if (size.sizeClass == kSizeSpecified) {
                size.limitIsMaximum = pick(2) != 0;
                size.limitKB = static_cast<uint32_t>(random());
            }
            s.setSizeFilter(size);
        }
        if (s.kind() == kOperationCopy || s.kind() == kOperationMove) {
            s.setOverwritePolicy(static_cast<OverwritePolicy>(pick(3)));
            s.cloneTree = pick(2);
            s.verifyCopies = pick(2);
        } else if (s.kind() == kOperationDelete) {
            s.setDeleteToRecycleBin(pick(2) != 0);
            s.testOnly = pick(2);
        }

        const std::wstring line = consoleCommandLine(s);
        SCOPED_TRACE(std::string(line.begin(), line.end()));
        int count = 0;
        LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        Args args(argv + 1, argv + count);
        ::LocalFree(argv);
        EXPECT_EQ(args, consoleArguments(s)) << "every argument comes back as it was";

        FILE_TREE_SETTING r;
        ConsoleOptions o;
        const CommandProblem problem = apply(args, r, o);
        ASSERT_EQ(problem.id, 0u);
        EXPECT_EQ(r.kind(), s.kind());
        // A lone folder loses its last backslash; anything else is as it was.
        std::wstring expected = sources;
        if (expected.find(L';') == std::wstring::npos && expected.back() == L'\\') expected.pop_back();
        EXPECT_EQ(std::wstring(r.sources), expected);
        EXPECT_STREQ(r.patterns, s.patterns);
        EXPECT_EQ(r.excludePatterns, s.excludePatterns);
        EXPECT_EQ(r.includeSubfolders, s.includeSubfolders);
        // A range open at both ends is no range.
        const bool ranged = s.timeMode == 1 && !(fileTimeValue(s.timeFrom) == console::kOpenStart &&
                                                  fileTimeValue(s.timeTo) == console::kOpenEnd);
        EXPECT_EQ(r.timeMode, ranged ? 1u : 0u);
        if (ranged) {
            EXPECT_EQ(fileTimeValue(r.timeFrom), fileTimeValue(s.timeFrom));
            EXPECT_EQ(fileTimeValue(r.timeTo), fileTimeValue(s.timeTo));
        }
        EXPECT_EQ(r.protectReadOnly, s.protectReadOnly);
        EXPECT_EQ(r.overwrite, s.overwrite);
        EXPECT_EQ(r.cloneTree, s.cloneTree);
        EXPECT_EQ(r.verifyCopies, s.verifyCopies);
        EXPECT_EQ(r.testOnly, s.testOnly);
        if (s.kind() == kOperationCompress) {
            EXPECT_EQ(r.selfExtractor().make, s.selfExtractor().make);
        } else {
            EXPECT_EQ(r.sizeFilter().sizeClass, s.sizeFilter().sizeClass);
            EXPECT_EQ(r.sizeFilter().limitIsMaximum, s.sizeFilter().limitIsMaximum);
            EXPECT_EQ(r.sizeFilter().limitKB, s.sizeFilter().limitKB);
        }
    }
}

// Any text of blanks, quotes and backslashes comes back through
// CommandLineToArgvW as it was quoted.
TEST(ConsoleCommand, QuotingFollowsTheRulesCommandLineToArgvWReads)
{
    std::mt19937 random(7);
    const wchar_t alphabet[] = {L'a', L' ', L'"', L'\\', L'\t', L'\u00E9'};
    for (int round = 0; round < 2000; ++round) {
        std::wstring text;
        const int length = static_cast<int>(random() % 9);
        for (int i = 0; i < length; ++i) text += alphabet[random() % 6];
        const std::wstring line = L"x.exe " + quoteArgument(text) + L" next";
        int count = 0;
        LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        ASSERT_EQ(count, 3) << std::string(line.begin(), line.end());
        EXPECT_EQ(std::wstring(argv[1]), text);
        EXPECT_EQ(std::wstring(argv[2]), L"next");
        ::LocalFree(argv);
    }
    EXPECT_EQ(quoteArgument(L"C:\\plain"), L"C:\\plain") << "nothing to quote";
    EXPECT_EQ(quoteArgument(L"C:\\a b\\"), L"\"C:\\a b\\\\\"") << "the backslash before the closing quote doubled";
}

TEST(ConsoleCommand, TimesAreReadAndWrittenInTheirShortestForm)
{
    const struct {
        const wchar_t* text;
        const wchar_t* shortest;
    } times[] = {
        {L"2024-03-05", L"2024-03-05"},
        {L"2024-03-05T00:00", L"2024-03-05"},
        {L"2024-03-05T07:08", L"2024-03-05T07:08"},
        {L"2024-03-05T07:08:00", L"2024-03-05T07:08"},
        {L"2024-03-05T07:08:09", L"2024-03-05T07:08:09"},
        {L"2024-03-05T07:08:09.5", L"2024-03-05T07:08:09.5"},
        {L"2024-03-05T07:08:09.0000001", L"2024-03-05T07:08:09.0000001"},
        {L"2024-02-29T23:59:59", L"2024-02-29T23:59:59"},
    };
    for (const bool local : {false, true}) {
        for (const auto& t : times) {
            SCOPED_TRACE(std::wstring(t.text).size() + (local ? 100 : 0));
            FILETIME parsed = {};
            ASSERT_TRUE(console::parseLocalTime(t.text, local, parsed));
            EXPECT_EQ(console::formatLocalTime(parsed, local), t.shortest);
        }
    }
    // UTC as the results files write it.
    FILETIME time = {};
    ASSERT_TRUE(console::parseLocalTime(L"2024-03-05T07:08:09.25", true, time));
    EXPECT_EQ(console::formatUtcTime(time), L"2024-03-05T07:08:09.25Z");
}

} // namespace
