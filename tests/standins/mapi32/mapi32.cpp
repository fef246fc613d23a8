// A stand-in for the Simple MAPI library, loaded in place of the system's by
// the service-source tests. It serves the mailbox described by the file named
// in PELIMBO_MAPI_MAILBOX:
//   message<TAB>id<TAB>read<TAB>date received<TAB>from<TAB>subject
//     ("(none)" for a missing date, originator or subject)
//   logon fail        MAPILogon refuses
//   find fail N       MAPIFindNext fails when asked for the N-th message of a walk
//   read fail ID      MAPIReadMail fails for that message
//   delete fail       MAPIDeleteMail refuses
//   spooler           the mail spooler's window is shown while a session is open Every call is
// written to a log the test reads through standinLog().
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "sources/mapi_records.h"
#include "tests/standins/common/mailbox_file.h"

namespace
{

const char mailboxVariable[] = "PELIMBO_MAPI_MAILBOX";
const ULONG MAPI_E_FAILURE = 2;
const ULONG MAPI_E_LOGIN_FAILURE = 3;
const ULONG MAPI_E_NO_MESSAGES = 16;
const ULONG MAPI_E_INVALID_SESSION = 19;
const ULONG MAPI_E_INVALID_MESSAGE = 17;

StandinLog callLog;
StandinMailbox mailbox;
MapiSessionHandle openSession;
MapiSessionHandle nextSession = 0x5E50;
int walkStep;
long outstanding; // buffers handed out and not yet freed
HWND spooler;

std::string hex(ULONG value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%lX", (unsigned long)value);
    return text;
}

std::string text(LPCSTR value)
{
    return value ? value : "(null)";
}

// Whether the caller's window was on screen when it called.
std::string windowState(ULONG_PTR window)
{
    if (!window)
        return " nowindow";
    return IsWindowVisible(reinterpret_cast<HWND>(window)) ? " shown" : " hidden";
}

void showSpooler(void)
{
    if (spooler && IsWindow(spooler))
        return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hIcon = LoadIcon(NULL, IDI_APPLICATION);
    wc.lpszClassName = "StandinSpooler";
    RegisterClassA(&wc);
    spooler =
        CreateWindowExA(0, "StandinSpooler", "MS Mail32 Spooler (auto)", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                        0, 120, 60, NULL, NULL, wc.hInstance, NULL);
}

void closeSpooler(void)
{
    if (spooler && IsWindow(spooler))
        DestroyWindow(spooler);
    spooler = NULL;
}

bool validSession(MapiSessionHandle session)
{
    return session != 0 && session == openSession;
}

// Index of the message after seed among those the flags allow; -1 when none.
int nextMessage(const char *seed, ULONG flags)
{
    size_t start = 0;
    if (seed && seed[0]) {
        start = mailbox.messages.size();
        for (size_t i = 0; i < mailbox.messages.size(); i++)
            if (mailbox.messages[i].fields[0] == seed)
                start = i + 1;
    }
    for (size_t i = start; i < mailbox.messages.size(); i++)
        if (!(flags & MAPI_FIND_UNREAD_ONLY) || !mailbox.messages[i].read)
            return (int)i;
    return -1;
}

int findById(const char *id)
{
    for (size_t i = 0; id && i < mailbox.messages.size(); i++)
        if (mailbox.messages[i].fields[0] == id)
            return (int)i;
    return -1;
}

std::string field(const StandinMessage &message, size_t index)
{
    return index < message.fields.size() ? message.fields[index] : "(none)";
}

// One block holds the record, the originator and the texts.
[[maybe_unused]] MapiMessageRecord *buildRecord(const StandinMessage &message)
{
    std::string date = field(message, 2), from = field(message, 3), subject = field(message, 4);
    size_t size =
        sizeof(MapiMessageRecord) + sizeof(MapiRecipient) + date.size() + from.size() + subject.size() + 3;
    char *block = static_cast<char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    MapiMessageRecord *record = reinterpret_cast<MapiMessageRecord *>(block);
    MapiRecipient *originator = reinterpret_cast<MapiRecipient *>(block + sizeof *record);
    char *texts = block + sizeof *record + sizeof *originator;
    auto place = [&texts](const std::string &value) -> LPSTR {
        if (value == "(none)")
            return NULL;
        LPSTR at = texts;
        memcpy(texts, value.c_str(), value.size() + 1);
        texts += value.size() + 1;
        return at;
    };
    record->dateReceived = place(date);
    record->subject = place(subject);
    LPSTR name = place(from);
    if (name) {
        originator->name = name;
        record->originator = originator;
    }
    outstanding++;
    return record;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&callLog.lock);
    return TRUE;
}

__declspec(dllexport) const char *standinLog(void)
{
    return callLog.snapshot();
}

__declspec(dllexport) void standinReset(void)
{
    EnterCriticalSection(&callLog.lock);
    callLog.text.clear();
    LeaveCriticalSection(&callLog.lock);
}

__declspec(dllexport) long standinOutstanding(void)
{
    return outstanding;
}

__declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR window, LPSTR profile, LPSTR password, ULONG flags,
                                             ULONG reserved, MapiSessionHandle *session)
{
    callLog.note("logon " + text(profile) + " " + text(password) + " " + hex(flags) + windowState(window));
    mailbox = readStandinMailbox(mailboxVariable);
    if (!session)
        return MAPI_E_FAILURE;
    if (!mailbox.option("logon fail").empty())
        return MAPI_E_LOGIN_FAILURE;
    openSession = ++nextSession;
    *session = openSession;
    if (!mailbox.option("spooler").empty())
        showSpooler();
    return 0;
}

__declspec(dllexport) ULONG WINAPI MAPILogoff(MapiSessionHandle session, ULONG_PTR, ULONG, ULONG)
{
    bool spoolerShown = spooler && IsWindowVisible(spooler);
    callLog.note(std::string("logoff") + (spoolerShown ? " spooler-shown" : ""));
    if (!validSession(session))
        return MAPI_E_INVALID_SESSION;
    openSession = 0;
    closeSpooler();
    return 0;
}

__declspec(dllexport) ULONG WINAPI MAPIFindNext(MapiSessionHandle session, ULONG_PTR window, LPSTR type,
                                                LPSTR seed, ULONG flags, ULONG, LPSTR found)
{
    callLog.note("find " + text(seed) + " " + hex(flags) + (type ? " typed" : "") + windowState(window));
    if (!validSession(session))
        return MAPI_E_INVALID_SESSION;
    if (!seed || !seed[0]) {
        mailbox = readStandinMailbox(mailboxVariable);
        walkStep = 0;
    }
    walkStep++;
    if (mailbox.number("find fail") == walkStep)
        return MAPI_E_FAILURE;
    int next = nextMessage(seed, flags);
    if (next < 0)
        return MAPI_E_NO_MESSAGES;
    snprintf(found, MAPI_MESSAGE_ID_SIZE, "%s", mailbox.messages[next].fields[0].c_str());
    return 0;
}

__declspec(dllexport) ULONG WINAPI MAPIFreeBuffer(LPVOID buffer)
{
    callLog.note("free");
    if (buffer) {
        HeapFree(GetProcessHeap(), 0, buffer);
        outstanding--;
    }
    return 0;
}

__declspec(dllexport) ULONG WINAPI
    MAPIDeleteMail(MapiSessionHandle session, ULONG_PTR, LPSTR id, ULONG flags, ULONG)
{
    callLog.note("delete " + text(id) + " " + hex(flags));
    if (!validSession(session))
        return MAPI_E_INVALID_SESSION;
    int index = findById(id);
    if (index < 0)
        return MAPI_E_INVALID_MESSAGE;
    if (!mailbox.option("delete fail").empty())
        return MAPI_E_FAILURE;
    mailbox.messages.erase(mailbox.messages.begin() + index);
    writeStandinMailbox(mailboxVariable, mailbox);
    return 0;
}

#ifndef STANDIN_WITHOUT_READMAIL
__declspec(dllexport) ULONG WINAPI MAPIReadMail(MapiSessionHandle session, ULONG_PTR, LPSTR id, ULONG flags,
                                                ULONG, MapiMessageRecord **message)
{
    callLog.note("read " + text(id) + " " + hex(flags));
    if (!validSession(session))
        return MAPI_E_INVALID_SESSION;
    int index = findById(id);
    if (index < 0 || !message || mailbox.option("read fail") == id)
        return MAPI_E_FAILURE;
    StandinMessage &m = mailbox.messages[index];
    *message = buildRecord(m);
    // Reading without the peek flag marks the message read.
    if (!(flags & 0x80) && !m.read) {
        m.read = true;
        writeStandinMailbox(mailboxVariable, mailbox);
    }
    return 0;
}
#endif

} // extern "C"
