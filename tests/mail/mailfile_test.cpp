// The mail-file source on real files in a temporary directory: layouts,
// read/unread rules, message files, filters, file times and snapshots, errors,
// and a mailbox that another process appends to while it is read.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "mail/mail.h"
#include "mail/mailscan.h"
#include "core/core.h"
#include "tests/mail/mail_fixture.h"
#include "tests/mail/fake_core.h"

namespace
{

const char APPEND_WRITER_VARIABLE[] = "PELIMBO_APPEND_WRITER";
const int APPENDED_MESSAGES = 400;

std::string appendedMessage(int i)
{
    return "From writer@example.org Mon Jan  1 00:00:00 2001\nFrom: writer@example.org\nSubject: appended "
           + std::to_string(i) + "\n\nbody line of message " + std::to_string(i) + "\n\n";
}

// When started as the appending writer (see the append test), this process
// only appends to the mailbox named in the variable and exits: 0 when every
// write was complete.
int runAppendWriterIfAsked()
{
    char path[MAX_PATH];
    if (GetEnvironmentVariableA(APPEND_WRITER_VARIABLE, path, sizeof path) == 0)
        return 0;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        ExitProcess(2);
    for (int i = 0; i < APPENDED_MESSAGES; i++) {
        std::string text = appendedMessage(i);
        DWORD written = 0;
        if (!WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL) || written != text.size())
            ExitProcess(3);
        if (i % 20 == 0)
            Sleep(1);
    }
    CloseHandle(file);
    ExitProcess(0);
}

const int appendWriter = runAppendWriterIfAsked();

class MailFileTest : public MailTest
{
  protected:
    void SetUp() override
    {
        MailTest::SetUp();
        resetFakePoll();
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static int counter;
        directory = std::string(base) + "pelimbo-mailfile-" + std::to_string(GetCurrentProcessId()) + "-"
                    + std::to_string(++counter);
        ASSERT_TRUE(CreateDirectoryA(directory.c_str(), NULL));
        directory += "\\";
        config.settings.MessageSource = SOURCE_DISK_FILE;
        mail.latestFileDate = 0;
        mail.latestFileTime = 0;
        forgetFileSnapshot();
    }

    void TearDown() override
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((directory + found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(directory.c_str());
        config.mailPath = NULL;
        MailTest::TearDown();
    }

    std::string write(const std::string &name, const std::string &content)
    {
        std::string path = directory + name;
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
        CloseHandle(file);
        return path;
    }

    void append(const std::string &name, const std::string &content)
    {
        HANDLE file = CreateFileA((directory + name).c_str(), FILE_APPEND_DATA, 0, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
        CloseHandle(file);
    }

    // Sets the last-write time: minutes after a fixed day.
    void setTime(const std::string &name, int minutes)
    {
        SYSTEMTIME when = {};
        when.wYear = 2024;
        when.wMonth = 5;
        when.wDay = 1;
        when.wHour = (WORD)(8 + minutes / 60);
        when.wMinute = (WORD)(minutes % 60);
        FILETIME local, utc;
        SystemTimeToFileTime(&when, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE file = CreateFileA((directory + name).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFileTime(file, NULL, NULL, &utc);
        CloseHandle(file);
    }

    bool exists(const std::string &name)
    {
        return GetFileAttributesA((directory + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void poll(const std::string &pattern)
    {
        pathText = directory + pattern;
        config.mailPath = pathText.c_str();
        notifier.pollInProgress = false;
        pollMailFile();
        EXPECT_FALSE(notifier.pollInProgress);
    }

    std::vector<std::string> subjects()
    {
        std::vector<std::string> out;
        for (const PublishedHeader &h : fakePoll.headers)
            out.push_back(h.subject);
        return out;
    }

    std::string directory;
    std::string pathText;
};

std::string unixMessage(const std::string &from, const std::string &subject, const std::string &extra = "",
                        const std::string &body = "body\n")
{
    return "From " + from + " Mon Jan  1 00:00:00 2001\nFrom: " + from + "\nSubject: " + subject + "\n"
           + extra + "\n" + body + "\n";
}

const std::string MMDF_SEPARATOR = "\x01\x01\x01\x01\n";

std::string cnmMessage(const std::string &subject, int pmFlags)
{
    return "From: sender@example.org\nSubject: " + subject + "\nX-PMFLAGS: " + std::to_string(pmFlags)
           + "\n\nbody\n";
}

} // namespace

// --- Unix mailboxes ------------------------------------------------------------------

TEST_F(MailFileTest, UnixMailboxReadOnlyToFirstMessageWithoutUnreadOnly)
{
    write("mbox", unixMessage("a@x", "one") + unixMessage("b@x", "two") + unixMessage("c@x", "three"));
    config.settings.UnreadOnly = false;
    poll("mbox");
    ASSERT_EQ(fakePoll.published, 1);
    EXPECT_EQ(fakePoll.lastIndex, 0);
    EXPECT_EQ(subjects(), std::vector<std::string>({"one"}));
    EXPECT_EQ(fakePoll.headers[0].from, "a@x");
}

TEST_F(MailFileTest, StatusLinesDecideWhichMessagesAreUnread)
{
    write("mbox", unixMessage("a@x", "one") + unixMessage("b@x", "two", "Status: RO\n")
                      + unixMessage("c@x", "three", "Status: O\n")
                      + unixMessage("d@x", "four", "Status: r\n"));
    config.settings.UnreadOnly = true;
    poll("mbox");
    ASSERT_EQ(fakePoll.lastIndex, 2);
    EXPECT_EQ(subjects(), std::vector<std::string>({"one", "three", "four"}));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(fakePoll.headers[i].index, i);
    EXPECT_TRUE(fakePoll.force); // the file is newer than anything seen before
}

TEST_F(MailFileTest, BodyLineBeginningWithFromOpensAMessage)
{
    write("mbox", unixMessage("a@x", "one", "", "text\nFrom here on it is body\nmore\n"));
    config.settings.UnreadOnly = true;
    poll("mbox");
    ASSERT_EQ(fakePoll.lastIndex, 1);
    EXPECT_EQ(fakePoll.headers[1].from, "<no from>");
    EXPECT_EQ(fakePoll.headers[1].subject, "<no subject>");
}

TEST_F(MailFileTest, FoldedSubjectIsJoinedWithOneSpace)
{
    write("mbox",
          "From a@x Mon Jan  1 00:00:00 2001\nFrom: a@x\nSubject: first part\n\tsecond part\n\nbody\n");
    config.settings.UnreadOnly = true;
    poll("mbox");
    ASSERT_EQ(fakePoll.lastIndex, 0);
    EXPECT_EQ(fakePoll.headers[0].subject, "first part second part");
}

TEST_F(MailFileTest, CrLfLineEndsAndCtrlZReadLikePlainLines)
{
    // A stray Ctrl-Z must not hide the mail after it.
    write("mbox", "From a@x Mon\r\nFrom: a@x\r\nSubject: one\r\n\r\nbody \x1a here\r\n"
                  "From b@x Mon\r\nFrom: b@x\r\nSubject: two\r\n\r\n");
    config.settings.UnreadOnly = true;
    poll("mbox");
    EXPECT_EQ(subjects(), std::vector<std::string>({"one", "two"}));
}

TEST_F(MailFileTest, DeleteFilterDropsAMailboxMessageButNeverDeletesTheMailbox)
{
    setFilters({{"spam", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.UseFilters = true;
    config.settings.ConfirmDeletes = false;
    config.settings.UnreadOnly = true;
    write("mbox", unixMessage("a@x", "cheap spam") + unixMessage("b@x", "real"));
    poll("mbox");
    EXPECT_EQ(subjects(), std::vector<std::string>({"real"}));
    EXPECT_TRUE(exists("mbox"));
}

// --- MMDF, SMF and single messages ---------------------------------------------------

TEST_F(MailFileTest, MmdfClosingSeparatorIsNotAMessage)
{
    write("mmdf", MMDF_SEPARATOR + "From: a@x\nSubject: one\n\nbody\n" + MMDF_SEPARATOR + MMDF_SEPARATOR
                      + "From: b@x\nSubject: two\n\nbody\n" + MMDF_SEPARATOR);
    config.settings.UnreadOnly = true;
    poll("mmdf");
    EXPECT_EQ(subjects(), std::vector<std::string>({"one", "two"}));
}

TEST_F(MailFileTest, FromHeaderFirstLineIsASingleMessage)
{
    write("msg", "From: a@x\nSubject: one\n\nFrom the body\n");
    config.settings.UnreadOnly = true;
    poll("msg");
    EXPECT_EQ(subjects(), std::vector<std::string>({"one"}));
}

TEST_F(MailFileTest, SmfFileStopsAtItsStatusLine)
{
    write("a.smf", "SMF header\nFrom: a@x\nSubject: one\nStatus: R\n");
    write("b.smf", "\x03 binary marker\nFrom: b@x\nSubject: two\nStatus: U\n");
    config.settings.UnreadOnly = true;
    poll("*.smf");
    EXPECT_EQ(subjects(), std::vector<std::string>({"two"}));
}

TEST_F(MailFileTest, UnknownLayoutIsReportedAndOtherFilesStillRead)
{
    write("a.txt", "hello\nworld\n");
    write("b.txt", unixMessage("b@x", "two"));
    write("c.txt", "tiny"); // below 5 bytes: skipped without a word
    config.settings.UnreadOnly = true;
    poll("*.txt");
    EXPECT_EQ(fakePoll.errors, std::vector<std::string>({"Unknown mail format in file a.txt"}));
    EXPECT_EQ(subjects(), std::vector<std::string>({"two"}));
}

// --- New-mail directories --------------------------------------------------------------

TEST_F(MailFileTest, SeenMessageFilesAreLeftOutWithUnreadOnly)
{
    write("A.CNM", cnmMessage("a", 0));
    write("!B.CNM", cnmMessage("b", 0));
    config.settings.UnreadOnly = false;
    pathText = directory + "*.CNM";
    config.mailPath = pathText.c_str();
    uint64_t both = mailFileSizeTotal();
    poll("*.CNM");
    EXPECT_EQ(fakePoll.lastIndex, 1);

    config.settings.UnreadOnly = true;
    config.mailPath = pathText.c_str();
    EXPECT_EQ(mailFileSizeTotal(), both / 2);
    poll("*.CNM");
    EXPECT_EQ(subjects(), std::vector<std::string>({"a"}));
}

TEST_F(MailFileTest, PmFlagsReadBitDropsAMessageFile)
{
    write("1.CNM", cnmMessage("read", 130));
    write("2.CNM", cnmMessage("unread", 127));
    config.settings.UnreadOnly = true;
    poll("*.CNM");
    EXPECT_EQ(subjects(), std::vector<std::string>({"unread"}));
}

TEST_F(MailFileTest, DeleteFilterDeletesANewMessageFileAndLogsIt)
{
    setFilters({{"spam", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.UseFilters = true;
    config.settings.ConfirmDeletes = false;
    config.settings.LogDeletes = true;
    std::string log = directory + "deleted.log";
    copyText(config.settings.DeleteFile, log.c_str());
    write("1.CNM", cnmMessage("spam offer", 0));
    write("2.CNM", cnmMessage("hello", 0));
    poll("*.CNM");
    EXPECT_FALSE(exists("1.CNM"));
    EXPECT_TRUE(exists("2.CNM"));
    EXPECT_EQ(subjects(), std::vector<std::string>({"hello"}));
    // One entry, for the deleted message only, in CR LF lines.
    HANDLE file = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string content(4096, '\0');
    DWORD got = 0;
    ReadFile(file, &content[0], (DWORD)content.size(), &got, NULL);
    CloseHandle(file);
    content.resize(got);
    ASSERT_EQ(content.rfind("Date: ", 0), 0u) << content;
    size_t firstLineEnd = content.find("\r\n");
    ASSERT_NE(firstLineEnd, std::string::npos);
    EXPECT_EQ(content.substr(firstLineEnd + 2), "Filter \"spam\" for subject line matched message\r\n"
                                                "From:    sender@example.org\r\n"
                                                "Subject: spam offer\r\n"
                                                "\r\n");
}

TEST_F(MailFileTest, OnlyTheFirstReturnedOfTwoNewFilesCountsAsNewer)
{
    write("x.CNM", cnmMessage("spam x", 0));
    write("y.CNM", cnmMessage("spam y", 0));
    // Give the file the directory search returns first the later time.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "*.CNM").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::string first = found.cFileName;
    FindClose(search);
    std::string second = first == "x.CNM" ? "y.CNM" : "x.CNM";
    setTime(first, 30);
    setTime(second, 10);

    setFilters({{"spam", FILTER_DELETE, MATCH_SUBJECT}});
    config.settings.UseFilters = true;
    config.settings.ConfirmDeletes = false;
    poll("*.CNM");
    EXPECT_FALSE(exists(first));
    EXPECT_TRUE(exists(second));
    EXPECT_EQ(mail.latestFileTime, (8 << 11) | (30 << 5));
    EXPECT_EQ(fakePoll.lastIndex, -1); // both dropped by the filter
}

// --- File times, snapshots and sounds ----------------------------------------------------

TEST_F(MailFileTest, OnlyTheMessageAppendedSinceTheLastReadGetsASound)
{
    setSounds({});
    config.settings.SoundOption = SOUND_WAVBASE;
    config.settings.UnreadOnly = true;
    write("mbox", unixMessage("a@x", "one") + unixMessage("b@x", "two"));
    setTime("mbox", 10);
    poll("mbox");
    ASSERT_EQ(fakePoll.lastIndex, 1);
    EXPECT_EQ(fakePoll.headers[0].soundEntry, nullptr); // first read: all new
    EXPECT_TRUE(fakePoll.force);

    append("mbox", unixMessage("c@x", "three"));
    setTime("mbox", 20);
    poll("mbox");
    EXPECT_TRUE(mail.fileMemory->last.resumed); // read from where the last reading ended
    ASSERT_EQ(fakePoll.lastIndex, 2);
    EXPECT_EQ(fakePoll.headers[0].soundEntry, NO_SOUND);
    EXPECT_EQ(fakePoll.headers[1].soundEntry, NO_SOUND);
    EXPECT_EQ(fakePoll.headers[2].soundEntry, nullptr);
    EXPECT_TRUE(fakePoll.force);

    // Unchanged file: nothing newer, no force.
    poll("mbox");
    EXPECT_FALSE(fakePoll.force);
    EXPECT_EQ(fakePoll.headers[2].soundEntry, NO_SOUND);
}

TEST_F(MailFileTest, AMailboxReplacedByAnotherFileIsReadWhole)
{
    config.settings.UnreadOnly = true;
    std::string box = unixMessage("a@x", "one") + unixMessage("b@x", "two");
    write("mbox", box);
    setTime("mbox", 10);
    poll("mbox");
    // A reader's rewrite: a new file with the old text and more, renamed over the old one.
    write("mbox.new", box + unixMessage("c@x", "three"));
    setTime("mbox.new", 20);
    ASSERT_TRUE(MoveFileExA((directory + "mbox.new").c_str(), (directory + "mbox").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    poll("mbox");
    EXPECT_FALSE(mail.fileMemory->last.resumed);
    EXPECT_EQ(subjects(), std::vector<std::string>({"one", "two", "three"}));
}

TEST_F(MailFileTest, UnchangedMessageFilesAreNotReadAgain)
{
    config.settings.UnreadOnly = true;
    for (const char *name : {"1.CNM", "2.CNM", "3.CNM"}) {
        write(name, cnmMessage(name, 0));
        setTime(name, 10);
    }
    poll("*.CNM");
    write("4.CNM", cnmMessage("4.CNM", 0));
    setTime("4.CNM", 20);
    poll("*.CNM");
    EXPECT_EQ(mail.fileMemory->last.filesOpened, 1);
    EXPECT_EQ(mail.fileMemory->last.filesKept, 3);
    EXPECT_EQ(subjects(), std::vector<std::string>({"1.CNM", "2.CNM", "3.CNM", "4.CNM"}));
}

TEST_F(MailFileTest, SortKeyCarriesTheLocalDosTimeOfTheFile)
{
    write("mbox", unixMessage("a@x", "one"));
    setTime("mbox", 75); // 2024-05-01 09:15 local
    config.settings.UnreadOnly = true;
    poll("mbox");
    ASSERT_EQ(fakePoll.headers.size(), 1u);
    uint32_t date = ((2024 - 1980) << 9) | (5 << 5) | 1;
    uint32_t time = (9 << 11) | (15 << 5);
    EXPECT_EQ(fakePoll.headers[0].sortKey, (date << 16) | time);
    EXPECT_EQ(mail.latestFileDate, date);
    EXPECT_EQ(mail.latestFileTime, time);
}

// --- Failures and the poll contract ----------------------------------------------------

TEST_F(MailFileTest, NothingMatchingResetsWithoutPublishing)
{
    poll("nothing-*.mbx");
    EXPECT_EQ(fakePoll.begun, 1);
    EXPECT_EQ(fakePoll.resets, 1);
    EXPECT_EQ(fakePoll.published, 0);
    EXPECT_EQ(fakePoll.finished, 1);
}

TEST_F(MailFileTest, LockedFileIsReportedAndEndsThePoll)
{
    std::string path = write("mbox", unixMessage("a@x", "one"));
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    poll("mbox");
    CloseHandle(lock);
    EXPECT_EQ(fakePoll.errors, std::vector<std::string>({"Can't open mail file"}));
    EXPECT_EQ(fakePoll.resets, 1);
    EXPECT_EQ(fakePoll.failed, 1);
    EXPECT_EQ(fakePoll.published, 0);
}

TEST_F(MailFileTest, ExitRequestCommitsWhatWasReadSoFar)
{
    std::string box;
    for (int i = 0; i < 20000; i++)
        box += unixMessage("a@x", "m" + std::to_string(i));
    write("mbox", box);
    config.settings.UnreadOnly = true;
    // The request arrives with the first dispatch of window messages; the read
    // stops at the next line and commits what it has.
    for (int attempt = 0; attempt < 5 && fakePoll.pumps == 0; attempt++) {
        resetFakePoll();
        fakePoll.onPump = [] { notifier.pendingCommand = PENDING_EXIT; };
        mail.latestFileDate = mail.latestFileTime = 0;
        poll("mbox");
    }
    if (fakePoll.pumps == 0)
        GTEST_SKIP() << "the whole mailbox was read within one dispatch interval";
    EXPECT_EQ(fakePoll.published, 1);
    EXPECT_EQ(fakePoll.pumps, 1);
    EXPECT_LT(fakePoll.lastIndex, 19999);
}

TEST_F(MailFileTest, WindowMessagesAreDispatchedAtMostEveryFifteenMilliseconds)
{
    std::string box;
    for (int i = 0; i < 20000; i++)
        box += unixMessage("a@x", "m" + std::to_string(i));
    write("mbox", box);
    config.settings.UnreadOnly = true;
    DWORD start = GetTickCount();
    poll("mbox");
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(fakePoll.lastIndex, 19999);
    EXPECT_LE(fakePoll.pumps, (int)(elapsed / 15) + 1);
}

// --- Sharing with the mail program ---------------------------------------------------------

TEST_F(MailFileTest, MailboxAppendedByAnotherProcessWhileItIsRead)
{
    std::string box;
    for (int i = 0; i < 4000; i++)
        box += unixMessage("a@x", "m" + std::to_string(i));
    std::string path = write("mbox", box);
    config.settings.UnreadOnly = true;

    char program[MAX_PATH];
    GetModuleFileNameA(NULL, program, sizeof program);
    SetEnvironmentVariableA(APPEND_WRITER_VARIABLE, path.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = std::string("\"") + program + "\"";
    BOOL started =
        CreateProcessA(program, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    SetEnvironmentVariableA(APPEND_WRITER_VARIABLE, NULL);
    ASSERT_TRUE(started);

    int polls = 0;
    int lastSeen = -1;
    do {
        poll("mbox");
        ++polls;
        ASSERT_TRUE(fakePoll.errors.empty());
        ASSERT_EQ(fakePoll.published, polls);
        EXPECT_GE(fakePoll.lastIndex, lastSeen); // never fewer than before
        lastSeen = fakePoll.lastIndex;
    } while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && polls < 1000);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(exitCode, 0u);

    std::string expected = box;
    for (int i = 0; i < APPENDED_MESSAGES; i++)
        expected += appendedMessage(i);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string content(expected.size() + 16, '\0');
    DWORD got = 0;
    ReadFile(file, &content[0], (DWORD)content.size(), &got, NULL);
    CloseHandle(file);
    content.resize(got);
    EXPECT_TRUE(content == expected);

    poll("mbox");
    EXPECT_EQ(fakePoll.lastIndex, 4000 + APPENDED_MESSAGES - 1);
    (void)appendWriter;
}
