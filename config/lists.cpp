// The [Filters] and [WAVBase] lists: each entry lives entirely in a key name,
// its fields joined by "#". Building, parsing, formatting and sorting need no
// platform call; the INI access is in lists_win32.cpp.
#include <stdlib.h>
#include <string.h>

#include "config/config.h"

// A one-digit field in range; anything else (missing, a letter, out of range)
// reads as 0, which is the harmless choice: Ignore, and match From.
static uint8_t digitField(const char *p, int max)
{
    if (!p || *p < '0' || *p > '0' + max)
        return 0;
    return (uint8_t)(*p - '0');
}

// A key name that holds "=", starts a comment or a section, or has blanks at
// an end is read back as some other entry (or none), so it is never written.
const char *listTextRefusal(const char *text)
{
    if (strchr(text, '#'))
        return "String may not contain '#'";
    if (strchr(text, '='))
        return "String may not contain '='";
    if (text[0] == ';')
        return "String may not begin with ';'";
    if (text[0] == '[')
        return "String may not begin with '['";
    size_t length = strlen(text);
    if (length > 0
        && (text[0] == ' ' || text[0] == '\t' || text[length - 1] == ' ' || text[length - 1] == '\t'))
        return "String may not begin or end with a blank";
    return NULL;
}

int parseFilterKey(const char *key, char text[LIST_TEXT_MAX + 1], uint8_t *action, uint8_t *match)
{
    const char *hash = strchr(key, '#');
    size_t textLength = hash ? (size_t)(hash - key) : strlen(key);
    // An empty text would match every message (and could delete them all).
    if (textLength == 0)
        return 0;
    copyTextN(text, LIST_TEXT_MAX + 1, key, textLength);
    const char *actionField = hash ? hash + 1 : NULL;
    const char *second = hash ? strchr(hash + 1, '#') : NULL;
    *action = digitField(actionField, FILTER_DELETE);
    *match = digitField(second ? second + 1 : NULL, MATCH_EITHER);
    return 1;
}

int parseWavBaseKey(const char *key, char text[LIST_TEXT_MAX + 1], char sound[LIST_SOUND_MAX + 1],
                    uint8_t *match)
{
    const char *hash = strchr(key, '#');
    // Without a "#" there is no sound to play; an empty text would match anything.
    if (!hash || hash == key)
        return 0;
    copyTextN(text, LIST_TEXT_MAX + 1, key, (size_t)(hash - key));
    const char *soundStart = hash + 1;
    // The match is a single digit after the last "#"; a "#" elsewhere belongs to
    // the path, so a sound file whose name holds "#" survives a save and a read.
    const char *last = strrchr(soundStart, '#');
    bool hasMatch = last && last[1] >= '0' && last[1] <= '9' && last[2] == '\0';
    size_t soundLength = hasMatch ? (size_t)(last - soundStart) : strlen(soundStart);
    copyTextN(sound, LIST_SOUND_MAX + 1, soundStart, soundLength);
    *match = digitField(hasMatch ? last + 1 : NULL, MATCH_EITHER);
    return 1;
}

int formatFilterKey(char *key, size_t size, const FilterEntry *entry)
{
    return formatText(key, size, "%s#%d#%d", entry->text, entry->action, entry->match);
}

int formatWavBaseKey(char *key, size_t size, const WavBaseEntry *entry)
{
    return formatText(key, size, "%s#%s#%d", entry->text, entry->soundFile, entry->match);
}

void freeFilterList(FilterList *list)
{
    for (int i = 0; i < list->count; i++)
        free(list->entries[i].text);
    free(list->entries);
    list->entries = NULL;
    list->count = 0;
}

void freeWavBaseList(WavBaseList *list)
{
    for (int i = 0; i < list->count; i++) {
        free(list->entries[i].text);
        free(list->entries[i].soundFile);
    }
    free(list->entries);
    list->entries = NULL;
    list->count = 0;
}

static int compareFilters(const void *a, const void *b)
{
    return compareNoCase(((const FilterEntry *)a)->text, ((const FilterEntry *)b)->text);
}

static int compareWavBase(const void *a, const void *b)
{
    return compareNoCase(((const WavBaseEntry *)a)->text, ((const WavBaseEntry *)b)->text);
}

void sortFilterList(FilterList *list)
{
    if (list->count > 1)
        qsort(list->entries, (size_t)list->count, sizeof *list->entries, compareFilters);
}

void sortWavBaseList(WavBaseList *list)
{
    if (list->count > 1)
        qsort(list->entries, (size_t)list->count, sizeof *list->entries, compareWavBase);
}

// Counts the names in a buffer of NUL-terminated names ended by an empty one;
// a buffer that lacks the final empty name ends at its size.
static int countKeys(const char *keys, size_t size)
{
    int count = 0;
    size_t at = 0;
    while (at < size && keys[at] != '\0') {
        count++;
        at += strnlen(keys + at, size - at) + 1;
    }
    return count;
}

// Copies a name that may run to the end of the buffer without a terminator.
static const char *keyAt(const char *keys, size_t size, size_t at, char *copy, size_t copySize, size_t *next)
{
    size_t n = strnlen(keys + at, size - at);
    *next = at + n + 1;
    if (at + n < size)
        return keys + at;
    copyTextN(copy, copySize, keys + at, n);
    return copy;
}

// The text blocks are sized to the whole key field, as long as the field is.
static char *allocateField(size_t length)
{
    return (char *)calloc(length + 1, 1);
}

int buildFilterList(FilterList *list, const char *keys, size_t size)
{
    freeFilterList(list);
    int names = countKeys(keys, size);
    list->entries = (FilterEntry *)calloc(names ? (size_t)names : 1, sizeof(FilterEntry));
    if (!list->entries) {
        configReport("Can't allocate memory for filter list");
        return -1;
    }
    size_t at = 0;
    for (int i = 0; i < names; i++) {
        char copy[LIST_KEY_SIZE];
        size_t next;
        const char *key = keyAt(keys, size, at, copy, sizeof copy, &next);
        at = next;
        char text[LIST_TEXT_MAX + 1];
        uint8_t action, match;
        if (!parseFilterKey(key, text, &action, &match))
            continue;
        const char *hash = strchr(key, '#');
        FilterEntry *entry = &list->entries[list->count];
        entry->text = allocateField(hash ? (size_t)(hash - key) : strlen(key));
        if (!entry->text) {
            configReport("Can't allocate memory for filter entry");
            break;
        }
        copyText(entry->text, LIST_TEXT_MAX + 1, text);
        entry->action = action;
        entry->match = match;
        list->count++;
    }
    sortFilterList(list);
    return 0;
}

int buildWavBaseList(WavBaseList *list, const char *keys, size_t size)
{
    freeWavBaseList(list);
    int names = countKeys(keys, size);
    list->entries = (WavBaseEntry *)calloc(names ? (size_t)names : 1, sizeof(WavBaseEntry));
    if (!list->entries) {
        configReport("Can't allocate memory for WAVBase table");
        return -1;
    }
    size_t at = 0;
    for (int i = 0; i < names; i++) {
        char copy[LIST_KEY_SIZE];
        size_t next;
        const char *key = keyAt(keys, size, at, copy, sizeof copy, &next);
        at = next;
        char text[LIST_TEXT_MAX + 1];
        char sound[LIST_SOUND_MAX + 1];
        uint8_t match;
        if (!parseWavBaseKey(key, text, sound, &match))
            continue;
        const char *hash = strchr(key, '#');
        WavBaseEntry *entry = &list->entries[list->count];
        entry->text = allocateField((size_t)(hash - key));
        entry->soundFile = allocateField(strlen(hash + 1));
        if (!entry->text || !entry->soundFile) {
            free(entry->text);
            free(entry->soundFile);
            entry->text = entry->soundFile = NULL;
            configReport("Can't allocate memory for WAVBase entry");
            break;
        }
        copyText(entry->text, LIST_TEXT_MAX + 1, text);
        copyText(entry->soundFile, LIST_SOUND_MAX + 1, sound);
        entry->match = match;
        entry->played = 0;
        list->count++;
    }
    sortWavBaseList(list);
    return 0;
}
