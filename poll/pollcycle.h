// The poll cycle's entry points: the tick and the mail-file measure rule.
#ifndef PELIMBO_POLL_POLLCYCLE_H
#define PELIMBO_POLL_POLLCYCLE_H

#include "core/core.h"

// One tick of the one-second poll timer (the body of TimerProc).
void pollTick(void);

// The mail-file measure rule: re-reads the mail files when their size says so.
void pollMailFileSource(void);

#endif
