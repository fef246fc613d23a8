// Setup and the MAPI session, in the running notifier with the real setup
// library: choosing Windows Messaging with a profile from the stand-in's
// profile list logs on with it, a change of profile resets the mail state and
// logs on again, and a change away from MAPI logs off.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "mail/mail.h"
#include "notifier/window.h"
#include "setup/setupids.h"
#include "sources/sources.h"
#include "tests/setup/notifier_fixture.h"
#include "tests/standins/common/standin_exports.h"
#include "tests/support/msgbox_capture.h"

void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

namespace
{

// The session calls only (logon, logoff, the walk), without the profile list.
std::vector<std::string> sessionCalls(void)
{
    std::vector<std::string> calls;
    for (const std::string &line : standinCalls("mapi32.dll"))
        if (line.rfind("logon", 0) == 0 || line.rfind("logoff", 0) == 0 || line.rfind("find  ", 0) == 0)
            calls.push_back(line);
    return calls;
}

const char mailboxText[] = "profile Work default\n"
                           "profile Home\n"
                           "message\tm1\t0\t2024/03/01 09:00\tAnn\tHello\n"
                           "message\tm2\t0\t2024/03/01 10:00\tBob\tNews\n";

class SetupSessions : public NotifierWithSetup
{
  protected:
    void SetUp() override
    {
        NotifierWithSetup::SetUp();
        dir.write("mailbox.txt", mailboxText);
        dir.write("inbox.mbx", "From a@b Mon Dec  7 09:12:44 2026\nFrom: A <a@b>\nSubject: s\n\nbody\n");
        SetEnvironmentVariableA("PELIMBO_MAPI_MAILBOX", dir.file("mailbox.txt").c_str());
    }
    // Setup as the user opens it, from the system menu.
    void setup(const std::vector<Step> &steps)
    {
        withSetupDialog(steps, [] {
            SendMessageA(win.mainWindow, WM_SYSCOMMAND, MENU_SETUP, 0);
            return 0;
        });
    }
    void pollNow(void)
    {
        notifier.tickCounter = 0;
        TimerProc(win.mainWindow, WM_TIMER, 1, GetTickCount());
    }
};

void chooseProfile(HWND dialog, const char *name)
{
    HWND combo = control(dialog, "Mailbox", IDC_MB_PROFILE);
    LRESULT index = SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name);
    SendMessageA(combo, CB_SETCURSEL, (WPARAM)index, 0);
}

TEST_F(SetupSessions, ProfileChosenInSetupIsLoggedOnAndFollowed)
{
    dir.write("PELIMBO.INI", "[Pelimbo]\r\nMessageSource=0\r\nMailFile=" + dir.file("inbox.mbx")
                                 + "\r\nPollInterval=600\r\n");
    MessageBoxCapture boxes;
    ASSERT_EQ(startOnIni(), -1);
    EXPECT_EQ(GetModuleHandleA("mapi32.dll"), (HMODULE)NULL) << "a mail file needs no MAPI";

    // Windows Messaging with the default profile the list offers.
    std::vector<std::string> offered;
    setup({[&](HWND d) {
        click(d, "Message source", IDC_SRC_FIRST + SOURCE_WINDOWS_MESSAGING);
        selectTab(d, "Mailbox");
        offered = comboTexts(d, "Mailbox", IDC_MB_PROFILE);
        chooseProfile(d, "Home");
        pressOk(d);
    }});
    EXPECT_EQ(offered, (std::vector<std::string>{"Home", "Work"}));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{});
    EXPECT_STREQ(config.settings.Login, "Home");
    EXPECT_TRUE(mapiSessionOpen());
    pollNow();
    EXPECT_EQ(notifier.headerCount, 2);
    EXPECT_TRUE(notifier.haveMail);
    EXPECT_EQ(sessionCalls(), (std::vector<std::string>{"logon Home  0x1 shown", "find  0x100 hidden"}));

    // Another profile: the mail state is cleared and the session replaced.
    setup({[&](HWND d) {
        selectTab(d, "Mailbox");
        chooseProfile(d, "Work");
        pressOk(d);
    }});
    EXPECT_EQ(notifier.headerCount, 0);
    EXPECT_FALSE(notifier.haveMail);
    // The session kept the library loaded through the dialog.
    typedef long (*DebtFn)(void);
    DebtFn debts = reinterpret_cast<DebtFn>(reinterpret_cast<void (*)(void)>(
        GetProcAddress(GetModuleHandleA("mapi32.dll"), "standinProfileDebts")));
    ASSERT_NE(debts, nullptr);
    EXPECT_EQ(debts(), 0) << "the profile list released what it opened";

    std::vector<std::string> calls = sessionCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"logoff", "logon Work  0x1 shown"}));

    // Back to the mail file: the session ends.
    setup({[&](HWND d) {
        click(d, "Message source", IDC_SRC_FIRST + SOURCE_DISK_FILE);
        pressOk(d);
    }});
    EXPECT_FALSE(mapiSessionOpen());
    EXPECT_EQ(sessionCalls().back(), "logoff");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{});
}

} // namespace
