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
    bool fromSeen, subjectSeen, senderSeen, statusSeen;
    bool dropped;
};

} // namespace

static void dropMessage(MailFileScan *scan, MessageFlags *flags)
{
    if (flags->dropped)
        return;
    flags->dropped = true;
    scan->lastIndex--;
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

static void rememberFilter(MailFileScan *scan, MessageFlags *flags, FilterEntry *entry)
{
    if (!entry)
        return;
    scan->filterEntry = entry;
    dropMessage(scan, flags);
}

int scanMailFile(LineReader *reader, MailFileScan *scan)
{
    char line[MAIL_LINE_SIZE];
    const Settings &settings = config.settings;

    scan->format = MAIL_FORMAT_UNKNOWN;
    scan->empty = false;
    scan->stopped = false;
    scan->filterEntry = NULL;
    scan->record = NULL;
    scan->messagesOpened = 0;

    clearRawHeaders();
    size_t length = readLine(reader, line, sizeof line);
    if (length == 0) {
        scan->empty = true;
        return 0;
    }
    scan->format = detectMailFormat(line);
    if (scan->format == MAIL_FORMAT_UNKNOWN)
        return 0;

    MessageFlags flags = {};
    bool pmFlagsDone = !scan->isCnm;
    int lineNumber = 1;
    int openingLine = 0;
    bool lastLineOpened = false;
    MessageHeader *record = NULL;

    do {
        if (scan->stopRequested && scan->stopRequested()) {
            scan->stopped = true;
            break;
        }
        if (scan->eachLine)
            scan->eachLine();

        ++lineNumber;
        stripTrailingWhite(line, length);
        lastLineOpened = false;

        if (opensMessage(scan->format, line, lineNumber, openingLine)) {
            openingLine = lineNumber;
            lastLineOpened = true;
            scan->lastIndex++;
            scan->messagesOpened++;
            record = openHeaderRecord(scan->lastIndex, scan->sortKey);
            record->soundEntry = NO_SOUND;
            scan->record = record;
            clearRawHeaders();
            flags = MessageFlags{};
        }

        // Lines before the first message (a Unix mailbox whose first "From "
        // line was only blanks after the word) belong to no message.
        if (record) {
            if (!flags.fromSeen && strncmp(line, "From:", 5) == 0) {
                if (joinContinuationLines(reader, line, sizeof line))
                    flags.subjectSeen = true;
                copyRawValue(line, mail.rawFrom, "From:", 5);
                decodeFromLine(record, line);
                flags.fromSeen = true;
                if (!scan->filterEntry)
                    rememberFilter(scan, &flags, filterMatchFrom(record));
                if (soundEligible(scan, record, reader))
                    record->soundEntry = soundMatchFrom(record);
            } else if (!flags.subjectSeen && strncmp(line, "Subject:", 8) == 0) {
                if (joinContinuationLines(reader, line, sizeof line))
                    flags.fromSeen = true;
                copyRawValue(line, mail.rawSubject, "Subject:", 8);
                decodeSubjectLine(record, line);
                flags.subjectSeen = true;
                if (!scan->filterEntry)
                    rememberFilter(scan, &flags, filterMatchSubject(record));
                if (soundEligible(scan, record, reader))
                    record->soundEntry = soundMatchSubject(record);
            } else if (!flags.senderSeen && strncmp(line, "Sender:", 7) == 0) {
                if (joinContinuationLines(reader, line, sizeof line))
                    flags.fromSeen = true;
                copyRawValue(line, mail.rawSender, "Sender:", 7);
                decodeSenderLine(line);
                flags.senderSeen = true;
                if (!scan->filterEntry)
                    rememberFilter(scan, &flags, filterMatchSender());
                if (soundEligible(scan, record, reader))
                    record->soundEntry = soundMatchSender();
            } else if (!(flags.fromSeen && flags.subjectSeen && flags.senderSeen) && blankLine(line)) {
                // The header block of this message has ended.
                flags.fromSeen = flags.subjectSeen = flags.senderSeen = true;
            } else if (settings.UnreadOnly) {
                if (!flags.statusSeen && strncmp(line, "Status:", 7) == 0) {
                    if (strchr(line + 7, 'R') != NULL)
                        dropMessage(scan, &flags);
                    flags.statusSeen = true;
                } else if (!pmFlagsDone && strncmp(line, "X-PMFLAGS:", 10) == 0) {
                    if (pmFlagsValue(line) & 0x80u)
                        dropMessage(scan, &flags);
                    pmFlagsDone = true;
                }
            }

            if (flags.fromSeen && flags.subjectSeen && (flags.senderSeen || !settings.UseFilters)
                && (!settings.UnreadOnly || (scan->isCnm && pmFlagsDone)
                    || (scan->format == SMF && flags.statusSeen)))
                break;
        }
    } while ((length = readLine(reader, line, sizeof line)) != 0);

    // The separator that closes the last message of an MMDF file opened one
    // more "message" that has no content.
    if (scan->format == MMDF && lastLineOpened)
        dropMessage(scan, &flags);
    return 1;
}
