// Entry points of the message sources that the poll cycle dispatches to, the
// network stage flags it times out, and the deletion rule every source keeps.
#ifndef PELIMBO_SOURCES_SOURCES_H
#define PELIMBO_SOURCES_SOURCES_H

#include <stddef.h>
#include <stdint.h>

#include "mail/mail.h"

// The stage a network poll is waiting in; the poll cycle counts seconds in the
// first stage that is set and ends the poll when its time-out passes.
struct NetworkStages {
    bool winSockStarting; // WinSock initialisation not yet complete
    bool connecting;      // connect issued, no answer yet
    bool handshaking;     // TLS handshake under way (timed as the connect)
    bool refreshing;      // an access token is being fetched (timed as the connect)
    bool awaitingServer;  // waiting for the server's next reply
    // The watch (IMAP4 IDLE): the connection outlives its poll.
    bool watching;  // the connection is kept between polls (set until it closes)
    bool idleReply; // IDLE or DONE sent, the server's answer awaited (ConnectTimeout)
    bool idling;    // IDLE in force, renewed after the renewal interval
};

extern NetworkStages netStages;

// A run of failed network polls after a lost watch or a resume, which the poll
// cycle retries quietly: one error stands for the whole outage.
struct NetOutage {
    bool watchLost; // the watch failed: the poll cycle polls again at the next tick
    bool retrying;  // the poll cycle is retrying
    bool reported;  // the run's first error has gone through reportNetError
};

extern NetOutage netOutage;

void startNetworkPoll(void);   // POP3 and IMAP4, asynchronous
void abandonWinSockInit(void); // reports and finishes the poll
void abandonTokenRefresh(void); // the token service took too long: reports and ends the poll
void closeConnection(void);
void endNetworkPoll(void);   // finishPoll, then hang up when asked to
void abortNetworkPoll(void); // at exit and resume: cancel lookup, close (a watch too), end the poll
// The watch (IMAP4 IDLE between polls). Setup, exit, the end of the session
// and a suspend end it with DONE and LOGOUT; the poll cycle renews it and
// ends it when a renewal goes unanswered.
void endNetworkWatch(void);
void renewNetworkWatch(void);
// The watch failed: closed without a word, and netOutage.watchLost set.
void loseNetworkWatch(void);
// True for a direct connection, or when the dial-up entry is connected.
bool dialUpLinkUsable(void);
// After setup changed the host, port or login: look the host up again.
void forgetHostAddress(void);

// The main window hands its private socket messages here (wParam, lParam of
// WM_SOCKET and WM_HOSTRESOLVED).
void handleSocketMessage(uintptr_t wParam, intptr_t lParam);
void handleHostResolved(uintptr_t wParam, intptr_t lParam);
void handleStartConnect(void);
// WM_TOKENDONE: the token layer's job (lParam) is back.
void handleTokenDone(uintptr_t wParam, intptr_t lParam);

// The dial-up link of the network sources.
bool loadDialUp(void);   // at start and after setup, sources 7 and 8
void unloadDialUp(void); // before the setup dialog and at exit
void hangUpDialUp(void); // only a connection this program dialled
// The network source was left in setup: hangs up a link dialled for it, then
// unloads the dial-up interface.
void leaveDialUp(void);
// Once a second: a dial that has not reported back within ConnectTimeout is
// hung up and reported.
void dialUpTick(void);
// The dial-up service's notification; may arrive on another thread.
void onDialEvent(unsigned message, unsigned state, unsigned error);

// Asks for the password of the dial-up entry (the "Enter password for %s:"
// prompt with the "&Save" box). Fills password (size bytes) and *save; false
// when cancelled. The window program installs its dialog here; without one the
// dial is skipped as if the prompt had been cancelled.
typedef bool (*DialUpPasswordPrompt)(const char *entryName, char *password, size_t size, bool *save);
void setDialUpPasswordPrompt(DialUpPasswordPrompt prompt);

#ifdef _WIN32
// The window that receives the socket notifications and the host lookup (the
// main window in the program, a message-only window in tests). Also puts the
// platform's WinSock and RAS layers in place.
struct HWND__;
void setNetworkWindow(struct HWND__ *window);
#endif

// --- Mail-file source --------------------------------------------------------------------
// Total size of the mail files that match mailPath (0 when none match).
uint64_t mailFileSizeTotal(void);
// Reads the mail files and ends with publishPollResult (or finishPoll on failure).
void pollMailFile(void);

// --- Deletions ------------------------------------------------------------------------------
// A message a Delete filter matched: asks when ConfirmDeletes is on; true to delete.
bool shouldDeleteMessage(const MessageHeader *record, const FilterEntry *entry);
// Appends the deleted message to the deletions log when LogDeletes is on.
void logDeletion(const MessageHeader *record, const FilterEntry *entry);

// A network error for the user: shown when NetErrors is on and the dial-up link
// is usable (errors while the link is down would only say that).
void reportNetError(const char *text);

// --- Service sources ------------------------------------------------------------------------
void pollNotes(void); // sources/notes.h: openNotes, closeNotes

// The service sources: cc:Mail through VIM (source 2) and the Simple MAPI
// sources (4, 5, 6). Open at start and after setup, closed at exit and when
// setup changes the source or its credentials; the libraries stay loaded until
// unloadServiceLibraries at exit.
void openVim(void);
void closeVim(void);
void pollVim(void);
void reportVimStatus(long status);
void openMapi(void);
void closeMapi(void);
void pollMapi(void);
void unloadServiceLibraries(void);
bool mapiSessionOpen(void);
bool vimSessionOpen(void);
inline bool isMapiMessageSource(unsigned source)
{
    return source == 4 || source == 5 || source == 6; // Microsoft Mail, Windows Messaging, GroupWise
}
#ifdef _WIN32
void setServiceWindow(struct HWND__ *window);
#endif

#endif
