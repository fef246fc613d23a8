// Deleting a filtered message on Windows: the confirmation and the log file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/mail/fake_notifier.h"
#include "tests/mail/mail_fixture.h"

class Deletions : public MailTest {
protected:
    MessageHeader record = {};
    char path[MAX_PATH] = {};

    void SetUp() override
    {
        MailTest::SetUp();
        resetFakeNotifier();
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
    std::string readLog()
    {
        std::string text;
        HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return "<missing>";
        char buffer[4096];
        DWORD n = 0;
        ReadFile(file, buffer, sizeof buffer, &n, nullptr);
        CloseHandle(file);
        return std::string(buffer, n);
    }
};

TEST_F(Deletions, ConfirmationDecides)
{
    EXPECT_FALSE(shouldDeleteMessage(&record, &filters[1]));
    config.settings.ConfirmDeletes = false;
    EXPECT_TRUE(shouldDeleteMessage(&record, &filters[0]));
    EXPECT_TRUE(askedQuestions.empty());

    config.settings.ConfirmDeletes = true;
    for (bool answer : {false, true}) {
        questionAnswer = answer;
        EXPECT_EQ(shouldDeleteMessage(&record, &filters[0]), answer);
    }
    ASSERT_EQ(askedQuestions.size(), 2u);
    EXPECT_EQ(askedQuestions[0], "Filter \"offer\" for subject line matches:\n\n  shop@x\n  offer\n\nDelete this message?");
}

TEST_F(Deletions, LogIsAppendedWithCrLf)
{
    logDeletion(&record, &filters[0]);
    EXPECT_EQ(readLog(), "<missing>");

    copyText(config.settings.DeleteFile, path);
    logDeletion(&record, &filters[0]);
    logDeletion(&record, &filters[0]);
    std::string log = readLog();
    const std::string body = "Filter \"offer\" for subject line matched message\r\n"
                             "From:    shop@x\r\n"
                             "Subject: offer\r\n"
                             "\r\n";
    ASSERT_EQ(log.size(), 2 * (32 + body.size())) << log;
    EXPECT_EQ(log.compare(0, 6, "Date: "), 0);
    EXPECT_EQ(log.compare(14, 8, "  Time: "), 0);
    EXPECT_EQ(log.substr(32, body.size()), body);
    EXPECT_EQ(log.substr(64 + body.size()), body);
    EXPECT_TRUE(reportedErrors.empty());

    copyText(config.settings.DeleteFile, (std::string(path) + "\\missing\\deletions.log").c_str());
    logDeletion(&record, &filters[0]);
    EXPECT_EQ(reportedErrors, std::vector<std::string>{"Unable to open deletions log file"});
}
