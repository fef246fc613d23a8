// The null front end and the table in force. Kept apart from the rest of the
// core so a program can take the seam without the poll contract.
#include "core/frontend.h"

#include <stddef.h>

static void showNothing(const char *text)
{
}
static int answerNo(const char *text)
{
    return 0;
}
static void doNothing(void)
{
}
static void enableNothing(int id, bool enabled)
{
}
static void showNoState(bool flag)
{
}
static void postNothing(int command)
{
}

const FrontEnd nullFrontEnd = {
    showNothing,   // showError
    answerNo,      // askYesNo
    doNothing,     // pumpMessages
    enableNothing, // enableMenuItem
    doNothing,     // refreshStatus
    showNoState,   // showNoMail
    showNoState,   // showHaveMail
    doNothing,     // hiddenIconHover
    doNothing,     // closePollWait
    postNothing,   // postCommand
    doNothing,     // openPollWait
    doNothing,     // minimizeForReader
    doNothing,     // pollFinished
    showNoState,   // blinkStep
    showNothing,   // showNotice
};

const FrontEnd *frontEnd = &nullFrontEnd;

void installFrontEnd(const FrontEnd *table)
{
    frontEnd = table ? table : &nullFrontEnd;
}
