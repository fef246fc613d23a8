// The user's first start: the notifier finds no usable settings, opens the
// setup dialog from the library beside it, the user names a mail file and
// presses OK, and the first poll runs on that file.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "mail/mail.h"
#include "core/core.h"
#include "notifier/window.h"
#include "setup/setupids.h"
#include "tests/setup/notifier_fixture.h"
#include "tests/support/msgbox_capture.h"

namespace
{

const char twoMessages[] = "From alice@example.org Mon Dec  7 09:12:44 2026\n"
                           "From: Alice Moreau <alice@example.org>\n"
                           "Subject: Minutes of the planning meeting\n"
                           "\n"
                           "The minutes are below.\n"
                           "\n"
                           "From builds@example.com Mon Dec  7 10:03:01 2026\n"
                           "From: Build Robot <builds@example.com>\n"
                           "Subject: nightly build passed\n"
                           "\n"
                           "All tests passed.\n"
                           "\n";

class FirstStart : public NotifierWithSetup
{
  protected:
    void SetUp() override
    {
        NotifierWithSetup::SetUp();
        dir.write("inbox.mbx", twoMessages);
    }
    int start(const std::vector<Step> &steps)
    {
        return withSetupDialog(steps, [this] { return startOnIni(); });
    }
};

TEST_F(FirstStart, MailFileNamedInSetupIsPolledAtOnce)
{
    // An INI file without the section: every default, so no mail file.
    dir.write("PELIMBO.INI", "");
    MessageBoxCapture boxes;
    std::string shownTab;
    int result = start({[&](HWND d) {
        shownTab = selectedTab(d);
        selectTab(d, "Mailbox");
        setText(d, "Mailbox", IDC_MB_MAILFILE, dir.file("inbox.mbx").c_str());
        pressOk(d);
    }});
    ASSERT_EQ(result, -1) << "the notifier should be running";
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{});
    EXPECT_EQ(shownTab, "Message source");

    char mailFile[MAX_PATH] = "";
    GetPrivateProfileStringA("Pelimbo", "MailFile", "", mailFile, sizeof mailFile,
                             dir.file("PELIMBO.INI").c_str());
    EXPECT_EQ(std::string(mailFile), dir.file("inbox.mbx"));
    EXPECT_TRUE(notifier.haveMail);
    // Without "Unread mail only" a mailbox contributes its first message.
    EXPECT_EQ(notifier.shownCount, 1);
    EXPECT_STREQ(mail.shownHeaders[0].from, "Alice Moreau");
    char caption[128] = "";
    GetWindowTextA(win.mainWindow, caption, sizeof caption);
    EXPECT_NE(std::string(caption).find("inbox.mbx"), std::string::npos) << caption;
}

TEST_F(FirstStart, CancelledSetupEndsTheProgramWithoutWriting)
{
    dir.write("PELIMBO.INI", "");
    MessageBoxCapture boxes;
    int result = start({[&](HWND d) { pressCancel(d); }});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(win.mainWindow, (HWND)NULL);
    EXPECT_EQ(dir.read("PELIMBO.INI"), "");
}

} // namespace
