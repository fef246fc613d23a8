// pelcheck32: one poll of the configured source, printed. The checker is the
// second front end of the poll core: it installs its own front-end table
// (core/frontend.h) without any window, so every text the notifier would show in a box goes to
// stderr and every question is answered from the command line.
#ifndef PELIMBO_CHECKER_CHECKER_H
#define PELIMBO_CHECKER_CHECKER_H

#include <stdio.h>

struct CheckerOptions {
    bool verbose;     // status texts as they change, and the answers given
    bool allowDelete; // a delete confirmation is answered Yes
    int boxCount;     // texts that would have been shown in a box
};

extern CheckerOptions checker;

// The checker's front-end table, installed at start.
struct FrontEnd;
extern const FrontEnd checkerFrontEnd;

// Writes text with tab, line break and backslash shown as \t, \n and \\;
// every other byte as it is.
void writeEscaped(FILE *out, const char *text);

// One line on stderr: "pelcheck: " and the text, a line break in it shown as \n.
void checkerNote(const char *text);

#endif
