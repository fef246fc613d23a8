// Times network polls against the private Dovecot: from startNetworkPoll to
// the commit, with the bytes received and the header bytes collected; or a
// soak of many polls, comparing handles, GUI objects and private bytes after
// the first 10 polls with those at the end. With "tls" the polls run TLS from
// the first byte (Security 2) with TRUSTFILE as the extra root.
//   net_bench pop3|imap PORT USER POLLS [soak] [tls TRUSTFILE]
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config/config.h"
#include "mail/mail.h"
#include "core/frontend.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "sources/sources.h"

static double seconds(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// Where a poll's time goes: the moments it was connected, secure (the same
// for plain text) and had its first header bytes, and the time spent in the
// socket handlers (receiving, parsing, sending) against the time waiting for
// the next notification.
static struct {
    double start, connected, secure, firstHeader, inHandlers;
    unsigned long notifications;
} trace;

static void traceSocketMessage(WPARAM wParam, LPARAM lParam)
{
    double before = seconds();
    if ((lParam & 0xFFFF) == NET_CONNECT && trace.connected == 0)
        trace.connected = before - trace.start;
    handleSocketMessage(wParam, lParam);
    double after = seconds();
    if (netStages.awaitingServer && trace.secure == 0)
        trace.secure = after - trace.start;
    if (net.headerBytesCollected > 0 && trace.firstHeader == 0)
        trace.firstHeader = after - trace.start;
    trace.inHandlers += after - before;
    trace.notifications++;
}

static LRESULT CALLBACK benchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SOCKET: traceSocketMessage(wParam, lParam); return 0;
    case WM_HOSTRESOLVED: handleHostResolved(wParam, lParam); return 0;
    case WM_STARTCONNECT: handleStartConnect(); return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

static void CALLBACK tickProc(HWND, UINT, UINT_PTR, DWORD)
{
    pollTick();
}

static void runPoll(void)
{
    memset(&trace, 0, sizeof trace);
    trace.start = seconds();
    startNetworkPoll();
    MSG msg;
    while (notifier.pollInProgress && GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

struct Usage {
    long handles; // -1: the platform does not say
    DWORD gdi, user;
    SIZE_T privateBytes;
};

static Usage usage(void)
{
    Usage u;
    DWORD handles = 0;
    u.handles = GetProcessHandleCount(GetCurrentProcess(), &handles) ? (long)handles : -1;
    u.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    u.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS pmc;
    memset(&pmc, 0, sizeof pmc);
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    u.privateBytes = pmc.PagefileUsage; // the process's private committed bytes
    return u;
}

// The front end of a program without a window: errors are printed.
static void printError(const char *text)
{
    printf("error: %s\n", text);
}

uint64_t mailFileSizeTotal(void)
{
    return 0;
}
void pollMailFile(void)
{
}

int main(int argc, char **argv)
{
    FrontEnd printing = nullFrontEnd;
    printing.showError = printError;
    installFrontEnd(&printing);
    if (argc < 5) {
        fprintf(stderr, "usage: net_bench pop3|imap PORT USER POLLS [soak] [tls TRUSTFILE]\n");
        return 2;
    }
    bool imapSource = strcmp(argv[1], "imap") == 0;
    int polls = atoi(argv[4]);
    bool soak = false;
    const char *trustFile = NULL;
    for (int i = 5; i < argc; i++) {
        if (strcmp(argv[i], "soak") == 0) {
            soak = true;
        } else if (strcmp(argv[i], "tls") == 0 && i + 1 < argc) {
            trustFile = argv[++i];
        } else {
            fprintf(stderr, "net_bench: unknown argument %s\n", argv[i]);
            return 2;
        }
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = benchWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "PelimboNetBench";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowExA(0, "PelimboNetBench", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
    setNetworkWindow(window);
    SetTimer(NULL, 0, 1000, tickProc);
    allocateMailBuffers();

    Settings &s = config.settings;
    s.MessageSource = imapSource ? SOURCE_IMAP4 : SOURCE_POP3;
    s.PollInterval = 100000;
    s.NetErrors = true;
    s.InactivityTimeout = 30;
    s.ConnectTimeout = 30;
    s.WinSockInitTimeout = 30;
    s.POP3Port = s.IMAP4Port = (unsigned)atoi(argv[2]);
    s.UnreadOnly = true; // every message is examined
    s.directConnection = true;
    copyText(s.Connection, "<Direct connection>");
    copyText(s.MailHost, "127.0.0.1");
    copyText(s.Login, argv[3]);
    copyText(s.plainPassword, "secret");
    if (trustFile) {
        s.Security = SECURITY_TLS;
        copyText(s.TrustFile, trustFile);
    }
    notifier.tickCounter = 1;

    Usage after10 = {};
    double total = 0, best = 1e9;
    for (int i = 0; i < polls; i++) {
        net.bytesReceived = 0;
        net.headerBytesCollected = 0;
        net.secureBytesReceived = 0;
        net.secureRecordsOpened = 0;
        double start = seconds();
        runPoll();
        double took = seconds() - start;
        total += took;
        best = took < best ? took : best;
        if (i == 9)
            after10 = usage();
        if (!soak) {
            // The plain reply bytes, as the reference counts them; under TLS
            // also what crossed the socket and in how many records.
            char wire[96] = "";
            if (trustFile)
                snprintf(wire, sizeof wire, ", %llu on the wire in %lu records", net.secureBytesReceived,
                         net.secureRecordsOpened);
            printf("poll %d: %.3f s, %d messages, %llu bytes received%s, %llu header bytes (connected %.3f, "
                   "secure %.3f, first header %.3f; %.3f s in handlers over %lu notifications)\n",
                   i + 1, took, notifier.headerCount, net.bytesReceived, wire, net.headerBytesCollected,
                   trace.connected, trace.secure, trace.firstHeader, trace.inHandlers, trace.notifications);
        }
    }
    if (soak) {
        Usage end = usage();
        printf("soak %d polls, %.3f s each on average\n", polls, total / polls);
        printf("after 10 polls: handles %ld, GDI %lu, USER %lu, private bytes %lu\n", after10.handles,
               after10.gdi, after10.user, (unsigned long)after10.privateBytes);
        printf("after %d polls: handles %ld, GDI %lu, USER %lu, private bytes %lu\n", polls, end.handles,
               end.gdi, end.user, (unsigned long)end.privateBytes);
        fflush(stdout);
    } else {
        printf("best %.3f s\n", best);
    }
    return 0;
}

// The reader's windows are raised by the window program; there are none here.
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    return TRUE;
}
