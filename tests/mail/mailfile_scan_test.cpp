// The line reader and the mail-file scanner over memory: line limits and line
// ends, unfolding, byte offsets across block refills, and the scanner's rules
// that do not need real files.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "mail/linereader.h"
#include "mail/mailscan.h"
#include "tests/mail/mail_fixture.h"

namespace
{

struct MemorySource {
    std::string data;
    size_t at = 0;
    size_t chunk = (size_t)-1;
};

size_t readMemory(void *source, char *buffer, size_t size)
{
    MemorySource *m = (MemorySource *)source;
    size_t n = std::min(std::min(size, m->chunk), m->data.size() - m->at);
    memcpy(buffer, m->data.data() + m->at, n);
    m->at += n;
    return n;
}

// A reader over text with a small block, so refills happen inside lines.
struct TextReader {
    explicit TextReader(const std::string &text, size_t block = 7)
    {
        source.data = text;
        initLineReader(&reader, buffer, block, readMemory, &source);
    }
    std::vector<std::string> lines(size_t capacity = MAIL_LINE_SIZE)
    {
        std::vector<std::string> out;
        std::vector<char> line(capacity);
        size_t n;
        while ((n = readLine(&reader, line.data(), capacity)) != 0)
            out.push_back(std::string(line.data(), n));
        return out;
    }
    MemorySource source;
    char buffer[64];
    LineReader reader;
};

} // namespace

TEST(MailFileLineReader, LinesKeepTheirEndAndLongLinesAreCut)
{
    std::string longLine(300, 'x');
    TextReader r("a\n\nb\r\n" + longLine + "\nlast");
    std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "a\n");
    EXPECT_EQ(lines[1], "\n");
    EXPECT_EQ(lines[2], "b\r\n");
    EXPECT_EQ(lines[3], std::string(255, 'x'));
    EXPECT_EQ(lines[4], std::string(45, 'x') + "\n");
    EXPECT_EQ(lines[5], "last");
    EXPECT_EQ(readerOffset(&r.reader), r.source.data.size());
}

TEST(MailFileLineReader, ALineThatFillsTheBufferTakesItsOwnLineEnd)
{
    // Otherwise the line end would read as an empty line and end a header block.
    std::string full(255, 'y');
    TextReader r(full + "\n" + full + "\r\nnext\n");
    EXPECT_EQ(r.lines(), std::vector<std::string>({full, full, "next\n"}));
}

TEST(MailFileLineReader, CrOnlyNulAndCtrlZAreOrdinaryBytes)
{
    TextReader cr(std::string(600, '\r'));
    EXPECT_EQ(cr.lines().size(), 3u); // cut into pieces, and the read ends

    std::string odd("a\0b\x1a"
                    "c\nd\n",
                    8);
    TextReader r(odd);
    std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("a\0b\x1a"
                                    "c\n",
                                    6));
    EXPECT_EQ(lines[1], "d\n");
}

TEST(MailFileLineReader, LineEndsAreFoundInEveryPlaceOfAWord)
{
    // Bytes one off a line end, and 0x8a (a line end with the high bit), around it.
    for (size_t length = 0; length < 24; length++)
        for (size_t at = 0; at <= length; at++) {
            std::string text(length, '\x0b');
            for (size_t i = 0; i < length; i += 3)
                text[i] = '\x8a';
            if (at < length)
                text[at] = '\n';
            const char *found = findLineEnd(text.data(), text.size());
            EXPECT_EQ(found ? (size_t)(found - text.data()) : length, at) << length;
        }
}

TEST(MailFileLineReader, PeekedLinesAreTheLinesReadLineReads)
{
    std::string lines;
    for (size_t n : {1, 2, 200, 254, 255, 256, 257, 300, 510, 511})
        for (const char *end : {"\n", "\r\n", "\r", "\rx\n", ""})
            lines += std::string(n, 'q') + end;
    for (size_t block : {7, 256, 257, 258, 600, 4096}) {
        TextReader expected(lines, 64), peeked(lines, 64);
        char expectedBuffer[4096], peekedBuffer[4096];
        initLineReader(&expected.reader, expectedBuffer, block, readMemory, &expected.source);
        initLineReader(&peeked.reader, peekedBuffer, block, readMemory, &peeked.source);
        char line[MAIL_LINE_SIZE];
        size_t n;
        int peeks = 0;
        while ((n = readLine(&expected.reader, line, sizeof line)) != 0) {
            LinePeek peek;
            if (peekLine(&peeked.reader, MAIL_LINE_SIZE, &peek)) {
                ASSERT_EQ(std::string(peek.text, peek.length), std::string(line, n)) << block;
                passLine(&peeked.reader, &peek);
                peeks++;
            } else {
                char other[MAIL_LINE_SIZE];
                ASSERT_EQ(readLine(&peeked.reader, other, sizeof other), n);
            }
            ASSERT_EQ(readerOffset(&peeked.reader), readerOffset(&expected.reader)) << block;
        }
        if (block >= 600) {
            EXPECT_GT(peeks, 0);
        }
    }
}

TEST(MailFileLineReader, PushBackAndOffsetsAcrossRefills)
{
    TextReader r("abc", 1);
    EXPECT_EQ(readChar(&r.reader), 'a');
    unreadChar(&r.reader, 'a');
    EXPECT_EQ(readerOffset(&r.reader), 0u);
    EXPECT_EQ(readChar(&r.reader), 'a');
    EXPECT_EQ(readChar(&r.reader), 'b');
    EXPECT_EQ(readerOffset(&r.reader), 2u);
    unreadChar(&r.reader, 'b');
    EXPECT_EQ(readerOffset(&r.reader), 1u);
    char line[8];
    EXPECT_EQ(readLine(&r.reader, line, sizeof line), 2u);
    EXPECT_STREQ(line, "bc");
    EXPECT_EQ(readChar(&r.reader), -1);
    EXPECT_EQ(readLine(&r.reader, line, sizeof line), 0u);
}

TEST(MailFileLineReader, ContinuationLinesAreUnfolded)
{
    char line[MAIL_LINE_SIZE];
    {
        TextReader r(" \t two\n\tthree\nNext: x\n");
        copyText(line, "Subject: one  ");
        EXPECT_FALSE(joinContinuationLines(&r.reader, line, sizeof line));
        EXPECT_STREQ(line, "Subject: one two three\n");
        EXPECT_EQ(readChar(&r.reader), 'N');
    }
    {
        // A line of only blanks ends the header block and is consumed.
        TextReader r("\tmore\n   \nbody\n");
        copyText(line, "Subject: one");
        EXPECT_TRUE(joinContinuationLines(&r.reader, line, sizeof line));
        EXPECT_STREQ(line, "Subject: one more");
        EXPECT_EQ(r.lines(), std::vector<std::string>({"body\n"}));
    }
    {
        // No room left: the fold's blank is lost and its text becomes a line.
        std::string nearlyFull = "Subject: " + std::string(MAIL_LINE_SIZE - 3 - 9, 'z');
        TextReader r(" tail\n");
        copyText(line, nearlyFull.c_str());
        EXPECT_FALSE(joinContinuationLines(&r.reader, line, sizeof line));
        EXPECT_EQ(std::string(line), nearlyFull);
        EXPECT_EQ(r.lines(), std::vector<std::string>({"tail\n"}));
    }
    {
        // A long fold fills the buffer and stays terminated.
        TextReader r(" " + std::string(400, 'w') + "\n");
        copyText(line, "Subject: s");
        joinContinuationLines(&r.reader, line, sizeof line);
        EXPECT_EQ(strlen(line), (size_t)MAIL_LINE_SIZE - 1);
    }
}

TEST(MailFileFormat, FirstLineDecidesTheLayout)
{
    EXPECT_EQ(detectMailFormat("\x01\x01\x01\n"), MAIL_FORMAT_UNKNOWN); // three bytes are no separator
    EXPECT_EQ(detectMailFormat("smf 2\n"), SMF);
    EXPECT_EQ(detectMailFormat("from a@b\n"), MAIL_FORMAT_UNKNOWN);    // "From " is case-sensitive
    EXPECT_EQ(detectMailFormat("X-Note:none\n"), MAIL_FORMAT_UNKNOWN); // ": " needs its blank
    EXPECT_FALSE(isCnmName("cnm"));
    EXPECT_EQ(pmFlagsValue("X-PMFLAGS:130"), 130u);
    EXPECT_EQ(pmFlagsValue("X-PMFLAGS:"), 0u);
}

class MailFileScanTest : public MailTest
{
  protected:
    int scan(const std::string &text, size_t block = 64)
    {
        TextReader r(text, block);
        result = MailFileScan{};
        result.isCnm = isCnm;
        result.lastIndex = -1;
        result.stopRequested = stop;
        result.eachLine = [] { ++linesSeen; };
        linesSeen = 0;
        int known = scanMailFile(&r.reader, &result);
        offset = readerOffset(&r.reader);
        return known;
    }
    std::vector<std::string> subjects()
    {
        std::vector<std::string> out;
        for (int i = 0; i <= result.lastIndex; i++)
            out.push_back(mail.workHeaders[i % HEADER_SLOTS].subject);
        return out;
    }
    MailFileScan result;
    bool isCnm = false;
    bool (*stop)(void) = nullptr;
    uint64_t offset = 0;
    static int linesSeen;
};
int MailFileScanTest::linesSeen;

TEST_F(MailFileScanTest, UnixFromLineOfOnlyBlanksOpensNothing)
{
    // Detected as a Unix mailbox, but the trimmed line opens no message: the
    // header lines after it must not be written anywhere.
    config.settings.UnreadOnly = true;
    EXPECT_EQ(scan("From      \nFrom: a\nSubject: b\n\nFrom x\nSubject: c\n"), 1);
    EXPECT_EQ(subjects(), std::vector<std::string>({"c"}));
}

TEST_F(MailFileScanTest, ReadingStopsOnceTheFirstMessageIsKnown)
{
    config.settings.UnreadOnly = false;
    std::string box = "From a\nFrom: a\nSubject: one\n\nbody\nFrom b\nSubject: two\n\n";
    scan(box);
    EXPECT_EQ(subjects(), std::vector<std::string>({"one"}));
    EXPECT_LT(offset, box.size());

    // With filters on, Sender is awaited too: the header block's end stops it.
    config.settings.UseFilters = true;
    scan(box);
    EXPECT_EQ(linesSeen, 4);
}

TEST_F(MailFileScanTest, AMessageIsDroppedOnlyOnce)
{
    setFilters({{"spam", FILTER_IGNORE, MATCH_SUBJECT}});
    config.settings.UseFilters = true;
    config.settings.UnreadOnly = true;
    scan("From a\nFrom: a\nSubject: spam\nStatus: R\n\nFrom b\nSubject: ok\n\n");
    EXPECT_EQ(subjects(), std::vector<std::string>({"ok"}));
    ASSERT_NE(result.filterEntry, nullptr);
    // Only the first match in a file counts: a later spam stays.
    scan("From a\nSubject: spam 1\n\nFrom b\nSubject: spam 2\n\n");
    EXPECT_EQ(subjects(), std::vector<std::string>({"spam 2"}));
}

TEST_F(MailFileScanTest, MessageFileFinishesAtItsPmFlags)
{
    config.settings.UnreadOnly = true;
    isCnm = true;
    scan("From: a\nSubject: s\nX-PMFLAGS: 128\nStatus: U\n\n");
    EXPECT_EQ(result.lastIndex, -1);
    EXPECT_EQ(linesSeen, 3);
    // In a mailbox the line means nothing.
    isCnm = false;
    scan("From a\nFrom: a\nSubject: s\nX-PMFLAGS: 128\n\n");
    EXPECT_EQ(result.lastIndex, 0);
}

TEST_F(MailFileScanTest, StopRequestEndsTheScanAtTheNextLine)
{
    config.settings.UnreadOnly = true;
    stop = [] { return linesSeen >= 3; };
    scan("From a\nSubject: one\n\nFrom b\nSubject: two\n\n");
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(linesSeen, 3);
    EXPECT_EQ(subjects(), std::vector<std::string>({"one"}));
}

TEST_F(MailFileScanTest, EmptyAndUnknownFilesOpenNoMessage)
{
    EXPECT_EQ(scan(""), 0);
    EXPECT_TRUE(result.empty);
    EXPECT_EQ(scan("hello world\n"), 0);
    EXPECT_FALSE(result.empty);
    EXPECT_EQ(result.lastIndex, -1);
}

TEST_F(MailFileScanTest, MoreThanAHundredMessagesWrapTheSlots)
{
    config.settings.UnreadOnly = true;
    std::string box;
    for (int i = 0; i < 150; i++)
        box += "From x\nSubject: m" + std::to_string(i) + "\n\n";
    scan(box, 13);
    EXPECT_EQ(result.lastIndex, 149);
    EXPECT_STREQ(mail.workHeaders[49].subject, "m149");
    EXPECT_STREQ(mail.workHeaders[50].subject, "m50");

    // A dropped message past the hundredth leaves the kept one in its slot:
    // a read last message, and the separator closing an MMDF file.
    box.clear();
    for (int i = 0; i < 101; i++)
        box += "From x\nSubject: m" + std::to_string(i) + (i == 100 ? "\nStatus: RO" : "") + "\n\n";
    scan(box);
    EXPECT_EQ(result.lastIndex, 99);
    EXPECT_STREQ(mail.workHeaders[0].subject, "m0");
    EXPECT_STREQ(result.record->subject, "m100") << "the dropped record stays readable";
    box.clear();
    for (int i = 0; i < 100; i++)
        box += "\x01\x01\x01\x01\nSubject: m" + std::to_string(i) + "\n\nbody\n\x01\x01\x01\x01\n";
    scan(box);
    EXPECT_EQ(result.lastIndex, 99);
    EXPECT_STREQ(mail.workHeaders[0].subject, "m0");
}
