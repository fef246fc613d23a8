// Builds without the Notes programming interface (the window-free build): the
// library never loads, so the Notes source reports it and stays closed.
#include "core/core.h"
#include "sources/notesapi.h"

bool loadNotesLibrary(NotesInterface *api)
{
    reportError("Error loading NNOTES.DLL");
    return false;
}

void unloadNotesLibrary(void)
{
}
