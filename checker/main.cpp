// pelcheck32 [--verbose] [--delete] [--utf8] [--wait SECONDS] [INI file]
// pelcheck32 --sign-in [--no-browser] [--sign-in-timeout SECONDS] [INI file]
// Reads the settings as the notifier does, runs exactly one poll through the
// notifier's own timer tick, prints the result and exits:
//   0 mail is waiting, 1 none, 2 the poll failed or the settings are invalid,
//   3 usage error.
// With --wait it goes on after the first poll as the notifier would (the
// watch where the settings allow it, polls at PollInterval otherwise) until
// a poll finds new mail (printed, status 0) or the time is up (status 1).
// With --sign-in it signs in to the OAuth2 provider instead (0 signed in, 2 not).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "auth/signin.h"
#include "checker/checker.h"
#include "config/config.h"
#include "mail/mail.h"
#include "poll/reader.h"
#include "config/inifile.h"
#include "core/core.h"
#include "core/frontend.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "sources/notes.h"
#include "sources/sources.h"

void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

enum {
    EXIT_MAIL = 0,
    EXIT_NO_MAIL = 1,
    EXIT_FAILED = 2,
    EXIT_USAGE = 3,
};

enum {
    POLL_TIMER_ID = 1
};

static const char usageText[] =
    "Usage: pelcheck32 [--verbose] [--delete] [--utf8] [--wait SECONDS] [INI file]\n"
    "       pelcheck32 --sign-in [--no-browser] [--sign-in-timeout SECONDS] [INI file]\n"
    "\n"
    "Runs one poll of the message source configured in the INI file (default\n"
    "PELIMBO.INI in the current directory) the way Pelimbo does, and prints:\n"
    "  count: N         the number of waiting messages\n"
    "  result: ...      new mail, fewer messages, no change or no mail\n"
    "  From<TAB>Subject one line per listed message (tab, line break and\n"
    "                   backslash inside a field shown as \\t, \\n, \\\\)\n"
    "\n"
    "Texts Pelimbo would show in a message box go to stderr as \"pelcheck: ...\".\n"
    "  --verbose  also show the status texts, the answers to questions and,\n"
    "             over TLS, the protocol, cipher, subject and issuer\n"
    "  --delete   answer Yes when a filter asks to delete a message (default No)\n"
    "  --utf8     print From and Subject as UTF-8, in every script (default: ANSI)\n"
    "  --wait SECONDS  after the first poll, wait up to SECONDS for new mail:\n"
    "             watching the IMAP4 mailbox where Idle allows it, else polling\n"
    "             every PollInterval seconds; prints the list of the poll that\n"
    "             found it (status 0), or the last poll's at the end (status 1)\n"
    "  --help     show this text\n"
    "\n"
    "  --sign-in  sign in to the OAuth2 provider of a POP3 or IMAP4 source with\n"
    "             Auth=1 instead of polling: prints the address it opens in the\n"
    "             browser (\"address: ...\"), waits for the browser to come back,\n"
    "             stores the refresh token (OAuthToken) and exits 0, or 2 with\n"
    "             the reason on stderr\n"
    "  --no-browser  with --sign-in: only print the address, open no browser\n"
    "  --sign-in-timeout SECONDS  with --sign-in: wait this long (default 300)\n"
    "\n"
    "Exit status: 0 mail waiting, 1 no mail, 2 poll failed or settings invalid,\n"
    "3 usage error; with --wait, 0 new mail, 1 none within the time.\n"
    "The INI file is written only for OAuth2: by --sign-in, and when the\n"
    "provider replaces the refresh token during a poll.\n";

// --- Command line --------------------------------------------------------------------

struct Arguments {
    const char *iniName; // NULL: the default file
    bool help;
    unsigned waitSeconds; // --wait: 0 none
    bool signIn;
    bool noBrowser;
    unsigned signInSeconds;
};

// A number of seconds from 1 to a day.
static bool parseSeconds(const char *text, unsigned *seconds)
{
    char *end = NULL;
    unsigned long value = strtoul(text, &end, 10);
    if (!text[0] || *end || value < 1 || value > 86400)
        return false;
    *seconds = (unsigned)value;
    return true;
}

static bool parseArguments(int argc, char **argv, Arguments *args)
{
    args->iniName = NULL;
    args->help = false;
    args->waitSeconds = 0;
    args->signIn = false;
    args->noBrowser = false;
    args->signInSeconds = SIGN_IN_WAIT_SECONDS;
    bool optionsEnded = false;
    bool ok = true;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!optionsEnded && arg[0] == '-') {
            if (strcmp(arg, "--") == 0)
                optionsEnded = true;
            else if (strcmp(arg, "--verbose") == 0 || strcmp(arg, "-v") == 0)
                checker.verbose = true;
            else if (strcmp(arg, "--delete") == 0)
                checker.allowDelete = true;
            else if (strcmp(arg, "--utf8") == 0)
                checker.utf8 = true;
            else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 || strcmp(arg, "/?") == 0)
                args->help = true;
            else if (strcmp(arg, "--wait") == 0 && i + 1 < argc)
                ok = parseSeconds(argv[++i], &args->waitSeconds);
            else if (strcmp(arg, "--sign-in") == 0)
                args->signIn = true;
            else if (strcmp(arg, "--no-browser") == 0)
                args->noBrowser = true;
            else if (strcmp(arg, "--sign-in-timeout") == 0 && i + 1 < argc)
                ok = parseSeconds(argv[++i], &args->signInSeconds);
            else
                return false;
            if (!ok)
                return false;
        } else if (args->iniName) {
            return false; // the notifier takes one name only
        } else {
            args->iniName = arg;
        }
    }
    // The sign-in's own options mean nothing to a poll, nor --wait to a sign-in.
    if (args->signIn)
        return args->waitSeconds == 0;
    return !args->noBrowser && args->signInSeconds == SIGN_IN_WAIT_SECONDS;
}

// The notifier reads its raw command line: a quoted name runs to the closing
// quote, an unquoted one to the first blank. The name arrives here already
// split off, so it is quoted again when it holds a blank.
static void notifierArguments(const char *name, char *arguments, size_t size)
{
    if (!name)
        arguments[0] = '\0';
    else if (strpbrk(name, " \t"))
        formatText(arguments, size, "\"%s\"", name);
    else
        copyText(arguments, size, name);
}

// --- The network poll's window --------------------------------------------------------

static HWND pollWindow;
static bool pollRequested;

// Socket events, the host lookup, the connect request and the dial-up's
// "poll now" reach this message-only window as they reach the notifier's.
static LRESULT CALLBACK CheckWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SOCKET: handleSocketMessage((uintptr_t)wParam, (intptr_t)lParam); return 0;
    case WM_HOSTRESOLVED: handleHostResolved((uintptr_t)wParam, (intptr_t)lParam); return 0;
    case WM_STARTCONNECT: handleStartConnect(); return 0;
    case WM_TOKENDONE: handleTokenDone((uintptr_t)wParam, (intptr_t)lParam); return 0;
    case WM_MAILBOXCHANGED: pollOnMailboxChange(); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == 0 && wParam == MENU_POLL_NOW) {
            notifier.tickCounter = 0;
            pollRequested = true;
            return 0;
        }
        break;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static bool createPollWindow(void)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = CheckWndProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "PelcheckPoll";
    if (!RegisterClassA(&windowClass))
        return false;
    pollWindow = CreateWindowExA(0, "PelcheckPoll", "Pelimbo", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                 windowClass.hInstance, NULL);
    return pollWindow != NULL;
}

// Opens what the configured source needs before its first poll.
static bool initialiseSource(void)
{
    openSourceSession();
    if (!isNetworkSource(config.settings.MessageSource))
        return true;
    if (!createPollWindow()) {
        checkerNote("cannot create the window for network events");
        return false;
    }
    setNetworkWindow(pollWindow);
    loadDialUp();
    return true;
}

static void closeSourceAtExit(void)
{
    if (isNetworkSource(config.settings.MessageSource)) {
        endNetworkWatch();
        abortNetworkPoll();
        hangUpDialUp();
        unloadDialUp();
    }
    if (config.settings.MessageSource == SOURCE_CCMAIL)
        closeVim();
    if (isMapiMessageSource(config.settings.MessageSource))
        closeMapi();
    unloadServiceLibraries();
    if (config.settings.MessageSource == SOURCE_NOTES)
        closeNotes();
}

// One poll moment, then the messages of a network poll until it has ended.
// Ticks go on once a second, as in the notifier, so the network time-outs and
// a dial-up's "poll now" work the same way; a second poll never starts because
// the loop ends with the first one.
static void runOnePoll(void)
{
    notifier.tickCounter = 0;
    TimerProc(pollWindow, WM_TIMER, POLL_TIMER_ID, GetTickCount());
    if (!pollWindow)
        return;

    bool begun = notifier.pollInProgress;
    int idleTicks = 0;
    if (!SetTimer(pollWindow, POLL_TIMER_ID, 1000, NULL))
        return;
    for (;;) {
        if (notifier.pollInProgress)
            begun = true;
        if (begun && !notifier.pollInProgress)
            break;
        // Nothing started: wait only while a dial is on its way (it asks for
        // the poll when the link is up) and a little after it settles.
        if (!begun && notifier.rasState == RAS_IDLE && !pollRequested && idleTicks > 2)
            break;
        MSG message;
        if (GetMessageA(&message, NULL, 0, 0) <= 0)
            break;
        if (message.message == WM_TIMER && message.hwnd == pollWindow && message.wParam == POLL_TIMER_ID) {
            if (!notifier.pollInProgress && notifier.rasState == RAS_IDLE)
                idleTicks++;
            if (!begun && pollRequested && notifier.tickCounter != 0)
                pollRequested = false; // the requested moment has passed
            TimerProc(pollWindow, WM_TIMER, POLL_TIMER_ID, GetTickCount());
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    KillTimer(pollWindow, POLL_TIMER_ID);
}

// --wait: the notifier's cycle goes on, one tick a second, until a poll
// decides there is new mail or the time is up. True for new mail.
static bool waitForNewMail(unsigned seconds)
{
    if (checker.verbose) {
        char text[64];
        formatText(text, sizeof text, "waiting up to %u seconds for new mail", seconds);
        checkerNote(text);
    }
    notifier.lastDecision = DECISION_NONE;
    // A file source has no window: its timer is the thread's, with an id of its own.
    UINT_PTR timer = SetTimer(pollWindow, POLL_TIMER_ID, 1000, NULL);
    if (!timer)
        return false;
    UINT_PTR timerId = pollWindow ? (UINT_PTR)POLL_TIMER_ID : timer;
    DWORD start = GetTickCount();
    bool idling = false;
    while (notifier.lastDecision != DECISION_NEW_MAIL && GetTickCount() - start < seconds * 1000u) {
        if (checker.verbose && netStages.idling != idling) {
            idling = netStages.idling;
            if (idling)
                checkerNote("watching the mailbox (IDLE)");
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TIMER && message.hwnd == pollWindow && message.wParam == timerId)
                TimerProc(pollWindow, WM_TIMER, POLL_TIMER_ID, GetTickCount());
            else
                DispatchMessageA(&message);
        }
    }
    KillTimer(pollWindow, timerId);
    // A poll under way at the end would print a list it has not finished.
    if (notifier.lastDecision != DECISION_NEW_MAIL && notifier.pollInProgress)
        abortNetworkPoll();
    return notifier.lastDecision == DECISION_NEW_MAIL;
}

// With --verbose, what the TLS session of the poll was: protocol, cipher and the
// server certificate's subject and issuer, one line each.
static void printSecureSession(void)
{
    if (!checker.verbose || net.secureDescription[0] == '\0')
        return;
    char line[SECURE_DESCRIPTION_SIZE + 8];
    const char *start = net.secureDescription;
    for (;;) {
        const char *end = strchr(start, '\n');
        size_t length = end ? (size_t)(end - start) : strlen(start);
        formatText(line, sizeof line, "tls %.*s", (int)length, start);
        checkerNote(line);
        if (!end)
            break;
        start = end + 1;
    }
}

// With --verbose, why the server refused an access token, as it said.
static void printSaslStatus(void)
{
    if (!checker.verbose || net.saslStatus[0] == '\0')
        return;
    char line[SASL_STATUS_SIZE + 40];
    formatText(line, sizeof line, "the server refused the token: %s", net.saslStatus);
    checkerNote(line);
}

// --- Sign-in -------------------------------------------------------------------------------

// --sign-in: the browser sign-in on this thread (a console program keeps no
// window waiting), the refresh token stored for the polls that follow.
static int signIn(const Arguments &args)
{
    const Settings &s = config.settings;
    if (!signsInWithOAuth(s.MessageSource, s.Auth)) {
        checkerNote("--sign-in needs a POP3 or IMAP4 source with Auth=1 (OAuth2)");
        return EXIT_FAILED;
    }
    static SignInRequest request;
    static SignInResult result;
    signInRequestFrom(&s, &request);
    request.openBrowser = !args.noBrowser;
    request.waitSeconds = args.signInSeconds;
    char message[SIGN_IN_MESSAGE_SIZE];
    SignInSession *session = beginSignIn(&request, message, sizeof message);
    if (!session) {
        reportError(message);
        return EXIT_FAILED;
    }
    printf("address: %s\n", signInAddress(session));
    fflush(stdout);
    if (request.openBrowser && !signInBrowserOpened(session))
        checkerNote("the browser could not be opened: open the address yourself");
    bool signedIn = finishSignIn(session, NULL, &result);
    endSignIn(session);
    int status = EXIT_FAILED;
    if (!signedIn) {
        reportError(result.message);
    } else if (!saveOAuthToken(result.storedToken)) {
        char text[PATH_SIZE + 64];
        formatText(text, sizeof text, "The sign-in could not be written to %s", config.iniPath);
        reportError(text);
    } else {
        printf("signed in: %s\n", s.Login);
        fflush(stdout);
        status = EXIT_MAIL;
    }
    SecureZeroMemory(&result, sizeof result);
    SecureZeroMemory(&request, sizeof request);
    return status;
}

// --- Output ------------------------------------------------------------------------------

static const char *decisionText(PollDecision decision)
{
    switch (decision) {
    case DECISION_NEW_MAIL: return "new mail";
    case DECISION_FEWER: return "fewer messages";
    case DECISION_NO_MAIL: return "no mail";
    default: return "no change";
    }
}

// The ANSI form as the notifier keeps it, or with --utf8 the wide text as UTF-8.
struct PrintedText {
    char text[4 * HEADER_TEXT_SIZE];
};

static PrintedText headerText(const MessageHeader *header, HeaderField field)
{
    PrintedText out;
    if (checker.utf8) {
        WideChar wide[HEADER_TEXT_SIZE];
        size_t units = headerWideText(header, field, wide);
        wideToUtf8(wide, units, out.text, sizeof out.text);
    } else {
        copyText(out.text, field == FIELD_SUBJECT ? header->subject : header->from);
    }
    return out;
}

static void printResult(void)
{
    printf("count: %d\n", notifier.headerCount);
    printf("result: %s\n", decisionText(notifier.lastDecision));
    for (int i = 0; i < notifier.shownCount && i < HEADER_SLOTS; i++) {
        const MessageHeader &header = mail.shownHeaders[i];
        writeEscaped(stdout, headerText(&header, FIELD_FROM).text);
        fputc('\t', stdout);
        writeEscaped(stdout, headerText(&header, FIELD_SUBJECT).text);
        fputc('\n', stdout);
    }
    fflush(stdout);
}

// --- Start ---------------------------------------------------------------------------------

static void checkerReportError(const char *text)
{
    reportError(text);
}

static bool fileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The notifier would open its setup dialog in these cases; the checker says why.
static bool settingsUsable(bool settingsInvalid)
{
    if (settingsInvalid) {
        checkerNote("the settings are invalid; Pelimbo would open its setup");
        return false;
    }
    if (config.settings.MessageSource == SOURCE_DISK_FILE && config.settings.MailFile[0] == '\0') {
        checkerNote("no mail file is set; Pelimbo would open its setup");
        return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    Arguments args;
    if (!parseArguments(argc, argv, &args)) {
        fputs(usageText, stderr);
        return EXIT_USAGE;
    }
    if (args.help) {
        fputs(usageText, stdout);
        return 0;
    }

    installFrontEnd(&checkerFrontEnd);
    memset(&notifier, 0, sizeof notifier);
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = true;
    config.report = checkerReportError;
    captureStartLocation();

    char arguments[2 * PATH_SIZE];
    notifierArguments(args.iniName, arguments, sizeof arguments);
    IniChoice choice;
    IniChoiceResult chosen = chooseIniFileName(arguments, config.currentDirectory, &choice);
    if (chosen != INI_CHOSEN) {
        reportError(choice.message);
        return EXIT_FAILED;
    }
    // The notifier would create a missing file; the checker writes nothing.
    if (!fileExists(choice.path)) {
        char text[PATH_SIZE + 64];
        formatText(text, sizeof text, "%s\n\n\"%s\"", "Configuration file not found:", choice.path);
        checkerNote(text);
        return EXIT_FAILED;
    }
    copyText(config.iniPath, choice.path);
    if (checker.verbose) {
        char text[PATH_SIZE + 16];
        formatText(text, sizeof text, "INI file: %s", choice.path);
        checkerNote(text);
    }

    if (!allocateMailBuffers()) {
        reportError("Buffer handle allocation failure");
        return EXIT_FAILED;
    }
    bool settingsInvalid = loadSettings(config.iniPath);
    loadFilterList(config.iniPath);
    loadWavBaseList(config.iniPath);
    if (args.signIn) {
        int signedIn = signIn(args);
        freeFilterList(&config.filterList);
        freeWavBaseList(&config.wavBaseList);
        freeMailBuffers();
        return signedIn;
    }
    if (!settingsUsable(settingsInvalid)) {
        freeMailBuffers();
        return EXIT_FAILED;
    }
    // The checker polls whether or not a mail reader runs.
    config.settings.SuspendPoll = false;
    config.settings.DetectReader = false;
    // One poll keeps no connection open.
    if (!args.waitSeconds)
        config.settings.Idle = false;

    int status = EXIT_FAILED;
    if (initialiseSource()) {
        int boxesBefore = checker.boxCount;
        runOnePoll();
        printSecureSession();
        printSaslStatus();
        bool polled = notifier.lastDecision != DECISION_NONE;
        if (!polled && !notifier.pollFailed && checker.boxCount == boxesBefore)
            checkerNote("no poll was made");
        // The notifier stays silent when a server hangs up; a failed check says why.
        if (notifier.pollFailed && checker.boxCount == boxesBefore
            && isNetworkSource(config.settings.MessageSource) && net.serverHungUp)
            checkerNote("the server closed the connection");
        bool failed = notifier.pollFailed || !polled;
        if (failed)
            status = EXIT_FAILED;
        else if (args.waitSeconds)
            status = waitForNewMail(args.waitSeconds) ? EXIT_MAIL : EXIT_NO_MAIL;
        else
            status = notifier.headerCount > 0 ? EXIT_MAIL : EXIT_NO_MAIL;
        printResult();
        closeSourceAtExit();
    }
    freeFilterList(&config.filterList);
    freeWavBaseList(&config.wavBaseList);
    freeMailBuffers();
    return status;
}
