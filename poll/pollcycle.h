// The poll cycle's entry points: the tick and the mail-file measure rule.
#ifndef PELIMBO_POLL_POLLCYCLE_H
#define PELIMBO_POLL_POLLCYCLE_H

#include "core/core.h"

// What the poll cycle keeps of its own: the watch's poll that had to wait, and
// the quiet retries after a lost watch or a resume.
struct PollCycleState {
    bool newsWaiting;      // the watch was told of a change while no poll could start
    unsigned retryPause;   // seconds before the next retry: 5, 10, 20 ... at most PollInterval
    bool retryPollRunning; // a retry has started and not ended yet
    unsigned watchRenewal; // seconds an IDLE lasts before it is renewed (tests shorten it)
};

enum {
    WATCH_RENEWAL_SECONDS = 600, // well inside the 29 minutes a server keeps an IDLE
    FIRST_RETRY_PAUSE = 5,
};

extern PollCycleState pollCycle;

// One tick of the one-second poll timer (the body of TimerProc).
void pollTick(void);

// WM_MAILBOXCHANGED: polls at once when a poll may start, else at the first
// tick that allows one.
void pollOnMailboxChange(void);

// The computer woke up: every connection died with the sleep; polls at the
// next tick, and a network poll that finds no network yet retries quietly.
void pollAfterResume(void);

// The mail-file measure rule: re-reads the mail files when their size says so.
void pollMailFileSource(void);

// Opens the session a service source keeps between polls (cc:Mail, the MAPI
// sources, Notes); the other sources need nothing before their first poll.
void openSourceSession(void);

#endif
