// The dial-up link through the real RAS layer, against a stand-in of the
// dial-up service (tests/standins/rasapi32) that plays a phone book with an
// entry already connected, one that dials, a busy line and one without a
// saved password. The conversation itself is scripted.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/net/deletion_doubles.h"
#include "tests/net/scripted_net.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/standins/common/standin_exports.h"

namespace
{

HWND window;
int pollNowRequests;

LRESULT CALLBACK testWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND && wParam == MENU_POLL_NOW) {
        pollNowRequests++;
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

std::string standinLog()
{
    HMODULE ras = GetModuleHandleA("RASAPI32.DLL");
    if (!ras)
        return "<not loaded>";
    typedef const char *(*LogFn)(void);
    LogFn log = standinExport<LogFn>(ras, "standinLog");
    return log ? log() : "<system RASAPI32.DLL>";
}

void standinReset()
{
    resetStandin("RASAPI32.DLL");
}

// Waits (pumping messages) until the dial-up service asks for a poll.
bool waitForPollRequest(int milliseconds = 5000)
{
    DWORD end = GetTickCount() + (DWORD)milliseconds;
    MSG msg;
    while (pollNowRequests == 0 && (int)(end - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return pollNowRequests > 0;
}

std::string promptedFor;
const char *typedPassword;
bool saveTyped;

bool testPrompt(const char *entry, char *password, size_t size, bool *save)
{
    promptedFor = entry;
    if (!typedPassword)
        return false;
    copyText(password, size, typedPassword);
    *save = saveTyped;
    return true;
}

class DialUp : public ::testing::Test
{
  protected:
    ScriptedNet sn;

    void SetUp() override
    {
        if (!window) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = testWindowProc;
            wc.hInstance = GetModuleHandleA(NULL);
            wc.lpszClassName = "PelimboDialTest";
            RegisterClassA(&wc);
            window = CreateWindowExA(0, "PelimboDialTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                     wc.hInstance, NULL);
        }
        setNetworkWindow(window);
        ASSERT_TRUE(allocateMailBuffers());
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        memset(&config.settings, 0, sizeof config.settings);
        Settings &s = config.settings;
        s.MessageSource = SOURCE_POP3;
        s.PollInterval = 1000;
        s.NetErrors = true;
        s.InactivityTimeout = 30;
        s.WinSockInitTimeout = 30;
        s.ConnectTimeout = 30;
        copyText(s.MailHost, "127.0.0.1");
        copyText(s.Login, "pelimbo");
        copyText(s.plainPassword, "secret");
        netStages = NetworkStages();
        pop3 = Pop3Client();
        dialUp.dialHandle = 0;
        dialUp.eventPending = 0;
        resetFakeFrontEnd();
        useScriptedSockets(&sn);
        ASSERT_TRUE(loadDialUp());
        standinReset();
        pollNowRequests = 0;
        promptedFor.clear();
        typedPassword = nullptr;
        saveTyped = false;
        setDialUpPasswordPrompt(testPrompt);
    }
    void TearDown() override
    {
        unloadDialUp();
        freeMailBuffers();
    }
    void entry(const char *name)
    {
        copyText(config.settings.Connection, name);
        config.settings.directConnection = strcmp(name, "<Direct connection>") == 0;
    }
    std::vector<std::string> errors()
    {
        return frontCalls("error:");
    }
};

TEST_F(DialUp, DirectConnectionNeverTouchesTheService)
{
    entry("<Direct connection>");
    config.settings.HangupConnection = true;
    sn.server.messages.push_back({makeHeader(1)});
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_TRUE(dialUpLinkUsable());
    EXPECT_EQ("", standinLog());
}

TEST_F(DialUp, ConnectedEntryPollsAtOnceAndIsNeverHungUp)
{
    entry("Office");
    config.settings.HangupConnection = true;
    config.settings.DialConnection = true;
    sn.server.messages.push_back({makeHeader(1)});
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_TRUE(dialUpLinkUsable());
    EXPECT_EQ(0u, standinLog().find("enum\n")) << "the entry is looked up in the service: " << standinLog();
    EXPECT_EQ(std::string::npos, standinLog().find("hangup")) << standinLog();
    EXPECT_EQ(std::string::npos, standinLog().find("dial:")) << standinLog();
}

// A dial-up link may be hung up after any poll: IMAP4 with Idle logs out as it
// always did, and the connection is not kept for a watch.
TEST_F(DialUp, ConnectedEntryIsNeverWatched)
{
    entry("Office");
    config.settings.MessageSource = SOURCE_IMAP4;
    config.settings.Idle = true;
    sn.imapMode = true;
    imap = ImapClient();
    sn.server.loginCapabilities = true;
    sn.server.messages.push_back({makeHeader(1)});
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_FALSE(netStages.watching);
    EXPECT_EQ(std::string::npos, sn.sent.find("IDLE")) << sn.sent;
    EXPECT_NE(std::string::npos, sn.sent.find("Z9999 LOGOUT")) << sn.sent;
}

TEST_F(DialUp, UnconnectedEntryWithoutDialMakesNoPollAndNoMessage)
{
    entry("Dialer");
    for (int i = 0; i < 3; i++) {
        startNetworkPoll();
        EXPECT_FALSE(notifier.pollInProgress);
    }
    EXPECT_EQ(0, sn.startups);
    EXPECT_FALSE(dialUpLinkUsable());
    reportNetError("Socket read error");
    EXPECT_TRUE(errors().empty()) << "network errors are dropped while the link is down";
    EXPECT_EQ(std::string::npos, standinLog().find("dial:"));
}

TEST_F(DialUp, DialsConnectsPollsOnceAndHangsUpAfterwards)
{
    entry("Dialer");
    config.settings.DialConnection = true;
    config.settings.HangupConnection = true;
    sn.server.messages.push_back({makeHeader(1)});
    startNetworkPoll();
    EXPECT_FALSE(notifier.pollInProgress) << "the poll waits for the link";
    EXPECT_EQ(1, notifier.rasState);
    EXPECT_STREQ("Dialing...", statusText());
    EXPECT_NE(std::string::npos, standinLog().find("dial:Dialer:stored::\n"))
        << "number and domain emptied: " << standinLog();
    startNetworkPoll(); // a poll moment while the dial is under way

    ASSERT_TRUE(waitForPollRequest());
    DWORD before = GetTickCount();
    ASSERT_TRUE(runScriptedPoll());
    DWORD took = GetTickCount() - before;
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_EQ(0, notifier.rasState);
    EXPECT_NE(std::string::npos, standinLog().find("hangup:Dialer")) << standinLog();
    EXPECT_GE(took, 2900u) << "the line is given 3 seconds after the hang-up";
    EXPECT_EQ(0u, dialUp.dialHandle);
    size_t dials = 0;
    for (size_t at = 0; (at = standinLog().find("dial:", at)) != std::string::npos; at++)
        dials++;
    EXPECT_EQ(1u, dials) << "no second dial while the first is under way";
}

TEST_F(DialUp, BusyLineHangsUpAndTriesAgainAtTheNextPollMoment)
{
    entry("Busy");
    config.settings.DialConnection = true;
    startNetworkPoll();
    ASSERT_TRUE(waitForPollRequest());
    startNetworkPoll();
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_TRUE(errors().empty()) << "the error filter drops it: the link is not up";
    EXPECT_NE(std::string::npos, standinLog().find("hangup:Busy")) << standinLog();
    EXPECT_EQ(0, notifier.rasState);
    EXPECT_EQ(0u, dialUp.dialHandle);
    startNetworkPoll();
    EXPECT_EQ(1, notifier.rasState) << "a new attempt";
}

TEST_F(DialUp, MissingPasswordIsAskedForAndSavedWhenWanted)
{
    entry("NoPassword");
    config.settings.DialConnection = true;
    startNetworkPoll();
    EXPECT_EQ("NoPassword", promptedFor);
    EXPECT_EQ(std::string::npos, standinLog().find("dial:")) << "cancelled: no dial";
    EXPECT_EQ(0, notifier.rasState);

    typedPassword = "pass123";
    saveTyped = true;
    startNetworkPoll();
    EXPECT_NE(std::string::npos, standinLog().find("setparams:NoPassword:pass123")) << standinLog();
    EXPECT_NE(std::string::npos, standinLog().find("dial:NoPassword:pass123:")) << standinLog();
}

TEST_F(DialUp, UnknownEntryCannotGetItsParameters)
{
    entry("Nowhere");
    config.settings.DialConnection = true;
    startNetworkPoll();
    EXPECT_EQ((std::vector<std::string>{"error:Unable to get dial parameters"}), errors());
    EXPECT_EQ(0, notifier.rasState);
}

TEST_F(DialUp, DialThatNeverReportsBackIsHungUpAfterTheConnectTimeout)
{
    entry("Silent");
    config.settings.DialConnection = true;
    config.settings.ConnectTimeout = 2;
    startNetworkPoll();
    EXPECT_EQ(1, notifier.rasState);
    for (int second = 0; second < 3; second++)
        pollTick();
    EXPECT_EQ(0, notifier.rasState);
    EXPECT_STRNE("Dialing...", statusText());
    EXPECT_NE(std::string::npos, standinLog().find("hangup:Silent")) << standinLog();
    EXPECT_EQ(0u, dialUp.dialHandle);
    // Shown although the link is not up: it is why no poll was made.
    EXPECT_EQ((std::vector<std::string>{"error:Dialing error"}), errors());
}

// Setup moved to a source without dial-up (and to a direct connection): the
// link dialled for the old source is hung up, not left open.
TEST_F(DialUp, LeavingTheNetworkSourceHangsUpTheLinkItDialled)
{
    entry("Dialer");
    config.settings.DialConnection = true;
    sn.server.messages.push_back({makeHeader(1)});
    startNetworkPoll();
    ASSERT_TRUE(waitForPollRequest());
    ASSERT_TRUE(runScriptedPoll());
    ASSERT_NE(0u, dialUp.dialHandle);
    unloadDialUp(); // around the setup dialog
    config.settings.MessageSource = SOURCE_DISK_FILE;
    entry("<Direct connection>");
    leaveDialUp();
    EXPECT_NE(std::string::npos, standinLog().find("hangup:Dialer")) << standinLog();
    EXPECT_EQ(0u, dialUp.dialHandle);
    EXPECT_FALSE(dialUp.loaded);
}

int loadNothing(void)
{
    return 0;
}

TEST_F(DialUp, MissingServiceIsToldOncePerConnectionSetting)
{
    unloadDialUp();
    dialUp.missingToldFor[0] = '\0';
    DialUpLayer absent = {};
    absent.load = loadNothing;
    installDialUpLayer(&absent);
    EXPECT_FALSE(loadDialUp());
    entry("Dialer");
    config.settings.DialConnection = true;
    for (int i = 0; i < 3; i++)
        startNetworkPoll();
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_EQ((std::vector<std::string>{"error:Unable to load RASAPI32.DLL"}), errors());
    entry("Office");
    startNetworkPoll();
    startNetworkPoll();
    EXPECT_EQ(2u, errors().size());
}

} // namespace
