// Reading and writing the [Filters] and [WAVBase] sections.
#include <windows.h>
#include <stdlib.h>

#include "config/config.h"

// Lists the key names of a section into a fresh buffer. The list cannot be
// longer than the file, so the file's size (plus the two terminators) is enough.
// NULL when the file is missing (*missing set) or memory runs out.
static char *readKeyNames(const char *section, const char *ini, size_t *size, bool *missing)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    *missing = !GetFileAttributesExA(ini, GetFileExInfoStandard, &data)
               || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (*missing)
        return NULL;
    if (data.nFileSizeHigh != 0 || data.nFileSizeLow > 0x7FFFFFF0u) {
        *size = 0;
        return NULL;
    }
    *size = (size_t)data.nFileSizeLow + 2;
    char *keys = (char *)calloc(*size, 1);
    if (!keys)
        return NULL;
    GetPrivateProfileStringA(section, NULL, "", keys, (DWORD)*size, ini);
    return keys;
}

int loadFilterList(const char *ini)
{
    size_t size;
    bool missing;
    char *keys = readKeyNames("Filters", ini, &size, &missing);
    if (missing)
        return 0;
    freeFilterList(&config.filterList);
    if (!keys) {
        configReport("Can't allocate memory for filter list");
        return -1;
    }
    int result = buildFilterList(&config.filterList, keys, size);
    free(keys);
    return result;
}

int loadWavBaseList(const char *ini)
{
    size_t size;
    bool missing;
    char *keys = readKeyNames("WAVBase", ini, &size, &missing);
    if (missing)
        return 0;
    freeWavBaseList(&config.wavBaseList);
    if (!keys) {
        configReport("Can't allocate memory for WAVBase");
        return -1;
    }
    int result = buildWavBaseList(&config.wavBaseList, keys, size);
    free(keys);
    return result;
}

// An empty list leaves no section in the file.
int saveFilterList(const char *ini)
{
    WritePrivateProfileStringA("Filters", NULL, NULL, ini);
    const FilterList &list = config.filterList;
    for (int i = 0; i < list.count; i++) {
        char key[LIST_KEY_SIZE];
        formatFilterKey(key, sizeof key, &list.entries[i]);
        if (!WritePrivateProfileStringA("Filters", key, "", ini)) {
            configReport("Error saving filter list");
            return -1;
        }
    }
    return 0;
}

int saveWavBaseList(const char *ini)
{
    WritePrivateProfileStringA("WAVBase", NULL, NULL, ini);
    const WavBaseList &list = config.wavBaseList;
    for (int i = 0; i < list.count; i++) {
        char key[LIST_KEY_SIZE];
        formatWavBaseKey(key, sizeof key, &list.entries[i]);
        if (!WritePrivateProfileStringA("WAVBase", key, "", ini)) {
            configReport("Error saving WAVBase");
            return -1;
        }
    }
    return 0;
}
