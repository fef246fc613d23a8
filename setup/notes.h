// The setup library's binding of the Notes programming interface: the 19
// entry points it resolves from NNOTES.DLL, in the order they are resolved.
#ifndef PELIMBO_SETUP_NOTES_H
#define PELIMBO_SETUP_NOTES_H

#include "sources/notesapi.h"

struct SetupNotesInterface {
    NotesInitExtendedProc NotesInitExtended;
    NotesTermProc NotesTerm;
    NotesOSLockObjectProc OSLockObject;
    NotesOSUnlockObjectProc OSUnlockObject;
    NotesOSMemFreeProc OSMemFree;
    NotesOSGetDataDirectoryProc OSGetDataDirectory;
    NotesREGGetIDInfoProc REGGetIDInfo;
    NotesOSLoadStringProc OSLoadString;
    NotesNSFDbOpenProc NSFDbOpen;
    NotesNSFDbCloseProc NSFDbClose;
    NotesNSFNoteOpenProc NSFNoteOpen;
    NotesNSFNoteCloseProc NSFNoteClose;
    NotesNSFItemScanProc NSFItemScan;
    NotesNSFSearchProc NSFSearch;
    NotesDNAbbreviateProc DNAbbreviate;
    NotesDNCanonicalizeProc DNCanonicalize;
    NotesNAMEGetAddressBooksProc NAMEGetAddressBooks;
    NotesOSPathNetParseProc OSPathNetParse;
    NotesOSPathNetConstructProc OSPathNetConstruct;
};

// Valid while setup.notesLibrary is set (loadSetupNotes succeeded).
extern SetupNotesInterface setupNotes;

// reportSetupError with the text, then with the interface's text for status.
void reportSetupNotesError(const char *text, NotesStatus status);

#endif
