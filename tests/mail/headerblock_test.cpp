// parseHeaderBlock as the network sources run it: new-mail recognition by the
// first Received date, filters stopping the parse, Status lines and WAVBase.
#include <gtest/gtest.h>

#include <string>

#include "tests/mail/mail_fixture.h"

class HeaderBlock : public MailTest {
protected:
    ReceivedDate storedDate = {1996, 6, 12};     // 6 Dec 1996 10:05:00
    ReceivedTime storedTime = {5, 10, 0, 0};
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
        const char *received;
        bool isNew;
    } cases[] = {
        {"Received: by b; 6 Dec 96 10:05:01\r\n", true},
        {"Received: by b;\r\n\t7 Dec 1996 00:00\r\n", true},
        {"Received: by b; 6 Dec 96 10:05\r\n", false},
        {"Received: by b; 5 Dec 96 23:00\r\n", false},
        {"Received: by b (no date)\r\nReceived: by c; 9 Dec 96 10:00\r\n", false},
        {"X-Received: by b; 9 Dec 96 10:00\r\n", false},
    };
    for (const Case &c : cases) {
        parse(std::string(c.received) + "From: a@b\r\nSubject: hi\r\n");
        EXPECT_EQ(result.isNew, c.isNew ? 1 : 0) << c.received;
        EXPECT_STREQ(record->from, "a@b");
        EXPECT_STREQ(record->subject, "hi");
    }
}

TEST_F(HeaderBlock, NewestDateOnlyMovesForward)
{
    parse("Received: by b; 9 Dec 96 10:00\r\n");
    parse("Received: by b; 8 Dec 96 10:00\r\n");
    EXPECT_EQ(result.isNew, 1);
    EXPECT_EQ(newestDate.day, 9);
}

TEST_F(HeaderBlock, StopsOnceEverythingWantedIsSeen)
{
    // From and Subject end the parse when neither filters nor UnreadOnly ask
    // for more: a Received line after them is never read.
    parse("From: a@b\r\nSubject: hi\r\nReceived: by b; 9 Dec 96 10:00\r\n");
    EXPECT_EQ(result.isNew, 0);
    config.settings.UseFilters = true;
    parse("From: a@b\r\nSubject: hi\r\nReceived: by b; 9 Dec 96 10:00\r\nSender: x\r\n");
    EXPECT_EQ(result.isNew, 1);
    EXPECT_STREQ(mail.senderText, "x");
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
    EXPECT_STREQ(record->from, "a@b");
}

TEST_F(HeaderBlock, FilterMatchStopsOrContinues)
{
    config.settings.UseFilters = true;
    setFilters({{"spam", FILTER_IGNORE, MATCH_FROM}, {"zap", FILTER_DELETE, MATCH_EITHER}});
    const std::string tail = "Subject: the rest\r\n";
    parse("From: spam@x\r\n" + tail);
    EXPECT_EQ(result.filterEntry, &filters[0]);
    EXPECT_STREQ(record->subject, "<no subject>");

    parse("From: zap@x\r\n" + tail);
    EXPECT_EQ(result.filterEntry, &filters[1]);
    EXPECT_STREQ(record->subject, "<no subject>");

    config.settings.LogDeletes = true;
    parse("From: zap@x\r\nSubject: spam\r\n");
    EXPECT_EQ(result.filterEntry, &filters[1]);
    EXPECT_STREQ(record->subject, "spam");
    EXPECT_STREQ(mail.rawFrom, "zap@x");

    parse("from: spam@x\r\nSender: spam-list\r\n");
    EXPECT_EQ(result.filterEntry, &filters[0]);
    EXPECT_STREQ(record->from, "<no from>");
}

TEST_F(HeaderBlock, WavBaseSoundOfANewMessage)
{
    config.settings.SoundOption = SOUND_WAVBASE;
    setSounds({{"boss", "boss.wav", MATCH_FROM}, {"urgent", "urgent.wav", MATCH_SUBJECT}});
    const std::string fresh = "Received: by b; 9 Dec 96 10:00\r\n";
    struct Case {
        std::string block;
        int entry;      // -2 no sound, -1 default, else index
    } cases[] = {
        {fresh + "From: boss@x\r\nSubject: urgent\r\n", 0},
        {fresh + "Subject: urgent\r\nFrom: boss@x\r\n", 1},
        {fresh + "From: other\r\nSubject: urgent boss\r\n", 1},
        {fresh + "From: other\r\nSubject: hello\r\n", -1},
        {"Received: by b; 1 Dec 96 10:00\r\nFrom: boss@x\r\nSubject: s\r\n", -2},
        {"From: boss@x\r\nSubject: urgent\r\n", -2},
    };
    for (const Case &c : cases) {
        parse(c.block);
        const WavBaseEntry *expected = c.entry == -2 ? NO_SOUND : c.entry == -1 ? nullptr : &sounds[c.entry];
        EXPECT_EQ(record->soundEntry, expected) << c.block;
    }
}
