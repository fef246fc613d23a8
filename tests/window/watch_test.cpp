// The real window watching the private Dovecot's IMAP4 mailbox (Idle on,
// PollInterval 3600, so any change shown came through the watch): another
// client (Python's imaplib, through the mail agent of tests/net) appends,
// expunges and marks messages; Dovecot is stopped and started under the
// watch; the window is told the computer woke up.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/config.h"
#include "core/core.h"
#include "mail/mail.h"
#include "notifier/window.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/config/winfiles.h"
#include "tests/support/msgbox_capture.h"

namespace
{

const unsigned agentPort = 21390, imapPort = 21143;

std::vector<std::string> sounds;

bool recordSound(const char *file)
{
    sounds.push_back(file);
    return true;
}

void recordBeep(void)
{
    sounds.push_back("beep");
}

// Asks the mail agent for one change; its answer ("OK", or "ERR why").
std::string agent(const std::string &request)
{
    WSADATA data;
    WSAStartup(0x0202, &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)agentPort);
    a.sin_addr.s_addr = htonl(0x7F000001);
    std::string answer = "ERR no agent";
    if (connect(s, (sockaddr *)&a, sizeof a) == 0) {
        std::string line = request + "\r\n";
        send(s, line.data(), (int)line.size(), 0);
        answer.clear();
        char c;
        while (recv(s, &c, 1, 0) == 1 && c != '\n')
            if (c != '\r')
                answer += c;
    }
    closesocket(s);
    WSACleanup();
    return answer;
}

double now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// Runs the window's messages (its timer ticks among them) until done() or the
// time is up; the seconds it took, or -1.
double runUntil(const std::function<bool()> &done, double limit)
{
    double start = now();
    while (!done()) {
        if (now() - start > limit)
            return -1;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return now() - start;
}

bool watching()
{
    return netStages.idling;
}

bool haveMailShown()
{
    return notifier.haveMail && win.classIcon == win.newMailIcon;
}

class WatchWindow : public ::testing::Test
{
  protected:
    std::string dir;
    std::string ini;
    MessageBoxCapture boxes; // a network error must never wait for someone to press OK

    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir = std::string(temp) + "pelimbo-watch-test";
        CreateDirectoryA(dir.c_str(), NULL);
        ini = dir + "\\watch.ini";
        sounds.clear();
        win.playSoundFile = recordSound;
        win.beep = recordBeep;
        ASSERT_EQ("OK", agent("EMPTY watch")); // whatever an earlier run left
        char password[STORED_PASSWORD_SIZE];
        scramblePassword("secret", password, sizeof password);
        writeFile(ini,
                  "[Pelimbo]\nMessageSource=8\nMailHost=127.0.0.1\nIMAP4Port=" + std::to_string(imapPort)
                      + "\nLogin=watch\nPassword=" + password
                      + "\nIdle=TRUE\nPollInterval=3600\nUnreadOnly=TRUE\nSoundOption=0\nNetErrors=TRUE\n"
                        "ConnectTimeout=5\nInactivityTimeout=10\nBalloon=FALSE\n");
    }
    void TearDown() override
    {
        agent("DOVECOT start"); // running again for the tests after this one, whatever happened
        if (win.mainWindow && IsWindow(win.mainWindow))
            DestroyWindow(win.mainWindow);
        runUntil([] { return false; }, 0.2);
        unregisterClasses();
        releasePictures();
    }
    void start()
    {
        std::string arguments = "\"" + ini + "\"";
        ASSERT_EQ(-1, startNotifier(GetModuleHandleA(NULL), arguments.c_str(), SW_SHOWNOACTIVATE));
        ASSERT_GE(runUntil(watching, 20), 0) << "the first poll did not end in the watch";
    }
    // Appends a message from the other client; the seconds until the window
    // shows new mail (a generous limit: the time is reported, not judged, past 3 s).
    double appendAndWait(const std::string &subject)
    {
        int count = notifier.headerCount;
        EXPECT_EQ("OK", agent("APPEND watch " + subject));
        return runUntil([count] { return haveMailShown() && notifier.headerCount > count; }, 15);
    }
};

TEST_F(WatchWindow, ChangesFromAnotherClientShowAtOnce)
{
    start();
    unsigned long connections = net.connectionsOpened;
    EXPECT_EQ(0, notifier.headerCount);

    double seconds = appendAndWait("First from elsewhere");
    ASSERT_GE(seconds, 0) << "the appended message was never noticed";
    EXPECT_LE(seconds, 3.0);
    RecordProperty("append_to_have_mail_ms", (int)(seconds * 1000));
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_EQ(std::vector<std::string>{"beep"}, sounds);
    ASSERT_GE(appendAndWait("Second from elsewhere"), 0);
    EXPECT_EQ(2, notifier.headerCount);
    ASSERT_GE(runUntil(watching, 5), 0);

    // Expunged elsewhere: fewer messages, drawn without a sound.
    sounds.clear();
    ASSERT_EQ("OK", agent("EXPUNGE watch 1"));
    ASSERT_GE(runUntil([] { return notifier.headerCount == 1; }, 10), 0);
    EXPECT_EQ(DECISION_FEWER, notifier.lastDecision);
    EXPECT_STREQ("Second from elsewhere", mail.shownHeaders[0].subject);
    EXPECT_TRUE(haveMailShown());
    EXPECT_TRUE(sounds.empty());
    ASSERT_GE(runUntil(watching, 5), 0);

    // Read elsewhere: with UnreadOnly it leaves the list, and the mail is gone.
    ASSERT_EQ("OK", agent("SEEN watch 1"));
    ASSERT_GE(runUntil([] { return notifier.headerCount == 0; }, 10), 0);
    EXPECT_FALSE(notifier.haveMail);
    EXPECT_EQ(win.noMailIcon, win.classIcon);
    EXPECT_TRUE(sounds.empty());
    EXPECT_EQ(connections, net.connectionsOpened) << "the one connection did all of it";
    EXPECT_TRUE(boxes.texts().empty());
}

// Dovecot stops under the watch (its goodbye, then a refused connection) and
// starts again: the next message is noticed, with at most one report for the
// outage.
TEST_F(WatchWindow, DovecotRestartedUnderTheWatchKeepsTheWatch)
{
    start();
    unsigned long connections = net.connectionsOpened;
    ASSERT_EQ("OK", agent("DOVECOT stop"));
    ASSERT_GE(runUntil([] { return !netStages.watching; }, 10), 0) << "the watch did not notice";
    ASSERT_GE(runUntil([] { return netOutage.retrying && !notifier.pollInProgress; }, 5), 0)
        << "no retry against the stopped server";
    ASSERT_EQ("OK", agent("DOVECOT start"));
    double back = runUntil(watching, 40);
    ASSERT_GE(back, 0) << "the watch did not come back";
    // What the closing note tells: how soon the watch was back, on how many connections.
    RecordProperty("restart_watch_back_ms", (int)(back * 1000));
    RecordProperty("restart_connections", (int)(net.connectionsOpened - connections));
    double seconds = appendAndWait("After the restart");
    ASSERT_GE(seconds, 0);
    EXPECT_LE(seconds, 3.0);
    EXPECT_LE(boxes.texts().size(), 1u);
    for (const std::string &text : boxes.texts())
        RecordProperty("restart_report", text);
    RecordProperty("restart_reports", (int)boxes.texts().size());
}

// Waking up: the old connection is dropped and a new one polls within 2
// seconds; without the server, quiet retries and one report.
TEST_F(WatchWindow, ResumeReplacesTheWatchAndRetriesQuietlyWithoutTheServer)
{
    start();
    unsigned long before = net.connectionsOpened;
    PostMessageA(win.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    double seconds = runUntil([before] { return net.connectionsOpened > before; }, 10);
    ASSERT_GE(seconds, 0) << "no poll after the resume";
    EXPECT_LE(seconds, 2.0);
    ASSERT_GE(runUntil(watching, 10), 0);
    ASSERT_GE(appendAndWait("After waking"), 0);

    ASSERT_EQ("OK", agent("DOVECOT stop"));
    ASSERT_GE(runUntil([] { return !netStages.watching; }, 10), 0);
    runUntil([] { return false; }, 1); // the lost watch's own retry and report
    boxes.clear();
    PostMessageA(win.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    // A retry at once and one 5 seconds later, after which the pause is 10.
    ASSERT_GE(runUntil([] { return pollCycle.retryPause >= 10 && !notifier.pollInProgress; }, 40), 0);
    EXPECT_EQ(1u, boxes.texts().size());
    for (const std::string &text : boxes.texts())
        RecordProperty("unreachable_report", text);
    ASSERT_EQ("OK", agent("DOVECOT start"));
    PostMessageA(win.mainWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_GE(runUntil(watching, 15), 0);
    EXPECT_EQ(1u, boxes.texts().size());
}

} // namespace
