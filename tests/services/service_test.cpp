// The Simple MAPI and cc:Mail sources through their real library bindings,
// against stand-ins of MAPI32.DLL and VIM32.DLL (tests/standins) that serve a
// mailbox file written here and record the calls they receive; and one run
// against Wine's own mapi32, which is what a user without a MAPI store meets.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config.h"
#include "mail/mail.h"
#include "core/core.h"
#include "sources/services.h"
#include "tests/mail/mail_fixture.h"
#include "tests/config/winfiles.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/standins/common/standin_exports.h"

namespace
{

std::string programDirectory(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

std::vector<std::string> errors(void)
{
    std::vector<std::string> texts;
    for (const std::string &line : frontCalls("error:"))
        texts.push_back(line.substr(6));
    return texts;
}

// Runs action from the walk's next message dispatch, the way the notifier
// closes the source when the Windows session ends in the middle of a poll.
void (*duringNextPump)(void);

void pumpOnce(void)
{
    void (*action)(void) = duringNextPump;
    duringNextPump = nullptr;
    if (action)
        action();
}

void closeDuringNextPump(void (*close)(void))
{
    static FrontEnd table;
    table = recordingFrontEnd;
    table.pumpMessages = pumpOnce;
    installFrontEnd(&table);
    duringNextPump = close;
}

// The close waited for the walk: it came last, once, and nothing followed it.
void expectClosedAfterTheWalk(const std::vector<std::string> &log, const std::string &last)
{
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), last) << "the walk went on after the close";
    EXPECT_EQ(std::count(log.begin(), log.end(), last), 1);
    EXPECT_FALSE(notifier.pollInProgress);
}

std::vector<std::string> shownFrom(void)
{
    std::vector<std::string> from;
    for (int i = 0; i < notifier.shownCount; i++)
        from.push_back(mail.shownHeaders[i].from);
    return from;
}

class ServiceTest : public MailTest
{
  protected:
    TempDir temp;
    std::string mailboxPath;
    std::string logPath;

    void SetUp() override
    {
        MailTest::SetUp();
        memset(&notifier, 0, sizeof notifier);
        notifier.clearItem = MENU_CLEAR;
        notifier.clearGrayed = true;
        Settings &s = config.settings;
        s.PollInterval = 60;
        s.UseFilters = true;
        copyText(s.Login, "pelimbo");
        copyText(s.plainPassword, "secret");
        logPath = temp / "deletions.log";
        copyText(s.DeleteFile, logPath.c_str());
        resetFakeFrontEnd();
        setServiceWindow(NULL);
    }
    void TearDown() override
    {
        closeMapi();
        closeVim();
        unloadServiceLibraries();
        memset(&mapiSource, 0, sizeof mapiSource);
        memset(&vimSource, 0, sizeof vimSource);
        mapiLibraryName = "MAPI32.DLL";
        vimLibraryName = "VIM32.DLL";
        MailTest::TearDown();
    }
    void writeMailbox(const char *variable, const std::string &text)
    {
        mailboxPath = temp / variable;
        SetEnvironmentVariableA(variable, mailboxPath.c_str());
        writeFile(mailboxPath, text);
    }
};

// --- Simple MAPI -------------------------------------------------------------------------------

class Mapi : public ServiceTest
{
  protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        config.settings.MessageSource = SOURCE_MSMAIL;
    }
    void mailbox(const std::string &text)
    {
        writeMailbox("PELIMBO_MAPI_MAILBOX", text);
    }
    std::vector<std::string> calls(void)
    {
        return standinCalls("mapi32.dll");
    }
    void open(void)
    {
        openMapi();
        resetStandin("mapi32.dll");
    }
    void poll(void)
    {
        resetFakeFrontEnd();
        resetStandin("mapi32.dll");
        pollMapi();
    }
};

std::string mapiMessage(const std::string &id, const std::string &date, const std::string &from,
                        const std::string &subject, bool read = false)
{
    return "message\t" + id + "\t" + (read ? "1" : "0") + "\t" + date + "\t" + from + "\t" + subject + "\n";
}

TEST_F(Mapi, FirstPollWalksInOrderPeekingAndNotifiesForDatedMail)
{
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "(none)", "(none)", "(none)")
            + mapiMessage("m3", "2024/03/01 10:00", "", ""));
    openMapi();
    EXPECT_EQ(calls(), (std::vector<std::string>{"logon pelimbo secret 0x1 nowindow"}));
    EXPECT_TRUE(errors().empty());

    poll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"find  0x100 nowindow", "read m1 0xC0", "free",
                                                 "find m1 0x100 nowindow", "read m2 0xC0", "free",
                                                 "find m2 0x100 nowindow", "read m3 0xC0", "free",
                                                 "find m3 0x100 nowindow"}));
    EXPECT_EQ(notifier.headerCount, 3);
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    EXPECT_EQ(shownFrom(), (std::vector<std::string>{"Ann", "<no from>", "<no from>"}));
    EXPECT_STREQ(mail.shownHeaders[1].subject, "<no subject>");
    EXPECT_STREQ(mail.shownHeaders[2].subject, "<no subject>");
    EXPECT_EQ(standinCounter("mapi32.dll", "standinOutstanding"), 0);
    EXPECT_EQ(readFile(mailboxPath).find("\t1\t"), std::string::npos) << "peeking marks nothing read";

    // Nothing later than what was seen: no notification, however often polled.
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NO_CHANGE);
    // A later arrival notifies although the count only follows it.
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m4", "2024/03/02 08:00", "Bob", "News"));
    poll();
    EXPECT_EQ(notifier.headerCount, 2);
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
}

TEST_F(Mapi, DateTextsLongerThanTheirFormAreComparedOnTheirFirstSixteenCharacters)
{
    std::string longDate = "2024/03/01 09:00:59 and then some more text past the buffer";
    mailbox(mapiMessage("m1", longDate, "Ann", "Hello"));
    openMapi();
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    EXPECT_STREQ(mapiSource.latestDate, "2024/03/01 09:00");
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NO_CHANGE) << "the same message is not new twice";
}

TEST_F(Mapi, HundredAndFiftyMessagesCountAllAndShowTheLastHundredInOrder)
{
    std::string text;
    char line[128];
    for (int i = 0; i < 150; i++) {
        snprintf(line, sizeof line, "2024/03/01 %02d:%02d", i / 60, i % 60);
        text += mapiMessage("m" + std::to_string(i), line, "Sender " + std::to_string(i), "s");
    }
    mailbox(text);
    openMapi();
    poll();
    EXPECT_EQ(notifier.headerCount, 150);
    ASSERT_EQ(notifier.shownCount, 100);
    EXPECT_STREQ(mail.shownHeaders[0].from, "Sender 50");
    EXPECT_STREQ(mail.shownHeaders[99].from, "Sender 149");
}

// Run again under the Japanese code page (tests/services/CMakeLists.txt).
TEST_F(Mapi, LongTextsAreCutBetweenCharacters)
{
    mailbox(mapiMessage("m1", "2024/03/01 09:00", doubleByteServiceText(), doubleByteServiceText()));
    openMapi();
    poll();
    ASSERT_EQ(notifier.shownCount, 1);
    expectCutBetweenCharacters(&mail.shownHeaders[0], FIELD_FROM);
    expectCutBetweenCharacters(&mail.shownHeaders[0], FIELD_SUBJECT);
}

TEST_F(Mapi, UnreadOnlyAsksTheLibraryForUnreadMessages)
{
    config.settings.UnreadOnly = true;
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "read one", true)
            + mapiMessage("m2", "2024/03/01 10:00", "Bob", "unread one"));
    openMapi();
    poll();
    EXPECT_EQ(calls().front(), "find  0x120 nowindow");
    EXPECT_EQ(shownFrom(), (std::vector<std::string>{"Bob"}));
    poll();
    EXPECT_EQ(notifier.headerCount, 1) << "peeking left the message unread";
}

TEST_F(Mapi, DeleteFilterDeletesOnlyNewMessagesAndLogsThem)
{
    setFilters({{"buy now", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.LogDeletes = true;
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "2024/03/01 10:00", "Spammer", "BUY NOW"));
    openMapi();
    poll();
    std::vector<std::string> log = calls();
    EXPECT_NE(std::find(log.begin(), log.end(), "delete m2 0x0"), log.end());
    EXPECT_EQ(notifier.headerCount, 1);
    EXPECT_EQ(readFile(mailboxPath).find("m2"), std::string::npos);
    EXPECT_NE(readFile(logPath).find("Subject: BUY NOW"), std::string::npos);

    // A condemned message that is not newer than what was seen stays.
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m3", "2024/03/01 08:00", "Spammer", "buy now"));
    poll();
    log = calls();
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(), [](const std::string &l) { return l.rfind("delete", 0) == 0; }),
        0);
    EXPECT_EQ(notifier.headerCount, 1);
}

TEST_F(Mapi, RefusedDeletionIsReportedAndNotCountedAndNotOfferedAgain)
{
    setFilters({{"buy now", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.LogDeletes = true;
    mailbox("delete fail\n" + mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "2024/03/01 10:00", "Spammer", "buy now"));
    openMapi();
    poll();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Unable to delete MAPI message"}));
    EXPECT_EQ(notifier.headerCount, 1);
    EXPECT_EQ(readFile(logPath), "");
    poll();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(notifier.headerCount, 1);
}

TEST_F(Mapi, SessionEndingDuringTheWalkLogsOffOnlyAfterIt)
{
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "2024/03/01 10:00", "Bob", "News"));
    openMapi();
    resetStandin("mapi32.dll");
    closeDuringNextPump(closeMapi);
    pollMapi();
    expectClosedAfterTheWalk(calls(), "logoff");
    EXPECT_FALSE(mapiSessionOpen());
}

TEST_F(Mapi, ExitDuringTheWalkStopsAfterTheCurrentMessageAndCommits)
{
    setFilters({{"buy now", FILTER_DELETE, MATCH_SUBJECT}});
    mailbox("delete fail\n" + mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "2024/03/01 10:00", "Spammer", "buy now")
            + mapiMessage("m3", "2024/03/01 11:00", "Cid", "Later"));
    openMapi();
    resetFakeFrontEnd();
    whileErrorBoxOpen = [] { notifier.pendingCommand = PENDING_EXIT; };
    resetStandin("mapi32.dll");
    pollMapi();
    std::vector<std::string> log = calls();
    EXPECT_EQ(log.back(), "free") << "no further find after the exit request";
    EXPECT_EQ(notifier.headerCount, 1);
    EXPECT_FALSE(notifier.pollInProgress);
}

TEST_F(Mapi, FailuresEndTheWalkAndCommitWhatWasRead)
{
    mailbox("read fail m2\n" + mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "2024/03/01 10:00", "Bob", "Hi")
            + mapiMessage("m3", "2024/03/01 11:00", "Cid", "Yo"));
    openMapi();
    poll();
    EXPECT_EQ(shownFrom(), (std::vector<std::string>{"Ann"}));
    EXPECT_TRUE(errors().empty());

    mailbox("find fail 3\n" + mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "2024/03/01 10:00", "Bob", "Hi")
            + mapiMessage("m3", "2024/03/01 11:00", "Cid", "Yo"));
    poll();
    EXPECT_EQ(shownFrom(), (std::vector<std::string>{"Ann", "Bob"}));
}

TEST_F(Mapi, RefusedLogonMakesEveryPollASilentNoOp)
{
    mailbox("logon fail\n" + mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello"));
    openMapi();
    EXPECT_EQ(errors(), (std::vector<std::string>{"MAPI Logon failed"}));
    poll();
    poll();
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(frontLog.empty());
    EXPECT_EQ(notifier.lastDecision, DECISION_NONE);
}

TEST_F(Mapi, MissingLibraryOrEntryPointIsReportedOnce)
{
    mapiLibraryName = "Z:\\nonexistent\\mapi32.dll";
    openMapi();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Unable to load MAPI32.DLL"}));
    pollMapi();
    EXPECT_EQ(errors().size(), 1u);

    resetFakeFrontEnd();
    std::string partial = programDirectory() + "partial\\mapi32.dll";
    mapiLibraryName = partial.c_str();
    openMapi();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Missing function in MAPI32.DLL"}));
    EXPECT_EQ(GetModuleHandleA(partial.c_str()), nullptr) << "unloaded again";
    pollMapi();
    EXPECT_EQ(errors().size(), 1u);
}

TEST_F(Mapi, WindowsMessagingHidesTheMainWindowOnlyWhileItPolls)
{
    HWND window = CreateWindowExA(0, "STATIC", "Pelimbo", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                  NULL, NULL, NULL, NULL);
    ASSERT_NE(window, nullptr);
    setServiceWindow(window);
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello"));
    config.settings.MessageSource = SOURCE_WINDOWS_MESSAGING;
    openMapi();
    poll();
    EXPECT_EQ(calls().front(), "find  0x100 hidden");
    EXPECT_TRUE(IsWindowVisible(window));

    config.settings.MessageSource = SOURCE_GROUPWISE;
    poll();
    EXPECT_EQ(calls().front(), "find  0x100 shown");
    setServiceWindow(NULL);
    DestroyWindow(window);
}

TEST_F(Mapi, SpoolerWindowIsKeptHiddenAndShownBeforeLogoff)
{
    mailbox("spooler\n" + mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello"));
    openMapi();
    HWND spooler = FindWindowA(NULL, "MS Mail32 Spooler (auto)");
    ASSERT_NE(spooler, nullptr);
    EXPECT_FALSE(IsWindowVisible(spooler));
    resetStandin("mapi32.dll");
    closeMapi();
    EXPECT_EQ(calls(), (std::vector<std::string>{"logoff spooler-shown"}));
    EXPECT_FALSE(mapiSessionOpen());
    closeMapi(); // logged off already: nothing more
    EXPECT_EQ(calls().size(), 1u);
}

// --- cc:Mail through VIM --------------------------------------------------------------------------

class Vim : public ServiceTest
{
  protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        config.settings.MessageSource = SOURCE_CCMAIL;
        copyText(config.settings.MailHost, "Z:\\po");
    }
    void mailbox(const std::string &text)
    {
        writeMailbox("PELIMBO_VIM_MAILBOX", text);
    }
    std::vector<std::string> calls(void)
    {
        return standinCalls("vim32.dll");
    }
    void poll(void)
    {
        resetFakeFrontEnd();
        resetStandin("vim32.dll");
        pollVim();
    }
};

// date: the three words as 24 hex digits, bytes in memory order.
std::string vimMessage(const std::string &ref, const std::string &date, const std::string &from,
                       const std::string &subject, bool read = false, const std::string &recordLength = "")
{
    return "message\t" + ref + "\t" + (read ? "1" : "0") + "\t" + date + "\t" + from + "\t" + subject
           + (recordLength.empty() ? "" : "\t" + recordLength) + "\n";
}

const char dayOne[] = "000000000000000100000000";
const char dayTwo[] = "000000000000000200000000";

TEST_F(Vim, SessionAndFirstPollConversation)
{
    mailbox(vimMessage("r1", dayOne, "Ann", "Hello") + vimMessage("r2", dayTwo, "", ""));
    openVim();
    EXPECT_EQ(calls(), (std::vector<std::string>{"initialize", "capability 72 16",
                                                 "opensession Z:\\po pelimbo secret 100 16"}));
    poll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"opencontainer (inbox)", "enumerate 0 1 4 1 58 novalue 0",
                                                 "enumerate 1 1 4 1 58 novalue 0", "closecontainer"}));
    EXPECT_EQ(notifier.headerCount, 2);
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    EXPECT_STREQ(mail.shownHeaders[0].from, "Ann");
    EXPECT_STREQ(mail.shownHeaders[0].subject, "Hello");
    EXPECT_STREQ(mail.shownHeaders[1].from, "") << "no placeholders for cc:Mail";
    EXPECT_STREQ(mail.shownHeaders[1].subject, "");
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NO_CHANGE);

    closeVim();
    EXPECT_EQ(standinCounter("vim32.dll", "standinInitialised"), 0);
}

TEST_F(Vim, EmptyInboxAndUnreadOnly)
{
    mailbox("");
    openVim();
    poll();
    EXPECT_EQ(notifier.headerCount, 0);
    EXPECT_EQ(notifier.lastDecision, DECISION_NO_MAIL);

    config.settings.UnreadOnly = true;
    mailbox(vimMessage("r1", dayOne, "Ann", "old", true) + vimMessage("r2", dayTwo, "Bob", "new"));
    poll();
    EXPECT_EQ(calls()[1], "enumerate 0 1 4 1 58 novalue 1");
    EXPECT_EQ(shownFrom(), (std::vector<std::string>{"Bob"}));
}

TEST_F(Vim, HundredAndFiftyMessagesCountAllAndShowTheLastHundredInOrder)
{
    std::string text;
    for (int i = 0; i < 150; i++)
        text += vimMessage("r" + std::to_string(i), dayOne, "Sender " + std::to_string(i), "s");
    mailbox(text);
    openVim();
    poll();
    EXPECT_EQ(notifier.headerCount, 150);
    ASSERT_EQ(notifier.shownCount, 100);
    EXPECT_STREQ(mail.shownHeaders[0].from, "Sender 50");
    EXPECT_STREQ(mail.shownHeaders[99].from, "Sender 149");
}

TEST_F(Vim, NewnessComparesTheDateWordsByteWiseAndAllOnesIsAlwaysNew)
{
    openVim();
    mailbox(vimMessage("r1",
                       "00000000"
                       "00000002"
                       "00000000",
                       "Ann", "a"));
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    // Same first word, greater second word: new.
    mailbox(vimMessage("r2",
                       "00000000"
                       "00000002"
                       "00000001",
                       "Bob", "b"));
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    // Lower first word in memory order: not new, whatever the second says.
    mailbox(vimMessage("r3",
                       "00000000"
                       "00000001"
                       "FF000000",
                       "Cid", "c"));
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NO_CHANGE);
    // A word with every bit set is new at every poll...
    mailbox(vimMessage("r4",
                       "00000000"
                       "FFFFFFFF"
                       "00000000",
                       "Dee", "d"));
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
    // ...and does not hide later arrivals for the rest of the run.
    mailbox(vimMessage("r5",
                       "00000000"
                       "00000003"
                       "00000000",
                       "Eve", "e"));
    poll();
    EXPECT_EQ(notifier.lastDecision, DECISION_NEW_MAIL);
}

TEST_F(Vim, DeleteFilterRemovesNewMessagesByReferenceAndLogs)
{
    setFilters({{"buy now", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.LogDeletes = true;
    mailbox(vimMessage("r1", dayOne, "Ann", "Hello") + vimMessage("r2", dayTwo, "Spammer", "BUY NOW"));
    openVim();
    poll();
    std::vector<std::string> log = calls();
    EXPECT_NE(std::find(log.begin(), log.end(), "remove r2"), log.end());
    EXPECT_EQ(notifier.headerCount, 1);
    EXPECT_EQ(readFile(mailboxPath).find("r2"), std::string::npos);
    EXPECT_NE(readFile(logPath).find("From:    Spammer"), std::string::npos);
}

TEST_F(Vim, RefusedRemovalShowsVimsTextsAndIsNotCounted)
{
    setFilters({{"buy now", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.LogDeletes = true;
    mailbox("remove fail 5\n" + vimMessage("r1", dayOne, "Ann", "Hello")
            + vimMessage("r2", dayTwo, "Spammer", "buy now"));
    openVim();
    poll();
    EXPECT_EQ(errors(),
              (std::vector<std::string>{"Unable to delete cc:Mail message", "status 5", "detail 5"}));
    EXPECT_EQ(notifier.headerCount, 1);
    EXPECT_EQ(readFile(logPath), "");
    // No longer new: not offered again.
    poll();
    EXPECT_TRUE(errors().empty());
}

TEST_F(Vim, FailedOpenReportsAndLeavesEveryPollANoOp)
{
    mailbox("session fail 7\n" + vimMessage("r1", dayOne, "Ann", "Hello"));
    openVim();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Unable to open cc:Mail session", "status 7", "detail 7"}));
    EXPECT_EQ(standinCounter("vim32.dll", "standinInitialised"), 0);
    poll();
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(notifier.lastDecision, DECISION_NONE);
    // Closing after a failed open owes VIM no second termination.
    closeVim();
    EXPECT_EQ(standinCounter("vim32.dll", "standinInitialised"), 0);

    resetFakeFrontEnd();
    mailbox("init fail 2\nstatustext none\n");
    openVim();
    EXPECT_EQ(errors(), (std::vector<std::string>{"VIM initialization failed"}));
    resetFakeFrontEnd();
    mailbox("capability fail 3\n");
    openVim();
    EXPECT_EQ(errors(), (std::vector<std::string>{"VIM capability query failed", "status 3", "detail 3"}));
    EXPECT_EQ(standinCounter("vim32.dll", "standinInitialised"), 0);
}

TEST_F(Vim, SessionEndingDuringTheWalkTerminatesOnlyAfterIt)
{
    mailbox(vimMessage("r1", dayOne, "Ann", "Hello") + vimMessage("r2", dayTwo, "Bob", "News"));
    openVim();
    resetStandin("vim32.dll");
    closeDuringNextPump(closeVim);
    pollVim();
    std::vector<std::string> log = calls();
    expectClosedAfterTheWalk(log, "terminate");
    auto at = [&](const char *call) { return std::find(log.begin(), log.end(), call) - log.begin(); };
    EXPECT_EQ(at("closecontainer") + 1, at("closesession")) << "the container is closed before its session";
    EXPECT_EQ(standinCounter("vim32.dll", "standinInitialised"), 0);
}

TEST_F(Vim, MailboxAndEnumerationFailures)
{
    mailbox(vimMessage("r1", dayOne, "Ann", "Hello"));
    openVim();
    poll();
    EXPECT_EQ(notifier.headerCount, 1);

    mailbox("open fail 4\n" + vimMessage("r1", dayOne, "Ann", "Hello"));
    poll();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Unable to open cc:Mail mailbox", "status 4", "detail 4"}));
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_EQ(notifier.headerCount, 1) << "the shown list stays";

    mailbox("enumerate fail 3 9\n" + vimMessage("r1", dayOne, "Ann", "a")
            + vimMessage("r2", dayOne, "Bob", "b") + vimMessage("r3", dayOne, "Cid", "c"));
    poll();
    EXPECT_EQ(shownFrom(), (std::vector<std::string>{"Ann", "Bob"}));
    EXPECT_EQ(standinCounter("vim32.dll", "standinOpenContainers"), 0);
}

TEST_F(Vim, AttributesNeverReadPastWhatTheLibraryFilled)
{
    std::string longSubject(100, 'S');
    mailbox(vimMessage("r1", dayOne, "Ann", longSubject)
            + vimMessage("r2", dayOne, "Bob", "short record", false, "100")
            + vimMessage("r3", dayOne, std::string(3000, 'F'), "huge sender"));
    openVim();
    poll();
    ASSERT_EQ(notifier.shownCount, 3);
    EXPECT_EQ(std::string(mail.shownHeaders[0].subject), std::string(55, 'S'));
    EXPECT_STREQ(mail.shownHeaders[1].from, "") << "a record ending before the text has none";
    EXPECT_EQ(std::string(mail.shownHeaders[2].from), std::string(55, 'F'));
}

TEST_F(Vim, LongTextsAreCutBetweenCharacters)
{
    mailbox(vimMessage("r1", dayOne, doubleByteServiceText(), doubleByteServiceText()));
    openVim();
    poll();
    ASSERT_EQ(notifier.shownCount, 1);
    expectCutBetweenCharacters(&mail.shownHeaders[0], FIELD_FROM);
    expectCutBetweenCharacters(&mail.shownHeaders[0], FIELD_SUBJECT);
}

TEST_F(Vim, ExitDuringTheWalkStopsAndClosesTheContainer)
{
    setFilters({{"buy now", FILTER_DELETE, MATCH_SUBJECT}});
    mailbox("remove fail 5\nstatustext none\n" + vimMessage("r1", dayOne, "Ann", "a")
            + vimMessage("r2", dayTwo, "Spammer", "buy now") + vimMessage("r3", dayTwo, "Cid", "c"));
    openVim();
    resetFakeFrontEnd();
    resetStandin("vim32.dll");
    whileErrorBoxOpen = [] { notifier.pendingCommand = PENDING_EXIT; };
    pollVim();
    std::vector<std::string> log = calls();
    EXPECT_EQ(log.back(), "closecontainer");
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string &l) { return l.rfind("enumerate", 0) == 0; }),
              2);
    EXPECT_EQ(notifier.headerCount, 1);
}

TEST_F(Vim, MissingLibraryOrEntryPointIsReportedOnce)
{
    vimLibraryName = "Z:\\nonexistent\\vim32.dll";
    openVim();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Unable to load VIM32.DLL"}));
    resetFakeFrontEnd();
    std::string partial = programDirectory() + "partial\\vim32.dll";
    vimLibraryName = partial.c_str();
    openVim();
    EXPECT_EQ(errors(), (std::vector<std::string>{"Missing function in VIM32.DLL"}));
    pollVim();
    EXPECT_EQ(errors().size(), 1u);
    EXPECT_EQ(notifier.lastDecision, DECISION_NONE);
}

// --- pelcheck32 -----------------------------------------------------------------------------------

struct CheckerRun {
    DWORD status = 99;
    std::string out;
};

// Runs a copy of the checker placed beside the stand-ins (Wine looks for a
// library it also has built in only in the program's own folder), with this
// folder first on its PATH.
CheckerRun runChecker(const std::string &ini, const TempDir &temp)
{
    CheckerRun run;
    std::string built = std::string("Z:") + PELCHECK_UNIX_PATH;
    for (char &c : built)
        if (c == '/')
            c = '\\';
    std::string program = programDirectory() + "pelcheck32.exe";
    CopyFileA(built.c_str(), program.c_str(), FALSE);
    static int runs;
    std::string outPath = temp / ("checker" + std::to_string(++runs) + ".out");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out =
        CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    char path[8192] = "";
    GetEnvironmentVariableA("PATH", path, sizeof path);
    std::string here = programDirectory();
    SetEnvironmentVariableA("PATH", (here + ";" + path).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + program + "\" \"" + ini + "\"";
    if (CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, here.c_str(),
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    SetEnvironmentVariableA("PATH", path);
    CloseHandle(out);
    for (char c : readFile(outPath))
        if (c != '\r')
            run.out += c;
    return run;
}

TEST_F(Mapi, CheckerPrintsOnePollOfEachServiceSource)
{
    std::string ini = temp / "check.ini";
    mailbox(mapiMessage("m1", "2024/03/01 09:00", "Ann", "Hello")
            + mapiMessage("m2", "(none)", "Bob", "News"));
    writeFile(ini, "[Pelimbo]\nMessageSource=6\nLogin=pelimbo\nPollInterval=60\n");
    CheckerRun run = runChecker(ini, temp);
    EXPECT_EQ(run.status, 0u) << run.out;
    EXPECT_EQ(run.out, "count: 2\nresult: new mail\nAnn\tHello\nBob\tNews\n");

    mailbox("logon fail\n");
    run = runChecker(ini, temp);
    EXPECT_EQ(run.status, 2u);
    EXPECT_NE(run.out.find("pelcheck: MAPI Logon failed"), std::string::npos) << run.out;

    writeMailbox("PELIMBO_VIM_MAILBOX", vimMessage("r1", dayOne, "Cid", "cc"));
    writeFile(ini, "[Pelimbo]\nMessageSource=2\nLogin=pelimbo\nMailHost=Z:\\po\nPollInterval=60\n");
    run = runChecker(ini, temp);
    EXPECT_EQ(run.status, 0u) << run.out;
    EXPECT_EQ(run.out, "count: 1\nresult: new mail\nCid\tcc\n");
}

// --- Wine's own mapi32 ---------------------------------------------------------------------------

TEST(WineOwnMapi, WhatAUserWithoutAMapiStoreSees)
{
    char flag[8] = "";
    if (!GetEnvironmentVariableA("PELIMBO_WINE_OWN_MAPI", flag, sizeof flag))
        GTEST_SKIP() << "run by the service_tests.wine_mapi32 entry";
    ASSERT_TRUE(allocateMailBuffers());
    memset(&notifier, 0, sizeof notifier);
    memset(&config.settings, 0, sizeof config.settings);
    config.settings.MessageSource = SOURCE_WINDOWS_MESSAGING;
    copyText(config.settings.Login, "Default Profile");
    resetFakeFrontEnd();
    openMapi();
    HMODULE loaded = GetModuleHandleA("mapi32.dll");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(GetProcAddress(loaded, "standinLog"), nullptr) << "Wine's library, not the stand-in";
    EXPECT_TRUE(mapiSessionOpen());
    pollMapi();
    // Wine accepts the logon but has no store behind it: the walk finds no
    // message, so the user sees "Polling..." come and go, no message box, and
    // the no-mail picture.
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(notifier.lastDecision, DECISION_NO_MAIL);
    EXPECT_EQ(notifier.headerCount, 0);
    closeMapi();
    unloadServiceLibraries();
    freeMailBuffers();
}

} // namespace
