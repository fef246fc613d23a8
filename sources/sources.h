// Entry points of the message sources that the poll cycle dispatches to, and
// the network stage flags it times out.
#ifndef PELIMBO_SOURCES_SOURCES_H
#define PELIMBO_SOURCES_SOURCES_H

// The stage a network poll is waiting in; the poll cycle counts seconds in the
// first stage that is set and ends the poll when its time-out passes.
struct NetworkStages {
    bool winSockPending;        // WinSock initialisation not yet complete
    bool connecting;            // connect issued, no answer yet
    bool waitingForServer;      // waiting for the server's next reply
};

extern NetworkStages netStages;

void startNetworkPoll(void);            // POP3 and IMAP4, asynchronous
void abandonWinSockInit(void);          // reports and finishes the poll
void closeConnection(void);
void endNetworkPoll(void);              // finishPoll, then hang up when asked to
bool dialUpLinkUsable(void);            // a direct connection, or the entry is connected

void pollCcMail(void);
void pollNotes(void);
void pollMapi(void);

#endif
