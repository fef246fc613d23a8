// What the MAPI source relies on of Simple MAPI: the six entry points it calls,
// the flags it passes and the fields of the message record it reads. Shared
// with the stand-in library of the tests, so both sides agree on one layout.
#ifndef PELIMBO_SOURCES_MAPI_RECORDS_H
#define PELIMBO_SOURCES_MAPI_RECORDS_H

#include <windows.h>

#include <stdint.h>

typedef ULONG_PTR MapiSessionHandle;

// The sender or a recipient; only the display name is read.
struct MapiRecipient {
    ULONG reserved;
    ULONG recipientClass;
    LPSTR name;
    LPSTR address;
    ULONG entryIdSize;
    LPVOID entryId;
};

// A message as MAPIReadMail returns it; only the subject, the date received and
// the originator are read. The date is "YYYY/MM/DD HH:MM".
struct MapiMessageRecord {
    ULONG reserved;
    LPSTR subject;
    LPSTR noteText;
    LPSTR messageType;
    LPSTR dateReceived;
    LPSTR conversationId;
    ULONG flags;
    MapiRecipient *originator;
    ULONG recipientCount;
    MapiRecipient *recipients;
    ULONG fileCount;
    LPVOID files;
};

enum {
    MAPI_OK = 0,
    MAPI_LOGON_UI_ALLOWED = 0x1,    // MAPILogon may show its own logon dialog
    MAPI_FIND_UNREAD_ONLY = 0x20,   // MAPIFindNext: unread messages only
    MAPI_FIND_FIFO = 0x100,         // MAPIFindNext: in the order received
    MAPI_READ_ENVELOPE_PEEK = 0xC0, // MAPIReadMail: envelope only, leave unread
    MAPI_MESSAGE_ID_SIZE = 65,      // 64 characters and the terminator
};

typedef ULONG(WINAPI *MapiLogonFn)(ULONG_PTR window, LPSTR profile, LPSTR password, ULONG flags,
                                   ULONG reserved, MapiSessionHandle *session);
typedef ULONG(WINAPI *MapiLogoffFn)(MapiSessionHandle session, ULONG_PTR window, ULONG flags, ULONG reserved);
typedef ULONG(WINAPI *MapiFindNextFn)(MapiSessionHandle session, ULONG_PTR window, LPSTR messageType,
                                      LPSTR seed, ULONG flags, ULONG reserved, LPSTR found);
typedef ULONG(WINAPI *MapiFreeBufferFn)(LPVOID buffer);
typedef ULONG(WINAPI *MapiDeleteMailFn)(MapiSessionHandle session, ULONG_PTR window, LPSTR messageId,
                                        ULONG flags, ULONG reserved);
typedef ULONG(WINAPI *MapiReadMailFn)(MapiSessionHandle session, ULONG_PTR window, LPSTR messageId,
                                      ULONG flags, ULONG reserved, MapiMessageRecord **message);

#endif
