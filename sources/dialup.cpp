// The dial-up link of the network sources: is the configured connection up,
// dial it when asked to, hang up only what this program dialled, and tell the
// error filter whether the link is usable.
#include "sources/net.h"

#include <string.h>

#include "config/config.h"
#include "core/frontend.h"
#include "core/core.h"

DialUpState dialUp;

static const DialUpLayer *dialLayer;
static DialUpPasswordPrompt passwordPrompt;
static DialConnection connections[DIAL_CONNECTION_SLOTS];

void installDialUpLayer(const DialUpLayer *layer)
{
    dialLayer = layer;
    dialUp.loaded = false;
    dialUp.libraryMissing = false;
}

void setDialUpPasswordPrompt(DialUpPasswordPrompt prompt)
{
    passwordPrompt = prompt;
}

static bool direct(void)
{
    return config.settings.directConnection;
}

bool loadDialUp(void)
{
    if (dialUp.loaded)
        return true;
    int loaded = dialLayer ? dialLayer->load() : 0;
    dialUp.libraryMissing = loaded == 0;
    if (loaded < 0) {
        reportError("Missing function in RASAPI32.DLL");
        return false;
    }
    dialUp.loaded = loaded > 0;
    return dialUp.loaded;
}

void unloadDialUp(void)
{
    if (dialUp.loaded && dialLayer)
        dialLayer->unload();
    dialUp.loaded = false;
}

bool findConnection(void)
{
    if (direct())
        return true;
    if (!dialUp.loaded)
        return false;
    int count = dialLayer->enumConnections(connections, DIAL_CONNECTION_SLOTS);
    // A failed enumeration finds nothing, whatever count it claims.
    if (count < 0)
        return false;
    if (count > DIAL_CONNECTION_SLOTS)
        count = DIAL_CONNECTION_SLOTS;
    for (int i = 0; i < count; i++) {
        connections[i].entryName[sizeof connections[i].entryName - 1] = '\0';
        if (strcmp(connections[i].entryName, config.settings.Connection) == 0) {
            dialUp.activeConnection = connections[i].handle;
            return true;
        }
    }
    return false;
}

bool connectionIsUp(void)
{
    if (direct())
        return true;
    if (!dialUp.loaded)
        return false;
    unsigned state = 0;
    if (dialLayer->connectState(dialUp.activeConnection, &state) != 0)
        return false;
    return state == DIAL_STATE_CONNECTED;
}

// An entry is named but the dial-up service is not there: the link cannot be
// up, so network errors are not shown and no poll is made.
bool dialUpLinkUsable(void)
{
    if (direct())
        return true;
    if (config.settings.Connection[0] == '\0' && !dialLayer)
        return true; // no link configured and no dial-up service in this build
    return findConnection() && connectionIsUp();
}

// Hangs up the connection this program dialled, whatever Connection names now.
static void hangUpDialled(void)
{
    if (dialUp.dialHandle == 0 || !dialUp.loaded)
        return;
    notifier.rasState = RAS_HANGING_UP;
    frontRefreshStatus();
    dialLayer->hangUp(dialUp.dialHandle);
    // The service needs the time to release the line.
    dialLayer->pause(3000);
    dialUp.dialHandle = 0;
    notifier.rasState = RAS_IDLE;
    frontRefreshStatus();
}

void hangUpDialUp(void)
{
    if (!direct())
        hangUpDialled();
}

void leaveDialUp(void)
{
    // The library is unloaded around the setup dialog: load it to hang up.
    if (dialUp.dialHandle != 0 && loadDialUp())
        hangUpDialled();
    unloadDialUp();
}

void dialUpTick(void)
{
    if (notifier.rasState != 1 || dialUp.eventPending != 0) {
        dialUp.dialTicks = 0;
        return;
    }
    if (++dialUp.dialTicks <= config.settings.ConnectTimeout)
        return;
    // The outcome never came: free the line, and say why no poll is made (the
    // network error filter would drop it, as the link is not up).
    dialUp.dialTicks = 0;
    notifier.rasState = 0;
    hangUpDialled();
    frontRefreshStatus();
    reportError("Dialing error");
}

// An entry is named but the service's library is missing: no poll can ever
// be made, which the user is told once for each Connection setting.
static void tellLibraryMissing(void)
{
    if (!dialUp.libraryMissing || strcmp(dialUp.missingToldFor, config.settings.Connection) == 0)
        return;
    copyText(dialUp.missingToldFor, config.settings.Connection);
    reportError("Unable to load RASAPI32.DLL");
}

// Called by the dial-up service, possibly on its own thread: it only records
// the outcome and asks for a poll. Everything visible (the caption, an error
// box, the hang-up) happens on the window thread at the next tick.
void onDialEvent(unsigned message, unsigned state, unsigned error)
{
    if (error != 0) {
        dialUp.eventError = error;
        dialUp.eventPending = 2;
    } else if ((state & 0xFFFF) == DIAL_STATE_CONNECTED) {
        dialUp.eventPending = 1;
    } else {
        return;
    }
    if (dialLayer)
        dialLayer->postPollNow();
}

// Takes the outcome of a dial on the window thread. False when the dial failed.
static bool takeDialEvent(void)
{
    int pending = dialUp.eventPending;
    if (pending == 0)
        return true;
    dialUp.eventPending = 0;
    if (pending == 1) {
        notifier.rasState = RAS_IDLE;
        frontRefreshStatus();
        return true;
    }
    notifier.rasState = RAS_IDLE;
    frontRefreshStatus();
    reportNetError("Dialing error");
    hangUpDialUp();
    return false;
}

bool ensureDialUpLink(void)
{
    if (direct())
        return true;
    if (!takeDialEvent())
        return false;
    if (!dialUp.loaded) {
        tellLibraryMissing();
        return false;
    }
    if (findConnection())
        return connectionIsUp();
    if (!config.settings.DialConnection)
        return false;
    if (notifier.rasState == RAS_DIALING)
        return false; // a dial of ours is under way
    if (dialUp.dialHandle != 0)
        hangUpDialUp();

    DialParameters params;
    memset(&params, 0, sizeof params);
    copyText(params.entryName, config.settings.Connection);
    bool passwordSaved = false;
    if (dialLayer->getDialParams(&params, &passwordSaved) != 0) {
        reportError("Unable to get dial parameters");
        return false;
    }
    if (!passwordSaved) {
        bool save = false;
        char typed[sizeof params.password];
        memset(typed, 0, sizeof typed);
        if (!passwordPrompt || !passwordPrompt(config.settings.Connection, typed, sizeof typed, &save)) {
            memset(&params, 0, sizeof params);
            return false;
        }
        copyText(params.password, typed);
        memset(typed, 0, sizeof typed);
        if (save)
            dialLayer->setDialParams(&params);
    }
    params.phoneNumber[0] = '\0';
    params.domain[0] = '\0';

    notifier.rasState = RAS_DIALING;
    frontRefreshStatus();
    uintptr_t handle = 0;
    int result = dialLayer->dial(&params, &handle);
    memset(params.password, 0, sizeof params.password);
    dialUp.dialHandle = handle;
    if (result != 0) {
        // The dial did not even start: no event will come.
        notifier.rasState = RAS_IDLE;
        frontRefreshStatus();
        reportNetError("Dialing error");
        hangUpDialUp();
    }
    return false;
}
