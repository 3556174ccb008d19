// The checksum file of a run's verified copies: every row handed on to the
// run's own log unchanged, a line for each verified copy (and nothing
// else), a copy that cannot be listed said at the close, and the link form
// of the file.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Checksums.h"
#include "engine/VerifiedCopy.h"
#include "run/ChecksumLog.h"

#include <string>
#include <utility>
#include <vector>

using namespace sorvane;

namespace {

class RecordingLog final : public ILogSink {
public:
    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override
    {
        rows.emplace_back(path ? path : L"", outcome.status);
    }
    std::vector<std::pair<std::wstring, ItemStatus>> rows;
};

std::string utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    out.pop_back();
    return out;
}

Digest128 digestOf(uint64_t n) { return Digest128{n * 0x9E3779B97F4A7C15ull, ~n}; }

TEST(ChecksumLog, VerifiedCopiesAloneGetLinesAndEveryRowGoesOn)
{
    test::TempFolder folder;
    const std::wstring sums = folder / L"sums.xxh128";
    ChecksumLog log;
    ASSERT_EQ(log.open(sums), 0u);
    RecordingLog next;
    ASSERT_EQ(log.wrap(&next, nullptr), &log);

    const Digest128 digests[] = {digestOf(1), digestOf(2), digestOf(3), digestOf(4)};
    const struct {
        std::wstring path;
        ItemStatus status;
        const Digest128* digest;
        const char* line; // null: no line
    } rows[] = {
        {folder / L"a.txt", kStatusVerified, &digests[0], "  a.txt"},
        {L"\\\\?\\" + (folder / L"sub\\with blanks.txt"), kStatusVerified, &digests[1], "  sub/with blanks.txt"},
        {folder / L"sub\\\u65E5\u672C.txt", kStatusVerified, &digests[2], "  sub/\xE6\x97\xA5\xE6\x9C\xAC.txt"},
        {folder / L"copied.txt", kStatusSuccess, nullptr, nullptr},      // not verified
        {folder / L"verified-no-hash.txt", kStatusVerified, nullptr, nullptr},
        {folder / L"failed.txt", kStatusFailed, &digests[3], nullptr},
        {sums, kStatusVerified, &digests[3], nullptr},                     // never listed in itself
    };
    std::string expected;
    for (const auto& row : rows) {
        Outcome outcome;
        outcome.status = row.status;
        outcome.digest = row.digest;
        log.WriteOutcome(row.path.c_str(), outcome);
        if (row.line) expected += digestText(*row.digest) + row.line + "\n";
    }
    ASSERT_EQ(next.rows.size(), std::size(rows)) << "every row reaches the run's own log";
    for (size_t i = 0; i < next.rows.size(); ++i) {
        EXPECT_EQ(next.rows[i].first, rows[i].path);
        EXPECT_EQ(next.rows[i].second, rows[i].status);
    }
    EXPECT_EQ(log.lines(), 3u);
    EXPECT_EQ(log.close(), 0u);
    EXPECT_EQ(test::readBytes(sums), expected);
}

TEST(ChecksumLog, ACopyThatCannotBeListedIsSaidAtTheClose)
{
    test::TempFolder folder;
    ChecksumLog log;
    // The checksum file's folder is made as the run would make its target.
    const std::wstring sums = folder / L"target\\deeper\\s.xxh128";
    ASSERT_EQ(log.open(sums), 0u);
    RecordingLog next;
    log.wrap(&next, nullptr);
    const Digest128 digest = digestOf(7);
    Outcome verified;
    verified.status = kStatusVerified;
    verified.digest = &digest;
    log.WriteOutcome((folder / L"target\\deeper\\in.txt").c_str(), verified);
    log.WriteOutcome((folder / L"outside.txt").c_str(), verified); // above the checksum file's folder
    EXPECT_EQ(next.rows.size(), 2u);
    EXPECT_EQ(log.lines(), 1u);
    EXPECT_EQ(log.missed(), 1u);
    EXPECT_NE(log.close(), 0u) << "a verified copy without its line";
    EXPECT_EQ(test::readBytes(sums), digestText(digest) + "  in.txt\n");
}

// The report links the file by a file URL (the dialog run shows it whole).
TEST(ChecksumLog, LinkForms)
{
    const std::pair<const wchar_t*, const wchar_t*> links[] = {
        {L"C:\\a\\b.xxh128", L"file:///C:/a/b.xxh128"},
        {L"\\\\?\\C:\\a b\\100%?#.x", L"file:///C:/a%20b/100%25%3F%23.x"},
        {L"\\\\server\\share\\s.xxh128", L"file://server/share/s.xxh128"},
        {L"C:\\\u65E5\u672C\\s.xxh128", L"file:///C:/\u65E5\u672C/s.xxh128"},
    };
    for (const auto& [path, url] : links) EXPECT_EQ(fileUrlOf(path), url) << utf8(path);
}

} // namespace
