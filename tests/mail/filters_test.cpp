// Filter matching and the layout of a deletions log entry.
#include <gtest/gtest.h>

#include "tests/mail/mail_fixture.h"

class Filters : public MailTest
{
  protected:
    MessageHeader record = {};

    void message(const char *from, const char *subject, const char *rawFrom = "", const char *rawSubject = "",
                 const char *sender = "", const char *rawSender = "")
    {
        copyText(record.from, from);
        copyText(record.subject, subject);
        copyText(mail.rawFrom, rawFrom);
        copyText(mail.rawSubject, rawSubject);
        copyText(mail.senderText, sender);
        copyText(mail.rawSender, rawSender);
    }
};

TEST_F(Filters, MatchingTable)
{
    config.settings.UseFilters = true;
    struct Case {
        const char *text;
        uint8_t match;
        const char *from, *subject, *rawSubject, *sender;
        bool fromHit, subjectHit, senderHit;
    } cases[] = {
        {"sale", MATCH_SUBJECT, "sales@shop", "BIG SALE", "", "", false, true, false},
        {"sale", MATCH_EITHER, "sales@shop", "BIG SALE", "", "", true, true, false},
        {"bounces", MATCH_FROM, "a@b", "hi", "", "list-BOUNCES@x", false, false, true},
        // Decoded text matches although the raw text does not, and the reverse.
        {"big deal", MATCH_SUBJECT, "a@b", "big deal", "=?UTF-8?B?YmlnIGRlYWw=?=", "", false, true, false},
        {"utf-8", MATCH_SUBJECT, "a@b", "big deal", "=?UTF-8?B?YmlnIGRlYWw=?=", "", false, true, false},
        {"", MATCH_FROM, "a@b", "hi", "", "", true, false, true},
        {"a", 3, "a@b", "a", "", "a", false, false, false},
        // Only the first 59 characters of the Sender text are compared.
        {"z", MATCH_FROM, "a@b", "hi", "", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaZ",
         false, false, false},
    };
    for (const Case &c : cases) {
        setFilters({{c.text, FILTER_IGNORE, c.match}});
        message(c.from, c.subject, "", c.rawSubject, c.sender);
        EXPECT_EQ(filterMatchFrom(&record) != nullptr, c.fromHit) << c.text << " / " << c.from;
        EXPECT_EQ(filterMatchSubject(&record) != nullptr, c.subjectHit) << c.text << " / " << c.subject;
        EXPECT_EQ(filterMatchSender() != nullptr, c.senderHit) << c.text << " / " << c.sender;
    }
    config.settings.UseFilters = false;
    EXPECT_EQ(filterMatchFromOrSubject(&record), nullptr);
}

TEST_F(Filters, FirstEntryInListOrderWins)
{
    config.settings.UseFilters = true;
    // As loaded: sorted without regard to case, so "abc" comes before "ABD".
    setFilters({{"abc", FILTER_IGNORE, MATCH_EITHER}, {"ABD", FILTER_DELETE, MATCH_EITHER}});
    message("abd abc", "abd");
    EXPECT_EQ(filterMatchFromOrSubject(&record), &filters[0]);
    message("x", "abd");
    EXPECT_EQ(filterMatchFromOrSubject(&record), &filters[1]);
}

TEST_F(Filters, DeletionLogLayout)
{
    setFilters({{"offer", FILTER_DELETE, MATCH_SUBJECT}});
    LogTimestamp when = {2005, 3, 7, 9, 8, 7};
    char text[DELETION_LOG_ENTRY_SIZE];
    const char *head = "Date: 03/07/05  Time: 09:08:07\nFilter \"offer\" for subject line matched message\n";

    // A bare address is shown as written: no "(raw):" line under From.
    message("shop@x", "offer", "shop@x", "offer");
    formatDeletionLog(text, sizeof text, &record, &filters[0], &when);
    EXPECT_EQ(std::string(text), std::string(head) + "From:    shop@x\nSubject: offer\n\n");

    message("Shop", "Caf\xE9 offer", "Shop <shop@x>", "=?ISO-8859-1?Q?Caf=E9_offer?=", "list", "List <l@x>");
    formatDeletionLog(text, sizeof text, &record, &filters[0], &when);
    EXPECT_EQ(std::string(text), std::string(head)
                                     + "From:    Shop\n"
                                       "(raw):   Shop <shop@x>\n"
                                       "Subject: Caf\xE9 offer\n"
                                       "(raw):   =?ISO-8859-1?Q?Caf=E9_offer?=\n"
                                       "Sender:  list\n"
                                       "(raw):   List <l@x>\n\n");
}
