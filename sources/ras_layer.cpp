// The Remote Access Service under the dial-up link: RASAPI32.DLL loaded by
// name, six entry points, the dial notification handed to onDialEvent.
#include <windows.h>

#include "base/entrypoint_win32.h"

#include <string.h>

#include "base/text.h"
#include "sources/net.h"
#include "sources/ras_records.h"

namespace
{

HWND pollWindow;
HMODULE library;
RasEnumConnectionsFn rasEnumConnections;
RasGetConnectStatusFn rasGetConnectStatus;
RasGetEntryDialParamsFn rasGetEntryDialParams;
RasSetEntryDialParamsFn rasSetEntryDialParams;
RasDialFn rasDial;
RasHangUpFn rasHangUp;

RasConnEntry entries[DIAL_CONNECTION_SLOTS];

int load(void)
{
    if (library)
        return 1;
    library = loadLibraryQuietly("RASAPI32.DLL");
    if (!library)
        return 0;
    if (!(resolveEntry(library, rasEnumConnections, "RasEnumConnectionsA")
          && resolveEntry(library, rasGetConnectStatus, "RasGetConnectStatusA")
          && resolveEntry(library, rasGetEntryDialParams, "RasGetEntryDialParamsA")
          && resolveEntry(library, rasSetEntryDialParams, "RasSetEntryDialParamsA")
          && resolveEntry(library, rasDial, "RasDialA") && resolveEntry(library, rasHangUp, "RasHangUpA"))) {
        FreeLibrary(library);
        library = NULL;
        return -1;
    }
    return 1;
}

void unload(void)
{
    if (library)
        FreeLibrary(library);
    library = NULL;
}

int enumConnections(DialConnection *list, int slots)
{
    if (slots > DIAL_CONNECTION_SLOTS)
        slots = DIAL_CONNECTION_SLOTS;
    memset(entries, 0, sizeof entries);
    entries[0].dwSize = sizeof(RasConnEntry);
    DWORD bytes = sizeof entries, count = 0;
    if (rasEnumConnections(entries, &bytes, &count) != 0)
        return -1;
    if (count > (DWORD)slots)
        count = (DWORD)slots;
    for (DWORD i = 0; i < count; i++) {
        list[i].handle = reinterpret_cast<uintptr_t>(entries[i].hrasconn);
        copyTextN(list[i].entryName, sizeof list[i].entryName, entries[i].szEntryName,
                  sizeof entries[i].szEntryName);
    }
    return (int)count;
}

int connectState(uintptr_t handle, unsigned *state)
{
    RasConnStatusRecord status;
    memset(&status, 0, sizeof status);
    status.dwSize = sizeof status;
    DWORD result = rasGetConnectStatus(reinterpret_cast<RasHandle>(handle), &status);
    *state = status.rasconnstate;
    return (int)result;
}

void toRecord(const DialParameters *from, RasDialParamsRecord *to)
{
    memset(to, 0, sizeof *to);
    to->dwSize = sizeof *to;
    copyText(to->szEntryName, sizeof to->szEntryName, from->entryName);
    copyText(to->szPhoneNumber, sizeof to->szPhoneNumber, from->phoneNumber);
    copyText(to->szCallbackNumber, sizeof to->szCallbackNumber, from->callbackNumber);
    copyText(to->szUserName, sizeof to->szUserName, from->userName);
    copyText(to->szPassword, sizeof to->szPassword, from->password);
    copyText(to->szDomain, sizeof to->szDomain, from->domain);
}

int getDialParams(DialParameters *params, bool *passwordSaved)
{
    RasDialParamsRecord record;
    toRecord(params, &record);
    BOOL saved = FALSE;
    DWORD result = rasGetEntryDialParams(NULL, &record, &saved);
    if (result == 0) {
        copyTextN(params->phoneNumber, sizeof params->phoneNumber, record.szPhoneNumber,
                  sizeof record.szPhoneNumber);
        copyTextN(params->callbackNumber, sizeof params->callbackNumber, record.szCallbackNumber,
                  sizeof record.szCallbackNumber);
        copyTextN(params->userName, sizeof params->userName, record.szUserName, sizeof record.szUserName);
        copyTextN(params->password, sizeof params->password, record.szPassword, sizeof record.szPassword);
        copyTextN(params->domain, sizeof params->domain, record.szDomain, sizeof record.szDomain);
        *passwordSaved = saved != FALSE;
    }
    SecureZeroMemory(&record, sizeof record);
    return (int)result;
}

int setDialParams(const DialParameters *params)
{
    RasDialParamsRecord record;
    toRecord(params, &record);
    DWORD result = rasSetEntryDialParams(NULL, &record, FALSE);
    SecureZeroMemory(&record, sizeof record);
    return (int)result;
}

VOID WINAPI dialCallback(UINT message, DWORD state, DWORD error)
{
    onDialEvent(message, state, error);
}

int dial(const DialParameters *params, uintptr_t *handle)
{
    RasDialParamsRecord record;
    toRecord(params, &record);
    RasHandle connection = NULL;
    DWORD result = rasDial(NULL, NULL, &record, 0, reinterpret_cast<LPVOID>(dialCallback), &connection);
    SecureZeroMemory(&record, sizeof record);
    *handle = reinterpret_cast<uintptr_t>(connection);
    return (int)result;
}

int hangUp(uintptr_t handle)
{
    return (int)rasHangUp(reinterpret_cast<RasHandle>(handle));
}

void pause(unsigned milliseconds)
{
    Sleep(milliseconds);
}

void postPollNow(void)
{
    PostMessageA(pollWindow, WM_SYSCOMMAND, 1, 0);
}

const DialUpLayer rasLayer = {
    load,          unload, enumConnections, connectState, getDialParams,
    setDialParams, dial,   hangUp,          pause,        postPollNow,
};

} // namespace

void installRasLayer(HWND window)
{
    pollWindow = window;
    installDialUpLayer(&rasLayer);
}
