// The header list: slots taken modulo 100 and the two sort orders.
#include <gtest/gtest.h>

#include "tests/mail/mail_fixture.h"

class HeaderList : public MailTest
{
};

TEST_F(HeaderList, SortedCommits)
{
    // 150 messages keep the last 100. Otherwise messages 0 and 1 come from the
    // newer file, 2 and 3 from the older one; a key with the top bit set is
    // still the newest.
    std::vector<uint32_t> longPoll(150, 0);
    std::vector<int> lastHundred, lastHundredReversed;
    for (int i = 50; i < 150; i++) {
        lastHundred.push_back(i);
        lastHundredReversed.push_back(199 - i);
    }
    struct Case {
        bool reverse;
        std::vector<uint32_t> keys;
        std::vector<int> expected;
    } cases[] = {
        {false, longPoll, lastHundred},          {true, longPoll, lastHundredReversed},
        {false, {2, 2, 1, 1}, {2, 3, 0, 1}},     {true, {2, 2, 1, 1}, {1, 0, 3, 2}},
        {false, {0x80000000u, 1, 1}, {1, 2, 0}},
    };
    for (const Case &c : cases) {
        config.settings.ReverseSort = c.reverse;
        for (size_t i = 0; i < c.keys.size(); i++)
            openHeaderRecord((int)i, c.keys[i]);
        commitHeaderList((int)c.keys.size());
        std::vector<int> shown;
        for (size_t i = 0; i < c.expected.size(); i++)
            shown.push_back(mail.shownHeaders[i].index);
        EXPECT_EQ(shown, c.expected);
    }
}
