// Delivery-to-notification latency against the private Dovecot: another
// client (a blocking IMAP4 connection on a thread of its own) appends
// MESSAGES messages, and each is timed from the moment its last byte was sent
// to the new-mail notification that first lists it. First with the watch
// (Idle on: an append waits for the one before it to be noticed, then 1 to 3
// seconds), then with plain polling (Idle off: appends every 3 to 27 seconds,
// 15 on average, so they fall anywhere in the interval), both at
// PollInterval 60, in one process and with one seeded sequence of pauses.
//   idle_bench PORT USER MESSAGES
// Prints one line per message, then per mode "MODE: median M s, maximum X s,
// N messages" (a message never noticed counts as the time waited for it).
// With the watch the time is also split where the server's word reached the
// socket: "told" (delivery to that word: the server's own delay) and "shown"
// (that word to the notification: Pelimbo's part).
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config.h"
#include "core/frontend.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "sources/sources.h"

namespace
{

const unsigned pollInterval = 60;

double seconds(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// When the last word of the server reached the watch while it was idling.
double idleWordAt = -1;

void socketMessage(WPARAM wParam, LPARAM lParam)
{
    if (netStages.idling && (lParam & 0xFFFF) == NET_READ)
        idleWordAt = seconds();
    handleSocketMessage(wParam, lParam);
}

LRESULT CALLBACK benchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SOCKET: socketMessage(wParam, lParam); return 0;
    case WM_HOSTRESOLVED: handleHostResolved(wParam, lParam); return 0;
    case WM_STARTCONNECT: handleStartConnect(); return 0;
    case WM_MAILBOXCHANGED: pollOnMailboxChange(); return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void CALLBACK tickProc(HWND, UINT, UINT_PTR, DWORD)
{
    pollTick();
}

// Runs the thread's messages (the tick among them) for a while, or until done().
template <typename Done>
void pumpFor(double limit, Done done)
{
    double start = seconds();
    while (!done() && seconds() - start < limit) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// --- The other client ----------------------------------------------------------------------

struct Appender {
    SOCKET socket = INVALID_SOCKET;
    int tag = 0;

    bool readUntil(const char *wanted, std::string *reply)
    {
        char c;
        std::string line;
        while (recv(socket, &c, 1, 0) == 1) {
            line += c;
            if (c != '\n')
                continue;
            if (reply)
                *reply += line;
            if (line.compare(0, strlen(wanted), wanted) == 0)
                return true;
            line.clear();
        }
        return false;
    }
    bool sendText(const std::string &text)
    {
        return send(socket, text.data(), (int)text.size(), 0) == (int)text.size();
    }
    std::string nextTag(void)
    {
        char text[16];
        snprintf(text, sizeof text, "b%d", ++tag);
        return text;
    }
    bool open(unsigned port, const char *user)
    {
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((u_short)port);
        a.sin_addr.s_addr = htonl(0x7F000001);
        if (connect(socket, (sockaddr *)&a, sizeof a) != 0 || !readUntil("* OK", NULL))
            return false;
        std::string t = nextTag();
        return sendText(t + " LOGIN " + user + " secret\r\n") && readUntil((t + " OK").c_str(), NULL);
    }
    // The moment the message's last byte went, or a negative number.
    double append(const std::string &subject)
    {
        std::string message = "From: \"Other Client\" <other@example.org>\r\nSubject: " + subject
                              + "\r\nMessage-ID: <" + subject.substr(subject.rfind(' ') + 1)
                              + "@bench>\r\n\r\nAppended by another client.\r\n";
        std::string t = nextTag();
        char command[64];
        snprintf(command, sizeof command, "%s APPEND INBOX {%u}\r\n", t.c_str(), (unsigned)message.size());
        if (!sendText(command) || !readUntil("+", NULL) || !sendText(message + "\r\n"))
            return -1;
        double sent = seconds();
        return readUntil((t + " OK").c_str(), NULL) ? sent : -1;
    }
};

// The appends run on their own thread, so the window thread that watches
// is never the one waiting for the other client's server.
struct AppendJob {
    Appender *appender;
    std::string subject;
    double sent;
};

DWORD WINAPI appendThread(LPVOID parameter)
{
    AppendJob *job = static_cast<AppendJob *>(parameter);
    job->sent = job->appender->append(job->subject);
    return 0;
}

// --- What the notifier shows ------------------------------------------------------------

struct Arrival {
    std::string subject;
    double sent = -1;     // the append's last byte
    double noticed = -1;  // the notification that first listed it
    double told = -1;     // with the watch: the server's word that led to it
    HANDLE thread = NULL; // the append, until joined
    AppendJob job;
};

std::vector<Arrival> arrivals;

void noteHaveMail(bool notify)
{
    if (!notify)
        return;
    double now = seconds();
    for (int i = 0; i < notifier.shownCount && i < HEADER_SLOTS; i++)
        for (Arrival &a : arrivals)
            if (a.noticed < 0 && a.subject == mail.shownHeaders[i].subject) {
                a.noticed = now;
                a.told = config.settings.Idle ? idleWordAt : -1;
            }
}

void printError(const char *text)
{
    printf("error: %s\n", text);
}

void startAppend(Appender *appender, Arrival *a)
{
    a->job = {appender, a->subject, -1};
    a->thread = CreateThread(NULL, 0, appendThread, &a->job, 0, NULL);
}

void joinAppend(Arrival *a)
{
    if (!a->thread)
        return;
    WaitForSingleObject(a->thread, 30000);
    CloseHandle(a->thread);
    a->thread = NULL;
    a->sent = a->job.sent;
}

struct Latencies {
    std::vector<double> total, told, shown;
};

// One mode: the first poll, then the appends; the latencies, seconds.
Latencies runMode(const char *mode, bool watch, Appender *appender, int count)
{
    config.settings.Idle = watch;
    arrivals.assign((size_t)count, Arrival());
    notifier.lastDecision = DECISION_NONE;
    notifier.tickCounter = 0; // the first poll at the next tick
    pumpFor(30, [watch] { return watch ? netStages.idling : notifier.lastDecision != DECISION_NONE; });
    if (watch && !netStages.idling) {
        printf("%s: the watch did not start\n", mode);
        return Latencies();
    }
    double start = seconds();
    for (int i = 0; i < count; i++) {
        Arrival &a = arrivals[(size_t)i];
        a.subject = std::string("Bench ") + mode + " " + std::to_string(i + 1);
        if (watch) {
            pumpFor(1 + (rand() % 2001) / 1000.0, [] { return false; });
            startAppend(appender, &a);
            pumpFor(10, [&a] { return a.noticed >= 0; });
            joinAppend(&a);
        } else {
            startAppend(appender, &a);
            joinAppend(&a); // the next append waits for this one, not for the poll
            pumpFor(3 + (rand() % 24001) / 1000.0, [] { return false; });
        }
    }
    pumpFor(2.0 * pollInterval, [] {
        return std::all_of(arrivals.begin(), arrivals.end(), [](const Arrival &a) { return a.noticed >= 0; });
    });
    double end = seconds();
    Latencies latencies;
    for (const Arrival &a : arrivals) {
        double latency = a.noticed >= 0 ? a.noticed - a.sent : end - a.sent;
        latencies.total.push_back(latency);
        char split[64] = "";
        if (a.told >= a.sent) {
            latencies.told.push_back(a.told - a.sent);
            latencies.shown.push_back(a.noticed - a.told);
            snprintf(split, sizeof split, " (told after %.3f s, shown %.3f s later)", a.told - a.sent,
                     a.noticed - a.told);
        }
        printf("%s: %-22s %8.3f s%s%s\n", mode, a.subject.c_str(), latency, split,
               a.noticed >= 0 ? "" : " (never noticed)");
    }
    printf("%s: %.0f s for %d messages\n", mode, end - start, count);
    return latencies;
}

void summary(const char *mode, std::vector<double> latencies)
{
    if (latencies.empty()) {
        printf("%s: no figures\n", mode);
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    size_t n = latencies.size();
    double median = n % 2 ? latencies[n / 2] : (latencies[n / 2 - 1] + latencies[n / 2]) / 2;
    printf("%s: median %.3f s, maximum %.3f s, %u messages\n", mode, median, latencies.back(), (unsigned)n);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: idle_bench PORT USER MESSAGES\n");
        return 2;
    }
    unsigned port = (unsigned)atoi(argv[1]);
    int count = atoi(argv[3]);
    FrontEnd table = nullFrontEnd;
    table.showError = printError;
    table.showHaveMail = noteHaveMail;
    installFrontEnd(&table);
    srand(22);

    WSADATA data;
    WSAStartup(0x0202, &data);
    Appender appender;
    if (!appender.open(port, argv[2])) {
        fprintf(stderr, "idle_bench: the other client cannot log in on port %u\n", port);
        return 1;
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = benchWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "PelimboIdleBench";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowExA(0, "PelimboIdleBench", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
    setNetworkWindow(window);
    SetTimer(NULL, 0, 1000, tickProc);
    allocateMailBuffers();

    Settings &s = config.settings;
    s.MessageSource = SOURCE_IMAP4;
    s.PollInterval = pollInterval;
    s.NetErrors = true;
    s.InactivityTimeout = 30;
    s.ConnectTimeout = 30;
    s.WinSockInitTimeout = 30;
    s.IMAP4Port = port;
    s.directConnection = true;
    copyText(s.Connection, "<Direct connection>");
    copyText(s.MailHost, "127.0.0.1");
    copyText(s.Login, argv[2]);
    copyText(s.plainPassword, "secret");
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = true;
    notifier.tickCounter = 1;

    Latencies watched = runMode("watch", true, &appender, count);
    endNetworkWatch();
    Latencies polled = runMode("poll", false, &appender, count);
    summary("watch", watched.total);
    summary("watch told", watched.told);
    summary("watch shown", watched.shown);
    summary("poll", polled.total);
    fflush(stdout);
    closesocket(appender.socket);
    WSACleanup();
    return 0;
}

// The reader's windows are raised by the window program; there are none here.
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    return TRUE;
}
