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
    FilterEntry *filterEntry; // the first filter entry matched in this file
    MessageHeader *record;    // the record of the last message opened
    int messagesOpened;
};

// Scans one mail file from its first line. Returns non-zero when the layout was
// recognised (scan->format), zero for an unknown layout or an empty file. Reads
// config.settings (UnreadOnly, UseFilters, SoundOption) and fills
// mail.workHeaders and the raw side buffers.
int scanMailFile(LineReader *reader, MailFileScan *scan);

#endif
