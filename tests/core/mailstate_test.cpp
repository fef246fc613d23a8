// The state the core leaves behind on entering each mail state, whatever the
// front end shows: run against the null front end, which does nothing.
#include <gtest/gtest.h>
#include <string.h>

#include "core/core.h"
#include "core/frontend.h"
#include "mail/mail.h"

class MailStates : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        installFrontEnd(nullptr);
        memset(&notifier, 0, sizeof notifier);
        notifier.headerCount = 7;
        notifier.shownCount = 7;
        mail.currentSnapshotCount = 3;
        mail.previousSnapshotCount = 2;
    }
};

// A real change to no mail (nothing measured any more): nothing is shown and
// Clear is grayed; Clear with mail still there leaves the counts for Show.
// Only the change with actions forgets the mail-file snapshot.
TEST_F(MailStates, NoMailKeepsCountsAndSnapshotsByCase)
{
    struct Case {
        long long measure;
        bool actions;
        int count, item;
        bool grayed;
        int snapshots;
    } cases[] = {
        {0, true, 0, MENU_CLEAR, true, 0},
        {0, false, 0, MENU_CLEAR, true, 3},
        {500, true, 7, MENU_SHOW, false, 0},
        {500, false, 7, MENU_SHOW, false, 3},
    };
    for (const Case &c : cases) {
        SetUp();
        // A stale gray from an earlier state must not survive the change to Show.
        notifier.clearGrayed = true;
        notifier.mailMeasure = c.measure;
        enterNoMailState(c.actions);
        SCOPED_TRACE(testing::Message() << "measure " << c.measure << " actions " << c.actions);
        EXPECT_EQ(notifier.headerCount, c.count);
        EXPECT_EQ(notifier.shownCount, c.count);
        EXPECT_EQ(notifier.clearItem, c.item);
        EXPECT_EQ(notifier.clearGrayed, c.grayed);
        EXPECT_EQ(mail.currentSnapshotCount, c.snapshots);
        EXPECT_EQ(mail.previousSnapshotCount, c.snapshots ? 2 : 0);
    }
}

// Have mail, with or without notification: Clear is live, nothing else moves.
TEST_F(MailStates, HaveMailMakesClearLive)
{
    for (bool notify : {false, true}) {
        SetUp();
        notifier.clearItem = MENU_SHOW;
        notifier.clearGrayed = true;
        enterHaveMailState(notify);
        EXPECT_EQ(notifier.clearItem, MENU_CLEAR);
        EXPECT_FALSE(notifier.clearGrayed);
        EXPECT_EQ(notifier.headerCount, 7);
        EXPECT_EQ(mail.currentSnapshotCount, 3);
    }
}
