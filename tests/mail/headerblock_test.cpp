// parseHeaderBlock as the network sources run it: new-mail recognition by the
// first Received date, filters stopping the parse, Status lines and WAVBase.
#include <gtest/gtest.h>

#include "tests/mail/mail_fixture.h"

class HeaderBlock : public MailTest
{
  protected:
    ReceivedDate storedDate = {1996, 6, 12}; // year, day, month: 6 Dec 1996, 10:05:00
    ReceivedTime storedTime = {5, 10, 0, 0}; // minute, hour, hundredths, second
    ReceivedDate newestDate = {};
    ReceivedTime newestTime = {};
    HeaderScanResult result = {};
    MessageHeader *record = nullptr;

    void parse(const std::string &block)
    {
        record = openHeaderRecord(0, 0);
        // An exact-size heap copy: ASan reports any read past the end.
        std::vector<char> copy(block.begin(), block.end());
        parseHeaderBlock(copy.data(), copy.size(), record, &result, &storedDate, &storedTime, &newestDate,
                         &newestTime);
    }
};

TEST_F(HeaderBlock, NewWhenTheFirstReceivedDateIsLater)
{
    struct Case {
        const char *head;
        bool isNew;
    } cases[] = {
        {"Received: by b; 6 Dec 96 10:05:01\r\n", true},
        {"Received: by b;\r\n\t7 Dec 1996 00:00\r\n", true},
        {"Received: by b; 6 Dec 96 10:05\r\n", false},
        {"Received: by b (no date)\r\nReceived: by c; 9 Dec 96 10:00\r\n", false},
        {"From: a@b\r\nSubject: hi\r\nReceived: by b; 9 Dec 96 10:00\r\n", false}, // parse ended before it
    };
    for (const Case &c : cases) {
        parse(std::string(c.head) + "From: a@b\r\nSubject: hi\r\n");
        EXPECT_EQ(result.isNew, c.isNew ? 1 : 0) << c.head;
        EXPECT_STREQ(record->from, "a@b");
        EXPECT_STREQ(record->subject, "hi");
    }
    // The poll's newest date never moves back to an older new message's.
    parse("Received: by b; 9 Dec 96 10:00\r\n");
    parse("Received: by b; 8 Dec 96 10:00\r\n");
    EXPECT_EQ(result.isNew, 1);
    EXPECT_EQ(newestDate.day, 9);
}

TEST_F(HeaderBlock, StatusLineWithUnreadOnly)
{
    config.settings.UnreadOnly = true;
    parse("Received: by b; 9 Dec 96 10:00\r\nStatus: RO\r\nFrom: a@b\r\n");
    EXPECT_EQ(result.isRead, 1);
    EXPECT_EQ(result.isNew, 0);
    EXPECT_STREQ(record->from, "<no from>");
    parse("Status: O\r\nFrom: a@b\r\nSubject: s\r\nStatus: R\r\n");
    EXPECT_EQ(result.isRead, 0);
    config.settings.UnreadOnly = false;
    parse("Status: RO\r\nFrom: a@b\r\n");
    EXPECT_EQ(result.isRead, 0);
}

TEST_F(HeaderBlock, FilterMatchStopsOrContinues)
{
    config.settings.UseFilters = true;
    setFilters({{"spam", FILTER_IGNORE, MATCH_FROM}, {"zap", FILTER_DELETE, MATCH_EITHER}});
    struct Case {
        bool logDeletes;
        const char *block;
        int filter;
        const char *subject;
    } cases[] = {
        {false, "From: spam@x\r\nSubject: s\r\n", 0, "<no subject>"},
        {false, "From: zap@x\r\nSubject: s\r\n", 1, "<no subject>"},
        {true, "From: zap@x\r\nSubject: spam\r\n", 1, "spam"}, // a logged deletion reads on
        {true, "from: spam@x\r\nSender: spam-list\r\nSubject: s\r\n", 0, "<no subject>"},
        {false, "From: a@b\r\nSubject: s\r\nSender: spam-list\r\n", 0, "s"}, // filters wait for Sender
    };
    for (const Case &c : cases) {
        config.settings.LogDeletes = c.logDeletes;
        parse(c.block);
        EXPECT_EQ(result.filterEntry, &filters[c.filter]) << c.block;
        EXPECT_STREQ(record->subject, c.subject) << c.block;
    }
}

TEST_F(HeaderBlock, WavBaseSoundOfANewMessage)
{
    config.settings.SoundOption = SOUND_WAVBASE;
    setSounds({{"boss", "boss.wav", MATCH_FROM}, {"urgent", "urgent.wav", MATCH_SUBJECT}});
    const std::string fresh = "Received: by b; 9 Dec 96 10:00\r\n";
    struct Case {
        std::string block;
        int entry; // -2 no sound, -1 default, else index
    } cases[] = {
        {fresh + "From: boss@x\r\nSubject: urgent\r\n", 0},
        {fresh + "Subject: urgent\r\nFrom: boss@x\r\n", 1},
        {fresh + "From: other\r\nSubject: urgent boss\r\n", 1},
        {fresh + "From: urgent@x\r\nSubject: hello\r\n", -1},
        {"Received: by b; 1 Dec 96 10:00\r\nFrom: boss@x\r\nSubject: s\r\n", -2},
        {"From: boss@x\r\nSubject: urgent\r\n", -2},
    };
    for (const Case &c : cases) {
        parse(c.block);
        const WavBaseEntry *expected = c.entry == -2 ? NO_SOUND : c.entry == -1 ? nullptr : &sounds[c.entry];
        EXPECT_EQ(record->soundEntry, expected) << c.block;
    }
}

// Lines the parser does not read are passed over where a copy of them would
// end: at CR or LF alone, after empty lines, and where the line buffer cuts a
// long line, whose rest is read as a line of its own.
TEST_F(HeaderBlock, LinesPassedOverEndWhereTheirCopyWould)
{
    config.settings.UnreadOnly = true; // every line is looked at
    const std::string cut(MAIL_LINE_SIZE - 1 - 8, 'x');
    struct Case {
        std::string block;
        const char *subject;
        int isRead;
    } cases[] = {
        {"X-A: 1\rSubject: cr\rFrom: a\r", "cr", 0},
        {"X-A: 1\nSubject: lf\n", "lf", 0},
        {"X-A: 1\r\n\r\n\n\rStatus: RO\r\nSubject: s\r\n", "<no subject>", 1},
        {"X-Long: " + std::string(300, 'x') + "\r\nSubject: after\r\n", "after", 0},
        {"X-Long: " + cut + "Subject: cut\r\n", "cut", 0},
        {std::string("X-A: \0\r\nSubject: nul\r\n", 21), "nul", 0},
        {std::string("Subj\0ect: no\r\n", 14), "<no subject>", 0},
    };
    for (const Case &c : cases) {
        parse(c.block);
        EXPECT_STREQ(record->subject, c.subject) << c.block;
        EXPECT_EQ(result.isRead, c.isRead) << c.block;
    }
}
