// The Lotus Notes side of the Mailbox page: the setup library's binding of the
// Notes programming interface, the user name held in an ID file, the ID file
// Browse, and the folder preselection.
#include <windows.h>
#include <commdlg.h>
#include <string.h>

#include "base/entrypoint_win32.h"
#include "config/config.h"
#include "base/text.h"
#include "setup/notes.h"
#include "setup/setup.h"
#include "setup/setupids.h"

// The entry points the setup library needs, all required, in the order of
// SetupNotesInterface.
static const char *const setupEntryNames[] = {
    "NotesInitExtended",  "NotesTerm",           "OSLockObject",   "OSUnlockObject",     "OSMemFree",
    "OSGetDataDirectory", "REGGetIDInfo",        "OSLoadString",   "NSFDbOpen",          "NSFDbClose",
    "NSFNoteOpen",        "NSFNoteClose",        "NSFItemScan",    "NSFSearch",          "DNAbbreviate",
    "DNCanonicalize",     "NAMEGetAddressBooks", "OSPathNetParse", "OSPathNetConstruct",
};
enum {
    SETUP_ENTRY_COUNT = sizeof setupEntryNames / sizeof setupEntryNames[0]
};
static_assert(sizeof(SetupNotesInterface) == SETUP_ENTRY_COUNT * sizeof(FARPROC), "one slot per entry point");
enum {
    ID_INFO_USER_NAME = 7
};

SetupNotesInterface setupNotes;
static bool notesFailed; // tried and failed in this dialog: do not ask again

void reportSetupNotesError(const char *text, NotesStatus status)
{
    reportSetupError(text);
    char message[NOTES_ERROR_TEXT_SIZE] = "";
    WORD length =
        setupNotes.OSLoadString(NULL, status & NOTES_ERROR_MASK, message, NOTES_ERROR_TEXT_SIZE - 1);
    if (length > NOTES_ERROR_TEXT_SIZE - 1)
        length = NOTES_ERROR_TEXT_SIZE - 1;
    message[length] = '\0';
    reportSetupError(message);
}

bool loadSetupNotes(void)
{
    if (setup.notesLibrary)
        return true;
    if (notesFailed && setup.dialog)
        return false;
    HMODULE library = loadLibraryQuietly("NNOTES.DLL");
    notesFailed = true;
    if (!library) {
        reportSetupError("Error loading NNOTES.DLL");
        return false;
    }
    for (int i = 0; i < SETUP_ENTRY_COUNT; i++) {
        FARPROC entry = GetProcAddress(library, setupEntryNames[i]);
        if (!entry) {
            FreeLibrary(library);
            reportSetupError("Missing function in NNOTES.DLL");
            return false;
        }
        memcpy(reinterpret_cast<char *>(&setupNotes) + i * sizeof entry, &entry, sizeof entry);
    }
    char program[PATH_SIZE];
    copyText(program, config.modulePath);
    char *arguments[2] = {program, NULL};
    if (setupNotes.NotesInitExtended(1, arguments) != 0) {
        FreeLibrary(library);
        reportSetupError("Error initializing Notes");
        return false;
    }
    notesFailed = false;
    setup.notesLibrary = library;
    return true;
}

void releaseSetupNotes(void)
{
    notesFailed = false;
    if (!setup.notesLibrary)
        return;
    setupNotes.NotesTerm();
    FreeLibrary(setup.notesLibrary);
    setup.notesLibrary = NULL;
}

void showNotesUserName(void)
{
    HWND page = pageWindow(PAGE_MAILBOX);
    char name[256] = "";
    if (setup.notesLibrary) {
        char idFile[LOGIN_SIZE];
        getControlText(page, IDC_MB_IDFILE, idFile, sizeof idFile);
        WORD length = 0;
        if (setupNotes.REGGetIDInfo(idFile, ID_INFO_USER_NAME, name, sizeof name - 1, &length) != 0)
            name[0] = '\0';
        name[sizeof name - 1] = '\0';
        if (length < sizeof name)
            name[length] = '\0';
    }
    setControlText(page, IDC_MB_USER, name);
}

void browseNotesIdFile(void)
{
    if (!setup.notesLibrary)
        return;
    HWND page = pageWindow(PAGE_MAILBOX);
    char login[LOGIN_SIZE];
    getControlText(page, IDC_MB_IDFILE, login, sizeof login);
    const char *expandedText = expandEnvironment(login);
    if (!expandedText)
        return;
    char expanded[EXPANSION_SIZE];
    copyText(expanded, expandedText);

    char folder[FULL_PATH_SIZE] = "";
    char file[MAX_PATH + 1] = "";
    bool inDataDirectory = false;
    if (strchr(expanded, ':') || strchr(expanded, '\\')) {
        const char *start = browsePath(expanded);
        if (!start) {
            reportSetupError("Invalid path");
            return;
        }
        const char *name = fileNamePart(start);
        copyTextN(folder, sizeof folder, start, (size_t)(name - start));
        copyText(file, name);
    } else {
        // Room for any path the interface may return, plus the backslash.
        char data[MAX_PATH + 2] = "";
        setupNotes.OSGetDataDirectory(data);
        data[MAX_PATH] = '\0';
        copyText(folder, data);
        if (folder[0] && folder[strlen(folder) - 1] != '\\')
            appendText(folder, "\\");
        copyText(file, expanded);
        inDataDirectory = true;
    }

    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = setup.dialog;
    dialog.lpstrFilter = "ID Files (*.ID)\0*.ID\0All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.lpstrInitialDir = folder[0] ? folder : NULL;
    dialog.lpstrTitle = "Notes ID file";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&dialog))
        return;

    for (char *p = file; *p; p++)
        *p = lowerChar(*p);
    char result[LOGIN_SIZE];
    restoreReferences(login, file, result, sizeof result);
    // An ID file in the Notes data directory is held relative to it.
    size_t folderLength = strlen(folder);
    if (inDataDirectory && folderLength > 0 && compareNoCaseN(result, folder, folderLength) == 0)
        memmove(result, result + folderLength, strlen(result + folderLength) + 1);
    copyText(config.settings.LoginRaw, result);
    setControlText(page, IDC_MB_IDFILE, result);
    showNotesUserName();
}

void selectNotesFolder(void)
{
    HWND combo = GetDlgItem(pageWindow(PAGE_MAILBOX), IDC_MB_FOLDER);
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0), chosen = 0;
    for (LRESULT i = 0; i < count; i++) {
        char folder[NOTES_FOLDER_LIST_SIZE] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)i, 0) >= NOTES_FOLDER_LIST_SIZE)
            continue;
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)folder);
        if (compareNoCase(folder, config.settings.NotesFolder) == 0) {
            chosen = i;
            break;
        }
    }
    if (count > 0)
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)chosen, 0);
}
