// Display texts of header values: encoded words, the From display rules,
// folded lines of a header block, and Received dates.
#include <gtest/gtest.h>

#include "tests/mail/mail_fixture.h"

TEST(EncodedWords, Table)
{
    struct Case {
        std::string text;
        const char *expected;
        size_t maxChars;
    } cases[] = {
        {"=?ISO-8859-1?Q?Andr=E9_Smith?=", "Andr\xE9 Smith", 55},
        // "=XX" escapes are decoded for every charset that can be converted;
        // an unknown charset keeps them as written.
        {"=?US-ASCII?Q?Andr=E9_Smith?=", "Andr\xE9 Smith", 55},
        {"=?x-unknown?Q?Andr=E9_Smith?=", "Andr=E9 Smith", 55},
        {"=?iso-8859-15?q?caf=e9?=", "caf\xE9", 55},
        {"=?UTF-8?B?SGVsbG8=?= =?UTF-8?B?V29ybGQ=?=", "HelloWorld", 55},
        {"=?a?Q?x?=\t \r\n=?a?Q?y?=", "xy", 55},
        {"=?UTF-8?B?SGVsbG8=?= there", "Hello there", 55},
        {"Re: =?a?Q?x?=", "Re: x", 55},
        {"Hi =?UTF-8?X?abc?= tail", "Hi ", 55},
        {"abc =?UTF-8?Q", "abc ", 55},
        {"   plain", "plain", 55},
        // Cut-short tails: a Base64 group gives the bytes it fully determines,
        // a "=" without two characters of its own word stays as written.
        {"=?X?B?QUJDRA?=", "ABCD", 55},
        {"=?X?B?QUJDR?=!", "ABC!", 55},
        {"=?ISO-8859-1?Q?a=?=b", "a=b", 55},
        {"=?ISO-8859-1?Q?a=4?=b", "a=4b", 55},
        {"=?ISO-8859-1?Q?a=4", "a=4", 55},
        {"=?ISO-8859-1?Q?=00x?=", "x", 55},
        {std::string(80, 'a'), "aaaaa", 5},
        {"=?X?B?QUJD?=", "AB", 2},
        {"=?ISO-8859-1?Q?a_b_c?=", "a b", 3},
    };
    for (const Case &c : cases) {
        char out[64];
        decodeEncodedWords(out, c.text.c_str(), c.maxChars);
        EXPECT_STREQ(out, c.expected) << c.text;
    }
}

class HeaderValues : public MailTest
{
};

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
        {"From: x ((  John ))", "John"},
        {"From: x (unclosed", "unclosed"},
        {"From: John Smith <john@example.com>", "John Smith"},
        {"From: Joe \"Q\" Public <j@x>", "Joe \"Q\" Public"},
        {"From: =?ISO-8859-1?Q?Andr=E9?= <a@b>", "Andr\xE9"},
        {"From: John>", "John>"},
        {"From: user{Name}", "Name"},
        {"From: plain}", "plain"},
        {"From: addr){Name}", "addr){Name"},
        {"From: john@example.com \t ", "john@example.com"},
        {"Fr", ""},
    };
    for (const Case &c : cases) {
        MessageHeader record = {};
        std::string line = c.line;
        decodeFromLine(&record, line.data(), line.size());
        EXPECT_STREQ(record.from, c.expected) << c.line;
    }
}

TEST_F(HeaderValues, TextsAreCutAtTheirLimits)
{
    MessageHeader record = {};
    for (size_t n : {55, 70}) {
        std::string line = "From: " + std::string(n, 'f');
        decodeFromLine(&record, line.data(), line.size());
        EXPECT_EQ(std::string(record.from), std::string(55, 'f'));
    }
    std::string line = "Subject:   " + std::string(80, 's') + "  ";
    decodeSubjectLine(&record, line.data(), line.size());
    EXPECT_EQ(std::string(record.subject), std::string(55, 's'));
    line = "Sender: " + std::string(70, 'n');
    decodeSenderLine(line.data(), line.size(), mail.senderText, sizeof mail.senderText);
    EXPECT_EQ(std::string(mail.senderText), std::string(60, 'n'));
    line = "FROM:   " + std::string(200, 'r');
    copyRawValue(line.data(), line.size(), mail.rawFrom, "From:", 5);
    EXPECT_EQ(std::string(mail.rawFrom), std::string(127, 'r'));
}

TEST(HeaderBlockLines, CopyUnfoldAndCut)
{
    // Lines of 255 characters at most; a fold is appended only while there is
    // room for the joining space and one character.
    const std::string block = "Subject: a\r\n  b\r\n\tc\r\nFrom: x\n\n\nTo: y\r" + std::string(300, 'L')
                              + "\n" + std::string(253, 'S') + "\n continued\n" + std::string(254, 'T')
                              + "\n next";
    HeaderBlockCursor cursor = {block.data(), block.data() + block.size()};
    char line[MAIL_LINE_SIZE];
    std::vector<std::string> lines;
    while (copyLine(&cursor, line, sizeof line)) {
        appendContinuation(&cursor, line, sizeof line);
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"Subject: a b c", "From: x", "To: y", std::string(255, 'L'),
                                               std::string(45, 'L'), std::string(253, 'S') + " c", "ontinued",
                                               std::string(254, 'T'), " next"}));
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
        {"Received: by b; 6 Xyz 96 10:05", false},
        {"Received: by b; 6 Dec 96", false},
        {"Received: by b; 6 Dec 96 10", false},
        {"Received;", false},
    };
    for (const Case &c : cases) {
        ReceivedDate date = {};
        ReceivedTime time = {};
        ASSERT_EQ(parseReceivedDate(c.line, &date, &time), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(
                std::vector<int>({date.year, date.month, date.day, time.hour, time.minute, time.second}),
                std::vector<int>({c.year, c.month, c.day, c.hour, c.minute, c.second}))
                << c.line;
        }
    }
}
