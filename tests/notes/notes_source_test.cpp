// The Lotus Notes source through the real binding, against our stand-in of
// the Notes programming interface (tests/standins/nnotes), which plays a
// mail database described by a data file each test writes.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "mail/mail.h"
#include "core/core.h"
#include "sources/notes.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/mail/mail_fixture.h"
#include "tests/standins/common/standin_exports.h"

namespace
{

HMODULE standin;

std::string standinLog()
{
    return standinExport<const char *(*)(void)>(standin, "standinLog")();
}
int openHandles()
{
    return standinExport<int (*)(void)>(standin, "standinOpenHandles")();
}
int sessions()
{
    return standinExport<int (*)(void)>(standin, "standinSessions")();
}
bool noteExists(const char *file, unsigned id)
{
    return standinExport<int (*)(const char *, const char *, uint32_t)>(standin,
                                                                        "standinNoteExists")("", file, id)
           != 0;
}

// The lines of the call log that begin with prefix.
std::vector<std::string> calls(const std::string &prefix)
{
    std::vector<std::string> out;
    std::string log = standinLog();
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        std::string line = log.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
        start = end + 1;
    }
    return out;
}

std::string tempFolder()
{
    char path[MAX_PATH];
    GetTempPathA(sizeof path, path);
    return path;
}

const char *const USER_DB = "mail\\ann.nsf";

// A mail database of Ann's with an inbox of the given notes (id, from,
// subject, time), plus whatever else the test adds.
std::string inbox(const std::vector<std::vector<std::string>> &notes, const std::string &more = "")
{
    std::string data = "idfile\tann.id\tAnn Lee/Acme\n"
                       "db\t\tmail\\ann.nsf\tAnn's mail\n";
    std::string ids;
    for (const auto &n : notes) {
        data += "note\t\tmail\\ann.nsf\t" + n[0] + "\t" + n[1] + "\t" + n[2] + "\t" + n[3] + "\n";
        ids += (ids.empty() ? "" : ",") + n[0];
    }
    return data + "view\t\tmail\\ann.nsf\t$Inbox\t" + ids + "\n" + more;
}

class NotesSourceTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        // Held for the whole program, so the stand-in keeps its record while
        // the source loads and unloads the library by name.
        standin = LoadLibraryA("NNOTES.DLL");
    }

    void SetUp() override
    {
        ASSERT_TRUE(standin) << "the stand-in NNOTES.DLL is not beside the test";
        ASSERT_TRUE(allocateMailBuffers());
        memset(&notifier, 0, sizeof notifier);
        memset(&config.settings, 0, sizeof config.settings);
        Settings &s = config.settings;
        s.MessageSource = SOURCE_NOTES;
        s.NotesPollErrors = true;
        copyText(s.LoginRaw, "ann.id");
        copyText(s.Login, "ann.id");
        copyText(s.NotesServer, "Local");
        copyText(s.NotesMailDatabase, USER_DB);
        copyText(s.notesFolderView, "$Inbox");
        copyText(s.Notes3xView, "Received by Category");
        copyText(config.modulePath, "C:\\pelimbo\\pelimbo32.exe");
        config.filterList = FilterList();
        notesSource.haveLatest = false;
        resetFakeFrontEnd();
        dataFile = tempFolder() + "notes-standin.txt";
        SetEnvironmentVariableA("PELIMBO_NOTES_DATA", dataFile.c_str());
    }

    void TearDown() override
    {
        closeNotes();
        freeFilterList(&config.filterList);
        freeMailBuffers();
        DeleteFileA(dataFile.c_str());
    }

    // Writes the Notes world, resets the stand-in to it and opens the source.
    void world(const std::string &data)
    {
        FILE *f = fopen(dataFile.c_str(), "wb");
        ASSERT_TRUE(f);
        fputs(data.c_str(), f);
        fclose(f);
        standinExport<void (*)(void)>(standin, "standinReset")();
        openNotes();
    }

    void filter(const char *keys)
    {
        config.settings.UseFilters = true;
        std::string block = keys;
        block.push_back('\0');
        buildFilterList(&config.filterList, block.data(), block.size() + 1);
    }

    std::vector<std::string> errors()
    {
        return frontCalls("error:");
    }

    std::vector<std::string> shownSubjects()
    {
        std::vector<std::string> out;
        for (int i = 0; i < notifier.shownCount; i++)
            out.push_back(mail.shownHeaders[i].subject);
        return out;
    }

    std::string dataFile;
};

TEST_F(NotesSourceTest, OpensTheSessionOnTheProgramAndLearnsTheCanonicalName)
{
    config.settings.UseNotesSettings = true;
    world(inbox({}));
    EXPECT_TRUE(notesSource.loaded);
    EXPECT_STREQ("Ann Lee/Acme", notesSource.userName);
    EXPECT_STREQ("CN=Ann Lee/O=Acme", notesSource.canonicalName);
    EXPECT_EQ(calls("NotesInitExtended"),
              std::vector<std::string>{"NotesInitExtended:1:C:\\pelimbo\\pelimbo32.exe:end"});
    EXPECT_EQ(1, sessions());
    closeNotes();
    EXPECT_EQ(0, sessions());
    EXPECT_TRUE(errors().empty());
}

TEST_F(NotesSourceTest, OwnSettingsSetTheKeyFileBeforeTheSessionStarts)
{
    config.settings.UseNotesSettings = false;
    world(inbox({}));
    std::string log = standinLog();
    size_t set = log.find("OSSetEnvironmentVariable:KeyFilename:ann.id");
    ASSERT_NE(std::string::npos, set);
    EXPECT_LT(log.find("NotesInitExtended"), set);
    EXPECT_LT(set, log.find("NotesTerm"));
    EXPECT_LT(log.find("NotesTerm"), log.find("NotesInitExtended", set));
    EXPECT_EQ(1, sessions());
}

TEST_F(NotesSourceTest, ClientSettingsReplaceTheStoredOnes)
{
    config.settings.UseNotesSettings = true;
    world(inbox({}, "env\tKeyFilename\tann.id\nenv\tMailServer\tHub/Acme\nenv\tMailFile\tmail\\ann.nsf\n"));
    EXPECT_STREQ("Hub/Acme", config.settings.NotesServer);
    EXPECT_STREQ("ann.id", config.settings.LoginRaw);
    EXPECT_TRUE(calls("OSSetEnvironmentVariable").empty());
    pollNotes();
    EXPECT_EQ(calls("NSFDbOpen"), std::vector<std::string>{"NSFDbOpen:Hub/Acme!!mail\\ann.nsf"});
}

// Libraries return true when a variable is found, or 0 for success, or true
// with an empty text: whichever they do, a text that comes back is taken and
// a variable without one keeps the stored setting.
TEST_F(NotesSourceTest, ClientSettingsAreTakenWhateverTheCallReturns)
{
    for (const char *style : {"found", "status", "empty"}) {
        SCOPED_TRACE(style);
        config.settings.UseNotesSettings = true;
        copyText(config.settings.LoginRaw, "stored.id");
        copyText(config.settings.NotesServer, "Local");
        copyText(config.settings.NotesMailDatabase, USER_DB);
        resetFakeFrontEnd();
        world(inbox({}, std::string("envstyle\t") + style
                            + "\nenv\tKeyFilename\tann.id\nenv\tMailServer\tHub/Acme\n"));
        EXPECT_TRUE(notesSource.loaded);
        EXPECT_STREQ("ann.id", config.settings.LoginRaw);
        EXPECT_STREQ("ann.id", config.settings.Login);
        EXPECT_STREQ("Hub/Acme", config.settings.NotesServer);
        EXPECT_STREQ(USER_DB, config.settings.NotesMailDatabase);
        EXPECT_TRUE(errors().empty());
        closeNotes();
    }
}

TEST_F(NotesSourceTest, UnknownIdFileClosesTheSessionWithBothMessages)
{
    copyText(config.settings.LoginRaw, "nobody.id");
    world(inbox({}));
    EXPECT_FALSE(notesSource.loaded);
    EXPECT_EQ(0, sessions());
    EXPECT_EQ(errors(),
              (std::vector<std::string>{"error:Unable to get Notes user name", "error:Notes error 6145"}));
    pollNotes();
    EXPECT_FALSE(notifier.pollInProgress);
    EXPECT_TRUE(calls("NSFDbOpen").empty()) << "polls do nothing until setup or restart";
}

TEST_F(NotesSourceTest, LocalInAnyCaseIsTheLocalMachineAndOldMailIsNotNewAgain)
{
    world(inbox({{"1", "Bob", "Hello", "100"}, {"2", "Cy", "Lunch", "200"}}));
    copyText(config.settings.NotesServer, "lOCAL");
    pollNotes();
    EXPECT_EQ(calls("OSPathNetConstruct"),
              std::vector<std::string>{"OSPathNetConstruct:<none>::mail\\ann.nsf"});
    EXPECT_EQ(calls("NSFDbOpen"), std::vector<std::string>{"NSFDbOpen:mail\\ann.nsf"});
    EXPECT_EQ(calls("NIFFindDesignNote"), std::vector<std::string>{"NIFFindDesignNote:$Inbox:8"});
    EXPECT_EQ(calls("NIFReadEntries"), std::vector<std::string>{"NIFReadEntries:1/1:1/2147483647:1:0"});
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    EXPECT_EQ(shownSubjects(), (std::vector<std::string>{"Hello", "Lunch"}));
    EXPECT_EQ(0, openHandles());
    EXPECT_TRUE(errors().empty());

    pollNotes();
    EXPECT_EQ(DECISION_NO_CHANGE, notifier.lastDecision);
}

TEST_F(NotesSourceTest, OnlyTheLastHundredEntriesOfTheViewAreExamined)
{
    std::string data = "idfile\tann.id\tAnn\nview\t\tmail\\ann.nsf\t$Inbox\t1-250\n";
    for (int id = 1; id <= 250; id++)
        data += "note\t\tmail\\ann.nsf\t" + std::to_string(id) + "\tBob\tNo " + std::to_string(id) + "\t"
                + std::to_string(id) + "\n";
    world(data);
    pollNotes();
    std::vector<std::string> opened = calls("NSFNoteOpen");
    ASSERT_EQ(100u, opened.size());
    EXPECT_EQ("NSFNoteOpen:151", opened.front());
    EXPECT_EQ("NSFNoteOpen:250", opened.back());
    EXPECT_EQ(100, notifier.headerCount);
    int lowest = 1000, highest = -1;
    for (int i = 0; i < notifier.shownCount; i++) {
        lowest = std::min(lowest, (int)mail.shownHeaders[i].index);
        highest = std::max(highest, (int)mail.shownHeaders[i].index);
    }
    EXPECT_EQ(150, lowest);
    EXPECT_EQ(249, highest);
    EXPECT_EQ(0, openHandles());
}

TEST_F(NotesSourceTest, NotesThreeMailboxReadsTheNamedViewInsteadOfTheFolder)
{
    world(inbox({{"1", "Bob", "Hello", "100"}}, "view\t\tmail\\ann.nsf\tReceived by Category\t1\n"));
    config.settings.Notes3xMailbox = true;
    pollNotes();
    EXPECT_EQ(calls("NIFFindDesignNote"),
              std::vector<std::string>{"NIFFindDesignNote:Received by Category:8"});
    EXPECT_EQ(1, notifier.headerCount);
}

TEST_F(NotesSourceTest, SenderAndSubjectAreCutAndMissingOnesGetPlaceholders)
{
    std::string longFrom(300, 'f');
    world(inbox({{"1", longFrom, "", "100"}, {"2", "", "Short", "200"}}));
    pollNotes();
    ASSERT_EQ(2, notifier.shownCount);
    EXPECT_EQ(std::string(55, 'f'), mail.shownHeaders[0].from);
    EXPECT_STREQ("<no subject>", mail.shownHeaders[0].subject);
    EXPECT_STREQ("<no from>", mail.shownHeaders[1].from);
}

// Run again under the Japanese code page (tests/notes/CMakeLists.txt).
TEST_F(NotesSourceTest, LongTextsAreCutBetweenCharacters)
{
    world(inbox({{"1", doubleByteServiceText(), doubleByteServiceText(), "100"}}));
    pollNotes();
    ASSERT_EQ(1, notifier.shownCount);
    expectCutBetweenCharacters(&mail.shownHeaders[0], FIELD_FROM);
    expectCutBetweenCharacters(&mail.shownHeaders[0], FIELD_SUBJECT);
}

TEST_F(NotesSourceTest, UnreadOnlyWithEverythingReadOpensNoRecord)
{
    world(inbox({{"1", "Bob", "Hello", "100"}, {"2", "Cy", "Lunch", "200"}},
                "unread\t\tmail\\ann.nsf\tCN=Ann Lee/O=Acme\t\n"));
    config.settings.UnreadOnly = true;
    notifier.haveMail = true;
    notifier.headerCount = 2;
    pollNotes();
    EXPECT_EQ(calls("NSFDbGetUnreadNoteTable"),
              std::vector<std::string>{"NSFDbGetUnreadNoteTable:CN=Ann Lee/O=Acme:1"});
    EXPECT_EQ(2u, calls("NSFNoteOpen").size());
    EXPECT_EQ(0, notifier.headerCount);
    EXPECT_EQ(DECISION_NO_MAIL, notifier.lastDecision);
    EXPECT_EQ(0, openHandles());
}

TEST_F(NotesSourceTest, DeleteFilterDeletesOnlyNewNotesAndLogsThem)
{
    std::string log = tempFolder() + "notes-deletions.log";
    DeleteFileA(log.c_str());
    copyText(config.settings.DeleteFile, log.c_str());
    config.settings.LogDeletes = true;
    // The view lists the newer note first: once it has been seen, the older
    // one is not new and is only ignored.
    world(inbox({{"7", "Spammer", "Buy now", "300"},
                 {"8", "Spammer", "Buy later", "200"},
                 {"9", "Bob", "Hello", "250"}}));
    filter("Spammer#1#0");
    pollNotes();
    EXPECT_EQ(calls("NSFNoteDelete"), std::vector<std::string>{"NSFNoteDelete:7"});
    EXPECT_FALSE(noteExists(USER_DB, 7));
    EXPECT_TRUE(noteExists(USER_DB, 8));
    EXPECT_EQ(shownSubjects(), std::vector<std::string>{"Hello"});

    FILE *f = fopen(log.c_str(), "rb");
    ASSERT_TRUE(f);
    char text[2048] = "";
    fread(text, 1, sizeof text - 1, f);
    fclose(f);
    DeleteFileA(log.c_str());
    EXPECT_NE(nullptr, strstr(text, "Buy now"));
    EXPECT_EQ(nullptr, strstr(text, "Buy later"));
    EXPECT_EQ(0, openHandles());
}

TEST_F(NotesSourceTest, PollErrorsAreShownWithTheNotesTextOnlyWhenAskedFor)
{
    world(inbox({{"1", "Bob", "Hello", "100"}}, "fail\tNSFDbOpen\t0xC103\n"));
    pollNotes();
    EXPECT_EQ(errors(),
              (std::vector<std::string>{"error:Error opening mail database", "error:Notes error 259"}));
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_FALSE(notifier.pollInProgress);

    resetFakeFrontEnd();
    config.settings.NotesPollErrors = false;
    pollNotes();
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_EQ(0, notifier.headerCount);
}

// The end of the Windows session may close the source while a poll
// dispatches messages between notes: the session ends after the poll.
TEST_F(NotesSourceTest, SessionIsNotEndedBeneathARunningPoll)
{
    world(inbox({{"1", "Bob", "Hello", "100"}, {"2", "Cy", "Lunch", "200"}}));
    static bool closed;
    closed = false;
    FrontEnd table = recordingFrontEnd;
    table.pumpMessages = [] {
        if (!closed) {
            closed = true;
            closeNotes();
        }
    };
    installFrontEnd(&table);
    pollNotes();
    resetFakeFrontEnd();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(notesSource.loaded);
    EXPECT_EQ(0, sessions());
    EXPECT_EQ(0, openHandles());
    std::string log = standinLog();
    EXPECT_LT(log.rfind("NSFDbClose"), log.rfind("NotesTerm")) << log;
    EXPECT_FALSE(notifier.pollInProgress);
}

// Whatever step fails, the poll closes what it opened, in reverse order.
TEST_F(NotesSourceTest, EveryFailureClosesWhatWasOpened)
{
    struct Case {
        const char *call;
        const char *message;
        bool pollFails;
    };
    const Case cases[] = {
        {"OSPathNetConstruct", "Error constructing Notes mail file path", true},
        {"NIFFindDesignNote", "Error finding Notes folder", true},
        {"NIFOpenCollection", "Error opening Notes folder", true},
        {"NSFDbGetUnreadNoteTable", "Unable to get Notes unread note table", true},
        {"NIFReadEntries", "Unable to read Notes mail messages", true},
        {"NSFNoteOpen", "Unable to open Notes message", false},
        {"NSFNoteDelete", "Unable to delete Notes message", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        resetFakeFrontEnd();
        notesSource.haveLatest = false;
        config.settings.UnreadOnly = true;
        world(inbox({{"1", "Spammer", "Buy", "100"}, {"2", "Bob", "Hello", "200"}},
                    std::string("fail\t") + c.call + "\t0x0123\t1\n"));
        filter("Spammer#1#0");
        pollNotes();
        freeFilterList(&config.filterList);
        EXPECT_EQ(0, openHandles()) << standinLog();
        EXPECT_FALSE(notifier.pollInProgress);
        EXPECT_EQ(c.pollFails, notifier.pollFailed);
        ASSERT_EQ(2u, errors().size());
        EXPECT_EQ(std::string("error:") + c.message, errors()[0]);
        EXPECT_TRUE(calls("OSMemFree:still locked").empty());
        closeNotes();
    }
}

} // namespace
