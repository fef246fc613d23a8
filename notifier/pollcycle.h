// The poll cycle's own entry points besides the poll contract of notifier.h.
#ifndef PELIMBO_NOTIFIER_POLLCYCLE_H
#define PELIMBO_NOTIFIER_POLLCYCLE_H

#include "notifier/notifier.h"

enum {
    // The status text is also the window caption, so it holds a whole mail
    // file name; only the tooltip (63 characters) cuts it.
    STATUS_TEXT_SIZE = 300,
    EXPANDED_CAPTION_SIZE = 51, // WindowCaption with "%n" replaced: 50 characters
    CAPTION_TEXT_SIZE = 300,    // "Pelimbo - " and a mail file name
};

// One tick of the one-second poll timer (the body of TimerProc).
void pollTick(void);

// Steps 1 to 4 of publishing a result: counts, commit, layout mark, decision.
// Network polls use it with the message count itself.
void commitPollResult(int count, bool force);

// The mail-file measure rule: re-reads the mail files when their size says so.
void pollMailFileSource(void);

const char *statusText(void);
const char *captionText(void);
const char *expandCaptionCount(const char *caption, int count);

#endif
