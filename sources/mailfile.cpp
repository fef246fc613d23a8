// The mail-file source on Windows: finds the files that match the mail path,
// measures them, reads the changed ones through the scanner, remembers what it
// read (the snapshot) and deletes filtered ".CNM" message files.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "config/config.h"
#include "mail/mailscan.h"
#include "core/frontend.h"
#include "core/core.h"
#include "sources/sources.h"

enum {
    READ_BLOCK_SIZE = 64 * 1024,   // one read of a mail file
    PUMP_INTERVAL_MS = 15,         // least time between two message dispatches
    FILE_PATH_SIZE = 2 * MAX_PATH, // directory part and a found name
};

// One block for every file of every poll: reading never allocates.
static char readBlock[READ_BLOCK_SIZE];
static DWORD lastPumpTick;

static bool ordinaryFile(const WIN32_FIND_DATAA *found)
{
    return (found->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

static uint64_t foundSize(const WIN32_FIND_DATAA *found)
{
    return ((uint64_t)found->nFileSizeHigh << 32) | found->nFileSizeLow;
}

static const char *mailPathText(void)
{
    return config.mailPath ? config.mailPath : "";
}

uint64_t mailFileSizeTotal(void)
{
    const char *path = mailPathText();
    if (path[0] == '\0')
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    uint64_t total = 0;
    do {
        if (!ordinaryFile(&found))
            continue;
        if (config.settings.UnreadOnly && isSeenCnmName(found.cFileName))
            continue;
        total += foundSize(&found);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return total;
}

// --- Reading ---------------------------------------------------------------------------

static size_t readFromHandle(void *source, char *buffer, size_t size)
{
    DWORD got = 0;
    if (!ReadFile((HANDLE)source, buffer, (DWORD)size, &got, NULL))
        return 0;
    return got;
}

static bool exitPending(void)
{
    return exitRequested();
}

// Keeps the window alive during a long read without paying for a message
// dispatch on every line.
static void pumpWhenDue(void)
{
    DWORD now = GetTickCount();
    if (now - lastPumpTick >= PUMP_INTERVAL_MS) {
        lastPumpTick = now;
        frontPumpMessages();
    }
}

// Shared with other programs for reading and writing, so the mail program can
// go on appending (and removing message files) while this one reads.
static HANDLE openMailFile(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        // Systems without delete sharing refuse the flag.
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return file;
}

// Last-write time of the file in local MS-DOS form.
static void fileDosTime(HANDLE file, const WIN32_FIND_DATAA *found, WORD *date, WORD *time)
{
    FILETIME written = found->ftLastWriteTime;
    FILETIME now;
    if (GetFileTime(file, NULL, NULL, &now))
        written = now;
    FILETIME local;
    *date = 0;
    *time = 0;
    if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToDosDateTime(&local, date, time)) {
        *date = 0;
        *time = 0;
    }
}

static int compareSnapshotRows(const void *a, const void *b)
{
    return lstrcmpA(((const FileSnapshot *)a)->name, ((const FileSnapshot *)b)->name);
}

static const FileSnapshot *findPreviousRow(const char *name)
{
    int low = 0;
    int high = mail.previousSnapshotCount - 1;
    if (!mail.previousSnapshot)
        return NULL;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        int order = lstrcmpA(name, mail.previousSnapshot[middle].name);
        if (order == 0)
            return &mail.previousSnapshot[middle];
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return NULL;
}

static void addSnapshotRow(const char *name, uint64_t size)
{
    if (!mail.currentSnapshot)
        return;
    FileSnapshot *row = &mail.currentSnapshot[mail.currentSnapshotCount];
    copyText(row->name, name);
    row->size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size;
    mail.currentSnapshotCount = (mail.currentSnapshotCount + 1) % SNAPSHOT_ROWS;
}

static void keepSnapshot(void)
{
    FileSnapshot *rows = mail.previousSnapshot;
    mail.previousSnapshot = mail.currentSnapshot;
    mail.currentSnapshot = rows;
    mail.previousSnapshotCount = mail.currentSnapshotCount;
    if (mail.previousSnapshot && mail.previousSnapshotCount > 1)
        qsort(mail.previousSnapshot, (size_t)mail.previousSnapshotCount, sizeof(FileSnapshot),
              compareSnapshotRows);
}

static bool laterThanLatest(WORD date, WORD time)
{
    if (date != mail.latestFileDate)
        return date > mail.latestFileDate;
    return time > mail.latestFileTime;
}

// The directory part of the mail path, separator included ("" when none).
static void directoryPart(const char *path, char *directory, size_t size)
{
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    copyTextN(directory, size, path, (size_t)(name - path));
}

// The walk over the files that match the mail path, and what it has found so far.
struct MailFileWalk {
    HANDLE search;
    WIN32_FIND_DATAA found;
    char directory[FILE_PATH_SIZE];
    int lastIndex;
    bool anyNewer;
};

static bool mailFileSourceChosen(void)
{
    unsigned source = config.settings.MessageSource;
    return source == SOURCE_DISK_FILE || source == SOURCE_PMAIL_NETWARE;
}

// Finds the first ordinary file that matches the mail path. False when there is none.
static bool startWalk(MailFileWalk *walk)
{
    const char *path = mailPathText();
    walk->search = path[0] ? FindFirstFileA(path, &walk->found) : INVALID_HANDLE_VALUE;
    while (walk->search != INVALID_HANDLE_VALUE && !ordinaryFile(&walk->found)) {
        if (!FindNextFileA(walk->search, &walk->found)) {
            FindClose(walk->search);
            walk->search = INVALID_HANDLE_VALUE;
        }
    }
    if (walk->search == INVALID_HANDLE_VALUE)
        return false;
    walk->lastIndex = -1;
    walk->anyNewer = false;
    mail.currentSnapshotCount = 0;
    directoryPart(path, walk->directory, sizeof walk->directory);
    return true;
}

// Files too small to hold a message, and message files already seen when only
// unread mail counts, are neither read nor remembered.
static bool worthReading(const WIN32_FIND_DATAA *found)
{
    if (!ordinaryFile(found) || foundSize(found) < 5)
        return false;
    return !(config.settings.UnreadOnly && isSeenCnmName(found->cFileName));
}

// What the scanner needs to know about the file, and the newest file time seen.
static void prepareScan(MailFileWalk *walk, HANDLE file, const FileSnapshot *previousRow, MailFileScan *scan)
{
    scan->isCnm = isCnmName(walk->found.cFileName);
    WORD date, time;
    fileDosTime(file, &walk->found, &date, &time);
    if (laterThanLatest(date, time)) {
        scan->fileNewer = true;
        walk->anyNewer = true;
        mail.latestFileDate = date;
        mail.latestFileTime = time;
    }
    scan->inPreviousSnapshot = previousRow != NULL;
    scan->previousSize = previousRow ? previousRow->size : 0;
    scan->sortKey = ((uint32_t)date << 16) | time;
    scan->stopRequested = exitPending;
    scan->eachLine = pumpWhenDue;
    scan->lastIndex = walk->lastIndex;
}

static void reportUnknownFormat(const MailFileScan *scan, const char *name)
{
    if (scan->empty)
        return;
    char text[FILE_PATH_SIZE];
    formatText(text, sizeof text, "Unknown mail format in file %s", name);
    reportError(text);
}

// Only a new message file is ever deleted; a mailbox holds other mail.
static void deleteIfCondemned(const MailFileScan *scan, const char *filePath)
{
    if (scan->filterEntry && scan->fileNewer && scan->isCnm && !scan->stopped && scan->record
        && shouldDeleteMessage(scan->record, scan->filterEntry)) {
        DeleteFileA(filePath);
        if (config.settings.LogDeletes)
            logDeletion(scan->record, scan->filterEntry);
    }
}

// Reads the walk's current file into the working headers. False only when the
// file could not be opened.
static bool readCurrentFile(MailFileWalk *walk)
{
    const char *name = walk->found.cFileName;
    if (!worthReading(&walk->found))
        return true;
    addSnapshotRow(name, foundSize(&walk->found));
    const FileSnapshot *previousRow = findPreviousRow(name);

    char filePath[FILE_PATH_SIZE];
    bool pathFits = formatText(filePath, sizeof filePath, "%s%s", walk->directory, name) != 0;
    HANDLE file = pathFits ? openMailFile(filePath) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return false;

    MailFileScan scan = {};
    prepareScan(walk, file, previousRow, &scan);
    LineReader reader;
    initLineReader(&reader, readBlock, sizeof readBlock, readFromHandle, file);
    int known = scanMailFile(&reader, &scan);
    CloseHandle(file);
    walk->lastIndex = scan.lastIndex;

    if (known)
        deleteIfCondemned(&scan, filePath);
    else
        reportUnknownFormat(&scan, name);
    return true;
}

void pollMailFile(void)
{
    if (!mailFileSourceChosen() || notifier.pollInProgress)
        return;
    beginPoll();
    lastPumpTick = GetTickCount();

    MailFileWalk walk;
    if (!startWalk(&walk)) {
        resetMailState();
        finishPoll();
        return;
    }
    do {
        if (exitRequested())
            break;
        if (!readCurrentFile(&walk)) {
            FindClose(walk.search);
            reportError("Can't open mail file");
            resetMailState();
            failPoll();
            return;
        }
    } while (FindNextFileA(walk.search, &walk.found));
    FindClose(walk.search);

    keepSnapshot();
    publishPollResult(walk.lastIndex, walk.anyNewer && walk.lastIndex >= 0);
}
