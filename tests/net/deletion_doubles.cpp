// The deletion decision and the deletions log as the protocol tests see them:
// a Delete filter deletes when the test says yes; every log entry is counted.
#include "tests/net/deletion_doubles.h"

#include "config/config.h"
#include "mail/mail.h"

bool deletionAnswer = true;
std::vector<std::string> deletionLog;
std::function<void()> whileDeletionAsked;

bool shouldDeleteMessage(const MessageHeader *record, const FilterEntry *entry)
{
    if (entry == nullptr || entry->action != FILTER_DELETE)
        return false;
    if (whileDeletionAsked)
        whileDeletionAsked();
    return deletionAnswer;
}

void logDeletion(const MessageHeader *record, const FilterEntry *entry)
{
    deletionLog.push_back(record->subject);
}
