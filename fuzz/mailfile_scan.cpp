// Fuzzes the mail-file scanner with arbitrary file contents: every layout,
// over-long and folded lines, NUL bytes, CR-only line ends, no final newline.
// The first bytes choose the settings, the read-block size and how much each
// read returns, so buffer refills fall at every possible place of a line.
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
    return 0;
}
