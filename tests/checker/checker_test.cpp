// pelcheck32 run as a program, without a display: what it prints must be what
// the notifier's header list holds after the same poll (compared with a poll
// run here in-process through the core and the recording front end), and bad
// settings or arguments must end with the documented exit status and the
// program's own texts on stderr.
//
// Not yet covered here: a POP3 or IMAP4 poll through the checker's message-only
// window. The network tests' private Dovecot fixture can serve it; until then
// a network run is checked by hand (a refused connection ends with status 2).
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "tests/config/winfiles.h"
#include "tests/checker/run_checker.h"
#include "tests/fakes/recording_frontend.h"

// --- The same poll in-process ------------------------------------------------------------------

static std::string escaped(const char *text)
{
    std::string out;
    for (const char *p = text; *p; p++) {
        if (*p == '\t')
            out += "\\t";
        else if (*p == '\n')
            out += "\\n";
        else if (*p == '\\')
            out += "\\\\";
        else
            out += *p;
    }
    return out;
}

// What the notifier holds after its first poll with the given INI file,
// printed the way the checker prints it.
static std::string pollInProcess(const std::string &ini, const std::string &directory)
{
    SetCurrentDirectoryA(directory.c_str());
    memset(&notifier, 0, sizeof notifier);
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = true;
    memset(&config.settings, 0, sizeof config.settings);
    config.report = reportError;
    captureStartLocation();
    resetFakeFrontEnd();
    EXPECT_FALSE(loadSettings(ini.c_str()));
    loadFilterList(ini.c_str());
    loadWavBaseList(ini.c_str());
    forgetFileSnapshot();
    mail.latestFileDate = 0;
    mail.latestFileTime = 0;
    pollTick();

    const char *results[] = {"no change", "no mail", "new mail", "fewer messages", "no change"};
    std::string text = "count: " + std::to_string(notifier.headerCount)
                       + "\nresult: " + results[notifier.lastDecision] + "\n";
    for (int i = 0; i < notifier.shownCount; i++)
        text += escaped(mail.shownHeaders[i].from) + "\t" + escaped(mail.shownHeaders[i].subject) + "\n";
    freeFilterList(&config.filterList);
    freeWavBaseList(&config.wavBaseList);
    return text;
}

// --- Fixtures ----------------------------------------------------------------------------------------

// Moves a file's modification time back by the given number of minutes.
static void backdate(const std::string &path, int minutes)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    FILETIME written;
    GetFileTime(file, NULL, NULL, &written);
    ULARGE_INTEGER when;
    when.LowPart = written.dwLowDateTime;
    when.HighPart = written.dwHighDateTime;
    when.QuadPart -= (ULONGLONG)minutes * 60 * 10000000;
    written.dwLowDateTime = when.LowPart;
    written.dwHighDateTime = when.HighPart;
    SetFileTime(file, NULL, NULL, &written);
    CloseHandle(file);
}

static bool exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Checker : public ::testing::Test
{
  protected:
    std::string dir;
    char startDirectory[MAX_PATH];

    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof startDirectory, startDirectory);
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir =
            std::string(temp) + "pelcheck_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(dir.c_str(), NULL);
        ASSERT_TRUE(allocateMailBuffers());
    }

    void TearDown() override
    {
        freeMailBuffers();
        SetCurrentDirectoryA(startDirectory);
    }

    std::string ini(const std::string &body, const char *name = "PELIMBO.INI")
    {
        std::string path = dir + "\\" + name;
        EXPECT_TRUE(writeFile(path, "[Pelimbo]\r\n" + body));
        return path;
    }
};

static std::string message(const char *from, const char *subject, const char *extra = "")
{
    return std::string("From: ") + from + "\r\nSubject: " + subject + "\r\n" + extra
           + "\r\nThe body of the message, long enough that every file counts as changed mail.\r\n";
}

TEST_F(Checker, PrintsTheListTheNotifierHoldsForAMailbox)
{
    std::string box =
        "From alice Mon Dec  7 10:00:00 2026\r\n"
        + message("Alice Example <alice@example.com>", "Lunch\ttomorrow \\ maybe")
        + "From bob Mon Dec  7 10:01:00 2026\r\n"
        + message("bob@example.com", "Read already", "Status: RO\r\n")
        + "From carol Mon Dec  7 10:02:00 2026\r\n"
        + message("=?ISO-8859-1?Q?Carol_M=FCller?= <c@example.com>", "=?ISO-8859-1?Q?Gr=FC=DFe?=");
    ASSERT_TRUE(writeFile(dir + "\\inbox.mbx", box));
    std::string path = ini("MessageSource=0\r\nMailFile=inbox.mbx\r\nUnreadOnly=TRUE\r\n");

    CheckRun run = runChecker("", dir);
    std::string expected = pollInProcess(path, dir);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(expected, run.out);
    EXPECT_EQ(0u, run.out.find("count: 2\nresult: new mail\nAlice Example\tLunch\\ttomorrow \\\\ maybe\n"));
    EXPECT_EQ("", run.err);

    // The same file named on the command line, with a blank in its name.
    std::string spaced =
        ini("MessageSource=0\r\nMailFile=inbox.mbx\r\nUnreadOnly=TRUE\r\n", "my settings.ini");
    run = runChecker("--verbose \"" + spaced + "\"", dir);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(expected, run.out);
    EXPECT_NE(std::string::npos, run.err.find("pelcheck: status: Polling...\n"));
}

// The sample mailbox of mail in many scripts: the ANSI form by default (as the
// notifier keeps it), every script with --utf8.
TEST_F(Checker, Utf8PrintsEveryScript)
{
    // The sample names its mailbox relative to its own folder.
    std::string examples = windowsPath(PELIMBO_EXAMPLES_DIR);
    CheckRun run = runChecker("--utf8 international.ini", examples);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(run.out, u8"count: 8\nresult: new mail\n"
                       u8"Jürgen Müller\t€ 100 für die Kaffeekasse\n"
                       u8"Ольга Смирнова\tСчёт на оплату №42\n"
                       u8"田中太郎\tRe: 会議の件\n"
                       u8"佐藤\tお知らせ：新しいメール\n"
                       u8"王小明\t繁體中文測試\n"
                       u8"김민수\t회의 일정\n"
                       u8"Ελένη\tΚαλημέρα\n"
                       u8"Zoé Lefèvre\tCrème brûlée à midi\n");

    run = runChecker("international.ini", examples);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find(
                      "count: 8\nresult: new mail\nJ\xFCrgen M\xFCller\t\x80 100 f\xFCr die Kaffeekasse\n"))
        << run.out;
}

// Mail programs label windows-1252 text "iso-8859-1" and send it raw: its
// bytes 0x80-0x9F are the characters the sender meant, in both outputs and
// for the filters, which match the ANSI form.
TEST_F(Checker, Latin1TextIsReadAsTheSenderMeantIt)
{
    std::string box =
        "From matrox Mon Dec  7 10:00:00 2026\r\n"
        + message("Matrox <news@matrox.example>", "=?iso-8859-1?Q?Matrox_Parhelia=99_now_available?=")
        + "From dealer Mon Dec  7 10:01:00 2026\r\n"
        + message("Dealer <sales@dealer.example>", "Parhelia\x99 prices");
    ASSERT_TRUE(writeFile(dir + "\\inbox.mbx", box));
    ini("MessageSource=0\r\nMailFile=inbox.mbx\r\nUnreadOnly=TRUE\r\n");
    CheckRun run = runChecker("--utf8", dir);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(run.out, u8"count: 2\nresult: new mail\n"
                       u8"Matrox\tMatrox Parhelia™ now available\n"
                       u8"Dealer\tParhelia™ prices\n");
    run = runChecker("", dir);
    EXPECT_EQ(run.out, "count: 2\nresult: new mail\n"
                       "Matrox\tMatrox Parhelia\x99 now available\n"
                       "Dealer\tParhelia\x99 prices\n");

    ini("MessageSource=0\r\nMailFile=inbox.mbx\r\nUnreadOnly=TRUE\r\nUseFilters=TRUE\r\n"
        "[Filters]\r\nParhelia\x99 now#0#1=\r\n");
    run = runChecker("", dir);
    EXPECT_EQ(run.out, "count: 1\nresult: new mail\nDealer\tParhelia\x99 prices\n");
}

TEST_F(Checker, PrintsTheListTheNotifierHoldsForANewMailDirectory)
{
    std::string mailDir = dir + "\\new";
    CreateDirectoryA(mailDir.c_str(), NULL);
    ASSERT_TRUE(writeFile(mailDir + "\\A.CNM", message("Ann <ann@example.com>", "First")));
    ASSERT_TRUE(writeFile(mailDir + "\\B.CNM", message("ben@example.com", "Second", "X-PMFLAGS: 130\r\n")));
    ASSERT_TRUE(writeFile(mailDir + "\\!C.CNM", message("cid@example.com", "Read one")));
    ASSERT_TRUE(writeFile(mailDir + "\\D.CNM", message("dora@example.com", "Fourth")));
    std::string path = ini("MessageSource=0\r\nMailFile=" + mailDir + "\\*.CNM\r\nUnreadOnly=TRUE\r\n");

    CheckRun run = runChecker("PELIMBO.INI", dir);
    std::string expected = pollInProcess(path, dir);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(expected, run.out);
    EXPECT_EQ(0u, run.out.find("count: 2\nresult: new mail\n"));
    EXPECT_EQ(std::string::npos, run.out.find("Read one"));
}

// A Delete filter asks; the checker answers No unless --delete, and then the
// message file goes and the deletions log is written as by the notifier.
TEST_F(Checker, DeleteQuestionsAreAnsweredFromTheCommandLine)
{
    std::string mailDir = dir + "\\new";
    CreateDirectoryA(mailDir.c_str(), NULL);
    ASSERT_TRUE(writeFile(mailDir + "\\A.CNM", message("Ann <ann@example.com>", "Meeting")));
    ASSERT_TRUE(writeFile(mailDir + "\\B.CNM", message("spammer@example.com", "Cheap offer")));
    // Only a file newer than every file seen before it may be deleted.
    backdate(mailDir + "\\A.CNM", 60);
    std::string log = dir + "\\deleted.log";
    DeleteFileA(log.c_str());
    ini("MessageSource=0\r\nMailFile=" + mailDir
        + "\\*.CNM\r\nUseFilters=TRUE\r\nLogDeletes=TRUE\r\nDeleteFile=" + log
        + "\r\n[Filters]\r\ncheap#1#1=\r\n");

    CheckRun kept = runChecker("", dir);
    EXPECT_EQ(0, kept.status) << kept.err;
    EXPECT_EQ("count: 1\nresult: new mail\nAnn\tMeeting\n", kept.out);
    EXPECT_NE(std::string::npos, kept.err.find("pelcheck: Filter \"cheap\" for subject line matches:\\n\\n"));
    EXPECT_TRUE(exists(mailDir + "\\B.CNM"));
    EXPECT_FALSE(exists(log));

    CheckRun deleted = runChecker("--delete", dir);
    EXPECT_EQ(0, deleted.status) << deleted.err;
    EXPECT_EQ(kept.out, deleted.out);
    EXPECT_FALSE(exists(mailDir + "\\B.CNM"));
    EXPECT_TRUE(exists(log));
}

TEST_F(Checker, NoMailEndsWithStatusOne)
{
    ASSERT_TRUE(writeFile(dir + "\\empty.mbx", ""));
    ini("MessageSource=0\r\nMailFile=empty.mbx\r\n");
    CheckRun run = runChecker("", dir);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_EQ("count: 0\nresult: no mail\n", run.out);
}

TEST_F(Checker, InvalidSettingsEndWithStatusTwoAndSayWhy)
{
    ini("MessageSource=0\r\nMailFile=\r\n");
    CheckRun run = runChecker("", dir);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("pelcheck: no mail file is set")) << run.err;

    ini("MessageSource=0\r\nMailFile=$PELCHECK_NO_SUCH_VARIABLE$\\in.mbx\r\n");
    run = runChecker("", dir);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos,
              run.err.find("pelcheck: Invalid environment variable:\\nPELCHECK_NO_SUCH_VARIABLE\n"))
        << run.err;

    run = runChecker("\"" + dir + "\\*.ini\"", dir);
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos,
              run.err.find("pelcheck: Wildcard not allowed in configuration filename:\\n\\n"))
        << run.err;

    run = runChecker("missing.ini", dir);
    EXPECT_EQ(2, run.status);
    EXPECT_FALSE(exists(dir + "\\missing.ini")) << "the checker never writes the INI file";
}

// The real NetWare bridge lies beside the checker; under a loader without the
// flat-thunk service its entry refuses, and the source polls nothing.
TEST_F(Checker, NetWareSourceWithoutTheThunkServiceEndsWithStatusTwo)
{
    ini("MessageSource=1\r\nMailFile=\r\n");
    CheckRun run = runChecker("", dir);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ(0u, run.err.find("pelcheck: Unable to load PELNW32.DLL\n")) << run.err;
}

TEST_F(Checker, UsageErrorsEndWithStatusThree)
{
    CheckRun run = runChecker("--frobnicate", dir);
    EXPECT_EQ(3, run.status);
    EXPECT_NE(std::string::npos, run.err.find("Usage: pelcheck32"));
    run = runChecker("one.ini two.ini", dir);
    EXPECT_EQ(3, run.status);
    run = runChecker("--help", dir);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(0u, run.out.find("Usage: pelcheck32"));
}

#ifdef PELIMBO_DOVECOT_DIR
// POP3 and IMAP4 against the private Dovecot of the network tests: the checker
// runs its poll on a message-only window and prints the same list.
static void deliverToChecker(int n, const char *from, const char *subject)
{
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%s/mail/checker/new/%010d.M%dP1.pelcheck", PELIMBO_DOVECOT_DIR, 2000000 + n,
             n);
    char text[512];
    snprintf(
        text, sizeof text,
        "Received: from relay by mx; Mon, 7 Dec 2026 12:00:%02d +0000\nFrom: %s\nSubject: %s\n\nBody %d\n", n,
        from, subject, n);
    ASSERT_TRUE(writeFile(name, text));
}

TEST_F(Checker, PrintsWhatAPop3OrImap4ServerHolds)
{
    deliverToChecker(1, "\"Ann Server\" <ann@example.org>", "First on the server");
    deliverToChecker(2, "bob@example.org", "=?ISO-8859-1?Q?Zweite_Nachricht?=");
    char stored[128];
    scramblePassword("secret", stored, sizeof stored);
    const std::string common = std::string("MailHost=localhost\r\nLogin=checker\r\nPassword=") + stored
                               + "\r\nPOP3Port=21110\r\nIMAP4Port=21143\r\nInactivityTimeout=10\r\n";
    const std::string expected = "count: 2\nresult: new mail\n"
                                 "Ann Server\tFirst on the server\n"
                                 "bob@example.org\tZweite Nachricht\n";
    for (const char *source : {"7", "8"}) {
        SCOPED_TRACE(std::string("MessageSource ") + source);
        std::string path = ini(std::string("MessageSource=") + source + "\r\n" + common);
        CheckRun run = runChecker("\"" + path + "\"", dir);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ(expected, run.out);
        EXPECT_EQ("", run.err);
    }

    // The same over TLS from the first byte, the test CA as the trust file;
    // --verbose names the session.
    std::string secure = common;
    secure.replace(secure.find("POP3Port=21110\r\nIMAP4Port=21143"), 31, "POP3Port=21995\r\nIMAP4Port=21993");
    for (const char *source : {"7", "8"}) {
        SCOPED_TRACE(std::string("TLS, MessageSource ") + source);
        std::string path = ini(std::string("MessageSource=") + source + "\r\n" + secure
                               + "Security=2\r\nTrustFile=" PELIMBO_DOVECOT_DIR "/tls/ca.pem\r\n");
        CheckRun run = runChecker("--verbose \"" + path + "\"", dir);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_NE(std::string::npos, run.out.find("Ann Server\tFirst on the server\n")) << run.out;
        for (const char *line : {"pelcheck: tls protocol: TLS 1.2", "pelcheck: tls subject: localhost",
                                 "pelcheck: tls issuer: Pelimbo Test CA", "pelcheck: tls cipher: "})
            EXPECT_NE(std::string::npos, run.err.find(line)) << run.err;
    }
}

struct WaitJob {
    std::string arguments, directory;
    CheckRun run;
};

static DWORD WINAPI waitThread(LPVOID parameter)
{
    WaitJob *job = static_cast<WaitJob *>(parameter);
    job->run = runChecker(job->arguments, job->directory);
    return 0;
}

// --wait: IMAP4 with Idle watches, POP3 polls at PollInterval; either prints
// the list of the poll that found the new message and ends with status 0,
// and with nothing new status 1 at the end of the wait. Messages keep
// arriving every three seconds, so a first poll that came late (a loaded
// machine) and already counted one still sees the next.
TEST_F(Checker, WaitEndsAsSoonAsNewMailArrives)
{
    char stored[128];
    scramblePassword("secret", stored, sizeof stored);
    const std::string common = std::string("MailHost=127.0.0.1\r\nLogin=checker\r\nPassword=") + stored
                               + "\r\nPOP3Port=21110\r\nIMAP4Port=21143\r\nPollInterval=5\r\nIdle=TRUE\r\n";
    int n = 100;
    for (const char *source : {"8", "7"}) {
        SCOPED_TRACE(std::string("MessageSource ") + source);
        WaitJob job = {"--verbose --wait 40 \""
                           + ini(std::string("MessageSource=") + source + "\r\n" + common) + "\"",
                       dir, CheckRun()};
        HANDLE thread = CreateThread(NULL, 0, waitThread, &job, 0, NULL);
        while (WaitForSingleObject(thread, 3000) == WAIT_TIMEOUT && n < 110) {
            n++;
            deliverToChecker(n, "waiter@example.org", ("Arrived while waiting " + std::to_string(n)).c_str());
        }
        WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
        EXPECT_EQ(0, job.run.status) << job.run.err;
        EXPECT_NE(std::string::npos, job.run.out.find("result: new mail\n")) << job.run.out;
        EXPECT_NE(std::string::npos, job.run.out.find("waiter@example.org\tArrived while waiting "))
            << job.run.out;
        bool watched = job.run.err.find("pelcheck: watching the mailbox (IDLE)") != std::string::npos;
        EXPECT_EQ(std::string(source) == "8", watched) << job.run.err;
    }

    CheckRun run = runChecker("--wait 2 \"" + ini("MessageSource=8\r\n" + common) + "\"", dir);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("result: no change\n")) << run.out;
    EXPECT_EQ(3, runChecker("--wait", dir).status);
    EXPECT_EQ(3, runChecker("--wait 0", dir).status);
    EXPECT_EQ(3, runChecker("--wait 5s", dir).status);
}

// The notifier says nothing when a server hangs up; the checker must say why
// its poll failed.
TEST_F(Checker, ServerThatHangsUpAtOnceIsNamedOnStderr)
{
    char stored[128];
    scramblePassword("secret", stored, sizeof stored);
    for (const char *source : {"7", "8"}) {
        SCOPED_TRACE(std::string("MessageSource ") + source);
        std::string path =
            ini(std::string("MessageSource=") + source + "\r\nMailHost=127.0.0.1\r\nLogin=drop\r\nPassword="
                + stored + "\r\nPOP3Port=21310\r\nIMAP4Port=21343\r\nInactivityTimeout=10\r\n");
        CheckRun run = runChecker("\"" + path + "\"", dir);
        EXPECT_EQ(2, run.status);
        EXPECT_EQ("pelcheck: the server closed the connection\n", run.err);
    }
}
#endif
