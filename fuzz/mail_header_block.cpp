// Fuzzes the per-message header-block parser of the network sources. The first
// byte chooses UseFilters, UnreadOnly, the sound option and the deletion
// settings; a small fixed filter and WAVBase list are in place.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"

namespace
{

char filterTexts[3][8] = {"", "sale", "Z\xE9"};
FilterEntry filters[] = {
    {filterTexts[1], FILTER_DELETE, MATCH_SUBJECT},
    {filterTexts[2], FILTER_IGNORE, MATCH_EITHER},
    {filterTexts[0], FILTER_IGNORE, 3},
};
char soundTexts[2][8] = {"boss", "a"};
char soundFiles[2][8] = {"b.wav", "a.wav"};
WavBaseEntry sounds[] = {
    {soundTexts[0], soundFiles[0], MATCH_FROM, 0},
    {soundTexts[1], soundFiles[1], MATCH_SUBJECT, 0},
};

bool inFilters(const FilterEntry *e)
{
    for (const FilterEntry &f : filters)
        if (e == &f)
            return true;
    return false;
}

bool inSounds(const WavBaseEntry *e)
{
    for (const WavBaseEntry &s : sounds)
        if (e == &s)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if (!mail.workHeaders && !allocateMailBuffers())
        abort();
    uint8_t flags = data[0];
    config.settings.UseFilters = flags & 1;
    config.settings.UnreadOnly = flags & 2;
    config.settings.SoundOption = (flags >> 2) & 3;
    config.settings.ConfirmDeletes = flags & 16;
    config.settings.LogDeletes = flags & 32;
    config.filterList = FilterList{filters, 3};
    config.wavBaseList = WavBaseList{sounds, 2};

    size_t length = size - 1;
    char *block = (char *)malloc(length ? length : 1);
    memcpy(block, data + 1, length);

    ReceivedDate storedDate = {1996, 6, 12};
    ReceivedTime storedTime = {5, 10, 0, 0};
    ReceivedDate newestDate = storedDate;
    ReceivedTime newestTime = storedTime;
    HeaderScanResult result;
    MessageHeader *record = openHeaderRecord(flags, 0);
    parseHeaderBlock(block, length, record, &result, &storedDate, &storedTime, &newestDate, &newestTime);

    if (strnlen(record->from, HEADER_TEXT_SIZE) >= HEADER_TEXT_SIZE
        || strnlen(record->subject, HEADER_TEXT_SIZE) >= HEADER_TEXT_SIZE)
        abort();
    if (result.filterEntry && !inFilters(result.filterEntry))
        abort();
    if (record->soundEntry != NO_SOUND && record->soundEntry != nullptr && !inSounds(record->soundEntry))
        abort();
    if (result.isNew && result.isRead)
        abort();
    // The newest date never falls behind the stored one.
    if (compareDates(&newestDate, &storedDate) < 0)
        abort();
    free(block);
    return 0;
}
