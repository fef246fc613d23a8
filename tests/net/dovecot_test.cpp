// Real polls over WinSock: the transport with a message-only window of the
// test's own, against a private Dovecot on 127.0.0.1 seeded with real
// messages, and against loopback sockets that stay silent or refuse.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/config/winfiles.h"
#include "tests/net/live_poll.h"
#include "tests/net/poll_state.h"
#include "tests/fakes/recording_frontend.h"

namespace
{

const char *const dovecotDir = PELIMBO_DOVECOT_DIR;
const char *const corpusDir = PELIMBO_CORPUS_DIR;
const unsigned pop3Port = 21110, imapPort = 21143;

// --- The private Dovecot: seeding its Maildir and asking it directly ----------------------

// A real message from the corpus (its mbox "From " line dropped), or a made-up
// one when the corpus has not been fetched.
std::string corpusMessage(int n)
{
    static std::vector<std::string> names;
    if (names.empty()) {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((std::string(corpusDir) + "/*.txt").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do
                names.push_back(found.cFileName);
            while (FindNextFileA(h, &found));
            FindClose(h);
        }
    }
    std::string text;
    if (!names.empty())
        text = readFile(std::string(corpusDir) + "/" + names[(size_t)n % names.size()]);
    if (text.rfind("From ", 0) == 0)
        text.erase(0, text.find('\n') + 1);
    if (text.empty()) {
        char made[256];
        snprintf(
            made, sizeof made,
            "Received: from a by b; Thu, 22 Aug 2002 12:%02d:00 +0100\nFrom: Sender %d <s%d@example.org>\n"
            "Subject: Corpus stand-in %d\n\nBody\n",
            n % 60, n, n, n);
        text = made;
    }
    return text;
}

std::string maildir(const std::string &user)
{
    return std::string(dovecotDir) + "/mail/" + user;
}

void emptyMailbox(const std::string &user)
{
    for (const char *sub : {"/new", "/cur"}) {
        std::string dir = maildir(user) + sub;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((dir + "/*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((dir + "/" + found.cFileName).c_str());
        while (FindNextFileA(h, &found));
        FindClose(h);
    }
}

int sequence;

void deliver(const std::string &user, const std::string &message)
{
    char name[64];
    sequence++;
    snprintf(name, sizeof name, "/new/%010d.M%dP1.pelimbo", 1000000 + sequence, sequence);
    std::ofstream out(maildir(user) + name, std::ios::binary);
    out << message;
}

// A message that arrives now: its first Received line is later than the corpus's.
std::string freshMessage(int n, const std::string &subject)
{
    char received[160];
    snprintf(received, sizeof received, "Received: from relay by mx; Mon, 7 Dec 2026 11:%02d:%02d +0000\n",
             (n / 60) % 60, n % 60);
    return std::string(received) + "From: \"Fresh " + std::to_string(n)
           + "\" <fresh@example.org>\nSubject: " + subject + "\n\nNew body\n";
}

// A blocking conversation with Dovecot, to check what it holds.
struct DirectClient {
    SOCKET s = INVALID_SOCKET;
    DirectClient(unsigned port)
    {
        WSADATA data;
        WSAStartup(0x0202, &data);
        s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((u_short)port);
        a.sin_addr.s_addr = htonl(0x7F000001);
        connect(s, (sockaddr *)&a, sizeof a);
        readReply("");
    }
    ~DirectClient()
    {
        closesocket(s);
        WSACleanup();
    }
    // Reads until a complete line that begins with start has arrived (a POP3
    // reply: any first line; an IMAP4 reply: the line of its tag).
    std::string readReply(const std::string &start)
    {
        std::string got;
        char buffer[4096];
        for (;;) {
            size_t lineStart = 0;
            for (size_t end; (end = got.find("\r\n", lineStart)) != std::string::npos; lineStart = end + 2)
                if (got.compare(lineStart, start.size(), start) == 0)
                    return got;
            int n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                return got;
            got.append(buffer, (size_t)n);
        }
    }
    std::string command(const std::string &line, const std::string &tag = "")
    {
        std::string out = line + "\r\n";
        send(s, out.data(), (int)out.size(), 0);
        return readReply(tag.empty() ? "" : tag + " ");
    }
};

int dovecotCount(const std::string &user)
{
    DirectClient c(pop3Port);
    c.command("USER " + user);
    c.command("PASS secret");
    std::string stat = c.command("STAT");
    c.command("QUIT");
    int n = -1;
    sscanf(stat.c_str(), "+OK %d", &n);
    return n;
}

std::string imapFlags(const std::string &user)
{
    DirectClient c(imapPort);
    c.command("a LOGIN " + user + " secret", "a");
    c.command("b EXAMINE INBOX", "b");
    std::string flags = c.command("c FETCH 1:* FLAGS", "c");
    c.command("d LOGOUT", "d");
    return flags;
}

void markSeen(const std::string &user, const std::string &set)
{
    DirectClient c(imapPort);
    c.command("a LOGIN " + user + " secret", "a");
    c.command("b SELECT INBOX", "b");
    c.command("c STORE " + set + " +FLAGS.SILENT (\\Seen)", "c");
    c.command("d LOGOUT", "d");
}

// --- The test fixture -----------------------------------------------------------------

FilterEntry filters[1];
char deleteText[] = "DELETE ME";

class DovecotPoll : public ::testing::TestWithParam<unsigned>
{
  protected:
    void SetUp() override
    {
        networkWindow();
        ASSERT_TRUE(allocateMailBuffers());
        resetNetworkPollState();
        Settings &s = config.settings;
        s.MessageSource = GetParam();
        s.PollInterval = 10000;
        s.InactivityTimeout = 10;
        s.ConnectTimeout = 10;
        s.WinSockInitTimeout = 10;
        s.POP3Port = pop3Port;
        s.IMAP4Port = imapPort;
        forgetHostAddress();
    }
    void TearDown() override
    {
        closeConnection();
        pollCycle.watchRenewal = WATCH_RENEWAL_SECONDS;
        config.filterList.entries = nullptr;
        config.filterList.count = 0;
        freeMailBuffers();
    }
    void user(const char *name)
    {
        copyText(config.settings.Login, name);
        emptyMailbox(name);
    }
    bool imapSource() const
    {
        return GetParam() == SOURCE_IMAP4;
    }
    std::vector<std::string> errors()
    {
        return frontCalls("error:");
    }
};

TEST_P(DovecotPoll, CountsEmptySmallAndLargeMailboxes)
{
    user("many");
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_FALSE(notifier.pollFailed);
    EXPECT_EQ(0, notifier.headerCount);

    for (int i = 0; i < 3; i++)
        deliver("many", corpusMessage(i));
    runPoll();
    EXPECT_EQ(3, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);

    for (int i = 3; i < 250; i++)
        deliver("many", corpusMessage(i));
    resetFakeFrontEnd();
    unsigned long long before = net.headerBytesCollected;
    runPoll();
    unsigned long long lastHundred = net.headerBytesCollected - before;
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(250, notifier.headerCount);
    EXPECT_EQ(100, notifier.shownCount);
    // Only the 100 highest-numbered messages were examined.
    int lowest = 1 << 30;
    for (int i = 0; i < notifier.shownCount; i++)
        lowest = mail.shownHeaders[i].index < lowest ? mail.shownHeaders[i].index : lowest;
    EXPECT_EQ(imapSource() ? 151 : 150, lowest);

    // With UnreadOnly every message is asked about: the headers of all 250
    // (the corpus messages are of much the same size) instead of the last 100.
    config.settings.UnreadOnly = true;
    before = net.headerBytesCollected;
    runPoll();
    EXPECT_EQ(250, notifier.headerCount);
    EXPECT_GT(net.headerBytesCollected - before, lastHundred * 3 / 2);
}

TEST_P(DovecotPoll, SecondPollFindsNothingNewUntilAMessageArrives)
{
    user("spare");
    for (int i = 0; i < 4; i++)
        deliver("spare", corpusMessage(100 + i));
    runPoll();
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    runPoll();
    EXPECT_EQ(DECISION_NO_CHANGE, notifier.lastDecision);
    EXPECT_EQ(4, notifier.headerCount);
    deliver("spare", freshMessage(1, "Arrived between polls"));
    runPoll();
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_EQ(5, notifier.headerCount);
    bool shown = false;
    for (int i = 0; i < notifier.shownCount; i++)
        shown |= strcmp(mail.shownHeaders[i].subject, "Arrived between polls") == 0;
    EXPECT_TRUE(shown);
    EXPECT_TRUE(errors().empty());
}

TEST_P(DovecotPoll, DeleteFilterRemovesOnlyNewMessagesFromTheStore)
{
    user("filter");
    deliver("filter", corpusMessage(200));
    deliver("filter", freshMessage(2, "Please DELETE ME"));
    deliver("filter", corpusMessage(201));

    // Seen once without filters: the condemned message is no longer new.
    runPoll();
    EXPECT_EQ(3, notifier.headerCount);
    filters[0] = {deleteText, FILTER_DELETE, MATCH_SUBJECT};
    config.filterList.entries = filters;
    config.filterList.count = 1;
    config.settings.UseFilters = true;
    runPoll();
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_EQ(3, dovecotCount("filter")) << "an old message is never deleted";

    // A new one is.
    deliver("filter", freshMessage(3, "Again DELETE ME"));
    runPoll();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_EQ(3, dovecotCount("filter")) << "the new condemned message is gone from the store";
}

TEST_P(DovecotPoll, UnreadOnlySkipsSeenMessagesAndExamineChangesNothing)
{
    user("seen");
    for (int i = 0; i < 5; i++)
        deliver("seen", corpusMessage(300 + i));
    dovecotCount("seen"); // let Dovecot take the messages in
    markSeen("seen", "2,4");
    config.settings.UnreadOnly = true;
    runPoll();
    EXPECT_TRUE(errors().empty());
    if (imapSource())
        EXPECT_EQ(3, notifier.headerCount);
    else
        EXPECT_EQ(5, notifier.headerCount) << "the server hides Status: from TOP";

    std::string flags = imapFlags("seen");
    EXPECT_NE(std::string::npos, flags.find("* 2 FETCH (FLAGS (\\Seen))"));
    EXPECT_NE(std::string::npos, flags.find("* 1 FETCH (FLAGS ())")) << "a poll marks nothing as seen:\n"
                                                                     << flags;
    EXPECT_NE(std::string::npos, flags.find("* 5 FETCH (FLAGS ())")) << flags;
    EXPECT_EQ(5, dovecotCount("seen"));
}

TEST_P(DovecotPoll, HostNameIsLookedUpAndFailuresAreReported)
{
    user("spare");
    copyText(config.settings.MailHost, "localhost");
    runPoll();
    EXPECT_TRUE(errors().empty());
    EXPECT_FALSE(notifier.pollFailed);

    forgetHostAddress();
    copyText(config.settings.MailHost, "a..b");
    runPoll();
    EXPECT_EQ((std::vector<std::string>{"error:Error getting host IP address"}), errors());
    EXPECT_TRUE(notifier.pollFailed);

    // Nothing listens on port 1: the connect is refused.
    resetFakeFrontEnd();
    forgetHostAddress();
    copyText(config.settings.MailHost, "127.0.0.1");
    config.settings.POP3Port = config.settings.IMAP4Port = 1;
    runPoll();
    EXPECT_EQ((std::vector<std::string>{"error:WinSock error"}), errors());
}

TEST_P(DovecotPoll, SilentServerTimesOutAfterInactivityPlusOneToTwoSeconds)
{
    // A listening socket that accepts the connection (the backlog does) and
    // never says a word.
    WSADATA data;
    WSAStartup(0x0202, &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001);
    ASSERT_EQ(0, bind(listener, (sockaddr *)&a, sizeof a));
    int size = sizeof a;
    getsockname(listener, (sockaddr *)&a, &size);
    listen(listener, 4);
    config.settings.POP3Port = config.settings.IMAP4Port = ntohs(a.sin_port);
    config.settings.InactivityTimeout = 2;
    double seconds = runPoll();
    closesocket(listener);
    WSACleanup();
    EXPECT_EQ((std::vector<std::string>{"error:Time out on POP3/IMAP4 server"}), errors());
    EXPECT_GE(seconds, 3.0);
    EXPECT_LE(seconds, 5.0); // limit + 2, and some room for a loaded machine
    EXPECT_FALSE(notifier.pollInProgress);
}

// --- Scripted servers (tests/net/scripted_server.py): the login picks the case ----------

class ScriptedServerPoll : public DovecotPoll
{
  protected:
    void SetUp() override
    {
        DovecotPoll::SetUp();
        config.settings.POP3Port = 21310;
        config.settings.IMAP4Port = 21343;
        config.settings.InactivityTimeout = 5;
    }
    void login(const char *name)
    {
        copyText(config.settings.Login, name);
    }
};

TEST_P(ScriptedServerPoll, RepliesSentOneByteAtATimeAreUnderstood)
{
    login("bytewise");
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(3, notifier.headerCount);
    EXPECT_FALSE(notifier.pollFailed);
}

TEST_P(ScriptedServerPoll, TaggedLinesCutInsideTheTagAreRecognised)
{
    if (!imapSource())
        GTEST_SKIP() << "POP3 replies carry no tags";
    login("tagsplit");
    runPoll();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(3, notifier.headerCount);
}

TEST_P(ScriptedServerPoll, HeaderLongerThanTheBlockIsCutAndThePollGoesOn)
{
    login("huge");
    runPoll();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(2, notifier.headerCount);
    bool first = false;
    for (int i = 0; i < notifier.shownCount; i++)
        first |= strcmp(mail.shownHeaders[i].subject, "Scripted message 1") == 0;
    EXPECT_TRUE(first) << "the header lines before the padding were read";
    EXPECT_EQ((size_t)HEADER_BLOCK_FIXED, net.headerBlockCapacity);
}

// Its login lists no IDLE (its greeting does): the poll logs out as before.
TEST_P(ScriptedServerPoll, ServerWithoutIdleAfterTheLoginIsPolledAsBefore)
{
    if (!imapSource())
        GTEST_SKIP() << "POP3 has no watch";
    login("plain");
    config.settings.Idle = true;
    runPoll();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(3, notifier.headerCount);
    EXPECT_FALSE(netStages.watching);
}

TEST_P(ScriptedServerPoll, ServerThatHangsUpEndsThePollSilently)
{
    login("hangup");
    notifier.headerCount = 4;
    double seconds = runPoll();
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(4, notifier.headerCount) << "nothing committed";
    EXPECT_LT(seconds, 2.0) << "no waiting for the inactivity time-out";
}

// --- The watch against Dovecot ----------------------------------------------------------

struct Usage {
    DWORD handles, gdi, user;
    SIZE_T privateBytes;
};

Usage usage()
{
    Usage u = {};
    GetProcessHandleCount(GetCurrentProcess(), &u.handles);
    u.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    u.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    u.privateBytes = pmc.PagefileUsage;
    return u;
}

// Pumps the test window's messages until done() or the time is up.
bool pumpUntil(const std::function<bool()> &done, double limitSeconds)
{
    DWORD start = GetTickCount();
    MSG msg;
    while (!done()) {
        if (GetTickCount() - start > (DWORD)(limitSeconds * 1000))
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return true;
}

using DovecotWatch = DovecotPoll;

// 200 renewals (DONE, IDLE) with the renewal interval shortened to a tick:
// the handles, window objects and private bytes after 10 are those after 200.
TEST_P(DovecotWatch, TwoHundredRenewalsLeaveNothingBehind)
{
    user("watch");
    deliver("watch", corpusMessage(1));
    config.settings.Idle = true;
    runPoll();
    ASSERT_TRUE(pumpUntil([] { return netStages.idling; }, 10)) << "no watch";
    ASSERT_EQ(1, notifier.headerCount);
    pollCycle.watchRenewal = 0;
    Usage after10 = {};
    int tag = imap.tagNumber;
    for (int renewal = 1; renewal <= 200; renewal++) {
        pollTick();
        ASSERT_FALSE(netStages.idling) << "renewal " << renewal << " sent no DONE";
        ASSERT_TRUE(pumpUntil([] { return netStages.idling || !netStages.watching; }, 10))
            << "renewal " << renewal;
        ASSERT_TRUE(netStages.watching) << "renewal " << renewal << " lost the watch";
        if (renewal == 10)
            after10 = usage();
    }
    Usage end = usage();
    EXPECT_EQ(tag + 200, imap.tagNumber) << "one IDLE per renewal, on the same connection";
    EXPECT_TRUE(errors().empty());
    EXPECT_LE(end.handles, after10.handles);
    EXPECT_LE(end.gdi, after10.gdi);
    EXPECT_LE(end.user, after10.user);
    // A page or two of heap may move; a leak per renewal would be 190 times more.
    EXPECT_LE(end.privateBytes, after10.privateBytes + 64 * 1024)
        << "after 10: " << after10.privateBytes << ", after 200: " << end.privateBytes;
    endNetworkWatch();
    EXPECT_FALSE(netStages.watching);
}

INSTANTIATE_TEST_SUITE_P(Imap4, DovecotWatch, ::testing::Values(SOURCE_IMAP4),
                         [](const ::testing::TestParamInfo<unsigned> &) { return std::string("IMAP4"); });

INSTANTIATE_TEST_SUITE_P(Sources, ScriptedServerPoll, ::testing::Values(SOURCE_POP3, SOURCE_IMAP4),
                         [](const ::testing::TestParamInfo<unsigned> &info) {
                             return info.param == SOURCE_POP3 ? std::string("POP3") : std::string("IMAP4");
                         });

INSTANTIATE_TEST_SUITE_P(Sources, DovecotPoll, ::testing::Values(SOURCE_POP3, SOURCE_IMAP4),
                         [](const ::testing::TestParamInfo<unsigned> &info) {
                             return info.param == SOURCE_POP3 ? std::string("POP3") : std::string("IMAP4");
                         });

// --- TLS against the same Dovecot: its test CA, and certificates that must fail --------

const unsigned pop3sPort = 21995, imapsPort = 21993;

class DovecotTlsPoll : public DovecotPoll
{
  protected:
    void secure(unsigned security, const char *trustFile)
    {
        Settings &s = config.settings;
        s.Security = security;
        s.POP3Port = security == SECURITY_TLS ? pop3sPort : pop3Port;
        s.IMAP4Port = security == SECURITY_TLS ? imapsPort : imapPort;
        formatText(s.TrustFile, sizeof s.TrustFile, "%s/tls/%s", dovecotDir, trustFile);
    }
    // Dovecot's log lines about connections to the local address ip, once it
    // has written about at least one (it logs when the client has gone).
    std::vector<std::string> logLines(const std::string &ip, size_t skip)
    {
        std::vector<std::string> lines;
        for (int wait = 0; wait < 40 && lines.size() <= skip; wait++) {
            lines.clear();
            std::istringstream log(readFile(std::string(dovecotDir) + "/dovecot.log"));
            for (std::string line; std::getline(log, line);)
                if (line.find("lip=" + ip + ",") != std::string::npos)
                    lines.push_back(line);
            if (lines.size() <= skip)
                Sleep(50);
        }
        return std::vector<std::string>(lines.begin() + (long)(skip < lines.size() ? skip : lines.size()),
                                        lines.end());
    }
};

TEST_P(DovecotTlsPoll, TlsAndStartTlsPollTheMailboxAsThePlainConversationDoes)
{
    user("many");
    for (int i = 0; i < 150; i++)
        deliver("many", corpusMessage(i));
    runPoll();
    const int plainCount = notifier.headerCount;
    ASSERT_EQ(150, plainCount);

    // 127.0.0.5 asks for a client certificate, which we do not have: the
    // handshake must go on without one.
    struct {
        unsigned security;
        const char *trustFile, *host;
    } cases[] = {{SECURITY_TLS, "ca.pem", "127.0.0.1"},
                 {SECURITY_STARTTLS, "ca.der", "127.0.0.1"},
                 {SECURITY_TLS, "ca.pem", "127.0.0.5"}};
    for (const auto &c : cases) {
        resetFakeFrontEnd();
        forgetHostAddress();
        secure(c.security, c.trustFile);
        copyText(config.settings.MailHost, c.host);
        runPoll();
        EXPECT_TRUE(errors().empty()) << errors()[0];
        EXPECT_FALSE(notifier.pollFailed) << "Security " << c.security << " on " << c.host;
        EXPECT_EQ(150, notifier.headerCount) << "Security " << c.security << " on " << c.host;
        EXPECT_EQ(100, notifier.shownCount);
        EXPECT_EQ(DECISION_NO_CHANGE, notifier.lastDecision) << "the same mailbox as the plain poll saw";
        EXPECT_NE(std::string::npos, std::string(net.secureDescription).find("subject: localhost"))
            << net.secureDescription;
    }
}

TEST_P(DovecotTlsPoll, CertificatesThatFailEndThePollBeforeAnyLogin)
{
    user("spare");
    deliver("spare", corpusMessage(7));
    struct {
        const char *host, *trustFile, *message;
    } cases[] = {
        {"127.0.0.1", "", "The certificate of 127.0.0.1 is not trusted"},
        {"127.0.0.2", "ca.pem", "The certificate of 127.0.0.2 is not trusted"},
        {"127.0.0.3", "ca.pem", "The certificate of 127.0.0.3 is for another host: mail.other.example"},
        {"127.0.0.4", "ca.pem", "The certificate of 127.0.0.4 has expired"},
    };
    for (const auto &c : cases) {
        resetFakeFrontEnd();
        forgetHostAddress();
        secure(SECURITY_TLS, c.trustFile);
        if (!c.trustFile[0])
            config.settings.TrustFile[0] = '\0';
        copyText(config.settings.MailHost, c.host);
        size_t before = logLines(c.host, 0).size();
        notifier.headerCount = 3;
        runPoll();
        EXPECT_EQ((std::vector<std::string>{std::string("error:") + c.message}), errors()) << c.host;
        EXPECT_TRUE(notifier.pollFailed);
        EXPECT_EQ(3, notifier.headerCount) << "nothing committed";
        std::vector<std::string> lines = logLines(c.host, before);
        ASSERT_FALSE(lines.empty()) << c.host;
        for (const std::string &line : lines) {
            EXPECT_NE(std::string::npos, line.find("no auth attempts")) << line;
            EXPECT_EQ(std::string::npos, line.find("Login:")) << line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, DovecotTlsPoll, ::testing::Values(SOURCE_POP3, SOURCE_IMAP4),
                         [](const ::testing::TestParamInfo<unsigned> &info) {
                             return info.param == SOURCE_POP3 ? std::string("POP3") : std::string("IMAP4");
                         });

} // namespace
