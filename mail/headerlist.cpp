// The message header list: the two fixed arrays every source fills and the
// window paints, the side buffers of the message being parsed, and the commit
// that sorts a poll's records and makes them the shown ones.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "mail/mail.h"
#include "mail/mailscan.h"

MailState mail;
WavBaseEntry noSoundMarker;

int allocateMailBuffers(void)
{
    freeMailBuffers();
    mail.workHeaders = (MessageHeader *)calloc(HEADER_SLOTS, sizeof(MessageHeader));
    mail.shownHeaders = (MessageHeader *)calloc(HEADER_SLOTS, sizeof(MessageHeader));
    mail.currentSnapshot = (FileSnapshot *)calloc(SNAPSHOT_ROWS, sizeof(FileSnapshot));
    mail.previousSnapshot = (FileSnapshot *)calloc(SNAPSHOT_ROWS, sizeof(FileSnapshot));
    mail.workWide = (WideHeader *)calloc(HEADER_SLOTS, sizeof(WideHeader));
    mail.shownWide = (WideHeader *)calloc(HEADER_SLOTS, sizeof(WideHeader));
    if (!mail.workHeaders || !mail.shownHeaders || !mail.currentSnapshot || !mail.previousSnapshot
        || !mail.workWide || !mail.shownWide) {
        freeMailBuffers();
        return 0;
    }
    // A zero-filled record would read as "new, default sound"; start as "no sound".
    for (int i = 0; i < HEADER_SLOTS; i++) {
        mail.workHeaders[i].soundEntry = NO_SOUND;
        mail.shownHeaders[i].soundEntry = NO_SOUND;
    }
    forgetFileSnapshot();
    clearRawHeaders();
    return 1;
}

MailFileMemory *mailFileMemory(void)
{
    if (!mail.fileMemory)
        mail.fileMemory = (MailFileMemory *)calloc(1, sizeof(MailFileMemory));
    return mail.fileMemory;
}

void forgetFileSnapshot(void)
{
    mail.currentSnapshotCount = 0;
    mail.previousSnapshotCount = 0;
    if (MailFileMemory *memory = mail.fileMemory) {
        memory->resume.valid = false;
        memory->fileCount = 0;
    }
}

static void freeFileMemory(void)
{
    if (MailFileMemory *memory = mail.fileMemory) {
        free(memory->files);
        free(memory->nextFiles);
        free(memory->order);
        free(memory);
    }
    mail.fileMemory = nullptr;
}

void freeMailBuffers(void)
{
    freeFileMemory();
    free(mail.workHeaders);
    free(mail.shownHeaders);
    free(mail.currentSnapshot);
    free(mail.previousSnapshot);
    free(mail.workWide);
    free(mail.shownWide);
    mail.workWide = nullptr;
    mail.shownWide = nullptr;
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
    if (WideHeader *wide = wideHeaderOf(record))
        wide->from[0] = 0;
}

void setNoSubject(MessageHeader *record)
{
    copyText(record->subject, "<no subject>");
    if (WideHeader *wide = wideHeaderOf(record))
        wide->subject[0] = 0;
}

namespace
{

// The slot of record in headers, or -1 (compared as addresses: the record may
// belong to neither array).
int slotIn(const MessageHeader *headers, const MessageHeader *record)
{
    uintptr_t base = (uintptr_t)headers, at = (uintptr_t)record;
    if (!headers || at < base || at >= base + HEADER_SLOTS * sizeof(MessageHeader))
        return -1;
    return (int)((at - base) / sizeof(MessageHeader));
}

} // namespace

WideHeader *wideHeaderOf(const MessageHeader *record)
{
    int slot = slotIn(mail.workHeaders, record);
    if (slot >= 0 && mail.workWide)
        return &mail.workWide[slot];
    slot = slotIn(mail.shownHeaders, record);
    if (slot >= 0 && mail.shownWide)
        return &mail.shownWide[slot];
    return nullptr;
}

void setHeaderText(MessageHeader *record, HeaderField field, const WideChar *text, size_t units)
{
    if (units > HEADER_TEXT_SIZE - 1)
        units = HEADER_TEXT_SIZE - 1;
    char *ansi = field == FIELD_SUBJECT ? record->subject : record->from;
    wideToAnsi(text, units, ansi, HEADER_TEXT_SIZE);
    if (WideHeader *wide = wideHeaderOf(record)) {
        WideChar *target = field == FIELD_SUBJECT ? wide->subject : wide->from;
        memcpy(target, text, units * sizeof(WideChar));
        target[units] = 0;
    }
}

void setHeaderAnsiText(MessageHeader *record, HeaderField field, const char *text, size_t length)
{
    // Twice the field's characters in bytes is more than any cut can keep.
    length = strnlen(text, length < 2 * (HEADER_TEXT_SIZE - 1) ? length : 2 * (HEADER_TEXT_SIZE - 1));
    WideChar wide[2 * HEADER_TEXT_SIZE];
    size_t units = bytesToWide(CODE_PAGE_ANSI, text, length, wide, sizeof wide / sizeof *wide);
    setHeaderText(record, field, wide, units);
    // No wide text of its own: headerWideText converts the cut form.
    if (WideHeader *w = wideHeaderOf(record))
        (field == FIELD_SUBJECT ? w->subject : w->from)[0] = 0;
}

size_t headerWideText(const MessageHeader *record, HeaderField field, WideChar *out)
{
    const WideHeader *wide = wideHeaderOf(record);
    const WideChar *text = wide ? (field == FIELD_SUBJECT ? wide->subject : wide->from) : nullptr;
    if (text && text[0] != 0) {
        size_t n = 0;
        for (; n < HEADER_TEXT_SIZE - 1 && text[n] != 0; n++)
            out[n] = text[n];
        out[n] = 0;
        return n;
    }
    const char *ansi = field == FIELD_SUBJECT ? record->subject : record->from;
    size_t n =
        bytesToWide(CODE_PAGE_ANSI, ansi, strnlen(ansi, HEADER_TEXT_SIZE - 1), out, HEADER_TEXT_SIZE - 1);
    out[n] = 0;
    return n;
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

namespace
{

// Sorts records and their wide texts together. The keys (sort key, then
// message number) order the records completely, so the result is the one a
// sort of the records alone gives.
void sortHeaders(MessageHeader *headers, WideHeader *wide, int count)
{
    if (count < 0)
        count = 0;
    if (count > HEADER_SLOTS)
        count = HEADER_SLOTS;
    if (count < 2 || !headers || !wide)
        return;
    int (*compare)(const void *, const void *) =
        config.settings.ReverseSort ? compareNewestFirst : compareOldestFirst;
    int order[HEADER_SLOTS];
    for (int i = 0; i < count; i++)
        order[i] = i;
    std::sort(order, order + count, [&](int a, int b) { return compare(&headers[a], &headers[b]) < 0; });
    static MessageHeader sortedHeaders[HEADER_SLOTS];
    static WideHeader sortedWide[HEADER_SLOTS];
    for (int i = 0; i < count; i++) {
        sortedHeaders[i] = headers[order[i]];
        sortedWide[i] = wide[order[i]];
    }
    memcpy(headers, sortedHeaders, (size_t)count * sizeof *headers);
    memcpy(wide, sortedWide, (size_t)count * sizeof *wide);
}

} // namespace

void commitHeaderList(int count)
{
    sortHeaders(mail.workHeaders, mail.workWide, count);
    MessageHeader *shown = mail.workHeaders;
    mail.workHeaders = mail.shownHeaders;
    mail.shownHeaders = shown;
    WideHeader *shownWide = mail.workWide;
    mail.workWide = mail.shownWide;
    mail.shownWide = shownWide;
}

void sortShownHeaders(int count)
{
    sortHeaders(mail.shownHeaders, mail.shownWide, count);
}
