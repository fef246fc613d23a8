// The end of a network poll: the network twin of publishPollResult, and the
// error report of the network sources, which stays quiet while the dial-up
// link is down (the errors would only say that) and says one word for a whole
// outage while the poll cycle retries.
#include "config/config.h"
#include "core/core.h"
#include "sources/net.h"

void reportNetError(const char *text)
{
    if (netOutage.retrying) {
        if (netOutage.reported)
            return;
        netOutage.reported = true;
    }
    if (config.settings.NetErrors && dialUpLinkUsable())
        reportError(text);
}

// The next poll counts only messages received after the newest seen now.
static void keepNewestStamp(ReceivedDate *storedDate, ReceivedTime *storedTime,
                            const ReceivedDate *newestDate, const ReceivedTime *newestTime)
{
    if (laterThan(newestDate, newestTime, storedDate, storedTime)) {
        *storedDate = *newestDate;
        *storedTime = *newestTime;
    }
}

void publishNetworkHeaders(bool newMail, int count, ReceivedDate *storedDate, ReceivedTime *storedTime,
                           const ReceivedDate *newestDate, const ReceivedTime *newestTime)
{
    closeConnection();
    keepNewestStamp(storedDate, storedTime, newestDate, newestTime);
    commitPollResult(count, newMail);
    endNetworkPoll();
}

void publishWatchedHeaders(bool newMail, int count, ReceivedDate *storedDate, ReceivedTime *storedTime,
                           const ReceivedDate *newestDate, const ReceivedTime *newestTime)
{
    keepNewestStamp(storedDate, storedTime, newestDate, newestTime);
    commitPollResult(count, newMail);
    finishPollKeepingConnection();
}
