// The key names of the [Filters] and [WAVBase] sections, as the profile
// functions hand them over (not necessarily ending in an empty name). Every
// entry built must format into a key that parses back to the same entry.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "config/config.h"

static void quiet(const char *)
{
}

static void checkFilters(void)
{
    for (int i = 0; i < config.filterList.count; i++) {
        const FilterEntry &e = config.filterList.entries[i];
        if (e.text[0] == '\0' || strlen(e.text) > LIST_TEXT_MAX || e.action > 1 || e.match > 2)
            abort();
        if (i > 0 && compareNoCase(config.filterList.entries[i - 1].text, e.text) > 0)
            abort();
        char key[LIST_KEY_SIZE], text[LIST_TEXT_MAX + 1];
        uint8_t action, match;
        formatFilterKey(key, sizeof key, &e);
        if (!parseFilterKey(key, text, &action, &match) || strcmp(text, e.text) || action != e.action
            || match != e.match)
            abort();
    }
}

static void checkWavBase(void)
{
    for (int i = 0; i < config.wavBaseList.count; i++) {
        const WavBaseEntry &e = config.wavBaseList.entries[i];
        if (e.text[0] == '\0' || strlen(e.text) > LIST_TEXT_MAX || strlen(e.soundFile) > LIST_SOUND_MAX
            || e.match > 2)
            abort();
        char key[LIST_KEY_SIZE], text[LIST_TEXT_MAX + 1], sound[LIST_SOUND_MAX + 1];
        uint8_t match;
        formatWavBaseKey(key, sizeof key, &e);
        if (!parseWavBaseKey(key, text, sound, &match) || strcmp(text, e.text) || strcmp(sound, e.soundFile)
            || match != e.match)
            abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    config.report = quiet;
    // An exactly sized copy, so reading past the end is caught.
    char *keys = (char *)malloc(size ? size : 1);
    memcpy(keys, data, size);
    buildFilterList(&config.filterList, keys, size);
    checkFilters();
    buildWavBaseList(&config.wavBaseList, keys, size);
    checkWavBase();
    freeFilterList(&config.filterList);
    freeWavBaseList(&config.wavBaseList);
    free(keys);
    return 0;
}
