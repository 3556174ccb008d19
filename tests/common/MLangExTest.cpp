// The character-set name of a code page from the multi-language service.
#include <gtest/gtest.h>

#include "common/MLangEx.h"

using namespace sorvane;

namespace {

TEST(MLangEx, WebCharsetOfCodePages)
{
    CMLangEx mlang;
    wchar_t name[64] = L"unchanged";
    ASSERT_TRUE(mlang.GetWebCharset(1252, name, 64));
    EXPECT_STREQ(name, L"windows-1252");
    ASSERT_TRUE(mlang.GetWebCharset(932, name, 64));
    EXPECT_STREQ(name, L"shift_jis");
}

TEST(MLangEx, TruncationAndFailure)
{
    CMLangEx mlang;
    wchar_t name[8] = L"keep";
    ASSERT_TRUE(mlang.GetWebCharset(1252, name, 5));
    EXPECT_STREQ(name, L"wind");
    wchar_t one[2] = L"x";
    EXPECT_FALSE(mlang.GetWebCharset(1252, one, 1));
    EXPECT_STREQ(one, L"");
    wchar_t kept[16] = L"default";
    EXPECT_FALSE(mlang.GetWebCharset(12345, kept, 16));
    EXPECT_STREQ(kept, L"default") << "a failure leaves the caller's default";
}

} // namespace
