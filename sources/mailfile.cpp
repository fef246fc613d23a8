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

void pollMailFile(void)
{
    if (config.settings.MessageSource != SOURCE_DISK_FILE
        && config.settings.MessageSource != SOURCE_PMAIL_NETWARE)
        return;
    if (notifier.pollInProgress)
        return;
    beginPoll();
    lastPumpTick = GetTickCount();

    const char *path = mailPathText();
    WIN32_FIND_DATAA found;
    HANDLE search = path[0] ? FindFirstFileA(path, &found) : INVALID_HANDLE_VALUE;
    while (search != INVALID_HANDLE_VALUE && !ordinaryFile(&found)) {
        if (!FindNextFileA(search, &found)) {
            FindClose(search);
            search = INVALID_HANDLE_VALUE;
        }
    }
    if (search == INVALID_HANDLE_VALUE) {
        resetMailState();
        finishPoll();
        return;
    }

    int lastIndex = -1;
    bool anyNewer = false;
    mail.currentSnapshotCount = 0;
    char directory[FILE_PATH_SIZE];
    directoryPart(path, directory, sizeof directory);

    do {
        if (exitRequested())
            break;
        if (!ordinaryFile(&found))
            continue;
        uint64_t size = foundSize(&found);
        if (size < 5)
            continue;
        if (config.settings.UnreadOnly && isSeenCnmName(found.cFileName))
            continue;

        addSnapshotRow(found.cFileName, size);
        const FileSnapshot *previousRow = findPreviousRow(found.cFileName);

        char filePath[FILE_PATH_SIZE];
        bool pathFits = formatText(filePath, sizeof filePath, "%s%s", directory, found.cFileName) != 0;
        HANDLE file = pathFits ? openMailFile(filePath) : INVALID_HANDLE_VALUE;
        if (file == INVALID_HANDLE_VALUE) {
            FindClose(search);
            reportError("Can't open mail file");
            resetMailState();
            failPoll();
            return;
        }

        MailFileScan scan = {};
        scan.isCnm = isCnmName(found.cFileName);
        WORD date, time;
        fileDosTime(file, &found, &date, &time);
        if (laterThanLatest(date, time)) {
            scan.fileNewer = true;
            anyNewer = true;
            mail.latestFileDate = date;
            mail.latestFileTime = time;
        }
        scan.inPreviousSnapshot = previousRow != NULL;
        scan.previousSize = previousRow ? previousRow->size : 0;
        scan.sortKey = ((uint32_t)date << 16) | time;
        scan.stopRequested = exitPending;
        scan.eachLine = pumpWhenDue;
        scan.lastIndex = lastIndex;

        LineReader reader;
        initLineReader(&reader, readBlock, sizeof readBlock, readFromHandle, file);
        int known = scanMailFile(&reader, &scan);
        CloseHandle(file);
        lastIndex = scan.lastIndex;

        if (!known) {
            if (!scan.empty) {
                char text[FILE_PATH_SIZE];
                formatText(text, sizeof text, "Unknown mail format in file %s", found.cFileName);
                reportError(text);
            }
            continue;
        }

        // Only a new message file is ever deleted; a mailbox holds other mail.
        if (scan.filterEntry && scan.fileNewer && scan.isCnm && !scan.stopped && scan.record
            && shouldDeleteMessage(scan.record, scan.filterEntry)) {
            DeleteFileA(filePath);
            if (config.settings.LogDeletes)
                logDeletion(scan.record, scan.filterEntry);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);

    keepSnapshot();
    publishPollResult(lastIndex, anyNewer && lastIndex >= 0);
}
