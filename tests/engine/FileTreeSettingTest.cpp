// The filter settings record: defaults, copying, and the three predicates at
// their boundaries.
#include <gtest/gtest.h>

#include "engine/FileTreeSetting.h"

using namespace sorvane;

namespace {

FILETIME fileTime(uint64_t value)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

TEST(FileTreeSetting, FreshRecordHoldsTheDefaults)
{
    FILE_TREE_SETTING s;
    ASSERT_NE(s.sources, nullptr);
    ASSERT_NE(s.target, nullptr);
    EXPECT_STREQ(s.sources, L"");
    EXPECT_STREQ(s.target, L"");
    EXPECT_STREQ(s.patterns, L"");
    EXPECT_EQ(s.includeSubfolders, 1u);
    EXPECT_EQ(s.operation | s.excludePatterns | s.timeMode | s.sizeClass | s.sizeLimitIsMaximum | s.sizeLimitKB |
                  s.overwrite | s.protectReadOnly | s.testOnly | s.cloneTree | s.cancel | s.sameVolume |
                  s.scannedFiles | s.totalFiles | s.completedFiles | s.failedFiles | s.countedFolders |
                  s.failedFolders,
              0u);
    EXPECT_EQ(s.totalBytes + s.doneBytes + s.currentFileBytes, 0u);
    EXPECT_EQ(s.neededBytes, 0);
    EXPECT_EQ(s.progress, nullptr);
    EXPECT_EQ(s.log, nullptr);
    EXPECT_EQ(s.currentItem, nullptr);
}

TEST(FileTreeSetting, CopyTakesEveryFieldAndOwnBuffers)
{
    FILE_TREE_SETTING a;
    a.operation = kOperationMove;
    a.setSources(L"C:\\src\\;x;");
    a.setTarget(L"D:\\dst");
    a.setPatterns(L"*.TXT");
    a.includeSubfolders = 0;
    a.excludePatterns = 1;
    a.timeMode = 1;
    a.timeFrom = fileTime(5);
    a.timeTo = fileTime(9);
    a.sizeClass = 4;
    a.sizeLimitIsMaximum = 1;
    a.sizeLimitKB = 77;
    a.overwrite = 2;
    a.protectReadOnly = 1;
    a.cloneTree = 1;
    a.totalFiles = 3;
    a.doneBytes = 1234;
    a.neededBytes = -5;

    FILE_TREE_SETTING b;
    b = a;
    EXPECT_NE(b.sources, a.sources);
    EXPECT_STREQ(b.sources, L"C:\\src\\;x;");
    EXPECT_STREQ(b.target, L"D:\\dst");
    EXPECT_STREQ(b.patterns, L"*.TXT");
    EXPECT_EQ(b.operation, kOperationMove);
    EXPECT_EQ(b.includeSubfolders, 0u);
    EXPECT_EQ(b.excludePatterns, 1u);
    EXPECT_EQ(b.timeTo.dwLowDateTime, 9u);
    EXPECT_EQ(b.sizeLimitKB, 77u);
    EXPECT_EQ(b.overwrite, 2u);
    EXPECT_EQ(b.cloneTree, 1u);
    EXPECT_EQ(b.totalFiles, 3u);
    EXPECT_EQ(b.doneBytes, 1234u);
    EXPECT_EQ(b.neededBytes, -5);

    FILE_TREE_SETTING c(a);
    EXPECT_STREQ(c.target, L"D:\\dst");
    a.sources[0] = L'Q';
    EXPECT_STREQ(c.sources, L"C:\\src\\;x;") << "the copy owns its buffers";
}

TEST(FileTreeSetting, NullSourceBufferCopiesAsEmpty)
{
    FILE_TREE_SETTING a;
    delete[] a.sources;
    a.sources = nullptr;
    FILE_TREE_SETTING b;
    b.setSources(L"old");
    b = a;
    ASSERT_NE(b.sources, nullptr);
    EXPECT_STREQ(b.sources, L"");
}

TEST(FileTreeSetting, TextsAreCutToTheirCapacity)
{
    FILE_TREE_SETTING s;
    s.setSources(std::wstring(40000, L'a').c_str());
    EXPECT_EQ(std::wcslen(s.sources), kRunPathCapacity - 1);
    s.setPatterns(std::wstring(600, L'b').c_str());
    EXPECT_EQ(std::wcslen(s.patterns), 519u);
}

TEST(FileTreeSetting, CountingPassFlagKeepsTheKind)
{
    FILE_TREE_SETTING s;
    s.operation = kOperationDelete | kCountingPassFlag;
    EXPECT_EQ(s.operation, 0x83u);
    EXPECT_EQ(s.kind(), 3u);
    EXPECT_TRUE(s.isCountingPass());
}

TEST(FilterPredicates, SizeClassBoundaries)
{
    FILE_TREE_SETTING s;
    struct Case {
        uint32_t sizeClass, isMax, limitKB;
        uint64_t bytes;
        bool passes;
    } cases[] = {
        {0, 0, 0, 0, true},
        {0, 0, 0, UINT64_C(1) << 40, true},
        {1, 0, 0, 102399, true},
        {1, 0, 0, 102400, false},
        {2, 0, 0, 10, true},              // "Middle" includes small files
        {2, 0, 0, 1048575, true},
        {2, 0, 0, 1048576, false},
        {3, 0, 0, 1048575, false},
        {3, 0, 0, 1048576, true},
        {4, 1, 0, 0, false},              // maximum 0 KB: nothing qualifies
        {4, 0, 0, 0, true},               // minimum 0 KB: everything
        {4, 1, 2, 2047, true},            // 2047 bytes count as 1 KB
        {4, 1, 1, 2047, false},
        {4, 0, 2, 2047, false},
        {4, 0, 1, 2047, true},
        {4, 0, 2, 2048, true},
        {5, 1, 0, 99, true},              // unknown classes filter nothing
    };
    for (const Case& c : cases) {
        s.sizeClass = c.sizeClass;
        s.sizeLimitIsMaximum = c.isMax;
        s.sizeLimitKB = c.limitKB;
        EXPECT_EQ(passesSizeFilter(s, c.bytes), c.passes)
            << "class " << c.sizeClass << " max " << c.isMax << " limit " << c.limitKB << " bytes " << c.bytes;
    }
}

TEST(FilterPredicates, TimeRangeIsInclusive)
{
    FILE_TREE_SETTING s;
    s.timeFrom = fileTime(1000);
    s.timeTo = fileTime(2000);
    EXPECT_TRUE(passesTimeFilter(s, fileTime(1))) << "timeMode 0 tests nothing";
    s.timeMode = 1;
    EXPECT_TRUE(passesTimeFilter(s, fileTime(1000)));
    EXPECT_TRUE(passesTimeFilter(s, fileTime(2000)));
    EXPECT_FALSE(passesTimeFilter(s, fileTime(999)));
    EXPECT_FALSE(passesTimeFilter(s, fileTime(2001)));
    // The high parts of the file times take part in the order.
    EXPECT_FALSE(passesTimeFilter(s, fileTime((UINT64_C(1) << 32) + 1500)));
    s.timeMode = 2;
    EXPECT_TRUE(passesTimeFilter(s, fileTime(1))) << "any other mode tests nothing";
}

TEST(FilterPredicates, PatternKeepsOrDropsByExclude)
{
    FILE_TREE_SETTING s;
    s.setPatterns(L"*.TXT");
    EXPECT_TRUE(passesPatternFilter(s, L"C:\\x\\a.txt"));
    EXPECT_FALSE(passesPatternFilter(s, L"C:\\x\\a.doc"));
    s.excludePatterns = 1;
    EXPECT_FALSE(passesPatternFilter(s, L"C:\\x\\a.txt"));
    EXPECT_TRUE(passesPatternFilter(s, L"C:\\x\\a.doc"));
    s.setPatterns(L"");
    EXPECT_TRUE(passesPatternFilter(s, L"a.doc")) << "excluding an empty list keeps everything";
    s.excludePatterns = 0;
    EXPECT_FALSE(passesPatternFilter(s, L"a.doc")) << "an empty list matches nothing";
}

} // namespace
