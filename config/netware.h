// The three queries of the NetWare bridge library PELNW32.DLL, looked up by name.
// The texts and the table they return belong to the bridge and are only read.
#ifndef PELIMBO_CONFIG_NETWARE_H
#define PELIMBO_CONFIG_NETWARE_H

#if defined(_WIN32)
#define PELNW_CALL __stdcall
#else
#define PELNW_CALL
#endif

// Up to 8 entries of 48 bytes, each a NUL-terminated server name; an entry whose
// first byte is 0 ends the table. Null when there is none.
typedef const char *(PELNW_CALL *GetNWServerTable32Proc)(void);
// The server's position in the table, or -1 when it is not known.
typedef long(PELNW_CALL *GetNWServerIndex32Proc)(const char *server);
// The Pegasus Mail new-mail path on the server; null asks for the default server.
typedef const char *(PELNW_CALL *GetNWPmailFile32Proc)(const char *server);

#endif
