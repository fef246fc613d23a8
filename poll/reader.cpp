// Mail reader launch and detection: starts the user's mail reader in a thread
// of its own and watches it, finds a reader the user started some other way in
// the list of running processes, and brings a running reader forward.
#include "poll/reader.h"

#include <windows.h>
#include <tlhelp32.h>

#include <stdlib.h>
#include <string.h>

#include "base/entrypoint_win32.h"
#include "config/config.h"
#include "core/frontend.h"
#include "core/core.h"

ReaderState reader;

// --- Platform functions found at first use ----------------------------------------

typedef BOOL(WINAPI *EnumProcessesFn)(DWORD *, DWORD, DWORD *);
typedef BOOL(WINAPI *EnumProcessModulesFn)(HANDLE, HMODULE *, DWORD, DWORD *);
typedef DWORD(WINAPI *GetModuleFileNameExFn)(HANDLE, HMODULE, LPSTR, DWORD);
typedef HANDLE(WINAPI *CreateSnapshotFn)(DWORD, DWORD);
typedef BOOL(WINAPI *ProcessWalkFn)(HANDLE, PROCESSENTRY32 *);

static HMODULE psapiLibrary;
static EnumProcessesFn enumProcesses;
static EnumProcessModulesFn enumProcessModules;
static GetModuleFileNameExFn getModuleFileNameEx;
static CreateSnapshotFn createSnapshot;
static ProcessWalkFn processFirst;
static ProcessWalkFn processNext;

enum {
    PROCESS_ID_LIMIT = 1024
};

// Function pointers come back from GetProcAddress as FARPROC; the cast goes
// through a neutral function type so the compiler accepts it.
template <typename Fn>
static Fn lookUp(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

static bool loadProcessList(void)
{
    if (reader.processListLoaded)
        return true;
    HMODULE library = loadLibraryQuietly("PSAPI.DLL");
    if (!library) {
        reportError("Unable to load PSAPI.DLL");
        return false;
    }
    enumProcesses = lookUp<EnumProcessesFn>(library, "EnumProcesses");
    enumProcessModules = enumProcesses ? lookUp<EnumProcessModulesFn>(library, "EnumProcessModules") : NULL;
    getModuleFileNameEx =
        enumProcessModules ? lookUp<GetModuleFileNameExFn>(library, "GetModuleFileNameExA") : NULL;
    if (!getModuleFileNameEx) {
        FreeLibrary(library);
        reportError("Missing function in PSAPI.DLL");
        return false;
    }
    psapiLibrary = library;
    reader.processListLoaded = true;
    return true;
}

static bool loadSnapshot(void)
{
    if (reader.snapshotLoaded)
        return true;
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel) {
        reportError("Unable to find KERNEL32.DLL");
        return false;
    }
    createSnapshot = lookUp<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    processFirst = createSnapshot ? lookUp<ProcessWalkFn>(kernel, "Process32First") : NULL;
    processNext = processFirst ? lookUp<ProcessWalkFn>(kernel, "Process32Next") : NULL;
    if (!processNext) {
        reportError("Missing function in KERNEL32.DLL");
        return false;
    }
    reader.snapshotLoaded = true;
    return true;
}

void unloadReaderLibraries(void)
{
    if (psapiLibrary)
        FreeLibrary(psapiLibrary);
    psapiLibrary = NULL;
    reader.processListLoaded = false;
}

void resetReaderState(void)
{
    reader.locateRemembered = false;
    reader.locateFound = false;
    reader.locatedPath[0] = '\0';
}

// --- Watching ---------------------------------------------------------------------------

void waitForReader(HANDLE process)
{
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    reader.readerRunning = false;
    if (config.settings.SuspendPoll)
        notifier.tickCounter = 0; // poll at the next tick
}

static DWORD WINAPI watchThread(LPVOID parameter)
{
    waitForReader(static_cast<HANDLE>(parameter));
    return 0;
}

// --- Locating the reader program -----------------------------------------------------

// The platform's search for an existing file (current directory, program
// directory, system directories, PATH); fills found with its full path.
static bool searchForFile(const char *name, char *found, size_t size)
{
    if (name[0] == '\0')
        return false;
    char path[MAX_PATH + 1];
    char *filePart = NULL;
    DWORD length = SearchPathA(NULL, name, NULL, sizeof path, path, &filePart);
    if (length == 0 || length >= sizeof path)
        return false;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return copyText(found, size, path) != 0;
}

const char *locateReader(void)
{
    const Settings &s = config.settings;
    if (reader.locateRemembered && strcmp(reader.locatedFor, s.MailReader) == 0
        && strcmp(reader.locatedStartDir, s.ReaderStartDir) == 0)
        return reader.locateFound ? reader.locatedPath : NULL;

    copyText(reader.locatedFor, s.MailReader);
    copyText(reader.locatedStartDir, s.ReaderStartDir);
    reader.locateRemembered = true;
    reader.locateFound = false;
    reader.locatedPath[0] = '\0';

    bool switched = s.ReaderStartDir[0] != '\0';
    if (switched)
        enterDirectory(s.ReaderStartDir);

    // A command with arguments is found by its program part: cut at the last
    // blank, then at the one before, until a file is found.
    char candidate[PATH_SIZE];
    copyText(candidate, s.MailReader);
    for (;;) {
        if (searchForFile(candidate, reader.locatedPath, sizeof reader.locatedPath)) {
            reader.locateFound = true;
            break;
        }
        char *blank = strrchr(candidate, ' ');
        if (!blank)
            break;
        *blank = '\0';
    }

    if (switched)
        restoreStartDirectory();

    if (!reader.locateFound) {
        reader.locatedPath[0] = '\0';
        reportError("Unable to locate mail reader");
        return NULL;
    }
    return reader.locatedPath;
}

// --- Detection ------------------------------------------------------------------------------

BOOL CALLBACK getThreadIdProc(HWND window, LPARAM lParam)
{
    ReaderWindowQuery *query = reinterpret_cast<ReaderWindowQuery *>(lParam);
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(window, &processId);
    if (processId != query->processId)
        return TRUE;
    query->threadId = threadId;
    return FALSE;
}

// The Toolhelp walk on Windows NT reports bare program names; a full path is
// compared whole, a bare name with the file-name part of the reader's path.
static bool sameProgram(const char *programFile, const char *readerPath)
{
    if (compareNoCase(programFile, readerPath) == 0)
        return true;
    return strchr(programFile, '\\') == NULL && strchr(programFile, ':') == NULL
           && compareNoCase(programFile, fileNamePart(readerPath)) == 0;
}

bool adoptReaderProcess(uint32_t pid, const char *programFile, const char *readerPath)
{
    if (!sameProgram(programFile, readerPath))
        return false;

    ReaderWindowQuery query = {(DWORD)pid, 0};
    EnumWindows(getThreadIdProc, reinterpret_cast<LPARAM>(&query));
    reader.readerThreadId = query.threadId;

    // Waiting needs no more than the right to synchronise, which is granted
    // even for a reader running with other rights than ours.
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, (DWORD)pid);
    if (!process)
        process = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
    if (process) {
        reader.readerRunning = true;
        HANDLE thread = CreateThread(NULL, 0, watchThread, process, 0, NULL);
        if (thread) {
            CloseHandle(thread);
        } else {
            reader.readerRunning = false;
            CloseHandle(process);
        }
    }
    return true;
}

static void walkProcessList(const char *readerPath)
{
    DWORD *ids = static_cast<DWORD *>(calloc(PROCESS_ID_LIMIT, sizeof(DWORD)));
    DWORD bytes = 0;
    if (!ids || !enumProcesses(ids, PROCESS_ID_LIMIT * sizeof(DWORD), &bytes)) {
        free(ids);
        reportError("Error getting NT process list");
        return;
    }
    DWORD count = bytes / sizeof(DWORD);
    if (count > PROCESS_ID_LIMIT)
        count = PROCESS_ID_LIMIT;
    for (DWORD i = 0; i < count; i++) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!process)
            continue;
        HMODULE module = NULL;
        DWORD needed = 0;
        char programFile[READER_PROGRAM_SIZE];
        programFile[0] = '\0';
        if (enumProcessModules(process, &module, sizeof module, &needed) && module) {
            DWORD length = getModuleFileNameEx(process, module, programFile, sizeof programFile - 1);
            programFile[length < sizeof programFile ? length : sizeof programFile - 1] = '\0';
        }
        CloseHandle(process);
        if (programFile[0] != '\0' && adoptReaderProcess(ids[i], programFile, readerPath))
            break;
    }
    free(ids);
}

static void walkSnapshot(HANDLE snapshot, const char *readerPath)
{
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = processFirst(snapshot, &entry); more; more = processNext(snapshot, &entry)) {
        char programFile[READER_PROGRAM_SIZE];
        copyTextN(programFile, sizeof programFile, entry.szExeFile, sizeof entry.szExeFile);
        if (adoptReaderProcess(entry.th32ProcessID, programFile, readerPath))
            break;
        entry.dwSize = sizeof entry;
    }
}

static bool detectByProcessList(void)
{
    if (reader.processListBusy)
        return false;
    reader.processListBusy = true;
    if (loadProcessList()) {
        const char *readerPath = locateReader();
        if (readerPath) {
            char path[READER_PROGRAM_SIZE];
            copyText(path, readerPath);
            walkProcessList(path);
        }
    }
    reader.processListBusy = false;
    return true;
}

static bool detectBySnapshot(void)
{
    if (reader.snapshotBusy)
        return false;
    reader.snapshotBusy = true;
    if (loadSnapshot()) {
        HANDLE snapshot = createSnapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE || !snapshot) {
            reportError("Could not take process snapshot");
        } else {
            const char *readerPath = locateReader();
            if (readerPath) {
                char path[READER_PROGRAM_SIZE];
                copyText(path, readerPath);
                walkSnapshot(snapshot, path);
            }
            CloseHandle(snapshot);
        }
    }
    reader.snapshotBusy = false;
    return true;
}

bool detectReaderBy(ReaderDetectMethod method)
{
    if (config.settings.MailReader[0] == '\0')
        return true;
    return method == DETECT_PROCESS_LIST ? detectByProcessList() : detectBySnapshot();
}

static bool runningOnNT(void)
{
    // The high bit of the version word is clear on the Windows NT family.
    return (GetVersion() & 0x80000000u) == 0;
}

bool detectReader(void)
{
    return detectReaderBy(runningOnNT() ? DETECT_PROCESS_LIST : DETECT_SNAPSHOT);
}

// --- Launching ------------------------------------------------------------------------------

static DWORD WINAPI launchThread(LPVOID parameter)
{
    char *command = static_cast<char *>(parameter);
    const Settings &s = config.settings;
    bool startDir = s.ReaderStartDir[0] != '\0';

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started;
    memset(&started, 0, sizeof started);

    if (startDir)
        enterDirectory(s.ReaderStartDir);
    BOOL ok = CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started);
    free(command);

    if (!ok) {
        reportError("Can't start mail reader");
        if (startDir)
            restoreStartDirectory();
        return 0;
    }
    CloseHandle(started.hThread);
    reader.readerThreadId = started.dwThreadId;
    reader.readerRunning = true;
    if (s.MinimizeReader)
        frontMinimizeForReader();
    // The working directory stays where the reader was started.
    waitForReader(started.hProcess);
    return 0;
}

void launchReader(void)
{
    const Settings &s = config.settings;
    if (s.DetectReader && !reader.readerRunning)
        detectReader();

    if (reader.readerRunning) {
        DWORD threadId = reader.readerThreadId;
        if (threadId != 0)
            EnumThreadWindows(threadId, ActivateWindowProc, 0);
        return;
    }
    if (s.MailReader[0] == '\0')
        return;

    if (s.SuspendPoll && notifier.pollInProgress) {
        // The launch waits for the poll; the first tick after it carries it out.
        if (!notifier.pollWaitOpen) {
            frontOpenPollWait();
            notifier.pollWaitOpen = true;
        }
        if (notifier.pendingCommand == PENDING_NONE)
            notifier.pendingCommand = PENDING_LAUNCH_READER;
        return;
    }

    formatReaderCommand(reader.readerCommand, sizeof reader.readerCommand, s.MailReader,
                        config.mailPath ? config.mailPath : "");
    // The thread owns its copy: CreateProcessA may write into the command line,
    // and a later launch may rebuild readerCommand meanwhile.
    size_t length = strlen(reader.readerCommand) + 1;
    char *command = static_cast<char *>(malloc(length));
    if (!command) {
        reportError("Can't start mail reader");
        return;
    }
    memcpy(command, reader.readerCommand, length);
    HANDLE thread = CreateThread(NULL, 0, launchThread, command, 0, NULL);
    if (!thread) {
        free(command);
        reportError("Can't start mail reader");
        return;
    }
    CloseHandle(thread);
}
