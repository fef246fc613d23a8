// The network transport and the service sources are not part of this build
// yet: a poll of them does nothing. The stage hooks keep their contract (a
// failed stage reports and ends the poll) so the poll cycle's time-outs work.
#include "sources/sources.h"

#include "notifier/notifier.h"

NetworkStages netStages;

void startNetworkPoll(void) {}

void abandonWinSockInit(void)
{
    netStages.winSockStarting = false;
    reportError("Error or timeout initializing WinSock");
    failPoll();
}

void closeConnection(void)
{
    netStages.connecting = false;
    netStages.awaitingServer = false;
}

void endNetworkPoll(void)
{
    finishPoll();
}

void abortNetworkPoll(void) {}
bool dialUpLinkUsable(void) { return true; }
void handleSocketMessage(uintptr_t wParam, intptr_t lParam) {}
void handleHostResolved(uintptr_t wParam, intptr_t lParam) {}
void handleStartConnect(void) {}
void pollCcMail(void) {}
void pollNotes(void) {}
void pollMapi(void) {}
