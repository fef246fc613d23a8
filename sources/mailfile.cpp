// The mail-file source: finds the files that match the mail path, measures
// them, reads the changed ones through the scanner, remembers what it read
// (the snapshot) and deletes filtered ".CNM" message files. It talks to the
// files only through the layer of sources/mailfile.h.
//
// A reading costs what changed since the last one. A single Unix or MMDF
// mailbox that has only grown is taken up where the last reading ended, with
// the state that reading ended in; in a set of files, a file that gave at most
// one message and is unchanged since (name, size, write time) gives the same
// record again without being opened. Either way the published result is the
// one a reading of every file from its start gives: any doubt reads the file
// whole, and at least once an hour every file is read from its start.
#include "sources/mailfile.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "config/config.h"
#include "core/core.h"
#include "core/frontend.h"
#include "mail/mailscan.h"
#include "sources/sources.h"

enum {
    READ_BLOCK_SIZE = 64 * 1024, // one read of a mail file
    PUMP_INTERVAL_MS = 15,       // least time between two message dispatches
    FILE_PATH_SIZE = 2 * 260,    // directory part and a found name
};

// Kept results and taken-up mailboxes are trusted this long at most; then
// every file is read from its start again, so that a change the checks cannot
// see (a rewrite in place that keeps size and write time, or one made in the
// same poll interval as an append) is taken in within the hour.
static const uint64_t WHOLE_READING_INTERVAL_MS = 60 * 60 * 1000;

// One block for every file of every poll: reading never allocates.
static char readBlock[READ_BLOCK_SIZE];
static uint64_t lastPumpTime;
static const MailFileLayer *installedLayer;

void installMailFileLayer(const MailFileLayer *layer)
{
    installedLayer = layer;
}

static const MailFileLayer *files(void)
{
    return installedLayer ? installedLayer : &platformMailFiles;
}

static const char *mailPathText(void)
{
    return config.mailPath ? config.mailPath : "";
}

// --- Measuring ---------------------------------------------------------------------------

// A change of the mailbox that a measure saw but that was not read (growth of
// 120 bytes or less, or a rewrite that kept the size) may have been a rewrite
// in place: the next reading of it then reads the whole file.
static void noteMeasured(const MailFileFound *found)
{
    MailFileMemory *memory = mail.fileMemory;
    if (!memory || !memory->resume.valid || strcmp(found->name, memory->resume.name) != 0)
        return;
    MailFileResume *resume = &memory->resume;
    if (resume->seenSize != resume->listedSize || resume->seenTime != resume->listedTime)
        resume->valid = false;
    resume->seenSize = found->size;
    resume->seenTime = found->writeTime;
}

uint64_t mailFileSizeTotal(void)
{
    const char *path = mailPathText();
    if (path[0] == '\0')
        return 0;
    MailFileFound found;
    void *search = files()->findFirst(path, &found);
    if (!search)
        return 0;
    uint64_t total = 0;
    do {
        if (!found.ordinary)
            continue;
        if (config.settings.UnreadOnly && isSeenCnmName(found.name))
            continue;
        total += found.size;
        noteMeasured(&found);
    } while (files()->findNext(search, &found));
    files()->findClose(search);
    return total;
}

// --- Reading ---------------------------------------------------------------------------

// An open mail file and the count of what was read from it.
struct OpenMailFile {
    void *file;
    uint64_t bytesRead;
};

static size_t readFromFile(void *source, char *buffer, size_t size)
{
    OpenMailFile *open = (OpenMailFile *)source;
    size_t got = files()->read(open->file, buffer, size);
    open->bytesRead += got;
    return got;
}

// Reads exactly size bytes at offset; false when the file holds fewer.
static bool readAt(OpenMailFile *open, uint64_t offset, char *buffer, size_t size)
{
    if (!files()->seek(open->file, offset))
        return false;
    size_t have = 0;
    while (have < size) {
        size_t got = readFromFile(open, buffer + have, size - have);
        if (got == 0)
            return false;
        have += got;
    }
    return true;
}

static bool exitPending(void)
{
    return exitRequested();
}

// Keeps the window alive during a long read without paying for a message
// dispatch, or even a look at the clock, on every line.
static void pumpWhenDue(void)
{
    static unsigned lines;
    if (++lines % 32 != 0)
        return;
    uint64_t now = files()->milliseconds();
    if (now - lastPumpTime >= PUMP_INTERVAL_MS) {
        lastPumpTime = now;
        frontPumpMessages();
    }
}

static void localDosTime(uint64_t writeTime, uint16_t *date, uint16_t *time)
{
    if (!files()->dosDateTime(writeTime, date, time)) {
        *date = 0;
        *time = 0;
    }
}

static int compareSnapshotRows(const void *a, const void *b)
{
    return files()->compareNames(((const FileSnapshot *)a)->name, ((const FileSnapshot *)b)->name);
}

static const FileSnapshot *findPreviousRow(const char *name)
{
    int low = 0;
    int high = mail.previousSnapshotCount - 1;
    if (!mail.previousSnapshot)
        return NULL;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        int order = files()->compareNames(name, mail.previousSnapshot[middle].name);
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

static bool laterThanLatest(uint16_t date, uint16_t time)
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
    void *search;
    MailFileFound found;
    char directory[FILE_PATH_SIZE];
    int lastIndex;
    bool anyNewer;
    MailFileMemory *memory; // null when it could not be allocated
    bool reuse;             // what the last reading kept may be taken up
    bool usedMemory;        // some of it was
    int filesTaken;         // files read or kept so far
    bool resumeSaved;       // the first file left a state to take up
    bool cut;               // something was not read to its end (an exit request)
};

static bool mailFileSourceChosen(void)
{
    unsigned source = config.settings.MessageSource;
    return source == SOURCE_DISK_FILE || source == SOURCE_PMAIL_NETWARE;
}

// What a kept result was read under: the settings the scan depends on, the
// source and the mail path.
static uint64_t readingFingerprint(void)
{
    uint64_t hash = mailScanSettingsFingerprint();
    const char *path = mailPathText();
    for (const char *p = path; *p; ++p)
        hash = (hash ^ (unsigned char)*p) * 0x100000001b3ull;
    return (hash ^ config.settings.MessageSource) * 0x100000001b3ull;
}

static bool memoryUsable(const MailFileMemory *memory)
{
    uint64_t now = files()->milliseconds();
    return memory->settings == readingFingerprint() && now >= memory->lastWholeReading
           && now - memory->lastWholeReading < WHOLE_READING_INTERVAL_MS;
}

// Finds the first ordinary file that matches the mail path. False when there is none.
static bool startWalk(MailFileWalk *walk)
{
    const char *path = mailPathText();
    walk->search = path[0] ? files()->findFirst(path, &walk->found) : NULL;
    while (walk->search && !walk->found.ordinary) {
        if (!files()->findNext(walk->search, &walk->found)) {
            files()->findClose(walk->search);
            walk->search = NULL;
        }
    }
    if (!walk->search)
        return false;
    walk->lastIndex = -1;
    walk->anyNewer = false;
    mail.currentSnapshotCount = 0;
    directoryPart(path, walk->directory, sizeof walk->directory);
    walk->memory = mailFileMemory();
    walk->reuse = walk->memory && memoryUsable(walk->memory);
    walk->usedMemory = false;
    walk->filesTaken = 0;
    walk->resumeSaved = false;
    walk->cut = false;
    if (walk->memory) {
        walk->memory->last = MailFileReading{};
        walk->memory->nextCount = 0;
    }
    return true;
}

// Files too small to hold a message, and message files already seen when only
// unread mail counts, are neither read nor remembered.
static bool worthReading(const MailFileFound *found)
{
    if (!found->ordinary || found->size < 5)
        return false;
    return !(config.settings.UnreadOnly && isSeenCnmName(found->name));
}

// What the scanner needs to know about the file, and the newest file time seen.
static void prepareScan(MailFileWalk *walk, uint64_t writeTime, const FileSnapshot *previousRow,
                        MailFileScan *scan)
{
    scan->isCnm = isCnmName(walk->found.name);
    uint16_t date, time;
    localDosTime(writeTime, &date, &time);
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
        files()->remove(filePath);
        if (config.settings.LogDeletes)
            logDeletion(scan->record, scan->filterEntry);
    }
}

// --- Kept files ---------------------------------------------------------------------------

static const KeptFile *findKeptFile(const MailFileMemory *memory, const char *name)
{
    int low = 0;
    int high = memory->fileCount - 1;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        const KeptFile *row = &memory->files[memory->order[middle]];
        int order = strcmp(name, row->name);
        if (order == 0)
            return row;
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return NULL;
}

// A row for the file in the table the reading fills; null when no room can be
// had (the file is then simply read again next time).
static KeptFile *nextKeptRow(MailFileMemory *memory)
{
    if (memory->nextCount == memory->capacity) {
        int capacity = memory->capacity ? memory->capacity * 2 : 64;
        KeptFile *next = (KeptFile *)realloc(memory->nextFiles, (size_t)capacity * sizeof(KeptFile));
        if (!next)
            return NULL;
        memory->nextFiles = next;
        KeptFile *rows = (KeptFile *)realloc(memory->files, (size_t)capacity * sizeof(KeptFile));
        if (!rows)
            return NULL;
        memory->files = rows;
        int *order = (int *)realloc(memory->order, (size_t)capacity * sizeof(int));
        if (!order)
            return NULL;
        memory->order = order;
        memory->capacity = capacity;
    }
    return &memory->nextFiles[memory->nextCount++];
}

// A file that gave no message or one: its record (as the scan left it) is kept
// for the next reading.
static void keepFileResult(MailFileWalk *walk, const MailFileScan *scan, int lastIndexBefore)
{
    int kept = scan->lastIndex - lastIndexBefore;
    if (!walk->memory || scan->stopped || (kept != 0 && kept != 1))
        return;
    KeptFile *row = nextKeptRow(walk->memory);
    if (!row)
        return;
    copyText(row->name, walk->found.name);
    row->size = walk->found.size;
    row->writeTime = walk->found.writeTime;
    row->sortKey = scan->sortKey;
    row->counted = kept == 1;
    int slot = scan->lastIndex % HEADER_SLOTS;
    if (row->counted) {
        row->record = mail.workHeaders[slot];
        row->wide = mail.workWide[slot];
    }
}

// An unchanged file that is not newer than the newest file seen gives what it
// gave at the last reading: its record, or nothing when that was dropped. Its
// sound is then none, as a reading would decide for a file that is not newer,
// and a file that is not newer is never deleted.
static bool takeKeptFile(MailFileWalk *walk)
{
    const MailFileFound *found = &walk->found;
    const KeptFile *row = findKeptFile(walk->memory, found->name);
    if (!row || row->size != found->size || row->writeTime != found->writeTime)
        return false;
    uint16_t date, time;
    localDosTime(found->writeTime, &date, &time);
    uint32_t sortKey = ((uint32_t)date << 16) | time;
    if (sortKey != row->sortKey || laterThanLatest(date, time))
        return false;
    // Copied first: making room for the next table may move this one.
    KeptFile kept = *row;
    if (KeptFile *next = nextKeptRow(walk->memory))
        *next = kept;
    if (kept.counted) {
        walk->lastIndex++;
        int slot = walk->lastIndex % HEADER_SLOTS;
        mail.workHeaders[slot] = kept.record;
        mail.workHeaders[slot].index = walk->lastIndex;
        mail.workHeaders[slot].soundEntry = NO_SOUND;
        mail.workWide[slot] = kept.wide;
    }
    walk->usedMemory = true;
    walk->memory->last.filesKept++;
    return true;
}

// --- A grown mailbox ----------------------------------------------------------------------

static bool resumableFormat(MailFormat format)
{
    return format == UNIX_FROM || format == MMDF;
}

// The last reading's records, as a reading from the start gives them now: the
// file's new time, and no sound for a message that was there before.
static void takeUpRecord(MessageHeader *record, uint32_t sortKey)
{
    record->sortKey = sortKey;
    record->soundEntry = NO_SOUND;
}

// Takes up the first file where the last reading ended when it is the same
// mailbox, only grown, the bytes before the old end are those read then and a
// message separator starts at the old end. Then the scan has read the lines
// that follow. False leaves the file to be read whole.
static bool resumeMailbox(MailFileWalk *walk, OpenMailFile *open, const MailFileFacts *facts,
                          const FileSnapshot *previousRow, MailFileScan *scan, LineReader *reader)
{
    const MailFileResume *resume = &walk->memory->resume;
    if (!resume->valid || strcmp(resume->name, walk->found.name) != 0 || scan->isCnm)
        return false;
    if (facts->volume != resume->volume || facts->fileIndex != resume->fileIndex
        || facts->size <= resume->size || facts->writeTime <= resume->writeTime)
        return false;
    if (!previousRow || previousRow->size != resume->size)
        return false;
    const char *separator = resume->scan.format == MMDF ? "\x01\x01\x01\x01" : "From ";
    size_t separatorLength = strlen(separator);
    char atOldEnd[8];
    if (!readAt(open, resume->size, atOldEnd, separatorLength)
        || memcmp(atOldEnd, separator, separatorLength) != 0
        || !readAt(open, resume->size - resume->tailLength, readBlock, resume->tailLength)
        || memcmp(readBlock, resume->tail, resume->tailLength) != 0)
        return false;
    // The tail read last ends at the old end: the lines after it come next.

    MailFileScan now = *scan;
    *scan = resume->scan;
    scan->fileNewer = now.fileNewer;
    scan->inPreviousSnapshot = now.inPreviousSnapshot;
    scan->previousSize = now.previousSize;
    scan->sortKey = now.sortKey;
    scan->stopRequested = now.stopRequested;
    scan->eachLine = now.eachLine;
    for (int i = 0; i < HEADER_SLOTS; i++) {
        mail.workHeaders[i] = resume->slots[i];
        mail.workWide[i] = resume->wide[i];
        takeUpRecord(&mail.workHeaders[i], scan->sortKey);
    }
    takeUpRecord(&scan->displaced, scan->sortKey);
    takeUpRecord(&scan->dropped, scan->sortKey);
    resumeMailFileScan(scan);

    initLineReader(reader, readBlock, sizeof readBlock, readFromFile, open);
    setReaderOffset(reader, resume->size);
    scanMailFileLines(reader, scan);
    walk->usedMemory = true;
    walk->memory->last.resumed = true;
    return true;
}

// After the first file's lines, before the close of its last message: where
// the scan stands, for a next reading to take up. Only a whole mailbox read
// to its end that ends with a line end qualifies; the walk decides at its end
// (a single file) whether it is kept.
static void saveResume(MailFileWalk *walk, OpenMailFile *open, const MailFileFacts *facts,
                       const MailFileScan *scan, const LineReader *reader)
{
    MailFileResume *resume = &walk->memory->resume;
    resume->valid = false;
    if (scan->isCnm || !resumableFormat(scan->format) || !scan->reachedEnd || scan->stopped)
        return;
    uint64_t size = facts->size;
    if (size == 0 || readerOffset(reader) != size || walk->found.size != size || size > 0xFFFFFFFFu)
        return;
    uint32_t tailLength =
        size < (uint64_t)MAIL_FILE_TAIL_SIZE ? (uint32_t)size : (uint32_t)MAIL_FILE_TAIL_SIZE;
    if (!readAt(open, size - tailLength, resume->tail, tailLength) || resume->tail[tailLength - 1] != '\n')
        return;
    resume->tailLength = tailLength;
    copyText(resume->name, walk->found.name);
    resume->size = size;
    resume->writeTime = facts->writeTime;
    resume->volume = facts->volume;
    resume->fileIndex = facts->fileIndex;
    resume->listedSize = resume->seenSize = walk->found.size;
    resume->listedTime = resume->seenTime = walk->found.writeTime;
    resume->scan = *scan;
    memcpy(resume->slots, mail.workHeaders, sizeof resume->slots);
    memcpy(resume->wide, mail.workWide, sizeof resume->wide);
    walk->resumeSaved = true;
}

// --- One file -----------------------------------------------------------------------------

// Reads the walk's current file into the working headers. False only when the
// file could not be opened.
static bool readCurrentFile(MailFileWalk *walk)
{
    const char *name = walk->found.name;
    if (!worthReading(&walk->found))
        return true;
    addSnapshotRow(name, walk->found.size);
    bool first = walk->filesTaken++ == 0;
    if (walk->reuse && takeKeptFile(walk))
        return true;
    const FileSnapshot *previousRow = findPreviousRow(name);

    char filePath[FILE_PATH_SIZE];
    bool pathFits = formatText(filePath, sizeof filePath, "%s%s", walk->directory, name) != 0;
    OpenMailFile open = {pathFits ? files()->open(filePath) : NULL, 0};
    if (!open.file)
        return false;

    MailFileFacts facts;
    bool described = files()->describe(open.file, &facts);
    MailFileScan scan = {};
    prepareScan(walk, described ? facts.writeTime : walk->found.writeTime, previousRow, &scan);
    int lastIndexBefore = walk->lastIndex;
    LineReader reader;
    bool resumed =
        first && walk->reuse && described && resumeMailbox(walk, &open, &facts, previousRow, &scan, &reader);
    int known = 1;
    if (!resumed && open.bytesRead != 0 && !files()->seek(open.file, 0)) {
        // The checks of a grown mailbox read near its end, and it cannot be
        // read from its start now.
        files()->close(open.file);
        return false;
    }
    if (!resumed) {
        initLineReader(&reader, readBlock, sizeof readBlock, readFromFile, &open);
        known = startMailFileScan(&reader, &scan);
        if (known)
            scanMailFileLines(&reader, &scan);
    }
    if (known && first && described && walk->memory)
        saveResume(walk, &open, &facts, &scan, &reader);
    if (known)
        endMailFileScan(&scan);
    files()->close(open.file);
    walk->lastIndex = scan.lastIndex;
    if (walk->memory) {
        walk->memory->last.filesOpened++;
        walk->memory->last.bytesRead += open.bytesRead;
    }
    if (scan.stopped)
        walk->cut = true;

    if (known) {
        keepFileResult(walk, &scan, lastIndexBefore);
        deleteIfCondemned(&scan, filePath);
    } else {
        reportUnknownFormat(&scan, name);
    }
    return true;
}

// What this reading leaves to the next one: the kept files, and the state of a
// single mailbox read to its end. A reading cut short leaves nothing.
static void keepReading(MailFileWalk *walk)
{
    MailFileMemory *memory = walk->memory;
    if (!memory)
        return;
    if (walk->cut) {
        memory->resume.valid = false;
        memory->fileCount = 0;
        return;
    }
    memory->resume.valid = walk->resumeSaved && walk->filesTaken == 1;
    KeptFile *rows = memory->files;
    memory->files = memory->nextFiles;
    memory->nextFiles = rows;
    memory->fileCount = memory->nextCount;
    memory->nextCount = 0;
    // Sorted by name through an index: the rows are large to move.
    const KeptFile *kept = memory->files;
    for (int i = 0; i < memory->fileCount; i++)
        memory->order[i] = i;
    std::sort(memory->order, memory->order + memory->fileCount,
              [kept](int a, int b) { return strcmp(kept[a].name, kept[b].name) < 0; });
    memory->settings = readingFingerprint();
    if (!walk->usedMemory)
        memory->lastWholeReading = files()->milliseconds();
}

void pollMailFile(void)
{
    if (!mailFileSourceChosen() || notifier.pollInProgress)
        return;
    beginPoll();
    lastPumpTime = files()->milliseconds();

    MailFileWalk walk;
    if (!startWalk(&walk)) {
        resetMailState();
        finishPoll();
        return;
    }
    do {
        if (exitRequested()) {
            walk.cut = true;
            break;
        }
        if (!readCurrentFile(&walk)) {
            files()->findClose(walk.search);
            reportError("Can't open mail file");
            resetMailState();
            failPoll();
            return;
        }
    } while (files()->findNext(walk.search, &walk.found));
    files()->findClose(walk.search);

    keepSnapshot();
    keepReading(&walk);
    publishPollResult(walk.lastIndex, walk.anyNewer && walk.lastIndex >= 0);
}
