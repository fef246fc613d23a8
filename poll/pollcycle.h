// The poll cycle's entry points: the tick and the mail-file measure rule.
#ifndef PELIMBO_POLL_POLLCYCLE_H
#define PELIMBO_POLL_POLLCYCLE_H

#include "core/core.h"

// One tick of the one-second poll timer (the body of TimerProc).
void pollTick(void);

// The mail-file measure rule: re-reads the mail files when their size says so.
void pollMailFileSource(void);

// Opens the session a service source keeps between polls (cc:Mail, the MAPI
// sources, Notes); the other sources need nothing before their first poll.
void openSourceSession(void);

#endif
