// Deleting a filtered message on Windows: the confirmation and the log file.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/config/winfiles.h"
#include "tests/mail/fake_core.h"
#include "tests/mail/mail_fixture.h"

class Deletions : public MailTest
{
  protected:
    MessageHeader record = {};
    char path[MAX_PATH] = {};

    void SetUp() override
    {
        MailTest::SetUp();
        resetFakePoll();
        setFilters({{"offer", FILTER_DELETE, MATCH_SUBJECT}, {"news", FILTER_IGNORE, MATCH_FROM}});
        copyText(record.from, "shop@x");
        copyText(record.subject, "offer");
        char dir[MAX_PATH];
        GetTempPathA(sizeof dir, dir);
        GetTempFileNameA(dir, "pel", 0, path);
        DeleteFileA(path);
    }
    void TearDown() override
    {
        DeleteFileA(path);
        MailTest::TearDown();
    }
};

TEST_F(Deletions, ConfirmationDecides)
{
    EXPECT_FALSE(shouldDeleteMessage(&record, &filters[1]));
    EXPECT_TRUE(shouldDeleteMessage(&record, &filters[0])); // ConfirmDeletes off: no question
    config.settings.ConfirmDeletes = true;
    for (bool answer : {false, true}) {
        fakePoll.answer = answer;
        EXPECT_EQ(shouldDeleteMessage(&record, &filters[0]), answer);
    }
    EXPECT_EQ(fakePoll.questions, std::vector<std::string>(2, "Filter \"offer\" for subject line matches:\n\n"
                                                              "  shop@x\n  offer\n\nDelete this message?"));
}

TEST_F(Deletions, LogIsAppendedWithCrLf)
{
    logDeletion(&record, &filters[0]); // no DeleteFile: nothing, silently
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);

    copyText(config.settings.DeleteFile, path);
    logDeletion(&record, &filters[0]);
    logDeletion(&record, &filters[0]);
    const std::string log = readFile(path);
    const std::string body = "Filter \"offer\" for subject line matched message\r\n"
                             "From:    shop@x\r\nSubject: offer\r\n\r\n";
    ASSERT_EQ(log.size(), 2 * (32 + body.size())) << log; // "Date: mm/dd/yy  Time: hh:mm:ss\r\n"
    EXPECT_EQ(log.compare(14, 8, "  Time: "), 0);
    EXPECT_EQ(log.substr(32, body.size()), body);
    EXPECT_EQ(log.substr(64 + body.size()), body);
    EXPECT_TRUE(fakePoll.errors.empty());

    copyText(config.settings.DeleteFile, (std::string(path) + "\\missing\\deletions.log").c_str());
    logDeletion(&record, &filters[0]);
    EXPECT_EQ(fakePoll.errors, std::vector<std::string>{"Unable to open deletions log file"});
}
