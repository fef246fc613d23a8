// The mail-file scanner: one file's lines become header records.
//
// Four layouts are recognised by the first line: Unix mailboxes ("From "
// lines open messages), MMDF mailboxes (lines of four 0x01 bytes wrap each
// message), SMF files and single RFC 822 messages (one message each, the
// layout of ".CNM" new-mail files). The scan reads a line at a time and keeps
// no more than one line, whatever the size of the file.
#include "mail/mailscan.h"

#include <string.h>

#include "config/config.h"

static const char MMDF_SEPARATOR[] = "\x01\x01\x01\x01";

MailFormat detectMailFormat(const char *firstLine)
{
    if (strncmp(firstLine, "From ", 5) == 0)
        return UNIX_FROM;
    if (strncmp(firstLine, MMDF_SEPARATOR, 4) == 0)
        return MMDF;
    if (compareNoCaseN(firstLine, "SMF", 3) == 0)
        return SMF;
    if ((unsigned char)firstLine[0] == 0x03)
        return SMF;
    if (strstr(firstLine, ": ") != NULL)
        return SINGLE_MESSAGE;
    return MAIL_FORMAT_UNKNOWN;
}

bool isCnmName(const char *name)
{
    size_t n = strlen(name);
    return n >= 4 && compareNoCase(name + n - 4, ".CNM") == 0;
}

bool isSeenCnmName(const char *name)
{
    return name[0] == '!' && isCnmName(name);
}

uint32_t pmFlagsValue(const char *line)
{
    const char *p = strchr(line, ':');
    if (!p)
        return 0;
    ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + (uint32_t)(*p - '0');
    return value;
}

// Strips trailing white space from a line of length bytes as read. A NUL inside
// the line ends its text early; blanks cut after it are not part of that text.
static void stripTrailingWhite(char *line, size_t length)
{
    while (length > 0 && isWhite(line[length - 1]))
        line[--length] = '\0';
}

static bool blankLine(const char *line)
{
    for (; *line; ++line)
        if (!isWhite(*line))
            return false;
    return true;
}

static bool opensMessage(MailFormat format, const char *line, int lineNumber, int openingLine)
{
    switch (format) {
    case UNIX_FROM: return strncmp(line, "From ", 5) == 0;
    case MMDF:
        // The separator that closes a message is directly followed by the one
        // that opens the next: only the first of such a pair opens.
        return strncmp(line, MMDF_SEPARATOR, 4) == 0 && lineNumber != openingLine + 1;
    default: return lineNumber == 2;
    }
}

namespace
{

// The flags of the message being read.
struct MessageFlags {
    bool seen[FIELD_COUNT]; // From, Subject, Sender
    bool statusSeen;
    bool dropped;
};

bool headerDone(const MessageFlags &flags)
{
    return flags.seen[FIELD_FROM] && flags.seen[FIELD_SUBJECT] && flags.seen[FIELD_SENDER];
}

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

} // namespace

// The slot is given back to the record it displaced; the dropped message's
// record (still read by the deletion of a filtered message file) moves aside.
static void dropMessage(MailFileScan *scan, MessageFlags *flags, MessageHeader **record)
{
    if (flags->dropped)
        return;
    flags->dropped = true;
    scan->lastIndex--;
    if (*record && *record != &scan->dropped) {
        scan->dropped = **record;
        **record = scan->displaced;
        if (WideHeader *wide = wideHeaderOf(*record))
            *wide = scan->displacedWide;
        *record = &scan->dropped;
        scan->record = *record;
    }
}

static MessageHeader *slotOf(int index)
{
    int slot = index % HEADER_SLOTS;
    return &mail.workHeaders[slot < 0 ? slot + HEADER_SLOTS : slot];
}

// A message whose header line ends beyond what the file held at the last read
// is new in an appended mailbox; one within the old length was there before.
static bool soundEligible(const MailFileScan *scan, const MessageHeader *record, const LineReader *reader)
{
    if (config.settings.SoundOption != SOUND_WAVBASE || !scan->fileNewer)
        return false;
    if (!soundUndecided(record->soundEntry))
        return false;
    return !scan->inPreviousSnapshot || readerOffset(reader) > (uint64_t)scan->previousSize;
}

static void rememberFilter(MailFileScan *scan, MessageFlags *flags, MessageHeader **record,
                           FilterEntry *entry)
{
    if (!entry)
        return;
    scan->filterEntry = entry;
    dropMessage(scan, flags, record);
}

// Resets what the scan reports and reads the first line, which decides the
// layout. False for an empty file or an unknown layout.
static bool startScan(LineReader *reader, MailFileScan *scan, char *line, size_t size, size_t *length)
{
    scan->format = MAIL_FORMAT_UNKNOWN;
    scan->empty = false;
    scan->stopped = false;
    scan->filterEntry = NULL;
    scan->record = NULL;
    scan->messagesOpened = 0;

    clearRawHeaders();
    *length = readLine(reader, line, size);
    if (*length == 0) {
        scan->empty = true;
        return false;
    }
    scan->format = detectMailFormat(line);
    return scan->format != MAIL_FORMAT_UNKNOWN;
}

// A line that opens a message takes the next record. Past 100 messages that
// record displaces the oldest kept one, which is remembered in case this
// message is dropped.
static void openMessage(MailFileScan *scan, ScanCursor *at)
{
    at->openingLine = at->lineNumber;
    at->lastLineOpened = true;
    scan->lastIndex++;
    scan->messagesOpened++;
    scan->displaced = *slotOf(scan->lastIndex);
    if (const WideHeader *wide = wideHeaderOf(slotOf(scan->lastIndex)))
        scan->displacedWide = *wide;
    at->record = openHeaderRecord(scan->lastIndex, scan->sortKey);
    at->record->soundEntry = NO_SOUND;
    scan->record = at->record;
    clearRawHeaders();
    at->flags = MessageFlags{};
}

// From, Subject or Sender: decoded into the record, then matched against the
// filters and the WAVBase.
static void takeHeaderField(LineReader *reader, MailFileScan *scan, ScanCursor *at, HeaderField field,
                            char *line, size_t size)
{
    // A fold that ran into the blank line has used up the end of the header
    // block: the other of From and Subject then counts as seen (Sender stays
    // open), as this scan has always done.
    if (joinContinuationLines(reader, line, size))
        at->flags.seen[field == FIELD_FROM ? FIELD_SUBJECT : FIELD_FROM] = true;
    takeHeaderLine(field, line, strlen(line), at->record);
    at->flags.seen[field] = true;
    if (!scan->filterEntry)
        rememberFilter(scan, &at->flags, &at->record, filterMatchField(field, at->record));
    if (soundEligible(scan, at->record, reader))
        at->record->soundEntry = soundMatchField(field, at->record);
}

// With UnreadOnly, a Status holding "R" or an X-PMFLAGS with the read bit
// drops the message.
static void takeReadMark(MailFileScan *scan, ScanCursor *at, const char *line)
{
    if (!at->flags.statusSeen && strncmp(line, "Status:", 7) == 0) {
        if (strchr(line + 7, 'R') != NULL)
            dropMessage(scan, &at->flags, &at->record);
        at->flags.statusSeen = true;
    } else if (!at->pmFlagsDone && strncmp(line, "X-PMFLAGS:", 10) == 0) {
        if (pmFlagsValue(line) & 0x80u)
            dropMessage(scan, &at->flags, &at->record);
        at->pmFlagsDone = true;
    }
}

static void takeMessageLine(LineReader *reader, MailFileScan *scan, ScanCursor *at, char *line, size_t size)
{
    HeaderField field = headerFieldOf(line, strlen(line));
    if (field != FIELD_OTHER && !at->flags.seen[field])
        takeHeaderField(reader, scan, at, field, line, size);
    else if (!headerDone(at->flags) && blankLine(line))
        // The header block of this message has ended.
        at->flags.seen[FIELD_FROM] = at->flags.seen[FIELD_SUBJECT] = at->flags.seen[FIELD_SENDER] = true;
    else if (config.settings.UnreadOnly)
        takeReadMark(scan, at, line);
}

// Everything the settings ask of this file is known: a single-message file
// (SMF or a .CNM) need not be read further.
static bool fileAnswered(const MailFileScan *scan, const ScanCursor *at)
{
    const Settings &settings = config.settings;
    const MessageFlags &flags = at->flags;
    return flags.seen[FIELD_FROM] && flags.seen[FIELD_SUBJECT]
           && (flags.seen[FIELD_SENDER] || !settings.UseFilters)
           && (!settings.UnreadOnly || (scan->isCnm && at->pmFlagsDone)
               || (scan->format == SMF && flags.statusSeen));
}

static bool stopAsked(MailFileScan *scan)
{
    if (scan->stopRequested && scan->stopRequested()) {
        scan->stopped = true;
        return true;
    }
    return false;
}

int scanMailFile(LineReader *reader, MailFileScan *scan)
{
    char line[MAIL_LINE_SIZE];
    size_t length;
    if (!startScan(reader, scan, line, sizeof line, &length))
        return 0;

    ScanCursor at = {};
    at.pmFlagsDone = !scan->isCnm;
    at.lineNumber = 1;
    do {
        if (stopAsked(scan))
            break;
        if (scan->eachLine)
            scan->eachLine();
        ++at.lineNumber;
        stripTrailingWhite(line, length);
        at.lastLineOpened = false;
        if (opensMessage(scan->format, line, at.lineNumber, at.openingLine))
            openMessage(scan, &at);
        // Lines before the first message (a Unix mailbox whose first "From "
        // line was only blanks after the word) belong to no message.
        if (!at.record)
            continue;
        takeMessageLine(reader, scan, &at, line, sizeof line);
        if (fileAnswered(scan, &at))
            break;
    } while ((length = readLine(reader, line, sizeof line)) != 0);

    // The separator that closes the last message of an MMDF file opened one
    // more "message" that has no content.
    if (scan->format == MMDF && at.lastLineOpened)
        dropMessage(scan, &at.flags, &at.record);
    return 1;
}
