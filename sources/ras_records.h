// The dial-up service's records in their older, smaller layouts (the sizes
// the program puts in their size fields), and its entry points. Shared with
// the test stand-in of the service.
#ifndef PELIMBO_SOURCES_RAS_RECORDS_H
#define PELIMBO_SOURCES_RAS_RECORDS_H

#include <windows.h>

typedef HANDLE RasHandle;

struct RasConnEntry {
    DWORD dwSize;
    RasHandle hrasconn;
    CHAR szEntryName[257];
    CHAR szDeviceType[17];
    CHAR szDeviceName[129];
};

struct RasConnStatusRecord {
    DWORD dwSize;
    DWORD rasconnstate;
    DWORD dwError;
    CHAR szDeviceType[17];
    CHAR szDeviceName[129];
};

struct RasDialParamsRecord {
    DWORD dwSize;
    CHAR szEntryName[257];
    CHAR szPhoneNumber[129];
    CHAR szCallbackNumber[129];
    CHAR szUserName[257];
    CHAR szPassword[257];
    CHAR szDomain[16];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(RasConnEntry) == 412, "connection entry layout");
static_assert(sizeof(RasDialParamsRecord) == 1052, "dial parameters layout");
#endif
static_assert(sizeof(RasConnStatusRecord) == 160, "connection status layout");

enum {
    RAS_CONNECTED_STATE = 0x2000
};

typedef VOID(WINAPI *RasDialCallback)(UINT message, DWORD state, DWORD error);

typedef DWORD(WINAPI *RasEnumConnectionsFn)(RasConnEntry *, LPDWORD, LPDWORD);
typedef DWORD(WINAPI *RasGetConnectStatusFn)(RasHandle, RasConnStatusRecord *);
typedef DWORD(WINAPI *RasGetEntryDialParamsFn)(LPCSTR, RasDialParamsRecord *, LPBOOL);
typedef DWORD(WINAPI *RasSetEntryDialParamsFn)(LPCSTR, RasDialParamsRecord *, BOOL);
typedef DWORD(WINAPI *RasDialFn)(LPVOID, LPCSTR, RasDialParamsRecord *, DWORD, LPVOID, RasHandle *);
typedef DWORD(WINAPI *RasHangUpFn)(RasHandle);

#endif
