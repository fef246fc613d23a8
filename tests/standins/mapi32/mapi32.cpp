// A stand-in for the Simple MAPI library, loaded in place of the system's by
// the service-source tests. It serves the mailbox described by the file named
// in PELIMBO_MAPI_MAILBOX:
//   message<TAB>id<TAB>read<TAB>date received<TAB>from<TAB>subject
//     ("(none)" for a missing date, originator or subject)
//   logon fail        MAPILogon refuses
//   find fail N       MAPIFindNext fails when asked for the N-th message of a walk
//   read fail ID      MAPIReadMail fails for that message
//   delete fail       MAPIDeleteMail refuses
//   spooler           the mail spooler's window is shown while a session is open
//   profile NAME [default]
//                     a profile the setup's profile list shows (its administration
//                     object and profile table, read one row at a time) Every call is
// written to a log the test reads through standinLog().
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

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

// One block holds the record, the originator and the texts.
[[maybe_unused]] MapiMessageRecord *buildRecord(const StandinMessage &message)
{
    std::string date = message.field(2, "(none)"), from = message.field(3, "(none)"),
                subject = message.field(4, "(none)");
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

// --- Profile administration ---------------------------------------------------------
// Just the object layout the setup library's profile list relies on: the
// administration object's profile table, its row count and its rows, one
// display name and one default flag per row.

const ULONG TAG_DISPLAY_NAME = 0x3001001E;
const ULONG TAG_DEFAULT_PROFILE = 0x3D04000B;

struct PropertyValue {
    ULONG tag;
    ULONG pad;
    union {
        short flag;
        LPSTR text;
        LONGLONG wide;
    } value;
};

struct Row {
    ULONG pad;
    ULONG valueCount;
    PropertyValue *values;
};

struct RowSet {
    ULONG rowCount;
    Row rows[1];
};

struct ProfileTable;
struct ProfileTableMethods {
    HRESULT(STDMETHODCALLTYPE *queryInterface)(ProfileTable *, REFIID, void **);
    ULONG(STDMETHODCALLTYPE *addRef)(ProfileTable *);
    ULONG(STDMETHODCALLTYPE *release)(ProfileTable *);
    void *unused1[6];
    HRESULT(STDMETHODCALLTYPE *getRowCount)(ProfileTable *, ULONG flags, ULONG *count);
    void *unused2[9];
    HRESULT(STDMETHODCALLTYPE *queryRows)(ProfileTable *, LONG count, ULONG flags, RowSet **rows);
};
struct ProfileTable {
    const ProfileTableMethods *methods;
    size_t next;
};

struct ProfileAdmin;
struct ProfileAdminMethods {
    HRESULT(STDMETHODCALLTYPE *queryInterface)(ProfileAdmin *, REFIID, void **);
    ULONG(STDMETHODCALLTYPE *addRef)(ProfileAdmin *);
    ULONG(STDMETHODCALLTYPE *release)(ProfileAdmin *);
    void *getLastError;
    HRESULT(STDMETHODCALLTYPE *getProfileTable)(ProfileAdmin *, ULONG flags, ProfileTable **table);
};
struct ProfileAdmin {
    const ProfileAdminMethods *methods;
};

std::vector<std::pair<std::string, bool>> profiles; // name, default
long liveObjects;                                   // administration objects and tables not yet released
int initialisations;

HRESULT STDMETHODCALLTYPE noInterface(ProfileTable *, REFIID, void **out)
{
    *out = NULL;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE tableAddRef(ProfileTable *)
{
    return 1;
}
ULONG STDMETHODCALLTYPE tableRelease(ProfileTable *table)
{
    callLog.note("table release");
    delete table;
    liveObjects--;
    return 0;
}
HRESULT STDMETHODCALLTYPE tableRowCount(ProfileTable *, ULONG, ULONG *count)
{
    *count = (ULONG)profiles.size();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE tableQueryRows(ProfileTable *table, LONG count, ULONG, RowSet **out)
{
    callLog.note("table rows " + std::to_string(count));
    RowSet *set = static_cast<RowSet *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RowSet)));
    if (table->next < profiles.size() && count > 0) {
        const std::pair<std::string, bool> &profile = profiles[table->next++];
        size_t size = 2 * sizeof(PropertyValue) + profile.first.size() + 1;
        char *block = static_cast<char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
        PropertyValue *values = reinterpret_cast<PropertyValue *>(block);
        char *name = block + 2 * sizeof(PropertyValue);
        memcpy(name, profile.first.c_str(), profile.first.size() + 1);
        values[0].tag = TAG_DISPLAY_NAME;
        values[0].value.text = name;
        values[1].tag = TAG_DEFAULT_PROFILE;
        values[1].value.flag = profile.second ? 1 : 0;
        set->rowCount = 1;
        set->rows[0].valueCount = 2;
        set->rows[0].values = values;
    }
    *out = set;
    return S_OK;
}
const ProfileTableMethods tableMethods = {noInterface,   tableAddRef, tableRelease,  {},
                                          tableRowCount, {},          tableQueryRows};

HRESULT STDMETHODCALLTYPE adminNoInterface(ProfileAdmin *, REFIID, void **out)
{
    *out = NULL;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE adminAddRef(ProfileAdmin *)
{
    return 1;
}
ULONG STDMETHODCALLTYPE adminRelease(ProfileAdmin *admin)
{
    callLog.note("admin release");
    delete admin;
    liveObjects--;
    return 0;
}
HRESULT STDMETHODCALLTYPE adminProfileTable(ProfileAdmin *, ULONG, ProfileTable **table)
{
    callLog.note("admin table");
    *table = new ProfileTable{&tableMethods, 0};
    liveObjects++;
    return S_OK;
}
const ProfileAdminMethods adminMethods = {adminNoInterface, adminAddRef, adminRelease, NULL,
                                          adminProfileTable};

} // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI MAPIInitialize(LPVOID)
{
    callLog.note("initialize");
    initialisations++;
    return S_OK;
}

__declspec(dllexport) void WINAPI MAPIUninitialize(void)
{
    callLog.note("uninitialize");
    initialisations--;
}

__declspec(dllexport) HRESULT WINAPI MAPIAdminProfiles(ULONG, ProfileAdmin **admin)
{
    callLog.note("admin profiles");
    mailbox = readStandinMailbox(mailboxVariable);
    profiles.clear();
    for (const std::string &line : mailbox.options)
        if (line.compare(0, 8, "profile ") == 0) {
            std::string name = line.substr(8);
            bool isDefault = name.size() > 8 && name.compare(name.size() - 8, 8, " default") == 0;
            profiles.push_back({isDefault ? name.substr(0, name.size() - 8) : name, isDefault});
        }
    *admin = new ProfileAdmin{&adminMethods};
    liveObjects++;
    return S_OK;
}

__declspec(dllexport) void WINAPI FreeProws(RowSet *rows)
{
    callLog.note("free rows");
    if (!rows)
        return;
    for (ULONG i = 0; i < rows->rowCount; i++)
        HeapFree(GetProcessHeap(), 0, rows->rows[i].values);
    HeapFree(GetProcessHeap(), 0, rows);
}

// Objects and initialisations the caller still owes a release for.
__declspec(dllexport) long standinProfileDebts(void)
{
    return liveObjects + initialisations;
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
