// The poll cycle: the one-second tick, the decision after every poll, the
// status texts and the error reporting every source uses.
#include "notifier/pollcycle.h"

#include <string.h>

#include "config/config.h"
#include "mail/mail.h"
#include "mail/reader.h"
#include "notifier/frontend.h"
#include "sources/sources.h"

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

void reportNetError(const char *text)
{
    if (config.settings.NetErrors && dialUpLinkUsable())
        reportError(text);
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
    if (notifier.rasState == 1)
        return "Dialing...";
    if (notifier.rasState == 2)
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
    mail.currentSnapshotCount = 0;
    mail.previousSnapshotCount = 0;
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

// --- Mail-file measure rule -------------------------------------------------------------

static bool clearItemLive(void)
{
    return notifier.clearItem == MENU_CLEAR && !notifier.clearGrayed;
}

static void enterNoMailFromMeasure(void)
{
    notifier.lastDecision = DECISION_NO_MAIL;
    enterNoMailState(true);
}

// Decides from the total size of the mail files whether to re-read them.
void pollMailFileSource(void)
{
    long long measure = (long long)mailFileSizeTotal();
    long long previous = notifier.mailMeasure;
    bool reread = false;

    if (notifier.haveMail) {
        if (measure < 6) {
            notifier.haveMail = false;
            notifier.mailMeasure = 0;
            enterNoMailFromMeasure();
        } else if (measure > previous + 120 || (measure < previous && clearItemLive())
                   || (config.settings.UnreadOnly && measure > previous && clearItemLive())) {
            reread = true;
        }
    } else if (measure < 6) {
        if (notifier.clearItem == MENU_SHOW || clearItemLive())
            enterNoMailFromMeasure();
        else
            notifier.lastDecision = DECISION_NO_MAIL;
    } else if (measure > previous + 120) {
        reread = true;
    } else {
        notifier.lastDecision = DECISION_NO_CHANGE;
    }

    if (reread)
        pollMailFile();
    notifier.mailMeasure = measure;
}

// --- The tick ---------------------------------------------------------------------------

static void dispatchPoll(void)
{
    switch (config.settings.MessageSource) {
    case SOURCE_DISK_FILE:
    case SOURCE_PMAIL_NETWARE: pollMailFileSource(); break;
    case SOURCE_CCMAIL: pollCcMail(); break;
    case SOURCE_NOTES: pollNotes(); break;
    case SOURCE_MSMAIL:
    case SOURCE_WINDOWS_MESSAGING:
    case SOURCE_GROUPWISE: pollMapi(); break;
    case SOURCE_POP3:
    case SOURCE_IMAP4: startNetworkPoll(); break;
    default: break;
    }
}

// Step 3 of a tick: a command parked during the poll runs once it has ended.
static bool runDeferredCommand(void)
{
    if (!notifier.pollWaitOpen || notifier.pollInProgress)
        return false;
    frontClosePollWait();
    notifier.pollWaitOpen = false;
    frontEnableMenuItem(MENU_SETUP, true);
    frontEnableMenuItem(MENU_ABOUT, true);
    uint8_t command = notifier.pendingCommand;
    notifier.pendingCommand = PENDING_NONE;
    frontPostCommand(command);
    return true;
}

// Step 4: counts seconds in the first network stage that is set. True when the
// stage failed in a way that forbids a poll in this tick.
static bool networkStageTimeouts(void)
{
    static bool inside;
    if (!notifier.pollInProgress || inside)
        return false;
    inside = true;
    bool noPoll = false;
    const Settings &s = config.settings;
    if (netStages.winSockStarting) {
        if ((unsigned)notifier.stageTicks > s.WinSockInitTimeout)
            abandonWinSockInit();
        else
            notifier.stageTicks++;
    } else if (netStages.connecting || netStages.handshaking) {
        if ((unsigned)notifier.stageTicks > s.ConnectTimeout) {
            netStages.connecting = false;
            netStages.handshaking = false;
            closeConnection();
            reportNetError("Time out connecting to POP3/IMAP4 server");
            endNetworkPoll();
            noPoll = true;
        } else {
            notifier.stageTicks++;
        }
    } else if (netStages.awaitingServer) {
        if ((unsigned)notifier.stageTicks > s.InactivityTimeout) {
            closeConnection();
            reportNetError("Time out on POP3/IMAP4 server");
            endNetworkPoll();
            noPoll = true;
        } else {
            notifier.stageTicks++;
        }
    }
    inside = false;
    return noPoll;
}

static bool pollMayStart(void)
{
    return !notifier.tickBusy && notifier.placementDepth == 0 && !notifier.modalOpen
           && !notifier.pollInProgress && !notifier.errorBoxOpen
           && !(config.settings.SuspendPoll && reader.readerRunning);
}

static void advanceTick(void)
{
    unsigned interval = config.settings.PollInterval ? config.settings.PollInterval : 1;
    notifier.tickCounter = (notifier.tickCounter + 1) % interval;
}

static void blinkStep(void)
{
    frontBlinkStep(notifier.blinkPhase);
    notifier.blinkPhase = !notifier.blinkPhase;
}

void pollTick(void)
{
    frontHiddenIconHover();

    if (notifier.tickCounter == 0 && config.settings.DetectReader && config.settings.SuspendPoll
        && !reader.readerRunning && !detectReader())
        return; // an earlier detection is still busy: try this moment again

    bool noPoll = runDeferredCommand();
    if (networkStageTimeouts())
        noPoll = true;

    if (!noPoll && pollMayStart()) {
        notifier.tickBusy = true;
        if (notifier.tickCounter == 0)
            dispatchPoll();
        advanceTick();
        notifier.tickBusy = false;
    } else {
        advanceTick();
        if (config.settings.BlinkIconOnPoll && notifier.pollInProgress)
            blinkStep();
    }
}

// --- Network twin of publishPollResult ------------------------------------------------------

static bool laterThan(const ReceivedDate *date, const ReceivedTime *time, const ReceivedDate *thanDate,
                      const ReceivedTime *thanTime)
{
    int byDate = compareDates(date, thanDate);
    return byDate > 0 || (byDate == 0 && compareTimes(time, thanTime) > 0);
}

void publishNetworkHeaders(bool newMail, int count, ReceivedDate *storedDate, ReceivedTime *storedTime,
                           const ReceivedDate *newestDate, const ReceivedTime *newestTime)
{
    closeConnection();
    // The next poll counts only messages received after the newest seen now.
    if (laterThan(newestDate, newestTime, storedDate, storedTime)) {
        *storedDate = *newestDate;
        *storedTime = *newestTime;
    }
    commitPollResult(count, newMail);
    endNetworkPoll();
}
