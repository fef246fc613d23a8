// The end of a network poll: the network twin of publishPollResult, and the
// error report of the network sources, which stays quiet while the dial-up
// link is down (the errors would only say that).
#include "config/config.h"
#include "core/core.h"
#include "sources/net.h"

void reportNetError(const char *text)
{
    if (config.settings.NetErrors && dialUpLinkUsable())
        reportError(text);
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
