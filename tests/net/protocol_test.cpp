// The POP3 and IMAP4 conversations through the real transport and clients,
// against a scripted server: the exact bytes sent, the counts committed, the
// error texts, replies cut at every byte, and the transport's own failures.
#include <gtest/gtest.h>
#include <string.h>

#include "auth/oauth.h"
#include "auth/sasl.h"
#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/net/deletion_doubles.h"
#include "tests/net/net_poll_test.h"
#include "tests/net/scripted_net.h"
#include "tests/fakes/recording_frontend.h"

namespace
{

// --- POP3 ------------------------------------------------------------------------------

TEST_F(NetPoll, Pop3ConversationSendsExactCommandsAndCommitsEveryMessage)
{
    addMessages(3);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\n" + topRange(1, 3) + "QUIT\r\n", sn.sent);
    EXPECT_EQ(3, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_TRUE(errors().empty());
    EXPECT_FALSE(notifier.pollFailed);
    EXPECT_EQ(sn.startups, sn.cleanups) << "every WSAStartup is matched by a WSACleanup";
    EXPECT_EQ(1, sn.closes);
    bool sawSecond = false;
    for (int i = 0; i < 3; i++)
        sawSecond |= strcmp(mail.shownHeaders[i].subject, "Message number 2") == 0
                     && strcmp(mail.shownHeaders[i].from, "Sender 2") == 0;
    EXPECT_TRUE(sawSecond);
}

TEST_F(NetPoll, Pop3EmptyMailboxQuitsAtOnceAndCommitsNone)
{
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\nQUIT\r\n", sn.sent);
    EXPECT_EQ(0, notifier.headerCount);
    EXPECT_FALSE(notifier.pollFailed);
}

TEST_F(NetPoll, Pop3ExaminesTheLast100OrEveryMessageWithUnreadOnly)
{
    addMessages(250);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\n" + topRange(151, 250) + "QUIT\r\n", sn.sent);
    EXPECT_EQ(250, notifier.headerCount);
    EXPECT_EQ(100, notifier.shownCount);

    newConnection();
    config.settings.UnreadOnly = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\n" + topRange(1, 250) + "QUIT\r\n", sn.sent);
    EXPECT_EQ(250, notifier.headerCount);
}

TEST_F(NetPoll, Pop3RepliesCutAtEveryBytePositionGiveTheSameResult)
{
    addMessages(2);
    ScriptedNet whole;
    whole.server = sn.server;
    useScriptedNet(&whole);
    ASSERT_TRUE(runScriptedPoll());
    const std::string expected = whole.sent;
    const int replies = whole.replies;

    for (int reply = 0; reply < replies; reply++) {
        for (size_t at = 1; at < 200; at++) {
            ScriptedNet cut;
            cut.server.messages = sn.server.messages;
            cut.splitReply = reply;
            cut.splitAt = at;
            useScriptedNet(&cut);
            memset(&notifier, 0, sizeof notifier);
            notifier.tickCounter = 1;
            pop3 = Pop3Client();
            ASSERT_TRUE(runScriptedPoll()) << "reply " << reply << " cut at " << at;
            ASSERT_EQ(expected, cut.sent) << "reply " << reply << " cut at " << at;
            ASSERT_EQ(2, notifier.headerCount) << "reply " << reply << " cut at " << at;
        }
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, Pop3OneByteChunksAndPartialSendsStillComplete)
{
    addMessages(3);
    sn.chunkSize = 1;
    sn.sendLimit = 3;
    sn.sendWouldBlockOnce = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\n" + topRange(1, 3) + "QUIT\r\n", sn.sent);
    EXPECT_EQ(3, notifier.headerCount);
}

TEST_F(NetPoll, Pop3TopRefusedReportsTwoLinesQuitsAndKeepsTheStatCount)
{
    addMessages(4);
    sn.server.topRefused = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\nTOP 1 0\r\nQUIT\r\n", sn.sent);
    ASSERT_EQ(1u, errors().size());
    EXPECT_EQ("error:POP3 server doesn't implement TOP\nor error getting mail headers", errors()[0]);
    EXPECT_EQ(4, notifier.headerCount);
}

TEST_F(NetPoll, Pop3GreetingAndLoginFailuresHangUpWithoutCommit)
{
    notifier.headerCount = 9;
    sn.server.greeting = "+ok lower case is fine\r\n";
    sn.server.password = "other";
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\n", sn.sent) << "no QUIT before login";
    EXPECT_EQ((std::vector<std::string>{"error:Invalid POP3 password or mailbox locked"}), errors());
    EXPECT_EQ(9, notifier.headerCount) << "nothing committed";
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(sn.startups, sn.cleanups);

    newConnection();
    sn.server.greeting = "-ERR go away\r\n";
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:No authorization from POP3 server"}), errors());

    newConnection();
    config.settings.NetErrors = false;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_TRUE(errors().empty()) << "network errors stay silent when switched off";
}

TEST_F(NetPoll, Pop3DeletesOnlyNewFilteredMessagesAndLogsThem)
{
    useFilters();
    config.settings.LogDeletes = true;
    sn.server.messages.push_back({makeHeader(1)});
    sn.server.messages.push_back({makeHeader(2, 7, "", "Buy now, cheap")});
    sn.server.messages.push_back({makeHeader(3, 7, "", "Weekly Newsletter")});
    deletionAnswer = false;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\n" + topRange(1, 3) + "QUIT\r\n", sn.sent);
    EXPECT_EQ(1, notifier.headerCount) << "filtered messages are not counted";

    // Second poll: the condemned message is no longer new, so it stays.
    newConnection();
    deletionAnswer = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(std::string::npos, sn.sent.find("DELE"));
    EXPECT_EQ(3u, sn.server.messages.size());

    // A new condemned message is deleted at once and logged.
    newConnection();
    sn.server.messages.push_back({makeHeader(4, 8, "", "Buy now again")});
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\n" + topRange(1, 4) + "DELE 4\r\nQUIT\r\n", sn.sent);
    EXPECT_EQ(3u, sn.server.messages.size());
    EXPECT_EQ((std::vector<std::string>{"Buy now again"}), deletionLog);
    EXPECT_EQ(1, notifier.headerCount);
}

TEST_F(NetPoll, Pop3SecondPollFindsNothingNewUntilMailArrives)
{
    addMessages(2);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    newConnection();
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(DECISION_NO_CHANGE, notifier.lastDecision);
    newConnection();
    sn.server.messages.push_back({makeHeader(3, 9)});
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_EQ(3, notifier.headerCount);
}

TEST_F(NetPoll, Pop3ExitDuringTheConversationQuitsAndCommitsNothing)
{
    addMessages(5);
    notifier.headerCount = 5;
    notifier.haveMail = true;
    sn.raw = [&](const std::string &line) {
        if (line == "TOP 2 0\r\n")
            notifier.pendingCommand = PENDING_EXIT;
        return line.empty() ? "+OK hello\r\n" : sn.server.pop3(line);
    };
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\nTOP 1 0\r\nTOP 2 0\r\nQUIT\r\n", sn.sent);
    EXPECT_EQ(0, notifier.headerCount);
    EXPECT_FALSE(notifier.pollInProgress);
}

TEST_F(NetPoll, Pop3OverlongLoginIsRefusedBeforeAnythingIsSent)
{
    std::string longLogin(400, 'u');
    copyText(config.settings.Login, longLogin.c_str());
    addMessages(1);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Login name too long for the POP3 server"}), errors());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(sn.startups, sn.cleanups);
}

// A stored password decodes to any byte and $VAR$ expansion can put line breaks
// into a login or mailbox name: none of it may reach the server as a command.
TEST_F(NetPoll, LineBreaksInArgumentsAreRefusedBeforeTheyAreSent)
{
    copyText(config.settings.plainPassword, "secret\r\nDELE 1");
    addMessages(1);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Line break in password: not sent to the POP3 server"}),
              errors());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(sn.startups, sn.cleanups);

    newConnection();
    copyText(config.settings.Login, "pelimbo\nDELE 1");
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Line break in login name: not sent to the POP3 server"}),
              errors());

    useImap();
    newConnection();
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{
                  "error:Line break in login name or password: not sent to the IMAP4 server"}),
              errors());

    newConnection();
    copyText(config.settings.Login, "pelimbo");
    copyText(config.settings.plainPassword, "secret");
    copyText(config.settings.IMAPMailBox, "INBOX\r\nA9 DELETE INBOX");
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Line break in mailbox name: not sent to the IMAP4 server"}),
              errors());
    EXPECT_TRUE(notifier.pollFailed);
}

// Shorter commands after PASS overwrite only its front: the rest must not stay.
TEST_F(NetPoll, NoPasswordIsLeftInTheCommandBuffer)
{
    const char *password = "a-rather-long-secret-password";
    copyText(config.settings.plainPassword, password);
    sn.server.password = password;
    addMessages(1);
    ASSERT_TRUE(runScriptedPoll());
    ASSERT_EQ(1, notifier.headerCount);
    std::string buffer(net.commandBuffer, sizeof net.commandBuffer);
    EXPECT_EQ(std::string::npos, buffer.find("secret-password"));

    useImap();
    newConnection();
    sn.server.password = "other";
    ASSERT_TRUE(runScriptedPoll());
    buffer.assign(net.commandBuffer, sizeof net.commandBuffer);
    EXPECT_EQ(std::string::npos, buffer.find("secret-password")) << "a refused LOGIN is wiped too";
}

TEST_F(NetPoll, ServerThatClosesMidConversationEndsThePollSilently)
{
    addMessages(3);
    notifier.headerCount = 7;
    sn.server.silentAfterCommands = 3;
    sn.peerClosed = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(7, notifier.headerCount);
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(sn.startups, sn.cleanups);
}

// --- IMAP4 -------------------------------------------------------------------------------

TEST_F(NetPoll, ImapConversationSendsExactCommandsAndCommitsEveryMessage)
{
    useImap();
    addMessages(3);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n"
                  + fetchRange(4, 1, 3, "RFC822.HEADER") + "Z9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(3, notifier.headerCount);
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_TRUE(errors().empty());
}

TEST_F(NetPoll, ImapEmptyMailboxClosesWithFiltersAndLogsOut)
{
    useImap();
    useFilters();
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 SELECT INBOX\r\nZ9998 CLOSE\r\nZ9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(0, notifier.headerCount);
}

TEST_F(NetPoll, ImapFetchesTheLast100OrAsksEveryFlagWithUnreadOnly)
{
    useImap();
    addMessages(250);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n"
                  + fetchRange(4, 151, 250, "RFC822.HEADER") + "Z9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(250, notifier.headerCount);

    newConnection();
    config.settings.UnreadOnly = true;
    for (ScriptedMessage &m : sn.server.messages)
        m.seen = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n" + fetchRange(4, 1, 250, "FLAGS")
                  + "Z9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(0, notifier.headerCount);

    newConnection();
    sn.server.messages[1].seen = false;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n" + fetchRange(4, 1, 2, "FLAGS")
                  + "A0006 FETCH 2 RFC822.HEADER\r\n" + fetchRange(7, 3, 250, "FLAGS") + "Z9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(1, notifier.headerCount);
}

TEST_F(NetPoll, ImapRepliesCutAtEveryBytePositionGiveTheSameResult)
{
    useImap();
    useFilters();
    config.settings.UnreadOnly = true;
    addMessages(2);
    sn.server.messages.push_back({makeHeader(3), true});
    sn.server.lowercaseStatus = true;
    ScriptedNet whole;
    whole.imapMode = true;
    whole.server = sn.server;
    useScriptedNet(&whole);
    ASSERT_TRUE(runScriptedPoll());
    const std::string expected = whole.sent;
    ASSERT_NE(std::string::npos, expected.find("Z9999 LOGOUT"));
    const int replies = whole.replies;

    for (int reply = 0; reply < replies; reply++) {
        for (size_t at = 1; at < 200; at++) {
            ScriptedNet cut;
            cut.imapMode = true;
            cut.server.messages = sn.server.messages;
            cut.server.lowercaseStatus = true;
            cut.splitReply = reply;
            cut.splitAt = at;
            useScriptedNet(&cut);
            memset(&notifier, 0, sizeof notifier);
            notifier.tickCounter = 1;
            imap = ImapClient();
            ASSERT_TRUE(runScriptedPoll()) << "reply " << reply << " cut at " << at;
            ASSERT_EQ(expected, cut.sent) << "reply " << reply << " cut at " << at;
            ASSERT_EQ(2, notifier.headerCount) << "reply " << reply << " cut at " << at;
        }
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, ImapTagIsExactButStatusWordIgnoresCase)
{
    useImap();
    sn.raw = [](const std::string &line) -> std::string {
        if (line.empty())
            return "* OK hi\r\n";
        if (line.rfind("A0002", 0) == 0)
            return "a0002 OK not my tag\r\n";
        return "";
    };
    EXPECT_FALSE(runScriptedPoll()) << "a tag in small letters does not complete the command";
    EXPECT_EQ(1, imap.state);
    closeConnection();
    endNetworkPoll();
}

TEST_F(NetPoll, ImapTagInsideHeaderTextDoesNotEndTheFetch)
{
    useImap();
    sn.server.messages.push_back({makeHeader(1, 7, "", "see A0004 OK for details")});
    sn.server.messages.push_back({makeHeader(2)});
    sn.chunkSize = 16;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n"
                  + fetchRange(4, 1, 2, "RFC822.HEADER") + "Z9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(2, notifier.headerCount);
}

// A header line may begin with the very tag the fetch waits for; inside the
// literal it is text, and the fetch ends only at the real tagged line.
TEST_F(NetPoll, ImapTagAtTheStartOfAHeaderLineInsideTheLiteralIsText)
{
    useImap();
    std::string forged = makeHeader(1, 7, "", "Kept whole");
    forged.insert(forged.find("\r\n") + 2, "A0004 OK forged\r\n");
    for (size_t chunk : {1, 16, 4096}) {
        ScriptedNet net;
        net.imapMode = true;
        net.server.messages = {{forged}, {makeHeader(2)}};
        net.chunkSize = chunk;
        useScriptedNet(&net);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        imap = ImapClient();
        ASSERT_TRUE(runScriptedPoll()) << "chunks of " << chunk;
        EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n"
                      + fetchRange(4, 1, 2, "RFC822.HEADER") + "Z9999 LOGOUT\r\n",
                  net.sent)
            << "chunks of " << chunk;
        EXPECT_EQ(2, notifier.headerCount);
        EXPECT_STREQ("Kept whole", mail.shownHeaders[0].subject) << "chunks of " << chunk;
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, ImapRefusedCloseLogsOutOnceAndStillCommits)
{
    useImap();
    useFilters();
    addMessages(2);
    sn.server.closeRefused = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 SELECT INBOX\r\n"
                  + fetchRange(4, 1, 2, "RFC822.HEADER") + "Z9998 CLOSE\r\nZ9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Error closing IMAP4 mailbox"}), errors());
    EXPECT_EQ(2, notifier.headerCount);
}

TEST_F(NetPoll, ImapLoginFailureSaysSoAndHangsUp)
{
    useImap();
    sn.server.password = "other";
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\n", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Invalid IMAP4 login or password"}), errors());
    EXPECT_TRUE(notifier.pollFailed);

    newConnection();
    sn.server.password = "secret";
    copyText(config.settings.IMAPMailBox, "Archive");
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE Archive\r\nZ9999 LOGOUT\r\n", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Invalid IMAP4 mailbox"}), errors());
}

TEST_F(NetPoll, ImapQuotesLoginsPasswordsAndMailboxNamesThatNeedIt)
{
    useImap();
    copyText(config.settings.Login, "ann \"the\" admin");
    copyText(config.settings.plainPassword, "back\\slash");
    copyText(config.settings.IMAPMailBox, "Old Mail");
    sn.server.login = "ann \"the\" admin";
    sn.server.password = "back\\slash";
    sn.server.mailbox = "Old Mail";
    addMessages(1);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"ann \\\"the\\\" admin\" \"back\\\\slash\"\r\nA0003 EXAMINE \"Old Mail\"\r\n"
              "A0004 FETCH 1 RFC822.HEADER\r\nZ9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(1, notifier.headerCount);

    char out[64];
    ASSERT_TRUE(imapMailboxName("INBOX.Sent", out, sizeof out));
    EXPECT_STREQ("INBOX.Sent", out);
    ASSERT_TRUE(imapMailboxName("Entw\xfcrfe", out, sizeof out));
    EXPECT_STREQ("\"Entw\xfcrfe\"", out);
    EXPECT_FALSE(imapQuoted("\"\"\"\"", out, 9)) << "escapes that do not fit are refused, not cut";
}

TEST_F(NetPoll, ImapOverlongMailboxIsRefusedWithoutWritingPastTheCommand)
{
    useImap();
    std::string longName(126, 'm');
    for (int i = 0; i < 20; i++)
        longName[i * 5] = '\\'; // quoting and escaping make it longer than the command buffer
    copyText(config.settings.IMAPMailBox, longName.c_str());
    std::string longPassword(39, '"');
    copyText(config.settings.plainPassword, longPassword.c_str());
    sn.server.password = longPassword;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(std::string::npos, sn.sent.find("EXAMINE"));
    EXPECT_EQ((std::vector<std::string>{"error:Mailbox name too long for the IMAP4 server"}), errors());
    EXPECT_TRUE(notifier.pollFailed);
}

TEST_F(NetPoll, ImapDeletesNewFilteredMessagesWithStoreAndClose)
{
    useImap();
    useFilters();
    config.settings.LogDeletes = true;
    sn.server.messages.push_back({makeHeader(1)});
    sn.server.messages.push_back({makeHeader(2, 7, "", "Buy now")});
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 SELECT INBOX\r\n"
              "A0004 FETCH 1 RFC822.HEADER\r\nA0005 FETCH 2 RFC822.HEADER\r\n"
              "A0006 STORE 2 +FLAGS.SILENT (\\Deleted)\r\nZ9998 CLOSE\r\nZ9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(1u, sn.server.messages.size());
    EXPECT_EQ((std::vector<std::string>{"Buy now"}), deletionLog);
    EXPECT_EQ(1, notifier.headerCount);
}

TEST_F(NetPoll, ImapExitDuringTheConversationLogsOutAndCommitsNothing)
{
    useImap();
    addMessages(4);
    notifier.headerCount = 4;
    notifier.haveMail = true;
    sn.raw = [&](const std::string &line) {
        if (line.find("FETCH 2 ") != std::string::npos)
            notifier.pendingCommand = PENDING_EXIT;
        return line.empty() ? "* OK hi\r\n" : sn.server.imap(line);
    };
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n"
                  + fetchRange(4, 1, 2, "RFC822.HEADER") + "Z9999 LOGOUT\r\n",
              sn.sent);
    EXPECT_EQ(0, notifier.headerCount);
}

TEST_F(NetPoll, ImapBadBannerIsRefused)
{
    useImap();
    sn.server.greeting = "OK no star\r\n";
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Bad banner from IMAP4 server"}), errors());
}

// --- Transport ----------------------------------------------------------------------------

TEST_F(NetPoll, DottedHostConnectsDirectlyAndANameIsLookedUpOnce)
{
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(0, sn.lookups);
    EXPECT_EQ(1, sn.opens);

    forgetHostAddress();
    copyText(config.settings.MailHost, "localhost");
    newConnection();
    ASSERT_TRUE(runScriptedPoll());
    newConnection();
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(1, sn.lookups) << "the address is kept from poll to poll";
    EXPECT_EQ(3, sn.opens);
}

TEST_F(NetPoll, LookupAndConnectFailuresEndThePollWithTheirMessages)
{
    copyText(config.settings.MailHost, "a..b");
    sn.lookupFails = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"error:Error getting host IP address"}), errors());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(sn.startups, sn.cleanups);

    newConnection();
    config.settings.NetErrors = false;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_TRUE(errors().empty());
    EXPECT_FALSE(notifier.pollInProgress);

    newConnection();
    config.settings.NetErrors = true;
    sn.lookupFails = false;
    copyText(config.settings.MailHost, "127.0.0.1");
    sn.connectRefused = true;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"error:WinSock error"}), errors());
    EXPECT_EQ(sn.startups, sn.cleanups);
}

TEST_F(NetPoll, WinSockStartFailuresShowTwoBoxesAndFinishThePoll)
{
    sn.grantedVersion = 0x0001;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"error:Invalid WinSock version",
                                        "error:Error or timeout initializing WinSock"}),
              errors());
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_EQ(1, sn.cleanups);

    newConnection();
    sn.grantedVersion = 0x0202;
    sn.loadResult = 0;
    installSocketLayer(nullptr);
    useScriptedNet(&sn);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"error:Unable to load WSOCK32.DLL",
                                        "error:Error or timeout initializing WinSock"}),
              errors());
}

TEST_F(NetPoll, SilentServerTimesOutAfterTheInactivityLimit)
{
    config.settings.InactivityTimeout = 3;
    sn.server.silentAfterCommands = 1;
    addMessages(1);
    EXPECT_FALSE(runScriptedPoll());
    for (int tick = 1; tick <= 4; tick++) {
        pollTick();
        ASSERT_TRUE(notifier.pollInProgress) << "tick " << tick;
    }
    pollTick();
    EXPECT_FALSE(notifier.pollInProgress) << "ends on the fifth tick: limit + 2";
    EXPECT_EQ((std::vector<std::string>{"error:Time out on POP3/IMAP4 server"}), errors());
    EXPECT_EQ(sn.startups, sn.cleanups);

    // Notifications that were queued for the closed socket change nothing.
    handleSocketMessage(5, NET_READ);
    handleSocketMessage(5, NET_CLOSE);
    EXPECT_EQ(1u, errors().size());
}

TEST_F(NetPoll, ConfirmationThatOutlivesThePollSendsNothing)
{
    useFilters();
    config.settings.InactivityTimeout = 2;
    sn.server.messages.push_back({makeHeader(1, 7, "", "Buy now")});
    whileDeletionAsked = [] {
        for (int i = 0; i < 5; i++)
            pollTick();
    };
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("USER pelimbo\r\nPASS secret\r\nSTAT\r\nTOP 1 0\r\n", sn.sent);
    EXPECT_EQ((std::vector<std::string>{"error:Time out on POP3/IMAP4 server"}), errors());
    EXPECT_EQ(1u, sn.server.messages.size());
}

// What a message costs in socket calls, each a round trip to the socket
// service: one send for its command and one receive for its reply. The event
// mask is selected at the connection and its close only, never per reply.
TEST_F(NetPoll, EachMessageCostsOneSendAndOneReceive)
{
    for (bool imapSource : {false, true}) {
        config.settings.MessageSource = imapSource ? SOURCE_IMAP4 : SOURCE_POP3;
        size_t masks[2] = {};
        int extraReceives[2] = {}, extraSends[2] = {};
        for (int run = 0; run < 2; run++) {
            ScriptedNet n;
            n.imapMode = imapSource;
            const int count = run == 0 ? 2 : 40;
            for (int i = 1; i <= count; i++)
                n.server.messages.push_back({makeHeader(i)});
            useScriptedNet(&n);
            memset(&notifier, 0, sizeof notifier);
            notifier.tickCounter = 1;
            ASSERT_TRUE(runScriptedPoll());
            ASSERT_EQ(count, notifier.headerCount);
            masks[run] = n.masks.size();
            extraReceives[run] = n.receives - count;
            extraSends[run] = n.sends - count;
        }
        EXPECT_EQ(masks[0], masks[1]) << (imapSource ? "IMAP4" : "POP3");
        EXPECT_EQ(extraReceives[0], extraReceives[1]) << (imapSource ? "IMAP4" : "POP3");
        EXPECT_EQ(extraSends[0], extraSends[1]) << (imapSource ? "IMAP4" : "POP3");
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, NamedEntryWithoutTheDialUpServiceIsNeverUsable)
{
    config.settings.directConnection = false;
    copyText(config.settings.Connection, "Office");
    addMessages(1);
    EXPECT_FALSE(dialUpLinkUsable());
    startNetworkPoll();
    EXPECT_FALSE(notifier.pollInProgress) << "no poll over a link that cannot be checked";
    EXPECT_EQ(0, sn.startups);
    reportNetError("Socket read error");
    EXPECT_TRUE(errors().empty());
}

// --- TLS below the conversations (a toy record layer stands in for the platform's) -----

const std::string pop3Plain = "USER pelimbo\r\nPASS secret\r\nSTAT\r\nTOP 1 0\r\nTOP 2 0\r\nQUIT\r\n";
const std::string imapPlain =
    "A0002 LOGIN \"pelimbo\" \"secret\"\r\nA0003 EXAMINE INBOX\r\n"
    "A0004 FETCH 1 RFC822.HEADER\r\nA0005 FETCH 2 RFC822.HEADER\r\nZ9999 LOGOUT\r\n";

// Besides the sealing: each command leaves as one record in one send, and
// every byte and record the server sends is read and opened once, so a TLS
// poll costs the round trips of a plain one; the client is handed exactly the
// plain poll's reply bytes.
TEST_F(NetPoll, TlsFromTheFirstByteCarriesTheSameConversationSealed)
{
    for (bool imapSource : {false, true}) {
        config.settings.MessageSource = imapSource ? SOURCE_IMAP4 : SOURCE_POP3;
        config.settings.Security = SECURITY_PLAIN;
        ScriptedNet plain;
        plain.imapMode = imapSource;
        plain.server.messages = {{makeHeader(1)}, {makeHeader(2)}};
        useScriptedNet(&plain);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        net.bytesReceived = 0;
        ASSERT_TRUE(runScriptedPoll());
        const unsigned long long plainBytes = net.bytesReceived;

        ScriptedNet n;
        n.imapMode = imapSource;
        config.settings.Security = SECURITY_TLS;
        n.server.messages = plain.server.messages;
        useScriptedNet(&n);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        net.bytesReceived = net.secureBytesReceived = 0;
        net.secureRecordsOpened = 0;
        ASSERT_TRUE(runScriptedPoll());
        EXPECT_EQ(imapSource ? imapPlain : pop3Plain, n.sent);
        const size_t commands = n.server.commands.size();
        const size_t handshake = toyRecord(22, "HELLO").size() + toyRecord(22, "FINISHED").size();
        EXPECT_EQ(handshake + n.sent.size() + 3 * commands, n.wire.size()) << "one record per command";
        EXPECT_EQ(commands + 2, (size_t)n.sends) << "one send per record";
        size_t served = 0;
        for (size_t size : n.replySizes)
            served += size;
        EXPECT_EQ(served, net.secureBytesReceived);
        EXPECT_EQ((unsigned long)n.dataRecords, net.secureRecordsOpened);
        EXPECT_EQ(plainBytes, net.bytesReceived);
        EXPECT_EQ(std::string::npos, n.wire.find("secret")) << "the password never crosses in plain text";
        EXPECT_EQ(1, n.handshakes);
        EXPECT_EQ(2, notifier.headerCount);
        EXPECT_FALSE(notifier.pollFailed);
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ(n.startups, n.cleanups);
        EXPECT_STREQ("protocol: toy", net.secureDescription);
    }
    useScriptedNet(&sn);
}

// Records of 7 bytes, and the wire cut at every position of every reply: the
// client sees the same plain bytes whatever the record and read boundaries.
TEST_F(NetPoll, TlsRecordsCutAtEveryBytePositionGiveTheSameHeaders)
{
    for (bool imapSource : {false, true}) {
        config.settings.MessageSource = imapSource ? SOURCE_IMAP4 : SOURCE_POP3;
        config.settings.Security = SECURITY_TLS;
        ScriptedNet whole;
        whole.imapMode = imapSource;
        whole.recordSize = 7;
        whole.server.messages = {{makeHeader(1)}, {makeHeader(2)}};
        useScriptedNet(&whole);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        ASSERT_TRUE(runScriptedPoll());
        ASSERT_EQ(imapSource ? imapPlain : pop3Plain, whole.sent);
        const int replies = whole.replies;

        for (int reply = 0; reply < replies; reply++) {
            for (size_t at = 1; at < whole.replySizes[(size_t)reply]; at++) {
                ScriptedNet cut;
                cut.imapMode = imapSource;
                cut.recordSize = 7;
                cut.server.messages = whole.server.messages;
                cut.splitReply = reply;
                cut.splitAt = at;
                cut.chunkSize = 1 + at % 61;
                useScriptedNet(&cut);
                memset(&notifier, 0, sizeof notifier);
                notifier.tickCounter = 1;
                pop3 = Pop3Client();
                imap = ImapClient();
                ASSERT_TRUE(runScriptedPoll()) << "reply " << reply << " cut at " << at;
                ASSERT_EQ(whole.sent, cut.sent) << "reply " << reply << " cut at " << at;
                ASSERT_EQ(2, notifier.headerCount) << "reply " << reply << " cut at " << at;
                ASSERT_FALSE(notifier.pollFailed) << "reply " << reply << " cut at " << at;
            }
        }
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, StartTlsComesFirstAndTheLoginOnlyInsideTheSession)
{
    config.settings.Security = SECURITY_STARTTLS;
    addMessages(2);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("STLS\r\n" + pop3Plain, sn.sent);
    EXPECT_EQ(0u, sn.wire.find("STLS\r\n"));
    EXPECT_EQ(std::string::npos, sn.wire.find("USER")) << "nothing after STLS in plain text";
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_TRUE(errors().empty());

    ScriptedNet n;
    useImap();
    n.imapMode = true;
    n.server.messages = sn.server.messages;
    useScriptedNet(&n);
    memset(&notifier, 0, sizeof notifier);
    notifier.tickCounter = 1;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ("A0002 STARTTLS\r\nA0003 LOGIN \"pelimbo\" \"secret\"\r\nA0004 EXAMINE INBOX\r\n"
              "A0005 FETCH 1 RFC822.HEADER\r\nA0006 FETCH 2 RFC822.HEADER\r\nZ9999 LOGOUT\r\n",
              n.sent);
    EXPECT_EQ(std::string::npos, n.wire.find("LOGIN"));
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_TRUE(errors().empty());
    useScriptedNet(&sn);
}

TEST_F(NetPoll, ServerWithoutStartTlsGetsNoCredentials)
{
    config.settings.Security = SECURITY_STARTTLS;
    addMessages(1);
    notifier.headerCount = 4;
    sn.offersStartTls = false;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"STLS\r\n"}), sn.server.commands);
    EXPECT_EQ((std::vector<std::string>{"error:The POP3 server does not offer STLS"}), errors());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(4, notifier.headerCount);
    EXPECT_EQ(1, sn.closes);

    ScriptedNet n;
    useImap();
    n.imapMode = true;
    n.offersStartTls = false;
    useScriptedNet(&n);
    resetFakeFrontEnd();
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"A0002 STARTTLS\r\n"}), n.server.commands);
    EXPECT_EQ((std::vector<std::string>{"error:The IMAP4 server does not offer STARTTLS"}), errors());
    EXPECT_TRUE(notifier.pollFailed);
    useScriptedNet(&sn);
}

TEST_F(NetPoll, RefusedCertificateEndsThePollBeforeTheLogin)
{
    for (unsigned security : {SECURITY_TLS, SECURITY_STARTTLS}) {
        ScriptedNet n;
        n.server.messages = {{makeHeader(1)}};
        n.verifyFailure = "The certificate of 127.0.0.1 has expired";
        config.settings.Security = security;
        useScriptedNet(&n);
        resetFakeFrontEnd();
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        ASSERT_TRUE(runScriptedPoll());
        EXPECT_EQ(security == SECURITY_TLS ? "" : "STLS\r\n", n.sent);
        EXPECT_EQ((std::vector<std::string>{"error:The certificate of 127.0.0.1 has expired"}), errors());
        EXPECT_TRUE(notifier.pollFailed);
        EXPECT_EQ(n.startups, n.cleanups);
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, TlsRenegotiationAndCloseNotifyLeaveTheConversationWhole)
{
    config.settings.Security = SECURITY_TLS;
    addMessages(2);
    sn.rekeyBeforeReply = 4; // a handshake record before the STAT reply
    sn.closeNotifyAfterLogout = true;
    sn.recordSize = 5;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(pop3Plain, sn.sent);
    EXPECT_EQ(2, notifier.headerCount);
    EXPECT_FALSE(notifier.pollFailed);
    EXPECT_TRUE(errors().empty());

    // A close-notify in the middle ends the poll as a hang-up does.
    ScriptedNet n;
    n.server.messages = sn.server.messages;
    config.settings.Security = SECURITY_TLS;
    n.raw = [&n](const std::string &line) -> std::string {
        if (line.rfind("STAT", 0) == 0) {
            n.deliverWire(toyRecord(21, ""));
            return "";
        }
        return line.empty() ? "+OK ready\r\n" : n.server.pop3(line);
    };
    useScriptedNet(&n);
    resetFakeFrontEnd();
    memset(&notifier, 0, sizeof notifier);
    notifier.tickCounter = 1;
    notifier.headerCount = 9;
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(9, notifier.headerCount);
    EXPECT_TRUE(errors().empty());
    useScriptedNet(&sn);
}

TEST_F(NetPoll, SilentHandshakeTimesOutUnderTheConnectLimit)
{
    config.settings.Security = SECURITY_TLS;
    config.settings.ConnectTimeout = 2;
    config.settings.InactivityTimeout = 100;
    sn.handshakeSilent = true;
    EXPECT_FALSE(runScriptedPoll());
    EXPECT_TRUE(netStages.handshaking);
    for (int tick = 1; tick <= 3; tick++)
        pollTick();
    pollTick();
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_EQ((std::vector<std::string>{"error:Time out connecting to POP3/IMAP4 server"}), errors());
    EXPECT_EQ(sn.startups, sn.cleanups);
}

// --- OAuth2 (a scripted token service; the certificate check is the toy layer's) ---------

std::string saslMessage(SaslMechanism mechanism, const char *token, unsigned port)
{
    char out[SASL_MESSAGE_SIZE];
    EXPECT_TRUE(buildSaslMessage(mechanism, "pelimbo", "127.0.0.1", port, token, out, sizeof out));
    return out;
}

// Both mechanisms, with the first message on the command line or after the
// "+"; the login never carries the password, and the token never crosses in
// plain text or stays in a buffer.
TEST_F(NetPoll, OAuthImapLogsInWithTheMechanismAndFormTheServerOffers)
{
    struct Case {
        bool bearer, saslIr;
    };
    for (Case c : {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
        ScriptedNet n;
        n.imapMode = true;
        config.settings.MessageSource = SOURCE_IMAP4;
        useOAuth(n);
        n.server.offersOAuthBearer = c.bearer;
        n.server.offersSaslIr = c.saslIr;
        n.server.messages = {{makeHeader(1)}, {makeHeader(2)}};
        useScriptedNet(&n);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        forgetAccessToken();
        ASSERT_TRUE(runScriptedPoll());
        SaslMechanism mechanism = c.bearer ? SASL_OAUTHBEARER : SASL_XOAUTH2;
        std::string message = saslMessage(mechanism, "access-1", 143);
        std::string name = saslMechanismName(mechanism);
        std::string login = c.saslIr ? "A0003 AUTHENTICATE " + name + " " + message + "\r\n"
                                     : "A0003 AUTHENTICATE " + name + "\r\n" + message + "\r\n";
        EXPECT_EQ("A0002 CAPABILITY\r\n" + login + "A0004 EXAMINE INBOX\r\n"
                      + fetchRange(5, 1, 2, "RFC822.HEADER") + "Z9999 LOGOUT\r\n",
                  n.sent);
        EXPECT_EQ(2, notifier.headerCount);
        EXPECT_TRUE(errors().empty());
        EXPECT_EQ((std::vector<std::string>{
                      "grant_type=refresh_token&refresh_token=refresh-1&client_id=pelimbo-client"}),
                  n.tokens.forms);
        EXPECT_EQ(std::string::npos, n.wire.find(message)) << "the token goes sealed";
        EXPECT_EQ(std::string::npos, n.sent.find("secret")) << "no password with OAuth2";
        EXPECT_EQ(std::string(sizeof net.saslCommand, '\0'),
                  std::string(net.saslCommand, sizeof net.saslCommand));
    }
    useScriptedNet(&sn);
}

// RFC 5034: the initial response goes on the AUTH line while the line stays
// within 255 octets; a longer one follows the server's "+".
TEST_F(NetPoll, OAuthPop3UsesCapaAndAuthWithShortAndLongTokens)
{
    for (bool longToken : {false, true}) {
        ScriptedNet n;
        useOAuth(n);
        n.server.offersOAuthBearer = false;
        std::string token = longToken ? std::string(300, 't') : "access-1";
        n.server.accessToken = token;
        n.tokens.answers = {"{\"access_token\":\"" + token + "\",\"expires_in\":3600}"};
        n.server.messages = {{makeHeader(1)}};
        useScriptedNet(&n);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        forgetAccessToken();
        ASSERT_TRUE(runScriptedPoll());
        std::string message = saslMessage(SASL_XOAUTH2, token.c_str(), 110);
        std::string auth =
            longToken ? "AUTH XOAUTH2\r\n" + message + "\r\n" : "AUTH XOAUTH2 " + message + "\r\n";
        EXPECT_EQ("CAPA\r\n" + auth + "STAT\r\nTOP 1 0\r\nQUIT\r\n", n.sent);
        EXPECT_EQ(1, notifier.headerCount);
        EXPECT_TRUE(errors().empty());
    }
    useScriptedNet(&sn);
}

// A token the server refuses is answered as the mechanism requires, then one
// new token is tried; the same refusal again asks for a sign-in, once per
// outage, with the balloon, and sends no password. A poll that gets in ends the outage.
TEST_F(NetPoll, OAuthRefusedTokenIsRenewedOnceThenASignInIsAskedFor)
{
    for (bool imapSource : {false, true}) {
        for (bool bearer : {true, false}) {
            ScriptedNet n;
            n.imapMode = imapSource;
            config.settings.MessageSource = imapSource ? SOURCE_IMAP4 : SOURCE_POP3;
            useOAuth(n);
            n.server.accessToken = "access-2"; // the first token granted has ended early
            n.server.offersOAuthBearer = bearer;
            n.server.offersXoauth2 = !bearer;
            n.server.messages = {{makeHeader(1)}};
            useScriptedNet(&n);
            resetFakeFrontEnd();
            memset(&notifier, 0, sizeof notifier);
            notifier.tickCounter = 1;
            forgetAccessToken();
            ASSERT_TRUE(runScriptedPoll());
            const char *answer = bearer ? "AQ==\r\n" : "\r\n";
            EXPECT_NE(std::string::npos, n.sent.find("\r\n" + std::string(answer)))
                << "the error is answered";
            EXPECT_EQ(2u, n.tokens.forms.size());
            EXPECT_EQ((std::vector<std::string>{"access-1", "access-2"}), n.server.tokensSeen);
            EXPECT_STREQ("401", net.saslStatus);
            EXPECT_EQ(1, notifier.headerCount) << imapSource << bearer;
            EXPECT_TRUE(errors().empty());

            // Refused every time: one renewal, then the sign-in is asked for.
            n.server.accessToken = "none";
            n.server.tokensSeen.clear();
            n.tokens.forms.clear();
            newConnection();
            n.sent.clear();
            n.server.commands.clear();
            n.replies = 0;
            forgetAccessToken();
            ASSERT_TRUE(runScriptedPoll());
            EXPECT_EQ(2u, n.server.tokensSeen.size()) << "no loop";
            EXPECT_EQ(2u, n.tokens.forms.size());
            const std::string needed = "Sign-in needed for pelimbo: choose Sign in... from the menu";
            EXPECT_EQ((std::vector<std::string>{"error:" + needed}), errors());
            EXPECT_EQ((std::vector<std::string>{"notice:" + needed}), frontCalls("notice:"));
            EXPECT_TRUE(notifier.pollFailed);
            EXPECT_EQ(std::string::npos, n.sent.find("secret"));
            EXPECT_EQ(std::string::npos, n.sent.find("LOGIN"));
            EXPECT_EQ(n.startups, n.cleanups);

            resetFakeFrontEnd();
            n.server.commands.clear();
            n.replies = 0;
            ASSERT_TRUE(runScriptedPoll());
            EXPECT_TRUE(errors().empty()) << "said once per outage";
            EXPECT_TRUE(frontCalls("notice:").empty());
            EXPECT_TRUE(oauth.signInNeededTold);

            n.server.accessToken = "access-7";
            n.tokens.answers = {"{\"access_token\":\"access-7\"}"};
            forgetAccessToken();
            ASSERT_TRUE(runScriptedPoll());
            EXPECT_FALSE(notifier.pollFailed);
            EXPECT_FALSE(oauth.signInNeededTold) << "the outage is over";
        }
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, OAuthServerWithoutEitherMechanismGetsNoToken)
{
    for (int kind = 0; kind < 3; kind++) {
        ScriptedNet n;
        n.imapMode = kind != 0;
        config.settings.MessageSource = kind != 0 ? SOURCE_IMAP4 : SOURCE_POP3;
        useOAuth(n);
        n.server.offersOAuthBearer = false;
        n.server.offersXoauth2 = false;
        n.server.capaRefused = kind == 0;
        if (kind == 2) {
            // A CAPABILITY refused outright says as little.
            n.raw = [](const std::string &line) -> std::string {
                return line.empty() ? "* OK hi\r\n" : "A0002 BAD unknown\r\n";
            };
        }
        useScriptedNet(&n);
        resetFakeFrontEnd();
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        ASSERT_TRUE(runScriptedPoll());
        EXPECT_EQ(kind == 0 ? "CAPA\r\n" : "A0002 CAPABILITY\r\n", n.sent);
        EXPECT_EQ((std::vector<std::string>{"error:The server does not offer OAuth2 sign-in"}), errors());
        EXPECT_TRUE(notifier.pollFailed);
        EXPECT_EQ(n.startups, n.cleanups);
    }
    useScriptedNet(&sn);
}

TEST_F(NetPoll, OAuthWithoutTlsSendsNothing)
{
    useOAuth(sn);
    config.settings.Security = SECURITY_PLAIN;
    keepAccessToken("access-1", 3600, sn.tokens.now);
    addMessages(1);
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(0, sn.startups);
    EXPECT_EQ(0, sn.opens);
    EXPECT_TRUE(sn.tokens.forms.empty());
    EXPECT_EQ((std::vector<std::string>{
                  "error:OAuth2 sign-in needs TLS (Security 1 or 2): nothing was sent to 127.0.0.1"}),
              errors());
    EXPECT_TRUE(notifier.pollFailed);
}

// What the token service answers decides before any connection: a usable
// token is kept (rotation stores the new refresh token), a grant that is over
// clears the stored one and asks for a sign-in, other refusals and failures
// are shown as they come; nothing of them connects to the mail server.
TEST_F(NetPoll, OAuthTokenServiceAnswersDecideBeforeAnyConnection)
{
    useOAuth(sn);
    addMessages(1);
    sn.tokens.answers = {R"({"access_token":"access-1","refresh_token":"refresh-2","expires_in":3600})"};
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"refresh-2"}), sn.tokens.stored);
    EXPECT_EQ(1, notifier.headerCount);
    newConnection();
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ(1u, sn.tokens.forms.size()) << "a token that lasts is used again";
    sn.tokens.now += 3600 * 1000 - 59000;
    newConnection();
    ASSERT_TRUE(runScriptedPoll());
    ASSERT_EQ(2u, sn.tokens.forms.size()) << "within a minute of its end it is renewed first";
    EXPECT_NE(std::string::npos, sn.tokens.forms[1].find("&refresh_token=refresh-2&")) << "the rotated one";

    struct Case {
        std::string answer;
        unsigned status;
        bool reached;
        const char *message;
    };
    const Case cases[] = {
        {R"({"error":"invalid_grant","error_description":"AADSTS70008"})", 400, true,
         "Sign-in needed for pelimbo: choose Sign in... from the menu"},
        {R"({"error":"invalid_client","error_description":"Bad secret"})", 401, true,
         "The token service answered: invalid_client\nBad secret"},
        {"<html>busy</html>", 503, true,
         "The token service at login.example.org sent an answer Pelimbo cannot read (HTTP 503)"},
        {"", 0, false, "The certificate of login.example.org is not trusted"},
    };
    for (const Case &c : cases) {
        newConnection();
        forgetAccessToken();
        oauth.signInNeededTold = false;
        sn.tokens.refreshToken = "refresh-2";
        sn.tokens.stored.clear();
        sn.tokens.answers = {c.answer};
        sn.tokens.httpStatus = c.status;
        sn.tokens.reached = c.reached;
        sn.tokens.failure = c.reached ? "" : c.message;
        int opens = sn.opens;
        ASSERT_TRUE(runScriptedPoll());
        EXPECT_EQ((std::vector<std::string>{std::string("error:") + c.message}), errors());
        EXPECT_EQ(opens, sn.opens) << "no connection to the mail server";
        EXPECT_TRUE(notifier.pollFailed);
        EXPECT_EQ(sn.startups, sn.cleanups);
        bool overGrant = c.answer.find("invalid_grant") != std::string::npos;
        EXPECT_EQ(overGrant ? std::vector<std::string>{""} : std::vector<std::string>{}, sn.tokens.stored);
    }
    sn.tokens.reached = true;
    sn.tokens.httpStatus = 200;

    newConnection();
    sn.tokens.refreshToken = "";
    ASSERT_TRUE(runScriptedPoll());
    EXPECT_EQ((std::vector<std::string>{"error:Sign-in needed for pelimbo: choose Sign in... from the menu"}),
              errors())
        << "without a stored refresh token";
    EXPECT_EQ(0, sn.startups - sn.cleanups);
}

TEST_F(NetPoll, OAuthTokenServiceThatNeverAnswersTimesOutAndItsLateAnswerIsIgnored)
{
    useOAuth(sn);
    config.settings.ConnectTimeout = 2;
    addMessages(1);
    sn.tokens.hold = true;
    EXPECT_FALSE(runScriptedPoll());
    EXPECT_TRUE(netStages.refreshing);
    for (int tick = 1; tick <= 3; tick++)
        pollTick();
    EXPECT_TRUE(notifier.pollInProgress);
    pollTick();
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_EQ((std::vector<std::string>{"error:Time out getting an access token from login.example.org"}),
              errors());
    EXPECT_EQ(sn.startups, sn.cleanups);
    sn.tokens.hold = false;
    ASSERT_TRUE(sn.tokens.deliver());
    EXPECT_EQ(0, sn.opens) << "the late answer starts nothing";
    EXPECT_STREQ("", oauth.accessToken);
}

// The replies up to the login cut at every byte, refusal and continuations
// included, read as the whole ones do (the later ones are the password
// conversation's, cut the same way above).
TEST_F(NetPoll, OAuthRepliesCutAtEveryBytePositionGiveTheSameConversation)
{
    for (bool imapSource : {false, true}) {
        config.settings.MessageSource = imapSource ? SOURCE_IMAP4 : SOURCE_POP3;
        ScriptedNet whole;
        whole.imapMode = imapSource;
        useOAuth(whole);
        whole.server.accessToken = "access-2";
        whole.server.offersSaslIr = false;
        useScriptedNet(&whole);
        memset(&notifier, 0, sizeof notifier);
        notifier.tickCounter = 1;
        forgetAccessToken();
        ASSERT_TRUE(runScriptedPoll());
        ASSERT_FALSE(notifier.pollFailed);
        const int loginReplies = 8; // handshake, greeting, capabilities, "+", error, refusal, "+", OK
        for (int reply = 0; reply < loginReplies && reply < whole.replies; reply++) {
            for (size_t at = 1; at < whole.replySizes[(size_t)reply]; at++) {
                ScriptedNet cut;
                cut.imapMode = imapSource;
                useOAuth(cut);
                cut.server.accessToken = "access-2";
                cut.server.offersSaslIr = false;
                cut.splitReply = reply;
                cut.splitAt = at;
                cut.chunkSize = 1 + at % 23;
                useScriptedNet(&cut);
                memset(&notifier, 0, sizeof notifier);
                notifier.tickCounter = 1;
                pop3 = Pop3Client();
                imap = ImapClient();
                forgetAccessToken();
                ASSERT_TRUE(runScriptedPoll()) << "reply " << reply << " cut at " << at;
                ASSERT_EQ(whole.sent, cut.sent) << "reply " << reply << " cut at " << at;
                ASSERT_FALSE(notifier.pollFailed) << "reply " << reply << " cut at " << at;
            }
        }
    }
    useScriptedNet(&sn);
}
} // namespace

// The framer under the two clients: a line comes out only once its line feed
// has arrived, however the bytes were cut; a line longer than its room keeps
// its beginning (the status word, the tag) and never writes or reads past an
// end; the bytes after a line feed are left for the next line.
TEST(LineFramer, LinesComeWholeWhateverTheCut)
{
    LineFramer framer;
    resetLineFramer(&framer);
    const std::string reply = "* 3 EXISTS\r\nA0003 OK done\r\n";
    for (size_t cut = 0; cut <= reply.size(); cut++) {
        resetLineFramer(&framer);
        std::vector<std::string> lines;
        for (const std::string &piece : {reply.substr(0, cut), reply.substr(cut)}) {
            size_t at = 0;
            while (takeLine(&framer, piece.data(), piece.size(), &at))
                lines.push_back(std::string(framer.line, framer.length));
            EXPECT_EQ(at, piece.size());
        }
        EXPECT_EQ(lines, (std::vector<std::string>{"* 3 EXISTS\r\n", "A0003 OK done\r\n"}))
            << "cut at " << cut;
    }

    resetLineFramer(&framer);
    const std::string longLine = "+OK " + std::string(2 * REPLY_LINE_SIZE, 'x') + "\r\n+OK next\r\n";
    size_t at = 0;
    ASSERT_TRUE(takeLine(&framer, longLine.data(), longLine.size(), &at));
    EXPECT_EQ(framer.length, (size_t)REPLY_LINE_SIZE - 1);
    EXPECT_EQ(std::string(framer.line, 4), "+OK ");
    EXPECT_EQ(longLine.substr(at), "+OK next\r\n");

    resetLineFramer(&framer);
    at = 0;
    EXPECT_FALSE(takeLine(&framer, "+OK", 3, &at)) << "no line feed yet";
    EXPECT_EQ(std::string(framer.line), "+OK");
}
