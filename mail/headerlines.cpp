// Header lines: trimming, folded lines of a header block, the raw values the
// filters and the deletions log print, the display texts of From, Subject and
// Sender, and the parser the network sources run once per message.
#include <string.h>

#include "mail/mail.h"

namespace
{

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Skips up to n characters, never past the terminator.
const char *skipChars(const char *text, size_t n)
{
    while (n > 0 && *text != '\0') {
        text++;
        n--;
    }
    return text;
}

const char *skipWhite(const char *text)
{
    while (isWhite(*text))
        text++;
    return text;
}

bool startsWith(const char *line, const char *name)
{
    return strncmp(line, name, strlen(name)) == 0;
}

// A half-open range [begin, end) of the value being examined.
struct Span {
    const char *begin;
    const char *end;
};

const char *findIn(Span s, char c)
{
    return s.begin < s.end ? (const char *)memchr(s.begin, c, (size_t)(s.end - s.begin)) : nullptr;
}

Span trimRight(Span s, const char *drop)
{
    while (s.end > s.begin && (isWhite(s.end[-1]) || strchr(drop, s.end[-1]) != nullptr) && s.end[-1] != '\0')
        s.end--;
    return s;
}

Span trimLeft(Span s, const char *drop)
{
    while (s.begin < s.end && (isWhite(*s.begin) || strchr(drop, *s.begin) != nullptr) && *s.begin != '\0')
        s.begin++;
    return s;
}

// Rule 4 of the display part: a value ending in "}", e.g. "addr (Name){x}".
Span braceDisplay(Span value)
{
    Span inner = {value.begin, value.end - 1}; // without the "}"
    const char *brace = findIn(inner, '{');
    if (!brace)
        return inner;
    if (brace > inner.begin && brace[-1] == ')') {
        const char *close = brace - 1;
        int depth = 0;
        for (const char *k = close; k >= inner.begin; k--) {
            if (*k == ')')
                depth++;
            else if (*k == '(' && --depth == 0) {
                Span group = trimLeft({k + 1, close}, "");
                if (group.begin < group.end)
                    return group;
                return trimRight({inner.begin, k}, "");
            }
            if (k == inner.begin)
                break;
        }
        return inner;
    }
    return {brace + 1, inner.end};
}

// The part of a From value that names the sender.
Span fromDisplay(Span value)
{
    if (value.begin == value.end)
        return value;
    if (*value.begin == '"') {
        Span rest = {value.begin + 1, value.end};
        const char *quote = findIn(rest, '"');
        if (quote)
            return {rest.begin, quote};
        return trimRight(rest, "");
    }
    const char *paren = findIn(value, '(');
    if (paren) {
        Span rest = trimLeft({paren + 1, value.end}, "(");
        const char *close = findIn(rest, ')');
        if (close)
            rest.end = close;
        return trimRight(rest, ")");
    }
    if (value.end[-1] == '>') {
        Span inner = {value.begin, value.end - 1};
        if (*value.begin == '<')
            return {value.begin + 1, inner.end};
        const char *open = findIn(inner, '<');
        // "name>" without any "<" is no address form: show it as written.
        if (!open)
            return value;
        return trimLeft(trimRight({inner.begin, open}, "\""), "\"");
    }
    if (value.end[-1] == '}')
        return braceDisplay(value);
    return value;
}

} // namespace

void trimTrailingSpace(char *line)
{
    size_t n = strlen(line);
    while (n > 0 && isWhite(line[n - 1]))
        n--;
    line[n] = '\0';
}

bool isBlankLine(const char *line)
{
    return *skipWhite(line) == '\0';
}

void copyRawValue(const char *line, char *target, const char *fieldName, size_t nameLength)
{
    if (compareNoCaseN(line, fieldName, nameLength) == 0)
        line = skipWhite(skipChars(line, nameLength));
    copyTextN(target, RAW_HEADER_SIZE, line, RAW_HEADER_SIZE - 1);
}

int copyLine(HeaderBlockCursor *cursor, char *line, size_t capacity)
{
    if (capacity == 0)
        return 0;
    if (cursor->pos >= cursor->end) {
        line[0] = '\0';
        return 0;
    }
    size_t n = 0;
    while (cursor->pos < cursor->end && !isLineEnd(*cursor->pos) && n + 1 < capacity)
        line[n++] = *cursor->pos++;
    line[n] = '\0';
    // A cut line leaves its remainder for the next call; otherwise the line
    // ends (and any empty lines after it) are passed.
    while (cursor->pos < cursor->end && isLineEnd(*cursor->pos))
        cursor->pos++;
    return 1;
}

void appendContinuation(HeaderBlockCursor *cursor, char *line, size_t capacity)
{
    size_t n = strnlen(line, capacity);
    while (cursor->pos < cursor->end && (*cursor->pos == ' ' || *cursor->pos == '\t')) {
        // Room for the joining space and at least one character.
        if (n + 2 >= capacity)
            return;
        while (cursor->pos < cursor->end && (*cursor->pos == ' ' || *cursor->pos == '\t'))
            cursor->pos++;
        line[n++] = ' ';
        while (cursor->pos < cursor->end && !isLineEnd(*cursor->pos) && n + 1 < capacity)
            line[n++] = *cursor->pos++;
        line[n] = '\0';
        while (cursor->pos < cursor->end && isLineEnd(*cursor->pos))
            cursor->pos++;
    }
}

void decodeFromLine(MessageHeader *record, char *line)
{
    trimTrailingSpace(line);
    const char *value = skipWhite(skipChars(line, 5));
    Span part = fromDisplay({value, value + strlen(value)});
    char scratch[HEADER_TEXT_SIZE];
    decodeEncodedWordsN(scratch, part.begin, (size_t)(part.end - part.begin), HEADER_TEXT_SIZE - 1);
    copyText(record->from, scratch);
}

void decodeSubjectLine(MessageHeader *record, char *line)
{
    trimTrailingSpace(line);
    const char *value = skipWhite(skipChars(line, 8));
    decodeEncodedWords(record->subject, value, HEADER_TEXT_SIZE - 1);
}

void decodeSenderLine(char *line)
{
    trimTrailingSpace(line);
    const char *value = skipWhite(skipChars(line, 7));
    decodeEncodedWords(mail.senderText, value, SENDER_TEXT_SIZE - 1);
}

bool stopAfterFilterMatch(const FilterEntry *entry)
{
    if (!entry)
        return false;
    if (entry->action != FILTER_DELETE)
        return true;
    // A deletion that is confirmed or logged needs the rest of the header.
    return !config.settings.ConfirmDeletes && !config.settings.LogDeletes;
}

void parseHeaderBlock(const char *block, size_t length, MessageHeader *record, HeaderScanResult *result,
                      const ReceivedDate *storedDate, const ReceivedTime *storedTime,
                      ReceivedDate *newestDate, ReceivedTime *newestTime)
{
    const bool wavBase = config.settings.SoundOption == SOUND_WAVBASE;
    const bool useFilters = config.settings.UseFilters;
    const bool unreadOnly = config.settings.UnreadOnly;

    setNoFrom(record);
    setNoSubject(record);
    clearRawHeaders();
    bool receivedSeen = false, fromSeen = false, subjectSeen = false, senderSeen = false, statusSeen = false;
    result->isNew = 0;
    result->isRead = 0;
    result->filterEntry = nullptr;
    if (wavBase)
        record->soundEntry = NO_SOUND;

    HeaderBlockCursor cursor = {block, block + length};
    char line[MAIL_LINE_SIZE];
    while (!(fromSeen && subjectSeen && (senderSeen || !useFilters) && (statusSeen || !unreadOnly))) {
        if (!copyLine(&cursor, line, sizeof line))
            break;

        if (!receivedSeen && startsWith(line, "Received:")) {
            appendContinuation(&cursor, line, sizeof line);
            ReceivedDate date;
            ReceivedTime time;
            if (parseReceivedDate(line, &date, &time) && laterThan(&date, &time, storedDate, storedTime)) {
                result->isNew = 1;
                // The newest of the poll, whatever order the server lists the
                // messages in: the stored date must not move back to an older
                // message's and count a later one new again at the next poll.
                if (laterThan(&date, &time, newestDate, newestTime)) {
                    *newestDate = date;
                    *newestTime = time;
                }
                if (wavBase)
                    record->soundEntry = nullptr;
            }
            receivedSeen = true;
        } else if (!fromSeen && startsWith(line, "From:")) {
            appendContinuation(&cursor, line, sizeof line);
            copyRawValue(line, mail.rawFrom, "From:", 5);
            decodeFromLine(record, line);
            fromSeen = true;
            if (!result->filterEntry) {
                result->filterEntry = filterMatchFrom(record);
                if (stopAfterFilterMatch(result->filterEntry))
                    return;
            }
            if (wavBase && result->isNew && soundUndecided(record->soundEntry))
                record->soundEntry = soundMatchFrom(record);
        } else if (!subjectSeen && startsWith(line, "Subject:")) {
            appendContinuation(&cursor, line, sizeof line);
            copyRawValue(line, mail.rawSubject, "Subject:", 8);
            decodeSubjectLine(record, line);
            subjectSeen = true;
            if (!result->filterEntry) {
                result->filterEntry = filterMatchSubject(record);
                if (stopAfterFilterMatch(result->filterEntry))
                    return;
            }
            if (wavBase && result->isNew && soundUndecided(record->soundEntry))
                record->soundEntry = soundMatchSubject(record);
        } else if (unreadOnly && !statusSeen && startsWith(line, "Status:")) {
            if (strchr(line + 7, 'R')) {
                result->isRead = 1;
                result->isNew = 0;
                if (wavBase)
                    record->soundEntry = NO_SOUND;
                return;
            }
            statusSeen = true;
        } else if (useFilters && !senderSeen && startsWith(line, "Sender:")) {
            copyRawValue(line, mail.rawSender, "Sender:", 7);
            decodeSenderLine(line);
            senderSeen = true;
            if (!result->filterEntry) {
                result->filterEntry = filterMatchSender();
                if (stopAfterFilterMatch(result->filterEntry))
                    return;
            }
            if (wavBase && result->isNew && soundUndecided(record->soundEntry))
                record->soundEntry = soundMatchSender();
        }
    }
}
