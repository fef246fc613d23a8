// Entry points of the message sources that the poll cycle dispatches to, and
// the network stage flags it times out.
#ifndef PELIMBO_SOURCES_SOURCES_H
#define PELIMBO_SOURCES_SOURCES_H

#include <stdint.h>

// The stage a network poll is waiting in; the poll cycle counts seconds in the
// first stage that is set and ends the poll when its time-out passes.
struct NetworkStages {
    bool winSockStarting;        // WinSock initialisation not yet complete
    bool connecting;            // connect issued, no answer yet
    bool awaitingServer;      // waiting for the server's next reply
};

extern NetworkStages netStages;

void startNetworkPoll(void);            // POP3 and IMAP4, asynchronous
void abandonWinSockInit(void);          // reports and finishes the poll
void closeConnection(void);
void endNetworkPoll(void);              // finishPoll, then hang up when asked to
void abortNetworkPoll(void);            // at exit: cancel lookup, close, end the poll
bool dialUpLinkUsable(void);            // a direct connection, or the entry is connected

// The main window hands its private socket messages here (wParam, lParam of
// WM_SOCKET and WM_HOSTRESOLVED).
void handleSocketMessage(uintptr_t wParam, intptr_t lParam);
void handleHostResolved(uintptr_t wParam, intptr_t lParam);
void handleStartConnect(void);

void pollCcMail(void);
void pollNotes(void);
void pollMapi(void);

#endif
