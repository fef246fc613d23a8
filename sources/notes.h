// The Lotus Notes source: a Notes mail database polled through the Notes
// programming interface (sources/notesapi.h).
#ifndef PELIMBO_SOURCES_NOTES_H
#define PELIMBO_SOURCES_NOTES_H

#include "sources/notesapi.h"

enum {
    NOTES_VIEW_CLASS = 8,      // design notes of views and folders
    NOTES_ITEM_SENDER = 2,     // message items read from each note
    NOTES_ITEM_SUBJECT = 3,    //
    NOTES_ITEM_POSTED = 16,    // the time-date the newness rule compares
    NOTES_ID_USER_NAME = 7,    // what REGGetIDInfo reads from the ID file
    NOTES_EXAMINED_MAX = 100,  // only the last entries of a view are read
    NOTES_ITEM_TEXT_SIZE = 128,  // sender or subject as stored, before translation
    NOTES_NATIVE_TEXT_SIZE = 256 // the same translated, whole, before the cut to the record
};

struct NotesSource {
    bool loaded; // the library is loaded and Notes initialised
    NotesInterface api;
    char userName[NOTES_NAME_SIZE];
    char canonicalName[NOTES_NAME_SIZE];
    // The newest message seen since start; lives across setup dialogs.
    NotesTimeDate latest;
    bool haveLatest;
};

extern NotesSource notesSource;

// Loads and initialises Notes (at start and after each setup dialog while the
// source is Lotus Notes); reports its failures.
void openNotes(void);
// Ends the Notes session and unloads the library (before the setup dialog, at
// exit).
void closeNotes(void);
// The poll operation of the source (declared with the others in sources.h).
void pollNotes(void);

// The program's message, then the interface's own text for the status.
void reportNotesError(const char *text, NotesStatus status);

#endif
