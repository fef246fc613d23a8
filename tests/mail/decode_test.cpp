// Display texts of header values: encoded words, the From display rules,
// folded lines of a header block, and Received dates.
#include <gtest/gtest.h>

#include <string>

#include "tests/mail/mail_fixture.h"

static std::string decoded(const char *text, size_t maxChars = 55)
{
    char out[128];
    decodeEncodedWords(out, text, maxChars);
    return out;
}

TEST(EncodedWords, Table)
{
    struct Case {
        const char *text;
        const char *expected;
    } cases[] = {
        {"=?ISO-8859-1?Q?Andr=E9_Smith?=", "Andr\xE9 Smith"},
        {"=?US-ASCII?Q?Andr=E9_Smith?=", "Andr=E9 Smith"},
        {"=?iso-8859-15?q?caf=e9?=", "caf\xE9"},
        {"=?UTF-8?B?SGVsbG8=?= =?UTF-8?B?V29ybGQ=?=", "HelloWorld"},
        {"=?a?Q?x?=\t \r\n=?a?Q?y?=", "xy"},
        {"=?UTF-8?B?SGVsbG8=?= there", "Hello there"},
        {"Re: =?a?Q?x?=", "Re: x"},
        {"Hi =?UTF-8?X?abc?= tail", "Hi "},
        {"abc =?UTF-8", "abc "},
        {"abc =?UTF-8?Q", "abc "},
        {"   plain text", "plain text"},
        // Cut-short tails: a Base64 group gives the bytes it fully determines,
        // a "=" without two characters of its own word stays as written.
        {"=?X?B?QUJDRA?=", "ABCD"},
        {"=?X?B?QUJDRA", "ABCD"},
        {"=?X?B?QUJDR?=!", "ABC!"},
        {"=?ISO-8859-1?Q?a=?=b", "a=b"},
        {"=?ISO-8859-1?Q?a=4?=b", "a=4b"},
        {"=?ISO-8859-1?Q?a=", "a="},
        {"=?ISO-8859-1?Q?a=4", "a=4"},
        {"=?ISO-8859-1?Q?=00x?=", "x"},
        {"=?X?B?AAAA?=ok", "ok"},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decoded(c.text), c.expected) << c.text;
}

TEST(EncodedWords, StopsAtTheLimit)
{
    EXPECT_EQ(decoded(std::string(80, 'a').c_str()), std::string(55, 'a'));
    EXPECT_EQ(decoded("=?X?B?QUJD?=", 2), "AB");
    EXPECT_EQ(decoded("=?ISO-8859-1?Q?a_b_c?=", 3), "a b");
}

TEST(EncodedWords, NeverReadsPastTheGivenLength)
{
    char out[56];
    // The length ends the input inside the word; the heap copy makes ASan
    // catch any read beyond it.
    const char text[] = "=?ISO-8859-1?Q?a=E9";
    for (size_t n = 0; n <= strlen(text); n++) {
        std::vector<char> exact(text, text + n);
        decodeEncodedWordsN(out, exact.data(), n, 55);
    }
    decodeEncodedWordsN(out, text, 17, 55);
    EXPECT_STREQ(out, "a=");
}

class HeaderValues : public MailTest {};

TEST_F(HeaderValues, FromDisplayRules)
{
    struct Case {
        const char *line;
        const char *expected;
    } cases[] = {
        {"From: \"Smith, John\" <john@example.com>", "Smith, John"},
        {"From: \"John Smith   ", "John Smith"},
        {"From: <john@example.com>", "john@example.com"},
        {"From: John Smith (Johnny) <john@example.com>", "Johnny"},
        {"From: john@example.com (John Smith)", "John Smith"},
        {"From: x ((  John ))", "John"},
        {"From: x (unclosed", "unclosed"},
        {"From: John Smith <john@example.com>", "John Smith"},
        {"From: \"John\" Smith <j@x>", "John"},
        {"From: Joe \"Q\" Public <j@x>", "Joe \"Q\" Public"},
        {"From: =?ISO-8859-1?Q?Andr=E9?= <a@b>", "Andr\xE9"},
        {"From: John>", "John>"},
        {"From: >", ">"},
        {"From: user{Name}", "Name"},
        {"From: {Name}", "Name"},
        {"From: plain}", "plain"},
        {"From: addr){Name}", "addr){Name"},
        {"From: }", ""},
        {"From: john@example.com \t ", "john@example.com"},
        {"From:", ""},
        {"Fr", ""},
    };
    for (const Case &c : cases) {
        MessageHeader record = {};
        std::string line = c.line;
        decodeFromLine(&record, &line[0]);
        EXPECT_STREQ(record.from, c.expected) << c.line;
    }
}

TEST_F(HeaderValues, TextsAreCutAtTheirLimits)
{
    MessageHeader record = {};
    std::string line = "From: " + std::string(55, 'f');
    decodeFromLine(&record, &line[0]);
    EXPECT_EQ(std::string(record.from), std::string(55, 'f'));
    line = "From: " + std::string(70, 'f');
    decodeFromLine(&record, &line[0]);
    EXPECT_EQ(std::string(record.from), std::string(55, 'f'));

    line = "Subject:   " + std::string(80, 's') + "  ";
    decodeSubjectLine(&record, &line[0]);
    EXPECT_EQ(std::string(record.subject), std::string(55, 's'));

    line = "Sender: " + std::string(70, 'n');
    decodeSenderLine(&line[0]);
    EXPECT_EQ(std::string(mail.senderText), std::string(60, 'n'));

    line = "FROM:   " + std::string(200, 'r');
    copyRawValue(line.c_str(), mail.rawFrom, "From:", 5);
    EXPECT_EQ(std::string(mail.rawFrom), std::string(127, 'r'));
}

TEST(HeaderBlockLines, CopyAndUnfold)
{
    const std::string block = "Subject: a\r\n  b\r\n\tc\r\nFrom: x\n\n\nTo: y\rCc: z";
    HeaderBlockCursor cursor = {block.data(), block.data() + block.size()};
    char line[MAIL_LINE_SIZE];
    std::vector<std::string> lines;
    while (copyLine(&cursor, line, sizeof line)) {
        appendContinuation(&cursor, line, sizeof line);
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"Subject: a b c", "From: x", "To: y", "Cc: z"}));
}

TEST(HeaderBlockLines, LongLinesAreCutAndContinue)
{
    std::string block = std::string(300, 'a') + "\r\n";
    HeaderBlockCursor cursor = {block.data(), block.data() + block.size()};
    char line[MAIL_LINE_SIZE];
    ASSERT_TRUE(copyLine(&cursor, line, sizeof line));
    EXPECT_EQ(strlen(line), 255u);
    ASSERT_TRUE(copyLine(&cursor, line, sizeof line));
    EXPECT_EQ(strlen(line), 45u);
    EXPECT_FALSE(copyLine(&cursor, line, sizeof line));

    // A fold is appended only while there is room for the space and a character.
    for (size_t first : {253u, 254u}) {
        block = "S" + std::string(first - 1, 'x') + "\n continued\n";
        cursor = {block.data(), block.data() + block.size()};
        ASSERT_TRUE(copyLine(&cursor, line, sizeof line));
        appendContinuation(&cursor, line, sizeof line);
        EXPECT_EQ(strlen(line), first == 253 ? 255u : 254u);
        ASSERT_TRUE(copyLine(&cursor, line, sizeof line));
        EXPECT_STREQ(line, first == 253 ? "ontinued" : " continued");
    }
}

TEST(ReceivedDates, Table)
{
    struct Case {
        const char *line;
        bool ok;
        int year, month, day, hour, minute, second;
    } cases[] = {
        {"Received: from a by b; Fri, 6 Dec 96 10:05 +0000", true, 1996, 12, 6, 10, 5, 0},
        {"Received: from a by b; Tue, 6 Dec 05 10:05:07 -0500", true, 2005, 12, 6, 10, 5, 7},
        {"Received: by b; 31 jan 1999 23:59:59", true, 1999, 1, 31, 23, 59, 59},
        {"Received: by b; 1 FEB 69 0:00", true, 2069, 2, 1, 0, 0, 0},
        {"Received: by b; 1 Feb 70 1:02", true, 1970, 2, 1, 1, 2, 0},
        {"Received: from a by b (no date)", false},
        {"Received: by b; Fri", false},
        {"Received: by b; 6 Xyz 96 10:05", false},
        {"Received: by b; 6 Dec", false},
        {"Received: by b; 6 Dec 96", false},
        {"Received: by b; 6 Dec 96 10", false},
        {"Received;", false},
        {"", false},
    };
    for (const Case &c : cases) {
        ReceivedDate date = {};
        ReceivedTime time = {};
        ASSERT_EQ(parseReceivedDate(c.line, &date, &time), c.ok) << c.line;
        if (!c.ok)
            continue;
        EXPECT_EQ(date.year, c.year) << c.line;
        EXPECT_EQ(date.month, c.month) << c.line;
        EXPECT_EQ(date.day, c.day) << c.line;
        EXPECT_EQ(time.hour, c.hour) << c.line;
        EXPECT_EQ(time.minute, c.minute) << c.line;
        EXPECT_EQ(time.second, c.second) << c.line;
    }
}

TEST(ReceivedDates, CompareFieldByField)
{
    // Fields: year, day, month.
    ReceivedDate d = {1996, 6, 11};
    ReceivedDate laterYear = {1997, 1, 1}, laterMonth = {1996, 1, 12}, earlierDay = {1996, 5, 11};
    EXPECT_EQ(compareDates(&laterYear, &d), 1);
    EXPECT_EQ(compareDates(&d, &laterYear), -1);
    EXPECT_EQ(compareDates(&laterMonth, &d), 1);
    EXPECT_EQ(compareDates(&earlierDay, &d), -1);
    EXPECT_EQ(compareDates(&d, &d), 0);
    // Fields: minute, hour, hundredths (never compared), second.
    ReceivedTime t = {30, 10, 0, 0};
    ReceivedTime laterHour = {0, 11, 0, 0}, laterSecond = {30, 10, 99, 1}, sameButHundredths = {30, 10, 50, 0};
    EXPECT_EQ(compareTimes(&laterHour, &t), 1);
    EXPECT_EQ(compareTimes(&t, &laterSecond), -1);
    EXPECT_EQ(compareTimes(&t, &sameButHundredths), 0);
}
