// The checker's side of the seam the poll cycle and the sources call: no window,
// no box, no sound. Texts go to stderr; the mail-state changes keep only the
// bookkeeping the poll cycle reads back.
#include "checker/checker.h"

#include <windows.h>

#include "mail/mail.h"
#include "mail/reader.h"
#include "notifier/frontend.h"
#include "notifier/notifier.h"
#include "notifier/pollcycle.h"

CheckerOptions checker;

void writeEscaped(FILE *out, const char *text)
{
    for (const char *p = text; *p; p++) {
        switch (*p) {
        case '\t': fputs("\\t", out); break;
        case '\n': fputs("\\n", out); break;
        case '\\': fputs("\\\\", out); break;
        default: fputc(*p, out); break;
        }
    }
}

void checkerNote(const char *text)
{
    fputs("pelcheck: ", stderr);
    for (const char *p = text; *p; p++) {
        if (*p == '\n')
            fputs("\\n", stderr);
        else
            fputc(*p, stderr);
    }
    fputc('\n', stderr);
    fflush(stderr);
}

void frontShowError(const char *text)
{
    checker.boxCount++;
    checkerNote(text);
}

int frontAskYesNo(const char *text)
{
    checker.boxCount++;
    checkerNote(text);
    if (checker.verbose)
        checkerNote(checker.allowDelete ? "answered Yes" : "answered No");
    return checker.allowDelete ? 1 : 0;
}

// Nothing to keep alive: the checker has no window a user could touch, and
// network events are handled by its own loop between the poll's steps.
void frontPumpMessages(void)
{
}

void frontEnableMenuItem(int id, bool enabled)
{
}

void frontRefreshStatus(void)
{
    if (!checker.verbose)
        return;
    char line[STATUS_TEXT_SIZE + 16];
    formatText(line, sizeof line, "status: %s", statusText());
    checkerNote(line);
}

// The state bookkeeping of the two mail states, without their appearance.
void enterNoMailState(bool actions)
{
    if (actions) {
        // The next read takes every file as unseen.
        mail.currentSnapshotCount = 0;
        mail.previousSnapshotCount = 0;
    }
    if (notifier.mailMeasure == 0) {
        notifier.shownCount = 0;
        notifier.headerCount = 0;
        notifier.clearItem = MENU_CLEAR;
        notifier.clearGrayed = true;
    } else {
        notifier.clearItem = MENU_SHOW;
        notifier.clearGrayed = false;
    }
}

// No sound, window action, alarm or reader launch: the checker only reports.
void enterHaveMailState(bool notify)
{
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = false;
}

void frontHiddenIconHover(void)
{
}
void frontClosePollWait(void)
{
}
void frontPostCommand(int command)
{
}
void frontPollFinished(void)
{
}
void frontBlinkStep(bool blankPhase)
{
}
void frontOpenPollWait(void)
{
}
void frontMinimizeForReader(void)
{
}

BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    return FALSE; // the checker never brings a reader forward
}
