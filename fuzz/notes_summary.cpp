// Fuzzes the reader of a Notes directory entry's summary with arbitrary item
// tables: it must never read past the input nor past the length it states.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "sources/notes_summary.h"

static void addDirectory(void *context, const char *name)
{
    if (strlen(name) >= NOTES_ENTRY_TEXT_SIZE)
        abort();
}

static void addDatabase(void *context, const char *title, const char *fileName)
{
    if (strlen(title) >= NOTES_ENTRY_TEXT_SIZE || (fileName && strlen(fileName) >= NOTES_ENTRY_TEXT_SIZE))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly the input's size, so any read beyond it is caught.
    uint8_t *copy = (uint8_t *)malloc(size ? size : 1);
    memcpy(copy, data, size);
    NotesEntrySink sink = {addDirectory, addDatabase, NULL};
    readNotesDirectoryEntry(copy, size, &sink);
    free(copy);
    return 0;
}
