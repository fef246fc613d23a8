// Every network poll test starts from the same process-wide state: no poll,
// no watch, no outage, no access token, a quiet front end, and settings zeroed
// but for what any direct-connection poll needs. The fixture then sets its
// source, ports, time-outs and login.
#ifndef PELIMBO_TESTS_NET_POLL_STATE_H
#define PELIMBO_TESTS_NET_POLL_STATE_H

#include <string.h>

#include "auth/oauth.h"
#include "base/text.h"
#include "config/config.h"
#include "core/core.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "sources/sources.h"
#include "tests/fakes/recording_frontend.h"

inline void resetNetworkPollState(void)
{
    memset(&notifier, 0, sizeof notifier);
    notifier.clearItem = MENU_CLEAR;
    notifier.clearGrayed = true;
    notifier.tickCounter = 1; // ticks count time-outs, never start polls
    memset(&config.settings, 0, sizeof config.settings);
    Settings &s = config.settings;
    s.NetErrors = true;
    s.directConnection = true;
    copyText(s.Connection, "<Direct connection>");
    copyText(s.MailHost, "127.0.0.1");
    copyText(s.plainPassword, "secret");
    config.filterList.entries = nullptr;
    config.filterList.count = 0;
    netStages = NetworkStages();
    netOutage = NetOutage();
    pollCycle = PollCycleState{false, 0, false, WATCH_RENEWAL_SECONDS};
    pop3 = Pop3Client();
    imap = ImapClient();
    forgetAccessToken();
    oauth.signInNeededTold = false;
    resetFakeFrontEnd();
}

#endif
