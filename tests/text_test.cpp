#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "base/base64.h"
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

// RFC 4648's vectors in both alphabets, and the texts a decoder must refuse
// rather than guess at: a stray character, padding in the middle, a length no
// encoding has, a result that does not fit.
TEST(Base64, EncodesAndDecodesBothAlphabetsAndRefusesWhatNoEncoderWrites)
{
    struct Case {
        const char *plain, *standard, *url;
    };
    const Case cases[] = {
        {"", "", ""},
        {"f", "Zg==", "Zg"},
        {"fo", "Zm8=", "Zm8"},
        {"foo", "Zm9v", "Zm9v"},
        {"foob", "Zm9vYg==", "Zm9vYg"},
        {"fooba", "Zm9vYmE=", "Zm9vYmE"},
        {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
        {"\xfb\xff", "+/8=", "-_8"},
    };
    for (const Case &c : cases) {
        char out[32];
        size_t n = strlen(c.plain);
        ASSERT_TRUE(base64Encode((const uint8_t *)c.plain, n, out, sizeof out, BASE64_STANDARD));
        EXPECT_STREQ(c.standard, out);
        EXPECT_EQ(strlen(c.standard), base64EncodedLength(n, BASE64_STANDARD));
        ASSERT_TRUE(base64Encode((const uint8_t *)c.plain, n, out, sizeof out, BASE64_URL));
        EXPECT_STREQ(c.url, out);
        for (const char *encoded : {c.standard, c.url}) {
            uint8_t back[32];
            size_t written = 99;
            ASSERT_TRUE(base64Decode(encoded, strlen(encoded), back, sizeof back, &written)) << encoded;
            EXPECT_EQ(std::string(c.plain), std::string((const char *)back, written));
        }
    }
    char small[4];
    EXPECT_FALSE(base64Encode((const uint8_t *)"foo", 3, small, sizeof small, BASE64_STANDARD));
    EXPECT_STREQ("", small);

    uint8_t out[8];
    size_t written = 0;
    for (const char *bad : {"Zm9v!", "Zg==Zg==", "Z", "Zm9vY", "Zg=", "Zm===", "Z===", "Zm 9v"})
        EXPECT_FALSE(base64Decode(bad, strlen(bad), out, sizeof out, &written)) << bad;
    EXPECT_EQ(0u, written);
    EXPECT_FALSE(base64Decode("Zm9vYmFyYmF6", 12, out, 8, &written)) << "nine bytes do not fit in eight";
}
