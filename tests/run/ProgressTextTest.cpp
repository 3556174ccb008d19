// Size and time texts of the progress display, and the bar arithmetic.
#include <gtest/gtest.h>

#include "run/ProgressText.h"

using namespace sorvane;

namespace {

std::wstring size(int64_t bytes)
{
    std::wstring text;
    FormatSize(bytes, text);
    return text;
}

TEST(FormatSize, UnitsAndTruncatedDecimals)
{
    EXPECT_EQ(size(0), L"0 Bytes");
    EXPECT_EQ(size(512), L"512 Bytes");
    EXPECT_EQ(size(1023), L"1023 Bytes");
    EXPECT_EQ(size(1024), L"1.00 K Bytes");
    EXPECT_EQ(size(1536), L"1.50 K Bytes");
    EXPECT_EQ(size(2047), L"1.99 K Bytes");
    EXPECT_EQ(size(1048575), L"1023.99 K Bytes");
    EXPECT_EQ(size(1048576), L"1.00 M Bytes");
    EXPECT_EQ(size(1073741823), L"1023.99 M Bytes");
    EXPECT_EQ(size(1073741824), L"1.00 G Bytes");
    EXPECT_EQ(size(INT64_C(5) * 1073741824 + 536870912), L"5.50 G Bytes");
}

TEST(FormatSize, KeyChangesExactlyWithTheText)
{
    std::wstring a, b;
    // Same text, same key; any visible change, a new key.
    EXPECT_EQ(FormatSize(1024, a), FormatSize(1025, b));
    EXPECT_EQ(a, b);
    const int64_t samples[] = {0, 1, 1023, 1024, 1034, 1035, 2048, 1048575, 1048576, 1059062, 1073741824, 2147483648};
    for (int64_t x : samples) {
        for (int64_t y : samples) {
            std::wstring tx, ty;
            const uint32_t kx = FormatSize(x, tx);
            const uint32_t ky = FormatSize(y, ty);
            EXPECT_EQ(kx == ky, tx == ty) << x << " vs " << y;
        }
    }
}

TEST(RemainingTime, Texts)
{
    EXPECT_EQ(FormatRemaining(7), L"07Sec");
    EXPECT_EQ(FormatRemaining(59), L"59Sec");
    EXPECT_EQ(FormatRemaining(60), L"1Min00Sec");
    EXPECT_EQ(FormatRemaining(307), L"5Min07Sec");
    EXPECT_EQ(FormatRemaining(3725), L"62Min05Sec");
    EXPECT_EQ(FormatRemaining(7500), L"125Min00Sec");
}

TEST(RemainingTime, Estimate)
{
    // 10 s spent on a quarter: 40 s in all, 30 left.
    EXPECT_EQ(remainingSeconds(100000000, 250, 1000), 30);
    // Done: nothing left.
    EXPECT_EQ(remainingSeconds(100000000, 1000, 1000), 0);
    // Long runs over terabytes do not overflow.
    EXPECT_EQ(remainingSeconds(INT64_C(36000000000), UINT64_C(1) << 40, UINT64_C(1) << 42), 3 * 3600);
}

TEST(ProgressBar, Positions)
{
    EXPECT_EQ(barPosition(0, 0), 0);
    EXPECT_EQ(barPosition(5, 0), 0) << "empty files only: the bar stays";
    EXPECT_EQ(barPosition(50, 100), 16383);
    EXPECT_EQ(barPosition(100, 100), 32767);
    // From 1,073,676,290 bytes on, the total is divided first so that the
    // product cannot overflow.
    EXPECT_EQ(barPosition(UINT64_C(1) << 39, UINT64_C(1) << 40), 16383);
    EXPECT_EQ(barPosition(UINT64_C(1) << 40, UINT64_C(1) << 40), 32767);
    EXPECT_EQ(barPosition(UINT64_C(1) << 62, UINT64_C(1) << 62), 32767);
}

} // namespace
