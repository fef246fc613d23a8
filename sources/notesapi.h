// The Lotus Notes programming interface as the notifier calls it: the types
// and entry points of NNOTES.DLL that the Notes source needs, declared here
// from what the source relies on (no platform header is used). Window-free:
// the table is filled by the platform's binding and may be filled by a fake.
#ifndef PELIMBO_SOURCES_NOTESAPI_H
#define PELIMBO_SOURCES_NOTESAPI_H

#include <stddef.h>
#include <stdint.h>

// Every entry point of the interface uses the platform's standard calling
// convention; a mismatch only shows in the 32-bit build, as a crash.
#if defined(_WIN32)
#ifndef WINAPI
#define WINAPI __stdcall
#endif
#else
#ifndef WINAPI
#define WINAPI
#endif
#endif

typedef uint16_t NotesStatus; // 0 for success
typedef uint32_t NotesHandle; // databases, notes, collections, memory; 0 is none
typedef uint32_t NotesNoteId;

enum {
    NOTES_ERROR_MASK = 0x3FFF, // the error number within a status
    NOTES_NAME_SIZE = 256,     // user names, canonical names, server names
    NOTES_PATH_SIZE = 256,     // a network path built from server and file
    NOTES_ERROR_TEXT_SIZE = 128,
};

// Eight opaque bytes; only the interface compares them.
struct NotesTimeDate {
    uint32_t innards[2];
};

// A place in a view: the level and the entry number on each level.
struct NotesCollectionPosition {
    uint16_t level;
    uint8_t minLevel;
    uint8_t maxLevel;
    uint32_t tumbler[32];
};

typedef NotesStatus(WINAPI *NotesDNCanonicalizeProc)(uint32_t flags, const char *templateName,
                                                     const char *name, char *result, uint16_t size,
                                                     uint16_t *length);
typedef int(WINAPI *NotesIDIsPresentProc)(NotesHandle table, NotesNoteId id);
typedef NotesStatus(WINAPI *NotesInitExtendedProc)(int count, char **arguments);
typedef void(WINAPI *NotesTermProc)(void);
typedef NotesStatus(WINAPI *NotesGetUnreadNoteTableProc)(NotesHandle database, char *userName,
                                                         uint16_t length, int create, NotesHandle *table);
typedef NotesStatus(WINAPI *NotesMailGetMessageItemProc)(NotesHandle note, uint16_t item, char *text,
                                                         uint16_t size, uint16_t *length);
typedef NotesStatus(WINAPI *NotesMailGetMessageItemTimeDateProc)(NotesHandle note, uint16_t item,
                                                                 NotesTimeDate *result);
typedef NotesStatus(WINAPI *NotesNIFFindDesignNoteProc)(NotesHandle database, const char *name,
                                                        uint16_t noteClass, NotesNoteId *result);
typedef NotesStatus(WINAPI *NotesNIFCloseCollectionProc)(NotesHandle collection);
typedef NotesStatus(WINAPI *NotesNIFOpenCollectionProc)(NotesHandle viewDatabase, NotesHandle dataDatabase,
                                                        NotesNoteId view, uint16_t flags,
                                                        NotesHandle unreadList, NotesHandle *collection,
                                                        NotesHandle *viewNote, void *viewUnid,
                                                        NotesHandle *collapsedList,
                                                        NotesHandle *selectedList);
typedef NotesStatus(WINAPI *NotesNIFReadEntriesProc)(
    NotesHandle collection, NotesCollectionPosition *position, uint16_t skipNavigator, uint32_t skipCount,
    uint16_t returnNavigator, uint32_t returnCount, uint32_t returnMask, NotesHandle *buffer,
    uint16_t *bufferLength, uint32_t *skipped, uint32_t *returned, uint16_t *signalFlags);
typedef NotesStatus(WINAPI *NotesNSFDbOpenProc)(const char *path, NotesHandle *database);
typedef NotesStatus(WINAPI *NotesNSFDbCloseProc)(NotesHandle database);
typedef NotesStatus(WINAPI *NotesNSFNoteOpenProc)(NotesHandle database, NotesNoteId id, uint16_t flags,
                                                  NotesHandle *note);
typedef NotesStatus(WINAPI *NotesNSFNoteCloseProc)(NotesHandle note);
typedef NotesStatus(WINAPI *NotesNSFNoteDeleteProc)(NotesHandle database, NotesNoteId id, uint16_t flags);
typedef int(WINAPI *NotesOSGetEnvironmentStringProc)(const char *name, char *value, uint16_t size);
typedef uint16_t(WINAPI *NotesOSLoadStringProc)(void *module, NotesStatus code, char *text, uint16_t size);
typedef void(WINAPI *NotesOSSetEnvironmentVariableProc)(const char *name, const char *value);
typedef void *(WINAPI *NotesOSLockObjectProc)(NotesHandle handle);
typedef NotesStatus(WINAPI *NotesOSMemFreeProc)(NotesHandle handle);
typedef int(WINAPI *NotesOSUnlockObjectProc)(NotesHandle handle);
typedef NotesStatus(WINAPI *NotesOSPathNetConstructProc)(const char *port, const char *server,
                                                         const char *file, char *path);
typedef uint16_t(WINAPI *NotesOSTranslateProc)(uint16_t mode, const char *in, uint16_t inLength, char *out,
                                               uint16_t outLength);
typedef NotesStatus(WINAPI *NotesREGGetIDInfoProc)(char *idFile, uint16_t item, void *result, uint16_t size,
                                                   uint16_t *length);
typedef int(WINAPI *NotesTimeDateCompareProc)(const NotesTimeDate *a, const NotesTimeDate *b);

// The rest of the interface that the setup library uses besides those above:
// enumeration of documents and directory entries, items of a note, names and
// paths.

// What a search hands its routine for each match; only the note id is read.
struct NotesSearchMatch {
    NotesTimeDate file;
    NotesTimeDate note;
    NotesNoteId noteId;
    uint8_t originator[28];
    uint16_t noteClass;
    uint8_t flags;
    uint8_t privileges;
    uint16_t summaryLength;
};

typedef NotesStatus(WINAPI *NotesSearchProc)(void *parameter, const NotesSearchMatch *match,
                                             const void *summary);
typedef NotesStatus(WINAPI *NotesItemScanProc)(uint16_t spare, uint16_t flags, char *name,
                                               uint16_t nameLength, void *value, uint32_t valueLength,
                                               void *parameter);
typedef NotesStatus(WINAPI *NotesNSFSearchProc)(NotesHandle database, NotesHandle formula, char *viewTitle,
                                                uint16_t flags, uint16_t noteClassMask, NotesTimeDate *since,
                                                NotesSearchProc routine, void *parameter,
                                                NotesTimeDate *until);
typedef NotesStatus(WINAPI *NotesNSFItemScanProc)(NotesHandle note, NotesItemScanProc routine,
                                                  void *parameter);
typedef NotesStatus(WINAPI *NotesNAMEGetAddressBooksProc)(const char *server, uint16_t options,
                                                          uint16_t *count, uint16_t *length,
                                                          NotesHandle *books);
typedef NotesStatus(WINAPI *NotesOSPathNetParseProc)(const char *path, char *port, char *server, char *file);
typedef uint16_t(WINAPI *NotesOSGetDataDirectoryProc)(char *path);
typedef NotesDNCanonicalizeProc NotesDNAbbreviateProc;

enum {
    NOTES_TEXT_TYPE = 0x0500, // type word of a text value
};

// The 26 entry points, in the order they are resolved by name.
struct NotesInterface {
    NotesDNCanonicalizeProc DNCanonicalize;
    NotesIDIsPresentProc IDIsPresent;
    NotesInitExtendedProc NotesInitExtended;
    NotesTermProc NotesTerm;
    NotesGetUnreadNoteTableProc NSFDbGetUnreadNoteTable;
    NotesMailGetMessageItemProc MailGetMessageItem;
    NotesMailGetMessageItemTimeDateProc MailGetMessageItemTimeDate;
    NotesNIFFindDesignNoteProc NIFFindDesignNote;
    NotesNIFCloseCollectionProc NIFCloseCollection;
    NotesNIFOpenCollectionProc NIFOpenCollection;
    NotesNIFReadEntriesProc NIFReadEntries;
    NotesNSFDbOpenProc NSFDbOpen;
    NotesNSFDbCloseProc NSFDbClose;
    NotesNSFNoteOpenProc NSFNoteOpen;
    NotesNSFNoteCloseProc NSFNoteClose;
    NotesNSFNoteDeleteProc NSFNoteDelete;
    NotesOSGetEnvironmentStringProc OSGetEnvironmentString;
    NotesOSLoadStringProc OSLoadString;
    NotesOSSetEnvironmentVariableProc OSSetEnvironmentVariable;
    NotesOSLockObjectProc OSLockObject;
    NotesOSMemFreeProc OSMemFree;
    NotesOSUnlockObjectProc OSUnlockObject;
    NotesOSPathNetConstructProc OSPathNetConstruct;
    NotesOSTranslateProc OSTranslate;
    NotesREGGetIDInfoProc REGGetIDInfo;
    NotesTimeDateCompareProc TimeDateCompare;
};

enum {
    NOTES_ENTRY_COUNT = sizeof(NotesInterface) / sizeof(void (*)(void))
};
extern const char *const notesEntryNames[NOTES_ENTRY_COUNT];

// The platform's binding: loads "NNOTES.DLL" (missing-file box suppressed) and
// resolves every entry into api. It reports its own failure ("Error loading
// NNOTES.DLL", "Missing function in NNOTES.DLL", the library unloaded again)
// and returns false.
bool loadNotesLibrary(NotesInterface *api);
void unloadNotesLibrary(void);

#endif
