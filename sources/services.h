// The service sources' own state: the Simple MAPI source (Microsoft Mail,
// Windows Messaging, GroupWise) and the cc:Mail source through VIM. Windows
// only; the poll cycle reaches them through sources/sources.h.
#ifndef PELIMBO_SOURCES_SERVICES_H
#define PELIMBO_SOURCES_SERVICES_H

#include "base/entrypoint_win32.h"
#include "sources/mapi_records.h"
#include "sources/sources.h"
#include "sources/vim_records.h"

enum {
    MAPI_DATE_TEXT_LENGTH = 16, // "YYYY/MM/DD HH:MM"
};

struct MapiSource {
    HMODULE library;
    bool loaded; // the library is loaded and its six entry points resolved
    MapiSessionHandle session;
    // A poll is walking the mailbox, dispatching window messages between
    // messages; a close asked for meanwhile (the Windows session ending) is
    // kept for the walk's end, so no call reaches a session logged off.
    bool walking;
    bool closeAfterWalk;
    HWND spoolerWindow;
    // The latest date-received text seen since start; only its first 16
    // characters count.
    char latestDate[MAPI_DATE_TEXT_LENGTH + 1];
    MapiLogonFn logon;
    MapiLogoffFn logoff;
    MapiFindNextFn findNext;
    MapiFreeBufferFn freeBuffer;
    MapiDeleteMailFn deleteMail;
    MapiReadMailFn readMail;
};

struct VimSource {
    HMODULE library;
    bool loaded;      // the library is loaded and its ten entry points resolved
    bool initialised; // VIMInitialize succeeded and VIMTerminate is still owed
    VimSessionHandle session;
    // As for MAPI: a close during the walk waits for its end, so that no
    // enumeration runs after VIMTerminate.
    bool walking;
    bool closeAfterWalk;
    uint8_t latestDate[VIM_DATE_SIZE];
    VimInitializeFn initialize;
    VimTerminateFn terminate;
    VimQueryCapabilityFn queryCapability;
    VimOpenSessionFn openSession;
    VimCloseSessionFn closeSession;
    VimOpenMessageContainerFn openContainer;
    VimCloseMessageContainerFn closeContainer;
    VimRemoveMessageFn removeMessage;
    VimEnumerateMessagesFn enumerateMessages;
    VimStatusTextFn statusText;
};

extern MapiSource mapiSource;
extern VimSource vimSource;

// The file names the two sources load (tests may point them elsewhere).
extern const char *mapiLibraryName;
extern const char *vimLibraryName;

// The window MAPI's dialogs belong to and that Windows Messaging hides while
// it polls (NULL: none).
extern HWND serviceWindow;

// Loads a service library by name with the platform's error box for files
// that cannot be opened suppressed.
HMODULE loadServiceLibrary(const char *name);

#endif
