// The poll cycle's decisions, its tick rules and its status texts, driven
// through the real poll cycle with a recording front end and a scripted
// mail-file source.
#include <gtest/gtest.h>
#include <string.h>

#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "sources/sources.h"
#include "tests/fakes/recording_frontend.h"

// The scripted mail-file source: its size and what a read finds.
static uint64_t scriptedSize;
static int scriptedLastIndex;
static bool scriptedForce;
static int readCount;

uint64_t mailFileSizeTotal(void)
{
    return scriptedSize;
}

void pollMailFile(void)
{
    readCount++;
    beginPoll();
    for (int i = 0; i <= scriptedLastIndex; i++)
        openHeaderRecord(i, 0);
    publishPollResult(scriptedLastIndex, scriptedForce);
}

class PollCycle : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(allocateMailBuffers());
        memset(&notifier, 0, sizeof notifier);
        notifier.clearItem = MENU_CLEAR;
        notifier.clearGrayed = true;
        memset(&config.settings, 0, sizeof config.settings);
        config.settings.PollInterval = 5;
        config.settings.NetErrors = true;
        config.settings.InactivityTimeout = 30;
        config.settings.ConnectTimeout = 60;
        config.settings.WinSockInitTimeout = 120;
        copyText(config.settings.MailFile, "C:\\MAIL\\INBOX.MBX");
        netStages = NetworkStages();
        scriptedSize = 0;
        scriptedLastIndex = -1;
        scriptedForce = false;
        readCount = 0;
        resetFakeFrontEnd();
    }
    void TearDown() override
    {
        freeMailBuffers();
    }

    // One poll of a source that stores count headers.
    void poll(int count, bool force = false)
    {
        beginPoll();
        for (int i = 0; i < count; i++)
            openHeaderRecord(i, 0);
        publishPollResult(count - 1, force);
    }
    static void ticks(int n)
    {
        for (int i = 0; i < n; i++)
            pollTick();
    }
};

TEST_F(PollCycle, DecidesNewFewerSameAndGone)
{
    poll(3);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_EQ(1u, frontCalls("havemail:notify").size());

    resetFakeFrontEnd();
    poll(5);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision) << "5 after 3 notifies";
    EXPECT_EQ(1u, frontCalls("havemail:notify").size());

    resetFakeFrontEnd();
    poll(3);
    EXPECT_EQ(DECISION_FEWER, notifier.lastDecision) << "3 after 5 refreshes without notification";
    EXPECT_EQ(0u, frontCalls("havemail:notify").size());
    EXPECT_EQ(1u, frontCalls("havemail:quiet").size());

    resetFakeFrontEnd();
    poll(3);
    EXPECT_EQ(DECISION_NO_CHANGE, notifier.lastDecision);
    EXPECT_TRUE(frontCalls("havemail").empty());

    poll(3, true);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision) << "same count with a newer message notifies";

    resetFakeFrontEnd();
    poll(0);
    EXPECT_EQ(DECISION_NO_MAIL, notifier.lastDecision);
    EXPECT_FALSE(notifier.haveMail);
    EXPECT_EQ(0, notifier.mailMeasure);
    EXPECT_EQ(1u, frontCalls("nomail:actions").size());
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_EQ("finished", frontLog.back());
}

TEST_F(PollCycle, CountsEveryMessageButShowsTheLastHundred)
{
    beginPoll();
    for (int i = 0; i < 150; i++) {
        MessageHeader *h = openHeaderRecord(i, 0);
        formatText(h->subject, sizeof h->subject, "message %d", i);
    }
    publishPollResult(149, false);
    EXPECT_EQ(150, notifier.headerCount);
    EXPECT_EQ(100, notifier.shownCount);
    EXPECT_STREQ("message 50", mail.shownHeaders[0].subject);
    EXPECT_STREQ("message 149", mail.shownHeaders[99].subject);
}

TEST_F(PollCycle, BeginAndFinishGrayPollNowAndShowPolling)
{
    beginPoll();
    EXPECT_TRUE(notifier.pollInProgress);
    EXPECT_EQ("menu:1:off", frontLog.front());
    EXPECT_STREQ("Polling...", statusText());
    EXPECT_STREQ("Pelimbo - Polling...", captionText());
    finishPoll();
    EXPECT_STREQ("INBOX.MBX", statusText());
    EXPECT_STREQ("Pelimbo - INBOX.MBX", captionText());
    EXPECT_EQ(1u, frontCalls("menu:1:on").size());
}

TEST_F(PollCycle, PollsAtStartThenEveryIntervalFromPollMomentToPollMoment)
{
    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 1000;
    scriptedLastIndex = 0;
    ticks(1);
    EXPECT_EQ(1, readCount);
    scriptedSize = 1200;
    ticks(4);
    EXPECT_EQ(1, readCount) << "no poll before the interval has passed";
    ticks(1);
    EXPECT_EQ(2, readCount);
    scriptedSize = 1400;
    ticks(5);
    EXPECT_EQ(3, readCount);
}

TEST_F(PollCycle, SmallGrowthOfTheMailFileIsNotReadAgain)
{
    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 1000;
    scriptedLastIndex = 0;
    ticks(5);
    ASSERT_EQ(1, readCount);
    ASSERT_EQ(1000, notifier.mailMeasure);

    scriptedSize = 1120;
    ticks(5);
    EXPECT_EQ(1, readCount) << "growth of 120 bytes is not new mail";
    EXPECT_EQ(1120, notifier.mailMeasure);

    scriptedSize = 1241;
    ticks(5);
    EXPECT_EQ(2, readCount) << "growth of 121 bytes is read";
}

TEST_F(PollCycle, EmptyMailFileEntersNoMailState)
{
    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 5000;
    scriptedLastIndex = 1;
    ticks(5);
    ASSERT_TRUE(notifier.haveMail);
    resetFakeFrontEnd();
    scriptedSize = 5;
    ticks(5);
    EXPECT_FALSE(notifier.haveMail);
    EXPECT_EQ(1u, frontCalls("nomail:actions").size());
    EXPECT_EQ(5, notifier.mailMeasure);
}

TEST_F(PollCycle, ShrinkingFileIsReadAgainOnlyWhileClearIsLive)
{
    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 5000;
    scriptedLastIndex = 2;
    ticks(5);
    ASSERT_EQ(1, readCount);
    scriptedSize = 4000;
    scriptedLastIndex = 1;
    ticks(5);
    EXPECT_EQ(2, readCount);
    EXPECT_EQ(DECISION_FEWER, notifier.lastDecision);

    // The user cleared the notification: "Sh&ow" is in the menu.
    notifier.clearItem = MENU_SHOW;
    scriptedSize = 3000;
    ticks(5);
    EXPECT_EQ(2, readCount);
}

TEST_F(PollCycle, PollMomentDuringAnErrorBoxIsSkippedNotDelayed)
{
    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 1000;
    scriptedLastIndex = 0;
    // Seven ticks arrive while the box is open (the timer keeps running
    // inside the box's own message loop).
    whileErrorBoxOpen = [] { ticks(7); };
    reportError("Some local failure");
    EXPECT_EQ(0, readCount) << "no poll underneath an error box";
    EXPECT_FALSE(notifier.errorBoxOpen);
    // The poll moment at tick 0 (and at tick 5) passed while the box was open.
    EXPECT_EQ(2u, notifier.tickCounter);
    whileErrorBoxOpen = nullptr;
    ticks(3);
    EXPECT_EQ(0, readCount);
    ticks(1);
    EXPECT_EQ(1, readCount) << "the next poll comes at the next regular moment";
}

TEST_F(PollCycle, DeferredExitRunsAtTheFirstTickAfterThePoll)
{
    config.settings.BlinkIconOnPoll = true;
    beginPoll();
    notifier.pollWaitOpen = true;
    notifier.pendingCommand = PENDING_EXIT;
    resetFakeFrontEnd();
    ticks(3);
    EXPECT_TRUE(frontCalls("post:").empty());
    std::vector<std::string> blinks = frontCalls("blink:");
    ASSERT_EQ(3u, blinks.size()) << "a running poll blinks the icon every tick";
    EXPECT_EQ("blink:blank", blinks[0]) << "the first step after beginPoll shows the blank phase";
    EXPECT_EQ("blink:icon", blinks[1]);

    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 1000;
    notifier.tickCounter = 0;
    finishPoll();
    resetFakeFrontEnd();
    ticks(1);
    ASSERT_EQ(1u, frontCalls("post:").size());
    EXPECT_EQ("post:4", frontCalls("post:")[0]);
    EXPECT_EQ(1u, frontCalls("closewait").size());
    EXPECT_EQ(1u, frontCalls("menu:2:on").size());
    EXPECT_EQ(1u, frontCalls("menu:3:on").size());
    EXPECT_EQ(PENDING_NONE, notifier.pendingCommand);
    EXPECT_FALSE(notifier.pollWaitOpen);
    EXPECT_EQ(0, readCount) << "the tick that runs a deferred command starts no poll";
}

TEST_F(PollCycle, SilentServerTimesOutAfterInactivityTimeout)
{
    config.settings.MessageSource = 99; // nothing to poll afterwards
    config.settings.InactivityTimeout = 3;
    beginPoll();
    netStages.awaitingServer = true;
    notifier.stageTicks = 0;
    ticks(4);
    EXPECT_TRUE(notifier.pollInProgress);
    EXPECT_TRUE(frontCalls("error:").empty());
    ticks(1);
    EXPECT_FALSE(notifier.pollInProgress);
    ASSERT_EQ(1u, frontCalls("error:").size());
    EXPECT_EQ("error:Time out on POP3/IMAP4 server", frontCalls("error:")[0]);
}

TEST_F(PollCycle, NetworkErrorsAreDroppedWhenSwitchedOff)
{
    config.settings.NetErrors = false;
    reportNetError("Unable to connect to POP3/IMAP4 server");
    EXPECT_TRUE(frontCalls("error:").empty());
    config.settings.NetErrors = true;
    reportNetError("Unable to connect to POP3/IMAP4 server");
    EXPECT_EQ(1u, frontCalls("error:").size());
}

TEST_F(PollCycle, CaptionCountReplacesEveryMarkAndStaysInItsBuffer)
{
    EXPECT_STREQ("12 new, 12 waiting", expandCaptionCount("%n new, %n waiting", 12));
    EXPECT_STREQ("Inbox", expandCaptionCount("Inbox", 12));
    const char *many = expandCaptionCount("%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n%n", 2000000000);
    EXPECT_EQ(50u, strlen(many));
    EXPECT_EQ(0, strncmp(many, "200000000020000000002000000000", 30));

    copyText(config.settings.WindowCaption, "Mail: %n");
    notifier.headerCount = 7;
    EXPECT_STREQ("Mail: 7", statusText());
    EXPECT_STREQ("Pelimbo - Mail: 7", captionText());
    config.settings.WindowCaption[0] = '\0';
    config.settings.MessageSource = SOURCE_POP3;
    EXPECT_STREQ("Pelimbo", statusText());
}

TEST_F(PollCycle, NetworkCommitMovesTheStoredDateOnlyForward)
{
    ReceivedDate stored = {1996, 6, 12};
    ReceivedTime storedTime = {5, 10, 0, 0};
    ReceivedDate older = {1996, 5, 12};
    ReceivedTime any = {0, 23, 0, 59};
    beginPoll();
    publishNetworkHeaders(false, 2, &stored, &storedTime, &older, &any);
    EXPECT_EQ(6, stored.day) << "an older newest date never moves the stored one back";
    EXPECT_EQ(5, storedTime.minute);
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_FALSE(notifier.pollInProgress);

    ReceivedDate sameDay = {1996, 6, 12};
    ReceivedTime laterTime = {6, 10, 0, 0};
    beginPoll();
    publishNetworkHeaders(true, 2, &stored, &storedTime, &sameDay, &laterTime);
    EXPECT_EQ(6, stored.day);
    EXPECT_EQ(6, storedTime.minute);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision) << "a newer message notifies at the same count";
}

TEST_F(PollCycle, MailFilesBeyondTwoGigabytesAreStillMail)
{
    config.settings.MessageSource = SOURCE_DISK_FILE;
    scriptedSize = 3000000000ull;
    scriptedLastIndex = 0;
    ticks(5);
    ASSERT_EQ(1, readCount);
    EXPECT_TRUE(notifier.haveMail);
    scriptedSize = 3000000200ull;
    ticks(5);
    EXPECT_EQ(2, readCount) << "growth is measured on the full size";
    EXPECT_TRUE(notifier.haveMail) << "a large total is not read as mail gone";
}
