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
    if (!dialLayer)
        return false;
    int loaded = dialLayer->load();
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

void hangUpDialUp(void)
{
    if (direct() || dialUp.dialHandle == 0 || !dialUp.loaded)
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
    if (!dialUp.loaded)
        return false;
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
