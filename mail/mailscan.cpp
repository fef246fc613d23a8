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

static bool headerDone(const MessageFlags &flags)
{
    return flags.seen[FIELD_FROM] && flags.seen[FIELD_SUBJECT] && flags.seen[FIELD_SENDER];
}

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

template <size_t N>
static bool startsWith(const char *text, size_t length, const char (&prefix)[N])
{
    return length >= N - 1 && memcmp(text, prefix, N - 1) == 0;
}

// A line as readLine cut it (before its trailing white space is stripped)
// that would change nothing if it were taken: it opens no message and is
// neither a wanted header line, nor the blank line that ends the header
// block, nor a read mark still looked for. Most lines of a mailbox are such
// lines, above all every line of a body. The tests look at the bytes before
// the strip, which removes only trailing white space: a line taken for
// relevant here that is not is simply taken as usual.
static bool inertLine(const MailFileScan *scan, const ScanCursor *at, const char *text, size_t length)
{
    const MessageFlags &flags = at->flags;
    bool readMarks = config.settings.UnreadOnly != 0;
    switch (text[0]) {
    case 'F':
        if (scan->format == UNIX_FROM && startsWith(text, length, "From "))
            return false;
        return flags.seen[FIELD_FROM] || !startsWith(text, length, "From:");
    case 'S':
        if (!flags.seen[FIELD_SUBJECT] && startsWith(text, length, "Subject:"))
            return false;
        if (!flags.seen[FIELD_SENDER] && startsWith(text, length, "Sender:"))
            return false;
        return !(readMarks && !flags.statusSeen && startsWith(text, length, "Status:"));
    case 'X': return !(readMarks && !at->pmFlagsDone && startsWith(text, length, "X-PMFLAGS:"));
    case '\x01': return !(scan->format == MMDF && startsWith(text, length, MMDF_SEPARATOR));
    default: break;
    }
    if (headerDone(flags))
        return true;
    // Blank as blankLine judges the stripped line: white space up to its end
    // or up to a NUL, which ends the text early.
    size_t i = 0;
    while (i < length && text[i] != '\0' && isWhite(text[i]))
        ++i;
    return i < length && text[i] != '\0';
}

// Passes over the inert lines that follow without copying them. Taking them
// would only have counted them.
static void passInertLines(LineReader *reader, MailFileScan *scan, ScanCursor *at)
{
    LinePeek peek;
    while (peekLine(reader, MAIL_LINE_SIZE, &peek) && inertLine(scan, at, peek.text, peek.length)) {
        passLine(reader, &peek);
        ++at->lineNumber;
        at->lastLineOpened = false;
    }
}

// One line of the file. False when reading stops here.
static bool takeLine(LineReader *reader, MailFileScan *scan, char *line, size_t size, size_t length)
{
    ScanCursor *at = &scan->at;
    if (stopAsked(scan))
        return false;
    if (scan->eachLine)
        scan->eachLine();
    ++at->lineNumber;
    stripTrailingWhite(line, length);
    at->lastLineOpened = false;
    if (opensMessage(scan->format, line, at->lineNumber, at->openingLine))
        openMessage(scan, at);
    // Lines before the first message (a Unix mailbox whose first "From "
    // line was only blanks after the word) belong to no message.
    if (!at->record)
        return true;
    takeMessageLine(reader, scan, at, line, size);
    if (fileAnswered(scan, at)) {
        scan->answered = true;
        return false;
    }
    // The single-message layouts open nothing after their first line.
    if (scan->format == UNIX_FROM || scan->format == MMDF)
        passInertLines(reader, scan, at);
    return true;
}

int startMailFileScan(LineReader *reader, MailFileScan *scan)
{
    scan->format = MAIL_FORMAT_UNKNOWN;
    scan->empty = false;
    scan->stopped = false;
    scan->answered = false;
    scan->reachedEnd = false;
    scan->filterEntry = NULL;
    scan->record = NULL;
    scan->messagesOpened = 0;
    scan->at = ScanCursor{};
    scan->at.pmFlagsDone = !scan->isCnm;
    scan->at.lineNumber = 1;

    clearRawHeaders();
    char line[MAIL_LINE_SIZE];
    size_t length = readLine(reader, line, sizeof line);
    if (length == 0) {
        scan->empty = true;
        return 0;
    }
    scan->format = detectMailFormat(line);
    if (scan->format == MAIL_FORMAT_UNKNOWN)
        return 0;
    takeLine(reader, scan, line, sizeof line, length);
    return 1;
}

void scanMailFileLines(LineReader *reader, MailFileScan *scan)
{
    if (scan->stopped || scan->answered)
        return;
    char line[MAIL_LINE_SIZE];
    size_t length;
    while ((length = readLine(reader, line, sizeof line)) != 0)
        if (!takeLine(reader, scan, line, sizeof line, length))
            return;
    scan->reachedEnd = true;
}

void endMailFileScan(MailFileScan *scan)
{
    // The separator that closes the last message of an MMDF file opened one
    // more "message" that has no content.
    if (scan->format == MMDF && scan->at.lastLineOpened)
        dropMessage(scan, &scan->at.flags, &scan->at.record);
}

void resumeMailFileScan(MailFileScan *scan)
{
    scan->stopped = false;
    scan->answered = false;
    scan->reachedEnd = false;
    // The record of the message being read lives in its slot, or aside when
    // the message was dropped.
    if (scan->at.record) {
        scan->at.record = scan->at.flags.dropped ? &scan->dropped : slotOf(scan->lastIndex);
        scan->record = scan->at.record;
    }
}

int scanMailFile(LineReader *reader, MailFileScan *scan)
{
    if (!startMailFileScan(reader, scan))
        return 0;
    scanMailFileLines(reader, scan);
    endMailFileScan(scan);
    return 1;
}

// --- Fingerprint of the settings ----------------------------------------------------------

static void mixBytes(uint64_t *hash, const void *data, size_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    for (size_t i = 0; i < size; i++) {
        *hash ^= p[i];
        *hash *= 0x100000001b3ull; // FNV-1a
    }
}

static void mixText(uint64_t *hash, const char *text)
{
    mixBytes(hash, text ? text : "", text ? strlen(text) + 1 : 1);
}

uint64_t mailScanSettingsFingerprint(void)
{
    const Settings &s = config.settings;
    uint64_t hash = 0xcbf29ce484222325ull;
    bool flags[3] = {s.UnreadOnly != 0, s.UseFilters != 0, s.SoundOption == SOUND_WAVBASE};
    mixBytes(&hash, flags, sizeof flags);
    // The records refer to the entries themselves, so their addresses count too.
    const FilterList &filters = config.filterList;
    mixBytes(&hash, &filters.entries, sizeof filters.entries);
    mixBytes(&hash, &filters.count, sizeof filters.count);
    for (int i = 0; i < filters.count; i++) {
        mixText(&hash, filters.entries[i].text);
        mixBytes(&hash, &filters.entries[i].action, 1);
        mixBytes(&hash, &filters.entries[i].match, 1);
    }
    const WavBaseList &sounds = config.wavBaseList;
    mixBytes(&hash, &sounds.entries, sizeof sounds.entries);
    mixBytes(&hash, &sounds.count, sizeof sounds.count);
    for (int i = 0; i < sounds.count; i++) {
        mixText(&hash, sounds.entries[i].text);
        mixBytes(&hash, &sounds.entries[i].match, 1);
    }
    return hash;
}
