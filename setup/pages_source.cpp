// The pages that depend on the message source: "Message source", "Mailbox"
// (whose fields change with the source) and "Network", plus the Browse
// operation every page shares.
#include <windows.h>
#include <commdlg.h>
#include <mapix.h>
#include <ras.h>
#include <stdlib.h>
#include <string.h>

#include "base/entrypoint_win32.h"
#include "config/config.h"
#include "config/netware.h"
#include "base/text.h"
#include "setup/setup.h"
#include "setup/setupids.h"

static const char DIRECT_CONNECTION[] = "<Direct connection>";

// --- Browse -----------------------------------------------------------------------------

// Splits a path into its folder and file name ("C:\a\b.txt" -> "C:\a", "b.txt").
static void splitPath(const char *path, char *folder, size_t folderSize, char *file, size_t fileSize)
{
    const char *name = fileNamePart(path);
    size_t folderLength = (size_t)(name - path);
    // Keep the backslash of a drive root ("C:\"), drop any other trailing one.
    if (folderLength > 0 && path[folderLength - 1] == '\\' && !(folderLength == 3 && path[1] == ':'))
        folderLength--;
    copyTextN(folder, folderSize, path, folderLength);
    copyText(file, fileSize, name);
}

int browseForFile(HWND page, int fieldId, char *setting, size_t size, const char *filters, const char *title)
{
    getControlText(page, fieldId, setting, size);
    const char *expandedText = expandEnvironment(setting);
    if (!expandedText)
        return 0;
    char expanded[EXPANSION_SIZE];
    copyText(expanded, expandedText);

    char folder[FULL_PATH_SIZE] = "";
    char file[MAX_PATH + 1] = "";
    if (setup.lastBrowsePath[0]) {
        char ignored[MAX_PATH + 1];
        splitPath(setup.lastBrowsePath, folder, sizeof folder, ignored, sizeof ignored);
    }
    if (expanded[0]) {
        const char *start = browsePath(expanded);
        if (!start) {
            reportSetupError("Invalid path");
            return 0;
        }
        char full[FULL_PATH_SIZE];
        copyText(full, start);
        splitPath(full, folder, sizeof folder, file, sizeof file);
    }

    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = setup.dialog;
    dialog.lpstrFilter = filters;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.lpstrInitialDir = folder[0] ? folder : NULL;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&dialog))
        return 0;

    char result[PATH_SIZE];
    restoreReferences(setting, file, result, sizeof result);
    copyText(setting, size, result);
    // The next dialog starts in the folder just chosen from.
    copyText(setup.lastBrowsePath, file);
    setControlText(page, fieldId, setting);
    return 1;
}

// --- Message source page ---------------------------------------------------------------------

extern "C" INT_PTR CALLBACK MsgSrcDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        if (s.MessageSource <= SOURCE_IMAP4)
            CheckRadioButton(page, IDC_SRC_FIRST, IDC_SRC_LAST, IDC_SRC_FIRST + (int)s.MessageSource);
        setChecked(page, IDC_SRC_UNREAD, s.UnreadOnly);
        setChecked(page, IDC_SRC_FILTERS, s.UseFilters);
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (HIWORD(wParam) != BN_CLICKED)
            break;
        if (id >= IDC_SRC_FIRST && id <= IDC_SRC_LAST) {
            int source = id - IDC_SRC_FIRST;
            layoutMailboxPage(source);
            if (isNetworkSource(source)) {
                addTab("Network");
                addTab("Sign-in");
                fillConnectionList();
                applyProviderHost(source);
            } else {
                removeTab("Network");
                removeTab("Sign-in");
            }
            return TRUE;
        }
        if (id == IDC_SRC_FILTERS) {
            config.settings.UseFilters = isChecked(page, IDC_SRC_FILTERS);
            if (config.settings.UseFilters)
                addTab("Filters");
            else
                removeTab("Filters");
            return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

// --- Mailbox page --------------------------------------------------------------------------------

#define SRC(n) (1u << (n))
enum : unsigned {
    ALL_SOURCES = 0xFFFFFFFFu,
    ACCOUNT_SOURCES = SRC(2) | SRC(4) | SRC(6) | SRC(7) | SRC(8),
};

struct MailboxRule {
    int id;
    unsigned sources;
};

// Which controls each source shows; every other control of the page is hidden.
static const MailboxRule mailboxRules[] = {
    {IDC_MB_INTERVAL_LABEL, ALL_SOURCES},
    {IDC_MB_INTERVAL, ALL_SOURCES},
    {IDC_MB_SECONDS, ALL_SOURCES},
    {IDC_MB_MAILFILE_LABEL, SRC(0)},
    {IDC_MB_SERVER_LABEL, SRC(1)},
    {IDC_MB_MAILFILE, SRC(0) | SRC(1)},
    {IDC_MB_BROWSE, SRC(0)},
    {IDC_MB_LOGIN_LABEL, ACCOUNT_SOURCES},
    {IDC_MB_LOGIN, ACCOUNT_SOURCES},
    {IDC_MB_PASSWORD_LABEL, ACCOUNT_SOURCES},
    {IDC_MB_PASSWORD, ACCOUNT_SOURCES},
    {IDC_MB_PROMPT, ACCOUNT_SOURCES},
    {IDC_MB_HOST_LABEL, SRC(7) | SRC(8)},
    {IDC_MB_POSTOFFICE_LABEL, SRC(2)},
    {IDC_MB_HOST, SRC(2) | SRC(7) | SRC(8)},
    {IDC_MB_IMAP_LABEL, SRC(8)},
    {IDC_MB_IMAP, SRC(8)},
    {IDC_MB_IDLE, SRC(8)},
    {IDC_MB_PROFILE_LABEL, SRC(5)},
    {IDC_MB_PROFILE, SRC(5)},
    {IDC_MB_SERVERS_LABEL, SRC(1)},
    {IDC_MB_SERVERS, SRC(1)},
    {IDC_MB_NOTES_ERRORS, SRC(3)},
    {IDC_MB_NOTES_3X, SRC(3)},
    {IDC_MB_FOLDER_LABEL, SRC(3)},
    {IDC_MB_FOLDER, SRC(3)},
    {IDC_MB_NOTES_SETTINGS, SRC(3)},
    {IDC_MB_IDFILE_LABEL, SRC(3)},
    {IDC_MB_IDFILE, SRC(3)},
    {IDC_MB_IDFILE_BROWSE, SRC(3)},
    {IDC_MB_USER_LABEL, SRC(3)},
    {IDC_MB_USER, SRC(3)},
    {IDC_MB_NOTES_SERVER_LABEL, SRC(3)},
    {IDC_MB_NOTES_SERVER, SRC(3)},
    {IDC_MB_DATABASE_LABEL, SRC(3)},
    {IDC_MB_DATABASE, SRC(3)},
    {IDC_MB_DATABASE_BROWSE, SRC(3)},
};

static void fillProfileList(void);

void layoutMailboxPage(int source)
{
    HWND page = pageWindow(PAGE_MAILBOX);
    if (!page)
        return;
    unsigned bit = source >= 0 && source <= SOURCE_IMAP4 ? SRC(source) : 0;
    for (const MailboxRule &rule : mailboxRules)
        showControl(page, rule.id, (rule.sources & bit) != 0 || rule.sources == ALL_SOURCES);
    if (source == SOURCE_WINDOWS_MESSAGING)
        fillProfileList();
    if (source == SOURCE_PMAIL_NETWARE)
        fillNetWareServerList();
    if (source == SOURCE_NOTES && !setup.notesLayoutDone) {
        setup.notesLayoutDone = true;
        selectNotesFolder();
        fillNotesServerList();
        showNotesUserName();
    }
}

static void enableNotesFields(HWND page)
{
    bool own = !isChecked(page, IDC_MB_NOTES_SETTINGS);
    for (int id = IDC_MB_IDFILE_LABEL; id <= IDC_MB_DATABASE_BROWSE; id++)
        enableControl(page, id, own);
    bool folders = !isChecked(page, IDC_MB_NOTES_3X);
    enableControl(page, IDC_MB_FOLDER_LABEL, folders);
    enableControl(page, IDC_MB_FOLDER, folders);
}

static void initMailboxPage(HWND page)
{
    const Settings &s = config.settings;
    SendDlgItemMessageA(page, IDC_MB_INTERVAL, EM_LIMITTEXT, 5, 0);
    SendDlgItemMessageA(page, IDC_MB_MAILFILE, EM_LIMITTEXT, PATH_SIZE - 1, 0);
    SendDlgItemMessageA(page, IDC_MB_LOGIN, EM_LIMITTEXT, LOGIN_SIZE - 1, 0);
    SendDlgItemMessageA(page, IDC_MB_PASSWORD, EM_LIMITTEXT, PASSWORD_FIELD_MAX, 0);
    SendDlgItemMessageA(page, IDC_MB_HOST, EM_LIMITTEXT, PATH_SIZE - 1, 0);
    SendDlgItemMessageA(page, IDC_MB_IMAP, EM_LIMITTEXT, IMAP_MAILBOX_SIZE - 1, 0);
    SendDlgItemMessageA(page, IDC_MB_IDFILE, EM_LIMITTEXT, LOGIN_SIZE - 1, 0);
    SendDlgItemMessageA(page, IDC_MB_DATABASE, EM_LIMITTEXT, PATH_SIZE - 1, 0);

    SetDlgItemInt(page, IDC_MB_INTERVAL, s.PollInterval, FALSE);
    setControlText(page, IDC_MB_MAILFILE, s.MailFileRaw);
    setControlText(page, IDC_MB_LOGIN, s.LoginRaw);
    setControlText(page, IDC_MB_PASSWORD, s.plainPassword);
    setChecked(page, IDC_MB_PROMPT, s.PasswordPrompt);
    enableControl(page, IDC_MB_PASSWORD, !s.PasswordPrompt);
    setControlText(page, IDC_MB_HOST, s.MailHostRaw);
    setControlText(page, IDC_MB_IMAP, s.IMAPMailBoxRaw);
    setChecked(page, IDC_MB_IDLE, s.Idle);

    // Lotus Notes.
    setControlText(page, IDC_MB_IDFILE, s.LoginRaw);
    const char *folders = s.NotesFolderList;
    while (*folders) {
        const char *end = strchr(folders, ';');
        size_t length = end ? (size_t)(end - folders) : strlen(folders);
        char folder[NOTES_FOLDER_LIST_SIZE];
        copyTextN(folder, sizeof folder, folders, length);
        if (folder[0])
            SendDlgItemMessageA(page, IDC_MB_FOLDER, CB_ADDSTRING, 0, (LPARAM)folder);
        folders += length;
        if (*folders == ';')
            folders++;
    }
    setChecked(page, IDC_MB_NOTES_ERRORS, s.NotesPollErrors);
    setChecked(page, IDC_MB_NOTES_3X, s.Notes3xMailbox);
    setChecked(page, IDC_MB_NOTES_SETTINGS, s.UseNotesSettings);
    setControlText(page, IDC_MB_DATABASE, s.NotesMailDatabase);
    enableNotesFields(page);
}

// The ID file field names an ID file when it ends in ".ID" (trailing blanks
// aside); only then is its user name shown.
static void idFileEdited(HWND page)
{
    char text[LOGIN_SIZE];
    getControlText(page, IDC_MB_IDFILE, text, sizeof text);
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        length--;
    if (length >= 3 && compareNoCaseN(text + length - 3, ".ID", 3) == 0)
        showNotesUserName();
    else
        setControlText(page, IDC_MB_USER, "");
}

extern "C" INT_PTR CALLBACK MailboxDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG:
        setup.mailboxReady = false;
        initMailboxPage(page);
        setup.mailboxReady = true;
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        switch (id) {
        case IDC_MB_BROWSE:
            if (code == BN_CLICKED
                && browseForFile(
                    page, IDC_MB_MAILFILE, s.MailFileRaw, sizeof s.MailFileRaw,
                    "All files (*.*)\0*.*\0Star-dot files (*.)\0*.\0Mailbox files (*.MBX)\0*.mbx\0"
                    "UUPC mail files (*.SPB)\0*.spb\0Waffle mail files (*.F)\0*.f\0",
                    "Mail file"))
                setup.mailFileBrowsed = true;
            return TRUE;
        case IDC_MB_PROMPT:
            if (code == BN_CLICKED) {
                s.PasswordPrompt = isChecked(page, IDC_MB_PROMPT);
                enableControl(page, IDC_MB_PASSWORD, !s.PasswordPrompt);
            }
            return TRUE;
        case IDC_MB_NOTES_ERRORS:
            if (code == BN_CLICKED)
                s.NotesPollErrors = isChecked(page, IDC_MB_NOTES_ERRORS);
            return TRUE;
        case IDC_MB_NOTES_3X:
            if (code == BN_CLICKED) {
                s.Notes3xMailbox = isChecked(page, IDC_MB_NOTES_3X);
                enableNotesFields(page);
            }
            return TRUE;
        case IDC_MB_NOTES_SETTINGS:
            if (code == BN_CLICKED) {
                s.UseNotesSettings = isChecked(page, IDC_MB_NOTES_SETTINGS);
                enableNotesFields(page);
            }
            return TRUE;
        case IDC_MB_IDFILE:
            if (code == EN_CHANGE && setup.mailboxReady)
                idFileEdited(page);
            return TRUE;
        case IDC_MB_IDFILE_BROWSE:
            if (code == BN_CLICKED)
                browseNotesIdFile();
            return TRUE;
        case IDC_MB_DATABASE_BROWSE:
            if (code == BN_CLICKED)
                browseNotesDatabase();
            return TRUE;
        case IDC_MB_SERVERS:
            if (code == LBN_SELCHANGE) {
                HWND list = GetDlgItem(page, IDC_MB_SERVERS);
                LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
                LRESULT length =
                    selected == LB_ERR ? LB_ERR : SendMessageA(list, LB_GETTEXTLEN, (WPARAM)selected, 0);
                if (length != LB_ERR && length < PATH_SIZE) {
                    char server[PATH_SIZE] = "";
                    SendMessageA(list, LB_GETTEXT, (WPARAM)selected, (LPARAM)server);
                    setControlText(page, IDC_MB_MAILFILE, server);
                }
            }
            return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

// --- Windows Messaging profiles -------------------------------------------------------------------

typedef HRESULT(STDAPICALLTYPE *MapiInitializeProc)(LPVOID);
typedef void(STDAPICALLTYPE *MapiUninitializeProc)(void);
typedef HRESULT(STDAPICALLTYPE *MapiAdminProfilesProc)(ULONG, LPPROFADMIN *);
typedef void(STDAPICALLTYPE *FreeProwsProc)(LPSRowSet);

enum : ULONG {
    TAG_DISPLAY_NAME_A = 0x3001001E
};

// Reads the profile table into the list; false when a call failed.
static bool readProfiles(HWND combo, MapiAdminProfilesProc adminProfiles, FreeProwsProc freeRows,
                         char *defaultProfile, size_t defaultSize)
{
    LPPROFADMIN admin = NULL;
    if (FAILED(adminProfiles(0, &admin)) || !admin)
        return false;
    LPMAPITABLE table = NULL;
    bool ok = SUCCEEDED(admin->GetProfileTable(0, &table)) && table;
    ULONG count = 0;
    if (ok)
        ok = SUCCEEDED(table->GetRowCount(0, &count));
    for (ULONG row = 0; ok && row < count; row++) {
        LPSRowSet rows = NULL;
        if (FAILED(table->QueryRows(1, 0, &rows)) || !rows) {
            ok = false;
            break;
        }
        for (ULONG r = 0; r < rows->cRows; r++) {
            const char *name = NULL;
            bool isDefault = false;
            for (ULONG p = 0; p < rows->aRow[r].cValues; p++) {
                const SPropValue &value = rows->aRow[r].lpProps[p];
                if (value.ulPropTag == TAG_DISPLAY_NAME_A)
                    name = value.Value.lpszA;
                else
                    isDefault = value.Value.i == 1;
            }
            if (name) {
                SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)name);
                if (isDefault)
                    copyText(defaultProfile, defaultSize, name);
            }
        }
        freeRows(rows);
    }
    if (table)
        table->Release();
    admin->Release();
    return ok;
}

static void selectProfile(HWND combo, const char *defaultProfile)
{
    const char *wanted = config.settings.LoginRaw[0] ? config.settings.LoginRaw : defaultProfile;
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    LRESULT chosen = 0;
    for (LRESULT i = 0; i < count; i++) {
        char name[LOGIN_SIZE] = "";
        LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)i, 0);
        if (length == CB_ERR || length >= (LRESULT)sizeof name)
            continue;
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)name);
        if (wanted[0] && compareNoCase(name, wanted) == 0) {
            chosen = i;
            break;
        }
    }
    if (count > 0)
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)chosen, 0);
}

static void fillProfileList(void)
{
    if (setup.profileListFilled)
        return;
    setup.profileListFilled = true;
    HWND combo = GetDlgItem(pageWindow(PAGE_MAILBOX), IDC_MB_PROFILE);

    HMODULE mapi = loadLibraryQuietly("MAPI32.DLL");
    if (!mapi) {
        reportSetupError("Unable to load MAPI32.DLL");
        return;
    }
    FreeProwsProc freeRows = (FreeProwsProc)(void *)GetProcAddress(mapi, "FreeProws");
    if (!freeRows)
        freeRows = (FreeProwsProc)(void *)GetProcAddress(mapi, "FreeProws@4");
    MapiInitializeProc initialize = (MapiInitializeProc)(void *)GetProcAddress(mapi, "MAPIInitialize");
    MapiUninitializeProc uninitialize =
        (MapiUninitializeProc)(void *)GetProcAddress(mapi, "MAPIUninitialize");
    MapiAdminProfilesProc adminProfiles =
        (MapiAdminProfilesProc)(void *)GetProcAddress(mapi, "MAPIAdminProfiles");
    if (!freeRows || !initialize || !uninitialize || !adminProfiles) {
        reportSetupError("Missing function in MAPI32.DLL");
        FreeLibrary(mapi);
        return;
    }
    if (FAILED(initialize(NULL))) {
        reportSetupError("Error getting MAPI profiles");
        FreeLibrary(mapi);
        return;
    }
    char defaultProfile[LOGIN_SIZE] = "";
    bool ok = readProfiles(combo, adminProfiles, freeRows, defaultProfile, sizeof defaultProfile);
    uninitialize();
    FreeLibrary(mapi);
    if (!ok) {
        reportSetupError("Error getting MAPI profiles");
        return;
    }
    selectProfile(combo, defaultProfile);
}

// --- NetWare bridge ------------------------------------------------------------------------------

static GetNWServerTable32Proc serverTable;
static GetNWServerIndex32Proc serverIndex;

bool loadSetupNetWare(void)
{
    if (setup.netWareLibrary)
        return true;
    // Asked once per dialog: a missing bridge is reported once, not at every OK.
    if (setup.netWareTried)
        return false;
    setup.netWareTried = true;
    HMODULE library = loadLibraryQuietly("PELNW32.DLL");
    if (library) {
        serverTable = (GetNWServerTable32Proc)(void *)GetProcAddress(library, "getNWServerTable32");
        serverIndex = (GetNWServerIndex32Proc)(void *)GetProcAddress(library, "getNWServerIndex32");
        if (serverTable && serverIndex && GetProcAddress(library, "getNWPmailFile32")) {
            setup.netWareLibrary = library;
            return true;
        }
        FreeLibrary(library);
    }
    reportSetupError("Unable to load PELNW32.DLL");
    return false;
}

int netWareServerIndex(const char *server)
{
    return setup.netWareLibrary && serverIndex ? (int)serverIndex(server) : -1;
}

void fillNetWareServerList(void)
{
    if (setup.netWareServersFilled || !loadSetupNetWare())
        return;
    HWND page = pageWindow(PAGE_MAILBOX);
    const char *table = serverTable();
    if (!table) {
        reportSetupError("Can't find NetWare server table");
        return;
    }
    setup.netWareServersFilled = true;
    HWND list = GetDlgItem(page, IDC_MB_SERVERS);
    enum {
        ENTRY_SIZE = 48,
        ENTRY_COUNT = 8
    };
    for (int i = 0; i < ENTRY_COUNT && table[i * ENTRY_SIZE]; i++) {
        char name[ENTRY_SIZE];
        copyTextN(name, sizeof name, table + i * ENTRY_SIZE, ENTRY_SIZE - 1);
        for (char *p = name; *p; p++)
            *p = lowerChar(*p);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name);
    }
    char server[PATH_SIZE];
    getControlText(page, IDC_MB_MAILFILE, server, sizeof server);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0), chosen = 0;
    for (LRESULT i = 0; i < count; i++) {
        char name[ENTRY_SIZE] = "";
        if (SendMessageA(list, LB_GETTEXTLEN, (WPARAM)i, 0) >= ENTRY_SIZE)
            continue;
        SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)name);
        if (compareNoCase(name, server) == 0)
            chosen = i;
    }
    if (count > 0)
        SendMessageA(list, LB_SETCURSEL, (WPARAM)chosen, 0);
}

// --- Network page --------------------------------------------------------------------------------

typedef DWORD(WINAPI *RasEnumEntriesProc)(LPCSTR, LPCSTR, LPRASENTRYNAMEA, LPDWORD, LPDWORD);

static void enableDialButtons(HWND page)
{
    bool dialUp = SendDlgItemMessageA(page, IDC_NW_CONNECTION, CB_GETCURSEL, 0, 0) > 0;
    enableControl(page, IDC_NW_DIAL, dialUp);
    enableControl(page, IDC_NW_HANGUP, dialUp);
}

static void addPhoneBookEntries(HWND combo)
{
    if (!setup.rasLibrary)
        setup.rasLibrary = loadLibraryQuietly("RASAPI32.DLL");
    if (!setup.rasLibrary)
        return; // no dial-up networking: a direct connection only
    RasEnumEntriesProc enumEntries =
        (RasEnumEntriesProc)(void *)GetProcAddress(setup.rasLibrary, "RasEnumEntriesA");
    if (!enumEntries) {
        reportSetupError("Missing function in RASAPI32.DLL");
        return;
    }
    enum {
        ENTRY_COUNT = 256
    };
    RASENTRYNAMEA *entries = (RASENTRYNAMEA *)calloc(ENTRY_COUNT, sizeof *entries);
    if (!entries)
        return;
    entries[0].dwSize = sizeof *entries;
    DWORD bytes = ENTRY_COUNT * sizeof *entries, count = 0;
    if (enumEntries(NULL, NULL, entries, &bytes, &count) == 0) {
        if (count > ENTRY_COUNT)
            count = ENTRY_COUNT;
        for (DWORD i = 0; i < count; i++) {
            entries[i].szEntryName[RAS_MaxEntryName] = '\0';
            SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)entries[i].szEntryName);
        }
    }
    free(entries);
}

void fillConnectionList(void)
{
    if (setup.connectionListFilled)
        return;
    setup.connectionListFilled = true;
    HWND page = pageWindow(PAGE_NETWORK);
    HWND combo = GetDlgItem(page, IDC_NW_CONNECTION);
    addPhoneBookEntries(combo);
    SendMessageA(combo, CB_INSERTSTRING, 0, (LPARAM)DIRECT_CONNECTION);

    // The stored name must match exactly; the list's own search ignores case.
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0), chosen = 0;
    for (LRESULT i = 0; i < count; i++) {
        char name[PATH_SIZE] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)i, 0) >= PATH_SIZE)
            continue;
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)name);
        if (strcmp(name, config.settings.Connection) == 0) {
            chosen = i;
            break;
        }
    }
    SendMessageA(combo, CB_SETCURSEL, (WPARAM)chosen, 0);
    setChecked(page, IDC_NW_DIAL, config.settings.DialConnection);
    setChecked(page, IDC_NW_HANGUP, config.settings.HangupConnection);
    enableDialButtons(page);
}

extern "C" INT_PTR CALLBACK NetworkDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG: {
        static const int fields[] = {IDC_NW_WINSOCK, IDC_NW_CONNECT, IDC_NW_INACTIVITY, IDC_NW_POP3,
                                     IDC_NW_IMAP4};
        const unsigned values[] = {s.WinSockInitTimeout, s.ConnectTimeout, s.InactivityTimeout, s.POP3Port,
                                   s.IMAP4Port};
        for (int i = 0; i < 5; i++) {
            SendDlgItemMessageA(page, fields[i], EM_LIMITTEXT, 4, 0);
            SetDlgItemInt(page, fields[i], values[i], FALSE);
        }
        HWND security = GetDlgItem(page, IDC_NW_SECURITY);
        static const char *const securityNames[] = {"None (plain text)", "STARTTLS / STLS before the login",
                                                    "TLS from the first byte (POP3S / IMAPS)"};
        for (const char *name : securityNames)
            SendMessageA(security, CB_ADDSTRING, 0, (LPARAM)name);
        SendMessageA(security, CB_SETCURSEL, s.Security <= SECURITY_TLS ? s.Security : 0u, 0);
        SendDlgItemMessageA(page, IDC_NW_TRUST, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        SetDlgItemTextA(page, IDC_NW_TRUST, s.TrustFileRaw);
        setChecked(page, IDC_NW_ERRORS, s.NetErrors);
        // The switches keep their stored values even when the list is never
        // filled (another source); until it is, nothing can be dialled.
        setChecked(page, IDC_NW_DIAL, s.DialConnection);
        setChecked(page, IDC_NW_HANGUP, s.HangupConnection);
        enableControl(page, IDC_NW_DIAL, false);
        enableControl(page, IDC_NW_HANGUP, false);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_NW_DEFAULTS && HIWORD(wParam) == BN_CLICKED) {
            // TLS from the first byte has ports of its own.
            bool tls = SendDlgItemMessageA(page, IDC_NW_SECURITY, CB_GETCURSEL, 0, 0) == SECURITY_TLS;
            SetDlgItemInt(page, IDC_NW_POP3, tls ? 995 : 110, FALSE);
            SetDlgItemInt(page, IDC_NW_IMAP4, tls ? 993 : 143, FALSE);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_NW_TRUST_BROWSE && HIWORD(wParam) == BN_CLICKED) {
            char file[PATH_SIZE];
            browseForFile(
                page, IDC_NW_TRUST, file, sizeof file,
                "Certificates (*.pem;*.crt;*.cer;*.der)\0*.pem;*.crt;*.cer;*.der\0All files (*.*)\0*.*\0",
                "Trust file");
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_NW_CONNECTION && HIWORD(wParam) == CBN_SELCHANGE) {
            enableDialButtons(page);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
