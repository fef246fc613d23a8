#include <gtest/gtest.h>
#include <string.h>

#include "base/text.h"

TEST(BoundedText, CopyCutsAtTheLimitAndTerminates)
{
    char buf[6];
    memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(copyText(buf, "abcdefgh"));
    EXPECT_STREQ("abcde", buf);
    EXPECT_TRUE(copyText(buf, "abcde"));
    EXPECT_STREQ("abcde", buf);
    EXPECT_TRUE(copyTextN(buf, sizeof buf, "abcdef", 2));
    EXPECT_STREQ("ab", buf);
}

TEST(BoundedText, AppendAndFormatReportCutting)
{
    char buf[8] = "abc";
    EXPECT_TRUE(appendText(buf, "de"));
    EXPECT_FALSE(appendText(buf, "fghij"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_FALSE(appendText(buf, "z"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_TRUE(formatText(buf, sizeof buf, "%d-%s", 12, "ab"));
    EXPECT_STREQ("12-ab", buf);
    EXPECT_FALSE(formatText(buf, sizeof buf, "%s", "123456789"));
    EXPECT_STREQ("1234567", buf);
}

TEST(BoundedText, CaseInsensitiveCompareOrdersLikeKeys)
{
    EXPECT_EQ(0, compareNoCase("Beta", "bETA"));
    EXPECT_LT(compareNoCase("alpha", "Beta"), 0);
    EXPECT_GT(compareNoCase("beta", "Alpha"), 0);
    EXPECT_LT(compareNoCase("abc", "abcd"), 0);
}
