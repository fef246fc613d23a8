// The platform-free part of the mail-file source: recognising a mail file's
// layout from its first line and turning its lines into header records.
// The Windows part (mailfile.cpp) finds and opens the files, keeps the
// snapshots and file times, and deletes filtered message files.
#ifndef PELIMBO_MAIL_MAILSCAN_H
#define PELIMBO_MAIL_MAILSCAN_H

#include <stddef.h>
#include <stdint.h>

#include "mail/linereader.h"
#include "mail/mail.h"

// The layout a first line announces, MAIL_FORMAT_UNKNOWN when none fits.
MailFormat detectMailFormat(const char *firstLine);

// True when the name ends in ".CNM" (any case).
bool isCnmName(const char *name);
// True when it is such a name and also begins with "!" (a message file the
// reader has already seen).
bool isSeenCnmName(const char *name);

// X-PMFLAGS value of a header line (digits after the colon and blanks).
uint32_t pmFlagsValue(const char *line);

// The flags of the message being read.
struct MessageFlags {
    bool seen[FIELD_COUNT]; // From, Subject, Sender
    bool statusSeen;
    bool dropped;
};

// Where the walk through one file stands: the message being read and the
// lines that decide where the next one opens.
struct ScanCursor {
    MessageHeader *record; // null before the first message
    MessageFlags flags;
    bool pmFlagsDone;
    int lineNumber;
    int openingLine;
    bool lastLineOpened;
};

// What the scan of one file needs to know and what it leaves behind.
struct MailFileScan {
    // In.
    bool isCnm;              // the file name ends in ".CNM"
    bool fileNewer;          // the file is newer than any seen before
    bool inPreviousSnapshot; // the file was read at the last complete poll
    uint32_t previousSize;   // its size then
    uint32_t sortKey;        // DOS date << 16 | DOS time of the file
    // Asked before every line: stop reading (an exit request is pending).
    bool (*stopRequested)(void);
    // Called before every line so the window stays responsive.
    void (*eachLine)(void);

    // In and out: index of the last kept message of the poll.
    int lastIndex;

    // Out.
    MailFormat format;
    bool empty;               // not even a first line could be read
    bool stopped;             // left early because stopRequested said so
    bool answered;            // left early: the rest of the file cannot change the result
    bool reachedEnd;          // every line up to the end of the data was taken
    FilterEntry *filterEntry; // the first filter entry matched in this file
    MessageHeader *record;    // the record of the last message opened
    int messagesOpened;

    // Private to the scan. Past 100 messages a record takes the slot of the
    // oldest kept one; when its message is then dropped, the kept record goes
    // back into the slot and the dropped one lives on here.
    MessageHeader displaced;
    WideHeader displacedWide; // and its wide texts, which go back with it
    MessageHeader dropped;
    ScanCursor at;
};

// Scans one mail file from its first line. Returns non-zero when the layout was
// recognised (scan->format), zero for an unknown layout or an empty file. Reads
// config.settings (UnreadOnly, UseFilters, SoundOption) and fills
// mail.workHeaders and the raw side buffers.
int scanMailFile(LineReader *reader, MailFileScan *scan);

// The same in three steps, for a source that keeps where a scan stood at the
// end of a file so that it can take up the lines appended to it later:
// the first line and the layout (zero as scanMailFile), the lines up to the
// end of the data (or a stop), and the close of the last message (an MMDF
// file's closing separator opened one more "message" that does not count).
int startMailFileScan(LineReader *reader, MailFileScan *scan);
void scanMailFileLines(LineReader *reader, MailFileScan *scan);
void endMailFileScan(MailFileScan *scan);

// Takes up a copy of a scan that scanMailFileLines left at the end of its data
// (before endMailFileScan): mail.workHeaders holds again what it held then,
// the in-fields are set for this reading and the reader stands where the data
// ended. Then scanMailFileLines goes on with the lines that follow.
void resumeMailFileScan(MailFileScan *scan);

// A fingerprint of everything in the settings and lists a scan's result
// depends on: a kept result is only taken up again under the same one.
uint64_t mailScanSettingsFingerprint(void);

// --- What the mail-file source keeps between readings -------------------------------------

enum {
    // The bytes before the end of a mailbox that must be unchanged before its
    // reading is taken up where it ended.
    MAIL_FILE_TAIL_SIZE = 64 * 1024,
};

// A single Unix or MMDF mailbox read to its end: where the scan stood, the
// work slots as it left them and what the file was then.
struct MailFileResume {
    bool valid;
    char name[SNAPSHOT_NAME_SIZE];
    uint64_t size; // where the reading ended: the whole file then
    uint64_t writeTime;
    uint64_t volume, fileIndex;      // the file's identity
    uint64_t listedSize, listedTime; // as the directory listing showed it then
    uint64_t seenSize, seenTime;     // as the last measure showed it
    MailFileScan scan;
    MessageHeader slots[HEADER_SLOTS];
    WideHeader wide[HEADER_SLOTS];
    uint32_t tailLength;
    char tail[MAIL_FILE_TAIL_SIZE];
};

// One file of the last reading that gave at most one message, as the
// directory listing showed it then, with that message's record.
struct KeptFile {
    char name[SNAPSHOT_NAME_SIZE];
    uint64_t size;
    uint64_t writeTime;
    uint32_t sortKey; // its DOS date and time then
    bool counted;     // its message was kept (not dropped)
    MessageHeader record;
    WideHeader wide;
};

// How the last reading went.
struct MailFileReading {
    bool resumed;    // the mailbox was taken up where the reading before ended
    int filesOpened; // files opened and read
    int filesKept;   // files whose record was taken from the reading before
    uint64_t bytesRead;
};

struct MailFileMemory {
    uint64_t settings;         // mailScanSettingsFingerprint and the path, then
    uint64_t lastWholeReading; // milliseconds: the last reading of every file from its start
    MailFileResume resume;
    KeptFile *files; // the files of the last reading
    int *order;      // their rows sorted by name (byte order)
    int fileCount;
    KeptFile *nextFiles; // filled by the reading in progress
    int nextCount;
    int capacity; // rows of each of the two tables
    MailFileReading last;
};

// The memory of mail.fileMemory, allocated at first use; null when that failed.
MailFileMemory *mailFileMemory(void);

#endif
