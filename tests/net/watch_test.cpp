// The IMAP4 watch through the real transport, client and poll cycle, against
// the scripted server: what goes on the wire after a poll, the polls a change
// in IDLE starts on the same connection and what they publish, the renewal,
// the ways a watch ends, and the quiet retries after a lost watch or a resume.
// The server lines the watch reads (capability lists, changes, goodbyes) are
// checked on their own at the end.
#include <gtest/gtest.h>
#include <string.h>

#include "auth/oauth.h"
#include "auth/sasl.h"
#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/net/net_poll_test.h"
#include "tests/net/scripted_net.h"

namespace
{

const std::string login = "A0002 LOGIN \"pelimbo\" \"secret\"\r\n";

class Watch : public NetPoll
{
  public:
    void SetUp() override
    {
        NetPoll::SetUp();
        useImap();
        Settings &s = config.settings;
        s.Idle = true;
        s.PollInterval = 30;
        s.ConnectTimeout = 3;
    }

    // Messages after those the server holds.
    void addMessages(int count)
    {
        NetPoll::addMessages(count, (int)sn.server.messages.size() + 1);
    }
    // The first poll, which ends in the watch.
    void startWatch(int messages = 2)
    {
        addMessages(messages);
        ASSERT_TRUE(runScriptedPoll());
        ASSERT_TRUE(netStages.idling) << sn.sent;
        sn.sent.clear();
        resetFakeFrontEnd();
    }
    // The server tells the watch of a change.
    void tell(const std::string &lines)
    {
        sn.deliver(lines);
        pumpScripted();
    }
    // The scripted server as a new connection finds it.
    void serverRestarts()
    {
        sn.pending.clear();
        sn.partialCommand.clear();
        sn.server.idleTag.clear();
        sn.peerClosed = false;
        sn.server.silentAfterCommands = -1;
        sn.replies = 0;
    }
};

// FETCH RFC822.HEADER of messages from to to, the first with tag firstTag.
std::string headers(int from, int to, int firstTag)
{
    return fetchRange(firstTag, from, to, "RFC822.HEADER");
}

std::string tagged(int tag, const char *command)
{
    char line[80];
    snprintf(line, sizeof line, "A%04d %s\r\n", tag, command);
    return line;
}

// --- Into the watch and back ------------------------------------------------------------------

TEST_F(Watch, AfterThePollTheConnectionStaysInIdleAndTheIntervalStops)
{
    addMessages(2);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(login + "A0003 CAPABILITY\r\nA0004 EXAMINE INBOX\r\n" + headers(1, 2, 5) + "A0007 IDLE\r\n",
              sn.sent);
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_FALSE(notifier.pollInProgress) << "the poll has ended; its connection has not";
    EXPECT_TRUE(netStages.watching);
    EXPECT_TRUE(netStages.idling);
    EXPECT_EQ(0, sn.closes);

    // Two full intervals of ticks: no poll, nothing sent.
    sn.sent.clear();
    for (int i = 0; i < 60; i++)
        tickScripted();
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ(1, sn.opens);
}

TEST_F(Watch, ALoginThatListsItsCapabilitiesIsNotAskedAgain)
{
    sn.server.loginCapabilities = true;
    addMessages(1);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(login + "A0003 EXAMINE INBOX\r\n" + headers(1, 1, 4) + "A0005 IDLE\r\n", sn.sent);
}

// Those that poll as before: a server without IDLE, Idle off, a dial-up link.
TEST_F(Watch, WithoutIdleOrItsConditionsThePollLogsOutAsBefore)
{
    struct Case {
        const char *name;
        bool offersIdle, idle, loginCapabilities;
        std::string sent;
    } cases[] = {
        {"server without IDLE", false, true, false,
         login + "A0003 CAPABILITY\r\nA0004 EXAMINE INBOX\r\n" + headers(1, 1, 5) + "Z9999 LOGOUT\r\n"},
        {"login lists no IDLE", false, true, true,
         login + "A0003 EXAMINE INBOX\r\n" + headers(1, 1, 4) + "Z9999 LOGOUT\r\n"},
        {"Idle off", true, false, false,
         login + "A0003 EXAMINE INBOX\r\n" + headers(1, 1, 4) + "Z9999 LOGOUT\r\n"},
    };
    addMessages(1);
    for (const Case &c : cases) {
        sn.sent.clear();
        serverRestarts();
        imap = ImapClient();
        sn.server.offersIdle = c.offersIdle;
        sn.server.loginCapabilities = c.loginCapabilities;
        config.settings.Idle = c.idle;
        ASSERT_TRUE(runScriptedPoll()) << c.name;
        EXPECT_EQ(c.sent, sn.sent) << c.name;
        EXPECT_FALSE(netStages.watching) << c.name;
        EXPECT_EQ(1, notifier.headerCount) << c.name;
    }
}

// A change in IDLE ends it with DONE and runs the poll's work on the same
// connection; what it publishes is what a fresh poll would: new mail
// notifies, fewer messages redraw quietly, a message read elsewhere leaves
// the list with UnreadOnly.
TEST_F(Watch, ChangesPollOnTheSameConnectionAndPublishAsAFreshPollWould)
{
    config.settings.UnreadOnly = true;
    startWatch(2);

    addMessages(1);
    tell("* 3 EXISTS\r\n* 1 RECENT\r\n");
    EXPECT_EQ("DONE\r\nA0010 EXAMINE INBOX\r\nA0011 FETCH 1 FLAGS\r\nA0012 FETCH 1 RFC822.HEADER\r\n"
              "A0013 FETCH 2 FLAGS\r\nA0014 FETCH 2 RFC822.HEADER\r\nA0015 FETCH 3 FLAGS\r\n"
              "A0016 FETCH 3 RFC822.HEADER\r\nA0017 IDLE\r\n",
              sn.sent);
    EXPECT_EQ(3, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_EQ(1u, frontCalls("havemail:notify").size());
    EXPECT_TRUE(netStages.idling);

    resetFakeFrontEnd();
    sn.server.messages.erase(sn.server.messages.begin());
    tell("* 1 EXPUNGE\r\n");
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_EQ(DECISION_FEWER, notifier.lastDecision);
    EXPECT_TRUE(frontCalls("havemail:notify").empty()) << "fewer messages are drawn without a sound";

    resetFakeFrontEnd();
    sn.server.messages[0].seen = true;
    tell("* 1 FETCH (FLAGS (\\Seen))\r\n");
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_EQ(DECISION_FEWER, notifier.lastDecision);
    EXPECT_STREQ("Message number 3", mail.shownHeaders[0].subject);
    EXPECT_EQ(1, sn.opens);
    EXPECT_TRUE(errors().empty());
}

// With filters the poll closes the mailbox (CLOSE expunges what it deleted):
// it is opened again to be watched, and a count other than the one CLOSE left
// means a change the poll did not see, so the watch polls again.
TEST_F(Watch, AfterCloseTheMailboxIsSelectedAgainAndAMissedChangePolls)
{
    static FilterEntry filter;
    static char spam[] = "number 2";
    filter = {spam, FILTER_DELETE, MATCH_SUBJECT};
    config.filterList = FilterList{&filter, 1};
    config.settings.UseFilters = true;
    sn.server.loginCapabilities = true;
    addMessages(3);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(login + "A0003 SELECT INBOX\r\n" + headers(1, 2, 4)
                  + "A0006 STORE 2 +FLAGS.SILENT (\\Deleted)\r\nA0007 FETCH 3 RFC822.HEADER\r\n"
                    "Z9998 CLOSE\r\nA0008 SELECT INBOX\r\nA0009 IDLE\r\n",
              sn.sent);
    EXPECT_EQ(2, notifier.headerCount);
    ASSERT_TRUE(netStages.idling);

    // A message that arrives while the poll runs shows in the second SELECT.
    sn.sent.clear();
    bool arrived = false;
    sn.raw = [&](const std::string &line) {
        if (line.find("CLOSE") != std::string::npos && !arrived) {
            arrived = true;
            sn.server.messages.push_back({makeHeader(9)});
        }
        return sn.server.imap(line);
    };
    tell("* 3 EXISTS\r\n");
    EXPECT_EQ("DONE\r\nA0010 SELECT INBOX\r\n" + headers(1, 2, 11)
                  + "Z9998 CLOSE\r\nA0013 SELECT INBOX\r\nA0014 IDLE\r\nDONE\r\nA0015 SELECT INBOX\r\n"
                  + headers(1, 3, 16) + "Z9998 CLOSE\r\nA0019 SELECT INBOX\r\nA0020 IDLE\r\n",
              sn.sent);
    EXPECT_EQ(3, notifier.headerCount);
    sn.raw = nullptr;
}

// An OAuth2 login over TLS is watched as a password login is: the list sent
// with or after AUTHENTICATE decides (never the one before it), and a change
// polls on the same sealed connection without another token.
TEST_F(Watch, AnOAuth2LoginOverTlsIsWatchedToo)
{
    char message[SASL_MESSAGE_SIZE];
    ASSERT_TRUE(
        buildSaslMessage(SASL_OAUTHBEARER, "pelimbo", "127.0.0.1", 143, "access-1", message, sizeof message));
    const std::string login =
        "A0002 CAPABILITY\r\nA0003 AUTHENTICATE OAUTHBEARER " + std::string(message) + "\r\n";
    addMessages(1);
    for (bool codeInReply : {false, true}) {
        SCOPED_TRACE(codeInReply ? "AUTHENTICATE's OK lists them" : "CAPABILITY asked after it");
        ScriptedNet n;
        n.imapMode = true;
        n.server.messages = sn.server.messages;
        n.server.loginCapabilities = codeInReply;
        useOAuth(n);
        useScriptedNet(&n);
        imap = ImapClient();
        forgetAccessToken();
        ASSERT_TRUE(runScriptedPoll());
        int tag = codeInReply ? 4 : 5;
        EXPECT_EQ(login + (codeInReply ? "" : "A0004 CAPABILITY\r\n") + tagged(tag, "EXAMINE INBOX")
                      + headers(1, 1, tag + 1) + tagged(tag + 2, "IDLE"),
                  n.sent);
        ASSERT_TRUE(netStages.idling);

        n.sent.clear();
        n.server.messages.push_back({makeHeader(2)});
        n.deliver("* 2 EXISTS\r\n");
        pumpScripted();
        EXPECT_EQ("DONE\r\n" + tagged(tag + 3, "EXAMINE INBOX") + headers(1, 2, tag + 4)
                      + tagged(tag + 6, "IDLE"),
                  n.sent);
        EXPECT_EQ(2, notifier.headerCount);
        EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
        EXPECT_EQ(1u, n.tokens.forms.size()) << "the session outlives its token";
        EXPECT_EQ(1, n.opens);
        EXPECT_EQ(std::string::npos, n.wire.find("EXAMINE")) << "the watch's commands go sealed";
        EXPECT_TRUE(errors().empty());
        closeConnection();
    }
    useScriptedNet(&sn);
}

TEST_F(Watch, PollNowEndsTheIdleAndPollsOnTheSameConnection)
{
    startWatch(1);
    notifier.tickCounter = 0;
    tickScripted();
    EXPECT_EQ("DONE\r\nA0007 EXAMINE INBOX\r\n" + headers(1, 1, 8) + "A0009 IDLE\r\n", sn.sent);
    EXPECT_EQ(DECISION_NO_CHANGE, notifier.lastDecision);
    EXPECT_EQ(1, sn.opens);
    // The request is used up: the next ticks poll nothing.
    sn.sent.clear();
    for (int i = 0; i < 5; i++)
        tickScripted();
    EXPECT_EQ("", sn.sent);
}

// A change while a dialog blocks polls waits for the first tick that allows one.
TEST_F(Watch, AChangeWhileAPollMayNotStartPollsOnceItMay)
{
    startWatch(1);
    notifier.modalOpen = true;
    addMessages(1);
    tell("* 2 EXISTS\r\n");
    tickScripted();
    EXPECT_EQ("", sn.sent);
    notifier.modalOpen = false;
    tickScripted();
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
}

// The continuation and each kind of news, cut at every byte: each change is
// read once, whole, and polled on the same connection.
TEST_F(Watch, ContinuationAndUntaggedLinesCutAtEveryByteAreReadWhole)
{
    addMessages(1);
    ScriptedNet whole;
    whole.imapMode = true;
    whole.server = sn.server;
    useScriptedNet(&whole);
    ASSERT_TRUE(runScriptedPoll());
    const int idleReply = whole.replies - 1; // "+ idling"
    closeConnection();

    struct Case {
        std::string news;
        std::function<void(ScriptedServer &)> change;
        std::string sent;
        int count;
    } cases[] = {
        {"* 2 EXISTS\r\n* 1 RECENT\r\n", [](ScriptedServer &s) { s.messages.push_back({makeHeader(2)}); },
         "DONE\r\nA0007 EXAMINE INBOX\r\n" + headers(1, 2, 8) + "A0010 IDLE\r\n", 2},
        {"* 1 FETCH (FLAGS (\\Seen))\r\n", [](ScriptedServer &s) { s.messages[0].seen = true; },
         "DONE\r\nA0007 EXAMINE INBOX\r\n" + headers(1, 1, 8) + "A0009 IDLE\r\n", 1},
        {"* 1 EXPUNGE\r\n", [](ScriptedServer &s) { s.messages.clear(); },
         "DONE\r\nA0007 EXAMINE INBOX\r\nA0008 IDLE\r\n", 0},
    };
    for (const Case &c : cases) {
        for (size_t at = 0; at < c.news.size(); at++) {
            SCOPED_TRACE(c.news.substr(2, 8) + " cut at " + std::to_string(at));
            ScriptedNet cut;
            cut.imapMode = true;
            cut.server.messages = sn.server.messages;
            cut.splitReply = idleReply;
            cut.splitAt = at;
            useScriptedNet(&cut);
            imap = ImapClient();
            ASSERT_TRUE(runScriptedPoll());
            ASSERT_TRUE(netStages.idling) << "the continuation was not read";
            c.change(cut.server);
            cut.sent.clear();
            cut.pending.push_back(c.news.substr(0, at));
            pumpScripted();
            cut.pending.push_back(c.news.substr(at));
            pumpScripted();
            ASSERT_EQ(c.sent, cut.sent);
            ASSERT_EQ(c.count, notifier.headerCount);
            closeConnection();
        }
    }
    useScriptedNet(&sn);
}

// --- Keeping it alive, and its ends -----------------------------------------------------------

TEST_F(Watch, TheIdleIsRenewedAfterTheRenewalIntervalWhateverTheServerSays)
{
    pollCycle.watchRenewal = 5;
    startWatch(1);
    for (int tick = 1; tick <= 5; tick++) {
        tell("* OK Still here\r\n");
        tickScripted();
        ASSERT_EQ("", sn.sent) << "tick " << tick;
    }
    tickScripted();
    EXPECT_EQ("DONE\r\nA0007 IDLE\r\n", sn.sent);
    EXPECT_TRUE(netStages.idling);
    EXPECT_EQ(1, sn.opens);
    EXPECT_TRUE(frontCalls("havemail").empty());
}

// A DONE unanswered within ConnectTimeout, a server's goodbye, a closed
// socket: the watch is lost without a word, and the next tick polls afresh.
TEST_F(Watch, ALostWatchIsClosedQuietlyAndPolledAgainAtTheNextTick)
{
    struct Case {
        const char *name;
        std::function<void()> lose;
        int ticks; // until the loss is seen
    } cases[] = {
        {"DONE never answered",
         [this] {
             sn.server.silentAfterCommands = (int)sn.server.commands.size();
             notifier.tickCounter = 0;
             tickScripted();
         },
         5},
        {"BYE during IDLE",
         [this] {
             sn.peerClosed = true;
             tell("* BYE Server shutting down\r\n");
         },
         0},
        {"socket closed",
         [this] {
             sn.peerClosed = true;
             pumpScripted();
         },
         0},
    };
    startWatch(1);
    for (const Case &c : cases) {
        int opens = sn.opens, closes = sn.closes;
        c.lose();
        for (int i = 0; i < c.ticks; i++)
            tickScripted();
        EXPECT_FALSE(netStages.watching) << c.name;
        EXPECT_FALSE(notifier.pollInProgress) << c.name;
        EXPECT_EQ(closes + 1, sn.closes) << c.name;
        EXPECT_EQ(opens, sn.opens) << c.name;
        serverRestarts();
        tickScripted();
        EXPECT_EQ(opens + 1, sn.opens) << c.name << ": polled again at the next tick";
        EXPECT_TRUE(netStages.idling) << c.name;
        EXPECT_EQ(1, notifier.headerCount) << c.name;
        EXPECT_TRUE(errors().empty()) << c.name << ": " << errors()[0];
        EXPECT_EQ(sn.startups, sn.cleanups + 1) << c.name;
    }
}

TEST_F(Watch, ARefusedIdleLogsOutAndTheIntervalPollsAgain)
{
    sn.server.loginCapabilities = true;
    addMessages(1);
    sn.raw = [this](const std::string &line) -> std::string {
        if (line.empty())
            return "* OK ready\r\n";
        return line.find(" IDLE") != std::string::npos ? line.substr(0, 5) + " NO Not now\r\n"
                                                       : sn.server.imap(line);
    };
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(login + "A0003 EXAMINE INBOX\r\n" + headers(1, 1, 4) + "A0005 IDLE\r\nZ9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_FALSE(netStages.watching);
    EXPECT_EQ(1, sn.closes);
    EXPECT_TRUE(errors().empty());
    sn.raw = nullptr;
}

// Setup, exit, the end of the session and a suspend: DONE and LOGOUT, closed,
// and no poll follows by itself.
TEST_F(Watch, EndingTheWatchSaysDoneAndLogout)
{
    startWatch(1);
    endNetworkWatch();
    EXPECT_EQ("DONE\r\nZ9999 LOGOUT\r\n", sn.sent);
    EXPECT_FALSE(netStages.watching);
    EXPECT_EQ(1, sn.closes);
    EXPECT_EQ(sn.startups, sn.cleanups);
    for (int i = 0; i < 10; i++)
        tickScripted();
    EXPECT_EQ(1, sn.opens);
}

// --- Quiet retries ----------------------------------------------------------------------------

// A lost watch and a server that stays away: retries after 5, 10, 20 ...
// seconds, at most PollInterval, and one report for the whole outage; the
// first poll that gets through ends it, and the watch is back.
TEST_F(Watch, RetriesAfterALostWatchGrowAndReportOnce)
{
    startWatch(1);
    sn.connectRefused = true;
    sn.peerClosed = true;
    tell("* BYE Server shutting down\r\n");
    std::vector<int> attempts;
    for (int tick = 1; tick <= 70; tick++) {
        int opens = sn.opens;
        tickScripted();
        if (sn.opens > opens)
            attempts.push_back(tick);
    }
    EXPECT_EQ((std::vector<int>{1, 6, 16, 36, 66}), attempts);
    EXPECT_EQ((std::vector<std::string>{"error:WinSock error"}), errors());

    sn.connectRefused = false;
    serverRestarts();
    for (int tick = 0; tick < 31 && !netStages.watching; tick++)
        tickScripted();
    EXPECT_TRUE(netStages.idling);
    tickScripted();
    EXPECT_FALSE(netOutage.retrying) << "the run ends with the poll that got through";

    // The next outage is reported again.
    sn.connectRefused = true;
    sn.peerClosed = true;
    tell("* BYE again\r\n");
    for (int tick = 0; tick < 7; tick++)
        tickScripted();
    EXPECT_EQ(2u, errors().size());
}

// On waking every connection is dead: closed without a word, and a poll at
// the next tick; without a network yet it retries quietly.
TEST_F(Watch, ResumeReplacesTheWatchAndRetriesWithoutANetwork)
{
    startWatch(1);
    pollAfterResume();
    EXPECT_EQ("", sn.sent) << "nothing is said on a dead connection";
    EXPECT_FALSE(netStages.watching);
    EXPECT_EQ(1, sn.closes);
    serverRestarts();
    tickScripted();
    EXPECT_EQ(2, sn.opens);
    EXPECT_TRUE(netStages.idling);

    sn.lookupFails = true;
    copyText(config.settings.MailHost, "mail.example.org");
    forgetHostAddress();
    pollAfterResume();
    serverRestarts();
    for (int tick = 0; tick < 17; tick++)
        tickScripted();
    EXPECT_EQ(3, sn.lookups) << "at once, after 5 and after 10 seconds";
    EXPECT_EQ((std::vector<std::string>{"error:Error getting host IP address"}), errors());
    sn.lookupFails = false;
    for (int tick = 0; tick < 21 && !netStages.watching; tick++)
        tickScripted();
    EXPECT_TRUE(netStages.idling);
}

// POP3 has no watch, but wakes up the same way; so does a mail file.
TEST_F(Watch, ResumePollsEverySourceAtTheNextTick)
{
    config.settings.MessageSource = SOURCE_POP3;
    sn.imapMode = false;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_FALSE(netStages.watching);
    pollAfterResume();
    EXPECT_EQ(0u, notifier.tickCounter);
    EXPECT_TRUE(netOutage.retrying);
    tickScripted();
    EXPECT_EQ(2, sn.opens);
    tickScripted();
    EXPECT_FALSE(netOutage.retrying) << "the poll got through";

    config.settings.MessageSource = SOURCE_DISK_FILE;
    notifier.tickCounter = 7;
    pollAfterResume();
    EXPECT_EQ(0u, notifier.tickCounter);
    EXPECT_FALSE(netOutage.retrying);
}

} // namespace

// --- Server lines ---------------------------------------------------------------------------------

// The list of the untagged response and of the response code alike; a word
// counts only whole and only inside the list.
TEST(ImapResponse, CapabilityListsAreReadFromEveryFormAndOnlyThose)
{
    struct Case {
        const char *line;
        bool carries, idle, saslIr, bearer;
    } cases[] = {
        {"* CAPABILITY IMAP4rev1 IDLE NAMESPACE\r\n", true, true, false, false},
        {"* capability imap4rev1 idle auth=oauthbearer", true, true, false, true},
        {"* OK [CAPABILITY IMAP4rev1 SASL-IR IDLE] Dovecot ready.\r\n", true, true, true, false},
        {"A0002 OK [CAPABILITY IMAP4rev1 SORT] Logged in\r\n", true, false, false, false},
        {"A0002 ok [capability IDLE]\r\n", true, true, false, false},
        {"* PREAUTH [CAPABILITY IDLE] hi\r\n", true, true, false, false},
        {"* CAPABILITY IMAP4rev1 IDLEX XIDLE AUTH=\r\n", true, false, false, false},
        {"* OK [CAPABILITY IMAP4rev1] IDLE AUTH=OAUTHBEARER in the text\r\n", true, false, false, false},
        {"* OK [CAPABILITY IMAP4rev1 IDLE", false, false, false, false},
        {"* NO [CAPABILITY IDLE] no\r\n", false, false, false, false},
        {"* OK [ALERT] IDLE\r\n", false, false, false, false},
        {"A0002 CAPABILITY IDLE\r\n", false, false, false, false},
        {"* OK IDLE\r\n", false, false, false, false},
        {"* 3 EXISTS\r\n", false, false, false, false},
        {"", false, false, false, false},
        {"*", false, false, false, false},
        {"* OK ", false, false, false, false},
        {"    ", false, false, false, false},
    };
    for (const Case &c : cases) {
        ServerOffer offer = ServerOffer();
        EXPECT_EQ(c.carries, readImapCapabilities(c.line, strlen(c.line), &offer)) << c.line;
        EXPECT_EQ(c.idle, offer.idle) << c.line;
        EXPECT_EQ(c.saslIr, offer.initialResponse) << c.line;
        EXPECT_EQ(c.bearer, offer.oauthBearer) << c.line;
    }
    // Never past the length: the list ends where the line is cut.
    const char cut[] = "* CAPABILITY IMAP4rev1 IDLE";
    ServerOffer offer = ServerOffer();
    EXPECT_TRUE(readImapCapabilities(cut, strlen(cut) - 1, &offer));
    EXPECT_FALSE(offer.idle);
}

TEST(ImapResponse, ChangesAndGoodbyesAreTheUntaggedLinesThatSaySo)
{
    struct Case {
        const char *line;
        MailboxChange change;
        bool bye;
    } cases[] = {
        {"* 23 EXISTS\r\n", MAILBOX_EXISTS, false},
        {"* 0 exists", MAILBOX_EXISTS, false},
        {"* 4 EXPUNGE\r\n", MAILBOX_EXPUNGE, false},
        {"* 1 FETCH (FLAGS (\\Seen))\r\n", MAILBOX_FETCH, false},
        {"* 1 RECENT\r\n", MAILBOX_UNCHANGED, false},
        {"* OK Still here\r\n", MAILBOX_UNCHANGED, false},
        {"* EXISTS\r\n", MAILBOX_UNCHANGED, false},
        {"* 3 EXISTSX\r\n", MAILBOX_UNCHANGED, false},
        {"A0007 3 EXISTS\r\n", MAILBOX_UNCHANGED, false},
        {"*  3 EXISTS\r\n", MAILBOX_UNCHANGED, false},
        {"* BYE Server shutting down\r\n", MAILBOX_UNCHANGED, true},
        {"* bye", MAILBOX_UNCHANGED, true},
        {"* BYEBYE\r\n", MAILBOX_UNCHANGED, false},
        {"A0001 BYE\r\n", MAILBOX_UNCHANGED, false},
        {"* 3", MAILBOX_UNCHANGED, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.change, imapMailboxChange(c.line, strlen(c.line))) << c.line;
        EXPECT_EQ(c.bye, imapByeLine(c.line, strlen(c.line))) << c.line;
    }
    EXPECT_EQ(MAILBOX_UNCHANGED, imapMailboxChange("* 3 EXISTS", 8)) << "cut inside the word";
}
