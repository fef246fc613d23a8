// A stand-in for the dial-up service, loaded in place of the system's by the
// dial-up tests. Its phone book:
//   "Office"     already connected
//   "Dialer"     password saved; a dial connects after a moment
//   "Busy"       password saved; a dial fails with a busy line (676)
//   "NoPassword" no saved password; a dial connects with any password
//   "Silent"     password saved; a dial never reports back
// Every call is written to a log the test reads through standinLog().
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "sources/ras_records.h"

namespace
{

struct Connection {
    std::string entry;
    uintptr_t handle;
    DWORD state;
};

CRITICAL_SECTION lock;
std::vector<Connection> active;
std::string callLog;
std::string savedPassword;
uintptr_t nextHandle = 0x100;

void note(const std::string &line)
{
    EnterCriticalSection(&lock);
    callLog += line + "\n";
    LeaveCriticalSection(&lock);
}

bool known(const std::string &entry)
{
    return entry == "Office" || entry == "Dialer" || entry == "Busy" || entry == "NoPassword"
           || entry == "Silent";
}

void resetState(void)
{
    EnterCriticalSection(&lock);
    active.clear();
    active.push_back({"Office", 0x42, RAS_CONNECTED_STATE});
    callLog.clear();
    savedPassword.clear();
    LeaveCriticalSection(&lock);
}

struct DialJob {
    RasDialCallback callback;
    std::string entry;
    uintptr_t handle;
};

DWORD WINAPI dialThread(LPVOID parameter)
{
    DialJob *job = static_cast<DialJob *>(parameter);
    Sleep(100);
    if (job->entry == "Silent") {
        // no outcome ever
    } else if (job->entry == "Busy") {
        job->callback(0xCCCD, 0, 676);
    } else {
        EnterCriticalSection(&lock);
        for (Connection &c : active)
            if (c.handle == job->handle)
                c.state = RAS_CONNECTED_STATE;
        LeaveCriticalSection(&lock);
        job->callback(0xCCCD, RAS_CONNECTED_STATE, 0);
    }
    delete job;
    return 0;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // Dial threads may outlive a FreeLibrary of the caller: stay mapped.
        HMODULE self;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(instance), &self);
        InitializeCriticalSection(&lock);
        resetState();
    }
    return TRUE;
}

__declspec(dllexport) const char *standinLog(void)
{
    static std::string copy;
    EnterCriticalSection(&lock);
    copy = callLog;
    LeaveCriticalSection(&lock);
    return copy.c_str();
}

__declspec(dllexport) void standinReset(void)
{
    resetState();
}

__declspec(dllexport) DWORD WINAPI RasEnumConnectionsA(RasConnEntry *entries, LPDWORD bytes, LPDWORD count)
{
    note("enum");
    if (!entries || entries[0].dwSize != sizeof(RasConnEntry))
        return 632; // ERROR_INVALID_SIZE
    EnterCriticalSection(&lock);
    DWORD fit = *bytes / sizeof(RasConnEntry), n = 0;
    for (const Connection &c : active) {
        if (n >= fit)
            break;
        memset(&entries[n], 0, sizeof entries[n]);
        entries[n].dwSize = sizeof(RasConnEntry);
        entries[n].hrasconn = reinterpret_cast<RasHandle>(c.handle);
        snprintf(entries[n].szEntryName, sizeof entries[n].szEntryName, "%s", c.entry.c_str());
        n++;
    }
    LeaveCriticalSection(&lock);
    *count = n;
    return 0;
}

__declspec(dllexport) DWORD WINAPI RasGetConnectStatusA(RasHandle handle, RasConnStatusRecord *status)
{
    if (!status || status->dwSize != sizeof(RasConnStatusRecord))
        return 632;
    DWORD result = 6; // ERROR_INVALID_HANDLE
    EnterCriticalSection(&lock);
    for (const Connection &c : active)
        if (c.handle == reinterpret_cast<uintptr_t>(handle)) {
            status->rasconnstate = c.state;
            status->dwError = 0;
            result = 0;
        }
    LeaveCriticalSection(&lock);
    return result;
}

__declspec(dllexport) DWORD WINAPI
    RasGetEntryDialParamsA(LPCSTR phonebook, RasDialParamsRecord *params, LPBOOL saved)
{
    if (!params || params->dwSize != sizeof(RasDialParamsRecord))
        return 632;
    std::string entry = params->szEntryName;
    note("getparams:" + entry);
    if (!known(entry))
        return 623; // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY
    snprintf(params->szPhoneNumber, sizeof params->szPhoneNumber, "5551234");
    snprintf(params->szUserName, sizeof params->szUserName, "dialuser");
    bool hasPassword = entry != "NoPassword" || !savedPassword.empty();
    snprintf(params->szPassword, sizeof params->szPassword, "%s",
             entry == "NoPassword" ? savedPassword.c_str() : (hasPassword ? "stored" : ""));
    *saved = hasPassword ? TRUE : FALSE;
    return 0;
}

__declspec(dllexport) DWORD WINAPI
    RasSetEntryDialParamsA(LPCSTR phonebook, RasDialParamsRecord *params, BOOL remove)
{
    if (!params || params->dwSize != sizeof(RasDialParamsRecord))
        return 632;
    note(std::string("setparams:") + params->szEntryName + ":" + params->szPassword);
    if (std::string(params->szEntryName) == "NoPassword" && !remove)
        savedPassword = params->szPassword;
    return 0;
}

__declspec(dllexport) DWORD WINAPI RasDialA(LPVOID extensions, LPCSTR phonebook, RasDialParamsRecord *params,
                                            DWORD notifierType, LPVOID notifier, RasHandle *handle)
{
    if (!params || params->dwSize != sizeof(RasDialParamsRecord) || !handle)
        return 632;
    std::string entry = params->szEntryName;
    note("dial:" + entry + ":" + params->szPassword + ":" + params->szPhoneNumber + ":" + params->szDomain);
    if (!known(entry))
        return 623;
    EnterCriticalSection(&lock);
    uintptr_t h = ++nextHandle;
    active.push_back({entry, h, 0});
    LeaveCriticalSection(&lock);
    *handle = reinterpret_cast<RasHandle>(h);
    DialJob *job = new DialJob{reinterpret_cast<RasDialCallback>(notifier), entry, h};
    CloseHandle(CreateThread(NULL, 0, dialThread, job, 0, NULL));
    return 0;
}

__declspec(dllexport) DWORD WINAPI RasHangUpA(RasHandle handle)
{
    uintptr_t h = reinterpret_cast<uintptr_t>(handle);
    std::string entry = "?";
    EnterCriticalSection(&lock);
    for (size_t i = 0; i < active.size(); i++)
        if (active[i].handle == h) {
            entry = active[i].entry;
            active.erase(active.begin() + (long)i);
            break;
        }
    LeaveCriticalSection(&lock);
    note("hangup:" + entry);
    return 0;
}

} // extern "C"
