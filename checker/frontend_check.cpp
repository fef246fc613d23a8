// The checker's front-end table: no window, no box, no sound. Texts go to
// stderr; everything else is the null front end's nothing.
#include "checker/checker.h"

#include <windows.h>

#include "poll/reader.h"
#include "core/frontend.h"
#include "core/core.h"

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

static void checkerShowError(const char *text)
{
    checker.boxCount++;
    checkerNote(text);
}

static int checkerAskYesNo(const char *text)
{
    checker.boxCount++;
    checkerNote(text);
    if (checker.verbose)
        checkerNote(checker.allowDelete ? "answered Yes" : "answered No");
    return checker.allowDelete ? 1 : 0;
}

static void checkerRefreshStatus(void)
{
    if (!checker.verbose)
        return;
    char line[STATUS_TEXT_SIZE + 16];
    formatText(line, sizeof line, "status: %s", statusText());
    checkerNote(line);
}

// Nothing to keep alive or to show besides texts: the checker has no window a
// user could touch, network events are handled by its own loop between the
// poll's steps, it plays no sound and parks no commands.
const FrontEnd checkerFrontEnd = [] {
    FrontEnd table = nullFrontEnd;
    table.showError = checkerShowError;
    table.askYesNo = checkerAskYesNo;
    table.refreshStatus = checkerRefreshStatus;
    return table;
}();

BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM parameter)
{
    return FALSE; // the checker never brings a reader forward
}
