// The poll cycle: the one-second tick, the dispatch to the sources, the
// mail-file measure rule and the time-outs of the network stages.
#include "poll/pollcycle.h"

#include "config/config.h"
#include "core/frontend.h"
#include "poll/reader.h"
#include "sources/notes.h"
#include "sources/sources.h"

PollCycleState pollCycle = {false, 0, false, WATCH_RENEWAL_SECONDS};

// --- Mail-file measure rule -------------------------------------------------------------

enum : long long {
    // Mail files whose sizes add up to less than this hold no message.
    NO_MAIL_BELOW = 6,
    // Growth by more than this many bytes is taken as new mail to read; less
    // is a flag or status rewrite by the reader, not worth a read.
    NEW_MAIL_GROWTH = 120,
};

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
    // The NetWare source has no path when the bridge could not name one; the
    // settings read said why, and nothing is read in its place.
    if (config.settings.MessageSource == SOURCE_PMAIL_NETWARE && !config.mailPath)
        return;
    long long measure = (long long)mailFileSizeTotal();
    long long previous = notifier.mailMeasure;
    bool reread = false;

    if (notifier.haveMail) {
        if (measure < NO_MAIL_BELOW) {
            notifier.haveMail = false;
            notifier.mailMeasure = 0;
            enterNoMailFromMeasure();
        } else if (measure > previous + NEW_MAIL_GROWTH || (measure < previous && clearItemLive())
                   || (config.settings.UnreadOnly && measure > previous && clearItemLive())) {
            reread = true;
        }
    } else if (measure < NO_MAIL_BELOW) {
        if (notifier.clearItem == MENU_SHOW || clearItemLive())
            enterNoMailFromMeasure();
        else
            notifier.lastDecision = DECISION_NO_MAIL;
    } else if (measure > previous + NEW_MAIL_GROWTH) {
        reread = true;
    } else {
        notifier.lastDecision = DECISION_NO_CHANGE;
    }

    if (reread)
        pollMailFile();
    notifier.mailMeasure = measure;
}

void openSourceSession(void)
{
    unsigned source = config.settings.MessageSource;
    if (source == SOURCE_CCMAIL)
        openVim();
    if (isMapiMessageSource(source))
        openMapi();
    if (source == SOURCE_NOTES)
        openNotes();
}

// --- The tick ---------------------------------------------------------------------------

static void dispatchPoll(void)
{
    switch (config.settings.MessageSource) {
    case SOURCE_DISK_FILE:
    case SOURCE_PMAIL_NETWARE: pollMailFileSource(); break;
    case SOURCE_CCMAIL: pollVim(); break;
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
    if (!(notifier.pollInProgress || netStages.watching) || inside)
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
    } else if (netStages.refreshing) {
        if ((unsigned)notifier.stageTicks > s.ConnectTimeout) {
            abandonTokenRefresh();
            noPoll = true;
        } else {
            notifier.stageTicks++;
        }
    } else if (netStages.idleReply) {
        // An IDLE or a DONE the server does not answer: the connection is gone.
        if ((unsigned)notifier.stageTicks > s.ConnectTimeout) {
            loseNetworkWatch();
            noPoll = true;
        } else {
            notifier.stageTicks++;
        }
    } else if (netStages.idling) {
        if ((unsigned)notifier.stageTicks >= pollCycle.watchRenewal)
            renewNetworkWatch();
        else
            notifier.stageTicks++;
    } else if (netStages.awaitingServer) {
        if ((unsigned)notifier.stageTicks > s.InactivityTimeout) {
            if (netStages.watching) {
                loseNetworkWatch();
            } else {
                closeConnection();
                reportNetError("Time out on POP3/IMAP4 server");
                endNetworkPoll();
            }
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

static unsigned pollInterval(void)
{
    return config.settings.PollInterval ? config.settings.PollInterval : 1;
}

// While the watch holds the connection the interval does not run: the server
// says when there is news. A poll asked for (the counter set to 0) still comes.
static void advanceTick(void)
{
    if (netStages.watching && notifier.tickCounter != 0)
        return;
    notifier.tickCounter = (notifier.tickCounter + 1) % pollInterval();
}

static void startPoll(void)
{
    notifier.tickBusy = true;
    pollCycle.newsWaiting = false;
    pollCycle.retryPollRunning = netOutage.retrying;
    dispatchPoll();
    notifier.tickBusy = false;
}

void pollOnMailboxChange(void)
{
    if (notifier.pollInProgress)
        return; // the poll under way reads the mailbox itself
    if (pollMayStart())
        startPoll();
    else
        pollCycle.newsWaiting = true;
}

// --- Quiet retries ----------------------------------------------------------------------

static void startRetries(void)
{
    netOutage.retrying = true;
    netOutage.reported = false;
    pollCycle.retryPause = 0;
    pollCycle.retryPollRunning = false;
}

static void endRetries(void)
{
    netOutage.retrying = false;
    netOutage.reported = false;
    pollCycle.retryPause = 0;
    pollCycle.retryPollRunning = false;
}

// A lost watch polls again at the next tick (this one), and retries after.
// A watch is only ever begun by a poll that got through, so this is a new
// outage whatever an earlier run has not yet noticed.
static void takeLostWatch(void)
{
    if (!netOutage.watchLost)
        return;
    netOutage.watchLost = false;
    notifier.tickCounter = 0;
    startRetries();
}

// At the end of a tick: a retry that failed sets the next one after a pause
// twice the last (5 seconds the first time, at most PollInterval); the first
// poll that completes ends the run.
static void followRetries(void)
{
    if (!netOutage.retrying)
        return;
    if (notifier.pollInProgress) {
        pollCycle.retryPollRunning = true;
        return;
    }
    if (!pollCycle.retryPollRunning)
        return;
    pollCycle.retryPollRunning = false;
    if (!notifier.pollFailed) {
        endRetries();
        return;
    }
    unsigned interval = pollInterval();
    unsigned pause = pollCycle.retryPause ? 2 * pollCycle.retryPause : (unsigned)FIRST_RETRY_PAUSE;
    pollCycle.retryPause = pause < interval ? pause : interval;
    // The failure is seen a tick after it happened (the poll ends between
    // ticks): the counter reaches 0 after retryPause - 1 more ticks.
    notifier.tickCounter = (interval - pollCycle.retryPause + 2) % interval;
}

void pollAfterResume(void)
{
    abortNetworkPoll(); // a poll or a watch from before the sleep: closed without a word
    netOutage.watchLost = false;
    pollCycle.newsWaiting = false;
    notifier.tickCounter = 0;
    if (isNetworkSource(config.settings.MessageSource))
        startRetries();
    else
        endRetries();
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

    dialUpTick();
    takeLostWatch();
    bool noPoll = runDeferredCommand();
    if (networkStageTimeouts())
        noPoll = true;

    if (!noPoll && pollMayStart()) {
        if (notifier.tickCounter == 0 || pollCycle.newsWaiting)
            startPoll();
        advanceTick();
    } else {
        advanceTick();
        if (config.settings.BlinkIconOnPoll && notifier.pollInProgress)
            blinkStep();
    }
    followRetries();
}
