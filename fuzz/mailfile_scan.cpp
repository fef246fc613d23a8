// Fuzzes the mail-file scanner with arbitrary file contents: every layout,
// over-long and folded lines, NUL bytes, CR-only line ends, no final newline.
// The first bytes choose the settings, the read-block size and how much each
// read returns, so buffer refills fall at every possible place of a line.
// Where a message separator starts a line after the middle of the data, the
// scan is also run up to there, taken up again as the mail-file source takes
// up a grown mailbox, and must end exactly as the scan of the whole data.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "config/config.h"
#include "mail/linereader.h"
#include "mail/mail.h"
#include "mail/mailscan.h"

namespace
{

struct Source {
    const uint8_t *data;
    size_t size;
    size_t chunk; // at most this much per read
};

size_t readSource(void *source, char *buffer, size_t size)
{
    Source *s = (Source *)source;
    size_t n = s->size < size ? s->size : size;
    if (n > s->chunk)
        n = s->chunk;
    memcpy(buffer, s->data, n);
    s->data += n;
    s->size -= n;
    return n;
}

char filterTexts[3][8] = {"spam", "ab", "re:"};
FilterEntry filters[3] = {
    {filterTexts[0], FILTER_IGNORE, MATCH_SUBJECT},
    {filterTexts[1], FILTER_DELETE, MATCH_FROM},
    {filterTexts[2], FILTER_IGNORE, MATCH_EITHER},
};
char soundTexts[2][8] = {"x", "lo"};
char soundFiles[2][8] = {"x.wav", "lo.wav"};
WavBaseEntry sounds[2] = {
    {soundTexts[0], soundFiles[0], MATCH_EITHER, 0},
    {soundTexts[1], soundFiles[1], MATCH_SUBJECT, 0},
};

bool stopAfter(void)
{
    return false;
}
int linesSeen;
void countLine(void)
{
    ++linesSeen;
}

} // namespace

struct Published {
    int lastIndex;
    MessageHeader records[HEADER_SLOTS];
    WideHeader wide[HEADER_SLOTS];
};

// The records a commit of the scan would publish (the last 100 kept).
void publish(int lastIndex, Published *out)
{
    out->lastIndex = lastIndex;
    for (int i = lastIndex - 99 < 0 ? 0 : lastIndex - 99, n = 0; i <= lastIndex; i++, n++) {
        out->records[n] = mail.workHeaders[i % HEADER_SLOTS];
        out->wide[n] = mail.workWide[i % HEADER_SLOTS];
    }
}

// The published records this scan wrote (those of earlier "files", before
// startIndex, were never taken up, as the source takes up only a first file).
bool samePublished(const Published &a, const Published &b, int startIndex)
{
    if (a.lastIndex != b.lastIndex)
        return false;
    int first = a.lastIndex - 99 < 0 ? 0 : a.lastIndex - 99;
    for (int n = startIndex + 1 - first < 0 ? 0 : startIndex + 1 - first;
         n < HEADER_SLOTS && n <= a.lastIndex - first; n++) {
        const MessageHeader &x = a.records[n], &y = b.records[n];
        if (x.index != y.index || x.sortKey != y.sortKey || x.soundEntry != y.soundEntry
            || strcmp(x.from, y.from) != 0 || strcmp(x.subject, y.subject) != 0
            || memcmp(a.wide[n].from, b.wide[n].from, sizeof a.wide[n].from) != 0
            || memcmp(a.wide[n].subject, b.wide[n].subject, sizeof a.wide[n].subject) != 0)
            return false;
    }
    return true;
}

// A line start after the middle where a separator of the layout begins.
size_t separatorAfterMiddle(const uint8_t *data, size_t size)
{
    bool mmdf = size >= 4 && memcmp(data, "\x01\x01\x01\x01", 4) == 0;
    const char *separator = mmdf ? "\x01\x01\x01\x01" : "From ";
    size_t length = strlen(separator);
    for (size_t at = size / 2 + 1; at + length <= size; at++)
        if (data[at - 1] == '\n' && memcmp(data + at, separator, length) == 0)
            return at;
    return 0;
}

void checkTakenUp(const uint8_t *data, size_t size, size_t block, size_t chunk, const MailFileScan &in)
{
    size_t cut = separatorAfterMiddle(data, size);
    if (cut == 0)
        return;
    static char buffer[1024];
    // Both scans start from the same slots: below 100 messages the commit
    // publishes slots this scan never wrote.
    static MessageHeader before[HEADER_SLOTS];
    static WideHeader beforeWide[HEADER_SLOTS];
    memcpy(before, mail.workHeaders, sizeof before);
    memcpy(beforeWide, mail.workWide, sizeof beforeWide);
    MailFileScan whole = in;
    whole.inPreviousSnapshot = true;
    whole.previousSize = (uint32_t)cut;
    Source source = {data, size, chunk};
    LineReader reader;
    initLineReader(&reader, buffer, block, readSource, &source);
    if (!scanMailFile(&reader, &whole) || (whole.format != UNIX_FROM && whole.format != MMDF))
        return;
    static Published expected, got;
    publish(whole.lastIndex, &expected);

    memcpy(mail.workHeaders, before, sizeof before);
    memcpy(mail.workWide, beforeWide, sizeof beforeWide);
    MailFileScan first = in;
    first.inPreviousSnapshot = true;
    first.previousSize = (uint32_t)cut;
    Source head = {data, cut, chunk};
    initLineReader(&reader, buffer, block, readSource, &head);
    startMailFileScan(&reader, &first);
    scanMailFileLines(&reader, &first);
    if (!first.reachedEnd)
        return;
    static MessageHeader slots[HEADER_SLOTS];
    static WideHeader wide[HEADER_SLOTS];
    memcpy(slots, mail.workHeaders, sizeof slots);
    memcpy(wide, mail.workWide, sizeof wide);

    // What the work slots hold in between does not matter.
    for (int i = 0; i < HEADER_SLOTS; i++)
        openHeaderRecord(i + 7000, 1);
    MailFileScan later = first;
    for (int i = 0; i < HEADER_SLOTS; i++) {
        mail.workHeaders[i] = slots[i];
        mail.workWide[i] = wide[i];
        mail.workHeaders[i].soundEntry = NO_SOUND; // there before: no sound
    }
    later.displaced.soundEntry = NO_SOUND;
    resumeMailFileScan(&later);
    Source tail = {data + cut, size - cut, chunk};
    initLineReader(&reader, buffer, block, readSource, &tail);
    setReaderOffset(&reader, cut);
    scanMailFileLines(&reader, &later);
    endMailFileScan(&later);
    publish(later.lastIndex, &got);
    if (!samePublished(expected, got, in.lastIndex))
        __builtin_trap();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    allocateMailBuffers();
    config.filterList.entries = filters;
    config.filterList.count = 3;
    config.wavBaseList.entries = sounds;
    config.wavBaseList.count = 2;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    uint8_t options = data[0];
    size_t block = 1 + data[1] * 4;  // 1 .. 1021 bytes
    size_t chunk = 1 + data[2] * 16; // 1 .. 4081 bytes per read
    data += 3;
    size -= 3;

    config.settings.UnreadOnly = options & 1;
    config.settings.UseFilters = options & 2;
    config.settings.SoundOption = (options & 4) ? SOUND_WAVBASE : SOUND_BEEP;
    config.settings.ConfirmDeletes = true;

    MailFileScan scan = {};
    scan.isCnm = options & 8;
    scan.fileNewer = options & 16;
    scan.inPreviousSnapshot = options & 32;
    scan.previousSize = (options & 64) ? 100 : 0;
    scan.sortKey = 0x12345678;
    scan.stopRequested = stopAfter;
    scan.eachLine = countLine;
    scan.lastIndex = (options & 128) ? 98 : -1;
    int startIndex = scan.lastIndex;

    static char buffer[1024];
    Source source = {data, size, chunk};
    LineReader reader;
    initLineReader(&reader, buffer, block, readSource, &source);
    linesSeen = 0;
    scanMailFile(&reader, &scan);

    // Every kept message was opened, and none is counted twice.
    if (scan.lastIndex < startIndex || scan.lastIndex > startIndex + scan.messagesOpened)
        __builtin_trap();
    if (readerOffset(&reader) > size)
        __builtin_trap();
    for (int i = 0; i < HEADER_SLOTS; ++i) {
        const MessageHeader *h = &mail.workHeaders[i];
        if (memchr(h->from, 0, sizeof h->from) == NULL || memchr(h->subject, 0, sizeof h->subject) == NULL)
            __builtin_trap();
    }
    if (memchr(mail.rawFrom, 0, sizeof mail.rawFrom) == NULL
        || memchr(mail.senderText, 0, sizeof mail.senderText) == NULL)
        __builtin_trap();

    scan.lastIndex = startIndex;
    checkTakenUp(data, size, block, chunk, scan);
    return 0;
}
