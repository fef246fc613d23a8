// Reader launch and detection under Wine, with a stand-in reader program
// (reader_fake.exe, built beside this test): the launch thread starts it with
// the mail path in place of "%s", the watch thread sees it end, detection finds
// one started elsewhere by its program file, and a running reader is brought
// forward instead of started twice.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "mail/mail.h"
#include "sources/sources.h"
#include "poll/reader.h"
#include "core/frontend.h"
#include "core/core.h"
#include "tests/config/winfiles.h"

// --- A front end that may be called from the launch thread --------------------------

static CRITICAL_SECTION logLock;
static std::vector<std::string> seamLog;
static int activatedWindows;

static void record(const std::string &line)
{
    EnterCriticalSection(&logLock);
    seamLog.push_back(line);
    LeaveCriticalSection(&logLock);
}

static std::vector<std::string> logged(void)
{
    EnterCriticalSection(&logLock);
    std::vector<std::string> copy = seamLog;
    LeaveCriticalSection(&logLock);
    return copy;
}

static int countLogged(const std::string &line)
{
    int n = 0;
    for (const std::string &entry : logged())
        n += entry == line;
    return n;
}

static void recordError(const char *text)
{
    record(std::string("error:") + text);
}
static void recordOpenWait(void)
{
    record("openwait");
}
static void recordMinimize(void)
{
    record("minimize");
}

// The null front end, with what these tests observe recorded under a lock.
static const FrontEnd readerFrontEnd = [] {
    FrontEnd table = nullFrontEnd;
    table.showError = recordError;
    table.openPollWait = recordOpenWait;
    table.minimizeForReader = recordMinimize;
    return table;
}();

BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    activatedWindows++;
    return TRUE;
}

// The poll cycle linked in with the reader reads the mail-file source; these
// tests never poll.
uint64_t mailFileSizeTotal(void)
{
    return 0;
}
void pollMailFile(void)
{
}

// --- Helpers ---------------------------------------------------------------------------------

static std::string moduleDirectory(void)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    char *slash = strrchr(path, '\\');
    if (slash)
        slash[1] = '\0';
    return path;
}

static std::string currentDirectory(void)
{
    char path[MAX_PATH];
    GetCurrentDirectoryA(sizeof path, path);
    return path;
}

static std::string scratchDirectory(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + name;
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

// The stand-in reader's record, line ends as "\n".
static std::string readLines(const std::string &path)
{
    std::string lines;
    for (char c : readFile(path))
        if (c != '\r')
            lines += c;
    return lines;
}

// Waits up to ms milliseconds for a condition that another thread makes true.
template <typename Condition>
static bool waitFor(Condition condition, DWORD ms = 15000)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}

static int lineCount(const std::string &text)
{
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

class Reader : public ::testing::Test
{
  protected:
    std::string fake;
    std::string eventName;
    HANDLE quit = NULL;
    std::string startDirectory;

    static void SetUpTestSuite()
    {
        InitializeCriticalSection(&logLock);
    }

    void SetUp() override
    {
        installFrontEnd(&readerFrontEnd);
        memset(&notifier, 0, sizeof notifier);
        memset(&config.settings, 0, sizeof config.settings);
        resetReaderState();
        reader.readerRunning = false;
        reader.readerThreadId = 0;
        reader.readerCommand[0] = '\0';
        config.report = reportError;
        config.mailPath = "C:\\Mail\\in box.mbx";
        captureStartLocation();
        startDirectory = currentDirectory();
        fake = moduleDirectory() + "reader_fake.exe";
        eventName = "PelimboReaderTest" + std::to_string(GetCurrentProcessId()) + "_"
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        quit = CreateEventA(NULL, TRUE, FALSE, eventName.c_str());
        ASSERT_TRUE(quit != NULL);
        EnterCriticalSection(&logLock);
        seamLog.clear();
        LeaveCriticalSection(&logLock);
        activatedWindows = 0;
    }

    void TearDown() override
    {
        SetEvent(quit);
        EXPECT_TRUE(waitFor([] { return !reader.readerRunning; })) << "the watched reader did not end";
        CloseHandle(quit);
        SetCurrentDirectoryA(startDirectory.c_str());
    }

    // The stand-in writes into its working directory: a scratch one unless
    // the test names one.
    void setReader(const std::string &command,
                   const std::string &startDir = scratchDirectory("pelreader_any"))
    {
        copyText(config.settings.MailReader, command.c_str());
        copyText(config.settings.ReaderStartDir, startDir.c_str());
    }

    // Starts the stand-in directly, as a user would; returns its primary thread.
    DWORD startOutside(HANDLE *process)
    {
        std::string command = "\"" + fake + "\" " + eventName;
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started;
        std::string dir = scratchDirectory("pelreader_outside");
        if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, dir.c_str(), &startup, &started))
            return 0;
        CloseHandle(started.hThread);
        *process = started.hProcess;
        // Its window exists once its command line has been written.
        std::string recordFile = dir + "\\reader_cmdline.txt";
        waitFor([&] { return readLines(recordFile).find(eventName) != std::string::npos; });
        Sleep(200);
        return started.dwThreadId;
    }
};

// --- Launch --------------------------------------------------------------------------------

TEST_F(Reader, LaunchStartsTheCommandInItsStartDirectoryAndWatchesIt)
{
    std::string dir = scratchDirectory("pelreader_launch");
    std::string recordFile = dir + "\\reader_cmdline.txt";
    DeleteFileA(recordFile.c_str());
    setReader(fake + " " + eventName + " %s", dir);
    config.settings.SuspendPoll = true;
    config.settings.MinimizeReader = true;

    launchReader();
    ASSERT_TRUE(waitFor([] { return reader.readerRunning; })) << "the reader never ran";
    EXPECT_NE(0u, reader.readerThreadId);
    EXPECT_EQ(fake + " " + eventName + " C:\\Mail\\in box.mbx", std::string(reader.readerCommand));
    ASSERT_TRUE(waitFor([&] { return !readLines(recordFile).empty(); })) << "not started in ReaderStartDir";
    EXPECT_NE(std::string::npos, readLines(recordFile).find(eventName + " C:\\Mail\\in box.mbx"));
    EXPECT_EQ(1, countLogged("minimize"));

    notifier.tickCounter = 3;
    SetEvent(quit);
    ASSERT_TRUE(waitFor([] { return !reader.readerRunning; })) << "the watch thread missed the exit";
    EXPECT_EQ(0u, notifier.tickCounter) << "with SuspendPoll a poll follows the reader's exit";
    EXPECT_TRUE(logged().size() == 1) << "no error expected";
}

TEST_F(Reader, WithoutSuspendPollTheExitLeavesTheTickCounter)
{
    setReader(fake + " " + eventName);
    launchReader();
    ASSERT_TRUE(waitFor([] { return reader.readerRunning; }));
    EXPECT_EQ(0, countLogged("minimize"));
    notifier.tickCounter = 3;
    SetEvent(quit);
    ASSERT_TRUE(waitFor([] { return !reader.readerRunning; }));
    EXPECT_EQ(3u, notifier.tickCounter);
}

// A MailReader holding more conversions than the one "%s" is taken literally:
// nothing reads a second argument and the command is never overrun.
TEST_F(Reader, MalformedReaderStringsAreTakenLiterally)
{
    std::string dir = scratchDirectory("pelreader_literal");
    std::string recordFile = dir + "\\reader_cmdline.txt";
    const char *tails[] = {" %s %s", " %d %n", " %s%s%s%s%s%s%s%s%s%s", " %x %p %s"};
    int launched = 0;
    DeleteFileA(recordFile.c_str());
    for (const char *tail : tails) {
        setReader(fake + " " + eventName + tail, dir);
        ResetEvent(quit);
        launchReader();
        ASSERT_TRUE(waitFor([] { return reader.readerRunning; })) << tail;
        launched++;
        ASSERT_TRUE(waitFor([&] { return lineCount(readLines(recordFile)) == launched; })) << tail;
        SetEvent(quit);
        ASSERT_TRUE(waitFor([] { return !reader.readerRunning; })) << tail;
    }
    std::string lines = readLines(recordFile);
    EXPECT_NE(std::string::npos, lines.find(eventName + " C:\\Mail\\in box.mbx %s\n"));
    EXPECT_NE(std::string::npos, lines.find(eventName + " %d %n\n"));
    EXPECT_NE(std::string::npos, lines.find(eventName + " C:\\Mail\\in box.mbx%s%s%s%s%s%s%s%s%s\n"));
    EXPECT_NE(std::string::npos, lines.find(eventName + " %x %p C:\\Mail\\in box.mbx\n"));
}

TEST_F(Reader, FailedLaunchReportsAndReturnsToTheStartDirectory)
{
    std::string dir = scratchDirectory("pelreader_fail");
    setReader("C:\\no\\such\\reader.exe %s", dir);
    launchReader();
    ASSERT_TRUE(waitFor([] { return countLogged("error:Can't start mail reader") == 1; }));
    EXPECT_FALSE(reader.readerRunning);
    EXPECT_EQ(startDirectory, currentDirectory());
}

TEST_F(Reader, EmptyMailReaderStartsNothing)
{
    launchReader();
    Sleep(100);
    EXPECT_FALSE(reader.readerRunning);
    EXPECT_TRUE(logged().empty());
}

// With SuspendPoll a launch waits for the running poll: the notice opens once
// and the launch is parked, unless another command waits already.
TEST_F(Reader, LaunchDuringAPollWaitsForItWithSuspendPoll)
{
    setReader(fake + " " + eventName);
    config.settings.SuspendPoll = true;
    notifier.pollInProgress = true;

    launchReader();
    launchReader();
    EXPECT_EQ(1, countLogged("openwait"));
    EXPECT_TRUE(notifier.pollWaitOpen);
    EXPECT_EQ(PENDING_LAUNCH_READER, notifier.pendingCommand);

    notifier.pendingCommand = PENDING_SETUP;
    launchReader();
    EXPECT_EQ(PENDING_SETUP, notifier.pendingCommand) << "an earlier command keeps its place";
    Sleep(200);
    EXPECT_FALSE(reader.readerRunning);
    EXPECT_EQ('\0', reader.readerCommand[0]);

    config.settings.SuspendPoll = false;
    launchReader();
    EXPECT_TRUE(waitFor([] { return reader.readerRunning; }))
        << "without SuspendPoll the poll does not matter";
}

TEST_F(Reader, ARunningReaderIsBroughtForwardNotStartedAgain)
{
    std::string dir = scratchDirectory("pelreader_twice");
    std::string recordFile = dir + "\\reader_cmdline.txt";
    DeleteFileA(recordFile.c_str());
    setReader(fake + " " + eventName, dir);
    launchReader();
    ASSERT_TRUE(waitFor([] { return reader.readerRunning && reader.readerThreadId != 0; }));
    ASSERT_TRUE(waitFor([&] { return lineCount(readLines(recordFile)) == 1; }));
    Sleep(300); // its window exists

    launchReader();
    EXPECT_GE(activatedWindows, 1);
    Sleep(500);
    EXPECT_EQ(1, lineCount(readLines(recordFile))) << "a second reader was started";
}

// --- Locating and detecting --------------------------------------------------------------

TEST_F(Reader, LocateFindsTheProgramPartOfACommandWithBlanks)
{
    std::string dir = scratchDirectory("pel reader dir");
    std::string copy = dir + "\\fake reader.exe";
    ASSERT_TRUE(CopyFileA(fake.c_str(), copy.c_str(), FALSE));

    setReader(copy + " -x %s", "");
    const char *found = locateReader();
    ASSERT_TRUE(found != NULL);
    EXPECT_EQ(0, compareNoCase(copy.c_str(), found)) << found;

    // A relative name is looked for in ReaderStartDir; the directory is restored.
    setReader("fake reader.exe /new", dir);
    found = locateReader();
    ASSERT_TRUE(found != NULL);
    EXPECT_EQ(0, compareNoCase(copy.c_str(), found)) << found;
    EXPECT_EQ(startDirectory, currentDirectory());
    EXPECT_TRUE(logged().empty());
}

TEST_F(Reader, AMissingReaderIsReportedOncePerSetting)
{
    setReader("C:\\no\\such\\reader.exe %s", "");
    EXPECT_TRUE(locateReader() == NULL);
    EXPECT_TRUE(locateReader() == NULL);
    config.settings.DetectReader = true;
    config.settings.SuspendPoll = true;
    EXPECT_TRUE(detectReader()) << "a failed detection does not keep the poll cycle waiting";
    EXPECT_EQ(1, countLogged("error:Unable to locate mail reader"));

    setReader("C:\\no\\other\\reader.exe", "");
    EXPECT_TRUE(locateReader() == NULL);
    EXPECT_EQ(2, countLogged("error:Unable to locate mail reader"));
}

TEST_F(Reader, DetectionIsRefusedOnlyWhileTheSameMethodIsBusy)
{
    setReader(fake, "");
    reader.processListBusy = true;
    EXPECT_FALSE(detectReaderBy(DETECT_PROCESS_LIST));
    reader.processListBusy = false;
    reader.snapshotBusy = true;
    EXPECT_FALSE(detectReaderBy(DETECT_SNAPSHOT));
    reader.snapshotBusy = false;

    setReader("", "");
    reader.processListBusy = true;
    EXPECT_TRUE(detectReaderBy(DETECT_PROCESS_LIST)) << "nothing to detect without a reader";
    reader.processListBusy = false;
}

class ReaderDetection : public Reader, public ::testing::WithParamInterface<ReaderDetectMethod>
{
};

TEST_P(ReaderDetection, FindsAReaderStartedElsewhereAndWatchesIt)
{
    HANDLE process = NULL;
    DWORD thread = startOutside(&process);
    ASSERT_NE(0u, thread);
    // The command has arguments; the program part is found by cutting at blanks.
    setReader(fake + " " + eventName + " %s", "");
    config.settings.SuspendPoll = true;
    config.settings.DetectReader = true;

    EXPECT_TRUE(detectReaderBy(GetParam()));
    EXPECT_TRUE(reader.readerRunning);
    EXPECT_EQ(thread, reader.readerThreadId) << "the thread of its top-level window";
    EXPECT_FALSE(reader.processListBusy || reader.snapshotBusy);
    for (const std::string &line : logged())
        ADD_FAILURE() << line;

    notifier.tickCounter = 4;
    SetEvent(quit);
    ASSERT_TRUE(waitFor([] { return !reader.readerRunning; }));
    EXPECT_EQ(0u, notifier.tickCounter);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

TEST_P(ReaderDetection, FindsNothingWhenTheReaderDoesNotRun)
{
    setReader(fake + " %s", "");
    EXPECT_TRUE(detectReaderBy(GetParam()));
    EXPECT_FALSE(reader.readerRunning);
    EXPECT_TRUE(logged().empty());
}

INSTANTIATE_TEST_SUITE_P(Methods, ReaderDetection, ::testing::Values(DETECT_PROCESS_LIST, DETECT_SNAPSHOT),
                         [](const ::testing::TestParamInfo<ReaderDetectMethod> &info) {
                             return std::string(info.param == DETECT_PROCESS_LIST ? "ProcessList"
                                                                                  : "Snapshot");
                         });
