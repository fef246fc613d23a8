// The notifier's binding of the Notes programming interface: NNOTES.DLL is
// loaded by name and its entry points resolved by name, all of them required.
#include <windows.h>

#include <string.h>

#include "base/entrypoint_win32.h"
#include "core/core.h"
#include "sources/notesapi.h"

const char *const notesEntryNames[NOTES_ENTRY_COUNT] = {
    "DNCanonicalize",
    "IDIsPresent",
    "NotesInitExtended",
    "NotesTerm",
    "NSFDbGetUnreadNoteTable",
    "MailGetMessageItem",
    "MailGetMessageItemTimeDate",
    "NIFFindDesignNote",
    "NIFCloseCollection",
    "NIFOpenCollection",
    "NIFReadEntries",
    "NSFDbOpen",
    "NSFDbClose",
    "NSFNoteOpen",
    "NSFNoteClose",
    "NSFNoteDelete",
    "OSGetEnvironmentString",
    "OSLoadString",
    "OSSetEnvironmentVariable",
    "OSLockObject",
    "OSMemFree",
    "OSUnlockObject",
    "OSPathNetConstruct",
    "OSTranslate",
    "REGGetIDInfo",
    "TimeDateCompare",
};

static HMODULE notesLibrary;

bool loadNotesLibrary(NotesInterface *api)
{
    if (notesLibrary)
        return true;
    HMODULE library = loadLibraryQuietly("NNOTES.DLL");
    if (!library) {
        reportError("Error loading NNOTES.DLL");
        return false;
    }
    // The table is filled in declaration order, which is the order above.
    static_assert(sizeof(NotesInterface) == NOTES_ENTRY_COUNT * sizeof(FARPROC), "one slot per entry point");
    for (int i = 0; i < NOTES_ENTRY_COUNT; i++) {
        FARPROC entry = GetProcAddress(library, notesEntryNames[i]);
        if (!entry) {
            FreeLibrary(library);
            reportError("Missing function in NNOTES.DLL");
            return false;
        }
        memcpy(reinterpret_cast<char *>(api) + i * sizeof entry, &entry, sizeof entry);
    }
    notesLibrary = library;
    return true;
}

void unloadNotesLibrary(void)
{
    if (notesLibrary)
        FreeLibrary(notesLibrary);
    notesLibrary = NULL;
}
