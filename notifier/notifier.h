// The notifier core: process-wide state, the poll contract every source keeps,
// error reporting, the private window messages and the system-menu commands.
#ifndef PELIMBO_NOTIFIER_NOTIFIER_H
#define PELIMBO_NOTIFIER_NOTIFIER_H

#include <stddef.h>
#include <stdint.h>

// Private messages of the main window (WM_USER is 0x400).
enum {
    WM_SOCKET = 0x400 + 1,
    WM_HOSTRESOLVED = 0x400 + 2,
    WM_STARTCONNECT = 0x400 + 3,
    WM_TRAYNOTIFY = 0x400 + 4,
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
};

// Commands parked while a poll runs.
enum PendingCommand {
    PENDING_NONE = 0,
    PENDING_ABOUT = 1,
    PENDING_SETUP = 2,
    PENDING_LAUNCH_READER = 3,
    PENDING_EXIT = 4,
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
    uint8_t rasState;
    bool blinkPhase;
    bool iconRevealed;
    int awayTicks;
    int stageTicks;
    bool layoutDirty; // header layout must be recomputed before painting
    PollDecision lastDecision;
    bool pollFailed;   // the last poll ended through an error
    int sourceCounter; // the one source counter resetMailState clears
    // The toggling system-menu item: MENU_CLEAR or MENU_SHOW, and whether
    // "C&lear" is grayed. Kept by the mail-state changes of the front end.
    int clearItem;
    bool clearGrayed;
    bool pollWaitOpen; // the "Waiting to complete mail poll..." notice is up
};

extern NotifierState notifier;

// --- Poll contract -----------------------------------------------------------------
void beginPoll(void);
void finishPoll(void);
void publishPollResult(int lastIndex, bool force);
void resetMailState(void);
// A poll that failed after beginPoll: finishPoll, remembering the failure.
void failPoll(void);

// --- Error reporting --------------------------------------------------------------------
void reportError(const char *text);
void reportNetError(const char *text);
// Asks Yes/No with the error-box flag set, so no poll starts underneath.
bool askQuestion(const char *text);

// An exit request is pending (synchronous sources stop early).
inline bool exitRequested(void)
{
    return notifier.pendingCommand == PENDING_EXIT;
}

#endif
