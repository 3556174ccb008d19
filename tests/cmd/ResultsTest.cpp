// What SorvaneCmd.exe writes for other tools and for scripts: names in
// JSON and CSV (lone surrogates included), the XXH128 text, the codes of
// every status and reason, the exit code of every way a run ends (4, an
// internal error, only here), and the texts read without user32.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/Strings.h"
#include "console/ConsoleOutput.h"
#include "console/ResultCodes.h"
#include "console/ResultFiles.h"
#include "engine/VerifiedCopy.h"
#include "run/ConsoleCommand.h"

#include <set>
#include <string>

using namespace sorvane;

namespace {

TEST(ConsoleResults, NamesAreWrittenAsTheyAre)
{
    const struct {
        std::wstring name;
        std::string json;
        std::string csv;
    } names[] = {
        {L"plain.txt", "\"plain.txt\"", "plain.txt"},
        {L"a\"b\\c", "\"a\\\"b\\\\c\"", "\"a\"\"b\\c\""},
        {L"one, two.txt", "\"one, two.txt\"", "\"one, two.txt\""},
        {L"line\r\nbreak\t", "\"line\\r\\nbreak\\t\"", "\"line\r\nbreak\t\""},
        {L" lead", "\" lead\"", "\" lead\""},
        {std::wstring(L"ctl\x01"), "\"ctl\\u0001\"", std::string("ctl\x01")},
        {L"\u65E5\u672C.txt", "\"\xE6\x97\xA5\xE6\x9C\xAC.txt\"", "\xE6\x97\xA5\xE6\x9C\xAC.txt"},
        {L"\xD83D\xDE00", "\"\xF0\x9F\x98\x80\"", "\xF0\x9F\x98\x80"},                 // a pair: one code point
        {std::wstring(L"a\xDC80") + L"b", "\"a\\uDC80b\"", "a\\uDC80b"},              // a lone low surrogate
        {std::wstring(L"\xD800"), "\"\\uD800\"", "\\uD800"},                          // a lone high one at the end
        {std::wstring(L"\xDE00\xD83D"), "\"\\uDE00\\uD83D\"", "\\uDE00\\uD83D"},      // a pair the wrong way round
    };
    for (const auto& n : names) {
        SCOPED_TRACE(n.json);
        EXPECT_EQ(results::jsonString(n.name), n.json);
        EXPECT_EQ(results::csvField(n.name), n.csv);
    }
}

TEST(ConsoleResults, RowsCarryTheirFieldsInJsonAndCsv)
{
    const Digest128 digest = hashBytes("abc", 3); // xxhsum -H2 prints 06b05ab6733a618578af5f94892f3950

    ResultRow row;
    row.source = L"C:\\s\\a,b.txt";
    row.target = L"D:\\t\\a,b.txt";
    row.action = "copy";
    row.outcome.status = kStatusVerified;
    row.outcome.digest = &digest;
    row.hasFacts = true;
    row.size = 3;
    ASSERT_TRUE(console::parseLocalTime(L"2023-08-21", true, row.lastWrite)); // as it is: no zone
    EXPECT_EQ(results::jsonLine(row),
              "{\"source\":\"C:\\\\s\\\\a,b.txt\",\"target\":\"D:\\\\t\\\\a,b.txt\",\"action\":\"copy\",\"status\":"
              "\"verified\",\"reason\":\"none\",\"reason_text\":\"\",\"size\":3,\"mtime\":\"2023-08-21T00:00:00Z\","
              "\"xxh128\":\"06b05ab6733a618578af5f94892f3950\"}\n");
    EXPECT_EQ(results::csvLine(row), "\"C:\\s\\a,b.txt\",\"D:\\t\\a,b.txt\",copy,verified,none,,3,2023-08-21T00:00:00Z,"
                                     "06b05ab6733a618578af5f94892f3950\r\n");

    ResultRow failed;
    failed.source = L"C:\\s\\gone";
    failed.action = "delete";
    failed.outcome.status = kStatusFailed;
    failed.outcome.error = 5;
    failed.reasonText = L"Access is denied.";
    EXPECT_EQ(results::jsonLine(failed),
              "{\"source\":\"C:\\\\s\\\\gone\",\"target\":null,\"action\":\"delete\",\"status\":\"failed\",\"reason\":"
              "\"system_error\",\"reason_text\":\"Access is denied.\",\"size\":null,\"mtime\":null,\"xxh128\":null,"
              "\"error\":5}\n");
    EXPECT_EQ(results::csvLine(failed), "C:\\s\\gone,,delete,failed,system_error,Access is denied.,,,\r\n");
    EXPECT_EQ(results::csvHeader(), "\xEF\xBB\xBFsource,target,action,status,reason,reason_text,size,mtime,xxh128\r\n");
}

TEST(ConsoleResults, EveryStatusAndReasonHasItsOwnCode)
{
    std::set<std::string> statuses;
    for (int s = 0; s < kStatusCount; ++s) statuses.insert(statusCode(static_cast<ItemStatus>(s)));
    EXPECT_EQ(statuses.size(), static_cast<size_t>(kStatusCount));
    std::set<std::string> reasons;
    for (int r = 0; r < kReasonCount; ++r) {
        Outcome outcome;
        outcome.status = kStatusSkipped;
        outcome.reason = static_cast<ItemReason>(r);
        reasons.insert(reasonCode(outcome));
    }
    EXPECT_EQ(reasons.size(), static_cast<size_t>(kReasonCount));
    Outcome failed;
    failed.status = kStatusFolderFailed;
    EXPECT_STREQ(reasonCode(failed), "system_error");
    EXPECT_EQ(reasons.count("system_error"), 0u);
}

TEST(ConsoleResults, ExitCodeOfEveryEnd)
{
    const auto tally = [](std::initializer_list<ItemStatus> statuses) {
        RowTally t;
        for (ItemStatus s : statuses) {
            Outcome o;
            o.status = s;
            t.add(o);
        }
        return t;
    };
    const struct {
        RunEnd end;
        RowTally rows;
        uint32_t engineFailures;
        bool outputFailed;
        int code;
    } cases[] = {
        {RunEnd::Completed, tally({}), 0, false, kExitDone}, // none qualified
        {RunEnd::Completed, tally({kStatusSuccess, kStatusVerified}), 0, false, kExitDone},
        {RunEnd::Completed, tally({kStatusSuccess, kStatusReadOnly}), 1, false, kExitDone}, // a policy kept it
        {RunEnd::Completed, tally({kStatusFolderReadOnly}), 0, false, kExitDone},
        {RunEnd::Completed, tally({kStatusTestOnly, kStatusTestOnly}), 2, false, kExitDone}, // a test run
        {RunEnd::Completed, tally({kStatusSuccess, kStatusFailed}), 1, false, kExitProblems},
        {RunEnd::Completed, tally({kStatusNotExist}), 1, false, kExitProblems},
        {RunEnd::Completed, tally({kStatusSkipped}), 1, false, kExitProblems}, // a link, not a policy
        {RunEnd::Completed, tally({kStatusFolderFailed}), 0, false, kExitProblems},
        {RunEnd::Completed, tally({kStatusSuccess}), 1, false, kExitProblems}, // a failure without its row
        {RunEnd::Completed, tally({kStatusReadOnly}), 2, false, kExitProblems},
        {RunEnd::Completed, tally({kStatusSuccess}), 0, true, kExitInternal}, // the results could not be written
        {RunEnd::Refused, tally({}), 0, false, kExitRefused},
        {RunEnd::NoRoom, tally({}), 0, false, kExitRefused},
        {RunEnd::Cancelled, tally({kStatusSuccess, kStatusFailed}), 1, false, kExitCancelled},
        {RunEnd::Stopped, tally({kStatusSuccess}), 0, false, kExitInternal},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(index++);
        EXPECT_EQ(exitCodeFor(c.end, c.rows, c.engineFailures, c.outputFailed), c.code);
    }
}

// A check: every state its own word and count; exit 0 only when every
// line was good.
TEST(ConsoleResults, CheckStatesCodesAndExitCodes)
{
    const std::pair<SumState, const char*> words[] = {{SumState::Good, "good"},       {SumState::Changed, "changed"},
                                                      {SumState::Missing, "missing"}, {SumState::Unread, "unread"},
                                                      {SumState::Damaged, "damaged"}};
    for (const auto& [state, word] : words) {
        EXPECT_STREQ(sumStateCode(state), word);
        CheckCounts counts;
        counts.add(SumState::Good);
        counts.add(state);
        const uint64_t* const fields[] = {&counts.good, &counts.changed, &counts.missing, &counts.unread, &counts.damaged};
        EXPECT_EQ(*fields[static_cast<int>(state)], state == SumState::Good ? 2u : 1u) << word;
        EXPECT_EQ(counts.good + counts.changed + counts.missing + counts.unread + counts.damaged, 2u) << word;
        EXPECT_EQ(checkExitCode(counts, false, false), state == SumState::Good ? kExitDone : kExitProblems) << word;
        EXPECT_EQ(checkExitCode(counts, true, false), kExitCancelled) << word;
        EXPECT_EQ(checkExitCode(counts, false, true), kExitInternal) << word;
    }
    EXPECT_EQ(checkExitCode(CheckCounts(), false, false), kExitDone) << "an empty checksum file";

    // The closing object: the files checked and every state's count.
    CheckTotals totals;
    totals.counts.good = 3;
    totals.counts.changed = 1;
    totals.counts.damaged = 2;
    totals.end = "completed";
    totals.exitCode = 1;
    EXPECT_EQ(results::jsonCheckClosing(totals),
              "{\"totals\":{\"files\":4,\"good\":3,\"changed\":1,\"missing\":0,\"unread\":0,\"damaged\":2},"
              "\"end\":\"completed\",\"exit_code\":1}\n");
}

TEST(ConsoleResults, RowsFitTheConsoleWhateverTheirScript)
{
    EXPECT_EQ(console::columns(L"abc"), 3);
    EXPECT_EQ(console::columns(L"\u65E5\u672Ca"), 5) << "wide letters take two columns";
    EXPECT_EQ(console::columns(L"\xD83D\xDE00"), 2) << "a pair is one character";
    const std::wstring path = L"C:\\\u65E5\u672C\\folder\\\xD83D\xDE00-name.txt";
    for (int limit = 0; limit <= console::columns(path) + 2; ++limit) {
        SCOPED_TRACE(limit);
        const std::wstring start = console::cutToColumns(path, limit);
        const std::wstring end = console::cutFromStart(path, limit);
        EXPECT_LE(console::columns(start), limit);
        EXPECT_LE(console::columns(end), limit);
        EXPECT_EQ(path.compare(0, start.size(), start), 0);
        // Never half a pair.
        EXPECT_FALSE(!end.empty() && end[end.size() - 1] == 0xD83D);
        if (limit >= console::columns(path)) {
            EXPECT_EQ(end, path);
        } else if (limit > 3) {
            EXPECT_EQ(end.compare(0, 3, L"..."), 0);
            EXPECT_EQ(path.compare(path.size() - (end.size() - 3), end.size() - 3, end, 3, std::wstring::npos), 0);
            EXPECT_FALSE(end.size() > 3 && end[3] >= 0xDC00 && end[3] <= 0xDFFF) << "never half a pair";
        }
    }
}

// Both programs read their texts without user32: every string of the
// English table and of the Japanese library reads as LoadStringW reads it.
TEST(ConsoleResults, StringsReadWithoutUser32AreThoseOfLoadString)
{
    const std::wstring library = test::distFolder() + L"Sorvane.0411";
    HMODULE japanese = ::LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(japanese, nullptr) << "Sorvane.0411 is built beside the program";
    for (HMODULE module : {::GetModuleHandleW(nullptr), japanese}) {
        int found = 0;
        for (UINT id = 0; id < 4096; ++id) {
            const wchar_t* text = nullptr;
            const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
            const std::wstring expected = length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
            ASSERT_EQ(readStringResource(module, id), expected) << id;
            if (!expected.empty()) ++found;
        }
        EXPECT_GT(found, 200);
    }
    ::FreeLibrary(japanese);
}

} // namespace
