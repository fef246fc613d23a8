// The poll core: the process state, the poll contract, the mail-state
// bookkeeping, the status texts and the error reporting every source uses.
#include "core/core.h"

#include <string.h>

#include "config/config.h"
#include "core/frontend.h"
#include "mail/mail.h"

NotifierState notifier;

static char statusBuffer[STATUS_TEXT_SIZE];
static char captionBuffer[CAPTION_TEXT_SIZE];
static char expandedCaption[EXPANDED_CAPTION_SIZE];

// --- Error reporting -----------------------------------------------------------

void reportError(const char *text)
{
    bool wasOpen = notifier.errorBoxOpen;
    notifier.errorBoxOpen = true;
    frontShowError(text);
    notifier.errorBoxOpen = wasOpen;
}

bool askQuestion(const char *text)
{
    bool wasOpen = notifier.errorBoxOpen;
    notifier.errorBoxOpen = true;
    int yes = frontAskYesNo(text);
    notifier.errorBoxOpen = wasOpen;
    return yes != 0;
}

// --- Status texts ------------------------------------------------------------------

// Every "%n" of WindowCaption becomes the header count. The result is cut at
// its buffer, so many "%n" with large counts cannot overflow it.
const char *expandCaptionCount(const char *caption, int count)
{
    copyText(expandedCaption, caption);
    char rebuilt[EXPANDED_CAPTION_SIZE];
    for (;;) {
        char *mark = strstr(expandedCaption, "%n");
        if (!mark)
            break;
        *mark = '\0';
        formatText(rebuilt, sizeof rebuilt, "%s%d%s", expandedCaption, count, mark + 2);
        copyText(expandedCaption, rebuilt);
    }
    return expandedCaption;
}

// The idle text: the expanded caption, else "Pelimbo" for a service source,
// else the mail file's name.
static const char *idleText(void)
{
    if (config.settings.WindowCaption[0] != '\0')
        return expandCaptionCount(config.settings.WindowCaption, notifier.headerCount);
    if (config.settings.MessageSource != SOURCE_DISK_FILE)
        return "Pelimbo";
    return fileNamePart(config.settings.MailFile);
}

static const char *busyText(void)
{
    if (notifier.rasState == RAS_DIALING)
        return "Dialing...";
    if (notifier.rasState == RAS_HANGING_UP)
        return "Hangup...";
    if (notifier.pollInProgress)
        return "Polling...";
    return NULL;
}

const char *statusText(void)
{
    const char *busy = busyText();
    copyText(statusBuffer, busy ? busy : idleText());
    return statusBuffer;
}

const char *captionText(void)
{
    const char *busy = busyText();
    formatText(captionBuffer, sizeof captionBuffer, "%s - %s", "Pelimbo", busy ? busy : idleText());
    return captionBuffer;
}

// --- Poll contract ----------------------------------------------------------------------

void beginPoll(void)
{
    notifier.pollInProgress = true;
    notifier.pollFailed = false;
    frontEnableMenuItem(MENU_POLL_NOW, false);
    notifier.blinkPhase = true;
    frontRefreshStatus();
    clearRawHeaders();
}

void finishPoll(void)
{
    notifier.pollInProgress = false;
    frontEnableMenuItem(MENU_POLL_NOW, true);
    frontRefreshStatus();
    frontPollFinished();
}

void failPoll(void)
{
    notifier.pollFailed = true;
    finishPoll();
}

void resetMailState(void)
{
    notifier.headerCount = 0;
    notifier.shownCount = 0;
    notifier.mailMeasure = 0;
    notifier.tickCounter = 0;
    notifier.haveMail = false;
    notifier.layoutDirty = true;
    forgetFileSnapshot();
}

// --- Mail states ------------------------------------------------------------------------

void enterNoMailState(bool actions)
{
    if (actions) {
        // The next read takes every file as unseen.
        forgetFileSnapshot();
    }
    if (notifier.mailMeasure == 0) {
        // A real change to no mail: nothing is shown any more, and there is
        // nothing to clear.
        notifier.shownCount = 0;
        notifier.headerCount = 0;
        notifier.clearItem = MENU_CLEAR;
        notifier.clearGrayed = true;
    } else {
        // Mail is still there, only cleared from view: Show brings it back.
        notifier.clearItem = MENU_SHOW;
        notifier.clearGrayed = false;
    }
    frontEnd->showNoMail(actions);
}

void enterHaveMailState(bool notify)
{
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = false;
    frontEnd->showHaveMail(notify);
}

void commitPollResult(int count, bool force)
{
    int oldCount = notifier.headerCount;
    notifier.headerCount = count < 0 ? 0 : count;
    notifier.shownCount = notifier.headerCount < HEADER_SLOTS ? notifier.headerCount : HEADER_SLOTS;
    commitHeaderList(notifier.shownCount);
    notifier.layoutDirty = true;

    if (notifier.headerCount < 1 && notifier.haveMail) {
        notifier.haveMail = false;
        notifier.mailMeasure = 0;
        notifier.lastDecision = DECISION_NO_MAIL;
        enterNoMailState(true);
    } else if (force || notifier.headerCount > oldCount) {
        // A forced decision with no more messages still brought one new one.
        notifier.newCount = notifier.headerCount > oldCount ? notifier.headerCount - oldCount : 1;
        notifier.mailMeasure = notifier.headerCount;
        notifier.haveMail = true;
        notifier.lastDecision = DECISION_NEW_MAIL;
        enterHaveMailState(true);
    } else if (notifier.headerCount < oldCount) {
        notifier.mailMeasure = notifier.headerCount;
        notifier.lastDecision = DECISION_FEWER;
        enterHaveMailState(false);
    } else {
        notifier.lastDecision = notifier.headerCount < 1 ? DECISION_NO_MAIL : DECISION_NO_CHANGE;
    }
}

void publishPollResult(int lastIndex, bool force)
{
    commitPollResult(lastIndex + 1, force);
    finishPoll();
}
