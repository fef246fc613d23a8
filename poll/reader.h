// Mail reader launch and detection: the state the poll cycle reads.
#ifndef PELIMBO_POLL_READER_H
#define PELIMBO_POLL_READER_H

#include <stddef.h>
#include <stdint.h>

#include "config/config.h"

enum {
    // MailReader with the mail path in place of its "%s": both fit whole.
    READER_COMMAND_SIZE = 2 * PATH_SIZE,
    // A program file name as the process services report it (MAX_PATH and the terminator).
    READER_PROGRAM_SIZE = 261,
};

struct ReaderState {
    // Written by the launch and watch threads with plain word-sized stores.
    volatile bool readerRunning;
    volatile uint32_t readerThreadId;
    // The command line of the last launch.
    char readerCommand[READER_COMMAND_SIZE];
    // The located reader program, and the MailReader / ReaderStartDir texts it
    // was looked for with. A search that found nothing is remembered too, so
    // its message is not repeated until one of the two settings changes.
    bool locateRemembered;
    bool locateFound;
    char locatedPath[READER_PROGRAM_SIZE];
    char locatedFor[PATH_SIZE];
    char locatedStartDir[PATH_SIZE];
    // Per detection method: the platform functions were found; a detection runs.
    bool processListLoaded;
    bool processListBusy;
    bool snapshotLoaded;
    bool snapshotBusy;
};

extern ReaderState reader;

enum ReaderDetectMethod {
    DETECT_PROCESS_LIST = 0, // PSAPI.DLL (Windows NT)
    DETECT_SNAPSHOT = 1,     // Toolhelp snapshot in KERNEL32.DLL
};

// Builds the reader command: format with its first "%s" replaced by path. Every
// other character, a second "%s", "%d" or an escaped "%%" included, is copied
// as it stands, so a malformed setting never reads a missing argument. Cut at
// size; non-zero when the whole command fitted.
int formatReaderCommand(char *command, size_t size, const char *format, const char *path);

// Looks for a running mail reader. False only when a detection of the same
// kind is still busy; true in every other case.
bool detectReader(void);
// The same with a chosen method (detectReader picks by platform).
bool detectReaderBy(ReaderDetectMethod method);
// Starts the mail reader, or brings a running one forward.
void launchReader(void);
// The full path of the reader program named by MailReader, or NULL after
// "Unable to locate mail reader".
const char *locateReader(void);
// Takes process pid as the running reader when programFile is readerPath.
// True when the walk over the processes is to stop.
bool adoptReaderProcess(uint32_t pid, const char *programFile, const char *readerPath);
// Forgets the located reader and the detection state (a new configuration).
void resetReaderState(void);
// Releases PSAPI.DLL when detection loaded it (at exit).
void unloadReaderLibraries(void);

#ifdef _WIN32
#include <windows.h>
// Waits for the reader process to end (handle closed afterwards), then clears
// readerRunning and, with SuspendPoll, asks for a poll at the next tick.
void waitForReader(HANDLE process);
// EnumWindows callback: lParam points to a ReaderWindowQuery; stops at the
// first top-level window of the process and records its thread.
struct ReaderWindowQuery {
    DWORD processId;
    DWORD threadId;
};
BOOL CALLBACK getThreadIdProc(HWND window, LPARAM lParam);
// EnumThreadWindows callback of the window program: restores or raises one
// window of the running reader.
BOOL CALLBACK ActivateWindowProc(HWND window, LPARAM lParam);
#endif

#endif
