// The message header list: the two fixed arrays every source fills and the
// window paints, the side buffers of the message being parsed, and the commit
// that sorts a poll's records and makes them the shown ones.
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"

MailState mail;
WavBaseEntry noSoundMarker;

int allocateMailBuffers(void)
{
    freeMailBuffers();
    mail.workHeaders = (MessageHeader *)calloc(HEADER_SLOTS, sizeof(MessageHeader));
    mail.shownHeaders = (MessageHeader *)calloc(HEADER_SLOTS, sizeof(MessageHeader));
    mail.currentSnapshot = (FileSnapshot *)calloc(SNAPSHOT_ROWS, sizeof(FileSnapshot));
    mail.previousSnapshot = (FileSnapshot *)calloc(SNAPSHOT_ROWS, sizeof(FileSnapshot));
    if (!mail.workHeaders || !mail.shownHeaders || !mail.currentSnapshot || !mail.previousSnapshot) {
        freeMailBuffers();
        return 0;
    }
    // A zero-filled record would read as "new, default sound"; start as "no sound".
    for (int i = 0; i < HEADER_SLOTS; i++) {
        mail.workHeaders[i].soundEntry = NO_SOUND;
        mail.shownHeaders[i].soundEntry = NO_SOUND;
    }
    mail.currentSnapshotCount = 0;
    mail.previousSnapshotCount = 0;
    clearRawHeaders();
    return 1;
}

void freeMailBuffers(void)
{
    free(mail.workHeaders);
    free(mail.shownHeaders);
    free(mail.currentSnapshot);
    free(mail.previousSnapshot);
    mail.workHeaders = nullptr;
    mail.shownHeaders = nullptr;
    mail.currentSnapshot = nullptr;
    mail.previousSnapshot = nullptr;
    mail.currentSnapshotCount = 0;
    mail.previousSnapshotCount = 0;
}

void setNoFrom(MessageHeader *record)
{
    copyText(record->from, "<no from>");
}

void setNoSubject(MessageHeader *record)
{
    copyText(record->subject, "<no subject>");
}

void clearRawHeaders(void)
{
    mail.rawFrom[0] = '\0';
    mail.rawSubject[0] = '\0';
    mail.rawSender[0] = '\0';
    mail.senderText[0] = '\0';
}

// Slots are taken modulo the array size, so a poll with more messages than
// slots keeps the last ones it parsed and never writes outside the array.
MessageHeader *openHeaderRecord(int index, uint32_t sortKey)
{
    int slot = index % HEADER_SLOTS;
    if (slot < 0)
        slot += HEADER_SLOTS;
    MessageHeader *record = &mail.workHeaders[slot];
    record->index = index;
    record->sortKey = sortKey;
    // Always "no sound" until a source decides otherwise: a record must never
    // keep a reference from an earlier poll into a list that may be gone.
    record->soundEntry = NO_SOUND;
    setNoFrom(record);
    setNoSubject(record);
    return record;
}

int compareOldestFirst(const void *a, const void *b)
{
    const MessageHeader *x = (const MessageHeader *)a;
    const MessageHeader *y = (const MessageHeader *)b;
    if (x->sortKey != y->sortKey)
        return x->sortKey < y->sortKey ? -1 : 1;
    if (x->index != y->index)
        return x->index < y->index ? -1 : 1;
    return 0;
}

int compareNewestFirst(const void *a, const void *b)
{
    return compareOldestFirst(b, a);
}

void commitHeaderList(int count)
{
    if (count < 0)
        count = 0;
    if (count > HEADER_SLOTS)
        count = HEADER_SLOTS;
    if (count > 1)
        qsort(mail.workHeaders, (size_t)count, sizeof(MessageHeader),
              config.settings.ReverseSort ? compareNewestFirst : compareOldestFirst);
    MessageHeader *shown = mail.workHeaders;
    mail.workHeaders = mail.shownHeaders;
    mail.shownHeaders = shown;
}
