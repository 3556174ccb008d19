// Checksum files: what the writer writes is what xxHash's own tool checks,
// and the check tells good, changed, missing and damaged lines apart
// without stopping at any of them.
#include "EngineFakes.h"

#include "engine/Checksums.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace sorvane {
namespace {

struct Recorded : ISumCheckSink {
    void CheckedLine(uint64_t line, const std::wstring& path, SumState state, DWORD) override
    {
        lines[line] = state;
        paths[line] = path;
    }
    std::map<uint64_t, SumState> lines;
    std::map<uint64_t, std::wstring> paths;
};

TEST(Checksums, TheDigestReadsAsXxhsumPrintsIt)
{
    // `printf '' | xxhsum -H2` and the 32 digits of a longer input.
    EXPECT_EQ(digestText(hashBytes("", 0)), "99aa06d3014798d86001c324468d497f");
    Digest128 back{};
    const std::string text = digestText(hashBytes("Sorvane", 7));
    ASSERT_TRUE(parseDigest(text.data(), text.size(), back));
    EXPECT_TRUE(back == hashBytes("Sorvane", 7));
    for (const char* bad : {"", "99aa06d3014798d86001c324468d497", "99aa06d3014798d86001c324468d497g",
                            "99aa06d3014798d86001c324468d497f0"}) {
        EXPECT_FALSE(parseDigest(bad, std::strlen(bad), back)) << bad;
    }
}

TEST(Checksums, AFileWrittenForATreeIsCheckedByXxhsumAndByTheCheck)
{
    test::TempFolder folder;
    const std::wstring target = folder / L"target";
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((target + L"\\sub dir").c_str(), nullptr));
    const std::vector<std::pair<std::wstring, std::string>> files = {
        {L"a.txt", "alpha"},
        {L"empty.bin", ""},
        {L"sub dir\\\u65E5\u672C.txt", std::string(70000, 'x')},
        {L"sub dir\\b c.txt", "bee"},
    };
    for (const auto& file : files) ASSERT_TRUE(test::writeBytes(target + L"\\" + file.first, file.second));

    // In the target's parent, as a file the user names may be.
    const std::wstring sums = folder / L"copies.xxh128";
    ASSERT_TRUE(checksumFileFitsTarget(sums.c_str(), target.c_str()));
    ChecksumWriter writer;
    ASSERT_EQ(writer.open(sums.c_str()), 0u);
    for (const auto& file : files) {
        Digest128 digest{};
        ASSERT_EQ(hashFileUnbuffered((target + L"\\" + file.first).c_str(), digest), 0u);
        EXPECT_TRUE(digest == hashBytes(file.second.data(), file.second.size())) << "the uncached read is the bytes";
        EXPECT_TRUE(writer.add((target + L"\\" + file.first).c_str(), digest));
    }
    EXPECT_FALSE(writer.add((folder.path() + L"\\..\\elsewhere.txt").c_str(), Digest128{})) << "outside its folder";
    ASSERT_EQ(writer.close(), 0u);
    EXPECT_EQ(test::readBytes(sums).find('\\'), std::string::npos) << "forward slashes only";

    test::UnixShell shell;
    ASSERT_TRUE(shell.ready()) << "the Unix side runs xxhsum";
    const std::string unixSums = test::unixPathOf(sums);
    ASSERT_FALSE(unixSums.empty());
    const std::string check = "cd " + test::shellQuoted(test::unixPathOf(folder.path())) + " && xxhsum -H2 -c " +
                              test::shellQuoted(unixSums) + " >/dev/null 2>&1";
    EXPECT_EQ(shell.run(check), 0) << "xxhsum reads every line and finds every file good";

    Recorded fresh;
    ASSERT_EQ(checkChecksumFile(sums.c_str(), fresh), 0u);
    ASSERT_EQ(fresh.lines.size(), files.size());
    for (const auto& line : fresh.lines) EXPECT_EQ(line.second, SumState::Good) << line.first;

    // One file changed, one gone, a damaged line between them: each is told
    // and the rest are still checked.
    ASSERT_TRUE(test::writeBytes(target + L"\\a.txt", "alphA"));
    ASSERT_TRUE(::DeleteFileW((target + L"\\sub dir\\b c.txt").c_str()));
    std::string text = test::readBytes(sums);
    text.insert(text.find('\n') + 1, "not a checksum line\n0123  short.txt\n");
    ASSERT_TRUE(test::writeBytes(sums, text));
    Recorded later;
    ASSERT_EQ(checkChecksumFile(sums.c_str(), later), 0u);
    const std::map<uint64_t, SumState> expected = {
        {1, SumState::Changed}, {2, SumState::Damaged}, {3, SumState::Damaged},
        {4, SumState::Good},    {5, SumState::Good},    {6, SumState::Missing},
    };
    EXPECT_EQ(later.lines, expected);
    EXPECT_EQ(later.paths[1], target + L"\\a.txt");
    EXPECT_NE(shell.run(check), 0) << "xxhsum agrees that something is wrong";
}

TEST(Checksums, AChecksumFileLiesInTheTargetOrAboveIt)
{
    const struct {
        const wchar_t* sums;
        const wchar_t* target;
        bool fits;
    } cases[] = {
        {L"C:\\Backup\\sums.xxh128", L"C:\\Backup", true},
        {L"C:\\Backup\\sums.xxh128", L"C:\\Backup\\", true},
        {L"C:\\sums.xxh128", L"C:\\Backup\\Daily", true},
        {L"c:\\backup\\SUMS.xxh128", L"C:\\Backup\\Daily", true},
        {L"C:\\Backup\\Daily\\sums.xxh128", L"C:\\Backup", false}, // below the target: copies would lie above it
        {L"C:\\Other\\sums.xxh128", L"C:\\Backup", false},
        {L"C:\\Back\\sums.xxh128", L"C:\\Backup", false}, // a name that starts alike is no parent
        {L"D:\\sums.xxh128", L"C:\\Backup", false},
        {L"sums.xxh128", L"C:\\Backup", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checksumFileFitsTarget(c.sums, c.target), c.fits) << testing::PrintToString(std::wstring(c.sums));
    }
}

TEST(Checksums, AChecksumFileThatCannotBeReadIsAnError)
{
    test::TempFolder folder;
    Recorded none;
    EXPECT_EQ(checkChecksumFile((folder / L"absent.xxh128").c_str(), none), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(none.lines.empty());
}

} // namespace
} // namespace sorvane
