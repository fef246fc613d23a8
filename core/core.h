// The poll core: the process-wide state, the poll contract every source keeps,
// error reporting, the status texts, the private window messages and the
// system-menu commands. Front ends show what it decides through the table of
// core/frontend.h; nothing here needs a window.
#ifndef PELIMBO_CORE_CORE_H
#define PELIMBO_CORE_CORE_H

#include <stddef.h>
#include <stdint.h>

// Private messages of the main window (WM_USER is 0x400).
enum {
    WM_SOCKET = 0x400 + 1,
    WM_HOSTRESOLVED = 0x400 + 2,
    WM_STARTCONNECT = 0x400 + 3,
    WM_TRAYNOTIFY = 0x400 + 4,
    WM_TOKENDONE = 0x400 + 5,      // the token service has answered (lParam: the job)
    WM_MAILBOXCHANGED = 0x400 + 6, // the watch was told of a change: poll when a poll may start
};

// System-menu command identifiers.
enum MenuCommand {
    MENU_POLL_NOW = 1,
    MENU_SETUP = 2,
    MENU_ABOUT = 3,
    MENU_CLEAR = 4,
    MENU_SHOW = 5,
    MENU_HELP = 6,
    MENU_EXIT = 7,
    MENU_MOVE_SUBSTITUTE = 8,
    MENU_PASSWORD = 9,
    MENU_SIGN_IN = 10, // "Sign &in..." while Auth is 1
};

// Commands parked while a poll runs.
enum PendingCommand {
    PENDING_NONE = 0,
    PENDING_ABOUT = 1,
    PENDING_SETUP = 2,
    PENDING_LAUNCH_READER = 3,
    PENDING_EXIT = 4,
    PENDING_SIGN_IN = 5,
};

// What the dial-up link is doing (notifier.rasState); the status text says so.
enum DialUpActivity {
    RAS_IDLE = 0,
    RAS_DIALING = 1,    // "Dialing..."
    RAS_HANGING_UP = 2, // "Hangup..."
};

// How the last poll cycle ended (for the checker and tests).
enum PollDecision {
    DECISION_NONE = 0, // no poll has been committed
    DECISION_NO_MAIL,
    DECISION_NEW_MAIL,
    DECISION_FEWER,
    DECISION_NO_CHANGE,
};

struct NotifierState {
    unsigned tickCounter;
    bool tickBusy;
    bool pollInProgress;
    bool modalOpen;
    bool errorBoxOpen;
    int placementDepth;
    uint8_t pendingCommand;
    bool haveMail;
    long long mailMeasure;
    int headerCount;
    int shownCount;
    int newCount; // messages that were new at the last new-mail decision
    uint8_t rasState; // DialUpActivity
    bool blinkPhase;
    bool iconRevealed;
    int awayTicks;
    int stageTicks;
    bool layoutDirty; // header layout must be recomputed before painting
    PollDecision lastDecision;
    bool pollFailed;   // the last poll ended through an error
    int sourceCounter; // the one source counter resetMailState clears
    // The toggling system-menu item: MENU_CLEAR or MENU_SHOW, and whether
    // "C&lear" is grayed. Kept by enterNoMailState and enterHaveMailState.
    int clearItem;
    bool clearGrayed;
    bool pollWaitOpen; // the "Waiting to complete mail poll..." notice is up
};

extern NotifierState notifier;

enum {
    // The status text is also the window caption, so it holds a whole mail
    // file name; only the tooltip (63 characters) cuts it.
    STATUS_TEXT_SIZE = 300,
    EXPANDED_CAPTION_SIZE = 51, // WindowCaption with "%n" replaced: 50 characters
    CAPTION_TEXT_SIZE = 300,    // "Pelimbo - " and a mail file name
};

// --- Poll contract -----------------------------------------------------------------
void beginPoll(void);
void finishPoll(void);
void publishPollResult(int lastIndex, bool force);
void resetMailState(void);
// A poll that failed after beginPoll: finishPoll, remembering the failure.
void failPoll(void);

// Steps 1 to 4 of publishing a result: counts, commit, layout mark, decision.
// Network polls use it with the message count itself.
void commitPollResult(int count, bool force);

// --- Mail states -----------------------------------------------------------------------
// The no-mail state (with or without its actions) and the have-mail state (with
// or without notification). Each keeps the state the poll cycle reads back (the
// toggling Clear/Show item, the counts on a real no-mail change, the forgotten
// mail-file snapshot) and then has the front end show the change, so every
// front end leaves the same state behind.
void enterNoMailState(bool actions);
void enterHaveMailState(bool notify);

// --- Error reporting --------------------------------------------------------------------
void reportError(const char *text);
// Asks Yes/No with the error-box flag set, so no poll starts underneath.
bool askQuestion(const char *text);

// An exit request is pending (synchronous sources stop early).
inline bool exitRequested(void)
{
    return notifier.pendingCommand == PENDING_EXIT;
}

// --- Status texts ----------------------------------------------------------------------
const char *statusText(void);
const char *captionText(void);
const char *expandCaptionCount(const char *caption, int count);

#endif
