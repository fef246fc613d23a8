// Builds without the platform's deletion question and log (the window-free
// build) never delete a message on the server and log nothing.
#include "sources/sources.h"

bool shouldDeleteMessage(const MessageHeader *record, const FilterEntry *entry)
{
    return false;
}

void logDeletion(const MessageHeader *record, const FilterEntry *entry)
{
}
