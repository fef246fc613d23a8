// The header list: slots taken modulo 100, the two sort orders and the commit.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mail/mail_fixture.h"

class HeaderList : public MailTest {
protected:
    std::vector<int> shownIndexes(int count)
    {
        std::vector<int> indexes;
        for (int i = 0; i < count; i++)
            indexes.push_back(mail.shownHeaders[i].index);
        return indexes;
    }
};

TEST_F(HeaderList, KeepsTheLastHundredOfALongPoll)
{
    for (bool reverse : {false, true}) {
        config.settings.ReverseSort = reverse;
        for (int i = 0; i < 150; i++)
            openHeaderRecord(i, 0);
        commitHeaderList(150);
        std::vector<int> expected;
        for (int i = 50; i < 150; i++)
            expected.push_back(reverse ? 199 - i : i);
        EXPECT_EQ(shownIndexes(100), expected);
    }
}

TEST_F(HeaderList, SortOrders)
{
    // Messages 0 and 1 come from the newer file, 2 and 3 from the older one; a
    // key with the top bit set must still count as the newest.
    struct Case {
        bool reverse;
        std::vector<uint32_t> keys;
        std::vector<int> expected;
    } cases[] = {
        {false, {2, 2, 1, 1}, {2, 3, 0, 1}},
        {true, {2, 2, 1, 1}, {1, 0, 3, 2}},
        {false, {0x80000000u, 1, 1}, {1, 2, 0}},
        {true, {0, 0, 0}, {2, 1, 0}},
    };
    for (const Case &c : cases) {
        config.settings.ReverseSort = c.reverse;
        for (size_t i = 0; i < c.keys.size(); i++)
            openHeaderRecord((int)i, c.keys[i]);
        commitHeaderList((int)c.keys.size());
        EXPECT_EQ(shownIndexes((int)c.keys.size()), c.expected);
    }
}

TEST_F(HeaderList, CommitSwapsTheArraysAndOpeningResetsARecord)
{
    MessageHeader *work = mail.workHeaders;
    MessageHeader *shown = mail.shownHeaders;
    MessageHeader *record = openHeaderRecord(205, 7);
    EXPECT_EQ(record, &work[5]);
    EXPECT_STREQ(record->from, "<no from>");
    EXPECT_STREQ(record->subject, "<no subject>");
    EXPECT_EQ(record->soundEntry, NO_SOUND);
    commitHeaderList(0);
    EXPECT_EQ(mail.shownHeaders, work);
    EXPECT_EQ(mail.workHeaders, shown);
    EXPECT_EQ(mail.shownHeaders[5].index, 205);
}
